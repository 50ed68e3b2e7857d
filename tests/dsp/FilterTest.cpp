// The filters of the capsule stages and the text calibrations, measured through process: the LF
// filter and the parametric equalisers against their analogue prototypes and gains, the peaking
// section's band against its bandwidth rules, the table-driven IIR filter against direct form I.
#include "dsp/CFilterCoefficients.h"
#include "dsp/CIIRFilter.h"
#include "dsp/CLFFilter.h"
#include "dsp/CMitRegFilter.h"
#include "dsp/CParaEQ2Band.h"
#include "dsp/CParaEQ3Band.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

using namespace testsupport;
using Complex = std::complex<double>;

std::vector<float> signal(std::size_t n, unsigned seed = 12345) { return noise(n, seed, 1.0f); }


struct ResponseCase {
    std::string name;
    double rate;
    std::function<std::unique_ptr<CFilter>()> make;
    std::function<Complex(double freqHz)> expected;
    std::vector<double> freqs;
    std::function<double(double freqHz)> tolerance;   // 8 rounding units of the sections
    bool equaliser = false;   // magnitudes only; reset leaves the allpass state
};
void PrintTo(const ResponseCase& c, std::ostream* os) { *os << c.name; }

// The LF filter, and with it the shelf and high-pass sections: a shelf (pole at the cut, zero at the
// boost), a high-pass whose damping follows the cut (1.109 to 25 Hz, linear to 1.618 at 50 Hz;
// worked out by hand here) and a high-pass of damping 1.618, all at the cut. As built, before its
// first update, it runs at 48 kHz with the first high-pass at 1.109 whatever the cut; update()
// follows new frequencies at the rate set before.
enum class Made { Rated, AsBuilt, UpdatedFrom20Hz };
ResponseCase lfCase(double cut, double boost, double rate, double damping, Made made = Made::Rated)
{
    const char* how[] = {"At", "AsBuiltAt", "UpdatedAt"};
    return {"LfCut" + std::to_string(int(cut * 10)) + "Boost" + std::to_string(int(boost)) + how[int(made)] + std::to_string(int(rate)),
            rate,
            [=] {
                auto f = std::make_unique<CLFFilter>(made == Made::UpdatedFrom20Hz ? 20.0f : float(cut), made == Made::UpdatedFrom20Hz ? 20.0f : float(boost));
                if (made != Made::AsBuilt)
                    f->setSampleRate(static_cast<float>(rate));
                if (made == Made::UpdatedFrom20Hz) {
                    f->cutFreq = static_cast<float>(cut);
                    f->boostFreq = static_cast<float>(boost);
                    f->update();
                }
                return f;
            },
            [=](double hz) {
                const Complex s = warpedS(hz, rate);
                const double wc = warped(cut, rate);
                return lowShelf(s, wc, warped(boost, rate)) * highPass2(s, wc, damping) * highPass2(s, wc, 1.618);
            },
            {0.5 * cut, 0.8 * cut, cut, 1.3 * cut, 2.0 * cut, 4.0 * cut, 10.0 * cut, 100.0 * cut},
            [=](double hz) { return lfRounding(hz, rate, cut, boost, damping); }};
}

// Narrow bands a decade apart: each centre gets its band's gain (the others add under 0.01 dB)
// times the output gain, also after a re-rating to 96 kHz.
ResponseCase paraCase(int bands, double rate)
{
    return {"ParaEq" + std::to_string(bands) + "BandsAt" + std::to_string(int(rate)), rate,
            [=] {
                std::unique_ptr<CFilter> f(bands == 2 ? static_cast<CFilter*>(new CParaEQ2Band(100, 0.1f, 6, 1000, 0.1f, -9, 2))
                                                      : new CParaEQ3Band(100, 0.1f, 6, 1000, 0.1f, -9, 10000, 0.1f, 3, 2));
                f->setSampleRate(static_cast<float>(rate));
                return f;
            },
            [=](double hz) { return Complex(dbToGain(2.0 + (hz == 100.0 ? 6.0 : hz == 1000.0 ? -9.0 : bands == 3 ? 3.0 : 0.0))); },
            {100.0, 1000.0, 10000.0}, [](double) { return 5e-3; }, true};
}

std::vector<ResponseCase> responseCases()
{
    return {lfCase(100, 50, 48000, 1.109, Made::AsBuilt), lfCase(80, 40, 44100, 1.618, Made::UpdatedFrom20Hz), lfCase(20, 20, 48000, 1.109), lfCase(25, 20, 44100, 1.109), lfCase(30, 20, 48000, 1.2108),
            lfCase(37.5, 25, 48000, 1.3635), lfCase(45, 60, 96000, 1.5162), lfCase(70.7, 30, 48000, 1.618),
            lfCase(250, 100, 192000, 1.618), paraCase(2, 48000), paraCase(3, 48000), paraCase(3, 96000)};
}

class FilterResponse : public ::testing::TestWithParam<ResponseCase> {};

