#include "dsp/CLFFilter.h"

CLFFilter::CLFFilter(float cutFreqHz, float boostFreqHz)
    : cutFreq(cutFreqHz), boostFreq(boostFreqHz)
{
    CLFFilter::init();
}

void CLFFilter::init()
{
    shelf.frequency = cutFreq;
    shelf.zeroFrequency = boostFreq;
    shelf.design();
    highPass1.frequency = cutFreq;
    highPass1.damping = kLowDamping;
    highPass1.design();
    highPass2.frequency = cutFreq;
    highPass2.damping = kHighDamping;
    highPass2.design();
}

float CLFFilter::dampingForCut(float cutFreqHz)
{
    if (cutFreqHz <= 25.0f)
        return kLowDamping;
    if (cutFreqHz <= 50.0f)
        return kLowDamping + 0.509f * (cutFreqHz - 25.0f) / 25.0f;
    return kHighDamping;
}

void CLFFilter::update()
{
    shelf.frequency = cutFreq;
    shelf.zeroFrequency = boostFreq;
    shelf.design();
    highPass1.frequency = cutFreq;
    highPass1.damping = dampingForCut(cutFreq);
    highPass1.design();
    // highPass2 keeps the damping that init gave it.
    highPass2.frequency = cutFreq;
    highPass2.design();
}

void CLFFilter::setSampleRate(float rateHz)
{
    sampleRate = rateHz;
    shelf.setSampleRate(rateHz);
    highPass1.setSampleRate(rateHz);
    highPass2.setSampleRate(rateHz);
    update();
}

void CLFFilter::process(float* buffer, std::int32_t count)
{
    // One pass per section; each keeps its state in registers for the whole block.
    shelf.process(buffer, count);
    highPass1.process(buffer, count);
    highPass2.process(buffer, count);
}

void CLFFilter::reset()
{
    shelf.reset();
    highPass1.reset();
    highPass2.reset();
}
