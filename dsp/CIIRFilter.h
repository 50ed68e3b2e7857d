// A direct-form-I IIR filter whose coefficients come, per sample rate, from a coefficient table
// (CFilterCoefficients). The text calibrations build their post-matrix sets from it, and the
// closed-form filters (CHPFilter2, CLowShelfFilter, CLFFilter, CMitRegFilter) derive from it.
//
// Transfer function: H(z) = (num[0] + num[1] z^-1 + ... ) / (1 + den[0] z^-1 + den[1] z^-2 + ...),
// with inputGain applied to every input sample first.
//
// Lifecycle: construction, init, setCoefficients, setSampleRate and reset run on the host thread;
// process runs on the audio thread and never allocates, locks or does I/O. The table attached with
// setCoefficients is not owned and must outlive the filter.
#pragma once

#include "dsp/CFilter.h"

#include <cstdint>

class CIIRFilter : public CFilter {
public:
    // Length of both circular histories, and so the largest usable count of coefficients.
    static constexpr std::int32_t kHistoryLength = 1024;

    CIIRFilter();

    // Clears the histories, restarts at slot 0 and detaches the table together with the arrays
    // fetched from it (the filter then passes its signal unchanged). [host thread]
    void init() override;
    // Attaches a table (not owned); its coefficients are fetched at the next setSampleRate.
    // [host thread]
    void setCoefficients(CFilterCoefficients* table) override;
    // Stores the rate and fetches den, num and their counts for it from the attached table;
    // missingResponses then counts the arrays the table has no entry for at this rate (the owner
    // shows "No filter found for sampling rate %6.0f" once for each). Counts are clamped to
    // 0..kHistoryLength. The histories are left as they are. [host thread]
    void setSampleRate(float rateHz) override;
    int missingResponses() const override { return missingArrays; }
    // Direct form I in single precision, in place. Passes the buffer unchanged while either count
    // is 0. Any count works: the sample loop counts in 32 bits, so blocks of 32768 samples and
    // more are filtered like several shorter calls. [audio thread]
    void process(float* buffer, std::int32_t count) override;
    // Zeroes both histories. [host thread]
    void reset() override;

    std::int32_t form = 1;                        // filter structure: 1 = direct form I, the only one
    CFilterCoefficients* coefficients = nullptr;  // attached table (not owned), or null
    std::int32_t denCount = 0;                    // feedback coefficients in use, 0..1024
    std::int32_t numCount = 0;                    // feed-forward coefficients in use, 0..1024
    float xHistory[kHistoryLength];               // past inputs x gain, circular, at writeIndex
    float yHistory[kHistoryLength];               // past outputs, circular, at writeIndex
    std::int16_t writeIndex = 0;                  // current sample's slot in both, 0..1023
    const float* den = nullptr;                   // feedback, a1 first (leading 1 not stored)
    const float* num = nullptr;                   // feed-forward array, b0 first
    float inputGain = 1.0f;                       // linear factor on every input sample
    int missingArrays = 0;                        // arrays the table lacked at the last setSampleRate, 0..2
};
