// The replaced global allocator: counts, then hands the request to the C
// library's own allocator. Relaxed atomics: the figure is read around a loop
// on the thread that ran it.
#include "benchmarks/alloc_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

extern "C" {
void *__libc_malloc(std::size_t);
void *__libc_calloc(std::size_t, std::size_t);
void *__libc_realloc(void *, std::size_t);
void __libc_free(void *);
}

namespace {
std::atomic<long> count{0};

void *counted(std::size_t size) {
    count.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size == 0 ? 1 : size);
}

void *counted_aligned(std::size_t size, std::size_t alignment) {
    count.fetch_add(1, std::memory_order_relaxed);
    void *p = nullptr;
    if (alignment < sizeof(void *)) alignment = sizeof(void *);
    return posix_memalign(&p, alignment, size == 0 ? 1 : size) == 0 ? p : nullptr;
}
}  // namespace

namespace vek::bench {
long allocations() { return count.load(std::memory_order_relaxed); }
}  // namespace vek::bench

extern "C" {
void *malloc(std::size_t size) {
    count.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}
void *calloc(std::size_t n, std::size_t size) {
    count.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(n, size);
}
void *realloc(void *p, std::size_t size) {
    count.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, size);
}
}

void *operator new(std::size_t size) {
    if (void *p = counted(size)) return p;
    throw std::bad_alloc();
}
void *operator new[](std::size_t size) { return operator new(size); }
void *operator new(std::size_t size, const std::nothrow_t &) noexcept { return counted(size); }
void *operator new[](std::size_t size, const std::nothrow_t &) noexcept { return counted(size); }
void *operator new(std::size_t size, std::align_val_t a) {
    if (void *p = counted_aligned(size, static_cast<std::size_t>(a))) return p;
    throw std::bad_alloc();
}
void *operator new[](std::size_t size, std::align_val_t a) { return operator new(size, a); }
void *operator new(std::size_t size, std::align_val_t a, const std::nothrow_t &) noexcept {
    return counted_aligned(size, static_cast<std::size_t>(a));
}
void *operator new[](std::size_t size, std::align_val_t a, const std::nothrow_t &) noexcept {
    return counted_aligned(size, static_cast<std::size_t>(a));
}

void operator delete(void *p) noexcept { std::free(p); }
void operator delete[](void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t) noexcept { std::free(p); }
void operator delete(void *p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void *p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void *p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete(void *p, const std::nothrow_t &) noexcept { std::free(p); }
void operator delete[](void *p, const std::nothrow_t &) noexcept { std::free(p); }
