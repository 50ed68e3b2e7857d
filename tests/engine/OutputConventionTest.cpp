// The output step of the command-line host and the LV2 plug-in against the conventions by hand: each
// mounting a signed permutation of X, Y, Z, then AmbiX as W x sqrt(2), W Y Z X. Bit-exact.
#include "engine/OutputConvention.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace {

using engine::Orientation;
using engine::OutputFormat;
using Frame = std::array<float, 4>;   // W X Y Z in, the format's channels out

struct ConventionCase {
    std::string name;
    OutputFormat format;
    Orientation orientation;
    Frame (*expected)(const Frame& wxyz);
};
void PrintTo(const ConventionCase& c, std::ostream* out) { *out << c.name; }


const ConventionCase kCases[] = {
    {"FuMaUpright", OutputFormat::kFuMa, Orientation::kUpright, [](const Frame& f) { return f; }},
    {"FuMaInverted", OutputFormat::kFuMa, Orientation::kInverted, [](const Frame& f) { return Frame {f[0], f[1], -f[2], -f[3]}; }},
    {"FuMaEndfire", OutputFormat::kFuMa, Orientation::kEndfire, [](const Frame& f) { return Frame {f[0], f[3], f[2], -f[1]}; }},
    {"AmbiXUpright", OutputFormat::kAmbiX, Orientation::kUpright,
     [](const Frame& f) { return Frame {f[0] * 1.41421356f, f[2], f[3], f[1]}; }},
    {"AmbiXInverted", OutputFormat::kAmbiX, Orientation::kInverted,
     [](const Frame& f) { return Frame {f[0] * 1.41421356f, -f[2], -f[3], f[1]}; }},
    {"AmbiXEndfire", OutputFormat::kAmbiX, Orientation::kEndfire,
     [](const Frame& f) { return Frame {f[0] * 1.41421356f, f[2], -f[1], f[3]}; }},
};

class OutputConvention : public testing::TestWithParam<ConventionCase> {};

TEST_P(OutputConvention, GivesTheConventionsChannelsInPlace)
{
    const ConventionCase& c = GetParam();
    constexpr std::size_t kFrames = 257;
    const testsupport::Buffers original = testsupport::noise4(kFrames, 7, 1.0f);
    testsupport::Buffers channels = original;
    float* const buffers[4] = {channels[0].data(), channels[1].data(), channels[2].data(), channels[3].data()};
    engine::convertOutputs(c.format, c.orientation, buffers, kFrames);
    for (std::size_t n = 0; n < kFrames; ++n) {
        const Frame expected = c.expected({original[0][n], original[1][n], original[2][n], original[3][n]});
        for (int k = 0; k < 4; ++k)
            ASSERT_EQ(channels[k][n], expected[k]) << "frame " << n << ", channel " << k;
    }
    // The mounting matrix says the same: its columns are the microphone's axes in the room.
    const engine::Matrix3 m = engine::mountingMatrix(c.orientation);
    const Frame unitX = c.expected({0.0f, 1.0f, 0.0f, 0.0f});
    const int order[3] = {c.format == OutputFormat::kAmbiX ? 3 : 1, c.format == OutputFormat::kAmbiX ? 1 : 2,
                          c.format == OutputFormat::kAmbiX ? 2 : 3};
    for (int r = 0; r < 3; ++r)
        EXPECT_EQ(unitX[order[r]], m[r][0]) << "room axis " << r;
}

INSTANTIATE_TEST_SUITE_P(Outputs, OutputConvention, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<ConventionCase>& info) { return info.param.name; });

} // namespace
