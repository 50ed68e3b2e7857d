#include "model/ProgramRecord.h"

#include <cstdio>
#include <cstring>

void ProgramRecord::setName(const char* text)
{
    std::strncpy(name, text ? text : "", kNameSize - 1);
    name[kNameSize - 1] = '\0';
}

void ProgramRecord::setDefaults()
{
    for (float& v : values)
        v = 0.0f;
    for (int i = 0; i < param::kCapsules; ++i) {
        for (int o = 0; o < param::kOutputs; ++o)
            value(param::capOutGain(i, o)) = 0.5f;
        value(param::capEqGain(i)) = 0.5f;
    }
    for (int o = 0; o < param::kOutputs; ++o)
        value(param::outputGain(o)) = 0.5f;
    value(param::kAbMatrixEnabled) = 1.0f;
    setName("Init");
}

ProgramRecord builtInProgram(int slot)
{
    ProgramRecord record {};
    record.setDefaults();
    char text[ProgramRecord::kNameSize];
    std::snprintf(text, sizeof text, "User %d", slot);
    record.setName(text);
    record.value(param::kLfCutFreq) = 1.0f;
    if (slot == 0) {
        record.setName("Quaddle - uncalibrated");
        record.value(param::kLfEnabled) = 1.0f;
        record.value(param::kLfCutFreq) = param::lfFrequencyValue(25.0);
        record.value(param::kLfBoostFreq) = param::lfFrequencyValue(150.0);
        record.value(param::outputGain(0)) = 0.23333334f;   // -8 dB on W
        record.value(param::kPostMatrixFilterNumber) = 0.2857143f;   // set 2, "2.3cm"
    } else if (slot == 1) {
        record.setName("1.47cm");
        record.value(param::kLfEnabled) = 1.0f;
        record.value(param::kLfCutFreq) = param::lfFrequencyValue(30.0);
        record.value(param::kLfBoostFreq) = param::lfFrequencyValue(50.0);
        record.value(param::outputGain(0)) = 0.341f;   // -4.77 dB on W
        record.value(param::kPostMatrixFilterNumber) = 0.14285715f;   // set 1, "1.47cm"
    }
    return record;
}
