// The matching walks over the compiled automaton. No walk backtracks, none takes a transition on the
// terminator, and none reads past it. Before walking, a start-position filter skips to where a match can
// begin (the automaton's literal prefix found with a byte scan, else the bytes that can start a match), and a
// memo stops a walk where an earlier failed walk already stood in the same state.
#include "regexp/match_core.h"

#include <cstring>
#include <iterator>

namespace regexp {

// The start positions worth a walk, in ascending order, each on a character boundary. A candidate byte
// found by a fast scan may be a trail byte: it counts only when an even run of lead-range bytes stands
// between it and the last position known to start a character (a byte outside that range always ends one).
// Every scan stops at the terminator.
class TMatchCORE::Candidates {
public:
    Candidates(const TRE_DFA& dfa, const char* text) : Dfa(dfa), Known(text), From(text) {
        const TRE_DFAState& initial = dfa.StateList[static_cast<size_t>(dfa.InitialState)];
        if (!dfa.Prefix.empty()) {
            Mode = kPrefix;
        } else if (!initial.Accepted && initial.TailTarget < 0 && initial.HeadTarget < 0) {
            Mode = kStartBytes;
        }
    }

    // Whether no match can exist anywhere in the text: it lacks a byte that every match holds.
    bool Hopeless(const char* text) const {
        for (const char b : Dfa.RequiredBytes) {
            if (std::strchr(text, b) == nullptr) return true;
        }
        return false;
    }

    // The next start position after the last one given (the first call gives the first), or nullptr.
    const char* Next() {
        for (;;) {
            const char* c = Mode == kPrefix ? FindPrefix() : FindStartByte();
            if (c == nullptr || AtBoundary(c)) return c;
        }
    }
    // The search begins at c, a character boundary.
    void StartAt(const char* c) { Known = From = c; }
    // Called after a failed walk from c: the search goes on after it.
    void Skip(const char* c) {
        Known = c;
        From = c + 1;
    }
    // Where the search stands, and the first character boundary after the last start ruled out: every
    // start before that boundary has been tried or ruled out.
    const char* Position() const { return From; }
    const char* NextBoundary() const {
        if (*Known == 0) return Known;
        return Known + (IsLeadByte(static_cast<unsigned char>(*Known)) && Known[1] != 0 ? 2 : 1);
    }
    // Without a filter (the initial state accepts, or has an anchor) every character boundary is a candidate.
    bool Filtered() const { return Mode != kEvery; }

private:
    enum { kEvery, kPrefix, kStartBytes } Mode = kEvery;

    bool AtBoundary(const char* c) {
        const char* q = c;
        while (q > Known && IsLeadByte(static_cast<unsigned char>(q[-1]))) --q;
        if (((c - q) & 1) != 0) {
            // c is the trail byte of the character that starts at c - 1.
            Known = c - 1;
            From = c + 1;
            return false;
        }
        Known = c;
        return true;
    }

    const char* FindPrefix() {
        const std::string& prefix = Dfa.Prefix;
        const size_t k = Dfa.PrefixScanOffset;
        // The prefix bytes before k are not 0, so the text does not end before From + k.
        for (size_t i = 0; i < k; ++i) {
            if (From[i] == 0) return nullptr;
        }
        for (const char* s = From + k;;) {
            const char* hit = std::strchr(s, prefix[k]);
            if (hit == nullptr) return nullptr;
            const char* c = hit - k;
            if (std::strncmp(c, prefix.data(), prefix.size()) == 0) {
                From = c;
                return c;
            }
            s = hit + 1;
        }
    }

    const char* FindStartByte() {
        const char* p = From;
        while (*p != 0 && !Dfa.CanStart[static_cast<unsigned char>(*p)]) ++p;
        From = p;
        return *p != 0 ? p : nullptr;
    }

