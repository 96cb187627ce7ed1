// Archive containers the stand-in libraries read and write, and that the test fixture makers share: ZIP
// (stored and deflate, zip64 records included), ustar tar and gzip. Formats nothing here can decode are
// emulated by a ZIP whose archive comment names the format (kTagPrefix + format word). Member names stay raw
// bytes (CP932 for our own archives).
//
// The libraries stream: a walk reads the members' headers only (the central directory for ZIP), and a
// member's data is read through a Reader in chunks, so memory stays bounded whatever the sizes. The
// whole-archive functions below (ReadZip, WriteZip, ...) are the same code over a block of memory, for
// fixtures.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

constexpr std::string_view kTagPrefix = "VELMOR-TAG:";
constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflate = 8;
// The most that is handed over at a time while data streams.
constexpr size_t kChunkSize = 1 << 20;

struct ArchiveMember {
    std::string name;  // as stored: raw bytes, "/" separators for ZIP and tar
    std::string data;  // uncompressed content (whole-archive functions only; a walk leaves it empty)
    uint64_t size = 0;
    uint64_t compressedSize = 0;
    uint32_t crc = 0;
    bool hasCrc = true;  // tar keeps no checksum of the data
    uint16_t method = kMethodDeflate;
    uint16_t flags = 0;    // ZIP general-purpose flags (bit 0: encrypted)
    uint16_t dosDate = 0;  // local time, as ZIP stores it
    uint16_t dosTime = 0;
    int64_t unixTime = -1;  // UTC seconds where the format keeps them (tar, ZIP "UT" field)
    bool isDir = false;
    // tar links: '1' a hard link (size: its target's, where the walk met the target earlier), '2' a symbolic
    // link (size: its target text's); `linkName` is the target as stored. Neither has data of its own.
    char link = 0;
    std::string linkName;
    bool crcOk = true;         // whole-archive reading: the stored CRC matched the data
    uint64_t localOffset = 0;  // ZIP: where the member's local header starts in the source
};

struct Archive {
    std::vector<ArchiveMember> members;
    std::string comment;
};

uint32_t Crc32(std::string_view data, uint32_t crc = 0);

// ---- bytes in ----

// Random access to an archive's bytes.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Exactly n bytes at offset; false when they are not all there or the read failed.
    virtual bool ReadAt(uint64_t offset, void* buf, size_t n) = 0;
};

class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
    uint64_t Size() const override { return bytes_.size(); }
    bool ReadAt(uint64_t offset, void* buf, size_t n) override;

private:
    std::string_view bytes_;
};

// Null when the file cannot be opened for reading (others may read and write it meanwhile).
std::unique_ptr<ByteSource> OpenFileSource(const std::wstring& path);

// Sequential bytes: a stretch of a source, or what an inflater makes of one.
class Reader {
public:
    virtual ~Reader() = default;
    // Up to n bytes; fewer only where the data ends or a read failed (Failed() tells which).
    virtual size_t Read(char* buf, size_t n) = 0;
    // Passes over n bytes; false when the data ended first.
    virtual bool Skip(uint64_t n);
    bool Failed() const { return failed_; }

protected:
    bool failed_ = false;
};

// The bytes [offset, offset + length) of a source (to its end when length is UINT64_MAX).
std::unique_ptr<Reader> SourceReader(ByteSource& source, uint64_t offset, uint64_t length = UINT64_MAX);
// Raw deflate (ZIP) or gzip (every member of a multi-member stream) over another reader.
enum class Inflation { Raw, Gzip };
std::unique_ptr<Reader> InflateReader(std::unique_ptr<Reader> compressed, Inflation kind);

// ---- walking the members ----

class MemberWalk {
public:
    virtual ~MemberWalk() = default;
    // The next member's header, its data left unread; false at the end, or where the archive is damaged
    // (Damaged() then holds).
    virtual bool Next(ArchiveMember& m) = 0;
    // The data of the member Next gave last, decoded; null where it cannot be (encrypted, an unknown method,
    // a broken local header: Damaged() tells the last).
    virtual std::unique_ptr<Reader> Data() = 0;
    // Back before the first member.
    virtual bool Rewind() = 0;
    bool Damaged() const { return damaged_; }

protected:
    bool damaged_ = false;
};

// ZIP: null when no end record is found. Data put in front (a self-extracting stub) is tolerated; names
// flagged UTF-8 are converted to CP932. The archive comment comes with the end record.
std::unique_ptr<MemberWalk> OpenZipWalk(ByteSource& source, std::string* comment = nullptr);

enum class TarKind { NotTar, Tar, GzipTar, Gzip };
// What the first bytes say: a tar, a gzip stream holding a tar or something else (the first block is
// inflated to see), or neither.
TarKind DetectTar(ByteSource& source);
// tar or gzip-compressed tar; a lone gzip stream is one member named `gzipMemberName` whose size is the
// stream's trailer. Null when the source is none of them.
std::unique_ptr<MemberWalk> OpenTarWalk(ByteSource& source, const std::string& gzipMemberName,
                                        TarKind* kind = nullptr);
