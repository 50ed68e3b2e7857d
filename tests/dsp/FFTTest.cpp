// The real FFT, every kernel at every length from 1 to 4096 points, against the DFT by its
// definition and against each other; its fused convolution against the three steps it stands for.
#include "dsp/FFTReal.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <random>

namespace {

std::vector<double> randomSignal(std::size_t n, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::vector<double> x(n);
    for (double& v : x)
        v = uniform(random);
    return x;
}

// A few roundings per stage of the largest possible partial sum, the sum of |x|.
double roundingBound(const std::vector<double>& x)
{
    double sum = 1.0;
    for (double v : x)
        sum += std::fabs(v);
    return 4.0 * (std::log2(static_cast<double>(x.size())) + 1.0) * std::numeric_limits<double>::epsilon() * sum;
}

// variant: the kernel set that must serve the case, so that none falls back to a narrower one.
struct KernelCase {
    FFTReal::Kernel kernel;
    std::int32_t length;
    const char* variant;
};

const char* kernelLabel(FFTReal::Kernel k) { return k == FFTReal::Kernel::Avx2 ? "Avx2" : k == FFTReal::Kernel::Radix2 ? "Radix2" : "Baseline"; }

void PrintTo(const KernelCase& c, std::ostream* os) { *os << kernelLabel(c.kernel) << " " << c.length; }

std::vector<KernelCase> kernelCases()
{
    std::vector<KernelCase> cases;
    for (auto kernel : {FFTReal::Kernel::Baseline, FFTReal::Kernel::Avx2, FFTReal::Kernel::Radix2})
        for (std::int32_t n = 1; n <= 4096; n *= 2)
            cases.push_back({kernel, n, n <= 4                                        ? "closed form"
                                        : n == 8 || kernel == FFTReal::Kernel::Radix2    ? "radix2"
                                        : n == 16                                        ? "scalar"
                                        : n == 32 || kernel == FFTReal::Kernel::Baseline ? "sse2"
                                                                                         : "avx2"});
    return cases;
}

class FFTKernel : public ::testing::TestWithParam<KernelCase> {
protected:
    void SetUp() override
    {
        if (!FFTReal::kernelAvailable(GetParam().kernel))
            GTEST_SKIP() << "this processor does not run the kernel";
    }
};

TEST_P(FFTKernel, ForwardIsTheDftAndInverseUndoesItTimesN)
{
    const auto [kernel, n, variant] = GetParam();
    FFTReal fft(n, kernel);
    ASSERT_STREQ(fft.kernelName(), variant);
    const std::vector<double> x = randomSignal(static_cast<std::size_t>(n), 555u);
    std::vector<double> f(static_cast<std::size_t>(n), std::nan("")), y = f;
    fft.forward_transform(f.data(), x.data());
    const std::vector<double> expected = testsupport::naiveDft(x);
    for (std::int32_t k = 0; k < n; ++k)
        ASSERT_NEAR(f[k], expected[k], roundingBound(x)) << "bin " << k;
    fft.inverse_transform(f.data(), y.data());
    for (std::int32_t t = 0; t < n; ++t)
        ASSERT_NEAR(y[t], n * x[t], 4.0 * n * roundingBound(x)) << "sample " << t;
    if (kernel != FFTReal::Kernel::Radix2 || n <= 8) {
        FFTReal baseline(n, FFTReal::Kernel::Baseline);
        std::vector<double> g(f.size()), z(f.size());
        baseline.forward_transform(g.data(), x.data());
        baseline.inverse_transform(g.data(), z.data());
        EXPECT_EQ(f, g) << "forward, against the baseline kernel";
        EXPECT_EQ(y, z) << "inverse, against the baseline kernel";
    }
    EXPECT_EQ(x, randomSignal(static_cast<std::size_t>(n), 555u)) << "input changed";
}

// convolve(x, h) is, bit for bit, forward, a product per bin pair (pair 0 the complex number
// (DC, Nyquist)), inverse: also with exact zeros at DC, Nyquist and N/4, where the split step pairs
// a bin with itself. Kernels of the baseline's factorisation (not radix-2 from 16 on) give its doubles.
TEST_P(FFTKernel, ConvolveIsTheThreeStepsAndEveryKernelGivesTheBaselinesDoubles)
{
    const auto [kernel, n, variant] = GetParam();
    const auto size = static_cast<std::size_t>(n);
    FFTReal fft(n, kernel), baseline(n, FFTReal::Kernel::Baseline);
    std::vector<double> impulse(size, 0.0), alternating(size), quarter(size);
    impulse[0] = 1.0;
    for (std::size_t t = 0; t < size; ++t)
        alternating[t] = t % 2 == 0 ? 1.0 : -1.0, quarter[t] = t % 4 == 0 ? 1.0 : t % 4 == 2 ? -1.0 : 0.0;
    const std::vector<std::vector<double>> signals = {impulse, alternating, quarter, std::vector<double>(size, 1.0),
                                                      randomSignal(size, 777u)};
    const std::vector<std::vector<double>> spectra = {std::vector<double>(size, 1.0), std::vector<double>(size, -0.0),
                                                      randomSignal(size, 778u)};
    const std::int32_t half = n / 2;
    for (const auto& x : signals) {
        for (const auto& h : spectra) {
            std::vector<double> f(size), expected(size), fused = x, reference = x;
            fft.forward_transform(f.data(), x.data());
            if (half == 0)
                f[0] *= h[0];
            for (std::int32_t k = 0; k < half; ++k) {
                const double re = f[k], im = f[k + half];
                f[k] = re * h[k] - im * h[k + half];
                f[k + half] = im * h[k] + re * h[k + half];
            }
            fft.inverse_transform(f.data(), expected.data());
            fft.convolve(fused.data(), h.data());
            ASSERT_EQ(std::memcmp(fused.data(), expected.data(), sizeof(double) * size), 0) << "against the three steps";
            baseline.convolve(reference.data(), h.data());
            if (kernel != FFTReal::Kernel::Radix2 || n <= 8) {
                ASSERT_EQ(std::memcmp(fused.data(), reference.data(), sizeof(double) * size), 0) << "against the baseline";
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(KernelsAndLengths, FFTKernel, ::testing::ValuesIn(kernelCases()),
                         [](const auto& info) {
                             return std::string(kernelLabel(info.param.kernel)) + "N" + std::to_string(info.param.length);
                         });

} // namespace
