// Values in the parameters' own units, through a plug-in object built as the command-line host
// builds it: the display reads back what was asked; what cannot be shown is refused.
#include "tools/sonquad/CliError.h"
#include "tools/sonquad/ParameterText.h"
#include "tools/sonquad/PluginSession.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

using cli::PluginSession;

struct Shown {
    const char* setting;
    int parameter;
    const char* display;   // what the plug-in must then show, as its own format prints it
};

void PrintTo(const Shown& shown, std::ostream* os) { *os << '"' << shown.setting << '"'; }

class SettingShowsItsValue : public testing::TestWithParam<Shown> {};

TEST_P(SettingShowsItsValue, OnThePluginsDisplay)
{
    PluginSession session;
    session.applySetting(GetParam().setting);
    EXPECT_EQ(session.parameterDisplay(GetParam().parameter), GetParam().display);
}

INSTANTIATE_TEST_SUITE_P(
    Units, SettingShowsItsValue,
    testing::Values(Shown {"lf boost  freq = 150 Hz", 2, "150.0"}, Shown {"Cap 2 EQ Freq=1.5kHz", 21, "1500.0"},
                    Shown {"Cap 1 EQ Width=2 octaves", 15, "  2.0"}, Shown {"Cap 3 EQ Gain=-7.5dB", 30, " -7.5"},
                    Shown {"Cap 4 Out 1 Gain=-0.3", 38, " -0.3"}, Shown {"Output 4 Gain=15", 45, " 15.0"},
                    Shown {"EQs Enabled=yes", 7, "Yes"}, Shown {"LF Enabled=Off", 0, "No"},
                    Shown {"PostMatrix Filter Number=1.47cm", 6, "1.47cm"},
                    Shown {"PostMatrix Filter Number=none", 6, "None"}, Shown {"PostMatrix Filter Number=2", 6, "2.3cm"},
                    Shown {"PreMatrix Filter Number=None", 5, "None"}, Shown {"Current Capsule=4", 11, " 4"},
                    Shown {"Current Capsule=1", 11, " 1"}, Shown {"View Mode=3", 12, " 3"}));

// Every value the display can show, over each numeric parameter's whole range, comes back.
TEST(SettingAValue, ReadsBackOnEveryNumericParameterOverItsRange)
{
    PluginSession session;
    struct Range {
        int parameter;
        double low, high, step;
    };
    const Range ranges[] = {{1, 20, 250, 0.7}, {14, 20, 20000, 37.3}, {15, 0, 5, 0.1}, {16, -15, 15, 0.1},
                            {17, -12, 12, 0.1}, {42, -15, 15, 0.1}};
    for (const Range& range : ranges) {
        const std::string name = session.parameterName(range.parameter);
        for (double value = range.low; value <= range.high + 1e-9; value += range.step) {
            const std::string text = std::to_string(value);
            session.applySetting(name + "=" + text);
            const double shown = std::stod(session.parameterDisplay(range.parameter));
            EXPECT_NEAR(shown, value, 0.05 + 1e-3) << name << " = " << text;
        }
    }
}

struct Refused {
    const char* setting;
    const char* message;   // part of the one-line error
};

void PrintTo(const Refused& refused, std::ostream* os) { *os << '"' << refused.setting << '"'; }

class SettingIsRefused : public testing::TestWithParam<Refused> {};

