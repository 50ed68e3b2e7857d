// The A-to-B signal path as one object: four capsule signals in, W, X, Y, Z out. It owns every
// filter of the path and both banks of filter sets, takes its settings from Controls (written by
// a control side on any thread, read once per call) and knows nothing of any plug-in format.
//
// Stages, in the order process runs them on each piece of a call:
//   the selected pre-matrix set (in place on a copy of the inputs; only "None" exists today);
//   the first pass from the inputs to the outputs: the LF filter and the per-capsule equaliser
//   (four channels in vector lanes), the A-to-B matrix with its output gains, and the level
//   meters when nothing follows; the selected post-matrix set, in place (a set of four
//   convolutions in one pass that takes the meters along); the level meters.
//
// Threads:
//   [host thread]  construction, the banks while they are filled, prepare and prepareSets. prepare
//                  may wait for one block in progress to end; blocks that start while it
//                  prepares give silence.
//   [any thread]   controls(), the set selections, latencySamples, missingResponses, meters():
//                  wait-free, no lock, no allocation.
//   [audio thread] process, swapPostMatrixSet: no lock, no wait, no allocation, no I/O, no filter design.
#pragma once

#include "dsp/CABMatrix.h"
#include "dsp/FilterBank.h"
#include "engine/CapsuleStages.h"
#include "engine/Meters.h"

#include <atomic>
#include <cstdint>
#include <memory>

