// TREPreProcessor: the dictionary rewrite that runs before a pattern is compiled. Each run of ordinary
// characters is searched for dictionary words; a word found becomes a group of every word of its row.
// Source bytes are copied unchanged otherwise, so a pattern without a hit (or with both flags off) comes out
// byte for byte as it went in.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "regexp/compile_budget.h"
#include "regexp/scanner.h"

namespace regexp {

// A dictionary: rows of words (a word may be empty).
using TREDictionary = std::vector<std::vector<std::string>>;

struct TRETokenRecord {
    TREToken Kind = tkEnd;
    CharCode Code = 0;
    CharCode CodeHigh = 0;
    int32_t Start = 0;  // position of the token's first byte
    int32_t End = 0;    // position after its last byte
};

// The word with a backslash before each metacharacter, stepping by character so that a double-byte
// character stays two bytes even when its trail byte is 0x5C, 0x5B or 0x7C.
std::string EscapeWord(const std::string& word);

class TREPreProcessor {
public:
    explicit TREPreProcessor(std::string text = {}) : Scanner(std::move(text)) {}

    void SetTargetText(std::string text) { Scanner.SetText(std::move(text)); }
    // Leaves the result in Output; scanning errors raise ERegExpParser.
    void Run();

    TREScanner Scanner;
    std::string Output;
    std::vector<const TREDictionary*> SynonymDicList;
    std::vector<const TREDictionary*> FuzzyCharDicList;
    std::vector<TRETokenRecord> TokenList;
    std::string Alternation;
    bool UseFuzzyCharDic = false;
    bool UseSynonymDic = false;
    // What the last Run spent: it counts towards the compilation of its output. A rewrite past the budget is
    // refused with ERegExpTooComplex.
    TRECompileBudget Budget{&Scanner.Position};

private:
    // A dictionary made ready for lookups: each row's group text, and each word as codes, listed under its
    // first code in table order (so the first entry that matches is the first row's first matching word).
    struct TDictionaryIndex {
        struct Word {
            CharCode First;
            uint32_t Row;
            uint32_t Begin, End;  // its codes in Codes
            bool operator<(const Word& other) const { return First < other.First; }
        };
        std::vector<std::string> Groups;
        std::vector<Word> Words;  // by first code, in table order within one
        std::vector<CharCode> Codes;
    };
    const TDictionaryIndex& IndexOf(const TREDictionary& dic);

    void Tokenize();
    void Rewrite(const std::vector<const TREDictionary*>& dictionaries);
    // The index after the tokens that a word of the first matching row covers, or -1.
    int32_t MatchDictionary(const TREDictionary& dic, int32_t i, int32_t j);
    // The index after the tokens from i (before j) whose codes spell the word, or -1.
    int32_t MatchWord(const CharCode* word, size_t length, int32_t i, int32_t j) const;
    std::string SourceText(const TRETokenRecord& r) const;

    // Dictionaries are fixed once built, so an index made on first use stays valid.
    std::vector<std::pair<const TREDictionary*, std::unique_ptr<TDictionaryIndex>>> Indexes;
};

}  // namespace regexp
