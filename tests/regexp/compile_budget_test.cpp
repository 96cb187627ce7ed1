// The compile budget: patterns that once took seconds and hundreds of megabytes are compiled or refused
// within the memory limit (measured on the heap), the work limit refuses what would fit in memory but take
// long, refusals carry the position of the pattern's end, and positions past 65,535 come through whole. And
// the pattern cache: its automata together stay within its byte bound.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "alloc_meter.h"
#include "hostile_patterns.h"
#include "regexp/awk_str.h"
#include "regexp/compile_budget.h"
#include "sjis_text.h"

using namespace regexp;
using regexp_test::AllocMeter;
using regexp_test::Sj;

namespace {

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
    for (const auto& [label, pattern] : regexp_test::HostilePatterns()) {
        for (const bool fuzzy : {false, true}) {
            SCOPED_TRACE(std::string(label) + (fuzzy ? " (fuzzy)" : ""));
            const Outcome out = Compile(pattern, fuzzy);
            EXPECT_LT(out.PeakBytes, TRECompileBudget::kMaxCompileBytes);
            // Refused once the whole pattern has been read: at its end (the rewritten pattern's, when fuzzy),
            // that is after its last byte or after a NUL byte, which the scanner reads as the end.
            const size_t nul = pattern.find('\0');
            if (out.Refused && !fuzzy) {
                EXPECT_EQ(out.Position, nul == std::string::npos ? pattern.size() + 1 : nul + 2);
            }
        }
    }
}

TEST(CompileBudget, ModeratePatternsStillCompile) {
    std::string alternatives = "(";
    for (int i = 0; i < 3000; ++i) alternatives += regexp_test::DoubleByteRun(i) + "|";
    alternatives += "a)*";
    for (const std::string& pattern :
         {regexp_test::ClassThenDots(2000, 60), alternatives, std::string(9000, 'a'),
          Sj(u8"[ぁ-ん]+\\.(txt|doc)$|^setup[0-9]*\\.exe")}) {
        SCOPED_TRACE(pattern.substr(0, 40));
        EXPECT_FALSE(Compile(pattern, false).Refused);
    }
}

// Without the work limit this automaton would compile (about 1,900 states in 1 MB), in several times the
// 100 ms the limit stands for; the limit refuses it early, with little memory held.
TEST(CompileBudget, TheWorkLimitRefusesAWorkHeavyPattern) {
    const Outcome heavy = Compile(regexp_test::CharsThenAny(60), false);
    EXPECT_TRUE(heavy.Refused);
    EXPECT_LT(heavy.PeakBytes, TRECompileBudget::kMaxCompileBytes / 4);
    EXPECT_FALSE(Compile(regexp_test::CharsThenAny(20), false).Refused);
}

// The work limit's level, by the units counted (no clock): characters each followed by ".*" cost about 14 M
// units at 26 of them and 46 M at 36, in about a megabyte. The limit of 24 M lies between; one twice as
// high, or half as high, would no longer.
TEST(CompileBudget, TheWorkLimitStandsBetweenTwoKnownPatterns) {
    EXPECT_FALSE(Compile(regexp_test::CharsThenAny(26), false).Refused);
    const Outcome heavy = Compile(regexp_test::CharsThenAny(36), false);
    EXPECT_TRUE(heavy.Refused);
    // Refused for its work: its memory stays far below the memory limit.
    EXPECT_LT(heavy.PeakBytes, TRECompileBudget::kMaxCompileBytes / 8);
}

// A literal over 125 distinct single-byte characters, from `offset` on: each of its states keeps a row of
// the byte table, about 560 bytes a character.
std::string WideLiteral(size_t length, size_t offset) {
    std::string alphabet;
    for (char c = 'a'; c <= 'z'; ++c) alphabet += c;
    for (char c = 'A'; c <= 'Z'; ++c) alphabet += c;
    for (char c = '0'; c <= '9'; ++c) alphabet += c;
    for (int c = 0xA1; c <= 0xDF; ++c) alphabet += static_cast<char>(c);  // half-width kana
    std::string out;
    for (size_t i = 0; i < length; ++i) out += alphabet[(i + offset) % alphabet.size()];
    return out;
}

TEST(PatternCache, ItsAutomataTogetherStayWithinTheByteBound) {
    constexpr uint64_t kBound = TRegularExpression::kCacheMaxBytes;
    const size_t base = AllocMeter::Reset();
    {
        TAWKStr awk;
        size_t largest = 0;
        constexpr int kPatterns = 12;
        for (int i = 0; i < kPatterns; ++i) {
            awk.SetRegExp(WideLiteral(8000, static_cast<size_t>(i)));
            largest = std::max(largest, AllocMeter::Current - base);
            EXPECT_LE(awk.GetCacheBytes(), kBound);
        }
        // Twelve such automata would hold more than the bound: the oldest left, the newest and the empty
        // pattern stayed, and the count bound alone would have kept them all.
        EXPECT_GT(kPatterns * awk.CurrentDFA().HeldBytes(), kBound);
        EXPECT_LT(awk.GetCacheCount(), kPatterns + 1);
        EXPECT_EQ(awk.FindCacheEntry(WideLiteral(8000, kPatterns - 1)), 1);
        EXPECT_EQ(awk.FindCacheEntry(WideLiteral(8000, 0)), -1);
        EXPECT_EQ(awk.FindCacheEntry(""), 0);
        // What the program holds: the cache within its bound, besides one compilation's own.
        EXPECT_LT(largest, kBound + TRECompileBudget::kMaxCompileBytes);
        EXPECT_LT(AllocMeter::Current - base, kBound + (1u << 20));
        int32_t pos = 0, len = 0;
        EXPECT_EQ(awk.Match("x" + WideLiteral(8000, kPatterns - 1), pos, len), 2);
        EXPECT_EQ(len, 8000);
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
