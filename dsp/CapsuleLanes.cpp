#include "dsp/CapsuleLanes.h"

#include "dsp/CLFFilter.h"
#include "dsp/CMitRegFilter.h"
#include "dsp/Decibel.h"
#include "dsp/Lanes.h"

#if SONQUAD_LANES
namespace lanes {

// One section of the four channels, coefficients and state one channel per lane. step does the
// operations of CLowShelfFilter::process and CHPFilter2::process, in their order, on all lanes
// at once; the explicit 0 + term keeps what the scalar sums starting from 0 do to a -0.
struct ShelfSection {
    __m128 gain, b0, b1, a1;                      // input gain and coefficients
    __m128 x1, y1;                                // past input (gain-scaled) and output

    explicit ShelfSection(CLowShelfFilter* const (&s)[4])
        : gain(_mm_setr_ps(s[0]->inputGain, s[1]->inputGain, s[2]->inputGain, s[3]->inputGain)),
          b0(_mm_setr_ps(s[0]->designNum[0], s[1]->designNum[0], s[2]->designNum[0], s[3]->designNum[0])),
          b1(_mm_setr_ps(s[0]->designNum[1], s[1]->designNum[1], s[2]->designNum[1], s[3]->designNum[1])),
          a1(_mm_setr_ps(s[0]->designDen[0], s[1]->designDen[0], s[2]->designDen[0], s[3]->designDen[0])),
          x1(_mm_setr_ps(s[0]->x1, s[1]->x1, s[2]->x1, s[3]->x1)),
          y1(_mm_setr_ps(s[0]->y1, s[1]->y1, s[2]->y1, s[3]->y1))
    {
    }

    __m128 step(__m128 in)
    {
        const __m128 zero = _mm_setzero_ps();
        const __m128 x = _mm_mul_ps(gain, in);
        __m128 acc = _mm_add_ps(zero, _mm_mul_ps(b0, x));
        acc = _mm_add_ps(acc, _mm_mul_ps(b1, x1));
        const __m128 feedback = _mm_add_ps(zero, _mm_mul_ps(a1, y1));
        const __m128 y = _mm_sub_ps(acc, feedback);
        x1 = x;
        y1 = y;
        return y;
    }

    void save(CLowShelfFilter* const (&s)[4]) const
    {
        alignas(16) float px1[4], py1[4];
        _mm_store_ps(px1, x1);
        _mm_store_ps(py1, y1);
        for (int k = 0; k < 4; ++k) {
            s[k]->x1 = px1[k];
            s[k]->y1 = py1[k];
        }
    }
};

struct HighPassSection {
    __m128 gain, b0, b1, b2, a1, a2;              // input gain and coefficients
    __m128 x1, x2, y1, y2;                        // past inputs (gain-scaled) and outputs

    explicit HighPassSection(CHPFilter2* const (&s)[4])
        : gain(_mm_setr_ps(s[0]->inputGain, s[1]->inputGain, s[2]->inputGain, s[3]->inputGain)),
          b0(_mm_setr_ps(s[0]->designNum[0], s[1]->designNum[0], s[2]->designNum[0], s[3]->designNum[0])),
          b1(_mm_setr_ps(s[0]->designNum[1], s[1]->designNum[1], s[2]->designNum[1], s[3]->designNum[1])),
          b2(_mm_setr_ps(s[0]->designNum[2], s[1]->designNum[2], s[2]->designNum[2], s[3]->designNum[2])),
          a1(_mm_setr_ps(s[0]->designDen[0], s[1]->designDen[0], s[2]->designDen[0], s[3]->designDen[0])),
          a2(_mm_setr_ps(s[0]->designDen[1], s[1]->designDen[1], s[2]->designDen[1], s[3]->designDen[1])),
          x1(_mm_setr_ps(s[0]->x1, s[1]->x1, s[2]->x1, s[3]->x1)),
          x2(_mm_setr_ps(s[0]->x2, s[1]->x2, s[2]->x2, s[3]->x2)),
          y1(_mm_setr_ps(s[0]->y1, s[1]->y1, s[2]->y1, s[3]->y1)),
          y2(_mm_setr_ps(s[0]->y2, s[1]->y2, s[2]->y2, s[3]->y2))
    {
    }

    __m128 step(__m128 in)
    {
        const __m128 zero = _mm_setzero_ps();
        const __m128 x = _mm_mul_ps(gain, in);
        __m128 acc = _mm_add_ps(zero, _mm_mul_ps(b0, x));
        acc = _mm_add_ps(acc, _mm_mul_ps(b1, x1));
        acc = _mm_add_ps(acc, _mm_mul_ps(b2, x2));
        __m128 feedback = _mm_add_ps(zero, _mm_mul_ps(a1, y1));
        feedback = _mm_add_ps(feedback, _mm_mul_ps(a2, y2));
        const __m128 y = _mm_sub_ps(acc, feedback);
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }

    void save(CHPFilter2* const (&s)[4]) const
    {
        alignas(16) float px1[4], px2[4], py1[4], py2[4];
        _mm_store_ps(px1, x1);
        _mm_store_ps(px2, x2);
        _mm_store_ps(py1, y1);
        _mm_store_ps(py2, y2);
        for (int k = 0; k < 4; ++k) {
            s[k]->x1 = px1[k];
            s[k]->x2 = px2[k];
            s[k]->y1 = py1[k];
            s[k]->y2 = py2[k];
        }
    }
};

// Two channels' allpass sections, one per lane of a vector of two doubles; step does the
// operations of CMitRegFilter::process, in its order, on both lanes.
struct AllpassPair {
    __m128d b0, b1, a1, a2, h;                    // coefficients, half the centre gain
    __m128d s1, s2;                               // allpass state (TDF-II)

