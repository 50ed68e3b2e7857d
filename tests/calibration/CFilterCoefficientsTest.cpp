// Coefficient files: the arrays in their order, one entry per rate, refusals of malformed files,
// the rate code in the path, and what a filter does at a rate that has no usable entry.
#include "calibration/CoefficientFile.h"
#include "dsp/CFilterCoefficients.h"

#include "CalibrationTestSupport.h"
#include "dsp/CIIRFilter.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

using namespace caltest;

class CFilterCoefficientsFiles : public ::testing::Test {
protected:
    std::string write(const std::string& name, const std::vector<unsigned char>& bytes)
    {
        writeBytes(folder / "MyMic" / name, bytes);
        return (folder / "MyMic" / name).string();
    }
    void load(const std::string& name, const std::vector<unsigned char>& bytes) { loadCoefficientFile(table, write(name, bytes).c_str()); }
    static std::vector<float> values(const float* p, std::int32_t n) { return p ? std::vector<float>(p, p + n) : std::vector<float> {}; }

    // A filter on the table at rate passes a signal unchanged.
    // Passes the signal unchanged at rate; returns the arrays the filter found missing there.
    int expectPassesAt(float rate)
    {
        CIIRFilter filter;
        filter.setCoefficients(&table);
        filter.setSampleRate(rate);
        std::vector<float> x = {0.5f, -1.0f, 0.25f};
        filter.process(x.data(), 3);
        EXPECT_EQ(x, (std::vector<float> {0.5f, -1.0f, 0.25f}));
        return filter.missingResponses();
    }

    TempFolder folder;
    CFilterCoefficients table;
    MessageCapture messages;
};

TEST_F(CFilterCoefficientsFiles, KeepsOneEntryPerRateWithTheNumeratorReadBeforeTheDenominator)
{
    load("mic_W48.bin", coefficientFile({0.5f, -0.25f, 0.125f}, {-1.5f, 0.75f}));
    load("Vel96.bin", coefficientFile({2.0f, 3.0f}, {0.25f}));
    load("b_W96.bin", coefficientFile({7.0f}, {0.1f, 0.2f}));   // the same rate again replaces it
    EXPECT_EQ(table.size(), 2u);
    EXPECT_EQ(values(table.numerator(48000.0f), table.numeratorLength(48000.0f)), (std::vector<float> {0.5f, -0.25f, 0.125f}));
    EXPECT_EQ(values(table.denominator(48000.0f), table.denominatorLength(48000.0f)), (std::vector<float> {-1.5f, 0.75f}));
    EXPECT_EQ(values(table.numerator(96000.0f), table.numeratorLength(96000.0f)), std::vector<float> {7.0f});
    EXPECT_EQ(values(table.denominator(96000.0f), table.denominatorLength(96000.0f)), (std::vector<float> {0.1f, 0.2f}));
    EXPECT_TRUE(messages.texts.empty());
}

// Malformed files are refused like missing ones: the open-failure message once and an empty entry
// for the rate, replacing a good one; a filter at that rate then passes its signal silently.
struct RefusedCase {
    const char* what;
    std::vector<unsigned char> bytes;   // empty name: no file at all
    bool write = true;
};

class CFilterCoefficientsRefused : public CFilterCoefficientsFiles, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(CFilterCoefficientsRefused, ShowsTheOpenFailureAndLeavesAnEmptyEntry)
{
    load("good_W192.bin", coefficientFile({1.0f}, {0.5f}));
    const std::string path = GetParam().write ? write("bad_W192.bin", GetParam().bytes) : (folder / "MyMic" / "absent_W192.bin").string();
    loadCoefficientFile(table, path.c_str());
    EXPECT_EQ(messages.texts, std::vector<std::string> {"Failed to open Harl filter coefficients file: " + path});
    EXPECT_EQ(table.size(), 1u);
    EXPECT_EQ(table.numeratorLength(192000.0f), 0);
    EXPECT_EQ(table.denominatorLength(192000.0f), 0);
    EXPECT_NE(table.numerator(192000.0f), nullptr);
    EXPECT_NE(table.denominator(192000.0f), nullptr);
    expectPassesAt(192000.0f);
    EXPECT_EQ(messages.texts.size(), 1u);
}

