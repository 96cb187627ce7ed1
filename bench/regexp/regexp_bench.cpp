// Benchmark of TAWKStr against RE2 (longest match), PCRE2's DFA matcher and std::wregex (POSIX extended) on
// generated member names and long texts. Every engine's (start, length), mapped back to Shift-JIS bytes, is
// checked against TAWKStr's before anything is timed, and every engine is timed the same way (the fastest of
// repeated runs). Prints ns per name, MB/s, compile times and DFA sizes, then the ratio of TAWKStr's time to
// each peer's per row with the worst ratios to RE2, and the compile budget's figures on hostile patterns.
#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>
#include <re2/re2.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "alloc_meter.h"
#include "corpus.h"
#include "hostile_patterns.h"
#include "regexp/awk_str.h"
#include "regexp/dfa.h"
#include "regexp/fuzzy_char_dic.h"
#include "regexp/nfa.h"
#include "regexp/parser.h"

using bench::Text;
using Clock = std::chrono::steady_clock;

namespace {

struct Hit {
    int32_t Pos = 0, Len = 0;
    bool operator==(const Hit&) const = default;
};

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Runs fn until at least minSeconds have passed (at least once); the fastest run, which is the least
// disturbed by other load on the machine.
double TimeIt(const std::function<void()>& fn, double minSeconds = 0.25, int maxRuns = 1 << 20) {
    int runs = 0;
    const auto start = Clock::now();
    double best = 1e300;
    do {
        const auto t = Clock::now();
        fn();
        best = std::min(best, Seconds(Clock::now() - t));
        ++runs;
    } while (Seconds(Clock::now() - start) < minSeconds && runs < maxRuns);
    return best;
}

class Engine {
public:
    virtual ~Engine() = default;
    virtual Hit Match(const Text& t) = 0;
};

class AwkEngine : public Engine {
public:
    AwkEngine(const std::string& sjis, bool fuzzy) {
        awk.SetLineSeparator(regexp::mcls_LF);
        if (fuzzy) awk.SetUseFuzzyCharDic(true);
        awk.SetRegExp(sjis);
    }
    Hit Match(const Text& t) override {
        Hit h;
        awk.Match(t.Sjis, h.Pos, h.Len);
        return h;
    }
    regexp::TAWKStr awk;
};

class Re2Engine : public Engine {
public:
    explicit Re2Engine(const std::string& utf8) : re(utf8, Options()) {}
    static RE2::Options Options() {
        RE2::Options o;
        o.set_longest_match(true);
        o.set_posix_syntax(true);  // with one_line off, "^" and "$" work at line boundaries
        o.set_log_errors(false);
        o.set_max_mem(256 << 20);
        return o;
    }
    bool Ok() const { return re.ok(); }
    Hit Match(const Text& t) override {
        re2::StringPiece sub;
        if (!re.Match(t.Utf8, 0, t.Utf8.size(), RE2::UNANCHORED, &sub, 1)) return {};
        const size_t s = sub.data() - t.Utf8.data();
        const uint32_t start = t.SjisFromUtf8(s);
        return {static_cast<int32_t>(start) + 1, static_cast<int32_t>(t.SjisFromUtf8(s + sub.size()) - start)};
    }
    RE2 re;
};

class PcreEngine : public Engine {
public:
    explicit PcreEngine(const std::string& utf8) {
        int err;
        PCRE2_SIZE off;
        code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(utf8.data()), utf8.size(),
                             PCRE2_UTF | PCRE2_MULTILINE, &err, &off, nullptr);
        if (code) data = pcre2_match_data_create(8, nullptr);
        work.resize(100000);
    }
    ~PcreEngine() override {
        if (data) pcre2_match_data_free(data);
        if (code) pcre2_code_free(code);
    }
    bool Ok() const { return code != nullptr; }
    Hit Match(const Text& t) override {
        // The texts are valid UTF-8 (checked once when they were made), as TAWKStr's are valid Shift-JIS.
        const int rc = pcre2_dfa_match(code, reinterpret_cast<PCRE2_SPTR>(t.Utf8.data()), t.Utf8.size(), 0,
                                       PCRE2_NO_UTF_CHECK, data, nullptr, work.data(), work.size());
        if (rc < 0 && rc != PCRE2_ERROR_NOMATCH) {
            failed = true;
            return {-1, -1};
        }
        if (rc < 0) return {};
        const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(data);
        const uint32_t start = t.SjisFromUtf8(ov[0]);
        return {static_cast<int32_t>(start) + 1, static_cast<int32_t>(t.SjisFromUtf8(ov[1]) - start)};
    }
    pcre2_code* code = nullptr;
    pcre2_match_data* data = nullptr;
    std::vector<int> work;
    bool failed = false;
};

