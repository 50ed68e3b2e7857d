// The first pass over a piece of a call: the capsule inputs through the LF filter and the
// per-capsule equaliser (four channels in vector lanes), the A-to-B matrix with its output gains,
// and the level meters' sums when no later stage follows, read once and written once. The
// recursions are dsp/Sections.h's and the matrix is dsp/CABMatrix.h's kernel, so the samples are
// those of the stages run one after the other.
//
// The pass is built twice: for the baseline processor (SSE2 on x86) and for AVX2, where the
// equaliser's four doubles fill one register; both give the same bits. The wider one is chosen
// once, when the processor runs it.
// Threads: the pass runs on the audio thread and allocates nothing.
#pragma once

#include "dsp/CABMatrix.h"

#include <cstdint>

namespace engine {

// Coefficients of the capsule stages, lane k = capsule k.
struct CapsuleCoefficients {
    float shelf[3] = {};          // b0 b1 a1, the same in every lane
    float highPass[2][5] = {};    // b0 b1 b2 a1 a2 of the two high-passes
    double eq[5][4] = {};         // b0 b1 a1 a2 h of each capsule's equaliser
};

// Their state between calls: the LF chain's input one step ago and each of its three sections'
// outputs one and two steps ago (sections::LfChain), the equalisers' allpass state.
struct CapsuleState {
    float lfX1[4] = {};
    float lfY1[3][4] = {}, lfY2[3][4] = {};
    double eqS1[4] = {}, eqS2[4] = {};
};

struct PassArgs {
    const float* in[4];             // capsule inputs (may be the outputs)
    float* out[4];                  // W X Y Z out
    std::int32_t count;             // samples, at least 1
    bool lf, eq, matrix;            // the stages that run; a stage that is off keeps its state
    const CapsuleCoefficients* coefficients;
    CapsuleState* state;
    const CABMatrix::Gains* gains;  // the matrix factors (read also when the matrix is off)
    float* meterSums;               // null, or the four outputs' sums of squares from 0 in sample order
};

using PassFn = void (*)(const PassArgs&);

PassFn baselinePass();
PassFn avx2Pass();   // null where no AVX2 build exists
// The widest pass this processor runs.
PassFn fastestPass();

} // namespace engine
