// The interface of every filter in the signal path. On its own a CFilter passes its signal
// unchanged: it is the filter of the "None" sets.
//
// Lifecycle: construction and setSampleRate/init/reset run on the host thread (construction may
// allocate; setSampleRate of a table-driven filter may show a message). process runs on the
// audio thread and never allocates, locks or does I/O.
#pragma once

#include <cstdint>

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
    virtual void reset() {}                                     // [host thread]

    // Copies text into name, cut to fit, always terminated.
    void setName(const char* text);

    float sampleRate = 48000.0f;   // Hz; every filter starts at 48000 until re-rated
    char name[kNameSize];          // the set's name when this is the first filter of a set
};
