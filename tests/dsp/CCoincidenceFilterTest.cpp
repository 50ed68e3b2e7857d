// The coincidence correction: the curve design against the published gains and a naive
// evaluation with a full basis table, the frequency shift for the capsule spacing, the walk
// beyond half the rate, and the minimum-phase step against the Hilbert-transform phase of the
// log-magnitude computed with a naive DFT.
#include "dsp/CCoincidenceFilter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr double kTwoRootTwo = 2.8284271247461903;   // 2 sqrt(2), the minimum-phase divisor

// The internals of a B-spline design, for inspection.
template <typename Base>
class Probe : public Base {
public:
    using Base::Base;
    using typename CBSplineFilter::CurveWalk;
    using CBSplineFilter::buildKnots;
    using CBSplineFilter::completePolygon;
    using CBSplineFilter::curvePoint;
    using CBSplineFilter::convertToMinimumPhase;
    using CBSplineFilter::count;
    using CBSplineFilter::designGains;
    using CBSplineFilter::knots;
    using CBSplineFilter::minimumPhase;
    using CBSplineFilter::walkCurve;
    using CBSplineFilter::x;
    using CBSplineFilter::y;
    using CFFTFilter::fft;
    using CFFTFilter::inputCopy;
    using CFFTFilter::outputBlock;
    using CFFTFilter::response;
    using CFFTFilter::responseLength;
    using CFFTFilter::spectrum;
    using CFFTFilter::workBlock;
};
using CoincidenceProbe = Probe<CCoincidenceFilter>;
using BSplineProbe = Probe<CBSplineFilter>;

// The curve's control frequencies in Hz, as published for 1.47 cm.
std::vector<double> tableFrequencies()
{
    std::vector<double> f;
    for (int hz = 200; hz <= 1000; hz += 100)
        f.push_back(hz);
    for (int hz = 2000; hz <= 24000; hz += 1000)
        f.push_back(hz);
    return f;
}

// ---- A naive design: the full basis table, every row summed --------------------------------

float naiveLevel(double y)
{
    const float db = static_cast<float>(2.0 * y);
    return static_cast<float>(std::exp(static_cast<double>(db) / 20.0 * 2.302585092994));
}

struct NaiveWalk {
    std::vector<double> knots;
    std::vector<double> levels = std::vector<double>(2048);          // curve level at each step
    std::vector<double> logFrequencies = std::vector<double>(2048);  // curve ln(Hz) at each step
    std::vector<double> gains = std::vector<double>(1024, std::nan(""));
    int lastBin = 0;
    int highestBin = 0;
};

// Steps 3 to 7 of the curve design, written straight from the description with a table of 108
// rows by 2048 parameter steps.
NaiveWalk naiveWalk(const double* x, const double* y, int n, float rate)
{
    std::vector<double> t(111, 0.0);
    t[0] = 0.000001;
    t[1] = 0.000002;
    t[2] = 0.000003;
    t[3] = 0.000004;
    for (int i = 1; i <= n - 2; ++i)
        t[3 + i] = static_cast<double>(i) / (n - 1);
    t[n + 2] = 0.999997;
    t[n + 3] = 0.999998;
    t[n + 4] = 0.999999;
    t[n + 5] = 1.0;

    std::vector<std::vector<double>> B(108, std::vector<double>(2048, 0.0));
    double u = 0.00001;
    int k = 0;
    for (int s = 0; s < 2048; ++s) {
        while (k < n + 5 && t[k] <= u)
            ++k;
        const int i = k - 1;
        for (int r = 0; r <= n + 4; ++r)
            B[r][s] = 0.0;
        B[i][s] = 1.0;
        for (int p = 2; p <= 4; ++p)
            for (int r = std::max(i - p + 1, 0); r <= i; ++r)
                B[r][s] = (u - t[r]) / (t[r + p - 1] - t[r]) * B[r][s]
                        + (t[r + p] - u) / (t[r + p] - t[r + 1]) * B[r + 1][s];
        u += 0.00048828125;
    }

    NaiveWalk walk;
    walk.knots.assign(t.begin(), t.begin() + n + 6);
    for (int s = 0; s < 2048; ++s) {
        double Y = 0.0, X = 0.0;
        for (int j = 0; j <= n; ++j) {
            Y += y[j] * B[j][s];
            X += x[j] * B[j][s];
        }
        walk.levels[s] = Y;
        walk.logFrequencies[s] = X;
    }
    double lastLevel = 0.0;
    for (int j = 0; j <= n; ++j)
        lastLevel += y[j] * B[j][1];
    const int last = static_cast<int>((t[n + 1] - t[0]) * 2048);
    int prev = 0;
    for (int s = 2; s <= last; ++s) {
        double Y = 0.0, X = 0.0;
        for (int j = 0; j <= n; ++j) {
            Y += y[j] * B[j][s];
            X += x[j] * B[j][s];
        }
        const int bin = static_cast<int>(std::exp(X) / (rate * 0.5) * 1024.0);
        walk.highestBin = std::max(walk.highestBin, bin);
        if (bin >= prev)
            for (int b = prev; b <= bin && b < 1024; ++b)
                walk.gains[b] = naiveLevel(Y);
        prev = bin;
        lastLevel = Y;
    }
    if (prev < 1023)
        for (int b = prev; b < 1024; ++b)
            walk.gains[b] = naiveLevel(lastLevel);
    walk.lastBin = prev;
    return walk;
}

