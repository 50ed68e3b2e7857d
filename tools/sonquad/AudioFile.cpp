#include "tools/sonquad/AudioFile.h"

#include "tools/sonquad/CliError.h"
#include "tools/sonquad/Text.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <unistd.h>

namespace cli {

namespace fs = std::filesystem;

// ---- containers and sample types ----

std::optional<Container> parseContainer(std::string_view text)
{
    const struct {
        const char* name;
        Container container;
    } names[] = {{"wav", Container::kWav},   {"wavex", Container::kWavex}, {"amb", Container::kAmb},
                 {"rf64", Container::kRf64}, {"w64", Container::kW64},     {"flac", Container::kFlac},
                 {"caf", Container::kCaf}};
    for (const auto& entry : names)
        if (equalsIgnoreCase(text, entry.name))
            return entry.container;
    return std::nullopt;
}

std::optional<Container> containerForPath(const std::string& path)
{
    std::string extension = fs::path(path).extension().string();
    if (extension.empty())
        return std::nullopt;
    extension.erase(0, 1);
    if (equalsIgnoreCase(extension, "wavex"))   // not an extension anyone writes
        return std::nullopt;
    return parseContainer(extension);
}

const char* containerName(Container container)
{
    switch (container) {
    case Container::kWav: return "WAV";
    case Container::kWavex: return "WAVEX";
    case Container::kAmb: return "AMB (WAVEX, B-format)";
    case Container::kRf64: return "RF64";
    case Container::kW64: return "W64";
    case Container::kFlac: return "FLAC";
    case Container::kCaf: return "CAF";
    }
    return "?";
}

std::optional<SampleType> parseSampleType(std::string_view text)
{
    const struct {
        const char* name;
        SampleType type;
    } names[] = {{"pcm16", SampleType::kPcm16}, {"pcm24", SampleType::kPcm24}, {"pcm32", SampleType::kPcm32},
                 {"float", SampleType::kFloat}, {"double", SampleType::kDouble}};
    for (const auto& entry : names)
        if (equalsIgnoreCase(text, entry.name))
            return entry.type;
    return std::nullopt;
}

const char* sampleTypeName(SampleType type)
{
    switch (type) {
    case SampleType::kPcm16: return "pcm16";
    case SampleType::kPcm24: return "pcm24";
    case SampleType::kPcm32: return "pcm32";
    case SampleType::kFloat: return "float";
    case SampleType::kDouble: return "double";
    }
    return "?";
}

int bytesPerSample(SampleType type)
{
    switch (type) {
    case SampleType::kPcm16: return 2;
    case SampleType::kPcm24: return 3;
    case SampleType::kDouble: return 8;
    default: return 4;
    }
}

bool isInteger(SampleType type) { return type != SampleType::kFloat && type != SampleType::kDouble; }

SampleType defaultSampleType(Container container)
{
    return container == Container::kFlac ? SampleType::kPcm24 : SampleType::kFloat;
}

bool holdsSampleType(Container container, SampleType type)
{
    if (container == Container::kFlac)
        return type == SampleType::kPcm16 || type == SampleType::kPcm24;
    return true;
}

int sndfileFormat(Container container, SampleType type)
{
    int major = SF_FORMAT_WAV;
    switch (container) {
    case Container::kWav: major = SF_FORMAT_WAV; break;
    case Container::kWavex:
    case Container::kAmb: major = SF_FORMAT_WAVEX; break;
    case Container::kRf64: major = SF_FORMAT_RF64; break;
    case Container::kW64: major = SF_FORMAT_W64; break;
    case Container::kFlac: major = SF_FORMAT_FLAC; break;
    case Container::kCaf: major = SF_FORMAT_CAF; break;
    }
    int minor = SF_FORMAT_FLOAT;
    switch (type) {
    case SampleType::kPcm16: minor = SF_FORMAT_PCM_16; break;
    case SampleType::kPcm24: minor = SF_FORMAT_PCM_24; break;
    case SampleType::kPcm32: minor = SF_FORMAT_PCM_32; break;
    case SampleType::kFloat: minor = SF_FORMAT_FLOAT; break;
    case SampleType::kDouble: minor = SF_FORMAT_DOUBLE; break;
    }
    return major | minor;
}

bool needsRf64(std::uint64_t frames, int channels, int bytesPerSample, std::uint64_t metadataBytes)
{
    // The RIFF size field holds the file's length less 8 bytes, the data chunk's size field the
    // audio bytes; both are unsigned 32-bit. Compare without overflow for any frame count.
    constexpr std::uint64_t kLimit = 0xFFFFFFFFull;
    const std::uint64_t frameBytes = static_cast<std::uint64_t>(channels) * static_cast<std::uint64_t>(bytesPerSample);
    if (frameBytes == 0)
        return false;
    if (metadataBytes >= kLimit)
        return true;
    return frames > (kLimit - metadataBytes) / frameBytes;
}

Container containerForLength(Container requested, std::uint64_t frames, int channels, SampleType type)
{
    const bool riff = requested == Container::kWav || requested == Container::kWavex || requested == Container::kAmb;
    if (riff && needsRf64(frames, channels, bytesPerSample(type), kRiffOverheadBytes))
        return Container::kRf64;
    return requested;
}

std::string openFailureReason(const std::string& path)
{
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (status.type() == fs::file_type::not_found)
        return "no such file";
    if (status.type() == fs::file_type::directory)
        return "it is a folder";
    std::string reason = sf_strerror(nullptr);
    while (!reason.empty() && (reason.back() == '.' || reason.back() == ' ' || reason.back() == '\n'))
        reason.pop_back();
    return reason.empty() ? "unreadable" : toLower(reason.substr(0, 1)) + reason.substr(1);
}

// ---- input takes ----

namespace {

struct OpenedFile {
    SndfileHandle handle;
    SF_INFO info {};
};

OpenedFile openForReading(const std::string& path)
{
    OpenedFile opened;
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &opened.info);
    if (!file)
        throw CliError("cannot open " + inQuotes(path) + ": " + openFailureReason(path));
    opened.handle.reset(file);
    if (opened.info.samplerate <= 0)
        throw CliError(inQuotes(path) + " has no sample rate");
    return opened;
}

} // namespace

