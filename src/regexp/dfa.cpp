// Subset construction. Sets of NFA states are kept as sorted member lists and registered through a hash;
// they are dropped once the automaton stands. Every step charges the compile budget that the NFA carries.
#include "regexp/dfa.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <unordered_map>

namespace regexp {
namespace {

uint64_t HashMembers(const std::vector<int32_t>& members) {
    uint64_t h = 1469598103934665603ull;
    for (int32_t m : members) {
        h ^= static_cast<uint32_t>(m);
        h *= 1099511628211ull;
    }
    return h ^ members.size();
}

// How common a byte is likely to be in Shift-JIS names and texts (higher is more common): lower-case letters,
// blanks and the lead-byte range (every double-byte character starts there, and many end there) come first.
int ByteRank(unsigned char b) {
    if ((b >= 'a' && b <= 'z') || b == ' ' || b == '.' || IsLeadByte(b)) return 3;
    if ((b >= '0' && b <= '9') || b == '_' || b == '-' || b == '/' || b == '\\') return 2;
    if (b >= 0x20) return 1;
    return 0;
}

// Whether every code of a transition's range puts byte b into the text (as itself, a lead or a trail byte).
bool RangeHasByte(const TRE_DFATransition& t, unsigned char b) {
    if (t.Low == t.High) return t.Low < 256 ? t.Low == b : (t.Low >> 8) == b || (t.Low & 0xFF) == b;
    return t.Low >= 256 && (t.Low >> 8) == (t.High >> 8) && (t.Low >> 8) == b;
}

class Builder {
public:
    Builder(const TRE_NFA& nfa, TRE_DFA& dfa)
        : Nfa(nfa), Dfa(dfa), Budget(nfa.Budget), InSet(nfa.StateCount()) {}