    const TRE_DFA& Dfa;
    const char* Known;  // a character boundary at or before every candidate still to come
    const char* From;   // where the search goes on
};

// Where the start scan suits the automaton: whether it or the per-start walks search for starts. A call
// begins with the walks and switches to the scan once its own walks turn out dense (on a long text: a name
// is over before that).
class TMatchCORE::ScanChoice {
public:
    ScanChoice(const TMatchCORE& matcher, const TRE_DFA& dfa, const char* text, int separator)
        : Matcher(matcher),
          Dfa(dfa),
          Text(text),
          Separator(separator),
          Mode(matcher.StartSearch),
          Open(Mode != TStartSearch::Walks && TREStartScan::Suits(dfa)) {}

    // Before the first walk. False when the scan ran and found that the text holds no match.
    bool Begin(Candidates& candidates) {
        return !Open || Mode != TStartSearch::Scan || RunScan(candidates, Text);
    }
    // After a walk failed and the candidates moved on. False when the scan took over and found no match.
    bool AfterFailedWalk(Candidates& candidates) {
        if (!Open) return true;
        ++Starts;
        if ((Starts & 31) != 0 ||
            !TREStartScan::Dense(Starts, static_cast<uint64_t>(candidates.Position() - Text)))
            return true;
        return RunScan(candidates, candidates.NextBoundary());
    }

private:
    bool RunScan(Candidates& candidates, const char* from) {
        Open = false;  // the walks that follow start close to the match
        const char* start = Matcher.StartScanFor(Dfa).Run(Dfa, from, Separator);
        if (start == nullptr) return false;
        candidates.StartAt(start);
        return true;
    }

    const TMatchCORE& Matcher;
    const TRE_DFA& Dfa;
    const char* Text;
    int Separator;
    TStartSearch Mode;
    bool Open;
    uint64_t Starts = 0;
};

// The automaton's tables held in locals: the memo's stores could otherwise alias them, and every step would
// load them again.
class TMatchCORE::Steps {
public:
    explicit Steps(const TRE_DFA& dfa)
        : Dfa(dfa),
          Flags(dfa.StateFlags.data()),
          StateClass(dfa.StateClass.data()),
          Table(dfa.ByteTable.data()),
          Class(dfa.ByteClass),
          Count(dfa.ByteClassCount) {}
    uint8_t FlagsOf(int32_t state) const { return Flags[state]; }
    int32_t ClassOf(int32_t state) const { return StateClass[state]; }
    int32_t Next(int32_t state, CharCode c) const {
        if (c < 256) return Table[static_cast<size_t>(state) * Count + Class[c]];
        return Dfa.NextState(state, c);
    }

private:
    const TRE_DFA& Dfa;
    const uint8_t* Flags;
    const int32_t* StateClass;
    const int32_t* Table;
    const uint8_t* Class;
    size_t Count;
};

// Where earlier walks of one match call stood, with their states. Every walk that goes on to a later start
// has failed, and the automaton is deterministic: a walk that reaches the state an earlier one had at the
// same position fails from there on too, so it stops. Direct-mapped over positions, which keeps the last
// ones: walks from neighbouring starts meet close to where they began. The table belongs to the matcher
// and each call takes a new stamp, so no call pays for clearing it.
class TMatchCORE::WalkMemo {
public:
    WalkMemo(TMatchCORE::MemoTable& table, const char* base) : Table(table), Base(base) {
        if (++Table.Stamp == 0) {
            for (auto& e : Table.Entries) e.Key = 0;
            Table.Stamp = 1;
        }
        Stamp = static_cast<uint64_t>(Table.Stamp) << 32;
    }

    // Whether an earlier walk stood at p in a state that covers the initial state's moves: a walk starting
    // at p then fails as that one did.
    bool Covered(const char* p, const Steps& steps) const {
        const auto offset = static_cast<uint32_t>(p - Base);
        const auto& e = Table.Entries[offset % std::size(Table.Entries)];
        return e.Key == (Stamp | offset) && (steps.FlagsOf(e.State) & TRE_DFA::kCoversStart) != 0;
    }