struct CurveCase {
    std::string name;
    int variant;        // -1: a custom B-spline with pointCount random points
    float spacing;
    float rate;
    int pointCount;
};

void PrintTo(const CurveCase& c, std::ostream* os) { *os << c.name; }

std::vector<CurveCase> curveCases()
{
    std::vector<CurveCase> cases;
    for (int variant : {0, 1})
        for (float spacing : {1.47f, 2.3f})
            for (float rate : {22050.0f, 44100.0f, 48000.0f, 96000.0f, 192000.0f})
                cases.push_back({std::string(variant == 0 ? "W" : "XYZ") + "_"
                                     + (spacing < 2.0f ? "147" : "230") + "_"
                                     + std::to_string(static_cast<int>(rate)),
                                 variant, spacing, rate, 0});
    for (int points : {1, 2, 3, 5, 50, 102})
        cases.push_back({"Custom" + std::to_string(points) + "Points_48000", -1, 0.0f, 48000.0f,
                         points});
    return cases;
}

std::unique_ptr<BSplineProbe> customCurve(int points)
{
    auto f = std::make_unique<BSplineProbe>();
    std::mt19937 rng(static_cast<unsigned>(points));
    std::uniform_real_distribution<float> level(-8.0f, 2.0f);
    double hz = 40.0;
    for (int i = 1; i < points; ++i) {
        hz *= 1.07;
        f->addPoint(static_cast<float>(hz), level(rng));
    }
    return f;
}

class CurveEvaluation : public ::testing::TestWithParam<CurveCase> {};

TEST_P(CurveEvaluation, StepwiseBasisGivesBitIdenticalGainsToTheFullBasisTable)
{
    const CurveCase& c = GetParam();
    std::unique_ptr<BSplineProbe> custom;
    std::unique_ptr<CoincidenceProbe> coincidence;
    if (c.variant < 0)
        custom = customCurve(c.pointCount);
    else
        coincidence = std::make_unique<CoincidenceProbe>(c.variant, c.spacing, 1.0f);
    auto run = [&](auto& f) {
        f.completePolygon(c.rate);
        const NaiveWalk naive = naiveWalk(f.x, f.y, f.count, c.rate);

        // The curve itself, step by step, before any rounding to float gains or integer bins.
        f.buildKnots();
        ASSERT_EQ(std::memcmp(f.knots, naive.knots.data(), naive.knots.size() * sizeof(double)), 0);
        std::int32_t span = 0;
        double u = 0.00001;
        for (int s = 0; s < 2048; ++s) {
            const auto point = f.curvePoint(u, span);
            ASSERT_EQ(std::memcmp(&point.level, &naive.levels[s], sizeof(double)), 0)
                << "level at step " << s << ": " << point.level << " vs " << naive.levels[s];
            ASSERT_EQ(std::memcmp(&point.logFrequency, &naive.logFrequencies[s], sizeof(double)), 0)
                << "ln f at step " << s;
            u += 0.00048828125;
        }

        const auto walk = f.walkCurve(c.rate);
        EXPECT_EQ(walk.lastBin, naive.lastBin);
        EXPECT_EQ(walk.highestBin, naive.highestBin);
        for (int k = 0; k < 1024; ++k)
            ASSERT_EQ(f.spectrum[k], naive.gains[k]) << "bin " << k;
    };
    if (custom)
        run(*custom);
    else
        run(*coincidence);
}

