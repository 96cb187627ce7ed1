// The dictionary rewrite: the fuzzy dictionary's rows, the rewrite byte for byte (including words whose trail
// bytes are metacharacters), identity with the flags off, and fuzzy matching through TAWKStr.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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

// Every row in full, word by word: a changed, added, dropped or moved word or row fails here.
TEST(FuzzyCharDic, EveryRowPinned) {
    const std::vector<std::vector<std::u8string>> rows = {
        {u8"Ａ", u8"ａ", u8"A", u8"a"},
        {u8"Ｂ", u8"ｂ", u8"B", u8"b"},
        {u8"Ｃ", u8"ｃ", u8"C", u8"c"},
        {u8"Ｄ", u8"ｄ", u8"D", u8"d"},
        {u8"Ｅ", u8"ｅ", u8"E", u8"e"},
        {u8"Ｆ", u8"ｆ", u8"F", u8"f"},
        {u8"Ｇ", u8"ｇ", u8"G", u8"g"},
        {u8"Ｈ", u8"ｈ", u8"H", u8"h"},
        {u8"Ｉ", u8"ｉ", u8"I", u8"i"},
        {u8"Ｊ", u8"ｊ", u8"J", u8"j"},
        {u8"Ｋ", u8"ｋ", u8"K", u8"k"},
        {u8"Ｌ", u8"ｌ", u8"L", u8"l"},
        {u8"Ｍ", u8"ｍ", u8"M", u8"m"},
        {u8"Ｎ", u8"ｎ", u8"N", u8"n"},
        {u8"Ｏ", u8"ｏ", u8"O", u8"o"},
        {u8"Ｐ", u8"ｐ", u8"P", u8"p"},
        {u8"Ｑ", u8"ｑ", u8"Q", u8"q"},
        {u8"Ｒ", u8"ｒ", u8"R", u8"r"},
        {u8"Ｓ", u8"ｓ", u8"S", u8"s"},
        {u8"Ｔ", u8"ｔ", u8"T", u8"t"},
        {u8"Ｕ", u8"ｕ", u8"U", u8"u"},
        {u8"Ｖ", u8"ｖ", u8"V", u8"v"},
        {u8"Ｗ", u8"ｗ", u8"W", u8"w"},
        {u8"Ｘ", u8"ｘ", u8"X", u8"x"},
        {u8"Ｙ", u8"ｙ", u8"Y", u8"y"},
        {u8"Ｚ", u8"ｚ", u8"Z", u8"z"},
        {u8"0", u8"０", u8"零"},
        {u8"1", u8"１", u8"一", u8"①", u8"Ⅰ", u8"壱"},
        {u8"2", u8"２", u8"二", u8"②", u8"Ⅱ", u8"弐"},
        {u8"3", u8"３", u8"三", u8"③", u8"Ⅲ", u8"参"},
        {u8"4", u8"４", u8"四", u8"④", u8"Ⅳ"},
        {u8"5", u8"５", u8"五", u8"⑤", u8"Ⅴ", u8"伍"},
        {u8"6", u8"６", u8"六", u8"⑥", u8"Ⅵ"},
        {u8"7", u8"７", u8"七", u8"⑦", u8"Ⅶ"},
        {u8"8", u8"８", u8"八", u8"⑧", u8"Ⅷ"},
        {u8"9", u8"９", u8"九", u8"⑨", u8"Ⅸ"},
        {u8"　", u8" "},
        {u8"!", u8"！"},
        {u8"\"", u8"”"},
        {u8"#", u8"＃"},
        {u8"$", u8"＄"},
        {u8"%", u8"％"},
        {u8"&", u8"＆"},
        {u8"'", u8"’"},
        {u8"(", u8"（"},
        {u8")", u8"）"},
        {u8"*", u8"＊"},
        {u8"+", u8"＋"},
        {u8"ー", u8"～", u8"ｰ", u8""},
        {u8"-", u8"ー", u8"－", u8"～", u8"ｰ"},
        {u8"･", u8"・"},
        {u8"/", u8"／"},
        {u8":", u8"："},
        {u8";", u8"；"},
        {u8"<", u8"＜"},
        {u8"=", u8"＝"},
        {u8">", u8"＞"},
        {u8"?", u8"？"},
        {u8"@", u8"＠"},
        {u8"[", u8"［", u8"〔"},
        {u8"\\", u8"￥"},
        {u8"]", u8"］", u8"〕"},
        {u8"^", u8"＾"},
        {u8"_", u8"＿"},
        {u8"{", u8"｛"},
        {u8"|", u8"｜"},
        {u8"}", u8"｝"},
        {u8"~", u8"￣"},
        {u8",", u8"､", u8"、", u8"，"},
        {u8"｡", u8".", u8"。", u8"．"},
        {u8"「", u8"『", u8"｢"},
        {u8"」", u8"』", u8"｣"},
        {u8"ん", u8"ン", u8"ﾝ"},
        {u8"が", u8"ガ", u8"ｶﾞ", u8"か゛", u8"カ゛"},
        {u8"ぎ", u8"ギ", u8"ｷﾞ", u8"き゛", u8"キ゛"},
        {u8"ぐ", u8"グ", u8"ｸﾞ", u8"く゛", u8"ク゛"},
        {u8"げ", u8"ゲ", u8"ｹﾞ", u8"け゛", u8"ケ゛"},
        {u8"ご", u8"ゴ", u8"ｺﾞ", u8"こ゛", u8"コ゛"},
        {u8"ざ", u8"ザ", u8"ｻﾞ", u8"さ゛", u8"サ゛"},
        {u8"じ", u8"ジ", u8"ｼﾞ", u8"し゛", u8"シ゛", u8"ぢ", u8"ヂ", u8"ﾁﾞ", u8"ち゛", u8"チ゛"},
        {u8"ず", u8"ズ", u8"ｽﾞ", u8"す゛", u8"ス゛", u8"づ", u8"ヅ", u8"ﾂﾞ", u8"つ゛", u8"ツ゛"},
        {u8"ぜ", u8"ゼ", u8"ｾﾞ", u8"せ゛", u8"セ゛"},
        {u8"ぞ", u8"ゾ", u8"ｿﾞ", u8"そ゛", u8"ソ゛"},
        {u8"だ", u8"ダ", u8"ﾀﾞ", u8"た゛", u8"タ゛"},
        {u8"で", u8"デ", u8"ﾃﾞ", u8"て゛", u8"テ゛"},
        {u8"ど", u8"ド", u8"ﾄﾞ", u8"と゛", u8"ト゛"},
        {u8"ば", u8"バ", u8"ﾊﾞ", u8"は゛", u8"ハ゛", u8"ヴァ", u8"う゛ぁ", u8"ウ゛ァ", u8"ｳﾞｧ"},
        {u8"び", u8"ビ", u8"ﾋﾞ", u8"ひ゛", u8"ヒ゛", u8"ヴィ", u8"う゛ぃ", u8"ウ゛ィ", u8"ｳﾞｨ"},
        {u8"ぶ", u8"ブ", u8"ﾌﾞ", u8"ふ゛", u8"フ゛", u8"ヴ", u8"ウ゛", u8"う゛", u8"ｳﾞ"},
        {u8"べ", u8"ベ", u8"ﾍﾞ", u8"へ゛", u8"ヘ゛", u8"ヴェ", u8"う゛ぇ", u8"ウ゛ェ", u8"ｳﾞｪ"},
        {u8"ぼ", u8"ボ", u8"ﾎﾞ", u8"ほ゛", u8"ホ゛", u8"ヴォ", u8"う゛ぉ", u8"ウ゛ォ", u8"ｳﾞｫ"},
        {u8"ぱ", u8"パ", u8"ﾊﾟ", u8"は゜", u8"ハ゜"},
        {u8"ぴ", u8"ピ", u8"ﾋﾟ", u8"ひ゜", u8"ヒ゜"},
        {u8"ぷ", u8"プ", u8"ﾌﾟ", u8"ふ゜", u8"フ゜"},
        {u8"ぺ", u8"ペ", u8"ﾍﾟ", u8"へ゜", u8"ヘ゜"},
        {u8"ぽ", u8"ポ", u8"ﾎﾟ", u8"ほ゜", u8"ホ゜"},
        {u8"あ", u8"ア", u8"ｱ", u8"ぁ", u8"ァ", u8"ｧ"},
        {u8"い", u8"イ", u8"ｲ", u8"ぃ", u8"ィ", u8"ｨ"},
        {u8"う", u8"ウ", u8"ｳ", u8"ぅ", u8"ゥ", u8"ｩ"},
        {u8"え", u8"エ", u8"ｴ", u8"ぇ", u8"ェ", u8"ｪ"},
        {u8"お", u8"オ", u8"ｵ", u8"ぉ", u8"ォ", u8"ｫ"},
        {u8"か", u8"カ", u8"ｶ"},
        {u8"き", u8"キ", u8"ｷ"},
        {u8"く", u8"ク", u8"ｸ"},
        {u8"け", u8"ケ", u8"ｹ"},
        {u8"こ", u8"コ", u8"ｺ"},
        {u8"さ", u8"サ", u8"ｻ"},
        {u8"し", u8"シ", u8"ｼ"},
        {u8"す", u8"ス", u8"ｽ"},
        {u8"せ", u8"セ", u8"ｾ"},
        {u8"そ", u8"ソ", u8"ｿ"},
        {u8"た", u8"タ", u8"ﾀ"},
        {u8"ち", u8"チ", u8"ﾁ"},
        {u8"つ", u8"ツ", u8"ﾂ", u8"っ", u8"ッ", u8"ｯ"},
        {u8"て", u8"テ", u8"ﾃ"},
        {u8"と", u8"ト", u8"ﾄ"},
        {u8"な", u8"ナ", u8"ﾅ"},
        {u8"に", u8"ニ", u8"ﾆ"},
        {u8"ぬ", u8"ヌ", u8"ﾇ"},
        {u8"ね", u8"ネ", u8"ﾈ"},
        {u8"の", u8"ノ", u8"ﾉ"},
        {u8"は", u8"ハ", u8"ﾊ"},
        {u8"ひ", u8"ヒ", u8"ﾋ"},
        {u8"ふ", u8"フ", u8"ﾌ"},
        {u8"へ", u8"ヘ", u8"ﾍ"},
        {u8"ほ", u8"ホ", u8"ﾎ"},
        {u8"ま", u8"マ", u8"ﾏ"},
        {u8"み", u8"ミ", u8"ﾐ"},
        {u8"む", u8"ム", u8"ﾑ"},
        {u8"め", u8"メ", u8"ﾒ"},
        {u8"も", u8"モ", u8"ﾓ"},
        {u8"や", u8"ヤ", u8"ﾔ", u8"ゃ", u8"ャ", u8"ｬ"},
        {u8"ゆ", u8"ユ", u8"ﾕ", u8"ゅ", u8"ュ", u8"ｭ"},
        {u8"よ", u8"ヨ", u8"ﾖ", u8"ょ", u8"ョ", u8"ｮ"},
        {u8"ら", u8"ラ", u8"ﾗ"},
        {u8"り", u8"リ", u8"ﾘ"},
        {u8"る", u8"ル", u8"ﾙ"},
        {u8"れ", u8"レ", u8"ﾚ"},
        {u8"ろ", u8"ロ", u8"ﾛ"},
        {u8"わ", u8"ワ", u8"ﾜ", u8"うぁ", u8"ウァ", u8"ｳｧ"},
        {u8"ヰ", u8"ゐ", u8"うぃ", u8"ウィ", u8"ｳｨ"},
        {u8"ヱ", u8"ゑ", u8"うぇ", u8"ウェ", u8"ｳｪ"},
        {u8"を", u8"ヲ", u8"ｦ", u8"うぉ", u8"ウォ", u8"ｳｫ"},
        {u8"ﾞ", u8"゛"},
        {u8"ﾟ", u8"゜"},

    };
    const TREDictionary& dic = FuzzyCharDic();
    ASSERT_EQ(dic.size(), rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE("row " + std::to_string(i));
        std::vector<std::string> expected;
        for (const auto& word : rows[i]) expected.push_back(Sj(word));
        EXPECT_EQ(dic[i], expected);
    }
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
