#include "dsp/CParaEQ2Band.h"

#include "dsp/Decibel.h"

CParaEQ2Band::CParaEQ2Band(float f1, float w1, float g1, float f2, float w2, float g2,
                           float gainDb)
{
    band1.init();
    band2.init();
    band1.setLinearBand(f1, w1, g1);
    band2.setLinearBand(f2, w2, g2);
    outputFactor = dbToLinear(gainDb);
}

void CParaEQ2Band::init()
{
    band1.init();
    band2.init();
}

void CParaEQ2Band::setSampleRate(float rateHz)
{
    sampleRate = rateHz;
    band1.setSampleRate(rateHz);
    band2.setSampleRate(rateHz);
}

void CParaEQ2Band::process(float* buffer, std::int32_t count)
{
    band1.process(buffer, count);
    band2.process(buffer, count);
    const float factor = outputFactor;
    for (std::int32_t i = 0; i < count; ++i)
        buffer[i] *= factor;
}

void CParaEQ2Band::reset()
{
    band1.reset();
    band2.reset();
}