class StdEngine : public Engine {
public:
    explicit StdEngine(const std::wstring& wide) {
        try {
            re.emplace(wide, std::regex_constants::extended);
        } catch (const std::regex_error&) {
        }
    }
    bool Ok() const { return re.has_value(); }
    Hit Match(const Text& t) override {
        std::wsmatch m;
        if (!std::regex_search(t.Wide, m, *re)) return {};
        const uint32_t start = t.SjisFromWide(m.position(0));
        return {static_cast<int32_t>(start) + 1,
                static_cast<int32_t>(t.SjisFromWide(m.position(0) + m.length(0)) - start)};
    }
    std::optional<std::wregex> re;
};

struct Pattern {
    const char* Label;
    std::string Utf8;  // as written (UTF-8); TAWKStr gets its Shift-JIS form
    bool Fuzzy = false;
    bool StdRegex = true;  // std::wregex can take it (POSIX ERE, no multi-line anchors)
};

std::string Sjis(const std::string& s) { return bench::ToSjis(bench::FromUtf8(s)); }

// The pattern the other engines get: the rewritten one for fuzzy patterns, in UTF-8 or UTF-32.
std::u32string ForeignPattern(const Pattern& p) {
    std::string sjis = Sjis(p.Utf8);
    if (p.Fuzzy) {
        regexp::TREPreProcessor pre(sjis);
        pre.FuzzyCharDicList.push_back(&regexp::FuzzyCharDic());
        pre.UseFuzzyCharDic = true;
        pre.Run();
        sjis = pre.Output;
    }
    return bench::FromSjis(sjis);
}

struct Engines {
    std::unique_ptr<AwkEngine> awk;
    std::unique_ptr<Re2Engine> re2;
    std::unique_ptr<PcreEngine> pcre;
    std::unique_ptr<StdEngine> stdre;
};

Engines Build(const Pattern& p, bool withStd) {
    Engines e;
    e.awk = std::make_unique<AwkEngine>(Sjis(p.Utf8), p.Fuzzy);
    const std::u32string foreign = ForeignPattern(p);
    e.re2 = std::make_unique<Re2Engine>(bench::ToUtf8(foreign));
    e.pcre = std::make_unique<PcreEngine>(bench::ToUtf8(foreign));
    if (withStd && p.StdRegex) {
        e.stdre = std::make_unique<StdEngine>(std::wstring(foreign.begin(), foreign.end()));
        if (!e.stdre->Ok()) e.stdre.reset();
    }
    if (!e.re2->Ok()) e.re2.reset();
    if (!e.pcre->Ok()) e.pcre.reset();
    return e;
}

// Checks one engine against TAWKStr on every text; false (and the first differences printed) on any.
bool Agrees(const char* label, const char* engine, Engine* other, AwkEngine& awk, const std::vector<const Text*>& texts) {
    int shown = 0;
    bool ok = true;
    for (const Text* t : texts) {
        const Hit a = awk.Match(*t);
        const Hit b = other->Match(*t);
        if (a == b) continue;
        ok = false;
        if (shown++ < 2) {
            fprintf(stderr, "  DIFF %s %s on '%s': TAWKStr %d,%d vs %d,%d\n", label, engine,
                    t->Utf8.size() > 60 ? (t->Utf8.substr(0, 60) + "...").c_str() : t->Utf8.c_str(), a.Pos, a.Len,
                    b.Pos, b.Len);
        }
    }
    return ok;
}

// One timed row: each engine's time per unit (ns per name, or ms per MB), 0 where it could not run or
// disagreed with TAWKStr.
struct Row {
    std::string Label;
    bool PerName;
    bool Literal;  // a long-text row of a literal pattern
    double Ours, Re2, Pcre, Std;
};
std::vector<Row> rows;

std::string Cell(double value, const char* format) {
    char buf[32];
    snprintf(buf, sizeof buf, format, value);
    return buf;
}

