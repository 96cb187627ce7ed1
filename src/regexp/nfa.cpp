// NFA generation from the parse tree (with an explicit work stack, so no pattern can exhaust the call stack),
// deciding on the way which "^" and "$" are anchors.
#include "regexp/nfa.h"

#include <stdexcept>

#include "regexp/errors.h"
#include "regexp/sjis_texts.inc"

namespace regexp {

TRE_NFAStateSet::TRE_NFAStateSet(int32_t stateCount) : Bits(static_cast<size_t>(stateCount) / 8 + 1, 0) {}

int32_t TRE_NFA::NewState() {
    if (States >= kMaxStates) Budget.Fail();
    // Its entry in the state index, the fill index and the closure's bit set.
    Budget.Spend(1);
    Budget.Keep(2 * sizeof(uint32_t) + 1);
    return States++;
}

void TRE_NFA::AddTransition(int32_t from, int32_t to, TRELabelKind kind, CharCode low, CharCode high) {
    Budget.Spend(1);
    // The transition and its owner while generating, then its copy in the grouped list.
    Budget.KeepGrowth(TransitionsLargest, Transitions.size() + 1,
                      sizeof(TRE_NFATransition) + sizeof(int32_t));
    Budget.Keep(sizeof(TRE_NFATransition));
    From.push_back(from);
    Transitions.push_back({kind, low, high, to});
}

void TRE_NFA::Run() {
    States = 0;
    From.clear();
    Transitions.clear();
    LHeadFound = LTailFound = false;
    EntryState = NewState();
    ExitState = NewState();
    GenerateStateList(Parser.Tree.Root, EntryState, ExitState);

    // Group the transitions by state, the empty ones first (the closure looks at those alone); a counting
    // sort keeps each state's own order within both parts.
    Budget.Spend(4 * Transitions.size() + 3 * static_cast<uint64_t>(States));
    Budget.Keep(static_cast<uint64_t>(States) * sizeof(uint32_t));
    StateStart.assign(static_cast<size_t>(States) + 1, 0);
    StateEmptyEnd.assign(static_cast<size_t>(States), 0);
    for (int32_t f : From) ++StateStart[static_cast<size_t>(f) + 1];
    for (size_t i = 1; i < StateStart.size(); ++i) StateStart[i] += StateStart[i - 1];
    std::vector<TRE_NFATransition> sorted(Transitions.size());
    std::vector<uint32_t> fill(StateStart.begin(), StateStart.end() - 1);
    for (size_t i = 0; i < Transitions.size(); ++i) {
        if (Transitions[i].Kind == lkEmpty) sorted[fill[From[i]]++] = Transitions[i];
    }
    for (int32_t st = 0; st < States; ++st) StateEmptyEnd[st] = fill[st];
    for (size_t i = 0; i < Transitions.size(); ++i) {
        if (Transitions[i].Kind != lkEmpty) sorted[fill[From[i]]++] = Transitions[i];
    }
    Transitions.swap(sorted);
    From.clear();
    From.shrink_to_fit();
}

void TRE_NFA::GenerateStateList(const TRENode* root, int32_t a, int32_t b) {
    struct Work {
        const TRENode* Node;
        int32_t A, B;
    };
    std::vector<Work> stack{{root, a, b}};
    size_t stackLargest = 0;
    while (!stack.empty()) {
        // Visits are charged on their own: unions over nothing-nodes add neither states nor transitions.
        Budget.Spend(1);
        Budget.KeepGrowth(stackLargest, stack.size(), sizeof(Work));
        const Work w = stack.back();
        stack.pop_back();
        const TRENode* n = w.Node;
        switch (n->Op) {
            case opCharClass:
                AddTransition(w.A, w.B, lkChar, n->Low, n->High);
                break;
            case opLHead:
            case opLTail: {
                // An anchor only where it can be the very first (head) or very last (tail) step.
                const bool head = n->Op == opLHead;
                if (head ? w.A == EntryState : w.B == ExitState) {
                    (head ? LHeadFound : LTailFound) = true;
                    const CharCode code = head ? LHeadCode : LTailCode;
                    AddTransition(w.A, w.B, head ? lkLineHead : lkLineTail, code, code);
                } else {
                    AddTransition(w.A, w.B, lkChar, n->Low, n->High);
                }
                break;
            }
            case opConcat: {
                const int32_t c = NewState();
                stack.push_back({n->Right, c, w.B});
                stack.push_back({n->Left, w.A, c});
                break;
            }
            case opUnion:
                stack.push_back({n->Right, w.A, w.B});
                stack.push_back({n->Left, w.A, w.B});
                break;
            case opClosure: {
                const int32_t c = NewState();
                const int32_t d = NewState();
                AddTransition(w.A, c, lkEmpty);
                AddTransition(d, c, lkEmpty);
                AddTransition(c, w.B, lkEmpty);
                stack.push_back({n->Left, c, d});
                break;
            }
            case opEmpty:
                AddTransition(w.A, w.B, lkEmpty);
                break;
            case opNothing:
                break;
            default:
                throw std::logic_error("This cannot happen in TRE_NFA.GenerateStateList");
        }
    }
}

}  // namespace regexp
