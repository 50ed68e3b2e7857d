// First-order shelf designed in closed form: the bilinear transform, pre-warped, of
// (s + w2) / (s + w1), with w1 from frequency (the pole) and w2 from zeroFrequency (the zero).
// Unity at the top of the band, tan(pi*zeroFrequency/fs) / tan(pi*frequency/fs) at 0 Hz.
//
// Like CHPFilter2 it keeps its coefficients in the filter itself (design allocates nothing) and
// runs the section of dsp/Sections.h with its one past input and output in locals, with exactly
// the arithmetic of CIIRFilter::process.
#pragma once

#include "dsp/CIIRFilter.h"

class CLowShelfFilter : public CIIRFilter {
public:
    // Pole and zero both at 20 Hz (flat), at 48000 Hz; designed and ready to run.
    CLowShelfFilter();

    // Points den/num at the filter's own coefficients (1 and 2 of them), designs them from the
    // current parameters and clears the state. [host thread]
    void init() override;
    // Stores the rate and designs; the table is never consulted. [host thread]
    void setSampleRate(float rateHz) override;
    // [audio thread]
    void process(float* buffer, std::int32_t count) override;
    // Clears the past input and output. [host thread]
    void reset() override;

    // Recomputes the coefficients from frequency, zeroFrequency and sampleRate. Allocates nothing.
    // [host thread] or [audio thread]
    void design();

    float frequency = 20.0f;                  // Hz, the pole
    float zeroFrequency = 20.0f;              // Hz, the zero

private:
    float designDen[1] = {0.0f};              // a1 from the last design
    float designNum[2] = {1.0f, 0.0f};        // b0, b1 from the last design
    float x1 = 0.0f;                          // input one sample ago (gain-scaled)
    float y1 = 0.0f;                          // output one sample ago
};
