// The plug-in object directly: which filters a rate change and a set selection reach, the order
// of preparing and publishing a set, and the level meters.
#include "plugin/ASonquad.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

namespace {

VstIntPtr VSTCALLBACK host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    return opcode == audioMasterVersion ? kVstVersion : 0;
}

class ProbePlugin;

// Records what the plug-in does to it and what the plug-in publishes meanwhile.
class ProbeFilter : public CFilter {
public:
    explicit ProbeFilter(const ProbePlugin& owner) : owner(owner) {}
    void setSampleRate(float rate) override
    {
        CFilter::setSampleRate(rate);
        ++rateChanges;
    }
    void reset() override;
    void process(float* buffer, std::int32_t count) override
    {
        for (std::int32_t n = 0; n < count; ++n)
            buffer[n] *= 2.0f;
    }

    const ProbePlugin& owner;
    int rateChanges = 0;
    int resets = 0;
    int publishedAtReset = -1;
};

class ProbePlugin : public ASonquad {
public:
    ProbePlugin() : ASonquad(host) {}

    // Appends a set of four probes; returns its number.
    int addProbeSet()
    {
        const int set = postMatrixFilters.count++;
        for (int k = 0; k < 4; ++k)
            probes[k] = static_cast<ProbeFilter*>(
                postMatrixFilters.place(set, k, std::make_unique<ProbeFilter>(*this)));
        probes[0]->setName("probe");
        return set;
    }
    void select(int set) { selectPostMatrixFilter(set); }
    float filterRate(int set, int channel) const { return postMatrixBank().filter(set, channel)->sampleRate; }
    float lfRate(int k) const { return lfFilters[k]->sampleRate; }
    float eqRate(int k) const { return eqFilters[k]->sampleRate; }

    ProbeFilter* probes[4] = {};
};

void ProbeFilter::reset()
{
    ++resets;
    publishedAtReset = owner.postMatrixSet();
}

void process(ASonquad& plugin, std::vector<std::vector<float>>& buffers)
{
    float* channels[4] = {buffers[0].data(), buffers[1].data(), buffers[2].data(), buffers[3].data()};
    plugin.processReplacing(channels, channels, static_cast<VstInt32>(buffers[0].size()));
}

TEST(SampleRate, ReachesTheLfAndEqFiltersAndOnlyTheSelectedSet)
{
    ProbePlugin plugin;
    std::vector<std::vector<float>> buffers(4, std::vector<float>(64, 0.0f));
    // Construction selected program 0 and with it set 2 at the default rate of 44100 Hz; the
    // convolution filters design for the rate they were given at their next block.
    EXPECT_EQ(plugin.postMatrixSet(), 2);
    process(plugin, buffers);
    EXPECT_EQ(plugin.filterRate(2, 0), 44100.0f);
    EXPECT_EQ(plugin.lfRate(0), 48000.0f);
    EXPECT_EQ(plugin.filterRate(1, 0), 48000.0f);

    plugin.setSampleRate(96000.0f);
    process(plugin, buffers);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(plugin.lfRate(k), 96000.0f);
        EXPECT_EQ(plugin.eqRate(k), 96000.0f);
        EXPECT_EQ(plugin.filterRate(2, k), 96000.0f);
        EXPECT_EQ(plugin.filterRate(1, k), 48000.0f) << "a set neither selected nor re-selected keeps its rate";
    }
    plugin.setParameter(6, 1.0f / 7.0f);
    EXPECT_EQ(plugin.postMatrixSet(), 1);
    process(plugin, buffers);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(plugin.filterRate(1, k), 96000.0f);
}

TEST(SetSelection, PreparesASetBeforePublishingItsNumber)
{
    ProbePlugin plugin;
    const int set = plugin.addProbeSet();
    plugin.setSampleRate(88200.0f);
    plugin.select(set);
    EXPECT_EQ(plugin.postMatrixSet(), set);
    for (ProbeFilter* probe : plugin.probes) {
        EXPECT_EQ(probe->rateChanges, 1);
        EXPECT_EQ(probe->resets, 1);
        EXPECT_EQ(probe->sampleRate, 88200.0f);
        EXPECT_EQ(probe->publishedAtReset, 2) << "the old set was still published while this one was reset";
    }
}

TEST(SetSelection, IgnoresTheCurrentSetEmptySlotsAndNumbersOutsideTheBank)
{
    ProbePlugin plugin;
    const int set = plugin.addProbeSet();
    plugin.select(set);
    for (int again : {set, 5, 7, 8, -1, 100}) {
        plugin.select(again);
        EXPECT_EQ(plugin.postMatrixSet(), set);
    }
    for (ProbeFilter* probe : plugin.probes) {
        EXPECT_EQ(probe->resets, 1);
        EXPECT_EQ(probe->rateChanges, 1);
    }
    plugin.setParameter(6, 0.0f);
    EXPECT_EQ(plugin.postMatrixSet(), 0);
}

