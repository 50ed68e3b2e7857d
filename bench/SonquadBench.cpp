// The performance figures of the plug-in, on Google Benchmark:
//  1. real-time factor of processReplacing at 48 kHz, four channels, blocks of 32 to 4096
//     samples, with every stage off, with program 0 and with every stage on;
//  2. the 2048-point real FFT pair, FFTReal's convolution and one channel's overlap-save block
//     against FFTW's double-precision plans (FFTW_MEASURE and FFTW_PATIENT), timed in the same run;
//  3. the worst processReplacing call after a set switch and after a sample-rate change, against
//     the steady-state median call, at 64-sample blocks;
//  4. the resident memory one instance adds and the time to construct one with six calibration
//     files in the calibration folder.
// The plug-in is driven through its exported entry, as a host drives it. bench/run builds this as
// the plug-in is built for use (RelWithDebInfo), runs it with repetitions and prints the table
// (bench/table.py).
#include "bench/ReferencePipeline.h"
#include "dsp/CCoincidenceFilter.h"
#include "dsp/FFTReal.h"
#include "engine/ParameterMapping.h"
#include "model/Parameters.h"
#include "tools/vsthost/PluginHost.h"

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <malloc.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr float kRate = 48000.0f;

const vsthost::PluginModule& module()
{
    static std::unique_ptr<vsthost::PluginModule> loaded = [] {
        std::string error;
        auto m = vsthost::PluginModule::open(SONQUAD_MODULE_PATH, error);
        if (!m) {
            std::fprintf(stderr, "cannot load %s: %s\n", SONQUAD_MODULE_PATH, error.c_str());
            std::exit(1);
        }
        return m;
    }();
    return *loaded;
}

// The stage settings a benchmark runs with. Capsules and CapsulesMatrix turn the stages of
// Everything on one after the other, for the breakdown by stage.
enum class Stages { Off, Program0, Capsules, CapsulesMatrix, Everything };

std::unique_ptr<vsthost::PluginInstance> configuredPlugin(Stages stages)
{
    auto plugin = vsthost::PluginInstance::create(module());
    plugin->dispatch(effSetSampleRate, 0, 0, nullptr, kRate);
    plugin->dispatch(effSetBlockSize, 0, 4096);
    switch (stages) {
    case Stages::Off:
        // A "User" program with every stage switched off and no post-matrix set.
        plugin->dispatch(effSetProgram, 0, 2);
        plugin->setParameter(param::kLfEnabled, 0.0f);
        plugin->setParameter(param::kEqsEnabled, 0.0f);
        plugin->setParameter(param::kAbMatrixEnabled, 0.0f);
        plugin->setParameter(param::kPostMatrixFilterNumber, 0.0f);
        break;
    case Stages::Program0:
        // LF stage, matrix and the "2.3cm" set.
        plugin->dispatch(effSetProgram, 0, 0);
        break;
    case Stages::Capsules:
    case Stages::CapsulesMatrix:
    case Stages::Everything:
        plugin->dispatch(effSetProgram, 0, 0);
        plugin->setParameter(param::kEqsEnabled, 1.0f);
        for (int k = 0; k < 4; ++k) {
            plugin->setParameter(param::capEqFreq(k), 0.4f + 0.05f * static_cast<float>(k));
            plugin->setParameter(param::capEqWidth(k), 0.3f);
            plugin->setParameter(param::capEqGain(k), 0.6f);
        }
        if (stages != Stages::Everything)
            plugin->setParameter(param::kPostMatrixFilterNumber, 0.0f);
        if (stages == Stages::Capsules)
            plugin->setParameter(param::kAbMatrixEnabled, 0.0f);
        break;
    }
    plugin->dispatch(effMainsChanged, 0, 1);
    return plugin;
}

// Four channels of input and separate output buffers.
struct Buffers {
    explicit Buffers(std::size_t frames) : in(4, std::vector<float>(frames)), out(4, std::vector<float>(frames))
    {
        std::mt19937 random(1);
        std::uniform_real_distribution<float> uniform(-0.5f, 0.5f);
        for (auto& channel : in)
            for (float& s : channel)
                s = uniform(random);
        for (int k = 0; k < 4; ++k) {
            inputs[k] = in[k].data();
            outputs[k] = out[k].data();
        }
    }
    std::vector<std::vector<float>> in, out;
    float* inputs[4];
    float* outputs[4];
};

