#include "dsp/CHPFilter2.h"

#include "dsp/Sections.h"

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
    const sections::HighPassDesign d = sections::designHighPass(frequency, damping, sampleRate);
    designDen[0] = d.a1;
    designDen[1] = d.a2;
    designNum[0] = d.b0;
    designNum[1] = d.b1;
    designNum[2] = d.b2;
}

void CHPFilter2::process(float* buffer, std::int32_t count)
{
    sections::HighPass<float> s {inputGain, designNum[0], designNum[1], designNum[2], designDen[0], designDen[1],
                                 x1,        x2,           y1,           y2};
    for (std::int32_t i = 0; i < count; ++i)
        buffer[i] = s.step(buffer[i]);
    x1 = s.x1;
    x2 = s.x2;
    y1 = s.y1;
    y2 = s.y2;
}

void CHPFilter2::reset()
{
    x1 = x2 = y1 = y2 = 0.0f;
}
