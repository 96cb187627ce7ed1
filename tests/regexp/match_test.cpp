// TAWKStr matching, line separators, Shift-JIS trail-byte traps, the sound behaviour at the edges (lone lead
// byte, code 0, reserved codes, classes that lost every character) and the pattern cache.
#include <gtest/gtest.h>

#include <string>

#include "regexp/awk_str.h"
#include "sjis_text.h"

using namespace regexp;
using regexp_test::Sj;

namespace {

struct MatchCase {
    std::string pattern;
    std::string text;
    int32_t pos, len;
};

void ExpectMatches(const MatchCase* begin, const MatchCase* end, TMatchCORE_LineSeparator sep = mcls_CRLF) {
    TAWKStr awk;
    awk.SetLineSeparator(sep);
    for (const MatchCase* c = begin; c != end; ++c) {
        SCOPED_TRACE("pattern '" + c->pattern + "' text '" + c->text + "'");
        awk.SetRegExp(c->pattern);
        int32_t pos = -1, len = -1;
        EXPECT_EQ(awk.Match(c->text, pos, len), c->pos);
        EXPECT_EQ(pos, c->pos);
        EXPECT_EQ(len, c->len);
    }
}

TEST(Match, LeftmostLongest) {
    const MatchCase cases[] = {
        {"", "abc", 1, 0},
        {"x", "", 0, 0},
        {"x*", "", 1, 0},
        {"b*", "abc", 1, 0},
        {"[a-a]+", "baac", 2, 2},
        {"[^a-a]", "ab", 2, 1},
        {"[0-9]+", "ab12c34", 3, 2},
        {"[_ \\.0-9]+[a-z]?$", "foo_01", 4, 3},
        {"[_ \\.0-9]+[a-z]?$", "foo", 0, 0},
        {"[_ \\.0-9]+[a-z]?$", "v2a", 2, 2},
        {"[_ \\.0-9]+[a-z]?$", "Setup 1.2b", 6, 5},
        {"^b", "a\nb", 3, 1},
        {"^", "abc", 1, 0},
        {"$", "abc", 4, 0},
        {"$", "", 1, 0},
        {"^$", "abc\n", 5, 0},
        {"^a|b", "cb", 2, 1},
        {"(a|ab)(c|bcd)", "abcd", 1, 4},
        {"a|ab|abc", "xabcd", 2, 3},
        {"part[0-9]+\\..*$", "arc.part12.rar", 5, 10},
        {"part[0]*1\\..*$", "arc.part12.rar", 0, 0},
        {"part[0]*1\\..*$", "arc.part001.rar", 5, 11},
        {"arc\\.r[0-9]+$", "arc.r00", 1, 7},
        {"\\.[^.]*$", "a.b.tar", 4, 4},
        // A literal "^" or "$" inside the pattern next to a range that covers it.
        {"x^|x[!-~]y", "x^y", 1, 3},
        // A failed walk and a later one meet at one position in states that differ only in acceptance.
        {"xa$|a", "xab", 2, 1},
        {"xab|b", "xac xb", 6, 1},
        {"x[!-~]y|x^", "x^", 1, 2},
        {"x$|x[!-~]y", "x$y", 1, 3},
    };
    ExpectMatches(std::begin(cases), std::end(cases));
}

TEST(Match, ShiftJisTrailBytes) {
    const MatchCase cases[] = {
        {Sj(u8"い"), Sj(u8"あい"), 3, 2},
        {"\\x40", Sj(u8"ア"), 0, 0},
        // ソ and 表 end in 0x5C, ゼ in 0x5B, メ in 0x81 (a lead-byte value).
        {"\\\\", Sj(u8"ソ表"), 0, 0},
        {Sj(u8"表"), Sj(u8"a表"), 2, 2},
        {Sj(u8"[ソ表]+"), Sj(u8"xソ表ソ"), 2, 6},
        {Sj(u8"ゼ"), Sj(u8"aゼ"), 2, 2},
        {Sj(u8"[ゼ]"), Sj(u8"ゼ"), 1, 2},
        {"\\[", Sj(u8"ゼ["), 3, 1},
        {"a", Sj(u8"メa"), 3, 1},
        {"\\x81a", Sj(u8"メa"), 0, 0},
        {Sj(u8"メ"), Sj(u8"xメ"), 2, 2},
        {Sj(u8"[メ-ン]"), Sj(u8"aモ"), 2, 2},
        {Sj(u8"[メ-]+"), Sj(u8"a-メ"), 2, 3},
        {".", Sj(u8"あ"), 1, 2},
        {Sj(u8"[^あ]"), Sj(u8"あい"), 3, 2},
        {Sj(u8"[あ-ん]+"), Sj(u8"カなにa"), 3, 4},
        // Characters led by 0xFC, the last lead byte, in the text and in the pattern.
        {".", "\xFC\x40", 1, 2},
        {"x.", "x\xFC\x40", 1, 3},
        {"\\\\", "\xFC\x5C", 0, 0},
        {"\xFC\x5C", "a\xFC\x5C", 2, 2},
        {"[\xFC\x40-\xFC\x4B]+", "x\xFC\x41\xFC\x4B", 2, 4},
    };
    ExpectMatches(std::begin(cases), std::end(cases));
}

// Walks that fail at every character hand the search over to the start scan within the text; it must take
// up at a character boundary, not at the trail byte "a" of the last ヂ (0x83 0x61) that a walk failed on.
TEST(Match, StartScanTakesOverAtACharacterBoundary) {
    std::string di32;
    for (int i = 0; i < 32; ++i) di32 += Sj(u8"ヂ");
    const MatchCase cases[] = {
        {Sj(u8"(a|ッ)b"), di32 + "b", 0, 0},
        {Sj(u8"(a|ッ)b$"), di32 + "b", 0, 0},
        {Sj(u8"(a|ッ)b"), di32 + "ab", 65, 2},
        {Sj(u8"(a|ッ)b$"), di32 + Sj(u8"ッ") + "b", 65, 3},
    };
    ExpectMatches(std::begin(cases), std::end(cases));
}

TEST(Match, LineSeparators) {
    const MatchCase crlf[] = {
        {"a$", "a\r\nb", 1, 1},
        {"$", "ab\r\ncd", 3, 0},
        {"^c", "ab\r\ncd", 5, 1},
        {"b$", "a\nb", 3, 1},
        // A line tail counts wherever it stands, not only where the walk fails.
        {"a$|a\r\nc", "a\r\nb", 1, 1},
    };
    ExpectMatches(std::begin(crlf), std::end(crlf), mcls_CRLF);
    const MatchCase lf[] = {
        {"a$", "a\r\nb", 0, 0},
        {"$", "ab\r\ncd", 4, 0},
        {"^c", "ab\r\ncd", 5, 1},
        {"a$|a\nc", "a\nb", 1, 1},
        {"a$", "ba\nb", 2, 1},
    };
    ExpectMatches(std::begin(lf), std::end(lf), mcls_LF);
}

TEST(Match, EdgesBehaveSoundly) {
    const MatchCase cases[] = {
        // A lead byte right before the end is a one-byte character; nothing past the text is read.
        {"\\x81", "a\x81", 2, 1},
        {".", "\x81", 1, 1},
        {"a.*", "a\x81", 1, 2},
        {"a.*$", "a\x81", 1, 2},
        // Code 0 is the end of the text and never matches.
        {"a\\x0", "a", 0, 0},
        {"\\x0*", "abc", 1, 0},
        {"a[\\x00-b]*", "ab", 1, 2},
        // Reserved codes are neither empty nor anchor transitions.
        {"a\\xFFFFb", "ab", 0, 0},
        {"a\\xFFFD", "a", 0, 0},
        {"a\\xFFFE", "a", 0, 0},
        {"\\xFFFF*", "abc", 1, 0},
        {"[\\xFFF0-\\xFFFF]b", "b", 0, 0},
        // A negated class that removes every character matches nothing.
        {"[^\\x01-\\xFCFC]", "abc", 0, 0},
        {"[^\\x01-\\xFCFC]|b", "abc", 2, 1},
        {"[^\\x01-\\xFCFC]*", "abc", 1, 0},
        {"[^\\x01-\\xFCFC]+", "abc", 0, 0},
        // An empty text is a line head too, and the plain branch still counts there.
        {"^a|b*", "", 1, 0},
        {"^a|b*$", "", 1, 0},
    };
    ExpectMatches(std::begin(cases), std::end(cases));

    TAWKStr fresh;
    int32_t pos = -1, len = -1;
    EXPECT_EQ(fresh.Match("xyz", pos, len), 1);
    EXPECT_EQ(len, 0);
}

std::string Numbered(int i) { return "p" + std::to_string(i); }

TEST(Cache, KeepsTwentyNinePatternsBesidesTheEmptyOne) {
    TAWKStr awk;
    for (int i = 0; i < 29; ++i) awk.SetRegExp(Numbered(i));
    EXPECT_EQ(awk.GetCacheCount(), 30);
    EXPECT_EQ(awk.FindCacheEntry(Numbered(0)), 29);
    EXPECT_EQ(awk.FindCacheEntry(""), 0);
    // A hit does not move the entry; the most recent one is a hit too.
    awk.SetRegExp(Numbered(0));
    EXPECT_EQ(awk.GetCurrentIndex(), 29);
    awk.SetRegExp(Numbered(28));
    EXPECT_EQ(awk.GetCurrentIndex(), 1);
    EXPECT_EQ(awk.GetCacheCount(), 30);

    awk.SetRegExp(Numbered(29));
    EXPECT_EQ(awk.GetCacheCount(), 30);
    EXPECT_EQ(awk.FindCacheEntry(Numbered(0)), -1);
    EXPECT_EQ(awk.FindCacheEntry(Numbered(29)), 1);
    awk.SetRegExp(Numbered(0));  // compiled again, evicting the oldest
    EXPECT_EQ(awk.FindCacheEntry(Numbered(1)), -1);
    int32_t pos, len;
    EXPECT_EQ(awk.Match("xp0", pos, len), 2);
}

TEST(Cache, FailureLeavesTheEmptyPatternAndRecovers) {
    TAWKStr awk;
    awk.SetRegExp("a");
    EXPECT_THROW(awk.SetRegExp("(a"), ERegExpParser);
    EXPECT_EQ(awk.GetRegExp(), "");
    EXPECT_EQ(awk.GetCurrentIndex(), 0);
    EXPECT_EQ(awk.FindCacheEntry("(a"), -1);
    int32_t pos = -1, len = -1;
    EXPECT_EQ(awk.Match("xyz", pos, len), 1);
    EXPECT_EQ(len, 0);

    // From an anchored pattern as well, and with a full cache.
    for (int i = 0; i < 29; ++i) awk.SetRegExp(Numbered(i) + "$");
    EXPECT_THROW(awk.SetRegExp("[z-a]"), ERegExpParser);
    EXPECT_EQ(awk.Match("xyz", pos, len), 1);
    EXPECT_EQ(len, 0);
    EXPECT_LE(awk.GetCacheCount(), 30);
    awk.SetRegExp("y");
    EXPECT_EQ(awk.GetRegExp(), "y");
    EXPECT_EQ(awk.Match("xyz", pos, len), 2);
    EXPECT_EQ(len, 1);
}

}  // namespace
