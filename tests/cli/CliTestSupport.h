// Shared pieces of the command-line host's tests: a folder per test, sound files written and
// read back through libsndfile, the built sonquad binary run as a user runs it (its output
// captured, optionally on a pseudo-terminal or with a file-size limit), and the pseudo-intensity
// direction of B-format computed sample by sample, independently of the tool's own analysis.
#pragma once

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace clitest {

namespace fs = std::filesystem;

constexpr double kPi = 3.14159265358979323846;

class TempFolder {
public:
    TempFolder()
    {
        static int counter = 0;
        path = fs::temp_directory_path() / ("sonquad-cli-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~TempFolder()
    {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string operator/(const std::string& name) const { return (path / name).string(); }
    // Names of the files in the folder, hidden ones included.
    std::vector<std::string> files() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(path))
            names.push_back(entry.path().filename().string());
        return names;
    }

    fs::path path;
};

// Channels of a sound file, deinterleaved.
struct Sound {
    int rate = 0;
    int format = 0;
    std::vector<std::vector<float>> channels;
    std::size_t frames() const { return channels.empty() ? 0 : channels[0].size(); }
};

inline void writeSound(const std::string& path, const Sound& sound, int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT,
                       const SF_BROADCAST_INFO* broadcast = nullptr)
{
    SF_INFO info {};
    info.samplerate = sound.rate;
    info.channels = static_cast<int>(sound.channels.size());
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
    if (broadcast) {
        SF_BROADCAST_INFO copy = *broadcast;
        ASSERT_EQ(sf_command(file, SFC_SET_BROADCAST_INFO, &copy, sizeof copy), SF_TRUE);
    }
    std::vector<float> interleaved(sound.frames() * sound.channels.size());
    for (std::size_t n = 0; n < sound.frames(); ++n)
        for (std::size_t c = 0; c < sound.channels.size(); ++c)
            interleaved[n * sound.channels.size() + c] = sound.channels[c][n];
    EXPECT_EQ(sf_writef_float(file, interleaved.data(), static_cast<sf_count_t>(sound.frames())),
              static_cast<sf_count_t>(sound.frames()));
    sf_close(file);
}

inline Sound readSound(const std::string& path)
{
    Sound sound;
    SF_INFO info {};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    EXPECT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
    if (!file)
        return sound;
    sound.rate = info.samplerate;
    sound.format = info.format;
    std::vector<float> interleaved(static_cast<std::size_t>(info.frames * info.channels));
    EXPECT_EQ(sf_readf_float(file, interleaved.data(), info.frames), info.frames);
    sf_close(file);
    sound.channels.assign(static_cast<std::size_t>(info.channels), std::vector<float>(static_cast<std::size_t>(info.frames)));
    for (sf_count_t n = 0; n < info.frames; ++n)
        for (int c = 0; c < info.channels; ++c)
            sound.channels[c][n] = interleaved[n * info.channels + c];
    return sound;
}

// A four-channel take of independent noise, reproducible from seed.
inline Sound noiseTake(std::size_t frames, int rate, unsigned seed, float amplitude = 0.25f)
{
    Sound sound;
    sound.rate = rate;
    sound.channels.assign(4, std::vector<float>(frames));
    unsigned state = seed * 2654435761u + 1u;
    for (auto& channel : sound.channels)
        for (float& sample : channel) {
            state = state * 1664525u + 1013904223u;
            sample = amplitude * (static_cast<float>(state >> 8) / 8388608.0f - 1.0f);
        }
    return sound;
}

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
    std::vector<std::string> errLines() const
    {
        std::vector<std::string> lines;
        std::istringstream stream(err);
        for (std::string line; std::getline(stream, line);)
            lines.push_back(line);
        return lines;
    }
};

struct RunOptions {
    long fileSizeLimit = -1;   // bytes a file may grow to (RLIMIT_FSIZE); -1: no limit
    bool terminal = false;     // standard error (and output) on a pseudo-terminal
};

inline std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs the built sonquad with args in folder (its working folder).
inline RunResult runSonquad(const std::vector<std::string>& args, const fs::path& folder, RunOptions options = {})
{
    const std::string outPath = (folder / ".stdout").string();
    const std::string errPath = (folder / ".stderr").string();
    std::vector<std::string> argv {SONQUAD_CLI_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& arg : argv)
        pointers.push_back(arg.data());
    pointers.push_back(nullptr);

    int master = -1;
    const pid_t pid = options.terminal ? ::forkpty(&master, nullptr, nullptr, nullptr) : ::fork();
    if (pid == 0) {
        if (::chdir(folder.c_str()) != 0)
            ::_exit(126);
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, STDOUT_FILENO);
        if (!options.terminal) {
            const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(err, STDERR_FILENO);
        }
        if (options.fileSizeLimit >= 0) {
            // Past the limit a write fails with EFBIG instead of killing the process.
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit {static_cast<rlim_t>(options.fileSizeLimit), static_cast<rlim_t>(options.fileSizeLimit)};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        ::execv(pointers[0], pointers.data());
        ::_exit(127);
    }
    RunResult result;
    if (options.terminal) {
        char buffer[4096];
        for (;;) {
            const ssize_t got = ::read(master, buffer, sizeof buffer);
            if (got <= 0)
                break;   // EIO once the child has closed the terminal
            result.err.append(buffer, static_cast<std::size_t>(got));
        }
        ::close(master);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = slurp(outPath);
    if (!options.terminal)
        result.err = slurp(errPath);
    fs::remove(outPath);
    fs::remove(errPath);
    return result;
}

// A coefficient file: 4-byte header, 16-bit little-endian denominator and numerator lengths,
// the numerator, then the denominator, as little-endian floats.
inline void writeCoefficients(const std::string& path, const std::vector<float>& numerator, const std::vector<float>& denominator)
{
    std::ofstream out(path, std::ios::binary);
    auto put = [&](std::uint32_t v, int bytes) {
        for (int b = 0; b < bytes; ++b)
            out.put(static_cast<char>((v >> (8 * b)) & 0xFF));
    };
    auto bits = [](float f) {
        std::uint32_t u;
        std::memcpy(&u, &f, 4);
        return u;
    };
    out.write("\0\0\0\0", 4);
    put(static_cast<std::uint32_t>(denominator.size()), 2);
    put(static_cast<std::uint32_t>(numerator.size()), 2);
    for (float v : numerator)
        put(bits(v), 4);
    for (float v : denominator)
        put(bits(v), 4);
}

// A take of constant samples: channels of frames at rate.
inline Sound constantTake(int channels, std::size_t frames, int rate, float value = 0.0f)
{
    Sound sound;
    sound.rate = rate;
    sound.channels.assign(static_cast<std::size_t>(channels), std::vector<float>(frames, value));
    return sound;
}

// Direction (degrees) of the time-averaged pseudo-intensity W.X, W.Y, W.Z over frames
// [begin, end) of the plug-in's W, X, Y, Z.
struct Direction {
    double azimuthDeg;
    double elevationDeg;
};

inline Direction intensityDirection(const std::vector<std::vector<float>>& wxyz, std::size_t begin, std::size_t end)
{
    double i[3] = {0, 0, 0};
    for (std::size_t n = begin; n < end; ++n)
        for (int axis = 0; axis < 3; ++axis)
            i[axis] += static_cast<double>(wxyz[0][n]) * wxyz[1 + axis][n];
    return {std::atan2(i[1], i[0]) * 180.0 / kPi, std::atan2(i[2], std::hypot(i[0], i[1])) * 180.0 / kPi};
}

inline std::array<double, 3> unitVector(double azimuthDeg, double elevationDeg)
{
    const double az = azimuthDeg * kPi / 180.0;
    const double el = elevationDeg * kPi / 180.0;
    return {std::cos(el) * std::cos(az), std::cos(el) * std::sin(az), std::sin(el)};
}

// Angle in degrees between two directions, from the dot product of their unit vectors.
inline double separationDeg(Direction a, Direction b)
{
    const auto u = unitVector(a.azimuthDeg, a.elevationDeg);
    const auto v = unitVector(b.azimuthDeg, b.elevationDeg);
    const double dot = std::clamp(u[0] * v[0] + u[1] * v[1] + u[2] * v[2], -1.0, 1.0);
    return std::acos(dot) * 180.0 / kPi;
}

} // namespace clitest
