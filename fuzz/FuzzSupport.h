// Pieces shared by the fuzz targets: the input as a FILE*, a program record as the scan finds it,
// the checks every input must pass, and silence for the platform messages.
#pragma once

#include "dsp/FilterBank.h"
#include "platform/platform.h"
#include "model/Parameters.h"
#include "model/ProgramRecord.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace fuzz {

// A finding: stop here so libFuzzer keeps the input.
[[noreturn]] inline void finding(const char* what)
{
    std::fprintf(stderr, "fuzz finding: %s\n", what);
    __builtin_trap();
}

// The coefficient loader shows messages; the fuzzers only count them.
inline void discardMessages()
{
    static const bool installed = [] {
        platform::setMessageSink([](void*, const char*, const char*) {}, nullptr);
        return true;
    }();
    (void)installed;
}

// The input bytes as a file open for reading (an empty input reads as an empty file).
inline std::FILE* openInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return std::fopen("/dev/null", "rb");
    return fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
}

// A calibration slot as buildProgramList leaves it: the record defaults with "LF Cut Freq" 1.0.
inline ProgramRecord userProgram()
{
    ProgramRecord record {};
    for (int p = 0; p < param::kCount; ++p)
        record.value(p) = 0.0f;
    for (int i = 0; i < param::kCapsules; ++i) {
        for (int o = 0; o < param::kOutputs; ++o)
            record.value(param::capOutGain(i, o)) = 0.5f;
        record.value(param::capEqGain(i)) = 0.5f;
    }
    for (int o = 0; o < param::kOutputs; ++o)
        record.value(param::outputGain(o)) = 0.5f;
    record.value(param::kAbMatrixEnabled) = 1.0f;
    record.value(param::kLfCutFreq) = 1.0f;
    std::strcpy(record.name, "User 2");
    return record;
}

// No value of the program may be NaN or infinite, and its name must end inside its field.
inline void checkProgram(const ProgramRecord& program)
{
    for (float v : program.values)
        if (!std::isfinite(v))
            finding("a program value is not finite");
    if (std::memchr(program.name, 0, sizeof program.name) == nullptr)
        finding("the program name is not terminated");
}

// Every filter of a set runs a block at two rates; the sanitizers watch the arrays they touch.
inline void exerciseSet(FilterBank& bank, int set)
{
    if (!bank.hasSet(set))
        return;
    float block[64];
    for (float rate : {48000.0f, 96000.0f}) {
        for (int k = 0; k < FilterBank::kChannels; ++k) {
            CFilter* filter = bank.filter(set, k);
            if (!filter)
                finding("a set is missing a filter");
            if (std::memchr(filter->name, 0, sizeof filter->name) == nullptr)
                finding("a filter name is not terminated");
            for (int n = 0; n < 64; ++n)
                block[n] = (n % 7) * 0.05f - 0.15f;
            filter->setSampleRate(rate);
            filter->reset();
            filter->process(block, 64);
        }
    }
}

} // namespace fuzz
