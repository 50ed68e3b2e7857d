// The real transforms of FFTReal's complex path, written once over a small vector type V so that
// every instruction set computes the same operations in the same order on each element: a vector
// of W doubles carries W independent butterflies, so the results do not depend on W.
//
// A real signal x of N points is read as M = N/2 complex points z[j] = x[2j] + i x[2j+1]. Arrays
// of complex values are split: the M real parts, then (separately) the M imaginary parts.
//
// A radix-4 stage of the self-sorting (Stockham) FFT of length M at sub-length n and stride s,
// M = n s, reads x[q + s (p + k n/4)] and writes y[q + s (4 p + k)], k = 0..3, for p < n/4 and
// q < s, with the twiddles w^p, w^2p, w^3p, w = e^(-2 pi i / n):
//   y0 = (a + c) + (b + d)           y2 = w^2p ((a + c) - (b + d))
//   y1 = w^p  ((a - c) - i (b - d))  y3 = w^3p ((a - c) + i (b - d))
// The first stage (n = M, s = 1) reads the interleaved signal directly. The last one (n = 4, or
// n = 2 when log2 M is odd) has no twiddles and produces Z = FFT_M(z) in natural order.
//
// Z gives the spectrum of the real x through the split step, for bins K and M-K together
// (W = e^(-2 pi i / N)):
//   E = (Z_K + conj Z_(M-K)) / 2,  O = (Z_K - conj Z_(M-K)) / 2i,  X_K = E + W^K O,
//   X_(M-K) = conj(E - W^K O),  X_0 = Re Z_0 + Im Z_0,  X_M = Re Z_0 - Im Z_0.
// The butterfly of the last stage at q and the one at s - q produce between them exactly the
// values of four such pairs (K = q, q + s, 2s - q, s - q with their mirrors), so the split step
// runs inside the last stage, on values still in registers. The inverse runs the step backwards
// into conj Z' (Z' = 2 Z), feeds it straight into the first stage of a forward FFT (whose
// butterflies p and M/4 - p read the same four pairs), and conjugates the result on the way out:
// the unnormalised inverse of Z' is N z. The convolution joins the two: last forward stage,
// split, product with the filter's spectrum, inverse split, first inverse stage, in one pass.
//
// Private to FFTReal.cpp and its per-instruction-set companions.
// Threads: the kernels allocate nothing and may run on the audio thread; tables are built on the host thread.
#pragma once

#include <cstdint>

namespace fftkernels {

// Sizes, tables and scratch arrays of one transform, built by FFTReal at construction. The
// kernels read the tables and write only the scratch arrays.
struct Plan {
    std::int32_t n = 0;                    // real points N, a power of two
    std::int32_t bits = 0;                 // log2 N
    double* work = nullptr;                // N doubles of scratch from a 64-byte boundary on; null below 8 points
    double* work2 = nullptr;               // the same: the complex path's second scratch array

    // Complex path (the vector kernels), from 16 points on.
    std::int32_t m = 0;                    // complex points, N/2: a power of two, at least 8
    std::int32_t stages4 = 0;              // radix-4 stages of the M-point FFT
    bool radix2 = false;                   // a radix-2 stage last (log2 M odd)
    const double* stageTwiddles = nullptr; // per radix-4 stage: w^p, w^2p, w^3p (re runs, then im runs)
    const double* cosines = nullptr;       // cos(2 pi K / N), K = 0 .. M/2
    const double* sines = nullptr;         // sin(2 pi K / N), K = 0 .. M/2

    // Radix-2 path, from 8 points on.
    const std::int32_t* bitReversal = nullptr; // N entries: i with its log2 N low bits reversed
    const double* levelCosines = nullptr;  // cos(j pi / 2^L), level L = 3 .. log2 N - 1 from index 2^(L-1) - 4
    double halfRootTwo = 0.0;              // sqrt(2) / 2, the twiddle of the 8-point stage