void NameTable(const std::vector<Text>& names, const std::vector<Pattern>& patterns) {
    std::vector<const Text*> all;
    for (const Text& t : names) all.push_back(&t);
    printf("\n== %zu member names (ns per name; compile in us) ==\n", names.size());
    printf("%-28s %6s %9s %8s %9s %9s %9s %10s %7s\n", "pattern", "states", "miss_us", "hit_ns", "TAWKStr",
           "RE2", "PCRE2dfa", "std::regex", "matches");
    for (const Pattern& p : patterns) {
        Engines e = Build(p, true);
        bool okRe2 = e.re2 && Agrees(p.Label, "RE2", e.re2.get(), *e.awk, all);
        bool okPcre = e.pcre && Agrees(p.Label, "PCRE2", e.pcre.get(), *e.awk, all);
        bool okStd = e.stdre && Agrees(p.Label, "std::regex", e.stdre.get(), *e.awk, all);
        size_t matches = 0;
        for (const Text* t : all) matches += e.awk->Match(*t).Pos != 0;

        const std::string sjis = Sjis(p.Utf8);
        const double miss = TimeIt([&] {
            regexp::TAWKStr fresh;
            if (p.Fuzzy) fresh.SetUseFuzzyCharDic(true);
            fresh.SetRegExp(sjis);
        }, 0.1, 2000);
        const double construct = TimeIt([&] {
            regexp::TAWKStr fresh;
            if (p.Fuzzy) fresh.SetUseFuzzyCharDic(true);
        }, 0.1, 2000);
        const double hit = TimeIt([&] { e.awk->awk.SetRegExp(sjis); }, 0.05);
        Row row{p.Label, true, false, 0, 0, 0, 0};
        const auto perName = [&](Engine* engine, bool ok, double& ns) -> std::string {
            if (!engine) return "n/a";
            if (!ok) return "DIFF";
            ns = TimeIt([&] {
                     for (const Text* n : all) engine->Match(*n);
                 }) /
                 all.size() * 1e9;
            return Cell(ns, "%.0f");
        };
        const std::string ours = perName(e.awk.get(), true, row.Ours);
        const std::string re2 = perName(e.re2.get(), okRe2, row.Re2);
        const std::string pcre = perName(e.pcre.get(), okPcre, row.Pcre);
        const std::string stdre = perName(e.stdre.get(), okStd, row.Std);
        rows.push_back(row);
        printf("%-28s %6d %9.1f %8.0f %9s %9s %9s %10s %7zu\n", p.Label, e.awk->awk.CurrentDFA().StateCount(),
               (miss - construct) * 1e6, hit * 1e9, ours.c_str(), re2.c_str(), pcre.c_str(), stdre.c_str(),
               matches);
        fflush(stdout);
    }
}

void TextTable(const char* title, const std::vector<std::pair<const char*, const Text*>>& texts,
               const std::vector<Pattern>& patterns, bool withStd) {
    printf("\n== %s (MB/s over the whole text; the match is at its end) ==\n", title);
    printf("%-28s %-7s %6s %9s %9s %9s %10s %12s\n", "pattern", "text", "states", "TAWKStr", "RE2", "PCRE2dfa",
           "std::regex", "match");
    for (const Pattern& p : patterns) {
        for (const auto& [name, text] : texts) {
            Engines e = Build(p, withStd);
            const std::vector<const Text*> one{text};
            bool okRe2 = e.re2 && Agrees(p.Label, "RE2", e.re2.get(), *e.awk, one);
            bool okPcre = e.pcre && Agrees(p.Label, "PCRE2", e.pcre.get(), *e.awk, one);
            if (e.pcre && e.pcre->failed) okPcre = false;
            bool okStd = e.stdre && Agrees(p.Label, "std::regex", e.stdre.get(), *e.awk, one);
            const double mb = text->Sjis.size() / 1e6;
            Row row{std::string(p.Label) + " / " + name + (withStd ? " (std::regex table)" : ""), false,
                    std::string(p.Label).rfind("literal", 0) == 0, 0, 0, 0, 0};
            const auto rate = [&](Engine* engine, bool ok, double& msPerMb) -> std::string {
                if (!engine) return "n/a";
                if (!ok) return "DIFF";
                const double seconds = TimeIt([&] { engine->Match(*text); }, 0.25, 1000);
                msPerMb = seconds * 1e3 / mb;
                return Cell(mb / seconds, "%.4g");
            };
            const Hit h = e.awk->Match(*text);
            const std::string ours = rate(e.awk.get(), true, row.Ours);
            const std::string re2 = rate(e.re2.get(), okRe2, row.Re2);
            const std::string pcre = rate(e.pcre.get(), okPcre, row.Pcre);
            const std::string stdre = rate(e.stdre.get(), okStd, row.Std);
            rows.push_back(row);
            printf("%-28s %-7s %6d %9s %9s %9s %10s %12s\n", p.Label, name,
                   e.awk->awk.CurrentDFA().StateCount(), ours.c_str(), re2.c_str(), pcre.c_str(),
                   stdre.c_str(), (std::to_string(h.Pos) + "," + std::to_string(h.Len)).c_str());
            fflush(stdout);
        }
    }
}

