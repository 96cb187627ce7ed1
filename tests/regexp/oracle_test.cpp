// Differential test: generated patterns and texts from a fixed seed, the engine against the reference matcher.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "reference_matcher.h"
#include "regexp/awk_str.h"

using namespace regexp;

namespace {

// Small alphabets make matches, anchors, separators and double-byte characters (with 0x5C and lead-range
// trail bytes) likely.
const char* const kAtoms[] = {"a", "b", ".", "^", "$", "\\n", "\\r", "[ab]", "[^a]", "[a-c]", "\x83\x5C",
                              "\x83\x81", "[\x83\x40-\x83\x90]", "\\\\", "\\x81"};
const char* const kChars[] = {"a", "b", "c", "\n", "\r", "^", "$", "\\", "\x83\x5C", "\x83\x81", "\x81"};

std::string RandomPattern(std::mt19937& rng, int depth) {
    std::uniform_int_distribution<int> pick(0, 9);
    const int kind = depth > 3 ? 0 : pick(rng);
    std::string out;
    if (kind <= 3) {
        out = kAtoms[rng() % std::size(kAtoms)];
    } else if (kind <= 5) {
        out = RandomPattern(rng, depth + 1) + RandomPattern(rng, depth + 1);
    } else if (kind == 6) {
        out = RandomPattern(rng, depth + 1) + "|" + RandomPattern(rng, depth + 1);
    } else {
        out = "(" + RandomPattern(rng, depth + 1) + ")";
    }
    switch (rng() % 6) {
        case 0: out += "*"; break;
        case 1: out += "+"; break;
        case 2: out += "?"; break;
        default: break;
    }
    return out;
}

// Anchors the pattern at random, compiles it under a random line separator (a bad pattern compares
// nothing) and matches six random texts of up to maxPieces pieces against the reference matcher. Gives the
// number of texts compared, or -1 after the first difference.
template <size_t N>
std::string RandomText(std::mt19937& rng, const char* const (&pieces)[N], int maxPieces) {
    std::string text;
    const int n = static_cast<int>(rng() % static_cast<unsigned>(maxPieces));
    for (int k = 0; k < n; ++k) text += pieces[rng() % N];
    return text;
}

template <size_t N>
int CompareOnRandomTexts(TAWKStr& awk, std::mt19937& rng, std::string pattern, const char* const (&pieces)[N],
                         int maxPieces) {
    if (rng() % 4 == 0) pattern = "^" + pattern;
    if (rng() % 4 == 0) pattern += "$";
    const auto sep = rng() % 2 ? mcls_CRLF : mcls_LF;
    awk.SetLineSeparator(sep);
    try {
        awk.SetRegExp(pattern);
    } catch (const ERegExpParser&) {
        return 0;
    }
    for (int t = 0; t < 6; ++t) {
        const std::string text = RandomText(rng, pieces, maxPieces);
        int32_t pos, len;
        awk.Match(text, pos, len);
        const regexp_test::RefResult ref = regexp_test::ReferenceMatch(pattern, text, sep);
        if (pos != ref.Pos || len != ref.Len) {
            ADD_FAILURE() << "pattern '" << pattern << "' text '" << text << "': " << pos << "," << len
                          << " against " << ref.Pos << "," << ref.Len;
            return -1;
        }
    }
    return 6;
}

TEST(Oracle, EngineAgreesWithReferenceMatcher) {
    std::mt19937 rng(20240611);
    TAWKStr awk;
    int compared = 0;
    for (int i = 0; i < 1500; ++i) {
        const int n = CompareOnRandomTexts(awk, rng, RandomPattern(rng, 0), kChars, 8);
        ASSERT_GE(n, 0);
        compared += n;
    }
    EXPECT_GT(compared, 5000);
}

// Patterns that give the matcher its shortcuts: a literal prefix (found by a byte scan), bytes every match
// needs, a start-byte filter, line heads only, and walks from neighbouring starts that meet. Texts put the
// same bytes where they are trail bytes ("\x83\x61", "\x83\n" is one character) and repeat runs, so a
// shortcut that takes a trail byte for a character or stops a walk too early shows.
const char* const kFilterAtoms[] = {"a", "b", "ab", "ba", "\\.", "[0-9]", "[ab]", "x", ".", "\x83\x61",
                                    "\x83\x5C", "\\\\", "[a-z]", "(a|ab)", "(.*)*"};
const char* const kFilterChars[] = {"a", "b", "x", ".", "1", "\x83\x61", "\x83\x5C", "\\", "\x83\n", "\n",
                                    "\r", "\x83", "\x83\x83"};

std::string RandomFilterPattern(std::mt19937& rng) {
    std::string pattern;
    const int atoms = 1 + static_cast<int>(rng() % 4);
    for (int k = 0; k < atoms; ++k) {
        pattern += kFilterAtoms[rng() % std::size(kFilterAtoms)];
        if (rng() % 5 == 0) pattern += "+*?"[rng() % 3];
    }
    return pattern;
}

TEST(Oracle, FiltersAndWalkMemoAgreeWithReferenceMatcher) {
    std::mt19937 rng(77);
    TAWKStr awk;
    int compared = 0;
    for (int i = 0; i < 1200; ++i) {
        const int n = CompareOnRandomTexts(awk, rng, RandomFilterPattern(rng), kFilterChars, 40);
        ASSERT_GE(n, 0);
        compared += n;
    }
    EXPECT_GT(compared, 5000);
}

// The start scan (a byte automaton over the sets of walks alive) in place of the per-start walks: patterns
// that begin with a choice, so that no literal prefix takes the scan's place, on the same trap texts.
const char* const kScanHeads[] = {"[ab]", "(a|b)", "[a-z]", ".", "(x|\\\\)", "[\x83\x40-\x83\x90]",
                                  "(\\.|1)"};

TEST(Oracle, StartScanAgreesWithReferenceMatcher) {
    std::mt19937 rng(4242);
    TAWKStr awk;
    awk.SetStartSearch(TStartSearch::Scan);
    int compared = 0;
    for (int i = 0; i < 1500; ++i) {
        const std::string pattern = kScanHeads[rng() % std::size(kScanHeads)] + RandomFilterPattern(rng);
        const int n = CompareOnRandomTexts(awk, rng, pattern, kFilterChars, 40);
        ASSERT_GE(n, 0);
        compared += n;
    }
    EXPECT_GT(compared, 5000);
}

// Long texts, where the default search switches from the walks to the scan within one text: every way of
// searching gives the same match.
TEST(Oracle, WaysOfSearchingAgreeOnLongTexts) {
    std::mt19937 rng(99);
    TAWKStr ways[3];
    ways[1].SetStartSearch(TStartSearch::Walks);
    ways[2].SetStartSearch(TStartSearch::Scan);
    int compared = 0;
    for (int i = 0; i < 150; ++i) {
        std::string pattern = kScanHeads[rng() % std::size(kScanHeads)] + RandomFilterPattern(rng);
        if (rng() % 4 == 0) pattern += "$";
        const auto sep = rng() % 2 ? mcls_CRLF : mcls_LF;
        try {
            for (TAWKStr& awk : ways) {
                awk.SetLineSeparator(sep);
                awk.SetRegExp(pattern);
            }
        } catch (const ERegExpParser&) {
            continue;
        }
        for (int t = 0; t < 8; ++t) {
            const std::string text = RandomText(rng, kFilterChars, 1500);
            int32_t pos[3], len[3];
            for (int w = 0; w < 3; ++w) ways[w].Match(text, pos[w], len[w]);
            ASSERT_TRUE(pos[0] == pos[1] && pos[1] == pos[2] && len[0] == len[1] && len[1] == len[2])
                << "pattern '" << pattern << "' on a text of " << text.size() << " bytes: " << pos[0] << ","
                << len[0] << " / " << pos[1] << "," << len[1] << " / " << pos[2] << "," << len[2];
            ++compared;
        }
    }
    EXPECT_GT(compared, 800);
}

// A pattern whose scan needs more states than it may keep (each text's last ten characters make a state of
// their own, and the unused class gives the states wide rows): the scan drops its states but the walks it
// stands for, builds again, and after a few rounds leaves the rest to the walks. The walk from the "x" at
// the start lives through them all.
TEST(Oracle, StartScanThatOutgrowsItsStatesKeepsTheAnswer) {
    std::string wide = "[";
    char hex[8];
    for (int c = 0x21; c < 0x61; c += 2) {
        snprintf(hex, sizeof hex, "\\x%02X", c);
        wide += hex;
    }
    const std::string pattern = wide + "]z|x(a|b)*c|(a|b)*a(a|b)(a|b)(a|b)(a|b)(a|b)(a|b)(a|b)(a|b)(a|b)d";
    TAWKStr scan, walks;
    scan.SetStartSearch(TStartSearch::Scan);
    walks.SetStartSearch(TStartSearch::Walks);
    scan.SetRegExp(pattern);
    walks.SetRegExp(pattern);
    std::mt19937 rng(5);
    for (const int length : {300, 1000, 4000}) {
        std::string ab;
        for (int i = 0; i < length; ++i) ab += "ab"[rng() % 2];
        ab[static_cast<size_t>(length) - 10] = 'a';
        const struct {
            std::string text;
            int32_t pos, len;
        } cases[] = {
            {"x" + ab + "c", 1, length + 2},
            {"y" + ab + "c", 0, 0},
            {"y" + ab + "d", 2, length + 1},
        };
        for (const auto& c : cases) {
            int32_t pos, len, walkPos, walkLen;
            scan.Match(c.text, pos, len);
            walks.Match(c.text, walkPos, walkLen);
            EXPECT_EQ(pos, c.pos) << length << " " << c.text.front() << c.text.back();
            EXPECT_EQ(len, c.len) << length << " " << c.text.front() << c.text.back();
            EXPECT_EQ(walkPos, c.pos) << length << " " << c.text.front() << c.text.back();
        }
    }
}

}  // namespace
