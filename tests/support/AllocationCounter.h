// Counts calls of the global operator new while counting is switched on. The test binary's
// replacement of operator new also serves the plug-in module it loads, so the count covers
// everything the plug-in allocates.
#pragma once

#include <atomic>

namespace testhost {

struct AllocationCounter {
    static std::atomic<bool> counting;
    static std::atomic<long> count;

    // Counts while alive.
    struct Scope {
        Scope() { count = 0; counting = true; }
        ~Scope() { counting = false; }
    };
};

} // namespace testhost
