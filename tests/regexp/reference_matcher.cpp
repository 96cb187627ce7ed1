// The reference matcher: for each start character, the set of end characters a subtree can reach, computed
// by plain recursion with memoisation. "^" is a line-head anchor only where it can be the very first step of
// the whole pattern and "$" a line-tail anchor only where it can be the very last; elsewhere both are
// literal characters.
#include "reference_matcher.h"

#include <map>
#include <tuple>
#include <vector>

#include "regexp/parser.h"

namespace regexp_test {
namespace {

using regexp::TRENode;

class Ref {
public:
    Ref(const std::string& text, regexp::TMatchCORE_LineSeparator sep) : Separator(sep) {
        const char* p = text.c_str();
        for (;;) {
            Offsets.push_back(static_cast<int32_t>(p - text.c_str()));
            const regexp::CharCode c = regexp::TMatchCORE::ReadTextChar(p);
            if (c == 0) break;
            Codes.push_back(c);
        }
    }

    size_t Count() const { return Codes.size(); }
    int32_t Offset(size_t k) const { return Offsets[k]; }

    // End indices reachable from index k through node.
    const std::vector<bool>& Ends(const TRENode* node, size_t k, bool atEntry, bool atExit) {
        const auto key = std::make_tuple(node, k, atEntry, atExit);
        if (auto it = Memo.find(key); it != Memo.end()) return it->second;
        std::vector<bool> out(Codes.size() + 1, false);
        const auto merge = [&](const std::vector<bool>& v) {
            for (size_t i = 0; i < v.size(); ++i) if (v[i]) out[i] = true;
        };
        switch (node->Op) {
            case regexp::opCharClass:
                if (k < Codes.size() && Codes[k] >= node->Low && Codes[k] <= node->High) out[k + 1] = true;
                break;
            case regexp::opLHead:
                if (atEntry) {
                    if (k == 0 || Codes[k - 1] == '\n') out[k] = true;
                } else if (k < Codes.size() && Codes[k] == node->Low) {
                    out[k + 1] = true;
                }
                break;
            case regexp::opLTail:
                if (atExit) {
                    const regexp::CharCode sep = Separator == regexp::mcls_CRLF ? 13 : 10;
                    if (k == Codes.size() || Codes[k] == sep) out[k] = true;
                } else if (k < Codes.size() && Codes[k] == node->Low) {
                    out[k + 1] = true;
                }
                break;
            case regexp::opConcat: {
                const std::vector<bool> mid = Ends(node->Left, k, atEntry, false);
                for (size_t m = 0; m < mid.size(); ++m) {
                    if (mid[m]) merge(Ends(node->Right, m, false, atExit));
                }
                break;
            }
            case regexp::opUnion:
                merge(Ends(node->Left, k, atEntry, atExit));
                merge(Ends(node->Right, k, atEntry, atExit));
                break;
            case regexp::opClosure: {
                out[k] = true;
                std::vector<size_t> work{k};
                while (!work.empty()) {
                    const size_t m = work.back();
                    work.pop_back();
                    const std::vector<bool> next = Ends(node->Left, m, false, false);
                    for (size_t e = 0; e < next.size(); ++e) {
                        if (next[e] && !out[e]) {
                            out[e] = true;
                            work.push_back(e);
                        }
                    }
                }
                break;
            }
            case regexp::opEmpty:
                out[k] = true;
                break;
            default:
                break;
        }
        return Memo.emplace(key, std::move(out)).first->second;
    }

private:
    regexp::TMatchCORE_LineSeparator Separator;
    std::vector<regexp::CharCode> Codes;
    std::vector<int32_t> Offsets;
    std::map<std::tuple<const TRENode*, size_t, bool, bool>, std::vector<bool>> Memo;
};

}  // namespace

RefResult ReferenceMatch(const std::string& pattern, const std::string& text,
                         regexp::TMatchCORE_LineSeparator separator) {
    regexp::TREParser parser(pattern);
    parser.Run();
    Ref ref(text, separator);
    for (size_t s = 0; s <= ref.Count(); ++s) {
        const std::vector<bool>& ends = ref.Ends(parser.Tree.Root, s, true, true);
        for (size_t e = ends.size(); e-- > s;) {
            if (ends[e]) return {ref.Offset(s) + 1, ref.Offset(e) - ref.Offset(s)};
        }
    }
    return {};
}

}  // namespace regexp_test
