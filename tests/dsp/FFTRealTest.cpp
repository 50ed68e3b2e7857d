// FFTReal against references computed another way: a naive DFT in long double, numpy's rfft,
// closed-form spectra of impulses, sines and constants, and the defining properties of its
// tables.
#include "dsp/FFTReal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr long double kTwoPi = 6.283185307179586476925286766559L;

// Packed forward spectrum by the definition: f[k] = sum x cos, f[N/2+k] = sum x sin.
std::vector<double> naiveForward(const std::vector<double>& x)
{
    const std::size_t n = x.size();
    std::vector<long double> cosines(n), sines(n);
    for (std::size_t m = 0; m < n; ++m) {
        cosines[m] = std::cos(kTwoPi * static_cast<long double>(m) / static_cast<long double>(n));
        sines[m] = std::sin(kTwoPi * static_cast<long double>(m) / static_cast<long double>(n));
    }
    std::vector<double> f(n, 0.0);
    for (std::size_t k = 0; k <= n / 2; ++k) {
        long double re = 0.0L, im = 0.0L;
        for (std::size_t t = 0; t < n; ++t) {
            const std::size_t m = (k * t) % n;
            re += x[t] * cosines[m];
            im += x[t] * sines[m];
        }
        if (k < n)
            f[k] = static_cast<double>(re);
        if (k > 0 && k < n / 2)
            f[n / 2 + k] = static_cast<double>(im);
    }
    return f;
}

// Unnormalised inverse of a packed spectrum: the real signal whose spectrum it is, times N.
std::vector<double> naiveInverse(const std::vector<double>& f)
{
    const std::size_t n = f.size();
    std::vector<long double> cosines(n), sines(n);
    for (std::size_t m = 0; m < n; ++m) {
        cosines[m] = std::cos(kTwoPi * static_cast<long double>(m) / static_cast<long double>(n));
        sines[m] = std::sin(kTwoPi * static_cast<long double>(m) / static_cast<long double>(n));
    }
    std::vector<double> x(n, 0.0);
    for (std::size_t t = 0; t < n; ++t) {
        long double sum = f[0];
        if (n >= 2)
            sum += (t % 2 == 0 ? 1.0L : -1.0L) * f[n / 2];
        for (std::size_t k = 1; k < n / 2; ++k) {
            const std::size_t m = (k * t) % n;
            // X_k = f[k] - i f[N/2+k]; X_k e^{+i..} + conj = 2 (f[k] cos + f[N/2+k] sin).
            sum += 2.0L * (f[k] * cosines[m] + f[n / 2 + k] * sines[m]);
        }
        x[t] = static_cast<double>(sum);
    }
    return x;
}

std::vector<double> randomSignal(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    std::vector<double> x(n);
    for (double& v : x)
        v = dist(rng);
    return x;
}

// Rounding bound for a radix-2 transform: a few ulps per stage of the largest possible
// magnitude (the sum of absolute inputs).
double roundingBound(const std::vector<double>& x)
{
    double sumAbs = 0.0;
    for (double v : x)
        sumAbs += std::fabs(v);
    const double stages = std::log2(static_cast<double>(x.size())) + 1.0;
    return 4.0 * stages * std::numeric_limits<double>::epsilon() * (sumAbs + 1.0);
}

class FFTRealLength : public ::testing::TestWithParam<std::int32_t> {};

TEST_P(FFTRealLength, ForwardTransformMatchesNaiveDftInPackedLayout)
{
    const std::int32_t n = GetParam();
    FFTReal fft(n);
    const std::vector<double> x = randomSignal(n, 1234u + n);
    const std::vector<double> xCopy = x;
    std::vector<double> f(n, std::nan(""));
    fft.forward_transform(f.data(), x.data());

    const std::vector<double> expected = naiveForward(x);
    const double bound = roundingBound(x);
    for (std::int32_t k = 0; k < n; ++k)
        EXPECT_NEAR(f[k], expected[k], bound) << "N=" << n << " k=" << k;
    EXPECT_EQ(x, xCopy) << "the input must not change";
}

