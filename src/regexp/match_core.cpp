// The matching walks over the compiled automaton. No walk backtracks, none takes a transition on the
// terminator, and none reads past it.
#include "regexp/match_core.h"

namespace regexp {

bool TMatchCORE::MatchStd(const char* text, const char*& start, const char*& end) const {
    const TRE_DFA& dfa = CurrentDFA();
    start = end = nullptr;
    if (*text == 0) {
        if (dfa.StateList[dfa.InitialState].Accepted) start = end = text;
        return start != nullptr;
    }
    // The initial state does not accept here (else the first position matched), so a position can only start
    // a match when its first byte can.
    const bool filter = !dfa.StateList[static_cast<size_t>(dfa.InitialState)].Accepted;
    for (const char* p = text; *p != 0;) {
        if (filter && !dfa.CanStart[static_cast<unsigned char>(*p)]) {
            ReadTextChar(p);
            continue;
        }
        int32_t state = dfa.InitialState;
        const char* q = p;
        while (state >= 0) {
            if (dfa.StateList[static_cast<size_t>(state)].Accepted) {
                start = p;
                end = q;
            }
            state = dfa.NextState(state, ReadTextChar(q));
        }
        if (start != nullptr) return true;
        ReadTextChar(p);
    }
    return false;
}

bool TMatchCORE::AtLineTail(const TRE_DFA& dfa, int32_t state, const char* p) const {
    const int32_t tail = dfa.StateList[static_cast<size_t>(state)].TailTarget;
    if (tail < 0 || !dfa.StateList[static_cast<size_t>(tail)].Accepted) return false;
    const char* q = p;
    const CharCode c = ReadTextChar(q);
    return c == 0 || IsLineSeparator(c);
}

const char* TMatchCORE::Walk(const TRE_DFA& dfa, const char* p, int32_t state) const {
    if (state < 0) return nullptr;
    const char* result = nullptr;
    for (;;) {
        const char* q = p;
        const CharCode c = ReadTextChar(q);
        // Every position is a candidate end: where the state accepts, or where a line tail stands and the
        // state may take it (not only where the walk fails).
        const TRE_DFAState& s = dfa.StateList[static_cast<size_t>(state)];
        if (s.Accepted || (s.TailTarget >= 0 && (c == 0 || IsLineSeparator(c)) &&
                           dfa.StateList[static_cast<size_t>(s.TailTarget)].Accepted)) {
            result = p;
        }
        const int32_t next = dfa.NextState(state, c);
        if (next < 0) return result;
        state = next;
        p = q;
    }
}

const char* TMatchCORE::MatchHead(const TRE_DFA& dfa, const char* p) const {
    if (!dfa.LHeadFound) return Walk(dfa, p, dfa.InitialState);
    const char* a = Walk(dfa, p, dfa.StateList[static_cast<size_t>(dfa.InitialState)].HeadTarget);
    const char* b = Walk(dfa, p, dfa.InitialState);
    // Without the head branch the plain one still counts: at the end of the text no later scan tries it.
    if (a == nullptr) return b;
    return (b != nullptr && b >= a) ? b : a;
}

void TMatchCORE::MatchEXScan(const TRE_DFA& dfa, const char* text, const char*& start, const char*& end) const {
    start = end = nullptr;
    const TRE_DFAState& initial = dfa.StateList[static_cast<size_t>(dfa.InitialState)];
    // Without acceptance or a line tail in the initial state, a walk can only succeed where the first byte
    // has a transition.
    const bool filter = !initial.Accepted && initial.TailTarget < 0;
    const char* p = text;
    // Without "^" the walk at the text start has just failed in MatchEX.
    if (!dfa.LHeadFound && *p != 0) ReadTextChar(p);
    while (*p != 0) {
        if (!filter || dfa.CanStart[static_cast<unsigned char>(*p)]) {
            if (const char* e = Walk(dfa, p, dfa.InitialState)) {
                start = p;
                end = e;
                return;
            }
        }
        if (*p == '\n' && dfa.LHeadFound) {
            if (const char* e = MatchHead(dfa, p + 1)) {
                start = p + 1;
                end = e;
                return;
            }
        }
        ReadTextChar(p);
    }
    if (dfa.LTailFound && AtLineTail(dfa, dfa.InitialState, p)) start = end = p;
}

bool TMatchCORE::MatchEX(const char* text, const char*& start, const char*& end) const {
    const TRE_DFA& dfa = CurrentDFA();
    const TRE_DFAState& initial = dfa.StateList[static_cast<size_t>(dfa.InitialState)];
    start = text;
    // The same first-byte filter as in the scan: a plain walk that cannot even start is not run.
    const bool hopeless = !dfa.LHeadFound && !initial.Accepted && initial.TailTarget < 0 &&
                          !dfa.CanStart[static_cast<unsigned char>(*text)];
    end = hopeless ? nullptr : MatchHead(dfa, text);
    if (end == nullptr) MatchEXScan(dfa, text, start, end);
    return start != nullptr;
}

}  // namespace regexp
