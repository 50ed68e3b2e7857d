#include "plugin/ASonquad.h"

#include "calibration/CalibrationLibrary.h"
#include "dsp/CCoincidenceFilter.h"
#include "dsp/CapsuleLanes.h"
#include "dsp/CFFTFilter.h"
#include "dsp/Lanes.h"
#include "dsp/ScopedNoDenormals.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>

ASonquad::ASonquad(audioMasterCallback audioMaster)
    : AudioEffectX(audioMaster, kNumPrograms, kNumParams)
{
    for (ProgramRecord& record : programs)
        record.setDefaults();
    for (int i = 0; i < 4; ++i) {
        eqFreq[i].store(param::eqFrequencyHz(0.0f), std::memory_order_relaxed);
        eqWidth[i].store(0.0f, std::memory_order_relaxed);
        eqGain[i].store(0.0f, std::memory_order_relaxed);
        outputGain[i].store(0.0f, std::memory_order_relaxed);
        for (int o = 0; o < 4; ++o)
            capOutGain[i][o].store(0.0f, std::memory_order_relaxed);
        capsuleMeterSumSq[i].store(0.0f, std::memory_order_relaxed);
        capsuleMeterCount[i].store(0, std::memory_order_relaxed);
    }
    std::memset(currentValues, 0, sizeof currentValues);
    inputCopy.assign(4 * static_cast<std::size_t>(kMaxPiece), 0.0f);

    buildFilters();
    buildProgramList();
    setProgram(0);

    setNumInputs(4);
    setNumOutputs(4);
    canProcessReplacing(true);
    setUniqueID(fourCharCode('\0', 'S', 'n', 'q'));
}

ASonquad::~ASonquad() = default;

void ASonquad::buildFilters()
{
    for (int k = 0; k < 4; ++k) {
        lfFilters[k] = std::make_unique<CLFFilter>(lfCutFreq.load(), lfBoostFreq.load());
        eqFilters[k] = std::make_unique<CMitRegFilter>();
    }

    preMatrixFilters.count = 1;
    postMatrixFilters.count = 1;
    for (int k = 0; k < FilterBank::kChannels; ++k) {
        preMatrixFilters.place(0, k, std::make_unique<CFilter>())->setName("None");
        postMatrixFilters.place(0, k, std::make_unique<CFilter>())->setName("None");
    }

    // The capsule-coincidence corrections: the W curve on channel 0, the X/Y/Z curve on 1 to 3.
    struct Spacing {
        float cm;
        const char* name;
    };
    for (const Spacing& spacing : {Spacing {1.47f, "1.47cm"}, Spacing {2.3f, "2.3cm"}}) {
        const int set = postMatrixFilters.count;
        for (int k = 0; k < FilterBank::kChannels; ++k)
            postMatrixFilters.place(set, k, std::make_unique<CCoincidenceFilter>(k == 0 ? 0 : 1, spacing.cm, 1.0f));
        postMatrixFilters.filter(set, 0)->setName(spacing.name);
        ++postMatrixFilters.count;
    }
}

void ASonquad::buildProgramList()
{
    char text[ProgramRecord::kNameSize];
    for (int slot = 0; slot < kNumPrograms; ++slot) {
        std::snprintf(text, sizeof text, "User %d", slot);
        programs[slot].setName(text);
        programs[slot].value(param::kLfCutFreq) = 1.0f;
    }

    ProgramRecord& uncalibrated = programs[0];
    uncalibrated.setName("Quaddle - uncalibrated");
    uncalibrated.value(param::kLfEnabled) = 1.0f;
    uncalibrated.value(param::kLfCutFreq) = param::lfFrequencyValue(25.0);
    uncalibrated.value(param::kLfBoostFreq) = param::lfFrequencyValue(150.0);
    uncalibrated.value(param::outputGain(0)) = 0.23333334f;   // -8 dB on W
    uncalibrated.value(param::kPostMatrixFilterNumber) = 0.2857143f;   // set 2, "2.3cm"

    ProgramRecord& spacing147 = programs[1];
    spacing147.setName("1.47cm");
    spacing147.value(param::kLfEnabled) = 1.0f;
    spacing147.value(param::kLfCutFreq) = param::lfFrequencyValue(30.0);
    spacing147.value(param::kLfBoostFreq) = param::lfFrequencyValue(50.0);
    spacing147.value(param::outputGain(0)) = 0.341f;   // -4.77 dB on W
    spacing147.value(param::kPostMatrixFilterNumber) = 0.14285715f;   // set 1, "1.47cm"

    // Slots 2 to 7: the text calibrations, then the processor configurations of the folder.
    scanCalibrationFolders(programs, kNumPrograms, postMatrixFilters);
}

