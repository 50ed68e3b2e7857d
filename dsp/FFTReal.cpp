#include "dsp/FFTReal.h"

#include "dsp/FFTKernels.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace {

// log2 of length rounded to the nearest integer; 0 for lengths below 1, which the power-of-two
// check then rejects.
std::int32_t roundedLog2(std::int32_t length)
{
    if (length < 1)
        return 0;
    return static_cast<std::int32_t>(
        std::floor(std::log(static_cast<double>(length)) / std::log(2.0) + 0.5));
}

// A length that is not a power of two is a programming error; report it like a failed assert
// (expression, source, line) and stop.
[[noreturn]] void failLengthCheck()
{
    std::fprintf(stderr, "Assertion failed: %s, file %s, line %d\n",
                 "(1L << _nbr_bits) == length", "FFTReal", 50);
    std::fflush(stderr);
    std::abort();
}

// Two doubles per vector: SSE2 where the target has it (every x86-64 and the 32-bit builds),
// plain pairs elsewhere. Either computes each lane with the same operations.
#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
} // namespace
#include <emmintrin.h>
namespace {
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
    // Exact negation (the sign bit flipped, zeros included).
    friend Vec2 operator-(Vec2 a) { return {_mm_xor_pd(a.v, _mm_set1_pd(-0.0))}; }
    // (a0, b0) and (a1, b1).
    static Vec2 low(Vec2 a, Vec2 b) { return {_mm_unpacklo_pd(a.v, b.v)}; }
    static Vec2 high(Vec2 a, Vec2 b) { return {_mm_unpackhi_pd(a.v, b.v)}; }
    // p[0..7] = a0 b0 c0 d0 a1 b1 c1 d1
    static void storeInterleaved4(double* p, Vec2 a, Vec2 b, Vec2 c, Vec2 d)
    {
        _mm_storeu_pd(p, _mm_unpacklo_pd(a.v, b.v));
        _mm_storeu_pd(p + 2, _mm_unpacklo_pd(c.v, d.v));
        _mm_storeu_pd(p + 4, _mm_unpackhi_pd(a.v, b.v));
        _mm_storeu_pd(p + 6, _mm_unpackhi_pd(c.v, d.v));
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
    friend Vec2 operator-(Vec2 a) { return {{-a.v[0], -a.v[1]}}; }
    static Vec2 low(Vec2 a, Vec2 b) { return {{a.v[0], b.v[0]}}; }
    static Vec2 high(Vec2 a, Vec2 b) { return {{a.v[1], b.v[1]}}; }
    static void storeInterleaved4(double* p, Vec2 a, Vec2 b, Vec2 c, Vec2 d)
    {
        p[0] = a.v[0]; p[1] = b.v[0]; p[2] = c.v[0]; p[3] = d.v[0];
        p[4] = a.v[1]; p[5] = b.v[1]; p[6] = c.v[1]; p[7] = d.v[1];
    }
};
#endif

// The complex path serves lengths from 16 points (8 complex points) on.
constexpr std::int32_t kComplexPathBits = 4;

} // namespace

bool FFTReal::kernelAvailable(Kernel kernel)
{
    switch (kernel) {
    case Kernel::Fastest:
    case Kernel::Baseline:
        return true;
    case Kernel::Avx2:
#if defined(SONQUAD_HAVE_AVX2_KERNELS) && (defined(__GNUC__) || defined(__clang__))
        return __builtin_cpu_supports("avx2");
#else
        return false;
#endif
    }
    return false;
}

