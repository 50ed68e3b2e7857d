// CParaEQ2Band and CParaEQ3Band, checked alike through a small factory.
#include "dsp/CParaEQ2Band.h"
#include "dsp/CParaEQ3Band.h"

#include "FilterResponse.h"

#include <gtest/gtest.h>

#include <memory>

using namespace filtertest;

namespace {

struct Band {
    float freqHz;
    float relativeWidth;
    float gainDb;
};

// Builds an equaliser from the first two or three of bands and returns its filter and bands.
struct Equaliser {
    const char* name;
    std::unique_ptr<CFilter> (*make)(const Band* bands, float gainDb);
    std::vector<CMitRegFilter*> (*bands)(CFilter& eq);
    float (*outputFactor)(CFilter& eq);
};

const Equaliser kEqualisers[] = {
    {"TwoBands",
     [](const Band* b, float gainDb) -> std::unique_ptr<CFilter> {
         return std::make_unique<CParaEQ2Band>(b[0].freqHz, b[0].relativeWidth, b[0].gainDb,
                                               b[1].freqHz, b[1].relativeWidth, b[1].gainDb, gainDb);
     },
     [](CFilter& f) {
         auto& eq = static_cast<CParaEQ2Band&>(f);
         return std::vector<CMitRegFilter*>{&eq.band1, &eq.band2};
     },
     [](CFilter& f) { return static_cast<CParaEQ2Band&>(f).outputFactor; }},
    {"ThreeBands",
     [](const Band* b, float gainDb) -> std::unique_ptr<CFilter> {
         return std::make_unique<CParaEQ3Band>(b[0].freqHz, b[0].relativeWidth, b[0].gainDb,
                                               b[1].freqHz, b[1].relativeWidth, b[1].gainDb,
                                               b[2].freqHz, b[2].relativeWidth, b[2].gainDb, gainDb);
     },
     [](CFilter& f) {
         auto& eq = static_cast<CParaEQ3Band&>(f);
         return std::vector<CMitRegFilter*>{&eq.band1, &eq.band2, &eq.band3};
     },
     [](CFilter& f) { return static_cast<CParaEQ3Band&>(f).outputFactor; }},
};

class CParaEQ : public ::testing::TestWithParam<Equaliser> {};

TEST_P(CParaEQ, ScalesEverySampleByTheOutputGainWhenTheBandsAreFlat)
{
    const Band flat[] = {{1000.0f, 0.5f, 0.0f}, {5000.0f, 1.0f, 0.0f}, {200.0f, 0.3f, 0.0f}};
    auto eq = GetParam().make(flat, -6.0f);
    EXPECT_NEAR(GetParam().outputFactor(*eq), 0.501, 5e-4);
    const float factor = static_cast<float>(std::pow(10.0, -6.0 / 20.0));
    const std::vector<float> x = noise(1000);
    std::vector<float> y = x;
    eq->process(y.data(), static_cast<std::int32_t>(y.size()));
    for (std::size_t i = 0; i < x.size(); ++i)
        ASSERT_FLOAT_EQ(y[i], x[i] * factor) << "sample " << i;
}

TEST_P(CParaEQ, TouchesOnlyTheSamplesOfTheBlock)
{
    const Band bands[] = {{1000.0f, 0.5f, 6.0f}, {5000.0f, 1.0f, 0.0f}, {200.0f, 0.3f, 0.0f}};
    auto eq = GetParam().make(bands, -6.0f);
    std::vector<float> x = noise(100);
    const std::vector<float> before = x;
    eq->process(x.data(), 64);
    for (std::size_t i = 0; i < 64; ++i)
        EXPECT_NE(x[i], before[i]) << "sample " << i;
    for (std::size_t i = 64; i < 100; ++i)
        EXPECT_EQ(x[i], before[i]) << "sample " << i;
}

// Narrow bands a decade apart: each centre gets its own band's gain (the others add under
// 0.01 dB there) times the output gain.
TEST_P(CParaEQ, AppliesEachBandsGainAtItsCentre)
{
    const Band bands[] = {{100.0f, 0.1f, 6.0f}, {1000.0f, 0.1f, -9.0f}, {10000.0f, 0.1f, 3.0f}};
    auto eq = GetParam().make(bands, 2.0f);
    const std::vector<float> h = impulseResponse(*eq, 1 << 16);
    for (std::size_t n = 0; n < GetParam().bands(*eq).size(); ++n)
        EXPECT_NEAR(toDb(std::abs(responseAt(h, bands[n].freqHz, 48000.0))),
                    bands[n].gainDb + 2.0, 0.02) << "band " << n + 1;
}

// Linear mode: a cut uses the same allpass as the boost of the same size and width.
TEST_P(CParaEQ, CutsWithTheAllpassOfTheEqualBoost)
{
    const Band cutBands[] = {{1000.0f, 0.5f, -6.0f}, {5000.0f, 1.0f, 0.0f}, {200.0f, 0.3f, 0.0f}};
    const Band boostBands[] = {{1000.0f, 0.5f, 6.0f}, {5000.0f, 1.0f, 0.0f}, {200.0f, 0.3f, 0.0f}};
    auto cut = GetParam().make(cutBands, 0.0f);
    auto boost = GetParam().make(boostBands, 0.0f);
    const CMitRegFilter& cutBand = *GetParam().bands(*cut)[0];
    const CMitRegFilter& boostBand = *GetParam().bands(*boost)[0];
    EXPECT_TRUE(cutBand.linearBandwidth);
    EXPECT_FLOAT_EQ(cutBand.bandwidth, 500.0f);
    EXPECT_EQ(cutBand.b0, boostBand.b0);
    EXPECT_EQ(cutBand.b1, boostBand.b1);
}

// Peak location on a 1 Hz grid around 1000 Hz.
double peakFrequency(CFilter& eq, double rateHz)
{
    const std::vector<float> h = impulseResponse(eq, 1 << 15);
    double best = 0.0, bestMagnitude = 0.0;
    for (double f = 900.0; f <= 1100.0; f += 1.0) {
        const double m = std::abs(responseAt(h, f, rateHz));
        if (m > bestMagnitude) {
            bestMagnitude = m;
            best = f;
        }
    }
    return best;
}

TEST_P(CParaEQ, KeepsItsCentreWhenReRated)
{
    const Band bands[] = {{1000.0f, 0.2f, 9.0f}, {5000.0f, 1.0f, 0.0f}, {200.0f, 0.3f, 0.0f}};
    auto eq = GetParam().make(bands, 0.0f);
    EXPECT_EQ(peakFrequency(*eq, 48000.0), 1000.0);
    eq->setSampleRate(96000.0f);
    for (CMitRegFilter* band : GetParam().bands(*eq)) {
        EXPECT_FLOAT_EQ(band->sampleRate, 96000.0f);
        EXPECT_TRUE(band->linearBandwidth);
    }
    eq->reset();
    EXPECT_EQ(peakFrequency(*eq, 96000.0), 1000.0);
}

TEST_P(CParaEQ, InitDiscardsTheConfiguredBands)
{
    const Band bands[] = {{1000.0f, 0.2f, 9.0f}, {5000.0f, 1.0f, 3.0f}, {200.0f, 0.3f, 3.0f}};
    auto eq = GetParam().make(bands, 0.0f);
    std::vector<float> burst = noise(64);
    eq->process(burst.data(), 64);
    eq->init();
    for (CMitRegFilter* band : GetParam().bands(*eq)) {
        EXPECT_FLOAT_EQ(band->frequency, 2000.0f);
        EXPECT_FLOAT_EQ(band->gain, 0.0f);
        EXPECT_FALSE(band->linearBandwidth);
        EXPECT_EQ(band->s1, 0.0);
    }
}

INSTANTIATE_TEST_SUITE_P(BothEqualisers, CParaEQ, ::testing::ValuesIn(kEqualisers),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
