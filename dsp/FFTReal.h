// Real-input FFT of power-of-two length, in double precision.
//
// Spectrum layout (N doubles, the packed half-spectrum of a real signal x), with
// X_k = sum_n x[n] e^(-2 pi i k n / N):
//   f[k]       = Re X_k   for k = 0 .. N/2   (f[0] DC, f[N/2] Nyquist)
//   f[N/2 + k] = -Im X_k  for k = 1 .. N/2-1 (= sum_n x[n] sin(2 pi k n / N))
// The imaginary parts of DC and Nyquist are zero and not stored. Multiplying two spectra bin by
// bin as complex numbers (re at f[k], im at f[N/2 + k]) gives the layout of the product, so
// convolution does not depend on the sign of the stored imaginary parts.
//
// The inverse is unnormalised: inverse_transform(forward_transform(x)) = N x; callers scale.
//
// From 16 points on, the transforms run as a complex FFT of N/2 points (the even samples as real
// parts, the odd ones as imaginary parts; radix-4 stages in the self-sorting Stockham order, on
// separate arrays of real and imaginary parts, two or four butterflies per vector instruction)
// and the split step that turns it into the spectrum of the real signal. The reordering of the
// samples runs inside the first stage and the split step inside the last one, so a transform of
// 2048 points makes five passes over its data (dsp/FFTKernels.h). Below 16 points they run the
// radix-2 decimation in time whose tables the class exposes. The results agree with an exact DFT
// to within a few units of rounding per stage (tests/dsp/FFTRealTest.cpp).
//
// Lifecycle: construction allocates the tables and the scratch buffers (host thread). The
// transforms allocate nothing and may run on the audio thread; one thread at a time, because
// every call writes the shared scratch buffers.
#pragma once

#include <cstdint>
#include <memory>

namespace fftkernels {
struct Plan;
}

class FFTReal {
public:
    // The instruction sets the complex path can run on. Every one gives bit-identical results;
    // Fastest is the widest this processor has (AVX2 where available, else SSE2). Radix2 runs
    // the straightforward radix-2 decimation in time at every length instead of the complex
    // path: several times slower, a different factorisation (results agree within rounding),
    // kept as the plain reference the fast transforms are checked against.
    enum class Kernel { Fastest, Baseline, Avx2, Radix2 };
    static bool kernelAvailable(Kernel kernel);

    // Builds the tables for a transform of length points. A length that is not a power of two
    // (1 .. 2^30) is a programming error: it reports the failed assertion and aborts. kernel
    // must be available (tests choose it; the plug-in takes the fastest).
    explicit FFTReal(std::int32_t length, Kernel kernel = Kernel::Fastest);   // [host thread]
    ~FFTReal() = default;

    FFTReal(const FFTReal&) = delete;
    FFTReal& operator=(const FFTReal&) = delete;

    // Writes the spectrum of x (length doubles) into f. f and x are distinct; x is not changed.
    void forward_transform(double* f, const double* x);   // [audio thread]
    // Writes length times the signal of spectrum f into x. f is not changed.
    void inverse_transform(const double* f, double* x);   // [audio thread]
    // Circular convolution in place: x := inverse_transform(forward_transform(x) (x) h), where
    // (x) multiplies the two spectra as length/2 complex numbers, re at [k] and im at
    // [length/2 + k], pair 0 being (DC, Nyquist) like the others. h is a spectrum in the layout
    // above. Gives the same doubles as the three steps done one after the other, in one pass
    // over the spectrum. [audio thread]
    void convolve(double* x, const double* h);

    // The tables, for inspection: entry i of the bit-reversal table is i with its _nbr_bits low
    // bits reversed; the cosine table holds cos(j pi / 2^L), level L = 3 .. _nbr_bits-1 starting
    // at index 2^(L-1) - 4. The cosine table is null below 16 points.
    const std::int32_t* bitReversalTable() const { return bitReversal.get(); }
    const double* cosineTable() const { return cosines.get(); }
    std::int32_t cosineTableLength() const { return _nbr_bits >= 4 ? (1 << (_nbr_bits - 1)) - 4 : 0; }

private:
    void forwardGeneral(double* f, const double* x);
    void inverseGeneral(const double* f, double* x);
    void buildComplexTables();
    // The complex path, on the kernel chosen at construction.
    void forwardComplex(double* f, const double* x);
    void inverseComplex(const double* f, double* x);
    fftkernels::Plan complexPlan() const;

    std::unique_ptr<std::int32_t[]> bitReversal; // length entries, bit-reversed indices
    std::unique_ptr<double[]> cosines;           // twiddle factors per level; null below 16 points
    double halfRootTwo;                          // sqrt(2) / 2, the twiddle of the 8-point stage

public:
    const std::int32_t length;                   // transform length N, a power of two
    const std::int32_t _nbr_bits;                // log2 N

private:
    std::unique_ptr<double[]> work;              // N doubles of scratch; null below 8 points

    std::unique_ptr<double[]> work2;             // N doubles of scratch: convolve's second array
    // Complex path, from 16 points on (null below).
    std::unique_ptr<double[]> stageTwiddles;     // per radix-4 stage: w^p, w^2p, w^3p (re runs, then im runs)
    std::unique_ptr<double[]> splitTwiddles;     // cos, sin of 2 pi k / N, k = 0 .. N/4 (two runs)
    std::int32_t radix4Stages = 0;               // radix-4 stages of the N/2-point complex FFT
    bool radix2Stage = false;                    // a last radix-2 stage when log2(N/2) is odd
    bool radix2Only = false;                     // Kernel::Radix2: the general path at every length
    bool wideKernel = false;                     // complex path on AVX2 (chosen at construction)
};
