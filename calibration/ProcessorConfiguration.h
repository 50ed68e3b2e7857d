// Processor configuration files (*.sonq): a calibration as a stream of size-prefixed Open Sound
// Control messages (see COSCFile):
//
//   /sonqproc    ,i             configuration version 1, 2 or 3
//   /matrix/row  ,iffff         output row r (0 W .. 3 Z), linear weights of capsules 1..4
//   /lffilt/par  ,fff           centre Hz, bandwidth relative to the centre, gain dB: the
//                               equaliser of all four capsules
//   /pmfilt/par  ,i f...        output channel k (0 W .. 3 Z) and a parametric equaliser:
//                               version 1: f1 w1 g1 f2 w2 g2 (two bands, output gain 0 dB)
//                               version 2: the same and the output gain in dB
//                               version 3: f1 w1 g1 f2 w2 g2 f3 w3 g3 and the output gain
//
// Any other address is read and does nothing. The version carries over from file to file within
// one scan; a version other than 1, 2 or 3 ends the whole scan.
//
// Threads: everything here runs on the host thread that constructs the plug-in.
#pragma once

#include "calibration/Diagnostics.h"

#include <cstdio>
#include <string>

struct ProgramRecord;
class FilterBank;

// Whether the scan of configuration files goes on after a file.
enum class ScanStep { kGoOn, kEndScan };

// Reads one processor configuration into program and builds filter set s =
// postMatrixFilters.count from its "pmfilt/par" messages (only while s is below 8), then raises
// the count by one; the program stores s / 7 as "PostMatrix Filter Number", or 0 ("None") when
// s is outside the bank. A set that got fewer than four channels is completed with pass-through
// filters; every filter of the set is named after the calibration.
//
// version is the configuration version of the scan so far (0: none yet) and is updated by
// "sonqproc" messages. A bad version stops reading at once: the program keeps what was set so
// far and gets no set number, the count does not rise, the part of the set built from this file
// is removed, and the result is kEndScan.
//
// Messages whose arguments are not of the types listed above, rows or channels outside 0..3, and
// values that would leave a program or equaliser value that is not finite are ignored. Reading
// stops at the end of the file or at the first malformed message; what was read stays.
//
// file is open for binary reading and stays open (the caller closes it). Everything passed over
// is reported to sink, when given, under filePath. [host thread]
ScanStep readProcessorConfiguration(std::FILE* file, const std::string& calibrationName,
                                    ProgramRecord& program, FilterBank& postMatrixFilters,
                                    int& version, const DiagnosticSink* sink = nullptr,
                                    const std::string& filePath = {});
