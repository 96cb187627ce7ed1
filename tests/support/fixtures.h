// Fixture makers: ZIP archives (stored or deflate, optional comment or format tag, any member name, dangerous
// and Shift-JIS ones included), tar and gzip-compressed tar. Names are raw CP932 bytes and are written as
// given.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

struct FixtureMember {
    std::string name;  // CP932, "/" separators; a trailing "/" makes a folder entry
    std::string data;
    bool deflate = true;
    int64_t unixTime = 1614834368;  // 2021-03-04 05:06:08 UTC
};

// The archive comment that makes a ZIP a tagged container of one format ("LHA", "CAB", "ARJ", "RAR", "BGA",
// "YZ1", "7Z").
std::string FormatTag(std::string_view format);

bool WriteZipFixture(const std::wstring& path, const std::vector<FixtureMember>& members,
                     std::string_view comment = {});
bool WriteTaggedFixture(const std::wstring& path, std::string_view format,
                        const std::vector<FixtureMember>& members);
bool WriteTarFixture(const std::wstring& path, const std::vector<FixtureMember>& members, bool gzip = false);

// The members of a ZIP or a (gzip-compressed) tar, with their data, for checking what the stand-ins wrote.
struct ReadMember {
    std::string name;
    std::string data;
    bool crcOk;
};
std::vector<ReadMember> ReadZipMembers(const std::wstring& path, std::string* comment = nullptr);
std::vector<ReadMember> ReadTarMembers(const std::wstring& path);

}  // namespace testsupport
