// Corpus generation and the CP932 tables (built once through iconv).
#include "corpus.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <random>
#include <stdexcept>

#include "sjis_text.h"

namespace bench {
namespace {

struct Tables {
    std::vector<uint16_t> ToSjis = std::vector<uint16_t>(0x10000, 0);  // code point -> code (0: none)
    std::vector<char32_t> FromCode = std::vector<char32_t>(0x10000, 0);

    Tables() {
        iconv_t enc = iconv_open("CP932", "UTF-32LE");
        iconv_t dec = iconv_open("UTF-32LE", "CP932");
        if (enc == reinterpret_cast<iconv_t>(-1) || dec == reinterpret_cast<iconv_t>(-1)) {
            throw std::runtime_error("iconv CP932");
        }
        for (char32_t cp = 1; cp < 0x10000; ++cp) {
            if (cp >= 0xD800 && cp < 0xE000) continue;
            char in[4] = {static_cast<char>(cp), static_cast<char>(cp >> 8), 0, 0};
            char out[8];
            char* ip = in;
            char* op = out;
            size_t il = 4, ol = sizeof out;
            if (iconv(enc, &ip, &il, &op, &ol) == static_cast<size_t>(-1)) continue;
            const size_t n = op - out;
            const uint16_t code = n == 1 ? static_cast<unsigned char>(out[0])
                                         : static_cast<uint16_t>(static_cast<unsigned char>(out[0]) << 8 |
                                                                 static_cast<unsigned char>(out[1]));
            if (ToSjis[cp] == 0) ToSjis[cp] = code;
        }
        for (uint32_t code = 1; code < 0x10000; ++code) {
            char in[2];
            size_t il;
            if (code < 0x100) {
                in[0] = static_cast<char>(code);
                il = 1;
            } else {
                in[0] = static_cast<char>(code >> 8);
                in[1] = static_cast<char>(code);
                il = 2;
            }
            char out[8];
            char* ip = in;
            char* op = out;
            size_t ol = sizeof out;
            iconv(dec, nullptr, nullptr, nullptr, nullptr);
            if (iconv(dec, &ip, &il, &op, &ol) == static_cast<size_t>(-1) || op - out != 4) continue;
            FromCode[code] = static_cast<unsigned char>(out[0]) | static_cast<unsigned char>(out[1]) << 8 |
                             static_cast<unsigned char>(out[2]) << 16;
        }
        iconv_close(enc);
        iconv_close(dec);
    }
};

const Tables& T() {
    static const Tables tables;
    return tables;
}

bool IsLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | cp >> 6);
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | cp >> 12);
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

template <size_t N>
const char* Pick(std::mt19937_64& rng, const std::array<const char*, N>& items) {
    return items[rng() % N];
}

}  // namespace

uint32_t Text::SjisFromUtf8(size_t utf8Offset) const {
    const auto it = std::lower_bound(Utf8Off.begin(), Utf8Off.end(), static_cast<uint32_t>(utf8Offset));
    return SjisOff[static_cast<size_t>(it - Utf8Off.begin())];
}

std::u32string FromUtf8(std::string_view s) { return regexp_test::CodePoints(s); }

std::u32string FromSjis(std::string_view s) {
    std::u32string out;
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        uint32_t code = c;
        size_t n = 1;
        if (IsLead(c) && i + 1 < s.size()) code = c << 8 | static_cast<unsigned char>(s[i + 1]), n = 2;
        const char32_t cp = code < 0x80 ? code : T().FromCode[code];
        if (cp == 0) throw std::runtime_error("no Unicode form");
        out += cp;
        i += n;
    }
    return out;
}

std::string ToUtf8(const std::u32string& chars) {
    std::string out;
    for (char32_t cp : chars) AppendUtf8(out, cp);
    return out;
}

std::string ToSjis(const std::u32string& chars) {
    std::string out;
    for (char32_t cp : chars) {
        const uint16_t code = cp < 0x80 ? static_cast<uint16_t>(cp) : T().ToSjis[cp];
        if (code == 0) throw std::runtime_error("no CP932 form");
        if (code > 0xFF) out += static_cast<char>(code >> 8);
        out += static_cast<char>(code & 0xFF);
    }
    return out;
}

