#include "tools/sonquad/Render.h"

#include "tools/sonquad/CliError.h"
#include "tools/sonquad/PluginSession.h"
#include "tools/sonquad/Progress.h"
#include "tools/sonquad/Text.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <set>
#include <thread>

namespace cli {

namespace fs = std::filesystem;

namespace {

// Extensions of sound files: an output named so is a file, never a folder to create.
bool namesSoundFile(const std::string& path)
{
    if (containerForPath(path))
        return true;
    const std::string extension = toLower(fs::path(path).extension().string());
    for (const char* known : {".wave", ".bwf", ".aif", ".aiff", ".aifc", ".ogg", ".oga", ".opus", ".mp3", ".au", ".snd"})
        if (extension == known)
            return true;
    return false;
}

bool sameFile(const std::string& a, const std::string& b)
{
    std::error_code error;
    if (fs::equivalent(a, b, error))
        return true;
    return fs::weakly_canonical(a, error) == fs::weakly_canonical(b, error);
}

// Extension for an output named after an input in a folder render.
std::string outputExtension(const std::string& input, const RenderSettings& settings)
{
    if (settings.container) {
        switch (*settings.container) {
        case Container::kWav:
        case Container::kWavex: return ".wav";
        case Container::kAmb: return ".amb";
        case Container::kRf64: return ".rf64";
        case Container::kW64: return ".w64";
        case Container::kFlac: return ".flac";
        case Container::kCaf: return ".caf";
        }
    }
    if (containerForPath(input))
        return fs::path(input).extension().string();
    return ".wav";
}

} // namespace

std::vector<RenderJob> planRender(const std::vector<std::string>& inputs, const std::string& output,
                                  const RenderSettings& settings)
{
    if (inputs.empty())
        throw UsageError("render needs at least one input file");
    if (output.empty())
        throw UsageError("render needs an output: -o FILE, or -o FOLDER for several files");

    std::vector<SoundHeader> headers;
    for (const std::string& input : inputs)
        headers.push_back(readSoundHeader(input));
    for (std::size_t k = 0; k < inputs.size(); ++k) {
        if (headers[k].channels != 1 && headers[k].channels != 4)
            throw CliError(inQuotes(inputs[k]) + " has " + std::to_string(headers[k].channels) +
                           " channels: render takes four-channel files (capsules 1 to 4) or four mono files");
    }
    const bool anyMono = std::any_of(headers.begin(), headers.end(), [](const SoundHeader& h) { return h.channels == 1; });
    const bool anyFour = std::any_of(headers.begin(), headers.end(), [](const SoundHeader& h) { return h.channels == 4; });
    if (anyMono && anyFour)
        throw CliError("mono and four-channel inputs mixed: give one take of four mono files, or four-channel files");

    std::error_code error;
    const bool outputIsFolder = fs::is_directory(output, error) || output.back() == '/';
    std::vector<RenderJob> jobs;
    if (anyMono) {
        if (inputs.size() != 4)
            throw CliError(std::to_string(inputs.size()) +
                           " mono files given: a take of mono files needs exactly four (capsules 1 to 4)");
        if (outputIsFolder)
            throw UsageError("four mono files make one take: -o names its output file, not a folder");
        jobs.push_back({inputs, output});
    } else if (inputs.size() == 1 && !outputIsFolder) {
        jobs.push_back({inputs, output});
    } else {
        // Several takes give several files, which need a folder; a name like "pair.amb" is meant
        // as one file, and a folder of that name would only puzzle.
        if (!fs::is_directory(output, error) && output.back() != '/' && namesSoundFile(output))
            throw UsageError(std::to_string(inputs.size()) + " four-channel files make " + std::to_string(inputs.size()) +
                             " outputs, which go into a folder, but " + inQuotes(output) +
                             " names a sound file: give a folder (-o " + fs::path(output).stem().string() +
                             "/), or render one take at a time");
        if (fs::exists(output, error) && !fs::is_directory(output, error))
            throw UsageError("several four-channel files render into a folder: " + inQuotes(output) + " is a file");
        if (!fs::exists(output, error)) {
            fs::create_directory(output, error);
            if (error)
                throw CliError("cannot create folder " + inQuotes(output) + ": " + error.message());
        }
        std::set<std::string> names;
        for (const std::string& input : inputs) {
            const std::string name = fs::path(input).stem().string() + outputExtension(input, settings);
            if (!names.insert(name).second)
                throw CliError("two inputs would both become " + inQuotes((fs::path(output) / name).string()));
            jobs.push_back({{input}, (fs::path(output) / name).string()});
        }
    }
    for (const RenderJob& job : jobs)
        for (const std::string& input : job.inputs)
            if (sameFile(input, job.output))
                throw CliError("the output " + inQuotes(job.output) + " would overwrite its input");
    return jobs;
}

Container outputContainer(const std::string& output, const RenderSettings& settings)
{
    std::optional<Container> container = settings.container;
    if (!container)
        container = containerForPath(output);
    if (!container)
        throw CliError("cannot tell the file type of " + inQuotes(output) +
                       " from its name: use .wav, .amb, .rf64, .w64, .flac or .caf, or --container");
    if (*container == Container::kAmb && settings.format == ChannelFormat::kAmbiX)
        throw CliError("an .amb file holds FuMa B-format: use --format fuma, or another file type for AmbiX");
    return *container;
}

SampleType outputSampleType(Container container, const RenderSettings& settings)
{
    const SampleType type = settings.sampleType.value_or(defaultSampleType(container));
    if (!holdsSampleType(container, type))
        throw CliError(std::string(containerName(container)) + " files hold pcm16 or pcm24 samples, not " +
                       sampleTypeName(type));
    return type;
}

std::uint64_t framesToProcess(std::uint64_t frames, int latency, bool keepLatency)
{
    return keepLatency ? frames : frames + static_cast<std::uint64_t>(latency);
}

RenderReport renderTake(const RenderJob& job, const RenderSettings& settings, Progress* progress)
{
    RenderReport report;
    report.output = job.output;
    const Container requested = outputContainer(job.output, settings);
    report.sampleType = outputSampleType(requested, settings);

    InputTake take(job.inputs);
    report.frames = take.frames();
    report.rate = take.rate();
    report.inputHadBroadcast = take.broadcast() != nullptr;
    report.recoveries = take.recoveries();

    // The rate first: the sets that the program and the settings select are then prepared for
    // the rate the take will run at, not for the plug-in's default.
    const int block = std::clamp(settings.blockSize, 1, 32767);
    PluginSession session;
    session.configure(static_cast<float>(take.rate()), block);
    if (!settings.program.empty())
        session.selectProgram(session.findProgram(settings.program));
    for (const std::string& setting : settings.settings)
        session.applySetting(setting);
    report.program = session.plugin().getProgram();
    {
        char name[64] = {};
        session.plugin().getProgramName(name);
        report.programName = name;
    }
    report.latency = session.latencySamples();
    report.latencyRemoved = report.latency > 0 && !settings.keepLatency;
    const std::uint64_t skip = report.latencyRemoved ? static_cast<std::uint64_t>(report.latency) : 0;

    session.start();

    report.container = containerForLength(requested, take.frames(), 4, report.sampleType);
    report.switchedToRf64 = report.container != requested;
    OutputFile output({job.output, report.container, report.sampleType, take.rate(), 4, take.broadcast()});
    report.broadcastWritten = output.broadcastWritten();
    report.ambisonicFlagged = output.ambisonicFlagged();

    std::vector<float> storage(8 * static_cast<std::size_t>(block));
    float* inputs[4];
    float* outputs[4];
    for (int c = 0; c < 4; ++c) {
        inputs[c] = storage.data() + c * block;
        outputs[c] = storage.data() + (4 + c) * block;
    }
    std::vector<float> interleaved(4 * static_cast<std::size_t>(block));

    const bool integer = isInteger(report.sampleType);
    const std::uint64_t total = framesToProcess(take.frames(), report.latency, !report.latencyRemoved);
    std::uint64_t fed = 0;
    std::uint64_t toSkip = skip;
    while (fed < total) {
        const std::size_t frames = static_cast<std::size_t>(std::min<std::uint64_t>(block, total - fed));
        const std::size_t got = take.read(inputs, frames);
        // After the take: silence, which pushes the last samples out of the convolution.
        for (int c = 0; c < 4; ++c)
            std::fill(inputs[c] + got, inputs[c] + frames, 0.0f);
        session.process(inputs, outputs, static_cast<int>(frames));
        fed += frames;

        const std::size_t skipped = static_cast<std::size_t>(std::min<std::uint64_t>(toSkip, frames));
        toSkip -= skipped;
        const std::size_t kept = frames - skipped;
        if (kept == 0)
            continue;
        float* const channels[4] = {outputs[0] + skipped, outputs[1] + skipped, outputs[2] + skipped,
                                    outputs[3] + skipped};
        engine::convertOutputs(settings.format, settings.orientation, channels, kept);
        interleave(channels, kept, interleaved.data());
        float peak = report.peak;
        std::uint64_t clipped = 0;
        for (std::size_t i = 0; i < 4 * kept; ++i) {
            const float magnitude = std::fabs(interleaved[i]);
            peak = std::max(peak, magnitude);
            clipped += magnitude > 1.0f ? 1 : 0;
        }
        report.peak = peak;
        if (integer)
            report.clippedSamples += clipped;
        output.write(interleaved.data(), kept);
        if (progress)
            progress->advance(kept);
    }
    output.commit();
    return report;
}

namespace {

std::string describe(const RenderJob& job, const RenderReport& report, const RenderSettings& settings)
{
    const double seconds = report.rate ? static_cast<double>(report.frames) / report.rate : 0.0;
    std::string line = job.inputs.size() == 1 ? job.inputs[0] : job.inputs[0] + " (+3 mono)";
    line += " -> " + report.output + ": " + fixed(seconds, 2) + " s at " + std::to_string(report.rate) + " Hz, program " +
            std::to_string(report.program) + " \"" + report.programName + "\", " + formatName(settings.format);
    if (settings.orientation != Orientation::kUpright)
        line += std::string(", ") + orientationName(settings.orientation);
    line += std::string(", ") + containerName(report.container) + " " + sampleTypeName(report.sampleType);
    if (report.latency > 0)
        line += report.latencyRemoved ? ", " + std::to_string(report.latency) + "-sample delay removed"
                                      : ", " + std::to_string(report.latency) + "-sample delay kept";
    if (report.broadcastWritten)
        line += ", bext kept";
    if (!report.recoveries.empty())
        line += ", recovered from a cut-short input (see the warning)";
    return line;
}

void warnAbout(const RenderReport& report)
{
    for (const Recovery& recovery : report.recoveries)
        Progress::printLine("sonquad: warning: " + describeRecovery(recovery) + "; its " +
                            std::to_string(recovery.presentFrames) + " frames are rendered into " +
                            inQuotes(report.output));
    if (report.switchedToRf64)
        Progress::printLine("sonquad: note: " + inQuotes(report.output) + " passes 4 GiB: written as RF64");
    if (report.clippedSamples > 0)
        Progress::printLine("sonquad: warning: " + inQuotes(report.output) + ": " + std::to_string(report.clippedSamples) +
                            " samples clipped (peak " + fixed(20.0 * std::log10(report.peak), 1) +
                            " dBFS); --subtype float keeps them");
    if (report.inputHadBroadcast && !report.broadcastWritten)
        Progress::printLine("sonquad: warning: " + inQuotes(report.output) + ": a " + containerName(report.container) +
                            " file cannot hold the Broadcast-WAV time reference of its input");
    if (report.container == Container::kAmb && !report.ambisonicFlagged)
        Progress::printLine("sonquad: warning: " + inQuotes(report.output) + ": the B-format flag could not be set");
}

} // namespace

int renderAll(const std::vector<RenderJob>& jobs, const RenderSettings& settings, int parallel, bool quiet)
{
    // Check every output's type before the first file is rendered: a batch does not stop halfway
    // over a name it could have refused at once.
    for (const RenderJob& job : jobs)
        outputSampleType(outputContainer(job.output, settings), settings);

    std::uint64_t totalFrames = 0;
    for (const RenderJob& job : jobs)
        totalFrames += readSoundHeader(job.inputs[0]).frames;
    Progress progress(!quiet && stderrIsTerminal(), totalFrames, static_cast<int>(jobs.size()));

    std::atomic<std::size_t> next {0};
    std::atomic<int> failures {0};
    auto worker = [&] {
        for (;;) {
            const std::size_t index = next.fetch_add(1);
            if (index >= jobs.size())
                return;
            try {
                const RenderReport report = renderTake(jobs[index], settings, &progress);
                warnAbout(report);
                if (!quiet)
                    Progress::printResult(describe(jobs[index], report, settings));
            } catch (const std::exception& error) {
                failures.fetch_add(1);
                Progress::printLine(std::string("sonquad: error: ") + error.what());
            }
            progress.fileDone();
        }
    };
    const int threads = std::clamp(parallel, 1, static_cast<int>(jobs.size()));
    std::vector<std::thread> pool;
    for (int t = 1; t < threads; ++t)
        pool.emplace_back(worker);
    worker();
    for (std::thread& thread : pool)
        thread.join();
    progress.finish();
    return failures.load() == 0 ? 0 : kExitFailure;
}

} // namespace cli
