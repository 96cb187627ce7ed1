// ZIP, tar and gzip containers over zlib, written for the stand-in libraries and the fixture makers. Every
// reader streams: nothing holds more than a chunk of a member's data, or more than a window of the central
// directory.
#include "archive_formats.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "platform/handle.h"
#include "platform/sjis.h"

namespace standin {

namespace {

constexpr uint32_t kLocalSig = 0x04034b50;
constexpr uint32_t kCentralSig = 0x02014b50;
constexpr uint32_t kEndSig = 0x06054b50;
constexpr uint32_t kEnd64Sig = 0x06064b50;
constexpr uint32_t kLocator64Sig = 0x07064b50;
constexpr uint32_t kMax32 = 0xFFFFFFFF;
constexpr uint16_t kMax16 = 0xFFFF;
// Long names and pax records longer than this are taken for damage, not read.
constexpr uint64_t kMaxTarRecord = 1 << 20;

uint16_t Get16(std::string_view b, size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1])
                                                                         << 8);
}
uint32_t Get32(std::string_view b, size_t at) {
    return Get16(b, at) | static_cast<uint32_t>(Get16(b, at + 2)) << 16;
}
uint64_t Get64(std::string_view b, size_t at) {
    return Get32(b, at) | static_cast<uint64_t>(Get32(b, at + 4)) << 32;
}
void Put16(std::string& b, uint16_t v) {
    b.push_back(static_cast<char>(v & 0xFF));
    b.push_back(static_cast<char>(v >> 8));
}
void Put32(std::string& b, uint32_t v) {
    Put16(b, static_cast<uint16_t>(v & 0xFFFF));
    Put16(b, static_cast<uint16_t>(v >> 16));
}
void Put64(std::string& b, uint64_t v) {
    Put32(b, static_cast<uint32_t>(v & kMax32));
    Put32(b, static_cast<uint32_t>(v >> 32));
}
std::string Le32(uint32_t v) {
    std::string s;
    Put32(s, v);
    return s;
}
std::string Le64(uint64_t v) {
    std::string s;
    Put64(s, v);
    return s;
}

bool Fail(std::string* error, const char* text) {
    if (error) *error = text;
    return false;
}

int64_t FileTimeToUnix(const FILETIME& ft) {
    ULARGE_INTEGER u{};
    u.LowPart = ft.dwLowDateTime;
    u.HighPart = ft.dwHighDateTime;
    return static_cast<int64_t>(u.QuadPart / 10000000ULL) - 11644473600LL;
}
FILETIME UnixToFileTime(int64_t t) {
    ULARGE_INTEGER u{};
    u.QuadPart = static_cast<ULONGLONG>(t + 11644473600LL) * 10000000ULL;
    return FILETIME{u.LowPart, u.HighPart};
}

// ---- sources and readers ----

class FileSource final : public ByteSource {
public:
    FileSource(HANDLE file, uint64_t size) : file_(file), size_(size) {}
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t offset, void* buf, size_t n) override {
        if (offset > size_ || n > size_ - offset) return false;
        if (offset != position_) {
            LARGE_INTEGER to{};
            to.QuadPart = static_cast<LONGLONG>(offset);
            if (!SetFilePointerEx(file_.Get(), to, nullptr, FILE_BEGIN)) return false;
            position_ = offset;
        }
        char* out = static_cast<char*>(buf);
        while (n > 0) {
            DWORD want = static_cast<DWORD>(std::min<size_t>(n, 1 << 26)), got = 0;
            if (!ReadFile(file_.Get(), out, want, &got, nullptr) || got == 0) {
                position_ = UINT64_MAX;  // unknown: seek again next time
                return false;
            }
            position_ += got;
            out += got;
            n -= got;
        }
        return true;
    }

private:
    platform::UniqueFile file_;
    uint64_t size_;
    uint64_t position_ = 0;
};

class WindowReader final : public Reader {
public:
    WindowReader(ByteSource& source, uint64_t offset, uint64_t length)
        : source_(source),
          position_(offset),
          end_(length > source.Size() - std::min(offset, source.Size()) ? source.Size() : offset + length) {}
    size_t Read(char* buf, size_t n) override {
        if (failed_ || position_ >= end_) return 0;
        size_t take = static_cast<size_t>(std::min<uint64_t>(n, end_ - position_));
        if (!source_.ReadAt(position_, buf, take)) {
            failed_ = true;
            return 0;
        }
        position_ += take;
        return take;
    }
    bool Skip(uint64_t n) override {
        if (n > end_ - std::min(position_, end_)) {
            position_ = end_;
            return false;
        }
        position_ += n;
        return true;
    }

private:
    ByteSource& source_;
    uint64_t position_;
    uint64_t end_;
};

class Inflater final : public Reader {
public:
    Inflater(std::unique_ptr<Reader> in, Inflation kind, size_t bufferSize)
        : in_(std::move(in)), gzip_(kind == Inflation::Gzip), input_(bufferSize) {
        if (inflateInit2(&z_, gzip_ ? 16 + MAX_WBITS : -MAX_WBITS) != Z_OK) failed_ = true;
        ready_ = !failed_;
    }
    ~Inflater() override {
        if (ready_) inflateEnd(&z_);
    }
    size_t Read(char* buf, size_t n) override {
        if (failed_ || done_ || n == 0) return 0;
        z_.next_out = reinterpret_cast<Bytef*>(buf);
        z_.avail_out = static_cast<uInt>(n);
        while (z_.avail_out > 0 && !done_ && !failed_) {
            if (z_.avail_in == 0 && !Fill()) {
                failed_ = true;  // the stream ends before its end
                break;
            }
            int rc = inflate(&z_, Z_NO_FLUSH);
            if (rc == Z_STREAM_END) {
                // gzip: another member may follow; anything else after the stream is ignored.
                if (!gzip_ || !NextGzipMember()) done_ = true;
            } else if (rc != Z_OK && !(rc == Z_BUF_ERROR && z_.avail_in == 0)) {
                failed_ = true;
            }
        }
        return n - z_.avail_out;
    }

private:
    bool Fill() {
        if (inputEnded_) return false;
        size_t got = in_->Read(input_.data(), input_.size());
        if (got == 0) {
            inputEnded_ = true;
            return false;
        }
        z_.next_in = reinterpret_cast<Bytef*>(input_.data());
        z_.avail_in = static_cast<uInt>(got);
        return true;
    }
    bool NextGzipMember() {
        if (z_.avail_in == 0 && !Fill()) return false;
        if (*z_.next_in != 0x1F) return false;
        return inflateReset(&z_) == Z_OK;
    }
    std::unique_ptr<Reader> in_;
    bool gzip_;
    std::vector<char> input_;
    z_stream z_{};
    bool ready_ = false;
    bool done_ = false;
    bool inputEnded_ = false;
};

class StringReader final : public Reader {
public:
    explicit StringReader(std::string data) : data_(std::move(data)) {}
    size_t Read(char* buf, size_t n) override {
        size_t take = std::min(n, data_.size() - at_);
        memcpy(buf, data_.data() + at_, take);
        at_ += take;
        return take;
    }

private:
    std::string data_;
    size_t at_ = 0;
};

