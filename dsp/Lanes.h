// Four channels side by side: lane k of a vector carries channel k. A recursion written once as a
// template over its number type (dsp/Sections.h) runs on float or double for one channel and on
// F32x4 or F64x4 for four: one vector operation per scalar operation, so every channel sees exactly
// its own arithmetic in its own order and the four-channel result is bit-identical to running the
// channels one after the other.
//
// SSE2 is the baseline of every x86 target we build (x86-64, and the 32-bit build with -msse2);
// a file compiled for AVX holds F64x4 in one register; elsewhere the same types are four plain
// numbers, element by element. Lane by lane every variant does the same operations.
// Threads: plain arithmetic on values, any thread (the audio thread included).
#pragma once

#include <cstdint>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define SONQUAD_LANES 1
#include <emmintrin.h>
#else
#define SONQUAD_LANES 0
#endif

// A file compiled for AVX (engine/CapsulePassAvx2.cpp) carries the four doubles in one register.
// Each instruction set's types live in a namespace of their own, so that the inline functions of
// two files compiled for different processors never meet at link time.
#if SONQUAD_LANES && defined(__AVX__)
#define SONQUAD_LANES_AVX 1
#define SONQUAD_LANES_SET avx
#include <immintrin.h>
#elif SONQUAD_LANES
#define SONQUAD_LANES_AVX 0
#define SONQUAD_LANES_SET sse2
#else
#define SONQUAD_LANES_AVX 0
#define SONQUAD_LANES_SET plain
#endif

