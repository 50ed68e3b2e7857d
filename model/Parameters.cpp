#include "model/Parameters.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace param {

namespace {

const char* const kFixedNames[14] = {
    "LF Enabled", "LF Cut Freq", "LF Boost Freq", "Locked", "Calibration",
    "PreMatrix Filter Number", "PostMatrix Filter Number", "EQs Enabled", "EQs Linked",
    "Gains Linked", "AB Matrix Enabled", "Current Capsule", "View Mode", "Display VU",
};

// 20 x base^v, evaluated in double as 20 x exp(v x ln 10 x log10(base)).
float exponentialHz(float v, double base)
{
    return static_cast<float>(20.0 * std::exp(static_cast<double>(v) * kLn10 * std::log10(base)));
}

// ln(hz / 20) x (1 / log10(base)) / ln 10: the inverse of exponentialHz.
float exponentialValue(double hz, double base)
{
    return static_cast<float>(std::log(hz / 20.0) * (1.0 / std::log10(base)) / kLn10);
}

// 1 + trunc(k v), computed as 1 - trunc(-k v); values far outside 0..1 are held to a range an
// int can hold instead of overflowing the conversion.
int onePlusTruncated(float k, float v)
{
    float product = -k * v;
    if (std::isnan(product))
        product = 0.0f;
    product = std::fmax(-1.0e6f, std::fmin(1.0e6f, product));
    return 1 - static_cast<int>(product);
}

} // namespace

bool switchOn(float v) { return v > 0.5f; }
float lfFrequencyHz(float v) { return exponentialHz(v, 12.5); }
float eqFrequencyHz(float v) { return exponentialHz(v, 1000.0); }
float eqWidthOctaves(float v) { return 5.0f * v; }
float eqGainDb(float v) { return 30.0f * v - 15.0f; }
float capOutGainDb(float v) { return 24.0f * v - 12.0f; }
float outputGainDb(float v) { return 30.0f * v - 15.0f; }

int setNumber(float v)
{
    const float product = 7.0f * v;
    // Truncation toward zero keeps 0..7 for products in (-1, 8); anything else names no set.
    if (!(product > -1.0f && product < 8.0f))
        return -1;
    return static_cast<int>(product);
}

int currentCapsule(float v) { return onePlusTruncated(3.0f, v); }
int viewMode(float v) { return onePlusTruncated(2.0f, v); }

float lfFrequencyValue(double hz) { return exponentialValue(hz, 12.5); }
float eqFrequencyValue(double hz) { return exponentialValue(hz, 1000.0); }

float eqCentreHzOfStoredValue(float v)
{
    return static_cast<float>(20.0 * std::exp(static_cast<double>(v) * kLn10 / (1.0 / std::log10(1000.0))));
}

float filterSetValue(int set)
{
    if (set < 0 || set >= kFilterSets)
        return 0.0f;
    return static_cast<float>(set) / 7.0f;
}

void name(int parameter, char* text, std::size_t size)
{
    if (!isValid(parameter) || size == 0)
        return;
    if (parameter < kFirstCapsule) {
        std::snprintf(text, size, "%s", kFixedNames[parameter]);
        return;
    }
    if (parameter >= kFirstOutputGain) {
        std::snprintf(text, size, "Output %d Gain", parameter - kFirstOutputGain + 1);
        return;
    }
    const int capsule = (parameter - kFirstCapsule) / kCapsuleStride;
    const int setting = (parameter - kFirstCapsule) % kCapsuleStride;
    switch (setting) {
    case kEqFreq:
        std::snprintf(text, size, "Cap %d EQ Freq", capsule + 1);
        break;
    case kEqWidth:
        std::snprintf(text, size, "Cap %d EQ Width", capsule + 1);
        break;
    case kEqGain:
        std::snprintf(text, size, "Cap %d EQ Gain", capsule + 1);
        break;
    default:
        std::snprintf(text, size, "Cap %d Out %d Gain", capsule + 1, setting - kOut1Gain + 1);
        break;
    }
}

const char* label(int parameter)
{
    if (parameter == kLfCutFreq || parameter == kLfBoostFreq)
        return "Hz";
    if (parameter >= kFirstOutputGain && parameter < kCount)
        return "dB";
    if (isCapsuleParameter(parameter)) {
        switch ((parameter - kFirstCapsule) % kCapsuleStride) {
        case kEqFreq:
            return "Hz";
        case kEqWidth:
            return "Octaves";
        default:
            return "dB";
        }
    }
    return "";
}

void copyText(char* buffer, std::size_t size, const char* text)
{
    if (size == 0)
        return;
    std::size_t length = std::strlen(text);
    if (length > size - 1)
        length = size - 1;
    std::memcpy(buffer, text, length);
    buffer[length] = '\0';
}

void formatFixed(char* text, std::size_t size, double value, int width, int precision)
{
    if (size == 0)
        return;
    char digits[64];
    const auto result = std::to_chars(digits, digits + sizeof digits - 1, value, std::chars_format::fixed, precision);
    std::size_t length = result.ec == std::errc() ? static_cast<std::size_t>(result.ptr - digits) : 0;
    digits[length] = '\0';
    const std::size_t pad = width > 0 && static_cast<std::size_t>(width) > length ? width - length : 0;
    std::snprintf(text, size, "%*s%s", static_cast<int>(pad), "", digits);
}

} // namespace param
