// The plug-in: the VST 2.4 adapter over the signal-path engine, and the control side behind the
// 46 parameters and the eight programs.
//
// Threads. Construction (with the calibration scan), setSampleRate, suspend, resume and the
// dispatcher's idle run on host threads. VST 2.4 hosts call setParameter and setProgram from the
// audio thread while they automate, and read parameters and names from their user-interface
// thread meanwhile, so the control calls may come from any thread at any time:
//   setParameter, getParameter, setProgram, getProgram, setProgramName, getProgramName,
//   getParameterName, getParameterLabel, getParameterDisplay, the meter queries   [any thread]
// and none of them waits, locks, allocates, designs a filter, does I/O or shows a message: every
// filter set is prepared for the current rate before it can be selected, so selecting one is an
// atomic operation, and the message a selection may raise ("No filter found for sampling rate")
// is queued and shown from the next host-thread call (idle, suspend, resume, setSampleRate).
// processReplacing runs on the audio thread and hands the block to the engine.
#pragma once

#include "engine/Engine.h"
#include "host/AudioEffectX.h"
#include "model/Parameters.h"
#include "model/ProgramRecord.h"
#include "plugin/LiveProgram.h"
#include "plugin/PendingMessages.h"

#include <atomic>

class ASonquad : public AudioEffectX {
public:
    static constexpr VstInt32 kNumPrograms = 8;
    static constexpr VstInt32 kNumParams = param::kCount;

    // Builds the engine with its built-in sets, the program list (reading the calibration
    // folder), prepares every set for the default rate and selects program 0. [host thread]
    explicit ASonquad(audioMasterCallback audioMaster);
    ~ASonquad() override;

    // Shows the queued messages on opcodes that come from a host thread (idle, the editor's
    // idle), then does what AudioEffectX does. [the opcode's thread]
    VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) override;

    void suspend() override;                                         // [host thread]
    void resume() override;                                          // [host thread]
    // Prepares the engine for the rate (every filter and set re-rated, designed and reset); a
    // block in progress is let finish. [host thread]
    void setSampleRate(float rate) override;
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override; // [audio thread]
    void setParameter(VstInt32 index, float value) override;         // [any thread]
    float getParameter(VstInt32 index) override;                     // [any thread]
    void setProgram(VstInt32 program) override;                      // [any thread]
    void setProgramName(char* name) override;                        // [any thread]
    void getProgramName(char* name) override;                        // [any thread]
    void getParameterLabel(VstInt32 index, char* label) override;    // [any thread]
    void getParameterDisplay(VstInt32 index, char* text) override;   // [any thread]
    void getParameterName(VstInt32 index, char* text) override;      // [any thread]
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    VstInt32 getVendorVersion() override;
    VstInt32 getPlugCategory() override;

    // Level meters: the root mean square of the outputs since the last query (all four, or one
    // channel); the last answer again when no sample came since. [any thread]
    virtual float getMeterLevel();
    virtual float getChannelMeterLevel(VstInt32 channel);

    // Shows the messages queued by control calls. [host thread]
    void showPendingMessages() { pending.show(); }

    // Read-outs for tools and tests. [any thread]
    const engine::Engine& audioEngine() const { return signalPath; }
    ProgramRecord program(int slot) const { return programs[slot].record(); }
    // Samples by which the outputs trail the inputs (not reported to hosts: initialDelay is 0).
    int latencySamples() const { return signalPath.latencySamples(); }

private:
    void buildProgramList();
    void storeValue(int program, int parameter, float value);
    void setRealValue(int parameter, float value);

    engine::Engine signalPath;                             // the A-to-B signal path
    LiveProgram programs[kNumPrograms];                    // the eight programs
    std::atomic<float> currentValues[param::kCount] = {};  // normalised values, value-block order
    PendingMessages pending;                               // messages for the next host-thread call

    // Host and program state the processing does not read.
    std::atomic<int> viewMode {1};                         // 1..3
    std::atomic<int> currentCapsule {1};                   // 1..4
    std::atomic<bool> displayVU {false};
    std::atomic<bool> locked {false};
    std::atomic<bool> calibration {false};
    std::atomic<bool> eqsLinked {false};
    std::atomic<bool> gainsLinked {false};
};
