// The hostile patterns: wide classes that split every "." after them, overlapping ranges, exponential and
// work-heavy automata, a long literal, and a pattern found by fuzzing.
#include "hostile_patterns.h"

#include <cstdio>

namespace regexp_test {
namespace {

std::string Ranges(const char* format, int count) {
    std::string out;
    char buf[40];
    for (int i = 0; i < count; ++i) {
        snprintf(buf, sizeof buf, format, 0x100 + i * 3, 0x3000 + i * 5);
        out += buf;
    }
    return out;
}

}  // namespace

std::string DoubleByteRun(int i) {
    const int trail = i % 188;
    return {static_cast<char>(0x88 + i / 188),
            static_cast<char>(trail < 63 ? 0x40 + trail : 0x80 + trail - 63)};
}

std::string ClassThenDots(int n, int m) {
    std::string out = "[";
    for (int i = 0; i < n; ++i) out += DoubleByteRun(i);
    return out + "]" + std::string(static_cast<size_t>(m), '.');
}

std::string CharsThenAny(int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += DoubleByteRun(i) + ".*";
    return out;
}

std::vector<HostilePattern> HostilePatterns() {
    std::string exponential = "(a|b)*a";
    for (int i = 0; i < 25; ++i) exponential += "(a|b)";
    return {
        {"2000-char class, 900 dots", ClassThenDots(2000, 900)},
        {"2000 overlapping ranges", "[" + Ranges("\\x%04X-\\x%04X", 2000) + "]"},
        {"2000 overlapping classes", Ranges("[\\x%04X-\\x%04X]", 2000)},
        {"(a|b)*a(a|b){25}", exponential},
        {"300 x (char .*)", CharsThenAny(300)},
        // Found by fuzzing: a wide "." split into many pieces multiplies the automaton.
        {"fuzzed dots",
         "\xC4" ".*Y...*Y.*Y@.+f...............\x16" "*..\x13" "\xB8" "F\xB9" "\xFF" "*.\xC4" "*Y*..D"},
        {"fuzzed dots 2", "\xC4" ".*Y.*...*Y.\xD8\xA6" "@.+f...........&...\x16" "*..\x13" "\xB8" "F\xB9"
                          "\xFF" "*.\xC4" "*Y*..D"},
        {"fuzzed dots 3", "\xC4" ".*Y." + std::string(94, '\xFF') + "\xF6" + std::string(23, '\xFF') +
                              "*...*Y.\xD8\xA6" "@.+f" + std::string(10, '.') +
                              std::string("3\0.\xFE\xFF\xFF\xFF..\x13\xB8" "F\xB9\xFF*.\0" "3Y*..D", 23)},
        {"literal of 200,000", std::string(200000, 'a')},
    };
}

}  // namespace regexp_test
