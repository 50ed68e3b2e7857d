// The FFT convolution filter against direct convolution; the capsule-coincidence correction through
// process against its published gains, its latency and the shape of a minimum-phase response.
#include "dsp/CCoincidenceFilter.h"
#include "dsp/CFFTFilter.h"
#include "dsp/CFilterCoefficients.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace testsupport;

std::unique_ptr<CFFTFilter> tableFilter(CFilterCoefficients& table, float rate = 48000.0f)
{
    auto filter = std::make_unique<CFFTFilter>();
    filter->setCoefficients(&table);
    filter->prepare(rate);
    return filter;
}

// x convolved with h, 1024 samples late, plus what taking the (DC, Nyquist) pair as one complex
// number adds: with the block's sums X0, XN and h's gains H0, HN the pair is (X0 H0 - XN HN,
// XN H0 + X0 HN), not (X0 H0, XN HN); in time, (dDC + (-1)^n dNyquist) / 2048 more.
std::vector<double> overlapSave(const std::vector<float>& x, const std::vector<double>& h)
{
    double h0 = 0.0, hn = 0.0;
    for (std::size_t m = 0; m < h.size(); ++m) {
        h0 += h[m];
        hn += m % 2 == 0 ? h[m] : -h[m];
    }
    std::vector<float> delayed(x.size(), 0.0f);
    std::copy(x.begin(), x.end() - 1024, delayed.begin() + 1024);
    std::vector<double> y = directConvolution(delayed, h);
    double x0 = 0.0, xn = 0.0;
    for (std::size_t n = 1024; n < x.size(); ++n) {
        if (n % 1024 == 0) {   // the block step emitting n .. n+1023 read inputs n-2048 .. n-1
            x0 = xn = 0.0;
            for (std::size_t q = 0; q < 2048; ++q) {
                const double a = n + q >= 2048 ? x[n + q - 2048] : 0.0;
                x0 += a;
                xn += q % 2 == 0 ? a : -a;
            }
        }
        const double nyquist = xn * h0 + x0 * hn - xn * hn;
        y[n] += (-xn * hn + (n % 2 == 0 ? nyquist : -nyquist)) / 2048.0;
    }
    return y;
}

struct TableCase {
    const char* name;
    std::vector<float> samples;    // what the table holds for 48 kHz
    std::vector<double> applied;   // the response the filter must apply
};
void PrintTo(const TableCase& c, std::ostream* os) { *os << c.name; }

std::vector<double> scaled(const std::vector<float>& h, double divisor)
{
    std::vector<double> e(h.begin(), h.begin() + static_cast<long>(std::min<std::size_t>(1024, h.size())));
    for (double& v : e)
        v /= divisor;
    return e;
}

std::vector<TableCase> tableCases()
{
    std::vector<float> random = noise(300, 11, 0.7f), full = noise(1024, 12), longer = noise(1500, 13), negative = noise(200, 14);
    random[17] = 0.75f;   // the largest positive sample normalises, not the larger negative one
    random[40] = -0.9f;
    full[1023] = 2.0f;
    longer[100] = 0.8f;
    longer[1200] = 5.0f;  // beyond 1024: counts neither as a tap nor for the normaliser
    for (float& v : negative)
        v = -0.51f - v;
    return {{"SingleSampleIsAUnitImpulse", {0.5f}, {1.0}},
            {"NoDcOrNyquistGainIsPlainConvolution", {0.5f, 0.25f, -0.5f, -0.25f}, {1.0, 0.5, -1.0, -0.5}},
            {"NormalisedByTheLargestPositiveSample", random, scaled(random, 0.75)},
            {"FullLengthReachesTheLastTap", full, scaled(full, 2.0)},
            {"LongerUsesTheFirst1024Samples", longer, scaled(longer, 0.8)},
            {"NoPositiveSampleIsUsedUnscaled", negative, scaled(negative, 1.0)},
            {"AllZeroGivesSilence", std::vector<float>(64, 0.0f), {0.0}},
            {"EmptyGivesSilence", {}, {0.0}}};
}

class FftFilterTable : public ::testing::TestWithParam<TableCase> {};

