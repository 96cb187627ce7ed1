// TRECompileBudget: what one compilation may spend. Every stage (parse tree, leaf splitting, NFA, subset
// construction, the byte tables) charges the work it does and the memory it keeps before it does it, so any
// pattern, whatever its length, is compiled or refused within a bounded time and a bounded peak memory.
#pragma once

#include <cstddef>
#include <cstdint>

namespace regexp {

class TRECompileBudget {
public:
    // Work units: one is about one transition scanned or one element moved. The limit is about 100 ms of
    // compiling in the slowest build (32-bit, under Wine).
    static constexpr uint64_t kMaxCompileWork = 24'000'000;
    // Bytes a compilation may hold at once, parse tree included (charged, never refunded, so the real peak
    // stays below it).
    static constexpr uint64_t kMaxCompileBytes = 32ull << 20;

    // The refusal carries the scanner's position at the moment it happens: where the parser stands, or the
    // end of the pattern once it has been read whole.
    explicit TRECompileBudget(const int32_t* position = nullptr) : Position(position) {}

    void Spend(uint64_t units) {
        Work += units;
        if (Work > kMaxCompileWork) Fail();
    }
    // Sorting n elements: n log n comparisons, each with its moves about two units.
    void SpendSort(uint64_t n) {
        uint64_t log = 1;
        while ((uint64_t{1} << log) < n) ++log;
        Spend(2 * n * log);
    }
    void Keep(uint64_t bytes) {
        Bytes += bytes;
        if (Bytes > kMaxCompileBytes) Fail();
    }
    // A growing container of elemBytes-sized elements reached size n: charges what it may hold beyond its
    // largest size so far (a vector may hold twice its size, three times while it moves to a larger buffer).
    void KeepGrowth(size_t& largest, size_t n, size_t elemBytes) {
        if (n <= largest) return;
        Keep(3ull * (n - largest) * elemBytes);
        largest = n;
    }
    // Whether optional work (an index that only makes matching faster) still fits: it is left out rather
    // than refuse a pattern that compiles without it.
    bool CanAfford(uint64_t units, uint64_t bytes) const {
        return Work + units <= kMaxCompileWork && Bytes + bytes <= kMaxCompileBytes;
    }
    [[noreturn]] void Fail() const;

    uint64_t Work = 0;
    uint64_t Bytes = 0;

private:
    const int32_t* Position;
};

}  // namespace regexp
