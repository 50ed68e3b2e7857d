#include "dsp/CHPFilter2.h"

#include "FilterResponse.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace filtertest;

namespace {

struct HighPassCase {
    float cornerHz;
    float damping;
    float rateHz;
};

class CHPFilter2Response : public ::testing::TestWithParam<HighPassCase> {};

// s^2 / (s^2 + d wc s + wc^2), wc pre-warped: the prototype the design transforms.
std::complex<double> prototype(const HighPassCase& c, double freqHz)
{
    const std::complex<double> s = prewarpedS(freqHz, c.rateHz);
    const double wc = prewarped(c.cornerHz, c.rateHz);
    return s * s / (s * s + static_cast<double>(c.damping) * wc * s + wc * wc);
}

TEST_P(CHPFilter2Response, MatchesTheAnaloguePrototypeFromDcToNearNyquist)
{
    const HighPassCase c = GetParam();
    CHPFilter2 filter;
    filter.frequency = c.cornerHz;
    filter.damping = c.damping;
    filter.setSampleRate(c.rateHz);
    const std::vector<float> h = impulseResponse(filter, 1 << 16);

    // At the corner (ratio 1) the prototype gives 1/d: -3 dB for the Butterworth damping.
    for (double ratio : {0.1, 0.25, 0.5, 0.8, 1.0, 1.25, 2.0, 4.0, 10.0, 30.0}) {
        const double f = c.cornerHz * ratio;
        if (f > 0.45 * c.rateHz)
            continue;
        const std::complex<double> expected = prototype(c, f);
        const std::complex<double> measured = responseAt(h, f, c.rateHz);
        const double unit = roundingUnit(secondOrderDenominator(
            f, c.rateHz, prewarped(c.cornerHz, c.rateHz), static_cast<double>(c.damping)));
        EXPECT_NEAR(std::abs(measured - expected), 0.0,
                    kRoundingUnits * unit * (1.0 + std::abs(expected)))
            << "at " << f << " Hz";
    }
}

INSTANTIATE_TEST_SUITE_P(CornersDampingsAndRates, CHPFilter2Response,
                         ::testing::Values(HighPassCase{20.0f, 1.4142135f, 48000.0f},
                                           HighPassCase{20.0f, 1.109f, 44100.0f},
                                           HighPassCase{37.5f, 1.618f, 96000.0f},
                                           HighPassCase{250.0f, 1.4142135f, 44100.0f},
                                           HighPassCase{1000.0f, 0.5f, 48000.0f},
                                           HighPassCase{5000.0f, 1.0f, 192000.0f}));

TEST(CHPFilter2, BlocksDirectCurrentCompletely)
{
    CHPFilter2 filter;
    filter.frequency = 20.0f;
    filter.setSampleRate(48000.0f);
    std::vector<float> x(200000, 1.0f);
    filter.process(x.data(), static_cast<std::int32_t>(x.size()));
    EXPECT_NEAR(x.back(), 0.0f, 1e-6f);
}

// The register-state loop must give exactly what the general direct-form-I loop gives.
TEST(CHPFilter2, ProcessesBitIdenticallyToTheGeneralDirectFormLoop)
{
    CHPFilter2 fast;
    fast.frequency = 31.0f;
    fast.damping = 1.3f;
    fast.setSampleRate(44100.0f);
    fast.inputGain = 0.75f;
    ASSERT_EQ(fast.denCount, 2);
    ASSERT_EQ(fast.numCount, 3);
    // Uneven blocks, a reset, then past a wrap of the general loop's 1024-entry history.
    const SectionAndGeneral out = runBesideGeneralLoop(fast, {1, 7, 32, 513, 1500, 2947}, 513, 12345);
    EXPECT_EQ(std::memcmp(out.section.data(), out.general.data(), out.section.size() * sizeof(float)), 0);
}

} // namespace
