// The four capsule channels side by side (LF filter, per-capsule EQ, the meters' sums) against
// each channel run alone: every sample and the state left behind must be the same bits.
#include "dsp/CLFFilter.h"
#include "dsp/CapsuleLanes.h"
#include "dsp/CMitRegFilter.h"
#include "dsp/Lanes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <vector>

namespace {

// A signal that reaches the corners of float arithmetic: noise at several levels, runs of +0 and
// -0 (where a sum that starts from 0 decides the sign of a zero), subnormals, a full-scale step.
std::vector<float> testSignal(std::size_t length, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    std::vector<float> x(length);
    for (std::size_t i = 0; i < length; ++i) {
        switch ((i / 37 + 2) % 6) {   // starts with zeros, on fresh filter state
        case 0: x[i] = noise(rng); break;
        case 1: x[i] = 1e-3f * noise(rng); break;
        case 2: x[i] = (i % 2) ? 0.0f : -0.0f; break;
        case 3: x[i] = std::numeric_limits<float>::denorm_min() * static_cast<float>(i % 5); break;
        case 4: x[i] = 1.0f; break;
        default: x[i] = 1e4f * noise(rng); break;
        }
    }
    return x;
}

bool sameBits(const std::vector<float>& a, const std::vector<float>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

template <class T>
bool sameBits(T a, T b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Calls of these lengths, one after the other: blocks of four and the odd samples after them,
// and the empty call.
const std::int32_t kCallLengths[] = {1, 3, 4, 0, 5, 7, 64, 513, 2, 1024};

// Four channels with different settings each, so that a lane mixed up with another shows: LF
// cut and boost, section gains; EQ boost, cut, a band the rate cannot hold (the identity) and one
// near the Nyquist frequency.
struct ChannelSettings {
    float cut, boost, gain;
    float eqFreq, eqOctaves, eqGainDb;
};
const ChannelSettings kChannels[4] = {{20.0f, 20.0f, 1.0f, 1000.0f, 1.0f, 6.0f},
                                      {35.0f, 120.0f, 0.5f, 4000.0f, 0.3f, -12.0f},
                                      {50.0f, 10.0f, 2.0f, 30000.0f, 1.0f, 3.0f},
                                      {200.0f, 400.0f, -1.0f, 23000.0f, 2.0f, -3.0f}};

struct Capsules {
    std::unique_ptr<CLFFilter> lf[4];
    std::unique_ptr<CMitRegFilter> eq[4];

    Capsules()
    {
        for (int k = 0; k < 4; ++k) {
            const ChannelSettings& c = kChannels[k];
            lf[k] = std::make_unique<CLFFilter>(c.cut, c.boost);
            lf[k]->setSampleRate(48000.0f);
            lf[k]->highPass1.inputGain = c.gain;
            lf[k]->shelf.inputGain = 1.0f / c.gain;
            eq[k] = std::make_unique<CMitRegFilter>();
            eq[k]->setParameters(c.eqFreq, c.eqOctaves, c.eqGainDb);
        }
    }
};

class CapsuleStagesSideBySide : public ::testing::TestWithParam<std::pair<bool, bool>> {};

TEST_P(CapsuleStagesSideBySide, GiveTheBitsOfEachChannelRunAlone)
{
    const auto [lfOn, eqOn] = GetParam();
    Capsules together, alone;
    std::vector<float> signal[4], expected[4];
    std::size_t total = 0;
    for (std::int32_t n : kCallLengths)
        total += static_cast<std::size_t>(n);
    for (int k = 0; k < 4; ++k) {
        signal[k] = testSignal(total, 11u + static_cast<unsigned>(k));
        expected[k] = signal[k];
    }

    std::size_t offset = 0;
    for (std::int32_t n : kCallLengths) {
        float* channels[4];
        for (int k = 0; k < 4; ++k) {
            if (lfOn)
                alone.lf[k]->process(expected[k].data() + offset, n);
            if (eqOn)
                alone.eq[k]->process(expected[k].data() + offset, n);
            channels[k] = signal[k].data() + offset;
        }
        CLFFilter* const lf[4] = {together.lf[0].get(), together.lf[1].get(), together.lf[2].get(), together.lf[3].get()};
        CMitRegFilter* const eq[4] = {together.eq[0].get(), together.eq[1].get(), together.eq[2].get(),
                                      together.eq[3].get()};
        processCapsuleStages(lfOn ? lf : nullptr, eqOn ? eq : nullptr, channels, n);
        offset += static_cast<std::size_t>(n);
    }
    for (int k = 0; k < 4; ++k) {
        EXPECT_TRUE(sameBits(signal[k], expected[k])) << "channel " << k;
        // The state carries on: one more sample through both gives the same bits.
        float a = 0.25f, b = 0.25f;
        together.lf[k]->process(&a, 1);
        alone.lf[k]->process(&b, 1);
        EXPECT_TRUE(sameBits(a, b)) << "LF, channel " << k;
        EXPECT_TRUE(sameBits(together.eq[k]->s1, alone.eq[k]->s1)) << "EQ, channel " << k;
        EXPECT_TRUE(sameBits(together.eq[k]->s2, alone.eq[k]->s2)) << "EQ, channel " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(LFEqualiserAndBoth, CapsuleStagesSideBySide,
                         ::testing::Values(std::pair {true, false}, std::pair {false, true}, std::pair {true, true}));

TEST(FourChannels, SumsOfSquaresAreEachChannelsOwnSumInSampleOrder)
{
    // Lengths around the blocks of four; values whose sum depends on the order of adding.
    for (std::int32_t count : {0, 1, 3, 4, 5, 8, 511, 4096}) {
        std::vector<float> signal[4];
        float* channels[4];
        for (int k = 0; k < 4; ++k) {
            signal[k] = testSignal(static_cast<std::size_t>(count), 31u + static_cast<unsigned>(k));
            channels[k] = signal[k].data();
        }
        float sums[4];
        lanes::sumOfSquaresFour(channels, count, sums);
        for (int k = 0; k < 4; ++k) {
            float expected = 0.0f;
            for (std::int32_t i = 0; i < count; ++i)
                expected += signal[k][static_cast<std::size_t>(i)] * signal[k][static_cast<std::size_t>(i)];
            EXPECT_TRUE(sameBits(sums[k], expected)) << "count " << count << ", channel " << k;
        }
    }
}

} // namespace
