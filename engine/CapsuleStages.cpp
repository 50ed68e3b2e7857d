#include "engine/CapsuleStages.h"

#include "dsp/CLFFilter.h"
#include "dsp/Decibel.h"
#include "dsp/Sections.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace engine {

namespace {

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

} // namespace

CapsuleStages::CapsuleStages() : pass(fastestPass())
{
    for (int k = 0; k < 4; ++k) {
        eqFreqHz[k] = 2000.0f;
        eqWidthOctaves[k] = 1.0f;
        eqGainDb[k] = 0.0f;
    }
    designLfNow();
    applyEqDesign();
}

void CapsuleStages::setSampleRate(float rate)
{
    rateHz = rate;
    designLfNow();
    applyEqDesign();
    // The LF state is cleared; the equalisers' state runs on.
    CapsuleState cleared;
    std::copy(std::begin(state.eqS1), std::end(state.eqS1), std::begin(cleared.eqS1));
    std::copy(std::begin(state.eqS2), std::end(state.eqS2), std::begin(cleared.eqS2));
    state = cleared;
}

void CapsuleStages::designLf(float cutHz, float boostHz)
{
    if (sameBits(cutHz, lfCutHz) && sameBits(boostHz, lfBoostHz))
        return;
    lfCutHz = cutHz;
    lfBoostHz = boostHz;
    designLfNow();
}

void CapsuleStages::designLfNow()
{
    // The same values for the four capsules: one design, in every lane.
    const sections::ShelfDesign s = sections::designLowShelf(lfCutHz, lfBoostHz, rateHz);
    coefficients.shelf[0] = s.b0;
    coefficients.shelf[1] = s.b1;
    coefficients.shelf[2] = s.a1;
    const sections::HighPassDesign d[2] = {
        sections::designHighPass(lfCutHz, CLFFilter::dampingForCut(lfCutHz), rateHz),
        sections::designHighPass(lfCutHz, CLFFilter::kHighDamping, rateHz)};
    for (int j = 0; j < 2; ++j) {
        const float c[5] = {d[j].b0, d[j].b1, d[j].b2, d[j].a1, d[j].a2};
        std::copy(c, c + 5, coefficients.highPass[j]);
    }
}

void CapsuleStages::designEq(const float freqHz[4], const float widthOctaves[4], const float gainDb[4])
{
    bool same = true;
    for (int k = 0; k < 4; ++k)
        same = same && sameBits(freqHz[k], eqFreqHz[k]) && sameBits(widthOctaves[k], eqWidthOctaves[k])
               && sameBits(gainDb[k], eqGainDb[k]);
    if (same) {
        // The design stands; what it does besides the coefficients is clear the state of a band
        // the rate cannot hold.
        for (int k = 0; k < 4; ++k)
            if (eqIdentity[k])
                state.eqS1[k] = state.eqS2[k] = 0.0;
        return;
    }
    for (int k = 0; k < 4; ++k) {
        eqFreqHz[k] = freqHz[k];
        eqWidthOctaves[k] = widthOctaves[k];
        eqGainDb[k] = gainDb[k];
    }
    applyEqDesign();
}

void CapsuleStages::applyEqDesign()
{
    for (int k = 0; k < 4; ++k) {
        const float bandwidthHz = sections::octavesToBandwidthHz(eqFreqHz[k], eqWidthOctaves[k]);
        const sections::PeakingDesign d = sections::designPeaking(eqFreqHz[k], bandwidthHz, eqGainDb[k], false, rateHz);
        coefficients.eq[0][k] = d.b0;
        coefficients.eq[1][k] = d.b1;
        coefficients.eq[2][k] = d.a1;
        coefficients.eq[3][k] = d.a2;
        coefficients.eq[4][k] = static_cast<double>(dbToLinear(eqGainDb[k]) * 0.5f);
        eqIdentity[k] = d.identity;
        if (d.identity)
            state.eqS1[k] = state.eqS2[k] = 0.0;   // nothing left from an earlier design rings on
    }
}

void CapsuleStages::run(const float* const in[4], float* const out[4], std::int32_t count, bool lfOn, bool eqOn,
                        const CABMatrix::Gains* matrix, float* meterSums)
{
    if (count <= 0)
        return;
    PassArgs args {{in[0], in[1], in[2], in[3]}, {out[0], out[1], out[2], out[3]}, count, lfOn, eqOn,
                   matrix != nullptr, &coefficients, &state, matrix ? matrix : &unused, meterSums};
    pass(args);
}

} // namespace engine
