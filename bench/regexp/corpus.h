// Benchmark corpora: archive member names and long texts generated from a fixed seed, each held as Shift-JIS
// (for TAWKStr), UTF-8 (RE2, PCRE2) and UTF-32 (std::wregex), with the offsets that map a match back to
// Shift-JIS bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace bench {

struct Text {
    std::string Sjis;
    std::string Utf8;
    std::wstring Wide;
    std::vector<uint32_t> SjisOff;  // per character, plus the end
    std::vector<uint32_t> Utf8Off;

    uint32_t SjisFromUtf8(size_t utf8Offset) const;
    uint32_t SjisFromWide(size_t index) const { return SjisOff[index]; }
};

Text MakeText(const std::u32string& chars);
std::u32string FromUtf8(std::string_view utf8);
// Shift-JIS bytes to code points (a lone lead byte stays one character).
std::u32string FromSjis(std::string_view sjis);
std::string ToUtf8(const std::u32string& chars);
std::string ToSjis(const std::u32string& chars);

std::vector<Text> MakeNames(size_t count, uint64_t seed);
// About `bytes` of Shift-JIS (or ASCII) prose in LF-separated lines, with `needle` as the last line.
Text MakeProse(size_t bytes, uint64_t seed, bool japanese, std::u32string_view needle);

}  // namespace bench
