// The same-rules reference, compiled with -mavx2 -ffp-contract=off (bench/CMakeLists.txt). The
// vector types' operators are the compiler's element-wise ones: one instruction per operation.
#include "bench/ReferencePipeline.h"

#include "dsp/CLFFilter.h"
#include "dsp/Decibel.h"
#include "dsp/Sections.h"

#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

__m128 load4(const float (&v)[4]) { return _mm_loadu_ps(v); }
void store4(float (&v)[4], __m128 x) { _mm_storeu_ps(v, x); }

// Sample i of the four channels as one vector, and back.
__m128 gather(const float* const channels[4], int i)
{
    return _mm_setr_ps(channels[0][i], channels[1][i], channels[2][i], channels[3][i]);
}
void scatter(float* const channels[4], int i, __m128 x)
{
    alignas(16) float v[4];
    _mm_store_ps(v, x);
    for (int k = 0; k < 4; ++k)
        channels[k][i] = v[k];
}

} // namespace

ReferencePipeline::ReferencePipeline(const engine::Settings& s, const double* const responses[4], float rateHz,
                                     Stages which)
    : stages(which)
{
    lfOn = s.lfOn;
    eqOn = s.eqOn;
    const sections::ShelfDesign shelf = sections::designLowShelf(s.lfCutHz, s.lfBoostHz, rateHz);
    shelfB0 = shelf.b0;
    shelfB1 = shelf.b1;
    shelfA1 = shelf.a1;
    const float damping[2] = {CLFFilter::dampingForCut(s.lfCutHz), CLFFilter::kHighDamping};
    for (int j = 0; j < 2; ++j) {
        const sections::HighPassDesign d = sections::designHighPass(s.lfCutHz, damping[j], rateHz);
        const float c[5] = {d.b0, d.b1, d.b2, d.a1, d.a2};
        std::copy(c, c + 5, hp[j]);
    }
    for (int k = 0; k < 4; ++k) {
        const float bandwidth = sections::octavesToBandwidthHz(s.eqFreqHz[k], s.eqWidthOctaves[k]);
        const sections::PeakingDesign d = sections::designPeaking(s.eqFreqHz[k], bandwidth, s.eqGainDb[k], false, rateHz);
        eqB0[k] = d.b0;
        eqB1[k] = d.b1;
        eqA1[k] = d.a1;
        eqA2[k] = d.a2;
        eqH[k] = static_cast<double>(dbToLinear(s.eqGainDb[k]) * 0.5f);
    }
    // W X Y Z from A B C D: the fixed signs, each weight's calibrated magnitude, the output gain,
    // and 1/sqrt 2 on W.
    static constexpr float kSign[4][4] = {{1, 1, 1, 1}, {1, 1, -1, -1}, {1, -1, 1, -1}, {1, -1, -1, 1}};
    for (int o = 0; o < 4; ++o)
        for (int k = 0; k < 4; ++k) {
            double w = kSign[o][k] * dbToLinear(s.capOutGainDb[k][o]) * dbToLinear(s.outputGainDb[o]);
            if (o == 0)
                w /= std::sqrt(2.0);
            weights[o][k] = static_cast<float>(w);
        }

    spectrum = fftw_alloc_complex(kHalf + 1);
    result = fftw_alloc_real(kN);
    for (int k = 0; k < 4; ++k) {
        history[k] = fftw_alloc_real(kN);
        due[k] = fftw_alloc_real(kHalf);
        response[k] = fftw_alloc_complex(kHalf + 1);
    }
    // Planning overwrites the arrays; they are filled afterwards.
    forward = fftw_plan_dft_r2c_1d(kN, history[0], spectrum, FFTW_MEASURE);
    inverse = fftw_plan_dft_c2r_1d(kN, spectrum, result, FFTW_MEASURE);
    for (int k = 0; k < 4; ++k) {
        std::fill(history[k], history[k] + kN, 0.0);
        std::fill(due[k], due[k] + kHalf, 0.0);
        // FFTReal's packed layout holds Re at [j] and -Im at [N/2 + j]; DC and Nyquist at [0]
        // and [N/2], whose pair the plug-in multiplies as one complex number (see convolveBlock).
        const double* h = responses[k];
        response[k][0][0] = h[0];
        response[k][0][1] = h[kHalf];
        response[k][kHalf][0] = h[kHalf];
        response[k][kHalf][1] = 0.0;
        for (int j = 1; j < kHalf; ++j) {
            response[k][j][0] = h[j];
            response[k][j][1] = -h[kHalf + j];
        }
    }
}

