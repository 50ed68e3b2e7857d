#include "tools/sonquad/PluginSession.h"

#include "platform/platform.h"
#include "tools/sonquad/CliError.h"
#include "tools/sonquad/Progress.h"
#include "tools/sonquad/Text.h"

#include <cstdlib>
#include <filesystem>

namespace cli {

namespace {

// The host side of the plug-in's callback: it asks only for the host's VST version (at entry)
// and, during edits, for idle and edit notifications, which an offline host ignores.
VstIntPtr VSTCALLBACK hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    return opcode == audioMasterVersion ? kVstVersion : 0;
}

// Set while this thread only looks around the programs (listing their names): selecting each
// program in turn makes calibration sets complain about rates nothing will be rendered at.
thread_local bool messagesMuted = false;

class MutedMessages {
public:
    MutedMessages() : previous(messagesMuted) { messagesMuted = true; }
    ~MutedMessages() { messagesMuted = previous; }
    MutedMessages(const MutedMessages&) = delete;
    MutedMessages& operator=(const MutedMessages&) = delete;

private:
    bool previous;   // muted state to restore
};

void printMessage(void*, const char* caption, const char* text)
{
    if (messagesMuted)
        return;
    std::string line = "sonquad: ";
    line += caption;
    line += " says: ";
    line += text;
    Progress::printLine(line);
}

SetNames setNames(const FilterBank& bank)
{
    SetNames names(FilterBank::kSets);
    for (int set = 0; set < FilterBank::kSets; ++set)
        if (bank.hasSet(set))
            names[set] = bank.setName(set);
    return names;
}

} // namespace

void useCalibrationFolder(const std::string& folder)
{
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error))
        throw CliError("calibration folder " + inQuotes(folder) + " does not exist");
    ::setenv("SONQUAD_CALIBRATION_DIR", folder.c_str(), 1);
}

void printPluginMessages() { platform::setMessageSink(printMessage, nullptr); }

PluginSession::PluginSession() : effect(std::make_unique<ASonquad>(hostCallback)) {}

std::vector<std::string> PluginSession::programNames()
{
    const MutedMessages muted;
    const VstInt32 current = effect->getProgram();
    std::vector<std::string> names;
    for (VstInt32 program = 0; program < ASonquad::kNumPrograms; ++program) {
        char text[64] = {};   // room beyond the 24 bytes a host gives
        effect->setProgram(program);
        effect->getProgramName(text);
        names.emplace_back(text);
    }
    effect->setProgram(current);
    effect->showPendingMessages();   // while muted: nothing of this walk is printed
    return names;
}

int PluginSession::findProgram(std::string_view choice)
{
    choice = trim(choice);
    const std::vector<std::string> names = programNames();
    if (const std::optional<long long> number = parseInteger(choice)) {
        if (*number >= 0 && *number < static_cast<long long>(names.size()))
            return static_cast<int>(*number);
    } else {
        for (std::size_t p = 0; p < names.size(); ++p)
            if (names[p] == choice)
                return static_cast<int>(p);
        for (std::size_t p = 0; p < names.size(); ++p)
            if (equalsIgnoreCase(names[p], choice))
                return static_cast<int>(p);
    }
    std::string list;
    for (std::size_t p = 0; p < names.size(); ++p)
        list += (p ? ", " : "") + std::to_string(p) + " \"" + names[p] + "\"";
    throw CliError("unknown program " + inQuotes(choice) + " (programs: " + list + ")");
}

void PluginSession::selectProgram(int program)
{
    effect->setProgram(program);
    effect->showPendingMessages();
}

void PluginSession::selectProgramQuietly(int program)
{
    const MutedMessages muted;
    effect->setProgram(program);
    effect->showPendingMessages();
}

void PluginSession::applySetting(std::string_view assignment)
{
    const std::size_t equals = assignment.find('=');
    if (equals == std::string_view::npos)
        throw UsageError("--set takes \"PARAM NAME=VALUE\", not " + inQuotes(assignment));
    const std::string_view name = trim(assignment.substr(0, equals));
    const std::string_view value = trim(assignment.substr(equals + 1));
    const int parameter = findParameter(name);
    if (parameter < 0)
        throw CliError("unknown parameter " + inQuotes(name) + " (sonquad params lists them)");
    const SetNames sets = parameter == param::kPreMatrixFilterNumber ? preMatrixSetNames() : postMatrixSetNames();
    effect->setParameter(parameter, normalisedValue(parameter, value, sets));
    effect->showPendingMessages();
    const std::string shown = parameterDisplay(parameter);
    if (!displayAgrees(parameter, value, shown, sets))
        throw CliError("\"" + parameterName(parameter) + "\" shows " + inQuotes(trim(shown)) + " after being set to " +
                       inQuotes(value));
}

SetNames PluginSession::postMatrixSetNames() const { return setNames(effect->audioEngine().postMatrixBank()); }
SetNames PluginSession::preMatrixSetNames() const { return setNames(effect->audioEngine().preMatrixBank()); }

std::string PluginSession::parameterName(int parameter)
{
    char text[64] = {};
    effect->getParameterName(parameter, text);
    return text;
}

std::string PluginSession::parameterDisplay(int parameter)
{
    char text[64] = {};
    effect->getParameterDisplay(parameter, text);
    return text;
}

std::string PluginSession::parameterLabel(int parameter)
{
    char text[64] = {};
    effect->getParameterLabel(parameter, text);
    return text;
}

int PluginSession::latencySamples() const { return effect->latencySamples(); }

void PluginSession::configure(float sampleRate, int blockSize)
{
    effect->setSampleRate(sampleRate);
    effect->setBlockSize(blockSize);
}

void PluginSession::start() { effect->resume(); }

void PluginSession::process(float* const inputs[4], float* const outputs[4], int frames)
{
    effect->processReplacing(const_cast<float**>(inputs), const_cast<float**>(outputs), frames);
}

} // namespace cli
