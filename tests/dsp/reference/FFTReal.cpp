#include "dsp/reference/FFTReal.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace reference {
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

} // namespace

FFTReal::FFTReal(std::int32_t length_)
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

} // namespace reference