double minimum(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }
double maximum(const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); }
double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

// ---- 1. Real-time factor --------------------------------------------------------------------

// Times process(inputs, outputs, frames) on blocks of state.range(0) samples of noise, after 64
// blocks of warming up; reports seconds of audio per second of processing.
template <class Process>
void timeBlocks(benchmark::State& state, Process&& process)
{
    const auto block = static_cast<int>(state.range(0));
    Buffers buffers(static_cast<std::size_t>(block));
    for (int warm = 0; warm < 64; ++warm)
        process(buffers.inputs, buffers.outputs, block);
    for (auto _ : state) {
        process(buffers.inputs, buffers.outputs, block);
        benchmark::DoNotOptimize(buffers.out[0][0]);
        benchmark::ClobberMemory();
    }
    state.counters["xRT"] = benchmark::Counter(static_cast<double>(block) / kRate,
                                               benchmark::Counter::kIsIterationInvariantRate);
}

void processReplacingAt(benchmark::State& state, Stages stages)
{
    auto plugin = configuredPlugin(stages);
    timeBlocks(state, [&](float** in, float** out, int frames) { plugin->processReplacing(in, out, frames); });
}

void BM_Process_AllOff(benchmark::State& state) { processReplacingAt(state, Stages::Off); }
void BM_Process_Program0(benchmark::State& state) { processReplacingAt(state, Stages::Program0); }
void BM_Process_Capsules(benchmark::State& state) { processReplacingAt(state, Stages::Capsules); }
void BM_Process_CapsulesMatrix(benchmark::State& state) { processReplacingAt(state, Stages::CapsulesMatrix); }
void BM_Process_Everything(benchmark::State& state) { processReplacingAt(state, Stages::Everything); }

// ---- 1b. The same-rules reference -----------------------------------------------------------
// The plug-in's settings for every stage on, as its engine holds them: the parameters read back
// through the entry and applied to an engine of our own by the same mapping.
engine::Settings everythingSettings()
{
    auto plugin = configuredPlugin(Stages::Everything);
    engine::Engine local;
    for (int p = 0; p < param::kCount; ++p)
        engine::applyParameter(local, p, plugin->getParameter(p));
    return local.controls().snapshot();
}

// The post-matrix set of program 0, "2.3cm": the W curve on output 0, the X/Y/Z curve on 1 to 3.
struct CoincidenceResponses {
    CoincidenceResponses()
    {
        for (int k = 0; k < 4; ++k) {
            filters[k] = std::make_unique<CCoincidenceFilter>(k == 0 ? 0 : 1, 2.3f, 1.0f);
            filters[k]->prepare(kRate);
            spectra[k] = filters[k]->frequencyResponse();
        }
    }
    std::unique_ptr<CCoincidenceFilter> filters[4];
    const double* spectra[4];
};

std::unique_ptr<ReferencePipeline> referencePipeline(Stages stages)
{
    static const engine::Settings settings = everythingSettings();
    static const CoincidenceResponses responses;
    ReferencePipeline::Stages on;
    on.capsules = stages != Stages::Off;
    on.matrix = stages == Stages::CapsulesMatrix || stages == Stages::Everything;
    on.convolution = stages == Stages::Everything;
    return std::make_unique<ReferencePipeline>(settings, responses.spectra, kRate, on);
}

void referenceAt(benchmark::State& state, Stages stages)
{
    auto reference = referencePipeline(stages);
    timeBlocks(state, [&](float** in, float** out, int frames) { reference->process(in, out, frames); });
}

void BM_Reference_AllOff(benchmark::State& state) { referenceAt(state, Stages::Off); }
void BM_Reference_Capsules(benchmark::State& state) { referenceAt(state, Stages::Capsules); }
void BM_Reference_CapsulesMatrix(benchmark::State& state) { referenceAt(state, Stages::CapsulesMatrix); }
void BM_Reference_Everything(benchmark::State& state) { referenceAt(state, Stages::Everything); }