FFTReal::FFTReal(std::int32_t length_, Kernel kernel)
    : halfRootTwo(std::sqrt(2.0) * 0.5)
    , length(length_)
    , _nbr_bits(roundedLog2(length_))
{
    // Checked before the tables are built: the bit-reversal counter below only terminates for a
    // power of two.
    if ((std::int64_t{1} << _nbr_bits) != length)
        failLengthCheck();

    // Bit-reversal table: a counter that increments in bit-reversed order.
    bitReversal.reset(new std::int32_t[length]);
    bitReversal[0] = 0;
    std::int32_t reversed = 0;
    for (std::int32_t count = 1; count < length; ++count) {
        std::int32_t bit = length >> 1;
        reversed ^= bit;
        while ((reversed & bit) == 0) {
            bit >>= 1;
            reversed ^= bit;
        }
        bitReversal[count] = reversed;
    }

    // Cosine table: level L (3 .. _nbr_bits-1) holds cos(j pi / 2^L), j = 0 .. 2^(L-1)-1, from
    // index 2^(L-1) - 4. Entry h - j of a level of half-size h is sin(j pi / 2^L).
    if (_nbr_bits >= 4) {
        const double pi = std::atan(1.0) * 4.0;
        cosines.reset(new double[cosineTableLength()]);
        for (std::int32_t level = 3; level < _nbr_bits; ++level) {
            const std::int32_t half = std::int32_t{1} << (level - 1);
            const double divisor = static_cast<double>(std::int32_t{1} << level);
            double* run = cosines.get() + (half - 4);
            for (std::int32_t j = 0; j < half; ++j)
                run[j] = std::cos(static_cast<double>(j) * pi / divisor);
        }
    }

    if (_nbr_bits > 2)
        work.reset(new double[length]);
    work2.reset(new double[length]);
    if (_nbr_bits >= kComplexPathBits)
        buildComplexTables();
    // The wide kernel needs at least 16 complex points (32 real ones).
    const bool wantWide = kernel == Kernel::Avx2 || (kernel == Kernel::Fastest && kernelAvailable(Kernel::Avx2));
    wideKernel = wantWide && kernelAvailable(Kernel::Avx2) && _nbr_bits >= 5;
}

// Twiddles of the N/2-point complex FFT, each stage's w^p, w^2p, w^3p (w = e^(-2 pi i / n)) as
// runs of real and imaginary parts, and the cosines and sines of the split step. Each value is
// one call of cos or sin of the exact multiple of 2 pi / n, so no error accumulates.
void FFTReal::buildComplexTables()
{
    const std::int32_t m = length / 2;
    const std::int32_t bits = _nbr_bits - 1;
    radix4Stages = bits / 2;
    radix2Stage = (bits % 2) != 0;

    std::int32_t size = 0;
    for (std::int32_t n = m, stage = 0; stage < radix4Stages; ++stage, n /= 4)
        size += 6 * (n / 4);
    stageTwiddles.reset(new double[size]);
    const long double twoPi = 6.283185307179586476925286766559L;
    double* tw = stageTwiddles.get();
    for (std::int32_t n = m, stage = 0; stage < radix4Stages; ++stage, n /= 4) {
        const std::int32_t n1 = n / 4;
        for (std::int32_t p = 0; p < n1; ++p) {
            for (std::int32_t k = 1; k <= 3; ++k) {
                // The angle reduced to one turn before it is scaled, in long double.
                const long double angle = twoPi * static_cast<long double>((k * p) % n) / static_cast<long double>(n);
                tw[(2 * (k - 1)) * n1 + p] = static_cast<double>(std::cos(angle));
                tw[(2 * (k - 1) + 1) * n1 + p] = static_cast<double>(-std::sin(angle));
            }
        }
        tw += 6 * n1;
    }

    const std::int32_t quarter = length / 4;
    splitTwiddles.reset(new double[2 * (quarter + 1)]);
    for (std::int32_t k = 0; k <= quarter; ++k) {
        const long double angle = twoPi * static_cast<long double>(k) / static_cast<long double>(length);
        splitTwiddles[k] = static_cast<double>(std::cos(angle));
        splitTwiddles[quarter + 1 + k] = static_cast<double>(std::sin(angle));
    }
    // Exact at a quarter turn, where the split step meets itself.
    splitTwiddles[quarter] = 0.0;
    splitTwiddles[quarter + 1 + quarter] = 1.0;
}

double* FFTReal::complexForward(double* buf, double* other)
{
#if defined(SONQUAD_HAVE_AVX2_KERNELS)
    if (wideKernel)
        return fftkernels::complexForwardAvx2(buf, other, length / 2, radix4Stages, radix2Stage,
                                              stageTwiddles.get());
#endif
    return fftkernels::complexForward<Vec2>(buf, other, length / 2, radix4Stages, radix2Stage,
                                            stageTwiddles.get());
}

void FFTReal::forward_transform(double* f, const double* x)
{
    switch (_nbr_bits) {
    case 0:
        f[0] = x[0];
        return;
    case 1:
        f[0] = x[0] + x[1];
        f[1] = x[0] - x[1];
        return;
    case 2:
        f[0] = x[0] + x[1] + x[2] + x[3];
        f[1] = x[0] - x[2];
        f[2] = (x[0] + x[2]) - (x[1] + x[3]);
        f[3] = x[1] - x[3];
        return;
    default:
        if (_nbr_bits >= kComplexPathBits)
            forwardComplex(f, x);
        else
            forwardGeneral(f, x);
        return;
    }
}

