// FFTReal against references computed another way: a naive DFT in long double, numpy's rfft,
// closed-form spectra of impulses, sines and constants, and the defining properties of its
// tables.
#include "dsp/FFTReal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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

INSTANTIATE_TEST_SUITE_P(PowersOfTwo, FFTRealLength,
                         ::testing::Values(1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048),
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
