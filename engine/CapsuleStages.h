// The two capsule stages of the four channels: the LF filter (a low shelf and two second-order
// high-passes) and the per-capsule equaliser (a peaking section in double precision), each
// channel in its own vector lane, both stages in one pass over the samples. The state lives here,
// in lanes; the recursions are dsp/Sections.h's, the same as CLFFilter's and CMitRegFilter's, so
// every channel's samples are bit-identical to running those filters one channel at a time.
//
// Threads: construction and setSampleRate on the host thread while no block runs; the design
// calls and process on the audio thread, allocating nothing.
#pragma once

#include "dsp/Lanes.h"
#include "dsp/Sections.h"

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
    // high-pass's damping follows the cut (CLFFilter::dampingForCut). [audio thread]
    void designLf(float cutHz, float boostHz);
    // The equaliser of each capsule k from its centre in Hz, width in octaves and gain in dB.
    // [audio thread]
    void designEq(const float freqHz[4], const float widthOctaves[4], const float gainDb[4]);

    // The stages that are on, in place on the four capsule channels (distinct buffers), count
    // samples each. A stage that is off keeps its state. [audio thread]
    void process(bool lfOn, bool eqOn, float* const channels[4], std::int32_t count);

private:
    void applyEqDesign();

    float rateHz = 48000.0f;                       // Hz, both stages
    float lfCutHz = 20.0f;                         // Hz, last LF design
    float lfBoostHz = 20.0f;                       // Hz
    float eqFreqHz[4];                             // Hz, last equaliser design per capsule
    float eqBandwidthHz[4];                        // Hz
    float eqGainDb[4];                             // dB
    sections::LowShelf<lanes::F32x4> shelf;        // LF section 1, lane k = capsule k
    sections::HighPass<lanes::F32x4> highPass1;    // LF section 2, damping by the cut
    sections::HighPass<lanes::F32x4> highPass2;    // LF section 3, damping 1.618
    sections::Peaking<lanes::F64x4> equaliser;     // per-capsule equaliser, lane k = capsule k
};

} // namespace engine
