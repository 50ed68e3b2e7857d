#include "tools/sonquad/AudioFile.h"

#include "tools/sonquad/CliError.h"
#include "tools/sonquad/Text.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
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

// ---- recordings cut short ----

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Where a RIFF or RF64 file's audio starts and how much its header says there is.
struct DataChunk {
    std::uint64_t offset = 0;            // first byte of the audio
    std::uint64_t claimedBytes = 0;      // the data size the header states
    std::uint64_t sizeFieldOffset = 0;   // where that size is stored (little-endian)
    int sizeFieldBytes = 4;              // 4 (RIFF data chunk) or 8 (RF64 ds64 chunk)
    unsigned blockAlign = 0;             // bytes per frame
};

std::uint64_t littleEndian(const unsigned char* bytes, int count)
{
    std::uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = (value << 8) | bytes[i];
    return value;
}

bool isChunkId(const unsigned char* id)
{
    for (int i = 0; i < 4; ++i)
        if (!std::isalnum(id[i]) && id[i] != ' ' && id[i] != '_')
            return false;
    return true;
}

// The data chunk of a RIFF (WAV, WAVEX, .amb) or RF64 file of uncompressed samples (integer or
// float, plain or extensible format); nothing for any other file or one cut inside its header.
std::optional<DataChunk> findDataChunk(std::FILE* file, std::uint64_t fileLength)
{
    unsigned char head[12];
    if (std::fread(head, 1, 12, file) != 12 || std::memcmp(head + 8, "WAVE", 4) != 0)
        return std::nullopt;
    const bool rf64 = std::memcmp(head, "RF64", 4) == 0;
    if (!rf64 && std::memcmp(head, "RIFF", 4) != 0)
        return std::nullopt;
    DataChunk data;
    std::optional<std::uint64_t> ds64DataBytes;
    std::uint64_t ds64FieldOffset = 0;
    bool uncompressed = false;
    std::uint64_t position = 12;
    while (position + 8 <= fileLength) {
        unsigned char chunk[8];
        if (::fseeko(file, static_cast<off_t>(position), SEEK_SET) != 0 || std::fread(chunk, 1, 8, file) != 8)
            return std::nullopt;
        const std::uint64_t size = littleEndian(chunk + 4, 4);
        const std::uint64_t body = position + 8;
        if (std::memcmp(chunk, "data", 4) == 0) {
            if (!uncompressed || data.blockAlign == 0)
                return std::nullopt;
            data.offset = body;
            if (rf64 && ds64DataBytes) {
                data.claimedBytes = *ds64DataBytes;
                data.sizeFieldOffset = ds64FieldOffset;
                data.sizeFieldBytes = 8;
            } else {
                data.claimedBytes = size;
                data.sizeFieldOffset = position + 4;
            }
            return data;
        }
        unsigned char fields[16] = {};
        const std::size_t wanted = std::min<std::uint64_t>(size, sizeof fields);
        if (std::fread(fields, 1, wanted, file) != wanted)
            return std::nullopt;
        if (std::memcmp(chunk, "fmt ", 4) == 0 && size >= 16) {
            // Format tag 1 (integer PCM), 3 (IEEE float) or 0xFFFE (extensible, PCM or float).
            const std::uint64_t tag = littleEndian(fields, 2);
            uncompressed = tag == 1 || tag == 3 || tag == 0xFFFE;
            data.blockAlign = static_cast<unsigned>(littleEndian(fields + 12, 2));
        } else if (rf64 && std::memcmp(chunk, "ds64", 4) == 0 && size >= 16) {
            ds64DataBytes = littleEndian(fields + 8, 8);
            ds64FieldOffset = body + 8;
        }
        position = body + size + (size & 1);   // chunks are padded to an even length
    }
    return std::nullopt;
}

