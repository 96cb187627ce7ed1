// TREScanner: turns a Shift-JIS pattern into tokens, with escapes and character classes. The dictionary
// rewrite scans with it too, so the token kinds keep fixed byte values.
#pragma once

#include <cstdint>
#include <string>

#include "regexp/char_code.h"

namespace regexp {

enum TREToken : uint8_t {
    tkChar = 0,
    tkCharRange = 1,
    tkUnion = 2,
    tkLPar = 3,
    tkRPar = 4,
    tkStar = 5,
    tkPlus = 6,
    tkQMark = 7,
    tkLBra = 8,
    tkLBraNegative = 9,
    tkRBra = 10,
    tkDot = 11,
    tkLHead = 12,
    tkLTail = 13,
    tkEnd = 14,
};

// What follows a backslash; position is just after the backslash.
CharCode ReadEscape(std::string_view text, int32_t& position);

class TREScanner {
public:
    explicit TREScanner(std::string text = {}) { SetText(std::move(text)); }
    virtual ~TREScanner() = default;

    void SetText(std::string text);
    TREToken GetToken();

    std::string Text;
    int32_t Position = 1;
    TREToken Token = tkEnd;
    CharCode Code = 0;  // the character of the last token, the low end for a range
    CharCode CodeHigh = 0;
    bool InClass = false;

protected:
    virtual TREToken ScanToken();
    virtual TREToken ScanClassToken();
};

}  // namespace regexp
