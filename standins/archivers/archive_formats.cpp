// ZIP, tar and gzip containers over zlib, written for the stand-in libraries and the fixture makers.
#include "archive_formats.h"

#include <windows.h>
#include <zlib.h>

#include <cstring>

#include "platform/handle.h"
#include "platform/sjis.h"

namespace standin {

namespace {

uint16_t Get16(std::string_view b, size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1])
                                                                         << 8);
}
uint32_t Get32(std::string_view b, size_t at) {
    return Get16(b, at) | static_cast<uint32_t>(Get16(b, at + 2)) << 16;
}
void Put16(std::string& b, uint16_t v) {
    b.push_back(static_cast<char>(v & 0xFF));
    b.push_back(static_cast<char>(v >> 8));
}
void Put32(std::string& b, uint32_t v) {
    Put16(b, static_cast<uint16_t>(v & 0xFFFF));
    Put16(b, static_cast<uint16_t>(v >> 16));
}
void Set32(std::string& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

bool Fail(std::string* error, const char* text) {
    if (error) *error = text;
    return false;
}

// Raw deflate (no zlib header), as ZIP stores it.
bool Inflate(std::string_view in, std::string& out, int windowBits, size_t expected) {
    z_stream z{};
    if (inflateInit2(&z, windowBits) != Z_OK) return false;
    out.clear();
    out.reserve(expected);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = static_cast<uInt>(in.size());
    char buf[65536];
    int rc = Z_OK;
    while (rc == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(buf);
        z.avail_out = sizeof(buf);
        rc = inflate(&z, Z_NO_FLUSH);
        out.append(buf, sizeof(buf) - z.avail_out);
        if (rc == Z_BUF_ERROR && z.avail_in == 0) break;
    }
    inflateEnd(&z);
    return rc == Z_STREAM_END;
}

std::string Deflate(std::string_view in, int level, int windowBits) {
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
    std::string out;
    out.resize(deflateBound(&z, static_cast<uLong>(in.size())) + 64);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

std::string Utf8NameToSjis(std::string_view name) { return platform::Utf8ToSjis(name); }

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

// Finds the end record; returns its offset or npos.
size_t FindEndRecord(std::string_view b) {
    if (b.size() < 22) return std::string_view::npos;
    size_t stop = b.size() > 22 + 65535 ? b.size() - 22 - 65535 : 0;
    for (size_t at = b.size() - 22 + 1; at-- > stop;)
        if (Get32(b, at) == 0x06054b50 && at + 22 + Get16(b, at + 20) == b.size()) return at;
    return std::string_view::npos;
}

}  // namespace

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
    platform::UniqueFile f(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!f) return false;
    DWORD written = 0;
    return data.empty() ||
           (WriteFile(f.Get(), data.data(), static_cast<DWORD>(data.size()), &written, nullptr) &&
            written == data.size());
}

