// The engine's contract: its stages give exactly what the filter classes give run one channel at
// a time; set selection, latency and missing responses; lossless meters; preparation while
// processing and control from any thread without allocation (run under ThreadSanitizer too).
#include "dsp/CABMatrix.h"
#include "dsp/CCoincidenceFilter.h"
#include "dsp/CFilterCoefficients.h"
#include "dsp/CIIRFilter.h"
#include "dsp/CLFFilter.h"
#include "dsp/CMitRegFilter.h"
#include "engine/Engine.h"
#include "support/AllocationCounter.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace {

using testsupport::Buffers;
using testsupport::noise4;
constexpr auto relaxed = std::memory_order_relaxed;

void process(engine::Engine& e, Buffers& buffers, std::size_t offset, int frames)
{
    float* ch[4] = {buffers[0].data() + offset, buffers[1].data() + offset, buffers[2].data() + offset,
                    buffers[3].data() + offset};
    e.process(ch, ch, frames);
}

// The settings of block b: every value moves from block to block, so a design that is not redone
// per call, or that reads the wrong capsule's values, shows.
engine::Settings settingsOfBlock(int b, bool lf, bool eq, bool matrix, float rate)
{
    engine::Settings s;
    s.lfOn = lf;
    s.eqOn = eq;
    s.matrixOn = matrix;
    s.lfCutHz = 22.0f + 9.0f * static_cast<float>(b % 5);   // across the damping rule's 25..50 Hz
    s.lfBoostHz = 80.0f + 11.0f * static_cast<float>(b % 3);
    for (int k = 0; k < 4; ++k) {
        s.eqFreqHz[k] = 300.0f * static_cast<float>(k + 1) + 50.0f * static_cast<float>(b % 4);
        // Capsule 3's band sits above the Nyquist frequency of 32 kHz in every other block: the
        // equaliser becomes the identity there and clears its state.
        if (k == 2 && b % 2 == 1)
            s.eqFreqHz[k] = rate;
        s.eqWidthOctaves[k] = 0.5f + 0.4f * static_cast<float>(k);
        s.eqGainDb[k] = -9.0f + 5.5f * static_cast<float>(k) + static_cast<float>(b % 3);
        s.outputGainDb[k] = -3.0f + 1.5f * static_cast<float>(k);
        for (int o = 0; o < 4; ++o)
            s.capOutGainDb[k][o] = -2.0f + 0.7f * static_cast<float>(k * 4 + o) - 0.2f * static_cast<float>(b % 2);
    }
    return s;
}

void publish(engine::Controls& c, const engine::Settings& s)
{
    c.lfOn.store(s.lfOn, relaxed);
    c.eqOn.store(s.eqOn, relaxed);
    c.matrixOn.store(s.matrixOn, relaxed);
    c.lfCutHz.store(s.lfCutHz, relaxed);
    c.lfBoostHz.store(s.lfBoostHz, relaxed);
    for (int k = 0; k < 4; ++k) {
        c.eqFreqHz[k].store(s.eqFreqHz[k], relaxed);
        c.eqWidthOctaves[k].store(s.eqWidthOctaves[k], relaxed);
        c.eqGainDb[k].store(s.eqGainDb[k], relaxed);
        c.outputGainDb[k].store(s.outputGainDb[k], relaxed);
        for (int o = 0; o < 4; ++o)
            c.capOutGainDb[k][o].store(s.capOutGainDb[k][o], relaxed);
    }
}

struct StageCase {
    const char* name;
    bool lf, eq, matrix;
    int postSet;   // 0: none; 2: "2.3cm"
    float rate;
};

void PrintTo(const StageCase& c, std::ostream* os) { *os << c.name; }

class EngineStages : public ::testing::TestWithParam<StageCase> {};