TEST_P(FilterResponse, MatchesItsPrototypeAndIsTheSameForAnyBlockSplitAndAfterReset)
{
    const ResponseCase& c = GetParam();
    auto filter = c.make();
    const std::vector<float> h = impulseResponse(*filter, 1 << 16, 1000);
    for (double f : c.freqs) {
        if (f > 0.45 * c.rate)
            continue;
        const Complex expected = c.expected(f), measured = responseAt(h, f, c.rate);
        EXPECT_LT(c.equaliser ? std::abs(std::abs(measured) - std::abs(expected)) : std::abs(measured - expected), c.tolerance(f)) << "at " << f << " Hz";
    }
    std::vector<float> x = signal(4096 + 513 + 32 + 7 + 1, 42);
    filter->process(x.data(), 777);   // dirty state, then reset
    filter->reset();
    if (!c.equaliser) {
        EXPECT_EQ(impulseResponse(*filter, 2048), std::vector<float>(h.begin(), h.begin() + 2048)) << "after reset";
    }
    auto whole = c.make(), split = c.make();
    std::vector<float> expected = x;
    whole->process(expected.data(), static_cast<std::int32_t>(expected.size()));
    processInBlocks(*split, x, {1, 7, 32, 513, 4096});
    EXPECT_EQ(x, expected) << "in uneven blocks";
}

INSTANTIATE_TEST_SUITE_P(Filters, FilterResponse, ::testing::ValuesIn(responseCases()),
                         [](const auto& info) { return info.param.name; });

// The allpass band edges are where |H|^2 = (1 + G^2) / 2; their distance in radians per sample is
// the allpass bandwidth. Found by bisection on the measured response.
double measuredBandRadians(const std::vector<float>& h, double centre, double gainDb, double rate)
{
    const double g = dbToGain(gainDb), target = (1.0 + g * g) / 2.0;
    auto inside = [&](double f) { return (std::norm(responseAt(h, f, rate)) > target) == (g > 1.0); };
    auto edge = [&](double in, double out) {
        for (int i = 0; i < 40; ++i)
            (inside(0.5 * (in + out)) ? in : out) = 0.5 * (in + out);
        return in;
    };
    return 2.0 * kPi * (edge(centre, 0.5 * rate - 1e-3) - edge(centre, 1e-3)) / rate;
}

struct BandCase {
    const char* name;
    bool linear;       // setLinearBand (width relative to the centre) or setParameters (octaves)
    double centre, width, gainDb, rate;
    double expectedRadians;
};
void PrintTo(const BandCase& c, std::ostream* os) { *os << c.name; }

// Exact mode: bandwidth (2^(w/2) - 2^(-w/2)) fc, widened by 1/G for a cut, capped at 0.75 (pi - w0).
// Linear mode: bandwidth fc w, no widening, no cap; its allpass bandwidth is 2 atan(wb / 2).
double octaves(double fc, double w, double rate) { return 2.0 * kPi * (std::exp2(w / 2) - std::exp2(-w / 2)) * fc / rate; }
const BandCase kBands[] = {
    {"ExactOneOctaveBoost", false, 1000, 0.5, 6, 48000, octaves(1000, 0.5, 48000)},
    {"ExactCutIsWiderByOneOverG", false, 1000, 0.5, -6, 48000, octaves(1000, 0.5, 48000) * dbToGain(6)},
    {"ExactTwoOctavesAt44k", false, 300, 2.0, 9, 44100, octaves(300, 2.0, 44100)},
    {"ExactCappedBelowNyquist", false, 15000, 3.0, 6, 48000, 0.75 * (kPi - 2 * kPi * 15000 / 48000)},
    {"LinearBoost", true, 15000, 4000.0 / 15000, 6, 48000, 2 * std::atan(kPi * 4000 / 48000)},
    {"LinearCutSameAsBoost", true, 15000, 4000.0 / 15000, -6, 48000, 2 * std::atan(kPi * 4000 / 48000)},
    {"LinearNotCapped", true, 15000, 2.0, 6, 48000, 2 * std::atan(kPi * 30000 / 48000)},
};

class PeakingBand : public ::testing::TestWithParam<BandCase> {};

TEST_P(PeakingBand, HasTheGainAtTheCentreUnityAtTheEdgesAndTheBandOfItsMode)
{
    const BandCase& c = GetParam();
    CMitRegFilter filter;
    filter.setSampleRate(static_cast<float>(c.rate));
    if (c.linear)
        filter.setLinearBand(static_cast<float>(c.centre), static_cast<float>(c.width), static_cast<float>(c.gainDb));
    else
        filter.setParameters(static_cast<float>(c.centre), static_cast<float>(c.width), static_cast<float>(c.gainDb));
    const std::vector<float> h = impulseResponse(filter, 1 << 15);
    EXPECT_NEAR(std::abs(responseAt(h, c.centre, c.rate)), dbToGain(c.gainDb), 1e-5);
    EXPECT_NEAR(std::abs(responseAt(h, 0.0, c.rate)), 1.0, 1e-5);
    EXPECT_NEAR(std::abs(responseAt(h, 0.5 * c.rate, c.rate)), 1.0, 1e-5);
    EXPECT_NEAR(measuredBandRadians(h, c.centre, c.gainDb, c.rate), c.expectedRadians, 2e-3 * c.expectedRadians);
}

