#include "dsp/CMitRegFilter.h"

#include "dsp/Decibel.h"

#include <cmath>

namespace {
// pi and 2 pi as single-precision constants, widened: the design depends on these exact values.
constexpr double kPi = static_cast<double>(3.1415927f);
constexpr double kTwoPi = static_cast<double>(6.2831855f);
} // namespace

CMitRegFilter::CMitRegFilter()
{
    setParameters(2000.0f, 1.0f, 0.0f);
}

void CMitRegFilter::init()
{
    s1 = 0.0;
    s2 = 0.0;
    setParameters(2000.0f, 1.0f, 0.0f);
}

void CMitRegFilter::setSampleRate(float rateHz)
{
    sampleRate = rateHz;
    design();
}

void CMitRegFilter::setParameters(float freqHz, float widthOctaves, float gainDb)
{
    frequency = freqHz;
    const double octaves = widthOctaves;
    bandwidth = static_cast<float>((std::pow(2.0, octaves * 0.5) - std::pow(2.0, octaves * -0.5))
                                   * static_cast<double>(freqHz));
    linearBandwidth = false;
    gain = gainDb;
    design();
}

void CMitRegFilter::setLinearBand(float freqHz, float relativeWidth, float gainDb)
{
    frequency = freqHz;
    linearBandwidth = true;
    bandwidth = freqHz * relativeWidth;
    gain = gainDb;
    design();
}

void CMitRegFilter::design()
{
    const double fs = sampleRate;
    double wb = static_cast<double>(bandwidth) * kTwoPi / fs;
    const double w0 = static_cast<double>(frequency) * kTwoPi / fs;

    double k2;
    if (linearBandwidth) {
        k2 = static_cast<float>((1.0 - wb / 2.0) / (1.0 + wb / 2.0));
    } else {
        // A cut gets a band 1/G wider than the boost of the same size, so boost and cut of equal
        // dB look alike on a log scale.
        if (gain < 0.0f)
            wb = wb / static_cast<double>(dbToLinear(gain));
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
    // ring forever or blow up, so it becomes the identity A(z) = 1 instead: k2 = 1, c = 0, and
    // the state cleared so that nothing left from an earlier design rings on undamped. A rate of
    // 0 lands here too, through the infinities.
    if (!(wb > 0.0) || !(k2 < 1.0) || !(w0 < kPi)) {
        b0 = a2 = 1.0;
        b1 = a1 = 0.0;
        s1 = s2 = 0.0;
        return;
    }

    const double c = (k2 + 1.0) * -std::cos(w0);
    b0 = k2;
    a2 = k2;
    b1 = c;
    a1 = c;
}

void CMitRegFilter::process(float* buffer, std::int32_t count)
{
    const float g = dbToLinear(gain);
    const double h = static_cast<double>(g * 0.5f);
    const double cb0 = b0, cb1 = b1, ca1 = a1, ca2 = a2;
    double d1 = s1, d2 = s2;
    for (std::int32_t i = 0; i < count; ++i) {
        const double x = buffer[i];
        const double y = cb0 * x + d1;       // allpass output
        d1 = cb1 * x - ca1 * y + d2;
        d2 = x - ca2 * y;
        buffer[i] = static_cast<float>((x - y) * h + (y + x) * 0.5);
    }
    s1 = d1;
    s2 = d2;
}
