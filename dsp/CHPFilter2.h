// Second-order high-pass designed in closed form: the bilinear transform, pre-warped at the
// corner, of s^2 / (s^2 + damping*s + 1).
//
// The coefficients live in the filter itself (no table), so design allocates nothing. process
// runs the section of dsp/Sections.h with the two past inputs and outputs in locals instead of
// walking the 1024-entry history; its arithmetic is that of CIIRFilter::process term for term, so
// the output is bit-identical to the general loop fed the same coefficients.
#pragma once

#include "dsp/CIIRFilter.h"

class CHPFilter2 : public CIIRFilter {
public:
    // 20 Hz corner, Butterworth damping (sqrt 2), at 48000 Hz; designed and ready to run.
    CHPFilter2();

    // Points den/num at the filter's own coefficients (2 and 3 of them), designs them from the
    // current parameters and clears the state. [host thread]
    void init() override;
    // Stores the rate and designs; the table is never consulted. [host thread]
    void setSampleRate(float rateHz) override;
    // [audio thread]
    void process(float* buffer, std::int32_t count) override;
    // Clears the two past inputs and outputs. [host thread]
    void reset() override;

    // Recomputes the coefficients from frequency, damping and sampleRate. Allocates nothing.
    // [host thread] or [audio thread]
    void design();

    float frequency = 20.0f;                  // Hz, the -3 dB corner for damping sqrt 2
    float damping = 1.4142135f;               // coefficient of s in the normalised prototype, 1/Q

private:
    float designDen[2] = {0.0f, 0.0f};        // a1, a2 from the last design
    float designNum[3] = {1.0f, 0.0f, 0.0f};  // b0, b1, b2 from the last design
    float x1 = 0.0f;                          // input one sample ago (gain-scaled)
    float x2 = 0.0f;                          // input two samples ago
    float y1 = 0.0f;                          // output one sample ago
    float y2 = 0.0f;                          // output two samples ago
};
