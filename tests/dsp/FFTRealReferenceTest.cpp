// The overlap-save block of CFFTFilter, on the fast transform's fused convolution, against the
// block done step by step on FFTReal's radix-2 kernel, the straightforward code it replaced. The
// factorisation differs (radix-4 stages of an N/2-point complex FFT and a split step, against
// radix-2 stages of the real transform), so the results are not bit-identical; they are checked
// within a rounding bound derived below. (The transforms themselves, every kernel against a
// naive DFT and against each other: tests/dsp/FFTRealTest.cpp.)
#include "dsp/CCoincidenceFilter.h"
#include "dsp/FFTReal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace {

constexpr double kEpsilon = std::numeric_limits<double>::epsilon();

// How far one transform of N points may be from the exact DFT: every intermediate value is a
// partial DFT, no larger than S = the sum of the absolute inputs, and each of at most log2 N + 1
// stages (a radix-4 stage is two radix-2 stages' worth, the split step one more) adds at most
// four roundings of such a value: two products and a sum with a twiddle that is itself rounded,
// then the butterfly's sum or difference. So |error| <= 4 (log2 N + 1) eps S; two transforms
// computed in different orders differ by at most twice that. (The inverse weights the bins
// 1 .. N/2-1 twice, so its S is twice the sum of the absolute spectrum values.)
double transformDifferenceBound(std::size_t n, double s)
{
    return 2.0 * 4.0 * (std::log2(static_cast<double>(n)) + 1.0) * kEpsilon * s;
}

// The overlap-save block as CFFTFilter ran it before, on the radix-2 transform: from the
// state after reset (position 1024, zero history), with the spectrum h.
std::vector<float> referenceOverlapSave(const double* h, const std::vector<float>& input)
{
    constexpr std::int32_t kN = 2048, kHalf = 1024;
    FFTReal fft(kN, FFTReal::Kernel::Radix2);
    std::vector<double> a(kN, 0.0), b(kN, 0.0), out(kN, 0.0), x(kN, 0.0);
    std::vector<float> output(input.size());
    std::int32_t position = kHalf;
    for (std::size_t n = 0; n < input.size(); ++n) {
        a[position] = input[n];
        b[position] = input[n];
        output[n] = static_cast<float>(out[position]);
        if (++position == kN) {
            fft.forward_transform(x.data(), a.data());
            for (std::int32_t k = 0; k < kHalf; ++k) {
                const double xr = x[k], xi = x[k + kHalf], hr = h[k], hi = h[k + kHalf];
                x[k] = xr * hr - xi * hi;
                x[k + kHalf] = xi * hr + xr * hi;
            }
            fft.inverse_transform(x.data(), a.data());
            for (std::int32_t k = 0; k < kHalf; ++k) {
                a[k] = b[kHalf + k];
                a[kHalf + k] = a[kHalf + k] * (1.0 / kN);
                out[kHalf + k] = a[kHalf + k];
            }
            position = kHalf;
        }
    }
    return output;
}

// A coincidence filter whose spectrum the test can read.
struct OpenCoincidenceFilter : CCoincidenceFilter {
    using CCoincidenceFilter::CCoincidenceFilter;
    using CFFTFilter::spectrum;
};

class FastOverlapSave : public ::testing::TestWithParam<int> {};

TEST_P(FastOverlapSave, CoincidenceFilterOutputAgreesWithTheReferenceBlockWithinTheRoundingBound)
{
    const int variant = GetParam();
    OpenCoincidenceFilter filter(variant, 2.3f, 1.0f);
    filter.prepare(48000.0f);
    filter.process(nullptr, 0);   // designs H
    filter.reset();

    std::mt19937 rng(99u + variant);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    std::vector<float> input(6 * 1024 + 300);
    for (float& s : input)
        s = dist(rng);
    const std::vector<float> expected = referenceOverlapSave(filter.spectrum, input);
    std::vector<float> actual = input;
    filter.process(actual.data(), static_cast<std::int32_t>(actual.size()));

    // One block: its 2048 inputs sum to at most S = 2048 in magnitude, and every |H_k| <= Hmax.
    // The forward transform's error (bound b S, b from transformDifferenceBound) is scaled by at
    // most Hmax through the product and the inverse divided by N; the products add 2 eps Hmax S;
    // the inverse adds at most 2 b Hmax S (its input is bounded by Hmax S per bin). So each
    // implementation is within (3 b + 2 eps) Hmax S of the exact double result, and the two
    // differ by twice that, plus one rounding to float of the output.
    double hMax = 0.0;
    for (int k = 0; k < 1024; ++k)
        hMax = std::max(hMax, std::hypot(filter.spectrum[k], filter.spectrum[1024 + k]));
    const double b = transformDifferenceBound(2048, 1.0) / 2.0;
    const double doubleBound = 2.0 * (3.0 * b + 2.0 * kEpsilon) * hMax * 2048.0;
    double largestDifference = 0.0;
    for (std::size_t n = 0; n < input.size(); ++n) {
        const float e = expected[n];
        const double floatStep = std::nextafter(std::fabs(e), INFINITY) - std::fabs(e);
        ASSERT_LE(std::fabs(static_cast<double>(actual[n]) - e), doubleBound + floatStep) << "n=" << n;
        largestDifference = std::max(largestDifference, std::fabs(static_cast<double>(actual[n]) - e));
    }
    // The bound is loose; the difference is in fact a rounding of the float output at most.
    EXPECT_LT(largestDifference, 1.0e-6);
    // And the output is not trivially zero: the filter passed signal.
    EXPECT_GT(std::fabs(actual.back()), 0.0f);
}

INSTANTIATE_TEST_SUITE_P(Channels, FastOverlapSave, ::testing::Values(0, 1),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param == 0 ? std::string("W") : std::string("XYZ");
                         });

} // namespace
