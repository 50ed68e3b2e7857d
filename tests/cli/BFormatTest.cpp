// The file side of the two B-format conventions: names on the command line, and files read back
// into the plug-in's channels (the conventions themselves are tested with the engine).
#include "tools/sonquad/BFormat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using cli::ChannelFormat;
using cli::Orientation;

TEST(FileChannels, ReadBackGiveThePluginsChannelsInBothFormats)
{
    for (ChannelFormat format : {ChannelFormat::kAmbiX, ChannelFormat::kFuMa}) {
        const std::vector<float> w {0.5f, -0.25f, 0.125f}, x {0.1f, 0.2f, 0.3f}, y {-0.4f, 0.5f, -0.6f}, z {0.7f, -0.8f, 0.9f};
        std::vector<float> converted[4] = {w, x, y, z};
        float* const channels[4] = {converted[0].data(), converted[1].data(), converted[2].data(), converted[3].data()};
        engine::convertOutputs(format, Orientation::kUpright, channels, 3);
        std::vector<float> file(12);
        cli::interleave(channels, 3, file.data());
        std::vector<float> back[4] = {std::vector<float>(3), std::vector<float>(3), std::vector<float>(3), std::vector<float>(3)};
        float* const read[4] = {back[0].data(), back[1].data(), back[2].data(), back[3].data()};
        cli::deinterleaveFromFile(format, file.data(), 3, read);
        EXPECT_EQ(cli::channelNames(format)[1], format == ChannelFormat::kAmbiX ? std::string("Y") : std::string("X"));
        for (int n = 0; n < 3; ++n) {
            EXPECT_NEAR(back[0][n], w[n], 1e-7) << cli::formatName(format);
            EXPECT_EQ(back[1][n], x[n]) << cli::formatName(format);
            EXPECT_EQ(back[2][n], y[n]) << cli::formatName(format);
            EXPECT_EQ(back[3][n], z[n]) << cli::formatName(format);
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
