#include "engine/ParameterMapping.h"

#include "model/Parameters.h"

namespace engine {

Applied applyParameter(Engine& engine, int p, float v)
{
    constexpr auto relaxed = std::memory_order_relaxed;
    Controls& c = engine.controls();
    switch (p) {
    case param::kLfEnabled: c.lfOn.store(param::switchOn(v), relaxed); return Applied::kApplied;
    case param::kLfCutFreq: c.lfCutHz.store(param::lfFrequencyHz(v), relaxed); return Applied::kApplied;
    case param::kLfBoostFreq: c.lfBoostHz.store(param::lfFrequencyHz(v), relaxed); return Applied::kApplied;
    case param::kEqsEnabled: c.eqOn.store(param::switchOn(v), relaxed); return Applied::kApplied;
    case param::kAbMatrixEnabled: c.matrixOn.store(param::switchOn(v), relaxed); return Applied::kApplied;
    case param::kPreMatrixFilterNumber:
        // Only set 0, "None", exists; its filters pass the signal unchanged and need no rate.
        engine.selectPreMatrixSet(param::setNumber(v));
        return Applied::kApplied;
    case param::kPostMatrixFilterNumber:
        return engine.selectPostMatrixSet(param::setNumber(v)) ? Applied::kPostMatrixSelected : Applied::kApplied;
    default:
        break;
    }
    if (p >= param::kFirstOutputGain && p < param::kCount) {
        c.outputGainDb[p - param::kFirstOutputGain].store(param::outputGainDb(v), relaxed);
        return Applied::kApplied;
    }
    if (!param::isCapsuleParameter(p))
        return Applied::kNotEngine;
    const int capsule = (p - param::kFirstCapsule) / param::kCapsuleStride;
    const int setting = (p - param::kFirstCapsule) % param::kCapsuleStride;
    switch (setting) {
    case param::kEqFreq: c.eqFreqHz[capsule].store(param::eqFrequencyHz(v), relaxed); break;
    case param::kEqWidth: c.eqWidthOctaves[capsule].store(param::eqWidthOctaves(v), relaxed); break;
    case param::kEqGain: c.eqGainDb[capsule].store(param::eqGainDb(v), relaxed); break;
    default: c.capOutGainDb[capsule][setting - param::kOut1Gain].store(param::capOutGainDb(v), relaxed); break;
    }
    return Applied::kApplied;
}

} // namespace engine
