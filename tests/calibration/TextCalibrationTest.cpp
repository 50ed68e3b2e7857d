// Text calibration files: line pieces, the band-width search, every key with its conversion, the
// forward-only key scan and its consequences, the coefficient block and the filter set.
#include "calibration/TextCalibration.h"

#include "CalibrationTestSupport.h"

#include <clocale>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

using namespace caltest;

// ---------------------------------------------------------------------------------------------
// readLine

// Writes text to an anonymous file and returns it rewound.
File fileWith(const std::string& text)
{
    File file(std::tmpfile());
    std::fwrite(text.data(), 1, text.size(), file.get());
    std::rewind(file.get());
    return file;
}

struct PieceCase {
    const char* what;
    std::string text;
    std::vector<std::string> pieces;
};

class ReadLinePieces : public ::testing::TestWithParam<PieceCase> {};

TEST_P(ReadLinePieces, SplitTheFileAsTheFormatReadsIt)
{
    const PieceCase& c = GetParam();
    File file = fileWith(c.text);
    char line[kLineSize];
    std::strcpy(line, "previous");
    std::vector<std::string> pieces;
    while (readLine(file.get(), line))
        pieces.emplace_back(line);
    EXPECT_EQ(pieces, c.pieces);
    // The end of the file leaves the current line as it was.
    EXPECT_STREQ(line, c.pieces.empty() ? "previous" : c.pieces.back().c_str());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadLinePieces,
    ::testing::Values(
        PieceCase {"LineBreaksStayInTheLine", "abc\ndef\n", {"abc\n", "def\n"}},
        PieceCase {"ALastLineWithoutBreakIsALine", "abc\ndef", {"abc\n", "def"}},
        PieceCase {"CarriageReturnEndsALineAndTheLineFeedFormsABlankOne", "abc\r\ndef\r\n",
                   {"abc\r", "\n", "def\r", "\n"}},
        PieceCase {"AHundredCharactersAreSeenAs79And21", std::string(100, 'x') + "\n",
                   {std::string(79, 'x'), std::string(21, 'x') + "\n"}},
        PieceCase {"Exactly79CharactersLeaveTheBreakAsALineOfItsOwn", std::string(79, 'y') + "\n",
                   {std::string(79, 'y'), "\n"}},
        PieceCase {"AnEmptyFileReadsNothing", "", {}},
        PieceCase {"BlankLinesAreLines", "\n\n", {"\n", "\n"}}),
    [](const auto& info) { return std::string(info.param.what); });

// ---------------------------------------------------------------------------------------------
// bandwidthToOctaves

class BandwidthSearch : public ::testing::TestWithParam<std::pair<double, double>> {};

TEST_P(BandwidthSearch, ConvergesToTheClosedFormWidthWithinTheSearchStep)
{
    const auto [f0, bw] = GetParam();
    // The last step applied is at most 0.0002 octave.
    EXPECT_NEAR(bandwidthToOctaves(f0, bw), octavesRef(f0, bw), 2e-4) << f0 << " Hz, " << bw << " Hz";
}

INSTANTIATE_TEST_SUITE_P(Bands, BandwidthSearch,
                         ::testing::Values(std::pair {1000.0, 1000.0}, std::pair {1000.0, 100.0},
                                           std::pair {20.0, 100.0}, std::pair {440.0, 1.0},
                                           std::pair {1000.0, 1.0e6}, std::pair {20000.0, 3.0e4},
                                           std::pair {0.5, 1.0e-3}));

TEST(BandwidthToOctaves, ReturnsTinyRatiosUnsearchedAndEndsForRatiosThatAreNotFinite)
{
    EXPECT_EQ(bandwidthToOctaves(1000.0, 0.1), 0.1 / 1000.0);
    EXPECT_EQ(bandwidthToOctaves(1000.0, -50.0), -50.0 / 1000.0);
    EXPECT_TRUE(std::isinf(bandwidthToOctaves(0.0, 100.0)));
    EXPECT_TRUE(std::isinf(bandwidthToOctaves(100.0, std::numeric_limits<double>::infinity())));
    EXPECT_TRUE(std::isnan(bandwidthToOctaves(100.0, std::nan(""))));
    EXPECT_TRUE(std::isnan(bandwidthToOctaves(0.0, 0.0)));
}

