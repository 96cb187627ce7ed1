// The dictionary rewrite: the fuzzy dictionary's rows, the rewrite byte for byte (including words whose trail
// bytes are metacharacters), identity with the flags off, and fuzzy matching through TAWKStr.
#include <gtest/gtest.h>

#include <string>

#include "regexp/awk_str.h"
#include "regexp/fuzzy_char_dic.h"
#include "regexp/pre_processor.h"
#include "sjis_text.h"

using namespace regexp;
using regexp_test::Sj;

namespace {

std::string Rewrite(const std::string& pattern, bool fuzzy = true, bool synonym = false) {
    TREPreProcessor pre(pattern);
    pre.FuzzyCharDicList.push_back(&FuzzyCharDic());
    pre.UseFuzzyCharDic = fuzzy;
    pre.UseSynonymDic = synonym;
    pre.Run();
    return pre.Output;
}

TEST(FuzzyCharDic, RowsInOrder) {
    const TREDictionary& dic = FuzzyCharDic();
    ASSERT_EQ(dic.size(), 145u);
    std::string keys;
    for (const auto& row : dic) keys += row.at(0);
    EXPECT_EQ(keys, Sj(u8"ＡＢＣＤＥＦＧＨＩＪＫＬＭＮＯＰＱＲＳＴＵＶＷＸＹＺ0123456789　!\"#$%&'()*+ー-･/:;<=>?@[\\]^_{|}~,｡「」"
                       u8"んがぎぐげござじずぜぞだでどばびぶべぼぱぴぷぺぽあいうえおかきくけこさしすせそたちつてと"
                       u8"なにぬねのはひふへほまみむめもやゆよらりるれろわヰヱをﾞﾟ"));
    EXPECT_EQ(dic[36], (std::vector<std::string>{Sj(u8"　"), " "}));
    EXPECT_EQ(dic[38], (std::vector<std::string>{"\"", Sj(u8"”")}));
    EXPECT_EQ(dic[48], (std::vector<std::string>{Sj(u8"ー"), Sj(u8"～"), Sj(u8"ｰ"), ""}));
    EXPECT_EQ(dic[68], (std::vector<std::string>{",", Sj(u8"､"), Sj(u8"、"), Sj(u8"，")}));
    EXPECT_EQ(dic[144], (std::vector<std::string>{Sj(u8"ﾟ"), Sj(u8"゜")}));
}

TEST(PreProcessor, RewriteIsByteExact) {
    struct Case {
        std::u8string pattern, output;
    } cases[] = {
        {u8"abc", u8"(Ａ|ａ|A|a)(Ｂ|ｂ|B|b)(Ｃ|ｃ|C|c)"},
        {u8"a*", u8"(Ａ|ａ|A|a)*"},
        {u8"\\(", u8"(\\(|（)"},
        {u8".", u8"."},
        {u8"[abc]", u8"[abc]"},
        {u8"[^abc]", u8"[^abc]"},
        {u8"a-z", u8"(Ａ|ａ|A|a)(-|ー|－|～|ｰ)(Ｚ|ｚ|Z|z)"},
        {u8"ー", u8"(ー|～|ｰ|)"},
        {u8"～", u8"(ー|～|ｰ|)"},
        {u8"ｶﾞ", u8"(が|ガ|ｶﾞ|か゛|カ゛)"},
        {u8"か゛", u8"(が|ガ|ｶﾞ|か゛|カ゛)"},
        {u8"か", u8"(か|カ|ｶ)"},
        {u8"う", u8"(う|ウ|ｳ|ぅ|ゥ|ｩ)"},
        {u8"1", u8"(1|１|一|①|Ⅰ|壱)"},
        {u8"\\x41", u8"(Ａ|ａ|A|a)"},
        // Trail bytes 0x5C (ソ), 0x5B (ゼ) and 0x7C (ポ) stay unescaped; the ASCII ones are escaped.
        {u8"ソ", u8"(そ|ソ|ｿ)"},
        {u8"ぜ", u8"(ぜ|ゼ|ｾﾞ|せ゛|セ゛)"},
        {u8"ポ", u8"(ぽ|ポ|ﾎﾟ|ほ゜|ホ゜)"},
        {u8"\\\\", u8"(\\\\|￥)"},
        {u8"\\[", u8"(\\[|［|〔)"},
        {u8"\\|", u8"(\\||｜)"},
        {u8"\\.", u8"(｡|\\.|。|．)"},
        {u8"\"", u8"(\"|”)"},
        {u8",", u8"(,|､|、|，)"},
        {u8" ", u8"(　| )"},
        {u8"ヴァ", u8"(ば|バ|ﾊﾞ|は゛|ハ゛|ヴァ|う゛ぁ|ウ゛ァ|ｳﾞｧ)"},
        {u8"表示", u8"表示"},
        {u8"[ア-ン]+表", u8"[ア-ン]+表"},
        // Bytes after a NUL (which ends the pattern for the scanner) are kept.
        {std::u8string(u8"a\0b", 3), std::u8string(u8"(Ａ|ａ|A|a)\0b", 15)},
    };
    for (const auto& c : cases) {
        const std::string pattern = Sj(c.pattern);
        SCOPED_TRACE(pattern);
        EXPECT_EQ(Rewrite(pattern), Sj(c.output));
        // Flags off, or only the synonym flag (no synonym dictionary exists): the input comes back.
        EXPECT_EQ(Rewrite(pattern, false, false), pattern);
        EXPECT_EQ(Rewrite(pattern, false, true), pattern);
    }
}

TEST(PreProcessor, EscapeWordStepsByCharacter) {
    EXPECT_EQ(EscapeWord("^(|)+*?.[]$\\a"), "\\^\\(\\|\\)\\+\\*\\?\\.\\[\\]\\$\\\\a");
    EXPECT_EQ(EscapeWord(Sj(u8"ソ表ゼポ")), Sj(u8"ソ表ゼポ"));
}

TEST(PreProcessor, ScanningErrorsKeepThePreviousPattern) {
    TAWKStr awk;
    awk.SetRegExp("b");
    awk.SetUseFuzzyCharDic(true);
    EXPECT_THROW(awk.SetRegExp("[ab"), ERegExpParser);
    EXPECT_EQ(awk.GetRegExp(), "b");
    int32_t pos, len;
    EXPECT_EQ(awk.Match(Sj(u8"ａｂ"), pos, len), 3);
}

TEST(PreProcessor, FuzzyMatching) {
    struct Case {
        std::u8string pattern, text;
        int32_t pos, len;
    } cases[] = {
        {u8"abc", u8"xＡｂC", 2, 5},
        {u8"aーb", u8"ab", 1, 2},
        {u8"aーb", u8"a～b", 1, 4},
        {u8"ｶﾞ", u8"xが", 2, 2},
        {u8"が", u8"ｶﾞ", 1, 2},
        {u8"1", u8"第①", 3, 2},
        {u8"そ", u8"ｿ", 1, 1},
        {u8"ソ", u8"そ", 1, 2},
        {u8"part1", u8"ＰＡＲＴ１", 1, 10},
    };
    TAWKStr awk;
    awk.SetUseFuzzyCharDic(true);
    for (const auto& c : cases) {
        SCOPED_TRACE(Sj(c.pattern));
        awk.SetRegExp(Sj(c.pattern));
        int32_t pos, len;
        EXPECT_EQ(awk.Match(Sj(c.text), pos, len), c.pos);
        EXPECT_EQ(len, c.len);
    }
    // The setters recompile the current pattern.
    awk.SetRegExp("a");
    int32_t pos, len;
    EXPECT_EQ(awk.Match(Sj(u8"Ａ"), pos, len), 1);
    awk.SetUseFuzzyCharDic(false);
    EXPECT_EQ(awk.Match(Sj(u8"Ａ"), pos, len), 0);
    awk.SetUseSynonymDic(true);
    EXPECT_EQ(awk.Match("a", pos, len), 1);
}

}  // namespace
