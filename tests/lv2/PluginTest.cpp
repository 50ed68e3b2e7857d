// SonquadLV2 through hosts: a small host on liblilv and lv2apply (Debian lilv-utils), each render
// compared with an independent one: SonquadVST.so, `sonquad render`, or the closed form of AmbiX
// from FuMa; and its description as hosts read it, against the parameters SonquadVST.so shows.
#include "host/Lv2TestHost.h"
#include "lv2/Ports.h"
#include "model/Parameters.h"
#include "tests/host/LoadedPlugin.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <lv2/units/units.h>
#include <sndfile.h>

#include <cmath>

namespace {

namespace fs = std::filesystem;
using Channels = testsupport::Buffers;
using testsupport::bitIdentical;
constexpr const char* kCalibration = "urn:morlane:sonquad:lv2#calibration";
constexpr std::size_t kFrames = 3 * 4096 + 77;

struct Sonquad : lv2host::Plugin { Sonquad() : Plugin(SONQUAD_LV2_BUNDLE, "urn:morlane:sonquad:lv2", 48000) {} };
Channels take() { return testsupport::noise4(kFrames, 15); }

// A scratch folder holding a fixture file (if any) and, for a text calibration, its coefficients.
struct FolderWith : testsupport::TempFolder {
    explicit FolderWith(const std::string& file = "")
    {
        for (const fs::path& name : {fs::path(file), fs::path(file).stem()})
            if (!file.empty() && fs::exists(fs::path(SONQUAD_FIXTURES) / name))
                fs::copy(fs::path(SONQUAD_FIXTURES) / name, path / name);
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
    auto shown = [&](int p, float v) { return vst->setParameter(p, v), std::stof(vst->parameterDisplay(p)); };
    for (auto [p, v] : values) {
        const float calibrated = vst->getParameter(p);   // a gain: + offset / span (the VST's range in dB)
        vst->setParameter(p, param::label(p) == std::string("dB") ? calibrated + v / (shown(p, 1) - shown(p, 0)) : v);
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
        for (std::uint32_t c = 0; c < 8; ++c)
            plugin.connectAudio(c, buffers[c % 4].data() + at);
        plugin.run(static_cast<std::uint32_t>(std::min(pattern[k % 5], kFrames - at)));
    }
    return buffers;
}

// Sends the calibration file; it is loaded after one run and reported in the next.
void load(lv2host::Plugin& plugin, const fs::path& file)
{
    plugin.sendPatchSetPath(kCalibration, file.string());
    plugin.run(0);
    plugin.run(0);
    EXPECT_EQ(std::exchange(plugin.notified, {}), std::vector {file.string()});
}

struct CalibrationCase {
    std::string name, file;               // fixture; empty: none (built-in program 0)
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
    const FolderWith calibration(c.file), session, moved;
    const Channels expected = renderVst(calibration.path, c.file.empty() ? 0 : 2, c.vst, take());
    for (const int restore : {0, 1, 2}) {
        SCOPED_TRACE(restore == 0 ? "before saving" : restore == 1 ? "restored with a worker" : "restored without one");
        Sonquad lv2;
        for (const auto& [symbol, value] : c.ports)
            lv2.control(symbol) = value;
        if (restore == 0 && !c.file.empty())
            load(lv2, calibration / c.file);
        ASSERT_TRUE(restore == 0 || lv2.restoreState(moved.path, restore == 1));
        lv2.finishWork();
        EXPECT_TRUE(lv2.log.empty()) << lv2.log.front().second;
        ASSERT_TRUE(bitIdentical(renderLv2(lv2, take()), expected));
        EXPECT_EQ(lv2.control("latency"), c.latency);
        if (restore == 0 && lv2.saveState(session.path)) {   // with a link to the file
            fs::copy(session.path, moved.path, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
            fs::remove_all(session.path);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lv2, CalibrationFile,
    testing::Values(CalibrationCase {"BuiltInProgram", "", 1024.0f, {}, {}},
                    CalibrationCase {"TextCalibration", "Studio.txt", 0.0f, {}, {}},
                    CalibrationCase {"ProcessorConfiguration", "Field.sonq", 0.0f, {}, {}},
                    CalibrationCase {"PortsOnATextCalibration", "Studio.txt", 1024.0f,
                                     {{"w_gain", -3.0f}, {"cap2_out3_gain", 1.5f}, {"cap4_eq_gain", 2.0f},
                                      {"lf_boost_freq", 80.0f}, {"eqs_enabled", 0.0f}, {"correction", 1.0f},
                                      {"lf_enabled", 0.25f}},   // a toggle above 0 is on
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
        const auto error = [&](const auto& entry) { return entry.first == lv2.map(LV2_LOG__Error); };   // not a note
        ASSERT_EQ(std::count_if(lv2.log.begin(), lv2.log.end(), error), 1);
        const std::string text = std::find_if(lv2.log.begin(), lv2.log.end(), error)->second;
        EXPECT_NE(text.find((folder / file).string() + ": " + reason), std::string::npos) << text;
        EXPECT_TRUE(lv2.notified.empty());
        EXPECT_TRUE(bitIdentical(renderLv2(lv2, take()), expected));
    }
}

TEST(Lv2Automation, EveryControlPortMovingInEvery32SampleBlockAllocatesNothing)
{
    const FolderWith folder("Studio.txt");
    Sonquad lv2;
    Channels buffers = take();
    for (std::uint32_t c = 0; c < 8; ++c)
        lv2.connectAudio(c, buffers[c % 4].data());
    long allocations = 0;
    for (int block = 0; block < 400; ++block) {
        // Every control port takes a new value in every block, across its range; twice a
        // calibration arrives (work_response is counted with run()).
        int k = block;
        for (const lv2plugin::PortSpec& port : lv2plugin::ports())
            if (port.kind == lv2plugin::PortKind::kControlIn)
                lv2.control(port.symbol) = port.minimum + float(k++ % 5) / 4.0f * (port.maximum - port.minimum);
        if (block == 100 || block == 300)
            lv2.sendPatchSetPath(kCalibration, (folder / "Studio.txt").string());
        lv2.run(32);
        allocations += lv2.allocations;
    }
    EXPECT_EQ(allocations, 0);
}

TEST(Lv2Outputs, AmbiXIsTheFuMaRenderWithWUp3dBInTheOrderWYZX)
{
    Sonquad fuma, ambix;
    ambix.control("output_format") = 1.0f;
    const Channels f = renderLv2(fuma, take()), a = renderLv2(ambix, take());
    const int from[4] = {0, 2, 3, 1};   // W Y Z X of W X Y Z
    for (int k = 0; k < 4; ++k)
        for (std::size_t n = 0; n < kFrames; ++n)
            ASSERT_EQ(a[k][n], (k == 0 ? std::sqrt(2.0f) : 1.0f) * f[from[k]][n]) << "channel " << k << ", sample " << n;
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
    const std::string take = (folder / "take.wav").string(), commands[] = {
        SONQUAD_CLI_BINARY " synth -q -o " + take + " --source 30,10 --length 0.3",
        "LV2_PATH=" + lv2Path.str() + " lv2apply -i " + take + " -o " + take + ".lv2.wav" +
            " -c output_format 1 -c orientation 2 -c lf_cut_freq 40 urn:morlane:sonquad:lv2",
        "SONQUAD_CALIBRATION_DIR=" + lv2Path.str() + " " SONQUAD_CLI_BINARY " render -q --keep-latency --format ambix " +
            "--orientation endfire --set 'LF Cut Freq=40' " + take + " -o " + take + ".sonquad.wav"};
    for (const std::string& command : commands)
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::vector<float> renders[2];   // interleaved, through libsndfile
    for (int k = 0; k < 2; ++k) {
        SF_INFO info {};
        SNDFILE* file = sf_open((take + (k ? ".sonquad.wav" : ".lv2.wav")).c_str(), SFM_READ, &info);
        renders[k].resize(file ? static_cast<std::size_t>(info.frames * info.channels) : 0);
        sf_close((sf_read_float(file, renders[k].data(), static_cast<sf_count_t>(renders[k].size())), file));
    }
    ASSERT_EQ(renders[0].size(), 4u * 14400);
    EXPECT_TRUE(renders[0] == renders[1]);
}

// Every VST parameter is a port with the VST's name (" Offset" for a gain), unit and span, or has
// none.
TEST(Lv2Description, EveryVstParameterIsAPortWithTheVstsNameUnitAndSpanOrHasNone)
{
    // What a host reads of a port: unit, toggled, minimum, maximum, default, scale points.
    using Description = std::tuple<std::string, bool, float, float, float, std::map<float, std::string>>;
    Sonquad lv2;
    auto vst = testhost::createPlugin();
    std::map<std::string, const LilvPort*> ports;   // by name
    std::vector<float> min(lilv_plugin_get_num_ports(lv2.plugin)), max(min.size()), def(min.size());
    lilv_plugin_get_port_ranges_float(lv2.plugin, min.data(), max.data(), def.data());
    for (std::uint32_t i = 0; i < min.size(); ++i) {
        const LilvPort* port = lilv_plugin_get_port_by_index(lv2.plugin, i);
        ports[lilv_node_as_string(lv2host::own(lilv_port_get_name(lv2.plugin, port)).get())] = port;
    }
    for (int p = 0; p < param::kCount; ++p) {
        const std::string name = vst->parameterName(p), label = vst->parameterLabel(p);
        SCOPED_TRACE(name);
        auto shown = [&](float v) { return vst->setParameter(p, v), std::stof(vst->parameterDisplay(p)); };
        const auto found = ports.find(p == param::kPostMatrixFilterNumber ? "Correction" : label == "dB" ? name + " Offset" : name);
        Description expected;
        if (p == param::kLfEnabled || p == param::kEqsEnabled || p == param::kAbMatrixEnabled) {
            expected = {"", true, 0.0f, 1.0f, 1.0f, {}};   // on: the stage as calibrated
        } else if (p == param::kLfCutFreq || p == param::kLfBoostFreq) {
            expected = {LV2_UNITS__hz, false, 0.0f, shown(1.0f), 0.0f, {{0.0f, "As calibrated"}}};
        } else if (label == "dB") {
            const float span = (shown(1.0f) - shown(0.0f)) / 2.0f;   // an offset over the VST's span, around 0
            expected = {LV2_UNITS__db, false, -span, span, 0.0f, {}};
        } else if (p == param::kPostMatrixFilterNumber) {
            // The built-in sets under the names the VST shows for them, and the calibration's own.
            expected = {"", false, 0.0f, 3.0f, 3.0f, {{3.0f, "As calibrated"}}};
            for (int set = 0; set < 3; ++set) {
                vst->setParameter(p, param::filterSetValue(set));
                std::get<5>(expected)[static_cast<float>(set)] = vst->parameterDisplay(p);
            }
        } else {
            EXPECT_EQ(found, ports.end()) << "editor state, linking or a set no stage uses";
            continue;
        }
        ASSERT_NE(found, ports.end());
        const LilvPort* port = found->second;
        std::map<float, std::string> labels;   // of the scale points, by value
        LilvScalePoints* points = lilv_port_get_scale_points(lv2.plugin, port);
        LILV_FOREACH (scale_points, k, points) {
            const LilvScalePoint* point = lilv_scale_points_get(points, k);
            labels[lilv_node_as_float(lilv_scale_point_get_value(point))] = lilv_node_as_string(lilv_scale_point_get_label(point));
        }
        lilv_scale_points_free(points);
        const std::uint32_t i = lilv_port_get_index(lv2.plugin, port);
        const lv2host::Node unit = lv2host::own(lilv_port_get(lv2.plugin, port, lv2host::own(lilv_new_uri(lv2.world, LV2_UNITS__unit)).get()));
        EXPECT_EQ(Description(unit ? lilv_node_as_string(unit.get()) : "",
                              lilv_port_has_property(lv2.plugin, port, lv2host::own(lilv_new_uri(lv2.world, LV2_CORE__toggled)).get()),
                              min[i], max[i], def[i], labels),
                  expected);
    }
}

} // namespace
