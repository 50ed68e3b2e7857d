// The engine through its contract: each stage against an independent reference (analogue
// prototypes, the matrix's sign table); any split of a call, aliased buffers;
// sets; lossless meters; preparation while processing, without allocation on the audio thread.
#include "dsp/CFilterCoefficients.h"
#include "dsp/CIIRFilter.h"
#include "dsp/Sections.h"
#include "engine/CapsulePass.h"
#include "engine/Engine.h"
#include "support/AllocationCounter.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <thread>

namespace {

using namespace testsupport;
using Complex = std::complex<double>;

void process(engine::Engine& e, Buffers& b, std::size_t offset, int frames)
{
    float* ch[4] = {b[0].data() + offset, b[1].data() + offset, b[2].data() + offset, b[3].data() + offset};
    e.process(ch, ch, frames);
}

// Settings where every capsule and output differ, so that one read for the wrong index shows.
void publish(engine::Controls& c, bool lf, bool eq, bool matrix, float shift = 0.0f)
{
    c.lfOn = lf;
    c.eqOn = eq;
    c.matrixOn = matrix;
    c.lfCutHz = 30.0f + shift;
    c.lfBoostHz = 80.0f;
    for (int k = 0; k < 4; ++k) {
        c.eqFreqHz[k] = 500.0f * static_cast<float>(k + 1) + shift;
        c.eqWidthOctaves[k] = 0.5f + 0.4f * static_cast<float>(k);
        c.eqGainDb[k] = -9.0f + 5.5f * static_cast<float>(k);
        c.outputGainDb[k] = -3.0f + 1.5f * static_cast<float>(k);
        for (int o = 0; o < 4; ++o)
            c.capOutGainDb[k][o] = -2.0f + 0.7f * static_cast<float>(k * 4 + o);
    }
}

Buffers responses(engine::Engine& e, std::size_t length)
{
    Buffers b(4, std::vector<float>(length, 0.0f));
    for (auto& channel : b)
        channel[0] = 1.0f;
    process(e, b, 0, static_cast<int>(length));
    return b;
}

class EngineStage : public ::testing::TestWithParam<float> {};

// LF alone: shelf and two high-passes, d by the damping rule (30 Hz: 1.2108) and 1.618. EQ alone:
// each capsule its own gain at its own centre, unity at DC. Both: their product at the centres.
TEST_P(EngineStage, LfAndEqualiserMatchThePrototypesOnEveryCapsule)
{
    const double rate = GetParam();
    for (const auto& [lf, eq] : {std::pair {true, false}, std::pair {false, true}, std::pair {true, true}}) {
        SCOPED_TRACE(::testing::Message() << "lf " << lf << ", eq " << eq);
        engine::Engine e;
        e.prepare(static_cast<float>(rate), 4096);
        // A first call of silence with other settings: a stage that does not redesign at every
        // call keeps those (silence leaves the filters' state at zero).
        publish(e.controls(), true, true, true, 7.0f);
        Buffers silence(4, std::vector<float>(64, 0.0f));
        process(e, silence, 0, 64);
        publish(e.controls(), lf, eq, false);
        const Buffers h = responses(e, 1 << 16);
        for (int k = 0; k < 4; ++k) {
            const double centre = 500.0 * (k + 1), gain = dbToGain(-9.0 + 5.5 * k);
            for (double f : {15.0, 30.0, 60.0, centre}) {
                const Complex s = warpedS(f, rate);
                const double wc = warped(30.0, rate);
                Complex expected = lf ? lowShelf(s, wc, warped(80.0, rate)) * highPass2(s, wc, 1.2108) * highPass2(s, wc, 1.618) : 1.0;
                if (eq && f == centre)
                    expected *= gain;
                if (!eq || f == centre) {
                    EXPECT_LT(std::abs(responseAt(h[k], f, rate) - expected), (lf ? lfRounding(f, rate, 30.0, 80.0, 1.2108) : 0.0) + 3e-3 * std::abs(expected)) << "capsule " << k << ", " << f << " Hz";
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, EngineStage, ::testing::Values(44100.0f, 96000.0f),
                         [](const auto& info) { return "At" + std::to_string(static_cast<int>(info.param)); });

// The matrix's fixed signs, every weight's and output's gain in dB, and 1/sqrt 2 on W.
TEST(EngineMatrix, FormsWXYZFromTheSignTableAndTheGains)
{
    static const int kSigns[4][4] = {{1, 1, 1, 1}, {1, 1, -1, -1}, {1, -1, 1, -1}, {1, -1, -1, 1}};
    engine::Engine e;
    e.prepare(44100.0f, 512);
    publish(e.controls(), false, false, true);
    const Buffers in = noise4(1000, 11);
    Buffers out = in;
    process(e, out, 0, 1000);
    for (std::size_t n = 0; n < 1000; ++n)
        for (int o = 0; o < 4; ++o) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k)
                sum += kSigns[o][k] * dbToGain(-2.0 + 0.7 * (k * 4 + o)) * in[k][n];
            const double expected = sum * dbToGain(-3.0 + 1.5 * o) / (o == 0 ? std::sqrt(2.0) : 1.0);
            ASSERT_NEAR(out[o][n], expected, 2e-6) << "output " << o << ", sample " << n;
        }
}

struct SplitCase {
    const char* name;
    int maxBlock;
    std::vector<int> calls;
    int aliasing;   // 0 separate buffers, 1 in place, 2 output k on input k+1's memory
};
void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.name; }

class EngineSplit : public ::testing::TestWithParam<SplitCase> {};

// Every stage on with set 2: the output of one call of 20000 samples, whatever the host's block
// size, the calls and the buffers; calls of 0 and fewer samples touch nothing.
TEST_P(EngineSplit, GivesTheOutputOfOneCall)
{
    const SplitCase& c = GetParam();
    const Buffers input = noise4(20000, 5);
    auto make = [](int maxBlock) {
        auto e = std::make_unique<engine::Engine>();
        e->prepare(48000.0f, maxBlock);
        publish(e->controls(), true, true, true);
        e->selectPostMatrixSet(2);
        return e;
    };
    Buffers whole = input;
    process(*make(4096), whole, 0, 20000);
    auto e = make(c.maxBlock);
    Buffers memory = input, out(4, std::vector<float>(20000, 7.0f)), spare(1, std::vector<float>(20000));
    std::size_t offset = 0;
    for (std::size_t i = 0; offset < 20000; ++i) {
        const int n = std::min(c.calls[i % c.calls.size()], static_cast<int>(20000 - offset));
        const float* ins[4];
        float* outs[4];
        for (int k = 0; k < 4; ++k) {
            ins[k] = memory[k].data() + offset;
            outs[k] = (c.aliasing == 0 ? out[k].data() : c.aliasing == 1 ? memory[k].data() : k < 3 ? memory[k + 1].data() : spare[0].data()) + offset;
        }
        e->process(ins, outs, n);
        offset += static_cast<std::size_t>(std::max(n, 0));
    }
    const Buffers result = c.aliasing == 0 ? out : c.aliasing == 1 ? memory : Buffers {memory[1], memory[2], memory[3], spare[0]};
    EXPECT_TRUE(bitIdentical(result, whole));
}

INSTANTIATE_TEST_SUITE_P(Calls, EngineSplit,
                         ::testing::Values(SplitCase {"UnevenCalls", 4096, {1, 7, 32, 513, 4096, 5000}, 0},
                                           SplitCase {"EmptyCallsBetween", 4096, {0, 700, -3, 300}, 0},
                                           SplitCase {"HostBlocksOf64", 64, {20000}, 0},
                                           SplitCase {"InPlace", 4096, {3000}, 1},
                                           SplitCase {"OutputsOnOtherInputs", 100, {3000}, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

// The first pass built for AVX2 gives the baseline build's bits, its state and its meters' sums,
// for every combination of stages, on noise with runs of signed zeros and a count of 8 n + 4 + 3
// (so that the eight-sample, the four-sample and the sample-by-sample loops all run).
TEST(EnginePass, EveryInstructionSetGivesTheBaselinesBits)
{
    if (!engine::avx2Pass() || !__builtin_cpu_supports("avx2"))
        GTEST_SKIP() << "this processor does not run the AVX2 pass";
    engine::CapsuleCoefficients c;
    const sections::ShelfDesign shelf = sections::designLowShelf(30.0f, 80.0f, 48000.0f);
    std::copy_n(&shelf.b0, 3, c.shelf);
    for (int j = 0; j < 2; ++j) {
        const sections::HighPassDesign d = sections::designHighPass(30.0f, j ? 1.618f : 1.2108f, 48000.0f);
        std::copy_n(&d.b0, 5, c.highPass[j]);
    }
    for (int k = 0; k < 4; ++k) {
        const sections::PeakingDesign d = sections::designPeaking(500.0f * (k + 1), 300.0f, -6.0f + 4.0f * k, false, 48000.0f);
        const double eq[5] = {d.b0, d.b1, d.a1, d.a2, 0.3 + 0.2 * k};
        for (int i = 0; i < 5; ++i)
            c.eq[i][k] = eq[i];
    }
    CABMatrix::Gains gains;
    for (int o = 0; o < 4; ++o) {
        gains.output[o] = 0.5f + 0.25f * static_cast<float>(o);
        for (int k = 0; k < 4; ++k)
            gains.weight[o][k] = 0.3f + 0.1f * static_cast<float>(o * 4 + k);
    }
    Buffers input = noise4(1007, 9);
    for (std::size_t i = 0; i < 1007; i += 5)
        input[i % 4][i] = (i % 2) ? 0.0f : -0.0f;
    for (int which = 0; which < 16; ++which) {
        SCOPED_TRACE(::testing::Message() << "lf " << (which & 8) << ", eq " << (which & 4) << ", matrix "
                                          << (which & 2) << ", meters " << (which & 1));
        Buffers out[2] = {Buffers(4, std::vector<float>(1007)), Buffers(4, std::vector<float>(1007))};
        engine::CapsuleState state[2];
        float sums[2][4] = {};
        const engine::PassFn passes[2] = {engine::baselinePass(), engine::avx2Pass()};
        for (int v = 0; v < 2; ++v) {
            engine::PassArgs args {{input[0].data(), input[1].data(), input[2].data(), input[3].data()},
                                   {out[v][0].data(), out[v][1].data(), out[v][2].data(), out[v][3].data()},
                                   1007, (which & 8) != 0, (which & 4) != 0, (which & 2) != 0, &c, &state[v], &gains,
                                   (which & 1) ? sums[v] : nullptr};
            passes[v](args);
        }
        EXPECT_TRUE(bitIdentical(out[1], out[0]));
        EXPECT_EQ(0, std::memcmp(&state[1], &state[0], sizeof state[0]));
        EXPECT_EQ(0, std::memcmp(sums[1], sums[0], sizeof sums[0]));
    }
}

TEST(EngineSets, SelectOnlyExistingOnesAndReportLatencyAndMissingArrays)
{
    CFilterCoefficients table;
    table.setEntry(48000.0f, {-0.5f}, {0.5f});
    engine::Engine e;
    FilterBank& bank = e.postMatrixBank();
    for (int k = 0; k < 4; ++k)
        bank.place(3, k, std::make_unique<CIIRFilter>())->setCoefficients(&table);
    bank.countSet();
    e.prepare(44100.0f, 512);
    for (int absent : {0, 4, -1, 8})   // 0: selected already
        EXPECT_FALSE(e.selectPostMatrixSet(absent)) << absent;
    EXPECT_EQ(e.postMatrixSet() + e.latencySamples(), 0);
    EXPECT_TRUE(e.selectPostMatrixSet(1));
    EXPECT_EQ(e.latencySamples(), 1024);
    EXPECT_TRUE(e.selectPostMatrixSet(3));
    EXPECT_EQ(e.postMatrixSet() + e.latencySamples(), 3);
    EXPECT_EQ(e.missingResponses(3) + e.missingResponses(1), 8) << "two arrays of each of four filters at 44.1 kHz";
    EXPECT_EQ(e.setRate(), 44100.0f);
    e.prepare(48000.0f, 512);
    EXPECT_EQ(e.missingResponses(3), 0);
    std::unique_ptr<CFilter> built[4];   // a set built for another rate, swapped in
    for (auto& filter : built) {
        filter = std::make_unique<CIIRFilter>();
        filter->setCoefficients(&table);
        filter->prepare(44100.0f);
    }
    e.swapPostMatrixSet(4, built);
    EXPECT_EQ(e.missingResponses(4), 8);
    EXPECT_TRUE(e.selectPostMatrixSet(4));
}

// A set selected again after another starts from reset, like a fresh one; selecting the set that
// runs keeps its state.
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
        for (auto& channel : out)
            channel.erase(channel.begin(), channel.begin() + 3000);
        return out;
    };
    const Buffers fresh = render({0, 0, 0, 2, 2, 2});
    EXPECT_TRUE(bitIdentical(render({2, 2, 1, 2, 2, 2}), fresh));
    EXPECT_FALSE(bitIdentical(render({2, 2, 2, 2, 2, 2}), fresh));
}

// A reader draining the meters while the audio thread adds loses nothing (unit inputs, stages off:
// exact sums).
// Whichever pass takes the meters along (the first pass, the convolution set's pass, or a pass of
// their own), each channel's reading is the sum of the squares of the samples it put out, added
// in sample order in single precision, and the count of those samples.
TEST(EngineMeters, ReadTheSumOfSquaresOfWhatWasPutOut)
{
    struct Case {
        const char* name;
        bool stages;
        int set;
    };
    for (const Case& c : {Case {"first pass", true, 0}, Case {"convolution set", true, 2}, Case {"no stage", false, 0},
                          Case {"convolution set alone", false, 1}}) {
        SCOPED_TRACE(c.name);
        engine::Engine e;
        e.prepare(48000.0f, 4096);
        publish(e.controls(), c.stages, c.stages, c.stages);
        e.selectPostMatrixSet(c.set);
        Buffers b = noise4(3000, 4);
        process(e, b, 0, 1003);   // a count not divisible by four, across a convolution block
        process(e, b, 1003, 1997);
        for (int k = 0; k < 4; ++k) {
            float first = 0.0f, second = 0.0f;   // one sum per call, added as the meter adds them
            for (std::size_t i = 0; i < 3000; ++i)
                (i < 1003 ? first : second) += b[k][i] * b[k][i];
            const auto reading = e.meters().takeChannel(k);
            EXPECT_EQ(reading.samples, 3000u);
            EXPECT_EQ(reading.sumOfSquares, 0.0f + first + second) << "channel " << k;
        }
    }
    engine::Engine e;
    e.prepare(48000.0f, 4096);
    Buffers b = noise4(64, 5);
    process(e, b, 0, 64);
    const float level = e.meters().level();
    EXPECT_GT(level, 0.0f);
    EXPECT_EQ(e.meters().level(), level) << "no sample came since: the last answer again";
}

TEST(Threads, MetersLoseNothingWhileAReaderDrainsThem)
{
    engine::Engine e;
    e.controls().matrixOn = false;
    e.prepare(48000.0f, 64);
    constexpr int kBlocks = 3000, kFrames = 64;
    std::atomic<bool> done {false};
    double sum = 0.0, wSum = 0.0, samples = 0.0, wSamples = 0.0;
    std::thread reader([&] {
        auto drain = [&] {
            const auto all = e.meters().takeAll(), w = e.meters().takeChannel(0);
            sum += all.sumOfSquares, samples += all.samples, wSum += w.sumOfSquares, wSamples += w.samples;
        };
        while (!done)
            drain();
        drain();
    });
    for (int b = 0; b < kBlocks; ++b) {
        Buffers ones(4, std::vector<float>(kFrames, 1.0f));
        process(e, ones, 0, kFrames);
    }
    done = true;
    reader.join();
    EXPECT_EQ(std::vector<double>({sum, wSum, samples, wSamples}),
              std::vector<double>({4.0 * kBlocks * kFrames, 1.0 * kBlocks * kFrames, 1.0 * kBlocks * kFrames, 1.0 * kBlocks * kFrames}));
    EXPECT_EQ(e.meters().level(), 0.0f) << "nothing came since";
}

// 32-sample blocks with sets and settings switched between them, another thread selecting sets,
// the host thread preparing two rates meanwhile: no allocation on the audio thread, finite output.
TEST(Threads, PreparingWhileProcessingAllocatesNothingOnTheAudioThread)
{
    engine::Engine e;
    e.prepare(48000.0f, 32);
    std::atomic<bool> done {false}, finite {true};
    std::atomic<long> audioAllocations {0};
    std::thread audio([&] {
        Buffers buffers = noise4(32, 9);
        AllocationCounter::ThreadScope counting(audioAllocations);
        for (int b = 0; !done || b < 2000; ++b) {
            e.selectPostMatrixSet(b / 50 % 3);
            publish(e.controls(), b % 3 != 0, b % 2 == 0, b % 5 != 0, static_cast<float>(b % 7));
            process(e, buffers, 0, 32);
            for (auto& channel : buffers)
                for (float& s : channel)
                    finite = finite && std::isfinite(s), s = std::fmod(s + 0.3f, 1.0f);
            (void)e.latencySamples();
        }
    });
    std::thread selector([&] {
        for (int i = 0; !done; ++i)
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
