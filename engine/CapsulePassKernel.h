// The first pass as a template over its stages, compiled once per instruction set
// (CapsulePassBaseline.cpp, CapsulePassAvx2.cpp). Everything here lives in the lanes' namespace
// of the instruction set the including file is compiled for.
#pragma once

#include "dsp/Lanes.h"
#include "dsp/Sections.h"
#include "engine/CapsulePass.h"

namespace engine {
inline namespace SONQUAD_LANES_SET {

using lanes::F32x4;
using lanes::F64x4;

template <bool kLf, bool kEq, bool kMatrix, bool kMeter>
void runPass(const PassArgs& p)
{
    const CapsuleCoefficients& c = *p.coefficients;
    CapsuleState& st = *p.state;
    // The state in registers through the piece (dsp/Sections.h).
    sections::LfChain<F32x4> lf;
    sections::Peaking<F64x4> eq;
    if constexpr (kLf) {
        for (int j = 0; j < 3; ++j)
            lf.shelf[j] = F32x4(c.shelf[j]);
        for (int j = 0; j < 2; ++j)
            for (int i = 0; i < 5; ++i)
                lf.highPass[j][i] = F32x4(c.highPass[j][i]);
        lf.x1 = F32x4::load(st.lfX1);
        for (int j = 0; j < 3; ++j) {
            lf.y1[j] = F32x4::load(st.lfY1[j]);
            lf.y2[j] = F32x4::load(st.lfY2[j]);
        }
    }
    if constexpr (kEq) {
        eq.b0 = F64x4::load(c.eq[0]);
        eq.b1 = F64x4::load(c.eq[1]);
        eq.a1 = F64x4::load(c.eq[2]);
        eq.a2 = F64x4::load(c.eq[3]);
        eq.h = F64x4::load(c.eq[4]);
        eq.s1 = F64x4::load(st.eqS1);
        eq.s2 = F64x4::load(st.eqS2);
    }
    const abmix::Factors<F32x4, F64x4> lanesFactors(*p.gains);
    const abmix::Factors<float, double> sampleFactors(*p.gains);
    F32x4 sum;

    // One time step of the four capsules.
    auto capsules = [&](F32x4 x) {
        if constexpr (kLf)
            x = lf.step(x);
        if constexpr (kEq)
            x = lanes::narrow(eq.step(lanes::widen(x)));
        return x;
    };

    const std::int32_t n = p.count;
    std::int32_t i = 0;
#if SONQUAD_LANES_AVX
    // With AVX the matrix takes eight samples at once: two groups of four time steps through the
    // capsule stages, one after the other, then their rows side by side.
    if constexpr (kMatrix) {
        const abmix::Factors<lanes::F32x8, lanes::F64x8> wideFactors(*p.gains);
        for (; i + 8 <= n; i += 8) {
            lanes::Steps4 rows[2] = {lanes::loadRows(p.in, i), lanes::loadRows(p.in, i + 4)};
            if constexpr (kLf || kEq)
                for (lanes::Steps4& group : rows) {
                    lanes::transposeInPlace(group);
                    for (F32x4& x : group.s)
                        x = capsules(x);
                    lanes::transposeInPlace(group);
                }
            lanes::F32x8 wide[4];
            for (int k = 0; k < 4; ++k)
                wide[k] = lanes::F32x8::join(rows[0].s[k], rows[1].s[k]);
            abmix::mix(wide[0], wide[1], wide[2], wide[3], wideFactors);
            for (int k = 0; k < 4; ++k) {
                rows[0].s[k] = wide[k].first();
                rows[1].s[k] = wide[k].second();
            }
            for (int g = 0; g < 2; ++g) {
                if constexpr (kMeter) {
                    lanes::Steps4 steps = rows[g];
                    lanes::transposeInPlace(steps);
                    for (const F32x4& x : steps.s)
                        sum = sum + x * x;
                }
                lanes::storeRows(p.out, i + 4 * g, rows[g]);
            }
        }
    }
#endif
    for (; i + 4 <= n; i += 4) {
        // All four channels' samples are read before any is written: an output may be any input.
        lanes::Steps4 rows = lanes::loadRows(p.in, i);
        if constexpr (kLf || kEq) {
            lanes::transposeInPlace(rows);
            for (F32x4& x : rows.s)
                x = capsules(x);
            lanes::transposeInPlace(rows);
        }
        if constexpr (kMatrix)
            abmix::mix(rows.s[0], rows.s[1], rows.s[2], rows.s[3], lanesFactors);
        if constexpr (kMeter) {
            lanes::Steps4 steps = rows;
            lanes::transposeInPlace(steps);
            for (const F32x4& x : steps.s)
                sum = sum + x * x;
        }
        lanes::storeRows(p.out, i, rows);
    }
    for (; i < n; ++i) {
        F32x4 x = capsules(lanes::loadStep(p.in, i));
        if constexpr (kMatrix) {
            float v[4];
            x.store(v);
            abmix::mix(v[0], v[1], v[2], v[3], sampleFactors);
            x = F32x4::of(v[0], v[1], v[2], v[3]);
        }
        if constexpr (kMeter)
            sum = sum + x * x;
        lanes::storeStep(p.out, i, x);
    }

    if constexpr (kLf) {
        lf.x1.storeTo(st.lfX1);
        for (int j = 0; j < 3; ++j) {
            lf.y1[j].storeTo(st.lfY1[j]);
            lf.y2[j].storeTo(st.lfY2[j]);
        }
    }
    if constexpr (kEq) {
        eq.s1.store(st.eqS1);
        eq.s2.store(st.eqS2);
    }
    if constexpr (kMeter)
        sum.storeTo(p.meterSums);
}

// The stages as template arguments: one loop per combination, without a test per sample.
inline void runAnyPass(const PassArgs& p)
{
    const int which = (p.lf ? 8 : 0) | (p.eq ? 4 : 0) | (p.matrix ? 2 : 0) | (p.meterSums ? 1 : 0);
    switch (which) {
    case 0: return runPass<false, false, false, false>(p);
    case 1: return runPass<false, false, false, true>(p);
    case 2: return runPass<false, false, true, false>(p);
    case 3: return runPass<false, false, true, true>(p);
    case 4: return runPass<false, true, false, false>(p);
    case 5: return runPass<false, true, false, true>(p);
    case 6: return runPass<false, true, true, false>(p);
    case 7: return runPass<false, true, true, true>(p);
    case 8: return runPass<true, false, false, false>(p);
    case 9: return runPass<true, false, false, true>(p);
    case 10: return runPass<true, false, true, false>(p);
    case 11: return runPass<true, false, true, true>(p);
    case 12: return runPass<true, true, false, false>(p);
    case 13: return runPass<true, true, false, true>(p);
    case 14: return runPass<true, true, true, false>(p);
    default: return runPass<true, true, true, true>(p);
    }
}

} // namespace SONQUAD_LANES_SET
} // namespace engine
