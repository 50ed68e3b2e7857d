#include "tools/sonquad/Demo.h"

#include "tools/sonquad/Arguments.h"
#include "tools/sonquad/AudioFile.h"
#include "tools/sonquad/CliError.h"
#include "tools/sonquad/Commands.h"
#include "tools/sonquad/Text.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>

namespace cli {

namespace fs = std::filesystem;

namespace {
// Each slot's first and last 100 ms are left out of the analysis: the fades, and the filters'
// response to the previous source dying away.
constexpr double kSlotMarginSeconds = 0.1;
// Bands centred below 2 kHz: there the matrix alone points within a degree or two, and the
// coincidence corrections' phase adds a few degrees. An error above this limit means an axis is
// swapped or its sign wrong: such faults miss these sources by 30 degrees or more.
constexpr double kLowBandLimitHz = 2000.0;
constexpr double kLowBandToleranceDeg = 10.0;
} // namespace

SynthSettings demoScene()
{
    SynthSettings scene;
    scene.sources = {
        {0.0, 0.0, 1.0},       // front
        {90.0, 0.0, 1.0},      // left
        {-135.0, 30.0, 1.0},   // back right, raised
        {-60.0, -25.0, 1.0},   // front right, below
        {150.0, 60.0, 1.0},    // back left, high above
    };
    scene.turns = true;
    scene.signal = TestSignal::kPinkNoise;
    scene.seconds = 0.8 * static_cast<double>(scene.sources.size());
    scene.rate = 48000;
    return scene;
}

std::vector<std::string> matrixOnlySettings()
{
    return {"LF Enabled=No", "EQs Enabled=No", "PostMatrix Filter Number=None", "AB Matrix Enabled=Yes"};
}

namespace {

// Directions per source and band of a B-format file the demo wrote.
std::vector<DemoRow> measureDirections(const std::string& path, const SynthSettings& scene)
{
    const SoundData sound = readSound(path);
    std::array<std::vector<float>, 4> wxyz;
    for (auto& channel : wxyz)
        channel.resize(sound.frames);
    float* const channels[4] = {wxyz[0].data(), wxyz[1].data(), wxyz[2].data(), wxyz[3].data()};
    deinterleaveFromFile(ChannelFormat::kFuMa, sound.interleaved.data(), sound.frames, channels);
    const std::array<const float*, 4> data = {wxyz[0].data(), wxyz[1].data(), wxyz[2].data(), wxyz[3].data()};

    std::vector<DemoRow> rows;
    const std::vector<Band> bands = octaveBands(scene.rate, 125.0, 8000.0);
    const std::size_t margin = static_cast<std::size_t>(kSlotMarginSeconds * scene.rate);
    for (std::size_t s = 0; s < scene.sources.size(); ++s) {
        const Slot slot = sourceSlot(scene, s, sound.frames);
        const std::size_t begin = std::min(slot.begin + margin, slot.end);
        const std::size_t end = std::max(begin, slot.end > margin ? slot.end - margin : 0);
        const DirectionAnalysis analysis = analyseDirections(data, begin, end, scene.rate, bands);
        const Source& source = scene.sources[s];
        for (const BandDirection& band : analysis.bands)
            rows.push_back({static_cast<int>(s + 1), band.band, source.azimuthDeg, source.elevationDeg,
                            band.azimuthDeg, band.elevationDeg,
                            angleBetween(source.azimuthDeg, source.elevationDeg, band.azimuthDeg, band.elevationDeg)});
    }
    return rows;
}

} // namespace

DemoResult runDemoScene(const std::string& folder, const SynthSettings& scene)
{
    std::error_code error;
    fs::create_directories(folder, error);
    if (error || !fs::is_directory(folder))
        throw CliError("cannot create folder " + inQuotes(folder) + (error ? ": " + error.message() : ""));

    DemoResult result;
    result.scene = scene;
    result.aFormatPath = (fs::path(folder) / "scene-aformat.wav").string();
    result.fumaPath = (fs::path(folder) / "scene-bformat-fuma.amb").string();
    result.ambixPath = (fs::path(folder) / "scene-bformat-ambix.wav").string();
    result.matrixOnlyPath = (fs::path(folder) / "scene-bformat-matrix-only.amb").string();

    const std::array<std::vector<float>, 4> capsules = synthesise(scene);
    const std::size_t frames = capsules[0].size();
    std::vector<float> interleaved(4 * frames);
    for (std::size_t n = 0; n < frames; ++n)
        for (int c = 0; c < 4; ++c)
            interleaved[4 * n + c] = capsules[c][n];
    writeSound(result.aFormatPath, Container::kWav, SampleType::kFloat, scene.rate, 4, interleaved);

    RenderSettings fuma;   // program 0, FuMa, delay removed
    result.render = renderTake({{result.aFormatPath}, result.fumaPath}, fuma, nullptr);
    RenderSettings ambix;
    ambix.format = ChannelFormat::kAmbiX;
    renderTake({{result.aFormatPath}, result.ambixPath}, ambix, nullptr);
    RenderSettings matrixOnly;
    matrixOnly.settings = matrixOnlySettings();
    renderTake({{result.aFormatPath}, result.matrixOnlyPath}, matrixOnly, nullptr);

    // The B-format as written: read back from the files.
    result.rows = measureDirections(result.fumaPath, scene);
    result.matrixOnlyRows = measureDirections(result.matrixOnlyPath, scene);
    return result;
}

namespace {

struct Worst {
    double low = 0.0;          // bands below 2 kHz
    double all = 0.0;
    std::string allBand;
};

Worst worstErrors(const std::vector<DemoRow>& rows)
{
    Worst worst;
    for (const DemoRow& row : rows) {
        if (row.band.centreHz < kLowBandLimitHz)
            worst.low = std::max(worst.low, row.errorDeg);
        if (row.errorDeg >= worst.all) {
            worst.all = row.errorDeg;
            worst.allBand = row.band.label;
        }
    }
    return worst;
}

} // namespace

int runDemo(const std::vector<std::string>& args)
{
    const Arguments arguments(args, {{"--dir", nullptr, true, false}}, "demo");
    if (!arguments.positional().empty())
        throw UsageError("demo takes no arguments (--dir DIR names its folder)");
    const std::string folder = arguments.value("--dir").value_or("sonquad-demo");

    const auto started = std::chrono::steady_clock::now();
    const SynthSettings scene = demoScene();
    const DemoResult result = runDemoScene(folder, scene);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    std::printf("sonquad demo\n\n"
                "A virtual tetrahedral microphone (ideal cardioid capsules %s cm from its centre) hears\n"
                "pink noise from %zu directions in turn, %s s each, at %d Hz.\n"
                "Program %d \"%s\" converts it to B-format%s.\n"
                "The pseudo-intensity vector (W.X, W.Y, W.Z) of each octave band gives the direction\n"
                "the B-format points to.\n"
                "Degrees: azimuth counter-clockwise from the front, elevation up.\n\n",
                fixed(scene.radiusCm, 2).c_str(), scene.sources.size(),
                fixed(scene.seconds / static_cast<double>(scene.sources.size()), 1).c_str(), scene.rate,
                result.render.program, result.render.programName.c_str(),
                result.render.latencyRemoved
                    ? (", its " + std::to_string(result.render.latency) + "-sample convolution delay removed").c_str()
                    : "");
    std::printf("%s  %s  %s  %s   %s  %s  %s\n", padLeft("source", 6).c_str(), padLeft("band", 6).c_str(),
                padLeft("true azimuth", 12).c_str(), padLeft("elevation", 9).c_str(),
                padLeft("measured azimuth", 16).c_str(), padLeft("elevation", 9).c_str(), padLeft("error", 6).c_str());
    int previous = 0;
    for (const DemoRow& row : result.rows) {
        if (row.source != previous && previous != 0)
            std::printf("\n");
        previous = row.source;
        std::printf("%6d  %s  %s  %s   %s  %s  %s\n", row.source, padLeft(row.band.label, 6).c_str(),
                    padLeft(fixed(row.trueAzimuthDeg, 1), 12).c_str(), padLeft(fixed(row.trueElevationDeg, 1), 9).c_str(),
                    padLeft(fixed(row.azimuthDeg, 1), 16).c_str(), padLeft(fixed(row.elevationDeg, 1), 9).c_str(),
                    padLeft(fixed(row.errorDeg, 1), 6).c_str());
    }
    const Worst program = worstErrors(result.rows);
    const Worst matrix = worstErrors(result.matrixOnlyRows);
    std::printf("\nLargest error    below 2 kHz   all bands\n");
    std::printf("program %d       %s   %s (%s)\n", result.render.program, padLeft(fixed(program.low, 1), 11).c_str(),
                padLeft(fixed(program.all, 1), 9).c_str(), program.allBand.c_str());
    std::printf("matrix alone    %s   %s (%s)\n", padLeft(fixed(matrix.low, 1), 11).c_str(),
                padLeft(fixed(matrix.all, 1), 9).c_str(), matrix.allBand.c_str());
    std::printf("\nFiles in %s (made in %s s):\n", folder.c_str(), fixed(elapsed, 1).c_str());
    const struct {
        const std::string& path;
        const char* what;
    } files[] = {
        {result.aFormatPath, "A-format, capsules 1 to 4, as a field recorder writes it"},
        {result.fumaPath, "B-format W X Y Z, WAVEX flagged as B-format"},
        {result.ambixPath, "B-format AmbiX: W Y Z X, SN3D"},
        {result.matrixOnlyPath, "B-format of the matrix alone (LF and post-matrix stages off)"},
    };
    for (const auto& file : files)
        std::printf("  %s  %s\n", padRight(fs::path(file.path).filename().string(), 30).c_str(), file.what);
    std::fflush(stdout);
    if (program.low > kLowBandToleranceDeg || matrix.low > kLowBandToleranceDeg)
        throw CliError("the B-format points " + fixed(std::max(program.low, matrix.low), 1) +
                       " degrees off below 2 kHz: the conversion is wrong");
    return 0;
}

} // namespace cli
