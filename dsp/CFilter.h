// The interface of every filter in the signal path. On its own a CFilter passes its signal
// unchanged: it is the filter of the "None" sets.
//
// Lifecycle: construction, init, setCoefficients, setSampleRate and prepare run on the host thread
// (construction and prepare may allocate and design); process and reset may run on the audio
// thread (the engine resets a set when it is selected) and never allocate, lock, design or do I/O. Filters show no messages: one that has no response
// for a rate says so through missingResponses, and its owner decides what the user sees.
#pragma once

#include <cstdint>

class CFFTFilter;
class CFilterCoefficients;

class CFilter {
public:
    static constexpr int kNameSize = 84;

    CFilter();
    virtual ~CFilter() = default;

    CFilter(const CFilter&) = delete;
    CFilter& operator=(const CFilter&) = delete;

    virtual void init() {}                                      // [host thread]
    virtual void setCoefficients(CFilterCoefficients* /*table*/) {} // [host thread]
    virtual void setSampleRate(float rateHz) { sampleRate = rateHz; } // [host thread]
    // Filters count samples of buffer in place. [audio thread]
    virtual void process(float* /*buffer*/, std::int32_t /*count*/) {}
    virtual void reset() {}                                     // [host or audio thread]

    // Readies the filter for rateHz, everything it needs before its next process: setSampleRate,
    // any design that rate calls for, then reset. [host thread]
    virtual void prepare(float rateHz)
    {
        setSampleRate(rateHz);
        reset();
    }
    // Samples by which the output trails the input. [any thread]
    virtual int latencySamples() const { return 0; }
    // How many of its coefficient arrays the last setSampleRate found missing for that rate (0
    // when it has what it needs); such a filter passes its signal unchanged. [host thread]
    virtual int missingResponses() const { return 0; }

    // This filter as an overlap-save convolution, or null: the engine runs the four filters of
    // such a set in one pass (CFFTFilter::processFour). [any thread]
    virtual CFFTFilter* asFFTFilter() { return nullptr; }

    // Copies text into name, cut to fit, always terminated.
    void setName(const char* text);

    float sampleRate = 48000.0f;   // Hz; every filter starts at 48000 until re-rated
    char name[kNameSize];          // the set's name when this is the first filter of a set
};
