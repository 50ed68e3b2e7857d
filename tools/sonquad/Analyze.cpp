#include "tools/sonquad/Analyze.h"

#include "dsp/FFTReal.h"

#include <algorithm>
#include <cmath>

namespace cli {

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr double kRadToDeg = 180.0 / kPi;

std::string bandLabel(double centreHz)
{
    // Nominal octave names: 63, 125, 250, 500 Hz, 1, 2, 4, 8, 16 kHz.
    if (centreHz >= 1000.0)
        return std::to_string(static_cast<int>(std::lround(centreHz / 1000.0))) + " kHz";
    return std::to_string(static_cast<int>(std::lround(centreHz))) + " Hz";
}
} // namespace

std::vector<Band> octaveBands(double rate, double fromHz, double toHz)
{
    std::vector<Band> bands;
    for (int k = -5; k <= 5; ++k) {
        const double centre = 1000.0 * std::pow(2.0, k);
        if (centre < fromHz / std::sqrt(2.0) || centre > toHz * std::sqrt(2.0))
            continue;
        const double high = centre * std::sqrt(2.0);
        if (high > rate / 2.0)
            continue;
        bands.push_back({centre, centre / std::sqrt(2.0), high, bandLabel(centre)});
    }
    return bands;
}

std::size_t analysisBlockLength(double rate)
{
    std::size_t length = 256;
    while (static_cast<double>(length) < 0.085 * rate / std::sqrt(2.0))
        length <<= 1;
    return length;
}

DirectionAnalysis analyseDirections(const std::array<const float*, 4>& wxyz, std::size_t begin, std::size_t end,
                                    double rate, const std::vector<Band>& bands)
{
    DirectionAnalysis result;
    for (const Band& band : bands)
        result.bands.push_back({band});
    if (end <= begin)
        return result;

    const std::size_t frames = end - begin;
    for (int c = 0; c < 4; ++c) {
        double sum = 0.0;
        for (std::size_t n = begin; n < end; ++n)
            sum += static_cast<double>(wxyz[c][n]) * wxyz[c][n];
        result.meanSquare[c] = sum / static_cast<double>(frames);
    }

    const std::size_t length = analysisBlockLength(rate);
    const std::size_t hop = length / 2;
    const std::size_t half = length / 2;
    std::vector<double> window(length);
    double windowPower = 0.0;
    for (std::size_t n = 0; n < length; ++n) {
        window[n] = 0.5 - 0.5 * std::cos(2.0 * kPi * static_cast<double>(n) / static_cast<double>(length));
        windowPower += window[n] * window[n];
    }

    // Bins of each band: lowHz <= k rate / length < highHz.
    std::vector<std::pair<std::size_t, std::size_t>> binRanges;
    for (const Band& band : bands) {
        const auto low = static_cast<std::size_t>(std::ceil(band.lowHz * length / rate));
        const auto high = static_cast<std::size_t>(std::ceil(band.highHz * length / rate));
        binRanges.emplace_back(std::max<std::size_t>(low, 1), std::min(high, half));
    }

    FFTReal fft(static_cast<std::int32_t>(length));
    std::vector<double> block(length);
    std::array<std::vector<double>, 4> spectra;
    for (auto& spectrum : spectra)
        spectrum.resize(length);
    std::vector<std::array<double, 3>> intensity(bands.size());
    std::vector<std::array<double, 4>> power(bands.size());
    // Blocks start every hop; a range shorter than a block is one zero-padded block.
    std::vector<std::size_t> starts;
    if (frames <= length)
        starts.push_back(begin);
    for (std::size_t start = begin; frames > length && start + length <= end; start += hop)
        starts.push_back(start);
    for (std::size_t start : starts) {
        for (int c = 0; c < 4; ++c) {
            for (std::size_t n = 0; n < length; ++n)
                block[n] = start + n < end ? window[n] * wxyz[c][start + n] : 0.0;
            fft.forward_transform(spectra[c].data(), block.data());
        }
        for (std::size_t b = 0; b < bands.size(); ++b) {
            for (std::size_t k = binRanges[b].first; k < binRanges[b].second; ++k) {
                // Packed layout: re at k, -im at half + k; Re(W conj X) = re.re + im.im either way.
                const double wr = spectra[0][k];
                const double wi = spectra[0][half + k];
                for (int axis = 0; axis < 3; ++axis)
                    intensity[b][axis] += wr * spectra[1 + axis][k] + wi * spectra[1 + axis][half + k];
                for (int c = 0; c < 4; ++c)
                    power[b][c] += spectra[c][k] * spectra[c][k] + spectra[c][half + k] * spectra[c][half + k];
            }
        }
    }

    // One-sided sums of a windowed block: 2 |X_k|^2 / (length x sum of w^2) per bin is the mean
    // square of the signal's part in that bin.
    const double scale = 2.0 / (static_cast<double>(length) * windowPower * static_cast<double>(starts.size()));
    for (std::size_t b = 0; b < bands.size(); ++b) {
        BandDirection& out = result.bands[b];
        for (int axis = 0; axis < 3; ++axis)
            out.intensity[axis] = intensity[b][axis] * scale;
        for (int c = 0; c < 4; ++c)
            out.meanSquare[c] = power[b][c] * scale;
        const double horizontal = std::hypot(out.intensity[0], out.intensity[1]);
        out.valid = horizontal > 0.0 || out.intensity[2] != 0.0;
        out.azimuthDeg = std::atan2(out.intensity[1], out.intensity[0]) * kRadToDeg;
        out.elevationDeg = std::atan2(out.intensity[2], horizontal) * kRadToDeg;
    }
    return result;
}

} // namespace cli
