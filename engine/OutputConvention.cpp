#include "engine/OutputConvention.h"

namespace engine {

Matrix3 mountingMatrix(Orientation orientation)
{
    switch (orientation) {
    case Orientation::kInverted:
        // Microphone X, Y, Z point to room front, right, down.
        return {{{1, 0, 0}, {0, -1, 0}, {0, 0, -1}}};
    case Orientation::kEndfire:
        // Microphone X, Y, Z point to room down, left, front.
        return {{{0, 0, 1}, {0, 1, 0}, {-1, 0, 0}}};
    default:
        return {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    }
}

void correctOrientation(Orientation orientation, float* x, float* y, float* z, std::size_t frames)
{
    if (orientation == Orientation::kUpright)
        return;
    // The mountings are signed permutations: every product is exact in single precision.
    const Matrix3 m = mountingMatrix(orientation);
    float g[3][3];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            g[r][c] = static_cast<float>(m[r][c]);
    for (std::size_t n = 0; n < frames; ++n) {
        const float mx = x[n], my = y[n], mz = z[n];
        x[n] = g[0][0] * mx + g[0][1] * my + g[0][2] * mz;
        y[n] = g[1][0] * mx + g[1][1] * my + g[1][2] * mz;
        z[n] = g[2][0] * mx + g[2][1] * my + g[2][2] * mz;
    }
}

void convertOutputs(OutputFormat format, Orientation orientation, float* const channels[4], std::size_t frames)
{
    float* const w = channels[0];
    float* const x = channels[1];
    float* const y = channels[2];
    float* const z = channels[3];
    correctOrientation(orientation, x, y, z, frames);
    if (format != OutputFormat::kAmbiX)
        return;
    for (std::size_t n = 0; n < frames; ++n) {
        const float first = x[n];
        w[n] = w[n] * kAmbiXWGain;
        x[n] = y[n];
        y[n] = z[n];
        z[n] = first;
    }
}

} // namespace engine
