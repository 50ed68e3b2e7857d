#include "dsp/CFFTFilter.h"

#include "dsp/CFilterCoefficients.h"
#include "dsp/Lanes.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <new>

CFFTFilter::CFFTFilter()
{
    std::fill(std::begin(spectrum), std::end(spectrum), 0.0);
    std::fill(std::begin(response), std::end(response), 0.0);
    clearHistory();
    position = 0;   // the first block collects 2048 samples before its first step
    ensureTransform();
}

CFFTFilter::~CFFTFilter() = default;

void CFFTFilter::init()
{
    clearHistory();
    position = 0;
    designPending = true;
}

void CFFTFilter::setCoefficients(CFilterCoefficients* table)
{
    coefficients = table;
}

void CFFTFilter::setSampleRate(float rateHz)
{
    requestedRate = rateHz;
}

void CFFTFilter::clearHistory()
{
    std::fill(std::begin(workBlock), std::end(workBlock), 0.0);
    std::fill(std::begin(inputCopy), std::end(inputCopy), 0.0);
    std::fill(std::begin(outputBlock), std::end(outputBlock), 0.0);
}

void CFFTFilter::reset()
{
    // From position 1024 on, the next block reads only the older half of A (the inputs before
    // the reset: zero) and the newer half of the output block (the output due: zero); everything
    // else is written before it is read. Clearing just those keeps a set switch on the audio
    // thread short.
    std::fill(workBlock, workBlock + kBlockLength, 0.0);
    std::fill(outputBlock + kBlockLength, outputBlock + kFftLength, 0.0);
    position = kBlockLength;
}

void CFFTFilter::ensureTransform()
{
    if (fft)
        return;
    // No exception leaves the filter: an allocation failure shows up as no transform object,
    // and process then passes its input unchanged and tries again at its next call.
    try {
        fft = std::make_unique<FFTReal>(kFftLength);
    } catch (const std::bad_alloc&) {
        fft.reset();
    }
}

void CFFTFilter::design(float rateHz)
{
    sampleRate = rateHz;

    // A NaN key has no place in the table's ordering: such a rate has no response.
    const float* impulse = nullptr;
    std::int32_t impulseLength = 0;
    if (coefficients && !std::isnan(rateHz)) {
        impulse = coefficients->numerator(rateHz);
        impulseLength = impulse ? coefficients->numeratorLength(rateHz) : 0;
    }
    missingResponse = coefficients && !impulse;

    ensureTransform();

    responseLength = static_cast<std::uint32_t>(std::max<std::int32_t>(impulseLength, 0));
    responseLength = std::min(responseLength, kMaxResponseLength);

    // Normalise to the largest sample (signed: the most positive one), so that it becomes 1.0.
    double largest = 0.0;
    for (std::uint32_t i = 0; i < responseLength; ++i) {
        const double value = impulse[i];
        response[i] = value;
        if (value > largest)
            largest = value;
    }
    // With no positive sample there is nothing to normalise to: the response is used as it is.
    if (largest > 0.0) {
        for (std::uint32_t i = 0; i < responseLength; ++i)
            response[i] = response[i] / largest;
    }
    std::fill(response + responseLength, response + kFftLength, 0.0);

    if (fft)
        fft->forward_transform(spectrum, response);
}

void CFFTFilter::prepare(float rateHz)
{
    setSampleRate(rateHz);
    // Any inequality redesigns, also an unordered one (NaN).
    if (designPending || !(sampleRate == requestedRate) || !fft) {
        design(requestedRate);
        designPending = false;
    }
    reset();
}

void CFFTFilter::process(float* buffer, std::int32_t count)
{
    if (!fft || count < 1)
        return;

    std::int32_t pos = position;
    double* const a = workBlock;
    double* const b = inputCopy;
    const double* const out = outputBlock;
    std::int32_t done = 0;
    while (done < count) {
        // Up to the end of the current block: copy in, read the previous block's output out.
        const std::int32_t run = std::min(count - done, kFftLength - pos);
        float* samples = buffer + done;
        for (std::int32_t i = 0; i < run; ++i) {
            const double in = samples[i];
            a[pos + i] = in;
            b[pos + i] = in;
            samples[i] = static_cast<float>(out[pos + i]);
        }
        pos += run;
        done += run;
        if (pos == kFftLength) {
            processBlock(*fft);
            pos = kBlockLength;
        }
    }
    position = pos;
}

bool CFFTFilter::processFour(CFFTFilter* const f[4], float* const channels[4], std::int32_t count, float sums[4])
{
    for (int k = 0; k < 4; ++k)
        if (!f[k]->fft || f[k]->position != f[0]->position)
            return false;
    lanes::F32x4 sum;
    std::int32_t pos = f[0]->position;
    std::int32_t done = 0;
    while (done < count) {
        const std::int32_t run = std::min(count - done, kFftLength - pos);
        // Sample by sample as process does it, each channel's four samples in turn; the
        // outputs, four samples of four channels, are then turned into time steps for the sums.
        std::int32_t i = 0;
        for (; i + 4 <= run; i += 4) {
            lanes::Steps4 rows;
            for (int k = 0; k < 4; ++k) {
                float* samples = channels[k] + done + i;
                const lanes::F64x4 in = lanes::widen(lanes::F32x4::load(samples));
                in.storeTo(f[k]->workBlock + pos + i);
                in.storeTo(f[k]->inputCopy + pos + i);
                rows.s[k] = lanes::narrow(lanes::F64x4::load(f[k]->outputBlock + pos + i));
                rows.s[k].storeTo(samples);
            }
            lanes::transposeInPlace(rows);
            for (const lanes::F32x4& x : rows.s)
                sum = sum + x * x;
        }
        for (; i < run; ++i) {
            float y[4];
            for (int k = 0; k < 4; ++k) {
                float& sample = channels[k][done + i];
                const double in = sample;
                f[k]->workBlock[pos + i] = in;
                f[k]->inputCopy[pos + i] = in;
                sample = y[k] = static_cast<float>(f[k]->outputBlock[pos + i]);
            }
            const lanes::F32x4 x = lanes::F32x4::of(y[0], y[1], y[2], y[3]);
            sum = sum + x * x;
        }
        pos += run;
        done += run;
        if (pos == kFftLength) {
            // One transform object for the four: every 2048-point one computes the same
            // doubles, and the four filters' scratch and tables would crowd the cache.
            for (int k = 0; k < 4; ++k)
                f[k]->processBlock(*f[0]->fft);
            pos = kBlockLength;
        }
    }
    for (int k = 0; k < 4; ++k)
        f[k]->position = pos;
    sum.storeTo(sums);
    return true;
}

void CFFTFilter::processBlock(FFTReal& transform)
{
    // Forward transform, 1024 complex products with H (pair 0 is (DC, Nyquist) and is
    // multiplied like the others) and inverse transform, in one pass over the spectrum.
    transform.convolve(workBlock, spectrum);

    // Only the second half of the circular convolution is free of wrap-around; scaled, it
    // becomes the output of the next 1024 samples. The first half of A is replaced by the inputs
    // just consumed (the older half of the next block); its second half is written by the next
    // 1024 inputs before anything reads it.
    constexpr std::int32_t half = kFftLength / 2;
    const double scale = 1.0 / transform.length;
    double* const a = workBlock;
    const double* const b = inputCopy;
    double* const out = outputBlock;
    for (std::int32_t k = 0; k < half; ++k) {
        out[half + k] = a[half + k] * scale;
        a[k] = b[half + k];
    }
}
