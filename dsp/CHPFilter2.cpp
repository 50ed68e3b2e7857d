#include "dsp/CHPFilter2.h"

#include <cmath>

namespace {
constexpr float kPi = 3.1415927f;   // single-precision pi
}

CHPFilter2::CHPFilter2()
{
    CHPFilter2::init();
}

void CHPFilter2::init()
{
    den = designDen;
    num = designNum;
    denCount = 2;
    numCount = 3;
    design();
    reset();
}

void CHPFilter2::setSampleRate(float rateHz)
{
    sampleRate = rateHz;
    design();
}

void CHPFilter2::design()
{
    // Single precision throughout, except the tangent: evaluated in double and rounded.
    const float d = damping;
    const float k = static_cast<float>(std::tan(static_cast<double>(kPi * frequency / sampleRate)));
    const float kk = k * k;
    const float n = k * d + kk + 1.0f;
    designDen[0] = 2.0f * (kk - 1.0f) / n;
    designDen[1] = (kk - k * d + 1.0f) / (kk + k * d + 1.0f);
    designNum[0] = 1.0f / n;
    designNum[1] = -2.0f * (1.0f / n);
    designNum[2] = 1.0f / n;
}

void CHPFilter2::process(float* buffer, std::int32_t count)
{
    const float gain = inputGain;
    const float b0 = designNum[0], b1 = designNum[1], b2 = designNum[2];
    const float a1 = designDen[0], a2 = designDen[1];
    float px1 = x1, px2 = x2, py1 = y1, py2 = y2;
    for (std::int32_t i = 0; i < count; ++i) {
        const float x = gain * buffer[i];
        // Same terms in the same order as CIIRFilter::process, both sums starting from 0.
        float acc = 0.0f;
        acc += b0 * x;
        acc += b1 * px1;
        acc += b2 * px2;
        float feedback = 0.0f;
        feedback += a1 * py1;
        feedback += a2 * py2;
        const float y = acc - feedback;
        buffer[i] = y;
        px2 = px1;
        px1 = x;
        py2 = py1;
        py1 = y;
    }
    x1 = px1;
    x2 = px2;
    y1 = py1;
    y2 = py2;
}

void CHPFilter2::reset()
{
    x1 = x2 = y1 = y2 = 0.0f;
}
