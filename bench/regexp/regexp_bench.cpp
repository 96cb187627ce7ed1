// Benchmark of TAWKStr against RE2 (longest match), PCRE2's DFA matcher and std::wregex (POSIX extended) on
// generated member names and long texts. Every engine's (start, length), mapped back to Shift-JIS bytes, is
// checked against TAWKStr's before anything is timed. Prints ns per name, MB/s, compile times and DFA sizes.
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

#include "corpus.h"
#include "regexp/awk_str.h"
#include "regexp/fuzzy_char_dic.h"

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
        const int rc = pcre2_dfa_match(code, reinterpret_cast<PCRE2_SPTR>(t.Utf8.data()), t.Utf8.size(), 0, 0,
                                       data, nullptr, work.data(), work.size());
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
        const auto perName = [&](Engine* engine, bool ok, bool slow) -> std::string {
            if (!engine) return "n/a";
            if (!ok) return "DIFF";
            const double t = TimeIt([&] {
                for (const Text* n : all) engine->Match(*n);
            }, slow ? 0 : 0.25, slow ? 1 : 1 << 20);
            return Cell(t / all.size() * 1e9, "%.0f");
        };
        printf("%-28s %6d %9.1f %8.0f %9s %9s %9s %10s %7zu\n", p.Label, e.awk->awk.CurrentDFA().StateCount(),
               (miss - construct) * 1e6, hit * 1e9, perName(e.awk.get(), true, false).c_str(),
               perName(e.re2.get(), okRe2, false).c_str(), perName(e.pcre.get(), okPcre, false).c_str(),
               perName(e.stdre.get(), okStd, true).c_str(), matches);
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
            const auto rate = [&](Engine* engine, bool ok, bool slow) -> std::string {
                if (!engine) return "n/a";
                if (!ok) return "DIFF";
                return Cell(mb / TimeIt([&] { engine->Match(*text); }, slow ? 0 : 0.25, slow ? 1 : 1000), "%.4g");
            };
            const Hit h = e.awk->Match(*text);
            printf("%-28s %-7s %6d %9s %9s %9s %10s %12s\n", p.Label, name, e.awk->awk.CurrentDFA().StateCount(),
                   rate(e.awk.get(), true, false).c_str(), rate(e.re2.get(), okRe2, false).c_str(),
                   rate(e.pcre.get(), okPcre, false).c_str(), rate(e.stdre.get(), okStd, true).c_str(),
                   (std::to_string(h.Pos) + "," + std::to_string(h.Len)).c_str());
            fflush(stdout);
        }
    }
}

}  // namespace

int main() {
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

    // Growth: the same patterns on texts 4 times apart; a ratio near 4 is linear.
    const Text g8 = bench::MakeProse(8 << 10, 2, true, needle);
    const Text g32 = bench::MakeProse(32 << 10, 3, true, needle);
    const std::vector<Pattern> growth = {
        {"literal", "NEEDLE"},
        {"words then Q", "[a-zぁ-んァ-ヶ]*Q"},
        {"anything incl. LF", "(.|\\n)*NEEDLE", false, false},
        {"no match, incl. LF", "(.|\\n)*NEEDLEX", false, false},
        {"no match, per line", ".*NEEDLEX"},
    };
    TextTable("growth, 8 KB against 32 KB", {{"8K", &g8}, {"32K", &g32}}, growth, false);

    // A pattern whose automaton passes the budget fails quickly.
    std::string exponential = "(a|b)*a";
    for (int i = 0; i < 25; ++i) exponential += "(a|b)";
    const auto t2 = Clock::now();
    try {
        regexp::TAWKStr awk;
        awk.SetRegExp(exponential);
        printf("\nexponential pattern compiled?\n");
    } catch (const regexp::ERegExpTooComplex&) {
        printf("\nexponential pattern (2^25 states) refused in %.1f ms\n", Seconds(Clock::now() - t2) * 1e3);
    }
    printf("total %.1f s\n", Seconds(Clock::now() - t0));
    return 0;
}
