// FFTReal's baseline kernels: two doubles per vector (SSE2 on every x86 target, the 32-bit
// builds included; plain pairs of doubles elsewhere), and one double per vector for the
// 16-point transform, too short for pairs. Every lane computes the same operations in the same
// order, so the results are bit-identical to those of the wider kernels.
#include "dsp/FFTKernels.h"

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#endif

namespace {

// Two doubles per vector: SSE2 where the target has it (every x86-64 and the 32-bit builds),
// plain pairs elsewhere. Either computes each lane with the same operations.
#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
struct Vec2 {
    static constexpr std::int32_t width = 2;
    __m128d v;
    static Vec2 load(const double* p) { return {_mm_loadu_pd(p)}; }
    static void store(double* p, Vec2 a) { _mm_storeu_pd(p, a.v); }
    static Vec2 set1(double a) { return {_mm_set1_pd(a)}; }
    friend Vec2 operator+(Vec2 a, Vec2 b) { return {_mm_add_pd(a.v, b.v)}; }
    friend Vec2 operator-(Vec2 a, Vec2 b) { return {_mm_sub_pd(a.v, b.v)}; }
    friend Vec2 operator*(Vec2 a, Vec2 b) { return {_mm_mul_pd(a.v, b.v)}; }
    // Lanes swapped: (a1, a0).
    static Vec2 reversed(Vec2 a) { return {_mm_shuffle_pd(a.v, a.v, 1)}; }
    static Vec2 loadReversed(const double* p) { return reversed(load(p)); }
    // Exact negation (the sign bit flipped, zeros included).
    friend Vec2 operator-(Vec2 a) { return {_mm_xor_pd(a.v, _mm_set1_pd(-0.0))}; }
    // re = (p0, p2), im = (p1, p3)
    static void loadDeinterleaved(const double* p, Vec2& re, Vec2& im)
    {
        const __m128d a = _mm_loadu_pd(p), b = _mm_loadu_pd(p + 2);
        re.v = _mm_unpacklo_pd(a, b);
        im.v = _mm_unpackhi_pd(a, b);
    }
    // p[0..3] = re0 im0 re1 im1
    static void storeInterleaved2(double* p, Vec2 re, Vec2 im)
    {
        _mm_storeu_pd(p, _mm_unpacklo_pd(re.v, im.v));
        _mm_storeu_pd(p + 2, _mm_unpackhi_pd(re.v, im.v));
    }
    // p[0..7] = a0 b0 c0 d0 a1 b1 c1 d1
    static void storeInterleaved4(double* p, Vec2 a, Vec2 b, Vec2 c, Vec2 d)
    {
        _mm_storeu_pd(p, _mm_unpacklo_pd(a.v, b.v));
        _mm_storeu_pd(p + 2, _mm_unpacklo_pd(c.v, d.v));
        _mm_storeu_pd(p + 4, _mm_unpackhi_pd(a.v, b.v));
        _mm_storeu_pd(p + 6, _mm_unpackhi_pd(c.v, d.v));
    }
    // The same for the lanes in reverse order: p[0..7] = a1 b1 c1 d1 a0 b0 c0 d0
    static void storeInterleaved4Reversed(double* p, Vec2 a, Vec2 b, Vec2 c, Vec2 d)
    {
        _mm_storeu_pd(p + 4, _mm_unpacklo_pd(a.v, b.v));
        _mm_storeu_pd(p + 6, _mm_unpacklo_pd(c.v, d.v));
        _mm_storeu_pd(p, _mm_unpackhi_pd(a.v, b.v));
        _mm_storeu_pd(p + 2, _mm_unpackhi_pd(c.v, d.v));
    }
};
#else
struct Vec2 {
    static constexpr std::int32_t width = 2;
    double v[2];
    static Vec2 load(const double* p) { return {{p[0], p[1]}}; }
    static void store(double* p, Vec2 a) { p[0] = a.v[0]; p[1] = a.v[1]; }
    static Vec2 set1(double a) { return {{a, a}}; }
    friend Vec2 operator+(Vec2 a, Vec2 b) { return {{a.v[0] + b.v[0], a.v[1] + b.v[1]}}; }
    friend Vec2 operator-(Vec2 a, Vec2 b) { return {{a.v[0] - b.v[0], a.v[1] - b.v[1]}}; }
    friend Vec2 operator*(Vec2 a, Vec2 b) { return {{a.v[0] * b.v[0], a.v[1] * b.v[1]}}; }
    static Vec2 reversed(Vec2 a) { return {{a.v[1], a.v[0]}}; }
    static Vec2 loadReversed(const double* p) { return {{p[1], p[0]}}; }
    friend Vec2 operator-(Vec2 a) { return {{-a.v[0], -a.v[1]}}; }
    static void loadDeinterleaved(const double* p, Vec2& re, Vec2& im)
    {
        re = {{p[0], p[2]}};
        im = {{p[1], p[3]}};
    }
    static void storeInterleaved2(double* p, Vec2 re, Vec2 im)
    {
        p[0] = re.v[0]; p[1] = im.v[0]; p[2] = re.v[1]; p[3] = im.v[1];
    }
    static void storeInterleaved4(double* p, Vec2 a, Vec2 b, Vec2 c, Vec2 d)
    {
        p[0] = a.v[0]; p[1] = b.v[0]; p[2] = c.v[0]; p[3] = d.v[0];
        p[4] = a.v[1]; p[5] = b.v[1]; p[6] = c.v[1]; p[7] = d.v[1];
    }
    static void storeInterleaved4Reversed(double* p, Vec2 a, Vec2 b, Vec2 c, Vec2 d)
    {
        p[0] = a.v[1]; p[1] = b.v[1]; p[2] = c.v[1]; p[3] = d.v[1];
        p[4] = a.v[0]; p[5] = b.v[0]; p[6] = c.v[0]; p[7] = d.v[0];
    }
};
#endif

} // namespace

namespace fftkernels {

const KernelSet& sse2KernelSet()
{
    // M >= 16 complex points: the first stage pairs two butterflies with two.
    static constexpr KernelSet set = complexKernelSet<Vec2>("sse2", 5);
    return set;
}

const KernelSet& scalarKernelSet()
{
    static constexpr KernelSet set = complexKernelSet<Scalar<Vec2>>("scalar", 4);
    return set;
}

} // namespace fftkernels
