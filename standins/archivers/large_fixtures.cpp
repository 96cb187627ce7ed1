// One-member archives of generated content, written and compared chunk by chunk.
#include "large_fixtures.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "archive_formats.h"

namespace standin {

namespace {

// Words and signs of a made-up text, Japanese ones among them (UTF-8).
// clang-format off
constexpr const char* kWords[] = {
    "archive", "member", "folder", "extract", "library", "velmor", "stream", "chunk", "header", "central",
    "the", "of", "and", "a", "to", "in", "is", "that", "for", "it", "data", "file", "size", "bytes", "zip",
    "tar", "gzip", "deflate", "inflate", "crc", "window", "job", "log", "line", "progress", "report", "disk",
    "space", "memory", "test", "12", "345", "6789", "2024",
    "\xE8\xA7\xA3\xE5\x87\x8D", "\xE6\x9B\xB8\xE5\xBA\xAB",
    "(", ")", ",", ".", "-", "_", "=", ":", "/", "\\"};
// clang-format on
constexpr size_t kWordCount = sizeof(kWords) / sizeof(kWords[0]);

}  // namespace

FillerStream::FillerStream(Filler kind) : kind_(kind) {}

void FillerStream::Next(char* buf, size_t n) {
    if (kind_ == Filler::Repeated) {
        // One 4 KB block of varied bytes over and over.
        for (size_t i = 0; i < n; ++i, ++position_) {
            const uint64_t k = position_ % 4096;
            buf[i] = static_cast<char>((k * 131 + k / 7) & 0xFF);
        }
        return;
    }
    size_t done = 0;
    while (done < n) {
        if (pending_.empty()) {
            // A line of words picked by a small generator: text that deflate shrinks about threefold.
            for (int w = 0; w < 12; ++w) {
                seed_ = seed_ * 1664525u + 1013904223u;
                pending_ += kWords[(seed_ >> 8) % kWordCount];
                pending_ += (seed_ >> 28) == 0 ? "\r\n" : " ";
            }
        }
        const size_t take = std::min(n - done, pending_.size());
        memcpy(buf + done, pending_.data(), take);
        pending_.erase(0, take);
        done += take;
    }
    position_ += n;
}

MadeMember WriteOneMemberArchive(const std::wstring& path, Container container, const std::string& name,
                                 uint64_t size, Filler filler, int level) {
    MadeMember made;
    FileWriter file(path);
    if (!file.IsOpen()) return made;
    GzipWriter* gzip = nullptr;
    std::unique_ptr<GzipWriter> gzipOwner;
    Writer* out = &file;
    if (container == Container::Tgz) {
        gzipOwner = std::make_unique<GzipWriter>(file, level < 0 ? 6 : level);
        gzip = gzipOwner.get();
        out = gzip;
    }
    const bool zip = container == Container::Zip || container == Container::Zip64;
    ZipWriter zipWriter(*out, container == Container::Zip64, level);
    TarWriter tarWriter(*out);
    ArchiveMember m;
    m.name = name;
    m.unixTime = 1614834368;  // 2021-03-04 05:06:08 UTC
    if (!(zip ? zipWriter.Begin(m, size) : tarWriter.Begin(m, size))) return made;
    FillerStream fill(filler);
    std::vector<char> buf(kChunkSize);
    uint32_t crc = 0;
    for (uint64_t left = size; left > 0;) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(left, buf.size()));
        fill.Next(buf.data(), n);
        const std::string_view chunk(buf.data(), n);
        crc = Crc32(chunk, crc);
        if (!(zip ? zipWriter.Write(chunk) : tarWriter.Write(chunk))) return made;
        left -= n;
    }
    const bool ended = zip ? zipWriter.End() && zipWriter.Finish() : tarWriter.End() && tarWriter.Finish();
    if (!ended || (gzip && !gzip->Finish()) || !file.Close()) return made;
    made = MadeMember{true, size, crc};
    return made;
}

bool FileMatchesFiller(const std::wstring& path, uint64_t size, Filler filler) {
    std::unique_ptr<ByteSource> src = OpenFileSource(path);
    if (!src || src->Size() != size) return false;
    FillerStream fill(filler);
    std::vector<char> got(kChunkSize), want(kChunkSize);
    for (uint64_t at = 0; at < size;) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(size - at, got.size()));
        if (!src->ReadAt(at, got.data(), n)) return false;
        fill.Next(want.data(), n);
        if (memcmp(got.data(), want.data(), n) != 0) return false;
        at += n;
    }
    return true;
}

}  // namespace standin
