// Fuzz target: a short pattern and a short text (split at the first 0xFF byte) with a line separator; the
// engine's leftmost-longest match must equal the reference matcher's.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "reference_matcher.h"
#include "regexp/awk_str.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const auto sep = (data[0] & 1) ? regexp::mcls_LF : regexp::mcls_CRLF;
    const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const size_t cut = rest.find('\xFF');
    if (cut == std::string::npos || cut > 24 || rest.size() - cut - 1 > 24) return 0;
    const std::string pattern = rest.substr(0, cut);
    const std::string text = rest.substr(cut + 1);

    static regexp::TAWKStr awk;
    awk.SetLineSeparator(sep);
    try {
        awk.SetRegExp(pattern);
    } catch (const regexp::ERegExpParser&) {
        return 0;
    }
    int32_t pos, len;
    awk.Match(text, pos, len);
    const regexp_test::RefResult ref = regexp_test::ReferenceMatch(pattern, text, sep);
    if (pos != ref.Pos || len != ref.Len) {
        fprintf(stderr, "engine %d,%d reference %d,%d\n", pos, len, ref.Pos, ref.Len);
        __builtin_trap();
    }
    return 0;
}