void FFTReal::inverse_transform(const double* f, double* x)
{
    switch (_nbr_bits) {
    case 0:
        x[0] = f[0];
        return;
    case 1:
        x[0] = f[0] + f[1];
        x[1] = f[0] - f[1];
        return;
    case 2: {
        const double a = f[0] + f[2];
        const double b = f[0] - f[2];
        x[0] = a + 2.0 * f[1];
        x[1] = b + 2.0 * f[3];
        x[2] = a - 2.0 * f[1];
        x[3] = b - 2.0 * f[3];
        return;
    }
    default:
        if (_nbr_bits >= kComplexPathBits)
            inverseComplex(f, x);
        else
            inverseGeneral(f, x);
        return;
    }
}

namespace {

// Each stage reads one array and writes another (never the same one), so its loops can be
// compiled without aliasing checks.

// Forward, groups of 4, reading x in bit-reversed order.
void forwardQuads(double* __restrict d, const double* __restrict x,
                  const std::int32_t* __restrict br, std::int32_t n)
{
    for (std::int32_t i = 0; i < n; i += 4) {
        const double a = x[br[i]];
        const double b = x[br[i + 1]];
        const double g = x[br[i + 2]];
        const double e = x[br[i + 3]];
        d[i] = (g + e) + (a + b);
        d[i + 1] = a - b;
        d[i + 2] = (a + b) - (g + e);
        d[i + 3] = g - e;
    }
}

// Forward, groups of 8; q = sqrt(2) / 2.
void forwardOctets(double* __restrict d, const double* __restrict s, std::int32_t n, double q)
{
    for (std::int32_t i = 0; i < n; i += 8) {
        const double s0 = s[i], s1 = s[i + 1], s2 = s[i + 2], s3 = s[i + 3];
        const double s4 = s[i + 4], s5 = s[i + 5], s6 = s[i + 6], s7 = s[i + 7];
        d[i] = s0 + s4;
        d[i + 4] = s0 - s4;
        d[i + 2] = s2;
        d[i + 6] = s6;
        const double v = (s5 - s7) * q;
        d[i + 1] = s1 + v;
        d[i + 3] = s1 - v;
        const double w = (s5 + s7) * q;
        d[i + 5] = w + s3;
        d[i + 7] = w - s3;
    }
}

// Forward, level p: blocks of n2 = 2^p points combine into blocks of 2 n2. cs is the level's run
// of the cosine table: c_j = cs[j], s_j = cs[h - j].
void forwardLevel(double* __restrict d, const double* __restrict s, const double* __restrict cs,
                  std::int32_t n, std::int32_t p)
{
    const std::int32_t n2 = std::int32_t{1} << p;
    const std::int32_t h = n2 >> 1;
    for (std::int32_t b = 0; b < n; b += 2 * n2) {
        const double* sb = s + b;
        double* db = d + b;
        db[0] = sb[0] + sb[n2];
        db[n2] = sb[0] - sb[n2];
        db[h] = sb[h];
        db[n2 + h] = sb[n2 + h];
        for (std::int32_t j = 1; j < h; ++j) {
            const double c = cs[j];
            const double sn = cs[h - j];
            const double r1 = sb[j];
            const double i1 = sb[h + j];
            const double r2 = sb[n2 + j];
            const double i2 = sb[n2 + h + j];
            const double v = r2 * c - i2 * sn;
            db[j] = r1 + v;
            db[n2 - j] = r1 - v;
            const double w = r2 * sn + i2 * c;
            db[n2 + j] = i1 + w;
            db[2 * n2 - j] = w - i1;
        }
    }
}

// Inverse, level p: the transpose of forwardLevel.
void inverseLevel(double* __restrict d, const double* __restrict s, const double* __restrict cs,
                  std::int32_t n, std::int32_t p)
{
    const std::int32_t n2 = std::int32_t{1} << p;
    const std::int32_t h = n2 >> 1;
    for (std::int32_t b = 0; b < n; b += 2 * n2) {
        const double* sb = s + b;
        double* db = d + b;
        db[0] = sb[0] + sb[n2];
        db[n2] = sb[0] - sb[n2];
        db[h] = 2.0 * sb[h];
        db[n2 + h] = 2.0 * sb[n2 + h];
        for (std::int32_t j = 1; j < h; ++j) {
            const double c = cs[j];
            const double sn = cs[h - j];
            const double rj = sb[j];
            const double rm = sb[n2 - j];
            const double ij = sb[n2 + j];
            const double im = sb[2 * n2 - j];
            db[j] = rj + rm;
            db[h + j] = ij - im;
            const double a = rj - rm;
            const double e = im + ij;
            db[n2 + j] = e * sn + a * c;
            db[n2 + h + j] = e * c - a * sn;
        }
    }
}

// Inverse, groups of 8; q = sqrt(2) / 2.
void inverseOctets(double* __restrict d, const double* __restrict s, std::int32_t n, double q)
{
    for (std::int32_t i = 0; i < n; i += 8) {
        const double s0 = s[i], s1 = s[i + 1], s2 = s[i + 2], s3 = s[i + 3];
        const double s4 = s[i + 4], s5 = s[i + 5], s6 = s[i + 6], s7 = s[i + 7];
        d[i] = s0 + s4;
        d[i + 4] = s0 - s4;
        d[i + 2] = 2.0 * s2;
        d[i + 6] = 2.0 * s6;
        d[i + 1] = s1 + s3;
        d[i + 3] = s5 - s7;
        const double e = s5 + s7;
        const double a = s1 - s3;
        d[i + 5] = (e + a) * q;
        d[i + 7] = (e - a) * q;
    }
}

// Inverse, groups of 4, scattered into x through the bit-reversal table.
void inverseQuads(double* __restrict x, const double* __restrict s,
                  const std::int32_t* __restrict br, std::int32_t n)
{
    for (std::int32_t i = 0; i < n; i += 4) {
        const double a = s[i] + s[i + 2];
        const double b = s[i] - s[i + 2];
        x[br[i]] = a + 2.0 * s[i + 1];
        x[br[i + 1]] = a - 2.0 * s[i + 1];
        x[br[i + 2]] = b + 2.0 * s[i + 3];
        x[br[i + 3]] = b - 2.0 * s[i + 3];
    }
}

} // namespace

