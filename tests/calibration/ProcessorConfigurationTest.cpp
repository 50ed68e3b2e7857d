// Processor configurations written by liblo: every message, each version, the version carried
// from file to file, a bad version, malformed and oddly typed messages, sets with missing
// channels, a full bank.
#include "calibration/ProcessorConfiguration.h"

#include "CalibrationTestSupport.h"
#include "dsp/CParaEQ2Band.h"
#include "dsp/CParaEQ3Band.h"

#include <cmath>
#include <string>
#include <typeinfo>
#include <vector>

namespace {

using namespace caltest;

double weightValueRef(double weight) { return (20.0 * std::log10(std::fabs(weight)) + 12.0) / 24.0; }

// The stored value rounds the dB value to float before adding 12 in float: about 1e-6 dB, 5e-8
// after the division by 24. Near 0 (weights near -12 dB) that is far more than a few ulps.
constexpr double kWeightTolerance = 1e-7;

class ProcessorConfiguration : public ::testing::Test {
protected:
    ScanStep read(const OscFile& osc, const std::string& name = "Mic")
    {
        const fs::path path = folder / (name + ".sonq");
        writeBytes(path, osc.bytes);
        File file(std::fopen(path.c_str(), "rb"));
        EXPECT_TRUE(file);
        return readProcessorConfiguration(file.get(), name, program, bank, version, &log.sink,
                                          path.string());
    }