TEST(SetSelection, SetZeroSkipsThePostMatrixStageAndOtherSetsProcessEveryChannel)
{
    ProbePlugin plugin;
    const int set = plugin.addProbeSet();
    plugin.setParameter(10, 0.0f);   // matrix off: the capsule signals reach the set
    plugin.setParameter(0, 0.0f);    // LF off
    std::vector<std::vector<float>> buffers(4, std::vector<float>(64, 0.25f));
    plugin.setParameter(6, 0.0f);
    process(plugin, buffers);
    EXPECT_EQ(buffers[3][10], 0.25f);
    plugin.select(set);
    process(plugin, buffers);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(buffers[k][63], 0.5f) << k;
}

// A convolution filter's designed rate (its sampleRate) changes only when it designs, so it
// shows whether the design happened on the host thread, before any audio block.
TEST(PrepareThenPublish, SelectingAConvolutionSetDesignsItsFiltersOnTheHostThread)
{
    ProbePlugin plugin;
    plugin.setSampleRate(88200.0f);
    for (int set : {1, 2}) {
        plugin.setParameter(6, static_cast<float>(set) / 7.0f + 0.01f);
        ASSERT_EQ(plugin.postMatrixSet(), set);
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(plugin.filterRate(set, k), 88200.0f) << "set " << set << " filter " << k;
    }
}

TEST(PrepareThenPublish, ARateChangeDesignsTheSelectedSetOnTheHostThreadOnly)
{
    ProbePlugin plugin;
    ASSERT_EQ(plugin.postMatrixSet(), 2);
    plugin.setSampleRate(96000.0f);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(plugin.filterRate(2, k), 96000.0f);
        EXPECT_EQ(plugin.filterRate(1, k), 48000.0f) << "a set that is not selected is not designed";
    }
}

// A probe whose re-rating runs an audio block in the middle, as an audio thread that was not
// suspended would: that block must keep out of the set being prepared.
class BlockDuringRateChange : public CFilter {
public:
    void setSampleRate(float rate) override
    {
        CFilter::setSampleRate(rate);
        if (onRate)
            onRate();
    }
    void process(float* buffer, std::int32_t count) override
    {
        ++blocks;
        for (std::int32_t n = 0; n < count; ++n)
            buffer[n] *= 2.0f;
    }
    std::function<void()> onRate;
    int blocks = 0;
};

class RateChangePlugin : public ASonquad {
public:
    RateChangePlugin() : ASonquad(host)
    {
        set = postMatrixFilters.count++;
        for (int k = 0; k < 4; ++k)
            probes[k] = static_cast<BlockDuringRateChange*>(
                postMatrixFilters.place(set, k, std::make_unique<BlockDuringRateChange>()));
        probes[0]->setName("probe");
        selectPostMatrixFilter(set);
    }
    int set = 0;
    BlockDuringRateChange* probes[4] = {};
};

TEST(PrepareThenPublish, ABlockDuringTheRateChangeOfTheSelectedSetLeavesItOutAndGivesSilence)
{
    RateChangePlugin plugin;
    plugin.setParameter(10, 0.0f);   // matrix off
    plugin.setParameter(0, 0.0f);    // LF off
    std::vector<std::vector<float>> buffers(4, std::vector<float>(32, 0.5f));
    process(plugin, buffers);
    EXPECT_EQ(buffers[2][5], 1.0f) << "the set runs between rate changes";
    const int before = plugin.probes[0]->blocks;

    std::vector<std::vector<float>> during(4, std::vector<float>(32, 0.5f));
    plugin.probes[1]->onRate = [&] { process(plugin, during); };
    plugin.setSampleRate(96000.0f);
    plugin.probes[1]->onRate = nullptr;
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(plugin.probes[k]->blocks, before) << "filter " << k << " ran while being prepared";
        for (float s : during[k])
            ASSERT_EQ(s, 0.0f) << "channel " << k;
    }

    process(plugin, buffers);
    EXPECT_EQ(plugin.probes[0]->blocks, before + 1) << "the set runs again once prepared";
}

TEST(Meters, ReportTheRmsOfTheOutputsSinceTheLastQueryAndRepeatItWhenNothingCame)
{
    ProbePlugin plugin;
    plugin.dispatcher(effSetProgram, 0, 2, nullptr, 0.0f);
    plugin.setParameter(10, 0.0f);   // everything off: outputs equal inputs
    plugin.setParameter(0, 0.0f);
    const float levels[4] = {0.5f, -0.25f, 0.125f, 1.0f};
    std::vector<std::vector<float>> buffers(4, std::vector<float>(100));
    for (int k = 0; k < 4; ++k)
        for (std::size_t n = 0; n < 100; ++n)
            buffers[k][n] = n % 2 ? levels[k] : -levels[k];
    process(plugin, buffers);
    for (int k = 0; k < 4; ++k)
        EXPECT_FLOAT_EQ(plugin.getChannelMeterLevel(k), std::fabs(levels[k]));
    const float total = std::sqrt(0.25f + 0.0625f + 0.015625f + 1.0f);
    EXPECT_FLOAT_EQ(plugin.getMeterLevel(), total);
    EXPECT_FLOAT_EQ(plugin.getMeterLevel(), total);          // no new samples: the last answer
    EXPECT_FLOAT_EQ(plugin.getChannelMeterLevel(3), 1.0f);
    EXPECT_EQ(plugin.getChannelMeterLevel(4), 0.0f);
}

} // namespace
