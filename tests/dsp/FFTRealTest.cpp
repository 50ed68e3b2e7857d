// FFTReal against references computed another way: a naive DFT and a naive circular
// convolution in long double, numpy's rfft; every kernel at every length, and the kernels
// against each other bit for bit.
#include "dsp/FFTReal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <ostream>
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

// ---- Every kernel at every length ------------------------------------------------------------

// The kernels, each at lengths from 1 to 4096 points: the closed forms (1, 2, 4), the radix-2
// stages (8), one, two and four doubles per vector (16, 32, from 64 on), odd and even numbers of
// stages, a radix-2 last stage (64, 256, 1024, 4096) and a radix-4 one. variant is the kernel set
// that must serve the case, so that a kernel cannot quietly fall back to a narrower one.
struct KernelCase {
    FFTReal::Kernel kernel;
    std::int32_t length;
    const char* variant;
};

const char* kernelLabel(FFTReal::Kernel kernel)
{
    return kernel == FFTReal::Kernel::Avx2 ? "Avx2" : kernel == FFTReal::Kernel::Radix2 ? "Radix2" : "Baseline";
}

void PrintTo(const KernelCase& c, std::ostream* os)
{
    *os << kernelLabel(c.kernel) << " kernel, " << c.length << " points (" << c.variant << ")";
}

