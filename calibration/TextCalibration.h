// Text calibration files (*.txt): one microphone's capsule weights, capsule equalisers, output
// gains and LF corners as key lines, then an optional block that names the coefficient files of
// a set of measured post-matrix IIR filters (W, and X/Y/Z sharing one "velocity" table).
//
// How a file is read:
// - Lines of at most 79 characters: a longer line is read in pieces of 79, each a line of its
//   own; the line break (LF or CR) stays in the line. A CR LF ending therefore gives the line
//   and then a blank line holding the LF.
// - Ten key lines, looked for in a fixed order ("sens", "vsens", "EQ", "EQfreq", "EQbw", "W",
//   "X", "Y", "Z", "LF") by a scan that only moves forward. A line matches a key when each of
//   its first n characters is one of the key's n characters (so "EQfreq" matches "EQ").
// - After the "LF" line, the coefficient block: W lines ("W<anything> <file>"), velocity lines
//   ("Vel <file>") and blank lines; the files sit in a sub-folder named after the calibration.
//
// Threads: everything here runs on the host thread that constructs the plug-in.
#pragma once

#include "calibration/Diagnostics.h"
#include "dsp/CFilterCoefficients.h"
#include "dsp/CIIRFilter.h"

#include <cstdio>
#include <memory>
#include <string>

struct ProgramRecord;
class FilterBank;

// The line buffer: 79 characters and the terminator.
inline constexpr int kLineSize = 80;

// Reads the next line piece into line: characters up to and including the first LF or CR, or 79
// characters, whichever comes first, then a terminating zero. When the file ends (or fails)
// before any character is read, line keeps what it held and the result is false. [host thread]
bool readLine(std::FILE* file, char (&line)[kLineSize]);

// The width in octaves of a band centred geometrically on f0 (Hz) whose edges f0 x 2^(N/2) and
// f0 / 2^(N/2) lie bw (Hz) apart, found by a halving search to about 0.0001 octave. A ratio
// bw / f0 that is not finite (f0 of 0, an infinite bw) is returned as it is, unsearched, so the
// search always ends; callers refuse results that are not finite. [any thread]
double bandwidthToOctaves(double f0, double bw);

// The IIR filter of a text calibration's set. It keeps its coefficient table alive: the W filter
// holds its own table, the X, Y and Z filters share the velocity table, and a table lives as long
// as the last filter that holds it.
class CTableIIRFilter : public CIIRFilter {
public:
    explicit CTableIIRFilter(std::shared_ptr<CFilterCoefficients> table)
        : ownedTable(std::move(table))
    {
    }

    CFilterCoefficients* table() const { return ownedTable.get(); }

private:
    std::shared_ptr<CFilterCoefficients> ownedTable;   // the table this filter was built with
};

// Reads one text calibration into program and, while the bank has a free set (count below 8),
// builds filter set s = postMatrixFilters.count of four CTableIIRFilter objects named after the
// calibration, loading the coefficient files that the block names. The count rises by one in any
// case; the program stores s / 7 as "PostMatrix Filter Number", or 0 ("None") when s is outside
// the bank.
//
// file is open for reading and stays open (the caller closes it). folder is the calibration
// folder, calibrationName the file's name up to its first '.'. Values that a line does not give
// (numbers that do not convert, values without a logarithm, results that are not finite) keep
// what program held. Everything passed over is reported to sink, when given, under filePath.
// [host thread]
void readTextCalibration(std::FILE* file, const std::string& folder,
                         const std::string& calibrationName, ProgramRecord& program,
                         FilterBank& postMatrixFilters, const DiagnosticSink* sink = nullptr,
                         const std::string& filePath = {});