Text MakeText(const std::u32string& chars) {
    Text t;
    t.SjisOff.reserve(chars.size() + 1);
    t.Utf8Off.reserve(chars.size() + 1);
    t.Wide.reserve(chars.size());
    for (char32_t cp : chars) {
        t.SjisOff.push_back(static_cast<uint32_t>(t.Sjis.size()));
        t.Utf8Off.push_back(static_cast<uint32_t>(t.Utf8.size()));
        const uint16_t code = cp < 0x80 ? static_cast<uint16_t>(cp) : T().ToSjis[cp];
        if (code > 0xFF) t.Sjis += static_cast<char>(code >> 8);
        t.Sjis += static_cast<char>(code & 0xFF);
        AppendUtf8(t.Utf8, cp);
        t.Wide += static_cast<wchar_t>(cp);
    }
    t.SjisOff.push_back(static_cast<uint32_t>(t.Sjis.size()));
    t.Utf8Off.push_back(static_cast<uint32_t>(t.Utf8.size()));
    return t;
}

std::vector<Text> MakeNames(size_t count, uint64_t seed) {
    std::mt19937_64 rng(seed);
    // Japanese words chosen for their trail bytes: 表 ソ 能 予 十 end in 0x5C, ゼ in 0x5B, ポ in 0x7C.
    static constexpr std::array<const char*, 14> kJapanese = {
        "表示", "ソフト", "ゼミ資料", "メモ帳", "予定表", "能力測定", "十字路", "写真",
        "ポスター", "音楽", "設定ファイル", "書庫", "新しいフォルダ", "データ"};
    static constexpr std::array<const char*, 5> kHalfKana = {"ｱｰｶｲﾌﾞ", "ﾃﾞｰﾀ", "ｿﾌﾄ", "ﾎﾟｽﾀｰ", "ｹﾞｰﾑ"};
    static constexpr std::array<const char*, 10> kAscii = {"readme", "setup", "photo", "arc", "data",
                                                           "report", "Setup", "backup", "src", "image"};
    static constexpr std::array<const char*, 10> kDirs = {"", "", "", "", "docs/", "src/", "bin/", "old/",
                                                          "表計算/", "ﾃﾞｰﾀ/"};
    static constexpr std::array<const char*, 9> kSuffix = {"", "", "_v1.2.3", " 1.2b", "-2024", "_01",
                                                           "(2)", " ver2.10", "_final"};
    static constexpr std::array<const char*, 10> kExt = {".zip", ".lzh", ".rar", ".part01.rar", ".part2.rar",
                                                         ".r00", ".txt", ".exe", ".tar.gz", ".cab"};
    std::vector<Text> names;
    names.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        std::string name = Pick(rng, kDirs);
        const uint64_t kind = rng() % 16;
        if (kind < 3) name += Pick(rng, kJapanese);
        else if (kind < 5) name += Pick(rng, kHalfKana);
        else name += Pick(rng, kAscii);
        name += Pick(rng, kSuffix);
        name += Pick(rng, kExt);
        names.push_back(MakeText(FromUtf8(name)));
    }
    return names;
}

Text MakeProse(size_t bytes, uint64_t seed, bool japanese, std::u32string_view needle) {
    std::mt19937_64 rng(seed);
    static constexpr std::array<const char*, 16> kJapanese = {
        "書庫", "ファイル", "展開", "フォルダ", "圧縮", "設定", "表示", "ソフト", "ゼロ",
        "メモ", "データ", "です", "ます", "を", "、", "ｱｰｶｲﾌﾞ"};
    static constexpr std::array<const char*, 16> kAscii = {"the",  "archive", "file", "folder", "data", "zip",
                                                           "with", "for",     "and",  "of",     "in",   "to",
                                                           "size", "path",    "list", "1.2"};
    std::u32string chars;
    size_t approx = 0;
    size_t line = 0;
    while (approx < bytes) {
        const char* word = japanese && rng() % 4 != 0 ? Pick(rng, kJapanese) : Pick(rng, kAscii);
        const std::u32string w = FromUtf8(word);
        chars += w;
        for (char32_t c : w) approx += c < 0x80 || (c >= 0xFF61 && c <= 0xFF9F) ? 1 : 2;
        line += w.size();
        if (line > 60) {
            chars += U'\n';
            line = 0;
        } else {
            chars += U' ';
        }
        approx += 1;
    }
    chars += U'\n';
    chars += needle;
    return MakeText(chars);
}

}  // namespace bench