    TempFolder folder;
    FilterBank bank = builtInBank();
    ProgramRecord program = userProgram(2);
    int version = 0;
    DiagnosticLog log;
};

// Weights of capsule j into output r used by the full file below.
float weightOf(int r, int j) { return (j % 2 ? -1.0f : 1.0f) * 0.25f * static_cast<float>(1 + r + 2 * j); }

// pmfilt/par floats for channel k: three bands and an output gain.
std::vector<float> bandsOf(int k)
{
    const float kf = static_cast<float>(k);
    return {100.0f + kf, 0.5f, 3.0f + kf, 1000.0f + kf, 1.5f, -6.0f, 8000.0f + kf, 0.25f, 2.0f, -1.0f - kf};
}

// A version 3 post-matrix filter message for channel k.
std::vector<unsigned char> pmfiltOf(int k)
{
    OscMessage m("/pmfilt/par");
    m.i(k);
    for (float v : bandsOf(k))
        m.f(v);
    return m.framed();
}

OscFile fullVersion3File()
{
    OscFile file;
    file.add(OscMessage("/sonqproc").i(3));
    for (int r = 0; r < 4; ++r)
        file.add(OscMessage("/matrix/row").i(r).floats({weightOf(r, 0), weightOf(r, 1), weightOf(r, 2), weightOf(r, 3)}));
    file.add(OscMessage("/lffilt/par").floats({1000.0f, 1.0f, 0.0f}));
    for (int k = 0; k < 4; ++k)
        file.raw(pmfiltOf(k));
    return file;
}

TEST_F(ProcessorConfiguration, AFullVersion3FileSetsTheMatrixTheCapsuleEqualisersAndAThreeBandSet)
{
    EXPECT_EQ(read(fullVersion3File()), ScanStep::kGoOn);
    EXPECT_EQ(version, 3);
    EXPECT_STREQ(program.name, "Mic");
    for (int r = 0; r < 4; ++r)
        for (int j = 0; j < 4; ++j)
            EXPECT_NEAR(program.value(param::capOutGain(j, r)), weightValueRef(weightOf(r, j)), kWeightTolerance)
                << "capsule " << j + 1 << " output " << r + 1;
    for (int i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(program.value(param::capEqFreq(i)), eqFrequencyValueRef(1000.0));
        EXPECT_NEAR(program.value(param::capEqWidth(i)), octavesRef(1000.0, 1000.0) / 5, 5e-5);
        EXPECT_EQ(program.value(param::capEqGain(i)), 0.5f);
    }
    const std::pair<int, float> fixed[] = {
        {param::kEqsEnabled, 1.0f}, {param::kEqsLinked, 0.0f}, {param::kLfEnabled, 1.0f},
        {param::kLfCutFreq, 0.0f}, {param::kLfBoostFreq, 0.0f}, {param::kLocked, 1.0f},
        {param::kCalibration, 1.0f}, {param::kGainsLinked, 0.0f}, {param::kViewMode, 0.0f},
        {param::kPreMatrixFilterNumber, 0.0f}, {param::kPostMatrixFilterNumber, 3.0f / 7.0f},
        {param::kAbMatrixEnabled, 1.0f}, {param::kCurrentCapsule, 0.0f}};
    for (const auto& [p, v] : fixed)
        EXPECT_EQ(program.value(p), v) << "parameter " << p;
    for (int o = 0; o < 4; ++o)
        EXPECT_EQ(program.value(param::outputGain(o)), 0.5f);

    EXPECT_EQ(bank.count, 4);
    EXPECT_EQ(bank.setName(3), std::string("Mic"));
    for (int k = 0; k < 4; ++k) {
        auto* eq = dynamic_cast<CParaEQ3Band*>(bank.filter(3, k));
        ASSERT_NE(eq, nullptr) << k;
        EXPECT_STREQ(eq->name, "Mic");
        const std::vector<float> b = bandsOf(k);
        const CMitRegFilter* bands[3] = {&eq->band1, &eq->band2, &eq->band3};
        for (int n = 0; n < 3; ++n) {
            EXPECT_EQ(bands[n]->frequency, b[3 * n]) << k << " band " << n;
            EXPECT_EQ(bands[n]->bandwidth, b[3 * n] * b[3 * n + 1]) << k << " band " << n;
            EXPECT_EQ(bands[n]->gain, b[3 * n + 2]) << k << " band " << n;
            EXPECT_TRUE(bands[n]->linearBandwidth);
        }
        EXPECT_FLOAT_EQ(eq->outputFactor, std::pow(10.0, b[9] / 20.0)) << k;
    }
}

struct VersionCase {
    int version;
    std::vector<float> floats;
    double outputGainDb;
};

class TwoBandVersion : public ProcessorConfiguration, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(TwoBandVersion, BuildsATwoBandEqualiserWithTheVersionsOutputGain)
{
    const VersionCase& c = GetParam();
    OscMessage pm("/pmfilt/par");
    pm.i(2);
    for (float v : c.floats)
        pm.f(v);
    read(OscFile().add(OscMessage("/sonqproc").i(c.version)).add(pm));
    auto* eq = dynamic_cast<CParaEQ2Band*>(bank.filter(3, 2));
    ASSERT_NE(eq, nullptr);
    EXPECT_EQ(eq->band1.frequency, c.floats[0]);
    EXPECT_EQ(eq->band1.bandwidth, c.floats[0] * c.floats[1]);
    EXPECT_EQ(eq->band1.gain, c.floats[2]);
    EXPECT_EQ(eq->band2.frequency, c.floats[3]);
    EXPECT_EQ(eq->band2.gain, c.floats[5]);
    EXPECT_FLOAT_EQ(eq->outputFactor, std::pow(10.0, c.outputGainDb / 20.0));
    // The other channels pass their signal.
    for (int k : {0, 1, 3})
        EXPECT_EQ(typeid(*bank.filter(3, k)), typeid(CFilter)) << k;
}

INSTANTIATE_TEST_SUITE_P(
    Versions, TwoBandVersion,
    ::testing::Values(VersionCase {1, {200.0f, 1.0f, 4.0f, 3000.0f, 0.5f, -3.0f}, 0.0},
                      VersionCase {2, {200.0f, 1.0f, 4.0f, 3000.0f, 0.5f, -3.0f, -6.0f}, -6.0},
                      // Extra floats beyond the version's are not used.
                      VersionCase {1, {200.0f, 1.0f, 4.0f, 3000.0f, 0.5f, -3.0f, -6.0f}, 0.0}));

TEST_F(ProcessorConfiguration, StoresAWeightByItsMagnitudeInDecibelsAndKeepsTheValueOfANonFiniteOne)
{
    read(OscFile()
             .add(OscMessage("/matrix/row").i(1).floats({-0.5f, 0.5f, 0.0f, 1.0f}))
             .add(OscMessage("/matrix/row").i(2).floats({NAN, 2.0f, INFINITY, 0.5f})));
    EXPECT_NEAR(program.value(param::capOutGain(0, 1)), weightValueRef(0.5), kWeightTolerance);
    EXPECT_EQ(program.value(param::capOutGain(0, 1)), program.value(param::capOutGain(1, 1)));
    // A weight of 0 has no logarithm: it is stored as -120 dB.
    EXPECT_EQ(program.value(param::capOutGain(2, 1)), (-120.0f + 12.0f) / 24.0f);
    EXPECT_EQ(program.value(param::capOutGain(3, 1)), 0.5f);
    const float row2[4] = {0.5f, static_cast<float>(weightValueRef(2.0)), 0.5f, static_cast<float>(weightValueRef(0.5))};
    for (int j = 0; j < 4; ++j)
        EXPECT_NEAR(program.value(param::capOutGain(j, 2)), row2[j], kWeightTolerance) << j;
}

TEST_F(ProcessorConfiguration, APostMatrixFilterBeforeAnyVersionBuildsNothing)
{
    read(OscFile().add(OscMessage("/pmfilt/par").i(0).floats({100, 1, 1, 200, 1, 1, 6, 1, 1, 0})));
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(typeid(*bank.filter(3, k)), typeid(CFilter)) << k;
    EXPECT_EQ(log.find("/pmfilt/par", "no \"sonqproc\"").size(), 1u);
}

TEST_F(ProcessorConfiguration, CompletesASetWithMissingChannelsWithPassThroughFiltersNamedAfterIt)
{
    version = 3;
    read(OscFile().raw(pmfiltOf(1)).raw(pmfiltOf(3)));
    for (int k = 0; k < 4; ++k) {
        ASSERT_NE(bank.filter(3, k), nullptr) << k;
        EXPECT_STREQ(bank.filter(3, k)->name, "Mic") << k;
        EXPECT_EQ(typeid(*bank.filter(3, k)) == typeid(CParaEQ3Band), k == 1 || k == 3) << k;
    }
    EXPECT_TRUE(bank.hasSet(3));
    EXPECT_EQ(log.find({}, "passes its signal unchanged").size(), 2u);
}

TEST_F(ProcessorConfiguration, ALaterFilterForTheSameChannelReplacesTheEarlierOne)
{
    version = 2;
    read(OscFile()
             .add(OscMessage("/pmfilt/par").i(0).floats({100, 1, 1, 200, 1, 1, 0}))
             .add(OscMessage("/pmfilt/par").i(0).floats({500, 1, 1, 200, 1, 1, 0})));
    EXPECT_EQ(dynamic_cast<CParaEQ2Band*>(bank.filter(3, 0))->band1.frequency, 500.0f);
}

TEST_F(ProcessorConfiguration, ABadVersionEndsTheScanAndLeavesNoHalfBuiltSet)
{
    version = 3;
    const ScanStep step = read(OscFile()
                                   .raw(pmfiltOf(0))
                                   .add(OscMessage("/sonqproc").i(4))
                                   .add(OscMessage("/matrix/row").i(0).floats({2, 2, 2, 2})));
    EXPECT_EQ(step, ScanStep::kEndScan);
    EXPECT_STREQ(program.name, "Mic");
    EXPECT_EQ(program.value(param::kLocked), 1.0f);
    EXPECT_EQ(program.value(param::capOutGain(0, 0)), 0.5f);        // read no further
    EXPECT_EQ(program.value(param::kPostMatrixFilterNumber), 0.0f);  // no set number
    EXPECT_EQ(bank.count, 3);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(bank.filter(3, k), nullptr) << k;
    EXPECT_EQ(log.find("/sonqproc", "version 4").size(), 1u);
}

TEST_F(ProcessorConfiguration, AVersionThatIsNoIntegerEndsTheScan)
{
    EXPECT_EQ(read(OscFile().add(OscMessage("/sonqproc").f(3.0f))), ScanStep::kEndScan);
    EXPECT_EQ(version, 0);
}


TEST_F(ProcessorConfiguration, AFileWithoutMessagesKeepsTheSlotButGetsASetNumber)
{
    read(OscFile());
    EXPECT_STREQ(program.name, "User 2");
    EXPECT_EQ(program.value(param::kLocked), 0.0f);
    EXPECT_EQ(program.value(param::kCalibration), 0.0f);
    EXPECT_EQ(program.value(param::kPostMatrixFilterNumber), 3.0f / 7.0f);
    EXPECT_EQ(bank.count, 4);
    EXPECT_TRUE(bank.hasSet(3));
}

TEST_F(ProcessorConfiguration, AnyReadMessageNamesTheProgramAndLocksIt)
{
    read(OscFile().add(OscMessage("/something/else").i(1)));
    EXPECT_STREQ(program.name, "Mic");
    EXPECT_EQ(program.value(param::kLocked), 1.0f);
    EXPECT_EQ(program.value(param::kCalibration), 1.0f);
    EXPECT_EQ(log.find("/something/else", "not known").size(), 1u);
}

TEST_F(ProcessorConfiguration, StopsReadingAtAMalformedMessageAndKeepsWhatCameBefore)
{
    read(OscFile()
             .add(OscMessage("/matrix/row").i(0).floats({2, 2, 2, 2}))
             .raw(OscMessage("no-slash").framed())
             .add(OscMessage("/matrix/row").i(1).floats({2, 2, 2, 2})));
    EXPECT_FLOAT_EQ(program.value(param::capOutGain(0, 0)), weightValueRef(2.0));
    EXPECT_EQ(program.value(param::capOutGain(0, 1)), 0.5f);
    EXPECT_EQ(program.value(param::kPostMatrixFilterNumber), 3.0f / 7.0f);
    const auto malformed = log.find({}, "malformed");
    ASSERT_EQ(malformed.size(), 1u);
    EXPECT_EQ(malformed[0].line, 2);
}

// Messages that change nothing but the per-message values.
struct IgnoredCase {
    const char* what;
    std::vector<unsigned char> message;
};

class IgnoredMessage : public ProcessorConfiguration, public ::testing::WithParamInterface<IgnoredCase> {};

TEST_P(IgnoredMessage, LeavesTheMatrixTheEqualisersAndTheSetAlone)
{
    version = 3;
    read(OscFile().raw(GetParam().message));
    ProgramRecord expected = userProgram(2);
    for (int p = 0; p < param::kCount; ++p) {
        if (p == param::kLocked || p == param::kCalibration || p == param::kPostMatrixFilterNumber)
            continue;
        EXPECT_EQ(program.value(p), expected.value(p)) << "parameter " << p;
    }
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(typeid(*bank.filter(3, k)), typeid(CFilter)) << k;
}

std::vector<unsigned char> pmfilt(int channel, std::initializer_list<float> floats)
{
    OscMessage m("/pmfilt/par");
    m.i(channel).floats(floats);
    return m.framed();
}

INSTANTIATE_TEST_SUITE_P(
    Messages, IgnoredMessage,
    ::testing::Values(
        IgnoredCase {"RowAboveThree", OscMessage("/matrix/row").i(4).floats({2, 2, 2, 2}).framed()},
        IgnoredCase {"RowBelowZero", OscMessage("/matrix/row").i(-1).floats({2, 2, 2, 2}).framed()},
        IgnoredCase {"RowWithThreeWeights", OscMessage("/matrix/row").i(0).floats({2, 2, 2}).framed()},
        IgnoredCase {"RowGivenAsFloat", OscMessage("/matrix/row").floats({0, 2, 2, 2, 2}).framed()},
        IgnoredCase {"AddressWithATrailingLetter", OscMessage("/matrix/rows").i(0).floats({2, 2, 2, 2}).framed()},
        IgnoredCase {"AddressInOtherCase", OscMessage("/Matrix/row").i(0).floats({2, 2, 2, 2}).framed()},
        IgnoredCase {"LfFilterAtZeroHz", OscMessage("/lffilt/par").floats({0, 1, 3}).framed()},
        IgnoredCase {"LfFilterWithNegativeWidth", OscMessage("/lffilt/par").floats({1000, -1, 3}).framed()},
        IgnoredCase {"LfFilterWithNanFrequency", OscMessage("/lffilt/par").floats({NAN, 1, 3}).framed()},
        IgnoredCase {"LfFilterWithInfiniteFrequency", OscMessage("/lffilt/par").floats({INFINITY, 1, 3}).framed()},
        IgnoredCase {"LfFilterWithInfiniteGain", OscMessage("/lffilt/par").floats({1000, 1, INFINITY}).framed()},
        IgnoredCase {"LfFilterWhoseBandwidthOverflows", OscMessage("/lffilt/par").floats({3e38f, 1e10f, 0}).framed()},
        IgnoredCase {"LfFilterWithIntegers", OscMessage("/lffilt/par").i(1000).i(1).i(0).framed()},
        IgnoredCase {"FilterChannelFour", pmfilt(4, {100, 1, 1, 200, 1, 1, 300, 1, 1, 0})},
        IgnoredCase {"FilterWithTooFewFloatsForItsVersion", pmfilt(0, {100, 1, 1, 200, 1, 1, 300, 1, 1})},
        IgnoredCase {"FilterWithANanFrequency", pmfilt(0, {NAN, 1, 1, 200, 1, 1, 300, 1, 1, 0})},
        IgnoredCase {"FilterWithAGainBeyondFloatRange", pmfilt(0, {100, 1, 1000, 200, 1, 1, 300, 1, 1, 0})},
        IgnoredCase {"FilterWithAnOutputGainBeyondFloatRange", pmfilt(0, {100, 1, 1, 200, 1, 1, 300, 1, 1, 800})}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(ProcessorConfiguration, WithTheBankFullBuildsNothingAndNamesSetNone)
{
    bank.count = 8;
    read(fullVersion3File());
    EXPECT_EQ(bank.count, 9);
    for (int set = 3; set < FilterBank::kSets; ++set)
        EXPECT_FALSE(bank.hasSet(set));
    EXPECT_EQ(program.value(param::kPostMatrixFilterNumber), 0.0f);
    EXPECT_NEAR(program.value(param::capOutGain(0, 0)), weightValueRef(weightOf(0, 0)), kWeightTolerance);
}

} // namespace