InputTake::InputTake(const std::vector<std::string>& inputPaths) : paths(inputPaths)
{
    if (paths.size() != 1 && paths.size() != 4)
        throw CliError("a take is one four-channel file or four mono files, not " + std::to_string(paths.size()) +
                       " files");
    displayName = paths.front();
    std::vector<OpenedFile> opened;
    for (const std::string& path : paths)
        opened.push_back(openForReading(path));

    const int wantedChannels = paths.size() == 1 ? 4 : 1;
    for (std::size_t k = 0; k < opened.size(); ++k) {
        if (opened[k].info.channels != wantedChannels) {
            const std::string has = std::to_string(opened[k].info.channels) +
                                    (opened[k].info.channels == 1 ? " channel" : " channels");
            throw CliError(inQuotes(paths[k]) + " has " + has +
                           ": render takes four-channel files (capsules 1 to 4) or four mono files");
        }
    }
    for (std::size_t k = 1; k < opened.size(); ++k) {
        if (opened[k].info.samplerate != opened[0].info.samplerate)
            throw CliError("mono files differ in sample rate: " + inQuotes(paths[0]) + " is " +
                           std::to_string(opened[0].info.samplerate) + " Hz, " + inQuotes(paths[k]) + " is " +
                           std::to_string(opened[k].info.samplerate) + " Hz");
        if (opened[k].info.frames != opened[0].info.frames)
            throw CliError("mono files differ in length: " + inQuotes(paths[0]) + " has " +
                           std::to_string(opened[0].info.frames) + " frames, " + inQuotes(paths[k]) + " has " +
                           std::to_string(opened[k].info.frames));
    }
    sampleRate = opened[0].info.samplerate;
    frameCount = static_cast<std::uint64_t>(std::max<sf_count_t>(0, opened[0].info.frames));
    hasBroadcast = sf_command(opened[0].handle.get(), SFC_GET_BROADCAST_INFO, &broadcastInfo,
                              sizeof broadcastInfo) == SF_TRUE;
    for (OpenedFile& file : opened)
        files.push_back(std::move(file.handle));
}