ReferencePipeline::~ReferencePipeline()
{
    fftw_destroy_plan(forward);
    fftw_destroy_plan(inverse);
    for (int k = 0; k < 4; ++k) {
        fftw_free(history[k]);
        fftw_free(due[k]);
        fftw_free(response[k]);
    }
    fftw_free(spectrum);
    fftw_free(result);
}

void ReferencePipeline::process(const float* const in[4], float* const out[4], int frames)
{
    if (frames <= 0)
        return;
    if (stages.capsules)
        capsulePass(in, out, frames);
    else
        for (int k = 0; k < 4; ++k)
            std::memcpy(out[k], in[k], sizeof(float) * static_cast<std::size_t>(frames));
    if (stages.matrix)
        matrixPass(out, frames);
    if (stages.convolution) {
        // All four channels advance together through the blocks of 1024.
        int done = 0;
        while (done < frames) {
            const int run = std::min(frames - done, kN - position);
            for (int k = 0; k < 4; ++k) {
                double* x = history[k] + position;
                const double* y = due[k] + position - kHalf;
                float* samples = out[k] + done;
                for (int i = 0; i < run; ++i) {
                    x[i] = samples[i];
                    samples[i] = static_cast<float>(y[i]);
                }
            }
            done += run;
            position += run;
            if (position == kN) {
                for (int k = 0; k < 4; ++k)
                    convolveBlock(k);
                position = kHalf;
            }
        }
    }
    meterPass(out, frames);
}

void ReferencePipeline::capsulePass(const float* const in[4], float* const out[4], int frames)
{
    const __m128 sb0 = _mm_set1_ps(shelfB0), sb1 = _mm_set1_ps(shelfB1), sa1 = _mm_set1_ps(shelfA1);
    __m128 b0[2], b1[2], b2[2], a1[2], a2[2], x1[2], x2[2], y1[2], y2[2];
    for (int j = 0; j < 2; ++j) {
        b0[j] = _mm_set1_ps(hp[j][0]);
        b1[j] = _mm_set1_ps(hp[j][1]);
        b2[j] = _mm_set1_ps(hp[j][2]);
        a1[j] = _mm_set1_ps(hp[j][3]);
        a2[j] = _mm_set1_ps(hp[j][4]);
        x1[j] = load4(hpX1[j]);
        x2[j] = load4(hpX2[j]);
        y1[j] = load4(hpY1[j]);
        y2[j] = load4(hpY2[j]);
    }
    __m128 sx1 = load4(shelfX1), sy1 = load4(shelfY1);
    const __m256d eb0 = _mm256_loadu_pd(eqB0), eb1 = _mm256_loadu_pd(eqB1), ea1 = _mm256_loadu_pd(eqA1),
                  ea2 = _mm256_loadu_pd(eqA2), eh = _mm256_loadu_pd(eqH), half = _mm256_set1_pd(0.5);
    __m256d s1 = _mm256_loadu_pd(eqS1), s2 = _mm256_loadu_pd(eqS2);
    const bool lf = lfOn, eq = eqOn;

    // One time step of the four capsules: shelf, two high-passes, equaliser.
    auto step = [&](__m128 x) {
        if (lf) {
            const __m128 ys = sb0 * x + sb1 * sx1 - sa1 * sy1;
            sx1 = x;
            sy1 = ys;
            x = ys;
            for (int j = 0; j < 2; ++j) {
                const __m128 y = (b0[j] * x + b1[j] * x1[j] + b2[j] * x2[j]) - (a1[j] * y1[j] + a2[j] * y2[j]);
                x2[j] = x1[j];
                x1[j] = x;
                y2[j] = y1[j];
                y1[j] = y;
                x = y;
            }
        }
        if (eq) {
            const __m256d d = _mm256_cvtps_pd(x);
            const __m256d y = eb0 * d + s1;
            s1 = eb1 * d - ea1 * y + s2;
            s2 = d - ea2 * y;
            x = _mm256_cvtpd_ps((d - y) * eh + (y + d) * half);
        }
        return x;
    };

    int i = 0;
    for (; i + 4 <= frames; i += 4) {
        __m128 r0 = _mm_loadu_ps(in[0] + i), r1 = _mm_loadu_ps(in[1] + i);
        __m128 r2 = _mm_loadu_ps(in[2] + i), r3 = _mm_loadu_ps(in[3] + i);
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
        r0 = step(r0);
        r1 = step(r1);
        r2 = step(r2);
        r3 = step(r3);
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
        _mm_storeu_ps(out[0] + i, r0);
        _mm_storeu_ps(out[1] + i, r1);
        _mm_storeu_ps(out[2] + i, r2);
        _mm_storeu_ps(out[3] + i, r3);
    }
    for (; i < frames; ++i)
        scatter(out, i, step(gather(in, i)));

    store4(shelfX1, sx1);
    store4(shelfY1, sy1);
    for (int j = 0; j < 2; ++j) {
        store4(hpX1[j], x1[j]);
        store4(hpX2[j], x2[j]);
        store4(hpY1[j], y1[j]);
        store4(hpY2[j], y2[j]);
    }
    _mm256_storeu_pd(eqS1, s1);
    _mm256_storeu_pd(eqS2, s2);
}

