// Scanner and parser: escapes, class tokens, error texts with their positions, and the shape of the tree
// (shared leaves, disjoint ranges, negated classes).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "regexp/errors.h"
#include "regexp/parser.h"
#include "sjis_text.h"

using namespace regexp;
using regexp_test::Sj;

namespace {

using Ranges = std::vector<std::pair<int, int>>;

// Tokens of a pattern as (kind, code, code high), up to the end.
std::vector<std::vector<int>> Tokens(const std::string& pattern) {
    TREScanner scanner(pattern);
    std::vector<std::vector<int>> out;
    while (scanner.GetToken() != tkEnd) out.push_back({scanner.Token, scanner.Code, scanner.CodeHigh});
    return out;
}

Ranges Leaves(const std::string& pattern) {
    TREParser parser(pattern);
    parser.Run();
    Ranges out;
    for (const auto& leaf : parser.Tree.LeafList) out.emplace_back(leaf->Low, leaf->High);
    std::sort(out.begin(), out.end());
    return out;
}

TEST(Scanner, EscapesAndClassTokens) {
    struct Case {
        std::string pattern;
        std::vector<std::vector<int>> tokens;
    } cases[] = {
        {"\\x41", {{tkChar, 'A', 'A'}}},
        {"\\x4142", {{tkChar, 0x4142, 0x4142}}},
        {"\\x41424", {{tkChar, 0x4142, 0x4142}, {tkChar, '4', '4'}}},
        {"\\x4g", {{tkChar, 4, 4}, {tkChar, 'g', 'g'}}},
        {"\\101", {{tkChar, 'A', 'A'}}},
        {"\\177777", {{tkChar, 0xFFFF, 0xFFFF}}},
        {"\\18", {{tkChar, 1, 1}, {tkChar, '8', '8'}}},
        {"\\8\\q\\\\\\.", {{tkChar, '8', '8'}, {tkChar, 'q', 'q'}, {tkChar, '\\', '\\'}, {tkChar, '.', '.'}}},
        {"\\b\\r\\n\\t", {{tkChar, 8, 8}, {tkChar, 13, 13}, {tkChar, 10, 10}, {tkChar, 9, 9}}},
        {"[a-]", {{tkLBra, '[', '['}, {tkChar, 'a', 'a'}, {tkChar, '-', '-'}, {tkRBra, ']', ']'}}},
        {"[-a]", {{tkLBra, '[', '['}, {tkChar, '-', '-'}, {tkChar, 'a', 'a'}, {tkRBra, ']', ']'}}},
        // A range of one character is a range, not a bad one.
        {"[a-a]", {{tkLBra, '[', '['}, {tkCharRange, 'a', 'a'}, {tkRBra, ']', ']'}}},
        {"[\\]]", {{tkLBra, '[', '['}, {tkChar, ']', ']'}, {tkRBra, ']', ']'}}},
        {"[^^.]", {{tkLBraNegative, '[', '['}, {tkChar, '^', '^'}, {tkChar, '.', '.'}, {tkRBra, ']', ']'}}},
        {Sj(u8"[あ-ん]"), {{tkLBra, '[', '['}, {tkCharRange, 0x82A0, 0x82F1}, {tkRBra, ']', ']'}}},
        // 0xFC is the last lead byte: 0xFC 0x5C is one character, its trail byte no backslash.
        {"\xFC\x5C", {{tkChar, 0xFC5C, 0xFC5C}}},
        {"[\xFC\x40-\xFC\x4B]", {{tkLBra, '[', '['}, {tkCharRange, 0xFC40, 0xFC4B}, {tkRBra, ']', ']'}}},
        // A trail byte 0x5D ("]") or 0x5C ("\") inside a double-byte character is no metacharacter.
        {Sj(u8"[ソ表-]"), {{tkLBra, '[', '['}, {tkChar, 0x835C, 0x835C}, {tkChar, 0x955C, 0x955C},
                          {tkChar, '-', '-'}, {tkRBra, ']', ']'}}},
        {"a|()*+?.^$]", {{tkChar, 'a', 'a'}, {tkUnion, '|', '|'}, {tkLPar, '(', '('}, {tkRPar, ')', ')'},
                         {tkStar, '*', '*'}, {tkPlus, '+', '+'}, {tkQMark, '?', '?'}, {tkDot, '.', '.'},
                         {tkLHead, '^', '^'}, {tkLTail, '$', '$'}, {tkRBra, ']', ']'}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pattern);
        EXPECT_EQ(Tokens(c.pattern), c.tokens);
    }
}

TEST(Parser, ErrorTextsAndPositions) {
    struct Case {
        std::string pattern;
        std::u8string message;
        uint32_t position;
    } cases[] = {
        {"a\x81", u8"不正な２バイト文字コードです。", 2},
        {"[\x82", u8"不正な２バイト文字コードです。", 2},
        {"a\\", u8"\"\\\"の次には文字が必要です。", 3},
        {"\\x", u8"不正な１６進数コード表記です。", 3},
        {"\\xg", u8"不正な１６進数コード表記です。", 3},
        {"\\200000", u8"不正な８進数コード表記です。", 8},
        {"[", u8"右ブラケット\"]\"が必要です", 2},
        {"[abc", u8"右ブラケット\"]\"が必要です", 5},
        {"[a-", u8"右ブラケット\"]\"が必要です", 4},
        {"[^", u8"右ブラケット\"]\"が必要です", 3},
        {"[z-a]", u8"不正なキャラクタ範囲です", 5},
        {"[]", u8"不正なキャラクタクラス指定です。", 3},
        {"[^]", u8"不正なキャラクタクラス指定です。", 4},
        {"(a", u8"右(閉じ)括弧が必要です", 3},
        {"((a)", u8"右(閉じ)括弧が必要です", 5},
        {"a**", u8"普通の文字、または左括弧\"(\"が必要です", 4},
        {"*a", u8"普通の文字、または左括弧\"(\"が必要です", 2},
        {"a|+", u8"普通の文字、または左括弧\"(\"が必要です", 4},
        {"]", u8"普通の文字、または左括弧\"(\"が必要です", 2},
        {"a)", u8"正規表現に余分な文字があります", 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pattern);
        TREParser parser(c.pattern);
        try {
            parser.Run();
            ADD_FAILURE() << "no error";
        } catch (const ERegExpParser& e) {
            EXPECT_EQ(std::string(e.what()), Sj(c.message));
            EXPECT_EQ(e.Position, c.position);
        }
    }
}

TEST(Parser, TreeShapes) {
    {
        TREParser parser("");
        parser.Run();
        EXPECT_EQ(parser.Tree.Root->Op, opEmpty);
    }
    {
        TREParser parser("a|");
        parser.Run();
        ASSERT_EQ(parser.Tree.Root->Op, opUnion);
        EXPECT_EQ(parser.Tree.Root->Left->Op, opCharClass);
        EXPECT_EQ(parser.Tree.Root->Right->Op, opEmpty);
    }
    {
        TREParser parser("()");
        parser.Run();
        EXPECT_EQ(parser.Tree.Root->Op, opEmpty);
    }
    {
        // Leaves are shared, and "+" shares its operand between both places.
        TREParser parser("aa(b)+");
        parser.Run();
        const TRENode* root = parser.Tree.Root;
        ASSERT_EQ(root->Op, opConcat);
        EXPECT_EQ(root->Left->Left, root->Left->Right);
        ASSERT_EQ(root->Right->Op, opConcat);
        EXPECT_EQ(root->Right->Left, root->Right->Right->Left);
    }
}

TEST(Parser, LeavesAreDisjoint) {
    struct Case {
        std::string pattern;
        Ranges leaves;
    } cases[] = {
        {"a[a-c][b-d]", {{'a', 'a'}, {'b', 'c'}, {'d', 'd'}}},
        {"[a-z][m]", {{'a', 'l'}, {'m', 'm'}, {'n', 'z'}}},
        {"[a-c]|b", {{'a', 'a'}, {'b', 'b'}, {'c', 'c'}}},
        {"[^a]", {{1, 9}, {11, 12}, {14, 0x60}, {0x62, 0xFCFC}}},
        {"[^\\x0b]", {{1, 9}, {12, 12}, {14, 0xFCFC}}},
        {"[^\\x01-\\x09]", {{11, 12}, {14, 0xFCFC}}},
        {".", {{1, 9}, {11, 12}, {14, 0xFCFC}}},
        // A literal "^" or "$" splits the ranges around it.
        {"x[!-~]|x^", {{'!', ']'}, {'^', '^'}, {'_', 'w'}, {'x', 'x'}, {'y', '~'}}},
        // Ranges are clamped below the reserved codes; a range wholly above them leaves no leaf.
        {"[\\xFF00-\\xFFFF]", {{0xFF00, 0xFFFC}}},
        {"\\xFFFF", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pattern);
        EXPECT_EQ(Leaves(c.pattern), c.leaves);
    }
}

TEST(Parser, NestingIsLimitedAndDeepTreesAreSafe) {
    std::string ok = std::string(1000, '(') + "a" + std::string(1000, ')');
    TREParser fine(ok);
    EXPECT_NO_THROW(fine.Run());

    std::string deep = std::string(100000, '(') + "a" + std::string(100000, ')');
    TREParser parser(deep);
    try {
        parser.Run();
        ADD_FAILURE() << "no error";
    } catch (const ERegExpTooComplex& e) {
        EXPECT_EQ(std::string(e.what()), Sj(u8"括弧の入れ子が深すぎます"));
        EXPECT_EQ(e.Position, 1002u);
    }
}

}  // namespace
