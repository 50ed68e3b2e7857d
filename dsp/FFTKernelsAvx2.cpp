// FFTReal's transforms with four doubles per vector (AVX2), compiled with -mavx2 on its own and
// offered by FFTReal only when the processor reports AVX2. Each lane does the operations of the
// SSE2 kernels in the same order, so the results are bit-identical.
#include "dsp/FFTKernels.h"

#include <immintrin.h>

namespace {

struct Vec4 {
    static constexpr std::int32_t width = 4;
    __m256d v;
    static Vec4 load(const double* p) { return {_mm256_loadu_pd(p)}; }
    static void store(double* p, Vec4 a) { _mm256_storeu_pd(p, a.v); }
    static Vec4 set1(double a) { return {_mm256_set1_pd(a)}; }
    friend Vec4 operator+(Vec4 a, Vec4 b) { return {_mm256_add_pd(a.v, b.v)}; }
    friend Vec4 operator-(Vec4 a, Vec4 b) { return {_mm256_sub_pd(a.v, b.v)}; }
    friend Vec4 operator*(Vec4 a, Vec4 b) { return {_mm256_mul_pd(a.v, b.v)}; }
    // Exact negation (the sign bit flipped, zeros included).
    friend Vec4 operator-(Vec4 a) { return {_mm256_xor_pd(a.v, _mm256_set1_pd(-0.0))}; }
    // Lanes in reverse order: (a3, a2, a1, a0).
    static Vec4 reversed(Vec4 a) { return {_mm256_permute4x64_pd(a.v, 0x1B)}; }
    // (p[3], p[2], p[1], p[0]): the halves swapped as they are loaded, then the pairs. Cheaper
    // than the lane-crossing permute, which holds the shuffle unit the multiplies share for two
    // cycles; the 128-bit insert from memory runs beside the loads.
    static Vec4 loadReversed(const double* p)
    {
        const __m256d swapped = _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_loadu_pd(p + 2)), _mm_loadu_pd(p), 1);
        return {_mm256_permute_pd(swapped, 5)};
    }
    // re = (p0, p2, p4, p6), im = (p1, p3, p5, p7); the halves paired as they are loaded, so
    // that only in-lane shuffles remain.
    static void loadDeinterleaved(const double* p, Vec4& re, Vec4& im)
    {
        const __m256d lo = _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_loadu_pd(p)), _mm_loadu_pd(p + 4), 1);     // p0 p1 p4 p5
        const __m256d hi = _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_loadu_pd(p + 2)), _mm_loadu_pd(p + 6), 1); // p2 p3 p6 p7
        re.v = _mm256_unpacklo_pd(lo, hi);
        im.v = _mm256_unpackhi_pd(lo, hi);
    }
    // p[0..7] = re0 im0 re1 im1 re2 im2 re3 im3
    static void storeInterleaved2(double* p, Vec4 re, Vec4 im)
    {
        const __m256d t0 = _mm256_unpacklo_pd(re.v, im.v);   // re0 im0 re2 im2
        const __m256d t1 = _mm256_unpackhi_pd(re.v, im.v);   // re1 im1 re3 im3
        _mm256_storeu_pd(p, _mm256_permute2f128_pd(t0, t1, 0x20));
        _mm256_storeu_pd(p + 4, _mm256_permute2f128_pd(t0, t1, 0x31));
    }
    // p[0..15] = a0 b0 c0 d0 a1 b1 c1 d1 a2 b2 c2 d2 a3 b3 c3 d3
    static void storeInterleaved4(double* p, Vec4 a, Vec4 b, Vec4 c, Vec4 d)
    {
        const __m256d t0 = _mm256_unpacklo_pd(a.v, b.v);   // a0 b0 a2 b2
        const __m256d t1 = _mm256_unpackhi_pd(a.v, b.v);   // a1 b1 a3 b3
        const __m256d t2 = _mm256_unpacklo_pd(c.v, d.v);   // c0 d0 c2 d2
        const __m256d t3 = _mm256_unpackhi_pd(c.v, d.v);   // c1 d1 c3 d3
        _mm256_storeu_pd(p, _mm256_permute2f128_pd(t0, t2, 0x20));
        _mm256_storeu_pd(p + 4, _mm256_permute2f128_pd(t1, t3, 0x20));
        _mm256_storeu_pd(p + 8, _mm256_permute2f128_pd(t0, t2, 0x31));
        _mm256_storeu_pd(p + 12, _mm256_permute2f128_pd(t1, t3, 0x31));
    }
    // The same for the lanes in reverse order: p[0..15] = a3 b3 c3 d3 a2 b2 c2 d2 ... a0 b0 c0 d0
    static void storeInterleaved4Reversed(double* p, Vec4 a, Vec4 b, Vec4 c, Vec4 d)
    {
        const __m256d t0 = _mm256_unpacklo_pd(a.v, b.v);
        const __m256d t1 = _mm256_unpackhi_pd(a.v, b.v);
        const __m256d t2 = _mm256_unpacklo_pd(c.v, d.v);
        const __m256d t3 = _mm256_unpackhi_pd(c.v, d.v);
        _mm256_storeu_pd(p + 12, _mm256_permute2f128_pd(t0, t2, 0x20));
        _mm256_storeu_pd(p + 8, _mm256_permute2f128_pd(t1, t3, 0x20));
        _mm256_storeu_pd(p + 4, _mm256_permute2f128_pd(t0, t2, 0x31));
        _mm256_storeu_pd(p, _mm256_permute2f128_pd(t1, t3, 0x31));
    }
};

} // namespace

namespace fftkernels {

const KernelSet& avx2KernelSet()
{
    // M >= 32 complex points: the first stage pairs four butterflies with four. (The compiler
    // clears the upper halves of the registers on the way out of each function, so the SSE2
    // code that follows pays no transition penalty.)
    static constexpr KernelSet set = complexKernelSet<Vec4>("avx2", 6);
    return set;
}

} // namespace fftkernels