void ASonquad::suspend()
{
    // Nothing to do: the filters keep their state and resume where they stopped.
}

void ASonquad::setSampleRate(float rate)
{
    AudioEffect::setSampleRate(rate);
    for (int k = 0; k < 4; ++k) {
        lfFilters[k]->setSampleRate(rate);
        lfFilters[k]->reset();
        eqFilters[k]->setSampleRate(rate);
        eqFilters[k]->reset();
    }
    // The selected set is re-rated in place, with its convolution filters designed here rather
    // than in the next audio block. Hosts suspend processing before they change the rate; for
    // one that does not, the set is marked as being prepared and the audio thread, which may be
    // inside a block of it, is let finish that block first. Blocks that start while the set is
    // being prepared leave it out and give silence on its channels: what its convolution
    // filters give anyway for 1024 samples after the reset that a rate change makes.
    const int set = postMatrixFilterNumber.load(std::memory_order_seq_cst);
    if (postMatrixFilters.hasSet(set)) {
        postSetPreparing.store(set, std::memory_order_seq_cst);
        waitUntilSetIdle(postSetInUse, set);
        for (int k = 0; k < FilterBank::kChannels; ++k)
            prepareFilter(postMatrixFilters.filter(set, k), rate);
        postSetPreparing.store(-1, std::memory_order_seq_cst);
    }
}

void ASonquad::prepareFilter(CFilter* filter, float rate)
{
    filter->setSampleRate(rate);
    if (auto* convolution = dynamic_cast<CFFTFilter*>(filter))
        convolution->prepare();
    filter->reset();
}

ASonquad::BlockSettings ASonquad::readSettings() const
{
    constexpr auto relaxed = std::memory_order_relaxed;
    BlockSettings settings {};
    settings.lfOn = lfEnabled.load(relaxed);
    settings.eqOn = eqsEnabled.load(relaxed);
    settings.matrixOn = abMatrixEnabled.load(relaxed);
    settings.cutHz = lfCutFreq.load(relaxed);
    settings.boostHz = lfBoostFreq.load(relaxed);
    for (int i = 0; i < 4; ++i) {
        settings.eqFreqHz[i] = eqFreq[i].load(relaxed);
        settings.eqWidthOctaves[i] = eqWidth[i].load(relaxed);
        settings.eqGainDb[i] = eqGain[i].load(relaxed);
        settings.outputGainDb[i] = outputGain[i].load(relaxed);
        for (int o = 0; o < 4; ++o)
            settings.capOutGainDb[i][o] = capOutGain[i][o].load(relaxed);
    }
    return settings;
}

void ASonquad::prepareStages(const BlockSettings& settings)
{
    // Each stage that is on takes its coefficients from the fields at every host call, whether
    // they changed or not; a change therefore takes effect at the next block boundary.
    if (settings.lfOn) {
        for (auto& lf : lfFilters) {
            lf->cutFreq = settings.cutHz;
            lf->boostFreq = settings.boostHz;
            lf->update();
        }
    }
    if (settings.eqOn) {
        for (int k = 0; k < 4; ++k)
            eqFilters[k]->setParameters(settings.eqFreqHz[k], settings.eqWidthOctaves[k], settings.eqGainDb[k]);
    }
    if (settings.matrixOn) {
        // The matrix holds the transpose of capOutGain: [output][capsule].
        for (int o = 0; o < 4; ++o) {
            for (int k = 0; k < 4; ++k)
                abMatrix.matrixDb[o][k] = settings.capOutGainDb[k][o];
            abMatrix.outputDb[o] = settings.outputGainDb[o];
        }
    }
}

int ASonquad::acquirePostSet()
{
    // Announce the set before using it and check that it is still the selected one; a host
    // thread about to re-rate a set waits while it is announced here.
    for (;;) {
        const int set = postMatrixFilterNumber.load(std::memory_order_seq_cst);
        postSetInUse.store(set, std::memory_order_seq_cst);
        if (postMatrixFilterNumber.load(std::memory_order_seq_cst) == set)
            return set;
    }
}

