// Two-band parametric equaliser with an output gain: two peaking sections (CMitRegFilter in the
// linear-bandwidth mode) in series, then a constant factor. Built once by the processor
// configuration loader for one B-format channel of a post-matrix set.
//
// Lifecycle: constructed and re-rated on the host thread; process on the audio thread, which
// allocates nothing.
#pragma once

#include "dsp/CFilter.h"
#include "dsp/CMitRegFilter.h"

class CParaEQ2Band : public CFilter {
public:
    // Band n: centre fn in Hz, bandwidth fn*wn in Hz (wn relative to the centre), gain gn in dB
    // at the centre. gainDb: output gain in dB. Designed for 48000 Hz until setSampleRate.
    // [host thread]
    CParaEQ2Band(float f1, float w1, float g1, float f2, float w2, float g2, float gainDb);

    // Returns every band to 2000 Hz, 1 octave, 0 dB in the exact mode and clears their state:
    // it discards the configured bands. [host thread]
    void init() override;
    // Re-rates each band; each keeps its parameters and mode and redesigns. [host thread]
    void setSampleRate(float rateHz) override;
    // band1, band2, then every sample times outputFactor. [audio thread]
    void process(float* buffer, std::int32_t count) override;
    // Each band's reset, which leaves its allpass state. [host thread]
    void reset() override;

    CMitRegFilter band1;                          // first peaking section
    CMitRegFilter band2;                          // second peaking section
    float outputFactor = 1.0f;                    // linear output gain
};