// Radix-2 decimation in time on bit-reversed input, _nbr_bits - 1 stages that ping-pong between
// f and the scratch buffer. The first stage writes the scratch buffer when _nbr_bits is odd, so
// that the last one always lands in f.
void FFTReal::forwardGeneral(double* f, const double* x)
{
    double* d = (_nbr_bits & 1) ? work.get() : f;
    double* s = (_nbr_bits & 1) ? f : work.get();

    forwardQuads(d, x, bitReversal.get(), length);
    std::swap(s, d);
    forwardOctets(d, s, length, halfRootTwo);
    for (std::int32_t p = 3; p < _nbr_bits; ++p) {
        std::swap(s, d);
        forwardLevel(d, s, cosines.get() + ((std::int32_t{1} << (p - 1)) - 4), length, p);
    }
}

// The forward stages transposed, in reverse order. f is only read. The first stage writes the
// scratch buffer when _nbr_bits is odd, so that the 8-point stage always lands in the scratch
// buffer and the final 4-point stage scatters from there into x.
void FFTReal::inverseGeneral(const double* f, double* x)
{
    double* d = (_nbr_bits & 1) ? work.get() : x;
    double* other = (_nbr_bits & 1) ? x : work.get();
    const double* s = f;

    for (std::int32_t p = _nbr_bits - 1; p >= 3; --p) {
        inverseLevel(d, s, cosines.get() + ((std::int32_t{1} << (p - 1)) - 4), length, p);
        s = d;
        std::swap(d, other);
    }
    inverseOctets(d, s, length, halfRootTwo);
    inverseQuads(x, d, bitReversal.get(), length);
}

// ---- Complex path -------------------------------------------------------------------------
//
// With M = N/2 and z[m] = x[2m] + i x[2m+1], Z = FFT_M(z) gives the spectrum of the real x
// through the split step, for k and M-k together (W = e^(-2 pi i / N)):
//   E = (Z_k + conj Z_(M-k)) / 2,  O = (Z_k - conj Z_(M-k)) / 2i,  X_k = E + W^k O,
//   X_(M-k) = conj(E - W^k O),  X_0 = Re Z_0 + Im Z_0,  X_M = Re Z_0 - Im Z_0.
// The inverse runs the step backwards into Z' = 2 Z, whose unnormalised inverse M-point FFT is
// N z; it is computed as the conjugate of the forward FFT of conj Z'.

