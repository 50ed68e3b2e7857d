// Programs built from calibration files, seen through the exported interface as a host sees
// them; each plug-in reads a fixture folder named by SONQUAD_CALIBRATION_DIR.
#include "CalibrationFixture.h"
#include "host/LoadedPlugin.h"

namespace {

using namespace fixture;

const std::string kText = "sens 3 -3 0 1.5\nvsens 0 0 0 -6\nEQ 6 0 0 0\nEQfreq 1000 1000 1000 1000\nEQbw 500 500 500 500\n"
                          "W -3\nX 1.5\nY 0\nZ -2\nLF 30 50\nW48 gain_w48.flt\nVel48 gain_vel48.flt\n";

TEST(CalibrationPrograms, ATextCalibrationAndAConfigurationBecomePrograms2And3)
{
    TempFolder folder;
    writeText(folder / "Studio.txt", kText);
    writeBytes(folder / "Studio" / "gain_w48.flt", coefficientFile({0.5f}, {0.0f}));
    writeBytes(folder / "Studio" / "gain_vel48.flt", coefficientFile({1.0f}, {0.0f}));
    writeBytes(folder / "Field.sonq", cat({Osc("/sonqproc").i(2), Osc("/matrix/row").i(0).f({0.5f, 0.5f, 0.5f, 0.5f}),
                                           Osc("/lffilt/par").f({1000, 1, 0}), Osc("/pmfilt/par").i(0).f({100, 1, 3, 1000, 1, -3, 0})}));
    ScopedEnv env("SONQUAD_CALIBRATION_DIR", folder.str());
    auto plugin = testhost::createPlugin();
    plugin->dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
    const std::pair<int, const char*> studio[] = {
        {param::kPostMatrixFilterNumber, "Studio"}, {param::capOutGain(0, 0), "  3.0"}, {param::capOutGain(1, 0), " -3.0"},
        {param::capOutGain(3, 2), " -6.0"}, {param::capEqGain(0), "  6.0"}, {param::capEqFreq(2), "1000.0"},
        {param::capEqWidth(1), "  0.7"}, {param::outputGain(0), "  0.0"}, {param::outputGain(1), "  1.5"},
        {param::outputGain(3), " -2.0"}, {param::kLfCutFreq, " 30.0"}, {param::kLfBoostFreq, " 50.0"},
        {param::kLfEnabled, "Yes"}, {param::kEqsEnabled, "Yes"}, {param::kLocked, "No"}};
    const std::pair<int, const char*> field[] = {{param::kPostMatrixFilterNumber, "Field"}, {param::capOutGain(2, 0), " -6.0"},
                                                 {param::kLocked, "Yes"}, {param::kLfCutFreq, " 20.0"}, {param::capEqFreq(3), "1000.0"}};
    plugin->dispatch(effSetProgram, 0, 2);
    EXPECT_EQ(plugin->programName(), "Studio");
    EXPECT_FLOAT_EQ(plugin->getParameter(param::kPostMatrixFilterNumber), 3.0f / 7.0f);
    for (const auto& [p, display] : studio)
        EXPECT_EQ(plugin->parameterDisplay(p), display) << "parameter " << p;
    plugin->dispatch(effSetProgram, 0, 3);
    EXPECT_EQ(plugin->programName(), "Field");
    EXPECT_FLOAT_EQ(plugin->getParameter(param::kPostMatrixFilterNumber), 4.0f / 7.0f);
    for (const auto& [p, display] : field)
        EXPECT_EQ(plugin->parameterDisplay(p), display) << "parameter " << p;
    plugin->dispatch(effSetProgram, 0, 4);
    EXPECT_EQ(plugin->programName(), "User 4");
}

} // namespace
