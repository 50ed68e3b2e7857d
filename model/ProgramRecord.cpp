#include "model/ProgramRecord.h"

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
