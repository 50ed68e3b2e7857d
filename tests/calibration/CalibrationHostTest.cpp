// Programs built from calibration files, seen through the exported interface as a host sees them.
//
// These tests need buildProgramList to call scanCalibrationFolders (calibration/
// CalibrationLibrary.h). Each plug-in is created with SONQUAD_CALIBRATION_DIR naming a fixture
// folder made here, so the user's own calibration folders are never read.
#include "CalibrationTestSupport.h"
#include "host/LoadedPlugin.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace caltest;
using Buffers = std::vector<std::vector<float>>;

const std::string kTextCalibration = "sens 3 -3 0 1.5\n"
                                     "vsens 0 0 0 -6\n"
                                     "EQ 6 0 0 0\n"
                                     "EQfreq 1000 1000 1000 1000\n"
                                     "EQbw 500 500 500 500\n"
                                     "W -3\n"
                                     "X 1.5\n"
                                     "Y 0\n"
                                     "Z -2\n"
                                     "LF 30 50\n"
                                     "W48 gain_w48.flt\n"
                                     "Vel48 gain_vel48.flt\n";

// The coefficient files of a calibration: a constant gain for W, none for X, Y, Z.
void writeCoefficients(const fs::path& folder, float wGain)
{
    writeBytes(folder / "gain_w48.flt", coefficientFile({wGain}, {0.0f}));
    writeBytes(folder / "gain_vel48.flt", coefficientFile({1.0f}, {0.0f}));
}

class CalibrationPrograms : public ::testing::Test {
protected:
    TempFolder folder;
};

TEST_F(CalibrationPrograms, ATextCalibrationAndAConfigurationBecomePrograms2And3)
{
    writeText(folder / "Studio.txt", kTextCalibration);
    writeCoefficients(folder / "Studio", 0.5f);
    writeBytes(folder / "Field.sonq", OscFile()
                                          .add(OscMessage("/sonqproc").i(2))
                                          .add(OscMessage("/matrix/row").i(0).floats({0.5f, 0.5f, 0.5f, 0.5f}))
                                          .add(OscMessage("/lffilt/par").floats({1000.0f, 1.0f, 0.0f}))
                                          .add(OscMessage("/pmfilt/par").i(0).floats({100, 1, 3, 1000, 1, -3, 0}))
                                          .bytes);
    CalibrationDirectory directory(folder.str());
    auto plugin = testhost::createPlugin();
    plugin->dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);

    plugin->dispatch(effSetProgram, 0, 2);
    EXPECT_EQ(plugin->programName(), "Studio");
    EXPECT_EQ(plugin->parameterDisplay(param::kPostMatrixFilterNumber), "Studio");
    EXPECT_FLOAT_EQ(plugin->getParameter(param::kPostMatrixFilterNumber), 3.0f / 7.0f);
    EXPECT_EQ(plugin->parameterDisplay(param::capOutGain(0, 0)), "  3.0");
    EXPECT_EQ(plugin->parameterDisplay(param::capOutGain(1, 0)), " -3.0");
    EXPECT_EQ(plugin->parameterDisplay(param::capOutGain(3, 2)), " -6.0");
    EXPECT_EQ(plugin->parameterDisplay(param::capEqGain(0)), "  6.0");
    EXPECT_EQ(plugin->parameterDisplay(param::capEqFreq(2)), "1000.0");
    EXPECT_NEAR(std::stod(plugin->parameterDisplay(param::capEqWidth(1))), octavesRef(1000, 500), 0.051);
    EXPECT_EQ(plugin->parameterDisplay(param::outputGain(0)), "  0.0");   // -3 dB in the file, +3 dB on W
    EXPECT_EQ(plugin->parameterDisplay(param::outputGain(1)), "  1.5");
    EXPECT_EQ(plugin->parameterDisplay(param::outputGain(3)), " -2.0");
    EXPECT_EQ(plugin->parameterDisplay(param::kLfCutFreq), " 30.0");
    EXPECT_EQ(plugin->parameterDisplay(param::kLfBoostFreq), " 50.0");
    EXPECT_EQ(plugin->parameterDisplay(param::kLfEnabled), "Yes");
    EXPECT_EQ(plugin->parameterDisplay(param::kEqsEnabled), "Yes");
    EXPECT_EQ(plugin->parameterDisplay(param::kLocked), "No");

    plugin->dispatch(effSetProgram, 0, 3);
    EXPECT_EQ(plugin->programName(), "Field");
    EXPECT_EQ(plugin->parameterDisplay(param::kPostMatrixFilterNumber), "Field");
    EXPECT_FLOAT_EQ(plugin->getParameter(param::kPostMatrixFilterNumber), 4.0f / 7.0f);
    EXPECT_EQ(plugin->parameterDisplay(param::capOutGain(2, 0)), " -6.0");
    EXPECT_EQ(plugin->parameterDisplay(param::kLocked), "Yes");
    EXPECT_EQ(plugin->parameterDisplay(param::kLfCutFreq), " 20.0");
    EXPECT_EQ(plugin->parameterDisplay(param::capEqFreq(3)), "1000.0");

    plugin->dispatch(effSetProgram, 0, 4);
    EXPECT_EQ(plugin->programName(), "User 4");
}

Buffers render(const std::string& folder, int program)
{
    CalibrationDirectory directory(folder);
    auto plugin = testhost::createPlugin();
    plugin->dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
    plugin->dispatch(effSetProgram, 0, program);
    std::mt19937 random(7);
    std::uniform_real_distribution<float> uniform(-0.5f, 0.5f);
    Buffers buffers(4, std::vector<float>(2048));
    for (auto& channel : buffers)
        for (float& s : channel)
            s = uniform(random);
    for (VstInt32 offset = 0; offset < 2048; offset += 512)
        plugin->processReplacing(buffers, offset, 512);
    return buffers;
}

TEST_F(CalibrationPrograms, TheMeasuredWFilterActsLastOnTheWOutputOnly)
{
    // Two calibrations alike but for the W coefficient file: a gain of 0.5 against 1.
    writeText(folder / "Half.txt", kTextCalibration);
    writeText(folder / "Whole.txt", kTextCalibration);
    writeCoefficients(folder / "Half", 0.5f);
    writeCoefficients(folder / "Whole", 1.0f);
    const Buffers half = render(folder.str(), 2);
    const Buffers whole = render(folder.str(), 3);
    double energy = 0.0;
    for (std::size_t n = 0; n < half[0].size(); ++n) {
        ASSERT_EQ(half[0][n], 0.5f * whole[0][n]) << n;
        energy += static_cast<double>(whole[0][n]) * whole[0][n];
    }
    EXPECT_GT(energy, 1.0);
    for (int k = 1; k < 4; ++k)
        EXPECT_EQ(std::memcmp(half[k].data(), whole[k].data(), half[k].size() * sizeof(float)), 0) << k;
}

} // namespace