size_t BufferFor(uint64_t size) {
    return static_cast<size_t>(std::clamp<uint64_t>(size + 1, 512, 256 * 1024));
}

// ---- ZIP ----

std::string Utf8NameToSjis(std::string_view name) { return platform::Utf8ToSjis(name); }

struct ZipLayout {
    uint64_t cdStart = 0;  // where the central directory really starts in the source
    uint64_t cdSize = 0;
    uint64_t count = 0;
    uint64_t shift = 0;  // bytes put in front of the archive
    uint64_t endAt = 0;  // the end record
    uint64_t end64At = UINT64_MAX;
    uint64_t locatorAt = UINT64_MAX;
    uint64_t cdOffset = 0;  // as the records state it
    std::string comment;
};

// Finds the end records, the zip64 ones included.
bool FindZipLayout(ByteSource& src, ZipLayout& l) {
    const uint64_t size = src.Size();
    if (size < 22) return false;
    const uint64_t tailStart = size > 22 + 65535 ? size - 22 - 65535 : 0;
    std::string tail(static_cast<size_t>(size - tailStart), '\0');
    if (!src.ReadAt(tailStart, tail.data(), tail.size())) return false;
    size_t at = std::string::npos;
    for (size_t i = tail.size() - 22 + 1; i-- > 0;)
        if (Get32(tail, i) == kEndSig && i + 22 + Get16(tail, i + 20) == tail.size()) {
            at = i;
            break;
        }
    if (at == std::string::npos) return false;
    l.endAt = tailStart + at;
    l.count = Get16(tail, at + 10);
    l.cdSize = Get32(tail, at + 12);
    l.cdOffset = Get32(tail, at + 16);
    l.comment = tail.substr(at + 22, Get16(tail, at + 20));
    uint64_t cdEnd = l.endAt;

    // zip64: the locator sits right before the end record and names the zip64 end record.
    if (l.endAt >= 20) {
        char loc[20];
        if (src.ReadAt(l.endAt - 20, loc, 20) && Get32(std::string_view(loc, 20), 0) == kLocator64Sig) {
            const std::string_view lv(loc, 20);
            const uint64_t stated = Get64(lv, 8);
            char rec[56];
            uint64_t found = UINT64_MAX;
            // Where it should be when nothing was put in front, or right before the locator when something
            // was.
            for (uint64_t candidate : {stated, l.endAt >= 76 ? l.endAt - 76 : UINT64_MAX})
                if (candidate != UINT64_MAX && src.ReadAt(candidate, rec, 56) &&
                    Get32(std::string_view(rec, 56), 0) == kEnd64Sig) {
                    found = candidate;
                    break;
                }
            if (found == UINT64_MAX) return false;
            const std::string_view rv(rec, 56);
            l.end64At = found;
            l.locatorAt = l.endAt - 20;
            l.count = Get64(rv, 32);
            l.cdSize = Get64(rv, 40);
            l.cdOffset = Get64(rv, 48);
            cdEnd = found;
        }
    }
    if (l.cdSize > cdEnd) return false;
    l.cdStart = cdEnd - l.cdSize;
    if (l.cdStart < l.cdOffset) return false;
    l.shift = l.cdStart - l.cdOffset;
    return true;
}

class ZipWalk final : public MemberWalk {
public:
    ZipWalk(ByteSource& source, const ZipLayout& layout) : src_(source), l_(layout) { Rewind(); }

    bool Rewind() override {
        pos_ = l_.cdStart;
        index_ = 0;
        damaged_ = false;
        return true;
    }

    bool Next(ArchiveMember& m) override {
        if (damaged_ || index_ >= l_.count) return false;
        std::string_view h;
        if (!Fetch(pos_, 46, h) || Get32(h, 0) != kCentralSig) return Broken();
        m = ArchiveMember{};
        m.flags = Get16(h, 8);
        m.method = Get16(h, 10);
        m.dosTime = Get16(h, 12);
        m.dosDate = Get16(h, 14);
        m.crc = Get32(h, 16);
        m.compressedSize = Get32(h, 20);
        m.size = Get32(h, 24);
        const uint16_t nameLen = Get16(h, 28), extraLen = Get16(h, 30), commentLen = Get16(h, 32);
        const uint32_t external = Get32(h, 38);
        uint64_t local = Get32(h, 42);
        offsetField_ = pos_ + 42;
        offsetIn64_ = false;
        std::string_view rest;
        if (!Fetch(pos_ + 46, static_cast<size_t>(nameLen) + extraLen, rest)) return Broken();
        m.name = std::string(rest.substr(0, nameLen));
        if (m.flags & 0x800) m.name = Utf8NameToSjis(m.name);
        const std::string_view extra = rest.substr(nameLen, extraLen);
        for (size_t e = 0; e + 4 <= extra.size();) {
            const uint16_t id = Get16(extra, e), len = Get16(extra, e + 2);
            if (e + 4 + len > extra.size()) break;
            if (id == 0x0001) {  // zip64: the 64-bit values of the fields that hold all ones, in this order
                size_t v = e + 4;
                auto take = [&](uint64_t& field) {
                    if (field != kMax32) return true;
                    if (v + 8 > e + 4 + len) return false;
                    field = Get64(extra, v);
                    v += 8;
                    return true;
                };
                const size_t localAt = m.size == kMax32 ? (m.compressedSize == kMax32 ? 16 : 8)
                                                        : (m.compressedSize == kMax32 ? 8 : 0);
                if (!take(m.size) || !take(m.compressedSize)) return Broken();
                if (local == kMax32) {
                    offsetField_ = pos_ + 46 + nameLen + e + 4 + localAt;
                    offsetIn64_ = true;
                    if (!take(local)) return Broken();
                }
            } else if (id == 0x5455 && len >= 5 && (extra[e + 4] & 1)) {
                m.unixTime = static_cast<int32_t>(Get32(extra, e + 5));
            }
            e += 4 + len;
        }
        m.isDir = (!m.name.empty() && (m.name.back() == '/' || platform::SjisEndsWithChar(m.name, '\\'))) ||
                  (external & 0x10);
        m.localOffset = local + l_.shift;
        current_ = m;
        pos_ += 46 + static_cast<uint64_t>(nameLen) + extraLen + commentLen;
        ++index_;
        return true;
    }

    std::unique_ptr<Reader> Data() override {
        uint64_t at = 0;
        if (!DataStart(at)) return nullptr;
        if (current_.flags & 1) return nullptr;  // encrypted members are not decoded
        auto raw = SourceReader(src_, at, current_.compressedSize);
        if (current_.method == kMethodStored) return raw;
        if (current_.method == kMethodDeflate)
            return std::make_unique<Inflater>(std::move(raw), Inflation::Raw,
                                              BufferFor(current_.compressedSize));
        return nullptr;
    }

    std::unique_ptr<Reader> Raw() {
        uint64_t at = 0;
        return DataStart(at) ? SourceReader(src_, at, current_.compressedSize) : nullptr;
    }

