#include "dsp/CABMatrix.h"

#include "dsp/Decibel.h"

#include <cmath>

void CABMatrix::process(float* a, float* b, float* c, float* d, std::int32_t count)
{
    if (count <= 0)
        return;

    float lin[4][4];
    for (int o = 0; o < 4; ++o)
        for (int k = 0; k < 4; ++k)
            lin[o][k] = dbToLinear(matrixDb[o][k]);
    const float gW = dbToLinear(outputDb[0]);
    const float gX = dbToLinear(outputDb[1]);
    const float gY = dbToLinear(outputDb[2]);
    const float gZ = dbToLinear(outputDb[3]);
    const double sqrt2 = std::sqrt(2.0);

    const float w0 = lin[0][0], w1 = lin[0][1], w2 = lin[0][2], w3 = lin[0][3];
    const float x0 = lin[1][0], x1 = lin[1][1], x2 = lin[1][2], x3 = lin[1][3];
    const float y0 = lin[2][0], y1 = lin[2][1], y2 = lin[2][2], y3 = lin[2][3];
    const float z0 = lin[3][0], z1 = lin[3][1], z2 = lin[3][2], z3 = lin[3][3];

    for (std::int32_t i = 0; i < count; ++i) {
        // In place: all four capsules of the sample are read before any output is stored.
        const float A = a[i], B = b[i], C = c[i], D = d[i];
        const float wSum = A * w0 + B * w1 + C * w2 + D * w3;
        const float W = static_cast<float>(static_cast<double>(wSum) / sqrt2) * gW;
        const float X = (A * x0 + B * x1 - C * x2 - D * x3) * gX;
        const float Y = (A * y0 - B * y1 + C * y2 - D * y3) * gY;
        const float Z = (A * z0 - B * z1 - C * z2 + D * z3) * gZ;
        a[i] = W;
        b[i] = X;
        c[i] = Y;
        d[i] = Z;
    }
}

void CABMatrix::setGains(const float capOutGainDb[4][4], const float outputGainDb[4])
{
    for (int o = 0; o < 4; ++o) {
        for (int k = 0; k < 4; ++k)
            matrixDb[o][k] = capOutGainDb[k][o];
        outputDb[o] = outputGainDb[o];
    }
}
