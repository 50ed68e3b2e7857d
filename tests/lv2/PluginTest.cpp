// SonquadLV2 through hosts: a small host on liblilv and lv2apply (Debian lilv-utils), each render
// compared bit for bit with an independent one: the built SonquadVST.so through its exported
// interface, or `sonquad render`.
#include "host/Lv2TestHost.h"
#include "lv2/Ports.h"
#include "model/Parameters.h"
#include "tests/host/LoadedPlugin.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Channels = testsupport::Buffers;
using testsupport::bitIdentical;
constexpr const char* kUri = "urn:morlane:sonquad:lv2";
constexpr const char* kCalibration = "urn:morlane:sonquad:lv2#calibration";
constexpr int kRate = 48000;
constexpr std::size_t kFrames = 3 * 4096 + 77;

Channels take() { return testsupport::noise4(kFrames, 15); }

// A scratch folder holding a fixture file (if any) and, for a text calibration, its coefficients.
struct FolderWith : testsupport::TempFolder {
    explicit FolderWith(const std::string& file = "")
    {
        const fs::path fixtures = SONQUAD_FIXTURES;
        if (file.empty())
            return;
        fs::copy(fixtures / file, path / file);
        if (fs::is_directory(fixtures / fs::path(file).stem()))
            fs::copy(fixtures / fs::path(file).stem(), path / fs::path(file).stem());
    }
};

// SonquadVST.so with its calibration folder at 48 kHz in 512-sample blocks: its program, then
// parameters (index, normalised value).
Channels renderVst(const fs::path& folder, int program, const std::map<int, float>& values, Channels buffers)
{
    setenv("SONQUAD_CALIBRATION_DIR", folder.c_str(), 1);
    auto vst = testhost::createPlugin();
    vst->dispatch(effSetSampleRate, 0, 0, nullptr, kRate);
    vst->dispatch(effSetBlockSize, 0, 512);
    vst->dispatch(effMainsChanged, 0, 1);
    vst->dispatch(effSetProgram, 0, program);
    for (const auto& [parameter, value] : values)
        vst->setParameter(parameter, value);
    for (std::size_t at = 0; at < buffers[0].size(); at += 512)
        vst->processReplacing(buffers, static_cast<VstInt32>(at), static_cast<VstInt32>(std::min<std::size_t>(512, buffers[0].size() - at)));
    return buffers;
}

// The LV2 with each output on its input (in place), in blocks of 1, 0, 32, 257 and 4096 samples.
Channels renderLv2(lv2host::Plugin& plugin, Channels buffers)
{
    const std::size_t pattern[] = {1, 0, 32, 257, 4096};
    for (std::size_t at = 0, k = 0; at < kFrames; at += pattern[k++ % 5]) {
        for (std::uint32_t c = 0; c < 4; ++c) {
            plugin.connectAudio(c, buffers[c].data() + at);
            plugin.connectAudio(4 + c, buffers[c].data() + at);
        }
        plugin.run(static_cast<std::uint32_t>(std::min(pattern[k % 5], kFrames - at)));
    }
    return buffers;
}

// An instance that has loaded the calibration file (empty: none) and reported it.
void load(lv2host::Plugin& plugin, const fs::path& file)
{
    if (!file.empty())
        plugin.sendPatchSetPath(kCalibration, file.string());
    plugin.run(0);   // schedules the work; the response is installed after it
    plugin.run(0);   // reports the calibration on the notify port
    EXPECT_EQ(plugin.takeNotifiedPaths(), file.empty() ? std::vector<std::string> {} : std::vector<std::string> {file.string()});
}

// ---------------------------------------------------------------------------------------------
// The calibration file and the ports against the VST with the same file in its folder.

struct CalibrationCase {
    std::string name;
    std::string file;                     // fixture; empty: none (built-in program 0)
    float latency;                        // samples
    std::map<std::string, float> ports;   // LV2 control values
    std::map<int, float> vst;             // VST parameters: normalised value, or offset in dB for a gain
};
void PrintTo(const CalibrationCase& c, std::ostream* out) { *out << c.name; }

class CalibrationFile : public testing::TestWithParam<CalibrationCase> {};

