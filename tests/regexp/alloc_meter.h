// Test helper: counts the heap bytes the program holds, with the peak since the last reset. Include it in
// exactly one source file of a program: it replaces the global operator new and delete of that program.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>

namespace regexp_test {

struct AllocMeter {
    // A heap block costs its size plus a header of this many bytes (malloc's own is about as large).
    static constexpr size_t kHeader = 16;
    static inline size_t Current = 0;
    static inline size_t Peak = 0;

    // Starts a measurement; PeakSinceReset() is then what was held at most beyond what is held now.
    static size_t Reset() {
        Peak = Current;
        return Current;
    }
};

}  // namespace regexp_test

void* operator new(std::size_t n) {
    using regexp_test::AllocMeter;
    auto* block = static_cast<unsigned char*>(std::malloc(n + AllocMeter::kHeader));
    if (block == nullptr) throw std::bad_alloc();
    *reinterpret_cast<std::size_t*>(block) = n + AllocMeter::kHeader;
    AllocMeter::Current += n + AllocMeter::kHeader;
    if (AllocMeter::Current > AllocMeter::Peak) AllocMeter::Peak = AllocMeter::Current;
    return block + AllocMeter::kHeader;
}

void operator delete(void* p) noexcept {
    if (p == nullptr) return;
    auto* block = static_cast<unsigned char*>(p) - regexp_test::AllocMeter::kHeader;
    regexp_test::AllocMeter::Current -= *reinterpret_cast<std::size_t*>(block);
    std::free(block);
}

void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
