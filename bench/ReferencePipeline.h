// The yardstick for the plug-in's processing time: the same signal path with the same stages
// under the same arithmetic rules, written plainly, so that the benchmark compares like with
// like. LF shelf and two high-passes in single precision, the per-capsule equaliser (allpass
// blend) in double, the matrix with its output gains in single precision, overlap-save
// convolution of 2048 points in double through FFTW, per-channel sums of squares for the meters;
// the four channels in vector lanes; compiled for AVX2 without contraction (ReferencePipeline.cpp).
//
// Its output equals the plug-in's within rounding: the sections are their difference equations
// (feed-forward sum minus feedback sum: with poles this close to z = 1, a single-precision
// high-pass magnifies any other grouping's rounding a thousandfold), the matrix folds the output
// gains and 1/sqrt 2 into its weights, and the transform is FFTW's. The benchmark prints the
// largest difference.
#pragma once

#include "engine/Engine.h"

#include <fftw3.h>

class ReferencePipeline {
public:
    // Which stages run; the meters always do, as the plug-in's.
    struct Stages {
        bool capsules = true;      // LF and equaliser
        bool matrix = true;        // matrix with output gains
        bool convolution = true;   // the post-matrix set's overlap-save convolution
    };

    // settings: the LF, equaliser and matrix values as the plug-in's engine holds them;
    // responses[k]: the post-matrix filter of output k as a 2048-point spectrum in FFTReal's
    // packed layout. Builds FFTW's plans (FFTW_MEASURE).
    ReferencePipeline(const engine::Settings& settings, const double* const responses[4], float rateHz,
                      Stages stages);
    ~ReferencePipeline();
    ReferencePipeline(const ReferencePipeline&) = delete;
    ReferencePipeline& operator=(const ReferencePipeline&) = delete;

    // Four capsule channels in, W X Y Z out (distinct buffers), any number of frames.
    void process(const float* const in[4], float* const out[4], int frames);

    // The sums of squares of the four outputs since construction.
    void meterSums(float (&sums)[4]) const;

private:
    static constexpr int kN = 2048;
    static constexpr int kHalf = kN / 2;

    void capsulePass(const float* const in[4], float* const out[4], int frames);
    void matrixPass(float* const out[4], int frames);
    void convolveBlock(int channel);
    void meterPass(float* const out[4], int frames);

    Stages stages;
    // LF sections, the same coefficients in every lane; equaliser per lane.
    float shelfB0, shelfB1, shelfA1;
    float hp[2][5];          // b0 b1 b2 a1 a2 of the two high-passes
    double eqB0[4], eqB1[4], eqA1[4], eqA2[4], eqH[4];
    bool eqOn = false, lfOn = false;
    float weights[4][4];     // [output][capsule], signs, output gains and 1/sqrt 2 folded in
    // Lane state, kept as plain arrays between calls.
    float shelfX1[4] = {}, shelfY1[4] = {};
    float hpX1[2][4] = {}, hpX2[2][4] = {}, hpY1[2][4] = {}, hpY2[2][4] = {};
    double eqS1[4] = {}, eqS2[4] = {};
    float sums[4] = {};
    // Overlap-save per output: the last 2048 inputs, the output due for the next 1024 samples.
    double* history[4];
    double* due[4];
    fftw_complex* response[4];
    fftw_complex* spectrum;
    double* result;
    fftw_plan forward, inverse;
    int position = kHalf;
};