INSTANTIATE_TEST_SUITE_P(Modes, PeakingBand, ::testing::ValuesIn(kBands), [](const auto& info) { return info.param.name; });

// Where the section passes its input: 0 dB, a centre at or above Nyquist (an unstable allpass
// otherwise), a width narrowed to nothing while a boost rings.
TEST(PeakingSection, PassesTheSignalWhereItHasNoBandToShape)
{
    struct Case {
        float centre, octaves, gainDb, rate;
        bool linear;
    };
    for (const Case& c : {Case {20, 0.1f, 0, 44100, false}, Case {632.5f, 5, 0, 44100, false}, Case {20000, 1, 6, 32000, false},
                          Case {16000, 1, 6, 32000, false}, Case {16000, 0.5f, 6, 32000, true}, Case {20000, 1, 6, 22050, false},
                          Case {1000, 0, 12, 48000, false}}) {
        SCOPED_TRACE(::testing::Message() << c.centre << " Hz, " << c.octaves << " octaves, " << c.gainDb << " dB at " << c.rate);
        CMitRegFilter filter;
        filter.setSampleRate(c.rate);
        filter.setParameters(c.centre, 1.0f, c.gainDb);   // ringing first, where the rate holds the band
        std::vector<float> y = signal(500);
        filter.process(y.data(), 500);
        if (c.linear)
            filter.setLinearBand(c.centre, c.octaves, c.gainDb);
        else
            filter.setParameters(c.centre, c.octaves, c.gainDb);
        const std::vector<float> x = signal(20000, 3);
        y = x;
        filter.process(y.data(), 20000);
        for (std::size_t i = 0; i < y.size(); ++i)
            ASSERT_FLOAT_EQ(y[i], x[i]) << "sample " << i;
    }
}


// y[n] = sum b[k] g x[n-k] - sum a[k] y[n-1-k], newest term first, in single precision.
std::vector<float> directFormOne(const std::vector<float>& in, const std::vector<float>& b, const std::vector<float>& a, float g)
{
    std::vector<float> x(in.size()), y(in.size());
    for (std::size_t n = 0; n < in.size(); ++n) {
        x[n] = g * in[n];
        float forward = 0.0f, back = 0.0f;
        for (std::size_t k = 0; k < b.size() && k <= n; ++k)
            forward += b[k] * x[n - k];
        for (std::size_t k = 1; k <= a.size() && k <= n; ++k)
            back += a[k - 1] * y[n - k];
        y[n] = forward - back;
    }
    return y;
}

std::vector<float> coefficients(std::size_t count, float scale, unsigned seed)
{
    return noise(count, seed, scale / static_cast<float>(count));
}

class IirTable : public ::testing::TestWithParam<std::pair<int, int>> {};

// Many wraps of the 1024-entry history, uneven calls (one past 32767 samples), tables cut to 1024.
TEST_P(IirTable, IsDirectFormOneAcrossHistoryWrapsAndBlockSplits)
{
    const auto [numCount, denCount] = GetParam();
    const std::vector<float> b = coefficients(static_cast<std::size_t>(numCount), 2.0f, 11);
    const std::vector<float> a = coefficients(static_cast<std::size_t>(denCount), 0.9f, 23);
    CFilterCoefficients table;
    table.setEntry(44100.0f, a, b);
    CIIRFilter filter;
    filter.setCoefficients(&table);
    filter.setSampleRate(44100.0f);
    filter.inputGain = 0.5f;
    EXPECT_EQ(filter.missingResponses(), 0);
    CIIRFilter other;   // the table lacks the rate: both arrays missing, the signal passes
    other.setCoefficients(&table);
    other.setSampleRate(48000.0f);
    EXPECT_EQ(other.missingResponses(), 2);
    std::vector<float> passed = signal(100);
    other.process(passed.data(), 100);
    EXPECT_EQ(passed, signal(100));
    const std::vector<float> x = signal(40000, 5);
    std::vector<float> y = x;
    processInBlocks(filter, y, {1, 7, 32, 513, 4096, 35000});
    EXPECT_EQ(y, directFormOne(x, std::vector<float>(b.begin(), b.begin() + std::min(numCount, 1024)),
                               std::vector<float>(a.begin(), a.begin() + std::min(denCount, 1024)), 0.5f));
}

INSTANTIATE_TEST_SUITE_P(CoefficientCounts, IirTable,
                         ::testing::Values(std::pair {3, 2}, std::pair {1, 1}, std::pair {17, 5}, std::pair {300, 200},
                                           std::pair {1024, 1}, std::pair {1, 1024}, std::pair {1500, 2000}),
                         [](const auto& info) {
                             return "Num" + std::to_string(info.param.first) + "Den" + std::to_string(info.param.second);
                         });

} // namespace
