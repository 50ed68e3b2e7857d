// The straightforward radix-2 real FFT that FFTReal replaced, kept for the tests as the
// reference its faster transforms are checked against: radix-2 decimation in time on
// bit-reversed input, stages ping-ponging between the output and one scratch buffer.
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
// Lifecycle: construction allocates the tables and the scratch buffer (host thread). The
// transforms allocate nothing and may run on the audio thread; one thread at a time, because
// every call writes the shared scratch buffer.
#pragma once

#include <cstdint>
#include <memory>

namespace reference {

class FFTReal {
public:
    // Builds the tables for a transform of length points. A length that is not a power of two
    // (1 .. 2^30) is a programming error: it reports the failed assertion and aborts.
    explicit FFTReal(std::int32_t length);            // [host thread]
    ~FFTReal() = default;

    FFTReal(const FFTReal&) = delete;
    FFTReal& operator=(const FFTReal&) = delete;

    // Writes the spectrum of x (length doubles) into f. f and x are distinct; x is not changed.
    void forward_transform(double* f, const double* x);   // [audio thread]
    // Writes length times the signal of spectrum f into x. f is not changed.
    void inverse_transform(const double* f, double* x);   // [audio thread]

    // The tables, for inspection: entry i of the bit-reversal table is i with its _nbr_bits low
    // bits reversed; the cosine table holds cos(j pi / 2^L), level L = 3 .. _nbr_bits-1 starting
    // at index 2^(L-1) - 4. The cosine table is null below 16 points.
    const std::int32_t* bitReversalTable() const { return bitReversal.get(); }
    const double* cosineTable() const { return cosines.get(); }
    std::int32_t cosineTableLength() const { return _nbr_bits >= 4 ? (1 << (_nbr_bits - 1)) - 4 : 0; }

private:
    void forwardGeneral(double* f, const double* x);
    void inverseGeneral(const double* f, double* x);

    std::unique_ptr<std::int32_t[]> bitReversal; // length entries, bit-reversed indices
    std::unique_ptr<double[]> cosines;           // twiddle factors per level; null below 16 points
    double halfRootTwo;                          // sqrt(2) / 2, the twiddle of the 8-point stage

public:
    const std::int32_t length;                   // transform length N, a power of two
    const std::int32_t _nbr_bits;                // log2 N

private:
    std::unique_ptr<double[]> work;              // N doubles of scratch; null below 8 points
};

} // namespace reference
