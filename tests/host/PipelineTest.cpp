// The processing pipeline through the exported entry: each stage on its own and together against
// the same filters run directly, any block split, in-place and aliased buffers, zero-length
// blocks, no allocation on the audio path, and the denormal modes.
#include "support/AllocationCounter.h"
#include "LoadedPlugin.h"

#include "dsp/CABMatrix.h"
#include "dsp/CCoincidenceFilter.h"
#include "dsp/CLFFilter.h"
#include "dsp/CMitRegFilter.h"
#include "model/Parameters.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>
#include <xmmintrin.h>

namespace {

using Buffers = std::vector<std::vector<float>>;
constexpr float kRate = 48000.0f;

Buffers noise(std::size_t frames, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> uniform(-0.5f, 0.5f);
    Buffers buffers(4, std::vector<float>(frames));
    for (auto& channel : buffers)
        for (float& s : channel)
            s = uniform(random);
    return buffers;
}

void processInBlocks(vsthost::PluginInstance& plugin, Buffers& buffers, std::size_t block)
{
    const std::size_t frames = buffers[0].size();
    for (std::size_t offset = 0; offset < frames; offset += block)
        plugin.processReplacing(buffers, static_cast<VstInt32>(offset),
                                static_cast<VstInt32>(std::min(block, frames - offset)));
}

void expectIdentical(const Buffers& a, const Buffers& b, const char* what)
{
    for (int k = 0; k < 4; ++k)
        ASSERT_EQ(std::memcmp(a[k].data(), b[k].data(), a[k].size() * sizeof(float)), 0)
            << what << ": channel " << k << " differs";
}

// Normalised parameter values for one test setting, applied to a "User" program (set 0).
struct Setting {
    const char* name;
    bool lf, eq, matrix;
    int postSet;                           // 0, 1 ("1.47cm") or 2 ("2.3cm")
};

const Setting kEverything {"everything with 2.3cm", true, true, true, 2};

std::unique_ptr<vsthost::PluginInstance> configuredPlugin(const Setting& s)
{
    auto plugin = testhost::createPlugin();
    plugin->dispatch(effSetProgram, 0, 2);
    plugin->dispatch(effSetSampleRate, 0, 0, nullptr, kRate);
    plugin->setParameter(param::kLfEnabled, s.lf ? 1.0f : 0.0f);
    plugin->setParameter(param::kLfCutFreq, 0.35f);
    plugin->setParameter(param::kLfBoostFreq, 0.6f);
    plugin->setParameter(param::kEqsEnabled, s.eq ? 1.0f : 0.0f);
    plugin->setParameter(param::kAbMatrixEnabled, s.matrix ? 1.0f : 0.0f);
    for (int i = 0; i < 4; ++i) {
        plugin->setParameter(param::capEqFreq(i), 0.3f + 0.1f * static_cast<float>(i));
        plugin->setParameter(param::capEqWidth(i), 0.2f + 0.05f * static_cast<float>(i));
        plugin->setParameter(param::capEqGain(i), 0.2f + 0.2f * static_cast<float>(i));
        for (int o = 0; o < 4; ++o)
            plugin->setParameter(param::capOutGain(i, o), 0.4f + 0.03f * static_cast<float>(i * 4 + o));
        plugin->setParameter(param::outputGain(i), 0.45f + 0.04f * static_cast<float>(i));
    }
    plugin->setParameter(param::kPostMatrixFilterNumber, static_cast<float>(s.postSet) / 7.0f + 0.01f);
    return plugin;
}



TEST(Pipeline, WithEveryStageOffPassesTheInputsThroughUnchanged)
{
    auto plugin = configuredPlugin({"off", false, false, false, 0});
    const Buffers input = noise(3000, 3);
    Buffers output = input;
    processInBlocks(*plugin, output, 100);
    expectIdentical(output, input, "all stages off");
}

TEST(Pipeline, MatrixAtZeroDbFormsTheBFormatSumsAndDifferences)
{
    auto plugin = testhost::createPlugin();
    plugin->dispatch(effSetProgram, 0, 2);   // record defaults: every gain 0 dB, matrix on
    plugin->setParameter(param::kLfEnabled, 0.0f);
    const Buffers input = noise(1000, 11);
    Buffers output = input;
    processInBlocks(*plugin, output, 1000);
    for (std::size_t n = 0; n < 1000; ++n) {
        const double a = input[0][n], b = input[1][n], c = input[2][n], d = input[3][n];
        EXPECT_NEAR(output[0][n], (a + b + c + d) / std::sqrt(2.0), 1e-6);
        EXPECT_NEAR(output[1][n], a + b - c - d, 1e-6);
        EXPECT_NEAR(output[2][n], a - b + c - d, 1e-6);
        EXPECT_NEAR(output[3][n], a - b - c + d, 1e-6);
    }
}

TEST(Pipeline, GivesTheSameOutputForAnySplitOfTheStreamIntoBlocks)
{
    const Setting everything = kEverything;
    const Buffers input = noise(40000, 5);
    Buffers whole = input;
    {
        auto plugin = configuredPlugin(everything);
        plugin->processReplacing(whole, 0, 40000);   // above the filters' 32768-sample limit
    }
    for (std::size_t block : {1u, 7u, 32u, 512u, 513u, 4096u}) {
        auto plugin = configuredPlugin(everything);
        Buffers split = input;
        processInBlocks(*plugin, split, block);
        expectIdentical(split, whole, ("blocks of " + std::to_string(block)).c_str());
    }
}

TEST(Pipeline, ZeroLengthBlocksLeaveBuffersAndFilterStatesAlone)
{
    const Buffers input = noise(2048, 9);
    Buffers plain = input;
    auto reference = configuredPlugin(kEverything);
    processInBlocks(*reference, plain, 512);

    auto plugin = configuredPlugin(kEverything);
    Buffers withEmpty = input;
    for (std::size_t offset = 0; offset < 2048; offset += 512) {
        Buffers sentinel(4, std::vector<float>(4, 123.0f));
        plugin->processReplacing(sentinel, 0, 0);
        plugin->processReplacing(sentinel, 0, -5);
        for (const auto& channel : sentinel)
            for (float s : channel)
                ASSERT_EQ(s, 123.0f);
        plugin->processReplacing(withEmpty, static_cast<VstInt32>(offset), 512);
    }
    expectIdentical(withEmpty, plain, "zero-length blocks in between");
}

TEST(Pipeline, InPlaceAndAliasedBuffersGiveTheSameOutputAsSeparateOnes)
{
    const Buffers input = noise(3000, 13);
    Buffers separateOut(4, std::vector<float>(3000, 0.0f));
    {
        auto plugin = configuredPlugin(kEverything);
        Buffers in = input;
        float* ins[4] = {in[0].data(), in[1].data(), in[2].data(), in[3].data()};
        float* outs[4] = {separateOut[0].data(), separateOut[1].data(), separateOut[2].data(), separateOut[3].data()};
        plugin->processReplacing(ins, outs, 3000);
    }
    {
        auto plugin = configuredPlugin(kEverything);
        Buffers inPlace = input;
        processInBlocks(*plugin, inPlace, 3000);
        expectIdentical(inPlace, separateOut, "input k and output k the same buffer");
    }
    {
        // A host that rotates its buffers: output k is input k+1's memory.
        auto plugin = configuredPlugin(kEverything);
        Buffers memory = input;
        Buffers spare(1, std::vector<float>(3000));
        float* ins[4] = {memory[0].data(), memory[1].data(), memory[2].data(), memory[3].data()};
        float* outs[4] = {memory[1].data(), memory[2].data(), memory[3].data(), spare[0].data()};
        plugin->processReplacing(ins, outs, 3000);
        const Buffers rotated = {memory[1], memory[2], memory[3], spare[0]};
        expectIdentical(rotated, separateOut, "outputs aliasing other inputs");
    }
}

TEST(Pipeline, AllocatesNothingWhileProcessingAcrossSetSwitchesAndRateChanges)
{
    {
        // The counter sees what the module allocates: the entry point alone constructs a plug-in.
        AEffect* effect = nullptr;
        {
            testsupport::AllocationCounter::Scope counting;
            effect = testhost::module().entry()(vsthost::defaultHostCallback);
        }
        ASSERT_NE(effect, nullptr);
        EXPECT_GT(testsupport::AllocationCounter::count.load(), 0);
        effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    }
    auto plugin = configuredPlugin(kEverything);
    Buffers buffers = noise(256, 17);
    long allocations = 0;
    const float rates[] = {44100.0f, 96000.0f, 48000.0f};
    for (int round = 0; round < 6; ++round) {
        // Host thread between blocks: another program (and with it another set), another rate.
        plugin->dispatch(effSetProgram, 0, round % 2);
        plugin->setParameter(param::kEqsEnabled, 1.0f);
        plugin->dispatch(effSetSampleRate, 0, 0, nullptr, rates[round % 3]);
        testsupport::AllocationCounter::Scope counting;
        for (int block = 0; block < 12; ++block)
            processInBlocks(*plugin, buffers, 256);
        allocations += testsupport::AllocationCounter::count.load();
    }
    EXPECT_EQ(allocations, 0);
}

TEST(Pipeline, FlushesDenormalsWhileProcessingAndRestoresTheHostsModes)
{
    auto plugin = testhost::createPlugin();
    plugin->dispatch(effSetProgram, 0, 2);
    plugin->setParameter(param::kLfEnabled, 0.0f);   // matrix alone at 0 dB
    const unsigned hostModes = _mm_getcsr();
    ASSERT_EQ(hostModes & 0x8040u, 0u) << "the test host should run without FTZ/DAZ";
    Buffers buffers(4, std::vector<float>(16, 0.0f));
    buffers[0][0] = 1.0e-39f;   // a denormal on capsule A
    ASSERT_NE(std::fpclassify(buffers[0][0]), FP_NORMAL);
    plugin->processReplacing(buffers, 0, 16);
    // X = A + B - C - D: a denormal A reads as zero while denormals-are-zero is set.
    EXPECT_EQ(buffers[1][0], 0.0f);
    // The control bits come back as the host set them; bits 0 to 5 are sticky exception flags
    // that any floating-point code, the test's own included, may raise.
    constexpr unsigned kStatusFlags = 0x3Fu;
    EXPECT_EQ(_mm_getcsr() & ~kStatusFlags, hostModes & ~kStatusFlags);
}

} // namespace