    void Run() {
        std::vector<int32_t> seed{Nfa.EntryState};
        Dfa.InitialState = Register(Close(seed));
        // A move (label low, label high, target) packed so that one integer comparison sorts it.
        using Move = uint64_t;
        const auto low = [](Move m) { return static_cast<CharCode>(m >> 48); };
        const auto high = [](Move m) { return static_cast<CharCode>(m >> 32); };
        const auto label = [](Move m) { return m >> 32; };
        const auto target = [](Move m) { return static_cast<int32_t>(m & 0xFFFFFFFF); };
        std::vector<Move> moves;
        std::vector<int32_t> heads, tails, targets, previous;
        size_t movesLargest = 0, transitionsLargest = 0;
        // States are expanded in creation order; each state's transitions are appended in one run.
        for (size_t s = 0; s < Sets.size(); ++s) {
            moves.clear();
            heads.clear();
            tails.clear();
            for (int32_t m : Sets[s]) {
                Budget.Spend(1 + static_cast<uint64_t>(Nfa.End(m) - Nfa.EmptyEnd(m)));
                for (auto t = Nfa.EmptyEnd(m); t != Nfa.End(m); ++t) {
                    switch (t->Kind) {
                        case lkChar:
                            moves.push_back(static_cast<uint64_t>(t->Low) << 48 |
                                            static_cast<uint64_t>(t->High) << 32 |
                                            static_cast<uint32_t>(t->Target));
                            break;
                        case lkLineHead: heads.push_back(t->Target); break;
                        case lkLineTail: tails.push_back(t->Target); break;
                        case lkEmpty: break;
                    }
                }
            }
            Budget.KeepGrowth(movesLargest, moves.size() + heads.size() + tails.size(), sizeof(Move));
            Budget.SpendSort(moves.size());
            std::sort(moves.begin(), moves.end());
            const auto begin = static_cast<uint32_t>(Dfa.Transitions.size());
            previous.clear();
            int32_t previousTarget = -1;
            for (size_t i = 0; i < moves.size();) {
                size_t j = i;
                targets.clear();
                while (j < moves.size() && label(moves[j]) == label(moves[i])) {
                    if (targets.empty() || targets.back() != target(moves[j]))
                        targets.push_back(target(moves[j]));
                    ++j;
                }
                // Neighbouring labels often lead to the same NFA states (the pieces of a split "."): one
                // closure and one registration serve them all.
                Budget.Spend(targets.size());
                if (targets != previous) {
                    previousTarget = Register(Close(targets));
                    previous.swap(targets);
                }
                Budget.KeepGrowth(transitionsLargest, Dfa.Transitions.size() + 1, sizeof(TRE_DFATransition));
                Dfa.Transitions.push_back({low(moves[i]), high(moves[i]), previousTarget});
                i = j;
            }
            TRE_DFAState& state = Dfa.StateList[s];
            state.TransBegin = begin;
            state.TransEnd = static_cast<uint32_t>(Dfa.Transitions.size());
            const int32_t head = heads.empty() ? -1 : Register(Close(heads));
            const int32_t tail = tails.empty() ? -1 : Register(Close(tails));
            Dfa.StateList[s].HeadTarget = head;
            Dfa.StateList[s].TailTarget = tail;
        }
    }

private:
    // The empty closure of the seeds, as a sorted member list (in a buffer reused from call to call). Only
    // the members' empty transitions are looked at (they come first), and each is charged.
    const std::vector<int32_t>& Close(const std::vector<int32_t>& seeds) {
        std::vector<int32_t>& members = Members;
        std::vector<int32_t>& stack = Stack;
        members.clear();
        for (int32_t s : seeds) {
            if (!InSet.Has(s)) {
                InSet.Include(s);
                members.push_back(s);
                stack.push_back(s);
            }
        }
        Budget.Spend(seeds.size());
        while (!stack.empty()) {
            const int32_t m = stack.back();
            stack.pop_back();
            Budget.Spend(1 + static_cast<uint64_t>(Nfa.EmptyEnd(m) - Nfa.Begin(m)));
            for (auto t = Nfa.Begin(m); t != Nfa.EmptyEnd(m); ++t) {
                if (InSet.Has(t->Target)) continue;
                InSet.Include(t->Target);
                members.push_back(t->Target);
                stack.push_back(t->Target);
            }
        }
        Budget.KeepGrowth(ScratchLargest, members.size(), 2 * sizeof(int32_t));
        Budget.Spend(members.size());
        for (int32_t m : members) InSet.Exclude(m);
        Budget.SpendSort(members.size());
        std::sort(members.begin(), members.end());
        return members;
    }

    int32_t Register(const std::vector<int32_t>& members) {
        Budget.Spend(members.size());
        const uint64_t h = HashMembers(members);
        const auto [first, last] = Index.equal_range(h);
        for (auto it = first; it != last; ++it) {
            Budget.Spend(members.size());
            if (Sets[static_cast<size_t>(it->second)] == members) return it->second;
        }
        if (static_cast<int32_t>(Sets.size()) >= TRE_DFA::kMaxStates) Budget.Fail();
        // The member list with its heap block, its slot in the set list, the index entry and the state record
        // (the lists may hold three times their size while they grow).
        Budget.Keep(members.size() * sizeof(int32_t) + 16 + 3 * sizeof(std::vector<int32_t>) +
                    4 * sizeof(void*) + 32 + 3 * sizeof(TRE_DFAState));
        const auto id = static_cast<int32_t>(Sets.size());
        TRE_DFAState state;
        state.Accepted = std::binary_search(members.begin(), members.end(), Nfa.ExitState);
        Dfa.StateList.push_back(state);
        Sets.push_back(members);
        Index.emplace(h, id);
        return id;
    }

