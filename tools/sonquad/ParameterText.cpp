#include "tools/sonquad/ParameterText.h"

#include "model/Parameters.h"
#include "tools/sonquad/CliError.h"
#include "tools/sonquad/Text.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <optional>

namespace cli {

namespace {

struct NumericRange {
    double low;
    double high;
    const char* unit;   // as the plug-in labels it
};

NumericRange rangeOf(ParameterKind kind)
{
    switch (kind) {
    case ParameterKind::kLfFrequency: return {20.0, 250.0, "Hz"};
    case ParameterKind::kEqFrequency: return {20.0, 20000.0, "Hz"};
    case ParameterKind::kEqWidth: return {0.0, 5.0, "octaves"};
    case ParameterKind::kEqGain: return {-15.0, 15.0, "dB"};
    case ParameterKind::kCapOutGain: return {-12.0, 12.0, "dB"};
    case ParameterKind::kOutputGain: return {-15.0, 15.0, "dB"};
    case ParameterKind::kCurrentCapsule: return {1.0, 4.0, ""};
    case ParameterKind::kViewMode: return {1.0, 3.0, ""};
    default: return {0.0, 0.0, ""};
    }
}

bool isSetKind(ParameterKind kind)
{
    return kind == ParameterKind::kPreMatrixSet || kind == ParameterKind::kPostMatrixSet;
}

std::string parameterName(int parameter)
{
    char text[32] = {};
    param::name(parameter, text, sizeof text);
    return text;
}

// Collapses runs of spaces, trims, lower-cases: "Cap  1 eq freq " -> "cap 1 eq freq".
std::string normalisedName(std::string_view name)
{
    std::string result;
    bool space = false;
    for (char c : trim(name)) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            space = true;
            continue;
        }
        if (space)
            result += ' ';
        space = false;
        result += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return result;
}

std::optional<bool> parseSwitch(std::string_view text)
{
    text = trim(text);
    for (const char* on : {"yes", "on", "true", "1"})
        if (equalsIgnoreCase(text, on))
            return true;
    for (const char* off : {"no", "off", "false", "0"})
        if (equalsIgnoreCase(text, off))
            return false;
    return std::nullopt;
}

// A number in the parameter's unit: the value and the unit's factor applied. Throws when the
// number or the unit is not understood.
double parseQuantity(int parameter, ParameterKind kind, std::string_view text)
{
    text = trim(text);
    std::size_t unitStart = text.size();
    while (unitStart > 0 && std::isalpha(static_cast<unsigned char>(text[unitStart - 1])))
        --unitStart;
    std::string_view unit = text.substr(unitStart);
    std::string_view number = trim(text.substr(0, unitStart));
    double factor = 1.0;
    const NumericRange range = rangeOf(kind);
    if (!unit.empty()) {
        const std::string lower = toLower(unit);
        const std::string wanted = toLower(range.unit);
        if (wanted == "hz" && lower == "khz")
            factor = 1000.0;
        else if (wanted == "octaves" && (lower == "octave" || lower == "oct"))
            factor = 1.0;
        else if (wanted.empty() || lower != wanted)
            throw CliError("'" + std::string(text) + "' is not a value for \"" + parameterName(parameter) +
                           "\": it takes " + acceptedValues(parameter, {}));
    }
    const std::optional<double> value = parseNumber(number);
    if (!value || !std::isfinite(*value))
        throw CliError("'" + std::string(text) + "' is not a value for \"" + parameterName(parameter) +
                       "\": it takes " + acceptedValues(parameter, {}));
    return *value * factor;
}

int findSet(std::string_view text, const SetNames& sets)
{
    text = trim(text);
    for (std::size_t n = 0; n < sets.size(); ++n)
        if (!sets[n].empty() && sets[n] == text)
            return static_cast<int>(n);
    for (std::size_t n = 0; n < sets.size(); ++n)
        if (!sets[n].empty() && equalsIgnoreCase(sets[n], text))
            return static_cast<int>(n);
    if (const std::optional<long long> number = parseInteger(text))
        if (*number >= 0 && *number < static_cast<long long>(sets.size()) && !sets[*number].empty())
            return static_cast<int>(*number);
    return -1;
}

} // namespace

ParameterKind kindOf(int parameter)
{
    switch (parameter) {
    case param::kLfCutFreq:
    case param::kLfBoostFreq: return ParameterKind::kLfFrequency;
    case param::kPreMatrixFilterNumber: return ParameterKind::kPreMatrixSet;
    case param::kPostMatrixFilterNumber: return ParameterKind::kPostMatrixSet;
    case param::kCurrentCapsule: return ParameterKind::kCurrentCapsule;
    case param::kViewMode: return ParameterKind::kViewMode;
    default: break;
    }
    if (parameter < param::kFirstCapsule)
        return ParameterKind::kSwitch;
    if (parameter >= param::kFirstOutputGain)
        return ParameterKind::kOutputGain;
    switch ((parameter - param::kFirstCapsule) % param::kCapsuleStride) {
    case param::kEqFreq: return ParameterKind::kEqFrequency;
    case param::kEqWidth: return ParameterKind::kEqWidth;
    case param::kEqGain: return ParameterKind::kEqGain;
    default: return ParameterKind::kCapOutGain;
    }
}

int findParameter(std::string_view name)
{
    const std::string wanted = normalisedName(name);
    for (int p = 0; p < param::kCount; ++p)
        if (normalisedName(parameterName(p)) == wanted)
            return p;
    return -1;
}

