// TREParser: recursive descent over the scanner's tokens into a TREParseTree whose leaves are disjoint.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "regexp/parse_tree.h"
#include "regexp/scanner.h"

namespace regexp {

class TREParser {
public:
    explicit TREParser(std::string pattern) : Scanner(std::move(pattern)) { Tree.Budget = &Budget; }
    TREParser(const TREParser&) = delete;
    TREParser& operator=(const TREParser&) = delete;

    // Parses the whole pattern into Tree; raises ERegExpParser on a syntax error.
    void Run();

    TREParseTree Tree;
    TREScanner Scanner;
    // The budget of the whole compilation: the automaton builders that use this parser's tree charge it too.
    // A refusal is reported at the scanner's position, which is the pattern's end once parsing is done.
    mutable TRECompileBudget Budget{&Scanner.Position};

private:
    // Every token is charged: some (group parentheses) build no node.
    void NextToken() {
        Budget.Spend(1);
        Scanner.GetToken();
    }
    TRENode* Regex();
    TRENode* Term();
    TRENode* Factor();
    TRENode* Primary();
    TRENode* CharClass();
    TRENode* NegCharClass();
    // The items of a class up to its "]"; "[]" and "[^]" are refused.
    std::vector<std::pair<CharCode, CharCode>> ClassItems();

    int Depth = 0;
};

}  // namespace regexp