    const TRE_NFA& Nfa;
    TRE_DFA& Dfa;
    TRECompileBudget& Budget;
    TRE_NFAStateSet InSet;
    std::vector<std::vector<int32_t>> Sets;
    std::vector<int32_t> Members;
    std::vector<int32_t> Stack;
    size_t ScratchLargest = 0;
    std::unordered_multimap<uint64_t, int32_t> Index;
};

std::atomic<uint64_t> lastSerial{0};

}  // namespace

TRE_DFA::TRE_DFA(const TRE_NFA& nfa) : Serial(++lastSerial), NFA(&nfa) {}

void TRE_DFA::Run() {
    LHeadFound = NFA->LHeadFound;
    LTailFound = NFA->LTailFound;
    StateList.clear();
    Transitions.clear();
    Builder(*NFA, *this).Run();
    StateList.shrink_to_fit();
    Transitions.shrink_to_fit();
    TRECompileBudget& budget = NFA->Budget;

    // Byte classes: the bytes between two consecutive range bounds below 256 behave alike in every state.
    bool bound[257] = {};
    bound[1] = true;
    budget.Spend(Transitions.size());
    for (const TRE_DFATransition& t : Transitions) {
        if (t.Low < 256) bound[t.Low] = true;
        if (t.High < 256) bound[t.High + 1] = true;
    }
    uint32_t cls = 0;
    for (uint32_t b = 1; b < 256; ++b) {
        if (bound[b]) ++cls;
        ByteClass[b] = static_cast<uint8_t>(cls);
    }
    ByteClass[0] = 0;
    ByteClassCount = cls + 1;
    budget.Keep(StateList.size() * ByteClassCount * sizeof(int32_t));
    budget.Spend(StateList.size() * ByteClassCount);
    ByteTable.assign(StateList.size() * ByteClassCount, -1);
    for (size_t s = 0; s < StateList.size(); ++s) {
        TRE_DFAState& state = StateList[s];
        state.WideBegin = state.TransEnd;
        for (uint32_t i = state.TransBegin; i < state.TransEnd; ++i) {
            const TRE_DFATransition& t = Transitions[i];
            if (t.Low < 256) budget.Spend(std::min<uint32_t>(t.High, 255) - t.Low + 1);
            if (t.High > 255 && state.WideBegin == state.TransEnd) state.WideBegin = i;
            for (uint32_t c = std::max<uint32_t>(t.Low, 1); c <= t.High && c < 256; ++c) {
                ByteTable[s * ByteClassCount + ByteClass[c]] = t.Target;
            }
        }
    }
    const TRE_DFAState& initial = StateList[static_cast<size_t>(InitialState)];
    for (uint32_t i = initial.TransBegin; i < initial.TransEnd; ++i) {
        const TRE_DFATransition& t = Transitions[i];
        budget.Spend(1 + (t.High >> 8u) - (std::max<uint32_t>(t.Low, 1) >> 8));
        for (uint32_t b = std::max<uint32_t>(t.Low, 1) >> 8; b <= (t.High >> 8u); ++b) {
            if (b > 0 && IsLeadByte(static_cast<unsigned char>(b))) CanStart[b] = true;
        }
    }
    for (uint32_t b = 1; b < 256; ++b) {
        if (NextState(InitialState, static_cast<CharCode>(b)) >= 0) CanStart[b] = true;
    }
    for (uint32_t b = 1; b < 256; ++b) {
        AnyStart = AnyStart || CanStart[b];
        CommonStart = CommonStart || (CanStart[b] && ByteRank(static_cast<unsigned char>(b)) >= 2);
    }
    budget.Keep(StateList.size());
    StateFlags.assign(StateList.size(), 0);
    for (size_t i = 0; i < StateList.size(); ++i) {
        const TRE_DFAState& state = StateList[i];
        if (state.Accepted) StateFlags[i] |= kAccepts;
        if (state.TailTarget >= 0 && StateList[static_cast<size_t>(state.TailTarget)].Accepted) {
            StateFlags[i] |= kTailAccepts;
        }
    }
    MakeStateClasses(budget);
    MakeScanClasses(budget);
    // Worth it for a small initial state only; each state costs a pass over both states' transitions.
    const TRE_DFAState& start = StateList[static_cast<size_t>(InitialState)];
    if (start.TransEnd - start.TransBegin <= 64 && !start.Accepted && start.TailTarget < 0) {
        for (size_t i = 0; i < StateList.size(); ++i) {
            const TRE_DFAState& state = StateList[i];
            const uint64_t work = ByteClassCount + (start.TransEnd - start.TransBegin) *
                                                       (1 + state.TransEnd - state.TransBegin);
            if (!budget.CanAfford(work, 0)) break;  // the states left keep no flag, which is only slower
            budget.Spend(work);
            if (CoversStart(static_cast<int32_t>(i))) StateFlags[i] |= kCoversStart;
        }
    }
    MakeFilters(budget);
}

bool TRE_DFA::CoversStart(int32_t state) const {
    for (uint32_t k = 1; k < ByteClassCount; ++k) {
        const int32_t from = ByteTable[static_cast<size_t>(InitialState) * ByteClassCount + k];
        const int32_t to = ByteTable[static_cast<size_t>(state) * ByteClassCount + k];
        if (from >= 0 &&
            (to < 0 || StateClass[static_cast<size_t>(from)] != StateClass[static_cast<size_t>(to)])) {
            return false;
        }
    }
    const TRE_DFAState& start = StateList[static_cast<size_t>(InitialState)];
    const TRE_DFAState& other = StateList[static_cast<size_t>(state)];
    for (uint32_t i = start.WideBegin; i < start.TransEnd; ++i) {
        const TRE_DFATransition& t = Transitions[i];
        // Every code of the range, from 256 up, must lead to the same state from the other state.
        uint32_t code = std::max<uint32_t>(t.Low, 256);
        for (uint32_t j = other.WideBegin; j < other.TransEnd && code <= t.High; ++j) {
            const TRE_DFATransition& u = Transitions[j];
            if (u.High < code) continue;
            if (u.Low > code ||
                StateClass[static_cast<size_t>(u.Target)] != StateClass[static_cast<size_t>(t.Target)]) {
                return false;
            }
            code = static_cast<uint32_t>(u.High) + 1;
        }
        if (code <= t.High) return false;
    }
    return true;
}

void TRE_DFA::MakeStateClasses(TRECompileBudget& budget) {
    const size_t n = StateList.size();
    StateClass.resize(n);
    for (size_t i = 0; i < n; ++i) StateClass[i] = static_cast<int32_t>(i);
    // Refinement from the flags: a round splits states whose targets fall in different classes, until a
    // round splits nothing. Within a few rounds and a fixed part of the budget (a long chain of states would
    // take as many rounds as it is long), else every state stays its own class.
    constexpr uint64_t kMaxRefineWork = 2'000'000;
    constexpr int kMaxRounds = 8;
    uint64_t log = 1;
    while ((uint64_t{1} << log) < n) ++log;
    const uint64_t round = (n * ByteClassCount + Transitions.size() + n) * log;
    // One round's signatures at a time, in the map and the two class lists.
    const uint64_t bytes = (n * (1 + ByteClassCount) + 2 * Transitions.size()) * sizeof(int64_t) +
                           n * (sizeof(std::vector<int64_t>) + 64 + 2 * sizeof(int32_t));
    if (round * kMaxRounds > kMaxRefineWork || !budget.CanAfford(round * kMaxRounds, bytes)) return;
    budget.Keep(bytes);
    std::vector<int32_t> cls(n), next(n);
    for (size_t i = 0; i < n; ++i) cls[i] = StateFlags[i] & (kAccepts | kTailAccepts);
    size_t count = 0;
    std::map<std::vector<int64_t>, int32_t> ids;
    std::vector<int64_t> signature;
    for (int rounds = 0;; ++rounds) {
        if (rounds == kMaxRounds) return;
        budget.Spend(round);
        ids.clear();
        for (size_t i = 0; i < n; ++i) {
            signature.assign(1, cls[i]);
            const auto classOf = [&](int32_t target) {
                return target < 0 ? -1 : cls[static_cast<size_t>(target)];
            };
            for (uint32_t k = 1; k < ByteClassCount; ++k)
                signature.push_back(classOf(ByteTable[i * ByteClassCount + k]));
            const TRE_DFAState& state = StateList[i];
            for (uint32_t t = state.WideBegin; t < state.TransEnd; ++t) {
                signature.push_back(static_cast<int64_t>(Transitions[t].Low) << 16 | Transitions[t].High);
                signature.push_back(classOf(Transitions[t].Target));
            }
            next[i] = ids.emplace(signature, static_cast<int32_t>(ids.size())).first->second;
        }
        const bool stable = ids.size() == count;
        count = ids.size();
        cls.swap(next);
        if (stable) break;
    }
    // Name each class by its first state.
    std::vector<int32_t> first(count, -1);
    for (size_t i = 0; i < n; ++i) {
        int32_t& f = first[static_cast<size_t>(cls[i])];
        if (f < 0) f = static_cast<int32_t>(i);
        StateClass[i] = f;
    }
}

void TRE_DFA::MakeScanClasses(TRECompileBudget& budget) {
    // The bounds of the ranges above the single-byte codes cut the double-byte codes into intervals whose
    // codes no transition tells apart.
    std::vector<uint32_t> bounds;
    size_t wide = 0;
    budget.Spend(2 * Transitions.size());
    for (const TRE_DFATransition& t : Transitions) wide += t.High >= 256;
    budget.Keep(2 * wide * sizeof(uint32_t));
    bounds.reserve(2 * wide);
    for (const TRE_DFATransition& t : Transitions) {
        if (t.High < 256) continue;
        bounds.push_back(std::max<uint32_t>(t.Low, 256));
        bounds.push_back(static_cast<uint32_t>(t.High) + 1);
    }
    budget.SpendSort(bounds.size());
    std::sort(bounds.begin(), bounds.end());
    bounds.erase(std::unique(bounds.begin(), bounds.end()), bounds.end());
    const auto interval = [&](uint32_t code) {
        return static_cast<int32_t>(std::upper_bound(bounds.begin(), bounds.end(), code) - bounds.begin());
    };
    // A lead byte whose codes all fall in one interval is told apart only by that interval; the others,
    // and the trail bytes after them, one by one.
    std::vector<unsigned char> split;
    int32_t leadKey[256] = {};
    for (uint32_t b = 0x81; b <= 0xFC; ++b) {
        if (!IsLeadByte(static_cast<unsigned char>(b))) continue;
        const uint32_t first = b << 8, last = first | 0xFF;
        const bool uniform = interval(first) == interval(last);
        leadKey[b] = uniform ? interval(first) : -static_cast<int32_t>(b);
        if (!uniform) split.push_back(static_cast<unsigned char>(b));
    }
    // Each byte's signature: its single-byte class, its mark (end, CR, LF), its lead key, and its interval
    // after each split lead.
    budget.Spend(256 * (4 + split.size()) * 8);
    budget.Keep(256 * ((3 + split.size()) * sizeof(int32_t) + sizeof(std::vector<int32_t>) + 64));
    std::map<std::vector<int32_t>, uint8_t> ids;
    std::vector<int32_t> signature;
    ScanClassCount = 0;
    for (uint32_t b = 0; b < 256; ++b) {
        const auto byte = static_cast<unsigned char>(b);
        const int32_t mark = b == 0 ? 1 : b == 13 ? 2 : b == 10 ? 3 : 0;
        signature.assign({ByteClass[b], mark, IsLeadByte(byte) ? leadKey[b] : 1 << 30});
        for (const unsigned char lead : split)
            signature.push_back(interval(static_cast<uint32_t>(lead) << 8 | b));
        const auto [it, made] = ids.emplace(signature, static_cast<uint8_t>(ScanClassCount));
        if (made) ScanClassByte[ScanClassCount++] = byte;
        ScanClass[b] = it->second;
    }
}

void TRE_DFA::MakeFilters(TRECompileBudget& budget) {
    constexpr size_t kMaxPrefix = 32;
    Prefix.clear();
    PrefixScanOffset = 0;
    RequiredBytes.clear();
    // The prefix: single-code steps from the initial state through states that neither accept nor branch.
    int32_t s = InitialState;
    while (Prefix.size() < kMaxPrefix) {
        const TRE_DFAState& state = StateList[static_cast<size_t>(s)];
        if (state.Accepted || state.HeadTarget >= 0 || state.TailTarget >= 0) break;
        if (state.TransEnd - state.TransBegin != 1) break;
        const TRE_DFATransition& t = Transitions[state.TransBegin];
        if (t.Low != t.High || t.Low == 0) break;
        if (t.Low < 256) {
            Prefix += static_cast<char>(t.Low);
        } else if (IsLeadByte(static_cast<unsigned char>(t.Low >> 8)) && (t.Low & 0xFF) != 0) {
            Prefix += static_cast<char>(t.Low >> 8);
            Prefix += static_cast<char>(t.Low & 0xFF);
        } else {
            break;  // no text holds this code
        }
        s = t.Target;
    }
    int best = 4;
    for (size_t i = 0; i < Prefix.size(); ++i) {
        const int rank = ByteRank(static_cast<unsigned char>(Prefix[i]));
        if (rank < best) {
            best = rank;
            PrefixScanOffset = static_cast<uint32_t>(i);
        }
    }
    if (!Prefix.empty() || StateList[static_cast<size_t>(InitialState)].Accepted) return;

    // The required bytes: those whose transitions, taken away, leave no accepting state reachable. Only
    // tried on small automata; every candidate costs one walk over all of it.
    constexpr size_t kMaxFilterSize = 1024;
    constexpr size_t kMaxRequired = 8;
    if (StateList.size() + Transitions.size() > kMaxFilterSize || !budget.CanAfford(256 * kMaxFilterSize, 0))
        return;
    bool candidate[256] = {};
    for (const TRE_DFATransition& t : Transitions) {
        if (t.Low == t.High) {
            if (t.Low < 256)
                candidate[t.Low] = true;
            else
                candidate[t.Low >> 8] = candidate[t.Low & 0xFF] = true;
        } else if (t.Low >= 256 && (t.Low >> 8) == (t.High >> 8)) {
            candidate[t.Low >> 8] = true;
        }
    }
    std::vector<uint8_t> seen(StateList.size());
    std::vector<int32_t> stack;
    std::vector<std::pair<int, unsigned char>> required;
    for (uint32_t b = 1; b < 256; ++b) {
        if (!candidate[b]) continue;
        budget.Spend(StateList.size() + Transitions.size());
        std::fill(seen.begin(), seen.end(), 0);
        stack.assign(1, InitialState);
        seen[static_cast<size_t>(InitialState)] = 1;
        bool reaches = false;
        while (!stack.empty() && !reaches) {
            const TRE_DFAState& state = StateList[static_cast<size_t>(stack.back())];
            stack.pop_back();
            if (state.Accepted) reaches = true;
            const auto visit = [&](int32_t target) {
                if (target >= 0 && !seen[static_cast<size_t>(target)]) {
                    seen[static_cast<size_t>(target)] = 1;
                    stack.push_back(target);
                }
            };
            visit(state.HeadTarget);
            visit(state.TailTarget);
            for (uint32_t i = state.TransBegin; i < state.TransEnd; ++i) {
                if (!RangeHasByte(Transitions[i], static_cast<unsigned char>(b)))
                    visit(Transitions[i].Target);
            }
        }
        if (!reaches)
            required.emplace_back(ByteRank(static_cast<unsigned char>(b)), static_cast<unsigned char>(b));
    }
    std::stable_sort(required.begin(), required.end(),
                     [](const auto& x, const auto& y) { return x.first < y.first; });
    for (size_t i = 0; i < required.size() && i < kMaxRequired; ++i)
        RequiredBytes += static_cast<char>(required[i].second);
}

size_t TRE_DFA::HeldBytes() const {
    return sizeof(TRE_DFA) + StateList.capacity() * sizeof(TRE_DFAState) +
           Transitions.capacity() * sizeof(TRE_DFATransition) + ByteTable.capacity() * sizeof(int32_t) +
           StateFlags.capacity() + StateClass.capacity() * sizeof(int32_t) + Prefix.capacity() +
           RequiredBytes.capacity();
}

}  // namespace regexp
