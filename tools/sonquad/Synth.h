// A virtual tetrahedral microphone in a free field: the A-format a real one would record of
// sources far away in given directions.
//
// Capsules 1 to 4 are ideal cardioids, 0.5 + 0.5 cos(angle to the source), facing
// (1,1,1)/sqrt(3) (left-front-up), (1,-1,-1)/sqrt(3) (right-front-down), (-1,1,-1)/sqrt(3)
// (left-back-down) and (-1,-1,1)/sqrt(3) (right-back-up) in the microphone's axes (+X front,
// +Y left, +Z up). Each sits radiusCm from the centre along its facing direction, and hears a
// plane wave from direction u earlier than the centre by radius x (facing . u) / c, with c =
// 343 m/s; the delays are applied exactly (band-limited, in the frequency domain), fractions of
// a sample included. A source's signal is defined at the centre of the microphone.
//
// Directions: azimuth counter-clockwise from the front seen from above (90 = left), elevation
// up from the horizontal, both in degrees.
#pragma once

#include "tools/sonquad/BFormat.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <optional>
#include <vector>

namespace cli {

inline constexpr double kSpeedOfSoundMs = 343.0;        // m/s, air at 20 degrees C
inline constexpr double kDefaultCapsuleRadiusCm = 1.47; // centre to capsule

using Vec3 = std::array<double, 3>;

// Unit vector of a direction (degrees).
Vec3 directionVector(double azimuthDeg, double elevationDeg);
// Azimuth and elevation (degrees) of a vector.
void directionAngles(const Vec3& v, double& azimuthDeg, double& elevationDeg);
// Angle between two directions, degrees.
double angleBetween(double azimuth1Deg, double elevation1Deg, double azimuth2Deg, double elevation2Deg);

// Facing directions of capsules 1 to 4 in the microphone's axes.
std::array<Vec3, 4> capsuleDirections();

enum class TestSignal { kPinkNoise, kSweep, kTone };
std::optional<TestSignal> parseTestSignal(std::string_view text);
const char* testSignalName(TestSignal signal);

struct Source {
    double azimuthDeg = 0.0;
    double elevationDeg = 0.0;
    double gain = 1.0;   // linear, on the source's signal
};

struct SynthSettings {
    std::vector<Source> sources {Source {}};
    TestSignal signal = TestSignal::kPinkNoise;
    double toneHz = 1000.0;         // tone frequency
    double seconds = 2.0;           // length of the recording
    int rate = 48000;               // Hz
    double radiusCm = kDefaultCapsuleRadiusCm;
    bool turns = false;             // sources one after another in equal slots, not all at once
    Orientation mounting = Orientation::kUpright;   // how the microphone is mounted in the room
    double levelDb = -20.0;         // RMS of each source's signal at the centre, dBFS
    double fadeMs = 10.0;           // raised-cosine fade at the start and end of each source
    std::uint32_t seed = 1;         // pink noise generator
};

// The largest recording synthesise handles (frames); longer ones are refused.
inline constexpr std::size_t kMaxSynthFrames = std::size_t {1} << 24;

// The frames [begin, end) in which source index plays.
struct Slot {
    std::size_t begin;
    std::size_t end;
};
Slot sourceSlot(const SynthSettings& settings, std::size_t index, std::size_t frames);
std::size_t synthFrames(const SynthSettings& settings);

// The four capsule signals. Throws CliError for settings it cannot honour.
std::array<std::vector<float>, 4> synthesise(const SynthSettings& settings);

} // namespace cli
