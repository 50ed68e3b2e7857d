// The B-format conventions a host can ask for beyond the engine's own W, X, Y, Z, and the
// microphone's mounting: one in-place step on the four output buffers, shared by the
// command-line host and the LV2 plug-in so that both give the same bits.
//
// The engine's outputs are W, X, Y, Z with W carrying 1/sqrt(2) (W = (A + B + C + D) / sqrt(2)
// at 0 dB), X to the front, Y to the left, Z up ("FuMa"). AmbiX is the ACN order W, Y, Z, X with
// SN3D weighting: W is sqrt(2) times the engine's W (one single-precision multiply) and the
// first-order channels are unchanged.
//
// A microphone mounted other than upright measures X, Y, Z along its own axes; the rotation of
// its mounting turns them into the room's axes:
//   upright   the microphone stands with capsule 1 at left-front-up: nothing changes;
//   inverted  hung upside down from above, front still to the front: turned 180 degrees about
//             the front axis, so left and up swap sign: Y' = -Y, Z' = -Z;
//   endfire   lying on its side with its top pointing at the front, tipped forward 90 degrees
//             about the left axis (its front then faces down): X' = Z, Y' = Y, Z' = -X.
//
// Threads: everything here is plain arithmetic on the caller's buffers, no allocation. [any thread]
#pragma once

#include <array>
#include <cstddef>

namespace engine {

enum class OutputFormat { kFuMa, kAmbiX };
enum class Orientation { kUpright, kInverted, kEndfire };

// sqrt(2) in single precision: AmbiX's W is the engine's W times this.
inline constexpr float kAmbiXWGain = 1.41421356f;

using Matrix3 = std::array<std::array<double, 3>, 3>;

// Columns are the microphone's X, Y, Z axes in room coordinates: room = M x microphone.
Matrix3 mountingMatrix(Orientation orientation);

// Rotates frames of X, Y, Z from the microphone's axes to the room's, in place.
void correctOrientation(Orientation orientation, float* x, float* y, float* z, std::size_t frames);

// Turns frames of the engine's W, X, Y, Z in channels[0..3] into the format's channels in the
// same buffers: first the mounting's rotation, then (AmbiX) W x sqrt(2) and the order W Y Z X.
// The four buffers must be distinct.
void convertOutputs(OutputFormat format, Orientation orientation, float* const channels[4], std::size_t frames);

} // namespace engine
