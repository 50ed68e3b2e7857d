// The example calibrations of examples/calibrations, used as the README shows: listed as
// programs, rendered with at every rate they carry filters for, and explained by check, with no
// message from the plug-in and nothing passed over. The correction the text calibration applies
// is checked against its own coefficient files, run here as plain biquads.
#include "CliTestSupport.h"

namespace {

using namespace clitest;

// tests/data -> the repository.
const fs::path kExamples = fs::path(SONQUAD_TEST_DATA).parent_path().parent_path() / "examples" / "calibrations";

void expectQuietSuccess(const RunResult& result)
{
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "") << "the plug-in or sonquad had something to say";
}

// A coefficient file: 4-byte header, denominator length, numerator length (16-bit), numerator,
// denominator (little-endian floats; the denominator's leading 1 not stored).
struct Biquad {
    std::vector<double> numerator, denominator;
};

Biquad readCoefficients(const fs::path& path)
{
    const std::string bytes = slurp(path.string());
    auto u16 = [&](std::size_t at) { return static_cast<std::size_t>(static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8); };
    auto f32 = [&](std::size_t at) {
        float value;
        std::memcpy(&value, bytes.data() + at, 4);   // little-endian host
        return static_cast<double>(value);
    };
    Biquad filter;
    const std::size_t den = u16(4), num = u16(6);
    EXPECT_EQ(bytes.size(), 8 + 4 * (num + den)) << path;
    for (std::size_t k = 0; k < num; ++k)
        filter.numerator.push_back(f32(8 + 4 * k));
    for (std::size_t k = 0; k < den; ++k)
        filter.denominator.push_back(f32(8 + 4 * (num + k)));
    return filter;
}

// The difference equation y[n] = sum b[k] x[n-k] - sum a[k] y[n-k], in double precision.
std::vector<float> filtered(const Biquad& filter, const std::vector<float>& x)
{
    std::vector<double> y(x.size());
    for (std::size_t n = 0; n < x.size(); ++n) {
        double acc = 0.0;
        for (std::size_t k = 0; k < filter.numerator.size() && k <= n; ++k)
            acc += filter.numerator[k] * x[n - k];
        for (std::size_t k = 1; k <= filter.denominator.size() && k <= n; ++k)
            acc -= filter.denominator[k - 1] * y[n - k];
        y[n] = acc;
    }
    return {y.begin(), y.end()};
}

// The words of the listing's row for a program: number, name, post-matrix set, delay.
std::vector<std::string> programRow(const std::string& listing, int program)
{
    std::istringstream lines(listing);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::vector<std::string> row;
        for (std::string word; words >> word;)
            row.push_back(word);
        if (!row.empty() && row[0] == std::to_string(program))
            return row;
    }
    return {};
}

TEST(ExampleCalibrations, BecomeProgramsTwoAndThreeWithTheirOwnFilterSets)
{
    TempFolder folder;
    const RunResult programs = runSonquad({"programs", "--calibrations", kExamples.string()}, folder.path);
    expectQuietSuccess(programs);
    EXPECT_EQ(programRow(programs.out, 2), (std::vector<std::string> {"2", "ExampleMic", "ExampleMic", "none"}))
        << programs.out;
    EXPECT_EQ(programRow(programs.out, 3),
              (std::vector<std::string> {"3", "ExampleProcessor", "ExampleProcessor", "none"}))
        << programs.out;
}

struct RateCase {
    int rate;
    const char* code;   // of the coefficient files for that rate
};

void PrintTo(const RateCase& c, std::ostream* os) { *os << c.rate << " Hz"; }

class ExampleMicAt : public testing::TestWithParam<RateCase> {};

