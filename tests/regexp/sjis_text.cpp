// UTF-8 to CP932 for test texts, by binary search in the generated code-point table.
#include "sjis_text.h"

#include <algorithm>
#include <iterator>
#include <stdexcept>

#include "cp932_table.inc"

namespace regexp_test {

std::u32string CodePoints(std::string_view utf8) {
    std::u32string out;
    for (size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        char32_t cp = b;
        size_t n = 1;
        if (b >= 0xF0) cp = b & 0x07, n = 4;
        else if (b >= 0xE0) cp = b & 0x0F, n = 3;
        else if (b >= 0xC0) cp = b & 0x1F, n = 2;
        for (size_t k = 1; k < n && i + k < utf8.size(); ++k) {
            cp = cp << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        }
        out += cp;
        i += n;
    }
    return out;
}

std::string Sj(std::u8string_view utf8) {
    std::string out;
    for (const char32_t cp : CodePoints({reinterpret_cast<const char*>(utf8.data()), utf8.size()})) {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
            continue;
        }
        const auto* end = std::end(kCp932Table);
        const auto* it = std::lower_bound(std::begin(kCp932Table), end, static_cast<unsigned>(cp),
                                          [](const unsigned(&e)[2], unsigned v) { return e[0] < v; });
        if (it == end || (*it)[0] != cp) throw std::invalid_argument("no CP932 form");
        const unsigned code = (*it)[1];
        if (code > 0xFF) out += static_cast<char>(code >> 8);
        out += static_cast<char>(code & 0xFF);
    }
    return out;
}

}  // namespace regexp_test
