// Pattern cache and compilation: parser, NFA, DFA; the NFA and the parse tree go away once the DFA stands.
#include "regexp/regular_expression.h"

#include "regexp/nfa.h"
#include "regexp/parser.h"

namespace regexp {

TRegularExpression::TRegularExpression() {
    Cache.emplace_back(std::string(), nullptr);
    CurrentIndex = 0;
    Compile("");
}

int32_t TRegularExpression::FindCacheEntry(const std::string& key) const {
    for (size_t i = 0; i < Cache.size(); ++i) {
        if (Cache[i].first == key) return static_cast<int32_t>(i);
    }
    return -1;
}

uint64_t TRegularExpression::GetCacheBytes() const {
    uint64_t bytes = 0;
    for (const auto& [key, dfa] : Cache) bytes += key.capacity() + (dfa ? dfa->HeldBytes() : 0);
    return bytes;
}

void TRegularExpression::SetRegExp(const std::string& value) {
    // A scanning error of an active dictionary pass leaves everything as it was.
    PreProcessor.SetTargetText(value);
    PreProcessor.Run();
    RewriteWork = PreProcessor.Budget.Work;
    std::string key = std::move(PreProcessor.Output);
    try {
        const int32_t hit = FindCacheEntry(key);
        if (hit >= 0) {
            CurrentIndex = hit;
        } else {
            if (static_cast<int32_t>(Cache.size()) >= CacheMax) Cache.pop_back();
            Cache.insert(Cache.begin() + 1, {std::move(key), nullptr});
            CurrentIndex = 1;
            Compile(Cache[1].first);
            while (Cache.size() > 2 && GetCacheBytes() > kCacheMaxBytes) Cache.pop_back();
        }
        RegExpValue = value;
    } catch (...) {
        CurrentIndex = 0;
        RegExpValue.clear();
        throw;
    }
}

void TRegularExpression::Compile(const std::string& pattern) {
    try {
        auto dfa = [&] {
            TREParser parser(pattern);
            // The rewrite that made the pattern, and the pattern held as the cache entry's key.
            parser.Budget.Spend(RewriteWork);
            parser.Budget.Keep(pattern.size());
            parser.Run();
            TRE_NFA nfa(parser, GetLineHeadChar(), GetLineTailChar());
            nfa.Run();
            auto built = std::make_unique<TRE_DFA>(nfa);
            built->Run();
            return built;
        }();
        Cache[static_cast<size_t>(CurrentIndex)].second = std::move(dfa);
    } catch (...) {
        if (CurrentIndex > 0) Cache.erase(Cache.begin() + CurrentIndex);
        CurrentIndex = 0;
        throw;
    }
}

}  // namespace regexp
