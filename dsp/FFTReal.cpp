#include "dsp/FFTReal.h"

#include "dsp/FFTKernels.h"

#include <cmath>
#include <cstdio>
#include <cstdint>
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

using fftkernels::KernelSet;
using fftkernels::Plan;

// The scratch arrays start on a cache line (64 bytes), so that no vector of the stages that run
// on them straddles two lines: a load or store that does costs about twice as much. Each array
// is allocated kAlignDoubles longer and used from its first aligned double.
constexpr std::int32_t kAlignDoubles = 8;

double* alignedStart(double* p)
{
    const auto address = reinterpret_cast<std::uintptr_t>(p);
    return p + ((64 - address % 64) % 64) / sizeof(double);
}

// ---- Closed forms: 1, 2 and 4 points ----------------------------------------------------------

void forwardClosedForm(const Plan& plan, double* f, const double* x)
{
    switch (plan.bits) {
    case 0:
        f[0] = x[0];
        return;
    case 1:
        f[0] = x[0] + x[1];
        f[1] = x[0] - x[1];
        return;
    default:
        f[0] = x[0] + x[1] + x[2] + x[3];
        f[1] = x[0] - x[2];
        f[2] = (x[0] + x[2]) - (x[1] + x[3]);
        f[3] = x[1] - x[3];
        return;
    }
}

void inverseClosedForm(const Plan& plan, const double* f, double* x)
{
    switch (plan.bits) {
    case 0:
        x[0] = f[0];
        return;
    case 1:
        x[0] = f[0] + f[1];
        x[1] = f[0] - f[1];
        return;
    default: {
        const double a = f[0] + f[2];
        const double b = f[0] - f[2];
        x[0] = a + 2.0 * f[1];
        x[1] = b + 2.0 * f[3];
        x[2] = a - 2.0 * f[1];
        x[3] = b - 2.0 * f[3];
        return;
    }
    }
}

// ---- Radix-2 decimation in time: 8 points, and the reference kernel at every length -----------

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

// _nbr_bits - 1 stages on bit-reversed input that ping-pong between f and the scratch buffer.
// The first stage writes the scratch buffer when _nbr_bits is odd, so that the last one always
// lands in f.
void forwardRadix2(const Plan& plan, double* f, const double* x)
{
    const std::int32_t bits = plan.bits;
    double* d = (bits & 1) ? plan.work : f;
    double* s = (bits & 1) ? f : plan.work;

    forwardQuads(d, x, plan.bitReversal, plan.n);
    std::swap(s, d);
    forwardOctets(d, s, plan.n, plan.halfRootTwo);
    for (std::int32_t p = 3; p < bits; ++p) {
        std::swap(s, d);
        forwardLevel(d, s, plan.levelCosines + ((std::int32_t{1} << (p - 1)) - 4), plan.n, p);
    }
}

// The forward stages transposed, in reverse order. f is only read. The first stage writes the
// scratch buffer when _nbr_bits is odd, so that the 8-point stage always lands in the scratch
// buffer and the final 4-point stage scatters from there into x.
void inverseRadix2(const Plan& plan, const double* f, double* x)
{
    const std::int32_t bits = plan.bits;
    double* d = (bits & 1) ? plan.work : x;
    double* other = (bits & 1) ? x : plan.work;
    const double* s = f;

    for (std::int32_t p = bits - 1; p >= 3; --p) {
        inverseLevel(d, s, plan.levelCosines + ((std::int32_t{1} << (p - 1)) - 4), plan.n, p);
        s = d;
        std::swap(d, other);
    }
    inverseOctets(d, s, plan.n, plan.halfRootTwo);
    inverseQuads(x, d, plan.bitReversal, plan.n);
}

// The variant to run for a kernel and a length: the kernel's own set, or the next narrower one
// when the transform is too short for its vectors.
const KernelSet& chooseKernelSet(FFTReal::Kernel kernel, std::int32_t bits)
{
    using Kernel = FFTReal::Kernel;
    if (kernel == Kernel::Fastest)
        kernel = FFTReal::kernelAvailable(Kernel::Avx2) ? Kernel::Avx2 : Kernel::Baseline;
    const KernelSet* narrowerFirst[] = {
#if defined(SONQUAD_HAVE_AVX2_KERNELS)
        kernel == Kernel::Avx2 ? &fftkernels::avx2KernelSet() : nullptr,
#endif
        kernel != Kernel::Radix2 ? &fftkernels::sse2KernelSet() : nullptr,
        kernel != Kernel::Radix2 ? &fftkernels::scalarKernelSet() : nullptr,
        &fftkernels::radix2KernelSet(),
    };
    for (const KernelSet* set : narrowerFirst)
        if (set != nullptr && bits >= set->minBits)
            return *set;
    return fftkernels::closedFormKernelSet();
}

} // namespace

