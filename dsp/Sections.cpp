#include "dsp/Sections.h"

#include "dsp/Decibel.h"

#include <cmath>

namespace sections {

namespace {
constexpr float kPiF = 3.1415927f;   // single-precision pi
// pi and 2 pi as single-precision constants, widened: the peaking design depends on these values.
constexpr double kPi = static_cast<double>(3.1415927f);
constexpr double kTwoPi = static_cast<double>(6.2831855f);

// tan(pi*f/fs): the argument in single precision, the tangent in double, rounded to float.
float prewarped(float freqHz, float rateHz)
{
    return static_cast<float>(std::tan(static_cast<double>(kPiF * freqHz / rateHz)));
}
} // namespace

ShelfDesign designLowShelf(float poleHz, float zeroHz, float rateHz)
{
    const float t1 = prewarped(poleHz, rateHz);
    const float t2 = prewarped(zeroHz, rateHz);
    return {(t2 + 1.0f) / (t1 + 1.0f), (t2 - 1.0f) / (t1 + 1.0f), (t1 - 1.0f) / (t1 + 1.0f)};
}

HighPassDesign designHighPass(float cornerHz, float damping, float rateHz)
{
    // Single precision throughout, except the tangent.
    const float d = damping;
    const float k = prewarped(cornerHz, rateHz);
    const float kk = k * k;
    const float n = k * d + kk + 1.0f;
    HighPassDesign design;
    design.a1 = 2.0f * (kk - 1.0f) / n;
    design.a2 = (kk - k * d + 1.0f) / (kk + k * d + 1.0f);
    design.b0 = 1.0f / n;
    design.b1 = -2.0f * (1.0f / n);
    design.b2 = 1.0f / n;
    return design;
}

PeakingDesign designPeaking(float centreHz, float bandwidthHz, float gainDb, bool linear, float rateHz)
{
    const double fs = rateHz;
    double wb = static_cast<double>(bandwidthHz) * kTwoPi / fs;
    const double w0 = static_cast<double>(centreHz) * kTwoPi / fs;

    double k2;
    if (linear) {
        k2 = static_cast<float>((1.0 - wb / 2.0) / (1.0 + wb / 2.0));
    } else {
        // A cut gets a band 1/G wider than the boost of the same size, so boost and cut of equal
        // dB look alike on a log scale.
        if (gainDb < 0.0f)
            wb = wb / static_cast<double>(dbToLinear(gainDb));
        // Keeps the band below the Nyquist frequency.
        const double cap = 0.75 * (kPi - w0);
        if (wb > cap)
            wb = cap;
        const double t = std::tan(wb / 2.0);
        k2 = static_cast<float>((1.0 - t) / (1.0 + t));
    }

    // A band the rate cannot hold: no width (k2 rounds to 1), a negative width, or a centre at or
    // above the Nyquist frequency (an EQ at 20 kHz with the host at 32 kHz; the cap then turns the
    // width negative). Its poles would sit on or outside the unit circle and the section would
    // ring forever or blow up, so it becomes the identity A(z) = 1 instead, with its state
    // cleared so that nothing left from an earlier design rings on undamped. A rate of 0 lands
    // here too, through the infinities.
    if (!(wb > 0.0) || !(k2 < 1.0) || !(w0 < kPi))
        return {1.0, 0.0, 0.0, 1.0, true};

    const double c = (k2 + 1.0) * -std::cos(w0);
    return {k2, c, c, k2, false};
}

float octavesToBandwidthHz(float centreHz, float widthOctaves)
{
    const double octaves = widthOctaves;
    return static_cast<float>((std::pow(2.0, octaves * 0.5) - std::pow(2.0, octaves * -0.5))
                              * static_cast<double>(centreHz));
}

} // namespace sections
