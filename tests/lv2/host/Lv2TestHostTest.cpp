// The LV2 test host against a plug-in we did not write: the LV2 project's own example sampler
// (Debian lv2-examples, <http://lv2plug.in/plugins/eg-sampler>), which takes its sample as a
// patch:Set of an atom:Path, loads it on the worker, answers with a patch:Set on its notify
// port, logs what it cannot load and saves the path through the state extension. Each case
// runs with the work done after run() on the test thread and with a worker thread.
#include "host/Lv2TestHost.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using lv2host::Plugin;
using lv2host::WorkerMode;

const std::string kSampler = "http://lv2plug.in/plugins/eg-sampler";
const std::string kSampleProperty = "http://lv2plug.in/plugins/eg-sampler#sample";
constexpr uint32_t kBlock = 256;
constexpr uint8_t kNoteOn[3] = {0x90, 60, 100};

// A mono float WAV with a shape of its own, so that the sampler's output can only match it. Its
// last sample is 0: the example sampler's render loop overwrites the last sample it plays with
// silence, which the comparison then does not depend on.
std::vector<float> writeSample(const fs::path& path, int frames, double cycles)
{
    std::vector<float> data(frames);
    for (int i = 0; i < frames; ++i)
        data[i] = static_cast<float>(0.5 * std::sin(2.0 * M_PI * cycles * i / frames) * (1.0 - double(i) / (frames - 1)));
    SF_INFO info {};
    info.samplerate = 48000;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    EXPECT_NE(file, nullptr) << path;
    sf_writef_float(file, data.data(), frames);
    sf_close(file);
    return data;
}

class SamplerThroughTheHost : public testing::TestWithParam<WorkerMode> {
protected:
    void SetUp() override
    {
        std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '-');
        folder = fs::temp_directory_path() / ("lv2host-test-" + std::to_string(::getpid()) + "-" + name);
        fs::remove_all(folder);
        fs::create_directories(folder);
        samplePath = folder / "ramp.wav";
        sample = writeSample(samplePath, 100, 3.0);
        if (!world.plugin(kSampler))
            GTEST_SKIP() << "eg-sampler is not installed (Debian lv2-examples)";
    }
    void TearDown() override { fs::remove_all(folder); }

    std::unique_ptr<Plugin> makeSampler()
    {
        auto plugin = std::make_unique<Plugin>(world, kSampler, 48000.0, kBlock, GetParam());
        plugin->connectAudio("out", output.data());
        plugin->activate();
        return plugin;
    }

    // Sets the sample and runs until the sampler has installed it (one block, plus the worker).
    void loadSample(Plugin& plugin, const std::string& path)
    {
        plugin.sendPatchSetPath(kSampleProperty, path);
        plugin.run(kBlock);
        plugin.finishWork();
        plugin.run(kBlock);
    }

    // Plays the current sample from a note-on and returns the first block.
    std::vector<float> play(Plugin& plugin)
    {
        plugin.sendMidi(kNoteOn, sizeof kNoteOn);
        plugin.run(kBlock);
        return output;
    }

    std::vector<float> expectedBlock(const std::vector<float>& data) const
    {
        std::vector<float> block(kBlock, 0.0f);
        std::copy(data.begin(), data.begin() + std::min<std::size_t>(data.size(), kBlock), block.begin());
        return block;
    }

    lv2host::World world;
    fs::path folder;
    fs::path samplePath;
    std::vector<float> sample;
    std::vector<float> output = std::vector<float>(kBlock, 1.0f);
};

TEST_P(SamplerThroughTheHost, PlaysTheFileSetByPatchSetAndReportsItOnTheNotifyPort)
{
    auto sampler = makeSampler();
    loadSample(*sampler, samplePath.string());

    ASSERT_FALSE(sampler->notifications().empty());
    const lv2host::PatchSet& reported = sampler->notifications().back();
    EXPECT_EQ(reported.property, kSampleProperty);
    EXPECT_EQ(reported.valueType, "http://lv2plug.in/ns/ext/atom#Path");
    EXPECT_EQ(reported.text, samplePath.string());

    // The sampler plays the file at unity gain: its samples, then silence.
    EXPECT_EQ(play(*sampler), expectedBlock(sample));
    EXPECT_EQ(sampler->allocationsInLastRun(), 0);

    // It traced the scheduling from inside run(): the host tells those messages apart.
    bool tracedFromRun = false;
    for (const lv2host::LogEntry& entry : sampler->log())
        tracedFromRun = tracedFromRun || (entry.fromRun && entry.text.find("Scheduling") != std::string::npos);
    EXPECT_TRUE(tracedFromRun);
}

TEST_P(SamplerThroughTheHost, AnUnreadableFileKeepsTheSampleAndIsLogged)
{
    auto sampler = makeSampler();
    loadSample(*sampler, samplePath.string());
    sampler->clearNotifications();
    sampler->clearLog();

    const std::string missing = (folder / "no such file.wav").string();
    loadSample(*sampler, missing);

    EXPECT_TRUE(sampler->notifications().empty());
    bool logged = false;
    for (const lv2host::LogEntry& entry : sampler->log())
        logged = logged || (entry.type == "http://lv2plug.in/ns/ext/log#Error" &&
                            entry.text.find(missing) != std::string::npos && !entry.fromRun);
    EXPECT_TRUE(logged);
    EXPECT_EQ(play(*sampler), expectedBlock(sample));
}

TEST_P(SamplerThroughTheHost, StateSavedInOneFolderRestoresIntoAFreshInstanceFromAnother)
{
    {
        auto sampler = makeSampler();
        loadSample(*sampler, samplePath.string());
        sampler->saveState((folder / "saved").string());
    }
    // The session moves: the state folder is copied elsewhere and the original removed.
    fs::copy(folder / "saved", folder / "moved", fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    fs::remove_all(folder / "saved");

    auto fresh = makeSampler();   // starts with its default sample, click.wav
    ASSERT_TRUE(fresh->restoreState((folder / "moved").string()));
    fresh->run(kBlock);
    fresh->finishWork();
    fresh->run(kBlock);

    ASSERT_FALSE(fresh->notifications().empty());
    EXPECT_EQ(fs::canonical(fresh->notifications().back().text), fs::canonical(samplePath));
    EXPECT_EQ(play(*fresh), expectedBlock(sample));
    EXPECT_FALSE(fresh->restoreState((folder / "nothing saved here").string()));
}

INSTANTIATE_TEST_SUITE_P(Worker, SamplerThroughTheHost,
                         testing::Values(WorkerMode::kSynchronous, WorkerMode::kThreaded),
                         [](const testing::TestParamInfo<WorkerMode>& info) {
                             return info.param == WorkerMode::kSynchronous ? "WorkAfterRun" : "WorkerThread";
                         });

} // namespace
