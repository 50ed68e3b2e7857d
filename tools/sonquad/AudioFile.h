// Sound files through libsndfile: the A-format takes that render reads (one four-channel file,
// or four mono files, capsules 1 to 4), and the files it writes, under a temporary name in the
// output's folder until they are complete.
//
// Recordings cut short: a field recorder that loses power leaves a WAV (or RF64) file whose
// header still says what it said when recording began (0 bytes of audio, or 4 GiB) or what the
// recorder meant to write, while the file holds less. libsndfile reads such a file up to its end
// when the header claims more than there is, and reads nothing when the header claims 0. Every
// file is read here as far as its audio really goes; a file whose header disagrees with its
// length is reported (frames claimed, frames there), and a file with no audio at all is refused.
//
// Output containers: WAV, WAVEX, .amb (WAVEX flagged as B-format), RF64, W64, FLAC and CAF.
// WAV, WAVEX and .amb keep their sizes in 32 bits; an output that would pass 4 GiB is written
// as RF64 instead.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

enum class Container { kWav, kWavex, kAmb, kRf64, kW64, kFlac, kCaf };
enum class SampleType { kPcm16, kPcm24, kPcm32, kFloat, kDouble };

std::optional<Container> parseContainer(std::string_view text);
// The container an output path asks for by its extension (.wav .amb .rf64 .w64 .flac .caf).
std::optional<Container> containerForPath(const std::string& path);
const char* containerName(Container container);

std::optional<SampleType> parseSampleType(std::string_view text);
const char* sampleTypeName(SampleType type);
int bytesPerSample(SampleType type);
bool isInteger(SampleType type);
// float, except FLAC, which holds integers only: pcm24.
SampleType defaultSampleType(Container container);
bool holdsSampleType(Container container, SampleType type);
// libsndfile's format code for the pair.
int sndfileFormat(Container container, SampleType type);

// Bytes of a RIFF file's header and metadata chunks besides the audio, allowed for when
// deciding on RF64 (format and fact chunks, a peak chunk, a broadcast chunk with its coding
// history, padding).
inline constexpr std::uint64_t kRiffOverheadBytes = 64 * 1024;

// Whether a RIFF (WAV, WAVEX, .amb) file with frames of channels x bytesPerSample plus
// metadataBytes of other chunks would pass the largest size its 32-bit fields can state.
bool needsRf64(std::uint64_t frames, int channels, int bytesPerSample, std::uint64_t metadataBytes);

// The container actually written: requested, or RF64 when a RIFF container would pass 4 GiB.
Container containerForLength(Container requested, std::uint64_t frames, int channels, SampleType type);

// The Broadcast-WAV "bext" chunk, with room for a long coding history (libsndfile takes less
// than 16 KiB of it).
typedef SF_BROADCAST_INFO_VAR(16000) BroadcastInfo;

// A file whose header disagrees with its length, read as far as its audio really goes.
struct Recovery {
    std::string path;
    std::uint64_t claimedFrames = 0;   // what the header's data size says
    std::uint64_t presentFrames = 0;   // whole frames the file really holds, all of them read
    std::uint64_t partialBytes = 0;    // bytes of a last, incomplete frame (dropped)
};

// "'take.wav': the header claims 144000 frames, the file holds 48000" and what was done.
std::string describeRecovery(const Recovery& recovery);

// The channels, rate and length of a sound file as it will be read (a damaged header's length
// corrected); throws CliError when it cannot be opened. A file of no audio has 0 frames here
// and is refused when it is read.
struct SoundHeader {
    int channels = 0;
    int rate = 0;                       // Hz
    std::uint64_t frames = 0;
    std::optional<Recovery> recovery;   // set when the header disagreed with the file's length
};
SoundHeader readSoundHeader(const std::string& path);

// Owns an open libsndfile handle.
struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndfileHandle = std::unique_ptr<SNDFILE, SndfileCloser>;

// A file read through libsndfile's virtual I/O with its header's data size corrected.
struct PatchedBytes;