std::vector<unsigned char> truncated(std::vector<unsigned char> bytes, std::size_t keep)
{
    bytes.resize(keep);
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CFilterCoefficientsRefused,
    ::testing::Values(RefusedCase {"Missing", {}, false},
                      RefusedCase {"DenominatorCutShort", truncated(coefficientFile({1.0f}, {0.5f, 0.25f}), 14)},
                      RefusedCase {"NumeratorCutShort", truncated(coefficientFile({1.0f, 2.0f, 3.0f}, {0.5f}), 13)},
                      RefusedCase {"LengthsMissing", truncated(coefficientFile({1.0f}, {0.5f}), 6)},
                      RefusedCase {"EmptyFile", {}},
                      RefusedCase {"NegativeDenominatorLength", coefficientFile({1.0f}, {}, -1, 1)},
                      RefusedCase {"NegativeNumeratorLength", coefficientFile({}, {0.5f}, 1, -3)},
                      RefusedCase {"Length1025", coefficientFile(std::vector<float>(1025, 0.1f), {0.5f})}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(CFilterCoefficientsFiles, AcceptsTheLongestLength)
{
    load("long_W384.bin", coefficientFile(std::vector<float>(1024, 0.001f), {0.0f}));
    EXPECT_TRUE(messages.texts.empty());
    EXPECT_EQ(table.numeratorLength(384000.0f), 1024);
}

TEST_F(CFilterCoefficientsFiles, RefusesAPathWithoutARateCodeWithOneLineOnStandardError)
{
    const std::string path = write("nocode.bin", coefficientFile({1.0f}, {0.5f}));
    ::testing::internal::CaptureStderr();
    loadCoefficientFile(table, path.c_str());
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(table.size(), 0u);
    EXPECT_TRUE(messages.texts.empty());
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find(path), std::string::npos);
}

// Both arrays count as missing at a rate the table does not hold (the plug-in shows one message
// for each); the filter passes the signal there, and the lookup adds no entry.
TEST_F(CFilterCoefficientsFiles, MakesAFilterAtAnUnloadedRateMissBothArraysAndPassTheSignal)
{
    load("x_W48.bin", coefficientFile({2.0f}, {0.0f}));
    EXPECT_EQ(expectPassesAt(44100.0f), 2);
    EXPECT_EQ(expectPassesAt(352800.0f), 2);
    EXPECT_EQ(table.size(), 1u);
    EXPECT_TRUE(messages.texts.empty());
}

struct PathCase {
    const char* path;
    float rateHz;
};

class RateKeyFromPath : public ::testing::TestWithParam<PathCase> {};

TEST_P(RateKeyFromPath, FindsTheRateCodeAnywhereInThePathWithTheLaterCodeWinning)
{
    EXPECT_EQ(rateKeyFromPath(GetParam().path), GetParam().rateHz) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(
    Paths, RateKeyFromPath,
    ::testing::Values(PathCase {"cal/W44.bin", 44100.0f}, PathCase {"cal/vel48.bin", 48000.0f},
                      PathCase {"cal/x_w88_y.bin", 88200.0f}, PathCase {"cal/VeL96", 96000.0f},
                      PathCase {"W176", 176400.0f}, PathCase {"vel192", 192000.0f},
                      PathCase {"a/W353/b.bin", 352800.0f}, PathCase {"VEL384.bin", 384000.0f},
                      PathCase {"W48_VEL96.bin", 96000.0f}, PathCase {"VEL96_W48.bin", 96000.0f},
                      PathCase {"w384/w44.bin", 384000.0f}, PathCase {"mic/coeffs.bin", 0.0f}, PathCase {"", 0.0f}));

TEST(RateKeyFromPathLimit, SearchesOnlyTheFirst1024Characters)
{
    EXPECT_EQ(rateKeyFromPath(std::string(1021, 'a') + "W48"), 48000.0f);
    EXPECT_EQ(rateKeyFromPath(std::string(1022, 'a') + "W48"), 0.0f);
}

} // namespace
