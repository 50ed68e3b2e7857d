// sonquad-golden: renders a fixed take through the plug-in module as a host does and prints one
// checksum per output channel: every program at three rates, every post-matrix set number, and a
// take automated while it plays (programs, sets and parameters changed between blocks, a rate
// change in the middle). The printed table is the standard the signal path is held to: a
// change of the engine must leave it bit-identical (tests/golden/renders.txt).
//
//   sonquad-golden MODULE CALIBRATION-FOLDER
//
// The calibration folder (tests/data/golden) is copied to a temporary folder whose path names no
// sample-rate code, and the plug-in is pointed at it with SONQUAD_CALIBRATION_DIR.
#include "tools/vsthost/PluginHost.h"

#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Buffers = std::vector<std::vector<float>>;

// The same integer noise on every platform: a linear congruential generator, no library calls.
Buffers take(int frames, std::uint32_t seed)
{
    Buffers buffers(4, std::vector<float>(static_cast<std::size_t>(frames)));
    std::uint32_t state = seed;
    for (int n = 0; n < frames; ++n)
        for (auto& channel : buffers) {
            state = state * 1664525u + 1013904223u;
            channel[static_cast<std::size_t>(n)] =
                static_cast<float>(static_cast<std::int32_t>(state >> 8) - 0x800000) / 16777216.0f;
        }
    return buffers;
}

void printChecksums(const std::string& title, const Buffers& buffers)
{
    std::printf("%-44s", title.c_str());
    for (const auto& channel : buffers) {
        std::uint64_t hash = 1469598103934665603ull;   // FNV-1a over the sample bits
        for (float sample : channel) {
            std::uint32_t bits;
            std::memcpy(&bits, &sample, sizeof bits);
            hash ^= bits;
            hash *= 1099511628211ull;
        }
        std::printf(" %016" PRIx64, hash);
    }
    std::printf("\n");
}

void render(vsthost::PluginInstance& plugin, Buffers& buffers, int offset, int frames, int blockSize)
{
    for (int done = 0; done < frames; done += blockSize)
        plugin.processReplacing(buffers, offset + done, std::min(blockSize, frames - done));
}

std::unique_ptr<vsthost::PluginInstance> start(const vsthost::PluginModule& module, float rate)
{
    auto plugin = vsthost::PluginInstance::create(module);
    if (!plugin) {
        std::fprintf(stderr, "sonquad-golden: the plug-in refused to load\n");
        std::exit(1);
    }
    plugin->dispatch(effSetSampleRate, 0, 0, nullptr, rate);
    plugin->dispatch(effSetBlockSize, 0, 512);
    plugin->dispatch(effMainsChanged, 0, 1);
    return plugin;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: sonquad-golden MODULE CALIBRATION-FOLDER\n");
        return 2;
    }
    const fs::path folder = fs::temp_directory_path() / ("sonquad-golden-" + std::to_string(std::rand() % 1000000));
    fs::remove_all(folder);
    fs::copy(argv[2], folder, fs::copy_options::recursive);
#if defined(_WIN32)
    _putenv_s("SONQUAD_CALIBRATION_DIR", folder.string().c_str());
#else
    setenv("SONQUAD_CALIBRATION_DIR", folder.string().c_str(), 1);
#endif
    std::string error;
    auto module = vsthost::PluginModule::open(argv[1], error);
    if (!module) {
        std::fprintf(stderr, "sonquad-golden: cannot load %s: %s\n", argv[1], error.c_str());
        return 1;
    }

    constexpr int kFrames = 5000;
    // Every program at three rates, blocks of 512.
    for (float rate : {44100.0f, 48000.0f, 96000.0f}) {
        auto plugin = start(*module, rate);
        for (int program = 0; program < 8; ++program) {
            plugin->dispatch(effSetProgram, 0, program);
            Buffers buffers = take(kFrames, 1u + static_cast<std::uint32_t>(program));
            render(*plugin, buffers, 0, kFrames, 512);
            printChecksums("rate " + std::to_string(static_cast<int>(rate)) + " program " + std::to_string(program)
                               + " \"" + plugin->programName() + "\"",
                           buffers);
        }
    }
    // Every set number over program 2, with the EQ gains off centre; blocks of 300.
    {
        auto plugin = start(*module, 48000.0f);
        for (int set = 0; set < 8; ++set) {
            plugin->dispatch(effSetProgram, 0, 2);
            plugin->setParameter(16, 0.8f);
            plugin->setParameter(30, 0.3f);
            plugin->setParameter(6, static_cast<float>(set) / 7.0f);
            Buffers buffers = take(kFrames, 100u + static_cast<std::uint32_t>(set));
            render(*plugin, buffers, 0, kFrames, 300);
            printChecksums("set " + std::to_string(set) + " \"" + plugin->parameterDisplay(6) + "\"", buffers);
        }
    }
    // One take automated while it plays: the state carries over from block to block, so every
    // switch and reset shows in what follows it.
    {
        auto plugin = start(*module, 48000.0f);
        Buffers buffers = take(24000, 7u);
        struct Step {
            int at;          // frame
            int parameter;   // -1: program change to value; -2: rate change
            float value;
        };
        const Step steps[] = {
            {0, -1, 0.0f},      {1500, 6, 1.0f / 7},  {2600, 0, 0.0f},     {3000, 7, 1.0f},
            {3100, 14, 0.7f},   {4200, 10, 0.0f},     {5000, 6, 3.0f / 7}, {6100, 10, 1.0f},
            {7000, -1, 3.0f},   {8192, 6, 2.0f / 7},  {9000, 8, 1.0f},     {9001, 21, 0.2f},
            {10000, -1, 4.0f},  {11000, 1, 0.9f},     {12000, -1, 1.0f},   {12500, 9, 1.0f},
            {12501, 15, 0.4f},  {13000, -2, 96000.0f}, {14000, 6, 5.0f / 7}, {15000, -1, 5.0f},
            {16000, -2, 44100.0f}, {17000, 42, 0.9f}, {18000, 6, 0.0f},    {19000, 6, 2.0f / 7},
            {20000, -1, 0.0f},  {22000, 2, 0.1f},
        };
        int at = 0;
        for (const Step& step : steps) {
            render(*plugin, buffers, at, step.at - at, 64);
            at = step.at;
            if (step.parameter == -1)
                plugin->dispatch(effSetProgram, 0, static_cast<VstIntPtr>(step.value));
            else if (step.parameter == -2)
                plugin->dispatch(effSetSampleRate, 0, 0, nullptr, step.value);
            else
                plugin->setParameter(step.parameter, step.value);
        }
        render(*plugin, buffers, at, 24000 - at, 64);
        printChecksums("automated take", buffers);
        // One call of 40000 samples: longer than the pieces the plug-in works in.
        Buffers longTake = take(40000, 9u);
        plugin->dispatch(effSetProgram, 0, 0);
        plugin->processReplacing(longTake, 0, 40000);
        printChecksums("one call of 40000 frames", longTake);
    }
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return 0;
}
