// Parse-tree nodes, shared leaves and the splitting that makes every pair of leaves disjoint.
#include "regexp/parse_tree.h"

#include <algorithm>
#include <stdexcept>

#include "regexp/errors.h"
#include "regexp/sjis_texts.inc"

namespace regexp {

void TREParseTree::ChargeNode(size_t bytes) {
    Budget->Spend(1);
    Budget->Keep(bytes);
}

TRENode* TREParseTree::NewNode() {
    if (BlockUsed == kBlockNodes) {
        Blocks.push_back(std::make_unique<TRENode[]>(kBlockNodes));
        BlockUsed = 0;
    }
    return &Blocks.back()[BlockUsed++];
}

TRENode* TREParseTree::MakeInternalNode(TREOp op, TRENode* left, TRENode* right) {
    ChargeNode(kNodeBytes);
    TRENode* node = NewNode();
    node->Op = op;
    node->Left = left;
    node->Right = right;
    NodeList.push_back(node);
    return node;
}

TRENode* TREParseTree::MakeLeaf(CharCode low, CharCode high) {
    if (high > kMaxUserCode) high = kMaxUserCode;
    if (low > high) return MakeInternalNode(opNothing, nullptr, nullptr);
    const auto found = LeafIndex.find(Key(low, high));
    Budget->Spend(1);
    if (found != LeafIndex.end()) return found->second;
    ChargeNode(kLeafBytes);
    TRENode* leaf = NewNode();
    leaf->Op = opCharClass;
    leaf->Low = low;
    leaf->High = high;
    LeafList.push_back(leaf);
    LeafIndex.emplace(Key(low, high), leaf);
    return leaf;
}

TRENode* TREParseTree::MakeLeafIfValid(int32_t low, int32_t high) {
    low = std::max(low, 0);
    high = std::min(high, 0xFFFF);
    if (high < low) return nullptr;
    return MakeLeaf(static_cast<CharCode>(low), static_cast<CharCode>(high));
}

TRENode* TREParseTree::MakeAnchorNode(TREOp op, CharCode code) {
    // Where "^" or "$" turns out to be a literal, its leaf must take part in the splitting like any other.
    MakeLeaf(code, code);
    TRENode* node = MakeInternalNode(op, nullptr, nullptr);
    node->Low = node->High = code;
    return node;
}

TRENode* TREParseTree::MakeLHeadNode(CharCode code) { return MakeAnchorNode(opLHead, code); }

TRENode* TREParseTree::MakeLTailNode(CharCode code) { return MakeAnchorNode(opLTail, code); }

TRENode* TREParseTree::MakeAnyCharsNode() {
    return MakeInternalNode(opUnion, MakeInternalNode(opUnion, MakeLeaf(1, 9), MakeLeaf(11, 12)),
                            MakeLeaf(14, 0xFCFC));
}

void TREParseTree::ChangeToUnion(TRENode* leaf, TRENode* left, TRENode* right) {
    if (left == nullptr || right == nullptr) throw std::logic_error(kMsgTreeFatal);
    Budget->Spend(LeafList.size());
    const auto it = std::find(LeafList.begin(), LeafList.end(), leaf);
    if (it == LeafList.end()) throw std::logic_error(kMsgTreeFatal);
    LeafIndex.erase(Key(leaf->Low, leaf->High));
    NodeList.push_back(leaf);
    LeafList.erase(it);
    leaf->Op = opUnion;
    leaf->Left = left;
    leaf->Right = right;
}

void TREParseTree::ForceCharClassUnique() {
    // Every leaf ends up as a union of the elementary intervals between all leaf bounds that it covers; those
    // are exactly the pieces that pairwise splitting would reach, found here in one sweep.
    Budget->Keep(LeafList.size() * 2 * sizeof(uint32_t));
    Budget->SpendSort(LeafList.size() * 2);
    std::vector<uint32_t> bounds;
    bounds.reserve(LeafList.size() * 2);
    for (const auto& leaf : LeafList) {
        bounds.push_back(leaf->Low);
        bounds.push_back(static_cast<uint32_t>(leaf->High) + 1);
    }
    std::sort(bounds.begin(), bounds.end());
    bounds.erase(std::unique(bounds.begin(), bounds.end()), bounds.end());
    const auto indexOf = [&](uint32_t b) {
        return static_cast<size_t>(std::lower_bound(bounds.begin(), bounds.end(), b) - bounds.begin());
    };

    // Two bound lookups per leaf, and the split list.
    Budget->SpendSort(LeafList.size() * 2);
    Budget->Keep(LeafList.size() * sizeof(TRENode*));
    std::vector<TRENode*> split;
    const size_t original = LeafList.size();
    for (size_t i = 0; i < original; ++i) {
        TRENode* leaf = LeafList[i];
        if (indexOf(leaf->Low) + 1 != indexOf(static_cast<uint32_t>(leaf->High) + 1)) split.push_back(leaf);
    }
    if (split.empty()) return;

    for (TRENode* leaf : split) LeafIndex.erase(Key(leaf->Low, leaf->High));
    // The elementary intervals are the leaves of a balanced binary partition whose inner nodes are unions,
    // made on demand and shared. A leaf that covers k intervals becomes a union of O(log k) of them: ranges
    // that overlap each other cost n log n nodes, not n squared.
    // Segments are numbered as in a binary heap: the root 1, the halves of segment n are 2n and 2n + 1.
    const size_t intervals = bounds.size() - 1;
    Budget->Keep(4 * intervals * sizeof(TRENode*));
    std::vector<TRENode*> segments(4 * intervals, nullptr);
    const auto segment = [&](auto& self, size_t n, size_t lo, size_t hi) -> TRENode* {
        if (hi - lo == 1)
            return MakeLeaf(static_cast<CharCode>(bounds[lo]), static_cast<CharCode>(bounds[hi] - 1));
        Budget->Spend(1);
        if (segments[n] != nullptr) return segments[n];
        const size_t mid = lo + (hi - lo) / 2;
        TRENode* node = MakeInternalNode(opUnion, self(self, 2 * n, lo, mid), self(self, 2 * n + 1, mid, hi));
        segments[n] = node;
        return node;
    };
    std::vector<TRENode*> pieces;
    const auto cover = [&](auto& self, size_t n, size_t lo, size_t hi, size_t first, size_t last) -> void {
        Budget->Spend(1);
        if (first <= lo && hi <= last) {
            pieces.push_back(segment(segment, n, lo, hi));
            return;
        }
        const size_t mid = lo + (hi - lo) / 2;
        if (first < mid) self(self, 2 * n, lo, mid, first, last);
        if (last > mid) self(self, 2 * n + 1, mid, hi, first, last);
    };
    for (TRENode* leaf : split) {
        pieces.clear();
        cover(cover, 1, 0, intervals, indexOf(leaf->Low), indexOf(static_cast<uint32_t>(leaf->High) + 1));
        // A leaf that is exactly one shared segment takes over that segment's two halves.
        if (pieces.size() == 1) pieces = {pieces[0]->Left, pieces[0]->Right};
        auto build = [&](auto& self, size_t from, size_t to) -> TRENode* {
            if (to - from == 1) return pieces[from];
            const size_t mid = from + (to - from) / 2;
            return MakeInternalNode(opUnion, self(self, from, mid), self(self, mid, to));
        };
        const size_t mid = pieces.size() / 2;
        leaf->Op = opUnion;
        leaf->Left = build(build, 0, mid);
        leaf->Right = build(build, mid, pieces.size());
    }
    // The split leaves are union nodes now: move them from the leaf list to the node list.
    Budget->SpendSort(split.size());
    Budget->SpendSort(LeafList.size());
    std::sort(split.begin(), split.end());
    auto keep = std::stable_partition(LeafList.begin(), LeafList.end(), [&](TRENode* p) {
        return !std::binary_search(split.begin(), split.end(), p);
    });
    for (auto it = keep; it != LeafList.end(); ++it) NodeList.push_back(*it);
    LeafList.erase(keep, LeafList.end());
}

void TREParseTree::DisposeNodes() {
    NodeList.clear();
    LeafList.clear();
    LeafIndex.clear();
    Blocks.clear();
    BlockUsed = kBlockNodes;
    Root = nullptr;
}

}  // namespace regexp