void ASonquad::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames)
{
    if (sampleFrames <= 0)
        return;
    ScopedNoDenormals noDenormals;
    const BlockSettings settings = readSettings();
    prepareStages(settings);
    const int set = acquirePostSet();
    const bool postOn = set > 0 && postMatrixFilters.hasSet(set);
    // Checked after the set was marked in use (seq_cst on both sides): either the host thread
    // sees this block and waits for it, or this block sees the preparation and keeps out.
    const bool preparing = postOn && postSetPreparing.load(std::memory_order_seq_cst) == set;
    for (VstInt32 offset = 0; offset < sampleFrames; offset += kMaxPiece) {
        const VstInt32 frames = std::min(kMaxPiece, sampleFrames - offset);
        processPiece(settings, inputs, outputs, offset, frames);
        if (postOn && preparing) {
            for (int k = 0; k < 4; ++k)
                std::fill(outputs[k] + offset, outputs[k] + offset + frames, 0.0f);
        } else if (postOn) {
            for (int k = 0; k < 4; ++k)
                postMatrixFilters.filter(set, k)->process(outputs[k] + offset, frames);
        }
        addToMeters(outputs, offset, frames);
    }
    postSetInUse.store(-1, std::memory_order_seq_cst);
}

void ASonquad::processPiece(const BlockSettings& settings, float** inputs, float** outputs, VstInt32 offset,
                            VstInt32 frames)
{
    const std::size_t bytes = sizeof(float) * static_cast<std::size_t>(frames);
    // Hosts may pass the same buffer as input and output; copy only when they differ. When an
    // input is also another channel's output, the inputs are saved before any output is written.
    bool crossAliased = false;
    for (int k = 0; k < 4; ++k)
        for (int j = 0; j < 4; ++j)
            crossAliased |= j != k && inputs[k] == outputs[j];
    if (crossAliased) {
        for (int k = 0; k < 4; ++k)
            std::memcpy(inputCopy.data() + k * kMaxPiece, inputs[k] + offset, bytes);
        for (int k = 0; k < 4; ++k)
            std::memcpy(outputs[k] + offset, inputCopy.data() + k * kMaxPiece, bytes);
    } else {
        for (int k = 0; k < 4; ++k)
            if (inputs[k] != outputs[k])
                std::memcpy(outputs[k] + offset, inputs[k] + offset, bytes);
    }

    float* channel[4] = {outputs[0] + offset, outputs[1] + offset, outputs[2] + offset, outputs[3] + offset};
    // The capsule stages of the four channels run side by side, one channel per vector lane.
    CLFFilter* const lf[4] = {lfFilters[0].get(), lfFilters[1].get(), lfFilters[2].get(), lfFilters[3].get()};
    CMitRegFilter* const eq[4] = {eqFilters[0].get(), eqFilters[1].get(), eqFilters[2].get(), eqFilters[3].get()};
    processCapsuleStages(settings.lfOn ? lf : nullptr, settings.eqOn ? eq : nullptr, channel, frames);
    if (settings.matrixOn)
        abMatrix.process(channel[0], channel[1], channel[2], channel[3], frames);
}

void ASonquad::addToMeters(float** outputs, VstInt32 offset, VstInt32 frames)
{
    constexpr auto relaxed = std::memory_order_relaxed;
    float* const channel[4] = {outputs[0] + offset, outputs[1] + offset, outputs[2] + offset, outputs[3] + offset};
    float sums[4];
    lanes::sumOfSquaresFour(channel, frames, sums);
    float total = 0.0f;
    for (int k = 0; k < 4; ++k) {
        total += sums[k];
        capsuleMeterSumSq[k].store(capsuleMeterSumSq[k].load(relaxed) + sums[k], relaxed);
        capsuleMeterCount[k].fetch_add(frames, relaxed);
    }
    meterSumSq.store(meterSumSq.load(relaxed) + total, relaxed);
    meterCount.fetch_add(frames, relaxed);
}

void ASonquad::waitUntilSetIdle(const std::atomic<int>& inUse, int set)
{
    // The audio thread may still be inside a block of this set from before the last switch;
    // wait for that block to end before the set is re-rated. This is at most one block.
    while (inUse.load(std::memory_order_seq_cst) == set)
        std::this_thread::yield();
}

void ASonquad::selectPreMatrixFilter(int set)
{
    if (!preMatrixFilters.hasSet(set) || set == preMatrixFilterNumber)
        return;
    for (int k = 0; k < FilterBank::kChannels; ++k) {
        CFilter* f = preMatrixFilters.filter(set, k);
        f->setSampleRate(sampleRate);
        f->reset();
    }
    preMatrixFilterNumber = static_cast<std::int16_t>(set);
}

