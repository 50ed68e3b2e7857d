// The band directions and levels of B-format made in closed form.
#include "tools/sonquad/Analyze.h"
#include "tools/sonquad/Synth.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Scene {
    std::array<std::vector<float>, 4> wxyz;
    std::array<const float*, 4> pointers() const { return {wxyz[0].data(), wxyz[1].data(), wxyz[2].data(), wxyz[3].data()}; }
};

// Ideal first-order B-format of signal arriving from (azimuth, elevation): W = s / sqrt 2,
// X, Y, Z = s times the direction's components.
void addSource(Scene& scene, const std::vector<double>& signal, double azimuthDeg, double elevationDeg)
{
    const double az = azimuthDeg * kPi / 180.0, el = elevationDeg * kPi / 180.0;
    const double gains[4] = {1.0 / std::sqrt(2.0), std::cos(el) * std::cos(az), std::cos(el) * std::sin(az), std::sin(el)};
    for (int c = 0; c < 4; ++c) {
        scene.wxyz[c].resize(signal.size());
        for (std::size_t n = 0; n < signal.size(); ++n)
            scene.wxyz[c][n] += static_cast<float>(gains[c] * signal[n]);
    }
}

std::vector<double> noise(std::size_t frames, unsigned seed)
{
    std::mt19937 generator(seed);
    std::normal_distribution<double> normal(0.0, 0.1);
    std::vector<double> signal(frames);
    for (double& sample : signal)
        sample = normal(generator);
    return signal;
}

std::vector<double> tone(std::size_t frames, double hz, double amplitude, double rate)
{
    std::vector<double> signal(frames);
    for (std::size_t n = 0; n < frames; ++n)
        signal[n] = amplitude * std::sin(2.0 * kPi * hz * static_cast<double>(n) / rate);
    return signal;
}

TEST(Analysis, FindsTheDirectionOfIdealBFormatInEveryBand)
{
    const double directions[][2] = {{0, 0}, {90, 0}, {-90, 0}, {180, 0}, {45, 35}, {-120, -50}, {10, 85}, {170, -10}};
    for (const auto& direction : directions) {
        Scene scene;
        addSource(scene, noise(48000, 7), direction[0], direction[1]);
        const cli::DirectionAnalysis analysis =
            cli::analyseDirections(scene.pointers(), 0, 48000, 48000.0, cli::octaveBands(48000.0));
        ASSERT_EQ(analysis.bands.size(), 9u);
        for (const cli::BandDirection& band : analysis.bands) {
            EXPECT_TRUE(band.valid);
            EXPECT_LT(cli::angleBetween(direction[0], direction[1], band.azimuthDeg, band.elevationDeg), 1e-3)
                << band.band.label << " from " << direction[0] << ", " << direction[1];
        }
    }
}

TEST(Analysis, SeparatesSourcesThatOccupyDifferentBands)
{
    const double rate = 48000.0;
    Scene scene;
    addSource(scene, tone(48000, 250.0, 0.5, rate), 60.0, 20.0);
    addSource(scene, tone(48000, 4000.0, 0.3, rate), -100.0, -30.0);
    const std::vector<cli::Band> bands = cli::octaveBands(rate, 250.0, 4000.0);
    const cli::DirectionAnalysis analysis = cli::analyseDirections(scene.pointers(), 0, 48000, rate, bands);
    ASSERT_EQ(bands.front().label, "250 Hz");
    ASSERT_EQ(bands.back().label, "4 kHz");
    EXPECT_LT(cli::angleBetween(60, 20, analysis.bands.front().azimuthDeg, analysis.bands.front().elevationDeg), 0.01);
    EXPECT_LT(cli::angleBetween(-100, -30, analysis.bands.back().azimuthDeg, analysis.bands.back().elevationDeg), 0.01);
    // A sine of amplitude a has mean square a^2 / 2: W of the 250 Hz tone carries 1/2 of 0.25 / 2.
    EXPECT_NEAR(10.0 * std::log10(analysis.bands.front().meanSquare[0]), 10.0 * std::log10(0.25 / 2.0 / 2.0), 0.05);
    EXPECT_NEAR(10.0 * std::log10(analysis.bands.back().meanSquare[0]), 10.0 * std::log10(0.09 / 2.0 / 2.0), 0.05);
    // The whole-signal mean square of W: both tones.
    EXPECT_NEAR(analysis.meanSquare[0], (0.25 + 0.09) / 4.0, 1e-3);
}

TEST(Analysis, WorksOnRangesShorterThanOneBlock)
{
    Scene scene;
    addSource(scene, noise(3000, 3), -30.0, 10.0);
    const cli::DirectionAnalysis analysis =
        cli::analyseDirections(scene.pointers(), 500, 2500, 48000.0, cli::octaveBands(48000.0, 500.0, 8000.0));
    for (const cli::BandDirection& band : analysis.bands)
        EXPECT_LT(cli::angleBetween(-30, 10, band.azimuthDeg, band.elevationDeg), 1e-3) << band.band.label;
}

TEST(OctaveBands, StopBelowHalfTheRate)
{
    struct Case {
        double rate;
        const char* last;
    };
    for (const Case& c : {Case {48000, "16 kHz"}, Case {44100, "8 kHz"}, Case {32000, "8 kHz"}, Case {96000, "16 kHz"}}) {
        const std::vector<cli::Band> bands = cli::octaveBands(c.rate);
        ASSERT_FALSE(bands.empty());
        EXPECT_EQ(bands.front().label, "63 Hz");
        EXPECT_EQ(bands.back().label, c.last) << c.rate;
        for (const cli::Band& band : bands) {
            EXPECT_LE(band.highHz, c.rate / 2.0);
            EXPECT_NEAR(band.highHz / band.lowHz, 2.0, 1e-12);
        }
    }
}

} // namespace