TEST_P(FFTRealLength, InverseTransformMatchesNaiveUnnormalisedInverse)
{
    const std::int32_t n = GetParam();
    FFTReal fft(n);
    const std::vector<double> f = randomSignal(n, 99u + n);
    const std::vector<double> fCopy = f;
    std::vector<double> x(n, std::nan(""));
    fft.inverse_transform(f.data(), x.data());

    const std::vector<double> expected = naiveInverse(f);
    const double bound = 2.0 * roundingBound(f);
    for (std::int32_t t = 0; t < n; ++t)
        EXPECT_NEAR(x[t], expected[t], bound) << "N=" << n << " n=" << t;
    EXPECT_EQ(f, fCopy) << "the spectrum must not change";
}

TEST_P(FFTRealLength, UnitImpulseHasFlatRealSpectrum)
{
    const std::int32_t n = GetParam();
    FFTReal fft(n);
    std::vector<double> x(n, 0.0), f(n, std::nan(""));
    x[0] = 1.0;
    fft.forward_transform(f.data(), x.data());
    for (std::int32_t k = 0; k < n; ++k)
        EXPECT_NEAR(f[k], k <= n / 2 ? 1.0 : 0.0, 1e-15) << "N=" << n << " k=" << k;
}

TEST_P(FFTRealLength, ConstantHasOnlyDcAndInvertsToNTimesOne)
{
    const std::int32_t n = GetParam();
    FFTReal fft(n);
    std::vector<double> x(n, 1.0), f(n, std::nan("")), back(n, std::nan(""));
    fft.forward_transform(f.data(), x.data());
    for (std::int32_t k = 0; k < n; ++k)
        EXPECT_NEAR(f[k], k == 0 ? n : 0.0, 1e-12) << "N=" << n << " k=" << k;
    fft.inverse_transform(f.data(), back.data());
    for (std::int32_t t = 0; t < n; ++t)
        EXPECT_NEAR(back[t], n, 1e-12) << "N=" << n << " n=" << t;
}

TEST_P(FFTRealLength, LengthAndBitCountAreReadable)
{
    const std::int32_t n = GetParam();
    FFTReal fft(n);
    EXPECT_EQ(fft.length, n);
    EXPECT_EQ(std::int32_t{1} << fft._nbr_bits, n);
}

// 4096 and 8192 points: the complex path with a radix-2 last stage and with six radix-4 stages.
INSTANTIATE_TEST_SUITE_P(PowersOfTwo, FFTRealLength,
                         ::testing::Values(1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096, 8192),
                         [](const ::testing::TestParamInfo<std::int32_t>& info) {
                             return "N" + std::to_string(info.param);
                         });

TEST(FFTReal, OneCycleSineStoresPlusHalfNInFirstImaginarySlot)
{
    // The stored imaginary parts carry the sign of e^{+i}: sum x sin, not -sum x sin.
    for (std::int32_t n = 4; n <= 2048; n *= 2) {
        FFTReal fft(n);
        std::vector<double> x(n), f(n, std::nan(""));
        for (std::int32_t t = 0; t < n; ++t)
            x[t] = std::sin(2.0 * std::numbers::pi * t / n);
        fft.forward_transform(f.data(), x.data());
        for (std::int32_t k = 0; k < n; ++k)
            EXPECT_NEAR(f[k], k == n / 2 + 1 ? n / 2.0 : 0.0, 1e-12) << "N=" << n << " k=" << k;
    }
}

TEST(FFTReal, RoundTripAt2048PointsGivesNTimesTheSignal)
{
    FFTReal fft(2048);
    const std::vector<double> x = randomSignal(2048, 7u);
    std::vector<double> f(2048), back(2048);
    fft.forward_transform(f.data(), x.data());
    fft.inverse_transform(f.data(), back.data());
    for (std::size_t t = 0; t < x.size(); ++t)
        EXPECT_NEAR(back[t], 2048.0 * x[t], 1e-11) << "n=" << t;
}