// The plug-in and the reference on the same two seconds of noise in 512-sample blocks, with the
// stages turned on one after the other: the largest difference of any output sample, against the
// largest output sample, and the largest relative difference of the meters' sums.
void BM_Reference_Difference(benchmark::State& state)
{
    const Stages stages[] = {Stages::Capsules, Stages::CapsulesMatrix, Stages::Everything};
    const char* names[] = {"capsules", "matrix", "everything"};
    for (auto _ : state) {
        for (int c = 0; c < 3; ++c) {
            auto plugin = configuredPlugin(stages[c]);
            auto reference = referencePipeline(stages[c]);
            constexpr int kBlock = 512;
            Buffers buffers(kBlock), mine(kBlock);
            std::mt19937 random(7);
            std::uniform_real_distribution<float> uniform(-0.5f, 0.5f);
            double largestDifference = 0.0, largestSample = 0.0;
            float pluginSums[4] = {}, referenceSums[4];
            for (int block = 0; block < 2 * 48000 / kBlock; ++block) {
                for (auto& channel : buffers.in)
                    for (float& s : channel)
                        s = uniform(random);
                plugin->processReplacing(buffers.inputs, buffers.outputs, kBlock);
                reference->process(buffers.inputs, mine.outputs, kBlock);
                for (int k = 0; k < 4; ++k)
                    for (int i = 0; i < kBlock; ++i) {
                        const double a = buffers.out[k][i], b = mine.out[k][i];
                        largestDifference = std::max(largestDifference, std::abs(a - b));
                        largestSample = std::max(largestSample, std::abs(a));
                        pluginSums[k] += buffers.out[k][i] * buffers.out[k][i];
                    }
            }
            reference->meterSums(referenceSums);
            double sumDifference = 0.0;
            for (int k = 0; k < 4; ++k)
                sumDifference = std::max(sumDifference,
                                         std::abs(static_cast<double>(pluginSums[k]) - referenceSums[k])
                                             / std::max(1e-30, static_cast<double>(referenceSums[k])));
            const std::string name = names[c];
            state.counters[name + "_difference"] = largestDifference;
            state.counters[name + "_sample"] = largestSample;
            state.counters[name + "_meters"] = sumDifference;
        }
    }
}

// ---- 1c. The latency of one add and one multiply ---------------------------------------------
// Chains of dependent double-precision adds and multiplies, 1000 per iteration: the time of one
// link is the latency the capsule stages' recursions are bound by (their chains are adds,
// subtracts and multiplies, each of which waits for the one before). In assembly, so that no
// compiler folds the chain.
#if defined(__x86_64__)
// Eight links per statement: one per statement would time the loop around it as well.
#define EIGHT(link) link link link link link link link link
void BM_Latency_Add(benchmark::State& state)
{
    double x = 1.0;
    const double y = 0.0;
    for (auto _ : state) {
        for (int i = 0; i < 125; ++i)
            asm volatile(EIGHT("addsd %1, %0\n\t") : "+x"(x) : "x"(y));
        benchmark::DoNotOptimize(x);
    }
}

void BM_Latency_Multiply(benchmark::State& state)
{
    double x = 1.0;
    const double y = 1.0;
    for (auto _ : state) {
        for (int i = 0; i < 125; ++i)
            asm volatile(EIGHT("mulsd %1, %0\n\t") : "+x"(x) : "x"(y));
        benchmark::DoNotOptimize(x);
    }
}
#endif

// ---- 2. FFT pair and overlap-save block against FFTW -----------------------------------------

constexpr int kN = 2048;

std::vector<double> noiseDoubles(std::size_t n, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::vector<double> v(n);
    for (double& s : v)
        s = uniform(random);
    return v;
}

// N doubles from FFTW's allocator, as FFTW's own figures get them: both sides of a comparison
// read and write arrays of the same alignment (the plug-in's convolution arrays are aligned too).
struct AlignedDoubles {
    explicit AlignedDoubles(const std::vector<double>& values) : p(fftw_alloc_real(values.size()))
    {
        std::copy(values.begin(), values.end(), p);
    }
    ~AlignedDoubles() { fftw_free(p); }
    AlignedDoubles(const AlignedDoubles&) = delete;
    AlignedDoubles& operator=(const AlignedDoubles&) = delete;
    double* p;
};

void BM_FftPair_FFTReal(benchmark::State& state)
{
    FFTReal fft(kN);
    AlignedDoubles x(noiseDoubles(kN, 2)), f {std::vector<double>(kN)}, y {std::vector<double>(kN)};
    for (auto _ : state) {
        fft.forward_transform(f.p, x.p);
        fft.inverse_transform(f.p, y.p);
        benchmark::DoNotOptimize(y.p);
        benchmark::ClobberMemory();
    }
    state.SetLabel(fft.kernelName());
}

