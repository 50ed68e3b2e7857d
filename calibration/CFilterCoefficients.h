// Coefficient arrays of one filter design, kept per sample rate. The rate key is the rate in Hz
// as a float, matched exactly. For each rate the table holds a denominator (feedback, a1 first;
// the leading 1 is not stored) and a numerator (feed-forward b0 first, or an impulse response
// for a convolution filter) with their lengths.
//
// Lifecycle: filled on the host thread at plug-in construction (loadFile, setEntry); looked up
// only on the host thread when a filter's rate is set. A lookup of an absent rate adds an empty
// entry for it, as the filters expect.
#pragma once

#include <cstdint>
#include <map>
#include <string>
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

    // The entry for rateKey, added empty (no arrays, lengths 0) when absent.
    Entry& lookup(float rateKey) { return entries[rateKey]; }

    // The arrays for rateKey, or nullptr when the rate has no array. Adds an empty entry for an
    // absent rate.
    // An array that is present but empty is not null.
    const float* denominator(float rateKey)
    {
        Entry& e = lookup(rateKey);
        return e.hasDenominator ? arrayOf(e.denominator) : nullptr;
    }
    const float* numerator(float rateKey)
    {
        Entry& e = lookup(rateKey);
        return e.hasNumerator ? arrayOf(e.numerator) : nullptr;
    }
    std::int32_t denominatorLength(float rateKey)
    {
        return static_cast<std::int32_t>(lookup(rateKey).denominator.size());
    }
    std::int32_t numeratorLength(float rateKey)
    {
        return static_cast<std::int32_t>(lookup(rateKey).numerator.size());
    }

    // Stores both arrays for rateKey, replacing an entry already there.
    void setEntry(float rateKey, std::vector<float> den, std::vector<float> num)
    {
        Entry& e = lookup(rateKey);
        e.denominator = std::move(den);
        e.numerator = std::move(num);
        e.hasDenominator = true;
        e.hasNumerator = true;
    }

    bool contains(float rateKey) const { return entries.count(rateKey) != 0; }
    std::size_t size() const { return entries.size(); }

    // Reads one coefficient file into the entry for the rate its path names. Failures are shown
    // through the platform message function. Defined in calibration/CFilterCoefficients.cpp.
    void loadFile(const char* path);

    // The rate key that a path names ("W48", "VEL96", ... anywhere in the upper-cased path, a
    // later code of the list winning), or 0 when it names none.
    static float rateKeyFromPath(const std::string& path);

private:
    static const float* arrayOf(const std::vector<float>& values)
    {
        static const float kNoValues[1] = {0.0f};
        return values.empty() ? kNoValues : values.data();
    }

    std::map<float, Entry> entries;
};
