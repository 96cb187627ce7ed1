// TMatchCORE: the line separator and the two matching routines over a NUL-terminated Shift-JIS text:
// MatchStd for patterns without anchors and MatchEX for patterns with "^" or "$". Both give the
// leftmost-longest match; start positions never fall inside a double-byte character.
#pragma once

#include <cstdint>

#include "regexp/regular_expression.h"
#include "regexp/start_scan.h"

namespace regexp {

enum TMatchCORE_LineSeparator : uint8_t { mcls_CRLF = 0, mcls_LF = 1 };

// How the matcher looks for where a match can start, where the start scan suits the pattern: chosen by what
// its walks meet (the default), or always one way (for tests and measurements).
enum class TStartSearch : uint8_t { Auto, Walks, Scan };

class TMatchCORE : public TRegularExpression {
public:
    TMatchCORE() = default;

    TMatchCORE_LineSeparator GetLineSeparator() const { return LineSeparator; }
    void SetLineSeparator(TMatchCORE_LineSeparator value) { LineSeparator = value; }
    void SetStartSearch(TStartSearch value) { StartSearch = value; }

    int32_t NextState(int32_t state, CharCode code) const { return CurrentDFA().NextState(state, code); }
    // Byte 0 gives code 0 and does not move; a lead byte right before the end is read as a one-byte code.
    static CharCode ReadTextChar(const char*& p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c == 0) return 0;
        if (IsLeadByte(c) && p[1] != 0) {
            const auto trail = static_cast<unsigned char>(p[1]);
            p += 2;
            return static_cast<CharCode>(c << 8 | trail);
        }
        ++p;
        return c;
    }

    // Both set start and end to the match, or to nullptr when there is none.
    bool MatchStd(const char* text, const char*& start, const char*& end) const;
    bool MatchEX(const char* text, const char*& start, const char*& end) const;

protected:
    TMatchCORE_LineSeparator LineSeparator = mcls_CRLF;
    TStartSearch StartSearch = TStartSearch::Auto;

private:
    // The walk memo's table (see WalkMemo): scratch of one match call, kept here so calls need not clear it.
    struct MemoTable {
        struct Entry {
            uint64_t Key = 0;  // the call's stamp and the position's offset
            int32_t State = -1;
        };
        uint32_t Stamp = 0;
        Entry Entries[128];
    };
    mutable MemoTable Memo;
    // The start scans' states of the automata used last, so that patterns used in turn keep theirs.
    mutable TREStartScan StartScans[4];
    mutable uint64_t StartScanUses = 0;
    TREStartScan& StartScanFor(const TRE_DFA& dfa) const;

    class Candidates;
    class ScanChoice;
    class Steps;
    class WalkMemo;

    // The separator's byte for the start scan, -1 for none.
    int SeparatorByte() const { return LineSeparator == mcls_CRLF ? 13 : LineSeparator == mcls_LF ? 10 : -1; }
    bool IsLineSeparator(CharCode c) const {
        return LineSeparator == mcls_CRLF ? c == 13 : LineSeparator == mcls_LF ? c == 10 : false;
    }
    // A line tail stands before a separator or at the end of the text.
    bool AtLineTail(const TRE_DFA& dfa, int32_t state, const char* p) const;
    // The end of the longest match from p in this state, or nullptr. When covered is given, it receives the
    // last position of the walk's unbroken run of start-covering states (p when there is none).
    const char* Walk(const TRE_DFA& dfa, const char* p, int32_t state, WalkMemo& memo,
                     const char** covered = nullptr) const;
    const char* MatchHead(const TRE_DFA& dfa, const char* p, WalkMemo& memo) const;
    void MatchEXScan(const TRE_DFA& dfa, const char* text, const char*& start, const char*& end,
                     WalkMemo& memo) const;
};

}  // namespace regexp