// A response whose repeated convolution keeps the signal's size: 1/N in every real part, zero
// imaginary parts (pair 0 included), so that convolving the same block again and again never
// drifts into overflow or subnormals.
constexpr double kStableGain = 1.0 / kN;

// FFTReal::convolve in place: forward transform, product with a spectrum, inverse transform.
void BM_FftConvolve_FFTReal(benchmark::State& state)
{
    FFTReal fft(kN);
    std::vector<double> response(kN, 0.0);
    std::fill(response.begin(), response.begin() + kN / 2, kStableGain);
    AlignedDoubles y(noiseDoubles(kN, 2)), h(response);
    for (auto _ : state) {
        fft.convolve(y.p, h.p);
        benchmark::DoNotOptimize(y.p);
        benchmark::ClobberMemory();
    }
    state.SetLabel(fft.kernelName());
}

// The same on FFTW: r2c, the product with the same response (N/2 + 1 complex bins), c2r.
void BM_FftConvolve_FFTW(benchmark::State& state)
{
    double* y = fftw_alloc_real(kN);
    fftw_complex* c = fftw_alloc_complex(kN / 2 + 1);
    fftw_complex* h = fftw_alloc_complex(kN / 2 + 1);
    fftw_plan forward = fftw_plan_dft_r2c_1d(kN, y, c, FFTW_MEASURE);
    fftw_plan inverse = fftw_plan_dft_c2r_1d(kN, c, y, FFTW_MEASURE | FFTW_DESTROY_INPUT);
    const std::vector<double> input = noiseDoubles(kN, 2);
    std::copy(input.begin(), input.end(), y);
    for (int k = 0; k <= kN / 2; ++k) {
        h[k][0] = kStableGain;
        h[k][1] = 0.0;
    }
    for (auto _ : state) {
        fftw_execute(forward);
        for (int k = 0; k <= kN / 2; ++k) {
            const double xr = c[k][0], xi = c[k][1], hr = h[k][0], hi = h[k][1];
            c[k][0] = xr * hr - xi * hi;
            c[k][1] = xi * hr + xr * hi;
        }
        fftw_execute(inverse);
        benchmark::DoNotOptimize(y);
        benchmark::ClobberMemory();
    }
    fftw_destroy_plan(forward);
    fftw_destroy_plan(inverse);
    fftw_free(y);
    fftw_free(c);
    fftw_free(h);
}

// Times forward then inverse on the benchmark's noise in x (inverse writing y), then destroys
// both plans.
void timePlanPair(benchmark::State& state, fftw_plan forward, fftw_plan inverse, double* x, double* y)
{
    const std::vector<double> input = noiseDoubles(kN, 2);
    std::copy(input.begin(), input.end(), x);
    for (auto _ : state) {
        fftw_execute(forward);
        fftw_execute(inverse);
        benchmark::DoNotOptimize(y);
        benchmark::ClobberMemory();
    }
    fftw_destroy_plan(forward);
    fftw_destroy_plan(inverse);
}

// FFTW's real-to-complex and complex-to-real plans of kN points, made with the given planner
// flags on arrays from FFTW's allocator; x holds the benchmark's noise (planning may overwrite
// the arrays, so it is written after).
struct FftwR2cPair {
    explicit FftwR2cPair(unsigned flags)
        : x(fftw_alloc_real(kN))
        , y(fftw_alloc_real(kN))
        , c(fftw_alloc_complex(kN / 2 + 1))
        , forward(fftw_plan_dft_r2c_1d(kN, x, c, flags))
        , inverse(fftw_plan_dft_c2r_1d(kN, c, y, flags | FFTW_DESTROY_INPUT))
    {
        const std::vector<double> input = noiseDoubles(kN, 2);
        std::copy(input.begin(), input.end(), x);
    }
    ~FftwR2cPair()
    {
        fftw_destroy_plan(forward);
        fftw_destroy_plan(inverse);
        fftw_free(x);
        fftw_free(y);
        fftw_free(c);
    }
    FftwR2cPair(const FftwR2cPair&) = delete;
    FftwR2cPair& operator=(const FftwR2cPair&) = delete;

