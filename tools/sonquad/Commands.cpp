#include "tools/sonquad/Commands.h"

#include "tools/sonquad/Analyze.h"
#include "tools/sonquad/Arguments.h"
#include "tools/sonquad/AudioFile.h"
#include "tools/sonquad/BFormat.h"
#include "tools/sonquad/CliError.h"
#include "tools/sonquad/PluginSession.h"
#include "tools/sonquad/Progress.h"
#include "tools/sonquad/Render.h"
#include "tools/sonquad/Synth.h"
#include "tools/sonquad/Text.h"

#include <cmath>
#include <cstdio>
#include <exception>

namespace cli {

namespace {

struct CommandHelp {
    const char* name;
    const char* text;
};

const CommandHelp kHelp[] = {
    {"render",
     "sonquad render INPUT... -o OUTPUT [options]\n"
     "  A-format to B-format: one four-channel file (capsules 1 to 4), or four mono files (capsules\n"
     "  1 to 4 in order) into the file OUTPUT; or four-channel files into the folder OUTPUT.\n"
     "  --program N|NAME         program to use (default 0)\n"
     "  --set \"PARAM NAME=VALUE\" a parameter in its own unit, as its display shows it (Hz, dB,\n"
     "                           octaves, Yes/No, a filter set's name); may repeat\n"
     "  --calibrations DIR       the calibration folder (sets SONQUAD_CALIBRATION_DIR)\n"
     "  --format fuma|ambix      fuma: W X Y Z (default); ambix: W Y Z X, SN3D (W x sqrt 2)\n"
     "  --orientation upright|inverted|endfire   the microphone's mounting (default upright)\n"
     "  --keep-latency           keep the 1024-sample delay of a convolution set\n"
     "  --subtype pcm16|pcm24|pcm32|float|double   sample format (default float; FLAC pcm24)\n"
     "  --container wav|wavex|amb|rf64|w64|flac|caf   file type (default: from OUTPUT's name)\n"
     "  -j, --jobs N             render N files at once\n"
     "  -q, --quiet              no progress bar, no summary lines\n"},
    {"programs",
     "sonquad programs [--calibrations DIR]\n"
     "  The plug-in's eight programs as a host sees them, with each one's post-matrix set.\n"},
    {"params",
     "sonquad params [--program N|NAME] [--set \"PARAM NAME=VALUE\"]... [--calibrations DIR]\n"
     "  Every parameter of a program: name, display, unit, normalised value, accepted values.\n"},
    {"check",
     "sonquad check FILE\n"
     "  Reads one calibration file (text *.txt or processor configuration *.sonq) the way the\n"
     "  plug-in does and explains it: the values it yields, what it passed over and why.\n"},
    {"synth",
     "sonquad synth -o FILE [options]\n"
     "  A-format of a virtual tetrahedral microphone (ideal cardioids) hearing far sources.\n"
     "  --source AZ,EL[,GAIN]     direction in degrees (azimuth counter-clockwise from the front,\n"
     "                           elevation up) and linear gain; may repeat (default 0,0)\n"
     "  --signal pink|sweep|tone  test signal (default pink)\n"
     "  --freq HZ                tone frequency (default 1000)\n"
     "  --length SECONDS         (default 2)      --rate HZ   (default 48000)\n"
     "  --radius CM              capsule distance from the centre (default 1.47)\n"
     "  --turns                  sources one after another instead of all at once\n"
     "  --orientation upright|inverted|endfire   how the virtual microphone is mounted\n"
     "  --level DB               each source's RMS level at the centre, dBFS (default -20)\n"
     "  --seed N                 pink-noise seed      --subtype, --container as for render\n"
     "  -q, --quiet              no summary line\n"},
    {"analyze",
     "sonquad analyze FILE [--format fuma|ambix] [--segments N]\n"
     "  Direction of arrival per octave band from the pseudo-intensity vector (W.X, W.Y, W.Z),\n"
     "  and the level of every channel; --segments N analyses N equal parts one by one.\n"},
    {"demo",
     "sonquad demo [--dir DIR]\n"
     "  Synthesises a scene with sources at known directions, renders it with program 0, analyses\n"
     "  the B-format and prints true against measured directions; leaves the files in DIR\n"
     "  (default sonquad-demo).\n"},
};

const OptionDefinition kCalibrations {"--calibrations", nullptr, true, false};

void applyCalibrationOption(const Arguments& arguments)
{
    if (const std::optional<std::string> folder = arguments.value("--calibrations"))
        useCalibrationFolder(*folder);
}

std::string dbText(double meanSquare)
{
    if (!(meanSquare > 0.0))
        return "-inf";
    return fixed(10.0 * std::log10(meanSquare), 1);
}

} // namespace

std::string usage(const std::string& command)
{
    if (!command.empty()) {
        for (const CommandHelp& help : kHelp)
            if (command == help.name)
                return help.text;
        throw UsageError("no command " + inQuotes(command) + " (sonquad help lists them)");
    }
    std::string text = "sonquad: the command-line host of the SonquadVST A-format to B-format converter\n\n";
    for (const CommandHelp& help : kHelp)
        text += std::string(help.text) + "\n";
    text += "sonquad help COMMAND shows one command.\n\n"
            "exit status\n"
            "  0  done (also a render of a cut-short take, which a warning reports)\n"
            "  1  the work could not be done: a file, a value, a program (a batch: any of its files)\n"
            "  2  the command line is wrong: an unknown command or option, a missing or bad value\n";
    return text;
}

// ---- render ----

int runRender(const std::vector<std::string>& args)
{
    const Arguments arguments(args,
                              {{"--output", "-o", true, false},
                               {"--program", nullptr, true, false},
                               {"--set", nullptr, true, true},
                               kCalibrations,
                               {"--format", nullptr, true, false},
                               {"--orientation", nullptr, true, false},
                               {"--keep-latency", nullptr, false, false},
                               {"--subtype", nullptr, true, false},
                               {"--container", nullptr, true, false},
                               {"--jobs", "-j", true, false},
                               {"--quiet", "-q", false, false},
                               {"--block-size", nullptr, true, false}},
                              "render");
    RenderSettings settings;
    settings.program = arguments.value("--program").value_or("");
    settings.settings = arguments.values("--set");
    if (const auto text = arguments.value("--format")) {
        const auto format = parseChannelFormat(*text);
        if (!format)
            throw UsageError("--format takes fuma or ambix, not " + inQuotes(*text));
        settings.format = *format;
    }
    if (const auto text = arguments.value("--orientation")) {
        const auto orientation = parseOrientation(*text);
        if (!orientation)
            throw UsageError("--orientation takes upright, inverted or endfire, not " + inQuotes(*text));
        settings.orientation = *orientation;
    }
    settings.keepLatency = arguments.flag("--keep-latency");
    if (const auto text = arguments.value("--subtype")) {
        settings.sampleType = parseSampleType(*text);
        if (!settings.sampleType)
            throw UsageError("--subtype takes pcm16, pcm24, pcm32, float or double, not " + inQuotes(*text));
    }
    if (const auto text = arguments.value("--container")) {
        settings.container = parseContainer(*text);
        if (!settings.container)
            throw UsageError("--container takes wav, wavex, amb, rf64, w64, flac or caf, not " + inQuotes(*text));
    }
    const long long parallel = arguments.integer("--jobs").value_or(1);
    if (parallel < 1 || parallel > 64)
        throw UsageError("--jobs takes 1 to 64");
    if (const auto block = arguments.integer("--block-size")) {
        if (*block < 1 || *block > 32767)
            throw UsageError("--block-size takes 1 to 32767 frames");
        settings.blockSize = static_cast<int>(*block);
    }
    applyCalibrationOption(arguments);

    const std::vector<RenderJob> jobs =
        planRender(arguments.positional(), arguments.value("--output").value_or(""), settings);
    return renderAll(jobs, settings, static_cast<int>(parallel), arguments.flag("--quiet"));
}

// ---- programs and params ----

int runPrograms(const std::vector<std::string>& args)
{
    const Arguments arguments(args, {kCalibrations}, "programs");
    if (!arguments.positional().empty())
        throw UsageError("programs takes no arguments");
    applyCalibrationOption(arguments);
    PluginSession session;
    const std::vector<std::string> names = session.programNames();
    std::printf(" #  %s  %s  delay\n", padRight("program", 23).c_str(), padRight("post-matrix set", 24).c_str());
    for (int program = 0; program < static_cast<int>(names.size()); ++program) {
        session.selectProgramQuietly(program);
        const int latency = session.latencySamples();
        std::printf("%2d  %s  %s  %s\n", program, padRight(names[program], 23).c_str(),
                    padRight(trim(session.parameterDisplay(6)), 24).c_str(),
                    latency ? (std::to_string(latency) + " samples").c_str() : "none");
    }
    return 0;
}

int runParams(const std::vector<std::string>& args)
{
    const Arguments arguments(args, {{"--program", nullptr, true, false}, {"--set", nullptr, true, true}, kCalibrations},
                              "params");
    if (!arguments.positional().empty())
        throw UsageError("params takes no arguments (--program N to choose a program)");
    applyCalibrationOption(arguments);
    PluginSession session;
    if (const auto program = arguments.value("--program"))
        session.selectProgram(session.findProgram(*program));
    for (const std::string& setting : arguments.values("--set"))
        session.applySetting(setting);
    char programName[64] = {};
    session.plugin().getProgramName(programName);
    std::printf("program %d \"%s\"\n", session.plugin().getProgram(), programName);
    std::printf("%3s  %s  %s  %s  %s  %s\n", "#", padRight("name", 24).c_str(), padRight("display", 10).c_str(),
                padRight("unit", 7).c_str(), padRight("value", 8).c_str(), "takes");
    for (int p = 0; p < ASonquad::kNumParams; ++p) {
        const SetNames sets = p == 5 ? session.preMatrixSetNames() : session.postMatrixSetNames();
        std::printf("%3d  %s  %s  %s  %s  %s\n", p, padRight(session.parameterName(p), 24).c_str(),
                    padRight(trim(session.parameterDisplay(p)), 10).c_str(),
                    padRight(session.parameterLabel(p), 7).c_str(),
                    padRight(fixed(session.plugin().getParameter(p), 6), 8).c_str(), acceptedValues(p, sets).c_str());
    }
    return 0;
}

// ---- synth ----

namespace {

Source parseSource(const std::string& text)
{
    const std::vector<std::string> fields = split(text, ',');
    std::optional<double> values[3];
    for (std::size_t i = 0; i < fields.size() && i < 3; ++i)
        values[i] = parseNumber(trim(fields[i]));
    const bool ok = (fields.size() == 2 || fields.size() == 3) && values[0] && values[1] &&
                    (fields.size() == 2 || values[2]);
    if (!ok)
        throw UsageError("--source takes AZIMUTH,ELEVATION[,GAIN] in degrees, not " + inQuotes(text));
    if (*values[1] < -90.0 || *values[1] > 90.0)
        throw UsageError("--source elevation must lie from -90 to 90 degrees, not " + fixed(*values[1], 1));
    return {*values[0], *values[1], fields.size() == 3 ? *values[2] : 1.0};
}

} // namespace

int runSynth(const std::vector<std::string>& args)
{
    const Arguments arguments(args,
                              {{"--output", "-o", true, false},
                               {"--source", nullptr, true, true},
                               {"--signal", nullptr, true, false},
                               {"--freq", nullptr, true, false},
                               {"--length", nullptr, true, false},
                               {"--rate", nullptr, true, false},
                               {"--radius", nullptr, true, false},
                               {"--turns", nullptr, false, false},
                               {"--orientation", nullptr, true, false},
                               {"--level", nullptr, true, false},
                               {"--seed", nullptr, true, false},
                               {"--subtype", nullptr, true, false},
                               {"--container", nullptr, true, false},
                               {"--quiet", "-q", false, false}},
                              "synth");
    if (!arguments.positional().empty())
        throw UsageError("synth takes no input files (-o FILE names its output)");
    const std::optional<std::string> output = arguments.value("--output");
    if (!output)
        throw UsageError("synth needs -o FILE");

    SynthSettings settings;
    if (const std::vector<std::string> sources = arguments.values("--source"); !sources.empty()) {
        settings.sources.clear();
        for (const std::string& source : sources)
            settings.sources.push_back(parseSource(source));
    }
    if (const auto text = arguments.value("--signal")) {
        const auto signal = parseTestSignal(*text);
        if (!signal)
            throw UsageError("--signal takes pink, sweep or tone, not " + inQuotes(*text));
        settings.signal = *signal;
    }
    settings.toneHz = arguments.number("--freq").value_or(settings.toneHz);
    settings.seconds = arguments.number("--length").value_or(settings.seconds);
    const long long rate = arguments.integer("--rate").value_or(settings.rate);
    if (rate < 1000 || rate > 768000)
        throw UsageError("--rate takes 1000 to 768000 Hz");
    settings.rate = static_cast<int>(rate);
    settings.radiusCm = arguments.number("--radius").value_or(settings.radiusCm);
    settings.turns = arguments.flag("--turns");
    if (const auto text = arguments.value("--orientation")) {
        const auto orientation = parseOrientation(*text);
        if (!orientation)
            throw UsageError("--orientation takes upright, inverted or endfire, not " + inQuotes(*text));
        settings.mounting = *orientation;
    }
    settings.levelDb = arguments.number("--level").value_or(settings.levelDb);
    if (const auto seed = arguments.integer("--seed"))
        settings.seed = static_cast<std::uint32_t>(*seed);

    std::optional<Container> container;
    if (const auto text = arguments.value("--container")) {
        container = parseContainer(*text);
        if (!container)
            throw UsageError("--container takes wav, wavex, rf64, w64, flac or caf, not " + inQuotes(*text));
    } else {
        container = containerForPath(*output);
        if (!container)
            throw CliError("cannot tell the file type of " + inQuotes(*output) +
                           " from its name: use .wav, .rf64, .w64, .flac or .caf, or --container");
    }
    if (*container == Container::kAmb)
        throw CliError("an .amb file holds B-format; write the A-format recording as .wav");
    SampleType type = defaultSampleType(*container);
    if (const auto text = arguments.value("--subtype")) {
        const auto parsed = parseSampleType(*text);
        if (!parsed)
            throw UsageError("--subtype takes pcm16, pcm24, pcm32, float or double, not " + inQuotes(*text));
        type = *parsed;
    }
    if (!holdsSampleType(*container, type))
        throw CliError(std::string(containerName(*container)) + " files hold pcm16 or pcm24 samples, not " +
                       sampleTypeName(type));

    const std::array<std::vector<float>, 4> capsules = synthesise(settings);
    const std::size_t frames = capsules[0].size();
    std::vector<float> interleaved(4 * frames);
    for (std::size_t n = 0; n < frames; ++n)
        for (int c = 0; c < 4; ++c)
            interleaved[4 * n + c] = capsules[c][n];
    writeSound(*output, *container, type, settings.rate, 4, interleaved);
    if (arguments.flag("--quiet"))
        return 0;

    std::string sources;
    for (const Source& source : settings.sources)
        sources += " (" + fixed(source.azimuthDeg, 1) + ", " + fixed(source.elevationDeg, 1) + ")";
    std::printf("%s: A-format, %s s at %d Hz, %s, capsules %s cm from the centre, %s, sources%s%s\n", output->c_str(),
                fixed(settings.seconds, 2).c_str(), settings.rate, testSignalName(settings.signal),
                fixed(settings.radiusCm, 2).c_str(), orientationName(settings.mounting), sources.c_str(),
                settings.turns ? " in turns" : "");
    return 0;
}

// ---- analyze ----

int runAnalyze(const std::vector<std::string>& args)
{
    const Arguments arguments(args, {{"--format", nullptr, true, false}, {"--segments", nullptr, true, false}},
                              "analyze");
    if (arguments.positional().size() != 1)
        throw UsageError("analyze takes one B-format file");
    ChannelFormat format = ChannelFormat::kFuMa;
    if (const auto text = arguments.value("--format")) {
        const auto parsed = parseChannelFormat(*text);
        if (!parsed)
            throw UsageError("--format takes fuma or ambix, not " + inQuotes(*text));
        format = *parsed;
    }
    const long long segments = arguments.integer("--segments").value_or(1);
    if (segments < 1 || segments > 1000)
        throw UsageError("--segments takes 1 to 1000");

    const std::string& path = arguments.positional()[0];
    const SoundData sound = readSound(path);
    if (sound.recovery)
        Progress::printLine("sonquad: warning: " + describeRecovery(*sound.recovery) + "; its " +
                            std::to_string(sound.recovery->presentFrames) + " frames are analysed");
    if (sound.channels != 4)
        throw CliError(inQuotes(path) + " has " + std::to_string(sound.channels) +
                       " channels: analyze takes four-channel B-format");
    std::array<std::vector<float>, 4> wxyz;
    for (auto& channel : wxyz)
        channel.resize(sound.frames);
    float* const channels[4] = {wxyz[0].data(), wxyz[1].data(), wxyz[2].data(), wxyz[3].data()};
    deinterleaveFromFile(format, sound.interleaved.data(), sound.frames, channels);

    const std::array<const char*, 4> names = channelNames(format);
    // Levels are shown for the file's channels: AmbiX W carries twice the power of the plug-in's W.
    auto fileLevels = [&](const std::array<double, 4>& meanSquare) {
        std::array<double, 4> levels {};
        for (int c = 0; c < 4; ++c) {
            const int source = format == ChannelFormat::kAmbiX ? (c == 0 ? 0 : c == 1 ? 2 : c == 2 ? 3 : 1) : c;
            levels[c] = meanSquare[source] * (format == ChannelFormat::kAmbiX && c == 0 ? 2.0 : 1.0);
        }
        return levels;
    };

    std::printf("%s: %d Hz, %s s, %s (%s %s %s %s)\n", path.c_str(), sound.rate,
                fixed(static_cast<double>(sound.frames) / sound.rate, 2).c_str(), formatName(format), names[0], names[1],
                names[2], names[3]);
    const std::vector<Band> bands = octaveBands(sound.rate);
    const std::array<const float*, 4> data = {wxyz[0].data(), wxyz[1].data(), wxyz[2].data(), wxyz[3].data()};
    for (long long s = 0; s < segments; ++s) {
        const std::size_t begin = static_cast<std::size_t>(sound.frames * s / segments);
        const std::size_t end = static_cast<std::size_t>(sound.frames * (s + 1) / segments);
        const DirectionAnalysis analysis = analyseDirections(data, begin, end, sound.rate, bands);
        if (segments > 1)
            std::printf("\nsegment %lld: %s to %s s\n", s + 1, fixed(static_cast<double>(begin) / sound.rate, 2).c_str(),
                        fixed(static_cast<double>(end) / sound.rate, 2).c_str());
        const std::array<double, 4> levels = fileLevels(analysis.meanSquare);
        std::printf("level dBFS   %s %s   %s %s   %s %s   %s %s\n", names[0], dbText(levels[0]).c_str(), names[1],
                    dbText(levels[1]).c_str(), names[2], dbText(levels[2]).c_str(), names[3], dbText(levels[3]).c_str());
        std::printf("%s  %s  %s   %s %s %s %s (dBFS in band)\n", padLeft("band", 7).c_str(), padLeft("azimuth", 8).c_str(),
                    padLeft("elevation", 9).c_str(), padLeft(names[0], 6).c_str(), padLeft(names[1], 6).c_str(),
                    padLeft(names[2], 6).c_str(), padLeft(names[3], 6).c_str());
        for (const BandDirection& band : analysis.bands) {
            const std::array<double, 4> bandLevels = fileLevels(band.meanSquare);
            std::printf("%s  %s  %s   %s %s %s %s\n", padLeft(band.band.label, 7).c_str(),
                        padLeft(band.valid ? fixed(band.azimuthDeg, 1) : "-", 8).c_str(),
                        padLeft(band.valid ? fixed(band.elevationDeg, 1) : "-", 9).c_str(),
                        padLeft(dbText(bandLevels[0]), 6).c_str(), padLeft(dbText(bandLevels[1]), 6).c_str(),
                        padLeft(dbText(bandLevels[2]), 6).c_str(), padLeft(dbText(bandLevels[3]), 6).c_str());
        }
    }
    return 0;
}

// ---- dispatch ----

int run(const std::vector<std::string>& args)
{
    try {
        if (args.empty()) {
            std::fputs(usage("").c_str(), stderr);
            return kExitUsage;
        }
        const std::string& command = args[0];
        const std::vector<std::string> rest(args.begin() + 1, args.end());
        if (command == "help" || command == "--help" || command == "-h") {
            std::fputs(usage(rest.empty() ? "" : rest[0]).c_str(), stdout);
            return 0;
        }
        if (command == "--version") {
            std::printf("sonquad %s\n", SONQUAD_VERSION);
            return 0;
        }
        for (const std::string& arg : rest) {
            if (arg == "--help" || arg == "-h") {
                std::fputs(usage(command).c_str(), stdout);
                return 0;
            }
        }
        printPluginMessages();
        removeTemporaryFilesOnInterrupt();
        if (command == "render")
            return runRender(rest);
        if (command == "programs")
            return runPrograms(rest);
        if (command == "params")
            return runParams(rest);
        if (command == "check")
            return runCheck(rest);
        if (command == "synth")
            return runSynth(rest);
        if (command == "analyze" || command == "analyse")
            return runAnalyze(rest);
        if (command == "demo")
            return runDemo(rest);
        throw UsageError("no command " + inQuotes(command) + " (sonquad help lists them)");
    } catch (const CliError& error) {
        Progress::printLine(std::string("sonquad: error: ") + error.what());
        return error.exitCode();
    } catch (const std::exception& error) {
        Progress::printLine(std::string("sonquad: error: ") + error.what());
        return kExitFailure;
    }
}

} // namespace cli
