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

// The complex path serves lengths from 16 points (8 complex points) on.
constexpr std::int32_t kComplexPathBits = 4;

} // namespace

bool FFTReal::kernelAvailable(Kernel kernel)
{
    switch (kernel) {
    case Kernel::Fastest:
    case Kernel::Baseline:
    case Kernel::Radix2:
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
    radix2Only = kernel == Kernel::Radix2;
    if (_nbr_bits >= kComplexPathBits && !radix2Only)
        buildComplexTables();
    // The wide kernel needs at least 32 complex points (64 real ones); shorter transforms run
    // the baseline one whatever the choice.
    const bool wantWide = kernel == Kernel::Avx2 || (kernel == Kernel::Fastest && kernelAvailable(Kernel::Avx2));
    wideKernel = wantWide && kernelAvailable(Kernel::Avx2) && _nbr_bits >= 6;
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
        if (_nbr_bits >= kComplexPathBits && !radix2Only)
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
        if (_nbr_bits >= kComplexPathBits && !radix2Only)
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

fftkernels::Plan FFTReal::complexPlan() const
{
    fftkernels::Plan plan;
    plan.m = length / 2;
    plan.stages4 = radix4Stages;
    plan.radix2 = radix2Stage;
    plan.stageTwiddles = stageTwiddles.get();
    plan.cosines = splitTwiddles.get();
    plan.sines = splitTwiddles.get() + (length / 4 + 1);
    return plan;
}

// The baseline kernels need N/2 >= 8 W points: two doubles per vector from 32 points on, one
// below.
void FFTReal::forwardComplex(double* f, const double* x)
{
    const fftkernels::Plan plan = complexPlan();
#if defined(SONQUAD_HAVE_AVX2_KERNELS)
    if (wideKernel)
        return fftkernels::forwardRealAvx2(plan, f, x, work.get());
#endif
    if (plan.m >= 16)
        fftkernels::forwardReal<Vec2>(plan, f, x, work.get());
    else
        fftkernels::forwardReal<fftkernels::Scalar<Vec2>>(plan, f, x, work.get());
}

void FFTReal::inverseComplex(const double* f, double* x)
{
    const fftkernels::Plan plan = complexPlan();
#if defined(SONQUAD_HAVE_AVX2_KERNELS)
    if (wideKernel)
        return fftkernels::inverseRealAvx2(plan, x, f, work.get());
#endif
    if (plan.m >= 16)
        fftkernels::inverseReal<Vec2>(plan, x, f, work.get());
    else
        fftkernels::inverseReal<fftkernels::Scalar<Vec2>>(plan, x, f, work.get());
}

void FFTReal::convolve(double* x, const double* h)
{
    // Short transforms, those with a radix-2 last stage and the radix-2 kernel: the three steps
    // one after the other. The fused pass needs the last forward stage and the first inverse one
    // to share their butterflies, which holds for radix 4.
    if (_nbr_bits < kComplexPathBits || radix2Stage || radix2Only) {
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

    const fftkernels::Plan plan = complexPlan();
#if defined(SONQUAD_HAVE_AVX2_KERNELS)
    if (wideKernel)
        return fftkernels::convolveRealAvx2(plan, x, h, work.get(), work2.get());
#endif
    if (plan.m >= 16)
        fftkernels::convolveReal<Vec2>(plan, x, h, work.get(), work2.get());
    else
        fftkernels::convolveReal<fftkernels::Scalar<Vec2>>(plan, x, h, work.get(), work2.get());
}