    const ZipLayout& Layout() const { return l_; }
    // Where the member last given keeps its local-header offset (4 bytes, or 8 in its zip64 field).
    uint64_t OffsetField() const { return offsetField_; }
    bool OffsetIn64() const { return offsetIn64_; }

private:
    bool Broken() {
        damaged_ = true;
        return false;
    }
    bool DataStart(uint64_t& at) {
        char h[30];
        const std::string_view hv(h, 30);
        if (!src_.ReadAt(current_.localOffset, h, 30) || Get32(hv, 0) != kLocalSig) return false;
        at = current_.localOffset + 30 + Get16(hv, 26) + Get16(hv, 28);
        return at <= src_.Size() && current_.compressedSize <= src_.Size() - at;
    }
    // n bytes of the central directory at `at`, through a window that is read ahead.
    bool Fetch(uint64_t at, size_t n, std::string_view& out) {
        const uint64_t limit = l_.cdStart + l_.cdSize;
        if (at < l_.cdStart || at > limit || n > limit - at) return false;
        if (at < windowAt_ || at + n > windowAt_ + window_.size()) {
            const size_t want =
                static_cast<size_t>(std::min<uint64_t>(std::max<size_t>(n, 64 * 1024), limit - at));
            window_.resize(want);
            if (!src_.ReadAt(at, window_.data(), want)) {
                window_.clear();
                return false;
            }
            windowAt_ = at;
        }
        out = std::string_view(window_).substr(static_cast<size_t>(at - windowAt_), n);
        return true;
    }

    ByteSource& src_;
    ZipLayout l_;
    uint64_t pos_ = 0;
    uint64_t index_ = 0;
    std::string window_;
    uint64_t windowAt_ = 0;
    ArchiveMember current_;
    uint64_t offsetField_ = 0;
    bool offsetIn64_ = false;
};

// ---- tar ----

uint64_t ParseOctal(std::string_view field) {
    // GNU base-256: the first byte's high bit set, the rest big-endian.
    if (!field.empty() && (static_cast<unsigned char>(field[0]) & 0x80)) {
        uint64_t v = static_cast<unsigned char>(field[0]) & 0x7F;
        for (size_t i = 1; i < field.size(); ++i) v = v << 8 | static_cast<unsigned char>(field[i]);
        return v;
    }
    uint64_t v = 0;
    size_t i = 0;
    while (i < field.size() && field[i] == ' ') ++i;
    for (; i < field.size() && field[i] >= '0' && field[i] <= '7'; ++i)
        v = v * 8 + static_cast<uint64_t>(field[i] - '0');
    return v;
}

bool ChecksumOk(std::string_view h) {
    unsigned sum = 0;
    for (size_t i = 0; i < 512; ++i) sum += (i >= 148 && i < 156) ? ' ' : static_cast<unsigned char>(h[i]);
    return sum == ParseOctal(h.substr(148, 8));
}

bool AllZero(std::string_view b) { return b.find_first_not_of('\0') == std::string_view::npos; }

std::string CField(std::string_view h, size_t at, size_t len) {
    std::string_view f = h.substr(at, len);
    size_t nul = f.find('\0');
    return std::string(nul == std::string_view::npos ? f : f.substr(0, nul));
}

void PutOctal(std::string& h, size_t at, size_t len, uint64_t v) {
    std::string digits(len - 1, '0');
    for (size_t i = len - 1; i-- > 0 && v;) {
        digits[i] = static_cast<char>('0' + (v & 7));
        v >>= 3;
    }
    std::memcpy(&h[at], digits.data(), len - 1);
    h[at + len - 1] = '\0';
}

std::string TarHeader(std::string_view name, char type, uint64_t size, int64_t mtime,
                      std::string_view linkName = {}) {
    std::string h(512, '\0');
    std::memcpy(&h[0], name.data(), name.size() < 100 ? name.size() : 100);
    std::memcpy(&h[157], linkName.data(), linkName.size() < 100 ? linkName.size() : 100);
    PutOctal(h, 100, 8, type == '5' ? 0755 : 0644);
    PutOctal(h, 108, 8, 0);
    PutOctal(h, 116, 8, 0);
    if (size < (1ULL << 33)) {
        PutOctal(h, 124, 12, size);
    } else {  // beyond 11 octal digits: base-256
        h[124] = static_cast<char>(0x80);
        for (int i = 11; i >= 1; --i, size >>= 8) h[124 + i] = static_cast<char>(size & 0xFF);
    }
    PutOctal(h, 136, 12, static_cast<uint64_t>(mtime < 0 ? 0 : mtime));
    h[156] = type;
    std::memcpy(&h[257], "ustar", 6);
    h[263] = '0';
    h[264] = '0';
    unsigned sum = 0;
    for (size_t i = 0; i < 512; ++i) sum += (i >= 148 && i < 156) ? ' ' : static_cast<unsigned char>(h[i]);
    PutOctal(h, 148, 7, sum);
    h[155] = ' ';
    return h;
}

bool ReadExact(Reader& r, char* buf, size_t n) {
    size_t got = 0;
    while (got < n) {
        size_t k = r.Read(buf + got, n - got);
        if (k == 0) return false;
        got += k;
    }
    return true;
}

class TarWalk final : public MemberWalk {
public:
    explicit TarWalk(std::function<std::unique_ptr<Reader>()> open) : open_(std::move(open)) { Rewind(); }

    bool Rewind() override {
        in_ = open_();
        left_ = pad_ = 0;
        sizes_.clear();
        damaged_ = false;
        ended_ = !in_;
        return in_ != nullptr;
    }

