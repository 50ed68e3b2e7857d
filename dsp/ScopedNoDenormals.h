// Sets the processor's flush-to-zero and denormals-are-zero modes for the life of the object and
// restores the previous modes after it, so that decaying filter tails never fall into slow
// denormal arithmetic. Placed at the top of every audio callback.
// Threads: changes the modes of the calling thread only (the audio thread, around a block).
#pragma once

#if defined(__SSE__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 1)
#include <xmmintrin.h>
#define SONQUAD_HAS_MXCSR 1
#endif

class ScopedNoDenormals {
public:
#if defined(SONQUAD_HAS_MXCSR)
    // FTZ is bit 15 and DAZ bit 6 of MXCSR.
    static constexpr unsigned kFlushModes = 0x8040u;

    ScopedNoDenormals() : saved(_mm_getcsr()) { _mm_setcsr(saved | kFlushModes); }
    ~ScopedNoDenormals() { _mm_setcsr(saved); }

private:
    unsigned saved;   // MXCSR as the host had it
#else
    ScopedNoDenormals() = default;
#endif
public:
    ScopedNoDenormals(const ScopedNoDenormals&) = delete;
    ScopedNoDenormals& operator=(const ScopedNoDenormals&) = delete;
};
