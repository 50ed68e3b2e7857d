#include "dsp/CLowShelfFilter.h"

#include "dsp/Sections.h"

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
    const sections::ShelfDesign d = sections::designLowShelf(frequency, zeroFrequency, sampleRate);
    designNum[0] = d.b0;
    designNum[1] = d.b1;
    designDen[0] = d.a1;
}

void CLowShelfFilter::process(float* buffer, std::int32_t count)
{
    sections::LowShelf<float> s {inputGain, designNum[0], designNum[1], designDen[0], x1, y1};
    for (std::int32_t i = 0; i < count; ++i)
        buffer[i] = s.step(buffer[i]);
    x1 = s.x1;
    y1 = s.y1;
}

void CLowShelfFilter::reset()
{
    x1 = y1 = 0.0f;
}
