// The calibration folder scan: every usable calibration file becomes one of the plug-in's
// programs, from slot 2 on (slots 0 and 1 are the built-in programs). Text calibrations (*.txt)
// come first, then processor configurations (*.sonq); each scan takes its files from the first
// calibration folder that holds files of its kind, in the order the platform lists them (sorted
// by name on POSIX). At most six files become programs; the rest are not read.
//
// A file is skipped, taking no slot, when its calibration name (the file name up to its first
// '.') is longer than 80 characters or when it cannot be opened.
//
// Threads: runs once, on the host thread that constructs the plug-in.
#pragma once

#include "calibration/Diagnostics.h"

#include <cstddef>
#include <string>
#include <vector>

struct ProgramRecord;
class FilterBank;

namespace calibration {
// Calibration names longer than this are skipped.
inline constexpr std::size_t kMaxNameLength = 80;
// The first program slot the scans fill.
inline constexpr int kFirstCalibrationSlot = 2;
} // namespace calibration

// Reads the *.txt files of the first folder of folders that holds any into programs[nextSlot]
// onwards (readTextCalibration), raising nextSlot by one per file used, while nextSlot is below
// programCount. Each file also takes the next post-matrix set number. [host thread]
void loadTextCalibrations(const std::vector<std::string>& folders, ProgramRecord* programs,
                          int programCount, int& nextSlot, FilterBank& postMatrixFilters,
                          const DiagnosticSink* sink = nullptr);

// The same for the *.sonq files (readProcessorConfiguration), opened in binary mode. The
// configuration version carries over from file to file; a bad version ends this scan. [host thread]
void loadProcessorConfigurations(const std::vector<std::string>& folders, ProgramRecord* programs,
                                 int programCount, int& nextSlot, FilterBank& postMatrixFilters,
                                 const DiagnosticSink* sink = nullptr);

// The plug-in's entry, called from buildProgramList after the programs are named and programs 0
// and 1 are filled: runs the text scan and then the configuration scan over
// platform::calibrationFolders(), filling programs from slot 2 on and adding post-matrix sets.
// programs holds programCount records. [host thread]
void scanCalibrationFolders(ProgramRecord* programs, int programCount,
                            FilterBank& postMatrixFilters, const DiagnosticSink* sink = nullptr);
