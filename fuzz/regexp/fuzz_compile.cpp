// Fuzz target: any byte string as a pattern. It compiles or raises ERegExpParser (never anything else, never
// a sanitizer report) within the compile budget's work, its automaton's ranges are sorted and disjoint, and a
// compiled pattern matches fixed texts without reading past them.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_checks.h"
#include "regexp/awk_str.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static regexp::TAWKStr awk;
    const std::string pattern(reinterpret_cast<const char*>(data), size);
    try {
        regexp_fuzz::WithinCompileWork([&] { awk.SetRegExp(pattern); });
    } catch (const regexp::ERegExpParser&) {
        return 0;
    }
    regexp_fuzz::CheckAutomaton(awk.CurrentDFA());
    int32_t pos, len;
    for (const char* text : {"", "abc\r\ndef", "\x83\x5C\x95\x5C\n\x83\x81", "a\x81", "\x81"}) {
        awk.Match(text, pos, len);
        if (pos < 0 || len < 0 || static_cast<size_t>(pos) + len > std::char_traits<char>::length(text) + 1) {
            __builtin_trap();
        }
    }
    return 0;
}
