// What many tests need, written once: a temporary folder per test, an environment variable set for
// a scope, the plug-in's messages collected, reproducible noise, four-channel buffers and their
// comparison bit for bit; and the references the signal tests measure against, computed the
// plain way: a naive DFT, direct convolution, responses of analogue prototypes.
#pragma once

#include "platform/platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>
#include <unistd.h>

namespace testsupport {

namespace fs = std::filesystem;

// A folder of its own for one test, removed afterwards. Its path holds no sample-rate code
// ("W48", "VEL96", ...), so only the coefficient file names decide the rates.
class TempFolder {
public:
    TempFolder()
    {
        static int counter = 0;
        path = fs::temp_directory_path() / ("sonquad-test-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~TempFolder() { std::error_code ignored; fs::remove_all(path, ignored); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    std::string str() const { return path.string(); }
    fs::path operator/(const std::string& name) const { return path / name; }

    fs::path path;
};

inline void writeBytes(const fs::path& file, const std::vector<unsigned char>& bytes)
{
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline void writeText(const fs::path& file, const std::string& text)
{
    writeBytes(file, std::vector<unsigned char>(text.begin(), text.end()));
}

// Sets (or, with nullopt, removes) an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name(name)
    {
        if (const char* old = std::getenv(name))
            previous = old;
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv() { previous ? ::setenv(name, previous->c_str(), 1) : ::unsetenv(name); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name;
    std::optional<std::string> previous;
};

// Collects what the platform message function shows; every message carries the product's caption.
class MessageCapture {
public:
    MessageCapture() { platform::setMessageSink(&MessageCapture::collect, this); }
    ~MessageCapture() { platform::setMessageSink(nullptr, nullptr); }
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;
    std::vector<std::string> texts;

private:
    static void collect(void* context, const char* caption, const char* text)
    {
        EXPECT_STREQ(caption, "SonquadVST");
        static_cast<MessageCapture*>(context)->texts.emplace_back(text);
    }
};

using Buffers = std::vector<std::vector<float>>;

// Uniform noise in [-amplitude, amplitude), the same for a seed on every run.
inline std::vector<float> noise(std::size_t frames, unsigned seed, float amplitude = 0.5f)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> uniform(-amplitude, amplitude);
    std::vector<float> samples(frames);
    for (float& s : samples)
        s = uniform(random);
    return samples;
}

// Four channels of noise, each with its own seed.
inline Buffers noise4(std::size_t frames, unsigned seed, float amplitude = 0.5f)
{
    Buffers buffers;
    for (unsigned k = 0; k < 4; ++k)
        buffers.push_back(noise(frames, seed * 4 + k, amplitude));
    return buffers;
}

// Every channel equal bit for bit (so -0 and +0 differ, and a NaN equals itself).
inline ::testing::AssertionResult bitIdentical(const Buffers& actual, const Buffers& expected)
{
    if (actual.size() != expected.size())
        return ::testing::AssertionFailure() << actual.size() << " channels against " << expected.size();
    for (std::size_t k = 0; k < actual.size(); ++k) {
        if (actual[k].size() != expected[k].size())
            return ::testing::AssertionFailure() << "channel " << k << " has " << actual[k].size() << " samples, not "
                                                 << expected[k].size();
        for (std::size_t n = 0; n < actual[k].size(); ++n)
            if (std::memcmp(&actual[k][n], &expected[k][n], sizeof(float)) != 0)
                return ::testing::AssertionFailure() << "channel " << k << " sample " << n << ": " << actual[k][n]
                                                     << " against " << expected[k][n];
    }
    return ::testing::AssertionSuccess();
}

constexpr double kPi = 3.14159265358979323846;

// The first length samples of the response to a unit impulse, run through process in blocks.
template <class Filter>
std::vector<float> impulseResponse(Filter& filter, std::size_t length, std::size_t block = 4096)
{
    std::vector<float> h(length, 0.0f);
    h[0] = 1.0f;
    for (std::size_t start = 0; start < length; start += block)
        filter.process(h.data() + start, static_cast<std::int32_t>(std::min(block, length - start)));
    return h;
}

// x run through process in consecutive calls of the given lengths, cycling until x is done.
template <class Filter>
void processInBlocks(Filter& filter, std::vector<float>& x, const std::vector<std::int32_t>& blocks)
{
    std::size_t done = 0;
    for (std::size_t i = 0; done < x.size(); ++i) {
        const auto n = std::min<std::size_t>(static_cast<std::size_t>(blocks[i % blocks.size()]), x.size() - done);
        filter.process(x.data() + done, static_cast<std::int32_t>(n));
        done += n;
    }
}

// Sum of h[n] e^(-j 2 pi f n / fs) in double precision: the DFT of h at any frequency.
template <class T>
std::complex<double> responseAt(const std::vector<T>& h, double freqHz, double rateHz)
{
    const double w = 2.0 * kPi * freqHz / rateHz;
    std::complex<double> sum = 0.0;
    for (std::size_t n = 0; n < h.size(); ++n)
        if (h[n] != T(0))
            sum += static_cast<double>(h[n]) * std::polar(1.0, -w * static_cast<double>(n));
    return sum;
}

// The DFT of x by its definition in long double, in the packed real layout of the product's
// transform: f[k] = sum x cos (k = 0 .. N/2), f[N/2 + k] = sum x sin (k = 1 .. N/2 - 1).
inline std::vector<double> naiveDft(const std::vector<double>& x)
{
    const std::size_t n = x.size();
    constexpr long double kTwoPi = 6.283185307179586476925286766559L;
    std::vector<long double> cosine(n), sine(n);
    for (std::size_t m = 0; m < n; ++m)
        cosine[m] = std::cos(kTwoPi * m / n), sine[m] = std::sin(kTwoPi * m / n);
    std::vector<double> f(n, 0.0);
    for (std::size_t k = 0; k <= n / 2 && k < n; ++k) {
        long double re = 0.0L, im = 0.0L;
        for (std::size_t t = 0; t < n; ++t) {
            re += x[t] * cosine[(k * t) % n];
            im += x[t] * sine[(k * t) % n];
        }
        f[k] = static_cast<double>(re);
        if (k > 0 && k < n / 2)
            f[n / 2 + k] = static_cast<double>(im);
    }
    return f;
}

// y[n] = sum h[m] x[n - m], as long as x, in double precision.
inline std::vector<double> directConvolution(const std::vector<float>& x, const std::vector<double>& h)
{
    std::vector<double> y(x.size(), 0.0);
    for (std::size_t n = 0; n < x.size(); ++n)
        for (std::size_t m = 0; m < h.size() && m <= n; ++m)
            y[n] += h[m] * static_cast<double>(x[n - m]);
    return y;
}

// Analogue prototypes where the bilinear transform pre-warped at the corner maps freqHz:
// s = j tan(pi f / fs), each corner w = tan(pi fc / fs).
inline std::complex<double> warpedS(double freqHz, double rateHz) { return {0.0, std::tan(kPi * freqHz / rateHz)}; }
inline double warped(double freqHz, double rateHz) { return std::tan(kPi * freqHz / rateHz); }
inline std::complex<double> highPass2(std::complex<double> s, double w, double d) { return s * s / (s * s + d * w * s + w * w); }
inline std::complex<double> lowShelf(std::complex<double> s, double wPole, double wZero) { return (s + wZero) / (s + wPole); }

// How far the LF filter may stray from its prototype: each single-precision section rounds 2^-24
// of the signal, amplified by 1/|D(e^jw)| of its denominator normalised to a leading 1 (about 1e5
// for a 20 Hz high-pass at 48 kHz), and passed on through the sections after it (gains below 3).
inline double lfRounding(double freqHz, double rateHz, double cutHz, double boostHz, double damping)
{
    const std::complex<double> s = warpedS(freqHz, rateHz);
    const double w = warped(cutHz, rateHz), c = std::cos(kPi * freqHz / rateHz), unit = 8.0 * std::ldexp(1.0, -24);
    auto highPass = [&](double d) { return unit * 3.0 * (w * w + d * w + 1.0) / (4.0 * c * c * std::abs(s * s + d * w * s + w * w)); };
    return unit * 2.0 * (1.0 + warped(boostHz, rateHz) / w) * (1.0 + w) / (2.0 * c * std::abs(s + w)) + highPass(damping) + highPass(1.618);
}

inline double dbToGain(double dB) { return std::pow(10.0, dB / 20.0); }

} // namespace testsupport