void ASonquad::selectPostMatrixFilter(int set)
{
    if (!postMatrixFilters.hasSet(set) || set == postMatrixFilterNumber.load(std::memory_order_relaxed))
        return;
    // Re-rate and reset the set first, then publish its number: the audio thread never runs a
    // half-prepared set.
    // The convolution filters are designed here, on the host thread, so the first audio block
    // of the new set does no design.
    waitUntilSetIdle(postSetInUse, set);
    for (int k = 0; k < FilterBank::kChannels; ++k)
        prepareFilter(postMatrixFilters.filter(set, k), sampleRate);
    postMatrixFilterNumber.store(static_cast<std::int16_t>(set), std::memory_order_seq_cst);
}

void ASonquad::storeValue(ProgramRecord& record, int parameter, float value)
{
    record.value(parameter) = value;
    currentValues[param::positionOf(parameter)] = value;
}

void ASonquad::setRealValue(int p, float v)
{
    constexpr auto relaxed = std::memory_order_relaxed;
    switch (p) {
    case param::kLfEnabled: lfEnabled.store(param::switchOn(v), relaxed); return;
    case param::kLfCutFreq: lfCutFreq.store(param::lfFrequencyHz(v), relaxed); return;
    case param::kLfBoostFreq: lfBoostFreq.store(param::lfFrequencyHz(v), relaxed); return;
    case param::kLocked: locked = param::switchOn(v); return;
    case param::kCalibration: calibration = param::switchOn(v); return;
    case param::kPreMatrixFilterNumber: selectPreMatrixFilter(param::setNumber(v)); return;
    case param::kPostMatrixFilterNumber: selectPostMatrixFilter(param::setNumber(v)); return;
    case param::kEqsEnabled: eqsEnabled.store(param::switchOn(v), relaxed); return;
    case param::kEqsLinked: eqsLinked = param::switchOn(v); return;
    case param::kGainsLinked: gainsLinked = param::switchOn(v); return;
    case param::kAbMatrixEnabled: abMatrixEnabled.store(param::switchOn(v), relaxed); return;
    case param::kCurrentCapsule: currentCapsule = static_cast<std::int16_t>(param::currentCapsule(v)); return;
    case param::kViewMode: viewMode = static_cast<std::int16_t>(param::viewMode(v)); return;
    case param::kDisplayVU: displayVU = param::switchOn(v); return;
    default: break;
    }
    if (p >= param::kFirstOutputGain) {
        outputGain[p - param::kFirstOutputGain].store(param::outputGainDb(v), relaxed);
        return;
    }
    const int capsule = (p - param::kFirstCapsule) / param::kCapsuleStride;
    const int setting = (p - param::kFirstCapsule) % param::kCapsuleStride;
    switch (setting) {
    case param::kEqFreq: eqFreq[capsule].store(param::eqFrequencyHz(v), relaxed); return;
    case param::kEqWidth: eqWidth[capsule].store(param::eqWidthOctaves(v), relaxed); return;
    case param::kEqGain: eqGain[capsule].store(param::eqGainDb(v), relaxed); return;
    default:
        capOutGain[capsule][setting - param::kOut1Gain].store(param::capOutGainDb(v), relaxed);
        return;
    }
}

void ASonquad::setParameter(VstInt32 index, float value)
{
    if (!param::isValid(index))
        return;
    ProgramRecord& record = programs[curProgram];
    storeValue(record, index, value);
    setRealValue(index, value);

    if (!param::isCapsuleParameter(index))
        return;
    const int capsule = (index - param::kFirstCapsule) / param::kCapsuleStride;
    const int setting = (index - param::kFirstCapsule) % param::kCapsuleStride;
    if (eqsLinked && setting <= param::kEqGain) {
        // The same EQ setting of every capsule follows; output gains are not linked here.
        for (int k = 0; k < param::kCapsules; ++k) {
            const int linked = param::kFirstCapsule + param::kCapsuleStride * k + setting;
            storeValue(record, linked, value);
            setRealValue(linked, value);
        }
    }
    if (gainsLinked) {
        // Any setting of a capsule also becomes that capsule's gain into W (output 1).
        const int linked = param::capOutGain(capsule, 0);
        storeValue(record, linked, value);
        setRealValue(linked, value);
    }
}

float ASonquad::getParameter(VstInt32 index)
{
    return param::isValid(index) ? currentValues[param::positionOf(index)] : 0.0f;
}