namespace engine {

// The settings one call is processed with, in real units.
struct Settings {
    bool lfOn = false;                 // LF stage on
    float lfCutHz = 20.0f;             // Hz, shelf pole and high-pass corner
    float lfBoostHz = 20.0f;           // Hz, shelf zero
    bool eqOn = false;                 // per-capsule equaliser stage on
    float eqFreqHz[4] = {20.0f, 20.0f, 20.0f, 20.0f};
    float eqWidthOctaves[4] = {};
    float eqGainDb[4] = {};
    bool matrixOn = true;              // A-to-B matrix on
    float capOutGainDb[4][4] = {};     // dB, [capsule][output W X Y Z]
    float outputGainDb[4] = {};        // dB, W X Y Z
};

// The settings as the control side publishes them, field by field. Each field is written with a
// relaxed store from any thread; a call sees the old or the new value of each, never a torn one.
struct Controls {
    std::atomic<bool> lfOn {false};
    std::atomic<float> lfCutHz {20.0f};
    std::atomic<float> lfBoostHz {20.0f};
    std::atomic<bool> eqOn {false};
    std::atomic<float> eqFreqHz[4] = {20.0f, 20.0f, 20.0f, 20.0f};
    std::atomic<float> eqWidthOctaves[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    std::atomic<float> eqGainDb[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    std::atomic<bool> matrixOn {true};
    std::atomic<float> capOutGainDb[4][4] = {};
    std::atomic<float> outputGainDb[4] = {0.0f, 0.0f, 0.0f, 0.0f};

    // Every field, each read once. [audio thread]
    Settings snapshot() const;
};

// The selected set of a bank and a count of selections, in one atomic word: selecting is one
// compare-and-swap, and the audio thread sees every change of selection, also one that returns to
// the set it is running (a reselected set starts from reset, as a freshly selected one does).
class SetSelection {
public:
    // Makes set the selection when the bank holds it and it is not selected already; true when the
    // selection changed. [any thread]
    bool select(int set, const FilterBank& bank);
    int current() const { return static_cast<int>(word.load(std::memory_order_acquire) & kSetMask); }
    // The set to run in this call; changed is true when a selection happened since the last take.
    // [audio thread]
    int take(bool& changed);

private:
    static constexpr std::uint32_t kSetMask = 0xff;
    std::atomic<std::uint32_t> word {0};   // set in the low 8 bits, count of selections above
    std::uint32_t taken = 0;               // the word as the audio thread last took it
};

class Engine {
public:
    static constexpr int kChannels = 4;
    // Calls are processed in pieces of at most this many samples (fewer when the host announced
    // smaller blocks), so any call length works; the result equals that of shorter calls.
    static constexpr int kMaxPiece = 4096;

    // The LF and equaliser stages, the matrix, set 0 "None" of both banks, and the two
    // capsule-coincidence sets "1.47cm" (set 1) and "2.3cm" (set 2) of the post-matrix bank; every
    // filter at 48000 Hz. Allocates. [host thread]
    Engine();
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // The banks, for the calibration readers that append sets. [host thread, before prepare]
    FilterBank& postMatrixBank() { return postMatrix; }
    FilterBank& preMatrixBank() { return preMatrix; }
    const FilterBank& postMatrixBank() const { return postMatrix; }
    const FilterBank& preMatrixBank() const { return preMatrix; }

    // Readies everything for a rate: the capsule stages and every set of both banks are re-rated,
    // designed (the convolution filters' responses included) and reset; calls are then processed in
    // pieces of at most maxBlock samples (1 to kMaxPiece). A block in progress is let finish first
    // (at most one block); blocks that start meanwhile give silence. [host thread]
    void prepare(float sampleRateHz, int maxBlock);
    // The sets alone, the capsule stages keep their rate: a plug-in that is being built prepares
    // its sets for its default rate before its first selection, while its capsule filters stay at
    // 48000 Hz until the host gives a rate. [host thread, no block running]
    void prepareSets(float sampleRateHz);
    // The rate the sets were last prepared for, Hz. [any thread]
    float setRate() const { return setRateHz.load(std::memory_order_relaxed); }

    // The published settings. [any thread]
    Controls& controls() { return published; }
    const Controls& controls() const { return published; }

    // Selects a set of a bank; true when the selection changed. Sets are always prepared for the
    // current rate, so this is one atomic operation. [any thread]
    bool selectPostMatrixSet(int set) { return postSelection.select(set, postMatrix); }
    bool selectPreMatrixSet(int set) { return preSelection.select(set, preMatrix); }
    int postMatrixSet() const { return postSelection.current(); }
    int preMatrixSet() const { return preSelection.current(); }
    // Exchanges the four filters of post-matrix set `set` (1 to 7) with filters, which the caller
    // has prepared for setRate() (null ones leave the set empty): a set built on another thread
    // goes into the bank, and the filters it replaces come back to be freed there. No allocation,
    // no wait. A selection of the set restarts it from the new filters. [audio thread, between
    // process calls; no other thread may read the bank meanwhile]
    void swapPostMatrixSet(int set, std::unique_ptr<CFilter> (&filters)[kChannels]);
    // Coefficient arrays that post-matrix set is missing at the prepared rate (0: it has what it
    // needs); its filters pass their signal unchanged. [any thread]
    int missingResponses(int set) const;

    // Samples by which the outputs trail the inputs: the latency of the selected post-matrix set
    // (1024 for a convolution set, 0 otherwise). [any thread]
    int latencySamples() const;

    Meters& meters() { return levels; }

    // Processes frames samples: inputs[k] is capsule k + 1, outputs[k] receives W, X, Y, Z. Any
    // frames works, 0 and below do nothing; an output may be the same buffer as any input.
    // [audio thread]
    void process(const float* const inputs[kChannels], float* const outputs[kChannels], int frames);

private:
    // Taking the engine offline for a preparation, and the audio thread's side of it.
    class Handshake {
    public:
        bool enterBlock();   // [audio thread] false: offline, the block gives silence
        void leaveBlock();   // [audio thread]
        void takeOffline();  // [host thread] returns once no block runs
        void bringOnline();  // [host thread]

    private:
        std::atomic<bool> inBlock {false};   // the audio thread is inside process
        std::atomic<bool> offline {false};   // a preparation is under way
    };

    void prepareBank(FilterBank& bank, float rateHz, std::atomic<int>* missing);
    void copyInputs(const float* const inputs[kChannels], float* const outputs[kChannels], int offset, int frames);
    static void runSet(const FilterBank& bank, int set, float* const channels[kChannels], int frames);
    // A post-matrix set of four overlap-save filters in one pass, with the meters' sums; false
    // (nothing done) for any other set. [audio thread]
    bool runConvolutionSet(int set, float* const channels[kChannels], int frames, float sums[kChannels]);

    Controls published;                      // settings from the control side
    CapsuleStages capsules;                  // LF and per-capsule equaliser, four lanes; the first pass
    CABMatrix matrix;                        // A-to-B matrix and output gains
    FilterBank preMatrix;                    // set 0 "None" only
    FilterBank postMatrix;                   // W, X, Y, Z sets
    SetSelection preSelection;               // selected pre-matrix set
    SetSelection postSelection;              // selected post-matrix set
    std::atomic<int> postMissing[FilterBank::kSets] = {};   // per set: arrays missing at the prepared rate
    std::atomic<float> setRateHz {48000.0f}; // Hz, the sets' rate
    Meters levels;                           // output levels
    Handshake handshake;                     // preparation against processing
    int pieceLength = kMaxPiece;             // samples per piece, 1..kMaxPiece
    std::unique_ptr<float[]> inputCopy;      // kChannels x pieceLength: inputs that alias other outputs
};

} // namespace engine
