#include "dsp/CLowShelfFilter.h"

#include <cmath>

namespace {
constexpr float kPi = 3.1415927f;   // single-precision pi

// tan(pi*f/fs): the argument in single precision, the tangent in double, rounded to float.
float prewarped(float freqHz, float rateHz)
{
    return static_cast<float>(std::tan(static_cast<double>(kPi * freqHz / rateHz)));
}
} // namespace

CLowShelfFilter::CLowShelfFilter()
{
    CLowShelfFilter::init();
}

void CLowShelfFilter::init()
{
    den = designDen;
    num = designNum;
    denCount = 1;
    numCount = 2;
    design();
    reset();
}

void CLowShelfFilter::setSampleRate(float rateHz)
{
    sampleRate = rateHz;
    design();
}

void CLowShelfFilter::design()
{
    const float t1 = prewarped(frequency, sampleRate);
    const float t2 = prewarped(zeroFrequency, sampleRate);
    designNum[0] = (t2 + 1.0f) / (t1 + 1.0f);
    designNum[1] = (t2 - 1.0f) / (t1 + 1.0f);
    designDen[0] = (t1 - 1.0f) / (t1 + 1.0f);
}

void CLowShelfFilter::process(float* buffer, std::int32_t count)
{
    const float gain = inputGain;
    const float b0 = designNum[0], b1 = designNum[1];
    const float a1 = designDen[0];
    float px1 = x1, py1 = y1;
    for (std::int32_t i = 0; i < count; ++i) {
        const float x = gain * buffer[i];
        // Same terms in the same order as CIIRFilter::process, both sums starting from 0.
        float acc = 0.0f;
        acc += b0 * x;
        acc += b1 * px1;
        float feedback = 0.0f;
        feedback += a1 * py1;
        const float y = acc - feedback;
        buffer[i] = y;
        px1 = x;
        py1 = y;
    }
    x1 = px1;
    y1 = py1;
}

void CLowShelfFilter::reset()
{
    x1 = y1 = 0.0f;
}