TEST_P(SettingIsRefused, WithAMessageThatSaysWhy)
{
    PluginSession session;
    try {
        session.applySetting(GetParam().setting);
        FAIL() << GetParam().setting << " was accepted";
    } catch (const cli::CliError& error) {
        EXPECT_NE(std::string(error.what()).find(GetParam().message), std::string::npos) << error.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Mistakes, SettingIsRefused,
    testing::Values(Refused {"LF Cut Freq=10", "out of range"}, Refused {"LF Cut Freq=260 Hz", "out of range"},
                    Refused {"Output 1 Gain=-16", "out of range"}, Refused {"Cap 1 EQ Width=6", "out of range"},
                    Refused {"LF Cut Freq=35 dB", "not a value"}, Refused {"Output 2 Gain=loud", "not a value"},
                    Refused {"EQs Enabled=maybe", "Yes or No"},
                    Refused {"PostMatrix Filter Number=3cm", "no filter set"},
                    Refused {"PostMatrix Filter Number=5", "no filter set"},
                    Refused {"Current Capsule=2.5", "whole number"}, Refused {"Current Capsule=5", "out of range"},
                    Refused {"Cap 5 EQ Freq=100", "unknown parameter"}, Refused {"Volume=3", "unknown parameter"},
                    Refused {"LF Cut Freq", "PARAM NAME=VALUE"}));

TEST(ParameterNames, MatchIgnoringCaseAndSpacing)
{
    EXPECT_EQ(cli::findParameter("PostMatrix Filter Number"), 6);
    EXPECT_EQ(cli::findParameter("  postmatrix   FILTER number "), 6);
    EXPECT_EQ(cli::findParameter("Cap 3 Out 2 Gain"), 14 + 7 * 2 + 3 + 1);
    EXPECT_EQ(cli::findParameter("Output 4 Gain"), 45);
    EXPECT_EQ(cli::findParameter("Output 5 Gain"), -1);
}

TEST(Programs, AreFoundByNumberOrNameAndUnknownOnesListTheChoices)
{
    PluginSession session;
    EXPECT_EQ(session.findProgram("1"), 1);
    EXPECT_EQ(session.findProgram("1.47cm"), 1);
    EXPECT_EQ(session.findProgram("quaddle - UNCALIBRATED"), 0);
    for (const char* unknown : {"8", "-1", "Studio"}) {
        try {
            session.findProgram(unknown);
            FAIL() << unknown << " was found";
        } catch (const cli::CliError& error) {
            const std::string text = error.what();
            EXPECT_NE(text.find("unknown program"), std::string::npos) << text;
            EXPECT_NE(text.find("0 \"Quaddle - uncalibrated\""), std::string::npos) << text;
        }
    }
}

TEST(Latency, IsTheConvolutionBlockWhileACoincidenceSetIsSelectedAndNoneOtherwise)
{
    PluginSession session;
    struct Case {
        const char* setting;
        int samples;
    };
    for (const Case& c : {Case {"PostMatrix Filter Number=2.3cm", 1024}, Case {"PostMatrix Filter Number=None", 0},
                          Case {"PostMatrix Filter Number=1.47cm", 1024}}) {
        session.applySetting(c.setting);
        EXPECT_EQ(session.latencySamples(), c.samples) << c.setting;
    }
    // The built-in programs: 0 and 1 select the coincidence sets, the empty ones set 0.
    const int expected[8] = {1024, 1024, 0, 0, 0, 0, 0, 0};
    for (int program = 0; program < 8; ++program) {
        session.selectProgram(program);
        EXPECT_EQ(session.latencySamples(), expected[program]) << "program " << program;
    }
}

} // namespace

namespace {

// check shows stored values as the plug-in's display would; both must agree everywhere.
TEST(DisplayText, MatchesThePluginsDisplayForEveryParameterOverItsRange)
{
    PluginSession session;
    const cli::SetNames sets = session.postMatrixSetNames();
    for (int p = 0; p < 46; ++p) {
        if (p == 5 || p == 6 || p == 8 || p == 9)
            continue;   // set selection and the link switches have side effects of their own
        for (int step = 0; step <= 100; ++step) {
            const float v = static_cast<float>(step) / 100.0f;
            session.plugin().setParameter(p, v);
            EXPECT_EQ(cli::displayText(p, v, sets), session.parameterDisplay(p)) << "parameter " << p << " at " << v;
        }
    }
    for (int set = 0; set < 3; ++set) {
        session.plugin().setParameter(6, static_cast<float>(set) / 7.0f);
        EXPECT_EQ(cli::displayText(6, static_cast<float>(set) / 7.0f, sets), session.parameterDisplay(6));
    }
}

} // namespace
