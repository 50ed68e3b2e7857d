// The render engine: A-format takes through the plug-in into B-format files.
//
// Per take: a fresh plug-in object, the program and the settings, the take's sample rate; the
// capsule signals go through processReplacing in blocks; the output is rotated for the
// microphone's mounting, put in the file's channel format and written under a temporary name.
// With a convolution set selected the plug-in's output trails its input by 1024 samples; unless
// asked to keep that, the render feeds 1024 samples of silence after the take and drops the
// first 1024 output samples, so output sample n lines up with input sample n and the file keeps
// the take's length.
#pragma once

#include "tools/sonquad/AudioFile.h"
#include "tools/sonquad/BFormat.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cli {

class Progress;

struct RenderSettings {
    std::string program;                  // number or name; empty: program 0
    std::vector<std::string> settings;    // "PARAM NAME=VALUE", applied in order after the program
    ChannelFormat format = ChannelFormat::kFuMa;
    Orientation orientation = Orientation::kUpright;
    bool keepLatency = false;             // leave the convolution's delay in the output
    std::optional<SampleType> sampleType; // default: float (FLAC: pcm24)
    std::optional<Container> container;   // default: from the output's extension
    int blockSize = 4096;                 // frames per processReplacing call
};

struct RenderJob {
    std::vector<std::string> inputs;      // one four-channel file, or four mono files
    std::string output;
};

struct RenderReport {
    std::string output;
    std::uint64_t frames = 0;             // frames written (the take's length)
    int rate = 0;                         // Hz
    int program = 0;
    std::string programName;
    int latency = 0;                      // samples the plug-in's output trails its input
    bool latencyRemoved = false;
    Container container = Container::kWav;
    bool switchedToRf64 = false;          // a RIFF container would have passed 4 GiB
    SampleType sampleType = SampleType::kFloat;
    std::uint64_t clippedSamples = 0;     // integer outputs: samples beyond full scale
    float peak = 0.0f;                    // largest magnitude written
    bool inputHadBroadcast = false;
    bool broadcastWritten = false;
    bool ambisonicFlagged = false;        // .amb: WAVEX flagged as B-format
    std::vector<Recovery> recoveries;     // input files read as far as their audio really goes
};

// The takes a render command line asks for: one four-channel file or four mono files into the
// output file, or four-channel files (one or more) into the output folder under their own
// names. Throws CliError for missing files, wrong channel counts, a mix of mono and
// four-channel files, several takes into an output named like a sound file, or an output that
// would overwrite an input.
std::vector<RenderJob> planRender(const std::vector<std::string>& inputs, const std::string& output,
                                  const RenderSettings& settings);

// The container and sample type an output gets (before the RF64 decision); throws CliError when
// the name tells no container, .amb is asked for AmbiX, or the container cannot hold the type.
Container outputContainer(const std::string& output, const RenderSettings& settings);
SampleType outputSampleType(Container container, const RenderSettings& settings);

// Renders one take; throws CliError, leaving nothing under the output's name.
RenderReport renderTake(const RenderJob& job, const RenderSettings& settings, Progress* progress);

// Frames a take of frames will feed the plug-in (the take and, when the delay is removed, the
// silence that pushes its last samples out).
std::uint64_t framesToProcess(std::uint64_t frames, int latency, bool keepLatency);

// Renders every job, jobs at a time, with a progress bar unless quiet or not on a terminal;
// prints a line per file (stdout) and per problem (stderr). Returns the exit status.
int renderAll(const std::vector<RenderJob>& jobs, const RenderSettings& settings, int parallel, bool quiet);

} // namespace cli
