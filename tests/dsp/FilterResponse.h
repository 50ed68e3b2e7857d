// Measuring tools for the filter tests: impulse responses through process, their DFT at any
// frequency, the bilinear-transform frequency variable of the analogue prototypes, and runs of a
// stream in uneven blocks.
#pragma once

#include "dsp/CFilter.h"
#include "dsp/CIIRFilter.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <vector>

namespace filtertest {

constexpr double kPi = 3.14159265358979323846;

// The first length samples of the filter's response to a unit impulse, processed in blocks.
inline std::vector<float> impulseResponse(CFilter& filter, std::size_t length,
                                          std::int32_t blockLength = 4096)
{
    std::vector<float> h(length, 0.0f);
    h[0] = 1.0f;
    for (std::size_t start = 0; start < length; start += static_cast<std::size_t>(blockLength)) {
        const auto n = static_cast<std::int32_t>(
            std::min<std::size_t>(static_cast<std::size_t>(blockLength), length - start));
        filter.process(h.data() + start, n);
    }
    return h;
}

// Sum of h[n] e^(-j w n), w = 2 pi f / fs, in double precision: the frequency response of a
// filter whose impulse response has decayed within h.
inline std::complex<double> responseAt(const std::vector<float>& h, double freqHz, double rateHz)
{
    const double w = 2.0 * kPi * freqHz / rateHz;
    std::complex<double> sum = 0.0;
    // Direct evaluation of each phase keeps the error independent of the length.
    for (std::size_t n = 0; n < h.size(); ++n)
        if (h[n] != 0.0f)
            sum += static_cast<double>(h[n]) * std::polar(1.0, -w * static_cast<double>(n));
    return sum;
}

// The analogue frequency that the bilinear transform, pre-warped with tan(pi f / fs), maps to
// freqHz: s = j tan(pi f / fs). A prototype with its corners at tan(pi fc / fs) evaluated here
// gives exactly the response the digital design should have.
inline std::complex<double> prewarpedS(double freqHz, double rateHz)
{
    return {0.0, std::tan(kPi * freqHz / rateHz)};
}

inline double prewarped(double freqHz, double rateHz)
{
    return std::tan(kPi * freqHz / rateHz);
}

// |D(e^jw)| of the bilinear transform of s + t (t = tan(pi fc / fs)), normalised to a leading 1.
inline double firstOrderDenominator(double freqHz, double rateHz, double t)
{
    const double c = std::cos(kPi * freqHz / rateHz);
    return 2.0 * c * std::abs(prewarpedS(freqHz, rateHz) + t) / (1.0 + t);
}

// |D(e^jw)| of the bilinear transform of s^2 + d K s + K^2 (K = tan(pi fc / fs)), normalised to a
// leading 1.
inline double secondOrderDenominator(double freqHz, double rateHz, double k, double d)
{
    const std::complex<double> s = prewarpedS(freqHz, rateHz);
    const double c = std::cos(kPi * freqHz / rateHz);
    return 4.0 * c * c * std::abs(s * s + d * k * s + k * k) / (k * k + d * k + 1.0);
}

// How far a single-precision section may stray from its exact response: its coefficients and its
// recursion are rounded to 2^-24 of the signal, and that error is amplified by 1/|D(e^jw)|, which
// is large near a low corner (about 1e5 for a 20 Hz high-pass at 48 kHz). Measured errors stay
// below 3 of these units; the tests allow 8.
inline double roundingUnit(double denominatorMagnitude)
{
    return std::ldexp(1.0, -24) / denominatorMagnitude;
}
constexpr double kRoundingUnits = 8.0;

inline double toDb(double magnitude)
{
    return 20.0 * std::log10(magnitude);
}

// A reproducible test signal: white noise in [-1, 1).
inline std::vector<float> noise(std::size_t length, std::uint32_t seed = 12345)
{
    std::vector<float> x(length);
    std::uint32_t state = seed;
    for (float& v : x) {
        state = state * 1664525u + 1013904223u;
        v = static_cast<float>(static_cast<double>(state >> 8) / 8388608.0 - 1.0);
    }
    return x;
}

// The filter's output for x in one call.
inline std::vector<float> processed(CFilter& filter, std::vector<float> x)
{
    filter.process(x.data(), static_cast<std::int32_t>(x.size()));
    return x;
}

// x processed in place in consecutive calls of the given lengths, cycling through them until x is
// done (the last call takes what is left).
inline void processInBlocks(CFilter& filter, std::vector<float>& x, const std::vector<std::int32_t>& blocks)
{
    std::size_t done = 0;
    for (std::size_t i = 0; done < x.size(); ++i) {
        const auto n = static_cast<std::int32_t>(
            std::min<std::size_t>(static_cast<std::size_t>(blocks[i % blocks.size()]), x.size() - done));
        filter.process(x.data() + done, n);
        done += static_cast<std::size_t>(n);
    }
}

// A section's output and the general direct-form loop's (a CIIRFilter reading the section's own
// coefficient arrays) for one noise signal as long as the blocks together, both run in those
// blocks and both reset after the block of length resetAfter. The signal starts with every
// pattern of signed zeros (a de Bruijn sequence): the sign of a zero output depends on both sums
// starting from +0.
struct SectionAndGeneral {
    std::vector<float> section, general;
};
inline SectionAndGeneral runBesideGeneralLoop(CIIRFilter& section, const std::vector<std::int32_t>& blocks,
                                              std::int32_t resetAfter, std::uint32_t seed)
{
    CIIRFilter general;
    general.den = section.den;
    general.num = section.num;
    general.denCount = section.denCount;
    general.numCount = section.numCount;
    general.inputGain = section.inputGain;
    std::size_t length = 0;
    for (std::int32_t block : blocks)
        length += static_cast<std::size_t>(block);
    std::vector<float> x = noise(length, seed);
    const char* signs = "0001011100";
    for (std::size_t i = 0; signs[i]; ++i)
        x[i] = signs[i] == '1' ? -0.0f : 0.0f;
    SectionAndGeneral out {x, x};
    std::size_t start = 0;
    for (std::int32_t block : blocks) {
        section.process(out.section.data() + start, block);
        general.process(out.general.data() + start, block);
        start += static_cast<std::size_t>(block);
        if (block == resetAfter) {
            section.reset();
            general.reset();
        }
    }
    return out;
}

} // namespace filtertest
