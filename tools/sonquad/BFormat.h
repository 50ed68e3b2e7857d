// B-format channel conventions and the microphone's mounting on the command line. The
// conventions themselves (the rotation of each mounting, the AmbiX order and weighting) are the
// engine's (engine/OutputConvention.h), applied in place to the plug-in's outputs before they are
// interleaved, so the LV2 plug-in gives the same bits; here are their names and the file side.
#pragma once

#include "engine/OutputConvention.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace cli {

using ChannelFormat = engine::OutputFormat;
using Orientation = engine::Orientation;
using engine::Matrix3;
using engine::mountingMatrix;

std::optional<ChannelFormat> parseChannelFormat(std::string_view text);
std::optional<Orientation> parseOrientation(std::string_view text);
const char* formatName(ChannelFormat format);
const char* orientationName(Orientation orientation);

// The file's channel names in order: "W X Y Z" or "W Y Z X".
std::array<const char*, 4> channelNames(ChannelFormat format);

// Writes frames of four channels, already in the file's order (engine::convertOutputs), into
// interleaved file frames.
void interleave(const float* const channels[4], std::size_t frames, float* interleaved);

// Reads interleaved file frames of the given format back into the plug-in's W, X, Y, Z.
void deinterleaveFromFile(ChannelFormat format, const float* interleaved, std::size_t frames, float* const wxyz[4]);

} // namespace cli
