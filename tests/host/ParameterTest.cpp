// Parameter names, labels, mappings, display texts and linking, seen by a host.
#include "LoadedPlugin.h"

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

// Expected name of each parameter, built from the layout rather than from the plug-in's table.
std::string expectedName(int p)
{
    static const char* const fixed[14] = {"LF Enabled", "LF Cut Freq", "LF Boost Freq", "Locked", "Calibration",
                                          "PreMatrix Filter Number", "PostMatrix Filter Number", "EQs Enabled",
                                          "EQs Linked", "Gains Linked", "AB Matrix Enabled", "Current Capsule",
                                          "View Mode", "Display VU"};
    if (p < 14)
        return fixed[p];
    if (p >= 42)
        return "Output " + std::to_string(p - 41) + " Gain";
    const int capsule = (p - 14) / 7 + 1;
    const int setting = (p - 14) % 7;
    static const char* const eq[3] = {" EQ Freq", " EQ Width", " EQ Gain"};
    if (setting < 3)
        return "Cap " + std::to_string(capsule) + eq[setting];
    return "Cap " + std::to_string(capsule) + " Out " + std::to_string(setting - 2) + " Gain";
}

enum class Kind { Switch, LfHz, EqHz, Octaves, EqDb, CapDb, OutDb, Set, Capsule, ViewMode };

Kind kindOf(int p)
{
    if (p == 1 || p == 2)
        return Kind::LfHz;
    if (p == 5 || p == 6)
        return Kind::Set;
    if (p == 11)
        return Kind::Capsule;
    if (p == 12)
        return Kind::ViewMode;
    if (p < 14)
        return Kind::Switch;
    if (p >= 42)
        return Kind::OutDb;
    switch ((p - 14) % 7) {
    case 0: return Kind::EqHz;
    case 1: return Kind::Octaves;
    case 2: return Kind::EqDb;
    default: return Kind::CapDb;
    }
}

// The real value of a normalised value, from the mapping formulas in plain double arithmetic.
double realValue(Kind kind, double v)
{
    switch (kind) {
    case Kind::LfHz: return 20.0 * std::pow(12.5, v);
    case Kind::EqHz: return 20.0 * std::pow(1000.0, v);
    case Kind::Octaves: return 5.0 * v;
    case Kind::EqDb: return 30.0 * v - 15.0;
    case Kind::CapDb: return 24.0 * v - 12.0;
    case Kind::OutDb: return 30.0 * v - 15.0;
    default: return 0.0;
    }
}

TEST(Parameters, HaveTheirNamesAndLabels)
{
    auto plugin = testhost::createPlugin();
    for (int p = 0; p < 46; ++p) {
        EXPECT_EQ(plugin->parameterName(p), expectedName(p)) << p;
        const Kind kind = kindOf(p);
        const char* label = kind == Kind::LfHz || kind == Kind::EqHz ? "Hz"
                            : kind == Kind::Octaves                  ? "Octaves"
                            : kind == Kind::EqDb || kind == Kind::CapDb || kind == Kind::OutDb ? "dB"
                                                                                               : "";
        EXPECT_EQ(plugin->parameterLabel(p), label) << p;
    }
    EXPECT_EQ(plugin->parameterName(6).size(), 24u);   // written whole
}

TEST(Parameters, DisplayTheirRealValueWithOneDecimalInFiveColumns)
{
    auto plugin = testhost::createPlugin();
    const float grid[] = {0.0f, 0.013f, 0.1f, 0.33f, 0.5f, 0.62f, 0.8f, 0.97f, 1.0f};
    for (int p = 0; p < 46; ++p) {
        const Kind kind = kindOf(p);
        if (kind == Kind::Switch || kind == Kind::Set || kind == Kind::Capsule || kind == Kind::ViewMode)
            continue;
        for (float v : grid) {
            plugin->setParameter(p, v);
            EXPECT_EQ(plugin->getParameter(p), v);
            const std::string shown = plugin->parameterDisplay(p);
            const double expected = realValue(kind, v);
            ASSERT_GE(shown.size(), 5u) << p;
            if (shown.size() > 5) {
                EXPECT_NE(shown[0], ' ') << shown;   // right-aligned in five columns
            }
            // One decimal: the shown number is the real value rounded to 0.1 (float rounding of
            // the mapping allows a hair more).
            EXPECT_NEAR(std::stod(shown), expected, 0.05 + 1e-4 * std::fabs(expected)) << p << " at " << v;
            EXPECT_EQ(shown[shown.size() - 2], '.') << shown;
        }
    }
}

TEST(Parameters, ShowTheDocumentedTexts)
{
    auto plugin = testhost::createPlugin();
    struct Case {
        int parameter;
        float value;
        const char* text;
    };
    const Case cases[] = {
        {1, 0.0f, " 20.0"}, {1, 0.5f, " 70.7"}, {1, 1.0f, "250.0"}, {14, 0.5f, "632.5"},
        {15, 1.0f, "  5.0"}, {16, 0.5f, "  0.0"}, {0, 0.5f, "No"}, {0, 0.5001f, "Yes"},
        {3, 0.0f, "No"}, {13, 1.0f, "Yes"}, {11, 0.999f, " 3"}, {11, 1.0f, " 4"}, {11, 0.0f, " 1"},
        {12, 0.5f, " 2"}, {12, 1.0f, " 3"}, {12, 0.99f, " 2"}, {42, 0.0f, "-15.0"}, {20, 1.0f, " 12.0"},
    };
    for (const Case& c : cases) {
        plugin->setParameter(c.parameter, c.value);
        EXPECT_EQ(plugin->parameterDisplay(c.parameter), c.text) << c.parameter << " at " << c.value;
    }
}

