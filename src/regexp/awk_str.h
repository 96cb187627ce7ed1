// TAWKStr: the matcher the application uses. Setting RegExp compiles the pattern through the cache (a bad
// pattern raises ERegExpParser); Match gives the 1-based byte start and the byte length of the
// leftmost-longest match in a Shift-JIS text.
#pragma once

#include <cstdint>
#include <string>

#include "regexp/errors.h"
#include "regexp/match_core.h"

namespace regexp {

class TAWKStr : public TMatchCORE {
public:
    TAWKStr();

    void SetRegExp(const std::string& value) override;

    bool GetUseFuzzyCharDic() const { return PreProcessor.UseFuzzyCharDic; }
    bool GetUseSynonymDic() const { return PreProcessor.UseSynonymDic; }
    // Both recompile the current pattern at once, so they may raise ERegExpParser too.
    void SetUseFuzzyCharDic(bool value);
    void SetUseSynonymDic(bool value);

    // Returns matchPos: the 1-based start of the match, 0 when there is none (matchLen 0 then). The text
    // ends at its first NUL byte.
    int32_t Match(const std::string& text, int32_t& matchPos, int32_t& matchLen) const;

private:
    using MatcherFn = bool (TMatchCORE::*)(const char*, const char*&, const char*&) const;
    // Until a pattern is assigned the empty pattern is in force, which needs no anchors.
    MatcherFn Matcher = &TMatchCORE::MatchStd;
};

}  // namespace regexp
