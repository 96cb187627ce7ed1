// Reader of the stand-in call log.
#include "support/standin_log.h"

#include <windows.h>

#include <cstdlib>

namespace testsupport {

std::vector<StandinCall> ReadStandinLog(const std::wstring& path) {
    std::vector<StandinCall> calls;
    std::optional<std::string> text = ReadFileBytes(path);
    if (!text) return calls;
    size_t pos = 0;
    while (pos < text->size()) {
        size_t eol = text->find("\r\n", pos);
        std::string line = text->substr(pos, eol == std::string::npos ? std::string::npos : eol - pos);
        pos = eol == std::string::npos ? text->size() : eol + 2;
        std::vector<std::string> f;
        for (size_t start = 0;;) {
            size_t tab = line.find('\t', start);
            f.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        if (f.size() != 5) continue;
        calls.push_back({f[0], f[1], f[2], f[3], std::strtoll(f[4].c_str(), nullptr, 10)});
    }
    return calls;
}

std::vector<StandinCall> CallsOf(const std::vector<StandinCall>& calls, std::string_view entry) {
    std::vector<StandinCall> out;
    for (const StandinCall& c : calls)
        if (c.entry == entry) out.push_back(c);
    return out;
}

StandinSession::StandinSession(const TempDir& dir)
    : logPath_(dir.File(L"standin-log.txt")), scriptPath_(dir.File(L"standin-script.txt")) {
    WriteFileBytes(scriptPath_, "");
    logEnv_ = std::make_unique<ScopedEnv>(L"VELMOR_STANDIN_LOG", logPath_);
    scriptEnv_ = std::make_unique<ScopedEnv>(L"VELMOR_STANDIN_SCRIPT", scriptPath_);
}

void StandinSession::ClearLog() const { DeleteFileW(logPath_.c_str()); }

}  // namespace testsupport
