#include "calibration/TextCalibration.h"

#include "calibration/CoefficientFile.h"

#include "dsp/FilterBank.h"
#include "platform/platform.h"
#include "model/Parameters.h"
#include "model/ProgramRecord.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

namespace {

constexpr int kMaxLineCharacters = kLineSize - 1;
// Longest path handed to the coefficient loader: its buffer holds 1024 bytes.
constexpr std::size_t kMaxPathCharacters = 1023;

bool isLineBreak(char c) { return c == '\n' || c == '\r'; }
// White space as the C library's scanf skips it, independent of the process locale.
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Reads a line piece like readLine and returns how many characters it stored (0: nothing read).
int readPiece(std::FILE* file, char (&line)[kLineSize])
{
    int stored = 0;
    while (stored < kMaxLineCharacters) {
        const int c = std::fgetc(file);
        if (c == EOF)
            break;
        line[stored++] = static_cast<char>(c);
        if (isLineBreak(static_cast<char>(c)))
            break;
    }
    if (stored > 0)
        line[stored] = '\0';
    return stored;
}

// The line pieces of one file with the physical line each starts on, for the diagnostics. A CR
// LF pair reaches the reader as a piece ending in CR and a piece holding only the LF; both belong
// to one physical line.
class LineReader {
public:
    explicit LineReader(std::FILE* file) : file(file) { line[0] = '\0'; }

    // Reads the next piece; false (line unchanged) when the file has no more characters.
    bool next()
    {
        const int stored = readPiece(file, line);
        if (stored == 0)
            return false;
        const bool lfAfterCr = afterCr && stored == 1 && line[0] == '\n';
        lineNumber = lfAfterCr ? nextLineNumber - 1 : nextLineNumber;
        if (!lfAfterCr && isLineBreak(line[stored - 1]))
            ++nextLineNumber;
        afterCr = line[stored - 1] == '\r';
        return true;
    }

    // The end of the file was met (or reading failed): no further piece will come.
    bool exhausted() const { return std::feof(file) || std::ferror(file); }

    const char* text() const { return line; }
    int number() const { return lineNumber; }

