// The LF filter of one capsule channel: a low shelf followed by two second-order high-passes, all
// designed in closed form from a cut frequency and a boost frequency. Its response is
//   (s + wb)/(s + wc) * s^2/(s^2 + d*wc*s + wc^2) * s^2/(s^2 + 1.618*wc*s + wc^2)
// (bilinear, pre-warped), with wc from cutFreq, wb from boostFreq and d from the damping rule of
// update.
//
// The plug-in writes cutFreq and boostFreq and calls update once per block on the audio thread;
// update allocates nothing. The CIIRFilter part of this object carries no coefficients.
#pragma once

#include "dsp/CHPFilter2.h"
#include "dsp/CIIRFilter.h"
#include "dsp/CLowShelfFilter.h"

class CLFFilter : public CIIRFilter {
public:
    // Damping of highPass2, and of highPass1 for cuts at and above 50 Hz.
    static constexpr float kHighDamping = 1.618f;
    // Damping of highPass1 for cuts at and below 25 Hz.
    static constexpr float kLowDamping = 1.109f;

    CLFFilter(float cutFreqHz, float boostFreqHz);

    // Designs the three sections from cutFreq and boostFreq, highPass1 with the damping 1.109 and
    // highPass2 with 1.618 (the damping rule applies from the first update on). [host thread]
    void init() override;
    // Stores the rate, re-rates the three sections in order, then runs update. [host thread]
    void setSampleRate(float rateHz) override;
    // shelf, then highPass1, then highPass2, in place. [audio thread]
    void process(float* buffer, std::int32_t count) override;
    // Clears the three sections' state. [host thread]
    void reset() override;

    // Redesigns the sections from cutFreq and boostFreq; highPass1's damping follows the cut:
    // 1.109 up to 25 Hz, rising linearly to 1.618 at 50 Hz, 1.618 above. Allocates nothing.
    // [audio thread] (once per block while the LF stage is on) or [host thread]
    void update();

    // highPass1's damping for a cut frequency in Hz, by the rule above.
    static float dampingForCut(float cutFreqHz);

    float cutFreq;                                // Hz, shelf pole and high-pass corner
    float boostFreq;                              // Hz, shelf zero
    CLowShelfFilter shelf;                        // first section
    CHPFilter2 highPass1;                         // second section, damping by the rule
    CHPFilter2 highPass2;                         // third section, damping 1.618
};
