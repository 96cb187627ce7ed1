// The parse tree of a pattern. Character-range leaves are shared (one per (Low, High) pair) and are made
// pairwise disjoint before the automaton is built, so that transitions can be grouped by label identity.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "regexp/char_code.h"
#include "regexp/compile_budget.h"

namespace regexp {

enum TREOp : uint8_t {
    opCharClass = 0,  // leaf: one character range Low..High
    opLHead = 1,      // "^"; Low = High = its code
    opLTail = 2,      // "$"; Low = High = its code
    opConcat = 3,
    opUnion = 4,
    opClosure = 5,    // Left repeated zero or more times
    opEmpty = 6,      // the empty string
    opNothing = 7,    // matches no string at all (a class that lost every character)
};

// One record for both shapes, so that a leaf can be turned into a union in place.
struct TRENode {
    TREOp Op = opEmpty;
    TRENode* Left = nullptr;
    TRENode* Right = nullptr;
    CharCode Low = 0;
    CharCode High = 0;
};

class TREParseTree {
public:
    TREParseTree() = default;
    TREParseTree(const TREParseTree&) = delete;
    TREParseTree& operator=(const TREParseTree&) = delete;
    virtual ~TREParseTree() = default;

    TRENode* MakeInternalNode(TREOp op, TRENode* left, TRENode* right);
    // The leaf for the range, shared; the range is clamped below the reserved codes, and a range that lies
    // wholly above them gives a node that matches nothing.
    TRENode* MakeLeaf(CharCode low, CharCode high);
    // nullptr when high < low (bounds outside 0..0xFFFF come in as such an empty pair).
    TRENode* MakeLeafIfValid(int32_t low, int32_t high);
    TRENode* MakeLHeadNode(CharCode code);
    TRENode* MakeLTailNode(CharCode code);
    virtual TRENode* MakeAnyCharsNode();
    void ChangeToUnion(TRENode* leaf, TRENode* left, TRENode* right);
    void ForceCharClassUnique();
    void DisposeNodes();

    TRENode* Root = nullptr;
    // Every internal, head and tail node, and every character-range leaf. The tree owns them all (they sit in
    // its node blocks, so a long pattern costs few heap blocks).
    std::vector<TRENode*> NodeList;
    std::vector<TRENode*> LeafList;
    // Charged for every node; the parser points it at the budget of the whole compilation.
    TRECompileBudget* Budget = &OwnBudget;

private:
    static uint32_t Key(CharCode low, CharCode high) { return static_cast<uint32_t>(low) << 16 | high; }
    static constexpr size_t kBlockNodes = 1024;
    // The node record and its slot in a list (three, as a list grows).
    static constexpr size_t kNodeBytes = sizeof(TRENode) + 3 * sizeof(void*);
    // A leaf also has an entry in the leaf index.
    static constexpr size_t kLeafBytes = kNodeBytes + 2 * sizeof(void*) + 16 + 2 * sizeof(void*);
    void ChargeNode(size_t bytes);
    TRENode* NewNode();
    TRENode* MakeAnchorNode(TREOp op, CharCode code);

    std::unordered_map<uint32_t, TRENode*> LeafIndex;
    std::vector<std::unique_ptr<TRENode[]>> Blocks;
    size_t BlockUsed = kBlockNodes;
    TRECompileBudget OwnBudget;
};

}  // namespace regexp
