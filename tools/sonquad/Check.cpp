#include "tools/sonquad/Check.h"

#include "calibration/CoefficientFile.h"
#include "dsp/CFilterCoefficients.h"
#include "calibration/ProcessorConfiguration.h"
#include "calibration/TextCalibration.h"
#include "dsp/CParaEQ2Band.h"
#include "dsp/CParaEQ3Band.h"
#include "dsp/FilterBank.h"
#include "platform/platform.h"
#include "model/ProgramRecord.h"
#include "tools/sonquad/Arguments.h"
#include "tools/sonquad/CliError.h"
#include "tools/sonquad/Commands.h"
#include "tools/sonquad/ParameterText.h"
#include "tools/sonquad/PluginSession.h"
#include "tools/sonquad/Text.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>

#include <unistd.h>

namespace cli {

namespace fs = std::filesystem;

namespace {

// The rates the coefficient files can name.
constexpr float kCodedRates[] = {44100.0f, 48000.0f, 88200.0f, 96000.0f, 176400.0f, 192000.0f, 352800.0f, 384000.0f};

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// Collects the plug-in's message boxes while it is installed, then puts the printing back.
class MessageCollector {
public:
    MessageCollector() { platform::setMessageSink(collect, this); }
    ~MessageCollector() { printPluginMessages(); }
    MessageCollector(const MessageCollector&) = delete;
    MessageCollector& operator=(const MessageCollector&) = delete;