    bool Next(ArchiveMember& m) override {
        if (ended_ || damaged_) return false;
        // The rest of the last member's data must be there; its padding may be cut off at the very end.
        if (!in_->Skip(left_)) return End(true);
        if (!in_->Skip(pad_)) return End(in_->Failed());
        left_ = pad_ = 0;
        std::string longName, longLink;
        uint64_t paxSize = UINT64_MAX;
        char block[512];
        for (;;) {
            size_t got = 0;
            while (got < 512) {
                size_t k = in_->Read(block + got, 512 - got);
                if (k == 0) break;
                got += k;
            }
            if (got < 512) return End(in_->Failed());  // the data ends without end blocks
            const std::string_view h(block, 512);
            if (AllZero(h)) return End(false);
            if (!ChecksumOk(h)) return End(true);
            uint64_t size = ParseOctal(h.substr(124, 12));
            if (paxSize != UINT64_MAX) size = paxSize;
            const char type = h[156];
            const uint64_t pad = (512 - size % 512) % 512;
            if (type == 'L' || type == 'K' || type == 'x') {
                if (size > kMaxTarRecord) return End(true);
                std::string data(static_cast<size_t>(size), '\0');
                if (!ReadExact(*in_, data.data(), data.size()) || !in_->Skip(pad)) return End(true);
                if (type == 'L') {
                    longName = CField(data, 0, data.size());
                } else if (type == 'K') {
                    longLink = CField(data, 0, data.size());
                } else {
                    ParsePax(data, longName, longLink, paxSize);
                }
                continue;
            }
            const bool kept =
                type == '0' || type == '\0' || type == '5' || type == '7' || type == '1' || type == '2';
            if (!kept) {  // devices, fifos, global records: passed over
                if (!in_->Skip(size)) return End(true);
                if (!in_->Skip(pad)) return End(in_->Failed());
                paxSize = UINT64_MAX;
                longName.clear();
                longLink.clear();
                continue;
            }
            m = ArchiveMember{};
            if (!longName.empty()) {
                m.name = std::move(longName);
            } else {
                std::string prefix = CField(h, 345, 155), name = CField(h, 0, 100);
                m.name = prefix.empty() ? name : prefix + "/" + name;
            }
            m.isDir = type == '5' || (!m.name.empty() && m.name.back() == '/');
            m.unixTime = static_cast<int64_t>(ParseOctal(h.substr(136, 12)));
            UnixTimeToDos(m.unixTime, m.dosDate, m.dosTime);
            m.method = kMethodStored;
            m.hasCrc = false;
            m.size = m.compressedSize = m.isDir ? 0 : size;
            left_ = size;
            pad_ = pad;
            if (type == '1' || type == '2') {
                m.isDir = false;
                m.link = type;
                m.linkName = longLink.empty() ? CField(h, 157, 100) : std::move(longLink);
                // A link's data is no member data: a hard link is as large as its target, a symbolic link
                // is written as a small file holding the target's name.
                left_ = 0;
                pad_ = size + pad;
                m.compressedSize = 0;
                if (type == '2') {
                    m.size = m.linkName.size();
                } else {
                    auto target = sizes_.find(StripDotSlash(m.linkName));
                    m.size = target == sizes_.end() ? 0 : target->second;
                }
            } else if (m.isDir) {
                left_ = 0;
                pad_ = size + pad;
            }
            if (!m.isDir) sizes_[StripDotSlash(m.name)] = m.size;
            return true;
        }
    }

    std::unique_ptr<Reader> Data() override { return std::make_unique<Part>(*this); }

private:
    // The current member's bytes, taken from the walk's stream.
    class Part final : public Reader {
    public:
        explicit Part(TarWalk& walk) : walk_(walk) {}
        size_t Read(char* buf, size_t n) override {
            size_t take = static_cast<size_t>(std::min<uint64_t>(n, walk_.left_));
            if (take == 0) return 0;
            size_t got = walk_.in_->Read(buf, take);
            walk_.left_ -= got;
            if (got < take) failed_ = true;
            return got;
        }

    private:
        TarWalk& walk_;
    };

    static std::string StripDotSlash(std::string_view name) {
        while (name.substr(0, 2) == "./") name.remove_prefix(2);
        return std::string(name);
    }
    static void ParsePax(std::string_view data, std::string& path, std::string& linkPath, uint64_t& size) {
        for (size_t p = 0; p < data.size();) {
            size_t sp = data.find(' ', p);
            if (sp == std::string_view::npos) break;
            size_t len = std::strtoul(std::string(data.substr(p, sp - p)).c_str(), nullptr, 10);
            if (len == 0 || p + len > data.size() || sp + 2 > p + len) break;
            std::string_view rec = data.substr(sp + 1, p + len - sp - 2);
            if (rec.substr(0, 5) == "path=") path = Utf8NameToSjis(rec.substr(5));
            if (rec.substr(0, 9) == "linkpath=") linkPath = Utf8NameToSjis(rec.substr(9));
            if (rec.substr(0, 5) == "size=")
                size = std::strtoull(std::string(rec.substr(5)).c_str(), nullptr, 10);
            p += len;
        }
    }
    bool End(bool damaged) {
        ended_ = true;
        damaged_ = damaged;
        return false;
    }

    std::function<std::unique_ptr<Reader>()> open_;
    std::unique_ptr<Reader> in_;
    uint64_t left_ = 0;
    uint64_t pad_ = 0;
    bool ended_ = false;
    std::unordered_map<std::string, uint64_t> sizes_;  // of the files passed so far, for hard links
};

// A lone gzip stream: one member of the stream's whole content.
class GzipWalk final : public MemberWalk {
public:
    GzipWalk(ByteSource& source, std::string name) : src_(source) {
        member_.name = std::move(name);
        member_.method = kMethodStored;
        member_.hasCrc = false;  // the inflater checks the stream's own trailer
        char trailer[8];
        if (src_.Size() >= 18 && src_.ReadAt(src_.Size() - 8, trailer, 8)) {
            member_.crc = Get32(std::string_view(trailer, 8), 0);
            member_.size = Get32(std::string_view(trailer, 8), 4);  // modulo 4 GiB, as gzip keeps it
        }
        member_.compressedSize = src_.Size();
    }
    bool Rewind() override {
        given_ = false;
        return true;
    }
    bool Next(ArchiveMember& m) override {
        if (given_) return false;
        given_ = true;
        m = member_;
        return true;
    }
    std::unique_ptr<Reader> Data() override {
        return std::make_unique<Inflater>(SourceReader(src_, 0), Inflation::Gzip, BufferFor(src_.Size()));
    }

private:
    ByteSource& src_;
    ArchiveMember member_;
    bool given_ = false;
};

class VectorWalk final : public MemberWalk {
public:
    explicit VectorWalk(std::vector<ArchiveMember> members) : members_(std::move(members)) {}
    bool Rewind() override {
        next_ = 0;
        return true;
    }
    bool Next(ArchiveMember& m) override {
        if (next_ >= members_.size()) return false;
        m = members_[next_++];
        m.data.clear();
        return true;
    }
    std::unique_ptr<Reader> Data() override {
        return next_ ? std::make_unique<StringReader>(members_[next_ - 1].data) : nullptr;
    }

private:
    std::vector<ArchiveMember> members_;
    size_t next_ = 0;
};

// A deflate stream handing what it makes to a sink, a buffer at a time.
class Deflater {
public:
    Deflater(int level, int windowBits, size_t bufferSize) : buf_(bufferSize) {
        ok_ = deflateInit2(&z_, level, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY) == Z_OK;
        ready_ = ok_;
    }
    ~Deflater() {
        if (ready_) deflateEnd(&z_);
    }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;
    // Feeds `in`; with Z_FINISH the stream ends after it. False once deflate or the sink failed.
    template <typename Sink>
    bool Feed(std::string_view in, int flush, Sink&& sink) {
        if (in.empty() && flush == Z_NO_FLUSH) return ok_;
        size_t at = 0;
        do {
            const std::string_view part = in.substr(at, kChunkSize);
            at += part.size();
            const int mode = at < in.size() ? Z_NO_FLUSH : flush;
            z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(part.data()));
            z_.avail_in = static_cast<uInt>(part.size());
            int rc = Z_OK;
            do {
                z_.next_out = reinterpret_cast<Bytef*>(buf_.data());
                z_.avail_out = static_cast<uInt>(buf_.size());
                rc = deflate(&z_, mode);
                const size_t made = buf_.size() - z_.avail_out;
                if (rc == Z_STREAM_ERROR || (made && !sink(std::string_view(buf_.data(), made)))) ok_ = false;
            } while (ok_ && (z_.avail_in > 0 || (mode == Z_FINISH && rc != Z_STREAM_END)));
        } while (ok_ && at < in.size());
        return ok_;
    }

