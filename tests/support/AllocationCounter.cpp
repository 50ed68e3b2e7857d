#include "AllocationCounter.h"

#include <cstdlib>
#include <new>

namespace testsupport {
std::atomic<bool> AllocationCounter::counting {false};
std::atomic<long> AllocationCounter::count {0};

namespace {
thread_local std::atomic<long>* threadCount = nullptr;   // this thread's counter, while a ThreadScope lives
}

AllocationCounter::ThreadScope::ThreadScope(std::atomic<long>& allocations) { threadCount = &allocations; }
AllocationCounter::ThreadScope::~ThreadScope() { threadCount = nullptr; }
} // namespace testsupport

void* operator new(std::size_t size)
{
    using testsupport::AllocationCounter;
    if (AllocationCounter::counting.load(std::memory_order_relaxed))
        AllocationCounter::count.fetch_add(1, std::memory_order_relaxed);
    if (testsupport::threadCount)
        testsupport::threadCount->fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

void* operator new[](std::size_t size) { return operator new(size); }

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try { return operator new(size); } catch (...) { return nullptr; }
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return operator new(size, std::nothrow); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
