// Conversions that both calibration readers use to turn file values into the normalised values a
// program stores, and the small writes into a program record they share.
//
// They use only the inline parts of plugin/ProgramRecord.h and plugin/Parameters.h, so the
// calibration library links without the plug-in library (which links it).
#pragma once

#include "dsp/FilterBank.h"
#include "plugin/Parameters.h"
#include "plugin/ProgramRecord.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

namespace calibration {

// Normalised value on a 20 x base^v scale: ln(hz / 20) x (1 / log10(base)) / ln 10, in double
// precision with the library's base-10 logarithm, rounded to float. Not finite for hz <= 0.
inline float exponentialScaleValue(double hz, double base)
{
    return static_cast<float>(std::log(hz / 20.0) * (1.0 / std::log10(base)) / param::kLn10);
}

// "Cap %d EQ Freq": 20 x 1000^v Hz.
inline float eqFrequencyValue(double hz) { return exponentialScaleValue(hz, 1000.0); }

// "LF Cut Freq" and "LF Boost Freq": 20 x 12.5^v Hz.
inline float lfFrequencyValue(double hz) { return exponentialScaleValue(hz, 12.5); }

// The centre frequency in Hz that a stored "Cap %d EQ Freq" value stands for:
// 20 x exp(p x ln 10 / (1 / log10(1000))), in double precision, rounded to float.
inline float eqFrequencyHzOfValue(float value)
{
    return static_cast<float>(
        20.0 * std::exp(static_cast<double>(value) * param::kLn10 / (1.0 / std::log10(1000.0))));
}

// The "PostMatrix Filter Number" value that names filter set s (s / 7 in single precision). A
// set outside the eight-set bank is no set the plug-in could select: such a program gets 0,
// "None".
inline float filterSetValue(int set)
{
    if (set < 0 || set >= FilterBank::kSets)
        return 0.0f;
    return static_cast<float>(set) / 7.0f;
}

// Copies a calibration name into the program's name, cut to 23 characters.
inline void setProgramName(ProgramRecord& program, const std::string& name)
{
    const std::size_t length = std::min<std::size_t>(name.size(), ProgramRecord::kNameSize - 1);
    std::memcpy(program.name, name.data(), length);
    std::memset(program.name + length, 0, ProgramRecord::kNameSize - length);
}

// Raises a bank's set count by one, as every calibration does, also past the bank's eight sets.
inline void raiseSetCount(FilterBank& bank)
{
    if (bank.count < INT16_MAX)
        ++bank.count;
}

} // namespace calibration
