// TAWKStr: picks the matching routine for each pattern and reports matches as 1-based byte positions.
#include "regexp/awk_str.h"

#include "regexp/fuzzy_char_dic.h"

namespace regexp {

TAWKStr::TAWKStr() {
    LineSeparator = mcls_CRLF;
    FuzzyCharDicList().push_back(&FuzzyCharDic());
}

void TAWKStr::SetRegExp(const std::string& value) {
    TMatchCORE::SetRegExp(value);
    Matcher = (HasLineHead() || HasLineTail()) ? &TMatchCORE::MatchEX : &TMatchCORE::MatchStd;
}

void TAWKStr::SetUseFuzzyCharDic(bool value) {
    PreProcessor.UseFuzzyCharDic = value;
    SetRegExp(GetRegExp());
}

void TAWKStr::SetUseSynonymDic(bool value) {
    PreProcessor.UseSynonymDic = value;
    SetRegExp(GetRegExp());
}

int32_t TAWKStr::Match(const std::string& text, int32_t& matchPos, int32_t& matchLen) const {
    const char* start = nullptr;
    const char* end = nullptr;
    if (!(this->*Matcher)(text.c_str(), start, end)) {
        matchPos = matchLen = 0;
        return 0;
    }
    matchPos = static_cast<int32_t>(start - text.c_str()) + 1;
    matchLen = static_cast<int32_t>(end - start);
    return matchPos;
}

}  // namespace regexp