    std::vector<std::string> messages;   // texts in the order shown

private:
    static void collect(void* context, const char*, const char* text)
    {
        static_cast<MessageCollector*>(context)->messages.emplace_back(text);
    }
};

// The record and set count a calibration slot starts from: those of a plug-in that found no
// calibration file. It is built with an empty folder of its own as the calibration folder.
struct Start {
    ProgramRecord record;
    SetNames setNames;
    int setCount = 0;
};

Start startingState()
{
    const char* previous = std::getenv("SONQUAD_CALIBRATION_DIR");
    const std::optional<std::string> saved = previous ? std::optional<std::string>(previous) : std::nullopt;
    const fs::path empty = fs::temp_directory_path() / ("sonquad-check-" + std::to_string(::getpid()));
    fs::create_directories(empty);
    ::setenv("SONQUAD_CALIBRATION_DIR", empty.c_str(), 1);
    Start start;
    {
        PluginSession session;
        start.record = session.plugin().program(2);
        start.setNames = session.postMatrixSetNames();
        start.setCount = session.plugin().audioEngine().postMatrixBank().count;
    }
    if (saved)
        ::setenv("SONQUAD_CALIBRATION_DIR", saved->c_str(), 1);
    else
        ::unsetenv("SONQUAD_CALIBRATION_DIR");
    std::error_code ignored;
    fs::remove_all(empty, ignored);
    return start;
}

// What a filter does with an impulse at a rate: passes it unchanged, silences it, or filters it
// (and then whether its response dies away).
std::string behaviourAt(CFilter& filter, float rateHz, std::vector<std::string>& problems, const std::string& what)
{
    filter.setSampleRate(rateHz);
    filter.reset();
    constexpr int kBlock = 4096;
    constexpr int kBlocks = 32;   // 2.7 s at 48 kHz
    std::vector<float> block(kBlock);
    double peak = 0.0;
    double tail = 0.0;
    bool passes = true;
    bool silent = true;
    bool finite = true;
    for (int b = 0; b < kBlocks; ++b) {
        std::fill(block.begin(), block.end(), 0.0f);
        if (b == 0)
            block[0] = 1.0f;
        filter.process(block.data(), kBlock);
        for (int n = 0; n < kBlock; ++n) {
            const float y = block[n];
            finite = finite && std::isfinite(y);
            passes = passes && y == (b == 0 && n == 0 ? 1.0f : 0.0f);
            silent = silent && y == 0.0f;
            peak = std::max(peak, static_cast<double>(std::fabs(y)));
            if (b == kBlocks - 1)
                tail = std::max(tail, static_cast<double>(std::fabs(y)));
        }
    }
    filter.reset();
    if (!finite) {
        problems.push_back(what + " is unstable: its impulse response overflows");
        return "unstable (its output overflows)";
    }
    if (passes)
        return "passes the signal unchanged";
    if (silent) {
        problems.push_back(what + " outputs silence");
        return "outputs silence";
    }
    if (tail > 0.5 * peak) {
        problems.push_back(what + " is unstable: its impulse response does not die away");
        return "unstable (its response does not die away)";
    }
    const double tailDb = tail > 0.0 ? 20.0 * std::log10(tail / peak) : -400.0;
    if (tailDb > -60.0) {
        problems.push_back(what + " rings: after " + fixed(kBlock * (kBlocks - 1) / rateHz, 1) + " s its response is still " +
                           fixed(-tailDb, 0) + " dB below its peak");
        return "filters; rings for seconds";
    }
    return "filters (peak " + fixed(20.0 * std::log10(peak), 1) + " dB, dies away)";
}

bool namedInFile(const std::string& calibrationPath, const std::string& name)
{
    std::ifstream in(calibrationPath);
    for (std::string line; std::getline(in, line);) {
        const std::vector<std::string> words = [&] {
            std::vector<std::string> list;
            std::string word;
            for (char c : line) {
                if (std::isspace(static_cast<unsigned char>(c))) {
                    if (!word.empty())
                        list.push_back(word);
                    word.clear();
                } else {
                    word += c;
                }
            }
            if (!word.empty())
                list.push_back(word);
            return list;
        }();
        if (words.size() >= 2 && words[1] == name)
            return true;
    }
    return false;
}

void checkTextTables(CheckReport& report, FilterBank& bank, const std::string& folder)
{
    const int set = report.set;
    if (!bank.hasSet(set))
        return;
    auto* w = dynamic_cast<CTableIIRFilter*>(bank.filter(set, 0));
    auto* velocity = dynamic_cast<CTableIIRFilter*>(bank.filter(set, 1));
    struct Table {
        const char* name;
        CTableIIRFilter* filter;
    };
    for (const Table& table : {Table {"W", w}, Table {"X, Y, Z", velocity}}) {
        if (!table.filter || !table.filter->table())
            continue;
        CFilterCoefficients& coefficients = *table.filter->table();
        int rates = 0;
        for (float rate : kCodedRates) {
            if (!coefficients.contains(rate))
                continue;
            ++rates;
            const CFilterCoefficients::Entry& entry = *coefficients.find(rate);
            const std::string what = std::string("the ") + table.name + " filter at " + fixed(rate, 0) + " Hz";
            const std::string behaviour = behaviourAt(*table.filter, rate, report.problems, what);
            if (behaviour == "passes the signal unchanged" && (!entry.numerator.empty() || !entry.denominator.empty()))
                report.problems.push_back(what + " has coefficients but passes the signal unchanged: the filter runs "
                                                 "only with both a numerator and a denominator");
            report.rates.push_back({table.name, rate, static_cast<int>(entry.numerator.size()),
                                    static_cast<int>(entry.denominator.size()), behaviour});
        }
        if (rates == 0)
            report.problems.push_back(std::string("the ") + table.name +
                                      " table has no coefficients for any rate: at every rate its filters show "
                                      "\"No filter found for sampling rate\" and pass the signal unchanged");
    }
    // A rate that only one table covers: there the other channels are not corrected.
    if (w && velocity && w->table() && velocity->table()) {
        for (float rate : kCodedRates) {
            const bool inW = w->table()->contains(rate);
            const bool inVelocity = velocity->table()->contains(rate);
            if (inW != inVelocity)
                report.problems.push_back("at " + fixed(rate, 0) + " Hz only the " + (inW ? "W" : "X, Y, Z") +
                                          " table has coefficients; the other channels show \"No filter found\"");
        }
    }

    // The files of the coefficient folder, each read on its own as the loader would.
    report.coefficientFolder = platform::joinPath(folder, report.calibrationName);
    std::error_code error;
    if (!fs::is_directory(report.coefficientFolder, error))
        return;
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(report.coefficientFolder, error))
        if (entry.is_regular_file())
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::string path = platform::joinPath(report.coefficientFolder, name);
        CheckedFile file {name, rateKeyFromPath(path), namedInFile(report.path, name), ""};
        if (file.rateHz == 0.0f) {
            file.contents = "no rate code (W44, VEL48, ...) in its path: the loader skips it";
        } else {
            MessageCollector failures;
            CFilterCoefficients scratch;
            loadCoefficientFile(scratch, path.c_str());
            const CFilterCoefficients::Entry* found = scratch.find(file.rateHz);
            const CFilterCoefficients::Entry entry = found ? *found : CFilterCoefficients::Entry {};
            if (!failures.messages.empty())
                file.contents = "cannot be used (missing, cut short, or lengths outside 0..1024)";
            else
                file.contents = "numerator " + std::to_string(entry.numerator.size()) + ", denominator " +
                                std::to_string(entry.denominator.size());
        }
        if (!file.named)
            report.problems.push_back("coefficient file " + inQuotes(name) + " is named by no line: it is not loaded");
        report.files.push_back(file);
    }
}

