// TRegularExpression: the pattern, its dictionary rewrite and a cache of compiled automata. Entry 0 always
// holds the empty pattern; new patterns enter behind it and the oldest inserted one leaves first, when the
// cache is full by count or by the bytes its automata hold together.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "regexp/char_code.h"
#include "regexp/dfa.h"
#include "regexp/pre_processor.h"

namespace regexp {

class TRegularExpression {
public:
    // One automaton may hold up to its compile budget's 32 MB; the cache as a whole stays within this, so a
    // matcher fed many large patterns cannot eat a 32-bit process's address space. The empty pattern and
    // the one in force always stay.
    static constexpr uint64_t kCacheMaxBytes = 32ull << 20;

    TRegularExpression();
    TRegularExpression(const TRegularExpression&) = delete;
    TRegularExpression& operator=(const TRegularExpression&) = delete;
    virtual ~TRegularExpression() = default;

    const std::string& GetRegExp() const { return RegExpValue; }
    // Compiles (or finds in the cache) the pattern; raises ERegExpParser for a bad one, leaving the object
    // on the empty pattern.
    virtual void SetRegExp(const std::string& value);
    virtual CharCode GetLineHeadChar() const { return kLineHeadCode; }
    virtual CharCode GetLineTailChar() const { return kLineTailCode; }

    const TRE_DFA& CurrentDFA() const { return *Cache[static_cast<size_t>(CurrentIndex)].second; }
    bool HasLineHead() const { return CurrentDFA().LHeadFound; }
    bool HasLineTail() const { return CurrentDFA().LTailFound; }
    std::vector<const TREDictionary*>& FuzzyCharDicList() { return PreProcessor.FuzzyCharDicList; }

    // Cache inspection: the number of entries, the entry in force, and the entry of a rewritten pattern
    // (-1 when it is not cached).
    int32_t GetCacheCount() const { return static_cast<int32_t>(Cache.size()); }
    int32_t GetCurrentIndex() const { return CurrentIndex; }
    int32_t FindCacheEntry(const std::string& key) const;
    // The heap bytes the cached automata and their keys hold together.
    uint64_t GetCacheBytes() const;

protected:
    virtual void Compile(const std::string& pattern);

    std::vector<std::pair<std::string, std::unique_ptr<TRE_DFA>>> Cache;
    int32_t CacheMax = 30;
    int32_t CurrentIndex = 0;
    TREPreProcessor PreProcessor;

private:
    std::string RegExpValue;
    // The rewrite's work for the pattern being compiled, charged to its compile budget.
    uint64_t RewriteWork = 0;
};

}  // namespace regexp
