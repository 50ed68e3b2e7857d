#include "dsp/CABMatrix.h"

#include "FilterResponse.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace filtertest;

namespace {

// The fixed sign of each weight, [output W X Y Z][capsule A B C D].
constexpr int kSigns[4][4] = {
    {+1, +1, +1, +1},
    {+1, +1, -1, -1},
    {+1, -1, +1, -1},
    {+1, -1, -1, +1},
};

struct Channels {
    std::vector<float> ch[4];
    explicit Channels(std::size_t n, std::uint32_t seed = 1)
    {
        for (int k = 0; k < 4; ++k)
            ch[k] = noise(n, seed + static_cast<std::uint32_t>(k));
    }
    void run(CABMatrix& m, std::int32_t count)
    {
        m.process(ch[0].data(), ch[1].data(), ch[2].data(), ch[3].data(), count);
    }
};

TEST(CABMatrix, ComputesWXYZFromRandomWeightsWithinFloatRounding)
{
    CABMatrix m;
    const std::vector<float> dB = noise(20, 77);
    for (int o = 0; o < 4; ++o) {
        for (int k = 0; k < 4; ++k)
            m.matrixDb[o][k] = 6.0f * dB[static_cast<std::size_t>(4 * o + k)];
        m.outputDb[o] = 6.0f * dB[static_cast<std::size_t>(16 + o)];
    }
    const std::size_t n = 1000;
    Channels in(n);
    Channels out = in;
    out.run(m, static_cast<std::int32_t>(n));

    for (std::size_t i = 0; i < n; ++i) {
        for (int o = 0; o < 4; ++o) {
            double sum = 0.0, magnitude = 0.0;
            for (int k = 0; k < 4; ++k) {
                const double term = kSigns[o][k] * std::pow(10.0, m.matrixDb[o][k] / 20.0)
                                    * static_cast<double>(in.ch[k][i]);
                sum += term;
                magnitude += std::fabs(term);
            }
            const double scale = (o == 0 ? 1.0 / std::sqrt(2.0) : 1.0)
                                 * std::pow(10.0, m.outputDb[o] / 20.0);
            // Float products and sums: a few units of 2^-24 of the largest partial sum.
            ASSERT_NEAR(out.ch[o][i], sum * scale, 8 * 6e-8 * magnitude * scale + 1e-12)
                << "output " << o << " sample " << i;
        }
    }
}

TEST(CABMatrix, TurnsOneCapsuleAloneIntoEqualXYZAndAQuieterW)
{
    CABMatrix m;
    Channels c(256);
    for (int k = 1; k < 4; ++k)
        std::fill(c.ch[k].begin(), c.ch[k].end(), 0.0f);
    const std::vector<float> a = c.ch[0];
    c.run(m, 256);
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_FLOAT_EQ(c.ch[0][i], static_cast<float>(a[i] / std::sqrt(2.0)));
        EXPECT_EQ(c.ch[1][i], a[i]);
        EXPECT_EQ(c.ch[2][i], a[i]);
        EXPECT_EQ(c.ch[3][i], a[i]);
    }
}

TEST(CABMatrix, RaisesOnlyWByTwentyDecibelsOfWGain)
{
    CABMatrix flat, boosted;
    boosted.outputDb[0] = 20.0f;
    Channels in(512, 3);
    Channels a = in, b = in;
    a.run(flat, 512);
    b.run(boosted, 512);
    for (std::size_t i = 0; i < 512; ++i) {
        EXPECT_NEAR(b.ch[0][i], 10.0f * a.ch[0][i], 1e-5f);
        for (int o = 1; o < 4; ++o)
            EXPECT_EQ(b.ch[o][i], a.ch[o][i]);
    }
}

// Each of the 16 weights at -120 dB scales its capsule by 1e-6 and keeps its sign.
TEST(CABMatrix, KeepsTheSignOfAWeightAtMinus120Decibels)
{
    for (int o = 0; o < 4; ++o) {
        for (int k = 0; k < 4; ++k) {
            CABMatrix m;
            m.matrixDb[o][k] = -120.0f;
            Channels c(1);
            for (int j = 0; j < 4; ++j)
                c.ch[j][0] = j == k ? 1.0f : 0.0f;
            c.run(m, 1);
            const double expected = kSigns[o][k] * 1e-6 / (o == 0 ? std::sqrt(2.0) : 1.0);
            EXPECT_NEAR(c.ch[o][0], expected, 1e-12) << "output " << o << " capsule " << k;
        }
    }
}

TEST(CABMatrix, TouchesOnlyTheCountSamplesAndNothingForCountsOfZeroAndBelow)
{
    CABMatrix m;
    m.outputDb[2] = 6.0f;
    for (std::int32_t count : {60, 0, -1, -1024}) {
        Channels c(100, 9);
        const Channels before = c;
        c.run(m, count);
        for (int k = 0; k < 4; ++k)
            for (std::size_t i = static_cast<std::size_t>(std::max(count, 0)); i < 100; ++i)
                ASSERT_EQ(c.ch[k][i], before.ch[k][i]) << "count " << count << " channel " << k << " sample " << i;
    }
}

} // namespace
