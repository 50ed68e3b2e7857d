// SonquadLV2 through hosts: a small host on liblilv and lv2apply (Debian lilv-utils), each render
// compared with an independent one: SonquadVST.so through its exported interface, `sonquad
// render`, or the closed form of the output formats and mountings.
#include "host/Lv2TestHost.h"
#include "lv2/Ports.h"
#include "model/Parameters.h"
#include "tests/host/LoadedPlugin.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>

namespace {

namespace fs = std::filesystem;
using Channels = testsupport::Buffers;
using testsupport::bitIdentical;
constexpr const char* kCalibration = "urn:morlane:sonquad:lv2#calibration";
constexpr std::size_t kFrames = 3 * 4096 + 77;

struct Sonquad : lv2host::Plugin {
    Sonquad() : Plugin(SONQUAD_LV2_BUNDLE, "urn:morlane:sonquad:lv2", 48000) {}
};
Channels take() { return testsupport::noise4(kFrames, 15); }

// A scratch folder holding a fixture file (if any) and, for a text calibration, its coefficients.
struct FolderWith : testsupport::TempFolder {
    explicit FolderWith(const std::string& file = "")
    {
        const fs::path fixtures = SONQUAD_FIXTURES, stem = fs::path(file).stem();
        if (!file.empty())
            fs::copy(fixtures / file, path / file);
        if (!file.empty() && fs::is_directory(fixtures / stem))
            fs::copy(fixtures / stem, path / stem);
    }
};

// SonquadVST.so with its calibration folder at 48 kHz in 512-sample blocks: its program, then
// parameters (index, normalised value, or for a gain an offset in dB on the program's value).
Channels renderVst(const fs::path& folder, int program, const std::map<int, float>& values, Channels buffers)
{
    setenv("SONQUAD_CALIBRATION_DIR", folder.c_str(), 1);
    auto vst = testhost::createPlugin();
    vst->dispatch(effSetSampleRate, 0, 0, nullptr, 48000);
    vst->dispatch(effSetBlockSize, 0, 512);
    vst->dispatch(effMainsChanged, 0, 1);
    vst->dispatch(effSetProgram, 0, program);
    for (auto [p, v] : values) {
        if (param::label(p) == std::string("dB")) {   // offset / span (the VST's range in dB)
            const float calibrated = vst->getParameter(p);
            vst->setParameter(p, 1.0f);
            const float top = std::stof(vst->parameterDisplay(p));
            vst->setParameter(p, 0.0f);
            v = calibrated + v / (top - std::stof(vst->parameterDisplay(p)));
        }
        vst->setParameter(p, v);
    }
    for (std::size_t at = 0; at < kFrames; at += 512)
        vst->processReplacing(buffers, static_cast<VstInt32>(at), static_cast<VstInt32>(std::min<std::size_t>(512, kFrames - at)));
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

// Sends the calibration file (empty: none); it is loaded after one run and reported in the next.
void load(lv2host::Plugin& plugin, const fs::path& file)
{
    if (!file.empty())
        plugin.sendPatchSetPath(kCalibration, file.string());
    plugin.run(0);
    plugin.run(0);
    EXPECT_EQ(std::exchange(plugin.notified, {}), file.empty() ? std::vector<std::string> {} : std::vector {file.string()});
}

struct CalibrationCase {
    std::string name, file;               // fixture; empty: none (built-in program 0)
    bool inSession;                       // the session folder holds the file, else a link to it
    float latency;                        // samples
    std::map<std::string, float> ports;   // LV2 control values
    std::map<int, float> vst;             // VST parameters as renderVst takes them
};
void PrintTo(const CalibrationCase& c, std::ostream* out) { *out << c.name; }

class CalibrationFile : public testing::TestWithParam<CalibrationCase> {};

// The calibration and the ports against the VST with the file in its folder; then the session is
// saved, copied elsewhere and the original removed, and restored by a host that gives a worker
// and by one that gives none.
TEST_P(CalibrationFile, RendersLikeTheVstAlsoAfterTheSessionMoves)
{
    const CalibrationCase& c = GetParam();
    const FolderWith calibration(c.file), elsewhere, moved;
    const fs::path& session = c.inSession ? calibration.path : elsewhere.path;
    const Channels expected = renderVst(calibration.path, c.file.empty() ? 0 : 2, c.vst, take());
    {
        Sonquad lv2;
        for (const auto& [symbol, value] : c.ports)
            lv2.control(symbol) = value;
        load(lv2, c.file.empty() ? fs::path() : calibration / c.file);
        EXPECT_EQ(lv2.control("latency"), c.latency);
        ASSERT_TRUE(bitIdentical(renderLv2(lv2, take()), expected));
        lv2.saveState(session);
    }
    fs::copy(session, moved.path, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    fs::remove_all(session);
    for (const bool worker : {true, false}) {
        SCOPED_TRACE(worker ? "with a worker" : "without one");
        Sonquad fresh;
        for (const auto& [symbol, value] : c.ports)
            fresh.control(symbol) = value;
        ASSERT_TRUE(fresh.restoreState(moved.path, worker));
        fresh.finishWork();
        EXPECT_TRUE(fresh.log.empty()) << fresh.log.front().second;
        EXPECT_TRUE(bitIdentical(renderLv2(fresh, take()), expected));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lv2, CalibrationFile,
    testing::Values(CalibrationCase {"BuiltInProgram", "", false, 1024.0f, {}, {}},
                    CalibrationCase {"TextCalibration", "Studio.txt", false, 0.0f, {}, {}},
                    CalibrationCase {"ProcessorConfigurationInTheSession", "Field.sonq", true, 0.0f, {}, {}},
                    CalibrationCase {"PortsOnATextCalibration", "Studio.txt", false, 1024.0f,
                                     {{"w_gain", -3.0f}, {"cap2_out3_gain", 1.5f}, {"cap4_eq_gain", 2.0f},
                                      {"lf_boost_freq", 80.0f}, {"eqs_enabled", 0.0f}, {"correction", 1.0f}},
                                     {{param::outputGain(0), -3.0f}, {param::capOutGain(1, 2), 1.5f},
                                      {param::capEqGain(3), 2.0f}, {param::kLfBoostFreq, param::lfFrequencyValue(80.0)},
                                      {param::kEqsEnabled, 0.0f}, {param::kPostMatrixFilterNumber, param::filterSetValue(1)}}}),
    [](const testing::TestParamInfo<CalibrationCase>& info) { return info.param.name; });

TEST(Lv2RefusedFile, LeavesTheCalibrationInUseAndLogsWhy)
{
    const FolderWith folder("Studio.txt");
    Sonquad untouched;
    load(untouched, folder / "Studio.txt");
    const Channels expected = renderLv2(untouched, take());
    const char* const refused[][3] = {// file (written unless its contents are null), contents, the logged reason
                                      {"Absent.txt", nullptr, "cannot be opened"},
                                      {"Take.wav", "RIFF", "not a calibration file"},
                                      {"Notes.txt", "a shopping list\n", "no calibration line"},
                                      {"Blank.sonq", "not a configuration", "no \"/sonqproc\""}};
    for (const auto& [file, contents, reason] : refused) {
        SCOPED_TRACE(file);
        if (contents)
            testsupport::writeText(folder / file, contents);
        Sonquad lv2;
        load(lv2, folder / "Studio.txt");
        lv2.log.clear();
        lv2.sendPatchSetPath(kCalibration, (folder / file).string());
        lv2.run(0);
        std::vector<std::string> errors;   // beside the readers' notes
        for (const auto& [type, text] : lv2.log)
            if (type == lv2.map(LV2_LOG__Error))
                errors.push_back(text);
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_NE(errors[0].find((folder / file).string() + ": " + reason), std::string::npos) << errors[0];
        EXPECT_TRUE(lv2.notified.empty());
        EXPECT_TRUE(bitIdentical(renderLv2(lv2, take()), expected));
    }
}

TEST(Lv2Automation, EveryControlPortMovingInEvery32SampleBlockAllocatesNothing)
{
    const FolderWith folder("Studio.txt");
    Sonquad lv2;
    Channels buffers = take();
    for (std::uint32_t c = 0; c < 4; ++c) {
        lv2.connectAudio(c, buffers[c].data());
        lv2.connectAudio(4 + c, buffers[c].data());
    }
    long allocations = 0;
    for (int block = 0; block < 400; ++block) {
        // Every control port takes a new value in every block, across its range; twice a
        // calibration arrives (work_response is counted with run()).
        for (std::size_t k = 0; k < lv2plugin::ports().size(); ++k) {
            const lv2plugin::PortSpec& port = lv2plugin::ports()[k];
            if (port.kind == lv2plugin::PortKind::kControlIn)
                lv2.control(port.symbol) = port.minimum + float((block + k) % 5) / 4.0f * (port.maximum - port.minimum);
        }
        if (block == 100 || block == 300)
            lv2.sendPatchSetPath(kCalibration, (folder / "Studio.txt").string());
        lv2.run(32);
        allocations += lv2.allocations;
    }
    EXPECT_EQ(allocations, 0);
}

TEST(Lv2Outputs, EachFormatAndMountingIsTheClosedFormOfTheFuMaUprightRender)
{
    // A mounting turns X Y Z (inverted: X -Y -Z; end-fire: Z Y -X); AmbiX then takes W up 3 dB
    // and the order W Y Z X. Output k is gain[k] times channel from[k] of the FuMa upright render.
    const float w = std::sqrt(2.0f);
    const struct {
        const char *format, *mounting;
        int from[4];
        float gain[4];
    } conventions[] = {{"FuMa", "Inverted", {0, 1, 2, 3}, {1, 1, -1, -1}}, {"FuMa", "End-fire", {0, 3, 2, 1}, {1, 1, 1, -1}},
                       {"AmbiX", "Upright", {0, 2, 3, 1}, {w, 1, 1, 1}},   {"AmbiX", "Inverted", {0, 2, 3, 1}, {w, -1, -1, 1}},
                       {"AmbiX", "End-fire", {0, 2, 1, 3}, {w, 1, -1, 1}}};
    Sonquad upright;
    const Channels fuma = renderLv2(upright, take());
    for (const auto& c : conventions) {
        SCOPED_TRACE(std::string(c.format) + " " + c.mounting);
        Sonquad lv2;
        // The choices as a host's menu offers them.
        for (const auto& [symbol, label] : {std::pair {"output_format", c.format}, std::pair {"orientation", c.mounting}})
            for (const auto& [value, text] : lv2.scalePoints(lv2.port(symbol)))
                lv2.control(symbol) = text == label ? value : lv2.control(symbol);
        const Channels out = renderLv2(lv2, take());
        for (int k = 0; k < 4; ++k) {
            std::vector<float> expected(kFrames);
            for (std::size_t n = 0; n < kFrames; ++n)
                expected[n] = c.gain[k] * fuma[c.from[k]][n];
            EXPECT_TRUE(out[k] == expected) << "channel " << k;   // ==: a mounting may give -0 for 0
        }
    }
}

// The interleaved samples of a sound file.
std::vector<float> samples(const std::string& path)
{
    SF_INFO info {};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    std::vector<float> read(file ? static_cast<std::size_t>(info.frames * info.channels) : 0);
    sf_read_float(file, read.data(), static_cast<sf_count_t>(read.size()));
    sf_close(file);
    return read;
}

// lv2apply: a host we did not write, which gives no features at all; an LV2 path with the bundle
// alone, and no calibration folder.
TEST(Lv2apply, RendersTheTakeLikeTheCommandLineHost)
{
#ifdef SONQUAD_SANITIZED
    GTEST_SKIP() << "lv2apply cannot load a module built with a sanitizer runtime it does not have";
#endif
    const FolderWith folder, lv2Path;
    fs::create_directory_symlink(SONQUAD_LV2_BUNDLE, lv2Path / "SonquadLV2.lv2");
    const std::string take = (folder / "take.wav").string(), out = take + ".lv2.wav", reference = take + ".sonquad.wav";
    const std::string commands[] = {
        SONQUAD_CLI_BINARY " synth -q -o " + take + " --source 30,10 --length 0.3",
        "LV2_PATH=" + lv2Path.str() + " lv2apply -i " + take + " -o " + out +
            " -c output_format 1 -c orientation 2 -c lf_cut_freq 40 urn:morlane:sonquad:lv2",
        "SONQUAD_CALIBRATION_DIR=" + lv2Path.str() + " " SONQUAD_CLI_BINARY " render -q --keep-latency --format ambix " +
            "--orientation endfire --set 'LF Cut Freq=40' " + take + " -o " + reference};
    for (const std::string& command : commands)
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    EXPECT_FALSE(samples(out).empty());
    EXPECT_TRUE(samples(out) == samples(reference));
}

} // namespace
