// Writer of the stand-in script.
#include "support/standin_log.h"

namespace testsupport {

StandinScript& StandinScript::Line(std::string_view key, std::string_view value) {
    text_.append(key);
    if (!value.empty()) text_.append("\t").append(value);
    text_.append("\r\n");
    return *this;
}

StandinScript& StandinScript::Section(std::string_view library) {
    text_.append("[").append(library).append("]\r\n");
    return *this;
}
StandinScript& StandinScript::CommandResult(int result) {
    return Line("command-result", std::to_string(result));
}
StandinScript& StandinScript::CheckResult(int result) { return Line("check-result", std::to_string(result)); }
StandinScript& StandinScript::OpenFail() { return Line("open-fail", "1"); }
StandinScript& StandinScript::ArchiveType(int type) { return Line("archive-type", std::to_string(type)); }
StandinScript& StandinScript::Password(std::string_view password) { return Line("password", password); }
StandinScript& StandinScript::DialogAnswer(std::string_view answer) { return Line("dialog", answer); }
StandinScript& StandinScript::DialogCancel() { return Line("dialog-cancel", ""); }
StandinScript& StandinScript::Delay(int ms) { return Line("delay", std::to_string(ms)); }
StandinScript& StandinScript::CheckDelay(int ms) { return Line("check-delay", std::to_string(ms)); }
StandinScript& StandinScript::Hold(std::string_view path, int after) {
    return Line("hold", std::string(path) + "\t" + std::to_string(after));
}
StandinScript& StandinScript::NoProgress() { return Line("progress", "0"); }
StandinScript& StandinScript::WalkOnly() { return Line("write", "0"); }
StandinScript& StandinScript::TrustNames() { return Line("trust-names", "1"); }
StandinScript& StandinScript::DiskFullAfter(uint64_t bytes) {
    return Line("disk-full", std::to_string(bytes));
}
StandinScript& StandinScript::OutOfMemory() { return Line("out-of-memory", "1"); }

StandinScript& StandinScript::Member(std::string_view name, uint64_t size, std::string_view time,
                                     uint64_t compressedSize) {
    std::string v(name);
    v.append("\t").append(std::to_string(size)).append("\t").append(time);
    if (compressedSize != UINT64_MAX) v.append("\t").append(std::to_string(compressedSize));
    return Line("member", v);
}

bool StandinScript::Write(const std::wstring& path) const { return WriteFileBytes(path, text_); }

}  // namespace testsupport