uint32_t Crc32(std::string_view data) {
    return static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
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

bool ReadZip(std::string_view b, Archive& out, std::string* error) {
    out = Archive{};
    size_t end = FindEndRecord(b);
    if (end == std::string_view::npos) return Fail(error, "no end of central directory");
    uint32_t cdSize = Get32(b, end + 12), cdOffset = Get32(b, end + 16);
    uint16_t count = Get16(b, end + 10);
    out.comment = std::string(b.substr(end + 22, Get16(b, end + 20)));
    if (cdSize > end) return Fail(error, "bad central directory size");
    size_t cdStart = end - cdSize;
    if (cdStart < cdOffset) return Fail(error, "bad central directory offset");
    size_t shift = cdStart - cdOffset;  // bytes put in front of the archive
    size_t at = cdStart;
    for (uint16_t i = 0; i < count; ++i) {
        if (at + 46 > end || Get32(b, at) != 0x02014b50) return Fail(error, "bad central directory entry");
        ArchiveMember m;
        uint16_t flags = Get16(b, at + 8);
        m.method = Get16(b, at + 10);
        m.dosTime = Get16(b, at + 12);
        m.dosDate = Get16(b, at + 14);
        m.crc = Get32(b, at + 16);
        m.compressedSize = Get32(b, at + 20);
        m.size = Get32(b, at + 24);
        uint16_t nameLen = Get16(b, at + 28), extraLen = Get16(b, at + 30), commentLen = Get16(b, at + 32);
        uint32_t external = Get32(b, at + 38);
        size_t local = Get32(b, at + 42) + shift;
        if (at + 46 + nameLen + extraLen > end) return Fail(error, "truncated central directory");
        m.name = std::string(b.substr(at + 46, nameLen));
        if (flags & 0x800) m.name = Utf8NameToSjis(m.name);
        std::string_view extra = b.substr(at + 46 + nameLen, extraLen);
        for (size_t e = 0; e + 4 <= extra.size();) {
            uint16_t id = Get16(extra, e), len = Get16(extra, e + 2);
            if (id == 0x5455 && len >= 5 && e + 4 + len <= extra.size() && (extra[e + 4] & 1))
                m.unixTime = static_cast<int32_t>(Get32(extra, e + 5));
            e += 4 + len;
        }
        m.isDir = (!m.name.empty() && (m.name.back() == '/' || platform::SjisEndsWithChar(m.name, '\\'))) ||
                  (external & 0x10);
        at += 46 + nameLen + extraLen + commentLen;

        if (local + 30 > b.size() || Get32(b, local) != 0x04034b50) return Fail(error, "bad local header");
        size_t dataAt = local + 30 + Get16(b, local + 26) + Get16(b, local + 28);
        if (dataAt + m.compressedSize > b.size()) return Fail(error, "truncated member data");
        std::string_view raw = b.substr(dataAt, m.compressedSize);
        bool ok = true;
        if (flags & 1) {
            ok = false;  // encrypted members are not decoded
        } else if (m.method == kMethodStored) {
            m.data = std::string(raw);
        } else if (m.method == kMethodDeflate) {
            ok = Inflate(raw, m.data, -15, m.size);
        } else {
            ok = false;
        }
        m.crcOk = ok && m.data.size() == m.size && Crc32(m.data) == m.crc;
        out.members.push_back(std::move(m));
    }
    return true;
}

std::string WriteZip(const Archive& archive) {
    std::string body, central;
    uint16_t nowDate = 0, nowTime = 0;
    CurrentDosTime(nowDate, nowTime);
    for (const ArchiveMember& src : archive.members) {
        uint16_t method = src.isDir ? kMethodStored : src.method;
        std::string packed =
            method == kMethodDeflate ? Deflate(src.data, Z_DEFAULT_COMPRESSION, -15) : src.data;
        uint32_t crc = Crc32(src.data);
        uint16_t date = src.dosDate, time = src.dosTime;
        if (date == 0 && src.unixTime >= 0) UnixTimeToDos(src.unixTime, date, time);
        if (date == 0) date = nowDate, time = nowTime;
        auto common = [&](std::string& h) {
            Put16(h, 20);  // version needed
            Put16(h, 0);   // flags: names stay raw CP932
            Put16(h, method);
            Put16(h, time);
            Put16(h, date);
            Put32(h, crc);
            Put32(h, static_cast<uint32_t>(packed.size()));
            Put32(h, static_cast<uint32_t>(src.data.size()));
            Put16(h, static_cast<uint16_t>(src.name.size()));
            Put16(h, 0);  // extra
        };
        uint32_t offset = static_cast<uint32_t>(body.size());
        Put32(body, 0x04034b50);
        common(body);
        body += src.name;
        body += packed;
        Put32(central, 0x02014b50);
        Put16(central, 20);  // made by: DOS
        common(central);
        Put16(central, 0);  // comment
        Put16(central, 0);  // disk
        Put16(central, 0);  // internal attributes
        Put32(central, src.isDir ? 0x10 : 0x20);
        Put32(central, offset);
        central += src.name;
    }
    std::string out = body + central;
    Put32(out, 0x06054b50);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, static_cast<uint16_t>(archive.members.size()));
    Put16(out, static_cast<uint16_t>(archive.members.size()));
    Put32(out, static_cast<uint32_t>(central.size()));
    Put32(out, static_cast<uint32_t>(body.size()));
    Put16(out, static_cast<uint16_t>(archive.comment.size()));
    out += archive.comment;
    return out;
}

bool AdjustZipOffsets(std::string& b) {
    size_t end = FindEndRecord(b);
    if (end == std::string::npos) return false;
    uint32_t cdSize = Get32(b, end + 12), cdOffset = Get32(b, end + 16);
    uint16_t count = Get16(b, end + 10);
    if (cdSize > end || end - cdSize < cdOffset) return false;
    uint32_t shift = static_cast<uint32_t>(end - cdSize - cdOffset);
    size_t at = end - cdSize;
    for (uint16_t i = 0; i < count; ++i) {
        if (at + 46 > end || Get32(b, at) != 0x02014b50) return false;
        Set32(b, at + 42, Get32(b, at + 42) + shift);
        at += 46 + Get16(b, at + 28) + Get16(b, at + 30) + Get16(b, at + 32);
    }
    Set32(b, end + 16, cdOffset + shift);
    return true;
}

std::string ZipTag(const Archive& archive) {
    if (archive.comment.compare(0, kTagPrefix.size(), kTagPrefix) != 0) return {};
    return archive.comment.substr(kTagPrefix.size());
}

