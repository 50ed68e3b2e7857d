#include "engine/CapsuleStages.h"

#include "dsp/CLFFilter.h"
#include "dsp/Decibel.h"

namespace engine {

using lanes::F32x4;
using lanes::F64x4;

CapsuleStages::CapsuleStages()
{
    const F32x4 one(1.0f);
    shelf.gain = highPass1.gain = highPass2.gain = one;
    for (int k = 0; k < 4; ++k) {
        eqFreqHz[k] = 2000.0f;
        eqBandwidthHz[k] = sections::octavesToBandwidthHz(2000.0f, 1.0f);
        eqGainDb[k] = 0.0f;
    }
    designLf(lfCutHz, lfBoostHz);
    applyEqDesign();
}

void CapsuleStages::setSampleRate(float rate)
{
    rateHz = rate;
    designLf(lfCutHz, lfBoostHz);
    applyEqDesign();
    const F32x4 zero;
    shelf.x1 = shelf.y1 = zero;
    highPass1.x1 = highPass1.x2 = highPass1.y1 = highPass1.y2 = zero;
    highPass2.x1 = highPass2.x2 = highPass2.y1 = highPass2.y2 = zero;
}

void CapsuleStages::designLf(float cutHz, float boostHz)
{
    lfCutHz = cutHz;
    lfBoostHz = boostHz;
    // The same values for the four capsules: one design, in every lane.
    const sections::ShelfDesign s = sections::designLowShelf(cutHz, boostHz, rateHz);
    shelf.b0 = F32x4(s.b0);
    shelf.b1 = F32x4(s.b1);
    shelf.a1 = F32x4(s.a1);
    auto setHighPass = [](sections::HighPass<F32x4>& section, const sections::HighPassDesign& d) {
        section.b0 = F32x4(d.b0);
        section.b1 = F32x4(d.b1);
        section.b2 = F32x4(d.b2);
        section.a1 = F32x4(d.a1);
        section.a2 = F32x4(d.a2);
    };
    setHighPass(highPass1, sections::designHighPass(cutHz, CLFFilter::dampingForCut(cutHz), rateHz));
    setHighPass(highPass2, sections::designHighPass(cutHz, CLFFilter::kHighDamping, rateHz));
}

void CapsuleStages::designEq(const float freqHz[4], const float widthOctaves[4], const float gainDb[4])
{
    for (int k = 0; k < 4; ++k) {
        eqFreqHz[k] = freqHz[k];
        eqBandwidthHz[k] = sections::octavesToBandwidthHz(freqHz[k], widthOctaves[k]);
        eqGainDb[k] = gainDb[k];
    }
    applyEqDesign();
}

void CapsuleStages::applyEqDesign()
{
    double b0[4], b1[4], a1[4], a2[4], h[4], s1[4], s2[4];
    equaliser.s1.store(s1);
    equaliser.s2.store(s2);
    for (int k = 0; k < 4; ++k) {
        const sections::PeakingDesign d = sections::designPeaking(eqFreqHz[k], eqBandwidthHz[k], eqGainDb[k], false, rateHz);
        b0[k] = d.b0;
        b1[k] = d.b1;
        a1[k] = d.a1;
        a2[k] = d.a2;
        h[k] = static_cast<double>(dbToLinear(eqGainDb[k]) * 0.5f);
        if (d.identity)
            s1[k] = s2[k] = 0.0;   // nothing left from an earlier design rings on
    }
    equaliser.b0 = F64x4::of(b0[0], b0[1], b0[2], b0[3]);
    equaliser.b1 = F64x4::of(b1[0], b1[1], b1[2], b1[3]);
    equaliser.a1 = F64x4::of(a1[0], a1[1], a1[2], a1[3]);
    equaliser.a2 = F64x4::of(a2[0], a2[1], a2[2], a2[3]);
    equaliser.h = F64x4::of(h[0], h[1], h[2], h[3]);
    equaliser.s1 = F64x4::of(s1[0], s1[1], s1[2], s1[3]);
    equaliser.s2 = F64x4::of(s2[0], s2[1], s2[2], s2[3]);
}

void CapsuleStages::process(bool lfOn, bool eqOn, float* const channels[4], std::int32_t count)
{
    if (count <= 0 || (!lfOn && !eqOn))
        return;
    // Copies in locals, so that the state stays in registers through the block; each section's
    // recursion gives the same samples whether the next section runs after every sample or after
    // the whole block.
    auto sh = shelf;
    auto hp1 = highPass1;
    auto hp2 = highPass2;
    auto eq = equaliser;
    if (lfOn && eqOn)
        lanes::forEachStep(channels, count,
                           [&](F32x4 x) { return lanes::narrow(eq.step(lanes::widen(hp2.step(hp1.step(sh.step(x)))))); });
    else if (lfOn)
        lanes::forEachStep(channels, count, [&](F32x4 x) { return hp2.step(hp1.step(sh.step(x))); });
    else
        lanes::forEachStep(channels, count, [&](F32x4 x) { return lanes::narrow(eq.step(lanes::widen(x))); });
    if (lfOn) {
        shelf = sh;
        highPass1 = hp1;
        highPass2 = hp2;
    }
    if (eqOn)
        equaliser = eq;
}

} // namespace engine
