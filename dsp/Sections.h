// The recursions of the closed-form filter sections, each written once as a template over its
// number type: float or double for one channel (CLowShelfFilter, CHPFilter2, CMitRegFilter) and
// lanes::F32x4 or lanes::F64x4 for the four capsule channels at once (engine/CapsuleStages). The
// same template gives the same operations in the same order, so both are bit-identical.
//
// A section is its coefficients and its state; step takes one input and returns one output.
// Design functions compute the coefficients of one channel in closed form; they allocate nothing
// and may run on the audio thread.
#pragma once

#include <cstdint>

namespace sections {

// The two LF sections below give what the general direct-form loop gives: y = (0 + b0 x + ...) -
// (0 + a1 y1 + ...), each sum starting from +0 (which turns a -0 into +0). Both +0 terms come
// out in one: (0 + p) + q = 0 + (p + q) and (0 + a) - (0 + b) = 0 + (a - b), signed zeros and
// rounding included, so each step is the plain sums with a single +0 on the way out. The state
// keeps the value before that +0; it can differ from the output only in the sign of a zero,
// which changes no later sum or product except in the sign of a zero result, and every output
// passes the +0 again. The recursion thus runs through the feedback sums alone. For the same
// reason a chain of these sections needs the +0 only after its last one (stepInner).

// First-order shelf: y = b0 x + b1 x1 - a1 y1, with x = gain * input.
template <class T>
struct LowShelf {
    T gain, b0, b1, a1;   // input gain and coefficients
    T x1, y1;             // past input (gain-scaled) and output (before the +0)

    T step(T in) { return T(0.0f) + stepInner(gain * in); }
    // The step of an input already multiplied by the gain (a gain of 1 needs no product), and
    // without the +0: for a section whose output feeds another of these sections only, which
    // treats a zero of either sign alike until its own +0.
    T stepInner(T x)
    {
        const T y = output(b0, b1, a1, x, x1, y1);
        x1 = x;
        y1 = y;
        return y;
    }
    // The output before the +0 from the coefficients, the input and the state.
    static T output(T b0, T b1, T a1, T x, T x1, T y1) { return (b0 * x + b1 * x1) - a1 * y1; }
};

// Second-order direct form I: y = b0 x + b1 x1 + b2 x2 - (a1 y1 + a2 y2), x = gain * input.
template <class T>
struct HighPass {
    T gain, b0, b1, b2, a1, a2;   // input gain and coefficients
    T x1, x2, y1, y2;             // past inputs (gain-scaled) and outputs (before the +0)

    T step(T in) { return T(0.0f) + stepInner(gain * in); }
    T stepInner(T x)
    {
        const T y = output(b0, b1, b2, a1, a2, x, x1, x2, y1, y2);
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
    static T output(T b0, T b1, T b2, T a1, T a2, T x, T x1, T x2, T y1, T y2)
    {
        return (b0 * x + b1 * x1 + b2 * x2) - (a1 * y1 + a2 * y2);
    }
};

// The LF filter: a shelf and two high-passes in series, without the gain products and with the
// +0 after the last one only. Each high-pass's past inputs are the past outputs of the section
// before it (before the +0, as stepInner passes them on), so each history is kept once: seven
// values of state instead of ten, the same operations.
template <class T>
struct LfChain {
    T shelf[3];           // b0 b1 a1
    T highPass[2][5];     // b0 b1 b2 a1 a2 of each high-pass
    T x1;                 // input one step ago
    T y1[3], y2[3];       // each section's outputs one and two steps ago (the shelf's second unused by it)

    T step(T x)
    {
        const T s = LowShelf<T>::output(shelf[0], shelf[1], shelf[2], x, x1, y1[0]);
        const T* h = highPass[0];
        const T p = HighPass<T>::output(h[0], h[1], h[2], h[3], h[4], s, y1[0], y2[0], y1[1], y2[1]);
        h = highPass[1];
        const T q = HighPass<T>::output(h[0], h[1], h[2], h[3], h[4], p, y1[1], y2[1], y1[2], y2[2]);
        x1 = x;
        y2[0] = y1[0];
        y1[0] = s;
        y2[1] = y1[1];
        y1[1] = p;
        y2[2] = y1[2];
        y1[2] = q;
        return T(0.0f) + q;
    }
};

// Regalia-Mitra peaking section in double precision: an allpass A(z) in transposed direct form
// II, blended as (1 + A)/2 + G (1 - A)/2; h is G/2.
template <class D>
struct Peaking {
    D b0, b1, a1, a2;   // allpass coefficients: b0 = a2 = k2, b1 = a1 = c
    D h;                // half the linear centre gain
    D s1, s2;           // allpass state (TDF-II)

    D step(D x)
    {
        const D y = b0 * x + s1;
        s1 = b1 * x - a1 * y + s2;
        s2 = x - a2 * y;
        return (x - y) * h + (y + x) * D(0.5);
    }
};

struct ShelfDesign {
    float b0, b1, a1;
};
// (s + wz) / (s + wp) through the bilinear transform, pre-warped; unity at the top of the band.
ShelfDesign designLowShelf(float poleHz, float zeroHz, float rateHz);

struct HighPassDesign {
    float b0, b1, b2, a1, a2;
};
// s^2 / (s^2 + damping s + 1) through the bilinear transform, pre-warped at the corner.
HighPassDesign designHighPass(float cornerHz, float damping, float rateHz);

struct PeakingDesign {
    double b0, b1, a1, a2;
    bool identity;   // a band the rate cannot hold: A(z) = 1, and the state is to be cleared
};
// The allpass of a peaking band: centre and bandwidth in Hz, gain in dB at the centre. Exact mode
// (linear false): the band is warped with a tangent, widened by 1/G for a cut and kept below
// 0.75 (pi - w0); linear mode: k2 = (1 - wb/2)/(1 + wb/2) as it stands.
PeakingDesign designPeaking(float centreHz, float bandwidthHz, float gainDb, bool linear, float rateHz);
// The bandwidth in Hz of a band widthOctaves wide around centreHz: (2^(w/2) - 2^(-w/2)) centre.
float octavesToBandwidthHz(float centreHz, float widthOctaves);

} // namespace sections