TEST_P(FftFilterTable, IsTheConvolutionWithTheNormalisedResponseDelayedBy1024Samples)
{
    const TableCase& c = GetParam();
    CFilterCoefficients table;
    table.setEntry(48000.0f, {}, c.samples);
    auto filter = tableFilter(table, 44100.0f);   // no response for the rate: silence, and reported
    EXPECT_EQ(filter->missingResponses(), 1);
    std::vector<float> silent = noise(3000, 22);
    filter->process(silent.data(), 3000);
    EXPECT_EQ(silent, std::vector<float>(3000, 0.0f));
    filter->prepare(48000.0f);
    EXPECT_EQ(filter->missingResponses(), 0);
    EXPECT_EQ(filter->latencySamples(), 1024);
    const std::vector<float> x = noise(7000, 21);
    std::vector<float> y = x;
    filter->process(y.data(), 7000);
    const std::vector<double> expected = overlapSave(x, c.applied);
    for (std::size_t n = 0; n < y.size(); ++n)   // float output: 2^-24 relative; the transforms' double rounding
        ASSERT_NEAR(y[n], expected[n], 1e-9 * c.applied.size() + 1.2e-7 * std::fabs(expected[n])) << "sample " << n;
}

INSTANTIATE_TEST_SUITE_P(Responses, FftFilterTable, ::testing::ValuesIn(tableCases()),
                         [](const auto& info) { return std::string(info.param.name); });


// Its response through process: 1024 samples of latency, then h[0 .. 2047] of the 2048-point
// periodic response, whose DFT bins are the designed spectrum.
std::vector<double> coincidenceResponse(int variant, float spacing, float scale, float rate = 48000.0f)
{
    CCoincidenceFilter filter(variant, spacing, scale);
    filter.prepare(rate);
    EXPECT_EQ(filter.latencySamples(), 1024);
    const std::vector<float> out = impulseResponse(filter, 3072);
    for (std::size_t n = 0; n < 1024; ++n)
        EXPECT_EQ(out[n], 0.0f) << "within the latency, sample " << n;
    return std::vector<double>(out.begin() + 1024, out.end());
}

double binMagnitude(const std::vector<double>& h, int bin) { return std::abs(responseAt(h, bin, 2048.0)); }

// The published gains of the curve (levels at bins 0, 100, 300 and 1023 of 2048 at 48 kHz, for
// 1.47 cm). The minimum-phase step reads the gain curve as a log-magnitude: |H| = e^gain / 2 sqrt 2.
struct PublishedCase {
    const char* name;
    int variant;
    double gains[4];
};
void PrintTo(const PublishedCase& c, std::ostream* os) { *os << c.name; }

class Coincidence : public ::testing::TestWithParam<PublishedCase> {};

TEST_P(Coincidence, HasThePublishedGainsAndAMinimumPhaseResponse)
{
    const PublishedCase& c = GetParam();
    const std::vector<double> h = coincidenceResponse(c.variant, 1.47f, 1.0f);
    const int bins[4] = {0, 100, 300, 1023};
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(std::log(binMagnitude(h, bins[i]) * 2.0 * std::sqrt(2.0)), c.gains[i], 0.0006) << "bin " << bins[i];
    // Minimum phase puts the energy at the front (a linear-phase response would have it in the middle).
    double front = 0.0, total = 0.0;
    for (std::size_t n = 0; n < h.size(); ++n)
        (n < 32 ? front : total) += h[n] * h[n];
    EXPECT_GT(front / (front + total), 0.95);
}

INSTANTIATE_TEST_SUITE_P(Channels, Coincidence,
                         ::testing::Values(PublishedCase {"W", 0, {0.250, 0.322, 0.927, 0.751}},
                                           PublishedCase {"XYZ", 1, {0.746, 0.459, 0.235, 0.253}}),
                         [](const auto& info) { return std::string(info.param.name); });

// A larger spacing moves the correction down by 1.47 / spacing: the W curve's peak near 7 kHz.
TEST(CoincidenceCorrection, MovesDownInFrequencyWithALargerSpacing)
{
    auto peakBin = [](float spacing) {
        const std::vector<double> h = coincidenceResponse(0, spacing, 1.0f);
        int best = 0;
        for (int k = 50; k < 700; ++k)
            if (binMagnitude(h, k) > binMagnitude(h, best))
                best = k;
        return best;
    };
    const int at147 = peakBin(1.47f), at230 = peakBin(2.3f);
    EXPECT_GT(at147, 6000 * 2048 / 48000);
    EXPECT_LT(at147, 8000 * 2048 / 48000);
    EXPECT_NEAR(at230, at147 * 1.47 / 2.3, 0.03 * at147);
}

} // namespace
