// Second-order peaking equaliser on an allpass section (Regalia-Mitra): the output blends the
// input with a second-order allpass A(z) as (1 + A)/2 + G*(1 - A)/2, so the gain G at the centre is
// one multiplier while the centre and bandwidth are set by the allpass alone. Unity at 0 Hz and at
// the Nyquist frequency. The allpass runs in double precision, transposed direct form II.
//
// Two bandwidth modes: exact (the per-capsule EQ) warps the band with a tangent, widens it by 1/G
// for a cut and caps it at 0.75*(pi - w0); linear (the parametric equalisers) uses
// k2 = (1 - wb/2)/(1 + wb/2) with no widening and no cap.
//
// A band the rate cannot hold (zero or negative width, centre at or above the Nyquist frequency)
// makes the section the identity, with its state cleared, instead of an unstable allpass.
//
// The design allocates nothing and runs once per block on the audio thread for the per-capsule
// EQ. Of the CIIRFilter part only sampleRate is used.
#pragma once

#include "dsp/CIIRFilter.h"

class CMitRegFilter : public CIIRFilter {
public:
    // 2000 Hz, 1 octave, 0 dB, exact mode, at 48000 Hz, zero state.
    CMitRegFilter();

    // Back to 2000 Hz, 1 octave, 0 dB in exact mode, and clears the allpass state. [host thread]
    void init() override;
    // Stores the rate and redesigns, keeping the parameters and the mode. [host thread]
    void setSampleRate(float rateHz) override;
    // In place; reads gain at every call, so a gain change needs no design. [audio thread]
    void process(float* buffer, std::int32_t count) override;
    // reset is CIIRFilter's: it clears the unused direct-form histories and leaves s1 and s2, so
    // the allpass runs on across rate changes.

    // Centre in Hz, width in octaves (bandwidth = (2^(w/2) - 2^(-w/2)) * centre), gain in dB at
    // the centre; selects the exact mode and designs. Allocates nothing. [audio thread] or
    // [host thread]
    void setParameters(float freqHz, float widthOctaves, float gainDb);
    // Centre in Hz, bandwidth freqHz * relativeWidth in Hz, gain in dB at the centre; selects the
    // linear-bandwidth mode (the parametric equalisers' bands) and designs. [host thread]
    void setLinearBand(float freqHz, float relativeWidth, float gainDb);
    // Recomputes the allpass from frequency, bandwidth, gain, linearBandwidth and sampleRate.
    // Allocates nothing. [audio thread] or [host thread]
    void design();

    float frequency = 2000.0f;                    // Hz, centre
    float bandwidth = 0.0f;                       // Hz, allpass bandwidth before mode adjustments
    float gain = 0.0f;                            // dB at the centre
    bool linearBandwidth = false;                 // true: linear bandwidth, no cut widening, no cap
    double a1 = 0.0;                              // allpass feedback z^-1 coefficient, = c
    double a2 = 0.0;                              // allpass feedback z^-2 coefficient, = k2
    double b0 = 0.0;                              // allpass feed-forward z^0 coefficient, = k2
    double b1 = 0.0;                              // allpass feed-forward z^-1 coefficient, = c
    double s1 = 0.0;                              // allpass state, first delay (TDF-II)
    double s2 = 0.0;                              // allpass state, second delay (TDF-II)
};
