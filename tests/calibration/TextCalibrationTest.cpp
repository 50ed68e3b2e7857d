// Text calibrations: the forward-only key scan in 79-character pieces, the coefficient block.
#include "calibration/TextCalibration.h"

#include "CalibrationFixture.h"


namespace {

using namespace fixture;
using fixture::PrintTo;
using Values = std::vector<std::pair<int, double>>;   // parameter, stored value

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

class TextCalibration : public ::testing::Test {
protected:
    void read(const std::string& text)
    {
        writeText(folder / "Mic.txt", text);
        File file(std::fopen((folder / "Mic.txt").c_str(), "r"), &std::fclose);
        readTextCalibration(file.get(), folder.str(), "Mic", program, bank, &log.sink, (folder / "Mic.txt").string());
    }
    CTableIIRFilter* filter(int channel) { return dynamic_cast<CTableIIRFilter*>(bank.filter(3, channel)); }
    TempFolder folder;
    FilterBank bank = builtInBank();
    ProgramRecord program = userProgram(2);
    DiagnosticLog log;
    MessageCapture messages;
};

// Reading any file sets these: links and lock off, set 3 after the matrix, LF and EQs on.
const Values kEveryFile = {{param::kGainsLinked, 0}, {param::kLocked, 0}, {param::kCalibration, 0},
                           {param::kPreMatrixFilterNumber, 0}, {param::kPostMatrixFilterNumber, 3.0 / 7},
                           {param::kLfEnabled, 1}, {param::kEqsEnabled, 1}, {param::kViewMode, 0}};

struct KeyCase {
    const char* name;
    std::string text;
    Values changed;   // besides kEveryFile; every other value stays the slot's
};

Values capsules(int (*parameter)(int), std::initializer_list<double> values)
{
    Values out;
    for (double v : values)
        out.emplace_back(parameter(static_cast<int>(out.size())), v);
    return out;
}
int out1(int i) { return param::capOutGain(i, 0); }
const Values kOut1Raised = {{out1(0), 0.625}, {out1(1), 0.625}, {out1(2), 0.625}, {out1(3), 0.625}};
Values plus(Values a, const Values& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class TextCalibrationKeys : public TextCalibration, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(TextCalibrationKeys, StoreTheirValuesAndNothingElse)
{
    read(GetParam().text);
    EXPECT_STREQ(program.name, "Mic");
    ProgramRecord want = userProgram(2);
    for (const auto& [p, v] : plus(kEveryFile, GetParam().changed))
        want.value(p) = static_cast<float>(v);
    for (int p = 0; p < param::kCount; ++p)
        EXPECT_NEAR(program.value(p), want.value(p), 2e-6 + (p >= 14 && p < 42 && (p - 14) % 7 == 1 ? 5e-5 : 0.0)) << "parameter " << p;
}

const std::string kAllKeys = "sens 3 -1.5 0 2.25\nvsens -3 1 0.5 -12\nEQ 6 -6 1.5 0\nEQfreq 1000 0 250 20000\n"
                             "EQbw 500 100 0 2000\nW -3\nX 1.5\nY -1\nZ 2\nLF 30 50\n";
std::string crlf(std::string text)
{
    for (std::size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 2)
        text.insert(at, "\r");
    return text;
}
Values allKeys()
{
    Values v = plus(capsules(out1, {15.0 / 24, 10.5 / 24, 0.5, 14.25 / 24}), capsules(param::capEqGain, {0.7, 0.3, 0.55, 0.5}));
    const double vsens[4] = {9.0 / 24, 13.0 / 24, 12.5 / 24, 0.0};
    for (int i = 0; i < 4; ++i)
        for (int o = 1; o < 4; ++o)
            v.emplace_back(param::capOutGain(i, o), vsens[i]);
    v = plus(v, capsules(param::capEqFreq, {eqFrequencyValue(1000), 0, eqFrequencyValue(250), 1}));
    // Widths at the capsule's centre as stored: 1000 Hz, 20 Hz, 250 Hz, 20 kHz.
    v = plus(v, capsules(param::capEqWidth, {octaves(1000, 500) / 5, octaves(20, 100) / 5, 0, octaves(20000, 2000) / 5}));
    return plus(v, {{param::outputGain(0), 0.5}, {param::outputGain(1), 16.5 / 30}, {param::outputGain(2), 14.0 / 30},
                    {param::outputGain(3), 17.0 / 30}, {param::kLfCutFreq, lfFrequencyValue(30)},
                    {param::kLfBoostFreq, lfFrequencyValue(50)}});
}

INSTANTIATE_TEST_SUITE_P(
    Files, TextCalibrationKeys,
    ::testing::Values(
        KeyCase {"Empty", "", {}},
        KeyCase {"AllKeysInOrder", kAllKeys, allKeys()},
        KeyCase {"AllKeysWithCrLf", crlf(kAllKeys), allKeys()},
        KeyCase {"EqGain", "EQ -15 0 7.5 15\n", capsules(param::capEqGain, {0.0, 0.5, 0.75, 1.0})},
        KeyCase {"WUses18", "W -3\n", {{param::outputGain(0), 0.5}}},
        KeyCase {"LfOnItsOwnScale", "LF 250 20\n", {{param::kLfCutFreq, 1.0}, {param::kLfBoostFreq, 0.0}}},
        KeyCase {"NumberForms", "sens +1.5e1 -.5 2. -1E-1\n", capsules(out1, {27.0 / 24, 11.5 / 24, 14.0 / 24, 11.9 / 24})},
        KeyCase {"TabsAndNoBlank", "sens\t1\t\t2 3 4\n", capsules(out1, {13.0 / 24, 14.0 / 24, 15.0 / 24, 16.0 / 24})},
        KeyCase {"StopsAtANonNumber", "sens 1 2 x 4\n", capsules(out1, {13.0 / 24, 14.0 / 24})},
        KeyCase {"BeyondFloatKeepsOne", "sens 1e39 2 3 4\n", {{out1(1), 14.0 / 24}, {out1(2), 15.0 / 24}, {out1(3), 16.0 / 24}}},
        KeyCase {"InfAndNanAreNoNumbers", "sens inf nan 1 1\n", {}},
        KeyCase {"NegativeEqFrequencyKept", "EQfreq -100 1000 0 0\n", {{param::capEqFreq(1), eqFrequencyValue(1000)}}},
        KeyCase {"NegativeBandwidthKept", "EQbw -100 0 0 0\n", {}},
        KeyCase {"LfAtZeroKept", "LF 0 -30\n", {}},
        KeyCase {"BareLetterIsNoLine", "X\n", {}},
        KeyCase {"LastLineWithoutBreak", "X 3", {{param::outputGain(1), 18.0 / 30}}},
        KeyCase {"CharacterSetWithoutKeyText", "nses 3 3 3 3\n", {}},
        KeyCase {"TinyNumberIsZero", "W 1e-60\n", {{param::outputGain(0), 0.6}}},
        KeyCase {"VsensBeforeSensIsNeverSeen", "vsens -6 -6 -6 -6\nsens 3 3 3 3\n", kOut1Raised},
        KeyCase {"KeysBeforeAnEarlierKeyAreLost", "LF 30 50\nW 3\nsens 3 3 3 3\n", kOut1Raised},
        // "EQ %f" fails on the EQfreq line and takes it; EQbw, the last line, is found at 20 Hz.
        KeyCase {"MissingEqLineTakesEqfreq", "EQfreq 1000 1000 1000 1000\nEQbw 100 100 100 100\n",
                 capsules(param::capEqWidth, {octaves(20, 100) / 5, octaves(20, 100) / 5, octaves(20, 100) / 5, octaves(20, 100) / 5})},
        // The second piece of a long line is a line; "W 3" is the last line every later key tries.
        KeyCase {"LongLinesInPieces", std::string(79, '#') + "sens 3 3 3 3\n" + std::string(150, '-') + "\nW 3\n",
                 plus(kOut1Raised, {{param::outputGain(0), 0.7}})},
        KeyCase {"NumbersInTheSecondPiece", "sens" + std::string(80, ' ') + "3 3 3 3\n", {}},
        // Without a W gain line "W %f" reads the 48 of the coefficient line, and no block is left.
        KeyCase {"WCoefficientLineIsTheGainLine", "sens 0 0 0 0\nX 3\nW48 mic_w48.flt\n", {{param::outputGain(0), 2.2}}}),
    [](const auto& info) { return std::string(info.param.name); });

const std::string kKeys = "sens 0 0 0 0\nvsens 0 0 0 0\nEQ 0 0 0 0\nEQfreq 1000 1000 1000 1000\n"
                          "EQbw 100 100 100 100\nW 0\nX 0\nY 0\nZ 0\nLF 30 50\n";

TEST_F(TextCalibration, LoadsTheBlockIntoTheWTableAndOneVelocityTableForXYZ)
{
    writeBytes(folder / "Mic" / "mic_W48.flt", coefficientFile({0.5f, 0.25f, 0.125f}, {-0.9f, 0.2f}));
    writeBytes(folder / "Mic" / "mic_vel48.flt", coefficientFile({1.0f}, {0.3f}));
    writeBytes(folder / "Mic" / "mic_vel96.flt", coefficientFile({2.0f, 3.0f}, {}));
    read(crlf(kKeys + "a note\nW48 mic_W48.flt\n\nVel48 mic_vel48.flt\nVel96 mic_vel96.flt\n"));
    ASSERT_NE(filter(0), nullptr);
    CFilterCoefficients* velocity = filter(1)->table();
    EXPECT_NE(filter(0)->table(), velocity);
    for (int k = 2; k < 4; ++k)
        EXPECT_EQ(filter(k)->table(), velocity) << k;
    EXPECT_EQ(filter(0)->table()->size(), 1u);
    EXPECT_EQ(velocity->size(), 2u);
    filter(0)->setSampleRate(48000.0f);
    ASSERT_EQ(filter(0)->numCount, 3);
    ASSERT_EQ(filter(0)->denCount, 2);
    EXPECT_EQ(filter(0)->num[1], 0.25f);
    EXPECT_EQ(filter(0)->den[0], -0.9f);
    EXPECT_EQ(velocity->numerator(96000.0f)[1], 3.0f);
    EXPECT_STREQ(filter(3)->name, "Mic");
    EXPECT_EQ(bank.count, 4);
    EXPECT_TRUE(messages.texts.empty());
    EXPECT_EQ(log.find({}, "passed over before the coefficient block").size(), 3u);   // the note and two CR LF pieces
}

struct BlockCase {
    const char* name;
    const char* lines;   // after the key lines
    bool w, velocity;
};

class CoefficientBlockLine : public TextCalibration, public ::testing::WithParamInterface<BlockCase> {};

TEST_P(CoefficientBlockLine, IsTakenByItsLeadingCharacters)
{
    writeBytes(folder / "Mic" / "c_w48.flt", coefficientFile({1.0f}, {}));
    read(kKeys + GetParam().lines);
    EXPECT_EQ(filter(0)->table()->contains(48000.0f), GetParam().w);
    EXPECT_EQ(filter(1)->table()->contains(48000.0f), GetParam().velocity);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CoefficientBlockLine,
    ::testing::Values(BlockCase {"WAndAnyWord", "Wanything c_w48.flt\n", true, false},
                      BlockCase {"VelocityByCharacterSet", "leV c_w48.flt\n", false, true},
                      BlockCase {"LastLineWithoutBreak", "Vel48 c_w48.flt", false, true},
                      BlockCase {"DoubleWEndsTheBlock", "WW c_w48.flt\n", false, false},
                      BlockCase {"FourVelocityCharactersEndIt", "Vell c_w48.flt\n", false, false},
                      BlockCase {"AForeignLineEndsIt", "W48 c_w48.flt\nend\nVel48 c_w48.flt\n", true, false},
                      BlockCase {"NoFileName", "W48\n", false, false},
                      BlockCase {"LowerCaseW", "w48 c_w48.flt\n", false, false}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
