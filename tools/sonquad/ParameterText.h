// Parameter values as a user writes them ("LF Cut Freq=35", "Output 1 Gain=-3 dB",
// "PostMatrix Filter Number=2.3cm", "EQs Enabled=Yes") turned into the normalised value the
// plug-in takes, by inverting the parameter's mapping; and the check that the display the
// plug-in then shows says what was asked.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace cli {

// How a parameter's normalised value maps to what its display shows.
enum class ParameterKind {
    kSwitch,          // "Yes" above 0.5, "No" otherwise
    kLfFrequency,     // 20 x 12.5^v Hz, 20..250
    kEqFrequency,     // 20 x 1000^v Hz, 20..20000
    kEqWidth,         // 5v octaves, 0..5
    kEqGain,          // 30v - 15 dB, -15..+15
    kCapOutGain,      // 24v - 12 dB, -12..+12
    kOutputGain,      // 30v - 15 dB, -15..+15
    kPreMatrixSet,    // set number trunc(7v), shown by the set's name
    kPostMatrixSet,   // set number trunc(7v), shown by the set's name
    kCurrentCapsule,  // 1 + trunc(3v), 1..4
    kViewMode,        // 1 + trunc(2v), 1..3
};

ParameterKind kindOf(int parameter);

// The parameter whose name (as the plug-in reports it) equals name, ignoring case and runs of
// spaces; -1 when none does.
int findParameter(std::string_view name);

// Names of a filter bank's sets by set number; an empty string marks an empty slot.
using SetNames = std::vector<std::string>;

// The normalised value that makes the parameter show text. Numbers may carry the parameter's
// unit ("35 Hz", "1.2kHz", "-3dB", "2 octaves"); switches take Yes/No (also On/Off, True/False,
// 1/0); the filter-set parameters take a set's name, or its number. Throws CliError for a value
// outside the parameter's range, a wrong unit or an unknown set. sets holds the names of the
// bank the parameter selects from (ignored for other parameters).
float normalisedValue(int parameter, std::string_view text, const SetNames& sets);

// Whether display (the plug-in's text after setting) agrees with text as requested: the same
// switch state or set name, or a number that rounds to the display's one decimal.
bool displayAgrees(int parameter, std::string_view text, std::string_view display, const SetNames& sets);

// The text the plug-in's display shows for normalised value v of the parameter; for the
// filter-set parameters the name of set trunc(7v) in sets ("set N" when the slot is empty).
std::string displayText(int parameter, float v, const SetNames& sets);

// What the parameter accepts, for messages and tables: "20 to 250 Hz", "Yes or No",
// "a set name: None, 1.47cm, 2.3cm".
std::string acceptedValues(int parameter, const SetNames& sets);

} // namespace cli
