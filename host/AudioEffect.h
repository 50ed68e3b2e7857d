// The plug-in base of the VST 2.4 interface: owns the descriptor handed to the host, the base
// state (sample rate, block size, program and parameter counts, current program), the attached
// editor, and the VST 1 part of the opcode dispatcher (opcodes 0 to 24).
//
// Threads: the dispatcher and the parameter entries run on the host's user-interface thread,
// processReplacing on its audio thread.
#pragma once

#include "host/vst2.h"

#include <atomic>

class AEffEditor;

class AudioEffect {
public:
    // [host thread] Sets up the descriptor with numPrograms and numParams.
    AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);
    // Deletes the attached editor.
    virtual ~AudioEffect();

    AudioEffect(const AudioEffect&) = delete;
    AudioEffect& operator=(const AudioEffect&) = delete;

    // The virtual operations, in the order of the published base class.
    virtual VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
    virtual void open() {}
    virtual void close() {}
    virtual void suspend() {}
    virtual void resume();
    virtual void setSampleRate(float rate) { sampleRate = rate; }
    virtual void setBlockSize(VstInt32 size) { blockSize = size; }
    virtual void processReplacing(float** /*inputs*/, float** /*outputs*/, VstInt32 /*sampleFrames*/) {}
    virtual void processDoubleReplacing(double** /*inputs*/, double** /*outputs*/, VstInt32 /*sampleFrames*/) {}
    virtual void setParameter(VstInt32 /*index*/, float /*value*/) {}
    virtual float getParameter(VstInt32 /*index*/) { return 0.0f; }
    virtual void setParameterAutomated(VstInt32 index, float value);
    virtual VstInt32 getProgram() { return curProgram.load(std::memory_order_relaxed); }
    virtual void setProgram(VstInt32 program) { curProgram.store(program, std::memory_order_relaxed); }
    virtual void setProgramName(char* /*name*/) {}
    virtual void getProgramName(char* name) { *name = '\0'; }
    virtual void getParameterLabel(VstInt32 /*index*/, char* label) { *label = '\0'; }
    virtual void getParameterDisplay(VstInt32 /*index*/, char* text) { *text = '\0'; }
    virtual void getParameterName(VstInt32 /*index*/, char* text) { *text = '\0'; }
    virtual VstInt32 getChunk(void** /*data*/, bool /*isPreset*/) { return 0; }
    virtual VstInt32 setChunk(void* /*data*/, VstInt32 /*byteSize*/, bool /*isPreset*/) { return 0; }

    AEffect* getAeffect() { return &cEffect; }
    AEffEditor* getEditor() { return editor; }
    // Attaches an editor (owned from now on) and sets or clears the editor flag.
    void setEditor(AEffEditor* newEditor);
    float getSampleRate() const { return sampleRate; }
    VstInt32 getBlockSize() const { return blockSize; }

    // Host-callback wrappers; each answers 0 / false when the plug-in holds no host callback.
    VstInt32 getMasterVersion();
    void masterIdle();
    virtual bool beginEdit(VstInt32 index);
    virtual bool endEdit(VstInt32 index);

protected:
    void setUniqueID(VstInt32 id) { cEffect.uniqueID = id; }
    void setNumInputs(VstInt32 count) { cEffect.numInputs = count; }
    void setNumOutputs(VstInt32 count) { cEffect.numOutputs = count; }
    void canProcessReplacing(bool state);
    bool isSynth() const { return (cEffect.flags & effFlagsIsSynth) != 0; }
    virtual bool acceptsMidi() { return false; }
    void wantEvents();

    audioMasterCallback audioMaster;   // the host's callback, may be null
    AEffEditor* editor = nullptr;      // attached editor, owned
    float sampleRate = 44100.0f;       // Hz
    VstInt32 blockSize = 1024;         // largest block the host announced
    VstInt32 numPrograms;              // program slots
    VstInt32 numParams;                // parameters
    std::atomic<VstInt32> curProgram {0};   // index of the current program; hosts set it from any thread
    AEffect cEffect;                   // the descriptor handed to the host

private:
    static VstIntPtr VSTCALLBACK dispatchEffectClass(AEffect* e, VstInt32 opcode, VstInt32 index,
                                                     VstIntPtr value, void* ptr, float opt);
    static void VSTCALLBACK setParameterClass(AEffect* e, VstInt32 index, float value);
    static float VSTCALLBACK getParameterClass(AEffect* e, VstInt32 index);
    static void VSTCALLBACK processClass(AEffect* e, float** inputs, float** outputs, VstInt32 frames);
    static void VSTCALLBACK processReplacingClass(AEffect* e, float** inputs, float** outputs,
                                                  VstInt32 frames);
    static void VSTCALLBACK processDoubleReplacingClass(AEffect* e, double** inputs, double** outputs,
                                                        VstInt32 frames);
};