std::size_t InputTake::read(float* const capsules[4], std::size_t count)
{
    const std::uint64_t left = frameCount - framesRead;
    const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(count, left));
    if (wanted == 0)
        return 0;
    if (files.size() == 1) {
        interleaved.resize(4 * wanted);
        const sf_count_t got = sf_readf_float(files[0].get(), interleaved.data(), static_cast<sf_count_t>(wanted));
        if (got != static_cast<sf_count_t>(wanted))
            throw CliError("reading " + inQuotes(paths[0]) + " failed after " + std::to_string(framesRead + std::max<sf_count_t>(got, 0)) +
                           " of " + std::to_string(frameCount) + " frames");
        for (std::size_t n = 0; n < wanted; ++n)
            for (int c = 0; c < 4; ++c)
                capsules[c][n] = interleaved[4 * n + c];
    } else {
        for (int c = 0; c < 4; ++c) {
            const sf_count_t got = sf_readf_float(files[c].get(), capsules[c], static_cast<sf_count_t>(wanted));
            if (got != static_cast<sf_count_t>(wanted))
                throw CliError("reading " + inQuotes(paths[c]) + " failed after " +
                               std::to_string(framesRead + std::max<sf_count_t>(got, 0)) + " of " +
                               std::to_string(frameCount) + " frames");
        }
    }
    framesRead += wanted;
    return wanted;
}

SoundData readSound(const std::string& path)
{
    OpenedFile opened = openForReading(path);
    SoundData data;
    data.rate = opened.info.samplerate;
    data.channels = opened.info.channels;
    data.frames = static_cast<std::uint64_t>(std::max<sf_count_t>(0, opened.info.frames));
    data.interleaved.resize(data.frames * static_cast<std::uint64_t>(data.channels));
    const sf_count_t got = sf_readf_float(opened.handle.get(), data.interleaved.data(), opened.info.frames);
    if (got != opened.info.frames)
        throw CliError("reading " + inQuotes(path) + " failed after " + std::to_string(std::max<sf_count_t>(got, 0)) +
                       " of " + std::to_string(data.frames) + " frames");
    return data;
}

// ---- temporary outputs and their removal on an interrupt ----

