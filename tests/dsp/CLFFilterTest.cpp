#include "dsp/CLFFilter.h"

#include "FilterResponse.h"

#include <gtest/gtest.h>

using namespace filtertest;

namespace {

struct LFCase {
    float cutHz;
    float boostHz;
    float rateHz;
    double highPass1Damping;   // worked out by hand from the damping rule
};

class CLFFilterResponse : public ::testing::TestWithParam<LFCase> {};

TEST_P(CLFFilterResponse, FollowsTheDampingRuleForTheFirstHighPass)
{
    const LFCase c = GetParam();
    CLFFilter filter(c.cutHz, c.boostHz);
    filter.setSampleRate(c.rateHz);
    EXPECT_NEAR(filter.highPass1.damping, c.highPass1Damping, 1e-6);
    EXPECT_FLOAT_EQ(filter.highPass2.damping, 1.618f);
}

TEST_P(CLFFilterResponse, MatchesTheAnalogueShelfAndTwoHighPasses)
{
    const LFCase c = GetParam();
    CLFFilter filter(c.cutHz, c.boostHz);
    filter.setSampleRate(c.rateHz);
    const std::vector<float> h = impulseResponse(filter, 1 << 16, 1000);

    const double wc = prewarped(c.cutHz, c.rateHz);
    const double wb = prewarped(c.boostHz, c.rateHz);
    for (double ratio : {0.5, 0.8, 1.0, 1.3, 2.0, 4.0, 10.0, 100.0}) {
        const double f = c.cutHz * ratio;
        if (f > 0.45 * c.rateHz)
            continue;
        const std::complex<double> s = prewarpedS(f, c.rateHz);
        const std::complex<double> shelf = (s + wb) / (s + wc);
        const std::complex<double> hp1 = s * s / (s * s + c.highPass1Damping * wc * s + wc * wc);
        const std::complex<double> hp2 = s * s / (s * s + 1.618 * wc * s + wc * wc);
        const std::complex<double> expected = shelf * hp1 * hp2;
        const std::complex<double> measured = responseAt(h, f, c.rateHz);
        // Each section's rounding, passed on through the sections after it.
        const double unit =
            roundingUnit(firstOrderDenominator(f, c.rateHz, wc)) * std::abs(hp1 * hp2)
                * (1.0 + std::abs(shelf))
            + roundingUnit(secondOrderDenominator(f, c.rateHz, wc, c.highPass1Damping))
                  * std::abs(hp2) * (1.0 + std::abs(shelf * hp1))
            + roundingUnit(secondOrderDenominator(f, c.rateHz, wc, 1.618))
                  * (1.0 + std::abs(expected));
        EXPECT_NEAR(std::abs(measured - expected), 0.0, kRoundingUnits * unit)
            << "at " << f << " Hz";
    }
}

INSTANTIATE_TEST_SUITE_P(
    CutsAcrossTheDampingRule, CLFFilterResponse,
    ::testing::Values(LFCase{20.0f, 20.0f, 48000.0f, 1.109}, LFCase{25.0f, 20.0f, 44100.0f, 1.109},
                      LFCase{30.0f, 20.0f, 48000.0f, 1.2108},
                      LFCase{37.5f, 25.0f, 48000.0f, 1.3635},
                      LFCase{45.0f, 60.0f, 96000.0f, 1.5162},
                      LFCase{50.0f, 20.0f, 44100.0f, 1.618},
                      LFCase{70.7f, 30.0f, 48000.0f, 1.618},
                      LFCase{250.0f, 100.0f, 192000.0f, 1.618}));

TEST(CLFFilter, AppliesTheDampingRuleOnlyFromTheFirstUpdate)
{
    CLFFilter filter(100.0f, 50.0f);
    EXPECT_FLOAT_EQ(filter.highPass1.damping, 1.109f);
    EXPECT_FLOAT_EQ(filter.highPass2.damping, 1.618f);
    EXPECT_FLOAT_EQ(filter.shelf.frequency, 100.0f);
    EXPECT_FLOAT_EQ(filter.shelf.zeroFrequency, 50.0f);
    filter.update();
    EXPECT_FLOAT_EQ(filter.highPass1.damping, 1.618f);
}

TEST(CLFFilter, FollowsNewFrequenciesAtUpdate)
{
    CLFFilter filter(20.0f, 20.0f);
    filter.setSampleRate(48000.0f);
    filter.cutFreq = 80.0f;
    filter.boostFreq = 40.0f;
    filter.update();
    for (const CHPFilter2* hp : {&filter.highPass1, &filter.highPass2}) {
        EXPECT_FLOAT_EQ(hp->frequency, 80.0f);
        EXPECT_FLOAT_EQ(hp->sampleRate, 48000.0f);
    }
    EXPECT_FLOAT_EQ(filter.shelf.frequency, 80.0f);
    EXPECT_FLOAT_EQ(filter.shelf.zeroFrequency, 40.0f);
    // Response at the cut: shelf * two high-passes of damping 1.618 each.
    const std::vector<float> h = impulseResponse(filter, 1 << 15);
    const double wc = prewarped(80.0, 48000.0);
    const double wb = prewarped(40.0, 48000.0);
    const std::complex<double> s{0.0, wc};
    const std::complex<double> expected =
        (s + wb) / (s + wc) * std::pow(s * s / (s * s + 1.618 * wc * s + wc * wc), 2.0);
    EXPECT_NEAR(std::abs(responseAt(h, 80.0, 48000.0) - expected), 0.0, 1e-3 * std::abs(expected));
}

TEST(CLFFilter, GivesTheSameOutputWhateverTheBlockSplit)
{
    CLFFilter whole(37.5f, 25.0f), split(37.5f, 25.0f);
    whole.setSampleRate(44100.0f);
    split.setSampleRate(44100.0f);
    std::vector<float> y = noise(4096 + 513 + 32 + 7 + 1, 99);
    const std::vector<float> expected = processed(whole, y);
    processInBlocks(split, y, {1, 7, 32, 513, 4096});
    EXPECT_EQ(y, expected);
}

TEST(CLFFilter, ResetClearsAllThreeSections)
{
    CLFFilter filter(40.0f, 20.0f);
    filter.setSampleRate(48000.0f);
    const std::vector<float> first = impulseResponse(filter, 2048);
    std::vector<float> burst = noise(777);
    filter.process(burst.data(), static_cast<std::int32_t>(burst.size()));
    filter.reset();
    EXPECT_EQ(impulseResponse(filter, 2048), first);
}

} // namespace
