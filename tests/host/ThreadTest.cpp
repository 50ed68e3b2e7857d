// Hosts automate from the audio thread between 32-sample blocks while their user-interface thread
// reads parameters and names, renames programs, changes the rate and idles the editor, and other
// instances run beside them. Run under ThreadSanitizer in CI. The audio thread allocates nothing.
#include "LoadedPlugin.h"
#include "support/AllocationCounter.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct InstanceResult {
    long audioAllocations = 0;
    bool finite = true, namesWhole = true;   // namesWhole: every name read was one written
};

// The renaming thread's names; a reader sees one of these or a name the plug-in gave (built-in
// programs, calibrations, "User n"), never a mixture.
const char* const kNames[] = {"First take", "A much longer name!!", "x", "Rehearsal 2, left"};
bool isWholeName(const std::string& name)
{
    return std::count(std::begin(kNames), std::end(kNames), name) || name == "Quaddle - uncalibrated" || name == "1.47cm"
           || name == "Partial" || name == "Studio" || name == "Field" || name == "Hall" || name.rfind("User ", 0) == 0;
}

InstanceResult runInstance(int seed)
{
    auto plugin = testhost::createPlugin();
    plugin->dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
    plugin->dispatch(effSetBlockSize, 0, 32);
    plugin->dispatch(effMainsChanged, 0, 1);

    std::atomic<bool> done {false}, finite {true}, namesWhole {true};
    std::atomic<long> audioAllocations {0};

    std::thread audio([&] {
        std::vector<std::vector<float>> buffers(4, std::vector<float>(32));
        float* channels[4] = {buffers[0].data(), buffers[1].data(), buffers[2].data(), buffers[3].data()};
        testsupport::AllocationCounter::ThreadScope counting(audioAllocations);
        unsigned n = static_cast<unsigned>(seed);
        for (int block = 0; !done.load() || block < 3000; ++block) {
            for (auto& channel : buffers)
                for (float& s : channel)
                    s = static_cast<float>((n++ * 7919u) % 2000u) / 1000.0f - 1.0f;
            // Automation between blocks: each parameter over its range, every set, program changes.
            plugin->setParameter(block % 46, static_cast<float>((block / 46) % 8) / 7.0f);
            if (block % 97 == 0)
                plugin->dispatch(effSetProgram, 0, (block / 97) % 8);
            plugin->processReplacing(channels, channels, 32);
            for (const auto& channel : buffers)
                for (float s : channel)
                    if (!std::isfinite(s))
                        finite = false;
        }
    });
    std::thread reader([&] {
        while (!done.load())
            for (int p = 0; p < 46; ++p) {
                (void)plugin->getParameter(p);
                (void)plugin->parameterDisplay(p);
                (void)plugin->parameterName(p);
                if (!isWholeName(plugin->programName()))
                    namesWhole = false;
            }
    });
    std::thread renamer([&] {
        for (int i = 0; !done.load(); ++i) {
            std::string name = kNames[i % 4];
            plugin->dispatch(effSetProgramName, 0, 0, name.data());
            plugin->dispatch(effEditIdle);   // shows the messages the audio thread's selections raised
        }
    });
    // The user-interface thread changes the rate while the audio thread runs (hosts normally
    // suspend first) and automates too, inside the audio thread's blocks.
    for (float rate : {96000.0f, 44100.0f, 48000.0f}) {
        plugin->dispatch(effSetSampleRate, 0, 0, nullptr, rate);
        for (int p = 0; p < 46; ++p)
            plugin->setParameter(p, static_cast<float>(p % 8) / 7.0f);
        plugin->dispatch(effSetProgram, 0, 2);
    }
    done = true;
    audio.join();
    reader.join();
    renamer.join();
    return {audioAllocations.load(), finite.load(), namesWhole.load()};
}

TEST(Threads, AutomationOnTheAudioThreadBesideReadersRenamesAndRateChangesInFourInstances)
{
    // The golden calibrations: a text calibration without coefficients at 44.1 and 96 kHz makes
    // its selections raise messages from the audio thread.
    const auto folder = std::filesystem::temp_directory_path() / ("sonquad-threads-" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder);
    std::filesystem::copy(SONQUAD_TEST_DATA "/golden", folder, std::filesystem::copy_options::recursive);
    setenv("SONQUAD_CALIBRATION_DIR", folder.string().c_str(), 1);
    {
        testsupport::AllocationCounter::Scope counting;   // the counter sees what the module allocates
        testhost::createPlugin();
        EXPECT_GT(testsupport::AllocationCounter::count.load(), 0);
    }

    std::vector<InstanceResult> results(4);
    std::vector<std::thread> instances;
    for (int i = 0; i < 4; ++i)
        instances.emplace_back([&results, i] { results[static_cast<std::size_t>(i)] = runInstance(i + 1); });
    for (auto& instance : instances)
        instance.join();
    for (std::size_t i = 0; i < results.size(); ++i) {
        EXPECT_EQ(results[i].audioAllocations, 0) << "instance " << i;
        EXPECT_TRUE(results[i].finite) << "instance " << i;
        EXPECT_TRUE(results[i].namesWhole) << "instance " << i;
    }
    std::filesystem::remove_all(folder);
}

} // namespace
