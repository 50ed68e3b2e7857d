#include "engine/Engine.h"

#include "dsp/CCoincidenceFilter.h"
#include "dsp/CFFTFilter.h"
#include "dsp/ScopedNoDenormals.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace engine {

namespace {
constexpr auto relaxed = std::memory_order_relaxed;
}

Settings Controls::snapshot() const
{
    Settings s;
    s.lfOn = lfOn.load(relaxed);
    s.lfCutHz = lfCutHz.load(relaxed);
    s.lfBoostHz = lfBoostHz.load(relaxed);
    s.eqOn = eqOn.load(relaxed);
    s.matrixOn = matrixOn.load(relaxed);
    for (int k = 0; k < 4; ++k) {
        s.eqFreqHz[k] = eqFreqHz[k].load(relaxed);
        s.eqWidthOctaves[k] = eqWidthOctaves[k].load(relaxed);
        s.eqGainDb[k] = eqGainDb[k].load(relaxed);
        s.outputGainDb[k] = outputGainDb[k].load(relaxed);
        for (int o = 0; o < 4; ++o)
            s.capOutGainDb[k][o] = capOutGainDb[k][o].load(relaxed);
    }
    return s;
}

bool SetSelection::select(int set, const FilterBank& bank)
{
    if (!bank.hasSet(set))
        return false;
    std::uint32_t old = word.load(std::memory_order_relaxed);
    for (;;) {
        if (static_cast<int>(old & kSetMask) == set)
            return false;
        const std::uint32_t selected = ((old & ~kSetMask) + (kSetMask + 1)) | static_cast<std::uint32_t>(set);
        if (word.compare_exchange_weak(old, selected, std::memory_order_acq_rel, std::memory_order_relaxed))
            return true;
    }
}

int SetSelection::take(bool& changed)
{
    const std::uint32_t now = word.load(std::memory_order_acquire);
    changed = now != taken;
    taken = now;
    return static_cast<int>(now & kSetMask);
}

bool Engine::Handshake::enterBlock()
{
    // seq_cst on both sides: either the host thread sees this block and waits for it, or this
    // block sees the preparation and keeps out of the filters.
    inBlock.store(true, std::memory_order_seq_cst);
    if (offline.load(std::memory_order_seq_cst)) {
        inBlock.store(false, std::memory_order_release);
        return false;
    }
    return true;
}

void Engine::Handshake::leaveBlock() { inBlock.store(false, std::memory_order_release); }

void Engine::Handshake::takeOffline()
{
    offline.store(true, std::memory_order_seq_cst);
    // Hosts suspend processing before they change the rate; for one that does not, the block in
    // progress (at most one) is let finish.
    while (inBlock.load(std::memory_order_seq_cst))
        std::this_thread::yield();
}

void Engine::Handshake::bringOnline() { offline.store(false, std::memory_order_seq_cst); }

Engine::Engine() : inputCopy(std::make_unique<float[]>(static_cast<std::size_t>(kChannels) * kMaxPiece))
{
    preMatrix.count = 1;
    postMatrix.count = 1;
    for (int k = 0; k < FilterBank::kChannels; ++k) {
        preMatrix.place(0, k, std::make_unique<CFilter>())->setName("None");
        postMatrix.place(0, k, std::make_unique<CFilter>())->setName("None");
    }
    // The capsule-coincidence corrections: the W curve on channel 0, the X/Y/Z curve on 1 to 3.
    struct Spacing {
        float cm;
        const char* name;
    };
    for (const Spacing& spacing : {Spacing {1.47f, "1.47cm"}, Spacing {2.3f, "2.3cm"}}) {
        const int set = postMatrix.count;
        for (int k = 0; k < FilterBank::kChannels; ++k)
            postMatrix.place(set, k, std::make_unique<CCoincidenceFilter>(k == 0 ? 0 : 1, spacing.cm, 1.0f));
        postMatrix.filter(set, 0)->setName(spacing.name);
        ++postMatrix.count;
    }
}

Engine::~Engine() = default;

void Engine::prepareBank(FilterBank& bank, float rateHz, std::atomic<int>* missing)
{
    for (int set = 0; set < FilterBank::kSets; ++set) {
        int arrays = 0;
        if (bank.hasSet(set))
            for (int k = 0; k < FilterBank::kChannels; ++k) {
                CFilter* filter = bank.filter(set, k);
                filter->prepare(rateHz);
                arrays += filter->missingResponses();
            }
        if (missing)
            missing[set].store(arrays, relaxed);
    }
}

void Engine::prepareSets(float sampleRateHz)
{
    prepareBank(preMatrix, sampleRateHz, nullptr);
    prepareBank(postMatrix, sampleRateHz, postMissing);
    setRateHz.store(sampleRateHz, relaxed);
}

void Engine::prepare(float sampleRateHz, int maxBlock)
{
    handshake.takeOffline();
    capsules.setSampleRate(sampleRateHz);
    prepareSets(sampleRateHz);
    pieceLength = std::clamp(maxBlock, 1, kMaxPiece);
    handshake.bringOnline();
}

void Engine::swapPostMatrixSet(int set, std::unique_ptr<CFilter> (&filters)[kChannels])
{
    if (set <= 0 || set >= FilterBank::kSets)
        return;
    postMatrix.swapSet(set, filters);
    int arrays = 0;
    if (postMatrix.hasSet(set))
        for (int k = 0; k < kChannels; ++k)
            arrays += postMatrix.filter(set, k)->missingResponses();
    postMissing[set].store(arrays, relaxed);
}

