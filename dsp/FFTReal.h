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
// samples runs inside the first stage and the split step inside the last one (dsp/FFTKernels.h).
// At 8 points they run the radix-2 decimation in time, at 1, 2 and 4 points closed forms. The
// results agree with an exact DFT to within a few units of rounding per stage
// (tests/dsp/FFTRealTest.cpp).
//
// The kernels are chosen once, at construction, into a table of three functions: the widest
// instruction set this processor runs that serves the length (or the kernel a test asks for).
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
    // The kernels. Every one but Radix2 gives bit-identical results; Fastest is the widest this
    // processor runs (AVX2 where available, else Baseline, which is SSE2 on x86). Radix2 runs the
    // straightforward radix-2 decimation in time at every length: several times slower, a
    // different factorisation (results agree within rounding), kept as the plain reference the
    // fast transforms are checked against. Transforms too short for a kernel's vectors run the
    // next narrower one.
    enum class Kernel { Fastest, Baseline, Avx2, Radix2 };
    static bool kernelAvailable(Kernel kernel);

    // Builds the tables for a transform of length points. A length that is not a power of two
    // (1 .. 2^30) is a programming error: it reports the failed assertion and aborts. kernel
    // must be available (tests choose it; the plug-in takes the fastest).
    explicit FFTReal(std::int32_t length, Kernel kernel = Kernel::Fastest);   // [host thread]
    ~FFTReal();                                                                // [host thread]

    FFTReal(const FFTReal&) = delete;
    FFTReal& operator=(const FFTReal&) = delete;

    // Writes the spectrum of x (length doubles) into f. f and x are distinct; x is not changed.
    void forward_transform(double* f, const double* x) { forwardKernel(*plan, f, x); }   // [audio thread]
    // Writes length times the signal of spectrum f into x. f is not changed.
    void inverse_transform(const double* f, double* x) { inverseKernel(*plan, f, x); }  // [audio thread]
    // Circular convolution in place: x := inverse_transform(forward_transform(x) (x) h), where
    // (x) multiplies the two spectra as length/2 complex numbers, re at [k] and im at
    // [length/2 + k], pair 0 being (DC, Nyquist) like the others. h is a spectrum in the layout
    // above. Gives the same doubles as the three steps done one after the other, in one pass
    // over the spectrum. [audio thread]
    void convolve(double* x, const double* h) { convolveKernel(*plan, x, h); }

    // The variant of the kernels this object runs ("avx2", "sse2", "scalar", "radix2",
    // "closed form"), for reports and test messages.
    const char* kernelName() const { return kernelSetName; }

private:
    using ForwardFn = void (*)(const fftkernels::Plan&, double*, const double*);
    using InverseFn = void (*)(const fftkernels::Plan&, const double*, double*);
    using ConvolveFn = void (*)(const fftkernels::Plan&, double*, const double*);

public:
    const std::int32_t length;                   // transform length N, a power of two
    const std::int32_t _nbr_bits;                // log2 N

private:
    void buildRadix2Tables();
    void buildComplexTables();

    std::unique_ptr<fftkernels::Plan> plan;      // sizes, tables and scratch the kernels read
    ForwardFn forwardKernel = nullptr;           // the table of kernels, chosen at construction
    InverseFn inverseKernel = nullptr;
    ConvolveFn convolveKernel = nullptr;
    const char* kernelSetName = "";              // name of the chosen kernel set

    std::unique_ptr<double[]> work;              // N doubles of scratch from a cache line on; null below 8 points
    std::unique_ptr<double[]> work2;             // the same: the second scratch array
    // Radix-2 kernel (and 8 points) only.
    std::unique_ptr<std::int32_t[]> bitReversal; // N entries, bit-reversed indices
    std::unique_ptr<double[]> levelCosines;      // twiddle factors per level; null below 16 points
    // Complex path only (from 16 points on).
    std::unique_ptr<double[]> stageTwiddles;     // per radix-4 stage: w^p, w^2p, w^3p (re runs, then im runs), from a cache line on
    std::unique_ptr<double[]> splitTwiddles;     // cos, sin of 2 pi k / N, k = 0 .. N/4 (two runs, placed for vector loads from k = 1)
};
