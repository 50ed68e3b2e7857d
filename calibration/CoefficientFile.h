// Binary coefficient files: one filter design at one sample rate, read into a coefficient table
// (dsp/CFilterCoefficients.h) under the rate that the file's path names.
//
// Layout, little-endian: a 4-byte header word (not used), the denominator length and the
// numerator length (signed 16-bit each), then the numerator and the denominator as IEEE floats.
//
// Threads: runs on the host thread while the calibration folder is read.
#pragma once

#include <string>

class CFilterCoefficients;

// Reads the file at path into table, under the rate key its path names. A path with no rate code
// stores nothing (one line on standard error). A file that cannot be opened, is shorter than its
// lengths announce, or announces a length below 0 or above 1024 shows "Failed to open Harl filter
// coefficients file: %s" and stores empty arrays for the rate (present, length 0: a filter at that
// rate passes its signal unchanged).
void loadCoefficientFile(CFilterCoefficients& table, const char* path);

// The rate key that a path names ("W48", "VEL96", ... anywhere in the upper-cased path, a later
// code of the list winning), or 0 when it names none.
float rateKeyFromPath(const std::string& path);
