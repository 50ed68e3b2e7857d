// Programs: the list a fresh plug-in offers, selection and its order, names.
#include "LoadedPlugin.h"

#include <cmath>
#include <string>

namespace {

TEST(ProgramList, OfFreshPluginHasTheTwoBuiltInProgramsAndSixUserSlots)
{
    auto plugin = testhost::createPlugin();
    EXPECT_EQ(plugin->dispatch(effGetProgram), 0);
    const char* names[8] = {"Quaddle - uncalibrated", "1.47cm", "User 2", "User 3",
                            "User 4", "User 5", "User 6", "User 7"};
    for (int p = 0; p < 8; ++p) {
        plugin->dispatch(effSetProgram, 0, p);
        EXPECT_EQ(plugin->programName(), names[p]);
    }
}

TEST(ProgramList, BuiltInProgramsCarryTheirLfAndWGainSettings)
{
    auto plugin = testhost::createPlugin();
    struct Row {
        int program;
        double cutHz, boostHz, wGainDb;
    };
    for (const Row& row : {Row {0, 25.0, 150.0, -8.0}, Row {1, 30.0, 50.0, -4.77}}) {
        plugin->dispatch(effSetProgram, 0, row.program);
        EXPECT_EQ(plugin->parameterDisplay(0), "Yes");
        // The stored value is the LF scale's inverse of the frequency: 20 x 12.5^v = f.
        EXPECT_NEAR(plugin->getParameter(1), std::log(row.cutHz / 20.0) / std::log(12.5), 1e-6);
        EXPECT_NEAR(plugin->getParameter(2), std::log(row.boostHz / 20.0) / std::log(12.5), 1e-6);
        EXPECT_NEAR(std::stod(plugin->parameterDisplay(1)), row.cutHz, 0.05);
        EXPECT_NEAR(std::stod(plugin->parameterDisplay(42)), row.wGainDb, 0.05);
    }
    plugin->dispatch(effSetProgram, 0, 0);
    EXPECT_FLOAT_EQ(plugin->getParameter(6), 2.0f / 7.0f);
    plugin->dispatch(effSetProgram, 0, 1);
    EXPECT_FLOAT_EQ(plugin->getParameter(6), 1.0f / 7.0f);
}

TEST(ProgramList, UserProgramsHoldTheRecordDefaultsWithTheLfCutAt250Hz)
{
    auto plugin = testhost::createPlugin();
    plugin->dispatch(effSetProgram, 0, 5);
    for (int p = 0; p < 46; ++p) {
        const bool gain = (p >= 16 && p <= 41 && (p - 14) % 7 >= 2) || p >= 42;
        const float expected = p == 1 ? 1.0f : p == 10 ? 1.0f : gain ? 0.5f : 0.0f;
        EXPECT_EQ(plugin->getParameter(p), expected) << p;
    }
    EXPECT_EQ(plugin->parameterDisplay(1), "250.0");
}

TEST(Programs, KeepTheirEditsAcrossSelectionExceptCalibrationAndDisplayVU)
{
    auto plugin = testhost::createPlugin();
    plugin->dispatch(effSetProgram, 0, 3);
    for (int p = 0; p < 46; ++p)
        if (p != 5 && p != 6)
            plugin->setParameter(p, 0.01f * static_cast<float>(p + 1));
    plugin->dispatch(effSetProgram, 0, 4);
    plugin->setParameter(4, 0.9f);    // Calibration, live
    plugin->setParameter(13, 0.8f);   // Display VU, live
    plugin->dispatch(effSetProgram, 0, 3);
    for (int p = 0; p < 46; ++p) {
        if (p == 5 || p == 6)
            continue;
        const float expected = p == 4 ? 0.9f : p == 13 ? 0.8f : 0.01f * static_cast<float>(p + 1);
        EXPECT_EQ(plugin->getParameter(p), expected) << p;
    }
}

TEST(Programs, WithEqsLinkedStoredSpreadCapsuleOnesEqOverTheOthersWhenSelected)
{
    auto plugin = testhost::createPlugin();
    plugin->dispatch(effSetProgram, 0, 2);
    const int eq[4][3] = {{14, 15, 16}, {21, 22, 23}, {28, 29, 30}, {35, 36, 37}};
    for (int i = 0; i < 4; ++i)
        for (int s = 0; s < 3; ++s)
            plugin->setParameter(eq[i][s], 0.1f * static_cast<float>(i + 1) + 0.01f * static_cast<float>(s));
    plugin->setParameter(8, 1.0f);    // stored linked; nothing spreads until a capsule is set
    EXPECT_EQ(plugin->getParameter(21), 0.2f);
    plugin->dispatch(effSetProgram, 0, 0);
    plugin->dispatch(effSetProgram, 0, 2);
    for (int i = 0; i < 4; ++i)
        for (int s = 0; s < 3; ++s)
            EXPECT_EQ(plugin->getParameter(eq[i][s]), 0.1f + 0.01f * static_cast<float>(s)) << i << "," << s;
}

TEST(ProgramNames, AreCutTo23CharactersAndInitIsNumbered)
{
    auto plugin = testhost::createPlugin();
    plugin->dispatch(effSetProgram, 0, 5);
    char init[] = "Init";
    plugin->dispatch(effSetProgramName, 0, 0, init);
    EXPECT_EQ(plugin->programName(), "Init 6");
    char numbered[] = "Init 6";
    plugin->dispatch(effSetProgramName, 0, 0, numbered);
    EXPECT_EQ(plugin->programName(), "Init 6");
    char lower[] = "init";
    plugin->dispatch(effSetProgramName, 0, 0, lower);
    EXPECT_EQ(plugin->programName(), "init");
    char longName[] = "A very long program name of forty chars";
    plugin->dispatch(effSetProgramName, 0, 0, longName);
    EXPECT_EQ(plugin->programName(), std::string(longName).substr(0, 23));
    plugin->dispatch(effSetProgram, 0, 4);
    EXPECT_EQ(plugin->programName(), "User 4");
    plugin->dispatch(effSetProgram, 0, 5);
    EXPECT_EQ(plugin->programName(), std::string(longName).substr(0, 23));
}

} // namespace
