// Fast convolution of one channel by overlap-save: a 2048-point real FFT, blocks of 1024 new
// samples, a fixed latency of 1024 samples (not reported to the host).
//
// The frequency response H is a spectrum in the packed layout of FFTReal, produced by the
// virtual design(rate). This class's own design reads an impulse response for the rate from a
// coefficient table; the B-spline filters replace it with a response drawn from a curve.
//
// Lifecycle and threads:
// - Construction (host thread) allocates the transform object. Nothing else allocates: a
//   redesign reuses the transform object, whose tables never change for 2048 points.
// - setSampleRate only records the requested rate; prepare (host thread) designs for it and
//   resets. process never designs: it runs with the response of the last design (none before
//   the first: silence).
// - No locking: the owner makes sure that no host-thread call overlaps a process call.
#pragma once

#include "dsp/CFilter.h"
#include "dsp/FFTReal.h"

#include <cstdint>
#include <memory>

class CFFTFilter : public CFilter {
public:
    static constexpr std::int32_t kFftLength = 2048;             // transform length, points
    static constexpr std::int32_t kBlockLength = kFftLength / 2; // new samples per block = latency
    static constexpr std::uint32_t kMaxResponseLength = 1024;    // longer responses would alias

    CFFTFilter();                                                 // [host thread]
    ~CFFTFilter() override;

    // reset(), then position 0, and a redesign at the next process. The transform object is
    // kept so that the redesign allocates nothing.
    void init() override;                                         // [host thread]
    // Attaches a table (not owned) of impulse responses per sample rate, or none.
    void setCoefficients(CFilterCoefficients* table) override;    // [host thread]
    // Records the rate to design for at the next prepare.
    void setSampleRate(float rateHz) override;                    // [host thread]
    // Filters count samples in place, 1024 samples late, with the response of the last design.
    // [audio thread]
    void process(float* buffer, std::int32_t count) override;
    // Clears the signal history: zero input, zero output, steady state (position 1024). H, the
    // transform object and both rates stay. Allocates nothing; the engine resets a set on the
    // audio thread when the set is selected. [host thread] or [audio thread]
    void reset() override;

    // setSampleRate, then the design for that rate when the filter has none for it yet (a NaN
    // rate included), then reset. [host thread]
    void prepare(float rateHz) override;
    int latencySamples() const override { return kBlockLength; }
    int missingResponses() const override { return missingResponse ? 1 : 0; }
    CFFTFilter* asFFTFilter() override { return this; }
    // The four filters of a set in step, in place on four channels, and the channels' sums of
    // squares after filtering (each from 0, in sample order, in single precision: the meters'
    // sums) in the same pass: the samples process gives one filter at a time. False, and nothing
    // done, when their positions differ or one has no transform. [audio thread]
    static bool processFour(CFFTFilter* const filters[4], float* const channels[4], std::int32_t count,
                            float sums[4]);
    // H, the frequency response of the last design (FFTReal's packed layout, 2048 doubles).
    const double* frequencyResponse() const { return spectrum; }

    // Sets the designed rate (sampleRate) and computes H for it. This version takes the table's
    // impulse response for the exact rate, at most 1024 samples, scaled so that its largest
    // sample is 1.0 (used unscaled when no sample is positive). No response for the rate: an
    // empty response (silence), and missingResponses says so. [host thread]
    virtual void design(float rateHz);

protected:
    // Creates the transform object when there is none (first design after an allocation
    // failure). Allocation failure leaves fft null and process passes its input unchanged.
    void ensureTransform();

    // Zeroes every sample of A, B and the output block.
    void clearHistory();

    // One overlap-save step over a full work block: A -> spectrum -> times H -> back to A, and
    // the alias-free half to the output block, on transform (this filter's or another 2048-point
    // one on the same thread).
    void processBlock(FFTReal& transform);

    CFilterCoefficients* coefficients = nullptr;  // impulse responses per rate; not owned
    std::uint32_t responseLength = 0;             // impulse-response samples in use, <= 1024
    float requestedRate = 48000.0f;               // Hz, from setSampleRate; designed at next process
    bool designPending = true;                    // no H yet (construction, init): design at next prepare
    bool missingResponse = false;                 // the table had no response for the designed rate
    std::unique_ptr<FFTReal> fft;                 // 2048-point transform; null only after allocation failure
    std::int32_t position = 0;                    // next sample's index in A, B and the output block
    // The arrays the transform and the block loops read start on cache lines: a vector that
    // straddles two lines costs about twice as much to load or store.
    // A: previous 1024 inputs, then current 1024; then the block result (unscaled).
    alignas(64) double workBlock[kFftLength];
    // B: [1024, 2048) hold the current inputs, untouched by transforms.
    alignas(64) double inputCopy[kFftLength];
    // [1024, 2048) hold the finished output of the last block.
    alignas(64) double outputBlock[kFftLength];
    // H, the frequency response, FFTReal layout.
    alignas(64) double spectrum[kFftLength];
    double response[kFftLength];                  // impulse response being designed; B-spline design scratch
};