    // Radix-4 stages between the first and the last one.
    std::int32_t middleStages() const { return stages4 - (radix2 ? 1 : 2); }
};

// ---- The table of kernels ---------------------------------------------------------------------
// FFTReal calls its transforms through three pointers chosen once, at construction, from the
// kernel sets below: the widest set the processor runs (or the one a test asks for) that serves
// the transform's length.

using ForwardFn = void (*)(const Plan& plan, double* f, const double* x);
using InverseFn = void (*)(const Plan& plan, const double* f, double* x);
using ConvolveFn = void (*)(const Plan& plan, double* x, const double* h);

// One variant of the kernels: an instruction set, or the radix-2 reference, or the closed forms.
struct KernelSet {
    const char* name;                      // for test names and reports
    std::int32_t minBits;                  // the shortest transform it serves, log2 N
    bool complexPath;                      // runs on the complex path's tables (else the radix-2 ones)
    ForwardFn forward;
    InverseFn inverse;
    ConvolveFn convolveFused;              // the fused convolution, for a radix-4 last stage
    ConvolveFn convolveInSteps;            // the three steps one after the other, for the rest
};

// One double as a vector of width one, for the butterflies that pair with themselves and for
// transforms too short for wider vectors. Tag is the kernel's vector type, so that each
// instruction set's file gets its own instantiations.
template <class Tag>
struct Scalar {
    static constexpr std::int32_t width = 1;
    double v;
    static Scalar load(const double* p) { return {*p}; }
    static void store(double* p, Scalar a) { *p = a.v; }
    static Scalar set1(double a) { return {a}; }
    static Scalar reversed(Scalar a) { return a; }
    static Scalar loadReversed(const double* p) { return {*p}; }
    friend Scalar operator+(Scalar a, Scalar b) { return {a.v + b.v}; }
    friend Scalar operator-(Scalar a, Scalar b) { return {a.v - b.v}; }
    friend Scalar operator*(Scalar a, Scalar b) { return {a.v * b.v}; }
    friend Scalar operator-(Scalar a) { return {-a.v}; }
    static void loadDeinterleaved(const double* p, Scalar& re, Scalar& im)
    {
        re.v = p[0];
        im.v = p[1];
    }
    static void storeInterleaved2(double* p, Scalar re, Scalar im)
    {
        p[0] = re.v;
        p[1] = im.v;
    }
    static void storeInterleaved4(double* p, Scalar a, Scalar b, Scalar c, Scalar d)
    {
        p[0] = a.v;
        p[1] = b.v;
        p[2] = c.v;
        p[3] = d.v;
    }
    static void storeInterleaved4Reversed(double* p, Scalar a, Scalar b, Scalar c, Scalar d)
    {
        storeInterleaved4(p, a, b, c, d);
    }
};

template <class V>
struct Cx {
    V r, i;
};

// Runs of W doubles: upwards (p[0], p[1], ...) or downwards (p[0], p[-1], ...).
template <class V, bool kUp>
inline V loadRun(const double* p)
{
    if constexpr (kUp)
        return V::load(p);
    else
        return V::loadReversed(p - (V::width - 1));
}

template <class V, bool kUp>
inline void storeRun(double* p, V a)
{
    if constexpr (kUp)
        V::store(p, a);
    else
        V::store(p - (V::width - 1), V::reversed(a));
}

template <class V>
inline Cx<V> times(Cx<V> w, Cx<V> t)
{
    return {w.r * t.r - w.i * t.i, w.r * t.i + w.i * t.r};
}

// The radix-4 butterfly without twiddles.
template <class V>
inline void butterfly4(const Cx<V> (&x)[4], Cx<V> (&y)[4])
{
    const V apcR = x[0].r + x[2].r, apcI = x[0].i + x[2].i;
    const V amcR = x[0].r - x[2].r, amcI = x[0].i - x[2].i;
    const V bpdR = x[1].r + x[3].r, bpdI = x[1].i + x[3].i;
    const V bmdR = x[1].r - x[3].r, bmdI = x[1].i - x[3].i;
    y[0] = {apcR + bpdR, apcI + bpdI};
    y[1] = {amcR + bmdI, amcI - bmdR};
    y[2] = {apcR - bpdR, apcI - bpdI};
    y[3] = {amcR - bmdI, amcI + bmdR};
}

// The radix-4 butterfly with twiddles w[1..3] on outputs 1..3.
template <class V>
inline void butterfly4Twiddled(const Cx<V> (&x)[4], Cx<V> (&y)[4], const Cx<V> (&w)[4])
{
    butterfly4(x, y);
    for (std::int32_t k = 1; k <= 3; ++k)
        y[k] = times(w[k], y[k]);
}

// The twiddles w^p, w^2p, w^3p of the first stage (w = e^(-2 pi i / M)) for the p of each lane,
// from the stage's runs of n1 = M/4 values.
template <class V>
inline void firstTwiddles(const double* tw, std::int32_t n1, std::int32_t p, Cx<V> (&w)[4])
{
    for (std::int32_t k = 1; k <= 3; ++k)
        w[k] = {V::load(tw + 2 * (k - 1) * n1 + p), V::load(tw + (2 * (k - 1) + 1) * n1 + p)};
}

// The twiddles of n1 - p from those of p, by the symmetries w^(n1-p) = -i conj(w^p),
// w^(2(n1-p)) = -conj(w^2p), w^(3(n1-p)) = i conj(w^3p): sign changes and swaps only, so the
// lanes running downwards need no table of their own.
template <class V>
inline void mirroredTwiddles(const Cx<V> (&w)[4], Cx<V> (&v)[4])
{
    v[1] = {-w[1].i, -w[1].r};
    v[2] = {-w[2].r, w[2].i};
    v[3] = {w[3].i, w[3].r};
}

// ---- Split step ---------------------------------------------------------------------------

// One pair of bins: K and M-K. In the forward direction the packed spectrum values re_K, re_(M-K),
// stored im_K (= -Im X_K), stored im_(M-K); in the inverse one conj Z'_K and conj Z'_(M-K) as
// (re K, re M-K, im K, im M-K).
template <class T>
struct SplitOut {
    T reK, reMk, imK, imMk;
};

template <class T>
inline SplitOut<T> forwardSplit(Cx<T> z, Cx<T> y, T c, T sn, T half)
{
    const T er = half * (z.r + y.r);
    const T ei = half * (z.i - y.i);
    const T or_ = half * (z.i + y.i);
    const T oi = half * (y.r - z.r);
    const T tr = c * or_ + sn * oi;
    const T ti = c * oi - sn * or_;
    return {er + tr, er - tr, -(ei + ti), ei - ti};
}

// From the packed values (re_K, stored im_K, re_(M-K), stored im_(M-K)).
template <class T>
inline SplitOut<T> inverseSplit(T fk, T gk, T fmk, T gmk, T c, T sn)
{
    const T ar = fk, ai = -gk;
    const T br = fmk, bi = -gmk;
    const T er = ar + br;
    const T ei = ai - bi;
    const T dr = ar - br;
    const T di = ai + bi;
    const T or_ = dr * c - di * sn;
    const T oi = dr * sn + di * c;
    return {er - oi, er + oi, -(ei + or_), ei - or_};
}

// The bins of a pair run upwards from K0 lane by lane (kUp) or downwards; their mirrors M-K run
// the other way. w holds cos and sin of 2 pi K / N for the lanes' K. The pairs that run
// downwards (K = M/2 - k or M/4 - k) take the values of the upward ones (k, M/4 + k) swapped:
// cos(pi/2 - a) = sin a, and cos(pi/4 - a) = sin(pi/4 + a).
template <class V>
inline Cx<V> splitTwiddles(const Plan& plan, std::int32_t k0)
{
    return {V::load(plan.cosines + k0), V::load(plan.sines + k0)};
}

template <class V>
inline Cx<V> swapped(Cx<V> w)
{
    return {w.i, w.r};
}

// Forward split of the pair at K0 from Z_K and Z_(M-K), stored into the packed spectrum f.
template <class V, bool kUp>
inline void splitStore(double* f, const Plan& plan, std::int32_t k0, Cx<V> z, Cx<V> y, Cx<V> w, V half)
{
    const std::int32_t m = plan.m;
    const SplitOut<V> o = forwardSplit(z, y, w.r, w.i, half);
    storeRun<V, kUp>(f + k0, o.reK);
    storeRun<V, !kUp>(f + m - k0, o.reMk);
    storeRun<V, kUp>(f + m + k0, o.imK);
    storeRun<V, !kUp>(f + 2 * m - k0, o.imMk);
}

// Inverse split of the pair at K0, read from the packed spectrum f.
template <class V, bool kUp>
inline SplitOut<V> splitLoad(const double* f, const Plan& plan, std::int32_t k0, Cx<V> w)
{
    const std::int32_t m = plan.m;
    return inverseSplit(loadRun<V, kUp>(f + k0), loadRun<V, kUp>(f + m + k0), loadRun<V, !kUp>(f + m - k0),
                        loadRun<V, !kUp>(f + 2 * m - k0), w.r, w.i);
}

// Forward split, product with the spectrum h (complex, re at [K], im at [M + K]) and inverse
// split of the pair at K0: the values forward split, multiply and inverse split give through
// memory. selfPair: K = M-K = M/2, where the forward step's two stores land on one place and
// the later (M-K) one is what the product reads (the two differ at most in the sign of a zero).
template <class V, bool kUp>
inline SplitOut<V> splitConvolve(const double* h, const Plan& plan, std::int32_t k0, Cx<V> z, Cx<V> y, Cx<V> w,
                                 V half, bool selfPair = false)
{
    const std::int32_t m = plan.m;
    SplitOut<V> o = forwardSplit(z, y, w.r, w.i, half);
    if (selfPair) {
        o.reK = o.reMk;
        o.imK = o.imMk;
    }
    const V hrK = loadRun<V, kUp>(h + k0), hiK = loadRun<V, kUp>(h + m + k0);
    const V hrM = loadRun<V, !kUp>(h + m - k0), hiM = loadRun<V, !kUp>(h + 2 * m - k0);
    const V pK = o.reK * hrK - o.imK * hiK;
    const V qK = o.imK * hrK + o.reK * hiK;
    const V pM = o.reMk * hrM - o.imMk * hiM;
    const V qM = o.imMk * hrM + o.reMk * hiM;
    return inverseSplit(pK, qK, pM, qM, w.r, w.i);
}

// ---- Stages -------------------------------------------------------------------------------

// The first forward stage (n = M, s = 1), reading the interleaved real signal x (z[j] = x[2j] +
// i x[2j+1]): p runs in vectors, the twiddles are loaded per lane, and the four outputs of each
// p are interleaved on the way out (y[4p + k]). Each turn of the loop loads and deinterleaves
// the inputs of the next turn: the loads and shuffles are the longest part of a butterfly's
// dependency chain, and issued a turn early they no longer keep its arithmetic waiting.
template <class V>
void forwardFirst(const double* __restrict x, double* __restrict yr, double* __restrict yi, std::int32_t m,
                  const double* __restrict tw)
{
    const std::int32_t n1 = m / 4;
    Cx<V> next[4];
    for (std::int32_t k = 0; k < 4; ++k)
        V::loadDeinterleaved(x + 2 * (k * n1), next[k].r, next[k].i);
    for (std::int32_t p = 0; p < n1; p += V::width) {
        Cx<V> a[4], y[4], w[4];
        for (std::int32_t k = 0; k < 4; ++k)
            a[k] = next[k];
        if (p + V::width < n1)
            for (std::int32_t k = 0; k < 4; ++k)
                V::loadDeinterleaved(x + 2 * (p + V::width + k * n1), next[k].r, next[k].i);
        firstTwiddles(tw, n1, p, w);
        butterfly4Twiddled(a, y, w);
        V::storeInterleaved4(yr + 4 * p, y[0].r, y[1].r, y[2].r, y[3].r);
        V::storeInterleaved4(yi + 4 * p, y[0].i, y[1].i, y[2].i, y[3].i);
    }
}

// Butterflies of a stage whose stride is a multiple of the vector width: q runs in vectors,
// the twiddles of p are the same for all its lanes. A stride of one vector (the stage after the
// first one, with four doubles per vector) runs p alone, without the inner loop.
template <class V>
void radix4Strided(const double* __restrict xr, const double* __restrict xi, double* __restrict yr,
                   double* __restrict yi, std::int32_t n, std::int32_t s, const double* __restrict tw)
{
    const std::int32_t n1 = n / 4;
    const std::int32_t step = s * n1;
    auto butterflies = [&](std::int32_t p, std::int32_t q, const Cx<V> (&w)[4]) {
        const std::int32_t in = s * p + q, out = s * 4 * p + q;
        Cx<V> a[4], y[4];
        for (std::int32_t k = 0; k < 4; ++k)
            a[k] = {V::load(xr + in + k * step), V::load(xi + in + k * step)};
        butterfly4(a, y);
        V::store(yr + out, y[0].r);
        V::store(yi + out, y[0].i);
        for (std::int32_t k = 1; k <= 3; ++k) {
            const Cx<V> t = times(w[k], y[k]);
            V::store(yr + out + k * s, t.r);
            V::store(yi + out + k * s, t.i);
        }
    };
    auto twiddles = [&](std::int32_t p, Cx<V> (&w)[4]) {
        for (std::int32_t k = 1; k <= 3; ++k)
            w[k] = {V::set1(tw[2 * (k - 1) * n1 + p]), V::set1(tw[(2 * (k - 1) + 1) * n1 + p])};
    };
    if (s == V::width) {
        for (std::int32_t p = 0; p < n1; ++p) {
            Cx<V> w[4];
            twiddles(p, w);
            butterflies(p, 0, w);
        }
        return;
    }
    for (std::int32_t p = 0; p < n1; ++p) {
        Cx<V> w[4];
        twiddles(p, w);
        for (std::int32_t q = 0; q < s; q += V::width)
            butterflies(p, q, w);
    }
}

// The butterflies of a radix-4 last stage (s = M/4) at q, lanes upwards, into za, and at s - q,
// lanes downwards, into zb: the two halves that the split step pairs up.
template <class V>
inline void mirroredButterflies(const double* __restrict xr, const double* __restrict xi, std::int32_t q,
                                std::int32_t s, Cx<V> (&za)[4], Cx<V> (&zb)[4])
{
    Cx<V> a[4], b[4];
    for (std::int32_t k = 0; k < 4; ++k) {
        a[k] = {V::load(xr + q + k * s), V::load(xi + q + k * s)};
        b[k] = {loadRun<V, false>(xr + s - q + k * s), loadRun<V, false>(xi + s - q + k * s)};
    }
    butterfly4(a, za);
    butterfly4(b, zb);
}

// The last forward stage fused with the split step, radix 4 (n = 4, s = M/4), into the packed
// spectrum f. The butterflies at q (lanes upwards) and s - q (lanes downwards) for q = 1 .. s/2,
// then the one at 0 on its own: it holds DC with Nyquist, the pair (s, 3s) and the bin M/2 that
// pairs with itself. At q = s/2 both butterflies are the same one; they write the same values.
template <class V>
void forwardLast4(const double* __restrict xr, const double* __restrict xi, double* __restrict f, const Plan& plan)
{
    const std::int32_t m = plan.m, s = m / 4;
    const V half = V::set1(0.5);
    for (std::int32_t q = 1; q <= s / 2; q += V::width) {
        Cx<V> za[4], zb[4];
        mirroredButterflies(xr, xi, q, s, za, zb);
        const Cx<V> w1 = splitTwiddles<V>(plan, q), w2 = splitTwiddles<V>(plan, q + s);
        splitStore<V, true>(f, plan, q, za[0], zb[3], w1, half);
        splitStore<V, true>(f, plan, q + s, za[1], zb[2], w2, half);
        splitStore<V, false>(f, plan, 2 * s - q, zb[1], za[2], swapped(w1), half);
        splitStore<V, false>(f, plan, s - q, zb[0], za[3], swapped(w2), half);
    }
    using S = Scalar<V>;
    Cx<S> a[4], z[4];
    for (std::int32_t k = 0; k < 4; ++k)
        a[k] = {S::load(xr + k * s), S::load(xi + k * s)};
    butterfly4(a, z);
    const S half1 = S::set1(0.5);
    splitStore<S, true>(f, plan, s, z[1], z[3], splitTwiddles<S>(plan, s), half1);
    splitStore<S, true>(f, plan, 2 * s, z[2], z[2], splitTwiddles<S>(plan, 2 * s), half1);
    f[0] = z[0].r.v + z[0].i.v;
    f[m] = z[0].r.v - z[0].i.v;
}

// The same with a radix-2 last stage (n = 2, s = M/2): the butterflies at q and s - q give the
// pairs K = q and K = s - q; the one at 0 gives DC with Nyquist and the bin M/2.
template <class V>
void forwardLast2(const double* __restrict xr, const double* __restrict xi, double* __restrict f, const Plan& plan)
{
    const std::int32_t m = plan.m, s = m / 2;
    const V half = V::set1(0.5);
    for (std::int32_t q = 1; q <= s / 2; q += V::width) {
        const Cx<V> a0{V::load(xr + q), V::load(xi + q)}, a1{V::load(xr + q + s), V::load(xi + q + s)};
        const Cx<V> b0{loadRun<V, false>(xr + s - q), loadRun<V, false>(xi + s - q)};
        const Cx<V> b1{loadRun<V, false>(xr + 2 * s - q), loadRun<V, false>(xi + 2 * s - q)};
        const Cx<V> w = splitTwiddles<V>(plan, q);
        splitStore<V, true>(f, plan, q, {a0.r + a1.r, a0.i + a1.i}, {b0.r - b1.r, b0.i - b1.i}, w, half);
        splitStore<V, false>(f, plan, s - q, {b0.r + b1.r, b0.i + b1.i}, {a0.r - a1.r, a0.i - a1.i}, swapped(w),
                             half);
    }
    using S = Scalar<V>;
    const Cx<S> a0{S::load(xr), S::load(xi)}, a1{S::load(xr + s), S::load(xi + s)};
    const Cx<S> z1{a0.r - a1.r, a0.i - a1.i};
    splitStore<S, true>(f, plan, s, z1, z1, splitTwiddles<S>(plan, s), S::set1(0.5));
    const double z0r = xr[0] + xr[s], z0i = xi[0] + xi[s];
    f[0] = z0r + z0i;
    f[m] = z0r - z0i;
}

// The first stage of the inverse's forward FFT (n = M, s = 1) for the butterflies at q (lanes
// upwards, inputs a) and n1 - q (lanes downwards, inputs b), n1 = M/4; outputs interleaved as
// y[4p + k].
template <class V>
inline void inverseFirstPair(Cx<V> (&a)[4], Cx<V> (&b)[4], double* __restrict yr, double* __restrict yi,
                             std::int32_t n1, std::int32_t q, const double* __restrict tw)
{
    Cx<V> ya[4], yb[4], wa[4], wb[4];
    firstTwiddles(tw, n1, q, wa);
    mirroredTwiddles(wa, wb);
    butterfly4Twiddled(a, ya, wa);
    butterfly4Twiddled(b, yb, wb);
    V::storeInterleaved4(yr + 4 * q, ya[0].r, ya[1].r, ya[2].r, ya[3].r);
    V::storeInterleaved4(yi + 4 * q, ya[0].i, ya[1].i, ya[2].i, ya[3].i);
    const std::int32_t pb = 4 * (n1 - q - (V::width - 1));
    V::storeInterleaved4Reversed(yr + pb, yb[0].r, yb[1].r, yb[2].r, yb[3].r);
    V::storeInterleaved4Reversed(yi + pb, yb[0].i, yb[1].i, yb[2].i, yb[3].i);
}

// The butterfly at p = 0 of that stage.
template <class S>
inline void inverseFirstZero(Cx<S> (&a)[4], double* __restrict yr, double* __restrict yi, std::int32_t n1,
                             const double* __restrict tw)
{
    Cx<S> y[4], w[4];
    firstTwiddles(tw, n1, 0, w);
    butterfly4Twiddled(a, y, w);
    S::storeInterleaved4(yr, y[0].r, y[1].r, y[2].r, y[3].r);
    S::storeInterleaved4(yi, y[0].i, y[1].i, y[2].i, y[3].i);
}

// Sorts the four pairs at q (K = q, q + n1, 2 n1 - q, n1 - q) into the inputs of the first-stage
// butterflies at q and n1 - q.
template <class V>
inline void pairsToButterflies(const SplitOut<V>& p1, const SplitOut<V>& p2, const SplitOut<V>& p3,
                               const SplitOut<V>& p4, Cx<V> (&a)[4], Cx<V> (&b)[4])
{
    a[0] = {p1.reK, p1.imK};
    a[1] = {p2.reK, p2.imK};
    a[2] = {p3.reMk, p3.imMk};
    a[3] = {p4.reMk, p4.imMk};
    b[0] = {p4.reK, p4.imK};
    b[1] = {p3.reK, p3.imK};
    b[2] = {p2.reMk, p2.imMk};
    b[3] = {p1.reMk, p1.imMk};
}

// The inverse split from the packed spectrum f fused with the first stage, into split arrays.
template <class V>
void inverseFirst(const double* __restrict f, double* __restrict yr, double* __restrict yi, const Plan& plan)
{
    const std::int32_t m = plan.m, n1 = m / 4;
    const double* tw = plan.stageTwiddles;
    for (std::int32_t q = 1; q <= n1 / 2; q += V::width) {
        Cx<V> a[4], b[4];
        const Cx<V> w1 = splitTwiddles<V>(plan, q), w2 = splitTwiddles<V>(plan, q + n1);
        pairsToButterflies(splitLoad<V, true>(f, plan, q, w1), splitLoad<V, true>(f, plan, q + n1, w2),
                           splitLoad<V, false>(f, plan, 2 * n1 - q, swapped(w1)),
                           splitLoad<V, false>(f, plan, n1 - q, swapped(w2)), a, b);
        inverseFirstPair(a, b, yr, yi, n1, q, tw);
    }
    using S = Scalar<V>;
    const SplitOut<S> p1 = splitLoad<S, true>(f, plan, n1, splitTwiddles<S>(plan, n1));
    const SplitOut<S> self = splitLoad<S, true>(f, plan, 2 * n1, splitTwiddles<S>(plan, 2 * n1));
    Cx<S> a[4] = {{{f[0] + f[m]}, {-(f[0] - f[m])}}, {p1.reK, p1.imK}, {self.reMk, self.imMk}, {p1.reMk, p1.imMk}};
    inverseFirstZero(a, yr, yi, n1, tw);
}

// Last forward stage, split, product with h, inverse split and first stage of the inverse, from
// the split arrays x to the split arrays y (radix-4 last stage only).
template <class V>
void convolveMiddle(const double* __restrict xr, const double* __restrict xi, double* __restrict yr,
                    double* __restrict yi, const double* __restrict h, const Plan& plan)
{
    const std::int32_t m = plan.m, s = m / 4;
    const double* tw = plan.stageTwiddles;
    const V half = V::set1(0.5);
    for (std::int32_t q = 1; q <= s / 2; q += V::width) {
        Cx<V> a[4], b[4], za[4], zb[4];
        mirroredButterflies(xr, xi, q, s, za, zb);
        const Cx<V> w1 = splitTwiddles<V>(plan, q), w2 = splitTwiddles<V>(plan, q + s);
        pairsToButterflies(splitConvolve<V, true>(h, plan, q, za[0], zb[3], w1, half),
                           splitConvolve<V, true>(h, plan, q + s, za[1], zb[2], w2, half),
                           splitConvolve<V, false>(h, plan, 2 * s - q, zb[1], za[2], swapped(w1), half),
                           splitConvolve<V, false>(h, plan, s - q, zb[0], za[3], swapped(w2), half), a, b);
        inverseFirstPair(a, b, yr, yi, s, q, tw);
    }
    using S = Scalar<V>;
    Cx<S> a[4], z[4];
    for (std::int32_t k = 0; k < 4; ++k)
        a[k] = {S::load(xr + k * s), S::load(xi + k * s)};
    butterfly4(a, z);
    const S half1 = S::set1(0.5);
    const SplitOut<S> p1 = splitConvolve<S, true>(h, plan, s, z[1], z[3], splitTwiddles<S>(plan, s), half1);
    const SplitOut<S> self =
        splitConvolve<S, true>(h, plan, 2 * s, z[2], z[2], splitTwiddles<S>(plan, 2 * s), half1, true);
    // DC and Nyquist: (re X_0, re X_M) multiplied like a complex pair.
    const double f0 = z[0].r.v + z[0].i.v;
    const double fm = z[0].r.v - z[0].i.v;
    const double p0 = f0 * h[0] - fm * h[m];
    const double pm = fm * h[0] + f0 * h[m];
    Cx<S> c[4] = {{{p0 + pm}, {-(p0 - pm)}}, {p1.reK, p1.imK}, {self.reMk, self.imMk}, {p1.reMk, p1.imMk}};
    inverseFirstZero(c, yr, yi, s, tw);
}

// The last stage of the inverse's FFT (radix 4, s = M/4), conjugated and interleaved into the
// real signal x: x[2j] = Re, x[2j+1] = -Im.
template <class V>
void inverseLast4(const double* __restrict xr, const double* __restrict xi, double* __restrict x, std::int32_t m)
{
    const std::int32_t s = m / 4;
    for (std::int32_t q = 0; q < s; q += V::width) {
        Cx<V> a[4], y[4];
        for (std::int32_t k = 0; k < 4; ++k)
            a[k] = {V::load(xr + q + k * s), V::load(xi + q + k * s)};
        butterfly4(a, y);
        for (std::int32_t k = 0; k < 4; ++k)
            V::storeInterleaved2(x + 2 * (q + k * s), y[k].r, -y[k].i);
    }
}

// The same for a radix-2 last stage (s = M/2).
template <class V>
void inverseLast2(const double* __restrict xr, const double* __restrict xi, double* __restrict x, std::int32_t m)
{
    const std::int32_t s = m / 2;
    for (std::int32_t q = 0; q < s; q += V::width) {
        const V ar = V::load(xr + q), ai = V::load(xi + q);
        const V br = V::load(xr + s + q), bi = V::load(xi + s + q);
        V::storeInterleaved2(x + 2 * q, ar + br, -(ai + bi));
        V::storeInterleaved2(x + 2 * (q + s), ar - br, -(ai - bi));
    }
}

// The strided stages between the first and the last, ping-ponging from cur; returns the array
// holding their result.
template <class V>
double* middleStages(const Plan& plan, double* cur, double* other)
{
    const std::int32_t m = plan.m;
    const double* tw = plan.stageTwiddles + 6 * (m / 4);
    std::int32_t n = m / 4, s = 4;
    for (std::int32_t stage = 0; stage < plan.middleStages(); ++stage) {
        radix4Strided<V>(cur, cur + m, other, other + m, n, s, tw);
        tw += 6 * (n / 4);
        n /= 4;
        s *= 4;
        double* t = cur;
        cur = other;
        other = t;
    }
    return cur;
}

// ---- Whole transforms ---------------------------------------------------------------------
// V needs M >= 8 W: the first stage then pairs butterflies W at a time, and every later stride
// is a multiple of W.

// The packed spectrum f of the real signal x (N = 2M doubles). The stages before the last one
// run on the two scratch arrays, which start on a cache line where the caller's arrays may not:
// a vector straddling two lines costs about twice as much to load or store. They end in work,
// from which the last stage writes f (which may be work2: the convolution in steps).
template <class V>
void forwardReal(const Plan& plan, double* f, const double* x)
{
    const std::int32_t m = plan.m;
    double* cur = plan.middleStages() % 2 == 0 ? plan.work : plan.work2;
    double* other = cur == plan.work ? plan.work2 : plan.work;
    forwardFirst<V>(x, cur, cur + m, m, plan.stageTwiddles);
    cur = middleStages<V>(plan, cur, other);
    if (plan.radix2)
        forwardLast2<V>(cur, cur + m, f, plan);
    else
        forwardLast4<V>(cur, cur + m, f, plan);
}

// N times the signal x whose packed spectrum is f. The stages before the last one run on the
// scratch arrays, like the forward ones, and end in work, from which the last stage writes x.
// When f is work2 (the convolution in steps), x stands in for work2.
template <class V>
void inverseReal(const Plan& plan, const double* f, double* x)
{
    const std::int32_t m = plan.m;
    double* second = f == plan.work2 ? x : plan.work2;
    double* cur = plan.middleStages() % 2 == 0 ? plan.work : second;
    double* other = cur == plan.work ? second : plan.work;
    inverseFirst<V>(f, cur, cur + m, plan);
    cur = middleStages<V>(plan, cur, other);
    if (plan.radix2)
        inverseLast2<V>(cur, cur + m, x, m);
    else
        inverseLast4<V>(cur, cur + m, x, m);
}

// x := inverseReal(forwardReal(x) times h), for a radix-4 last stage only.
template <class V>
void convolveReal(const Plan& plan, double* x, const double* h)
{
    const std::int32_t m = plan.m;
    double* work = plan.work;
    double* work2 = plan.work2;
    double* cur = plan.middleStages() % 2 == 0 ? work : work2;
    double* other = cur == work ? work2 : work;
    forwardFirst<V>(x, cur, cur + m, m, plan.stageTwiddles);
    cur = middleStages<V>(plan, cur, other);   // == work
    convolveMiddle<V>(cur, cur + m, work2, work2 + m, h, plan);
    cur = middleStages<V>(plan, work2, work);
    inverseLast4<V>(cur, cur + m, x, m);
}

// x := inverse(forward(x) times h) as three steps through the spectrum in work2: the product of
// the two spectra as N/2 complex numbers (re at [k], im at [N/2 + k]), pair 0 being (DC,
// Nyquist) like the others. Every transform's own convolution gives exactly these doubles.
template <ForwardFn kForward, InverseFn kInverse>
void convolveInSteps(const Plan& plan, double* x, const double* h)
{
    double* f = plan.work2;
    kForward(plan, f, x);
    const std::int32_t half = plan.n / 2;
    if (half == 0) {
        f[0] = f[0] * h[0];
    } else {
        for (std::int32_t k = 0; k < half; ++k) {
            const double xr = f[k], xi = f[k + half], hr = h[k], hi = h[k + half];
            f[k] = xr * hr - xi * hi;
            f[k + half] = xi * hr + xr * hi;
        }
    }
    kInverse(plan, f, x);
}

// The complex path's kernel set over the vector type V.
template <class V>
constexpr KernelSet complexKernelSet(const char* name, std::int32_t minBits)
{
    return {name,           minBits,         true, &forwardReal<V>, &inverseReal<V>, &convolveReal<V>,
            &convolveInSteps<&forwardReal<V>, &inverseReal<V>>};
}

// The kernel sets, widest first. Each file of one instruction set defines its own. The AVX2 set
// exists only in x86 builds (SONQUAD_HAVE_AVX2_KERNELS) and runs only where the processor has
// AVX2; FFTReal checks before it offers it.
const KernelSet& avx2KernelSet();        // four doubles per vector, from 64 points (FFTKernelsAvx2.cpp)
const KernelSet& sse2KernelSet();        // two doubles per vector, from 32 points (FFTKernelsSse2.cpp)
const KernelSet& scalarKernelSet();      // one double per vector, from 16 points (FFTKernelsSse2.cpp)
const KernelSet& radix2KernelSet();      // radix-2 decimation in time, from 8 points (FFTReal.cpp)
const KernelSet& closedFormKernelSet();  // 1, 2 and 4 points (FFTReal.cpp)

} // namespace fftkernels
