// One program: the 46 normalised parameter values in value-block order, then its name.
// Threads: plain data; whoever shares a record between threads keeps it in atomics (plugin/LiveProgram.h).
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

// The program a plug-in slot holds before any calibration file fills it: slot 0 is the built-in
// "Quaddle - uncalibrated" (LF 25/150 Hz, W at -8 dB, set 2 "2.3cm"), slot 1 "1.47cm" (LF
// 30/50 Hz, W at -4.77 dB, set 1), every other slot the defaults named "User <slot>" with "LF Cut
// Freq" at 1.0. Calibration readers start from the last kind.
ProgramRecord builtInProgram(int slot);
