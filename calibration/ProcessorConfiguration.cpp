#include "calibration/ProcessorConfiguration.h"

#include "calibration/COSCFile.h"
#include "calibration/TextCalibration.h"
#include "dsp/CParaEQ2Band.h"
#include "dsp/CParaEQ3Band.h"
#include "dsp/Decibel.h"
#include "dsp/FilterBank.h"
#include "model/Parameters.h"
#include "model/ProgramRecord.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <string>

namespace {

// "Cap %d Out %d Gain" in dB given to a weight of 0, which has no logarithm.
constexpr float kZeroWeightDb = -120.0f;

// The message's arguments at positions 0.. have the tags of expected ("iffff"); more may follow.
bool hasTags(const COSCFile& osc, const char* expected)
{
    for (int i = 0; expected[i] != '\0'; ++i)
        if (osc.tag(i) != expected[i])
            return false;
    return true;
}

std::string tagsText(const COSCFile& osc)
{
    return osc.typeTags[0] != '\0' ? std::string("\"") + osc.typeTags + "\"" : "none";
}

// Normalised "Cap %d Out %d Gain" of a linear weight: its magnitude in dB, rounded to float,
// then (dB + 12) / 24 in single precision.
float weightValue(float weight)
{
    const float db = weight == 0.0f
                         ? kZeroWeightDb
                         : static_cast<float>(20.0 * std::log(std::fabs(static_cast<double>(weight)))
                                              / param::kLn10);
    return (db + 12.0f) / 24.0f;
}

// A gain in dB that an equaliser can apply: its linear factor is a finite float.
bool gainUsable(float db) { return std::isfinite(db) && std::isfinite(dbToLinear(db)); }

class ConfigurationReader {
public:
    ConfigurationReader(std::FILE* file, const std::string& calibrationName, ProgramRecord& program,
                        FilterBank& bank, int& version, const DiagnosticSink* sink,
                        const std::string& filePath)
        : calibrationName(calibrationName), program(program), bank(bank), version(version),
          diag(sink, filePath), osc(std::make_unique<COSCFile>())
    {
        osc->file = file;
    }

    ScanStep read()
    {
        const int set = bank.count;
        while (osc->readMessage()) {
            ++messageNumber;
            setPerMessageValues();
            if (std::strcmp(osc->address, "/sonqproc") == 0) {
                if (!takeVersion()) {
                    removePartialSet(set);
                    return ScanStep::kEndScan;
                }
            } else if (std::strcmp(osc->address, "/matrix/row") == 0) {
                matrixRow();
            } else if (std::strcmp(osc->address, "/lffilt/par") == 0) {
                lfFilter();
            } else if (std::strcmp(osc->address, "/pmfilt/par") == 0) {
                postMatrixFilter(set);
            } else {
                report(osc->address[0] != '\0' ? "address not known; no effect"
                                                : "empty message; no effect");
            }
        }
        if (osc->problem())
            diag.report(messageNumber + 1, {},
                        std::string("malformed message (") + osc->problem()
                            + "); reading of this file stops here");

        completeSet(set);
        program.value(param::kPreMatrixFilterNumber) = 0.0f;
        program.value(param::kPostMatrixFilterNumber) = param::filterSetValue(set);
        bank.countSet();
        return ScanStep::kGoOn;
    }

private:
    void report(const std::string& reason) const
    {
        diag.report(messageNumber, osc->address, reason);
    }

    void setPerMessageValues()
    {
        program.setName(calibrationName.c_str());
        if (messageNumber == 1 && calibrationName.size() > ProgramRecord::kNameSize - 1)
            diag.report(0, {}, "program name cut to 23 characters: \"" + std::string(program.name) + "\"");
        program.value(param::kGainsLinked) = 0.0f;
        program.value(param::kLocked) = 1.0f;
        program.value(param::kCalibration) = 1.0f;
        program.value(param::kViewMode) = 0.0f;
    }

    // False when the version is not 1, 2 or 3 (or not given as an integer): the scan ends.
    bool takeVersion()
    {
        if (!hasTags(*osc, "i")) {
            report("no integer version (type tags " + tagsText(*osc)
                   + "); the scan of configuration files ends here");
            return false;
        }
        const std::int32_t v = osc->intArgs[0];
        if (v < 1 || v > 3) {
            report("version " + std::to_string(v)
                   + " is not 1, 2 or 3; the scan of configuration files ends here");
            return false;
        }
        version = v;
        return true;
    }

    void matrixRow()
    {
        if (!hasTags(*osc, "iffff")) {
            report("type tags " + tagsText(*osc) + " are not \",iffff\"; ignored");
            return;
        }
        const std::int32_t row = osc->intArgs[0];
        if (row < 0 || row > 3) {
            report("row " + std::to_string(row) + " is outside 0..3; ignored");
            return;
        }
        for (int capsule = 0; capsule < param::kCapsules; ++capsule) {
            const float weight = osc->floatArgs[1 + capsule];
            const float value = std::isfinite(weight) ? weightValue(weight) : NAN;
            if (!std::isfinite(value)) {
                report("weight of capsule " + std::to_string(capsule + 1)
                       + " is not finite; value kept");
                continue;
            }
            program.value(param::capOutGain(capsule, row)) = value;
        }
    }