TEST_P(CalibrationFile, RendersLikeTheVstAndSurvivesSaveAndRestoreInAnotherFolder)
{
    const CalibrationCase& c = GetParam();
    const FolderWith calibration(c.file);
    const fs::path& folder = calibration.path;
    const int program = c.file.empty() ? 0 : 2;
    std::map<int, float> values = c.vst;
    {
        // A gain port adds offset / span (the VST's range in dB) to the calibration's value.
        setenv("SONQUAD_CALIBRATION_DIR", folder.c_str(), 1);
        auto vst = testhost::createPlugin();
        vst->dispatch(effSetProgram, 0, program);
        for (auto& [p, v] : values) {
            if (param::label(p) != std::string("dB"))
                continue;
            const float calibrated = vst->getParameter(p);
            vst->setParameter(p, 1.0f);
            const float top = std::stof(vst->parameterDisplay(p));
            vst->setParameter(p, 0.0f);
            v = calibrated + v / (top - std::stof(vst->parameterDisplay(p)));
        }
    }
    const Channels expected = renderVst(folder, program, values, take());

    const FolderWith saved, moved;
    {
        lv2host::Plugin lv2(SONQUAD_LV2_BUNDLE, kUri, kRate);
        for (const auto& [symbol, value] : c.ports)
            lv2.setControl(symbol, value);
        load(lv2, c.file.empty() ? fs::path() : folder / c.file);
        EXPECT_EQ(lv2.control("latency"), c.latency);
        ASSERT_TRUE(bitIdentical(renderLv2(lv2, take()), expected));
        lv2.saveState(saved.str());
    }
    // The session moves: the state folder is copied elsewhere and the original removed.
    fs::copy(saved.path, moved.path, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    fs::remove_all(saved.path);
    lv2host::Plugin fresh(SONQUAD_LV2_BUNDLE, kUri, kRate);
    for (const auto& [symbol, value] : c.ports)
        fresh.setControl(symbol, value);
    ASSERT_TRUE(fresh.restoreState(moved.str()));
    fresh.finishWork();
    EXPECT_TRUE(fresh.takeLog().empty());
    EXPECT_TRUE(bitIdentical(renderLv2(fresh, take()), expected));
}

INSTANTIATE_TEST_SUITE_P(
    Lv2, CalibrationFile,
    testing::Values(CalibrationCase {"BuiltInProgram", "", 1024.0f, {}, {}},
                    CalibrationCase {"TextCalibration", "Studio.txt", 0.0f, {}, {}},
                    CalibrationCase {"ProcessorConfiguration", "Field.sonq", 0.0f, {}, {}},
                    CalibrationCase {"PortsOnATextCalibration", "Studio.txt", 1024.0f,
                                     {{"w_gain", -3.0f}, {"cap2_out3_gain", 1.5f}, {"cap4_eq_gain", 2.0f},
                                      {"lf_boost_freq", 80.0f}, {"eqs_enabled", 0.0f}, {"correction", 1.0f}},
                                     {{param::outputGain(0), -3.0f}, {param::capOutGain(1, 2), 1.5f},
                                      {param::capEqGain(3), 2.0f}, {param::kLfBoostFreq, param::lfFrequencyValue(80.0)},
                                      {param::kEqsEnabled, 0.0f}, {param::kPostMatrixFilterNumber, param::filterSetValue(1)}}}),
    [](const testing::TestParamInfo<CalibrationCase>& info) { return info.param.name; });

// ---------------------------------------------------------------------------------------------
// Files that cannot be used: the calibration in use stays, and the log says why.

struct RefusedCase {
    std::string name;
    std::string file;       // written beside the calibration in use, unless contents is null
    const char* contents;
    std::string reason;     // in the logged error
};
void PrintTo(const RefusedCase& c, std::ostream* out) { *out << c.name; }

class RefusedFile : public testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedFile, LeavesTheOutputUnchangedAndIsLogged)
{
    const RefusedCase& c = GetParam();
    const FolderWith folder("Studio.txt");
    const fs::path bad = folder / c.file;
    if (c.contents)
        std::ofstream(bad, std::ios::binary) << c.contents;
    // Two instances with the same calibration and history; one of them is sent the file.
    lv2host::Plugin lv2(SONQUAD_LV2_BUNDLE, kUri, kRate), untouched(SONQUAD_LV2_BUNDLE, kUri, kRate);
    load(lv2, folder / "Studio.txt");
    load(untouched, folder / "Studio.txt");
    lv2.takeLog();
    lv2.sendPatchSetPath(kCalibration, bad.string());
    lv2.run(0);
    std::vector<std::string> errors;   // beside the readers' notes
    for (const lv2host::LogEntry& entry : lv2.takeLog())
        if (entry.type == "http://lv2plug.in/ns/ext/log#Error")
            errors.push_back(entry.text);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find(bad.string() + ": " + c.reason), std::string::npos) << errors[0];
    EXPECT_TRUE(lv2.takeNotifiedPaths().empty());
    EXPECT_TRUE(bitIdentical(renderLv2(lv2, take()), renderLv2(untouched, take())));
}

INSTANTIATE_TEST_SUITE_P(
    Lv2, RefusedFile,
    testing::Values(RefusedCase {"Missing", "Absent.txt", nullptr, "cannot be opened"},
                    RefusedCase {"OtherKind", "Take.wav", "RIFF", "not a calibration file"},
                    RefusedCase {"TextWithoutCalibration", "Notes.txt", "a shopping list\n", "no calibration line"},
                    RefusedCase {"ConfigurationWithoutVersion", "Blank.sonq", "not a configuration", "no \"/sonqproc\""}),
    [](const testing::TestParamInfo<RefusedCase>& info) { return info.param.name; });

// ---------------------------------------------------------------------------------------------