    void run() const
    {
        fftw_execute(forward);
        fftw_execute(inverse);
        benchmark::DoNotOptimize(y);
    }

    double* x;
    double* y;
    fftw_complex* c;
    fftw_plan forward;
    fftw_plan inverse;
};

void timeR2cPair(benchmark::State& state, unsigned flags)
{
    const FftwR2cPair pair(flags);
    for (auto _ : state) {
        pair.run();
        benchmark::ClobberMemory();
    }
}

// FFTW's real-to-complex and complex-to-real plans: its fastest real transforms.
void BM_FftPair_FFTW_r2c(benchmark::State& state) { timeR2cPair(state, FFTW_MEASURE); }

// The same with FFTW_PATIENT plans: FFTW tries more algorithms and keeps the fastest it measures,
// often faster here than its FFTW_MEASURE choice. The first call plans for a few seconds; FFTW
// keeps what it found, so later calls plan at once.
void BM_FftPair_FFTW_r2c_patient(benchmark::State& state) { timeR2cPair(state, FFTW_PATIENT); }

// FFTReal's pair and FFTW's patient r2c + c2r timed alternately in one loop: each iteration
// times 32 pairs of one then 32 of the other (which goes first alternates) and keeps the ratio.
// Load from elsewhere that lasts longer than an iteration (a few hundred microseconds) falls on
// both alike, so the median of the ratios holds still where separate figures drift. The
// counters are the median ratio and its quartiles.
void BM_FftPair_Alternating(benchmark::State& state)
{
    FFTReal fft(kN);
    AlignedDoubles x(noiseDoubles(kN, 2)), f {std::vector<double>(kN)}, y {std::vector<double>(kN)};
    const FftwR2cPair theirs(FFTW_PATIENT);
    constexpr int kPairs = 32;
    auto timeOf = [&](bool mine) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kPairs; ++i) {
            if (mine) {
                fft.forward_transform(f.p, x.p);
                fft.inverse_transform(f.p, y.p);
                benchmark::DoNotOptimize(y.p);
            } else {
                theirs.run();
            }
            benchmark::ClobberMemory();
        }
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    std::vector<double> ratios;
    bool oursFirst = true;
    for (auto _ : state) {
        const double first = timeOf(oursFirst);
        const double second = timeOf(!oursFirst);
        ratios.push_back(oursFirst ? first / second : second / first);
        oursFirst = !oursFirst;
    }
    std::sort(ratios.begin(), ratios.end());
    const auto at = [&](double fraction) { return ratios[static_cast<std::size_t>(fraction * (ratios.size() - 1))]; };
    state.counters["ratio"] = at(0.5);
    state.counters["ratio_q1"] = at(0.25);
    state.counters["ratio_q3"] = at(0.75);
    state.SetLabel(fft.kernelName());
}

// FFTW's half-complex plans: the same packed layout as FFTReal's.
void BM_FftPair_FFTW_r2r(benchmark::State& state)
{
    double* x = fftw_alloc_real(kN);
    double* f = fftw_alloc_real(kN);
    double* y = fftw_alloc_real(kN);
    fftw_plan forward = fftw_plan_r2r_1d(kN, x, f, FFTW_R2HC, FFTW_MEASURE);
    fftw_plan inverse = fftw_plan_r2r_1d(kN, f, y, FFTW_HC2R, FFTW_MEASURE | FFTW_DESTROY_INPUT);
    timePlanPair(state, forward, inverse, x, y);
    fftw_free(x);
    fftw_free(f);
    fftw_free(y);
}

// One channel's overlap-save block: 1024 samples into a designed coincidence filter, which runs
// one block step (forward transform, 1024 complex products, inverse transform) per call.
void BM_OverlapSave_CFFTFilter(benchmark::State& state)
{
    CCoincidenceFilter filter(1, 2.3f, 1.0f);
    filter.prepare(kRate);
    std::vector<float> samples(1024);
    const std::vector<double> noise = noiseDoubles(1024, 3);
    for (auto _ : state) {
        for (std::size_t n = 0; n < 1024; ++n)
            samples[n] = static_cast<float>(noise[n]);
        filter.process(samples.data(), 1024);
        benchmark::DoNotOptimize(samples.data());
        benchmark::ClobberMemory();
    }
}

