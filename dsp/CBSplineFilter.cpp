#include "dsp/CBSplineFilter.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

constexpr double kStepIncrement = 0.00048828125;   // 1 / 2048: one parameter step
constexpr double kFirstParameter = 0.00001;        // parameter of step 0, just above the first knots

// The spectrum bin of a curve frequency: trunc(f / (rate / 2) * 1024), i.e. quotient q. Only a
// sample rate that is not a positive number makes q negative or NaN; those map to bin 0, and
// absurdly high frequencies are held far above the spectrum, so no bin can index outside H.
std::int32_t binOf(double q)
{
    if (!(q >= 0.0))
        return 0;
    if (q >= 1.0e9)
        return 1000000000;
    return static_cast<std::int32_t>(q);
}

// The cubic B-spline basis at parameter u. span carries the knot span between steps: it is the
// first index at or above its previous value with knots[span] > u, searched no further than
// spanLimit (parameters stay below knots[n + 2]). Returns i = span - 1; basis[r - (i - 3)] holds
// the value of basis function r for r = i-3 .. i (basis[4], function i+1, ends as 0).
// The recursion runs in ascending r so that basis function r+1 still holds the previous
// order's value when r is updated.
std::int32_t cubicBasis(const double* t, std::int32_t spanLimit, double u, std::int32_t& span,
                        double basis[5])
{
    while (span < spanLimit && !(t[span] > u))
        ++span;
    const std::int32_t i = span - 1;
    const std::int32_t base = i - 3;
    basis[0] = basis[1] = basis[2] = basis[4] = 0.0;
    basis[3] = 1.0;
    for (std::int32_t p = 2; p <= 4; ++p) {
        for (std::int32_t r = std::max(i - p + 1, 0); r <= i; ++r) {
            double* b = basis + (r - base);
            b[0] = (u - t[r]) / (t[r + p - 1] - t[r]) * b[0]
                 + (t[r + p] - u) / (t[r + p] - t[r + 1]) * b[1];
        }
    }
    return i;
}

} // namespace

CBSplineFilter::CBSplineFilter()
{
    std::fill(std::begin(y), std::end(y), 0.0);
    std::fill(std::begin(x), std::end(x), 0.0);
    std::fill(std::begin(knots), std::end(knots), 0.0);
    x[0] = 0.0;
    y[0] = 0.0;
    count = 1;
    minimumPhase = false;
}

void CBSplineFilter::addPoint(float frequencyHz, float level)
{
    if (count >= kMaxPoints)
        return;
    y[count] = level;
    x[count] = static_cast<float>(std::log(static_cast<double>(frequencyHz)));
    ++count;
}

float CBSplineFilter::levelGain(double level)
{
    const double db = static_cast<float>(2.0 * level);
    return static_cast<float>(std::exp(db / 20.0 * 2.302585092994));
}

void CBSplineFilter::design(float rateHz)
{
    designGains(rateHz);
    if (minimumPhase && fft)
        convertToMinimumPhase();
}

CBSplineFilter::CurveWalk CBSplineFilter::designGains(float rateHz)
{
    sampleRate = rateHz;
    ensureTransform();
    responseLength = kMaxResponseLength;
    completePolygon(rateHz);
    const CurveWalk walk = walkCurve(rateHz);
    std::fill(spectrum + kBlockLength, spectrum + kFftLength, 0.0);
    return walk;
}

void CBSplineFilter::completePolygon(float rateHz)
{
    const std::int32_t n = count;
    y[0] = y[1];
    y[n] = y[n - 1];
    x[n] = std::log(static_cast<double>(rateHz) * 0.5);
}

void CBSplineFilter::buildKnots()
{
    const std::int32_t n = count;
    double* const t = knots;
    // Open-ended knot vector: four distinct knots a millionth apart at each end (no zero
    // denominator in the recursion), uniform in between.
    t[0] = 0.000001;
    t[1] = 0.000002;
    t[2] = 0.000003;
    t[3] = 0.000004;
    for (std::int32_t i = 1; i <= n - 2; ++i)
        t[3 + i] = static_cast<double>(i) / static_cast<double>(n - 1);
    t[n + 2] = 0.999997;
    t[n + 3] = 0.999998;
    t[n + 4] = 0.999999;
    t[n + 5] = 1.0;
}

