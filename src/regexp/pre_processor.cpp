// The dictionary rewrite of patterns: tokenize, then replace dictionary words found in runs of ordinary
// characters (outside classes) by the group of their row.
#include "regexp/pre_processor.h"

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
    Output = Scanner.Text;
    if (UseSynonymDic) {
        Rewrite(SynonymDicList);
        SetTargetText(Output);
    }
    if (UseFuzzyCharDic) Rewrite(FuzzyCharDicList);
}

void TREPreProcessor::Tokenize() {
    TokenList.clear();
    Scanner.SetText(Scanner.Text);
    for (;;) {
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
    Output.clear();
    Tokenize();
    bool inClass = false;
    const auto count = static_cast<int32_t>(TokenList.size());
    for (int32_t i = 0; i < count;) {
        const TRETokenRecord& r = TokenList[static_cast<size_t>(i)];
        if (r.Kind == tkLBra || r.Kind == tkLBraNegative) inClass = true;
        if (r.Kind == tkRBra) inClass = false;
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
        }
    }
}

int32_t TREPreProcessor::MatchDictionary(const TREDictionary& dic, int32_t i, int32_t j) {
    for (const auto& row : dic) {
        for (const auto& word : row) {
            const int32_t k = MatchWord(word, i, j);
            if (k < 0) continue;
            std::string group(1, '(');
            for (size_t w = 0; w < row.size(); ++w) {
                if (w > 0) group += '|';
                group += EscapeWord(row[w]);
            }
            group += ')';
            Alternation = std::move(group);
            return k;
        }
    }
    return -1;
}

int32_t TREPreProcessor::MatchWord(const std::string& word, int32_t i, int32_t j) const {
    if (word.empty()) return -1;
    int32_t position = 1;
    int32_t t = i;
    for (;;) {
        const CharCode c = GetChar(word, position);
        if (c == 0) return t;
        if (t >= j || TokenList[static_cast<size_t>(t)].Code != c) return -1;
        ++t;
    }
}

}  // namespace regexp
