#include "dsp/CLowShelfFilter.h"

#include "FilterResponse.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace filtertest;

namespace {

struct ShelfCase {
    float poleHz;
    float zeroHz;
    float rateHz;
};

class CLowShelfFilterResponse : public ::testing::TestWithParam<ShelfCase> {};

TEST_P(CLowShelfFilterResponse, MatchesTheAnaloguePrototypeFromDcToNearNyquist)
{
    const ShelfCase c = GetParam();
    CLowShelfFilter filter;
    filter.frequency = c.poleHz;
    filter.zeroFrequency = c.zeroHz;
    filter.setSampleRate(c.rateHz);
    const std::vector<float> h = impulseResponse(filter, 1 << 16);

    const double w1 = prewarped(c.poleHz, c.rateHz);
    const double w2 = prewarped(c.zeroHz, c.rateHz);
    for (double f : {0.0, 5.0, 20.0, 50.0, 100.0, 300.0, 1000.0, 10000.0, 0.45 * c.rateHz}) {
        const std::complex<double> s = prewarpedS(f, c.rateHz);
        const std::complex<double> expected = (s + w2) / (s + w1);
        const std::complex<double> measured = responseAt(h, f, c.rateHz);
        // Float coefficients: about 1e-7 / w1 relative near the pole.
        EXPECT_NEAR(std::abs(measured - expected), 0.0, 1e-3 * std::abs(expected))
            << "at " << f << " Hz";
    }
    // The shelf's depth at 0 Hz is the ratio of the pre-warped zero and pole.
    EXPECT_NEAR(std::abs(responseAt(h, 0.0, c.rateHz)), w2 / w1, 1e-3 * w2 / w1);
    EXPECT_NEAR(std::abs(responseAt(h, 0.5 * c.rateHz, c.rateHz)), 1.0, 1e-5);
}

INSTANTIATE_TEST_SUITE_P(PolesZerosAndRates, CLowShelfFilterResponse,
                         ::testing::Values(ShelfCase{20.0f, 20.0f, 48000.0f},
                                           ShelfCase{40.0f, 20.0f, 44100.0f},
                                           ShelfCase{20.0f, 80.0f, 48000.0f},
                                           ShelfCase{250.0f, 25.0f, 96000.0f},
                                           ShelfCase{100.0f, 200.0f, 192000.0f}));

TEST(CLowShelfFilter, WithPoleOnZeroPassesTheSignalUpToRounding)
{
    CLowShelfFilter filter;
    filter.frequency = 70.7f;
    filter.zeroFrequency = 70.7f;
    filter.setSampleRate(44100.0f);
    const std::vector<float> x = noise(4096);
    std::vector<float> y = x;
    filter.process(y.data(), static_cast<std::int32_t>(y.size()));
    for (std::size_t i = 0; i < x.size(); ++i)
        ASSERT_NEAR(y[i], x[i], 1e-6f) << "sample " << i;
}

TEST(CLowShelfFilter, ProcessesBitIdenticallyToTheGeneralDirectFormLoop)
{
    CLowShelfFilter fast;
    fast.frequency = 33.0f;
    fast.zeroFrequency = 21.0f;
    fast.setSampleRate(48000.0f);
    fast.inputGain = 1.5f;
    ASSERT_EQ(fast.denCount, 1);
    ASSERT_EQ(fast.numCount, 2);
    const SectionAndGeneral out = runBesideGeneralLoop(fast, {1, 7, 32, 513, 1200, 2247}, 32, 7);
    EXPECT_EQ(std::memcmp(out.section.data(), out.general.data(), out.section.size() * sizeof(float)), 0);
}

} // namespace
