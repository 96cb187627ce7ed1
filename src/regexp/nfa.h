// TRE_NFA: the nondeterministic automaton with empty transitions built from a parse tree, and
// TRE_NFAStateSet, the bit set of NFA states used while the deterministic automaton is built.
#pragma once

#include <cstdint>
#include <vector>

#include "regexp/char_code.h"
#include "regexp/parser.h"

namespace regexp {

// Empty and anchor transitions have a kind of their own, so no character code can be mistaken for them.
enum TRELabelKind : uint8_t { lkChar = 0, lkEmpty = 1, lkLineHead = 2, lkLineTail = 3 };

struct TRE_NFATransition {
    TRELabelKind Kind = lkChar;
    CharCode Low = 0;
    CharCode High = 0;
    int32_t Target = 0;
};

class TRE_NFAStateSet {
public:
    explicit TRE_NFAStateSet(int32_t stateCount);
    bool Has(int32_t i) const { return (Bits[static_cast<size_t>(i) >> 3] >> (i & 7)) & 1; }
    void Include(int32_t i) { Bits[static_cast<size_t>(i) >> 3] |= static_cast<uint8_t>(1u << (i & 7)); }
    void Exclude(int32_t i) { Bits[static_cast<size_t>(i) >> 3] &= static_cast<uint8_t>(~(1u << (i & 7))); }
    bool Equals(const TRE_NFAStateSet& other) const { return Bits == other.Bits; }
    size_t Size() const { return Bits.size(); }

private:
    std::vector<uint8_t> Bits;
};

class TRE_NFA {
public:
    // Most NFA states one pattern may have; beyond it (or past the compile budget) the compile fails.
    static constexpr int32_t kMaxStates = 262'143;

    TRE_NFA(const TREParser& parser, CharCode lHeadCode, CharCode lTailCode)
        : Budget(parser.Budget), Parser(parser), LHeadCode(lHeadCode), LTailCode(lTailCode) {}

    void Run();
    int32_t StateCount() const { return static_cast<int32_t>(StateStart.size()) - 1; }
    // The transitions of one state, after Run: its empty ones first, up to EmptyEnd.
    const TRE_NFATransition* Begin(int32_t state) const { return Transitions.data() + StateStart[state]; }
    const TRE_NFATransition* EmptyEnd(int32_t state) const {
        return Transitions.data() + StateEmptyEnd[state];
    }
    const TRE_NFATransition* End(int32_t state) const { return Transitions.data() + StateStart[state + 1]; }

    int32_t EntryState = 0;
    int32_t ExitState = 1;
    bool LHeadFound = false;
    bool LTailFound = false;
    // The compilation's budget (the parser's), which the DFA builder goes on charging.
    TRECompileBudget& Budget;

private:
    int32_t NewState();
    void AddTransition(int32_t from, int32_t to, TRELabelKind kind, CharCode low = 0, CharCode high = 0);
    void GenerateStateList(const TRENode* root, int32_t a, int32_t b);

    const TREParser& Parser;
    CharCode LHeadCode;
    CharCode LTailCode;
    int32_t States = 0;
    std::vector<int32_t> From;  // owner of each transition while generating
    std::vector<TRE_NFATransition> Transitions;
    std::vector<uint32_t> StateStart;
    std::vector<uint32_t> StateEmptyEnd;
    size_t TransitionsLargest = 0;
};

}  // namespace regexp