private:
    z_stream z_{};
    std::vector<char> buf_;
    bool ok_ = false;
    bool ready_ = false;
};

}  // namespace

// ---- public: sources, readers ----

bool MemorySource::ReadAt(uint64_t offset, void* buf, size_t n) {
    if (offset > bytes_.size() || n > bytes_.size() - offset) return false;
    memcpy(buf, bytes_.data() + offset, n);
    return true;
}

std::unique_ptr<ByteSource> OpenFileSource(const std::wstring& path) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (f == INVALID_HANDLE_VALUE) return nullptr;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(f, &size)) {
        CloseHandle(f);
        return nullptr;
    }
    return std::make_unique<FileSource>(f, static_cast<uint64_t>(size.QuadPart));
}

bool Reader::Skip(uint64_t n) {
    char scratch[16384];
    while (n > 0) {
        size_t got = Read(scratch, static_cast<size_t>(std::min<uint64_t>(n, sizeof(scratch))));
        if (got == 0) return false;
        n -= got;
    }
    return true;
}

std::unique_ptr<Reader> SourceReader(ByteSource& source, uint64_t offset, uint64_t length) {
    return std::make_unique<WindowReader>(source, offset, length);
}

std::unique_ptr<Reader> InflateReader(std::unique_ptr<Reader> compressed, Inflation kind) {
    return std::make_unique<Inflater>(std::move(compressed), kind, 256 * 1024);
}

// ---- public: walks ----

std::unique_ptr<MemberWalk> OpenZipWalk(ByteSource& source, std::string* comment) {
    ZipLayout layout;
    if (!FindZipLayout(source, layout)) return nullptr;
    if (comment) *comment = layout.comment;
    return std::make_unique<ZipWalk>(source, layout);
}

TarKind DetectTar(ByteSource& source) {
    char head[512];
    if (source.Size() >= 3 && source.ReadAt(0, head, 2) && static_cast<unsigned char>(head[0]) == 0x1F &&
        static_cast<unsigned char>(head[1]) == 0x8B) {
        Inflater in(SourceReader(source, 0), Inflation::Gzip, BufferFor(source.Size()));
        size_t got = 0;
        while (got < 512) {
            size_t k = in.Read(head + got, 512 - got);
            if (k == 0) break;
            got += k;
        }
        if (got == 0 && in.Failed()) return TarKind::NotTar;
        const std::string_view h(head, got);
        return got == 512 && (AllZero(h) || (ChecksumOk(h) && h[0] != 0)) ? TarKind::GzipTar : TarKind::Gzip;
    }
    if (source.Size() < 512 || !source.ReadAt(0, head, 512)) return TarKind::NotTar;
    const std::string_view h(head, 512);
    if (ChecksumOk(h) && h[0] != 0) return TarKind::Tar;
    // Nothing but end blocks is a tar with no members (what tar writes for an empty list).
    if (source.Size() % 512 != 0 || !AllZero(h)) return TarKind::NotTar;
    std::vector<char> buf(64 * 1024);
    for (uint64_t at = 512; at < source.Size();) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(buf.size(), source.Size() - at));
        if (!source.ReadAt(at, buf.data(), n) || !AllZero(std::string_view(buf.data(), n)))
            return TarKind::NotTar;
        at += n;
    }
    return TarKind::Tar;
}

std::unique_ptr<MemberWalk> OpenTarWalk(ByteSource& source, const std::string& gzipMemberName,
                                        TarKind* kind) {
    const TarKind k = DetectTar(source);
    if (kind) *kind = k;
    ByteSource* src = &source;
    switch (k) {
        case TarKind::Tar:
            return std::make_unique<TarWalk>([src] { return SourceReader(*src, 0); });
        case TarKind::GzipTar:
            return std::make_unique<TarWalk>([src] {
                return std::make_unique<Inflater>(SourceReader(*src, 0), Inflation::Gzip, 256 * 1024);
            });
        case TarKind::Gzip:
            return std::make_unique<GzipWalk>(source, gzipMemberName);
        case TarKind::NotTar:
            break;
    }
    return nullptr;
}

std::unique_ptr<MemberWalk> ListWalk(std::vector<ArchiveMember> members) {
    return std::make_unique<VectorWalk>(std::move(members));
}

DataStatus StreamMemberData(MemberWalk& walk, const ArchiveMember& m,
                            const std::function<bool(std::string_view)>& sink) {
    std::unique_ptr<Reader> r = walk.Data();
    if (!r) {
        const bool known = m.method == kMethodStored || m.method == kMethodDeflate;
        return (m.flags & 1) || !known ? DataStatus::Unsupported : DataStatus::Damaged;
    }
    // A lone gzip stream states the size of its last member only, modulo 4 GiB: the inflater checks each
    // member's own trailer instead. Every other container knows the size exactly.
    const bool exact = dynamic_cast<GzipWalk*>(&walk) == nullptr;
    // Small members get a small buffer: a walk over many of them allocates little.
    const uint64_t want = exact ? std::max<uint64_t>(m.size, 4095) + 1 : kChunkSize;
    std::vector<char> buf(static_cast<size_t>(std::min<uint64_t>(kChunkSize, want)));
    uint64_t total = 0;
    uint32_t crc = 0;
    for (;;) {
        const size_t got = r->Read(buf.data(), buf.size());
        if (got == 0) break;
        total += got;
        if (exact && total > m.size) return DataStatus::Damaged;
        const std::string_view chunk(buf.data(), got);
        if (m.hasCrc) crc = Crc32(chunk, crc);
        if (!sink(chunk)) return DataStatus::Stopped;
    }
    if (r->Failed()) return DataStatus::Damaged;
    if (exact && total != m.size) return DataStatus::Damaged;
    if (m.hasCrc && crc != m.crc) return DataStatus::CrcError;
    return DataStatus::Ok;
}

std::unique_ptr<Reader> ZipRawData(MemberWalk& walk) {
    auto* zip = dynamic_cast<ZipWalk*>(&walk);
    return zip ? zip->Raw() : nullptr;
}

// ---- public: writers ----

bool StringWriter::Write(std::string_view data) {
    out_.append(data);
    return true;
}

bool StringWriter::WriteAt(uint64_t offset, std::string_view data) {
    if (offset > out_.size() || data.size() > out_.size() - offset) return false;
    out_.replace(static_cast<size_t>(offset), data.size(), data);
    return true;
}

FileWriter::FileWriter(const std::wstring& path, DWORD share)
    : file_(CreateFileW(path.c_str(), GENERIC_WRITE, share, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                        nullptr)) {
    if (file_ == INVALID_HANDLE_VALUE) error_ = GetLastError();
}

FileWriter::~FileWriter() { Close(); }

bool FileWriter::Fail() {
    if (!error_) error_ = GetLastError();
    if (!error_) error_ = ERROR_WRITE_FAULT;
    return false;
}

