// Counts calls of the global operator new: everywhere while a Scope lives, or on one thread while a
// ThreadScope lives there; the replacement also serves the plug-in module the test binary loads.
#pragma once

#include <atomic>

namespace testsupport {

struct AllocationCounter {
    static std::atomic<bool> counting;   // count allocations on every thread
    static std::atomic<long> count;      // allocations seen since the last Scope started

    // Counts on every thread while alive.
    struct Scope {
        Scope()
        {
            count = 0;
            counting = true;
        }
        ~Scope() { counting = false; }
    };

    // Counts the calling thread's allocations into allocations while alive.
    struct ThreadScope {
        explicit ThreadScope(std::atomic<long>& allocations);
        ~ThreadScope();
    };
};

} // namespace testsupport
