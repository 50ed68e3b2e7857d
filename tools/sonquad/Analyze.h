// Direction of arrival per octave band from B-format, by the pseudo-intensity vector: the
// time averages of W.X, W.Y and W.Z in the band point towards the source (W in phase with the
// figure-of-eight that faces it). The band averages come from short-time spectra (Hann windows,
// half overlap): the mean of w.x over a band equals the sum of Re(W conj X) over the band's
// frequency bins.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

namespace cli {

struct Band {
    double centreHz;
    double lowHz;    // centre / sqrt(2)
    double highHz;   // centre x sqrt(2)
    std::string label;   // "125 Hz", "1 kHz"
};

// Octave bands with centres 1000 x 2^k Hz from about fromHz to toHz, keeping only bands that
// lie below half the rate.
std::vector<Band> octaveBands(double rate, double fromHz = 63.0, double toHz = 16000.0);

struct BandDirection {
    Band band;
    std::array<double, 3> intensity {};   // mean W.X, W.Y, W.Z in the band
    std::array<double, 4> meanSquare {};  // W, X, Y, Z in the band
    double azimuthDeg = 0.0;
    double elevationDeg = 0.0;
    bool valid = false;                   // the band held any signal
};

struct DirectionAnalysis {
    std::vector<BandDirection> bands;
    std::array<double, 4> meanSquare {};  // W, X, Y, Z over all frequencies
};

// Analyses frames [begin, end) of the plug-in's W, X, Y, Z (W carrying 1/sqrt(2)).
DirectionAnalysis analyseDirections(const std::array<const float*, 4>& wxyz, std::size_t begin, std::size_t end,
                                    double rate, const std::vector<Band>& bands);

// Analysis block length for a rate: about 85 ms, a power of two (4096 at 48 kHz).
std::size_t analysisBlockLength(double rate);

} // namespace cli
