// The process-wide fuzzy-character dictionary: 145 rows that equate full-width and half-width letters, digits
// and symbols, numeral forms, and the kana with their voiced-mark forms. Built once on first use (thread-safe)
// and never changed afterwards.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "regexp/pre_processor.h"

namespace regexp {

const TREDictionary& FuzzyCharDic();

// Comma-text parsing: words separated by commas; a word that begins with a double quote runs to its closing
// quote (a doubled quote stands for one); blanks around separators are skipped; a trailing comma adds an
// empty word.
std::vector<std::string> ParseCommaText(std::string_view text);

}  // namespace regexp
