// Character codes of the regular-expression engine: a Shift-JIS lead byte and its trail byte form one 16-bit
// code (lead * 256 + trail), any other byte is its own code, and code 0 ends the text. The lead-byte test is
// the fixed CP932 table, never the machine's ANSI code page.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace regexp {

using CharCode = uint16_t;

// Codes the engine reserves for itself; no Shift-JIS text can produce them (the highest is 0xFCFF).
inline constexpr CharCode kLineHeadCode = 0xFFFD;
inline constexpr CharCode kLineTailCode = 0xFFFE;
// Highest code a pattern's character range may hold; ranges are clamped below the reserved codes.
inline constexpr CharCode kMaxUserCode = 0xFFFC;

constexpr bool IsLeadByte(unsigned char c) noexcept {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// The code at the 1-based position, advancing past it; 0 (no move) outside the text. A lead byte that is the
// last byte of the text raises ERegExpParser with the position of that byte.
CharCode GetChar(std::string_view text, int32_t& position);

// Steps back over the character before the position.
void UngetChar(std::string_view text, int32_t& position);

// One or two bytes for a code: two when its high byte is a lead byte, else the low byte alone.
std::string CodeToStr(CharCode code);

}  // namespace regexp