// The same block on FFTW: the same buffers and copies, FFTW's r2c/c2r plans in place of FFTReal.
void BM_OverlapSave_FFTW(benchmark::State& state)
{
    double* a = fftw_alloc_real(kN);
    double* b = fftw_alloc_real(kN);
    double* out = fftw_alloc_real(kN);
    fftw_complex* x = fftw_alloc_complex(kN / 2 + 1);
    fftw_complex* h = fftw_alloc_complex(kN / 2 + 1);
    fftw_plan forward = fftw_plan_dft_r2c_1d(kN, a, x, FFTW_MEASURE);
    fftw_plan inverse = fftw_plan_dft_c2r_1d(kN, x, a, FFTW_MEASURE | FFTW_DESTROY_INPUT);
    std::fill(a, a + kN, 0.0);
    std::fill(b, b + kN, 0.0);
    std::fill(out, out + kN, 0.0);
    // Any response will do for timing: a short decaying one.
    {
        std::vector<double> response(kN, 0.0);
        for (int n = 0; n < 64; ++n)
            response[n] = std::exp(-0.1 * n);
        std::copy(response.begin(), response.end(), a);
        fftw_execute(forward);
        for (int k = 0; k <= kN / 2; ++k) {
            h[k][0] = x[k][0];
            h[k][1] = x[k][1];
        }
        std::fill(a, a + kN, 0.0);
    }
    std::vector<float> samples(1024);
    const std::vector<double> noise = noiseDoubles(1024, 3);
    const double scale = 1.0 / kN;
    for (auto _ : state) {
        for (std::size_t n = 0; n < 1024; ++n)
            samples[n] = static_cast<float>(noise[n]);
        for (int n = 0; n < 1024; ++n) {
            const double in = samples[n];
            a[1024 + n] = in;
            b[1024 + n] = in;
            samples[n] = static_cast<float>(out[1024 + n]);
        }
        fftw_execute(forward);
        for (int k = 0; k <= kN / 2; ++k) {
            const double xr = x[k][0], xi = x[k][1], hr = h[k][0], hi = h[k][1];
            x[k][0] = xr * hr - xi * hi;
            x[k][1] = xi * hr + xr * hi;
        }
        fftw_execute(inverse);
        for (int k = 0; k < 1024; ++k) {
            a[k] = b[1024 + k];
            out[1024 + k] = a[1024 + k] * scale;
        }
        benchmark::DoNotOptimize(samples.data());
        benchmark::ClobberMemory();
    }
    fftw_destroy_plan(forward);
    fftw_destroy_plan(inverse);
    fftw_free(a);
    fftw_free(b);
    fftw_free(out);
    fftw_free(x);
    fftw_free(h);
}

// ---- 3. Calls around a set switch and a rate change ------------------------------------------

// This thread's processor time in microseconds: on a machine shared with other work, time spent
// waiting for the processor would otherwise count as a slow call.
double threadMicroseconds()
{
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) * 1e-3;
}

double timedCall(vsthost::PluginInstance& plugin, Buffers& buffers, VstInt32 frames)
{
    const double start = threadMicroseconds();
    plugin.processReplacing(buffers.inputs, buffers.outputs, frames);
    return threadMicroseconds() - start;
}

// Runs the event `events` times; after each, times the next `window` calls (two overlap-save
// blocks at 64 samples) and keeps the worst. The same windows without an event give the
// steady-state figures. Reports the medians over the windows, so that one preemption by another
// process does not decide the figure.
template <typename Event>
void aroundEvent(benchmark::State& state, Event event)
{
    constexpr VstInt32 kBlock = 64;
    constexpr int kWindow = 32;
    constexpr int kEvents = 24;
    for (auto _ : state) {
        auto plugin = configuredPlugin(Stages::Everything);
        Buffers buffers(kBlock);
        for (int n = 0; n < 256; ++n)
            plugin->processReplacing(buffers.inputs, buffers.outputs, kBlock);

        std::vector<double> steadyCalls, steadyWorst, eventWorst, hostCall;
        for (int round = 0; round < kEvents; ++round) {
            double worst = 0.0;
            for (int n = 0; n < kWindow; ++n) {
                const double t = timedCall(*plugin, buffers, kBlock);
                steadyCalls.push_back(t);
                worst = std::max(worst, t);
            }
            steadyWorst.push_back(worst);

            const double start = threadMicroseconds();
            event(*plugin, round);
            hostCall.push_back(threadMicroseconds() - start);

            worst = 0.0;
            for (int n = 0; n < kWindow; ++n)
                worst = std::max(worst, timedCall(*plugin, buffers, kBlock));
            eventWorst.push_back(worst);
        }
        const double medianCall = median(steadyCalls);
        state.counters["median_call_us"] = medianCall;
        state.counters["steady_worst_x"] = median(steadyWorst) / medianCall;
        state.counters["event_worst_x"] = median(eventWorst) / medianCall;
        state.counters["event_vs_steady_worst"] = median(eventWorst) / median(steadyWorst);
        state.counters["host_call_us"] = median(hostCall);
    }
}

