// Analysis against closed forms; check and the example calibrations through the built sonquad.
#include "calibration/CalibrationFixture.h"
#include "tools/sonquad/Analyze.h"
#include "tools/sonquad/Synth.h"

namespace {

using namespace fixture;
using fixture::PrintTo;

// Ideal B-format of noise from each direction: every octave band points back at it, over the
// whole take and over a range exactly one analysis block long (4096 frames at 48 kHz).
TEST(Analysis, FindsTheDirectionOfIdealBFormatInEveryBand)
{
    const std::vector<float> s = noise(48000, 7, 0.1f);
    for (const auto& [azimuth, elevation] : {std::pair {0.0, 0.0}, {90, 0}, {180, 0}, {45, 35}, {-120, -50}, {10, 85}}) {
        const double az = azimuth * M_PI / 180, el = elevation * M_PI / 180;
        const double gains[4] = {M_SQRT1_2, std::cos(el) * std::cos(az), std::cos(el) * std::sin(az), std::sin(el)};
        std::array<std::vector<float>, 4> wxyz;
        for (int c = 0; c < 4; ++c)
            for (float x : s)
                wxyz[c].push_back(static_cast<float>(gains[c] * x));
        for (const std::size_t end : {48000u, 500u + 4096u}) {
            const auto analysis = cli::analyseDirections({wxyz[0].data(), wxyz[1].data(), wxyz[2].data(), wxyz[3].data()}, 500, end,
                                                         48000.0, cli::octaveBands(48000.0));
            ASSERT_EQ(analysis.bands.size(), 9u);
            EXPECT_EQ(analysis.bands.back().band.label, "16 kHz");
            for (const cli::BandDirection& band : analysis.bands)
                EXPECT_LT(cli::angleBetween(azimuth, elevation, band.azimuthDeg, band.elevationDeg), 1e-3) << band.band.label << " " << end;
            EXPECT_NEAR(analysis.meanSquare[0], 0.5 * 0.01 / 3, 2e-4);   // uniform noise of 0.1: 0.01 / 3
        }
    }
    EXPECT_EQ(cli::octaveBands(44100.0).front().label, "63 Hz");
    EXPECT_EQ(cli::octaveBands(44100.0).back().label, "8 kHz");
}

TEST(Directions, AngleBetweenThemIsTheGreatCircleAngle)
{
    EXPECT_NEAR(cli::angleBetween(0, 0, 90, 0) + cli::angleBetween(-179.5, 0, 179.5, 0) + cli::angleBetween(0, 90, 0, -90), 271.0, 1e-9);
    EXPECT_NEAR(cli::angleBetween(30, 89.999, 210, 89.999), 0.002, 1e-9);
}

// A source synthesised, rendered with the matrix alone and analysed: below 2 kHz it is where it was put.
TEST(Synth, ASourceRenderedAndAnalysedIsFoundWhereItWasPut)
{
    TempFolder folder;
    ASSERT_EQ(sonquad({"synth", "-q", "-o", "a.wav", "--source", "-60,25", "--length", "1"}, folder.path).exitCode, 0);
    ASSERT_EQ(sonquad({"render", "a.wav", "-o", "b.wav", "--set", "LF Enabled=No", "--set=PostMatrix Filter Number=None"}, folder.path).exitCode, 0);
    const std::string out = sonquad({"analyze", "b.wav"}, folder.path).out;
    for (const char* band : {"\n 250 Hz", "\n  1 kHz"}) {
        std::istringstream row(out.substr(std::min(out.find(band), out.size())));
        double centre = 0, azimuth = 0, elevation = 0;
        std::string unit;
        row >> centre >> unit >> azimuth >> elevation;
        EXPECT_LT(cli::angleBetween(-60, 25, azimuth, elevation), 2.0) << band << "\n" << out;
    }
}


struct Behaviour {
    const char* name;
    std::vector<float> numerator, denominator;
    std::string shown;     // the table's line for it
    std::string problem;   // a line check adds under problems
};

const char* const kSpare = "coefficient file 'spare.dat' is named by no line: it is not loaded";

class CheckFilter : public ::testing::TestWithParam<Behaviour> {};

TEST_P(CheckFilter, IsDescribedByWhatItsImpulseResponseDoes)
{
    TempFolder folder;
    writeText(folder / "Mic.txt", "sens 0 0 0 0\nvsens 0 0 0 0\nEQ 2 -1 x 3\nEQfreq 1000 1000 1000 1000\nEQbw 100 -5 100 100\n"
                                  "W 0\nX 0\nY\nZ 0\nLF 25 50\nW w48.dat\nVel vel48.dat\nVel vel44.dat\n");
    writeBytes(folder / "Mic" / "w48.dat", coefficientFile(GetParam().numerator, GetParam().denominator));
    writeBytes(folder / "Mic" / "vel48.dat", coefficientFile({0.5f}, {0.0f}));
    writeBytes(folder / "Mic" / "spare.dat", coefficientFile({1.0f}, {}));
    const Outcome run = sonquad({"check", "Mic.txt"}, folder.path);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("  W         48000 Hz  numerator    " + GetParam().shown + "\n"), std::string::npos) << run.out;
    for (const std::string& line : std::vector<std::string> {"\n  " + GetParam().problem + "\n", "*  1  LF Cut Freq                    25.0 Hz",
                                   "  line 3 [EQ]: number 3 did not convert (\"EQ 2 -1 x 3\"); value kept\n",
                                   "  line 5 [EQbw]: number 2: a bandwidth below 0 has no width in octaves; value kept\n",
                                   "  line 8 [Y]: line holds only the key; not parsed, values kept\n",
                                   "  \"Failed to open Harl filter coefficients file: ./Mic/vel44.dat\"\n"})
        EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n" << run.out;
}