// Members held in memory (their data included), as scripts and the whole-archive functions give them.
std::unique_ptr<MemberWalk> ListWalk(std::vector<ArchiveMember> members);

enum class DataStatus { Ok, Damaged, CrcError, Unsupported, Stopped };
// Streams the data of the member the walk gave last to `sink`, at most kChunkSize bytes a call, and checks
// its length and CRC at the end; a sink that answers false stops it (Stopped).
DataStatus StreamMemberData(MemberWalk& walk, const ArchiveMember& m,
                            const std::function<bool(std::string_view)>& sink);

// ---- bytes out ----

class Writer {
public:
    virtual ~Writer() = default;
    virtual bool Write(std::string_view data) = 0;
    virtual uint64_t Position() const = 0;
    // Rewrites bytes already written (a header whose sizes are known only afterwards).
    virtual bool WriteAt(uint64_t offset, std::string_view data) = 0;
};

class StringWriter final : public Writer {
public:
    explicit StringWriter(std::string& out) : out_(out) {}
    bool Write(std::string_view data) override;
    uint64_t Position() const override { return out_.size(); }
    bool WriteAt(uint64_t offset, std::string_view data) override;

private:
    std::string& out_;
};

// A file created (or truncated) for writing. Error() is the system's code of the first failure.
class FileWriter final : public Writer {
public:
    explicit FileWriter(const std::wstring& path, DWORD share = 0);
    bool IsOpen() const { return file_ != INVALID_HANDLE_VALUE; }
    bool Write(std::string_view data) override;
    uint64_t Position() const override { return position_; }
    bool WriteAt(uint64_t offset, std::string_view data) override;
    // Closes the file; false when any write failed.
    bool Close();
    DWORD Error() const { return error_; }
    HANDLE Handle() const { return file_; }
    ~FileWriter() override;
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;

private:
    bool Fail();
    HANDLE file_;
    uint64_t position_ = 0;
    DWORD error_ = 0;
};

// Deflates into another writer in the gzip format; Finish() writes the end of the stream.
class GzipWriter final : public Writer {
public:
    explicit GzipWriter(Writer& out, int level = 6);
    ~GzipWriter() override;
    bool Write(std::string_view data) override;
    uint64_t Position() const override { return position_; }
    bool WriteAt(uint64_t, std::string_view) override { return false; }
    bool Finish();
    GzipWriter(const GzipWriter&) = delete;
    GzipWriter& operator=(const GzipWriter&) = delete;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    uint64_t position_ = 0;
};

// Writes a ZIP member by member; sizes, CRCs and DOS times are filled in (members with dosDate 0 and no
// unixTime get the current local time). Zip64 records are written where a size, an offset or the count
// needs them, or everywhere with `forceZip64`. `level` is zlib's (-1: its default).
class ZipWriter {
public:
    explicit ZipWriter(Writer& out, bool forceZip64 = false, int level = -1);
    ~ZipWriter();
    // A member whose data follows through Write calls; `sizeHint` is its expected size (for zip64).
    bool Begin(const ArchiveMember& header, uint64_t sizeHint);
    bool Write(std::string_view data);
    bool End();
    // A member copied as another ZIP stores it: its compressed bytes, with the CRC and sizes of its header.
    bool CopyRaw(const ArchiveMember& header, Reader& raw);
    // The central directory and the end records.
    bool Finish(std::string_view comment = {});
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The raw (still compressed) bytes of the ZIP member the walk gave last; null when its header is broken.
std::unique_ptr<Reader> ZipRawData(MemberWalk& walk);

// Writes a ustar tar (GNU long names and base-256 sizes where needed).
class TarWriter {
public:
    explicit TarWriter(Writer& out) : out_(out) {}
    bool Begin(const ArchiveMember& header, uint64_t size);
    bool Write(std::string_view data);
    // Pads the member to its header's size and to the block.
    bool End();
    bool Finish();

private:
    Writer& out_;
    uint64_t left_ = 0;
    uint64_t written_ = 0;
};

// Shifts every offset of a ZIP file that has data put in front of it, so that it is a valid ZIP again; the
// file is changed in place. False when it is no ZIP.
bool AdjustZipFileOffsets(const std::wstring& path);

// The format word of a tagged container ("LHA", ...), empty for an untagged ZIP.
std::string ZipTag(std::string_view comment);
inline std::string ZipTag(const Archive& archive) { return ZipTag(archive.comment); }

// A volume of a split set, as a tagged container's comment tells it after the format word:
// "volume=N set=ID" (N from 1) and "last" on the set's final volume. Number 0: no volume, a whole archive.
struct VolumeInfo {
    uint32_t number = 0;
    std::string set;
    bool last = false;
};
VolumeInfo ZipVolume(std::string_view comment);
// The comment of a tagged container that is volume `v` of a set.
std::string VolumeComment(std::string_view format, const VolumeInfo& v);

// ---- whole archives in memory (fixtures) ----

bool ReadZip(std::string_view bytes, Archive& out, std::string* error = nullptr);
std::string WriteZip(const Archive& archive);
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