// ---------------------------------------------------------------------------------------------
// readTextCalibration

class TextCalibration : public ::testing::Test {
protected:
    // Writes text as <name>.txt in the folder and reads it into program and bank.
    void read(const std::string& text, const std::string& name = "Mic")
    {
        const fs::path path = folder / (name + ".txt");
        writeText(path, text);
        File file(std::fopen(path.c_str(), "r"));
        ASSERT_TRUE(file);
        readTextCalibration(file.get(), folder.str(), name, program, bank, &log.sink, path.string());
    }

    // Every value of program equal to reference except at the parameters listed.
    void expectUnchangedExcept(const std::vector<int>& changed)
    {
        for (int p = 0; p < param::kCount; ++p)
            if (std::find(changed.begin(), changed.end(), p) == changed.end()) {
                EXPECT_EQ(program.value(p), userProgram(2).value(p)) << "parameter " << p;
            }
    }
    void expectCapsules(int (*parameter)(int), float value)
    {
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(program.value(parameter(i)), value) << "capsule " << i + 1;
    }

    CTableIIRFilter* filterOf(int set, int channel)
    {
        return dynamic_cast<CTableIIRFilter*>(bank.filter(set, channel));
    }

    TempFolder folder;
    FilterBank bank = builtInBank();
    ProgramRecord program = userProgram(2);
    DiagnosticLog log;
    MessageCapture messages;
};

// Parameters that reading any file sets, before and after the keys.
const std::vector<int> kAlwaysSet = {param::kGainsLinked, param::kLocked, param::kCalibration,
                                               param::kPreMatrixFilterNumber, param::kPostMatrixFilterNumber,
                                               param::kLfEnabled, param::kEqsEnabled, param::kViewMode};

// All ten key lines in order: the coefficient block can only follow a file whose keys were all
// found, since a missing key's scan runs to the end of the file.
const std::string kKeys = "sens 0 0 0 0\nvsens 0 0 0 0\nEQ 0 0 0 0\nEQfreq 1000 1000 1000 1000\n"
                          "EQbw 100 100 100 100\nW 0\nX 0\nY 0\nZ 0\nLF 30 50\n";

TEST_F(TextCalibration, AnEmptyFileStillYieldsANamedProgramAndAFilterSetWithEmptyTables)
{
    read("");
    EXPECT_STREQ(program.name, "Mic");
    const float always[] = {0.0f, 0.0f, 0.0f, 0.0f, 3.0f / 7.0f, 1.0f, 1.0f, 0.0f};   // in kAlwaysSet's order
    for (std::size_t n = 0; n < kAlwaysSet.size(); ++n)
        EXPECT_EQ(program.value(kAlwaysSet[n]), always[n]) << "parameter " << kAlwaysSet[n];
    expectUnchangedExcept(kAlwaysSet);
    EXPECT_EQ(bank.count, 4);
    for (int k = 0; k < 4; ++k) {
        CTableIIRFilter* filter = filterOf(3, k);
        ASSERT_NE(filter, nullptr) << k;
        EXPECT_STREQ(filter->name, "Mic");
        EXPECT_EQ(filter->table()->size(), 0u);
    }
}

// With line feeds, and with CR LF, whose line feeds the reader sees as blank lines of their own.
class TextCalibrationAllKeys : public TextCalibration, public ::testing::WithParamInterface<const char*> {};