namespace fftkernels {

const KernelSet& radix2KernelSet()
{
    static constexpr KernelSet set = {"radix2", 3, false, &forwardRadix2, &inverseRadix2, nullptr,
                                      &convolveInSteps<&forwardRadix2, &inverseRadix2>};
    return set;
}

const KernelSet& closedFormKernelSet()
{
    static constexpr KernelSet set = {"closed form", 0, false, &forwardClosedForm, &inverseClosedForm, nullptr,
                                      &convolveInSteps<&forwardClosedForm, &inverseClosedForm>};
    return set;
}

} // namespace fftkernels

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
    : length(length_)
    , _nbr_bits(roundedLog2(length_))
    , plan(std::make_unique<Plan>())
{
    // Checked before the tables are built: the bit-reversal counter only terminates for a power
    // of two.
    if ((std::int64_t{1} << _nbr_bits) != length)
        failLengthCheck();

    const KernelSet& set = chooseKernelSet(kernel, _nbr_bits);
    plan->n = length;
    plan->bits = _nbr_bits;
    if (_nbr_bits > 2) {
        work.reset(new double[length + kAlignDoubles]);
        plan->work = alignedStart(work.get());
    }
    work2.reset(new double[length + kAlignDoubles]);
    plan->work2 = alignedStart(work2.get());
    if (set.complexPath)
        buildComplexTables();
    else if (_nbr_bits > 2)
        buildRadix2Tables();

    forwardKernel = set.forward;
    inverseKernel = set.inverse;
    // The fused convolution needs the last forward stage and the first inverse one to share
    // their butterflies, which holds for a radix-4 last stage.
    convolveKernel = set.convolveFused != nullptr && !plan->radix2 ? set.convolveFused : set.convolveInSteps;
    kernelSetName = set.name;
}

FFTReal::~FFTReal() = default;

// The bit-reversal table (a counter that increments in bit-reversed order) and the cosine table:
// level L (3 .. _nbr_bits-1) holds cos(j pi / 2^L), j = 0 .. 2^(L-1)-1, from index 2^(L-1) - 4;
// entry h - j of a level of half-size h is sin(j pi / 2^L).
void FFTReal::buildRadix2Tables()
{
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

    if (_nbr_bits >= 4) {
        const double pi = std::atan(1.0) * 4.0;
        levelCosines.reset(new double[(std::int32_t{1} << (_nbr_bits - 1)) - 4]);
        for (std::int32_t level = 3; level < _nbr_bits; ++level) {
            const std::int32_t half = std::int32_t{1} << (level - 1);
            const double divisor = static_cast<double>(std::int32_t{1} << level);
            double* run = levelCosines.get() + (half - 4);
            for (std::int32_t j = 0; j < half; ++j)
                run[j] = std::cos(static_cast<double>(j) * pi / divisor);
        }
    }
    plan->bitReversal = bitReversal.get();
    plan->levelCosines = levelCosines.get();
    plan->halfRootTwo = std::sqrt(2.0) * 0.5;
}

// Twiddles of the N/2-point complex FFT, each stage's w^p, w^2p, w^3p (w = e^(-2 pi i / n)) as
// runs of real and imaginary parts, and the cosines and sines of the split step. Each value is
// one call of cos or sin of the exact multiple of 2 pi / n, so no error accumulates.
void FFTReal::buildComplexTables()
{
    const std::int32_t m = length / 2;
    const std::int32_t bits = _nbr_bits - 1;
    const std::int32_t radix4Stages = bits / 2;

    std::int32_t size = 0;
    for (std::int32_t n = m, stage = 0; stage < radix4Stages; ++stage, n /= 4)
        size += 6 * (n / 4);
    // On a cache line, like the scratch arrays: the first stage loads its twiddles in vectors.
    stageTwiddles.reset(new double[size + kAlignDoubles]);
    const long double twoPi = 6.283185307179586476925286766559L;
    double* const stageStart = alignedStart(stageTwiddles.get());
    double* tw = stageStart;
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

    // The split step loads its cosines and sines in vectors from K = 1 on (K = 0 pairs DC with
    // Nyquist), so each run starts three doubles before a 32-byte boundary: cos and sin of
    // K = 1, 5, 9, ... (and of 1, 3, 5, ... for pairs of doubles) then load from one. quarter
    // is a multiple of four from 16 points on, so the sines, quarter + 4 doubles after the
    // cosines, are placed alike.
    const std::int32_t quarter = length / 4;
    splitTwiddles.reset(new double[2 * (quarter + 4) + kAlignDoubles]);
    double* const cosines = alignedStart(splitTwiddles.get()) + 3;
    double* const sines = cosines + (quarter + 4);
    for (std::int32_t k = 0; k <= quarter; ++k) {
        const long double angle = twoPi * static_cast<long double>(k) / static_cast<long double>(length);
        cosines[k] = static_cast<double>(std::cos(angle));
        sines[k] = static_cast<double>(std::sin(angle));
    }
    // Exact at a quarter turn, where the split step meets itself.
    cosines[quarter] = 0.0;
    sines[quarter] = 1.0;

    plan->m = m;
    plan->stages4 = radix4Stages;
    plan->radix2 = (bits % 2) != 0;
    plan->stageTwiddles = stageStart;
    plan->cosines = cosines;
    plan->sines = sines;
}
