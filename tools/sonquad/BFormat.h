// B-format channel conventions and the microphone's mounting.
//
// The plug-in's outputs are W, X, Y, Z with W carrying 1/sqrt(2) (W = (A + B + C + D) / sqrt(2)
// at 0 dB), X to the front, Y to the left, Z up. Files are written either in that order ("fuma")
// or in ACN order W, Y, Z, X with SN3D weighting ("ambix"), where W is sqrt(2) times the
// plug-in's W and the first-order X, Y, Z are unchanged.
//
// A microphone mounted other than upright measures X, Y, Z along its own axes; the rotation of
// its mounting turns them into the room's axes:
//   upright   the microphone stands with capsule 1 at left-front-up: nothing changes;
//   inverted  hung upside down from above, front still to the front: turned 180 degrees about
//             the front axis, so left and up swap sign: Y' = -Y, Z' = -Z;
//   endfire   lying on its side with its top pointing at the front, tipped forward 90 degrees
//             about the left axis (its front then faces down): X' = Z, Y' = Y, Z' = -X.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace cli {

enum class ChannelFormat { kFuMa, kAmbiX };
enum class Orientation { kUpright, kInverted, kEndfire };

std::optional<ChannelFormat> parseChannelFormat(std::string_view text);
std::optional<Orientation> parseOrientation(std::string_view text);
const char* formatName(ChannelFormat format);
const char* orientationName(Orientation orientation);

// The file's channel names in order: "W X Y Z" or "W Y Z X".
std::array<const char*, 4> channelNames(ChannelFormat format);

using Matrix3 = std::array<std::array<double, 3>, 3>;

// Columns are the microphone's X, Y, Z axes in room coordinates: room = M x microphone.
Matrix3 mountingMatrix(Orientation orientation);

// Rotates blocks of X, Y, Z from the microphone's axes to the room's, in place.
void correctOrientation(Orientation orientation, float* x, float* y, float* z, std::size_t frames);

// Writes frames of the plug-in's W, X, Y, Z into interleaved file frames of the given format.
void interleaveForFile(ChannelFormat format, const float* const wxyz[4], std::size_t frames, float* interleaved);

// Reads interleaved file frames of the given format back into the plug-in's W, X, Y, Z.
void deinterleaveFromFile(ChannelFormat format, const float* interleaved, std::size_t frames, float* const wxyz[4]);

} // namespace cli