bool FileWriter::Write(std::string_view data) {
    if (!IsOpen() || error_) return false;
    while (!data.empty()) {
        DWORD want = static_cast<DWORD>(std::min<size_t>(data.size(), 1 << 26)), put = 0;
        if (!WriteFile(file_, data.data(), want, &put, nullptr)) return Fail();
        if (put == 0) {  // no progress: the volume is full
            error_ = ERROR_DISK_FULL;
            return false;
        }
        position_ += put;
        data.remove_prefix(put);
    }
    return true;
}

bool FileWriter::WriteAt(uint64_t offset, std::string_view data) {
    if (!IsOpen() || error_) return false;
    LARGE_INTEGER to{};
    to.QuadPart = static_cast<LONGLONG>(offset);
    DWORD put = 0;
    bool ok = SetFilePointerEx(file_, to, nullptr, FILE_BEGIN) &&
              WriteFile(file_, data.data(), static_cast<DWORD>(data.size()), &put, nullptr) &&
              put == data.size();
    to.QuadPart = static_cast<LONGLONG>(position_);
    if (!ok) return Fail();
    return SetFilePointerEx(file_, to, nullptr, FILE_BEGIN) ? true : Fail();
}

bool FileWriter::Close() {
    if (file_ != INVALID_HANDLE_VALUE) {
        if (!CloseHandle(file_) && !error_) error_ = GetLastError();
        file_ = INVALID_HANDLE_VALUE;
    }
    return error_ == 0;
}

struct GzipWriter::Impl {
    Writer& out;
    Deflater deflater;
    Impl(Writer& w, int level) : out(w), deflater(level, 16 + MAX_WBITS, 256 * 1024) {}
    bool Feed(std::string_view in, int flush) {
        return deflater.Feed(in, flush, [this](std::string_view made) { return out.Write(made); });
    }
};

GzipWriter::GzipWriter(Writer& out, int level) : impl_(std::make_unique<Impl>(out, level)) {}
GzipWriter::~GzipWriter() = default;

bool GzipWriter::Write(std::string_view data) {
    if (!impl_->Feed(data, Z_NO_FLUSH)) return false;
    position_ += data.size();
    return true;
}

bool GzipWriter::Finish() { return impl_->Feed({}, Z_FINISH); }

struct ZipWriter::Impl {
    struct Entry {
        ArchiveMember header;  // sizes and CRC as written
        uint64_t offset = 0;
    };
    Writer& out;
    bool force64;
    int level;
    std::vector<Entry> entries;
    uint16_t nowDate = 0, nowTime = 0;
    // The member being written.
    Entry cur;
    bool open = false;
    bool local64 = false;
    std::unique_ptr<Deflater> deflater;  // while a deflated member is written
    uint64_t size = 0, packed = 0;
    uint32_t crc = 0;

    Impl(Writer& w, bool force, int lvl) : out(w), force64(force), level(lvl) {
        CurrentDosTime(nowDate, nowTime);
    }

    void Stamp(ArchiveMember& m) const {
        if (m.dosDate == 0 && m.unixTime >= 0) UnixTimeToDos(m.unixTime, m.dosDate, m.dosTime);
        if (m.dosDate == 0) m.dosDate = nowDate, m.dosTime = nowTime;
    }
    std::string LocalHeader(const ArchiveMember& m, bool zip64) const {
        std::string h;
        Put32(h, kLocalSig);
        Put16(h, zip64 ? 45 : 20);  // version needed
        Put16(h, m.flags & 1);      // names stay raw CP932; only the encryption bit is kept
        Put16(h, m.method);
        Put16(h, m.dosTime);
        Put16(h, m.dosDate);
        Put32(h, m.crc);
        Put32(h, zip64 ? kMax32 : static_cast<uint32_t>(m.compressedSize));
        Put32(h, zip64 ? kMax32 : static_cast<uint32_t>(m.size));
        Put16(h, static_cast<uint16_t>(m.name.size()));
        Put16(h, zip64 ? 20 : 0);
        h += m.name;
        if (zip64) {
            Put16(h, 0x0001);
            Put16(h, 16);
            Put64(h, m.size);
            Put64(h, m.compressedSize);
        }
        return h;
    }
    bool Output(std::string_view data) {
        packed += data.size();
        return out.Write(data);
    }
    bool Deflate(std::string_view in, int flush) {
        return deflater->Feed(in, flush, [this](std::string_view made) { return Output(made); });
    }
};

ZipWriter::ZipWriter(Writer& out, bool forceZip64, int level)
    : impl_(std::make_unique<Impl>(out, forceZip64, level)) {}
ZipWriter::~ZipWriter() = default;

bool ZipWriter::Begin(const ArchiveMember& header, uint64_t sizeHint) {
    Impl& d = *impl_;
    if (d.open) return false;
    d.cur = Impl::Entry{header, d.out.Position()};
    ArchiveMember& m = d.cur.header;
    m.data.clear();
    if (m.isDir) m.method = kMethodStored;
    m.flags = 0;
    d.Stamp(m);
    // A member near 4 GiB may grow past it when deflate cannot shrink it: zip64 then too.
    d.local64 = d.force64 || sizeHint >= 0xFF000000ULL;
    m.crc = 0;
    m.size = m.compressedSize = 0;
    d.size = d.packed = 0;
    d.crc = 0;
    if (!d.out.Write(d.LocalHeader(m, d.local64))) return false;
    if (m.method == kMethodDeflate)
        d.deflater = std::make_unique<Deflater>(d.level, -MAX_WBITS, BufferFor(sizeHint));
    d.open = true;
    return true;
}

bool ZipWriter::Write(std::string_view data) {
    Impl& d = *impl_;
    if (!d.open) return false;
    d.size += data.size();
    d.crc = Crc32(data, d.crc);
    return d.deflater ? d.Deflate(data, Z_NO_FLUSH) : d.Output(data);
}

bool ZipWriter::End() {
    Impl& d = *impl_;
    if (!d.open) return false;
    d.open = false;
    if (d.deflater) {
        const bool ok = d.Deflate({}, Z_FINISH);
        d.deflater.reset();
        if (!ok) return false;
    }
    ArchiveMember& m = d.cur.header;
    m.size = d.size;
    m.compressedSize = d.packed;
    m.crc = d.crc;
    if (!d.local64 && (m.size >= kMax32 || m.compressedSize >= kMax32))
        return false;  // no room for the sizes
    std::string fix = Le32(m.crc);
    if (d.local64) {
        if (!d.out.WriteAt(d.cur.offset + 14, fix)) return false;
        const uint64_t extraAt = d.cur.offset + 30 + m.name.size() + 4;
        if (!d.out.WriteAt(extraAt, Le64(m.size) + Le64(m.compressedSize))) return false;
    } else {
        fix += Le32(static_cast<uint32_t>(m.compressedSize)) + Le32(static_cast<uint32_t>(m.size));
        if (!d.out.WriteAt(d.cur.offset + 14, fix)) return false;
    }
    d.entries.push_back(std::move(d.cur));
    return true;
}

