// Channel order and weighting of the two file formats, and the mounting rotations, against what
// a source in a known place must give.
#include "tools/sonquad/BFormat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using cli::ChannelFormat;
using cli::Orientation;

TEST(AmbiX, IsWYZXWithWRaisedBySqrtTwoAndFuMaKeepsThePluginsOrder)
{
    // Three frames of distinct values, W X Y Z.
    const std::vector<float> w {0.5f, -0.25f, 0.125f}, x {0.1f, 0.2f, 0.3f}, y {-0.4f, 0.5f, -0.6f}, z {0.7f, -0.8f, 0.9f};
    const float* wxyz[4] = {w.data(), x.data(), y.data(), z.data()};
    std::vector<float> ambix(12), fuma(12);
    cli::interleaveForFile(ChannelFormat::kAmbiX, wxyz, 3, ambix.data());
    cli::interleaveForFile(ChannelFormat::kFuMa, wxyz, 3, fuma.data());
    for (int n = 0; n < 3; ++n) {
        EXPECT_NEAR(ambix[4 * n + 0], w[n] * std::sqrt(2.0), 1e-7);
        EXPECT_EQ(ambix[4 * n + 1], y[n]);
        EXPECT_EQ(ambix[4 * n + 2], z[n]);
        EXPECT_EQ(ambix[4 * n + 3], x[n]);
        EXPECT_EQ(fuma[4 * n + 0], w[n]);
        EXPECT_EQ(fuma[4 * n + 1], x[n]);
        EXPECT_EQ(fuma[4 * n + 2], y[n]);
        EXPECT_EQ(fuma[4 * n + 3], z[n]);
    }
    // Reading back gives the plug-in's channels again.
    for (ChannelFormat format : {ChannelFormat::kAmbiX, ChannelFormat::kFuMa}) {
        std::vector<float> back[4] = {std::vector<float>(3), std::vector<float>(3), std::vector<float>(3),
                                      std::vector<float>(3)};
        float* const channels[4] = {back[0].data(), back[1].data(), back[2].data(), back[3].data()};
        cli::deinterleaveFromFile(format, format == ChannelFormat::kAmbiX ? ambix.data() : fuma.data(), 3, channels);
        for (int n = 0; n < 3; ++n) {
            EXPECT_NEAR(back[0][n], w[n], 1e-7);
            EXPECT_EQ(back[1][n], x[n]);
            EXPECT_EQ(back[2][n], y[n]);
            EXPECT_EQ(back[3][n], z[n]);
        }
    }
}

TEST(FormatNames, AreParsedIgnoringCaseAndUnknownOnesRefused)
{
    EXPECT_EQ(cli::parseChannelFormat("AmbiX"), ChannelFormat::kAmbiX);
    EXPECT_EQ(cli::parseChannelFormat("fuma"), ChannelFormat::kFuMa);
    EXPECT_FALSE(cli::parseChannelFormat("acn"));
    EXPECT_EQ(cli::parseOrientation("Endfire"), Orientation::kEndfire);
    EXPECT_FALSE(cli::parseOrientation("sideways"));
}

} // namespace