namespace {

constexpr int kTemporarySlots = 64;
constexpr std::size_t kPathSize = 4096;

// Paths of the temporary files being written, for the signal handler. A slot is claimed
// (kFilling), its path written, then published (kReady); the handler removes only ready ones.
enum SlotState : int { kFree = 0, kFilling = 1, kReady = 2 };
char temporaryPaths[kTemporarySlots][kPathSize];
std::atomic<int> temporaryState[kTemporarySlots];
std::atomic<unsigned> temporaryCounter {0};

int registerTemporary(const std::string& path)
{
    if (path.size() >= kPathSize)
        return -1;
    for (int slot = 0; slot < kTemporarySlots; ++slot) {
        int expected = kFree;
        if (!temporaryState[slot].compare_exchange_strong(expected, kFilling))
            continue;
        std::memcpy(temporaryPaths[slot], path.c_str(), path.size() + 1);
        temporaryState[slot].store(kReady);
        return slot;
    }
    return -1;   // more than 64 outputs at once: that one is not removed on an interrupt
}

void unregisterTemporary(int slot)
{
    if (slot >= 0)
        temporaryState[slot].store(kFree);
}

extern "C" void removeTemporariesAndDie(int signal)
{
    for (int slot = 0; slot < kTemporarySlots; ++slot)
        if (temporaryState[slot].load() == kReady)
            ::unlink(temporaryPaths[slot]);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

} // namespace

void removeTemporaryFilesOnInterrupt()
{
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        std::signal(signal, removeTemporariesAndDie);
}

OutputFile::OutputFile(const Settings& outputSettings) : target(outputSettings)
{
    const fs::path finalPath(target.path);
    fs::path folder = finalPath.parent_path();
    if (folder.empty())
        folder = ".";
    std::error_code error;
    const fs::file_status status = fs::status(folder, error);
    if (status.type() == fs::file_type::not_found)
        throw CliError("cannot write " + inQuotes(target.path) + ": folder " + inQuotes(folder.string()) + " does not exist");
    if (status.type() != fs::file_type::directory)
        throw CliError("cannot write " + inQuotes(target.path) + ": " + inQuotes(folder.string()) + " is not a folder");
    if (fs::is_directory(finalPath, error))
        throw CliError("cannot write " + inQuotes(target.path) + ": it is a folder");

    temporaryPath = (folder / ("." + finalPath.filename().string() + ".sonquad-" + std::to_string(::getpid()) + "-" +
                               std::to_string(temporaryCounter.fetch_add(1)) + ".part"))
                        .string();

    SF_INFO info {};
    info.samplerate = target.rate;
    info.channels = target.channels;
    info.format = sndfileFormat(target.container, target.type);
    if (!sf_format_check(&info))
        throw CliError(std::string("cannot write ") + sampleTypeName(target.type) + " samples in a " +
                       containerName(target.container) + " file");
    temporarySlot = registerTemporary(temporaryPath);
    SNDFILE* handle = sf_open(temporaryPath.c_str(), SFM_WRITE, &info);
    if (!handle) {
        const int systemError = errno;
        unregisterTemporary(temporarySlot);
        std::string reason = sf_strerror(nullptr);
        if (reason.find("System error") != std::string::npos && systemError != 0)
            reason = std::strerror(systemError);
        throw CliError("cannot write " + inQuotes(target.path) + ": " + reason);
    }
    file.reset(handle);

    // Integer outputs: samples beyond full scale are held at full scale, not wrapped around.
    sf_command(file.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);
    if (target.broadcast) {
        BroadcastInfo copy = *target.broadcast;
        wroteBroadcast = sf_command(file.get(), SFC_SET_BROADCAST_INFO, &copy, sizeof copy) == SF_TRUE;
    }
    if (target.container == Container::kAmb)
        flaggedAmbisonic = sf_command(file.get(), SFC_WAVEX_SET_AMBISONIC, nullptr, SF_AMBISONIC_B_FORMAT) ==
                           SF_AMBISONIC_B_FORMAT;
}

OutputFile::~OutputFile()
{
    if (!committed)
        discard();
}

void OutputFile::discard()
{
    file.reset();
    if (!temporaryPath.empty())
        std::remove(temporaryPath.c_str());
    unregisterTemporary(temporarySlot);
    temporarySlot = -1;
}

void OutputFile::write(const float* interleaved, std::size_t frames)
{
    if (frames == 0)
        return;
    errno = 0;
    const sf_count_t written = sf_writef_float(file.get(), interleaved, static_cast<sf_count_t>(frames));
    if (written != static_cast<sf_count_t>(frames)) {
        const int systemError = errno;
        std::string reason = systemError ? std::strerror(systemError) : sf_strerror(file.get());
        discard();
        throw CliError("writing " + inQuotes(target.path) + " failed: " + reason);
    }
}

void OutputFile::commit()
{
    // libsndfile writes the final sizes into the header when it closes the file.
    SNDFILE* handle = file.release();
    errno = 0;
    if (sf_close(handle) != 0) {
        const int systemError = errno;
        discard();
        throw CliError("writing " + inQuotes(target.path) + " failed: " +
                       (systemError ? std::strerror(systemError) : "the file could not be completed"));
    }
    if (std::rename(temporaryPath.c_str(), target.path.c_str()) != 0) {
        const int systemError = errno;
        discard();
        throw CliError("cannot write " + inQuotes(target.path) + ": " + std::strerror(systemError));
    }
    unregisterTemporary(temporarySlot);
    temporarySlot = -1;
    committed = true;
}

void writeSound(const std::string& path, Container container, SampleType type, int rate, int channels,
                const std::vector<float>& interleaved)
{
    const std::uint64_t frames = interleaved.size() / static_cast<std::size_t>(channels);
    OutputFile file({path, containerForLength(container, frames, channels, type), type, rate, channels, nullptr});
    file.write(interleaved.data(), frames);
    file.commit();
}

} // namespace cli
