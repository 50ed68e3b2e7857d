// Coefficient files: arrays in order, one entry per rate, refusals, the rate code in the path.
#include "calibration/CoefficientFile.h"
#include "dsp/CFilterCoefficients.h"
#include "dsp/CIIRFilter.h"

#include "CalibrationFixture.h"

namespace {

using namespace fixture;
using fixture::PrintTo;

class CoefficientFiles : public ::testing::Test {
protected:
    std::string write(const std::string& name, const Bytes& bytes)
    {
        writeBytes(folder / "MyMic" / name, bytes);
        return (folder / "MyMic" / name).string();
    }
    void load(const std::string& name, const Bytes& bytes) { loadCoefficientFile(table, write(name, bytes).c_str()); }
    std::vector<float> numerator(float rate) { return {table.numerator(rate), table.numerator(rate) + table.numeratorLength(rate)}; }
    std::vector<float> denominator(float rate) { return {table.denominator(rate), table.denominator(rate) + table.denominatorLength(rate)}; }
    // Passes a signal unchanged at rate; returns how many arrays the filter found missing.
    int passesAt(float rate)
    {
        CIIRFilter filter;
        filter.setCoefficients(&table);
        filter.setSampleRate(rate);
        std::vector<float> x = {0.5f, -1.0f, 0.25f};
        filter.process(x.data(), 3);
        EXPECT_EQ(x, (std::vector<float> {0.5f, -1.0f, 0.25f})) << rate;
        return filter.missingResponses();
    }

    TempFolder folder;
    CFilterCoefficients table;
    MessageCapture messages;
};

TEST_F(CoefficientFiles, KeepOneEntryPerRateNumeratorFirst)
{
    load("mic_W48.bin", coefficientFile({0.5f, -0.25f, 0.125f}, {-1.5f, 0.75f}));
    load("Vel96.bin", coefficientFile({2.0f, 3.0f}, {0.25f}));
    load("b_W96.bin", coefficientFile({7.0f}, {0.1f, 0.2f}));   // the same rate again replaces it
    load("long_W384.bin", coefficientFile(std::vector<float>(1024, 0.001f), {0.0f}));
    EXPECT_EQ(table.size(), 3u);
    EXPECT_EQ(numerator(48000.0f), (std::vector<float> {0.5f, -0.25f, 0.125f}));
    EXPECT_EQ(denominator(48000.0f), (std::vector<float> {-1.5f, 0.75f}));
    EXPECT_EQ(numerator(96000.0f), std::vector<float> {7.0f});
    EXPECT_EQ(denominator(96000.0f), (std::vector<float> {0.1f, 0.2f}));
    EXPECT_EQ(table.numeratorLength(384000.0f), 1024);
    EXPECT_TRUE(messages.texts.empty());
    // At a rate the table does not hold both arrays are missing, and the lookup adds no entry.
    EXPECT_EQ(passesAt(44100.0f), 2);
    EXPECT_EQ(table.size(), 3u);
    // A path without a rate code is refused with one line on standard error.
    ::testing::internal::CaptureStderr();
    load("nocode.bin", coefficientFile({1.0f}, {0.5f}));
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find((folder / "MyMic" / "nocode.bin").string()), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(table.size(), 3u);
    EXPECT_TRUE(messages.texts.empty());
}

struct Refused {
    const char* name;
    Bytes bytes;
    bool write = true;   // false: no file at all
};

class RefusedFile : public CoefficientFiles, public ::testing::WithParamInterface<Refused> {};

// Refused like a missing file: the open-failure message once and an empty entry for the rate,
// replacing a good one; a filter at that rate then passes its signal silently.
TEST_P(RefusedFile, ShowsTheOpenFailureAndLeavesAnEmptyEntry)
{
    load("good_W192.bin", coefficientFile({1.0f}, {0.5f}));
    const std::string path = GetParam().write ? write("bad_W192.bin", GetParam().bytes) : (folder / "absent_W192.bin").string();
    loadCoefficientFile(table, path.c_str());
    EXPECT_EQ(messages.texts, std::vector<std::string> {"Failed to open Harl filter coefficients file: " + path});
    EXPECT_EQ(table.size(), 1u);
    EXPECT_EQ(table.numeratorLength(192000.0f), 0);
    EXPECT_EQ(table.denominatorLength(192000.0f), 0);
    EXPECT_NE(table.numerator(192000.0f), nullptr);
    EXPECT_EQ(passesAt(192000.0f), 0);
    EXPECT_EQ(messages.texts.size(), 1u);
}

Bytes truncated(Bytes bytes, std::size_t keep) { return Bytes(bytes.begin(), bytes.begin() + static_cast<long>(keep)); }

INSTANTIATE_TEST_SUITE_P(
    Files, RefusedFile,
    ::testing::Values(Refused {"Missing", {}, false}, Refused {"Empty", {}},
                      Refused {"LengthsMissing", truncated(coefficientFile({1.0f}, {0.5f}), 6)},
                      Refused {"NumeratorCutShort", truncated(coefficientFile({1.0f, 2.0f, 3.0f}, {0.5f}), 13)},
                      Refused {"DenominatorCutShort", truncated(coefficientFile({1.0f}, {0.5f, 0.25f}), 14)},
                      Refused {"NegativeDenominatorLength", coefficientFile({1.0f}, {}, -1, 1)},
                      Refused {"NegativeNumeratorLength", coefficientFile({}, {0.5f}, 1, -3)},
                      Refused {"Length1025", coefficientFile(std::vector<float>(1025, 0.1f), {0.5f})}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RateKeyFromPath, FindsTheCodeAnywhereInTheFirst1024CharactersAndTheLaterCodeWins)
{
    const std::pair<std::string, float> cases[] = {
        {"cal/W44.bin", 44100}, {"cal/vel48.bin", 48000}, {"x_w88_y", 88200}, {"VeL96", 96000}, {"W176", 176400},
        {"vel192", 192000}, {"a/W353/b", 352800}, {"VEL384.bin", 384000}, {"W48_VEL96", 96000}, {"VEL96_W48", 96000},
        {"w384/w44", 384000}, {"mic/coeffs.bin", 0}, {"", 0}, {std::string(1021, 'a') + "W48", 48000},
        {std::string(1022, 'a') + "W48", 0}};
    for (const auto& [path, rate] : cases)
        EXPECT_EQ(rateKeyFromPath(path), rate) << path;
}

} // namespace
