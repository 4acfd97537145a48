#include "AllocationCounter.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace lanternwick::bench {
namespace {

std::atomic<std::int64_t> current{0};
std::atomic<std::int64_t> peak{0};

void* allocate(std::size_t size) noexcept {
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) return nullptr;
    const auto bytes = static_cast<std::int64_t>(malloc_usable_size(block));
    const std::int64_t now = current.fetch_add(bytes, std::memory_order_relaxed) + bytes;
    std::int64_t seen = peak.load(std::memory_order_relaxed);
    while (now > seen && !peak.compare_exchange_weak(seen, now, std::memory_order_relaxed)) {
    }
    return block;
}

void release(void* block) noexcept {
    if (block == nullptr) return;
    current.fetch_sub(static_cast<std::int64_t>(malloc_usable_size(block)), std::memory_order_relaxed);
    std::free(block);
}

void* allocateOrThrow(std::size_t size) {
    void* block = allocate(size);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

}  // namespace

std::int64_t allocatedBytes() { return current.load(std::memory_order_relaxed); }

std::int64_t resetPeak() {
    const std::int64_t now = current.load(std::memory_order_relaxed);
    peak.store(now, std::memory_order_relaxed);
    return now;
}

std::int64_t peakBytes() { return peak.load(std::memory_order_relaxed); }

}  // namespace lanternwick::bench

void* operator new(std::size_t size) { return lanternwick::bench::allocateOrThrow(size); }
void* operator new[](std::size_t size) { return lanternwick::bench::allocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return lanternwick::bench::allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return lanternwick::bench::allocate(size); }
void operator delete(void* block) noexcept { lanternwick::bench::release(block); }
void operator delete[](void* block) noexcept { lanternwick::bench::release(block); }
void operator delete(void* block, std::size_t) noexcept { lanternwick::bench::release(block); }
void operator delete[](void* block, std::size_t) noexcept { lanternwick::bench::release(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { lanternwick::bench::release(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { lanternwick::bench::release(block); }
