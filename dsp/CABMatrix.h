// The A-to-B matrix: turns the four capsule signals A, B, C, D of a four-capsule microphone into
// the B-format signals W, X, Y, Z. The sign of each of the 16 weights is fixed:
//
//        A  B  C  D   extra
//   W    +  +  +  +   1/sqrt 2
//   X    +  +  -  -
//   Y    +  -  +  -
//   Z    +  -  -  +
//
// What is calibrated is each weight's magnitude and a gain per output, all in dB. The owner sets
// them before every block; they are converted to linear factors only when they change.
#pragma once

#include <cstdint>

class CABMatrix {
public:
    // The linear factors one block is mixed with.
    struct Gains {
        float weight[4][4] = {{1, 1, 1, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}};  // [output W X Y Z][capsule A B C D]
        float output[4] = {1, 1, 1, 1};   // gain of W, X, Y, Z
        // 1/sqrt 2 in double. W's sum is widened, scaled and rounded back: the product with this
        // factor rounds to the same float as the quotient by sqrt 2, for every float sum (checked
        // over all 2^32 of them), and costs a fraction of a division.
        double wScale = 0.70710678118654752440;
    };

    // Loads the weights from a [capsule][output] table (so the matrix holds its transpose) and the
    // four output gains, all in dB; converts them when any differs from the last call's.
    // [audio thread]
    void setGains(const float capOutGainDb[4][4], const float outputGainDb[4]);
    const Gains& gains() const { return linear; }

private:
    std::uint32_t lastDb[20] = {};   // the dB values last converted, as bits
    bool converted = false;          // lastDb holds a conversion
    Gains linear;
};

namespace abmix {

inline double widen(float x) { return x; }
inline float narrow(double x) { return static_cast<float>(x); }

// The factors of a block as values of the vector type F (and its double type D), for the kernel.
template <class F, class D>
struct Factors {
    explicit Factors(const CABMatrix::Gains& g) : wScale(g.wScale)
    {
        for (int o = 0; o < 4; ++o) {
            output[o] = F(g.output[o]);
            for (int k = 0; k < 4; ++k)
                weight[o][k] = F(g.weight[o][k]);
        }
    }
    F weight[4][4];
    F output[4];
    D wScale;
};

// W, X, Y, Z from A, B, C, D in place, each a float or a vector of samples (each lane one
// sample): the same operations in the same order for every lane.
template <class F, class D>
inline void mix(F& a, F& b, F& c, F& d, const Factors<F, D>& f)
{
    const F A = a, B = b, C = c, Dc = d;
    const F wSum = A * f.weight[0][0] + B * f.weight[0][1] + C * f.weight[0][2] + Dc * f.weight[0][3];
    a = narrow(widen(wSum) * f.wScale) * f.output[0];
    b = (A * f.weight[1][0] + B * f.weight[1][1] - C * f.weight[1][2] - Dc * f.weight[1][3]) * f.output[1];
    c = (A * f.weight[2][0] - B * f.weight[2][1] + C * f.weight[2][2] - Dc * f.weight[2][3]) * f.output[2];
    d = (A * f.weight[3][0] - B * f.weight[3][1] - C * f.weight[3][2] + Dc * f.weight[3][3]) * f.output[3];
}

} // namespace abmix
