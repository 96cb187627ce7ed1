// TREStartScan: one pass over the text that tells whether any match exists and, when one does, from where
// the walks that find the leftmost-longest one must start. It runs a byte automaton built lazily from the
// compiled one: a state is the set of states (by class) that walks from every earlier start still stand in,
// plus the lead byte read when it stands inside a double-byte character. The scan stops at the first
// position where one of those walks accepts; the last character boundary before it where no earlier walk
// was alive is where the leftmost match starts at the earliest. One table load per byte and no branch on the
// text, so it keeps its pace on text that the per-start walks would take a misjudged branch per word on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "regexp/dfa.h"

namespace regexp {

class TREStartScan {
public:
    // Beyond this the built states are dropped and the scan starts building again; after a few such
    // restarts in one call it gives up and leaves the rest to the walks.
    static constexpr size_t kMaxBytes = 256u << 10;

    // Whether the scan is worth it for this automaton: without it, a fast byte search finds the start
    // candidates, which is quicker where they are rare. Needs an initial state without acceptance, anchors
    // or line tail.
    static bool Suits(const TRE_DFA& dfa) {
        const TRE_DFAState& initial = dfa.StateList[static_cast<size_t>(dfa.InitialState)];
        return !initial.Accepted && initial.HeadTarget < 0 && initial.TailTarget < 0 && dfa.Prefix.empty() &&
               dfa.CommonStart;
    }

    bool BelongsTo(const TRE_DFA& dfa) const { return Serial == dfa.Serial; }
    // Gives the scan to this automaton, dropping the states it held for another.
    void Claim(const TRE_DFA& dfa);

    // separator: the line separator's byte (a line tail before it, or at the end, counts as an end of a
    // match where the automaton takes one), or -1 for none. Gives nullptr when the text holds no match,
    // else the character boundary from which the walks start.
    const char* Run(const TRE_DFA& dfa, const char* text, int separator);

    uint64_t LastUse = 0;  // for the matcher that keeps several scans

    // Whether walks that began `starts` times within `bytes` of text are dense: each ends at a branch that
    // goes either way, and every few bytes that costs more than the scan. Where they are rare, or the text
    // is short (a name), the walks are quicker.
    static constexpr uint64_t kDenseBytes = 12;
    static bool Dense(uint64_t starts, uint64_t bytes) {
        return starts >= 32 && bytes < starts * kDenseBytes;
    }

private:
    // A state's row: per byte class the next state's row, or a mark (an odd value); its number follows.
    // Rows hold each other's addresses, so that a step is one load; they are made in blocks that never move.
    using Entry = uintptr_t;
    static constexpr Entry kUnknown = 1, kMatch = 3, kEnd = 5;
    static constexpr size_t kBlockRows = 16;

    void Reset(const TRE_DFA& dfa, int separator);
    // Computes the entry of row r on byte class c and stores it; may drop every state first, moving r.
    void Fill(Entry*& r, uint32_t c);
    // The classes the walks stand in after reading code from state id (the walk starting here included),
    // and whether one of them accepts there.
    bool Step(size_t id, uint32_t code, std::vector<int32_t>& out) const;
    // Whether one of these walks ends at a line tail before the byte next (0 at the end of the text).
    bool EndsMatch(const std::vector<int32_t>& members, int next) const;
    // The row of these members (and pending lead byte), made when new; nullptr when the states are full.
    Entry* Intern(const std::vector<int32_t>& members, unsigned char lead);
    size_t RowSize() const { return Width; }
    Entry* RowOf(size_t id) const { return Blocks[id / kBlockRows].get() + (id % kBlockRows) * RowSize(); }

    uint64_t Serial = 0;  // of the automaton the states belong to; 0 for none
    int Separator = -1;
    const TRE_DFA* Dfa = nullptr;
    size_t Width = 0;  // entries per row: one per byte class, and the state's number
    std::vector<std::unique_ptr<Entry[]>> Blocks;
    std::vector<unsigned char> Lead;  // per state
    std::vector<uint32_t> SetBegin;   // per state, where its members start in Members; one more at the end
    std::vector<int32_t> Members;
    std::unordered_multimap<uint64_t, uint32_t> Index;
    std::vector<int32_t> Scratch;
    int Restarts = 0;
};

}  // namespace regexp