    // The line as a diagnostic shows it: without its line break.
    std::string shown() const
    {
        std::string s = line;
        while (!s.empty() && isLineBreak(s.back()))
            s.pop_back();
        return s;
    }

private:
    std::FILE* file;             // the calibration file, not owned
    char line[kLineSize];        // current piece, zero-terminated
    int lineNumber = 0;          // physical line of the current piece, 0 before the first
    int nextLineNumber = 1;      // physical line the next piece starts on
    bool afterCr = false;        // the last piece ended with CR
};

// Each of the first n characters of line is one of the n characters of key (a character-set
// test, not a string comparison). A line shorter than the key does not match.
bool matchesKey(const char* line, const char* key)
{
    for (std::size_t i = 0; key[i] != '\0'; ++i)
        if (line[i] == '\0' || std::strchr(key, line[i]) == nullptr)
            return false;
    return true;
}

enum class Number { kConverted, kOutOfRange, kMissing };

// "%f": optional sign, digits with an optional '.', optional exponent; '.' is the decimal point
// whatever the locale. p moves past what was read. A number too large for a float is read but
// reported out of range; one too small becomes a subnormal or 0.
Number scanNumber(const char*& p, float& value)
{
    const char* s = p;
    while (isBlank(*s))
        ++s;
    const char* signStart = s;
    if (*s == '+' || *s == '-')
        ++s;
    const char* digitsStart = s;
    int digits = 0;
    while (isDigit(*s)) {
        ++s;
        ++digits;
    }
    if (*s == '.') {
        ++s;
        while (isDigit(*s)) {
            ++s;
            ++digits;
        }
    }
    if (digits == 0)
        return Number::kMissing;
    if (*s == 'e' || *s == 'E') {
        const char* e = s + 1;
        if (*e == '+' || *e == '-')
            ++e;
        if (isDigit(*e)) {
            while (isDigit(*e))
                ++e;
            s = e;
        }
    }
    p = s;

    // from_chars takes no '+' sign; the sign is applied afterwards.
    const bool negative = *signStart == '-';
    float magnitude = 0.0f;
    auto result = std::from_chars(digitsStart, s, magnitude, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        // Out of float range: either beyond FLT_MAX or below the smallest subnormal. The double
        // reading tells which, and rounding it gives inf or the nearest subnormal (or 0).
        double wide = 0.0;
        auto wideResult = std::from_chars(digitsStart, s, wide, std::chars_format::general);
        if (wideResult.ec != std::errc())
            return Number::kOutOfRange;
        magnitude = static_cast<float>(wide);
    } else if (result.ec != std::errc()) {
        return Number::kMissing;
    }
    if (!std::isfinite(magnitude))
        return Number::kOutOfRange;
    value = negative ? -magnitude : magnitude;
    return Number::kConverted;
}

constexpr int kMaxNumbers = 4;

struct ScannedLine {
    float values[kMaxNumbers] = {};
    Number state[kMaxNumbers] = {Number::kMissing, Number::kMissing, Number::kMissing, Number::kMissing};
};

// sscanf(line, "<key> %f %f ...") with count numbers: the key's text must stand at the very
// start of the line; a blank in the format matches any run of white space, also none. Scanning
// stops at the first number that is missing; a number out of float range is passed over.
ScannedLine scanKeyLine(const char* line, const char* key, int count)
{
    ScannedLine scanned;
    const char* p = line;
    for (const char* k = key; *k != '\0'; ++k, ++p)
        if (*p != *k)
            return scanned;
    for (int n = 0; n < count; ++n) {
        while (isBlank(*p))
            ++p;
        scanned.state[n] = scanNumber(p, scanned.values[n]);
        if (scanned.state[n] == Number::kMissing)
            break;
    }
    return scanned;
}

// What a key line sets, and how a file value becomes a normalised value.
enum class Conversion {
    kCapsuleWGain,       // "sens": (v + 12) / 24 into output 1 of each capsule
    kCapsuleXyzGain,     // "vsens": (v + 12) / 24 into outputs 2, 3 and 4 of each capsule
    kEqGain,             // (v + 15) / 30
    kEqFrequency,        // 0 for 0, else the EQ scale's logarithm
    kEqBandwidth,        // 0 for 0, else octaves at the capsule's centre / 5
    kWGain,              // (v + 18) / 30
    kXyzGain,            // (v + 15) / 30
    kLfFrequency,        // the LF scale's logarithm
};

struct KeyRow {
    const char* key;
    int count;             // numbers on the line
    Conversion conversion;
    int output;            // 1..3 for "X", "Y", "Z"; unused elsewhere
};

constexpr KeyRow kKeyRows[] = {
    {"sens", 4, Conversion::kCapsuleWGain, 0},
    {"vsens", 4, Conversion::kCapsuleXyzGain, 0},
    {"EQ", 4, Conversion::kEqGain, 0},
    {"EQfreq", 4, Conversion::kEqFrequency, 0},
    {"EQbw", 4, Conversion::kEqBandwidth, 0},
    {"W", 1, Conversion::kWGain, 0},
    {"X", 1, Conversion::kXyzGain, 1},
    {"Y", 1, Conversion::kXyzGain, 2},
    {"Z", 1, Conversion::kXyzGain, 3},
    {"LF", 2, Conversion::kLfFrequency, 0},
};

// The stored value for number n of a key line, or a reason why it keeps the previous one.
struct Converted {
    bool usable;
    float value;
    const char* reason;   // why not usable
};

Converted convert(const KeyRow& row, int n, float v, const ProgramRecord& program)
{
    auto result = [](float value) {
        if (!std::isfinite(value))
            return Converted {false, 0.0f, "its value is not finite"};
        return Converted {true, value, nullptr};
    };
    switch (row.conversion) {
    case Conversion::kCapsuleWGain:
    case Conversion::kCapsuleXyzGain:
        return result((v + 12.0f) / 24.0f);
    case Conversion::kEqGain:
    case Conversion::kXyzGain:
        return result((v + 15.0f) / 30.0f);
    case Conversion::kWGain:
        return result((v + 18.0f) / 30.0f);
    case Conversion::kEqFrequency:
        if (v == 0.0f)
            return result(0.0f);
        if (v < 0.0f)
            return Converted {false, 0.0f, "a frequency below 0 has no logarithm"};
        return result(param::eqFrequencyValue(static_cast<double>(v)));
    case Conversion::kEqBandwidth: {
        if (v == 0.0f)
            return result(0.0f);
        if (v < 0.0f)
            return Converted {false, 0.0f, "a bandwidth below 0 has no width in octaves"};
        // The centre is the capsule's as the program holds it now.
        const float f0 = param::eqCentreHzOfStoredValue(program.value(param::capEqFreq(n)));
        const float octaves = static_cast<float>(bandwidthToOctaves(f0, static_cast<double>(v)));
        return result(octaves / 5.0f);
    }
    case Conversion::kLfFrequency:
        if (v <= 0.0f)
            return Converted {false, 0.0f, "a frequency of 0 or below has no logarithm"};
        return result(param::lfFrequencyValue(static_cast<double>(v)));
    }
    return Converted {false, 0.0f, "unknown key"};
}

// The parameters that number n of a key line goes to (one, or three for "vsens").
int targetsOf(const KeyRow& row, int n, int (&targets)[3])
{
    switch (row.conversion) {
    case Conversion::kCapsuleWGain: targets[0] = param::capOutGain(n, 0); return 1;
    case Conversion::kCapsuleXyzGain:
        for (int o = 1; o <= 3; ++o)
            targets[o - 1] = param::capOutGain(n, o);
        return 3;
    case Conversion::kEqGain: targets[0] = param::capEqGain(n); return 1;
    case Conversion::kEqFrequency: targets[0] = param::capEqFreq(n); return 1;
    case Conversion::kEqBandwidth: targets[0] = param::capEqWidth(n); return 1;
    case Conversion::kWGain: targets[0] = param::outputGain(0); return 1;
    case Conversion::kXyzGain: targets[0] = param::outputGain(row.output); return 1;
    case Conversion::kLfFrequency: targets[0] = n == 0 ? param::kLfCutFreq : param::kLfBoostFreq; return 1;
    }
    return 0;
}

void applyKeyLine(const KeyRow& row, const LineReader& reader, ProgramRecord& program,
                  const DiagnosticReporter& diag)
{
    const char* line = reader.text();
    // "X", "Y" and "Z" lines are parsed only when they hold more than the letter and its break.
    if (row.conversion == Conversion::kXyzGain && std::strlen(line) <= 2) {
        diag.report(reader.number(), row.key, "line holds only the key; not parsed, values kept");
        return;
    }
    const ScannedLine scanned = scanKeyLine(line, row.key, row.count);
    for (int n = 0; n < row.count; ++n) {
        const std::string which = row.count > 1 ? "number " + std::to_string(n + 1) : "the number";
        if (scanned.state[n] == Number::kMissing) {
            diag.report(reader.number(), row.key,
                        which + " did not convert (\"" + reader.shown() + "\"); value kept");
            continue;
        }
        if (scanned.state[n] == Number::kOutOfRange) {
            diag.report(reader.number(), row.key, which + " is out of float range; value kept");
            continue;
        }
        const Converted converted = convert(row, n, scanned.values[n], program);
        if (!converted.usable) {
            diag.report(reader.number(), row.key, which + ": " + converted.reason + "; value kept");
            continue;
        }
        int targets[3];
        const int count = targetsOf(row, n, targets);
        for (int t = 0; t < count; ++t)
            program.value(targets[t]) = converted.value;
    }
}

// A W coefficient line: 'W' and then anything but a second 'W'.
bool isWLine(const char* line) { return line[0] == 'W' && line[1] != 'W'; }

bool isVelocityChar(char c) { return c == 'V' || c == 'e' || c == 'l'; }

// A velocity line: three characters out of 'V', 'e', 'l' and a fourth that is not.
bool isVelocityLine(const char* line)
{
    return isVelocityChar(line[0]) && isVelocityChar(line[1]) && isVelocityChar(line[2])
           && !isVelocityChar(line[3]);
}

bool isBlankLine(const char* line) { return isLineBreak(line[0]); }

// The coefficient block starts at a line beginning with 'W' (also "WW") or with three characters
// out of 'V', 'e', 'l'.
bool startsBlock(const char* line)
{
    return line[0] == 'W'
           || (isVelocityChar(line[0]) && isVelocityChar(line[1]) && isVelocityChar(line[2]));
}

// sscanf(line, "%s %s"): the second white-space-separated word, or empty when there is none.
std::string secondWord(const char* line)
{
    const char* p = line;
    for (int word = 0; word < 2; ++word) {
        while (*p != '\0' && isBlank(*p))
            ++p;
        const char* start = p;
        while (*p != '\0' && !isBlank(*p))
            ++p;
        if (p == start)
            return {};
        if (word == 1)
            return std::string(start, p);
    }
    return {};
}

void loadCoefficientLine(const LineReader& reader, const std::string& folder,
                         const std::string& calibrationName, CFilterCoefficients& wTable,
                         CFilterCoefficients& velocityTable, const DiagnosticReporter& diag)
{
    const bool w = isWLine(reader.text());
    const char* key = w ? "W" : "Vel";
    const std::string file = secondWord(reader.text());
    if (file.empty()) {
        diag.report(reader.number(), key, "no file name after the first word; nothing loaded");
        return;
    }
    const std::string path = platform::joinPath(platform::joinPath(folder, calibrationName), file);
    if (path.size() > kMaxPathCharacters) {
        diag.report(reader.number(), key,
                    "coefficient file path longer than 1023 characters; nothing loaded");
        return;
    }
    loadCoefficientFile(w ? wTable : velocityTable, path.c_str());
}

} // namespace

