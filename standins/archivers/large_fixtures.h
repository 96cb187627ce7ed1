// Archives of one large member, made and checked chunk by chunk so that neither side holds the member: for
// the tests of the stand-ins' streaming (small on disk: the repeated filler compresses about a thousandfold)
// and for the size benchmark (the text filler compresses about as plain text does, so inflating costs what
// it costs on real data).
#pragma once

#include <cstdint>
#include <string>

namespace standin {

enum class Filler { Repeated, Text };

// The member's bytes, in order.
class FillerStream {
public:
    explicit FillerStream(Filler kind);
    void Next(char* buf, size_t n);

private:
    Filler kind_;
    uint64_t position_ = 0;
    uint32_t seed_ = 0x9E3779B9u;
    std::string pending_;  // text made ahead of what was taken
};

struct MadeMember {
    bool ok = false;
    uint64_t size = 0;
    uint32_t crc = 0;
};

enum class Container { Zip, Zip64, Tar, Tgz };
// Writes an archive of one member `name` of `size` bytes of the filler.
MadeMember WriteOneMemberArchive(const std::wstring& path, Container container, const std::string& name,
                                 uint64_t size, Filler filler, int level = -1);
// Whether the file holds exactly `size` bytes of the filler.
bool FileMatchesFiller(const std::wstring& path, uint64_t size, Filler filler);

}  // namespace standin