// The reference: the filter classes, one channel at a time, in the order of the stages.
TEST_P(EngineStages, MatchTheFilterClassesRunOneChannelAtATime)
{
    const StageCase& c = GetParam();
    const int blocks[] = {1, 7, 32, 513, 4096, 5000, 64, 300};
    std::size_t total = 0;
    for (int n : blocks)
        total += static_cast<std::size_t>(n);
    const Buffers input = noise4(total, 3);

    engine::Engine e;
    e.prepare(c.rate, 4096);
    ASSERT_EQ(e.selectPostMatrixSet(c.postSet), c.postSet != 0);
    Buffers actual = input;

    CLFFilter lf[4] = {{20.0f, 20.0f}, {20.0f, 20.0f}, {20.0f, 20.0f}, {20.0f, 20.0f}};
    CMitRegFilter eq[4];
    CABMatrix matrix;
    std::unique_ptr<CCoincidenceFilter> post[4];
    for (int k = 0; k < 4; ++k) {
        lf[k].setSampleRate(c.rate);
        lf[k].reset();
        eq[k].setSampleRate(c.rate);
        post[k] = std::make_unique<CCoincidenceFilter>(k == 0 ? 0 : 1, 2.3f, 1.0f);
        post[k]->prepare(c.rate);
    }
    Buffers expected = input;

    std::size_t offset = 0;
    int b = 0;
    for (int n : blocks) {
        const engine::Settings s = settingsOfBlock(b++, c.lf, c.eq, c.matrix, c.rate);
        publish(e.controls(), s);
        process(e, actual, offset, n);

        float* ch[4];
        for (int k = 0; k < 4; ++k)
            ch[k] = expected[static_cast<std::size_t>(k)].data() + offset;
        for (int k = 0; k < 4; ++k) {
            if (s.lfOn) {
                lf[k].cutFreq = s.lfCutHz;
                lf[k].boostFreq = s.lfBoostHz;
                lf[k].update();
                lf[k].process(ch[k], n);
            }
            if (s.eqOn) {
                eq[k].setParameters(s.eqFreqHz[k], s.eqWidthOctaves[k], s.eqGainDb[k]);
                eq[k].process(ch[k], n);
            }
        }
        if (s.matrixOn) {
            matrix.setGains(s.capOutGainDb, s.outputGainDb);
            matrix.process(ch[0], ch[1], ch[2], ch[3], n);
        }
        if (c.postSet != 0)
            for (int k = 0; k < 4; ++k)
                post[k]->process(ch[k], n);
        offset += static_cast<std::size_t>(n);
    }
    EXPECT_TRUE(testsupport::bitIdentical(actual, expected));
}

INSTANTIATE_TEST_SUITE_P(Stages, EngineStages,
                         ::testing::Values(StageCase {"LfAlone", true, false, false, 0, 48000.0f},
                                           StageCase {"EqAloneAt32kHz", false, true, false, 0, 32000.0f},
                                           StageCase {"MatrixAlone", false, false, true, 0, 44100.0f},
                                           StageCase {"CoincidenceSetOnCapsules", false, false, false, 2, 48000.0f},
                                           StageCase {"EveryStageAt96kHz", true, true, true, 2, 96000.0f}),
                         [](const auto& info) { return std::string(info.param.name); });

// A set of four table-driven IIR filters whose table holds coefficients for 48 kHz only.
void appendTableSet(engine::Engine& e, CFilterCoefficients& table)
{
    FilterBank& bank = e.postMatrixBank();
    const int set = bank.count;
    for (int k = 0; k < FilterBank::kChannels; ++k)
        bank.place(set, k, std::make_unique<CIIRFilter>())->setCoefficients(&table);
    bank.filter(set, 0)->setName("Table");
    bank.countSet();
}

TEST(EngineSets, SelectOnlyExistingOtherSetsAndReportTheirLatencyAndMissingArrays)
{
    CFilterCoefficients table;
    table.setEntry(48000.0f, {-0.5f}, {0.5f});
    engine::Engine e;
    appendTableSet(e, table);   // set 3
    e.prepare(44100.0f, 512);

    EXPECT_EQ(e.postMatrixSet(), 0);
    EXPECT_EQ(e.latencySamples(), 0);
    EXPECT_FALSE(e.selectPostMatrixSet(0)) << "already selected";
    EXPECT_FALSE(e.selectPostMatrixSet(4)) << "an empty slot";
    EXPECT_FALSE(e.selectPostMatrixSet(-1));
    EXPECT_FALSE(e.selectPostMatrixSet(8));
    EXPECT_EQ(e.postMatrixSet(), 0);
    EXPECT_TRUE(e.selectPostMatrixSet(1));
    EXPECT_EQ(e.latencySamples(), 1024);
    EXPECT_TRUE(e.selectPostMatrixSet(3));
    EXPECT_EQ(e.latencySamples(), 0);
    EXPECT_EQ(e.missingResponses(3), 8) << "two arrays of each of four filters at 44.1 kHz";
    EXPECT_EQ(e.missingResponses(1), 0);
    e.prepare(48000.0f, 512);
    EXPECT_EQ(e.missingResponses(3), 0);
}