// Whether the bytes from offset to the end of the file are whole chunks (metadata after an
// empty data chunk), not samples: then a header that claims no audio is right.
bool onlyChunksFollow(std::FILE* file, std::uint64_t offset, std::uint64_t fileLength)
{
    for (int chunks = 0; chunks < 64 && offset + 8 <= fileLength; ++chunks) {
        unsigned char chunk[8];
        if (::fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0 || std::fread(chunk, 1, 8, file) != 8 ||
            !isChunkId(chunk))
            return false;
        const std::uint64_t size = littleEndian(chunk + 4, 4);
        offset += 8 + size + (size & 1);
        if (offset == fileLength || offset == fileLength + 1)   // the last pad byte may be missing
            return true;
    }
    return false;
}

struct Inspection {
    std::optional<Recovery> recovery;   // the header disagrees with the file's length
    std::optional<DataChunk> patch;     // the data size to correct before libsndfile reads it
    std::uint64_t correctedBytes = 0;   // the data size written into the patch
};

Inspection inspect(const std::string& path)
{
    Inspection result;
    std::error_code error;
    const std::uint64_t fileLength = fs::file_size(path, error);
    if (error)
        return result;
    const FileHandle file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return result;
    const std::optional<DataChunk> data = findDataChunk(file.get(), fileLength);
    if (!data)
        return result;
    const std::uint64_t available = fileLength > data->offset ? fileLength - data->offset : 0;
    const bool neverCompleted =
        data->claimedBytes == 0 && available > 0 && !onlyChunksFollow(file.get(), data->offset, fileLength);
    if (data->claimedBytes <= available && !neverCompleted)
        return result;
    Recovery recovery;
    recovery.path = path;
    recovery.claimedFrames = data->claimedBytes / data->blockAlign;
    recovery.presentFrames = available / data->blockAlign;
    recovery.partialBytes = available % data->blockAlign;
    if (neverCompleted) {
        // libsndfile would read nothing: it is shown the header with the audio's real size. A
        // RIFF data chunk states at most 4 GiB - 1.
        std::uint64_t bytes = recovery.presentFrames * data->blockAlign;
        if (data->sizeFieldBytes == 4 && bytes > 0xFFFFFFFFull) {
            recovery.presentFrames = 0xFFFFFFFFull / data->blockAlign;
            bytes = recovery.presentFrames * data->blockAlign;
        }
        result.patch = data;
        result.correctedBytes = bytes;
    }
    result.recovery = recovery;
    return result;
}

} // namespace

// The bytes of a file as libsndfile's virtual I/O sees them: the file's own, except for the
// header's data size, which is replaced. Read-only.
struct PatchedBytes {
    FileHandle file;
    sf_count_t length = 0;                   // bytes in the file
    sf_count_t position = 0;                 // where the next read starts
    std::uint64_t patchOffset = 0;           // first replaced byte
    std::vector<unsigned char> patch;        // the replacement bytes

    static sf_count_t fileLength(void* self) { return static_cast<PatchedBytes*>(self)->length; }
    static sf_count_t tell(void* self) { return static_cast<PatchedBytes*>(self)->position; }
    static sf_count_t seek(sf_count_t offset, int whence, void* self)
    {
        auto& bytes = *static_cast<PatchedBytes*>(self);
        const sf_count_t base = whence == SEEK_CUR ? bytes.position : whence == SEEK_END ? bytes.length : 0;
        bytes.position = std::max<sf_count_t>(0, base + offset);
        return bytes.position;
    }
    static sf_count_t read(void* destination, sf_count_t count, void* self)
    {
        auto& bytes = *static_cast<PatchedBytes*>(self);
        if (count <= 0 || ::fseeko(bytes.file.get(), static_cast<off_t>(bytes.position), SEEK_SET) != 0)
            return 0;
        const sf_count_t got =
            static_cast<sf_count_t>(std::fread(destination, 1, static_cast<std::size_t>(count), bytes.file.get()));
        auto* out = static_cast<unsigned char*>(destination);
        for (std::size_t i = 0; i < bytes.patch.size(); ++i) {
            const sf_count_t at = static_cast<sf_count_t>(bytes.patchOffset + i) - bytes.position;
            if (at >= 0 && at < got)
                out[at] = bytes.patch[i];
        }
        bytes.position += got;
        return got;
    }
    static sf_count_t write(const void*, sf_count_t, void*) { return 0; }
};

