// One program: the 46 normalised parameter values in value-block order, then its name.
#pragma once

#include "model/Parameters.h"

struct ProgramRecord {
    static constexpr int kNameSize = 24;   // 23 characters and the terminator

    float values[param::kCount];   // normalised 0..1, indexed by value-block position
    char name[kNameSize];          // zero-terminated

    float& value(int parameter) { return values[param::positionOf(parameter)]; }
    float value(int parameter) const { return values[param::positionOf(parameter)]; }

    // Copies text as the name, cut to 23 characters.
    void setName(const char* text);

    // The defaults every record gets at construction: 0 except the gains (0.5, 0 dB) and
    // "AB Matrix Enabled" (1.0); name "Init".
    void setDefaults();
};
