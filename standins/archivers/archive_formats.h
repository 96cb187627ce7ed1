// Archive containers the stand-in libraries read and write, and that the test fixture makers share: ZIP
// (stored and deflate), ustar tar and gzip. Formats nothing here can decode are emulated by a ZIP whose
// archive comment names the format (kTagPrefix + format word). Member names stay raw bytes (CP932 for our own
// archives).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

constexpr std::string_view kTagPrefix = "VELMOR-TAG:";
constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflate = 8;

struct ArchiveMember {
    std::string name;  // as stored: raw bytes, "/" separators for ZIP and tar
    std::string data;  // uncompressed content
    uint64_t size = 0;
    uint64_t compressedSize = 0;
    uint32_t crc = 0;
    uint16_t method = kMethodDeflate;
    uint16_t dosDate = 0;  // local time, as ZIP stores it
    uint16_t dosTime = 0;
    int64_t unixTime = -1;  // UTC seconds where the format keeps them (tar, ZIP "UT" field)
    bool isDir = false;
    bool crcOk = true;  // the stored CRC matched the data on reading
};

struct Archive {
    std::vector<ArchiveMember> members;
    std::string comment;
};

uint32_t Crc32(std::string_view data);

// ZIP. Reading finds the central directory from the end, so data put in front (a self-extracting stub) is
// tolerated; names flagged UTF-8 are converted to CP932. Writing fills sizes, CRCs and DOS times itself
// (members with dosDate 0 get the current local time).
bool ReadZip(std::string_view bytes, Archive& out, std::string* error = nullptr);
std::string WriteZip(const Archive& archive);
// Shifts every offset of a ZIP that has data in front of it, so that the result is a valid ZIP again.
bool AdjustZipOffsets(std::string& bytes);
// The format word of a tagged container ("LHA", ...), empty for an untagged ZIP.
std::string ZipTag(const Archive& archive);

// tar (ustar) and gzip.
// A valid first header, or only whole zero blocks (an empty tar).
bool LooksLikeTar(std::string_view bytes);
bool ReadTar(std::string_view bytes, Archive& out, std::string* error = nullptr);
std::string WriteTar(const Archive& archive);
bool IsGzip(std::string_view bytes);
bool GzipDecompress(std::string_view bytes, std::string& out);
std::string GzipCompress(std::string_view bytes, int level = 6);

// Whole-file reading and writing (the file is replaced).
bool ReadWholeFile(const std::wstring& path, std::string& out);
bool WriteWholeFile(const std::wstring& path, std::string_view data);

// DOS date and time <-> Unix time (UTC), through the platform's local-time conversion.
void UnixTimeToDos(int64_t unixTime, uint16_t& dosDate, uint16_t& dosTime);
int64_t DosToUnixTime(uint16_t dosDate, uint16_t dosTime);
void CurrentDosTime(uint16_t& dosDate, uint16_t& dosTime);

}  // namespace standin