TEST(FFTReal, RepeatedTransformsGiveIdenticalResults)
{
    // The scratch buffer is shared between calls; nothing of one call may leak into the next.
    FFTReal fft(2048);
    const std::vector<double> x = randomSignal(2048, 8u);
    const std::vector<double> other = randomSignal(2048, 9u);
    std::vector<double> first(2048), second(2048), scratch(2048);
    fft.forward_transform(first.data(), x.data());
    fft.inverse_transform(other.data(), scratch.data());
    fft.forward_transform(second.data(), x.data());
    EXPECT_EQ(first, second);
}

TEST(FFTReal, TablesFor2048PointsHaveTheDocumentedShape)
{
    FFTReal fft(2048);
    EXPECT_EQ(fft._nbr_bits, 11);
    EXPECT_EQ(fft.cosineTableLength(), 1020);
    ASSERT_NE(fft.bitReversalTable(), nullptr);
    EXPECT_EQ(fft.bitReversalTable()[1], 1024);

    // Every entry is its index with the 11 low bits reversed.
    for (std::int32_t i = 0; i < 2048; ++i) {
        std::int32_t reversed = 0;
        for (int bit = 0; bit < 11; ++bit)
            if (i & (1 << bit))
                reversed |= 1 << (10 - bit);
        ASSERT_EQ(fft.bitReversalTable()[i], reversed) << "i=" << i;
    }

    // Level L from index 2^(L-1) - 4 holds cos(j pi / 2^L); entry h - j is sin(j pi / 2^L).
    const double* table = fft.cosineTable();
    ASSERT_NE(table, nullptr);
    for (int level = 3; level <= 10; ++level) {
        const int half = 1 << (level - 1);
        const double* run = table + (half - 4);
        for (int j = 0; j < half; ++j) {
            const long double angle = static_cast<long double>(j) * 3.14159265358979323846L
                                    / static_cast<long double>(1 << level);
            EXPECT_NEAR(run[j], static_cast<double>(std::cos(angle)), 2e-16) << "L=" << level << " j=" << j;
            if (j > 0) {
                EXPECT_NEAR(run[half - j], static_cast<double>(std::sin(angle)), 2e-16)
                    << "L=" << level << " j=" << j;
            }
        }
    }
}

TEST(FFTReal, SmallLengthsHaveNoCosineTable)
{
    for (std::int32_t n : {1, 2, 4, 8}) {
        FFTReal fft(n);
        EXPECT_EQ(fft.cosineTable(), nullptr) << "N=" << n;
        EXPECT_EQ(fft.cosineTableLength(), 0) << "N=" << n;
    }
    FFTReal sixteen(16);
    EXPECT_EQ(sixteen.cosineTableLength(), 4);
    EXPECT_NE(sixteen.cosineTable(), nullptr);
}

// ---- Every kernel, against the naive references ----------------------------------------

// The kernels this processor runs, with the lengths of the complex path: 16 (one double per
// lane), 32 (two), from 64 on the wide kernel where chosen; odd and even numbers of stages. The
// radix-2 kernel, the reference the others are compared with, answers to the same references.
struct KernelCase {
    FFTReal::Kernel kernel;
    std::int32_t length;
};

std::vector<KernelCase> kernelCases()
{
    std::vector<KernelCase> cases;
    for (FFTReal::Kernel kernel : {FFTReal::Kernel::Baseline, FFTReal::Kernel::Avx2, FFTReal::Kernel::Radix2})
        for (std::int32_t n : {16, 32, 64, 128, 256, 512, 1024, 2048, 4096})
            cases.push_back({kernel, n});
    return cases;
}

class FFTRealKernel : public ::testing::TestWithParam<KernelCase> {
protected:
    void SetUp() override
    {
        if (!FFTReal::kernelAvailable(GetParam().kernel))
            GTEST_SKIP() << "this processor does not run the kernel";
    }
};