void ASonquad::setProgram(VstInt32 program)
{
    if (program < 0 || program >= kNumPrograms)
        return;
    curProgram = program;
    // Each value is read when it is applied: setParameter writes back into this record, so a
    // stored "EQs Linked" (applied before the capsules) spreads capsule 1's EQ over the others.
    const ProgramRecord& record = programs[program];
    for (int p : param::kProgramApplyOrder)
        setParameter(p, record.value(p));
}

void ASonquad::setProgramName(char* name)
{
    programs[curProgram].setName(name);
}

void ASonquad::getProgramName(char* name)
{
    const ProgramRecord& record = programs[curProgram];
    if (std::strcmp(record.name, "Init") == 0)
        std::snprintf(name, kVstMaxProgNameLen, "%s %d", record.name, curProgram + 1);
    else
        std::strcpy(name, record.name);
}

void ASonquad::getParameterLabel(VstInt32 index, char* label)
{
    if (param::isValid(index))
        std::strcpy(label, param::label(index));
}

void ASonquad::getParameterName(VstInt32 index, char* text)
{
    // The longest name, "PostMatrix Filter Number", is 24 characters; hosts give room for it.
    if (param::isValid(index))
        param::name(index, text, 25);
}

void ASonquad::getParameterDisplay(VstInt32 index, char* text)
{
    if (!param::isValid(index))
        return;
    const float v = currentValues[param::positionOf(index)];
    constexpr std::size_t kDisplaySize = 25;
    auto fixed = [&](float real) { param::formatFixed(text, kDisplaySize, real, 5, 1); };
    switch (index) {
    case param::kLfCutFreq:
    case param::kLfBoostFreq:
        fixed(param::lfFrequencyHz(v));
        return;
    case param::kPreMatrixFilterNumber:
        param::copyText(text, kDisplaySize, preMatrixFilters.setName(preMatrixFilterNumber));
        return;
    case param::kPostMatrixFilterNumber:
        param::copyText(text, kDisplaySize,
                        postMatrixFilters.setName(postMatrixFilterNumber.load(std::memory_order_relaxed)));
        return;
    case param::kCurrentCapsule:
        std::snprintf(text, kDisplaySize, "%2d", param::currentCapsule(v));
        return;
    case param::kViewMode:
        std::snprintf(text, kDisplaySize, "%2d", param::viewMode(v));
        return;
    default:
        break;
    }
    if (index < param::kFirstCapsule) {
        std::strcpy(text, param::switchOn(v) ? "Yes" : "No");
        return;
    }
    if (index >= param::kFirstOutputGain) {
        fixed(param::outputGainDb(v));
        return;
    }
    switch ((index - param::kFirstCapsule) % param::kCapsuleStride) {
    case param::kEqFreq: fixed(param::eqFrequencyHz(v)); return;
    case param::kEqWidth: fixed(param::eqWidthOctaves(v)); return;
    case param::kEqGain: fixed(param::eqGainDb(v)); return;
    default: fixed(param::capOutGainDb(v)); return;
    }
}

bool ASonquad::getEffectName(char* name)
{
    std::strcpy(name, "Sonquadrum");
    return true;
}

bool ASonquad::getVendorString(char* text)
{
    std::strcpy(text, "Morlane");
    return true;
}

bool ASonquad::getProductString(char* text)
{
    std::strcpy(text, "Sonquadrum");
    return true;
}

VstInt32 ASonquad::getVendorVersion() { return 1800; }

VstInt32 ASonquad::getPlugCategory() { return kPlugSurroundFx; }

float ASonquad::getMeterLevel()
{
    const std::int32_t count = meterCount.exchange(0, std::memory_order_relaxed);
    const float sum = meterSumSq.exchange(0.0f, std::memory_order_relaxed);
    if (count > 0)
        lastMeterLevel = std::sqrt(sum / static_cast<float>(count));
    return lastMeterLevel;
}

float ASonquad::getChannelMeterLevel(VstInt32 channel)
{
    if (channel < 0 || channel >= 4)
        return 0.0f;
    const std::int32_t count = capsuleMeterCount[channel].exchange(0, std::memory_order_relaxed);
    const float sum = capsuleMeterSumSq[channel].exchange(0.0f, std::memory_order_relaxed);
    if (count > 0)
        lastChannelMeterLevel[channel] = std::sqrt(sum / static_cast<float>(count));
    return lastChannelMeterLevel[channel];
}
