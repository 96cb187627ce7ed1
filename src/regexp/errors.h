// Exceptions of the regular-expression engine. Messages are Shift-JIS texts; Position is the 1-based byte
// position in the pattern that the error refers to.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace regexp {

class ERegExpParser : public std::runtime_error {
public:
    ERegExpParser(const std::string& message, uint32_t position)
        : std::runtime_error(message), Position(position) {}
    uint32_t Position;
};

// The pattern is valid but its automaton would pass the engine's limits (nesting, NFA or DFA size).
class ERegExpTooComplex : public ERegExpParser {
public:
    using ERegExpParser::ERegExpParser;
};

}  // namespace regexp