bool ZipWriter::CopyRaw(const ArchiveMember& header, Reader& raw) {
    Impl& d = *impl_;
    if (d.open) return false;
    Impl::Entry e{header, d.out.Position()};
    e.header.data.clear();
    e.header.flags &= 1;
    const bool zip64 = d.force64 || e.header.size >= kMax32 || e.header.compressedSize >= kMax32;
    if (!d.out.Write(d.LocalHeader(e.header, zip64))) return false;
    std::vector<char> buf(BufferFor(e.header.compressedSize));
    uint64_t copied = 0;
    for (;;) {
        const size_t got = raw.Read(buf.data(), buf.size());
        if (got == 0) break;
        if (!d.out.Write(std::string_view(buf.data(), got))) return false;
        copied += got;
    }
    if (raw.Failed() || copied != e.header.compressedSize) return false;
    d.entries.push_back(std::move(e));
    return true;
}

bool ZipWriter::Finish(std::string_view comment) {
    Impl& d = *impl_;
    if (d.open) return false;
    const uint64_t cdOffset = d.out.Position();
    std::string central;
    uint64_t cdSize = 0;
    for (const Impl::Entry& e : d.entries) {
        const ArchiveMember& m = e.header;
        const bool bigSize = d.force64 || m.size >= kMax32,
                   bigPacked = d.force64 || m.compressedSize >= kMax32,
                   bigOffset = d.force64 || e.offset >= kMax32;
        std::string extra;
        if (bigSize) Put64(extra, m.size);
        if (bigPacked) Put64(extra, m.compressedSize);
        if (bigOffset) Put64(extra, e.offset);
        const bool zip64 = !extra.empty();
        Put32(central, kCentralSig);
        Put16(central, zip64 ? 45 : 20);  // made by: DOS
        Put16(central, zip64 ? 45 : 20);  // version needed
        Put16(central, m.flags & 1);
        Put16(central, m.method);
        Put16(central, m.dosTime);
        Put16(central, m.dosDate);
        Put32(central, m.crc);
        Put32(central, bigPacked ? kMax32 : static_cast<uint32_t>(m.compressedSize));
        Put32(central, bigSize ? kMax32 : static_cast<uint32_t>(m.size));
        Put16(central, static_cast<uint16_t>(m.name.size()));
        Put16(central, static_cast<uint16_t>(zip64 ? extra.size() + 4 : 0));
        Put16(central, 0);  // comment
        Put16(central, 0);  // disk
        Put16(central, 0);  // internal attributes
        Put32(central, m.isDir ? 0x10 : 0x20);
        Put32(central, bigOffset ? kMax32 : static_cast<uint32_t>(e.offset));
        central += m.name;
        if (zip64) {
            Put16(central, 0x0001);
            Put16(central, static_cast<uint16_t>(extra.size()));
            central += extra;
        }
        if (central.size() >= 64 * 1024) {
            cdSize += central.size();
            if (!d.out.Write(central)) return false;
            central.clear();
        }
    }
    cdSize += central.size();
    if (!d.out.Write(central)) return false;
    const uint64_t count = d.entries.size();
    const bool zip64 = d.force64 || count >= kMax16 || cdSize >= kMax32 || cdOffset >= kMax32;
    std::string end;
    if (zip64) {
        const uint64_t end64At = d.out.Position();
        Put32(end, kEnd64Sig);
        Put64(end, 44);  // the record's size after this field
        Put16(end, 45);
        Put16(end, 45);
        Put32(end, 0);
        Put32(end, 0);
        Put64(end, count);
        Put64(end, count);
        Put64(end, cdSize);
        Put64(end, cdOffset);
        Put32(end, kLocator64Sig);
        Put32(end, 0);
        Put64(end, end64At);
        Put32(end, 1);
    }
    const uint16_t count16 = zip64 ? kMax16 : static_cast<uint16_t>(count);
    Put32(end, kEndSig);
    Put16(end, 0);
    Put16(end, 0);
    Put16(end, count16);
    Put16(end, count16);
    Put32(end, zip64 ? kMax32 : static_cast<uint32_t>(cdSize));
    Put32(end, zip64 ? kMax32 : static_cast<uint32_t>(cdOffset));
    Put16(end, static_cast<uint16_t>(comment.size()));
    end += comment;
    return d.out.Write(end);
}

bool TarWriter::Begin(const ArchiveMember& m, uint64_t size) {
    std::string name = m.name;
    if (m.isDir && (name.empty() || name.back() != '/')) name += '/';
    const char type = m.link ? m.link : m.isDir ? '5' : '0';
    const int64_t mtime =
        m.unixTime >= 0 ? m.unixTime : (m.dosDate ? DosToUnixTime(m.dosDate, m.dosTime) : 0);
    std::string h;
    auto longRecord = [&h](const std::string& text, char kind) {  // GNU long name or link records
        h += TarHeader("././@LongLink", kind, text.size() + 1, 0);
        h += text;
        h.push_back('\0');
        h.append((512 - h.size() % 512) % 512, '\0');
    };
    if (name.size() > 100) longRecord(name, 'L');
    if (m.link && m.linkName.size() > 100) longRecord(m.linkName, 'K');
    left_ = m.isDir || m.link ? 0 : size;
    written_ = 0;
    h += TarHeader(name, type, left_, mtime, m.link ? std::string_view(m.linkName) : std::string_view());
    return out_.Write(h);
}

bool TarWriter::Write(std::string_view data) {
    if (data.size() > left_) return false;
    left_ -= data.size();
    written_ += data.size();
    return out_.Write(data);
}

bool TarWriter::End() {
    // A file that shrank while it was read is filled up to the size its header states.
    const std::string zeros(64 * 1024, '\0');
    while (left_ > 0) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(left_, zeros.size()));
        if (!Write(std::string_view(zeros.data(), n))) return false;
    }
    return out_.Write(std::string_view(zeros.data(), static_cast<size_t>((512 - written_ % 512) % 512)));
}

bool TarWriter::Finish() { return out_.Write(std::string(1024, '\0')); }

bool AdjustZipFileOffsets(const std::wstring& path) {
    std::unique_ptr<ByteSource> src = OpenFileSource(path);
    if (!src) return false;
    ZipLayout layout;
    if (!FindZipLayout(*src, layout)) return false;
    platform::UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return false;
    const uint64_t shift = layout.shift;
    auto put = [&](uint64_t at, const std::string& bytes) {
        LARGE_INTEGER to{};
        to.QuadPart = static_cast<LONGLONG>(at);
        DWORD done = 0;
        return SetFilePointerEx(file.Get(), to, nullptr, FILE_BEGIN) &&
               WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) &&
               done == bytes.size();
    };
    if (shift == 0) return true;
    ZipWalk walk(*src, layout);
    ArchiveMember m;
    uint64_t seen = 0;
    // The offsets are rewritten entry by entry: the walk's window already holds what it reads next.
    while (walk.Next(m)) {
        const uint64_t local = m.localOffset;  // already shifted
        if (walk.OffsetIn64()
                ? !put(walk.OffsetField(), Le64(local))
                : local >= kMax32 || !put(walk.OffsetField(), Le32(static_cast<uint32_t>(local))))
            return false;
        ++seen;
    }
    if (walk.Damaged() || seen != layout.count) return false;
    const uint64_t cdOffset = layout.cdOffset + shift;
    if (layout.end64At != UINT64_MAX) {
        if (!put(layout.end64At + 48, Le64(cdOffset)) || !put(layout.locatorAt + 8, Le64(layout.end64At)))
            return false;
        char field[4];
        if (src->ReadAt(layout.endAt + 16, field, 4) && Get32(std::string_view(field, 4), 0) != kMax32)
            return cdOffset < kMax32 && put(layout.endAt + 16, Le32(static_cast<uint32_t>(cdOffset)));
        return true;
    }
    return cdOffset < kMax32 && put(layout.endAt + 16, Le32(static_cast<uint32_t>(cdOffset)));
}

