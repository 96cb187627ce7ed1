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
    explicit TREParser(std::string pattern) : Scanner(std::move(pattern)) {}
    TREParser(const TREParser&) = delete;
    TREParser& operator=(const TREParser&) = delete;

    // Parses the whole pattern into Tree; raises ERegExpParser on a syntax error.
    void Run();

    TREParseTree Tree;
    TREScanner Scanner;

private:
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
