// The virtual microphone against closed forms: each capsule of a tone source is the tone with
// the capsule's cardioid gain, delayed by its plane-wave arrival time.
#include "dsp/FFTReal.h"
#include "tools/sonquad/CliError.h"
#include "tools/sonquad/Synth.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kC = 343.0;   // m/s

// The capsules as the microphone's documentation states them, independently of the tool's table.
const double kFacing[4][3] = {{1, 1, 1}, {1, -1, -1}, {-1, 1, -1}, {-1, -1, 1}};

struct ToneCase {
    double azimuth, elevation, radiusCm, hz;
    int rate;
};

void PrintTo(const ToneCase& c, std::ostream* os)
{
    *os << c.hz << " Hz from " << c.azimuth << ", " << c.elevation << ", " << c.radiusCm << " cm, " << c.rate << " Hz";
}

class ToneSource : public testing::TestWithParam<ToneCase> {};

TEST_P(ToneSource, ReachesEachCapsuleWithItsCardioidGainAndArrivalTime)
{
    const ToneCase& c = GetParam();
    cli::SynthSettings settings;
    settings.sources = {{c.azimuth, c.elevation, 0.8}};
    settings.signal = cli::TestSignal::kTone;
    settings.toneHz = c.hz;
    settings.seconds = 0.25;
    settings.rate = c.rate;
    settings.radiusCm = c.radiusCm;
    settings.levelDb = -10.0;
    const auto capsules = cli::synthesise(settings);

    const double az = c.azimuth * kPi / 180.0, el = c.elevation * kPi / 180.0;
    const double u[3] = {std::cos(el) * std::cos(az), std::cos(el) * std::sin(az), std::sin(el)};
    const double amplitude = 0.8 * std::sqrt(2.0) * std::pow(10.0, -10.0 / 20.0);
    for (int k = 0; k < 4; ++k) {
        const double cosine = (kFacing[k][0] * u[0] + kFacing[k][1] * u[1] + kFacing[k][2] * u[2]) / std::sqrt(3.0);
        const double gain = 0.5 + 0.5 * cosine;
        // A capsule towards the source hears the wave earlier than the centre.
        const double lead = c.radiusCm / 100.0 * cosine / kC;
        double worst = 0.0;
        // Away from the 10 ms fades the source is a steady tone.
        for (std::size_t n = c.rate / 20; n < capsules[k].size() - c.rate / 20; ++n) {
            const double t = static_cast<double>(n) / c.rate + lead;
            const double expected = gain * amplitude * std::sin(2.0 * kPi * c.hz * t);
            worst = std::max(worst, std::fabs(capsules[k][n] - expected));
        }
        // Float samples: a few parts in 10^7 of the amplitude; the delay is exact.
        EXPECT_LT(worst, 2e-6) << "capsule " << k + 1;
    }
}

INSTANTIATE_TEST_SUITE_P(Directions, ToneSource,
                         testing::Values(ToneCase {0, 0, 1.47, 1000, 48000}, ToneCase {90, 0, 1.47, 5000, 48000},
                                         ToneCase {-135, 30, 2.3, 9000, 48000}, ToneCase {45, 35.26, 1.47, 700, 44100},
                                         ToneCase {150, -60, 5.0, 12000, 96000}, ToneCase {10, 20, 0.0, 3000, 48000}));

TEST(PinkNoise, HasEqualPowerInEveryOctave)
{
    cli::SynthSettings settings;
    settings.radiusCm = 0.0;             // every capsule an attenuated copy of the source
    settings.sources = {{0, 90, 1.0}};
    settings.seconds = 5.0;
    const auto capsules = cli::synthesise(settings);
    // Power per octave from one transform of the whole signal (the real FFT has its own tests
    // against a direct DFT). Pink noise: power per bin falls as 1/f, bins per octave double.
    const std::size_t length = 1 << 18;
    std::vector<double> signal(length, 0.0), spectrum(length);
    for (std::size_t n = 0; n < capsules[0].size() && n < length; ++n)
        signal[n] = capsules[0][n];
    FFTReal fft(static_cast<std::int32_t>(length));
    fft.forward_transform(spectrum.data(), signal.data());
    std::vector<double> octaveDb;
    for (double low = 62.5; low < 16000.0; low *= 2.0) {
        double power = 0.0;
        for (auto k = static_cast<std::size_t>(low * length / 48000.0); k < 2.0 * low * length / 48000.0; ++k)
            power += spectrum[k] * spectrum[k] + spectrum[length / 2 + k] * spectrum[length / 2 + k];
        octaveDb.push_back(10.0 * std::log10(power));
    }
    // The lowest octave holds some 680 bins: its power varies by about 0.2 dB (one standard
    // deviation) from noise alone; the higher octaves by less.
    for (std::size_t b = 1; b < octaveDb.size(); ++b)
        EXPECT_NEAR(octaveDb[b], octaveDb[0], 0.8) << "octave " << b;
    // Least-squares slope over the eight octaves: flat.
    const double m = static_cast<double>(octaveDb.size());
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (std::size_t b = 0; b < octaveDb.size(); ++b) {
        sx += b;
        sy += octaveDb[b];
        sxx += static_cast<double>(b * b);
        sxy += b * octaveDb[b];
    }
    EXPECT_NEAR((m * sxy - sx * sy) / (m * sxx - sx * sx), 0.0, 0.15) << "dB per octave";
}

TEST(Synth, RefusesWhatItCannotMake)
{
    cli::SynthSettings tooLong;
    tooLong.seconds = 1000.0;
    cli::SynthSettings badTone;
    badTone.signal = cli::TestSignal::kTone;
    badTone.toneHz = 30000.0;
    cli::SynthSettings noSource;
    noSource.sources.clear();
    for (const cli::SynthSettings& settings : {tooLong, badTone, noSource})
        EXPECT_THROW(cli::synthesise(settings), cli::CliError);
}

TEST(Directions, AngleBetweenThemIsTheGreatCircleAngle)
{
    EXPECT_NEAR(cli::angleBetween(0, 0, 90, 0), 90.0, 1e-12);
    EXPECT_NEAR(cli::angleBetween(0, 0, 180, 0), 180.0, 1e-12);
    EXPECT_NEAR(cli::angleBetween(30, 89.999, 210, 89.999), 0.002, 1e-9);
    EXPECT_NEAR(cli::angleBetween(-179.5, 0, 179.5, 0), 1.0, 1e-9);
    EXPECT_NEAR(cli::angleBetween(10, 0, 10, 0.001), 0.001, 1e-9);
}

} // namespace