std::string bandText(const CMitRegFilter& band)
{
    return fixed(band.frequency, 1) + " Hz, " + fixed(band.bandwidth, 1) + " Hz wide, " + fixed(band.gain, 1) + " dB";
}

void checkEqualisers(CheckReport& report, FilterBank& bank)
{
    if (!bank.hasSet(report.set))
        return;
    const char* channels[4] = {"W", "X", "Y", "Z"};
    for (int k = 0; k < 4; ++k) {
        CFilter* filter = bank.filter(report.set, k);
        std::string text = std::string(channels[k]) + ": ";
        if (auto* two = dynamic_cast<CParaEQ2Band*>(filter)) {
            text += bandText(two->band1) + "; " + bandText(two->band2) + "; output " +
                    fixed(20.0 * std::log10(two->outputFactor), 2) + " dB";
        } else if (auto* three = dynamic_cast<CParaEQ3Band*>(filter)) {
            text += bandText(three->band1) + "; " + bandText(three->band2) + "; " + bandText(three->band3) + "; output " +
                    fixed(20.0 * std::log10(three->outputFactor), 2) + " dB";
        } else {
            text += "pass-through (no \"pmfilt/par\" for this channel)";
        }
        report.channelFilters.push_back(text);
    }
}

} // namespace

CheckReport checkCalibration(const std::string& path)
{
    CheckReport report;
    report.path = path;
    const std::string fileName = fs::path(path).filename().string();
    const std::string extension = fs::path(path).extension().string();
    const bool text = extension == ".txt";
    if (!text && extension != ".sonq")
        throw CliError("check reads text calibrations (*.txt) and processor configurations (*.sonq), not " +
                       inQuotes(fileName));
    std::error_code error;
    if (!fs::is_regular_file(path, error))
        throw CliError("cannot open " + inQuotes(path) + ": " + (fs::exists(path, error) ? "not a file" : "no such file"));
    report.kind = text ? "text calibration" : "processor configuration";
    report.calibrationName = fileName.substr(0, fileName.find('.'));
    std::string folder = fs::path(path).parent_path().string();
    if (folder.empty())
        folder = ".";

    const Start start = startingState();
    ProgramRecord record = start.record;
    FilterBank bank;
    for (int set = 0; set < start.setCount; ++set)
        bank.place(set, 0, std::make_unique<CFilter>())->setName(start.setNames[set].c_str());
    bank.count = static_cast<std::int16_t>(start.setCount);
    report.program = 2;
    report.set = start.setCount;

    if (report.calibrationName.size() > 80)
        report.problems.push_back("the calibration name is longer than 80 characters: the plug-in skips this file");
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), text ? "r" : "rb"));
    if (!file)
        throw CliError("cannot open " + inQuotes(path) + ": " + std::strerror(errno));

    const DiagnosticSink sink = [&](const Diagnostic& diagnostic) { report.passedOver.push_back(diagnostic); };
    {
        MessageCollector messages;
        if (text) {
            readTextCalibration(file.get(), folder, report.calibrationName, record, bank, &sink, path);
        } else {
            int version = 0;
            readProcessorConfiguration(file.get(), report.calibrationName, record, bank, version, &sink, path);
        }
        report.messages = messages.messages;
    }
    report.programName = record.name;
    report.setCreated = bank.hasSet(report.set);

    SetNames names = start.setNames;
    names.resize(FilterBank::kSets);
    if (report.setCreated)
        names[report.set] = bank.setName(report.set);
    for (int p = 0; p < param::kCount; ++p) {
        const float v = record.value(p);
        char name[32] = {};
        param::name(p, name, sizeof name);
        const float before = start.record.value(p);
        const bool changed = std::memcmp(&v, &before, sizeof v) != 0;
        report.values.push_back({p, name, displayText(p, v, names), param::label(p), v, changed});
        if (!(v >= 0.0f && v <= 1.0f))
            report.problems.push_back(std::string("\"") + name + "\" gets the normalised value " + fixed(v, 4) +
                                      ", outside 0..1: the plug-in uses it as it is, a host may clamp it");
    }

    if (text)
        checkTextTables(report, bank, folder);
    else
        checkEqualisers(report, bank);
    return report;
}

