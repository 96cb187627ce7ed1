// The start scan's byte automaton, built state by state as the text needs it.
#include "regexp/start_scan.h"

#include <algorithm>

namespace regexp {
namespace {

constexpr int kMaxRestarts = 4;

uint64_t HashState(const std::vector<int32_t>& members, unsigned char lead) {
    uint64_t h = 0x9E3779B97F4A7C15ull ^ lead;
    for (const int32_t m : members) h = (h ^ static_cast<uint32_t>(m)) * 0x100000001B3ull;
    return h;
}

}  // namespace

void TREStartScan::Reset(const TRE_DFA& dfa, int separator) {
    // Rows keep their blocks while they keep their size.
    if (Width != dfa.ScanClassCount + 1) Blocks.clear();
    Width = dfa.ScanClassCount + 1;
    Serial = dfa.Serial;
    Separator = separator;
    Dfa = &dfa;
    Lead.clear();
    SetBegin.assign(1, 0);
    Members.clear();
    Index.clear();
    Scratch.clear();
    Intern(Scratch, 0);  // state 0: no earlier walk alive
}

void TREStartScan::Claim(const TRE_DFA& dfa) { Reset(dfa, Separator); }

const char* TREStartScan::Run(const TRE_DFA& dfa, const char* text, int separator) {
    if (Serial != dfa.Serial || Separator != separator) Reset(dfa, separator);
    Restarts = 0;
    const uint8_t* const cls = dfa.ScanClass;
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    // The last boundary in state 0, kept with masks: a conditional move may become a branch, and that
    // one goes either way at every word's end.
    auto live = reinterpret_cast<uintptr_t>(p);
    const auto none = reinterpret_cast<Entry>(RowOf(0));
    Entry r = none;
    for (;;) {
        Entry n;
        while (((n = reinterpret_cast<const Entry*>(r)[cls[*p]]) & 1) == 0) {
            ++p;
            r = n;
            const uintptr_t here = 0 - static_cast<uintptr_t>(r == none);
            live = (reinterpret_cast<uintptr_t>(p) & here) | (live & ~here);
        }
        if (n == kMatch) return reinterpret_cast<const char*>(live);
        if (n == kEnd) return nullptr;
        auto* row = reinterpret_cast<Entry*>(r);
        Fill(row, cls[*p]);
        if (Restarts > kMaxRestarts) return reinterpret_cast<const char*>(live);
        r = reinterpret_cast<Entry>(row);
    }
}

bool TREStartScan::Step(size_t id, uint32_t code, std::vector<int32_t>& out) const {
    out.clear();
    const auto step = [&](int32_t from) {
        const int32_t to = Dfa->NextState(from, static_cast<CharCode>(code));
        if (to >= 0) out.push_back(Dfa->StateClass[static_cast<size_t>(to)]);
    };
    for (uint32_t i = SetBegin[id]; i < SetBegin[id + 1]; ++i) step(Members[i]);
    step(Dfa->InitialState);
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    for (const int32_t m : out) {
        if (Dfa->StateFlags[static_cast<size_t>(m)] & TRE_DFA::kAccepts) return true;
    }
    return false;
}

bool TREStartScan::EndsMatch(const std::vector<int32_t>& members, int next) const {
    if (next != 0 && next != Separator) return false;
    for (const int32_t m : members) {
        if (Dfa->StateFlags[static_cast<size_t>(m)] & TRE_DFA::kTailAccepts) return true;
    }
    return false;
}

void TREStartScan::Fill(Entry*& r, uint32_t c) {
    const auto id = static_cast<size_t>(r[RowSize() - 1]);
    const unsigned char lead = Lead[id];
    // Every byte of the class behaves as this one does, read in any of its roles.
    const unsigned char b = Dfa->ScanClassByte[c];
    std::vector<int32_t>& out = Scratch;
    const auto row = [](Entry* made) { return made ? reinterpret_cast<Entry>(made) : kUnknown; };
    Entry entry;
    if (lead == 0) {
        out.assign(Members.begin() + SetBegin[id], Members.begin() + SetBegin[id + 1]);
        if (EndsMatch(out, b)) {
            entry = kMatch;  // a line tail ends a walk here
        } else if (b == 0) {
            entry = kEnd;
        } else if (IsLeadByte(b)) {
            entry = row(Intern(out, b));  // the same walks, inside a character
        } else {
            entry = Step(id, b, out) ? kMatch : row(Intern(out, 0));
        }
    } else if (b == 0) {
        // A lead byte right before the end is a character of its own.
        entry = Step(id, lead, out) || EndsMatch(out, 0) ? kMatch : kEnd;
    } else {
        entry = Step(id, static_cast<uint32_t>(lead) << 8 | b, out) ? kMatch : row(Intern(out, 0));
    }
    if (entry == kUnknown) {
        // Full: drop every state but this one and go on.
        std::vector<int32_t> members(Members.begin() + SetBegin[id], Members.begin() + SetBegin[id + 1]);
        ++Restarts;
        Reset(*Dfa, Separator);
        r = Intern(members, lead);
        Fill(r, c);
        return;
    }
    r[c] = entry;
}

TREStartScan::Entry* TREStartScan::Intern(const std::vector<int32_t>& members, unsigned char lead) {
    const uint64_t h = HashState(members, lead);
    const auto [first, last] = Index.equal_range(h);
    for (auto it = first; it != last; ++it) {
        const size_t id = it->second;
        if (Lead[id] == lead && std::equal(members.begin(), members.end(), Members.begin() + SetBegin[id],
                                           Members.begin() + SetBegin[id + 1])) {
            return RowOf(id);
        }
    }
    const size_t id = Lead.size();
    const size_t bytes =
        (id + 1) * (RowSize() * sizeof(Entry) + 48) + (Members.size() + members.size()) * sizeof(int32_t);
    if (id > 0 && bytes > kMaxBytes) return nullptr;
    if (id / kBlockRows == Blocks.size()) Blocks.push_back(std::make_unique<Entry[]>(kBlockRows * RowSize()));
    Entry* made = RowOf(id);
    std::fill(made, made + RowSize() - 1, kUnknown);
    made[RowSize() - 1] = id;
    Lead.push_back(lead);
    Members.insert(Members.end(), members.begin(), members.end());
    SetBegin.push_back(static_cast<uint32_t>(Members.size()));
    Index.emplace(h, static_cast<uint32_t>(id));
    return made;
}

}  // namespace regexp