    void lfFilter()
    {
        if (!hasTags(*osc, "fff")) {
            report("type tags " + tagsText(*osc) + " are not \",fff\"; ignored");
            return;
        }
        const float freqHz = osc->floatArgs[0];
        const float relativeWidth = osc->floatArgs[1];
        const float gainDb = osc->floatArgs[2];
        if (!(freqHz > 0.0f) || !(relativeWidth > 0.0f)) {
            report("centre frequency or width not above 0; ignored");
            return;
        }
        const float freqValue = param::eqFrequencyValue(static_cast<double>(freqHz));
        const float bandwidthHz = freqHz * relativeWidth;
        const float widthValue
            = static_cast<float>(bandwidthToOctaves(freqHz, static_cast<double>(bandwidthHz))) / 5.0f;
        const float gainValue = (gainDb + 15.0f) / 30.0f;
        if (!std::isfinite(freqValue) || !std::isfinite(widthValue) || !std::isfinite(gainValue)) {
            report("centre, width or gain gives a value that is not finite; ignored");
            return;
        }
        for (int capsule = 0; capsule < param::kCapsules; ++capsule) {
            program.value(param::capEqFreq(capsule)) = freqValue;
            program.value(param::capEqWidth(capsule)) = widthValue;
            program.value(param::capEqGain(capsule)) = gainValue;
        }
        program.value(param::kEqsEnabled) = 1.0f;
        program.value(param::kEqsLinked) = 0.0f;
        program.value(param::kLfEnabled) = 1.0f;
        program.value(param::kLfCutFreq) = 0.0f;
        program.value(param::kLfBoostFreq) = 0.0f;
    }

    void postMatrixFilter(int set)
    {
        if (version == 0) {
            report("no \"sonqproc\" version has been given in this scan; builds nothing");
            return;
        }
        if (set < 0 || set >= FilterBank::kSets) {
            report("the post-matrix bank is full; builds nothing");
            return;
        }
        // Floats after the channel: two bands and no output gain (1), two bands and the output
        // gain (2), three bands and the output gain (3).
        const char* expected = version == 1 ? "iffffff" : version == 2 ? "ifffffff" : "iffffffffff";
        if (!hasTags(*osc, expected)) {
            report("type tags " + tagsText(*osc) + " do not fit version " + std::to_string(version)
                   + " (\"," + expected + "\"); ignored");
            return;
        }
        const std::int32_t channel = osc->intArgs[0];
        if (channel < 0 || channel > 3) {
            report("channel " + std::to_string(channel) + " is outside 0..3; ignored");
            return;
        }
        const float* a = osc->floatArgs;
        const int floats = static_cast<int>(std::strlen(expected)) - 1;
        for (int i = 1; i <= floats; ++i)
            if (!std::isfinite(a[i])) {
                report("argument " + std::to_string(i) + " is not finite; ignored");
                return;
            }
        const int bands = version == 3 ? 3 : 2;
        bool gainsUsable = version == 1 || gainUsable(a[floats]);
        for (int band = 0; band < bands; ++band)
            gainsUsable = gainsUsable && gainUsable(a[3 + 3 * band]);
        if (!gainsUsable) {
            report("a gain too large for a float factor; ignored");
            return;
        }

        std::unique_ptr<CFilter> equaliser;
        if (version == 3)
            equaliser = std::make_unique<CParaEQ3Band>(a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8],
                                                       a[9], a[10]);
        else
            equaliser = std::make_unique<CParaEQ2Band>(a[1], a[2], a[3], a[4], a[5], a[6],
                                                       version == 2 ? a[7] : 0.0f);
        bank.place(set, channel, std::move(equaliser))->setName(calibrationName.c_str());
    }

    // Fills the channels that no "pmfilt/par" gave with filters that pass their signal.
    void completeSet(int set)
    {
        if (set < 0 || set >= FilterBank::kSets)
            return;
        for (int channel = 0; channel < FilterBank::kChannels; ++channel) {
            if (bank.filter(set, channel))
                continue;
            bank.place(set, channel, std::make_unique<CFilter>())->setName(calibrationName.c_str());
            diag.report(0, {}, "channel " + std::to_string(channel)
                                   + " has no \"pmfilt/par\": it passes its signal unchanged");
        }
    }

    // A bad version gives the file no set number, so nothing built from it may stay in the bank
    // where a host could select it half-built.
    void removePartialSet(int set)
    {
        if (set < 0 || set >= FilterBank::kSets)
            return;
        for (int channel = 0; channel < FilterBank::kChannels; ++channel)
            bank.place(set, channel, nullptr);
    }

    const std::string& calibrationName;   // file name up to its first '.'
    ProgramRecord& program;               // the slot this file fills
    FilterBank& bank;                     // the post-matrix bank
    int& version;                         // configuration version of the scan, 0 before any
    DiagnosticReporter diag;              // where passed-over messages are reported
    std::unique_ptr<COSCFile> osc;        // the message reader (about 35 KB of fields)
    int messageNumber = 0;                // messages read so far
};

} // namespace

ScanStep readProcessorConfiguration(std::FILE* file, const std::string& calibrationName,
                                    ProgramRecord& program, FilterBank& postMatrixFilters,
                                    int& version, const DiagnosticSink* sink,
                                    const std::string& filePath)
{
    ConfigurationReader reader(file, calibrationName, program, postMatrixFilters, version, sink,
                               filePath);
    return reader.read();
}
