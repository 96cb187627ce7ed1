// TRE_DFA: the deterministic automaton made from a TRE_NFA by subset construction. Each state keeps its
// character transitions sorted by range (ranges are disjoint) plus its line-head and line-tail targets.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "regexp/char_code.h"
#include "regexp/nfa.h"

namespace regexp {

struct TRE_DFATransition {
    CharCode Low = 0;
    CharCode High = 0;
    int32_t Target = -1;
};

struct TRE_DFAState {
    bool Accepted = false;
    int32_t HeadTarget = -1;  // transition on the line-head code (only the initial state has one)
    int32_t TailTarget = -1;  // transition on the line-tail code
    uint32_t TransBegin = 0;  // this state's transitions in TRE_DFA::Transitions
    uint32_t TransEnd = 0;
    uint32_t WideBegin = 0;   // first transition that reaches above the single-byte codes
};

class TRE_DFA {
public:
    // Most states one automaton may have; past it, or past the compile budget that the NFA carries, the
    // compile fails quickly with ERegExpTooComplex.
    static constexpr int32_t kMaxStates = 10'000;

    explicit TRE_DFA(const TRE_NFA& nfa);

    void Run();

    // The state after reading code, or -1. Code 0 is the end of the text and never has a transition.
    int32_t NextState(int32_t state, CharCode code) const {
        if (code < 256) return ByteTable[static_cast<size_t>(state) * ByteClassCount + ByteClass[code]];
        const TRE_DFAState& s = StateList[static_cast<size_t>(state)];
        for (uint32_t i = s.WideBegin; i < s.TransEnd; ++i) {
            const TRE_DFATransition& t = Transitions[i];
            if (code < t.Low) return -1;
            if (code <= t.High) return t.Target;
        }
        return -1;
    }
    int32_t StateCount() const { return static_cast<int32_t>(StateList.size()); }
    // The heap bytes the built automaton holds (what a cache entry keeps alive).
    size_t HeldBytes() const;

    std::vector<TRE_DFAState> StateList;
    std::vector<TRE_DFATransition> Transitions;
    // The single-byte codes as a flat table, so that ASCII and half-width kana need no chain walk. Bytes
    // that no transition tells apart share a class; byte 0 (the end of the text) has a class of its own
    // that never leads anywhere.
    uint8_t ByteClass[256] = {};
    uint32_t ByteClassCount = 1;
    // Classes of bytes that the start scan (see start_scan.h) need not tell apart, read as a character of
    // their own, as a lead byte or as a trail byte after any lead: byte 0, CR and LF have classes of their
    // own. ScanClassByte gives each class's first byte.
    uint8_t ScanClass[256] = {};
    uint8_t ScanClassByte[256] = {};
    uint32_t ScanClassCount = 0;
    std::vector<int32_t> ByteTable;
    // Per state: kAccepts; kTailAccepts when its line-tail transition leads to an accepting state;
    // kCoversStart when on every code the initial state leads nowhere or to the class of where this state
    // leads (a walk that stood in this state at a position, and failed, shows that a walk starting there
    // fails too).
    static constexpr uint8_t kAccepts = 1, kTailAccepts = 2, kCoversStart = 4;
    std::vector<uint8_t> StateFlags;
    // Per state, the first state with the same future (same flags, and on every code the same class of
    // target): walks that meet in the same class at one position go on alike. Not a minimal automaton's
    // classes when it would cost too much to find them; then each state is its own.
    std::vector<int32_t> StateClass;
    // Bytes that can begin a match from the initial state (a lead byte when some code it leads can).
    bool CanStart[256] = {};
    bool AnyStart = false;
    // Whether a byte that is common in Shift-JIS text (see ByteRank) can begin a match: start candidates are
    // then dense, and a byte search for them no quicker than a walk.
    bool CommonStart = false;
    // Start-position filter: the bytes that every match read from the initial state begins with (empty when
    // the initial state accepts, has an anchor, or branches at once), and the offset in them of the byte that
    // the scan looks for first (the one least likely to be common in Shift-JIS text).
    std::string Prefix;
    uint32_t PrefixScanOffset = 0;
    // Bytes that every match contains (a few, the least common first): a text that lacks one of them cannot
    // match anywhere.
    std::string RequiredBytes;
    int32_t InitialState = 0;
    // A number no other automaton of the process has, for the matcher's scratch that belongs to one.
    const uint64_t Serial;
    bool LHeadFound = false;
    bool LTailFound = false;

private:
    void MakeFilters(TRECompileBudget& budget);
    bool CoversStart(int32_t state) const;
    void MakeStateClasses(TRECompileBudget& budget);
    void MakeScanClasses(TRECompileBudget& budget);

    const TRE_NFA* NFA;
};

}  // namespace regexp