std::string acceptedValues(int parameter, const SetNames& sets)
{
    const ParameterKind kind = kindOf(parameter);
    if (kind == ParameterKind::kSwitch)
        return "Yes or No";
    if (isSetKind(kind)) {
        std::string text = "a set's name";
        std::string names;
        for (const std::string& name : sets)
            if (!name.empty())
                names += (names.empty() ? "" : ", ") + name;
        if (!names.empty())
            text += ": " + names;
        return text;
    }
    const NumericRange range = rangeOf(kind);
    const int precision = kind == ParameterKind::kCurrentCapsule || kind == ParameterKind::kViewMode ? 0 : 1;
    std::string text = fixed(range.low, precision) + " to " + fixed(range.high, precision);
    if (*range.unit)
        text += std::string(" ") + range.unit;
    return text;
}

float normalisedValue(int parameter, std::string_view text, const SetNames& sets)
{
    const ParameterKind kind = kindOf(parameter);
    const std::string name = parameterName(parameter);
    if (kind == ParameterKind::kSwitch) {
        const std::optional<bool> on = parseSwitch(text);
        if (!on)
            throw CliError("'" + std::string(trim(text)) + "' is not a value for \"" + name + "\": it takes Yes or No");
        return *on ? 1.0f : 0.0f;
    }
    if (isSetKind(kind)) {
        const int set = findSet(text, sets);
        if (set < 0)
            throw CliError("no filter set '" + std::string(trim(text)) + "' for \"" + name + "\": it takes " +
                           acceptedValues(parameter, sets));
        // trunc(7 x n/7) is n for every n of 0..7 in single precision.
        return static_cast<float>(set) / 7.0f;
    }

    const double value = parseQuantity(parameter, kind, text);
    const NumericRange range = rangeOf(kind);
    // Half the display's last digit of slack: "250.04 Hz" shows as the top of the range.
    const double slack = 0.05;
    if (value < range.low - slack || value > range.high + slack)
        throw CliError("\"" + name + "\" = " + std::string(trim(text)) + " is out of range: it takes " +
                       acceptedValues(parameter, sets));
    const double held = std::clamp(value, range.low, range.high);

    double v = 0.0;
    switch (kind) {
    case ParameterKind::kLfFrequency: v = param::lfFrequencyValue(held); break;
    case ParameterKind::kEqFrequency: v = param::eqFrequencyValue(held); break;
    case ParameterKind::kEqWidth: v = held / 5.0; break;
    case ParameterKind::kEqGain:
    case ParameterKind::kOutputGain: v = (held + 15.0) / 30.0; break;
    case ParameterKind::kCapOutGain: v = (held + 12.0) / 24.0; break;
    case ParameterKind::kCurrentCapsule:
    case ParameterKind::kViewMode: {
        if (held != std::floor(held))
            throw CliError("\"" + name + "\" takes a whole number from " + acceptedValues(parameter, sets));
        // 1 + trunc(k v) reaches its top value only at v = 1; below it, aim at the middle of the
        // value's interval so that no rounding crosses into the next one.
        const double steps = kind == ParameterKind::kCurrentCapsule ? 3.0 : 2.0;
        v = held >= range.high ? 1.0 : (held - 1.0 + 0.5) / steps;
        break;
    }
    default: break;
    }
    return static_cast<float>(std::clamp(v, 0.0, 1.0));
}

std::string displayText(int parameter, float v, const SetNames& sets)
{
    char text[32] = {};
    auto fixedText = [&](float real) {
        param::formatFixed(text, sizeof text, real, 5, 1);
        return std::string(text);
    };
    switch (kindOf(parameter)) {
    case ParameterKind::kSwitch: return param::switchOn(v) ? "Yes" : "No";
    case ParameterKind::kLfFrequency: return fixedText(param::lfFrequencyHz(v));
    case ParameterKind::kEqFrequency: return fixedText(param::eqFrequencyHz(v));
    case ParameterKind::kEqWidth: return fixedText(param::eqWidthOctaves(v));
    case ParameterKind::kEqGain: return fixedText(param::eqGainDb(v));
    case ParameterKind::kCapOutGain: return fixedText(param::capOutGainDb(v));
    case ParameterKind::kOutputGain: return fixedText(param::outputGainDb(v));
    case ParameterKind::kCurrentCapsule:
        std::snprintf(text, sizeof text, "%2d", param::currentCapsule(v));
        return text;
    case ParameterKind::kViewMode:
        std::snprintf(text, sizeof text, "%2d", param::viewMode(v));
        return text;
    case ParameterKind::kPreMatrixSet:
    case ParameterKind::kPostMatrixSet: {
        const int set = param::setNumber(v);
        if (set < 0)
            return "no set";
        if (set < static_cast<int>(sets.size()) && !sets[set].empty())
            return sets[set];
        return "set " + std::to_string(set);
    }
    }
    return {};
}

bool displayAgrees(int parameter, std::string_view text, std::string_view display, const SetNames& sets)
{
    const ParameterKind kind = kindOf(parameter);
    display = trim(display);
    if (kind == ParameterKind::kSwitch) {
        const std::optional<bool> on = parseSwitch(text);
        return on && display == (*on ? "Yes" : "No");
    }
    if (isSetKind(kind)) {
        const int set = findSet(text, sets);
        return set >= 0 && display == sets[set];
    }
    const std::optional<double> shown = parseNumber(display);
    if (!shown)
        return false;
    double wanted = 0.0;
    try {
        wanted = std::clamp(parseQuantity(parameter, kind, text), rangeOf(kind).low, rangeOf(kind).high);
    } catch (const CliError&) {
        return false;
    }
    if (kind == ParameterKind::kCurrentCapsule || kind == ParameterKind::kViewMode)
        return *shown == wanted;
    // One decimal shown: the request rounds to it, give or take single-precision rounding of the
    // mapping (a few parts in 10^7 of the value).
    return std::fabs(*shown - wanted) <= 0.05 + 1e-3 + 1e-6 * std::fabs(wanted);
}

} // namespace cli
