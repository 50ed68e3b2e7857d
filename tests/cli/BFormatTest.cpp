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

TEST(Mounting, EveryRotationIsProperOrthonormal)
{
    for (Orientation orientation : {Orientation::kUpright, Orientation::kInverted, Orientation::kEndfire}) {
        const cli::Matrix3 m = cli::mountingMatrix(orientation);
        for (int a = 0; a < 3; ++a)
            for (int b = 0; b < 3; ++b) {
                double dot = 0.0;
                for (int r = 0; r < 3; ++r)
                    dot += m[r][a] * m[r][b];
                EXPECT_DOUBLE_EQ(dot, a == b ? 1.0 : 0.0) << cli::orientationName(orientation);
            }
        const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                           m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                           m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
        EXPECT_DOUBLE_EQ(det, 1.0) << cli::orientationName(orientation) << " would mirror the scene";
    }
}

// What a microphone mounted so measures of a source in a room direction, and where the
// correction puts it back.
struct Seen {
    Orientation mounting;
    float room[3];         // source direction in the room (front, left, up)
    float microphone[3];   // the same direction along the microphone's own axes
};

void PrintTo(const Seen& seen, std::ostream* os)
{
    *os << cli::orientationName(seen.mounting) << " (" << seen.room[0] << ", " << seen.room[1] << ", " << seen.room[2] << ")";
}

class MountingCorrection : public testing::TestWithParam<Seen> {};

TEST_P(MountingCorrection, TurnsTheMicrophonesAxesIntoTheRooms)
{
    const Seen& seen = GetParam();
    float x = seen.microphone[0], y = seen.microphone[1], z = seen.microphone[2];
    cli::correctOrientation(seen.mounting, &x, &y, &z, 1);
    EXPECT_EQ(x, seen.room[0]);
    EXPECT_EQ(y, seen.room[1]);
    EXPECT_EQ(z, seen.room[2]);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, MountingCorrection,
    testing::Values(
        // Hung upside down: the front stays, above the room is below the microphone, left is its right.
        Seen {Orientation::kInverted, {1, 0, 0}, {1, 0, 0}}, Seen {Orientation::kInverted, {0, 0, 1}, {0, 0, -1}},
        Seen {Orientation::kInverted, {0, 1, 0}, {0, -1, 0}},
        // Endfire, top towards the front and its front facing down: the room's front is the
        // microphone's up, the room's up is the microphone's back, left stays left.
        Seen {Orientation::kEndfire, {1, 0, 0}, {0, 0, 1}}, Seen {Orientation::kEndfire, {0, 0, 1}, {-1, 0, 0}},
        Seen {Orientation::kEndfire, {0, 1, 0}, {0, 1, 0}},
        Seen {Orientation::kUpright, {0.5f, -0.25f, 0.75f}, {0.5f, -0.25f, 0.75f}}));

TEST(FormatNames, AreParsedIgnoringCaseAndUnknownOnesRefused)
{
    EXPECT_EQ(cli::parseChannelFormat("AmbiX"), ChannelFormat::kAmbiX);
    EXPECT_EQ(cli::parseChannelFormat("fuma"), ChannelFormat::kFuMa);
    EXPECT_FALSE(cli::parseChannelFormat("acn"));
    EXPECT_EQ(cli::parseOrientation("Endfire"), Orientation::kEndfire);
    EXPECT_FALSE(cli::parseOrientation("sideways"));
}

} // namespace
