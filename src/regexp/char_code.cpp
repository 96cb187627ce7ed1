// Reading and un-reading pattern characters by Shift-JIS character, and turning codes back into bytes.
#include "regexp/char_code.h"

#include "regexp/errors.h"
#include "regexp/sjis_texts.inc"

namespace regexp {

CharCode GetChar(std::string_view text, int32_t& position) {
    if (position < 1 || static_cast<size_t>(position) > text.size()) return 0;
    const auto c = static_cast<unsigned char>(text[position - 1]);
    if (!IsLeadByte(c)) {
        ++position;
        return c;
    }
    if (static_cast<size_t>(position) == text.size()) throw ERegExpParser(kMsgBadDoubleByte, position);
    const auto trail = static_cast<unsigned char>(text[position]);
    position += 2;
    return static_cast<CharCode>(c << 8 | trail);
}

void UngetChar(std::string_view text, int32_t& position) {
    if (position <= 1) return;
    if (position == 2) {
        position = 1;
        return;
    }
    // The byte before the position is a trail byte when an odd run of lead-test bytes stands right before it.
    int32_t i = position - 2;  // 1-based index of the byte before the last one
    int32_t run = 0;
    while (i >= 1 && IsLeadByte(static_cast<unsigned char>(text[i - 1]))) {
        ++run;
        --i;
    }
    position -= (run % 2 == 1) ? 2 : 1;
}

std::string CodeToStr(CharCode code) {
    const auto high = static_cast<unsigned char>(code >> 8);
    if (IsLeadByte(high)) return std::string{static_cast<char>(high), static_cast<char>(code & 0xFF)};
    return std::string(1, static_cast<char>(code & 0xFF));
}

}  // namespace regexp