int runCheck(const std::vector<std::string>& args)
{
    const Arguments arguments(args, {}, "check");
    if (arguments.positional().size() != 1)
        throw UsageError("check takes one calibration file");
    const CheckReport report = checkCalibration(arguments.positional()[0]);

    std::printf("%s: %s \"%s\"\n", report.path.c_str(), report.kind.c_str(), report.calibrationName.c_str());
    std::printf("read as the plug-in reads its first calibration file: program %d \"%s\", post-matrix set %d%s\n\n",
                report.program, report.programName.c_str(), report.set,
                report.setCreated ? "" : " (not created)");

    std::printf("values (* set by the file; the others as every program starts)\n");
    for (const CheckedValue& value : report.values)
        std::printf("  %s %2d  %s  %s %s\n", value.fromFile ? "*" : " ", value.parameter,
                    padRight(value.name, 24).c_str(), padLeft(trim(value.display), 9).c_str(), value.unit.c_str());

    std::printf("\npassed over, with the reason (the plug-in says nothing about these)\n");
    if (report.passedOver.empty())
        std::printf("  nothing\n");
    const char* unit = report.kind == "text calibration" ? "line" : "message";
    for (const Diagnostic& diagnostic : report.passedOver) {
        std::string where = diagnostic.line > 0 ? std::string(unit) + " " + std::to_string(diagnostic.line) : "file";
        if (!diagnostic.key.empty())
            where += " [" + diagnostic.key + "]";
        std::printf("  %s: %s\n", where.c_str(), diagnostic.reason.c_str());
    }

    if (!report.messages.empty()) {
        std::printf("\nmessages the plug-in shows while reading it\n");
        for (const std::string& message : report.messages)
            std::printf("  \"%s\"\n", message.c_str());
    }

    if (report.kind == "text calibration") {
        std::printf("\ncoefficient tables of set %d\n", report.set);
        if (report.rates.empty())
            std::printf("  none\n");
        for (const CheckedRate& rate : report.rates)
            std::printf("  %-8s %6.0f Hz  numerator %4d, denominator %4d  %s\n", rate.table.c_str(), rate.rateHz,
                        rate.numeratorLength, rate.denominatorLength, rate.behaviour.c_str());
        std::printf("\ncoefficient files in %s\n", report.coefficientFolder.c_str());
        if (report.files.empty())
            std::printf("  none (no such folder, or empty)\n");
        for (const CheckedFile& file : report.files)
            std::printf("  %s  %s  %s%s\n", padRight(file.name, 20).c_str(),
                        file.rateHz > 0.0f ? (fixed(file.rateHz, 0) + " Hz").c_str() : "no rate",
                        file.contents.c_str(), file.named ? "" : " (named by no line)");
    } else {
        std::printf("\nequalisers of set %d\n", report.set);
        if (report.channelFilters.empty())
            std::printf("  none\n");
        for (const std::string& channel : report.channelFilters)
            std::printf("  %s\n", channel.c_str());
    }

    std::printf("\nproblems the plug-in stays silent about\n");
    if (report.problems.empty() && report.passedOver.empty())
        std::printf("  none\n");
    if (!report.passedOver.empty())
        std::printf("  %zu passed-over %s (above)\n", report.passedOver.size(),
                    report.passedOver.size() == 1 ? "item" : "items");
    for (const std::string& problem : report.problems)
        std::printf("  %s\n", problem.c_str());
    return 0;
}

} // namespace cli