// The ratio of TAWKStr's time to each peer's per row (below 1: TAWKStr is faster), and the worst ratios to
// RE2: per name, per MB, and on the long-text literal rows.
void RatioTable() {
    printf("\n== ratios: TAWKStr's time / the peer's (below 1.00 TAWKStr is faster) ==\n");
    printf("%-52s %8s %8s %11s\n", "row", "/RE2", "/PCRE2", "/std::regex");
    const auto ratio = [](double ours, double peer) { return ours > 0 && peer > 0 ? ours / peer : 0.0; };
    const auto cell = [](double r) { return r > 0 ? Cell(r, "%.2f") : std::string("n/a"); };
    struct Worst {
        double Ratio = 0;
        std::string Label;
    } perName, perMb, literal;
    for (const Row& r : rows) {
        printf("%-52s %8s %8s %11s\n", ((r.PerName ? "names: " : "text: ") + r.Label).c_str(),
               cell(ratio(r.Ours, r.Re2)).c_str(), cell(ratio(r.Ours, r.Pcre)).c_str(),
               cell(ratio(r.Ours, r.Std)).c_str());
        const double re2 = ratio(r.Ours, r.Re2);
        Worst& w = r.PerName ? perName : perMb;
        if (re2 > w.Ratio) w = {re2, r.Label};
        if (r.Literal && re2 > literal.Ratio) literal = {re2, r.Label};
    }
    printf("worst ratio to RE2: per name %.2f (%s), per MB %.2f (%s); long-text literal rows %.2f (%s)\n",
           perName.Ratio, perName.Label.c_str(), perMb.Ratio, perMb.Label.c_str(), literal.Ratio,
           literal.Label.c_str());
}

