// Replaces the global operator new and delete of the benchmark program. Every block carries a
// header with its requested size, so that delete can take the same number off the live count.
#include "heap_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace vestrand::bench {

namespace {

std::atomic<int64_t> g_live{0};
std::atomic<int64_t> g_peak{0};
std::atomic<int64_t> g_blocks{0};

constexpr size_t kHeader = 16; // keeps the block aligned for every fundamental type

void* Allocate(size_t size, bool nothrow) {
    void* raw = std::malloc(size + kHeader);
    if (!raw) {
        if (nothrow)
            return nullptr;
        throw std::bad_alloc();
    }
    *static_cast<size_t*>(raw) = size;
    const int64_t live =
        g_live.fetch_add(static_cast<int64_t>(size), std::memory_order_relaxed) + static_cast<int64_t>(size);
    int64_t peak = g_peak.load(std::memory_order_relaxed);
    while (live > peak && !g_peak.compare_exchange_weak(peak, live, std::memory_order_relaxed)) {
    }
    g_blocks.fetch_add(1, std::memory_order_relaxed);
    return static_cast<char*>(raw) + kHeader;
}

void Release(void* p) {
    if (!p)
        return;
    void* raw = static_cast<char*>(p) - kHeader;
    g_live.fetch_sub(static_cast<int64_t>(*static_cast<size_t*>(raw)), std::memory_order_relaxed);
    g_blocks.fetch_sub(1, std::memory_order_relaxed);
    std::free(raw);
}

} // namespace

int64_t HeapLiveBytes() {
    return g_live.load(std::memory_order_relaxed);
}
int64_t HeapPeakBytes() {
    return g_peak.load(std::memory_order_relaxed);
}
int64_t HeapBlocks() {
    return g_blocks.load(std::memory_order_relaxed);
}
void ResetHeapPeak() {
    g_peak.store(g_live.load(std::memory_order_relaxed), std::memory_order_relaxed);
}

} // namespace vestrand::bench

void* operator new(size_t size) {
    return vestrand::bench::Allocate(size, false);
}
void* operator new[](size_t size) {
    return vestrand::bench::Allocate(size, false);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    return vestrand::bench::Allocate(size, true);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    return vestrand::bench::Allocate(size, true);
}
void operator delete(void* p) noexcept {
    vestrand::bench::Release(p);
}
void operator delete[](void* p) noexcept {
    vestrand::bench::Release(p);
}
void operator delete(void* p, size_t) noexcept {
    vestrand::bench::Release(p);
}
void operator delete[](void* p, size_t) noexcept {
    vestrand::bench::Release(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    vestrand::bench::Release(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    vestrand::bench::Release(p);
}
