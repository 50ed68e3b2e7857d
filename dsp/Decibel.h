// Decibel to linear factor, shared by the matrix, the equalisers and the calibration readers.
// Threads: a pure function, any thread (the audio thread included).
#pragma once

#include <cmath>

// 10^(dB/20), evaluated in double precision as exp(dB / 20 * ln 10) and rounded to float.
// ln 10 is written with 13 significant digits; every gain in the product goes through here so
// that all stages agree to the last bit.
inline float dbToLinear(double dB)
{
    return static_cast<float>(std::exp(dB / 20.0 * 2.302585092994));
}