namespace {

// The forward split step for bins k and M - k (1 <= k <= M/2), from Z in split arrays, into the
// packed spectrum values: re_k, re_(M-k), stored im_k (= -Im X_k), stored im_(M-k). T is double
// or a vector of consecutive k (the M - k operands then in reversed lanes).
template <class T>
struct SplitOut {
    T reK, reMk, imK, imMk;
};

template <class T>
inline SplitOut<T> forwardSplit(T zr, T zi, T yr, T yi, T c, T sn, T half)
{
    const T er = half * (zr + yr);
    const T ei = half * (zi - yi);
    const T or_ = half * (zi + yi);
    const T oi = half * (yr - zr);
    const T tr = c * or_ + sn * oi;
    const T ti = c * oi - sn * or_;
    return {er + tr, er - tr, -(ei + ti), ei - ti};
}

// The inverse split step for bins k and M - k from the packed values (re_k, stored im_k,
// re_(M-k), stored im_(M-k)), into conj Z'_k and conj Z'_(M-k) (re, im, re, im).
template <class T>
inline SplitOut<T> inverseSplit(T fk, T gk, T fmk, T gmk, T c, T sn)
{
    const T ar = fk, ai = -gk;
    const T br = fmk, bi = -gmk;
    const T er = ar + br;
    const T ei = ai - bi;
    const T dr = ar - br;
    const T di = ai + bi;
    const T or_ = dr * c - di * sn;
    const T oi = dr * sn + di * c;
    return {er - oi, er + oi, -(ei + or_), ei - or_};
}

// Reads a[k], a[k+1] and the mirrored a[m-k], a[m-k-1] as vectors; writes them back the same way.
inline Vec2 loadAt(const double* a, std::int32_t k) { return Vec2::load(a + k); }
inline Vec2 loadMirrored(const double* a, std::int32_t j) { return Vec2::reversed(Vec2::load(a + j - 1)); }
inline void storeMirrored(double* a, std::int32_t j, Vec2 v) { Vec2::store(a + j - 1, Vec2::reversed(v)); }

// re[n] = x[2n], im[n] = x[2n+1] for n < m (m even).
void deinterleave(double* __restrict re, double* __restrict im, const double* __restrict x, std::int32_t m)
{
    for (std::int32_t n = 0; n < m; n += 2) {
        const Vec2 a = Vec2::load(x + 2 * n), b = Vec2::load(x + 2 * n + 2);
        Vec2::store(re + n, Vec2::low(a, b));
        Vec2::store(im + n, Vec2::high(a, b));
    }
}

// x[2n] = re[n], x[2n+1] = -im[n] for n < m (m even): the conjugate, interleaved.
void interleaveConjugate(double* __restrict x, const double* __restrict re, const double* __restrict im,
                         std::int32_t m)
{
    for (std::int32_t n = 0; n < m; n += 2) {
        const Vec2 r = Vec2::load(re + n), i = -Vec2::load(im + n);
        Vec2::store(x + 2 * n, Vec2::low(r, i));
        Vec2::store(x + 2 * n + 2, Vec2::high(r, i));
    }
}

} // namespace

void FFTReal::forwardComplex(double* f, const double* x)
{
    const std::int32_t m = length / 2;
    const bool evenStages = ((radix4Stages + (radix2Stage ? 1 : 0)) % 2) == 0;
    // The stages ping-pong; start where the last one lands in f.
    double* start = evenStages ? f : work.get();
    double* other = evenStages ? work.get() : f;
    deinterleave(start, start + m, x, m);
    double* z = complexForward(start, other);   // == f
    const double* cosines = splitTwiddles.get();
    const double* sines = cosines + (m / 2 + 1);

    // In place in f, bins k, k+1 with M-k, M-k-1; the last pair meets at M/2, where both
    // halves of the step write the same values.
    const double z0r = z[0], z0i = z[m];
    const Vec2 half = Vec2::set1(0.5);
    for (std::int32_t k = 1; k <= m / 2; k += 2) {
        const SplitOut<Vec2> o = forwardSplit(loadAt(z, k), loadAt(z, m + k), loadMirrored(z, m - k),
                                              loadMirrored(z, 2 * m - k), loadAt(cosines, k), loadAt(sines, k), half);
        Vec2::store(f + k, o.reK);
        storeMirrored(f, m - k, o.reMk);
        Vec2::store(f + m + k, o.imK);
        storeMirrored(f, 2 * m - k, o.imMk);
    }
    f[0] = z0r + z0i;
    f[m] = z0r - z0i;
}

