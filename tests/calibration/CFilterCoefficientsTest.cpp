#include "calibration/CFilterCoefficients.h"

#include "dsp/CIIRFilter.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Collects the texts shown through the platform message function.
class MessageCapture {
public:
    MessageCapture() { platform::setMessageSink(&MessageCapture::collect, this); }
    ~MessageCapture() { platform::setMessageSink(nullptr, nullptr); }
    std::vector<std::string> texts;

private:
    static void collect(void* context, const char* caption, const char* text)
    {
        EXPECT_STREQ(caption, "SonquadVST");
        static_cast<MessageCapture*>(context)->texts.emplace_back(text);
    }
};

// Writes a coefficient file byte by byte, little-endian, as the format lays it out.
struct FileImage {
    std::vector<unsigned char> bytes;
    void u16(std::uint16_t v)
    {
        bytes.push_back(static_cast<unsigned char>(v & 0xff));
        bytes.push_back(static_cast<unsigned char>(v >> 8));
    }
    void u32(std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<unsigned char>((v >> (8 * i)) & 0xff));
    }
    void f32(float v)
    {
        std::uint32_t bits;
        std::memcpy(&bits, &v, 4);
        u32(bits);
    }
};

FileImage coefficientFile(std::int16_t denLength, std::int16_t numLength,
                          const std::vector<float>& num, const std::vector<float>& den)
{
    FileImage image;
    image.u32(0xdeadbeef);   // header word, not used
    image.u16(static_cast<std::uint16_t>(denLength));
    image.u16(static_cast<std::uint16_t>(numLength));
    for (float v : num)
        image.f32(v);
    for (float v : den)
        image.f32(v);
    return image;
}

class CFilterCoefficientsFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        static int counter = 0;
        dir = fs::temp_directory_path()
              / ("sonquad-coefficients-" + std::to_string(reinterpret_cast<std::uintptr_t>(this))
                 + "-" + std::to_string(++counter));
        fs::create_directories(dir / "MyMic");
        // The rate comes from the whole path, so the folder itself must name none.
        ASSERT_EQ(CFilterCoefficients::rateKeyFromPath(dir.string()), 0.0f) << dir;
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string write(const std::string& name, const FileImage& image)
    {
        const fs::path path = dir / "MyMic" / name;
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(image.bytes.data()),
                  static_cast<std::streamsize>(image.bytes.size()));
        return path.string();
    }

    static std::vector<float> values(const float* p, std::int32_t n)
    {
        return p ? std::vector<float>(p, p + n) : std::vector<float>{};
    }

    fs::path dir;
    CFilterCoefficients table;
    MessageCapture messages;
};