INSTANTIATE_TEST_SUITE_P(
    Filters, CheckFilter,
    ::testing::Values(Behaviour {"Decaying", {0.5f, 0.2f}, {-0.3f}, "2, denominator    1  filters (peak -6.0 dB, dies away)", kSpare},
                      Behaviour {"PeakBelowMinus40dB", {0.005f}, {0.0f}, "1, denominator    1  filters (peak -46.0 dB, dies away)", kSpare},
                      Behaviour {"Silent", {0.0f}, {0.0f}, "1, denominator    1  outputs silence", "the W filter at 48000 Hz outputs silence"},
                      Behaviour {"Unstable", {1.0f}, {-1.2f}, "1, denominator    1  unstable (its output overflows)",
                                 "the W filter at 48000 Hz is unstable: its impulse response overflows"},
                      Behaviour {"Passing", {1.0f}, {}, "1, denominator    0  passes the signal unchanged",
                                 "the W filter at 48000 Hz has coefficients but passes the signal unchanged: the filter runs only with both a numerator and a denominator"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Check, ShowsAConfigurationsEqualisersAndWhatItIgnored)
{
    TempFolder folder;
    writeBytes(folder / "Conf.sonq", cat({Osc("/sonqproc").i(2), Osc("/matrix/row").i(0).f({0.5f, 0.5f, 0.5f, 0.5f}),
                                          Osc("/matrix/row").i(5).f({1, 1, 1, 1}), Osc("/pmfilt/par").i(0).f({100, 0.5f, 2, 8000, 0.25f, -3, 1.5f})}));
    const Outcome conf = sonquad({"check", "Conf.sonq"}, folder.path);
    for (const std::string line : {"Conf.sonq: processor configuration \"Conf\"", "Cap 1 Out 1 Gain               -6.0 dB",
                                   "  message 3 [/matrix/row]: row 5 is outside 0..3; ignored\n",
                                   "  W: 100.0 Hz, 50.0 Hz wide, 2.0 dB; 8000.0 Hz, 2000.0 Hz wide, -3.0 dB; output 1.50 dB\n"})
        EXPECT_NE(conf.out.find(line), std::string::npos) << line << "\n" << conf.out;
}


const fs::path kExamples = fs::path(SONQUAD_TEST_DATA).parent_path().parent_path() / "examples" / "calibrations";

// The difference equation y[n] = sum b[k] x[n-k] - sum a[k] y[n-k] in double, with the
// coefficients read straight from the file (numerator, then the denominator without its 1).
std::vector<double> filtered(const fs::path& file, const std::vector<float>& x)
{
    const std::string bytes = slurp(file);
    const std::size_t den = static_cast<unsigned char>(bytes[4]), num = static_cast<unsigned char>(bytes[6]);
    std::vector<float> c(num + den);
    std::memcpy(c.data(), bytes.data() + 8, 4 * c.size());
    std::vector<double> y(x.size());
    for (std::size_t n = 0; n < x.size(); ++n) {
        for (std::size_t k = 0; k < num && k <= n; ++k)
            y[n] += c[k] * x[n - k];
        for (std::size_t k = 1; k <= den && k <= n; ++k)
            y[n] -= c[num + k - 1] * y[n - k];
    }
    return y;
}

TEST(ExampleCalibrations, AreProgramsTwoAndThreeAndCorrectAtEveryRateTheyCarryWithoutAWord)
{
    TempFolder folder;
    const Outcome programs = sonquad({"programs", "--calibrations", kExamples.string()}, folder.path);
    EXPECT_NE(programs.out.find("\n 2  ExampleMic               ExampleMic                none\n 3  ExampleProcessor"), std::string::npos)
        << programs.out;
    for (const auto& [rate, code] : {std::pair {44100, "44"}, {48000, "48"}, {96000, "96"}}) {
        ASSERT_EQ(sonquad({"synth", "-q", "-o", "take.wav", "--rate", std::to_string(rate), "--length", "0.25"}, folder.path).exitCode, 0);
        const std::string examples = "--calibrations=" + kExamples.string();
        EXPECT_EQ(sonquad({"render", "take.wav", "-o", "mic.wav", examples, "--program=ExampleMic"}, folder.path).err, "");
        ASSERT_EQ(sonquad({"render", "take.wav", "-o", "plain.wav", examples, "--program=ExampleMic", "--set=PostMatrix Filter Number=None"},
                          folder.path).exitCode, 0);
        const Sound corrected = readSound(folder / "mic.wav"), none = readSound(folder / "plain.wav");
        for (int c = 0; c < 4; ++c) {
            const auto expected = filtered(kExamples / "ExampleMic" / ((c ? "vel" : "w") + std::string(code) + ".flt"), none.channels[c]);
            double worst = 0.0, peak = 0.0;
            for (std::size_t n = 0; n < expected.size(); ++n) {
                worst = std::max(worst, std::fabs(corrected.channels[c][n] - expected[n]));
                peak = std::max(peak, std::fabs(expected[n]));
            }
            EXPECT_LT(worst, 1e-5 * peak) << "channel " << c << " at " << rate << " Hz";
        }
    }
    for (const char* file : {"ExampleMic.txt", "ExampleProcessor.sonq"}) {
        const Outcome check = sonquad({"check", (kExamples / file).string()}, folder.path);
        EXPECT_EQ(check.err, "");
        EXPECT_NE(check.out.find("(the plug-in says nothing about these)\n  nothing\n"), std::string::npos) << check.out;
        EXPECT_NE(check.out.find("problems the plug-in stays silent about\n  none\n"), std::string::npos) << check.out;
    }
    EXPECT_EQ(std::system(("python3 '" + (kExamples / "make.py").string() + "' --check").c_str()), 0);
}

} // namespace
