// The demo: a scene synthesised with sources at known directions, rendered by the plug-in's
// program 0, analysed band by band; true against measured directions.
#pragma once

#include "tools/sonquad/Analyze.h"
#include "tools/sonquad/Render.h"
#include "tools/sonquad/Synth.h"

#include <string>
#include <vector>

namespace cli {

struct DemoRow {
    int source;              // 1-based
    Band band;
    double trueAzimuthDeg;
    double trueElevationDeg;
    double azimuthDeg;       // measured
    double elevationDeg;
    double errorDeg;         // angle between true and measured
};

struct DemoResult {
    std::string aFormatPath;
    std::string fumaPath;
    std::string ambixPath;
    std::string matrixOnlyPath;
    RenderReport render;     // of the FuMa file
    SynthSettings scene;
    std::vector<DemoRow> rows;            // program 0 as it stands
    std::vector<DemoRow> matrixOnlyRows;  // program 0 with the LF and post-matrix stages off
};

// The demo's scene: pink noise from five directions in turn, 0.8 s each, 48 kHz.
SynthSettings demoScene();

// The settings that leave only the A-to-B matrix of a program at work.
std::vector<std::string> matrixOnlySettings();

// Writes the four files into folder (created when missing) and measures the directions.
DemoResult runDemoScene(const std::string& folder, const SynthSettings& scene);

} // namespace cli
