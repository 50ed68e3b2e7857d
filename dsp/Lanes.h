// The four capsule channels side by side in one vector: lane k carries channel k. Filters that
// run the same recursion on all four channels process them together this way, one vector
// operation per scalar operation, so every channel sees exactly its own arithmetic in its own
// order and the samples are bit-identical to running the channels one after the other.
//
// SSE2 is the baseline of every x86 target we build (x86-64, and the 32-bit build with -msse2);
// elsewhere SONQUAD_LANES is 0 and callers run the channels one by one.
#pragma once

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define SONQUAD_LANES 1
#include <emmintrin.h>
#include <cstdint>

namespace lanes {

// Four samples of four channels, as four vectors of one channel each (channel form, rows) or as
// four vectors of one time step each (lane form, columns).
struct Block4 {
    __m128 r0, r1, r2, r3;
};

// Rows <-> columns of a 4 x 4 block of floats.
inline void transpose(Block4& b)
{
    const __m128 t0 = _mm_unpacklo_ps(b.r0, b.r1);   // a0 b0 a1 b1
    const __m128 t1 = _mm_unpacklo_ps(b.r2, b.r3);   // c0 d0 c1 d1
    const __m128 t2 = _mm_unpackhi_ps(b.r0, b.r1);   // a2 b2 a3 b3
    const __m128 t3 = _mm_unpackhi_ps(b.r2, b.r3);   // c2 d2 c3 d3
    b.r0 = _mm_movelh_ps(t0, t1);
    b.r1 = _mm_movehl_ps(t1, t0);
    b.r2 = _mm_movelh_ps(t2, t3);
    b.r3 = _mm_movehl_ps(t3, t2);
}

// Samples i .. i+3 of the four channels, one time step per vector.
inline Block4 loadSteps(float* const channels[4], std::int32_t i)
{
    Block4 b {_mm_loadu_ps(channels[0] + i), _mm_loadu_ps(channels[1] + i), _mm_loadu_ps(channels[2] + i),
              _mm_loadu_ps(channels[3] + i)};
    transpose(b);
    return b;
}

// Stores four time steps back as samples i .. i+3 of the four channels.
inline void storeSteps(float* const channels[4], std::int32_t i, Block4 b)
{
    transpose(b);
    _mm_storeu_ps(channels[0] + i, b.r0);
    _mm_storeu_ps(channels[1] + i, b.r1);
    _mm_storeu_ps(channels[2] + i, b.r2);
    _mm_storeu_ps(channels[3] + i, b.r3);
}

// Sample i of the four channels as one vector, and back: the steps left after the blocks of four.
inline __m128 loadStep(float* const channels[4], std::int32_t i)
{
    return _mm_setr_ps(channels[0][i], channels[1][i], channels[2][i], channels[3][i]);
}

inline void storeStep(float* const channels[4], std::int32_t i, __m128 v)
{
    alignas(16) float s[4];
    _mm_store_ps(s, v);
    for (int k = 0; k < 4; ++k)
        channels[k][i] = s[k];
}

} // namespace lanes
#else
#define SONQUAD_LANES 0
#endif

#include <cstdint>

namespace lanes {

// sums[k] = 0 + x[0]^2 + x[1]^2 + ... over samples 0 .. count-1 of channel k, added in sample
// order in single precision: each channel's sum as a plain loop over that channel gives it.
inline void sumOfSquaresFour(float* const channels[4], std::int32_t count, float sums[4])
{
#if SONQUAD_LANES
    __m128 sum = _mm_setzero_ps();
    std::int32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const Block4 b = loadSteps(channels, i);
        sum = _mm_add_ps(sum, _mm_mul_ps(b.r0, b.r0));
        sum = _mm_add_ps(sum, _mm_mul_ps(b.r1, b.r1));
        sum = _mm_add_ps(sum, _mm_mul_ps(b.r2, b.r2));
        sum = _mm_add_ps(sum, _mm_mul_ps(b.r3, b.r3));
    }
    for (; i < count; ++i) {
        const __m128 x = loadStep(channels, i);
        sum = _mm_add_ps(sum, _mm_mul_ps(x, x));
    }
    _mm_storeu_ps(sums, sum);
#else
    for (int k = 0; k < 4; ++k) {
        float sum = 0.0f;
        for (std::int32_t i = 0; i < count; ++i)
            sum += channels[k][i] * channels[k][i];
        sums[k] = sum;
    }
#endif
}

} // namespace lanes