INSTANTIATE_TEST_SUITE_P(Curves, CurveEvaluation, ::testing::ValuesIn(curveCases()),
                         [](const ::testing::TestParamInfo<CurveCase>& info) { return info.param.name; });

// ---- Published values at 48000 Hz ---------------------------------------------------------------

struct PublishedGains {
    const char* name;
    int variant;
    double gains[4];   // at bins 0, 100, 300, 1023
};

void PrintTo(const PublishedGains& p, std::ostream* os) { *os << p.name; }

class PublishedCurve : public ::testing::TestWithParam<PublishedGains> {};

TEST_P(PublishedCurve, GainsAt48000HzMatchThePublishedValues)
{
    const PublishedGains& p = GetParam();
    CoincidenceProbe filter(p.variant, 1.47f, 1.0f);
    const auto walk = filter.designGains(48000.0f);
    const int bins[4] = {0, 100, 300, 1023};
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(filter.spectrum[bins[i]], p.gains[i], 0.0006) << "bin " << bins[i];

    // The end point lands on the 24 kHz point: the walk ends at bin 1016 after step 1983, and the
    // top bins hold the last step's level.
    EXPECT_EQ(walk.lastStep, 1983);
    EXPECT_EQ(walk.lastBin, 1016);
    EXPECT_EQ(walk.highestBin, 1016);
    for (int k = 1016; k < 1024; ++k)
        EXPECT_EQ(filter.spectrum[k], filter.spectrum[1016]) << "bin " << k;
    EXPECT_NE(filter.spectrum[1015], filter.spectrum[1016]);
    for (int k = 1024; k < 2048; ++k)
        ASSERT_EQ(filter.spectrum[k], 0.0) << "slot " << k;
    EXPECT_EQ(filter.responseLength, 1024u);
}

INSTANTIATE_TEST_SUITE_P(Channels, PublishedCurve,
                         ::testing::Values(PublishedGains{"W", 0, {0.250, 0.322, 0.927, 0.751}},
                                           PublishedGains{"XYZ", 1, {0.746, 0.459, 0.235, 0.253}}),
                         [](const ::testing::TestParamInfo<PublishedGains>& info) {
                             return std::string(info.param.name);
                         });

// ---- The spacing shift ---------------------------------------------------------------------------

class SpacingShift : public ::testing::TestWithParam<float> {};

