#include "calibration/CalibrationLibrary.h"

#include "calibration/CalibrationFolders.h"

#include "calibration/ProcessorConfiguration.h"
#include "calibration/TextCalibration.h"
#include "platform/platform.h"
#include "model/ProgramRecord.h"

#include <cstdio>
#include <functional>
#include <memory>

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Reads one open file into a program; the result says whether the scan goes on.
using FileReader = std::function<ScanStep(std::FILE* file, const std::string& folder,
                                          const std::string& path, const std::string& name,
                                          ProgramRecord& program)>;

struct ScanKind {
    const char* extension;   // ".txt" or ".sonq"
    const char* openMode;    // "r" for text, "rb" for configurations
};

// One scan: the files of the first folder that lists any of this kind, in listing order.
void scanFolder(const std::vector<std::string>& folders, const ScanKind& kind,
                ProgramRecord* programs, int programCount, int& nextSlot,
                const DiagnosticSink* sink, const FileReader& readFile)
{
    std::string folder;
    std::vector<std::string> names;
    for (const std::string& candidate : folders) {
        names = platform::listFiles(candidate, kind.extension);
        if (!names.empty()) {
            folder = candidate;
            break;
        }
        DiagnosticReporter(sink, candidate).report(0, {}, std::string("no *") + kind.extension + " file here");
    }
    if (names.empty() || !programs)
        return;

    for (const std::string& fileName : names) {
        const std::string path = platform::joinPath(folder, fileName);
        const DiagnosticReporter diag(sink, path);
        const std::string name = fileName.substr(0, fileName.find('.'));
        if (name.size() > calibration::kMaxNameLength) {
            diag.report(0, {}, "calibration name longer than 80 characters; file skipped");
            continue;
        }
        FileHandle file(std::fopen(path.c_str(), kind.openMode));
        if (!file) {
            diag.report(0, {}, "cannot be opened; file skipped");
            continue;
        }
        if (nextSlot >= programCount) {
            diag.report(0, {}, "every program slot is in use; this file and the rest are not read");
            return;
        }
        ProgramRecord& program = programs[nextSlot++];
        if (readFile(file.get(), folder, path, name, program) == ScanStep::kEndScan)
            return;
    }
}

} // namespace

void loadTextCalibrations(const std::vector<std::string>& folders, ProgramRecord* programs,
                          int programCount, int& nextSlot, FilterBank& postMatrixFilters,
                          const DiagnosticSink* sink)
{
    scanFolder(folders, ScanKind {".txt", "r"}, programs, programCount, nextSlot, sink,
               [&](std::FILE* file, const std::string& folder, const std::string& path,
                   const std::string& name, ProgramRecord& program) {
                   readTextCalibration(file, folder, name, program, postMatrixFilters, sink, path);
                   return ScanStep::kGoOn;
               });
}

void loadProcessorConfigurations(const std::vector<std::string>& folders, ProgramRecord* programs,
                                 int programCount, int& nextSlot, FilterBank& postMatrixFilters,
                                 const DiagnosticSink* sink)
{
    int version = 0;   // no "sonqproc" seen yet in this scan
    scanFolder(folders, ScanKind {".sonq", "rb"}, programs, programCount, nextSlot, sink,
               [&](std::FILE* file, const std::string&, const std::string& path,
                   const std::string& name, ProgramRecord& program) {
                   return readProcessorConfiguration(file, name, program, postMatrixFilters, version,
                                                     sink, path);
               });
}

void scanCalibrationFolders(ProgramRecord* programs, int programCount,
                            FilterBank& postMatrixFilters, const DiagnosticSink* sink)
{
    const std::vector<std::string> folders = calibration::calibrationFolders();
    int nextSlot = calibration::kFirstCalibrationSlot;
    loadTextCalibrations(folders, programs, programCount, nextSlot, postMatrixFilters, sink);
    loadProcessorConfigurations(folders, programs, programCount, nextSlot, postMatrixFilters, sink);
}