TEST_P(TextCalibrationAllKeys, SetEveryParameterWhenInOrder)
{
    std::string text;
    for (const char* line : {"sens 3 -1.5 0 2.25", "vsens -3 1 0.5 -12", "EQ 6 -6 1.5 0", "EQfreq 1000 0 250 20000",
                             "EQbw 500 100 0 2000", "W -3", "X 1.5", "Y -1", "Z 2", "LF 30 50", "W48 w48.flt", "",
                             "Vel48 vel48.flt"})
        text += std::string(line) + GetParam();
    writeBytes(folder / "Mic" / "w48.flt", coefficientFile({0.5f, 0.25f}, {-0.5f}));
    writeBytes(folder / "Mic" / "vel48.flt", coefficientFile({2.0f}, {0.1f}));
    read(text);
    // The file names end before the carriage return.
    EXPECT_EQ(filterOf(3, 0)->table()->numeratorLength(48000.0f), 2);
    EXPECT_EQ(filterOf(3, 1)->table()->numeratorLength(48000.0f), 1);
    EXPECT_TRUE(messages.texts.empty());
    const double sens[4] = {3, -1.5, 0, 2.25}, vsens[4] = {-3, 1, 0.5, -12}, eq[4] = {6, -6, 1.5, 0};
    const double freq[4] = {1000, 0, 250, 20000}, bw[4] = {500, 100, 0, 2000};
    for (int i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(program.value(param::capOutGain(i, 0)), (sens[i] + 12) / 24) << i;
        for (int o = 1; o < 4; ++o)
            EXPECT_FLOAT_EQ(program.value(param::capOutGain(i, o)), (vsens[i] + 12) / 24) << i;
        EXPECT_FLOAT_EQ(program.value(param::capEqGain(i)), (eq[i] + 15) / 30) << i;
        const double freqValue = freq[i] == 0 ? 0.0 : eqFrequencyValueRef(freq[i]);
        EXPECT_FLOAT_EQ(program.value(param::capEqFreq(i)), freqValue) << i;
        // The width is found at the capsule's centre as the program holds it.
        const double width = bw[i] == 0 ? 0.0 : octavesRef(eqCentreHzRef(freqValue), bw[i]) / 5;
        EXPECT_NEAR(program.value(param::capEqWidth(i)), width, 5e-5) << i;
    }
    EXPECT_FLOAT_EQ(program.value(param::outputGain(0)), (-3.0 + 18) / 30);
    EXPECT_FLOAT_EQ(program.value(param::outputGain(1)), (1.5 + 15) / 30);
    EXPECT_FLOAT_EQ(program.value(param::outputGain(2)), (-1.0 + 15) / 30);
    EXPECT_FLOAT_EQ(program.value(param::outputGain(3)), (2.0 + 15) / 30);
    EXPECT_FLOAT_EQ(program.value(param::kLfCutFreq), lfFrequencyValueRef(30));
    EXPECT_FLOAT_EQ(program.value(param::kLfBoostFreq), lfFrequencyValueRef(50));
    EXPECT_EQ(program.value(param::kPostMatrixFilterNumber), 3.0f / 7.0f);
    // Untouched by any key: the links, the matrix switch, the capsule, the meters.
    for (int p : {param::kEqsLinked, param::kAbMatrixEnabled, param::kCurrentCapsule, param::kDisplayVU})
        EXPECT_EQ(program.value(p), userProgram(2).value(p)) << p;
    EXPECT_TRUE(log.find({}, "not found").empty());
}

INSTANTIATE_TEST_SUITE_P(LineEnds, TextCalibrationAllKeys, ::testing::Values("\n", "\r\n"));

// One key line alone in a file: the scans before it run to the end of the file, and each later
// key is then tried against this, the last, line.
struct KeyCase {
    const char* what;
    const char* line;
    std::vector<std::pair<int, double>> expected;   // parameter, value
};

class TextCalibrationKey : public TextCalibration, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(TextCalibrationKey, StoresItsConvertedValuesAndNothingElse)
{
    const KeyCase& c = GetParam();
    read(c.line);
    std::vector<int> changed(kAlwaysSet);
    for (const auto& [p, v] : c.expected) {
        EXPECT_NEAR(program.value(p), v, 1e-6 * std::max(1.0, std::fabs(v)) + 5e-5 * (p % 7 == 1))
            << "parameter " << p;
        changed.push_back(p);
    }
    expectUnchangedExcept(changed);
}

std::vector<std::pair<int, double>> perCapsule(int (*parameter)(int), std::initializer_list<double> values)
{
    std::vector<std::pair<int, double>> out;
    int i = 0;
    for (double v : values)
        out.emplace_back(parameter(i++), v);
    return out;
}

int out1(int i) { return param::capOutGain(i, 0); }

