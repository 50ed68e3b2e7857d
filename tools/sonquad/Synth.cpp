#include "tools/sonquad/Synth.h"

#include "dsp/FFTReal.h"
#include "tools/sonquad/CliError.h"
#include "tools/sonquad/Text.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace cli {

namespace {

constexpr double kPi = 3.14159265358979323846;

double radians(double degrees) { return degrees * kPi / 180.0; }
double degrees(double radians) { return radians * 180.0 / kPi; }

std::size_t nextPowerOfTwo(std::size_t n)
{
    std::size_t p = 1;
    while (p < n)
        p <<= 1;
    return p;
}

// Gain of a raised-cosine fade at frame n of a slot of length frames with fades of fade frames.
double fadeGain(std::size_t n, std::size_t frames, std::size_t fade)
{
    if (fade == 0)
        return 1.0;
    const std::size_t fromEnd = frames - 1 - n;
    const std::size_t edge = std::min(n, fromEnd);
    if (edge >= fade)
        return 1.0;
    return 0.5 - 0.5 * std::cos(kPi * (static_cast<double>(edge) + 0.5) / static_cast<double>(fade));
}

// One source's signal at the centre of the microphone, over the whole transform length
// (zero outside its slot).
std::vector<double> sourceSignal(const SynthSettings& settings, std::size_t index, std::size_t frames,
                                 std::size_t length, FFTReal& fft)
{
    const Slot slot = sourceSlot(settings, index, frames);
    const std::size_t slotFrames = slot.end - slot.begin;
    const double rms = std::pow(10.0, settings.levelDb / 20.0);
    const double rate = settings.rate;
    std::vector<double> signal(length, 0.0);
    if (slotFrames == 0)
        return signal;

    switch (settings.signal) {
    case TestSignal::kTone:
        for (std::size_t n = 0; n < slotFrames; ++n)
            signal[slot.begin + n] = std::sqrt(2.0) * rms * std::sin(2.0 * kPi * settings.toneHz * static_cast<double>(n) / rate);
        break;
    case TestSignal::kSweep: {
        // Exponential sweep over the slot from 20 Hz to 20 kHz (or 0.45 of the rate).
        const double f1 = 20.0;
        const double f2 = std::min(20000.0, 0.45 * rate);
        const double duration = static_cast<double>(slotFrames) / rate;
        const double k = duration / std::log(f2 / f1);
        for (std::size_t n = 0; n < slotFrames; ++n) {
            const double t = static_cast<double>(n) / rate;
            signal[slot.begin + n] = std::sqrt(2.0) * rms * std::sin(2.0 * kPi * f1 * k * (std::exp(t / k) - 1.0));
        }
        break;
    }
    case TestSignal::kPinkNoise: {
        // White Gaussian noise shaped to 1/f power (-3 dB per octave) above 20 Hz, nothing below,
        // then cut to the slot.
        std::mt19937_64 generator(settings.seed * 0x9E3779B97F4A7C15ull + index);
        std::normal_distribution<double> normal(0.0, 1.0);
        std::vector<double> white(length);
        for (double& sample : white)
            sample = normal(generator);
        std::vector<double> spectrum(length);
        fft.forward_transform(spectrum.data(), white.data());
        const std::size_t half = length / 2;
        for (std::size_t k = 0; k <= half; ++k) {
            const double hz = static_cast<double>(k) * rate / static_cast<double>(length);
            const double gain = hz < 20.0 || k == half ? 0.0 : std::sqrt(20.0 / hz);
            spectrum[k] *= gain;
            if (k > 0 && k < half)
                spectrum[half + k] *= gain;
        }
        fft.inverse_transform(spectrum.data(), white.data());
        double sum = 0.0;
        for (std::size_t n = 0; n < slotFrames; ++n)
            sum += white[slot.begin + n] * white[slot.begin + n];
        const double scale = sum > 0.0 ? rms / std::sqrt(sum / static_cast<double>(slotFrames)) : 0.0;
        for (std::size_t n = 0; n < slotFrames; ++n)
            signal[slot.begin + n] = white[slot.begin + n] * scale;
        break;
    }
    }
    const std::size_t fade = std::min(slotFrames / 4, static_cast<std::size_t>(std::lround(settings.fadeMs * rate / 1000.0)));
    for (std::size_t n = 0; n < slotFrames; ++n)
        signal[slot.begin + n] *= settings.sources[index].gain * fadeGain(n, slotFrames, fade);
    return signal;
}

} // namespace

Vec3 directionVector(double azimuthDeg, double elevationDeg)
{
    const double az = radians(azimuthDeg);
    const double el = radians(elevationDeg);
    return {std::cos(el) * std::cos(az), std::cos(el) * std::sin(az), std::sin(el)};
}

void directionAngles(const Vec3& v, double& azimuthDeg, double& elevationDeg)
{
    azimuthDeg = degrees(std::atan2(v[1], v[0]));
    elevationDeg = degrees(std::atan2(v[2], std::hypot(v[0], v[1])));
}