TEST_P(FFTRealKernel, ForwardAndInverseMatchTheNaiveTransforms)
{
    const auto [kernel, n] = GetParam();
    FFTReal fft(n, kernel);
    const std::vector<double> x = randomSignal(n, 555u + n);
    std::vector<double> f(n, std::nan("")), y(n, std::nan(""));
    fft.forward_transform(f.data(), x.data());
    const std::vector<double> expectedF = naiveForward(x);
    const double boundF = roundingBound(x);
    for (std::int32_t k = 0; k < n; ++k)
        ASSERT_NEAR(f[k], expectedF[k], boundF) << "forward, N=" << n << " k=" << k;

    fft.inverse_transform(x.data(), y.data());   // x read as a spectrum
    const std::vector<double> expectedY = naiveInverse(x);
    const double boundY = 2.0 * roundingBound(x);
    for (std::int32_t t = 0; t < n; ++t)
        ASSERT_NEAR(y[t], expectedY[t], boundY) << "inverse, N=" << n << " t=" << t;
}

// Circular convolution by its definition, in long double: y[t] = sum_j x[j] g[(t - j) mod N].
std::vector<long double> naiveCircularConvolution(const std::vector<double>& x, const std::vector<double>& g)
{
    const std::size_t n = x.size();
    std::vector<long double> y(n, 0.0L);
    for (std::size_t t = 0; t < n; ++t)
        for (std::size_t j = 0; j < n; ++j)
            y[t] += static_cast<long double>(x[j]) * g[(t + n - j) % n];
    return y;
}

TEST_P(FFTRealKernel, ConvolveGivesNTimesTheCircularConvolution)
{
    const auto [kernel, n] = GetParam();
    FFTReal fft(n, kernel);
    const std::vector<double> x = randomSignal(n, 777u + n);
    // A short response (like a filter's) and one that fills the block.
    for (std::size_t taps : {std::size_t{9}, static_cast<std::size_t>(n)}) {
        std::vector<double> g = randomSignal(taps, 888u + n);
        g.resize(n, 0.0);
        const std::vector<double> h = naiveForward(g);
        std::vector<double> y = x;
        fft.convolve(y.data(), h.data());
        std::vector<long double> expected = naiveCircularConvolution(x, g);
        // Pair 0 is multiplied as the complex number (DC, Nyquist): (X0 + i XM)(G0 + i GM) puts
        // X0 G0 - XM GM at DC and XM G0 + X0 GM at Nyquist, where the spectral product has
        // X0 G0 and XM GM. The inverse adds the difference as a constant and an alternation.
        long double x0 = 0.0L, xm = 0.0L, g0 = 0.0L, gm = 0.0L;
        for (std::int32_t t = 0; t < n; ++t) {
            x0 += x[t];
            xm += (t % 2 == 0) ? x[t] : -x[t];
            g0 += g[t];
            gm += (t % 2 == 0) ? g[t] : -g[t];
        }
        for (std::int32_t t = 0; t < n; ++t) {
            expected[t] += (-xm * gm) / n;
            expected[t] += ((t % 2 == 0) ? 1.0L : -1.0L) * (xm * g0 + x0 * gm - xm * gm) / n;
        }

        // With b = 4 (log2 N + 1) eps per transform (roundingBound): the forward transform of x
        // is off by at most b Sx per bin (Sx = sum |x|), multiplied by |H_k| <= Sg (= sum |g|);
        // the product adds two roundings of Sx Sg; h itself is rounded once from the exact
        // spectrum (eps Sg, times Sx); the inverse sums N bins of at most Sx Sg, adding 2 b N Sx Sg of
        // its own and weighting the bins' errors by at most 2 each. In all at most
        // N (2 b + 2 b + 4 eps) Sx Sg; the bound below takes 5 b N Sx Sg.
        double sx = 0.0, sg = 0.0;
        for (double v : x)
            sx += std::fabs(v);
        for (double v : g)
            sg += std::fabs(v);
        const double b = 4.0 * (std::log2(static_cast<double>(n)) + 1.0) * std::numeric_limits<double>::epsilon();
        const double bound = 5.0 * b * n * sx * sg;
        for (std::int32_t t = 0; t < n; ++t)
            ASSERT_NEAR(y[t], static_cast<double>(n * expected[t]), bound) << "N=" << n << " taps=" << taps << " t=" << t;
    }
}