std::vector<std::pair<int, double>> vsensExpected(std::initializer_list<double> dB)
{
    std::vector<std::pair<int, double>> out;
    int i = 0;
    for (double v : dB) {
        for (int o = 1; o < 4; ++o)
            out.emplace_back(param::capOutGain(i, o), (v + 12) / 24);
        ++i;
    }
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Keys, TextCalibrationKey,
    ::testing::Values(
        KeyCase {"VsensGoesToOutputs2To4", "vsens -6 0 6 12\n", vsensExpected({-6, 0, 6, 12})},
        KeyCase {"EqGain", "EQ -15 0 7.5 15\n", perCapsule(param::capEqGain, {0.0, 0.5, 0.75, 1.0})},
        KeyCase {"EqFreqZeroIs20Hz", "EQfreq 20000 0 632.455532 20\n",
                 perCapsule(param::capEqFreq, {1.0, 0.0, eqFrequencyValueRef(632.455532), 0.0})},
        KeyCase {"EqBandwidthAtTheDefaultCentreOf20Hz", "EQbw 20 0 100 5\n",
                 perCapsule(param::capEqWidth, {octavesRef(20, 20) / 5, 0.0, octavesRef(20, 100) / 5,
                                                octavesRef(20, 5) / 5})},
        KeyCase {"WUses18NotFifteen", "W -3\n", {{param::outputGain(0), 0.5}}},
        KeyCase {"YGain", "Y -15\n", {{param::outputGain(2), 0.0}}},
        KeyCase {"ZGain", "Z 15\n", {{param::outputGain(3), 1.0}}},
        KeyCase {"LfCornersOnTheLfScale", "LF 250 20\n", {{param::kLfCutFreq, 1.0}, {param::kLfBoostFreq, 0.0}}},
        KeyCase {"SignsExponentsAndBareFractions", "sens +1.5e1 -.5 2. -1E-1\n",
                 perCapsule(out1, {27.0 / 24, 11.5 / 24, 14.0 / 24, 11.9 / 24})},
        KeyCase {"TabsAndNoBlanksBetweenKeyAndNumber", "sens\t1\t\t2 3 4\n",
                 perCapsule(out1, {13.0 / 24, 14.0 / 24, 15.0 / 24, 16.0 / 24})},
        KeyCase {"NumbersStopAtTheFirstThatDoesNotConvert", "sens 1 2 x 4\n", perCapsule(out1, {13.0 / 24, 14.0 / 24})},
        KeyCase {"ANumberBeyondFloatRangeKeepsItsValueAndTheRestConvert", "sens 1e39 2 3 4\n",
                 {{out1(1), 14.0 / 24}, {out1(2), 15.0 / 24}, {out1(3), 16.0 / 24}}},
        KeyCase {"InfinityAndNanAreNotNumbers", "sens inf nan 1 1\n", {}},
        KeyCase {"AnEqFrequencyBelowZeroKeepsItsValue", "EQfreq -100 1000 0 0\n",
                 {{param::capEqFreq(1), eqFrequencyValueRef(1000)}, {param::capEqFreq(2), 0.0}, {param::capEqFreq(3), 0.0}}},
        KeyCase {"AnEqBandwidthBelowZeroKeepsItsValue", "EQbw -100 0 0 0\n",
                 {{param::capEqWidth(1), 0.0}, {param::capEqWidth(2), 0.0}, {param::capEqWidth(3), 0.0}}},
        KeyCase {"LfOfZeroOrBelowKeepsItsValue", "LF 0 -30\n", {}},
        KeyCase {"AnXLineOfOnlyTheLetterIsNotParsed", "X\n", {}},
        KeyCase {"AnXLineWithoutABreakIsParsed", "X 3", {{param::outputGain(1), 18.0 / 30}}},
        KeyCase {"ACharacterSetMatchWithoutTheKeyTextSetsNothing", "nses 3 3 3 3\n", {}},
        KeyCase {"ATinyNumberBecomesZeroInsteadOfFailing", "W 1e-60\n", {{param::outputGain(0), 18.0 / 30}}}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(TextCalibration, AVsensLineBeforeTheSensLineIsNeverSeenButOneAfterItIs)
{
    read("vsens -6 -6 -6 -6\nsens 3 3 3 3\n");
    for (int o = 1; o < 4; ++o)
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(program.value(param::capOutGain(i, o)), 0.5f);
    ASSERT_FALSE(log.find("sens", "passed over").empty());
    EXPECT_EQ(log.find("sens", "passed over")[0].line, 1);
    program = userProgram(2);
    read("vsens -6 -6 -6 -6\nsens 3 3 3 3\nvsens 6 6 6 6\n");
    expectCapsules(out1, 0.625f);
    for (int o = 1; o < 4; ++o)
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(program.value(param::capOutGain(i, o)), 0.75f);
}

TEST_F(TextCalibration, KeysOutOfOrderAreLostOnceAnEarlierKeyWasFoundAfterThem)
{
    read("LF 30 50\nW 3\nsens 3 3 3 3\n");
    EXPECT_EQ(program.value(param::kLfCutFreq), 1.0f);
    EXPECT_EQ(program.value(param::kLfBoostFreq), 0.0f);
    EXPECT_EQ(program.value(param::outputGain(0)), 0.5f);
    EXPECT_EQ(program.value(param::capOutGain(0, 0)), 0.625f);
    // "sens" was found on line 3; every later key ran to the end of the file.
    EXPECT_EQ(log.find("LF", "not found").size(), 1u);
}

TEST_F(TextCalibration, AMissingEqLineLetsTheEqScanConsumeTheEqfreqLine)
{
    read("EQfreq 1000 1000 1000 1000\nEQbw 100 100 100 100\n");
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(program.value(param::capEqGain(i)), 0.5f) << i;   // "EQ %f" fails on "EQfreq"
        EXPECT_EQ(program.value(param::capEqFreq(i)), 0.0f) << i;   // the line was taken by "EQ"
        // "EQbw" is the last line, so its scan still finds it, at the default centre of 20 Hz.
        EXPECT_NEAR(program.value(param::capEqWidth(i)), octavesRef(20, 100) / 5, 5e-5) << i;
    }
    EXPECT_FALSE(log.find("EQ", "did not convert").empty());
    EXPECT_FALSE(log.find("EQfreq", "not found").empty());
}

TEST_F(TextCalibration, AWCoefficientLineWithoutAWGainLineIsTakenAsTheGainLine)
{
    fs::create_directories(folder / "Mic");
    writeBytes(folder / "Mic" / "mic_w48.flt", coefficientFile({1.0f}, {}));
    read("sens 0 0 0 0\nvsens 0 0 0 0\nEQ 0 0 0 0\nEQfreq 1000 1000 1000 1000\nEQbw 100 100 100 100\n"
         "X 3\nY 3\nZ 3\nLF 30 50\nW48 mic_w48.flt\nVel48 mic_vel48.flt\n");
    // "W %f" reads the 48 of "W48".
    EXPECT_FLOAT_EQ(program.value(param::outputGain(0)), (48.0f + 18.0f) / 30.0f);
    for (int o = 1; o < 4; ++o)
        EXPECT_EQ(program.value(param::outputGain(o)), 0.5f) << o;
    EXPECT_EQ(program.value(param::kLfCutFreq), 1.0f);
    // The file is exhausted: no coefficient block, so no file was loaded.
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(filterOf(3, k)->table()->size(), 0u) << k;
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(TextCalibration, ReadsLongLinesIn79CharacterPieces)
{
    // The second piece of a long line is a line of its own, and here it is the key line.
    read(std::string(79, '#') + "sens 3 3 3 3\n" + std::string(150, '-') + "\nW 3\n");
    EXPECT_EQ(program.value(param::capOutGain(0, 0)), 0.625f);
    // "W 3" is the last line, which every key after the missing "vsens" is tried against.
    EXPECT_FLOAT_EQ(program.value(param::outputGain(0)), 0.7f);
    // A key line whose numbers fall into its second piece gets none.
    program = userProgram(2);
    read("sens" + std::string(80, ' ') + "3 3 3 3\n");
    expectCapsules(out1, 0.5f);
}

TEST_F(TextCalibration, LoadsTheCoefficientBlockIntoTheWTableAndTheSharedVelocityTable)
{
    writeBytes(folder / "Mic" / "mic_W48.flt", coefficientFile({0.5f, 0.25f, 0.125f}, {-0.9f, 0.2f}));
    writeBytes(folder / "Mic" / "mic_vel48.flt", coefficientFile({1.0f}, {0.3f}));
    writeBytes(folder / "Mic" / "mic_vel96.flt", coefficientFile({2.0f, 3.0f}, {}));
    read(kKeys + "a note before the block\nW48 mic_W48.flt\n\nVel48 mic_vel48.flt\nVel96 mic_vel96.flt\n");
    CTableIIRFilter* w = filterOf(3, 0);
    ASSERT_NE(w, nullptr);
    CFilterCoefficients* velocity = filterOf(3, 1)->table();
    EXPECT_NE(w->table(), velocity);
    for (int k = 1; k < 4; ++k) {
        EXPECT_EQ(filterOf(3, k)->table(), velocity) << k;
        EXPECT_EQ(filterOf(3, k)->coefficients, velocity) << k;
    }
    EXPECT_EQ(w->table()->size(), 1u);
    EXPECT_EQ(velocity->size(), 2u);

    // The filter fetches the file's arrays when its rate is set.
    w->setSampleRate(48000.0f);
    ASSERT_EQ(w->numCount, 3);
    ASSERT_EQ(w->denCount, 2);
    EXPECT_EQ(w->num[1], 0.25f);
    EXPECT_EQ(w->den[0], -0.9f);
    EXPECT_EQ(velocity->numeratorLength(96000.0f), 2);
    EXPECT_EQ(velocity->numerator(96000.0f)[1], 3.0f);
    EXPECT_TRUE(messages.texts.empty());
    EXPECT_EQ(log.find({}, "passed over before the coefficient block").size(), 1u);
}

struct BlockLineCase {
    const char* what;
    const char* lines;    // the lines after "LF"
    bool loadsW;
    bool loadsVelocity;
};

class CoefficientBlockLine : public TextCalibration, public ::testing::WithParamInterface<BlockLineCase> {};

TEST_P(CoefficientBlockLine, IsTakenByItsLeadingCharacters)
{
    const BlockLineCase& c = GetParam();
    writeBytes(folder / "Mic" / "c_w48.flt", coefficientFile({1.0f}, {}));
    read(kKeys + c.lines);
    EXPECT_EQ(filterOf(3, 0)->table()->contains(48000.0f), c.loadsW);
    EXPECT_EQ(filterOf(3, 1)->table()->contains(48000.0f), c.loadsVelocity);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CoefficientBlockLine,
    ::testing::Values(BlockLineCase {"WAndAnyFirstWord", "Wanything c_w48.flt\n", true, false},
                      BlockLineCase {"VelocityWord", "Vel c_w48.flt\n", false, true},
                      BlockLineCase {"VelocityByCharacterSet", "leV c_w48.flt\n", false, true},
                      BlockLineCase {"TheLastLineWithoutABreak", "Vel48 c_w48.flt", false, true},
                      BlockLineCase {"DoubleWStartsTheBlockButEndsIt", "WW c_w48.flt\n", false, false},
                      BlockLineCase {"FourVelocityCharactersStartTheBlockButEndIt", "Vell c_w48.flt\n", false, false},
                      BlockLineCase {"AForeignLineEndsTheBlock", "W48 c_w48.flt\nend of block\nVel48 c_w48.flt\n", true, false},
                      BlockLineCase {"ASecondWordIsNeeded", "W48\n", false, false},
                      BlockLineCase {"LowerCaseWIsNoWLine", "w48 c_w48.flt\n", false, false}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(TextCalibration, AMissingCoefficientFileIsReportedAndLeavesAnEmptyEntryForItsRate)
{
    read(kKeys + "W48 missing_w48.flt\n");
    ASSERT_EQ(messages.texts.size(), 1u);
    const std::string expected = "Failed to open Harl filter coefficients file: "
                                 + (folder / "Mic" / "missing_w48.flt").string();
    EXPECT_EQ(messages.texts[0], expected);
    EXPECT_TRUE(filterOf(3, 0)->table()->contains(48000.0f));
    EXPECT_EQ(filterOf(3, 0)->table()->numeratorLength(48000.0f), 0);
}

TEST_F(TextCalibration, ACoefficientPathLongerThanItsBufferLoadsNothing)
{
    // A folder deep enough that folder/Mic/<file> passes 1023 characters.
    fs::path deep = folder.path;
    while (deep.string().size() < 1010)
        deep /= std::string(120, 'd');
    fs::create_directories(deep);
    const std::string file = "long_w48.flt";
    ASSERT_GT(deep.string().size() + 5 + file.size(), 1023u);
    writeText(deep / "Mic.txt", kKeys + "W48 " + file + "\n");
    File handle(std::fopen((deep / "Mic.txt").c_str(), "r"));
    readTextCalibration(handle.get(), deep.string(), "Mic", program, bank, &log.sink);
    EXPECT_EQ(filterOf(3, 0)->table()->size(), 0u);
    EXPECT_TRUE(messages.texts.empty());
    EXPECT_EQ(log.find("W", "longer than 1023").size(), 1u);
}

TEST_F(TextCalibration, WithTheBankFullCreatesNoSetOpensNoFileAndNamesSetNone)
{
    bank.count = 8;
    read(kKeys + "W48 missing_w48.flt\n");
    EXPECT_EQ(bank.count, 9);
    for (int set = 3; set < FilterBank::kSets; ++set)
        EXPECT_FALSE(bank.hasSet(set)) << set;
    EXPECT_TRUE(messages.texts.empty());
    EXPECT_EQ(program.value(param::kPostMatrixFilterNumber), 0.0f);
    EXPECT_FLOAT_EQ(program.value(param::capEqFreq(0)), eqFrequencyValueRef(1000));
}

TEST_F(TextCalibration, ReportsPassedOverLinesWithTheirPhysicalLineNumbers)
{
    read("junk\r\nsens 1 1 1 1\r\nmore junk\r\nvsens 2 2 2 2\r\n");
    const auto junk = log.find("sens", "passed over");
    ASSERT_EQ(junk.size(), 2u);   // "junk" and the blank piece of its CR LF
    EXPECT_EQ(junk[0].line, 1);
    EXPECT_EQ(junk[1].line, 1);
    const auto more = log.find("vsens", "\"more junk\"");
    ASSERT_EQ(more.size(), 1u);
    EXPECT_EQ(more[0].line, 3);
    EXPECT_EQ(more[0].file, (folder / "Mic.txt").string());
    const auto eq = log.find("EQ", "not found");
    ASSERT_EQ(eq.size(), 1u);
    EXPECT_EQ(eq[0].line, 4);
}

TEST_F(TextCalibration, ALineShorterThanTheKeyDoesNotMatchIt)
{
    // "L" is the last line: each of its characters is in "LF", but it has fewer than two.
    read("sens 1 1 1 1\nL");
    EXPECT_EQ(log.find("LF", "not found").size(), 1u);
    EXPECT_TRUE(log.find("LF", "did not convert").empty());
}

TEST_F(TextCalibration, AFileThatFailsWhileReadingEndsEveryScan)
{
    // A folder opens as a file on Linux, but every read of it fails.
    File file(std::fopen(folder.path.c_str(), "r"));
    ASSERT_TRUE(file);
    readTextCalibration(file.get(), folder.str(), "Folder", program, bank, &log.sink);
    EXPECT_STREQ(program.name, "Folder");
    EXPECT_EQ(bank.count, 4);
    EXPECT_EQ(log.find({}, "not found").size(), 10u);
}

// Hosts may run under a locale whose decimal separator is a comma; files keep the point.
class TextCalibrationCommaLocale : public TextCalibration {
protected:
    void SetUp() override
    {
        previous = std::setlocale(LC_ALL, nullptr);
        if (std::setlocale(LC_ALL, "de_DE.UTF-8"))
            return;
        const auto locales = fs::temp_directory_path() / "sonquad-locales";
        fs::create_directories(locales);
        const std::string command = "localedef -i de_DE -f UTF-8 " + (locales / "de_DE.UTF-8").string() + " 2>/dev/null";
        if (std::system(command.c_str()) == 0) {
            setenv("LOCPATH", locales.c_str(), 1);
            if (std::setlocale(LC_ALL, "de_DE.UTF-8"))
                return;
        }
        GTEST_SKIP() << "no comma locale can be made on this machine";
    }
    void TearDown() override { std::setlocale(LC_ALL, previous.c_str()); }
    std::string previous;
};

TEST_F(TextCalibrationCommaLocale, ReadsNumbersWithADecimalPoint)
{
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    ASSERT_STREQ(probe, "1,5") << "the test locale does not use a comma";
    read("sens 1.5 -2.25 0.5 3.75\nLF 30.5 50\n");
    const double dB[4] = {1.5, -2.25, 0.5, 3.75};
    for (int i = 0; i < 4; ++i)
        EXPECT_FLOAT_EQ(program.value(param::capOutGain(i, 0)), (dB[i] + 12) / 24);
    EXPECT_FLOAT_EQ(program.value(param::kLfCutFreq), lfFrequencyValueRef(30.5));
}

} // namespace
