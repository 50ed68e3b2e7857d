// The LV2 edition's calibration: one file chosen by the user (a text calibration or a processor
// configuration), read by the same readers as the VST's folder scan, or the built-in uncalibrated
// program when there is none. A loaded calibration is its program record and its own post-matrix
// set, prepared for the engine's rate on the worker thread and then handed to the audio thread.
#pragma once

#include "calibration/Diagnostics.h"
#include "dsp/CFilter.h"
#include "model/ProgramRecord.h"

#include <memory>
#include <string>

namespace lv2plugin {

// The post-matrix set a file's filters occupy: the one SonquadVST gives the first calibration of
// its folder, so that the record's "PostMatrix Filter Number" means the same in both.
inline constexpr int kCalibrationSet = 3;

struct LoadedCalibration {
    ProgramRecord record;                    // the values the calibration gives
    std::unique_ptr<CFilter> filters[4];     // its set for kCalibrationSet; empty for the built-in
    std::string path;                        // the file; empty for the built-in program
    int missingResponses = 0;                // coefficient arrays its set has none for at the rate
    LoadedCalibration* nextRetired = nullptr;   // the audio thread's list of calibrations to free
};

// The built-in program 0, with no set of its own. [any thread but the audio thread]
std::unique_ptr<LoadedCalibration> builtInCalibration();

// Reads the file at path (".txt": text calibration, with coefficient files in the folder named
// after it; ".sonq": processor configuration) and prepares its set for rateHz. Null, with the
// reason in why, when the file cannot be used: another extension, a calibration name over 80
// characters, a file that cannot be opened, a configuration without a valid "/sonqproc" version,
// a text file in which no calibration line gives a value. The readers' notes go to notes. [worker thread]
std::unique_ptr<LoadedCalibration> loadCalibrationFile(const std::string& path, float rateHz, std::string& why,
                                                       const DiagnosticSink* notes = nullptr);

} // namespace lv2plugin