std::string describeRecovery(const Recovery& recovery)
{
    std::string text = inQuotes(recovery.path) + ": its header claims " + std::to_string(recovery.claimedFrames) +
                       " frames, the file holds " + std::to_string(recovery.presentFrames);
    if (recovery.partialBytes > 0)
        text += " and " + std::to_string(recovery.partialBytes) + " bytes of a cut frame";
    text += recovery.claimedFrames == 0 ? " (a header never completed, as when a recorder loses power)"
                                        : " (cut short, as when a recorder loses power)";
    return text;
}

// ---- input takes ----

namespace {

struct OpenedFile {
    std::shared_ptr<PatchedBytes> source;   // when read through a corrected header; outlives handle
    SndfileHandle handle;
    SF_INFO info {};
    std::optional<Recovery> recovery;
};

// Opens a file for reading; with requireAudio, a file of no frames is refused.
OpenedFile openForReading(const std::string& path, bool requireAudio = true)
{
    OpenedFile opened;
    const Inspection inspection = inspect(path);
    SNDFILE* file = nullptr;
    if (inspection.patch) {
        auto source = std::make_shared<PatchedBytes>();
        source->file.reset(std::fopen(path.c_str(), "rb"));
        std::error_code error;
        source->length = static_cast<sf_count_t>(fs::file_size(path, error));
        if (source->file && !error) {
            source->patchOffset = inspection.patch->sizeFieldOffset;
            for (int b = 0; b < inspection.patch->sizeFieldBytes; ++b)
                source->patch.push_back(static_cast<unsigned char>((inspection.correctedBytes >> (8 * b)) & 0xFF));
            static SF_VIRTUAL_IO io {&PatchedBytes::fileLength, &PatchedBytes::seek, &PatchedBytes::read,
                                     &PatchedBytes::write, &PatchedBytes::tell};
            file = sf_open_virtual(&io, SFM_READ, &opened.info, source.get());
            opened.source = std::move(source);
        }
    } else {
        file = sf_open(path.c_str(), SFM_READ, &opened.info);
    }
    if (!file)
        throw CliError("cannot open " + inQuotes(path) + ": " + openFailureReason(path));
    opened.handle.reset(file);
    if (opened.info.samplerate <= 0)
        throw CliError(inQuotes(path) + " has no sample rate");
    opened.recovery = inspection.recovery;
    if (opened.recovery)   // what libsndfile will deliver is what the file holds
        opened.recovery->presentFrames = static_cast<std::uint64_t>(std::max<sf_count_t>(0, opened.info.frames));
    if (requireAudio && opened.info.frames <= 0) {
        if (opened.recovery)
            throw CliError(inQuotes(path) + " holds no audio: its header claims " +
                           std::to_string(opened.recovery->claimedFrames) + " frames, but the file ends " +
                           (opened.recovery->partialBytes ? "inside the first frame" : "right after its header"));
        throw CliError(inQuotes(path) + " holds no audio (0 frames)");
    }
    return opened;
}

} // namespace

SoundHeader readSoundHeader(const std::string& path)
{
    const OpenedFile opened = openForReading(path, false);
    return {opened.info.channels, opened.info.samplerate, static_cast<std::uint64_t>(opened.info.frames),
            opened.recovery};
}

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
    for (OpenedFile& file : opened) {
        if (file.recovery)
            recovered.push_back(*file.recovery);
        sources.push_back(std::move(file.source));
        files.push_back(std::move(file.handle));
    }
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
    data.recovery = opened.recovery;
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
