// The fuzzy-character dictionary, built from Shift-JIS rows generated at build time from a UTF-8 table.
#include "regexp/fuzzy_char_dic.h"

#include "regexp/sjis_texts.inc"

namespace regexp {

std::vector<std::string> ParseCommaText(std::string_view text) {
    std::vector<std::string> words;
    size_t i = 0;
    const auto blank = [&](size_t k) { return k < text.size() && static_cast<unsigned char>(text[k]) <= ' '; };
    while (blank(i)) ++i;
    while (i < text.size()) {
        std::string word;
        if (text[i] == '"') {
            ++i;
            while (i < text.size()) {
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        word += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                word += text[i++];
            }
        } else {
            while (i < text.size() && text[i] != ',' && !blank(i)) word += text[i++];
        }
        words.push_back(std::move(word));
        while (blank(i)) ++i;
        if (i < text.size() && text[i] == ',') {
            ++i;
            while (blank(i)) ++i;
            if (i == text.size()) words.emplace_back();
        }
    }
    return words;
}

const TREDictionary& FuzzyCharDic() {
    static const TREDictionary dic = [] {
        TREDictionary rows;
        rows.reserve(kFuzzyCharDicRowCount);
        for (const char* row : kFuzzyCharDicRows) rows.push_back(ParseCommaText(row));
        return rows;
    }();
    return dic;
}

}  // namespace regexp