TEST_F(CFilterCoefficientsFiles, ReadsTheNumeratorBeforeTheDenominator)
{
    const std::string path =
        write("mic_W48.bin", coefficientFile(2, 3, {0.5f, -0.25f, 0.125f}, {-1.5f, 0.75f}));
    table.loadFile(path.c_str());
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(table.numeratorLength(48000.0f), 3);
    EXPECT_EQ(table.denominatorLength(48000.0f), 2);
    EXPECT_EQ(values(table.numerator(48000.0f), 3), (std::vector<float>{0.5f, -0.25f, 0.125f}));
    EXPECT_EQ(values(table.denominator(48000.0f), 2), (std::vector<float>{-1.5f, 0.75f}));
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(CFilterCoefficientsFiles, KeepsOneEntryPerRateInOneTable)
{
    table.loadFile(write("w44.bin", coefficientFile(1, 1, {1.0f}, {0.5f})).c_str());
    table.loadFile(write("Vel96.bin", coefficientFile(1, 2, {2.0f, 3.0f}, {0.25f})).c_str());
    EXPECT_EQ(table.size(), 2u);
    EXPECT_EQ(values(table.numerator(44100.0f), 1), std::vector<float>{1.0f});
    EXPECT_EQ(values(table.numerator(96000.0f), 2), (std::vector<float>{2.0f, 3.0f}));
}

TEST_F(CFilterCoefficientsFiles, ReplacesAnEntryWhenTheSameRateIsLoadedAgain)
{
    table.loadFile(write("a_W48.bin", coefficientFile(1, 1, {1.0f}, {0.5f})).c_str());
    table.loadFile(write("b_W48.bin", coefficientFile(2, 1, {7.0f}, {0.1f, 0.2f})).c_str());
    EXPECT_EQ(table.size(), 1u);
    EXPECT_EQ(values(table.numerator(48000.0f), 1), std::vector<float>{7.0f});
    EXPECT_EQ(values(table.denominator(48000.0f), 2), (std::vector<float>{0.1f, 0.2f}));
}

TEST_F(CFilterCoefficientsFiles, ShowsTheOpenFailureOnceAndLeavesEmptyEntriesForAMissingFile)
{
    const std::string path = (dir / "MyMic" / "absent_W88.bin").string();
    table.loadFile(path.c_str());
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_EQ(messages.texts[0], "Failed to open Harl filter coefficients file: " + path);
    ASSERT_TRUE(table.contains(88200.0f));
    EXPECT_NE(table.numerator(88200.0f), nullptr);
    EXPECT_NE(table.denominator(88200.0f), nullptr);
    EXPECT_EQ(table.numeratorLength(88200.0f), 0);

    // A filter at that rate finds lengths of 0: no further message, the signal passes.
    CIIRFilter filter;
    filter.setCoefficients(&table);
    filter.setSampleRate(88200.0f);
    EXPECT_EQ(messages.texts.size(), 1u);
    std::vector<float> x = {0.5f, -1.0f, 0.25f};
    filter.process(x.data(), 3);
    EXPECT_EQ(x, (std::vector<float>{0.5f, -1.0f, 0.25f}));
}

// Malformed files are refused like unopenable ones: the open-failure message and empty entries.
struct MalformedCase {
    const char* what;
    FileImage image;
};

class CFilterCoefficientsMalformed
    : public CFilterCoefficientsFiles,
      public ::testing::WithParamInterface<MalformedCase> {};

TEST_P(CFilterCoefficientsMalformed, RefusesTheFileWithTheOpenFailureMessage)
{
    // A good file first: the refusal replaces it.
    table.loadFile(write("good_W192.bin", coefficientFile(1, 1, {1.0f}, {0.5f})).c_str());
    const std::string path = write("bad_W192.bin", GetParam().image);
    table.loadFile(path.c_str());
    ASSERT_EQ(messages.texts.size(), 1u) << GetParam().what;
    EXPECT_EQ(messages.texts[0], "Failed to open Harl filter coefficients file: " + path);
    EXPECT_EQ(table.size(), 1u);
    EXPECT_EQ(table.numeratorLength(192000.0f), 0);
    EXPECT_EQ(table.denominatorLength(192000.0f), 0);
    EXPECT_NE(table.numerator(192000.0f), nullptr);
}

FileImage truncated(FileImage image, std::size_t keep)
{
    image.bytes.resize(keep);
    return image;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CFilterCoefficientsMalformed,
    ::testing::Values(
        MalformedCase{"DenominatorCutShort",
                      truncated(coefficientFile(2, 1, {1.0f}, {0.5f, 0.25f}), 14)},
        MalformedCase{"NumeratorCutShort",
                      truncated(coefficientFile(1, 3, {1.0f, 2.0f, 3.0f}, {0.5f}), 13)},
        MalformedCase{"LengthsMissing", truncated(coefficientFile(1, 1, {1.0f}, {0.5f}), 6)},
        MalformedCase{"EmptyFile", FileImage{}},
        MalformedCase{"NegativeDenominatorLength", coefficientFile(-1, 1, {1.0f}, {})},
        MalformedCase{"NegativeNumeratorLength", coefficientFile(1, -3, {}, {0.5f})},
        MalformedCase{"Length1025",
                      coefficientFile(1, 1025, std::vector<float>(1025, 0.1f), {0.5f})}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(CFilterCoefficientsFiles, AcceptsTheLongestLength)
{
    const std::vector<float> num(1024, 0.001f);
    table.loadFile(write("long_W384.bin", coefficientFile(1, 1024, num, {0.0f})).c_str());
    EXPECT_TRUE(messages.texts.empty());
    EXPECT_EQ(table.numeratorLength(384000.0f), 1024);
}

TEST_F(CFilterCoefficientsFiles, RefusesAPathWithoutARateCodeWithOneLineOnStandardError)
{
    const std::string path = write("nocode.bin", coefficientFile(1, 1, {1.0f}, {0.5f}));
    ::testing::internal::CaptureStderr();
    table.loadFile(path.c_str());
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(table.size(), 0u);
    EXPECT_TRUE(messages.texts.empty());
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find(path), std::string::npos);
}

// A CIIRFilter at a rate that was never loaded: one message per missing array, the rate right-
// aligned in six places without decimals, then the signal passes.
TEST_F(CFilterCoefficientsFiles, MakesAFilterAtAnUnloadedRateShowTwoMessagesAndPassTheSignal)
{
    table.loadFile(write("x_W48.bin", coefficientFile(1, 1, {2.0f}, {0.0f})).c_str());
    CIIRFilter filter;
    filter.setCoefficients(&table);
    filter.setSampleRate(44100.0f);
    EXPECT_EQ(messages.texts,
              (std::vector<std::string>(2, "No filter found for sampling rate  44100")));
    EXPECT_EQ(filter.numCount, 0);
    EXPECT_EQ(filter.denCount, 0);
    std::vector<float> x = {0.5f, -1.0f, 0.25f};
    filter.process(x.data(), 3);
    EXPECT_EQ(x, (std::vector<float>{0.5f, -1.0f, 0.25f}));

    filter.setSampleRate(352800.0f);
    ASSERT_EQ(messages.texts.size(), 4u);
    EXPECT_EQ(messages.texts[3], "No filter found for sampling rate 352800");
}

struct PathCase {
    const char* path;
    float rateHz;
};

class RateKeyFromPath : public ::testing::TestWithParam<PathCase> {};

TEST_P(RateKeyFromPath, FindsTheRateCodeAnywhereInThePathWithTheLaterCodeWinning)
{
    EXPECT_EQ(CFilterCoefficients::rateKeyFromPath(GetParam().path), GetParam().rateHz)
        << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(
    Paths, RateKeyFromPath,
    ::testing::Values(PathCase{"cal/W44.bin", 44100.0f}, PathCase{"cal/vel48.bin", 48000.0f},
                      PathCase{"cal/x_w88_y.bin", 88200.0f}, PathCase{"cal/VeL96", 96000.0f},
                      PathCase{"W176", 176400.0f}, PathCase{"vel192", 192000.0f},
                      PathCase{"a/W353/b.bin", 352800.0f}, PathCase{"VEL384.bin", 384000.0f},
                      PathCase{"W48_VEL96.bin", 96000.0f}, PathCase{"VEL96_W48.bin", 96000.0f},
                      PathCase{"w384/w44.bin", 384000.0f}, PathCase{"mic/coeffs.bin", 0.0f},
                      PathCase{"", 0.0f}));

TEST(RateKeyFromPathLimit, SearchesOnlyTheFirst1024Characters)
{
    EXPECT_EQ(CFilterCoefficients::rateKeyFromPath(std::string(1021, 'a') + "W48"), 48000.0f);
    EXPECT_EQ(CFilterCoefficients::rateKeyFromPath(std::string(1022, 'a') + "W48"), 0.0f);
}

} // namespace
