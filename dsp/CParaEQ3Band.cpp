#include "dsp/CParaEQ3Band.h"

#include "dsp/Decibel.h"

CParaEQ3Band::CParaEQ3Band(float f1, float w1, float g1, float f2, float w2, float g2, float f3,
                           float w3, float g3, float gainDb)
{
    band1.init();
    band2.init();
    band3.init();
    band1.setLinearBand(f1, w1, g1);
    band2.setLinearBand(f2, w2, g2);
    band3.setLinearBand(f3, w3, g3);
    outputFactor = dbToLinear(gainDb);
}

void CParaEQ3Band::init()
{
    band1.init();
    band2.init();
    band3.init();
}

void CParaEQ3Band::setSampleRate(float rateHz)
{
    sampleRate = rateHz;
    band1.setSampleRate(rateHz);
    band2.setSampleRate(rateHz);
    band3.setSampleRate(rateHz);
}

void CParaEQ3Band::process(float* buffer, std::int32_t count)
{
    band1.process(buffer, count);
    band2.process(buffer, count);
    band3.process(buffer, count);
    const float factor = outputFactor;
    for (std::int32_t i = 0; i < count; ++i)
        buffer[i] *= factor;
}

void CParaEQ3Band::reset()
{
    band1.reset();
    band2.reset();
    band3.reset();
}
