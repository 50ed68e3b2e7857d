#include "dsp/CMitRegFilter.h"

#include "dsp/Decibel.h"
#include "dsp/Sections.h"

CMitRegFilter::CMitRegFilter()
{
    setParameters(2000.0f, 1.0f, 0.0f);
}

void CMitRegFilter::init()
{
    s1 = 0.0;
    s2 = 0.0;
    setParameters(2000.0f, 1.0f, 0.0f);
}

void CMitRegFilter::setSampleRate(float rateHz)
{
    sampleRate = rateHz;
    design();
}

void CMitRegFilter::setParameters(float freqHz, float widthOctaves, float gainDb)
{
    frequency = freqHz;
    bandwidth = sections::octavesToBandwidthHz(freqHz, widthOctaves);
    linearBandwidth = false;
    gain = gainDb;
    design();
}

void CMitRegFilter::setLinearBand(float freqHz, float relativeWidth, float gainDb)
{
    frequency = freqHz;
    linearBandwidth = true;
    bandwidth = freqHz * relativeWidth;
    gain = gainDb;
    design();
}

void CMitRegFilter::design()
{
    const sections::PeakingDesign d = sections::designPeaking(frequency, bandwidth, gain, linearBandwidth, sampleRate);
    b0 = d.b0;
    b1 = d.b1;
    a1 = d.a1;
    a2 = d.a2;
    if (d.identity)
        s1 = s2 = 0.0;
}

void CMitRegFilter::process(float* buffer, std::int32_t count)
{
    sections::Peaking<double> s {b0, b1, a1, a2, static_cast<double>(dbToLinear(gain) * 0.5f), s1, s2};
    for (std::int32_t i = 0; i < count; ++i)
        buffer[i] = static_cast<float>(s.step(static_cast<double>(buffer[i])));
    s1 = s.s1;
    s2 = s.s2;
}
