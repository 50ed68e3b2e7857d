#include "plugin/ASonquad.h"

#include "calibration/CalibrationLibrary.h"
#include "engine/ParameterMapping.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {
constexpr auto relaxed = std::memory_order_relaxed;
}

ASonquad::ASonquad(audioMasterCallback audioMaster)
    : AudioEffectX(audioMaster, kNumPrograms, kNumParams)
{
    ProgramRecord defaults {};
    defaults.setDefaults();
    for (LiveProgram& program : programs)
        program.assign(defaults);

    buildProgramList();
    // Every set is ready for the rate before any selection; the capsule filters stay at 48000 Hz
    // until the host sets a rate.
    signalPath.prepareSets(sampleRate);
    setProgram(0);
    showPendingMessages();

    setNumInputs(4);
    setNumOutputs(4);
    canProcessReplacing(true);
    setUniqueID(fourCharCode('\0', 'S', 'n', 'q'));
}

ASonquad::~ASonquad()
{
    // Messages raised since the host's last idle are still shown, not lost with the plug-in.
    showPendingMessages();
}

void ASonquad::buildProgramList()
{
    ProgramRecord records[kNumPrograms];
    for (int slot = 0; slot < kNumPrograms; ++slot)
        records[slot] = builtInProgram(slot);

    // Slots 2 to 7: the text calibrations, then the processor configurations of the folder.
    scanCalibrationFolders(records, kNumPrograms, signalPath.postMatrixBank());
    for (int slot = 0; slot < kNumPrograms; ++slot)
        programs[slot].assign(records[slot]);
}

VstIntPtr ASonquad::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
    // Both idle opcodes come from the host's user-interface thread.
    if (opcode == effEditIdle || opcode == effIdle)
        showPendingMessages();
    return AudioEffectX::dispatcher(opcode, index, value, ptr, opt);
}

void ASonquad::suspend()
{
    // The filters keep their state and resume where they stopped.
    showPendingMessages();
}

void ASonquad::resume()
{
    AudioEffectX::resume();
    showPendingMessages();
}

void ASonquad::setSampleRate(float rate)
{
    AudioEffect::setSampleRate(rate);
    signalPath.prepare(rate, blockSize);
    // The selected set has just been re-rated: a text calibration without coefficients for this
    // rate says so, once per missing array, as it does when it is selected.
    const int missing = signalPath.missingResponses(signalPath.postMatrixSet());
    for (int k = 0; k < missing; ++k)
        pending.pushNoFilter(rate);
    showPendingMessages();
}

void ASonquad::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames)
{
    signalPath.process(inputs, outputs, sampleFrames);
}

void ASonquad::storeValue(int program, int parameter, float value)
{
    const int position = param::positionOf(parameter);
    programs[program].values[position].store(value, relaxed);
    currentValues[position].store(value, relaxed);
}

void ASonquad::setRealValue(int p, float v)
{
    switch (engine::applyParameter(signalPath, p, v)) {
    case engine::Applied::kPostMatrixSelected: {
        const int missing = signalPath.missingResponses(signalPath.postMatrixSet());
        for (int k = 0; k < missing; ++k)
            pending.pushNoFilter(signalPath.setRate());
        return;
    }
    case engine::Applied::kApplied:
        return;
    case engine::Applied::kNotEngine:
        break;
    }
    switch (p) {
    case param::kLocked: locked.store(param::switchOn(v), relaxed); return;
    case param::kCalibration: calibration.store(param::switchOn(v), relaxed); return;
    case param::kEqsLinked: eqsLinked.store(param::switchOn(v), relaxed); return;
    case param::kGainsLinked: gainsLinked.store(param::switchOn(v), relaxed); return;
    case param::kCurrentCapsule: currentCapsule.store(param::currentCapsule(v), relaxed); return;
    case param::kViewMode: viewMode.store(param::viewMode(v), relaxed); return;
    case param::kDisplayVU: displayVU.store(param::switchOn(v), relaxed); return;
    default: return;
    }
}

void ASonquad::setParameter(VstInt32 index, float value)
{
    if (!param::isValid(index))
        return;
    const int program = curProgram.load(relaxed);
    storeValue(program, index, value);
    setRealValue(index, value);

    if (!param::isCapsuleParameter(index))
        return;
    const int capsule = (index - param::kFirstCapsule) / param::kCapsuleStride;
    const int setting = (index - param::kFirstCapsule) % param::kCapsuleStride;
    if (eqsLinked.load(relaxed) && setting <= param::kEqGain) {
        // The same EQ setting of every capsule follows; output gains are not linked here.
        for (int k = 0; k < param::kCapsules; ++k) {
            const int linked = param::kFirstCapsule + param::kCapsuleStride * k + setting;
            storeValue(program, linked, value);
            setRealValue(linked, value);
        }
    }
    if (gainsLinked.load(relaxed)) {
        // Any setting of a capsule also becomes that capsule's gain into W (output 1).
        const int linked = param::capOutGain(capsule, 0);
        storeValue(program, linked, value);
        setRealValue(linked, value);
    }
}

float ASonquad::getParameter(VstInt32 index)
{
    return param::isValid(index) ? currentValues[param::positionOf(index)].load(relaxed) : 0.0f;
}

void ASonquad::setProgram(VstInt32 program)
{
    if (program < 0 || program >= kNumPrograms)
        return;
    curProgram.store(program, relaxed);
    // Each value is read when it is applied: setParameter writes back into this record, so a
    // stored "EQs Linked" (applied before the capsules) spreads capsule 1's EQ over the others.
    const LiveProgram& record = programs[program];
    for (int p : param::kProgramApplyOrder)
        setParameter(p, record.value(p).load(relaxed));
}

void ASonquad::setProgramName(char* name)
{
    programs[curProgram.load(relaxed)].name.set(name);
}

void ASonquad::getProgramName(char* name)
{
    const int program = curProgram.load(relaxed);
    char stored[ProgramName::kSize];
    programs[program].name.get(stored);
    if (std::strcmp(stored, "Init") == 0)
        std::snprintf(name, kVstMaxProgNameLen, "Init %d", program + 1);
    else
        std::strcpy(name, stored);
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
    const float v = currentValues[param::positionOf(index)].load(relaxed);
    constexpr std::size_t kDisplaySize = 25;
    auto fixed = [&](float real) { param::formatFixed(text, kDisplaySize, real, 5, 1); };
    switch (index) {
    case param::kLfCutFreq:
    case param::kLfBoostFreq:
        fixed(param::lfFrequencyHz(v));
        return;
    case param::kPreMatrixFilterNumber:
        // Set names never change once the plug-in is built.
        param::copyText(text, kDisplaySize, signalPath.preMatrixBank().setName(signalPath.preMatrixSet()));
        return;
    case param::kPostMatrixFilterNumber:
        param::copyText(text, kDisplaySize, signalPath.postMatrixBank().setName(signalPath.postMatrixSet()));
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

float ASonquad::getMeterLevel() { return signalPath.meters().level(); }

float ASonquad::getChannelMeterLevel(VstInt32 channel) { return signalPath.meters().channelLevel(channel); }