TEST_P(SpacingShift, ControlFrequenciesAreScaledBy147OverTheSpacing)
{
    const float spacing = GetParam();
    const double factor = 1.47 / spacing;
    const std::vector<double> hz = tableFrequencies();
    for (int variant : {0, 1}) {
        CoincidenceProbe filter(variant, spacing, 1.0f);
        ASSERT_EQ(filter.count, 33);
        EXPECT_NEAR(std::exp(filter.x[0]), factor, 1e-12);
        for (int i = 1; i < 33; ++i) {
            // ln f is stored in single precision: half an ulp at ln 24000 is 4.8e-7.
            EXPECT_NEAR(std::exp(filter.x[i]) / (hz[i - 1] * factor), 1.0, 5e-7) << "point " << i;
            // At the reference spacing the shift, ln(1.47 / 1.47f), is below 1e-7: in single
            // precision the control frequencies are exactly the table's.
            if (spacing == 1.47f) {
                EXPECT_EQ(static_cast<float>(filter.x[i]), static_cast<float>(std::log(hz[i - 1])))
                    << "point " << i;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Spacings, SpacingShift, ::testing::Values(1.47f, 2.3f, 1.0f, 3.5f),
                         [](const ::testing::TestParamInfo<float>& info) {
                             return "Cm" + std::to_string(static_cast<int>(info.param * 100));
                         });

TEST(CCoincidenceFilter, LargerSpacingMovesTheCorrectionDownInFrequency)
{
    // The W curve peaks near 7 kHz at 1.47 cm; at 2.3 cm near 7 kHz * 1.47 / 2.3.
    auto peakBin = [](float spacing) {
        CoincidenceProbe filter(0, spacing, 1.0f);
        filter.designGains(48000.0f);
        return static_cast<int>(std::max_element(filter.spectrum + 50, filter.spectrum + 700)
                                - filter.spectrum);
    };
    const int at147 = peakBin(1.47f);
    const int at230 = peakBin(2.3f);
    EXPECT_GT(at147, static_cast<int>(6000.0 / 24000.0 * 1024.0));
    EXPECT_LT(at147, static_cast<int>(8000.0 / 24000.0 * 1024.0));
    EXPECT_NEAR(at230, at147 * 1.47 / 2.3, 0.03 * at147);
}

// ---- Rates below twice the top control frequency ------------------------------------------------

TEST(CCoincidenceFilter, At44100HzTheWalkPassesHalfTheRateButWritesOnlyBinsUpTo1023)
{
    for (int variant : {0, 1}) {
        CoincidenceProbe filter(variant, 1.47f, 1.0f);
        filter.completePolygon(44100.0f);
        const double sentinel = -12345.0;
        std::fill(filter.spectrum, filter.spectrum + 2048, sentinel);
        const auto walk = filter.walkCurve(44100.0f);
        EXPECT_EQ(walk.highestBin, 1089) << "variant " << variant;
        EXPECT_LT(walk.lastBin, walk.highestBin) << "the walk falls back";
        for (int k = 0; k < 1024; ++k)
            ASSERT_GT(filter.spectrum[k], 0.0) << "every bin up to 1023 gets a gain, bin " << k;
        for (int k = 1024; k < 2048; ++k)
            ASSERT_EQ(filter.spectrum[k], sentinel) << "slot " << k << " written";

        filter.designGains(44100.0f);
        for (int k = 1024; k < 2048; ++k)
            ASSERT_EQ(filter.spectrum[k], 0.0) << "slot " << k;
    }
}

// ---- Reproducibility ---------------------------------------------------------------------------

TEST(CCoincidenceFilter, EqualFiltersAndRepeatedDesignsGiveIdenticalSpectra)
{
    for (int variant : {0, 1}) {
        CoincidenceProbe a(variant, 2.3f, 1.0f);
        CoincidenceProbe b(variant, 2.3f, 1.0f);
        a.design(48000.0f);
        b.design(48000.0f);
        std::vector<double> first(a.spectrum, a.spectrum + 2048);
        EXPECT_EQ(std::memcmp(a.spectrum, b.spectrum, sizeof a.spectrum), 0);

        const FFTReal* transform = a.fft.get();
        a.design(44100.0f);
        a.design(48000.0f);
        a.design(48000.0f);
        EXPECT_EQ(a.fft.get(), transform) << "redesigns reuse the transform";
        EXPECT_EQ(std::memcmp(a.spectrum, first.data(), sizeof a.spectrum), 0);
    }
}

TEST(CCoincidenceFilter, RedesignLeavesTheSignalHistoryUntouched)
{
    CoincidenceProbe filter(1, 1.47f, 1.0f);
    filter.setSampleRate(48000.0f);
    filter.reset();
    std::vector<float> signal(3000);
    for (std::size_t n = 0; n < signal.size(); ++n)
        signal[n] = static_cast<float>(std::sin(0.01 * n));
    filter.process(signal.data(), 3000);

    const std::vector<double> a(filter.workBlock, filter.workBlock + 2048);
    const std::vector<double> b(filter.inputCopy, filter.inputCopy + 2048);
    const std::vector<double> out(filter.outputBlock, filter.outputBlock + 2048);
    filter.design(44100.0f);
    EXPECT_EQ(std::memcmp(filter.workBlock, a.data(), 2048 * sizeof(double)), 0);
    EXPECT_EQ(std::memcmp(filter.inputCopy, b.data(), 2048 * sizeof(double)), 0);
    EXPECT_EQ(std::memcmp(filter.outputBlock, out.data(), 2048 * sizeof(double)), 0);
}

// ---- Level scale -------------------------------------------------------------------------------

TEST(CCoincidenceFilter, ScaleZeroGivesUnitGainsAndMinimumPhaseMagnitudeEOverTwoRootTwo)
{
    for (int variant : {0, 1}) {
        CoincidenceProbe filter(variant, 1.47f, 0.0f);
        filter.designGains(48000.0f);
        for (int k = 0; k < 1024; ++k)
            ASSERT_EQ(filter.spectrum[k], 1.0) << "bin " << k;
        filter.convertToMinimumPhase();
        const double expected = std::numbers::e / kTwoRootTwo;   // 0.961
        EXPECT_NEAR(std::fabs(filter.spectrum[0]), expected, 1e-12);
        for (int k = 1; k < 1024; ++k)
            ASSERT_NEAR(std::hypot(filter.spectrum[k], filter.spectrum[1024 + k]), expected, 1e-12)
                << "bin " << k;
    }
}

TEST(CCoincidenceFilter, ScaleMultipliesEveryLevel)
{
    CoincidenceProbe unit(0, 1.47f, 1.0f);
    CoincidenceProbe half(0, 1.47f, 0.5f);
    for (int i = 0; i < 33; ++i)
        EXPECT_EQ(half.y[i], unit.y[i] * 0.5) << "point " << i;
    EXPECT_TRUE(half.minimumPhase);
}

// ---- Minimum phase -----------------------------------------------------------------------------

class MinimumPhase : public ::testing::TestWithParam<int> {};

// The phase of a minimum-phase response is the Hilbert transform of its log-magnitude. Here
// through the real cepstrum with a naive DFT: c = IDFT(log|H|), fold c onto n >= 0, phase =
// Im DFT(folded c).
TEST_P(MinimumPhase, PhaseIsTheHilbertTransformOfTheLogMagnitude)
{
    constexpr int N = 2048;
    CoincidenceProbe filter(GetParam(), 1.47f, 1.0f);
    filter.designGains(48000.0f);
    // The conversion treats the gain curve as the log-magnitude: |H_k| = exp(gain_k) / 2 sqrt 2.
    std::vector<double> logMagnitude(N);
    for (int k = 0; k <= N / 2; ++k) {
        const double gain = k < N / 2 ? filter.spectrum[k] : 0.0;   // Nyquist slot holds 0
        logMagnitude[k] = gain - std::log(kTwoRootTwo);
        if (k > 0 && k < N / 2)
            logMagnitude[N - k] = logMagnitude[k];
    }
    filter.convertToMinimumPhase();

    std::vector<long double> cosTable(N), sinTable(N);
    for (int m = 0; m < N; ++m) {
        const long double angle = 2.0L * std::numbers::pi_v<long double> * m / N;
        cosTable[m] = std::cos(angle);
        sinTable[m] = std::sin(angle);
    }
    std::vector<long double> folded(N, 0.0L);
    for (int n = 0; n <= N / 2; ++n) {
        long double c = 0.0L;
        for (int k = 0; k < N; ++k)
            c += logMagnitude[k] * cosTable[(static_cast<long>(k) * n) % N];
        c /= N;
        folded[n] = (n == 0 || n == N / 2) ? c : 2.0L * c;
    }
    for (int k = 1; k < N / 2; ++k) {
        long double re = 0.0L, im = 0.0L;
        for (int n = 0; n <= N / 2; ++n) {
            re += folded[n] * cosTable[(static_cast<long>(k) * n) % N];
            im -= folded[n] * sinTable[(static_cast<long>(k) * n) % N];
        }
        EXPECT_NEAR(static_cast<double>(re), logMagnitude[k], 1e-12) << "bin " << k;
        // Complex value in the packed layout: re at k, minus the imaginary part at 1024 + k.
        const double phase = std::atan2(-filter.spectrum[N / 2 + k], filter.spectrum[k]);
        const double diff = std::remainder(phase - static_cast<double>(im), 2.0 * std::numbers::pi);
        ASSERT_NEAR(diff, 0.0, 1e-10) << "bin " << k;
        ASSERT_NEAR(std::hypot(filter.spectrum[k], filter.spectrum[N / 2 + k]),
                    std::exp(logMagnitude[k]), 1e-12) << "bin " << k;
    }
    // Pair 0 carries DC with the Nyquist slot as its phase: DC keeps its magnitude, and the
    // Nyquist value, m0 sin(0), vanishes.
    EXPECT_NEAR(filter.spectrum[0], std::exp(logMagnitude[0]), 1e-12);
    EXPECT_NEAR(filter.spectrum[N / 2], 0.0, 1e-12);
}

// A minimum-phase response has the most energy at the front of all responses with its
// magnitude; the linear-phase one (the same magnitudes, delayed by half the block) has it in
// the middle.
TEST_P(MinimumPhase, EnergyIsConcentratedAtTheFront)
{
    constexpr int N = 2048;
    CoincidenceProbe filter(GetParam(), 1.47f, 1.0f);
    filter.design(48000.0f);
    std::vector<double> linear(N, 0.0), hMin(N), hLin(N);
    for (int k = 0; k < N / 2; ++k) {
        const double magnitude = k == 0 ? std::fabs(filter.spectrum[0])
                                        : std::hypot(filter.spectrum[k], filter.spectrum[N / 2 + k]);
        linear[k] = (k % 2 == 0) ? magnitude : -magnitude;   // e^{-i pi k}: delay N/2
    }
    FFTReal fft(N);
    fft.inverse_transform(filter.spectrum, hMin.data());
    fft.inverse_transform(linear.data(), hLin.data());

    auto partialEnergy = [](const std::vector<double>& h) {
        std::vector<double> e(h.size());
        double sum = 0.0, total = 0.0;
        for (double v : h)
            total += v * v;
        for (std::size_t n = 0; n < h.size(); ++n) {
            sum += h[n] * h[n];
            e[n] = sum / total;
        }
        return e;
    };
    const std::vector<double> eMin = partialEnergy(hMin);
    const std::vector<double> eLin = partialEnergy(hLin);
    EXPECT_GT(eMin[31], 0.95) << "most energy in the first 32 samples";
    EXPECT_LT(eLin[31], 0.05);
    for (int n = 0; n < N; ++n)
        ASSERT_GE(eMin[n], eLin[n] - 1e-9) << "n=" << n;
}

INSTANTIATE_TEST_SUITE_P(Channels, MinimumPhase, ::testing::Values(0, 1),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(info.param == 0 ? "W" : "XYZ");
                         });

// ---- Control points ----------------------------------------------------------------------------

TEST(CBSplineFilter, StartsAtTheOriginStoresTheSinglePrecisionLogAndIgnoresPointsBeyond102)
{
    BSplineProbe filter;
    EXPECT_EQ(filter.pointCount(), 1);
    EXPECT_EQ(filter.x[0], 0.0);
    EXPECT_EQ(filter.y[0], 0.0);
    EXPECT_FALSE(filter.minimumPhase);
    for (int i = 1; i < 120; ++i)
        filter.addPoint(100.0f * i, -0.5f * i);
    EXPECT_EQ(filter.count, 102);
    EXPECT_EQ(filter.x[1], static_cast<double>(static_cast<float>(std::log(100.0))));
    EXPECT_EQ(filter.y[101], -50.5);
    EXPECT_EQ(filter.x[101], static_cast<double>(static_cast<float>(std::log(10100.0))));
    filter.design(96000.0f);   // index 102 takes the end point and nothing overruns
    EXPECT_EQ(filter.x[102], std::log(48000.0));
    EXPECT_EQ(filter.y[102], -50.5);
}

TEST(CBSplineFilter, TwoPointsGiveAFlatResponseAtTheInitialLevel)
{
    BSplineProbe filter;
    filter.addPoint(1000.0f, -3.0f);
    const auto walk = filter.designGains(48000.0f);
    EXPECT_EQ(walk.lastStep, 0) << "no walk steps";
    EXPECT_EQ(walk.lastBin, 0);
    // All control levels are -3 after the polygon is completed, and the basis sums to 1.
    for (int k = 0; k < 1024; ++k)
        ASSERT_NEAR(filter.spectrum[k], std::pow(10.0, -0.3), 1e-6) << "bin " << k;
    for (int k = 1; k < 1024; ++k)
        ASSERT_EQ(filter.spectrum[k], filter.spectrum[0]) << "bin " << k;
}

TEST(CCoincidenceFilter, UnknownVariantGivesAFlatUnitCurve)
{
    CoincidenceProbe filter(7, 1.47f, 1.0f);
    EXPECT_EQ(filter.count, 1);
    filter.designGains(48000.0f);
    for (int k = 0; k < 1024; ++k)
        ASSERT_EQ(filter.spectrum[k], 1.0) << "bin " << k;
}

TEST(CCoincidenceFilter, AbsurdRatesDesignWithoutLeavingTheSpectrum)
{
    // A rate that is not a positive number is a host error; the design must still write bins
    // 0 .. 1023 with finite gains and nothing outside H.
    const float rates[] = {0.0f, -44100.0f, std::numeric_limits<float>::infinity(), std::nanf(""),
                           1.0f, 8000.0f};
    for (float rate : rates) {
        CoincidenceProbe filter(1, 1.47f, 1.0f);
        std::fill(filter.response, filter.response + 2048, -7.0);
        filter.designGains(rate);
        for (int k = 0; k < 1024; ++k)
            ASSERT_TRUE(std::isfinite(filter.spectrum[k]) && filter.spectrum[k] > 0.0)
                << "rate " << rate << " bin " << k;
        for (int k = 0; k < 2048; ++k)
            ASSERT_EQ(filter.response[k], -7.0) << "rate " << rate << " written past H at " << k;
    }
}

} // namespace