// Signals whose spectra have exact zeros (also of either sign), at DC, Nyquist and the bin N/4
// where the split step pairs a bin with itself: convolve must still give exactly the doubles of
// the three steps done one after the other.
TEST_P(FFTRealKernel, ConvolveOfStructuredSignalsEqualsTheThreeStepsBitForBit)
{
    const auto [kernel, n] = GetParam();
    FFTReal fft(n, kernel);
    std::vector<std::vector<double>> signals;
    signals.push_back(std::vector<double>(n, 0.0));                // silence
    signals.push_back(std::vector<double>(n, 1.0));                // DC only
    std::vector<double> impulse(n, 0.0), alternating(n), quarter(n), negative(n, 0.0);
    impulse[0] = 1.0;
    negative[n / 2] = -0.5;
    for (std::int32_t t = 0; t < n; ++t) {
        alternating[t] = (t % 2 == 0) ? 1.0 : -1.0;               // Nyquist only
        quarter[t] = (t % 4 == 0) ? 1.0 : ((t % 4 == 2) ? -1.0 : 0.0);   // bin N/4 only
    }
    signals.push_back(impulse);
    signals.push_back(alternating);
    signals.push_back(quarter);
    signals.push_back(negative);
    std::vector<std::vector<double>> spectra;
    spectra.push_back(std::vector<double>(n, 1.0));               // all ones, imaginary parts too
    std::vector<double> realOnly(n, 0.0), negativeZeros(n, -0.0);
    for (std::int32_t k = 0; k < n / 2; ++k)
        realOnly[k] = 1.0 - 2.0 * k / n;
    spectra.push_back(realOnly);
    spectra.push_back(negativeZeros);

    const std::int32_t half = n / 2;
    for (std::size_t si = 0; si < signals.size(); ++si) {
        for (std::size_t hi = 0; hi < spectra.size(); ++hi) {
            const std::vector<double>& x = signals[si];
            const std::vector<double>& h = spectra[hi];
            std::vector<double> f(n), expected(n), fused = x;
            fft.forward_transform(f.data(), x.data());
            for (std::int32_t k = 0; k < half; ++k) {
                const double xr = f[k], xi = f[k + half], hr = h[k], hiv = h[k + half];
                f[k] = xr * hr - xi * hiv;
                f[k + half] = xi * hr + xr * hiv;
            }
            fft.inverse_transform(f.data(), expected.data());
            fft.convolve(fused.data(), h.data());
            EXPECT_EQ(std::memcmp(fused.data(), expected.data(), sizeof(double) * n), 0)
                << "N=" << n << " signal " << si << " spectrum " << hi;
        }
    }
}

TEST_P(FFTRealKernel, RepeatedConvolutionsGiveIdenticalResults)
{
    // Both scratch arrays are shared between calls; nothing of one call may leak into the next.
    const auto [kernel, n] = GetParam();
    FFTReal fft(n, kernel);
    const std::vector<double> x = randomSignal(n, 31u + n), h = randomSignal(n, 32u + n);
    std::vector<double> first = x, other = randomSignal(n, 33u + n), second = x, scratch(n);
    fft.convolve(first.data(), h.data());
    fft.convolve(other.data(), h.data());
    fft.forward_transform(scratch.data(), other.data());
    fft.convolve(second.data(), h.data());
    EXPECT_EQ(first, second);
}