TEST_P(ExampleMicAt, CorrectsWithTheCoefficientFilesOfTheTakesRateAndSaysNothing)
{
    TempFolder folder;
    const RateCase c = GetParam();
    const RunResult synth = runSonquad({"synth", "-q", "-o", "take.wav", "--rate", std::to_string(c.rate), "--length",
                                        "0.25", "--source", "30,10"},
                                       folder.path);
    expectQuietSuccess(synth);
    EXPECT_EQ(synth.out, "") << "-q leaves no summary line";
    const std::vector<std::string> calibrations {"--calibrations", kExamples.string(), "--program", "ExampleMic"};
    std::vector<std::string> corrected {"render", "take.wav", "-o", "mic.wav"};
    corrected.insert(corrected.end(), calibrations.begin(), calibrations.end());
    std::vector<std::string> plain {"render", "take.wav", "-o", "plain.wav", "--set", "PostMatrix Filter Number=None"};
    plain.insert(plain.end(), calibrations.begin(), calibrations.end());
    const RunResult render = runSonquad(corrected, folder.path);
    expectQuietSuccess(render);
    EXPECT_NE(render.out.find("program 2 \"ExampleMic\""), std::string::npos) << render.out;
    expectQuietSuccess(runSonquad(plain, folder.path));

    const Sound mic = readSound(folder / "mic.wav");
    const Sound none = readSound(folder / "plain.wav");
    ASSERT_EQ(mic.rate, c.rate);
    ASSERT_EQ(mic.frames(), none.frames());
    const Biquad w = readCoefficients(kExamples / "ExampleMic" / ("w" + std::string(c.code) + ".flt"));
    const Biquad velocity = readCoefficients(kExamples / "ExampleMic" / ("vel" + std::string(c.code) + ".flt"));
    for (int channel = 0; channel < 4; ++channel) {
        const std::vector<float> expected = filtered(channel == 0 ? w : velocity, none.channels[channel]);
        double worst = 0.0, peak = 0.0;
        for (std::size_t n = 0; n < expected.size(); ++n) {
            worst = std::max(worst, std::fabs(static_cast<double>(mic.channels[channel][n]) - expected[n]));
            peak = std::max(peak, std::fabs(static_cast<double>(expected[n])));
        }
        // The plug-in runs the filter in single precision: errors of a few float roundings.
        EXPECT_LT(worst, 1e-5 * peak) << "channel " << channel << " at " << c.rate << " Hz";
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, ExampleMicAt,
                         testing::Values(RateCase {44100, "44"}, RateCase {48000, "48"}, RateCase {96000, "96"}),
                         [](const testing::TestParamInfo<RateCase>& info) { return "Hz" + std::to_string(info.param.rate); });

TEST(ExampleCalibrations, ProcessorConfigurationRendersWithoutAWord)
{
    TempFolder folder;
    expectQuietSuccess(runSonquad({"synth", "-q", "-o", "take.wav", "--length", "0.25"}, folder.path));
    const RunResult render = runSonquad(
        {"render", "take.wav", "-o", "b.wav", "--calibrations", kExamples.string(), "--program", "ExampleProcessor"},
        folder.path);
    expectQuietSuccess(render);
    EXPECT_NE(render.out.find("program 3 \"ExampleProcessor\""), std::string::npos) << render.out;
}

struct CheckCase {
    const char* name;
    const char* file;
    std::vector<std::string> explained;   // lines check must print
};

void PrintTo(const CheckCase& c, std::ostream* os) { *os << c.file; }

class CheckExample : public testing::TestWithParam<CheckCase> {};

TEST_P(CheckExample, ExplainsItAndFindsNothingWrong)
{
    TempFolder folder;
    const RunResult check = runSonquad({"check", (kExamples / GetParam().file).string()}, folder.path);
    expectQuietSuccess(check);
    for (const std::string& line : GetParam().explained)
        EXPECT_NE(check.out.find(line), std::string::npos) << line << "\n" << check.out;
    EXPECT_NE(check.out.find("reason (the plug-in says nothing about these)\n  nothing\n"), std::string::npos) << check.out;
    EXPECT_NE(check.out.find("problems the plug-in stays silent about\n  none\n"), std::string::npos) << check.out;
    EXPECT_EQ(check.out.find("messages the plug-in shows"), std::string::npos) << check.out;
}

INSTANTIATE_TEST_SUITE_P(
    Files, CheckExample,
    testing::Values(
        CheckCase {"Text",
                   "ExampleMic.txt",
                   {"text calibration \"ExampleMic\"", "*  1  LF Cut Freq                    30.0 Hz",
                    "W         44100 Hz  numerator    3, denominator    2  filters",
                    "X, Y, Z   96000 Hz  numerator    3, denominator    2  filters",
                    "vel48.flt             48000 Hz  numerator 3, denominator 2"}},
        CheckCase {"ProcessorConfiguration",
                   "ExampleProcessor.sonq",
                   {"processor configuration \"ExampleProcessor\"",
                    "W: 120.0 Hz, 120.0 Hz wide, 0.8 dB; 3500.0 Hz, 3150.0 Hz wide, -0.6 dB; 12000.0 Hz, 7200.0 Hz "
                    "wide, 1.8 dB; output 0.00 dB"}}),
    [](const testing::TestParamInfo<CheckCase>& info) { return std::string(info.param.name); });

TEST(ExampleCalibrations, AreWhatTheirGeneratorWritesWithLiblo)
{
    const std::string command = "python3 '" + (kExamples / "make.py").string() + "' --check";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
}

} // namespace
