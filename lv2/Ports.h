// The ports of SonquadLV2: one table that the bundle's Turtle is generated from and that the
// plug-in connects by, so that symbols, names, ranges, defaults and units cannot drift from the
// parameter model (model/Parameters.h): every gain port takes its name, unit and span from the
// VST 2.4 parameter it adjusts.
//
// The calibration (a file chosen through the "Calibration" property, or the built-in
// uncalibrated program when none is chosen) supplies every value that describes the microphone:
// the LF corner frequencies, the capsule equalisers, the sixteen capsule-to-output weights, the
// four output gains and its correction set. The control ports adjust that calibration; their
// defaults leave it as it is. A port therefore never contradicts the calibration that a session
// restores, whatever order the host restores ports and state in:
//   - "LF Cut Freq" and "LF Boost Freq" are absolute, in Hz over the VST's 20..250 (a value
//     between 0 and 20 counts as 20); their default 0, "As calibrated", keeps the calibration's;
//   - a gain port is an offset in dB on the calibration's value (0 dB: as calibrated), added in
//     the VST's normalised domain: the engine gets what the VST gives for the value
//     v + offset / span (span: the parameter's range in dB, 24 or 30), and at 0 exactly v;
//   - a stage switch can turn off a stage that the calibration uses (on: as calibrated);
//   - "Correction" picks one of the built-in correction sets or keeps the calibration's own.
// With no file and every port at its default the plug-in computes what SonquadVST computes at
// its program 0.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace lv2plugin {

// The plug-in's URI and the calibration property's URI. No web domain belongs to the product,
// so its URIs are names under the urn:morlane:sonquad namespace.
inline constexpr const char* kProjectUri = "urn:morlane:sonquad";
inline constexpr const char* kPluginUri = "urn:morlane:sonquad:lv2";
inline constexpr const char* kCalibrationUri = "urn:morlane:sonquad:lv2#calibration";
inline constexpr const char* kBinaryName = "SonquadLV2.so";
inline constexpr const char* kDescriptionFile = "SonquadLV2.ttl";

enum class PortKind { kAudioIn, kAudioOut, kControlIn, kControlOut, kAtomIn, kAtomOut };
enum class Unit { kNone, kDb, kHz };

struct ScalePoint {
    float value;
    std::string label;
};

struct PortSpec {
    PortKind kind;
    std::string symbol;
    std::string name;
    std::string comment;               // rdfs:comment; empty for none
    float minimum = 0.0f;              // control ports
    float maximum = 0.0f;
    float defaultValue = 0.0f;
    Unit unit = Unit::kNone;
    bool toggled = false;
    bool enumeration = false;          // also lv2:integer
    bool reportsLatency = false;
    std::vector<ScalePoint> scalePoints;
    int vstParameter = -1;             // the VST 2.4 parameter this port adjusts, -1 for none
};

// Port indices, in the order of the table.
enum Port : uint32_t {
    kCapsule1 = 0,          // audio in, capsules 1 to 4
    kOutput1 = 4,           // audio out, W and the three first-order channels in the format's order
    kOutputFormat = 8,      // 0 FuMa, 1 AmbiX
    kOrientation = 9,       // 0 upright, 1 inverted, 2 end-fire
    kCorrection = 10,       // 0 "None", 1 "1.47cm", 2 "2.3cm", 3 the calibration's own set
    kLfEnabled = 11,
    kEqsEnabled = 12,
    kAbMatrixEnabled = 13,
    kLfCutFreq = 14,        // Hz, 0: as calibrated
    kLfBoostFreq = 15,      // Hz, 0: as calibrated
    kFirstCapsuleGain = 16, // capsule c (0..3), output o (0..3): 16 + 4c + o, dB offset
    kFirstEqGain = 32,      // capsule c: 32 + c, dB offset
    kFirstOutputGain = 36,  // output o (W X Y Z): 36 + o, dB offset
    kLatency = 40,          // control out, samples
    kControl = 41,          // atom in: patch:Set and patch:Get
    kNotify = 42,           // atom out: patch:Set of the calibration in use
    kPortCount = 43,
};

// Values of the enumerations.
enum OutputFormat : int { kFuMa = 0, kAmbiX = 1 };
enum Orientation : int { kUpright = 0, kInverted = 1, kEndfire = 2 };
inline constexpr int kCorrectionAsCalibrated = 3;
inline constexpr float kLfAsCalibrated = 0.0f;

// The whole table, index by index.
const std::vector<PortSpec>& ports();

} // namespace lv2plugin