void BM_AroundSetSwitch(benchmark::State& state)
{
    // "1.47cm" and "2.3cm" in turn, as a host automating "PostMatrix Filter Number" does.
    aroundEvent(state, [](vsthost::PluginInstance& plugin, int round) {
        plugin.setParameter(param::kPostMatrixFilterNumber, round % 2 ? 2.0f / 7.0f + 0.01f : 1.0f / 7.0f + 0.01f);
    });
}

void BM_AroundRateChange(benchmark::State& state)
{
    // 44100 and 48000 Hz in turn, suspended around the change as hosts do it.
    aroundEvent(state, [](vsthost::PluginInstance& plugin, int round) {
        plugin.dispatch(effMainsChanged, 0, 0);
        plugin.dispatch(effSetSampleRate, 0, 0, nullptr, round % 2 ? 48000.0f : 44100.0f);
        plugin.dispatch(effMainsChanged, 0, 1);
    });
}

// ---- 4. Memory and construction --------------------------------------------------------------

double residentKiB()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1024.0;
}

// The bytes the heap has handed out and not taken back (small blocks and mapped ones), KiB. Unlike
// the resident size it does not depend on whether earlier figures left freed pages to reuse.
double heldKiB()
{
    const struct mallinfo2 info = mallinfo2();
    return static_cast<double>(info.uordblks + info.hblkhd) / 1024.0;
}

void BM_InstanceMemory(benchmark::State& state)
{
    for (auto _ : state) {
        // The first instance brings the module's code and the runtime's pools in; the figure is
        // what a further instance adds, created, set to 48 kHz and run for a few blocks.
        auto first = configuredPlugin(Stages::Everything);
        Buffers buffers(512);
        first->processReplacing(buffers.inputs, buffers.outputs, 512);
        const double before = residentKiB(), heldBefore = heldKiB();
        auto second = configuredPlugin(Stages::Everything);
        const double created = residentKiB(), heldCreated = heldKiB();
        for (int n = 0; n < 8; ++n)
            second->processReplacing(buffers.inputs, buffers.outputs, 512);
        const double running = residentKiB(), heldRunning = heldKiB();
        state.counters["created_KiB"] = created - before;
        state.counters["running_KiB"] = running - before;
        state.counters["held_created_KiB"] = heldCreated - heldBefore;
        state.counters["held_running_KiB"] = heldRunning - heldBefore;
    }
}

// Calibration folders: an empty one for every figure but the construction time, which reads the
// one with six calibrations.
std::string emptyCalibrationFolder, sixCalibrationsFolder;

// Uses the folder with six calibrations while it lives.
struct SixCalibrations {
    SixCalibrations() { setenv("SONQUAD_CALIBRATION_DIR", sixCalibrationsFolder.c_str(), 1); }
    ~SixCalibrations() { setenv("SONQUAD_CALIBRATION_DIR", emptyCalibrationFolder.c_str(), 1); }
};

void BM_Construct(benchmark::State& state)
{
    SixCalibrations folder;
    for (auto _ : state) {
        auto plugin = vsthost::PluginInstance::create(module());
        benchmark::DoNotOptimize(plugin.get());
        state.PauseTiming();
        plugin.reset();
        state.ResumeTiming();
    }
    // How many of the six calibrations became programs (0 while the folder scan is not wired).
    auto plugin = vsthost::PluginInstance::create(module());
    int found = 0;
    for (int p = 0; p < 8; ++p) {
        plugin->dispatch(effSetProgram, 0, p);
        found += plugin->programName().rfind("Mic ", 0) == 0 ? 1 : 0;
    }
    state.counters["calibration_programs"] = found;
}

