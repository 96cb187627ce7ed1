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

namespace regexp_test {

inline void* MeteredAlloc(std::size_t n) noexcept {
    auto* block = static_cast<unsigned char*>(std::malloc(n + AllocMeter::kHeader));
    if (block == nullptr) return nullptr;
    *reinterpret_cast<std::size_t*>(block) = n + AllocMeter::kHeader;
    AllocMeter::Current += n + AllocMeter::kHeader;
    if (AllocMeter::Current > AllocMeter::Peak) AllocMeter::Peak = AllocMeter::Current;
    return block + AllocMeter::kHeader;
}

// GCC cannot see that the block came from MeteredAlloc's malloc.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
inline void MeteredFree(void* p) noexcept {
    if (p == nullptr) return;
    auto* block = static_cast<unsigned char*>(p) - AllocMeter::kHeader;
    AllocMeter::Current -= *reinterpret_cast<std::size_t*>(block);
    std::free(block);
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

}  // namespace regexp_test

// Every form, so that none falls back on a runtime's own (a sanitizer brings its own of each).
void* operator new(std::size_t n) {
    if (void* p = regexp_test::MeteredAlloc(n)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return regexp_test::MeteredAlloc(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return regexp_test::MeteredAlloc(n); }
void operator delete(void* p) noexcept { regexp_test::MeteredFree(p); }
void operator delete[](void* p) noexcept { regexp_test::MeteredFree(p); }
void operator delete(void* p, std::size_t) noexcept { regexp_test::MeteredFree(p); }
void operator delete[](void* p, std::size_t) noexcept { regexp_test::MeteredFree(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { regexp_test::MeteredFree(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { regexp_test::MeteredFree(p); }