    AllpassPair(const CMitRegFilter& f, const CMitRegFilter& g)
        : b0(_mm_setr_pd(f.b0, g.b0)), b1(_mm_setr_pd(f.b1, g.b1)), a1(_mm_setr_pd(f.a1, g.a1)),
          a2(_mm_setr_pd(f.a2, g.a2)),
          h(_mm_setr_pd(static_cast<double>(dbToLinear(f.gain) * 0.5f), static_cast<double>(dbToLinear(g.gain) * 0.5f))),
          s1(_mm_setr_pd(f.s1, g.s1)), s2(_mm_setr_pd(f.s2, g.s2))
    {
    }

    __m128d step(__m128d x)
    {
        const __m128d y = _mm_add_pd(_mm_mul_pd(b0, x), s1);
        s1 = _mm_add_pd(_mm_sub_pd(_mm_mul_pd(b1, x), _mm_mul_pd(a1, y)), s2);
        s2 = _mm_sub_pd(x, _mm_mul_pd(a2, y));
        return _mm_add_pd(_mm_mul_pd(_mm_sub_pd(x, y), h), _mm_mul_pd(_mm_add_pd(y, x), _mm_set1_pd(0.5)));
    }

    void save(CMitRegFilter& f, CMitRegFilter& g) const
    {
        alignas(16) double d1[2], d2[2];
        _mm_store_pd(d1, s1);
        _mm_store_pd(d2, s2);
        f.s1 = d1[0];
        g.s1 = d1[1];
        f.s2 = d2[0];
        g.s2 = d2[1];
    }
};

// The equaliser of the four channels: channels 0 and 1 in one pair, 2 and 3 in the other; each
// sample widened to double, through the allpass, rounded back to float, as the scalar loop does.
struct EqualiserSection {
    AllpassPair low, high;                        // channels 0 and 1, channels 2 and 3

    explicit EqualiserSection(CMitRegFilter* const (&f)[4]) : low(*f[0], *f[1]), high(*f[2], *f[3]) {}

    __m128 step(__m128 x)
    {
        const __m128 y01 = _mm_cvtpd_ps(low.step(_mm_cvtps_pd(x)));
        const __m128 y23 = _mm_cvtpd_ps(high.step(_mm_cvtps_pd(_mm_movehl_ps(x, x))));
        return _mm_movelh_ps(y01, y23);
    }

    void save(CMitRegFilter* const (&f)[4]) const
    {
        low.save(*f[0], *f[1]);
        high.save(*f[2], *f[3]);
    }
};

// Every sample of the four channels through the sections in the order given.
template <class... Section>
void runSections(float* const channels[4], std::int32_t count, Section&... sections)
{
    auto run = [&](__m128 x) {
        ((x = sections.step(x)), ...);
        return x;
    };
    std::int32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        Block4 b = loadSteps(channels, i);
        b.r0 = run(b.r0);
        b.r1 = run(b.r1);
        b.r2 = run(b.r2);
        b.r3 = run(b.r3);
        storeSteps(channels, i, b);
    }
    for (; i < count; ++i)
        storeStep(channels, i, run(loadStep(channels, i)));
}

} // namespace lanes
#endif

void processCapsuleStages(CLFFilter* const lf[4], CMitRegFilter* const eq[4], float* const channels[4],
                          std::int32_t count)
{
    if (count <= 0 || (!lf && !eq))
        return;
#if SONQUAD_LANES
    if (!lf) {
        CMitRegFilter* const equalisers[4] = {eq[0], eq[1], eq[2], eq[3]};
        lanes::EqualiserSection equaliser(equalisers);
        lanes::runSections(channels, count, equaliser);
        equaliser.save(equalisers);
        return;
    }
    CLowShelfFilter* const shelves[4] = {&lf[0]->shelf, &lf[1]->shelf, &lf[2]->shelf, &lf[3]->shelf};
    CHPFilter2* const firsts[4] = {&lf[0]->highPass1, &lf[1]->highPass1, &lf[2]->highPass1, &lf[3]->highPass1};
    CHPFilter2* const seconds[4] = {&lf[0]->highPass2, &lf[1]->highPass2, &lf[2]->highPass2, &lf[3]->highPass2};
    lanes::ShelfSection shelf(shelves);
    lanes::HighPassSection high1(firsts);
    lanes::HighPassSection high2(seconds);
    // Each section's recursion gives the same samples whether the next section runs after every
    // sample or after the whole block.
    if (eq) {
        CMitRegFilter* const equalisers[4] = {eq[0], eq[1], eq[2], eq[3]};
        lanes::EqualiserSection equaliser(equalisers);
        lanes::runSections(channels, count, shelf, high1, high2, equaliser);
        equaliser.save(equalisers);
    } else {
        lanes::runSections(channels, count, shelf, high1, high2);
    }
    shelf.save(shelves);
    high1.save(firsts);
    high2.save(seconds);
#else
    for (int k = 0; k < 4; ++k) {
        if (lf)
            lf[k]->process(channels[k], count);
        if (eq)
            eq[k]->process(channels[k], count);
    }
#endif
}
