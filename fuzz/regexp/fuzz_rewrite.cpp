// Fuzz target for the dictionary rewrite: with the fuzzy flag on, every pattern that compiles with it off
// still compiles (or passes the compile budget: the rewrite makes it larger), within the budget's work; a
// pattern without a dictionary hit comes out unchanged; with only the synonym flag on (no synonym dictionary
// exists) the output is the input.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

#include "fuzz_checks.h"
#include "regexp/awk_str.h"
#include "regexp/fuzzy_char_dic.h"
#include "regexp/pre_processor.h"

namespace {

enum class Outcome { Compiled, TooComplex, Bad };

Outcome Compile(regexp::TAWKStr& awk, const std::string& pattern) {
    try {
        regexp_fuzz::WithinCompileWork([&] { awk.SetRegExp(pattern); });
        regexp_fuzz::CheckAutomaton(awk.CurrentDFA());
        return Outcome::Compiled;
    } catch (const regexp::ERegExpTooComplex&) {
        return Outcome::TooComplex;
    } catch (const regexp::ERegExpParser&) {
        return Outcome::Bad;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 200) return 0;
    const std::string pattern(reinterpret_cast<const char*>(data), size);
    static regexp::TAWKStr plain;
    static regexp::TAWKStr* fuzzy = [] {
        auto* awk = new regexp::TAWKStr;
        awk->SetUseFuzzyCharDic(true);
        return awk;
    }();
    if (Compile(plain, pattern) != Outcome::Compiled) return 0;
    if (Compile(*fuzzy, pattern) == Outcome::Bad) __builtin_trap();

    regexp::TREPreProcessor pre(pattern);
    pre.UseSynonymDic = true;
    pre.Run();
    if (pre.Output != pattern) __builtin_trap();

    // Without any possible hit the fuzzy rewrite is the identity: no ordinary character outside a class
    // starts a dictionary word.
    static const std::set<regexp::CharCode> firstCodes = [] {
        std::set<regexp::CharCode> codes;
        for (const auto& row : regexp::FuzzyCharDic()) {
            for (const auto& word : row) {
                int32_t position = 1;
                if (!word.empty()) codes.insert(regexp::GetChar(word, position));
            }
        }
        return codes;
    }();
    regexp::TREScanner scanner(pattern);
    bool candidate = false;
    bool inClass = false;
    for (regexp::TREToken t; (t = scanner.GetToken()) != regexp::tkEnd;) {
        if (t == regexp::tkLBra || t == regexp::tkLBraNegative) inClass = true;
        if (t == regexp::tkRBra) inClass = false;
        if (t == regexp::tkChar && !inClass && firstCodes.count(scanner.Code)) candidate = true;
    }
    pre.UseFuzzyCharDic = true;
    pre.FuzzyCharDicList.push_back(&regexp::FuzzyCharDic());
    pre.SetTargetText(pattern);
    pre.Run();
    if (!candidate && pre.Output != pattern) __builtin_trap();
    return 0;
}
