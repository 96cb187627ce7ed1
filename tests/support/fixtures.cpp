// Fixture makers over the containers that the stand-in libraries use.
#include "support/fixtures.h"

#include "archive_formats.h"
#include "support/temp_dir.h"

namespace testsupport {

namespace {

standin::Archive ToArchive(const std::vector<FixtureMember>& members) {
    standin::Archive a;
    for (const FixtureMember& f : members) {
        standin::ArchiveMember m;
        m.name = f.name;
        m.isDir = !f.name.empty() && f.name.back() == '/';
        m.data = f.data;
        m.method = f.deflate ? standin::kMethodDeflate : standin::kMethodStored;
        m.unixTime = f.unixTime;
        a.members.push_back(std::move(m));
    }
    return a;
}

std::vector<ReadMember> FromArchive(const standin::Archive& a) {
    std::vector<ReadMember> out;
    for (const standin::ArchiveMember& m : a.members) out.push_back({m.name, m.data, m.crcOk});
    return out;
}

}  // namespace

std::string FormatTag(std::string_view format) {
    return std::string(standin::kTagPrefix) + std::string(format);
}

bool WriteZipFixture(const std::wstring& path, const std::vector<FixtureMember>& members,
                     std::string_view comment) {
    standin::Archive a = ToArchive(members);
    a.comment = comment;
    return WriteFileBytes(path, standin::WriteZip(a));
}

bool WriteTaggedFixture(const std::wstring& path, std::string_view format,
                        const std::vector<FixtureMember>& members) {
    return WriteZipFixture(path, members, FormatTag(format));
}

bool WriteTarFixture(const std::wstring& path, const std::vector<FixtureMember>& members, bool gzip) {
    std::string bytes = standin::WriteTar(ToArchive(members));
    return WriteFileBytes(path, gzip ? standin::GzipCompress(bytes) : bytes);
}

std::vector<ReadMember> ReadZipMembers(const std::wstring& path, std::string* comment) {
    std::optional<std::string> bytes = ReadFileBytes(path);
    standin::Archive a;
    if (!bytes || !standin::ReadZip(*bytes, a)) return {};
    if (comment) *comment = a.comment;
    return FromArchive(a);
}

std::vector<ReadMember> ReadTarMembers(const std::wstring& path) {
    std::optional<std::string> bytes = ReadFileBytes(path);
    if (!bytes) return {};
    std::string plain = *bytes;
    if (standin::IsGzip(plain) && !standin::GzipDecompress(*bytes, plain)) return {};
    standin::Archive a;
    if (!standin::ReadTar(plain, a)) return {};
    return FromArchive(a);
}

}  // namespace testsupport
