// sonquad check: one calibration file read the way the plug-in reads it, and explained.
//
// The file is read by the plug-in's own readers into a program record that starts as the
// plug-in's first calibration slot does (program 2, post-matrix set 3), with a listener for
// everything they pass over. The report gives every value the program gets in real units, every
// line or message passed over and why, the coefficient tables with their rates and lengths (and
// how each filter behaves), and the problems the plug-in would stay silent about.
#pragma once

#include "calibration/Diagnostics.h"

#include <string>
#include <vector>

namespace cli {

struct CheckedValue {
    int parameter;
    std::string name;
    std::string display;     // as the plug-in's display would show it
    std::string unit;
    float value;             // normalised
    bool fromFile;           // reading changed it
};

// One sample rate of a coefficient table, as the plug-in holds it after reading.
struct CheckedRate {
    std::string table;       // "W" or "X, Y, Z"
    float rateHz;
    int numeratorLength;
    int denominatorLength;
    std::string behaviour;   // what the filter does at this rate
};

// One file of the calibration's coefficient folder.
struct CheckedFile {
    std::string name;
    float rateHz;            // from its name; 0: none
    bool named;              // a line of the calibration names it
    std::string contents;    // lengths, or why it cannot be used
};

struct CheckReport {
    std::string path;
    std::string kind;                        // "text calibration" or "processor configuration"
    std::string calibrationName;
    std::string programName;
    int program = 0;                         // slot the file would fill
    int set = 0;                             // post-matrix set it would make
    bool setCreated = false;
    std::vector<CheckedValue> values;
    std::vector<Diagnostic> passedOver;
    std::vector<std::string> messages;       // message boxes shown while reading
    std::vector<CheckedRate> rates;          // text calibrations
    std::string coefficientFolder;           // text calibrations
    std::vector<CheckedFile> files;          // text calibrations
    std::vector<std::string> channelFilters; // processor configurations: the equaliser per channel
    std::vector<std::string> problems;       // found by the check beyond the readers' notes
};

// Throws CliError when the file cannot be opened or is of neither kind.
CheckReport checkCalibration(const std::string& path);

} // namespace cli