double angleBetween(double azimuth1Deg, double elevation1Deg, double azimuth2Deg, double elevation2Deg)
{
    const Vec3 a = directionVector(azimuth1Deg, elevation1Deg);
    const Vec3 b = directionVector(azimuth2Deg, elevation2Deg);
    // atan2 of |a x b| and a . b: accurate for small and large angles alike.
    const Vec3 cross {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
    const double dot = a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
    return degrees(std::atan2(std::sqrt(cross[0] * cross[0] + cross[1] * cross[1] + cross[2] * cross[2]), dot));
}

std::array<Vec3, 4> capsuleDirections()
{
    const double s = 1.0 / std::sqrt(3.0);
    return {{{s, s, s}, {s, -s, -s}, {-s, s, -s}, {-s, -s, s}}};
}

std::optional<TestSignal> parseTestSignal(std::string_view text)
{
    if (equalsIgnoreCase(text, "pink") || equalsIgnoreCase(text, "pink-noise"))
        return TestSignal::kPinkNoise;
    if (equalsIgnoreCase(text, "sweep"))
        return TestSignal::kSweep;
    if (equalsIgnoreCase(text, "tone"))
        return TestSignal::kTone;
    return std::nullopt;
}

const char* testSignalName(TestSignal signal)
{
    switch (signal) {
    case TestSignal::kSweep: return "sweep";
    case TestSignal::kTone: return "tone";
    default: return "pink";
    }
}

std::size_t synthFrames(const SynthSettings& settings)
{
    const double frames = std::round(settings.seconds * settings.rate);
    return frames > 0.0 ? static_cast<std::size_t>(frames) : 0;
}

Slot sourceSlot(const SynthSettings& settings, std::size_t index, std::size_t frames)
{
    if (!settings.turns || settings.sources.empty())
        return {0, frames};
    const std::size_t count = settings.sources.size();
    return {frames * index / count, frames * (index + 1) / count};
}

std::array<std::vector<float>, 4> synthesise(const SynthSettings& settings)
{
    if (settings.rate < 1000 || settings.rate > 768000)
        throw CliError("sample rate " + std::to_string(settings.rate) + " Hz is outside 1000 to 768000 Hz");
    if (!(settings.seconds > 0.0))
        throw CliError("the length must be above 0 seconds");
    if (!(settings.radiusCm >= 0.0 && settings.radiusCm <= 50.0))
        throw CliError("the capsule distance must be from 0 to 50 cm");
    if (settings.sources.empty())
        throw CliError("synth needs at least one source");
    if (settings.signal == TestSignal::kTone && !(settings.toneHz > 0.0 && settings.toneHz < settings.rate / 2.0))
        throw CliError("the tone must lie between 0 Hz and half the sample rate");
    const std::size_t frames = synthFrames(settings);
    if (frames > kMaxSynthFrames)
        throw CliError("synth makes at most " + std::to_string(kMaxSynthFrames) + " frames (" +
                       fixed(static_cast<double>(kMaxSynthFrames) / settings.rate, 1) + " s at this rate)");

    // The capsules' delays are at most a few samples; the margin keeps the band-limited delay's
    // circular wrap-around in silence, since every source fades in and out.
    const double maxDelay = settings.radiusCm / 100.0 / kSpeedOfSoundMs * settings.rate;
    const std::size_t length = nextPowerOfTwo(frames + 2 * static_cast<std::size_t>(std::ceil(maxDelay)) + 4096);
    FFTReal fft(static_cast<std::int32_t>(length));
    const std::size_t half = length / 2;

    const Matrix3 mount = mountingMatrix(settings.mounting);
    std::array<Vec3, 4> facing {};
    const std::array<Vec3, 4> local = capsuleDirections();
    for (int k = 0; k < 4; ++k)
        for (int r = 0; r < 3; ++r)
            facing[k][r] = mount[r][0] * local[k][0] + mount[r][1] * local[k][1] + mount[r][2] * local[k][2];

    std::array<std::vector<double>, 4> capsuleSpectra;
    for (auto& spectrum : capsuleSpectra)
        spectrum.assign(length, 0.0);
    std::vector<double> spectrum(length);
    for (std::size_t s = 0; s < settings.sources.size(); ++s) {
        const std::vector<double> signal = sourceSignal(settings, s, frames, length, fft);
        fft.forward_transform(spectrum.data(), signal.data());
        const Vec3 u = directionVector(settings.sources[s].azimuthDeg, settings.sources[s].elevationDeg);
        for (int k = 0; k < 4; ++k) {
            const double cosine = facing[k][0] * u[0] + facing[k][1] * u[1] + facing[k][2] * u[2];
            const double gain = 0.5 + 0.5 * cosine;
            // Samples by which the capsule hears the wave later than the centre (negative: earlier).
            const double delay = -settings.radiusCm / 100.0 * cosine / kSpeedOfSoundMs * settings.rate;
            std::vector<double>& out = capsuleSpectra[k];
            out[0] += gain * spectrum[0];
            // The packed layout holds conj(X) (re, -im); a delay multiplies X by exp(-i w d),
            // so conj(X) by exp(+i w d).
            for (std::size_t b = 1; b < half; ++b) {
                const double phase = 2.0 * kPi * static_cast<double>(b) / static_cast<double>(length) * delay;
                const double c = std::cos(phase);
                const double sn = std::sin(phase);
                const double re = spectrum[b];
                const double im = spectrum[half + b];
                out[b] += gain * (re * c - im * sn);
                out[half + b] += gain * (re * sn + im * c);
            }
            out[half] += gain * spectrum[half] * std::cos(kPi * delay);
        }
    }

    std::array<std::vector<float>, 4> capsules;
    std::vector<double> time(length);
    for (int k = 0; k < 4; ++k) {
        fft.inverse_transform(capsuleSpectra[k].data(), time.data());
        capsules[k].resize(frames);
        for (std::size_t n = 0; n < frames; ++n)
            capsules[k][n] = static_cast<float>(time[n] / static_cast<double>(length));
    }
    return capsules;
}

} // namespace cli
