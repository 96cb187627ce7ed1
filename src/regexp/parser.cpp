// The pattern grammar: alternation, concatenation, the postfix operators, groups, classes and ".".
#include "regexp/parser.h"

#include <algorithm>

#include "regexp/errors.h"
#include "regexp/sjis_texts.inc"

namespace regexp {
namespace {

// Each group costs a few stack frames of the descent; deeper nesting than this is refused.
constexpr int kMaxGroupDepth = 1000;

}  // namespace

void TREParser::Run() {
    Tree.DisposeNodes();
    Budget.Keep(Scanner.Text.size());
    Depth = 0;
    NextToken();
    Tree.Root = Regex();
    if (Scanner.Token != tkEnd) throw ERegExpParser(kMsgExtraChars, Scanner.Position);
    Tree.ForceCharClassUnique();
}

TRENode* TREParser::Regex() {
    TRENode* node = Term();
    while (Scanner.Token == tkUnion) {
        NextToken();
        node = Tree.MakeInternalNode(opUnion, node, Term());
    }
    return node;
}

TRENode* TREParser::Term() {
    const auto ends = [this] {
        return Scanner.Token == tkUnion || Scanner.Token == tkRPar || Scanner.Token == tkEnd;
    };
    if (ends()) return Tree.MakeInternalNode(opEmpty, nullptr, nullptr);
    TRENode* node = Factor();
    while (!ends()) node = Tree.MakeInternalNode(opConcat, node, Factor());
    return node;
}

TRENode* TREParser::Factor() {
    TRENode* p = Primary();
    switch (Scanner.Token) {
        case tkStar:
            p = Tree.MakeInternalNode(opClosure, p, nullptr);
            break;
        case tkPlus:
            // The same subtree serves both places; the automaton builder generates it once per reference.
            p = Tree.MakeInternalNode(opConcat, p, Tree.MakeInternalNode(opClosure, p, nullptr));
            break;
        case tkQMark:
            p = Tree.MakeInternalNode(opUnion, p, Tree.MakeInternalNode(opEmpty, nullptr, nullptr));
            break;
        default:
            return p;
    }
    NextToken();
    return p;
}

TRENode* TREParser::Primary() {
    TRENode* node = nullptr;
    switch (Scanner.Token) {
        case tkChar:
            node = Tree.MakeLeaf(Scanner.Code, Scanner.Code);
            break;
        case tkLPar:
            if (++Depth > kMaxGroupDepth) throw ERegExpTooComplex(kMsgNestTooDeep, Scanner.Position);
            NextToken();
            node = Regex();
            if (Scanner.Token != tkRPar) throw ERegExpParser(kMsgNeedRPar, Scanner.Position);
            --Depth;
            break;
        case tkLBra:
        case tkLBraNegative:
            node = Scanner.Token == tkLBra ? CharClass() : NegCharClass();
            if (Scanner.Token != tkRBra) throw ERegExpParser(kMsgNeedRBracket, Scanner.Position);
            break;
        case tkDot:
            node = Tree.MakeAnyCharsNode();
            break;
        case tkLHead:
            node = Tree.MakeLHeadNode(Scanner.Code);
            break;
        case tkLTail:
            node = Tree.MakeLTailNode(Scanner.Code);
            break;
        default:
            throw ERegExpParser(kMsgNeedPrimary, Scanner.Position);
    }
    NextToken();
    return node;
}

std::vector<std::pair<CharCode, CharCode>> TREParser::ClassItems() {
    std::vector<std::pair<CharCode, CharCode>> items;
    size_t largest = 0;
    NextToken();
    if (Scanner.Token == tkRBra) throw ERegExpParser(kMsgBadClass, Scanner.Position);
    while (Scanner.Token != tkRBra) {
        Budget.Spend(1);
        Budget.KeepGrowth(largest, items.size() + 1, sizeof(items[0]));
        items.emplace_back(Scanner.Code, Scanner.Token == tkCharRange ? Scanner.CodeHigh : Scanner.Code);
        NextToken();
    }
    return items;
}

TRENode* TREParser::CharClass() {
    TRENode* node = nullptr;
    for (const auto& [low, high] : ClassItems()) {
        TRENode* leaf = Tree.MakeLeaf(low, high);
        node = node ? Tree.MakeInternalNode(opUnion, node, leaf) : leaf;
    }
    return node;
}

TRENode* TREParser::NegCharClass() {
    // The "." set minus the class: what remains of its three pieces, as maximal ranges in ascending order.
    auto items = ClassItems();
    Budget.SpendSort(items.size());
    std::sort(items.begin(), items.end());
    std::vector<std::pair<int32_t, int32_t>> pieces{{1, 9}, {11, 12}, {14, 0xFCFC}};
    std::vector<std::pair<int32_t, int32_t>> rest;
    Budget.Spend(3 * items.size());
    Budget.Keep(3 * (items.size() + 3) * sizeof(rest[0]));
    for (auto [low, high] : pieces) {
        for (const auto& [sLow, sHigh] : items) {
            if (sHigh < low || sLow > high) continue;
            if (sLow > low) rest.emplace_back(low, sLow - 1);
            low = sHigh + 1;
            if (low > high) break;
        }
        if (low <= high) rest.emplace_back(low, high);
    }
    if (rest.empty()) return Tree.MakeInternalNode(opNothing, nullptr, nullptr);
    TRENode* node = nullptr;
    for (const auto& [low, high] : rest) {
        TRENode* leaf = Tree.MakeLeaf(static_cast<CharCode>(low), static_cast<CharCode>(high));
        node = node ? Tree.MakeInternalNode(opUnion, node, leaf) : leaf;
    }
    return node;
}

}  // namespace regexp
