// FFTReal's complex stages with four doubles per vector (AVX2), compiled with -mavx2 on its own
// and called only when the processor reports AVX2 (FFTReal chooses at construction). Each lane
// does the operations of the SSE2 kernels in the same order, so the results are bit-identical.
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
};

} // namespace

namespace fftkernels {

// For m >= 16 (the first stage then has at least four butterflies per twiddle run).
double* complexForwardAvx2(double* buf, double* other, std::int32_t m, std::int32_t stages4, bool radix2,
                           const double* twiddles)
{
    double* result = complexForward<Vec4>(buf, other, m, stages4, radix2, twiddles);
    _mm256_zeroupper();
    return result;
}

} // namespace fftkernels
