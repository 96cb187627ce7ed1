// Fuzz target: a short pattern and a short text (split at the first 0xFF byte) with a line separator; the
// engine's leftmost-longest match, searched the default way and by the start scan, must equal the reference
// matcher's.
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

    // The default search, and the start scan wherever it suits the pattern.
    static regexp::TAWKStr awk, scan;
    scan.SetStartSearch(regexp::TStartSearch::Scan);
    awk.SetLineSeparator(sep);
    scan.SetLineSeparator(sep);
    try {
        awk.SetRegExp(pattern);
        scan.SetRegExp(pattern);
    } catch (const regexp::ERegExpParser&) {
        return 0;
    }
    int32_t pos, len, scanPos, scanLen;
    awk.Match(text, pos, len);
    scan.Match(text, scanPos, scanLen);
    const regexp_test::RefResult ref = regexp_test::ReferenceMatch(pattern, text, sep);
    if (pos != ref.Pos || len != ref.Len || scanPos != ref.Pos || scanLen != ref.Len) {
        fprintf(stderr, "engine %d,%d scan %d,%d reference %d,%d\n", pos, len, scanPos, scanLen, ref.Pos,
                ref.Len);
        __builtin_trap();
    }
    return 0;
}