// A set selected again after another starts from reset, like a fresh engine; selecting the set
// that runs keeps its state.
TEST(EngineSets, StartFromResetWhenSelectedAgainButNotWhenAlreadySelected)
{
    const Buffers input = noise4(6000, 5);
    auto render = [&](const std::vector<int>& selections) {
        engine::Engine e;
        e.prepare(48000.0f, 1000);
        Buffers out = input;
        for (std::size_t b = 0; b < selections.size(); ++b) {
            e.selectPostMatrixSet(selections[b]);
            process(e, out, b * 1000, 1000);
        }
        return out;
    };
    const Buffers fresh = render({0, 0, 0, 2, 2, 2});
    const Buffers reselected = render({2, 2, 1, 2, 2, 2});   // 2.3cm, then 1.47cm, then 2.3cm again
    const Buffers kept = render({2, 2, 2, 2, 2, 2});
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(std::memcmp(fresh[k].data() + 3000, reselected[k].data() + 3000, 3000 * sizeof(float)), 0) << k;
        EXPECT_NE(std::memcmp(kept[k].data() + 3000, reselected[k].data() + 3000, 3000 * sizeof(float)), 0) << k;
    }
}

// A reader that drains the meters while the audio thread adds loses nothing: what it took adds up
// to every sample processed. Constant unit inputs with every stage off make each block's sums
// exact in single precision.
TEST(Threads, MetersLoseNothingWhileAReaderDrainsThem)
{
    engine::Engine e;
    e.controls().matrixOn.store(false);
    e.prepare(48000.0f, 64);
    constexpr int kBlocks = 3000, kFrames = 64;
    std::atomic<bool> done {false};
    double drainedSum = 0.0, channelSum = 0.0;
    unsigned long drainedSamples = 0, channelSamples = 0;
    std::thread reader([&] {
        auto drain = [&] {
            const engine::Meters::Reading all = e.meters().takeAll();
            const engine::Meters::Reading w = e.meters().takeChannel(0);
            drainedSum += all.sumOfSquares;
            drainedSamples += all.samples;
            channelSum += w.sumOfSquares;
            channelSamples += w.samples;
        };
        while (!done.load())
            drain();
        drain();
    });
    Buffers buffers(4, std::vector<float>(kFrames));
    for (int b = 0; b < kBlocks; ++b) {
        for (auto& channel : buffers)
            std::fill(channel.begin(), channel.end(), 1.0f);
        process(e, buffers, 0, kFrames);
    }
    done = true;
    reader.join();
    EXPECT_EQ(drainedSamples, static_cast<unsigned long>(kBlocks) * kFrames);
    EXPECT_EQ(drainedSum, 4.0 * kBlocks * kFrames);
    EXPECT_EQ(channelSamples, static_cast<unsigned long>(kBlocks) * kFrames);
    EXPECT_EQ(channelSum, 1.0 * kBlocks * kFrames);
    EXPECT_EQ(e.meters().level(), 0.0f) << "nothing came since: the last answer, none yet";
}

// The audio thread processes 32-sample blocks and switches sets and settings between them, another
// thread selects sets meanwhile, and the host thread changes the rate twice while it runs. The
// audio thread allocates nothing; the output stays finite; blocks during a preparation are silent.
TEST(Threads, APreparationWhileProcessingLetsTheBlockFinishAndAllocatesNothingOnTheAudioThread)
{
    engine::Engine e;
    e.prepare(48000.0f, 32);
    std::atomic<bool> done {false};
    std::atomic<long> audioAllocations {0};
    std::atomic<bool> finite {true};
    const Buffers input = noise4(32, 9);
    std::thread audio([&] {
        Buffers buffers = input;
        testsupport::AllocationCounter::ThreadScope counting(audioAllocations);
        for (int b = 0; !done.load() || b < 2000; ++b) {
            for (int k = 0; k < 4; ++k)
                std::copy(input[k].begin(), input[k].end(), buffers[k].begin());
            e.selectPostMatrixSet(b / 50 % 3);
            publish(e.controls(), settingsOfBlock(b, b % 3 != 0, b % 2 == 0, b % 5 != 0, 48000.0f));
            process(e, buffers, 0, 32);
            for (const auto& channel : buffers)
                for (float s : channel)
                    finite = finite && std::isfinite(s);
            (void)e.latencySamples();
        }
    });
    std::thread selector([&] {
        for (int i = 0; !done.load(); ++i)
            e.selectPostMatrixSet(i % 3);
    });
    for (float rate : {96000.0f, 44100.0f})
        e.prepare(rate, 32);
    done = true;
    audio.join();
    selector.join();
    EXPECT_EQ(audioAllocations.load(), 0);
    EXPECT_TRUE(finite.load());
}

} // namespace