std::string ZipTag(std::string_view comment) {
    if (comment.substr(0, kTagPrefix.size()) != kTagPrefix) return {};
    std::string_view rest = comment.substr(kTagPrefix.size());
    return std::string(rest.substr(0, rest.find(' ')));
}

VolumeInfo ZipVolume(std::string_view comment) {
    VolumeInfo v;
    if (ZipTag(comment).empty()) return v;
    std::string_view rest = comment.substr(kTagPrefix.size());
    for (size_t at = rest.find(' '); at != std::string_view::npos;) {
        const size_t end = rest.find(' ', at + 1);
        const std::string_view field =
            rest.substr(at + 1, end == std::string_view::npos ? end : end - at - 1);
        if (field.substr(0, 7) == "volume=")
            v.number = static_cast<uint32_t>(std::strtoul(std::string(field.substr(7)).c_str(), nullptr, 10));
        else if (field.substr(0, 4) == "set=")
            v.set = std::string(field.substr(4));
        else if (field == "last")
            v.last = true;
        at = end;
    }
    return v;
}

std::string VolumeComment(std::string_view format, const VolumeInfo& v) {
    return std::string(kTagPrefix) + std::string(format) + " volume=" + std::to_string(v.number) +
           " set=" + v.set + (v.last ? " last" : "");
}

// ---- public: whole archives ----

namespace {

// Reads every member with its data; false when the walk met damage.
bool ReadAll(MemberWalk& walk, Archive& out, bool tar) {
    ArchiveMember m;
    while (walk.Next(m)) {
        std::string data;
        // A link has no data of its own.
        DataStatus s =
            m.isDir || m.link ? DataStatus::Ok : StreamMemberData(walk, m, [&data](std::string_view chunk) {
                data.append(chunk);
                return true;
            });
        m.data = std::move(data);
        m.crcOk = s == DataStatus::Ok;
        if (tar) m.crc = Crc32(m.data);
        out.members.push_back(std::move(m));
    }
    return !walk.Damaged();
}

}  // namespace

bool ReadZip(std::string_view bytes, Archive& out, std::string* error) {
    out = Archive{};
    MemorySource src(bytes);
    std::unique_ptr<MemberWalk> walk = OpenZipWalk(src, &out.comment);
    if (!walk) return Fail(error, "no end of central directory");
    return ReadAll(*walk, out, false) || Fail(error, "bad central directory entry");
}

std::string WriteZip(const Archive& archive) {
    std::string bytes;
    StringWriter w(bytes);
    ZipWriter zip(w);
    for (const ArchiveMember& m : archive.members) {
        zip.Begin(m, m.data.size());
        if (!m.isDir) zip.Write(m.data);
        zip.End();
    }
    zip.Finish(archive.comment);
    return bytes;
}

bool LooksLikeTar(std::string_view b) {
    MemorySource src(b);
    return DetectTar(src) == TarKind::Tar;
}

bool ReadTar(std::string_view bytes, Archive& out, std::string* error) {
    out = Archive{};
    MemorySource src(bytes);
    TarWalk walk([&src] { return SourceReader(src, 0); });
    return ReadAll(walk, out, true) || Fail(error, "bad tar header");
}

std::string WriteTar(const Archive& archive) {
    std::string bytes;
    StringWriter w(bytes);
    TarWriter tar(w);
    for (const ArchiveMember& m : archive.members) {
        tar.Begin(m, m.data.size());
        if (!m.isDir && !m.link) tar.Write(m.data);
        tar.End();
    }
    tar.Finish();
    return bytes;
}

bool IsGzip(std::string_view b) {
    return b.size() >= 3 && static_cast<unsigned char>(b[0]) == 0x1F &&
           static_cast<unsigned char>(b[1]) == 0x8B;
}

bool GzipDecompress(std::string_view b, std::string& out) {
    MemorySource src(b);
    Inflater in(SourceReader(src, 0), Inflation::Gzip, BufferFor(b.size()));
    out.clear();
    char buf[65536];
    while (size_t got = in.Read(buf, sizeof(buf))) out.append(buf, got);
    return !in.Failed();
}

std::string GzipCompress(std::string_view b, int level) {
    std::string out;
    StringWriter w(out);
    GzipWriter gz(w, level);
    gz.Write(b);
    gz.Finish();
    return out;
}

bool ReadWholeFile(const std::wstring& path, std::string& out) {
    platform::UniqueFile f(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, 0, nullptr));
    if (!f) return false;
    out.clear();
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(f.Get(), buf, sizeof(buf), &got, nullptr) && got > 0) out.append(buf, got);
    return true;
}

bool WriteWholeFile(const std::wstring& path, std::string_view data) {
    // Others may go on reading the file (a library streaming from it) while it is replaced.
    FileWriter f(path, FILE_SHARE_READ | FILE_SHARE_WRITE);
    return f.IsOpen() && f.Write(data) && f.Close();
}

uint32_t Crc32(std::string_view data, uint32_t crc) {
    while (data.size() > (1u << 30)) {
        crc = static_cast<uint32_t>(crc32(crc, reinterpret_cast<const Bytef*>(data.data()), 1u << 30));
        data.remove_prefix(1u << 30);
    }
    return static_cast<uint32_t>(
        crc32(crc, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

void UnixTimeToDos(int64_t unixTime, uint16_t& dosDate, uint16_t& dosTime) {
    FILETIME utc = UnixToFileTime(unixTime), local{};
    WORD d = 0, t = 0;
    if (FileTimeToLocalFileTime(&utc, &local) && FileTimeToDosDateTime(&local, &d, &t)) {
        dosDate = d;
        dosTime = t;
    }
}

int64_t DosToUnixTime(uint16_t dosDate, uint16_t dosTime) {
    FILETIME local{}, utc{};
    if (!DosDateTimeToFileTime(dosDate, dosTime, &local) || !LocalFileTimeToFileTime(&local, &utc)) return 0;
    return FileTimeToUnix(utc);
}

void CurrentDosTime(uint16_t& dosDate, uint16_t& dosTime) {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    UnixTimeToDos(FileTimeToUnix(now), dosDate, dosTime);
}

}  // namespace standin
