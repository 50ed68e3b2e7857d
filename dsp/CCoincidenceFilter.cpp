#include "dsp/CCoincidenceFilter.h"

#include <cmath>

namespace {

struct TablePoint {
    float frequencyHz;
    float levelW;     // W correction, 2 x level dB
    float levelXYZ;   // X/Y/Z correction, 2 x level dB
};

// Correction curves for a capsule spacing of 1.47 cm, 200 Hz to 24 kHz.
constexpr TablePoint kCurve[] = {
    {200.0f, -6.013627f, -1.267985f},   {300.0f, -6.004912f, -1.293889f},
    {400.0f, -5.992711f, -1.329807f},   {500.0f, -5.977026f, -1.375406f},
    {600.0f, -5.957858f, -1.43027f},    {700.0f, -5.935208f, -1.493913f},
    {800.0f, -5.909078f, -1.565791f},   {900.0f, -5.879472f, -1.645316f},
    {1000.0f, -5.846392f, -1.731863f},  {2000.0f, -5.32583f, -2.842836f},
    {3000.0f, -4.471105f, -4.037711f},  {4000.0f, -3.327579f, -5.027758f},
    {5000.0f, -2.027123f, -5.728697f},  {6000.0f, -0.862185f, -6.144364f},
    {7000.0f, -0.235252f, -6.313859f},  {8000.0f, -0.30373f, -6.295813f},
    {9000.0f, -0.783423f, -6.164362f},  {10000.0f, -1.292389f, -6.00256f},
    {11000.0f, -1.615801f, -5.88537f},  {12000.0f, -1.693016f, -5.855644f},
    {13000.0f, -1.5545f, -5.910225f},   {14000.0f, -1.289708f, -6.010024f},
    {15000.0f, -1.025927f, -6.106038f}, {16000.0f, -0.885676f, -6.162122f},
    {17000.0f, -0.923295f, -6.165076f}, {18000.0f, -1.095872f, -6.123814f},
    {19000.0f, -1.304122f, -6.061741f}, {20000.0f, -1.45674f, -6.005287f},
    {21000.0f, -1.505948f, -5.972142f}, {22000.0f, -1.452764f, -5.964383f},
    {23000.0f, -1.338091f, -5.970178f}, {24000.0f, -1.224902f, -5.972568f},
};

} // namespace

CCoincidenceFilter::CCoincidenceFilter(int variant, float spacingCm, float scale)
{
    if (variant == kVariantW || variant == kVariantXYZ) {
        for (const TablePoint& point : kCurve)
            addPoint(point.frequencyHz, variant == kVariantW ? point.levelW : point.levelXYZ);
    }

    // Move the curve (placeholder point 0 included) by the factor 1.47 / spacing in frequency.
    const double shift = std::log(1.47 / static_cast<double>(spacingCm));
    for (std::int32_t i = 0; i < count; ++i) {
        x[i] = x[i] + shift;
        y[i] = y[i] * static_cast<double>(scale);
    }
    minimumPhase = true;
}
