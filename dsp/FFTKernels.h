// The stages of FFTReal's complex path, written once over a small vector type V so that every
// instruction set computes the same operations in the same order on each element: a vector of
// W doubles carries W independent butterflies, so the results do not depend on W.
//
// Arrays are split: the real parts of M complex values, then (separately) their imaginary parts.
// A radix-4 stage of the self-sorting (Stockham) FFT of length M at sub-length n and stride s,
// M = n s, reads x[q + s (p + k n/4)] and writes y[q + s (4 p + k)], k = 0..3, for p < n/4 and
// q < s, with the twiddles w^p, w^2p, w^3p, w = e^(-2 pi i / n):
//   y0 = (a + c) + (b + d)           y2 = w^2p ((a + c) - (b + d))
//   y1 = w^p  ((a - c) - i (b - d))  y3 = w^3p ((a - c) + i (b - d))
// Private to FFTReal.cpp and its per-instruction-set companions.
#pragma once

#include <cstdint>

namespace fftkernels {

// Butterflies of a stage whose stride is a multiple of the vector width: q runs in vectors,
// the twiddles of p are the same for all its lanes.
template <class V>
void radix4Strided(const double* __restrict xr, const double* __restrict xi, double* __restrict yr,
                   double* __restrict yi, std::int32_t n, std::int32_t s, const double* __restrict tw)
{
    const std::int32_t n1 = n / 4;
    const double* w1r = tw;
    const double* w1i = tw + n1;
    const double* w2r = tw + 2 * n1;
    const double* w2i = tw + 3 * n1;
    const double* w3r = tw + 4 * n1;
    const double* w3i = tw + 5 * n1;
    for (std::int32_t p = 0; p < n1; ++p) {
        const V c1r = V::set1(w1r[p]), c1i = V::set1(w1i[p]);
        const V c2r = V::set1(w2r[p]), c2i = V::set1(w2i[p]);
        const V c3r = V::set1(w3r[p]), c3i = V::set1(w3i[p]);
        const std::int32_t in0 = s * p, in1 = s * (p + n1), in2 = s * (p + 2 * n1), in3 = s * (p + 3 * n1);
        const std::int32_t out0 = s * 4 * p;
        for (std::int32_t q = 0; q < s; q += V::width) {
            const V ar = V::load(xr + in0 + q), ai = V::load(xi + in0 + q);
            const V br = V::load(xr + in1 + q), bi = V::load(xi + in1 + q);
            const V cr = V::load(xr + in2 + q), ci = V::load(xi + in2 + q);
            const V dr = V::load(xr + in3 + q), di = V::load(xi + in3 + q);
            const V apcR = ar + cr, apcI = ai + ci;
            const V amcR = ar - cr, amcI = ai - ci;
            const V bpdR = br + dr, bpdI = bi + di;
            const V bmdR = br - dr, bmdI = bi - di;
            const V t1r = amcR + bmdI, t1i = amcI - bmdR;
            const V t2r = apcR - bpdR, t2i = apcI - bpdI;
            const V t3r = amcR - bmdI, t3i = amcI + bmdR;
            V::store(yr + out0 + q, apcR + bpdR);
            V::store(yi + out0 + q, apcI + bpdI);
            V::store(yr + out0 + s + q, c1r * t1r - c1i * t1i);
            V::store(yi + out0 + s + q, c1r * t1i + c1i * t1r);
            V::store(yr + out0 + 2 * s + q, c2r * t2r - c2i * t2i);
            V::store(yi + out0 + 2 * s + q, c2r * t2i + c2i * t2r);
            V::store(yr + out0 + 3 * s + q, c3r * t3r - c3i * t3i);
            V::store(yi + out0 + 3 * s + q, c3r * t3i + c3i * t3r);
        }
    }
}

// The last radix-4 stage (n = 4): every twiddle is 1, so there are no products.
template <class V>
void radix4Last(const double* __restrict xr, const double* __restrict xi, double* __restrict yr,
                double* __restrict yi, std::int32_t s)
{
    for (std::int32_t q = 0; q < s; q += V::width) {
        const V ar = V::load(xr + q), ai = V::load(xi + q);
        const V br = V::load(xr + s + q), bi = V::load(xi + s + q);
        const V cr = V::load(xr + 2 * s + q), ci = V::load(xi + 2 * s + q);
        const V dr = V::load(xr + 3 * s + q), di = V::load(xi + 3 * s + q);
        const V apcR = ar + cr, apcI = ai + ci;
        const V amcR = ar - cr, amcI = ai - ci;
        const V bpdR = br + dr, bpdI = bi + di;
        const V bmdR = br - dr, bmdI = bi - di;
        V::store(yr + q, apcR + bpdR);
        V::store(yi + q, apcI + bpdI);
        V::store(yr + s + q, amcR + bmdI);
        V::store(yi + s + q, amcI - bmdR);
        V::store(yr + 2 * s + q, apcR - bpdR);
        V::store(yi + 2 * s + q, apcI - bpdI);
        V::store(yr + 3 * s + q, amcR - bmdI);
        V::store(yi + 3 * s + q, amcI + bmdR);
    }
}

// The first stage (s = 1): p runs in vectors, the twiddles are loaded per lane, and the four
// outputs of each p are interleaved on the way out (y[4p + k]).
template <class V>
void radix4First(const double* __restrict xr, const double* __restrict xi, double* __restrict yr,
                 double* __restrict yi, std::int32_t n, const double* __restrict tw)
{
    const std::int32_t n1 = n / 4;
    const double* w1r = tw;
    const double* w1i = tw + n1;
    const double* w2r = tw + 2 * n1;
    const double* w2i = tw + 3 * n1;
    const double* w3r = tw + 4 * n1;
    const double* w3i = tw + 5 * n1;
    for (std::int32_t p = 0; p < n1; p += V::width) {
        const V ar = V::load(xr + p), ai = V::load(xi + p);
        const V br = V::load(xr + n1 + p), bi = V::load(xi + n1 + p);
        const V cr = V::load(xr + 2 * n1 + p), ci = V::load(xi + 2 * n1 + p);
        const V dr = V::load(xr + 3 * n1 + p), di = V::load(xi + 3 * n1 + p);
        const V apcR = ar + cr, apcI = ai + ci;
        const V amcR = ar - cr, amcI = ai - ci;
        const V bpdR = br + dr, bpdI = bi + di;
        const V bmdR = br - dr, bmdI = bi - di;
        const V t1r = amcR + bmdI, t1i = amcI - bmdR;
        const V t2r = apcR - bpdR, t2i = apcI - bpdI;
        const V t3r = amcR - bmdI, t3i = amcI + bmdR;
        const V c1r = V::load(w1r + p), c1i = V::load(w1i + p);
        const V c2r = V::load(w2r + p), c2i = V::load(w2i + p);
        const V c3r = V::load(w3r + p), c3i = V::load(w3i + p);
        V::storeInterleaved4(yr + 4 * p, apcR + bpdR, c1r * t1r - c1i * t1i, c2r * t2r - c2i * t2i,
                             c3r * t3r - c3i * t3i);
        V::storeInterleaved4(yi + 4 * p, apcI + bpdI, c1r * t1i + c1i * t1r, c2r * t2i + c2i * t2r,
                             c3r * t3i + c3i * t3r);
    }
}

// The last stage when log2 M is odd: radix 2 (n = 2, s = M / 2), twiddle 1.
template <class V>
void radix2Last(const double* __restrict xr, const double* __restrict xi, double* __restrict yr,
                double* __restrict yi, std::int32_t s)
{
    for (std::int32_t q = 0; q < s; q += V::width) {
        const V ar = V::load(xr + q), ai = V::load(xi + q);
        const V br = V::load(xr + s + q), bi = V::load(xi + s + q);
        V::store(yr + q, ar + br);
        V::store(yi + q, ai + bi);
        V::store(yr + s + q, ar - br);
        V::store(yi + s + q, ai - bi);
    }
}

// The whole complex FFT of m points (m >= 8, a power of two) on split arrays in buf; other is
// scratch of the same size. stages4 radix-4 stages, then one radix-2 stage when radix2.
// Returns the array holding the result (buf or other).
template <class V>
double* complexForward(double* buf, double* other, std::int32_t m, std::int32_t stages4, bool radix2,
                       const double* twiddles)
{
    double* cur = buf;
    double* nxt = other;
    std::int32_t n = m;
    std::int32_t s = 1;
    const double* tw = twiddles;
    for (std::int32_t stage = 0; stage < stages4; ++stage) {
        if (n == 4)
            radix4Last<V>(cur, cur + m, nxt, nxt + m, s);
        else if (s == 1)
            radix4First<V>(cur, cur + m, nxt, nxt + m, n, tw);
        else
            radix4Strided<V>(cur, cur + m, nxt, nxt + m, n, s, tw);
        tw += 6 * (n / 4);
        n /= 4;
        s *= 4;
        double* t = cur;
        cur = nxt;
        nxt = t;
    }
    if (radix2) {
        radix2Last<V>(cur, cur + m, nxt, nxt + m, s);
        double* t = cur;
        cur = nxt;
        nxt = t;
    }
    return cur;
}

// The AVX2 build of complexForward (FFTKernelsAvx2.cpp), for m >= 16; only on x86 targets, and
// only to be called when the processor has AVX2.
double* complexForwardAvx2(double* buf, double* other, std::int32_t m, std::int32_t stages4, bool radix2,
                           const double* twiddles);

} // namespace fftkernels
