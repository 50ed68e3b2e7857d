// The plug-in: the live state behind the 46 parameters, the eight programs, the filter banks and
// the processing of the four capsule signals into W, X, Y, Z.
//
// Threads: construction (with the calibration scan), the dispatcher, the parameter entries and
// the program operations run on host threads; processReplacing on the audio thread. The fields the
// audio thread reads are atomics, each read once per block; nothing on the audio path allocates,
// locks or does I/O.
#pragma once

#include "dsp/CABMatrix.h"
#include "dsp/CLFFilter.h"
#include "dsp/CMitRegFilter.h"
#include "dsp/FilterBank.h"
#include "host/AudioEffectX.h"
#include "plugin/Parameters.h"
#include "plugin/ProgramRecord.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

class ASonquad : public AudioEffectX {
public:
    static constexpr VstInt32 kNumPrograms = 8;
    static constexpr VstInt32 kNumParams = param::kCount;
    // processReplacing works through longer host blocks in pieces of this many samples, well
    // below the filters' 32768-sample limit; the result equals that of shorter calls.
    static constexpr VstInt32 kMaxPiece = 4096;

    // [host thread] Builds the filters, the program list (reading the calibration folder) and
    // selects program 0.
    explicit ASonquad(audioMasterCallback audioMaster);
    ~ASonquad() override;

    void suspend() override;
    void setSampleRate(float rate) override;                         // [host thread]
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override; // [audio thread]
    void setParameter(VstInt32 index, float value) override;         // [host thread]
    float getParameter(VstInt32 index) override;
    void setProgram(VstInt32 program) override;
    void setProgramName(char* name) override;
    void getProgramName(char* name) override;
    void getParameterLabel(VstInt32 index, char* label) override;
    void getParameterDisplay(VstInt32 index, char* text) override;
    void getParameterName(VstInt32 index, char* text) override;
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    VstInt32 getVendorVersion() override;
    VstInt32 getPlugCategory() override;

    // Level meters: the root mean square of the outputs since the last query (all four, or one
    // channel); the last answer again when no sample came since. [any thread]
    virtual float getMeterLevel();
    virtual float getChannelMeterLevel(VstInt32 channel);

    // Read-outs of the live state in real units, for tools and tests.
    float lfCutFreqHz() const { return lfCutFreq.load(std::memory_order_relaxed); }
    float lfBoostFreqHz() const { return lfBoostFreq.load(std::memory_order_relaxed); }
    float eqFreqHz(int capsule) const { return eqFreq[capsule].load(std::memory_order_relaxed); }
    float eqWidthOctaves(int capsule) const { return eqWidth[capsule].load(std::memory_order_relaxed); }
    float eqGainDb(int capsule) const { return eqGain[capsule].load(std::memory_order_relaxed); }
    float capOutGainDb(int capsule, int output) const { return capOutGain[capsule][output].load(std::memory_order_relaxed); }
    float outputGainDb(int output) const { return outputGain[output].load(std::memory_order_relaxed); }
    int postMatrixSet() const { return postMatrixFilterNumber.load(std::memory_order_relaxed); }
    int preMatrixSet() const { return preMatrixFilterNumber; }
    const FilterBank& postMatrixBank() const { return postMatrixFilters; }
    const FilterBank& preMatrixBank() const { return preMatrixFilters; }
    const ProgramRecord& program(int slot) const { return programs[slot]; }

protected:
    void buildFilters();
    void buildProgramList();
    void selectPreMatrixFilter(int set);
    void selectPostMatrixFilter(int set);

    ProgramRecord programs[kNumPrograms];                 // the eight programs
    CABMatrix abMatrix;                                    // A-to-B matrix stage
    std::unique_ptr<CLFFilter> lfFilters[4];               // LF stage, one per capsule channel
    std::unique_ptr<CMitRegFilter> eqFilters[4];           // per-capsule EQ stage
    FilterBank preMatrixFilters;                           // set 0 "None" only; no stage applies it
    FilterBank postMatrixFilters;                          // W, X, Y, Z filter sets
    std::int16_t preMatrixFilterNumber = 0;               // selected pre-matrix set
    std::atomic<std::int16_t> postMatrixFilterNumber{0};  // selected post-matrix set
    std::atomic<int> postSetInUse{-1};                    // set the audio thread is running, -1 between blocks
    std::atomic<int> postSetPreparing{-1};                // set the host thread is re-rating in place, or -1

    // Real-unit fields the audio thread reads once per block.
    std::atomic<bool> lfEnabled{false};
    std::atomic<float> lfCutFreq{20.0f};                  // Hz
    std::atomic<float> lfBoostFreq{20.0f};                // Hz
    std::atomic<bool> eqsEnabled{false};
    std::atomic<float> eqFreq[4];                         // Hz, per capsule
    std::atomic<float> eqWidth[4];                        // octaves, per capsule
    std::atomic<float> eqGain[4];                         // dB, per capsule
    std::atomic<float> capOutGain[4][4];                  // dB, [capsule][output W X Y Z]
    std::atomic<float> outputGain[4];                     // dB, W X Y Z
    std::atomic<bool> abMatrixEnabled{true};

    // Host and program state the processing does not read.
    std::int16_t viewMode = 1;                            // 1..3
    bool displayVU = false;
    bool locked = false;
    bool calibration = false;
    bool eqsLinked = false;
    bool gainsLinked = false;
    std::int16_t currentCapsule = 1;                      // 1..4
    float currentValues[param::kCount];                   // normalised values, value-block order

    // Level meters, fed from the outputs after the last stage.
    std::atomic<float> meterSumSq{0.0f};                  // sum of squares over all outputs
    std::atomic<float> capsuleMeterSumSq[4];              // per output channel
    std::atomic<std::int32_t> meterCount{0};
    std::atomic<std::int32_t> capsuleMeterCount[4];
    float lastMeterLevel = 0.0f;                          // answer when no sample came
    float lastChannelMeterLevel[4] = {};

private:
    // One snapshot of the fields the processing reads, taken once per host call.
    struct BlockSettings {
        bool lfOn, eqOn, matrixOn;
        float cutHz, boostHz;
        float eqFreqHz[4], eqWidthOctaves[4], eqGainDb[4];
        float capOutGainDb[4][4], outputGainDb[4];
    };
    BlockSettings readSettings() const;
    void prepareStages(const BlockSettings& settings);   // [audio thread] coefficients for this call
    void processPiece(const BlockSettings& settings, float** inputs, float** outputs, VstInt32 offset,
                      VstInt32 frames);
    int acquirePostSet();                                  // [audio thread] the set to run, marked in use
    void addToMeters(float** outputs, VstInt32 offset, VstInt32 frames);

    std::vector<float> inputCopy;                          // 4 x kMaxPiece, for hosts whose inputs alias other outputs

    void setRealValue(int parameter, float value);
    void storeValue(ProgramRecord& record, int parameter, float value);
    static void waitUntilSetIdle(const std::atomic<int>& inUse, int set);
    // setSampleRate, then (for a convolution filter) the design for that rate, then reset: the
    // whole re-rating of one filter of a set, on the host thread.
    static void prepareFilter(CFilter* filter, float rate);
};
