// The dictionary rewrite of patterns: tokenize, then replace dictionary words found in runs of ordinary
// characters (outside classes) by the group of their row.
#include "regexp/pre_processor.h"

#include <algorithm>
#include <string_view>

namespace regexp {

std::string EscapeWord(const std::string& word) {
    static constexpr std::string_view kMeta = "^(|)+*?.[]$\\";
    std::string out;
    for (size_t i = 0; i < word.size(); ++i) {
        const auto c = static_cast<unsigned char>(word[i]);
        if (IsLeadByte(c) && i + 1 < word.size()) {
            out += word[i];
            out += word[++i];
            continue;
        }
        if (kMeta.find(static_cast<char>(c)) != std::string_view::npos) out += '\\';
        out += word[i];
    }
    return out;
}

void TREPreProcessor::Run() {
    Budget = TRECompileBudget(&Scanner.Position);
    Output = Scanner.Text;
    if (UseSynonymDic) {
        Rewrite(SynonymDicList);
        SetTargetText(Output);
    }
    if (UseFuzzyCharDic) Rewrite(FuzzyCharDicList);
    // Scratch of the rewrite: a long pattern's tokens would otherwise stay held beside its automaton.
    TokenList.clear();
    TokenList.shrink_to_fit();
}

void TREPreProcessor::Tokenize() {
    TokenList.clear();
    Scanner.SetText(Scanner.Text);
    size_t largest = 0;
    for (;;) {
        Budget.Spend(1);
        Budget.KeepGrowth(largest, TokenList.size() + 1, sizeof(TRETokenRecord));
        const int32_t start = Scanner.Position;
        const TREToken kind = Scanner.GetToken();
        if (kind == tkEnd) {
            // The end record spans whatever follows a NUL byte, so the bytes after it survive the rewrite.
            TokenList.push_back({tkEnd, 0, 0, start, static_cast<int32_t>(Scanner.Text.size()) + 1});
            break;
        }
        TokenList.push_back({kind, Scanner.Code, Scanner.CodeHigh, start, Scanner.Position});
    }
}

std::string TREPreProcessor::SourceText(const TRETokenRecord& r) const {
    if (r.End <= r.Start) return {};
    return Scanner.Text.substr(static_cast<size_t>(r.Start - 1), static_cast<size_t>(r.End - r.Start));
}

void TREPreProcessor::Rewrite(const std::vector<const TREDictionary*>& dictionaries) {
    Budget.Keep(Scanner.Text.size());
    Output.clear();
    Tokenize();
    size_t outputLargest = 0;
    bool inClass = false;
    const auto count = static_cast<int32_t>(TokenList.size());
    for (int32_t i = 0; i < count;) {
        const TRETokenRecord& r = TokenList[static_cast<size_t>(i)];
        if (r.Kind == tkLBra || r.Kind == tkLBraNegative) inClass = true;
        if (r.Kind == tkRBra) inClass = false;
        Budget.KeepGrowth(outputLargest, Output.size(), 1);
        if (r.Kind != tkChar || inClass) {
            Output += SourceText(r);
            ++i;
            continue;
        }
        int32_t j = i;
        while (j < count && TokenList[static_cast<size_t>(j)].Kind == tkChar) ++j;
        while (i < j) {
            int32_t k = -1;
            for (const TREDictionary* dic : dictionaries) {
                k = MatchDictionary(*dic, i, j);
                if (k >= 0) break;
            }
            if (k < 0) {
                Output += SourceText(TokenList[static_cast<size_t>(i)]);
                ++i;
            } else {
                Output += Alternation;
                i = k;
            }
            Budget.KeepGrowth(outputLargest, Output.size(), 1);
        }
    }
}

const TREPreProcessor::TDictionaryIndex& TREPreProcessor::IndexOf(const TREDictionary& dic) {
    for (const auto& [d, index] : Indexes) {
        if (d == &dic) return *index;
    }
    auto index = std::make_unique<TDictionaryIndex>();
    for (size_t r = 0; r < dic.size(); ++r) {
        const auto& row = dic[r];
        std::string group(1, '(');
        for (size_t w = 0; w < row.size(); ++w) {
            if (w > 0) group += '|';
            group += EscapeWord(row[w]);
            if (row[w].empty()) continue;  // an empty word never matches
            const auto begin = static_cast<uint32_t>(index->Codes.size());
            int32_t position = 1;
            while (const CharCode c = GetChar(row[w], position)) index->Codes.push_back(c);
            index->Words.push_back({index->Codes[begin], static_cast<uint32_t>(r), begin,
                                    static_cast<uint32_t>(index->Codes.size())});
        }
        group += ')';
        index->Groups.push_back(std::move(group));
    }
    std::stable_sort(index->Words.begin(), index->Words.end());
    Indexes.emplace_back(&dic, std::move(index));
    return *Indexes.back().second;
}

int32_t TREPreProcessor::MatchDictionary(const TREDictionary& dic, int32_t i, int32_t j) {
    const TDictionaryIndex& index = IndexOf(dic);
    Budget.Spend(1);
    const TDictionaryIndex::Word key{TokenList[static_cast<size_t>(i)].Code, 0, 0, 0};
    const auto [first, last] = std::equal_range(index.Words.begin(), index.Words.end(), key);
    for (auto w = first; w != last; ++w) {
        Budget.Spend(w->End - w->Begin);
        const int32_t k = MatchWord(index.Codes.data() + w->Begin, w->End - w->Begin, i, j);
        if (k < 0) continue;
        Alternation = index.Groups[w->Row];
        return k;
    }
    return -1;
}

int32_t TREPreProcessor::MatchWord(const CharCode* word, size_t length, int32_t i, int32_t j) const {
    if (static_cast<size_t>(j - i) < length) return -1;
    for (size_t w = 0; w < length; ++w) {
        if (TokenList[static_cast<size_t>(i) + w].Code != word[w]) return -1;
    }
    return i + static_cast<int32_t>(length);
}

}  // namespace regexp