bool readLine(std::FILE* file, char (&line)[kLineSize]) { return readPiece(file, line) > 0; }

double bandwidthToOctaves(double f0, double bw)
{
    double octaves = bw / f0;
    // A ratio without a finite value gives no bracket to halve: the search would never end.
    if (!std::isfinite(octaves))
        return octaves;
    double step = octaves * 0.5;
    if (!(step > 0.0001))
        return octaves;
    do {
        const double half = std::pow(2.0, octaves / 2.0);
        const double width = f0 * half - f0 / half;
        if (width > bw)
            octaves -= step;
        else if (width < bw)
            octaves += step;
        step *= 0.5;
    } while (step > 0.0001);
    return octaves;
}

void readTextCalibration(std::FILE* file, const std::string& folder,
                         const std::string& calibrationName, ProgramRecord& program,
                         FilterBank& postMatrixFilters, const DiagnosticSink* sink,
                         const std::string& filePath)
{
    const DiagnosticReporter diag(sink, filePath);

    program.setName(calibrationName.c_str());
    if (calibrationName.size() > ProgramRecord::kNameSize - 1)
        diag.report(0, {}, "program name cut to 23 characters: \"" + std::string(program.name) + "\"");
    program.value(param::kGainsLinked) = 0.0f;
    program.value(param::kLocked) = 0.0f;
    program.value(param::kCalibration) = 0.0f;

    // The key lines, each looked for from where the previous one was found.
    LineReader reader(file);
    for (const KeyRow& row : kKeyRows) {
        reader.next();
        while (!reader.exhausted()) {
            if (matchesKey(reader.text(), row.key))
                break;
            diag.report(reader.number(), row.key,
                        "line \"" + reader.shown() + "\" passed over while looking for \""
                            + row.key + "\"");
            reader.next();
        }
        if (matchesKey(reader.text(), row.key))
            applyKeyLine(row, reader, program, diag);
        else
            diag.report(reader.number(), row.key,
                        std::string("key \"") + row.key + "\" not found: the scan reached the "
                            "end of the file; later keys are tried only against its last line");
    }

    // The coefficient block: the first line after the "LF" step that may begin it.
    bool block = false;
    if (!reader.exhausted()) {
        while (reader.next()) {
            if (startsBlock(reader.text())) {
                block = true;
                break;
            }
            diag.report(reader.number(), {},
                        "line \"" + reader.shown() + "\" passed over before the coefficient block");
        }
    }
    if (!block)
        diag.report(0, {}, "no coefficient block: the filter set keeps empty tables");

    const int set = postMatrixFilters.count;
    if (set >= 0 && set < FilterBank::kSets) {
        auto wTable = std::make_shared<CFilterCoefficients>();
        auto velocityTable = std::make_shared<CFilterCoefficients>();
        for (int channel = 0; channel < FilterBank::kChannels; ++channel) {
            const auto& table = channel == 0 ? wTable : velocityTable;
            CFilter* filter
                = postMatrixFilters.place(set, channel, std::make_unique<CTableIIRFilter>(table));
            filter->setName(calibrationName.c_str());
            filter->setCoefficients(table.get());
        }

        if (block) {
            do {
                const char* line = reader.text();
                if (isBlankLine(line))
                    continue;
                if (!isWLine(line) && !isVelocityLine(line)) {
                    diag.report(reader.number(), {},
                                "line \"" + reader.shown() + "\" ends the coefficient block; "
                                "the rest of the file is not read");
                    break;
                }
                loadCoefficientLine(reader, folder, calibrationName, *wTable, *velocityTable, diag);
            } while (reader.next());
        }
    } else {
        diag.report(0, {}, "the post-matrix bank is full: no filter set is created, the coefficient "
                           "block is not read and the program's filter set is \"None\"");
    }

    program.value(param::kPreMatrixFilterNumber) = 0.0f;
    program.value(param::kPostMatrixFilterNumber) = param::filterSetValue(set);
    program.value(param::kLfEnabled) = 1.0f;
    program.value(param::kEqsEnabled) = 1.0f;
    program.value(param::kViewMode) = 0.0f;
    postMatrixFilters.countSet();
}
