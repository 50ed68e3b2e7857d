#include "lv2/CalibrationFile.h"

#include "calibration/CalibrationLibrary.h"
#include "calibration/ProcessorConfiguration.h"
#include "calibration/TextCalibration.h"
#include "dsp/FilterBank.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace lv2plugin {

namespace {

bool endsWith(const std::string& text, const char* end)
{
    const std::size_t n = std::strlen(end);
    return text.size() >= n && text.compare(text.size() - n, n, end) == 0;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

} // namespace

std::unique_ptr<LoadedCalibration> builtInCalibration()
{
    auto loaded = std::make_unique<LoadedCalibration>();
    loaded->record = builtInProgram(0);
    return loaded;
}

std::unique_ptr<LoadedCalibration> loadCalibrationFile(const std::string& path, float rateHz, std::string& why,
                                                       const DiagnosticSink* notes)
{
    // The folder scan's rules, for one file: the kind by extension (case-sensitive, as the scan
    // lists them), the calibration name up to the first '.' of the file name.
    const bool text = endsWith(path, ".txt");
    if (!text && !endsWith(path, ".sonq")) {
        why = "not a calibration file: a text calibration ends in .txt, a processor configuration in .sonq";
        return nullptr;
    }
    // A text calibration's coefficient files sit beside the real file: a host that keeps a link
    // to it in its session folder (lilv, Ardour) still finds them.
    std::error_code error;
    const std::filesystem::path real = std::filesystem::weakly_canonical(path, error);
    const std::string readFrom = error ? path : real.string();
    const std::size_t slash = readFrom.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : readFrom.substr(0, slash);
    const std::string fileName = slash == std::string::npos ? readFrom : readFrom.substr(slash + 1);
    const std::string name = fileName.substr(0, fileName.find('.'));
    if (name.size() > calibration::kMaxNameLength) {
        why = "calibration name longer than 80 characters";
        return nullptr;
    }
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(readFrom.c_str(), text ? "r" : "rb"));
    if (!file) {
        why = std::string("cannot be opened: ") + std::strerror(errno);
        return nullptr;
    }

    auto loaded = std::make_unique<LoadedCalibration>();
    // A slot of the VST's folder scan before its file is read.
    const ProgramRecord before = builtInProgram(calibration::kFirstCalibrationSlot);
    loaded->record = before;
    FilterBank bank;
    bank.count = kCalibrationSet;
    if (text) {
        readTextCalibration(file.get(), folder, name, loaded->record, bank, notes, path);
        // The key lines give the LF corners, the capsules' settings and the output gains (the
        // reader sets the stage switches and set numbers of any file).
        bool read = false;
        for (int p = 0; p < param::kCount; ++p)
            read |= (p == param::kLfCutFreq || p == param::kLfBoostFreq || p >= param::kFirstCapsule) &&
                    loaded->record.value(p) != before.value(p);
        if (!read) {
            why = "no calibration line (sens, vsens, EQ, EQfreq, EQbw, W, X, Y, Z, LF) in it";
            return nullptr;
        }
    } else {
        int version = 0;
        if (readProcessorConfiguration(file.get(), name, loaded->record, bank, version, notes, path) == ScanStep::kEndScan) {
            why = "configuration version other than 1, 2 or 3";
            return nullptr;
        }
        if (version == 0) {
            why = "no \"/sonqproc\" message: not a processor configuration";
            return nullptr;
        }
    }
    // Both readers build a complete set at the bank's count; it leaves the scratch bank here.
    bank.swapSet(kCalibrationSet, loaded->filters);
    for (std::unique_ptr<CFilter>& filter : loaded->filters) {
        if (!filter) {
            why = "no filter set was built";
            return nullptr;
        }
        filter->prepare(rateHz);
        loaded->missingResponses += filter->missingResponses();
    }
    loaded->path = path;
    return loaded;
}

} // namespace lv2plugin