// One A-format take: a four-channel file, or four mono files of equal rate and length.
class InputTake {
public:
    // Opens the take; throws CliError for a missing or unreadable file, a file with no audio, a
    // wrong channel count, or mono files that differ in rate or length.
    explicit InputTake(const std::vector<std::string>& paths);

    int rate() const { return sampleRate; }
    std::uint64_t frames() const { return frameCount; }
    // The take's bext chunk (from the four-channel file, or capsule 1's mono file), if any.
    const BroadcastInfo* broadcast() const { return hasBroadcast ? &broadcastInfo : nullptr; }
    const std::string& name() const { return displayName; }
    // The files of the take whose headers disagreed with their lengths.
    const std::vector<Recovery>& recoveries() const { return recovered; }

    // Reads up to count frames of capsules 1 to 4 into the four buffers; returns the frames
    // read, fewer only at the end of the take. Throws CliError when a file fails to deliver.
    std::size_t read(float* const capsules[4], std::size_t count);

private:
    std::vector<std::shared_ptr<PatchedBytes>> sources;   // files read through a corrected header; outlive files
    std::vector<SndfileHandle> files;   // one four-channel file, or four mono files
    std::vector<std::string> paths;     // as given, for messages
    std::vector<float> interleaved;     // read buffer of a four-channel file
    int sampleRate = 0;                 // Hz
    std::uint64_t frameCount = 0;       // frames in the take
    std::uint64_t framesRead = 0;       // frames delivered so far
    bool hasBroadcast = false;
    BroadcastInfo broadcastInfo {};     // bext of the take, valid when hasBroadcast
    std::string displayName;            // the file, or the first mono file
    std::vector<Recovery> recovered;    // files read as far as their audio really goes
};

// An output written under a temporary name in its folder and renamed when complete; a file that
// is not committed is removed, so a failed render leaves nothing under the final name.
class OutputFile {
public:
    struct Settings {
        std::string path;                          // final name
        Container container = Container::kWav;     // container to write (after the RF64 decision)
        SampleType type = SampleType::kFloat;
        int rate = 48000;                          // Hz
        int channels = 4;
        const BroadcastInfo* broadcast = nullptr;  // bext to carry over, if any
    };

    // Opens the temporary file; throws CliError when the folder cannot be written.
    explicit OutputFile(const Settings& settings);
    ~OutputFile();

    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Writes frames of interleaved samples; throws CliError when the writing fails (disk full).
    void write(const float* interleaved, std::size_t frames);
    // Closes the file and gives it its final name; throws CliError when that fails.
    void commit();

    bool broadcastWritten() const { return wroteBroadcast; }
    bool ambisonicFlagged() const { return flaggedAmbisonic; }

private:
    void discard();

    Settings target;               // what was asked
    std::string temporaryPath;     // where the samples go until commit
    int temporarySlot = -1;        // registration for removal on an interrupt
    SndfileHandle file;            // open while writing
    bool wroteBroadcast = false;   // the bext chunk was accepted
    bool flaggedAmbisonic = false; // the WAVEX B-format flag was accepted
    bool committed = false;
};

// A whole sound file in memory.
struct SoundData {
    int rate = 0;                    // Hz
    int channels = 0;
    std::uint64_t frames = 0;
    std::vector<float> interleaved;  // frames x channels
    std::optional<Recovery> recovery; // the header disagreed with the file's length
};

// Reads a whole file (as far as its audio really goes); throws CliError when it cannot be read
// or holds no audio.
SoundData readSound(const std::string& path);

// Writes a whole file through OutputFile (temporary name, then renamed).
void writeSound(const std::string& path, Container container, SampleType type, int rate, int channels,
                const std::vector<float>& interleaved);

// Installs handlers for SIGINT, SIGTERM and SIGHUP that remove every temporary output file
// before the process ends. [main thread, once]
void removeTemporaryFilesOnInterrupt();

// The message libsndfile gives for a failed open, or the system's for a missing file.
std::string openFailureReason(const std::string& path);

} // namespace cli
