// Checks shared by the fuzz targets: a compile's work against the budget's, and the automaton's ranges.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

#include "hostile_patterns.h"
#include "regexp/awk_str.h"
#include "regexp/dfa.h"
#include "work_meter.h"

namespace regexp_fuzz {

// The most work one compile may do, counted in the engine's edges (no clock): twice what the heaviest
// hostile pattern takes. Those spend the whole budget, its work or its memory, before they compile or are
// refused, so an input that takes more does work the budget does not charge, or is refused later than the
// budget says. The count is exact, so the check is the same on a busy machine as on an idle one.
inline uint64_t CompileWorkLimit() {
    static const uint64_t limit = [] {
        uint64_t heaviest = 0;
        for (const auto& [label, pattern] : regexp_test::HostilePatterns()) {
            const uint64_t before = EngineEdges();
            try {
                regexp::TAWKStr awk;
                awk.SetRegExp(pattern);
            } catch (const regexp::ERegExpParser&) {
            }
            heaviest = std::max(heaviest, EngineEdges() - before);
        }
        fprintf(stderr, "compile work limit: %llu edges (twice the heaviest hostile pattern's)\n",
                static_cast<unsigned long long>(2 * heaviest));
        return 2 * heaviest;
    }();
    return limit;
}

// Counts the work of one compile (whatever it throws is passed on); an input over the limit fails the run,
// whether it compiled or was refused.
template <typename Fn>
void WithinCompileWork(Fn&& compile) {
    const uint64_t limit = CompileWorkLimit();
    const uint64_t before = EngineEdges();
    const auto check = [&] {
        const uint64_t edges = EngineEdges() - before;
        if (edges > limit) {
            fprintf(stderr, "compile took %llu edges, over the limit of %llu\n",
                    static_cast<unsigned long long>(edges), static_cast<unsigned long long>(limit));
            __builtin_trap();
        }
    };
    try {
        compile();
    } catch (...) {
        check();
        throw;
    }
    check();
}

// Every state's transitions are sorted by range, each range is well formed, and no two overlap; targets and
// the byte table agree with them.
inline void CheckAutomaton(const regexp::TRE_DFA& dfa) {
    const auto states = static_cast<int32_t>(dfa.StateList.size());
    for (int32_t s = 0; s < states; ++s) {
        const regexp::TRE_DFAState& state = dfa.StateList[static_cast<size_t>(s)];
        for (uint32_t i = state.TransBegin; i < state.TransEnd; ++i) {
            const regexp::TRE_DFATransition& t = dfa.Transitions[i];
            if (t.Low > t.High || t.Target < 0 || t.Target >= states) __builtin_trap();
            if (i > state.TransBegin && dfa.Transitions[i - 1].High >= t.Low) __builtin_trap();
            // Code 0 ends the text and leads nowhere, whatever a range holds.
            const regexp::CharCode low = t.Low > 0 ? t.Low : 1;
            if (low <= t.High &&
                (dfa.NextState(s, low) != t.Target || dfa.NextState(s, t.High) != t.Target)) {
                __builtin_trap();
            }
        }
    }
}

}  // namespace regexp_fuzz
