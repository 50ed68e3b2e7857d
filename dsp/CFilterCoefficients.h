// Coefficient arrays of one filter design, kept per sample rate. The rate key is the rate in Hz
// as a float, matched exactly. For each rate the table holds a denominator (feedback, a1 first;
// the leading 1 is not stored) and a numerator (feed-forward b0 first, or an impulse response
// for a convolution filter) with their lengths. Files fill it through calibration/CoefficientFile.h.
//
// Lifecycle: filled on the host thread while the calibration folder is read (setEntry); read
// afterwards, on the host thread, when a filter is prepared for a rate. Lookups never add an
// entry: a rate the table does not hold has no arrays and lengths of 0.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

class CFilterCoefficients {
public:
    // The largest length a coefficient file may announce; the direct-form history holds 1024.
    static constexpr int kMaxLength = 1024;

    struct Entry {
        std::vector<float> denominator;  // a1..aN
        std::vector<float> numerator;    // b0..bM-1, or an impulse response
        bool hasDenominator = false;     // false: "no array" for this rate
        bool hasNumerator = false;
    };

    CFilterCoefficients() = default;
    virtual ~CFilterCoefficients() = default;

    // The entry for rateKey, or null when the table holds none (a NaN key matches none).
    const Entry* find(float rateKey) const
    {
        const auto found = entries.find(rateKey);
        return found == entries.end() ? nullptr : &found->second;
    }

    // The arrays for rateKey, or nullptr when the rate has no array. An array that is present
    // but empty is not null.
    const float* denominator(float rateKey) const
    {
        const Entry* e = find(rateKey);
        return e && e->hasDenominator ? arrayOf(e->denominator) : nullptr;
    }
    const float* numerator(float rateKey) const
    {
        const Entry* e = find(rateKey);
        return e && e->hasNumerator ? arrayOf(e->numerator) : nullptr;
    }
    std::int32_t denominatorLength(float rateKey) const
    {
        const Entry* e = find(rateKey);
        return e ? static_cast<std::int32_t>(e->denominator.size()) : 0;
    }
    std::int32_t numeratorLength(float rateKey) const
    {
        const Entry* e = find(rateKey);
        return e ? static_cast<std::int32_t>(e->numerator.size()) : 0;
    }

    // Stores both arrays for rateKey, replacing an entry already there. [host thread]
    void setEntry(float rateKey, std::vector<float> den, std::vector<float> num)
    {
        Entry& e = entries[rateKey];
        e.denominator = std::move(den);
        e.numerator = std::move(num);
        e.hasDenominator = true;
        e.hasNumerator = true;
    }

    bool contains(float rateKey) const { return find(rateKey) != nullptr; }
    std::size_t size() const { return entries.size(); }

private:
    static const float* arrayOf(const std::vector<float>& values)
    {
        static const float kNoValues[1] = {0.0f};
        return values.empty() ? kNoValues : values.data();
    }

    std::map<float, Entry> entries;
};
