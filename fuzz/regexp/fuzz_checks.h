// Checks shared by the fuzz targets: the compile time against the budget's, and the automaton's ranges.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "hostile_patterns.h"
#include "regexp/awk_str.h"
#include "regexp/dfa.h"

namespace regexp_fuzz {

inline double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The budget's time in this build: sanitizers and coverage make every step several times slower than in
// the builds the budget is set for, so the limit is measured here, on hostile patterns that spend the whole
// budget (its work, its memory), with a margin for a busy machine. An input whose compile takes longer
// does work the budget does not charge.
inline double CompileTimeLimit() {
    static const double limit = [] {
        std::vector<std::string> references;
        for (const auto& [label, pattern] : regexp_test::HostilePatterns()) references.push_back(pattern);
        double slowest = 0;
        for (const std::string& pattern : references) {
            double best = 1e300;
            for (int run = 0; run < 3; ++run) {
                const auto start = std::chrono::steady_clock::now();
                try {
                    regexp::TAWKStr awk;
                    awk.SetRegExp(pattern);
                } catch (const regexp::ERegExpParser&) {
                }
                best = std::min(best, SecondsSince(start));
            }
            slowest = std::max(slowest, best);
        }
        fprintf(stderr, "compile time limit: %.0f ms (twice the slowest hostile pattern's)\n", 2e3 * slowest);
        return 2 * slowest;
    }();
    return limit;
}

// Times one compile (whatever it throws is passed on); an input over the limit fails the run.
template <typename Fn>
void WithinCompileTime(Fn&& compile) {
    const double limit = CompileTimeLimit();
    const auto start = std::chrono::steady_clock::now();
    const auto check = [&] {
        const double seconds = SecondsSince(start);
        if (seconds > limit) {
            fprintf(stderr, "compile took %.0f ms, over the limit of %.0f ms\n", seconds * 1e3, limit * 1e3);
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
