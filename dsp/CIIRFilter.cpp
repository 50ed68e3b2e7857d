#include "dsp/CIIRFilter.h"

#include "dsp/CFilterCoefficients.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::int32_t kIndexMask = CIIRFilter::kHistoryLength - 1;
static_assert((CIIRFilter::kHistoryLength & kIndexMask) == 0, "history length is a power of two");

// A count outside the histories could make the filter read past its arrays or histories.
std::int32_t clampCount(std::int32_t count)
{
    return std::clamp<std::int32_t>(count, 0, CIIRFilter::kHistoryLength);
}

} // namespace

CIIRFilter::CIIRFilter()
{
    std::memset(xHistory, 0, sizeof xHistory);
    std::memset(yHistory, 0, sizeof yHistory);
}

void CIIRFilter::init()
{
    reset();
    writeIndex = 0;
    // Detaching also drops the arrays fetched from the table: they belong to it, and the filter
    // must not read them once the table is gone.
    coefficients = nullptr;
    den = nullptr;
    num = nullptr;
    denCount = 0;
    numCount = 0;
    missingArrays = 0;
}

void CIIRFilter::setCoefficients(CFilterCoefficients* table)
{
    coefficients = table;
}

void CIIRFilter::setSampleRate(float rateHz)
{
    sampleRate = rateHz;
    missingArrays = 0;
    if (!coefficients)
        return;
    den = coefficients->denominator(rateHz);
    num = coefficients->numerator(rateHz);
    missingArrays = (den ? 0 : 1) + (num ? 0 : 1);
    // A missing array has no values to count, whatever the table says.
    denCount = den ? clampCount(coefficients->denominatorLength(rateHz)) : 0;
    numCount = num ? clampCount(coefficients->numeratorLength(rateHz)) : 0;
}

void CIIRFilter::process(float* buffer, std::int32_t count)
{
    // Clamped again here: den, num and the counts are public and may have been set directly.
    const std::int32_t nNum = clampCount(numCount);
    const std::int32_t nDen = clampCount(denCount);
    if (nNum == 0 || nDen == 0 || !num || !den || count <= 0)
        return;

    const float gain = inputGain;
    const float* const b = num;
    const float* const a = den;
    std::int32_t w = writeIndex & kIndexMask;

    for (std::int32_t i = 0; i < count; ++i) {
        const float x = gain * buffer[i];
        xHistory[w] = x;

        // Feed-forward, newest term first: num[k] * x[n-k] at slot w-k. The terms with w-k >= 0
        // come first; the rest wrap to the top of the history. Splitting the walk in two keeps the
        // order of the additions while avoiding a mask per term.
        float acc = 0.0f;
        const std::int32_t numHead = std::min(nNum, w + 1);
        for (std::int32_t k = 0; k < numHead; ++k)
            acc += b[k] * xHistory[w - k];
        for (std::int32_t k = numHead; k < nNum; ++k)
            acc += b[k] * xHistory[w - k + kHistoryLength];

        // Feedback, newest term first: den[k-1] * y[n-k], k = 1..nDen. With nDen = 1024 the last
        // term reads slot w itself, which still holds y[n-1024].
        float feedback = 0.0f;
        const std::int32_t denHead = std::min(nDen, w);
        for (std::int32_t k = 1; k <= denHead; ++k)
            feedback += a[k - 1] * yHistory[w - k];
        for (std::int32_t k = denHead + 1; k <= nDen; ++k)
            feedback += a[k - 1] * yHistory[w - k + kHistoryLength];

        acc = acc - feedback;
        buffer[i] = acc;
        yHistory[w] = acc;
        w = (w + 1) & kIndexMask;
    }
    writeIndex = static_cast<std::int16_t>(w);
}

void CIIRFilter::reset()
{
    std::memset(xHistory, 0, sizeof xHistory);
    std::memset(yHistory, 0, sizeof yHistory);
}
