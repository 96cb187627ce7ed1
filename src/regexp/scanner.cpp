// The pattern scanner: one token of the pattern per call, with a separate reader inside "[...]".
#include "regexp/scanner.h"

#include "regexp/errors.h"
#include "regexp/sjis_texts.inc"

namespace regexp {
namespace {

int HexDigit(CharCode c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

CharCode ReadEscape(std::string_view text, int32_t& position) {
    const CharCode c = GetChar(text, position);
    switch (c) {
        case 0: throw ERegExpParser(kMsgEscapeAtEnd, position);
        case 'b': return 8;
        case 'r': return 13;
        case 'n': return 10;
        case 't': return 9;
        default: break;
    }
    if (c == 'x') {
        uint32_t value = 0;
        int digits = 0;
        while (digits < 4) {
            const CharCode d = GetChar(text, position);
            if (d == 0) break;  // the end: nothing was read, so nothing to push back
            const int v = HexDigit(d);
            if (v < 0) {
                UngetChar(text, position);
                break;
            }
            value = value * 16 + static_cast<uint32_t>(v);
            ++digits;
        }
        if (digits == 0) throw ERegExpParser(kMsgBadHex, position);
        return static_cast<CharCode>(value);
    }
    if (c >= '0' && c <= '7') {
        UngetChar(text, position);
        uint32_t value = 0;
        for (int digits = 0; digits < 6; ++digits) {
            const CharCode d = GetChar(text, position);
            if (d == 0) break;
            if (d < '0' || d > '7') {
                UngetChar(text, position);
                break;
            }
            value = value * 8 + (d - '0');
            if (value > 0xFFFF) throw ERegExpParser(kMsgBadOctal, position);
        }
        return static_cast<CharCode>(value);
    }
    return c;
}

void TREScanner::SetText(std::string text) {
    Text = std::move(text);
    Position = 1;
    InClass = false;
}

TREToken TREScanner::GetToken() {
    if (InClass) {
        Token = ScanClassToken();
        if (Token == tkRBra) InClass = false;
    } else {
        Token = ScanToken();
        if (Token == tkLBra || Token == tkLBraNegative) InClass = true;
    }
    return Token;
}

TREToken TREScanner::ScanToken() {
    Code = GetChar(Text, Position);
    CodeHigh = Code;
    switch (Code) {
        case 0: return tkEnd;
        case '$': return tkLTail;
        case '(': return tkLPar;
        case ')': return tkRPar;
        case '*': return tkStar;
        case '+': return tkPlus;
        case '.': return tkDot;
        case '?': return tkQMark;
        case '|': return tkUnion;
        case ']': return tkRBra;
        case '^': return tkLHead;
        case '\\':
            Code = CodeHigh = ReadEscape(Text, Position);
            return tkChar;
        case '[': {
            const CharCode next = GetChar(Text, Position);
            if (next == 0) throw ERegExpParser(kMsgNeedRBracket, Position);
            if (next == '^') return tkLBraNegative;
            UngetChar(Text, Position);
            return tkLBra;
        }
        default: return tkChar;
    }
}

TREToken TREScanner::ScanClassToken() {
    CharCode a = GetChar(Text, Position);
    if (a == 0) throw ERegExpParser(kMsgNeedRBracket, Position);
    if (a == ']') {
        Code = CodeHigh = a;
        return tkRBra;
    }
    if (a == '\\') a = ReadEscape(Text, Position);
    Code = CodeHigh = a;
    const CharCode b = GetChar(Text, Position);
    if (b == 0) throw ERegExpParser(kMsgNeedRBracket, Position);
    if (b != '-') {
        UngetChar(Text, Position);
        return tkChar;
    }
    CharCode c = GetChar(Text, Position);
    if (c == 0) throw ERegExpParser(kMsgNeedRBracket, Position);
    if (c == ']') {
        // "-" right before "]" is an ordinary character: read it next, then the "]".
        UngetChar(Text, Position);
        UngetChar(Text, Position);
        return tkChar;
    }
    if (c == '\\') c = ReadEscape(Text, Position);
    if (c < a) throw ERegExpParser(kMsgBadRange, Position);
    CodeHigh = c;
    return tkCharRange;
}

}  // namespace regexp