void FFTReal::inverseComplex(const double* f, double* x)
{
    const std::int32_t m = length / 2;
    const bool evenStages = ((radix4Stages + (radix2Stage ? 1 : 0)) % 2) == 0;
    // The last stage must land in the scratch buffer, from which x is written.
    double* start = evenStages ? work.get() : x;
    double* other = evenStages ? x : work.get();
    const double* cosines = splitTwiddles.get();
    const double* sines = cosines + (m / 2 + 1);

    for (std::int32_t k = 1; k <= m / 2; k += 2) {
        const SplitOut<Vec2> o = inverseSplit(loadAt(f, k), loadAt(f, m + k), loadMirrored(f, m - k),
                                              loadMirrored(f, 2 * m - k), loadAt(cosines, k), loadAt(sines, k));
        Vec2::store(start + k, o.reK);
        storeMirrored(start, m - k, o.reMk);
        Vec2::store(start + m + k, o.imK);
        storeMirrored(start, 2 * m - k, o.imMk);
    }
    start[0] = f[0] + f[m];
    start[m] = -(f[0] - f[m]);
    const double* z = complexForward(start, other);   // == work
    interleaveConjugate(x, z, z + m, m);
}

void FFTReal::convolve(double* x, const double* h)
{
    if (_nbr_bits < kComplexPathBits) {
        // Short transforms: the three steps one after the other.
        double* f = work2.get();
        forward_transform(f, x);
        const std::int32_t half = length / 2;
        if (half == 0) {
            f[0] = f[0] * h[0];
        } else {
            for (std::int32_t k = 0; k < half; ++k) {
                const double xr = f[k], xi = f[k + half], hr = h[k], hi = h[k + half];
                f[k] = xr * hr - xi * hi;
                f[k + half] = xi * hr + xr * hi;
            }
        }
        inverse_transform(f, x);
        return;
    }

    const std::int32_t m = length / 2;
    double* const a = work.get();
    double* const b = work2.get();
    deinterleave(a, a + m, x, m);
    double* z = complexForward(a, b);
    const double* cosines = splitTwiddles.get();
    const double* sines = cosines + (m / 2 + 1);

    // Forward split, product with h and inverse split, two pairs of bins at a time, in place in z.
    const double z0r = z[0], z0i = z[m];
    const Vec2 half = Vec2::set1(0.5);
    for (std::int32_t k = 1; k <= m / 2; k += 2) {
        const Vec2 c = loadAt(cosines, k), sn = loadAt(sines, k);
        const SplitOut<Vec2> o = forwardSplit(loadAt(z, k), loadAt(z, m + k), loadMirrored(z, m - k),
                                              loadMirrored(z, 2 * m - k), c, sn, half);
        const Vec2 hrK = loadAt(h, k), hiK = loadAt(h, m + k);
        const Vec2 hrM = loadMirrored(h, m - k), hiM = loadMirrored(h, 2 * m - k);
        const Vec2 pK = o.reK * hrK - o.imK * hiK;
        const Vec2 qK = o.imK * hrK + o.reK * hiK;
        const Vec2 pM = o.reMk * hrM - o.imMk * hiM;
        const Vec2 qM = o.imMk * hrM + o.reMk * hiM;
        const SplitOut<Vec2> s = inverseSplit(pK, qK, pM, qM, c, sn);
        Vec2::store(z + k, s.reK);
        storeMirrored(z, m - k, s.reMk);
        Vec2::store(z + m + k, s.imK);
        storeMirrored(z, 2 * m - k, s.imMk);
    }
    {
        const double f0 = z0r + z0i;
        const double fm = z0r - z0i;
        const double p0 = f0 * h[0] - fm * h[m];
        const double pm = fm * h[0] + f0 * h[m];
        z[0] = p0 + pm;
        z[m] = -(p0 - pm);
    }
    const double* y = complexForward(z, z == a ? b : a);
    interleaveConjugate(x, y, y + m, m);
}