TEST(Parameters, OutsideTheRangeAreIgnoredAndWriteNothing)
{
    auto plugin = testhost::createPlugin();
    for (VstInt32 p : {-1, 46, 47, 1000, -100000}) {
        plugin->setParameter(p, 0.7f);
        EXPECT_EQ(plugin->getParameter(p), 0.0f);
        for (VstInt32 opcode : {effGetParamName, effGetParamLabel, effGetParamDisplay}) {
            char buffer[64];
            std::memset(buffer, 0x5A, sizeof buffer);
            plugin->dispatch(opcode, p, 0, buffer);
            for (char c : buffer)
                ASSERT_EQ(c, 0x5A) << "opcode " << opcode << " index " << p;
        }
    }
}

TEST(Parameters, SelectOnlyFilterSetsThatExist)
{
    auto plugin = testhost::createPlugin();
    plugin->dispatch(effSetProgram, 0, 2);   // a "User" program on set 0
    const std::string shownBefore = plugin->parameterDisplay(6);
    plugin->setParameter(6, 0.99f);          // set 6: absent
    EXPECT_FLOAT_EQ(plugin->getParameter(6), 0.99f);
    EXPECT_EQ(plugin->parameterDisplay(6), shownBefore);
    for (float v : {1.5f, 100.0f, -3.0f, NAN}) {
        plugin->setParameter(5, v);
        EXPECT_EQ(plugin->parameterDisplay(5), "None");
    }
    plugin->setParameter(5, 1.0f / 7.0f);
    EXPECT_EQ(plugin->parameterDisplay(5), "None");   // the pre-matrix bank holds set 0 only
    EXPECT_FLOAT_EQ(plugin->getParameter(5), 1.0f / 7.0f);
}

TEST(Parameters, LinkTheEqSettingsOfAllCapsulesButNotTheirGains)
{
    auto plugin = testhost::createPlugin();
    plugin->dispatch(effSetProgram, 0, 2);
    plugin->setParameter(8, 1.0f);   // EQs Linked
    plugin->setParameter(28, 0.3f);  // Cap 3 EQ Freq
    for (int p : {14, 21, 28, 35})
        EXPECT_EQ(plugin->getParameter(p), 0.3f) << p;
    const std::string expected = plugin->parameterDisplay(28);
    for (int p : {14, 21, 35})
        EXPECT_EQ(plugin->parameterDisplay(p), expected);
    plugin->setParameter(32, 0.9f);  // Cap 3 Out 2 Gain
    for (int p : {18, 25, 39})
        EXPECT_EQ(plugin->getParameter(p), 0.5f) << p;
    EXPECT_EQ(plugin->getParameter(32), 0.9f);

    plugin->setParameter(8, 0.0f);
    plugin->setParameter(29, 0.6f);
    EXPECT_EQ(plugin->getParameter(15), 0.0f);
}

TEST(Parameters, GainsLinkedCopiesAnyCapsuleSettingIntoThatCapsulesGainIntoW)
{
    auto plugin = testhost::createPlugin();
    plugin->dispatch(effSetProgram, 0, 2);
    plugin->setParameter(9, 1.0f);   // Gains Linked
    plugin->setParameter(23, 0.8f);  // Cap 2 EQ Gain
    EXPECT_EQ(plugin->getParameter(24), 0.8f);   // Cap 2 Out 1 Gain
    EXPECT_EQ(plugin->parameterDisplay(24), "  7.2");
    for (int p : {17, 25, 26, 27, 31, 38})
        EXPECT_EQ(plugin->getParameter(p), 0.5f) << p;
    plugin->setParameter(9, 0.0f);
    plugin->setParameter(23, 0.1f);
    EXPECT_EQ(plugin->getParameter(24), 0.8f);
}

// Hosts may run under a locale whose decimal separator is a comma; the displays keep the point.
class CommaLocale : public ::testing::Test {
protected:
    void SetUp() override
    {
        previous = std::setlocale(LC_ALL, nullptr);
        if (std::setlocale(LC_ALL, "de_DE.UTF-8"))
            return;
        // Build the locale for this test when the machine has none installed.
        const auto folder = std::filesystem::temp_directory_path() / "sonquad-locales";
        std::filesystem::create_directories(folder);
        const std::string command = "localedef -i de_DE -f UTF-8 " + (folder / "de_DE.UTF-8").string() + " 2>/dev/null";
        if (std::system(command.c_str()) == 0) {
            setenv("LOCPATH", folder.c_str(), 1);
            if (std::setlocale(LC_ALL, "de_DE.UTF-8"))
                return;
        }
        GTEST_SKIP() << "no comma locale can be made on this machine";
    }
    void TearDown() override { std::setlocale(LC_ALL, previous.c_str()); }
    std::string previous;
};

TEST_F(CommaLocale, DisplaysKeepTheDecimalPoint)
{
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    ASSERT_STREQ(probe, "1,5") << "the test locale does not use a comma";
    auto plugin = testhost::createPlugin();
    plugin->setParameter(1, 0.5f);
    EXPECT_EQ(plugin->parameterDisplay(1), " 70.7");
    plugin->setParameter(16, 0.1f);
    EXPECT_EQ(plugin->parameterDisplay(16), "-12.0");
}

} // namespace
