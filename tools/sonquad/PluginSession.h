// The plug-in object driven in-process the way a host drives it: constructed with a host
// callback, then programs, parameters, sample rate and block size, then processReplacing. The
// object is the plain ASonquad, without an editor: the command-line host links no window system.
// Programs and parameters are chosen by number or by name, values in the parameter's own unit.
#pragma once

#include "plugin/ASonquad.h"
#include "tools/sonquad/ParameterText.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

// Sets SONQUAD_CALIBRATION_DIR for every plug-in constructed afterwards; throws CliError when
// folder is not an existing folder. [main thread, before any plug-in exists]
void useCalibrationFolder(const std::string& folder);

// Sends the plug-in's messages (its message boxes) to standard error, each line prefixed
// "sonquad: SonquadVST says: ". [main thread, once]
void printPluginMessages();

class PluginSession {
public:
    // [host thread] Constructs the plug-in, which scans the calibration folder and selects
    // program 0.
    PluginSession();

    ASonquad& plugin() { return *effect; }

    // The program names a host sees (selecting each program in turn, as a host's program list
    // does, then the current one again). The plug-in's messages meanwhile are not printed.
    std::vector<std::string> programNames();
    // Program by number ("3") or name (exactly, then ignoring case); throws CliError naming the
    // programs there are.
    int findProgram(std::string_view choice);
    void selectProgram(int program);
    // The same without printing the plug-in's messages, for listings.
    void selectProgramQuietly(int program);

    // Applies "PARAM NAME=VALUE" (see ParameterText.h), then reads the display back and throws
    // CliError when it does not show the value asked for.
    void applySetting(std::string_view assignment);

    // Names of the sets of the post- and pre-matrix banks, by set number.
    SetNames postMatrixSetNames() const;
    SetNames preMatrixSetNames() const;

    std::string parameterName(int parameter);
    std::string parameterDisplay(int parameter);
    std::string parameterLabel(int parameter);

    // Samples by which the output trails the input: the block length of the FFT convolution when
    // the selected post-matrix set convolves (the coincidence sets), else 0. The plug-in does
    // not report it to hosts.
    int latencySamples() const;

    // Sample rate and block size, as a host gives them before anything else.
    void configure(float sampleRate, int blockSize);
    // The plug-in switched on (resume), as a host starts processing.
    void start();
    // [audio thread] One block: four input and four output channels, frames < 32768.
    void process(float* const inputs[4], float* const outputs[4], int frames);

private:
    std::unique_ptr<ASonquad> effect;   // the plug-in object, headless
};

} // namespace cli