INSTANTIATE_TEST_SUITE_P(KernelsAndLengths, FFTRealKernel, ::testing::ValuesIn(kernelCases()),
                         [](const ::testing::TestParamInfo<KernelCase>& info) {
                             const FFTReal::Kernel k = info.param.kernel;
                             return std::string(k == FFTReal::Kernel::Avx2 ? "Avx2" : k == FFTReal::Kernel::Radix2 ? "Radix2" : "Baseline")
                                  + "N" + std::to_string(info.param.length);
                         });

class FFTRealBadLength : public ::testing::TestWithParam<std::int32_t> {};

TEST_P(FFTRealBadLength, LengthThatIsNotAPowerOfTwoFailsTheAssertion)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::int32_t n = GetParam();
    EXPECT_DEATH({ FFTReal fft(n); },
                 "\\(1L << _nbr_bits\\) == length.*FFTReal.*50");
}

INSTANTIATE_TEST_SUITE_P(NotPowersOfTwo, FFTRealBadLength,
                         ::testing::Values(0, -8, 3, 6, 12, 1000, 2047, 2049),
                         [](const ::testing::TestParamInfo<std::int32_t>& info) {
                             return info.param < 0 ? "Minus" + std::to_string(-info.param)
                                                   : "N" + std::to_string(info.param);
                         });

// numpy's rfft as an outside reference: f[k] = Re X_k, f[N/2+k] = -Im X_k.
TEST(FFTReal, ForwardTransformAgreesWithNumpyRfft)
{
    const char* python = "/usr/bin/python3";
    const std::string probe = std::string(python) + " -c \"import numpy\" > /dev/null 2>&1";
    if (std::system(probe.c_str()) != 0)
        GTEST_SKIP() << python << " cannot import numpy";

    constexpr std::int32_t n = 2048;
    const std::string dir = ::testing::TempDir();
    const std::string inputPath = dir + "sonquad_fft_input.txt";
    const std::string outputPath = dir + "sonquad_fft_numpy.txt";
    const std::string scriptPath = dir + "sonquad_fft_rfft.py";

    // A fixed input: a decaying chirp plus a DC offset, so every bin carries something.
    std::vector<double> x(n);
    for (std::int32_t t = 0; t < n; ++t)
        x[t] = 0.25 + std::exp(-t / 700.0) * std::sin(0.0005 * t * t) + 0.1 * std::cos(3.0 * t);
    {
        std::ofstream input(inputPath);
        input.precision(17);
        for (double v : x)
            input << v << '\n';
        std::ofstream script(scriptPath);
        script << "import sys\nimport numpy as np\n"
                  "x = np.loadtxt(sys.argv[1])\n"
                  "X = np.fft.rfft(x)\n"
                  "np.savetxt(sys.argv[2], np.column_stack([X.real, X.imag]), fmt='%.17g')\n";
    }
    const std::string command = std::string(python) + " " + scriptPath + " " + inputPath + " "
                              + outputPath;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    std::ifstream result(outputPath);
    std::vector<double> re, im;
    double a = 0.0, b = 0.0;
    while (result >> a >> b) {
        re.push_back(a);
        im.push_back(b);
    }
    ASSERT_EQ(re.size(), static_cast<std::size_t>(n / 2 + 1));

    FFTReal fft(n);
    std::vector<double> f(n);
    fft.forward_transform(f.data(), x.data());
    const double bound = roundingBound(x);
    for (std::int32_t k = 0; k <= n / 2; ++k)
        EXPECT_NEAR(f[k], re[k], bound) << "Re, k=" << k;
    for (std::int32_t k = 1; k < n / 2; ++k)
        EXPECT_NEAR(f[n / 2 + k], -im[k], bound) << "Im, k=" << k;
    EXPECT_NEAR(im[0], 0.0, bound);
    EXPECT_NEAR(im[n / 2], 0.0, bound);

    std::remove(inputPath.c_str());
    std::remove(outputPath.c_str());
    std::remove(scriptPath.c_str());
}

} // namespace
