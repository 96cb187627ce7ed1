// Shapes of the automata: anchors versus literal "^"/"$", disjoint sorted transitions, and the limits that
// make hostile patterns fail quickly instead of exhausting memory or the stack.
#include <gtest/gtest.h>

#include <string>

#include "regexp/dfa.h"
#include "regexp/errors.h"
#include "regexp/nfa.h"
#include "regexp/parser.h"
#include "sjis_text.h"

using namespace regexp;

namespace {

// One line per state: "A" when accepting, then "lo-hi>target" per transition, "^>t" and "$>t" for anchors.
std::string Shape(const std::string& pattern, bool* head = nullptr, bool* tail = nullptr) {
    TREParser parser(pattern);
    parser.Run();
    TRE_NFA nfa(parser, kLineHeadCode, kLineTailCode);
    nfa.Run();
    TRE_DFA dfa(nfa);
    dfa.Run();
    if (head) *head = dfa.LHeadFound;
    if (tail) *tail = dfa.LTailFound;
    std::string out;
    char buf[40];
    for (const auto& s : dfa.StateList) {
        out += s.Accepted ? "A" : "-";
        for (uint32_t i = s.TransBegin; i < s.TransEnd; ++i) {
            const auto& t = dfa.Transitions[i];
            snprintf(buf, sizeof buf, " %X-%X>%d", t.Low, t.High, static_cast<int>(t.Target));
            out += buf;
        }
        if (s.HeadTarget >= 0) out += " ^>" + std::to_string(s.HeadTarget);
        if (s.TailTarget >= 0) out += " $>" + std::to_string(s.TailTarget);
        out += ";";
    }
    return out;
}

TEST(Automata, Shapes) {
    struct Case {
        std::string pattern;
        std::string shape;
        bool head, tail;
    } cases[] = {
        {"", "A;", false, false},
        {"a*", "A 61-61>1;A 61-61>1;", false, false},
        {"^abc", "- ^>1;- 61-61>2;- 62-62>3;- 63-63>4;A;", true, false},
        {"abc$", "- 61-61>1;- 62-62>2;- 63-63>3;- $>4;A;", false, true},
        {"a^b", "- 61-61>1;- 5E-5E>2;- 62-62>3;A;", false, false},
        {"a$b", "- 61-61>1;- 24-24>2;- 62-62>3;A;", false, false},
        {"^*", "A 5E-5E>1;A 5E-5E>1;", false, false},
        {"[a-c]|b", "- 61-61>1 62-62>1 63-63>1;A;", false, false},
        {regexp_test::Sj(u8"あ|a"), "- 61-61>1 82A0-82A0>1;A;", false, false},
        {"^a|b", "- 62-62>1 ^>2;A;- 61-61>1;", true, false},
        {"a$|b", "- 61-61>1 62-62>2;- $>2;A;", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pattern);
        bool head = false, tail = false;
        EXPECT_EQ(Shape(c.pattern, &head, &tail), c.shape);
        EXPECT_EQ(head, c.head);
        EXPECT_EQ(tail, c.tail);
    }
}

TEST(Automata, LimitsRefuseHostilePatternsQuickly) {
    // Subset construction would need 2^25 states.
    std::string exponential = "(a|b)*a";
    for (int i = 0; i < 25; ++i) exponential += "(a|b)";
    // Each "+" doubles the NFA.
    std::string doubling = "a";
    for (int i = 0; i < 40; ++i) doubling = "(" + doubling + ")+";
    // A long literal builds deep trees and many states without recursion.
    const std::string longLiteral(200000, 'a');
    // Found by fuzzing: few NFA states, but a wide "." split into many pieces multiplies the DFA.
    const std::string dots = "\xC4"".*Y...*Y.*Y@.+f...............\x16""*..\x13""\xB8""F\xB9""\xFF""*.\xC4""*Y*..D";
    for (const std::string& pattern : {exponential, doubling, longLiteral, dots}) {
        SCOPED_TRACE(pattern.substr(0, 40));
        EXPECT_THROW(Shape(pattern), ERegExpTooComplex);
    }
    EXPECT_NO_THROW(Shape(std::string(5000, 'a')));
}

}  // namespace