TEST(Lv2Automation, EveryControlPortMovingInEvery32SampleBlockAllocatesNothing)
{
    const FolderWith folder("Studio.txt");
    const fs::path studio = folder / "Studio.txt";
    lv2host::Plugin lv2(SONQUAD_LV2_BUNDLE, kUri, kRate);
    Channels buffers = take();
    for (std::uint32_t c = 0; c < 4; ++c) {
        lv2.connectAudio(c, buffers[c].data());
        lv2.connectAudio(4 + c, buffers[c].data());
    }
    std::vector<std::string> controls;
    for (const lv2plugin::PortSpec& port : lv2plugin::ports())
        if (port.kind == lv2plugin::PortKind::kControlIn)
            controls.push_back(port.symbol);
    long allocations = 0;
    for (int block = 0; block < 400; ++block) {
        // Every port takes a new value in every block, across its range (the first six are the
        // enumerations and switches, from 0); twice a calibration arrives (work_response is
        // counted with run()).
        for (std::size_t k = 0; k < controls.size(); ++k)
            lv2.setControl(controls[k], static_cast<float>((block + k) % 5) * 0.5f - (k < 6 ? 0.0f : 1.0f));
        if (block == 100 || block == 300)
            lv2.sendPatchSetPath(kCalibration, studio.string());
        lv2.run(32);
        allocations += lv2.allocationsInLastRun();
    }
    EXPECT_EQ(allocations, 0);
}

// ---------------------------------------------------------------------------------------------
// lv2apply: a host we did not write, which gives no features at all.

struct ApplyCase {
    std::string name;
    std::string controls;   // lv2apply -c options
    std::string sonquad;    // sonquad render options; empty: SonquadVST.so at program 0
};
void PrintTo(const ApplyCase& c, std::ostream* out) { *out << c.name; }

class Lv2apply : public testing::TestWithParam<ApplyCase> {};

// A four-channel float WAV file.
Channels readWav(const fs::path& path)
{
    SF_INFO info {};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    std::vector<float> interleaved(file && info.channels == 4 ? static_cast<std::size_t>(info.frames) * 4 : 0);
    sf_readf_float(file, interleaved.data(), static_cast<sf_count_t>(interleaved.size() / 4));
    sf_close(file);
    Channels channels(4, std::vector<float>(interleaved.size() / 4));
    for (std::size_t n = 0; n < interleaved.size() / 4; ++n)
        for (int c = 0; c < 4; ++c)
            channels[c][n] = interleaved[4 * n + c];
    return channels;
}

TEST_P(Lv2apply, RendersTheTakeLikeTheVstOrTheCommandLineHost)
{
#ifdef SONQUAD_SANITIZED
    GTEST_SKIP() << "lv2apply cannot load a module built with a sanitizer runtime it does not have";
#endif
    const ApplyCase& c = GetParam();
    const FolderWith folder, lv2Path;   // lv2Path: the bundle only, and no calibration
    fs::create_directory_symlink(SONQUAD_LV2_BUNDLE, lv2Path / "SonquadLV2.lv2");
    const std::string synth = SONQUAD_CLI_BINARY " synth -o " + (folder / "take.wav").string() + " --source 30,10 --length 0.3";
    ASSERT_EQ(std::system(synth.c_str()), 0) << synth;
    const Channels input = readWav(folder / "take.wav");
    const std::string command = "LV2_PATH=" + lv2Path.str() + " lv2apply -i " + (folder / "take.wav").string() + " -o " +
                                (folder / "lv2.wav").string() + " " + c.controls + " " + kUri;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    // The empty folder stands for a machine without calibrations.
    const std::string render = "SONQUAD_CALIBRATION_DIR=" + lv2Path.str() + " " SONQUAD_CLI_BINARY " render -q --keep-latency " +
                               c.sonquad + " " + (folder / "take.wav").string() + " -o " + (folder / "sonquad.wav").string();
    ASSERT_EQ(c.sonquad.empty() ? 0 : std::system(render.c_str()), 0) << render;
    const Channels expected = c.sonquad.empty() ? renderVst(lv2Path.path, 0, {}, input) : readWav(folder / "sonquad.wav");
    EXPECT_TRUE(bitIdentical(readWav(folder / "lv2.wav"), expected));
}

INSTANTIATE_TEST_SUITE_P(Lv2, Lv2apply,
                         testing::Values(ApplyCase {"FuMaUprightIsTheVstAtProgram0", "", ""},
                                         ApplyCase {"AmbiX", "-c output_format 1", "--format ambix"},
                                         ApplyCase {"Inverted", "-c orientation 1", "--orientation inverted"},
                                         ApplyCase {"AmbiXEndfire", "-c output_format 1 -c orientation 2",
                                                    "--format ambix --orientation endfire"},
                                         ApplyCase {"LfCutAt40Hz", "-c lf_cut_freq 40", "--set 'LF Cut Freq=40'"}),
                         [](const testing::TestParamInfo<ApplyCase>& info) { return info.param.name; });

} // namespace