std::vector<KernelCase> kernelCases()
{
    std::vector<KernelCase> cases;
    for (FFTReal::Kernel kernel : {FFTReal::Kernel::Baseline, FFTReal::Kernel::Avx2, FFTReal::Kernel::Radix2}) {
        for (std::int32_t n = 1; n <= 4096; n *= 2) {
            const char* variant = n <= 4                                       ? "closed form"
                                : n == 8 || kernel == FFTReal::Kernel::Radix2 ? "radix2"
                                : n == 16                                     ? "scalar"
                                : n == 32 || kernel == FFTReal::Kernel::Baseline ? "sse2"
                                                                                 : "avx2";
            cases.push_back({kernel, n, variant});
        }
    }
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

TEST_P(FFTRealKernel, ForwardAndInverseMatchTheNaiveTransformsAndLeaveTheirInputs)
{
    const auto [kernel, n, variant] = GetParam();
    FFTReal fft(n, kernel);
    ASSERT_STREQ(fft.kernelName(), variant);
    EXPECT_EQ(fft.length, n);
    EXPECT_EQ(std::int32_t{1} << fft._nbr_bits, n);

    const std::vector<double> x = randomSignal(n, 555u + n);
    std::vector<double> f(n, std::nan("")), y(n, std::nan(""));
    fft.forward_transform(f.data(), x.data());
    const std::vector<double> expectedF = naiveForward(x);
    const double boundF = roundingBound(x);
    for (std::int32_t k = 0; k < n; ++k)
        ASSERT_NEAR(f[k], expectedF[k], boundF) << "forward, k=" << k;
    EXPECT_EQ(x, randomSignal(n, 555u + n)) << "the signal must not change";

    fft.inverse_transform(x.data(), y.data());   // x read as a spectrum
    const std::vector<double> expectedY = naiveInverse(x);
    const double boundY = 2.0 * roundingBound(x);
    for (std::int32_t t = 0; t < n; ++t)
        ASSERT_NEAR(y[t], expectedY[t], boundY) << "inverse, t=" << t;
    EXPECT_EQ(x, randomSignal(n, 555u + n)) << "the spectrum must not change";
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

// Signals and spectra with exact zeros (also of either sign) at DC, Nyquist and the bin N/4, where
// the split step pairs a bin with itself, and random ones.
std::vector<std::vector<double>> structuredSignals(std::int32_t n)
{
    std::vector<std::vector<double>> signals;
    signals.push_back(std::vector<double>(n, 0.0));                      // silence
    signals.push_back(std::vector<double>(n, 1.0));                      // DC only
    std::vector<double> impulse(n, 0.0), alternating(n), quarter(n), negative(n, 0.0);
    impulse[0] = 1.0;
    negative[n / 2] = -0.5;
    for (std::int32_t t = 0; t < n; ++t) {
        alternating[t] = (t % 2 == 0) ? 1.0 : -1.0;                      // Nyquist only
        quarter[t] = (t % 4 == 0) ? 1.0 : ((t % 4 == 2) ? -1.0 : 0.0);   // bin N/4 only
    }
    signals.push_back(impulse);
    signals.push_back(alternating);
    signals.push_back(quarter);
    signals.push_back(negative);
    signals.push_back(randomSignal(n, 777u + n));
    return signals;
}

std::vector<std::vector<double>> structuredSpectra(std::int32_t n)
{
    std::vector<std::vector<double>> spectra;
    spectra.push_back(std::vector<double>(n, 1.0));                      // all ones, imaginary parts too
    std::vector<double> realOnly(n, 0.0);
    for (std::int32_t k = 0; k < n / 2; ++k)
        realOnly[k] = 1.0 - 2.0 * k / n;
    spectra.push_back(realOnly);
    spectra.push_back(std::vector<double>(n, -0.0));
    spectra.push_back(randomSignal(n, 778u + n));
    return spectra;
}

TEST_P(FFTRealKernel, ConvolveGivesTheThreeStepsBitForBitAndNTimesTheCircularConvolution)
{
    const auto [kernel, n, variant] = GetParam();
    FFTReal fft(n, kernel);
    const std::int32_t half = n / 2;
    for (const std::vector<double>& x : structuredSignals(n)) {
        for (const std::vector<double>& h : structuredSpectra(n)) {
            std::vector<double> f(n), expected(n), fused = x;
            fft.forward_transform(f.data(), x.data());
            if (half == 0)
                f[0] = f[0] * h[0];
            for (std::int32_t k = 0; k < half; ++k) {
                const double xr = f[k], xi = f[k + half], hr = h[k], hiv = h[k + half];
                f[k] = xr * hr - xi * hiv;
                f[k + half] = xi * hr + xr * hiv;
            }
            fft.inverse_transform(f.data(), expected.data());
            fft.convolve(fused.data(), h.data());
            ASSERT_EQ(std::memcmp(fused.data(), expected.data(), sizeof(double) * n), 0)
                << "signal " << x[0] << ", " << x[n - 1] << "; spectrum " << h[0] << ", " << h[n - 1];
        }
    }

    // Against the definition, with the spectrum of a response: a short one (like a filter's) and
    // one that fills the block.
    const std::vector<double> x = randomSignal(n, 777u + n);
    for (std::size_t taps : {std::size_t{9}, static_cast<std::size_t>(n)}) {
        std::vector<double> g = randomSignal(std::min<std::size_t>(taps, n), 888u + n);
        g.resize(n, 0.0);
        const std::vector<double> h = naiveForward(g);
        std::vector<double> y = x;
        fft.convolve(y.data(), h.data());
        std::vector<long double> expected = naiveCircularConvolution(x, g);
        // Pair 0 is multiplied as the complex number (DC, Nyquist): (X0 + i XM)(G0 + i GM) puts
        // X0 G0 - XM GM at DC and XM G0 + X0 GM at Nyquist, where the spectral product has
        // X0 G0 and XM GM. The inverse adds the difference as a constant and an alternation.
        // (One point has no Nyquist bin: its product is X0 G0.)
        if (n > 1) {
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
            ASSERT_NEAR(y[t], static_cast<double>(n * expected[t]), bound) << "taps=" << taps << " t=" << t;
    }
}

// Every kernel but the radix-2 one (a different factorisation from 16 points on) computes the
// same operations in the same order: the same doubles as the baseline kernel, whatever the
// vector width. And an object used in between gives the same doubles again: nothing of one call
// leaks through the shared scratch arrays into the next.
TEST_P(FFTRealKernel, GivesTheBaselineKernelsDoublesAndTheSameOnEveryCall)
{
    const auto [kernel, n, variant] = GetParam();
    FFTReal fft(n, kernel);
    FFTReal baseline(n, FFTReal::Kernel::Baseline);
    const std::vector<double> h = randomSignal(n, 12u + n);
    // Forward transform, inverse transform (of h) and convolution (with h) of x.
    auto run = [&](FFTReal& transform, const std::vector<double>& x) {
        std::array<std::vector<double>, 3> r{std::vector<double>(n), std::vector<double>(n), x};
        transform.forward_transform(r[0].data(), x.data());
        transform.inverse_transform(h.data(), r[1].data());
        transform.convolve(r[2].data(), h.data());
        return r;
    };
    const std::vector<double> x = randomSignal(n, 11u + n);
    const auto first = run(fft, x);
    const auto reference = run(baseline, x);
    run(fft, randomSignal(n, 13u + n));
    const auto again = run(fft, x);
    const bool sameFactorisation = kernel != FFTReal::Kernel::Radix2 || n <= 8;
    for (int i = 0; i < 3; ++i) {
        const char* which = i == 0 ? "forward" : i == 1 ? "inverse" : "convolve";
        EXPECT_EQ(std::memcmp(again[i].data(), first[i].data(), sizeof(double) * n), 0) << which << ", again";
        if (sameFactorisation) {
            EXPECT_EQ(std::memcmp(first[i].data(), reference[i].data(), sizeof(double) * n), 0)
                << which << ", against the baseline kernel";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(KernelsAndLengths, FFTRealKernel, ::testing::ValuesIn(kernelCases()),
                         [](const ::testing::TestParamInfo<KernelCase>& info) {
                             return std::string(kernelLabel(info.param.kernel)) + "N"
                                  + std::to_string(info.param.length);
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
