// The two capsule stages of the four channels: the LF filter (a low shelf and two second-order
// high-passes) and the per-capsule equaliser (a peaking section in double precision). It keeps
// their coefficients and state, and runs them in the engine's first pass (engine/CapsulePass.h)
// together with the matrix and the meters. The recursions are dsp/Sections.h's, the same as
// CLFFilter's and CMitRegFilter's, so every channel's samples are bit-identical to running those
// filters one channel at a time.
//
// Threads: construction and setSampleRate on the host thread while no block runs; the design
// calls and run on the audio thread, allocating nothing.
#pragma once

#include "engine/CapsulePass.h"

#include <cstdint>

namespace engine {

class CapsuleStages {
public:
    // LF at 20 Hz cut and boost, equalisers at 2000 Hz, 1 octave, 0 dB, all at 48000 Hz, state
    // cleared. [host thread]
    CapsuleStages();

    // Re-rates both stages: each redesigns with the settings it last had, the LF state is cleared
    // and the equalisers' allpass state runs on (cleared only for a band the new rate cannot
    // hold). [host thread, no block running]
    void setSampleRate(float rateHz);
    float sampleRate() const { return rateHz; }

    // The LF filter of every capsule from its cut and boost frequencies in Hz; the first
    // high-pass's damping follows the cut (CLFFilter::dampingForCut). Designs only when a value
    // differs from the last design's. [audio thread]
    void designLf(float cutHz, float boostHz);
    // The equaliser of each capsule k from its centre in Hz, width in octaves and gain in dB.
    // Designs only when a value differs from the last design's; a band the rate cannot hold has
    // its state cleared at every call either way. [audio thread]
    void designEq(const float freqHz[4], const float widthOctaves[4], const float gainDb[4]);

    // The first pass over count samples (at least 1): the stages that are on (a stage that is off
    // keeps its state), the matrix with gains when not null, the meters' sums into meterSums when
    // not null. Reads all four inputs of a sample before writing its outputs. [audio thread]
    void run(const float* const in[4], float* const out[4], std::int32_t count, bool lfOn, bool eqOn,
             const CABMatrix::Gains* matrix, float* meterSums);

private:
    void designLfNow();
    void applyEqDesign();

    PassFn pass;                                   // the pass for this processor
    float rateHz = 48000.0f;                       // Hz, both stages
    float lfCutHz = 20.0f;                         // Hz, last LF design
    float lfBoostHz = 20.0f;                       // Hz
    float eqFreqHz[4];                             // Hz, last equaliser design per capsule
    float eqWidthOctaves[4];                       // octaves
    float eqGainDb[4];                             // dB
    bool eqIdentity[4] = {};                       // a band the rate cannot hold (state cleared)
    CapsuleCoefficients coefficients;
    CapsuleState state;
    CABMatrix::Gains unused;                       // the factors a pass without the matrix is given
};

} // namespace engine
