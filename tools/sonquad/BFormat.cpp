#include "tools/sonquad/BFormat.h"

#include "tools/sonquad/Text.h"

#include <cmath>

namespace cli {

namespace {
// sqrt(2) in single precision: the ambix W is the plug-in's W times this.
constexpr float kRootTwo = 1.41421356f;
} // namespace

std::optional<ChannelFormat> parseChannelFormat(std::string_view text)
{
    if (equalsIgnoreCase(text, "fuma"))
        return ChannelFormat::kFuMa;
    if (equalsIgnoreCase(text, "ambix"))
        return ChannelFormat::kAmbiX;
    return std::nullopt;
}

std::optional<Orientation> parseOrientation(std::string_view text)
{
    if (equalsIgnoreCase(text, "upright"))
        return Orientation::kUpright;
    if (equalsIgnoreCase(text, "inverted"))
        return Orientation::kInverted;
    if (equalsIgnoreCase(text, "endfire"))
        return Orientation::kEndfire;
    return std::nullopt;
}

const char* formatName(ChannelFormat format) { return format == ChannelFormat::kFuMa ? "fuma" : "ambix"; }

const char* orientationName(Orientation orientation)
{
    switch (orientation) {
    case Orientation::kInverted: return "inverted";
    case Orientation::kEndfire: return "endfire";
    default: return "upright";
    }
}

std::array<const char*, 4> channelNames(ChannelFormat format)
{
    if (format == ChannelFormat::kAmbiX)
        return {"W", "Y", "Z", "X"};
    return {"W", "X", "Y", "Z"};
}

Matrix3 mountingMatrix(Orientation orientation)
{
    switch (orientation) {
    case Orientation::kInverted:
        // Microphone X, Y, Z point to room front, right, down.
        return {{{1, 0, 0}, {0, -1, 0}, {0, 0, -1}}};
    case Orientation::kEndfire:
        // Microphone X, Y, Z point to room down, left, front.
        return {{{0, 0, 1}, {0, 1, 0}, {-1, 0, 0}}};
    default:
        return {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    }
}

void correctOrientation(Orientation orientation, float* x, float* y, float* z, std::size_t frames)
{
    if (orientation == Orientation::kUpright)
        return;
    // The mountings are signed permutations: every product is exact in single precision.
    const Matrix3 m = mountingMatrix(orientation);
    float g[3][3];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            g[r][c] = static_cast<float>(m[r][c]);
    for (std::size_t n = 0; n < frames; ++n) {
        const float mx = x[n], my = y[n], mz = z[n];
        x[n] = g[0][0] * mx + g[0][1] * my + g[0][2] * mz;
        y[n] = g[1][0] * mx + g[1][1] * my + g[1][2] * mz;
        z[n] = g[2][0] * mx + g[2][1] * my + g[2][2] * mz;
    }
}

void interleaveForFile(ChannelFormat format, const float* const wxyz[4], std::size_t frames, float* interleaved)
{
    const float* w = wxyz[0];
    const float* x = wxyz[1];
    const float* y = wxyz[2];
    const float* z = wxyz[3];
    if (format == ChannelFormat::kAmbiX) {
        for (std::size_t n = 0; n < frames; ++n) {
            float* frame = interleaved + 4 * n;
            frame[0] = w[n] * kRootTwo;
            frame[1] = y[n];
            frame[2] = z[n];
            frame[3] = x[n];
        }
        return;
    }
    for (std::size_t n = 0; n < frames; ++n) {
        float* frame = interleaved + 4 * n;
        frame[0] = w[n];
        frame[1] = x[n];
        frame[2] = y[n];
        frame[3] = z[n];
    }
}

void deinterleaveFromFile(ChannelFormat format, const float* interleaved, std::size_t frames, float* const wxyz[4])
{
    for (std::size_t n = 0; n < frames; ++n) {
        const float* frame = interleaved + 4 * n;
        if (format == ChannelFormat::kAmbiX) {
            wxyz[0][n] = frame[0] / kRootTwo;
            wxyz[1][n] = frame[3];
            wxyz[2][n] = frame[1];
            wxyz[3][n] = frame[2];
        } else {
            for (int c = 0; c < 4; ++c)
                wxyz[c][n] = frame[c];
        }
    }
}

} // namespace cli
