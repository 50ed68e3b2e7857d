// The 46 host parameters: their indices, the value-block order in which programs store them,
// their names, labels, mappings from the normalised value to real units, and display texts.
// Threads: constants and pure functions, any thread (the audio thread included).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace param {

enum Index : int {
    kLfEnabled = 0,
    kLfCutFreq = 1,
    kLfBoostFreq = 2,
    kLocked = 3,
    kCalibration = 4,
    kPreMatrixFilterNumber = 5,
    kPostMatrixFilterNumber = 6,
    kEqsEnabled = 7,
    kEqsLinked = 8,
    kGainsLinked = 9,
    kAbMatrixEnabled = 10,
    kCurrentCapsule = 11,
    kViewMode = 12,
    kDisplayVU = 13,
    kFirstCapsule = 14,   // capsule i occupies 14 + 7i .. 20 + 7i
    kFirstOutputGain = 42,
    kCount = 46,
};

constexpr int kCapsules = 4;
constexpr int kOutputs = 4;
constexpr int kCapsuleStride = 7;

// Offsets within a capsule's block of seven.
enum CapsuleSetting : int { kEqFreq = 0, kEqWidth = 1, kEqGain = 2, kOut1Gain = 3 };

constexpr int capEqFreq(int capsule) { return kFirstCapsule + kCapsuleStride * capsule + kEqFreq; }
constexpr int capEqWidth(int capsule) { return kFirstCapsule + kCapsuleStride * capsule + kEqWidth; }
constexpr int capEqGain(int capsule) { return kFirstCapsule + kCapsuleStride * capsule + kEqGain; }
constexpr int capOutGain(int capsule, int output)
{
    return kFirstCapsule + kCapsuleStride * capsule + kOut1Gain + output;
}
constexpr int outputGain(int output) { return kFirstOutputGain + output; }
constexpr bool isCapsuleParameter(int p) { return p >= kFirstCapsule && p < kFirstOutputGain; }

// Parameter stored at each position of the value block.
constexpr std::array<int, kCount> kParameterAtPosition = [] {
    std::array<int, kCount> table {};
    const int head[9] = {5, 6, 1, 2, 0, 12, 13, 3, 4};
    for (int k = 0; k < 9; ++k)
        table[k] = head[k];
    for (int i = 0; i < kCapsules; ++i) {
        for (int o = 0; o < kOutputs; ++o)
            table[9 + 4 * i + o] = capOutGain(i, o);
        table[25 + i] = capEqFreq(i);
        table[29 + i] = capEqWidth(i);
        table[33 + i] = capEqGain(i);
    }
    table[37] = 7;
    table[38] = 8;
    table[39] = 9;
    for (int o = 0; o < kOutputs; ++o)
        table[40 + o] = outputGain(o);
    table[44] = 10;
    table[45] = 11;
    return table;
}();

// Position in the value block of each parameter.
constexpr std::array<int, kCount> kPositionOfParameter = [] {
    std::array<int, kCount> table {};
    for (int k = 0; k < kCount; ++k)
        table[kParameterAtPosition[k]] = k;
    return table;
}();

constexpr int positionOf(int parameter) { return kPositionOfParameter[parameter]; }
constexpr bool isValid(int parameter) { return parameter >= 0 && parameter < kCount; }

// The order in which selecting a program applies its parameters. "Calibration" (4) and
// "Display VU" (13) are not applied: they keep their live values.
constexpr std::array<int, 44> kProgramApplyOrder = [] {
    std::array<int, 44> order {};
    const int head[12] = {5, 6, 1, 2, 0, 12, 3, 7, 8, 9, 11, 10};
    int n = 0;
    for (int p : head)
        order[n++] = p;
    for (int i = 0; i < kCapsules; ++i)
        for (int r = 0; r < kCapsuleStride; ++r)
            order[n++] = kFirstCapsule + kCapsuleStride * i + r;
    for (int o = 0; o < kOutputs; ++o)
        order[n++] = outputGain(o);
    return order;
}();

// Natural logarithm of 10 as the product uses it.
constexpr double kLn10 = 2.302585092994;

// Mappings from the normalised value v to real units.
bool switchOn(float v);                 // v > 0.5
float lfFrequencyHz(float v);           // 20 x 12.5^v, 20..250 Hz
float eqFrequencyHz(float v);           // 20 x 1000^v, 20..20000 Hz
float eqWidthOctaves(float v);          // 5v
float eqGainDb(float v);                // 30v - 15
float capOutGainDb(float v);            // 24v - 12
float outputGainDb(float v);            // 30v - 15
int setNumber(float v);                 // trunc(7v); -1 when outside 0..7
int currentCapsule(float v);            // 1 + trunc(3v)
int viewMode(float v);                  // 1 + trunc(2v)

// Normalised value of a frequency on the LF (20 x 12.5^v) or EQ (20 x 1000^v) scale:
// ln(hz / 20) x (1 / log10(base)) / ln 10 in double precision, rounded to float. Not finite for
// hz <= 0. The calibration readers store these.
float lfFrequencyValue(double hz);
float eqFrequencyValue(double hz);

// The centre frequency in Hz that a stored "Cap %d EQ Freq" value stands for, as the text
// calibration reader computes it to convert a bandwidth in Hz into octaves:
// 20 x exp(v x ln 10 / (1 / log10(1000))), in double precision, rounded to float. (The parameter
// mapping eqFrequencyHz multiplies by log10(1000) instead and may differ in the last bit.)
float eqCentreHzOfStoredValue(float v);

// The number of post-matrix filter sets a program can name.
constexpr int kFilterSets = 8;
// The "PostMatrix Filter Number" value that names filter set s (s / 7 in single precision); a
// set outside the eight-set bank is none a program could select: 0, "None".
float filterSetValue(int set);

// The parameter's name, filled for capsules and outputs ("Cap 1 Out 4 Gain"). At most 24
// characters.
void name(int parameter, char* text, std::size_t size);
// The unit: "Hz", "Octaves", "dB" or empty.
const char* label(int parameter);

// Copies text into a buffer of size bytes, cut to fit, always terminated.
void copyText(char* buffer, std::size_t size, const char* text);

// printf's "%<width>.<precision>f" with '.' as the decimal point whatever the process locale.
void formatFixed(char* text, std::size_t size, double value, int width, int precision);

} // namespace param