// The compile budget on hostile patterns: compiled or refused, the time (fastest of a few runs), the work
// units and bytes charged, and the heap actually held at most.
void BudgetTable() {
    std::vector<regexp_test::HostilePattern> patterns = regexp_test::HostilePatterns();
    patterns.push_back({"literal of 9,000", std::string(9000, 'a')});
    printf("\n== compile budget: %.0f M work units, %.0f MB (fastest of 3 runs) ==\n",
           regexp::TRECompileBudget::kMaxCompileWork / 1e6,
           regexp::TRECompileBudget::kMaxCompileBytes / 1048576.0);
    printf("%-28s %-6s %8s %-9s %8s %9s %11s %8s\n", "pattern", "fuzzy", "bytes", "result", "ms", "work M",
           "charged MB", "peak MB");
    for (const auto& [label, pattern] : patterns) {
        for (const bool fuzzy : {false, true}) {
            regexp::TREPreProcessor pre(pattern);
            pre.FuzzyCharDicList.push_back(&regexp::FuzzyCharDic());
            pre.UseFuzzyCharDic = fuzzy;
            const char* result = "compiled";
            uint64_t work = 0, charged = 0;
            size_t peak = 0;
            double best = 1e300;
            for (int run = 0; run < 3; ++run) {
                const size_t base = regexp_test::AllocMeter::Reset();
                const auto t = Clock::now();
                try {
                    regexp::TAWKStr awk;
                    if (fuzzy) awk.SetUseFuzzyCharDic(true);
                    awk.SetRegExp(pattern);
                } catch (const regexp::ERegExpTooComplex&) {
                    result = "refused";
                }
                best = std::min(best, Seconds(Clock::now() - t));
                peak = regexp_test::AllocMeter::Peak - base;
            }
            // The same compilation once more by its stages, for the budget's own count.
            try {
                pre.Run();
                regexp::TREParser parser(pre.Output);
                parser.Budget.Spend(pre.Budget.Work);
                parser.Budget.Keep(pre.Output.size());
                try {
                    parser.Run();
                    regexp::TRE_NFA nfa(parser, regexp::kLineHeadCode, regexp::kLineTailCode);
                    nfa.Run();
                    regexp::TRE_DFA dfa(nfa);
                    dfa.Run();
                } catch (const regexp::ERegExpTooComplex&) {
                }
                work = parser.Budget.Work;
                charged = parser.Budget.Bytes;
            } catch (const regexp::ERegExpTooComplex&) {
                work = pre.Budget.Work;
                charged = pre.Budget.Bytes;
            }
            printf("%-28s %-6s %8zu %-9s %8.1f %9.1f %11.1f %8.1f\n", label, fuzzy ? "yes" : "no",
                   pattern.size(), result, best * 1e3, work / 1e6, charged / 1048576.0, peak / 1048576.0);
            fflush(stdout);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--budget") {
        BudgetTable();
        return 0;
    }
    const auto t0 = Clock::now();
    const std::vector<Text> names = bench::MakeNames(100000, 0x5eed);
    size_t doubleByte = 0;
    for (const Text& n : names) doubleByte += n.Sjis.size() != n.Wide.size();
    printf("corpus: %zu names (%zu with double-byte characters), generated in %.2f s\n", names.size(), doubleByte,
           Seconds(Clock::now() - t0));

    const std::vector<Pattern> namePatterns = {
        {"tail-cut", "[_ \\.0-9]+[a-z]?$"},
        {"split part[0-9]+", "part[0-9]+\\..*$"},
        {"split first part", "part[0]*1\\..*$"},
        {"split base.part", "photo\\.part[0-9]*"},
        {"split base.rNN", "arc\\.r[0-9]+$"},
        {"literal", "readme"},
        {"literal sjis 0x5C", "表示"},
        {"class digits", "[0-9]+"},
        {"class hiragana", "[ぁ-ん]+"},
        {"alternation", "zip|lzh|rar|cab"},
        {"anchored head", "^setup"},
        {"anchored both", "^[a-z]+\\.txt$"},
        {"fuzzy readme", "readme", true},
        {"fuzzy sofuto", "ソフト", true, false},
        {"pathological (a|aa)*b", "(a|aa)*b"},
        {"pathological (.*)*x", "(.*)*x", false, false},  // backtracking std::regex takes exponential time
        {"pathological 2^10 states", "(a|r)*a(a|r)(a|r)(a|r)(a|r)(a|r)(a|r)(a|r)(a|r)(a|r)"},
    };
    NameTable(names, namePatterns);

    const auto t1 = Clock::now();
    const std::u32string needle = bench::FromUtf8("NEEDLE Q12345Z PINPOINT 終端記号");
    const Text sj1 = bench::MakeProse(1 << 20, 1, true, needle);
    const Text sj16 = bench::MakeProse(16 << 20, 16, true, needle);
    const Text ascii16 = bench::MakeProse(16 << 20, 17, false, needle);
    printf("\ntexts: Shift-JIS %.1f MB and %.1f MB, ASCII %.1f MB, generated in %.2f s\n", sj1.Sjis.size() / 1e6,
           sj16.Sjis.size() / 1e6, ascii16.Sjis.size() / 1e6, Seconds(Clock::now() - t1));
    const std::vector<Pattern> textPatterns = {
        {"literal", "NEEDLE"},
        {"literal sjis", "終端記号"},
        {"class", "Q[0-9]+Z"},
        {"alternation", "HAYSTACK|PINPOINT|NEEDLEZ"},
        {"anchored", "^NEEDLE", false, false},
        {"fuzzy", "needle", true, false},
        {"letters run", "[A-Z]+ Q"},
    };
    TextTable("long texts", {{"sjis1M", &sj1}, {"sjis16M", &sj16}, {"ascii16M", &ascii16}}, textPatterns, false);
    TextTable("long texts, std::regex included", {{"sjis1M", &sj1}}, {textPatterns[0], textPatterns[2]}, true);

    // Growth: the same patterns on texts 4 and 64 times apart; a ratio near 4 is linear. A short text matched
    // again and again can be learnt by the processor's branch predictors; the 2 MB one cannot.
    const Text g8 = bench::MakeProse(8 << 10, 2, true, needle);
    const Text g32 = bench::MakeProse(32 << 10, 3, true, needle);
    const Text g2m = bench::MakeProse(2 << 20, 4, true, needle);
    const std::vector<Pattern> growth = {
        {"literal", "NEEDLE"},
        {"words then Q", "[a-zぁ-んァ-ヶ]*Q"},
        {"anything incl. LF", "(.|\\n)*NEEDLE", false, false},
        {"no match, incl. LF", "(.|\\n)*NEEDLEX", false, false},
        {"no match, per line", ".*NEEDLEX"},
    };
    TextTable("growth, 8 KB, 32 KB and 2 MB", {{"8K", &g8}, {"32K", &g32}, {"2M", &g2m}}, growth, false);

    RatioTable();
    BudgetTable();
    printf("total %.1f s\n", Seconds(Clock::now() - t0));
    return 0;
}
