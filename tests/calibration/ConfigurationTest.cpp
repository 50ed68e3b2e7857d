// Processor configurations and their OSC reader, on messages encoded by liblo and malformed bytes.
#include "calibration/COSCFile.h"
#include "calibration/ProcessorConfiguration.h"

#include "CalibrationFixture.h"
#include "dsp/CParaEQ2Band.h"
#include "dsp/CParaEQ3Band.h"

namespace {

using namespace fixture;
using fixture::PrintTo;

Bytes text(const std::string& s) { return {s.begin(), s.end()}; }
Bytes cut(Bytes bytes, std::size_t n) { return Bytes(bytes.begin(), bytes.end() - static_cast<long>(n)); }

Bytes repeated(const char* what, int n)   // n arguments of one type: 'i', 'f' or 'T'
{
    Osc m("/many");
    for (int i = 0; i < n; ++i)
        what[0] == 'i' ? m.i(i) : what[0] == 'f' ? m.f({static_cast<float>(i)}) : m.t();
    return m;
}

class OscRead : public ::testing::Test {
protected:
    void open(const Bytes& bytes)
    {
        data = bytes;
        osc.file = fmemopen(data.data(), data.size(), "rb");
    }
    ~OscRead() override { std::fclose(osc.file); }
    Bytes data;
    COSCFile osc;
};

TEST_F(OscRead, StoresEachArgumentAtItsPositionAndKeepsFieldsALaterMessageLeaves)
{
    open(cat({Osc("/test").i(-7).f({0.25f}).s("hello").t().f({-3.5f}).i(123456789), Osc("/b").f({9.0f})}));
    ASSERT_TRUE(osc.readMessage());
    EXPECT_STREQ(osc.address, "/test");
    EXPECT_STREQ(osc.typeTags, ",ifsTfi");
    EXPECT_EQ(osc.argumentCount(), 6);
    EXPECT_EQ(osc.intArgs[0], -7);
    EXPECT_EQ(osc.floatArgs[1], 0.25f);
    EXPECT_STREQ(osc.stringArgs[2], "hello");
    EXPECT_EQ(osc.floatArgs[4] + osc.intArgs[5] + osc.remaining, -3.5f + 123456789);
    ASSERT_TRUE(osc.readMessage());
    EXPECT_EQ(osc.floatArgs[0] + osc.floatArgs[1], 9.25f);   // a field the message leaves keeps its value
    EXPECT_EQ(osc.tag(1), '\0');
    EXPECT_FALSE(osc.readMessage());
    EXPECT_EQ(osc.problem(), nullptr);
}

TEST_F(OscRead, AcceptsFieldsFilledToTheirLimits)
{
    open(cat({repeated("f", 32), Osc("/" + std::string(1022, 'a')).s(std::string(1023, 'x'))}));
    ASSERT_TRUE(osc.readMessage());
    EXPECT_EQ(osc.floatArgs[31], 31.0f);
    ASSERT_TRUE(osc.readMessage());
    EXPECT_EQ(std::strlen(osc.address) + std::strlen(osc.stringArgs[0]), 2046u);
}

struct Malformed {
    const char* name;
    Bytes bytes;           // after a good message
    const char* problem;   // part of the reported problem
    bool last = false;     // the file ends with these bytes
};

class OscMalformed : public OscRead, public ::testing::WithParamInterface<Malformed> {};

TEST_P(OscMalformed, EndsReadingWithAProblem)
{
    open(cat({Osc("/ok"), GetParam().bytes, GetParam().last ? Bytes {} : Bytes(Osc("/never"))}));
    ASSERT_TRUE(osc.readMessage());
    EXPECT_FALSE(osc.readMessage());
    ASSERT_NE(osc.problem(), nullptr);
    EXPECT_NE(std::string(osc.problem()).find(GetParam().problem), std::string::npos) << osc.problem();
    EXPECT_LT(std::strlen(osc.address), sizeof osc.address);
}

// "/cut" ,if 7 2.5: size 4, address 8, tags 4, int 4, float 4, cut n bytes short at the end.
Bytes cutAt(std::size_t n) { return cut(Osc("/cut").i(7).f({2.5f}), n); }

INSTANTIATE_TEST_SUITE_P(
    Messages, OscMalformed,
    ::testing::Values(
        Malformed {"AddressWithoutSlash", Osc("matrix/row").i(0), "'/'"},
        Malformed {"TagsWithoutComma", cat({bigEndian(8), text(std::string("/a\0\0f\0\0\0", 8))}), "','"},
        Malformed {"AddressTooLong", Osc("/" + std::string(1023, 'a')), "address longer"},
        Malformed {"AddressWithoutEnd", cat({bigEndian(0xffffffffu), text(std::string(4000, 'a'))}), "address longer"},
        Malformed {"ThirtyThreeArguments", repeated("i", 33), "more than 32"},
        Malformed {"TagsTooLong", repeated("T", 36), "type tags longer"},
        Malformed {"StringTooLong", Osc("/s").s(std::string(1024, 'x')), "string argument longer"},
        Malformed {"CutInTheFloat", cutAt(2), "float argument", true},
        Malformed {"CutInTheInteger", cutAt(6), "integer argument", true},
        Malformed {"CutInTheTags", cutAt(10), "type tags cut short", true},
        Malformed {"CutInTheAddress", cutAt(14), "address cut short", true},
        Malformed {"CutInTheSize", cutAt(22), "size field", true}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- processor configurations ----

double weightValue(double weight) { return (20.0 * std::log10(std::fabs(weight)) + 12.0) / 24.0; }
Bytes pmfilt(int channel, std::initializer_list<float> floats) { return Osc("/pmfilt/par").i(channel).f(floats); }
const std::initializer_list<float> kBands3 = {100, 0.5f, 3, 1000, 1.5f, -6, 8000, 0.25f, 2, -1};

class Configuration : public ::testing::Test {
protected:
    ScanStep read(const Bytes& bytes)
    {
        writeBytes(folder / "Mic.sonq", bytes);
        std::FILE* file = std::fopen((folder / "Mic.sonq").c_str(), "rb");
        const ScanStep step = readProcessorConfiguration(file, "Mic", program, bank, version, &log.sink,
                                                         (folder / "Mic.sonq").string());
        std::fclose(file);
        return step;
    }
    template <class T>
    T* at(int set, int k) { return dynamic_cast<T*>(bank.filter(set, k)); }
    bool passes(int set, int k) { return bank.filter(set, k) && typeid(*bank.filter(set, k)) == typeid(CFilter); }

    TempFolder folder;
    FilterBank bank = builtInBank();
    ProgramRecord program = userProgram(2);
    int version = 0;
    DiagnosticLog log;
};

TEST_F(Configuration, AVersion3FileSetsTheMatrixTheCapsuleEqualisersAndAThreeBandSet)
{
    Bytes file = cat({Osc("/sonqproc").i(3), Osc("/matrix/row").i(0).f({0.5f, -2, 1, 0.25f}),
                      Osc("/matrix/row").i(3).f({-1, 4, 0.125f, 0}), Osc("/matrix/row").i(2).f({NAN, 2, INFINITY, 0.5f}),
                      Osc("/lffilt/par").f({1000, 1, 0})});
    for (int k = 0; k < 4; ++k)
        file = cat({file, Osc("/pmfilt/par").i(k).f({100.0f + k, 0.5f, 3, 1000, 1.5f, -6, 8000, 0.25f, 2, -1.0f - k})});
    EXPECT_EQ(read(file), ScanStep::kGoOn);
    EXPECT_EQ(version, 3);
    EXPECT_STREQ(program.name, "Mic");
    const double row0[4] = {0.5, 2, 1, 0.25}, row3[4] = {1, 4, 0.125};
    for (int j = 0; j < 4; ++j) {
        EXPECT_NEAR(program.value(param::capOutGain(j, 0)), weightValue(row0[j]), 1e-7) << j;
        EXPECT_EQ(program.value(param::capOutGain(j, 1)), 0.5f) << j;
        EXPECT_NEAR(program.value(param::capOutGain(j, 2)), j % 2 ? weightValue(j == 1 ? 2 : 0.5) : 0.5, 1e-7) << j;
        // A weight of 0 has no logarithm: -120 dB.
        EXPECT_NEAR(program.value(param::capOutGain(j, 3)), j == 3 ? -4.5 : weightValue(row3[j]), 1e-7) << j;
        EXPECT_FLOAT_EQ(program.value(param::capEqFreq(j)), eqFrequencyValue(1000.0));
        EXPECT_NEAR(program.value(param::capEqWidth(j)), octaves(1000.0, 1000.0) / 5, 5e-5);
        EXPECT_EQ(program.value(param::capEqGain(j)), 0.5f);
    }
    const std::pair<int, float> fixed[] = {{param::kEqsEnabled, 1}, {param::kLfEnabled, 1}, {param::kLfCutFreq, 0},
                                           {param::kLocked, 1}, {param::kCalibration, 1}, {param::kPostMatrixFilterNumber, 3.0f / 7},
                                           {param::kAbMatrixEnabled, 1}, {param::kCurrentCapsule, 0}};
    for (const auto& [p, v] : fixed)
        EXPECT_EQ(program.value(p), v) << "parameter " << p;
    EXPECT_EQ(log.find("/matrix/row", "weight of capsule 3 is not finite").size(), 1u);
    EXPECT_EQ(bank.count, 4);
    for (int k = 0; k < 4; ++k) {
        auto* eq = at<CParaEQ3Band>(3, k);
        ASSERT_NE(eq, nullptr) << k;
        EXPECT_STREQ(eq->name, "Mic");
        EXPECT_EQ(eq->band1.frequency, 100.0f + k);
        EXPECT_EQ(eq->band1.bandwidth, (100.0f + k) * 0.5f);
        EXPECT_EQ(eq->band2.frequency + eq->band2.bandwidth + eq->band2.gain, 1000.0f + 1500.0f - 6.0f);
        EXPECT_EQ(eq->band3.frequency, 8000.0f);
        EXPECT_EQ(eq->band3.bandwidth, 2000.0f);
        EXPECT_TRUE(eq->band3.linearBandwidth);
        EXPECT_FLOAT_EQ(eq->outputFactor, std::pow(10.0f, (-1.0f - k) / 20.0f)) << k;
    }
}

TEST_F(Configuration, Versions1And2BuildTwoBandEqualisersWithTheirOutputGain)
{
    for (const auto& [v, floats, factor] : {std::tuple {1, std::vector<float> {200, 1, 4, 3000, 0.5f, -3}, 1.0f},
                                            {2, {200, 1, 4, 3000, 0.5f, -3, -6}, 0.501187f}, {1, {200, 1, 4, 3000, 0.5f, -3, -6}, 1.0f}}) {
        bank = builtInBank();
        read(cat({Osc("/sonqproc").i(v), Osc("/pmfilt/par").i(2).f({floats[0], floats[1], floats[2], floats[3], floats[4], floats[5],
                                                                     floats.size() > 6 ? floats[6] : 0.0f})}));
        auto* eq = at<CParaEQ2Band>(3, 2);
        ASSERT_NE(eq, nullptr) << v;
        EXPECT_EQ(eq->band1.frequency + eq->band1.bandwidth + eq->band1.gain + eq->band2.frequency + eq->band2.gain, 200 + 200 + 4 + 3000 - 3);
        EXPECT_NEAR(eq->outputFactor, factor, 1e-6) << v;
        EXPECT_TRUE(passes(3, 0) && passes(3, 1) && passes(3, 3));
    }
}

// Messages that change nothing but the lock, the calibration flag and the set number (one set of
// pass-through filters); the built-in sets stay as they were.
struct Ignored {
    const char* name;
    Bytes message;
    int version = 3;   // carried from an earlier file
};

class IgnoredMessage : public Configuration, public ::testing::WithParamInterface<Ignored> {};

TEST_P(IgnoredMessage, LeavesTheProgramAndEverySetAlone)
{
    version = GetParam().version;
    read(GetParam().message);
    const ProgramRecord slot = userProgram(2);
    for (int p = 0; p < param::kCount; ++p)
        EXPECT_TRUE(program.value(p) == slot.value(p) || p == param::kLocked || p == param::kCalibration || p == param::kPostMatrixFilterNumber) << "parameter " << p;
    EXPECT_EQ(bank.count, 4);
    for (int set = 0; set < FilterBank::kSets; ++set)
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(passes(set, k), set < 4) << "set " << set << " channel " << k;
            EXPECT_TRUE(set >= 3 || std::string(bank.filter(set, k)->name) == "built-in") << "set " << set << " channel " << k;
        }
}

INSTANTIATE_TEST_SUITE_P(
    Messages, IgnoredMessage,
    ::testing::Values(
        Ignored {"RowFour", Osc("/matrix/row").i(4).f({2, 2, 2, 2})},
        Ignored {"RowMinusOne", Osc("/matrix/row").i(-1).f({2, 2, 2, 2})},
        Ignored {"RowOfThreeWeights", Osc("/matrix/row").i(0).f({2, 2, 2})},
        Ignored {"RowAsFloat", Osc("/matrix/row").f({0, 2, 2, 2, 2})},
        Ignored {"AddressWithTrailingLetter", Osc("/matrix/rows").i(0).f({2, 2, 2, 2})},
        Ignored {"AddressInOtherCase", Osc("/Matrix/row").i(0).f({2, 2, 2, 2})},
        Ignored {"LfAtZeroHz", Osc("/lffilt/par").f({0, 1, 3})},
        Ignored {"LfNegativeWidth", Osc("/lffilt/par").f({1000, -1, 3})},
        Ignored {"LfNanFrequency", Osc("/lffilt/par").f({NAN, 1, 3})},
        Ignored {"LfInfiniteGain", Osc("/lffilt/par").f({1000, 1, INFINITY})},
        Ignored {"LfBandwidthOverflows", Osc("/lffilt/par").f({3e38f, 1e10f, 0})},
        Ignored {"LfIntegers", Osc("/lffilt/par").i(1000).i(1).i(0)},
        Ignored {"FilterChannelFour", pmfilt(4, kBands3)},
        Ignored {"FilterChannelMinusOne", pmfilt(-1, kBands3)},
        Ignored {"FilterTooFewFloats", pmfilt(0, {100, 1, 1, 200, 1, 1, 300, 1, 1})},
        Ignored {"FilterNanFrequency", pmfilt(0, {NAN, 1, 1, 200, 1, 1, 300, 1, 1, 0})},
        Ignored {"FilterGainBeyondFloat", pmfilt(0, {100, 1, 1000, 200, 1, 1, 300, 1, 1, 0})},
        Ignored {"FilterThirdGainBeyondFloat", pmfilt(0, {100, 1, 1, 200, 1, 1, 300, 1, 1000, 0})},
        Ignored {"FilterOutputGainBeyondFloat", pmfilt(0, {100, 1, 1, 200, 1, 1, 300, 1, 1, 800})},
        Ignored {"FilterBeforeAnyVersion", pmfilt(0, kBands3), 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Configuration, CompletesASetWithPassThroughFiltersAndALaterFilterReplacesAnEarlierOne)
{
    version = 3;
    read(cat({pmfilt(1, kBands3), pmfilt(3, kBands3), pmfilt(3, {500, 1, 1, 200, 1, 1, 300, 1, 1, 0})}));
    for (int k = 0; k < 4; ++k) {
        EXPECT_STREQ(bank.filter(3, k)->name, "Mic") << k;
        EXPECT_EQ(passes(3, k), k == 0 || k == 2) << k;
    }
    EXPECT_EQ(at<CParaEQ3Band>(3, 3)->band1.frequency, 500.0f);
    EXPECT_EQ(log.find({}, "passes its signal unchanged").size(), 2u);
}

TEST_F(Configuration, ABadVersionEndsTheScanAndLeavesNoHalfBuiltSet)
{
    version = 3;
    EXPECT_EQ(read(cat({pmfilt(0, kBands3), Osc("/sonqproc").i(4), Osc("/matrix/row").i(0).f({2, 2, 2, 2})})), ScanStep::kEndScan);
    EXPECT_EQ(program.value(param::kLocked), 1.0f);
    EXPECT_EQ(program.value(param::capOutGain(0, 0)), 0.5f);
    EXPECT_EQ(program.value(param::kPostMatrixFilterNumber), 0.0f);
    EXPECT_EQ(bank.count, 3);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(bank.filter(3, k), nullptr) << k;
    EXPECT_EQ(log.find("/sonqproc", "version 4").size(), 1u);
    version = 0;
    EXPECT_EQ(read(Osc("/sonqproc").f({3.0f})), ScanStep::kEndScan);
    EXPECT_EQ(version, 0);
}

TEST_F(Configuration, AnEmptyFileKeepsTheSlotButAnyMessageNamesAndLocksIt)
{
    read({});
    EXPECT_STREQ(program.name, "User 2");
    EXPECT_TRUE(program.value(param::kLocked) == 0.0f && program.value(param::kPostMatrixFilterNumber) == 3.0f / 7.0f && bank.hasSet(3));
    read(Osc("/something/else").i(1));
    EXPECT_STREQ(program.name, "Mic");
    EXPECT_EQ(program.value(param::kLocked), 1.0f);
    EXPECT_EQ(log.find("/something/else", "not known").size(), 1u);
}

// With the bank full nothing is built and the set is "None"; a malformed message ends reading.
TEST_F(Configuration, WithTheBankFullBuildsNothingAndStopsAtAMalformedMessage)
{
    bank.count = 8;
    read(cat({Osc("/sonqproc").i(3), Osc("/matrix/row").i(0).f({2, 2, 2, 2}), pmfilt(0, kBands3), Osc("no-slash"),
              Osc("/matrix/row").i(1).f({2, 2, 2, 2})}));
    EXPECT_EQ(bank.count, 9);
    for (int set = 3; set < FilterBank::kSets; ++set)
        EXPECT_FALSE(bank.hasSet(set));
    EXPECT_EQ(program.value(param::kPostMatrixFilterNumber), 0.0f);
    EXPECT_NEAR(program.value(param::capOutGain(0, 0)), weightValue(2.0), 1e-7);
    EXPECT_EQ(program.value(param::capOutGain(0, 1)), 0.5f);
    EXPECT_EQ(log.find({}, "malformed").at(0).line, 4);
}

} // namespace