void ReferencePipeline::matrixPass(float* const out[4], int frames)
{
    __m256 w[4][4];
    for (int o = 0; o < 4; ++o)
        for (int k = 0; k < 4; ++k)
            w[o][k] = _mm256_set1_ps(weights[o][k]);
    int i = 0;
    for (; i + 8 <= frames; i += 8) {
        const __m256 a = _mm256_loadu_ps(out[0] + i), b = _mm256_loadu_ps(out[1] + i);
        const __m256 c = _mm256_loadu_ps(out[2] + i), d = _mm256_loadu_ps(out[3] + i);
        for (int o = 0; o < 4; ++o)
            _mm256_storeu_ps(out[o] + i, a * w[o][0] + b * w[o][1] + c * w[o][2] + d * w[o][3]);
    }
    for (; i < frames; ++i) {
        const float a = out[0][i], b = out[1][i], c = out[2][i], d = out[3][i];
        for (int o = 0; o < 4; ++o)
            out[o][i] = a * weights[o][0] + b * weights[o][1] + c * weights[o][2] + d * weights[o][3];
    }
}

// One overlap-save step of output k: the last 2048 inputs through the response, the alias-free
// half becomes the output of the next 1024 samples.
void ReferencePipeline::convolveBlock(int k)
{
    fftw_execute_dft_r2c(forward, history[k], spectrum);
    const fftw_complex* h = response[k];
    // DC and Nyquist as one complex pair, as the plug-in's convolution multiplies them.
    const double dc = spectrum[0][0], nyquist = spectrum[kHalf][0];
    spectrum[0][0] = dc * h[0][0] - nyquist * h[0][1];
    spectrum[kHalf][0] = nyquist * h[0][0] + dc * h[0][1];
    spectrum[kHalf][1] = 0.0;
    for (int j = 1; j < kHalf; ++j) {
        const double xr = spectrum[j][0], xi = spectrum[j][1];
        spectrum[j][0] = xr * h[j][0] - xi * h[j][1];
        spectrum[j][1] = xr * h[j][1] + xi * h[j][0];
    }
    fftw_execute_dft_c2r(inverse, spectrum, result);
    const double scale = 1.0 / kN;
    for (int j = 0; j < kHalf; ++j)
        due[k][j] = result[kHalf + j] * scale;
    std::memcpy(history[k], history[k] + kHalf, sizeof(double) * kHalf);
}

void ReferencePipeline::meterPass(float* const out[4], int frames)
{
    __m128 sum = load4(sums);
    int i = 0;
    for (; i + 4 <= frames; i += 4) {
        __m128 r0 = _mm_loadu_ps(out[0] + i), r1 = _mm_loadu_ps(out[1] + i);
        __m128 r2 = _mm_loadu_ps(out[2] + i), r3 = _mm_loadu_ps(out[3] + i);
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
        sum = sum + r0 * r0;
        sum = sum + r1 * r1;
        sum = sum + r2 * r2;
        sum = sum + r3 * r3;
    }
    for (; i < frames; ++i) {
        const __m128 x = gather(out, i);
        sum = sum + x * x;
    }
    store4(sums, sum);
}

void ReferencePipeline::meterSums(float (&out)[4]) const { std::copy(sums, sums + 4, out); }
