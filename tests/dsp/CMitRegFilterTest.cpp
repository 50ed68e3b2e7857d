#include "dsp/CMitRegFilter.h"

#include "FilterResponse.h"

#include <gtest/gtest.h>

using namespace filtertest;

namespace {

constexpr std::size_t kLength = 1 << 15;

double linearGain(double dB)
{
    return std::pow(10.0, dB / 20.0);
}

// The allpass band edges are where |H|^2 = (1 + G^2)/2 (the allpass is at -90 and -270 degrees
// there); their distance in radians per sample is the allpass bandwidth. Found by bisection on the
// measured response.
double measuredBandwidthRadians(const std::vector<float>& h, double centreHz, double gainDb,
                                double rateHz)
{
    const double g = linearGain(gainDb);
    const double target = (1.0 + g * g) / 2.0;
    auto above = [&](double f) {
        return (std::norm(responseAt(h, f, rateHz)) > target) == (g > 1.0);
    };
    auto edge = [&](double inside, double outside) {
        for (int i = 0; i < 40; ++i) {
            const double mid = 0.5 * (inside + outside);
            (above(mid) ? inside : outside) = mid;
        }
        return 0.5 * (inside + outside);
    };
    const double low = edge(centreHz, 1e-3);
    const double high = edge(centreHz, 0.5 * rateHz - 1e-3);
    return 2.0 * kPi * (high - low) / rateHz;
}

struct PeakCase {
    float centreHz;
    float octaves;
    float gainDb;
    float rateHz;
};

class CMitRegFilterResponse : public ::testing::TestWithParam<PeakCase> {};

TEST_P(CMitRegFilterResponse, HasTheGainAtTheCentreAndUnityAtDcAndNyquist)
{
    const PeakCase c = GetParam();
    CMitRegFilter filter;
    filter.setSampleRate(c.rateHz);
    filter.setParameters(c.centreHz, c.octaves, c.gainDb);
    const std::vector<float> h = impulseResponse(filter, kLength);
    EXPECT_NEAR(std::abs(responseAt(h, c.centreHz, c.rateHz)), linearGain(c.gainDb), 1e-5);
    EXPECT_NEAR(std::abs(responseAt(h, 0.0, c.rateHz)), 1.0, 1e-5);
    EXPECT_NEAR(std::abs(responseAt(h, 0.5 * c.rateHz, c.rateHz)), 1.0, 1e-5);
}

INSTANTIATE_TEST_SUITE_P(
    CentresWidthsGainsAndRates, CMitRegFilterResponse,
    ::testing::Values(PeakCase{2000.0f, 1.0f, 6.0f, 48000.0f},
                      PeakCase{1000.0f, 0.5f, -6.0f, 48000.0f},
                      PeakCase{100.0f, 2.0f, 12.0f, 44100.0f},
                      PeakCase{10000.0f, 1.0f, -12.0f, 96000.0f},
                      PeakCase{18000.0f, 0.3f, 9.0f, 44100.0f},
                      PeakCase{632.5f, 5.0f, -15.0f, 48000.0f},
                      PeakCase{15000.0f, 0.5f, 6.0f, 32000.0f}));

TEST(CMitRegFilter, GivesOneOctaveAt2000HzABandwidthOf1414Hz)
{
    CMitRegFilter filter;
    filter.setParameters(2000.0f, 1.0f, 3.0f);
    EXPECT_NEAR(filter.bandwidth, 2000.0 * (std::sqrt(2.0) - 1.0 / std::sqrt(2.0)), 1e-3);
}

// Exact mode widens a cut by 1/G, so -6 dB gets 10^(6/20) = 1.995 times the boost's band.
TEST(CMitRegFilter, GivesACutAWiderBandThanTheBoostOfTheSameSize)
{
    const double rate = 48000.0;
    CMitRegFilter boost, cut;
    for (CMitRegFilter* f : {&boost, &cut})
        f->setSampleRate(static_cast<float>(rate));
    boost.setParameters(1000.0f, 0.5f, 6.0f);
    cut.setParameters(1000.0f, 0.5f, -6.0f);
    const double boostBand =
        measuredBandwidthRadians(impulseResponse(boost, kLength), 1000.0, 6.0, rate);
    const double cutBand =
        measuredBandwidthRadians(impulseResponse(cut, kLength), 1000.0, -6.0, rate);
    EXPECT_NEAR(boostBand, 2.0 * kPi * boost.bandwidth / rate, 1e-4);
    EXPECT_NEAR(cutBand / boostBand, linearGain(6.0), 2e-3);
}

// 3 octaves at 15 kHz would reach past Nyquist: exact mode caps the band at 0.75 (pi - w0);
// linear mode keeps the whole width.
TEST(CMitRegFilter, CapsTheBandBelowNyquistInExactModeOnly)
{
    const double rate = 48000.0, centre = 15000.0;
    CMitRegFilter exact;
    exact.setParameters(static_cast<float>(centre), 3.0f, 6.0f);
    const double w0 = 2.0 * kPi * centre / rate;
    const double uncapped = 2.0 * kPi * exact.bandwidth / rate;
    ASSERT_GT(uncapped, 0.75 * (kPi - w0));
    EXPECT_NEAR(measuredBandwidthRadians(impulseResponse(exact, kLength), centre, 6.0, rate),
                0.75 * (kPi - w0), 1e-3);

    CMitRegFilter linear;
    linear.frequency = static_cast<float>(centre);
    linear.bandwidth = 4000.0f;   // 0.52 rad: not capped in either mode
    linear.gain = 6.0f;
    linear.linearBandwidth = true;
    linear.design();
    // Linear mode: k2 = (1 - wb/2)/(1 + wb/2), whose allpass bandwidth is 2 atan(wb/2).
    const double wb = 2.0 * kPi * 4000.0 / rate;
    EXPECT_NEAR(measuredBandwidthRadians(impulseResponse(linear, kLength), centre, 6.0, rate),
                2.0 * std::atan(wb / 2.0), 1e-3);

    linear.bandwidth = 30000.0f;  // 3.9 rad, far past the exact mode's cap of 0.59 rad
    linear.design();
    const double wide = 2.0 * kPi * 30000.0 / rate;
    EXPECT_NEAR(measuredBandwidthRadians(impulseResponse(linear, kLength), centre, 6.0, rate),
                2.0 * std::atan(wide / 2.0), 1e-3);
}

TEST(CMitRegFilter, AtZeroDecibelsPassesTheSignalForAnyCentreAndWidth)
{
    const std::vector<float> x = noise(2048);
    for (float centre : {20.0f, 632.5f, 2000.0f, 20000.0f}) {
        for (float octaves : {0.0f, 0.1f, 1.0f, 5.0f}) {
            CMitRegFilter filter;
            filter.setSampleRate(44100.0f);
            filter.setParameters(centre, octaves, 0.0f);
            std::vector<float> y = x;
            filter.process(y.data(), static_cast<std::int32_t>(y.size()));
            for (std::size_t i = 0; i < x.size(); ++i)
                ASSERT_FLOAT_EQ(y[i], x[i]) << centre << " Hz, " << octaves << " octaves";
        }
    }
}

TEST(CMitRegFilter, ReadsTheGainAtEveryCallWithoutARedesign)
{
    CMitRegFilter filter;
    filter.setParameters(3000.0f, 1.0f, 0.0f);
    filter.gain = 9.0f;   // no design
    const std::vector<float> h = impulseResponse(filter, kLength);
    EXPECT_NEAR(std::abs(responseAt(h, 3000.0, 48000.0)), linearGain(9.0), 1e-5);
}

TEST(CMitRegFilter, InitReturnsToTheDefaultsWithClearedState)
{
    CMitRegFilter filter;
    filter.setSampleRate(96000.0f);
    filter.setParameters(500.0f, 2.0f, 12.0f);
    filter.linearBandwidth = true;
    std::vector<float> burst = noise(100);
    filter.process(burst.data(), 100);
    filter.init();
    EXPECT_FLOAT_EQ(filter.frequency, 2000.0f);
    EXPECT_NEAR(filter.bandwidth, 1414.2136, 1e-3);
    EXPECT_FLOAT_EQ(filter.gain, 0.0f);
    EXPECT_FALSE(filter.linearBandwidth);
    EXPECT_EQ(filter.s1, 0.0);
    EXPECT_EQ(filter.s2, 0.0);
    EXPECT_FLOAT_EQ(filter.sampleRate, 96000.0f);
}

// reset and setSampleRate leave the allpass state: the section runs on across them.
TEST(CMitRegFilter, KeepsItsAllpassStateAcrossResetAndRateChange)
{
    CMitRegFilter filter;
    filter.setParameters(1000.0f, 1.0f, 6.0f);
    std::vector<float> burst = noise(100);
    filter.process(burst.data(), 100);
    const double s1 = filter.s1, s2 = filter.s2;
    ASSERT_NE(s1, 0.0);
    filter.reset();
    filter.setSampleRate(44100.0f);
    EXPECT_EQ(filter.s1, s1);
    EXPECT_EQ(filter.s2, s2);
    EXPECT_FLOAT_EQ(filter.frequency, 1000.0f);
    EXPECT_FALSE(filter.linearBandwidth);
    std::vector<float> silence(64, 0.0f);
    filter.process(silence.data(), 64);
    EXPECT_NE(silence[0], 0.0f);
}

// A centre at or above Nyquist (an EQ at 20 kHz with the host at 32 kHz) would give an
// allpass with poles outside the unit circle; the section passes its input instead.
TEST(CMitRegFilter, StaysStableWithItsCentreAboveNyquist)
{
    struct Case {
        float centreHz;
        float rateHz;
        bool linear;
    };
    for (const Case c : {Case{20000.0f, 32000.0f, false}, Case{16000.0f, 32000.0f, false},
                         Case{16000.0f, 32000.0f, true}, Case{20000.0f, 22050.0f, false}}) {
        CMitRegFilter filter;
        filter.setSampleRate(c.rateHz);
        filter.setParameters(c.centreHz, 1.0f, 6.0f);
        if (c.linear) {
            filter.linearBandwidth = true;
            filter.design();
        }
        const std::vector<float> x = noise(20000);
        std::vector<float> y = x;
        filter.process(y.data(), static_cast<std::int32_t>(y.size()));
        EXPECT_EQ(y, x) << c.centreHz << " Hz at " << c.rateHz << " Hz";
    }
}

// Narrowing the band to nothing (width 0 octaves) while a boost rings must not leave the ringing
// undamped: the section becomes the identity.
TEST(CMitRegFilter, StopsRingingWhenTheWidthGoesToZero)
{
    CMitRegFilter filter;
    filter.setParameters(1000.0f, 1.0f, 12.0f);
    std::vector<float> burst = noise(500);
    filter.process(burst.data(), 500);
    filter.setParameters(1000.0f, 0.0f, 12.0f);
    const std::vector<float> x = noise(48000, 3);
    std::vector<float> y = x;
    filter.process(y.data(), static_cast<std::int32_t>(y.size()));
    EXPECT_EQ(y, x);
}

TEST(CMitRegFilter, GivesTheSameOutputWhateverTheBlockSplit)
{
    CMitRegFilter whole, split;
    for (CMitRegFilter* f : {&whole, &split}) {
        f->setSampleRate(44100.0f);
        f->setParameters(300.0f, 1.5f, -9.0f);
    }
    std::vector<float> y = noise(4096 + 513 + 32 + 7 + 1, 42);
    const std::vector<float> expected = processed(whole, y);
    processInBlocks(split, y, {1, 7, 32, 513, 4096});
    EXPECT_EQ(y, expected);
}

} // namespace