CBSplineFilter::CurvePoint CBSplineFilter::curvePoint(double u, std::int32_t& span) const
{
    const std::int32_t n = count;
    double basis[5];
    const std::int32_t i = cubicBasis(knots, n + 2, u, span, basis);
    // Only functions i-3 .. i are non-zero; summing them in ascending order gives the same
    // double as the sum over every control point (the other terms are +-0.0).
    CurvePoint point{0.0, 0.0};
    for (std::int32_t j = std::max(i - 3, 0); j <= std::min(i, n); ++j) {
        const double b = basis[j - (i - 3)];
        point.level += y[j] * b;
        point.logFrequency += x[j] * b;
    }
    return point;
}

CBSplineFilter::CurveWalk CBSplineFilter::walkCurve(float rateHz)
{
    buildKnots();
    const std::int32_t n = count;
    const std::int32_t lastStep = static_cast<std::int32_t>((knots[n + 1] - knots[0]) * 2048.0);
    const double halfRate = static_cast<double>(rateHz) * 0.5;
    double* const h = spectrum;
    constexpr std::int32_t topBin = kBlockLength - 1;

    std::int32_t span = 0;
    double u = kFirstParameter + kStepIncrement;   // step 0 contributes nothing

    // Step 1 sets the initial level.
    double level = curvePoint(u, span).level;
    u += kStepIncrement;

    CurveWalk walk{0, 0, lastStep};
    std::int32_t prev = 0;
    for (std::int32_t s = 2; s <= lastStep; ++s) {
        const CurvePoint point = curvePoint(u, span);
        level = point.level;
        const std::int32_t bin = binOf(std::exp(point.logFrequency) / halfRate * 1024.0);
        walk.highestBin = std::max(walk.highestBin, bin);
        // The curve may reach above half the rate; H holds bins 0 .. 1023 only.
        if (bin >= prev) {
            const double gain = levelGain(level);
            for (std::int32_t k = prev; k <= std::min(bin, topBin); ++k)
                h[k] = gain;
        }
        prev = bin;
        u += kStepIncrement;
    }

    // Bins from the last one reached up to 1023 take the level of the last step (of step 1 when
    // the walk had no steps).
    if (prev < topBin) {
        const double gain = levelGain(level);
        for (std::int32_t k = prev; k <= topBin; ++k)
            h[k] = gain;
    }
    walk.lastBin = prev;
    return walk;
}

void CBSplineFilter::convertToMinimumPhase()
{
    constexpr std::int32_t half = kBlockLength;
    double* const h = spectrum;
    // The response buffer is free here (this class designs no impulse response); the input
    // history in A, B and the output block is left untouched.
    double* const v = response;

    for (std::int32_t k = 0; k < half; ++k) {
        h[k] = std::sqrt(h[k] * h[k] + h[half + k] * h[half + k]);
        h[half + k] = 0.0;
    }

    // Real cepstrum of the gain curve (the curve is used as the log-magnitude).
    fft->inverse_transform(h, v);
    const double scale = 1.0 / fft->length;
    for (std::int32_t k = 0; k < kFftLength; ++k)
        v[k] = v[k] * scale;

    // Fold the anti-causal half onto the causal one.
    for (std::int32_t k = 1; k < half; ++k)
        v[k] = 2.0 * v[k];
    for (std::int32_t k = half + 1; k < kFftLength; ++k)
        v[k] = 0.0;

    fft->forward_transform(h, v);

    // exp of the complex log-spectrum. Pair 0 is (DC, Nyquist): its phase is the Nyquist slot.
    const double g = std::sqrt(2.0) * 2.0;
    for (std::int32_t k = 0; k < half; ++k) {
        const double m = std::exp(h[k]) / g;
        const double phi = h[half + k];
        h[k] = m * std::cos(phi);
        h[half + k] = m * std::sin(phi);
    }
}