// ---- tar ----

namespace {

uint64_t ParseOctal(std::string_view field) {
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

std::string TarHeader(std::string_view name, char type, uint64_t size, int64_t mtime) {
    std::string h(512, '\0');
    std::memcpy(&h[0], name.data(), name.size() < 100 ? name.size() : 100);
    PutOctal(h, 100, 8, type == '5' ? 0755 : 0644);
    PutOctal(h, 108, 8, 0);
    PutOctal(h, 116, 8, 0);
    PutOctal(h, 124, 12, size);
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

void PadTo512(std::string& out) { out.append((512 - out.size() % 512) % 512, '\0'); }

}  // namespace

bool LooksLikeTar(std::string_view b) {
    if (b.size() < 512) return false;
    // Nothing but end blocks is a tar with no members (what tar writes for an empty list).
    if (b.size() % 512 == 0 && b.find_first_not_of('\0') == std::string_view::npos) return true;
    return ChecksumOk(b.substr(0, 512)) && b[0] != 0;
}

bool ReadTar(std::string_view b, Archive& out, std::string* error) {
    out = Archive{};
    std::string longName;
    for (size_t at = 0; at + 512 <= b.size();) {
        std::string_view h = b.substr(at, 512);
        if (h.find_first_not_of('\0') == std::string_view::npos) return true;  // end blocks
        if (!ChecksumOk(h)) return Fail(error, "bad tar header checksum");
        uint64_t size = ParseOctal(h.substr(124, 12));
        char type = h[156];
        size_t dataAt = at + 512;
        if (dataAt + size > b.size()) return Fail(error, "truncated tar member");
        std::string_view data = b.substr(dataAt, size);
        at = dataAt + (size + 511) / 512 * 512;
        if (type == 'L') {
            longName = CField(data, 0, data.size());
            continue;
        }
        if (type == 'x') {  // pax: only the path record matters here
            for (size_t p = 0; p < data.size();) {
                size_t sp = data.find(' ', p);
                if (sp == std::string_view::npos) break;
                size_t len = std::strtoul(std::string(data.substr(p, sp - p)).c_str(), nullptr, 10);
                if (len == 0 || p + len > data.size()) break;
                std::string_view rec = data.substr(sp + 1, p + len - sp - 2);
                if (rec.substr(0, 5) == "path=") longName = Utf8NameToSjis(rec.substr(5));
                p += len;
            }
            continue;
        }
        if (type == 'g') continue;
        ArchiveMember m;
        if (!longName.empty()) {
            m.name = std::move(longName);
            longName.clear();
        } else {
            std::string prefix = CField(h, 345, 155), name = CField(h, 0, 100);
            m.name = prefix.empty() ? name : prefix + "/" + name;
        }
        m.isDir = type == '5' || (!m.name.empty() && m.name.back() == '/');
        m.unixTime = static_cast<int64_t>(ParseOctal(h.substr(136, 12)));
        UnixTimeToDos(m.unixTime, m.dosDate, m.dosTime);
        m.method = kMethodStored;
        if (!m.isDir) m.data = std::string(data);
        m.size = m.compressedSize = m.data.size();
        m.crc = Crc32(m.data);
        if (type == '0' || type == '\0' || type == '5' || type == '7') out.members.push_back(std::move(m));
    }
    return true;
}

std::string WriteTar(const Archive& archive) {
    std::string out;
    for (const ArchiveMember& m : archive.members) {
        std::string name = m.name;
        if (m.isDir && (name.empty() || name.back() != '/')) name += '/';
        char type = m.isDir ? '5' : '0';
        int64_t mtime = m.unixTime >= 0 ? m.unixTime : (m.dosDate ? DosToUnixTime(m.dosDate, m.dosTime) : 0);
        if (name.size() > 100) {  // GNU long name record
            out += TarHeader("././@LongLink", 'L', name.size() + 1, 0);
            out += name;
            out.push_back('\0');
            PadTo512(out);
        }
        out += TarHeader(name, type, m.isDir ? 0 : m.data.size(), mtime);
        if (!m.isDir) {
            out += m.data;
            PadTo512(out);
        }
    }
    out.append(1024, '\0');
    return out;
}

bool IsGzip(std::string_view b) {
    return b.size() >= 3 && static_cast<unsigned char>(b[0]) == 0x1F &&
           static_cast<unsigned char>(b[1]) == 0x8B;
}

bool GzipDecompress(std::string_view b, std::string& out) { return Inflate(b, out, 16 + 15, b.size() * 4); }

std::string GzipCompress(std::string_view b, int level) { return Deflate(b, level, 16 + 15); }

}  // namespace standin