namespace lanes {
inline namespace SONQUAD_LANES_SET {

#if SONQUAD_LANES

// Four floats, lane k = channel k.
struct F32x4 {
    __m128 v;
    F32x4() : v(_mm_setzero_ps()) {}
    explicit F32x4(float all) : v(_mm_set1_ps(all)) {}
    explicit F32x4(__m128 value) : v(value) {}
    static F32x4 of(float c0, float c1, float c2, float c3) { return F32x4(_mm_setr_ps(c0, c1, c2, c3)); }
    static F32x4 load(const float* p) { return F32x4(_mm_loadu_ps(p)); }
    void store(float (&out)[4]) const { _mm_storeu_ps(out, v); }
    void storeTo(float* p) const { _mm_storeu_ps(p, v); }
};
inline F32x4 operator+(F32x4 a, F32x4 b) { return F32x4(_mm_add_ps(a.v, b.v)); }
inline F32x4 operator-(F32x4 a, F32x4 b) { return F32x4(_mm_sub_ps(a.v, b.v)); }
inline F32x4 operator*(F32x4 a, F32x4 b) { return F32x4(_mm_mul_ps(a.v, b.v)); }

#if SONQUAD_LANES_AVX

// Four doubles in one register.
struct F64x4 {
    __m256d v;
    F64x4() : v(_mm256_setzero_pd()) {}
    explicit F64x4(double all) : v(_mm256_set1_pd(all)) {}
    explicit F64x4(__m256d value) : v(value) {}
    static F64x4 of(double c0, double c1, double c2, double c3) { return F64x4(_mm256_setr_pd(c0, c1, c2, c3)); }
    static F64x4 load(const double* p) { return F64x4(_mm256_loadu_pd(p)); }
    void store(double (&out)[4]) const { _mm256_storeu_pd(out, v); }
    void storeTo(double* p) const { _mm256_storeu_pd(p, v); }
};
inline F64x4 operator+(F64x4 a, F64x4 b) { return F64x4(_mm256_add_pd(a.v, b.v)); }
inline F64x4 operator-(F64x4 a, F64x4 b) { return F64x4(_mm256_sub_pd(a.v, b.v)); }
inline F64x4 operator*(F64x4 a, F64x4 b) { return F64x4(_mm256_mul_pd(a.v, b.v)); }
inline F64x4 widen(F32x4 x) { return F64x4(_mm256_cvtps_pd(x.v)); }
inline F32x4 narrow(F64x4 x) { return F32x4(_mm256_cvtpd_ps(x.v)); }

// Eight samples of one channel, and the same widened to double: the A-to-B matrix works across
// time, eight samples at once where the registers hold them.
struct F32x8 {
    __m256 v;
    F32x8() : v(_mm256_setzero_ps()) {}
    explicit F32x8(float all) : v(_mm256_set1_ps(all)) {}
    explicit F32x8(__m256 value) : v(value) {}
    static F32x8 join(F32x4 first, F32x4 second) { return F32x8(_mm256_set_m128(second.v, first.v)); }
    F32x4 first() const { return F32x4(_mm256_castps256_ps128(v)); }
    F32x4 second() const { return F32x4(_mm256_extractf128_ps(v, 1)); }
};
inline F32x8 operator+(F32x8 a, F32x8 b) { return F32x8(_mm256_add_ps(a.v, b.v)); }
inline F32x8 operator-(F32x8 a, F32x8 b) { return F32x8(_mm256_sub_ps(a.v, b.v)); }
inline F32x8 operator*(F32x8 a, F32x8 b) { return F32x8(_mm256_mul_ps(a.v, b.v)); }

struct F64x8 {
    __m256d first, second;
    explicit F64x8(double all) : first(_mm256_set1_pd(all)), second(_mm256_set1_pd(all)) {}
    F64x8(__m256d a, __m256d b) : first(a), second(b) {}
};
inline F64x8 operator*(F64x8 a, F64x8 b) { return {_mm256_mul_pd(a.first, b.first), _mm256_mul_pd(a.second, b.second)}; }
inline F64x8 widen(F32x8 x) { return {_mm256_cvtps_pd(x.first().v), _mm256_cvtps_pd(x.second().v)}; }
inline F32x8 narrow(F64x8 x) { return F32x8::join(F32x4(_mm256_cvtpd_ps(x.first)), F32x4(_mm256_cvtpd_ps(x.second))); }

#else

// Four doubles in two registers: channels 0 and 1, then 2 and 3.
struct F64x4 {
    __m128d lo, hi;
    F64x4() : lo(_mm_setzero_pd()), hi(_mm_setzero_pd()) {}
    explicit F64x4(double all) : lo(_mm_set1_pd(all)), hi(_mm_set1_pd(all)) {}
    F64x4(__m128d low, __m128d high) : lo(low), hi(high) {}
    static F64x4 of(double c0, double c1, double c2, double c3) { return {_mm_setr_pd(c0, c1), _mm_setr_pd(c2, c3)}; }
    static F64x4 load(const double* p) { return {_mm_loadu_pd(p), _mm_loadu_pd(p + 2)}; }
    void store(double (&out)[4]) const { storeTo(out); }
    void storeTo(double* p) const
    {
        _mm_storeu_pd(p, lo);
        _mm_storeu_pd(p + 2, hi);
    }
};
inline F64x4 operator+(F64x4 a, F64x4 b) { return {_mm_add_pd(a.lo, b.lo), _mm_add_pd(a.hi, b.hi)}; }
inline F64x4 operator-(F64x4 a, F64x4 b) { return {_mm_sub_pd(a.lo, b.lo), _mm_sub_pd(a.hi, b.hi)}; }
inline F64x4 operator*(F64x4 a, F64x4 b) { return {_mm_mul_pd(a.lo, b.lo), _mm_mul_pd(a.hi, b.hi)}; }

// Each lane widened to double exactly, and rounded back to float as a scalar cast rounds.
inline F64x4 widen(F32x4 x) { return {_mm_cvtps_pd(x.v), _mm_cvtps_pd(_mm_movehl_ps(x.v, x.v))}; }
inline F32x4 narrow(F64x4 x) { return F32x4(_mm_movelh_ps(_mm_cvtpd_ps(x.lo), _mm_cvtpd_ps(x.hi))); }

#endif

// Samples i .. i+3 of the four channels as four time steps (one F32x4 per step), and back: a 4 x 4
// transpose between channel rows and lane columns.
struct Steps4 {
    F32x4 s[4];
};

inline void transpose(__m128& r0, __m128& r1, __m128& r2, __m128& r3)
{
    const __m128 t0 = _mm_unpacklo_ps(r0, r1);   // a0 b0 a1 b1
    const __m128 t1 = _mm_unpacklo_ps(r2, r3);   // c0 d0 c1 d1
    const __m128 t2 = _mm_unpackhi_ps(r0, r1);   // a2 b2 a3 b3
    const __m128 t3 = _mm_unpackhi_ps(r2, r3);   // c2 d2 c3 d3
    r0 = _mm_movelh_ps(t0, t1);
    r1 = _mm_movehl_ps(t1, t0);
    r2 = _mm_movelh_ps(t2, t3);
    r3 = _mm_movehl_ps(t3, t2);
}

// Rows (channel k's samples i .. i+3 in s[k]) to steps and back: the transpose is its own inverse.
inline void transposeInPlace(Steps4& b) { transpose(b.s[0].v, b.s[1].v, b.s[2].v, b.s[3].v); }

inline Steps4 loadSteps(const float* const channels[4], std::int32_t i)
{
    __m128 r0 = _mm_loadu_ps(channels[0] + i), r1 = _mm_loadu_ps(channels[1] + i);
    __m128 r2 = _mm_loadu_ps(channels[2] + i), r3 = _mm_loadu_ps(channels[3] + i);
    transpose(r0, r1, r2, r3);
    return {{F32x4(r0), F32x4(r1), F32x4(r2), F32x4(r3)}};
}

#else

template <class T>
struct Quad {
    T v[4];
    Quad() : v {} {}
    explicit Quad(T all) : v {all, all, all, all} {}
    static Quad load(const T* p) { return of(p[0], p[1], p[2], p[3]); }
    static Quad of(T c0, T c1, T c2, T c3)
    {
        Quad q;
        q.v[0] = c0;
        q.v[1] = c1;
        q.v[2] = c2;
        q.v[3] = c3;
        return q;
    }
    void store(T (&out)[4]) const
    {
        for (int k = 0; k < 4; ++k)
            out[k] = v[k];
    }
    void storeTo(T* p) const
    {
        for (int k = 0; k < 4; ++k)
            p[k] = v[k];
    }
};
template <class T>
Quad<T> operator+(Quad<T> a, Quad<T> b)
{
    for (int k = 0; k < 4; ++k)
        a.v[k] = a.v[k] + b.v[k];
    return a;
}
template <class T>
Quad<T> operator-(Quad<T> a, Quad<T> b)
{
    for (int k = 0; k < 4; ++k)
        a.v[k] = a.v[k] - b.v[k];
    return a;
}
template <class T>
Quad<T> operator*(Quad<T> a, Quad<T> b)
{
    for (int k = 0; k < 4; ++k)
        a.v[k] = a.v[k] * b.v[k];
    return a;
}
using F32x4 = Quad<float>;
using F64x4 = Quad<double>;

inline F64x4 widen(F32x4 x) { return F64x4::of(x.v[0], x.v[1], x.v[2], x.v[3]); }
inline F32x4 narrow(F64x4 x)
{
    return F32x4::of(static_cast<float>(x.v[0]), static_cast<float>(x.v[1]), static_cast<float>(x.v[2]),
                     static_cast<float>(x.v[3]));
}

struct Steps4 {
    F32x4 s[4];
};

inline void transposeInPlace(Steps4& b)
{
    Steps4 t;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            t.s[r].v[c] = b.s[c].v[r];
    b = t;
}

inline Steps4 loadSteps(const float* const channels[4], std::int32_t i)
{
    Steps4 steps;
    for (int t = 0; t < 4; ++t)
        steps.s[t] = F32x4::of(channels[0][i + t], channels[1][i + t], channels[2][i + t], channels[3][i + t]);
    return steps;
}

#endif

// Channel k's samples i .. i+3 in s[k], and back: four rows, no transpose.
inline Steps4 loadRows(const float* const channels[4], std::int32_t i)
{
    return {{F32x4::load(channels[0] + i), F32x4::load(channels[1] + i), F32x4::load(channels[2] + i),
             F32x4::load(channels[3] + i)}};
}

inline void storeRows(float* const channels[4], std::int32_t i, const Steps4& rows)
{
    for (int k = 0; k < 4; ++k)
        rows.s[k].storeTo(channels[k] + i);
}

// Sample i of the four channels as one step, and back: the steps left after the blocks of four.
inline F32x4 loadStep(const float* const channels[4], std::int32_t i)
{
    return F32x4::of(channels[0][i], channels[1][i], channels[2][i], channels[3][i]);
}

inline void storeStep(float* const channels[4], std::int32_t i, F32x4 step)
{
    float s[4];
    step.store(s);
    for (int k = 0; k < 4; ++k)
        channels[k][i] = s[k];
}

// Calls visit with every time step of the four channels, in order, without changing them.
template <class Visit>
void visitSteps(const float* const channels[4], std::int32_t count, Visit&& visit)
{
    std::int32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const Steps4 b = loadSteps(channels, i);
        for (const F32x4& s : b.s)
            visit(s);
    }
    for (; i < count; ++i)
        visit(loadStep(channels, i));
}

} // namespace SONQUAD_LANES_SET
} // namespace lanes