int Engine::missingResponses(int set) const
{
    return set >= 0 && set < FilterBank::kSets ? postMissing[set].load(relaxed) : 0;
}

int Engine::latencySamples() const
{
    const int set = postSelection.current();
    // Set 0 is never run; the filters of a set never change once it is built.
    if (set <= 0 || !postMatrix.hasSet(set))
        return 0;
    int latency = 0;
    for (int k = 0; k < FilterBank::kChannels; ++k)
        latency = std::max(latency, postMatrix.filter(set, k)->latencySamples());
    return latency;
}

void Engine::copyInputs(const float* const inputs[kChannels], float* const outputs[kChannels], int offset, int frames)
{
    const std::size_t bytes = sizeof(float) * static_cast<std::size_t>(frames);
    // Hosts may pass the same buffer as input and output; copy only when they differ. When an
    // input is also another channel's output, the inputs are saved before any output is written.
    bool crossAliased = false;
    for (int k = 0; k < kChannels; ++k)
        for (int j = 0; j < kChannels; ++j)
            crossAliased |= j != k && inputs[k] == outputs[j];
    if (crossAliased) {
        float* const saved = inputCopy.get();
        for (int k = 0; k < kChannels; ++k)
            std::memcpy(saved + k * pieceLength, inputs[k] + offset, bytes);
        for (int k = 0; k < kChannels; ++k)
            std::memcpy(outputs[k] + offset, saved + k * pieceLength, bytes);
        return;
    }
    for (int k = 0; k < kChannels; ++k)
        if (inputs[k] != outputs[k])
            std::memcpy(outputs[k] + offset, inputs[k] + offset, bytes);
}

void Engine::runSet(const FilterBank& bank, int set, float* const channels[kChannels], int frames)
{
    // Set 0, "None", is never run.
    if (set <= 0 || !bank.hasSet(set))
        return;
    for (int k = 0; k < kChannels; ++k)
        bank.filter(set, k)->process(channels[k], frames);
}

bool Engine::runConvolutionSet(int set, float* const channels[kChannels], int frames, float sums[kChannels])
{
    CFFTFilter* filters[kChannels];
    for (int k = 0; k < kChannels; ++k)
        if (!(filters[k] = postMatrix.filter(set, k)->asFFTFilter()))
            return false;
    return CFFTFilter::processFour(filters, channels, frames, sums);
}

void Engine::process(const float* const inputs[kChannels], float* const outputs[kChannels], int frames)
{
    if (frames <= 0)   // hosts may send empty blocks
        return;
    if (!handshake.enterBlock()) {
        for (int k = 0; k < kChannels; ++k)
            std::fill(outputs[k], outputs[k] + frames, 0.0f);
        return;
    }
    ScopedNoDenormals noDenormals;

    // The settings and the selections for this whole call; each stage that is on takes its
    // coefficients from them, so a change takes effect at the next call.
    const Settings s = published.snapshot();
    bool switched = false;
    const int preSet = preSelection.take(switched);
    if (switched && preMatrix.hasSet(preSet))
        for (int k = 0; k < kChannels; ++k)
            preMatrix.filter(preSet, k)->reset();
    const int postSet = postSelection.take(switched);
    if (switched && postMatrix.hasSet(postSet))
        for (int k = 0; k < kChannels; ++k)
            postMatrix.filter(postSet, k)->reset();
    if (s.lfOn)
        capsules.designLf(s.lfCutHz, s.lfBoostHz);
    if (s.eqOn)
        capsules.designEq(s.eqFreqHz, s.eqWidthOctaves, s.eqGainDb);
    if (s.matrixOn)
        matrix.setGains(s.capOutGainDb, s.outputGainDb);

    const bool preRuns = preSet > 0 && preMatrix.hasSet(preSet);
    const bool postRuns = postSet > 0 && postMatrix.hasSet(postSet);
    const bool firstPass = s.lfOn || s.eqOn || s.matrixOn;
    for (int offset = 0; offset < frames; offset += pieceLength) {
        const int n = std::min(pieceLength, frames - offset);
        float* const channel[kChannels] = {outputs[0] + offset, outputs[1] + offset, outputs[2] + offset,
                                           outputs[3] + offset};
        const float* source[kChannels] = {inputs[0] + offset, inputs[1] + offset, inputs[2] + offset,
                                          inputs[3] + offset};
        // The first pass reads the inputs where they are; only a pre-matrix set, which works in
        // place, or no first pass at all needs them copied to the outputs first.
        if (preRuns || !firstPass) {
            copyInputs(inputs, outputs, offset, n);
            runSet(preMatrix, preSet, channel, n);
            for (int k = 0; k < kChannels; ++k)
                source[k] = channel[k];
        }
        // Without a post-matrix set the first pass is the last one and takes the meters along.
        float sums[kChannels];
        const bool metered = firstPass && !postRuns;
        if (firstPass)
            capsules.run(source, channel, n, s.lfOn, s.eqOn, s.matrixOn ? &matrix.gains() : nullptr,
                         metered ? sums : nullptr);
        if (postRuns && !runConvolutionSet(postSet, channel, n, sums)) {
            runSet(postMatrix, postSet, channel, n);
            levels.add(channel, n);
        } else if (postRuns || metered) {
            levels.addSums(sums, n);
        } else {
            levels.add(channel, n);
        }
    }
    handshake.leaveBlock();
}

} // namespace engine
