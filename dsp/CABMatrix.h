// The A-to-B matrix: turns the four capsule signals A, B, C, D of a four-capsule microphone into
// the B-format signals W, X, Y, Z, in place. The sign of each of the 16 weights is fixed:
//
//        A  B  C  D   extra
//   W    +  +  +  +   1/sqrt 2
//   X    +  +  -  -
//   Y    +  -  +  -
//   Z    +  -  -  +
//
// What is calibrated is each weight's magnitude and a gain per output, all in dB. The owner
// writes the fields before every block; nothing is kept between blocks.
#pragma once

#include <cstdint>

class CABMatrix {
public:
    virtual ~CABMatrix() = default;

    // a, b, c, d hold capsules A..D on entry and W, X, Y, Z on return, count samples each. The
    // 20 dB values are converted once per call. A count of 0 or below leaves the buffers as they
    // are. The four buffers must be distinct. [audio thread]
    void process(float* a, float* b, float* c, float* d, std::int32_t count);

    // Loads the weights from a [capsule][output] table (so the matrix holds its transpose) and the
    // four output gains, all in dB. [audio thread]
    void setGains(const float capOutGainDb[4][4], const float outputGainDb[4]);

    float matrixDb[4][4] = {};                    // dB, [output W X Y Z][capsule A B C D]
    float outputDb[4] = {};                       // dB, gain of W, X, Y, Z
};
