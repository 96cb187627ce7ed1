// A small, slow reference matcher for differential tests: leftmost-longest matching straight over the parse
// tree, with the same character reading, anchor placement and line rules as the engine.
#pragma once

#include <cstdint>
#include <string>

#include "regexp/match_core.h"

namespace regexp_test {

struct RefResult {
    int32_t Pos = 0;  // 1-based, 0 when there is no match
    int32_t Len = 0;
    bool operator==(const RefResult&) const = default;
};

// Throws what the parser throws for a bad pattern. Meant for short patterns and texts.
RefResult ReferenceMatch(const std::string& pattern, const std::string& text,
                         regexp::TMatchCORE_LineSeparator separator = regexp::mcls_CRLF);

}  // namespace regexp_test
