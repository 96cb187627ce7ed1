// The compile budget: patterns that once took seconds and hundreds of megabytes are compiled or refused
// within the memory limit (measured on the heap), refusals carry the position of the pattern's end, and
// positions past 65,535 come through whole.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "alloc_meter.h"
#include "regexp/awk_str.h"
#include "regexp/compile_budget.h"
#include "sjis_text.h"

using namespace regexp;
using regexp_test::AllocMeter;
using regexp_test::Sj;

namespace {

// The i-th of a run of consecutive double-byte characters (lead 0x88 onwards, every trail byte).
std::string DoubleByte(int i) {
    const int trail = i % 188;
    return {static_cast<char>(0x88 + i / 188), static_cast<char>(trail < 63 ? 0x40 + trail : 0x80 + trail - 63)};
}

std::string Ranges(const char* format, int count) {
    std::string out;
    char buf[40];
    for (int i = 0; i < count; ++i) {
        snprintf(buf, sizeof buf, format, 0x100 + i * 3, 0x3000 + i * 5);
        out += buf;
    }
    return out;
}

struct Outcome {
    bool Refused = false;
    uint32_t Position = 0;
    size_t PeakBytes = 0;
};

Outcome Compile(const std::string& pattern, bool fuzzy) {
    TAWKStr awk;
    if (fuzzy) awk.SetUseFuzzyCharDic(true);
    Outcome out;
    const size_t base = AllocMeter::Reset();
    try {
        awk.SetRegExp(pattern);
    } catch (const ERegExpTooComplex& e) {
        out.Refused = true;
        out.Position = e.Position;
    }
    out.PeakBytes = AllocMeter::Peak - base;
    return out;
}

TEST(CompileBudget, HostilePatternsStayWithinTheMemoryLimit) {
    std::string classThenDots = "[";
    for (int i = 0; i < 2000; ++i) classThenDots += DoubleByte(i);
    classThenDots += "]" + std::string(900, '.');
    std::string exponential = "(a|b)*a";
    for (int i = 0; i < 25; ++i) exponential += "(a|b)";
    std::string charsThenAny;
    for (int i = 0; i < 300; ++i) charsThenAny += DoubleByte(i) + ".*";
    const std::vector<std::string> patterns = {
        classThenDots,
        "[" + Ranges("\\x%04X-\\x%04X", 2000) + "]",  // 2,000 overlapping ranges in one class
        Ranges("[\\x%04X-\\x%04X]", 2000),            // and in 2,000 classes
        exponential,
        charsThenAny,
        std::string(200000, 'a'),
        // Found by fuzzing: a wide "." split into many pieces multiplies the automaton.
        "\xC4" ".*Y...*Y.*Y@.+f...............\x16" "*..\x13" "\xB8" "F\xB9" "\xFF" "*.\xC4" "*Y*..D",
    };
    for (const std::string& pattern : patterns) {
        for (const bool fuzzy : {false, true}) {
            SCOPED_TRACE(pattern.substr(0, 40) + (fuzzy ? " (fuzzy)" : ""));
            const Outcome out = Compile(pattern, fuzzy);
            EXPECT_LT(out.PeakBytes, TRECompileBudget::kMaxCompileBytes);
            // Refused once the whole pattern has been read: at its end (the rewritten pattern's, when fuzzy).
            if (out.Refused && !fuzzy) {
                EXPECT_EQ(out.Position, pattern.size() + 1);
            }
        }
    }
}

TEST(CompileBudget, ModeratePatternsStillCompile) {
    std::string classThenDots = "[";
    for (int i = 0; i < 2000; ++i) classThenDots += DoubleByte(i);
    classThenDots += "]" + std::string(60, '.');
    std::string alternatives = "(";
    for (int i = 0; i < 3000; ++i) alternatives += DoubleByte(i) + "|";
    alternatives += "a)*";
    for (const std::string& pattern : {classThenDots, alternatives, std::string(9000, 'a'),
                                       Sj(u8"[ぁ-ん]+\\.(txt|doc)$|^setup[0-9]*\\.exe")}) {
        SCOPED_TRACE(pattern.substr(0, 40));
        EXPECT_FALSE(Compile(pattern, false).Refused);
    }
}

TEST(CompileBudget, PositionsBeyond16Bits) {
    TAWKStr awk;
    // A ")" without its "(" after 70,000 characters.
    try {
        awk.SetRegExp(std::string(70000, 'a') + ")");
        ADD_FAILURE() << "no error";
    } catch (const ERegExpParser& e) {
        EXPECT_EQ(std::string(e.what()), Sj(u8"正規表現に余分な文字があります"));
        EXPECT_EQ(e.Position, 70002u);
    }
    // An automaton past the limits, refused at the end of a 70,000-byte pattern.
    try {
        awk.SetRegExp(std::string(70000, 'a'));
        ADD_FAILURE() << "no error";
    } catch (const ERegExpTooComplex& e) {
        EXPECT_EQ(std::string(e.what()), Sj(u8"正規表現が複雑すぎます"));
        EXPECT_EQ(e.Position, 70001u);
    }
    // A group opened too deep, far into the pattern.
    try {
        awk.SetRegExp(std::string(70000, 'a') + std::string(1001, '(') + "a" + std::string(1001, ')'));
        ADD_FAILURE() << "no error";
    } catch (const ERegExpTooComplex& e) {
        EXPECT_EQ(e.Position, 71002u);
    }
}

}  // namespace