// Six small valid text calibrations in a fresh folder, and an empty folder beside it.
void writeCalibrationFolders()
{
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / ("sonquad-bench-" + std::to_string(getpid()));
    const fs::path six = root / "six";
    fs::create_directories(six);
    fs::create_directories(root / "empty");
    for (int i = 1; i <= 6; ++i) {
        std::ofstream file(six / ("Mic " + std::to_string(i) + ".txt"));
        file << "sens 0 0.5 -0.5 0\n"
             << "vsens 0 0 0 0\n"
             << "EQ 1 -1 0.5 0\n"
             << "EQfreq 8000 8000 9000 9000\n"
             << "EQbw 2000 2000 2000 2000\n"
             << "W 0\n"
             << "X 0\n"
             << "Y 0\n"
             << "Z 0\n"
             << "LF 30 50\n";
    }
    sixCalibrationsFolder = six.string();
    emptyCalibrationFolder = (root / "empty").string();
    setenv("SONQUAD_CALIBRATION_DIR", emptyCalibrationFolder.c_str(), 1);
    static const std::string removeRoot = root.string();
    std::atexit([] { std::filesystem::remove_all(removeRoot); });
}

void statistics(benchmark::internal::Benchmark* b)
{
    b->ComputeStatistics("min", minimum)->ComputeStatistics("max", maximum);
}

} // namespace

BENCHMARK(BM_Process_AllOff)->Arg(32)->Arg(128)->Arg(512)->Arg(4096)->Apply(statistics);
BENCHMARK(BM_Process_Program0)->Arg(32)->Arg(128)->Arg(512)->Arg(4096)->Apply(statistics);
BENCHMARK(BM_Process_Capsules)->Arg(32)->Arg(128)->Arg(512)->Arg(4096)->Apply(statistics);
BENCHMARK(BM_Process_CapsulesMatrix)->Arg(32)->Arg(128)->Arg(512)->Arg(4096)->Apply(statistics);
BENCHMARK(BM_Process_Everything)->Arg(32)->Arg(128)->Arg(512)->Arg(4096)->Apply(statistics);
BENCHMARK(BM_Reference_AllOff)->Arg(32)->Arg(128)->Arg(512)->Arg(4096)->Apply(statistics);
BENCHMARK(BM_Reference_Capsules)->Arg(32)->Arg(128)->Arg(512)->Arg(4096)->Apply(statistics);
BENCHMARK(BM_Reference_CapsulesMatrix)->Arg(32)->Arg(128)->Arg(512)->Arg(4096)->Apply(statistics);
BENCHMARK(BM_Reference_Everything)->Arg(32)->Arg(128)->Arg(512)->Arg(4096)->Apply(statistics);
BENCHMARK(BM_Reference_Difference)->Iterations(1)->Unit(benchmark::kMillisecond)->Apply(statistics);
#if defined(__x86_64__)
BENCHMARK(BM_Latency_Add)->Apply(statistics);
BENCHMARK(BM_Latency_Multiply)->Apply(statistics);
#endif
BENCHMARK(BM_FftPair_FFTReal)->Apply(statistics);
BENCHMARK(BM_FftPair_FFTW_r2c)->Apply(statistics);
BENCHMARK(BM_FftPair_FFTW_r2r)->Apply(statistics);
BENCHMARK(BM_FftPair_FFTW_r2c_patient)->Apply(statistics);
BENCHMARK(BM_FftPair_Alternating)->Apply(statistics);
BENCHMARK(BM_FftConvolve_FFTReal)->Apply(statistics);
BENCHMARK(BM_FftConvolve_FFTW)->Apply(statistics);
BENCHMARK(BM_OverlapSave_CFFTFilter)->Apply(statistics);
BENCHMARK(BM_OverlapSave_FFTW)->Apply(statistics);
BENCHMARK(BM_AroundSetSwitch)->Iterations(1)->Unit(benchmark::kMillisecond)->Apply(statistics);
BENCHMARK(BM_AroundRateChange)->Iterations(1)->Unit(benchmark::kMillisecond)->Apply(statistics);
BENCHMARK(BM_InstanceMemory)->Iterations(1)->Unit(benchmark::kMillisecond)->Apply(statistics);
BENCHMARK(BM_Construct)->Unit(benchmark::kMicrosecond)->Apply(statistics);

int main(int argc, char** argv)
{
    writeCalibrationFolders();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
