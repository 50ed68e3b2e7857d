#include "tools/sonquad/BFormat.h"

#include "tools/sonquad/Text.h"

namespace cli {

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

void interleave(const float* const channels[4], std::size_t frames, float* interleaved)
{
    for (std::size_t n = 0; n < frames; ++n)
        for (int c = 0; c < 4; ++c)
            interleaved[4 * n + c] = channels[c][n];
}

void deinterleaveFromFile(ChannelFormat format, const float* interleaved, std::size_t frames, float* const wxyz[4])
{
    for (std::size_t n = 0; n < frames; ++n) {
        const float* frame = interleaved + 4 * n;
        if (format == ChannelFormat::kAmbiX) {
            wxyz[0][n] = frame[0] / engine::kAmbiXWGain;
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