    // Whether an earlier walk stood at p in a state of this class; records this walk there otherwise.
    bool Seen(const char* p, int32_t state) {
        const auto offset = static_cast<uint32_t>(p - Base);
        const uint64_t key = Stamp | offset;
        auto& e = Table.Entries[offset % std::size(Table.Entries)];
        if (e.Key == key && e.State == state) return true;
        e.Key = key;
        e.State = state;
        return false;
    }

private:
    TMatchCORE::MemoTable& Table;
    const char* Base;
    uint64_t Stamp;
};

TREStartScan& TMatchCORE::StartScanFor(const TRE_DFA& dfa) const {
    TREStartScan* oldest = &StartScans[0];
    for (TREStartScan& scan : StartScans) {
        if (scan.BelongsTo(dfa)) {
            oldest = &scan;
            break;
        }
        if (scan.LastUse < oldest->LastUse) oldest = &scan;
    }
    if (!oldest->BelongsTo(dfa)) oldest->Claim(dfa);
    oldest->LastUse = ++StartScanUses;
    return *oldest;
}

bool TMatchCORE::MatchStd(const char* text, const char*& start, const char*& end) const {
    const TRE_DFA& dfa = CurrentDFA();
    start = end = nullptr;
    if (dfa.StateList[static_cast<size_t>(dfa.InitialState)].Accepted) {
        // The first position matches; only its length is left to find.
        start = end = text;
    } else {
        Candidates candidates(dfa, text);
        if (candidates.Hopeless(text)) return false;
        ScanChoice choice(*this, dfa, text, -1);
        if (!choice.Begin(candidates)) return false;
        WalkMemo memo(Memo, text);
        const Steps steps(dfa);
        while (const char* p = candidates.Next()) {
            if (memo.Covered(p, steps)) {
                candidates.Skip(p);
                if (!choice.AfterFailedWalk(candidates)) return false;
                continue;
            }
            int32_t state = dfa.InitialState;
            const char* q = p;
            // The last position of an unbroken run, from the start on, where the walk stood in states that
            // cover the start: once the walk fails, no start up to there can succeed.
            const char* covered = p;
            for (const char* last = p; state >= 0 && !memo.Seen(q, steps.ClassOf(state));) {
                const uint8_t flags = steps.FlagsOf(state);
                if (flags & TRE_DFA::kAccepts) {
                    start = p;
                    end = q;
                }
                if (covered == last && q != p && *q != 0 && (flags & TRE_DFA::kCoversStart)) covered = q;
                last = q;
                state = steps.Next(state, ReadTextChar(q));
            }
            if (start != nullptr) return true;
            candidates.Skip(covered);
            if (!choice.AfterFailedWalk(candidates)) return false;
        }
        return false;
    }
    int32_t state = dfa.InitialState;
    for (const char* q = text; state >= 0;) {
        if (dfa.StateList[static_cast<size_t>(state)].Accepted) end = q;
        state = dfa.NextState(state, ReadTextChar(q));
    }
    return true;
}

bool TMatchCORE::AtLineTail(const TRE_DFA& dfa, int32_t state, const char* p) const {
    const int32_t tail = dfa.StateList[static_cast<size_t>(state)].TailTarget;
    if (tail < 0 || !dfa.StateList[static_cast<size_t>(tail)].Accepted) return false;
    const char* q = p;
    const CharCode c = ReadTextChar(q);
    return c == 0 || IsLineSeparator(c);
}

const char* TMatchCORE::Walk(const TRE_DFA& dfa, const char* p, int32_t state, WalkMemo& memo,
                             const char** covered) const {
    if (state < 0) return nullptr;
    const Steps steps(dfa);
    const char* result = nullptr;
    if (covered != nullptr) *covered = p;
    // Where a walk begins, no earlier one stood in the same state (short of a loop back to the start).
    for (const char* begin = p, *last = p;;) {
        if (p != begin && memo.Seen(p, steps.ClassOf(state))) return result;
        const char* q = p;
        const CharCode c = ReadTextChar(q);
        // Every position is a candidate end: where the state accepts, or where a line tail stands and the
        // state may take it (not only where the walk fails).
        const uint8_t flags = steps.FlagsOf(state);
        if ((flags & TRE_DFA::kAccepts) ||
            ((flags & TRE_DFA::kTailAccepts) && (c == 0 || IsLineSeparator(c)))) {
            result = p;
        }
        if (covered != nullptr && *covered == last && p != begin && c != 0 && (flags & TRE_DFA::kCoversStart)) {
            *covered = p;
        }
        const int32_t next = steps.Next(state, c);
        if (next < 0) return result;
        state = next;
        last = p;
        p = q;
    }
}

const char* TMatchCORE::MatchHead(const TRE_DFA& dfa, const char* p, WalkMemo& memo) const {
    if (!dfa.LHeadFound) return Walk(dfa, p, dfa.InitialState, memo);
    const char* a = Walk(dfa, p, dfa.StateList[static_cast<size_t>(dfa.InitialState)].HeadTarget, memo);
    const char* b = Walk(dfa, p, dfa.InitialState, memo);
    // Without the head branch the plain one still counts: at the end of the text no later scan tries it.
    if (a == nullptr) return b;
    return (b != nullptr && b >= a) ? b : a;
}

void TMatchCORE::MatchEXScan(const TRE_DFA& dfa, const char* text, const char*& start, const char*& end,
                             WalkMemo& memo) const {
    start = end = nullptr;
    const char* p = text;
    // Without "^" the walk at the text start has just failed in MatchEX.
    if (!dfa.LHeadFound && *p != 0) ReadTextChar(p);
    // Without acceptance or a line tail in the initial state, a plain walk can only succeed where the first
    // byte has a transition; when no byte has one, only the line heads are left to try.
    const TRE_DFAState& initial = dfa.StateList[static_cast<size_t>(dfa.InitialState)];
    const bool filter = !initial.Accepted && initial.TailTarget < 0;
    const bool headsOnly = filter && dfa.LHeadFound && !dfa.AnyStart;
    while (*p != 0) {
        if (headsOnly) {
            const char* lf = std::strchr(p, '\n');
            if (lf == nullptr) {
                p += std::strlen(p);
                break;
            }
            // An LF right after a lead byte is that byte's trail: an odd run of lead-range bytes before it.
            const char* q = lf;
            while (q > p && IsLeadByte(static_cast<unsigned char>(q[-1]))) --q;
            if (((lf - q) & 1) != 0) {
                p = lf + 1;
                continue;
            }
            p = lf;
        } else if (!filter || dfa.CanStart[static_cast<unsigned char>(*p)]) {
            if (const char* e = Walk(dfa, p, dfa.InitialState, memo)) {
                start = p;
                end = e;
                return;
            }
        }
        if (*p == '\n' && dfa.LHeadFound) {
            if (const char* e = MatchHead(dfa, p + 1, memo)) {
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
    start = end = nullptr;
    Candidates candidates(dfa, text);
    if (candidates.Hopeless(text)) return false;
    WalkMemo memo(Memo, text);
    if (!dfa.LHeadFound && candidates.Filtered()) {
        // Only plain walks, from the positions the filter lets through; a filtered initial state has no line
        // tail, so no empty match waits at the end either.
        ScanChoice choice(*this, dfa, text, SeparatorByte());
        if (!choice.Begin(candidates)) return false;
        const Steps steps(dfa);
        while (const char* c = candidates.Next()) {
            // A failed walk tells how far no start can succeed (see MatchStd).
            const char* covered = c;
            if (!memo.Covered(c, steps)) {
                if (const char* e = Walk(dfa, c, dfa.InitialState, memo, &covered)) {
                    start = c;
                    end = e;
                    return true;
                }
            }
            candidates.Skip(covered);
            if (!choice.AfterFailedWalk(candidates)) return false;
        }
        return false;
    }
    start = text;
    end = MatchHead(dfa, text, memo);
    if (end == nullptr) MatchEXScan(dfa, text, start, end, memo);
    return start != nullptr;
}

}  // namespace regexp
