// Shared by the calibration and command-line tests: calibration files written here (OSC encoded
// by liblo), slots as buildProgramList leaves them, sound files through libsndfile, sonquad runs.
#pragma once

#include "calibration/Diagnostics.h"
#include "dsp/FilterBank.h"
#include "model/Parameters.h"
#include "model/ProgramRecord.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <lo/lo.h>
#include <sndfile.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>

namespace fixture {

using namespace testsupport;
using Bytes = std::vector<unsigned char>;

// Table rows print as their names (bring it in with "using fixture::PrintTo;").
template <class Row>
    requires requires(const Row& row) { row.name; }
void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

// Header word, 16-bit little-endian lengths (denominator, numerator, others may be claimed), then
// the numerator and the denominator as little-endian floats.
constexpr int kOwn = 1 << 16;
inline Bytes coefficientFile(const std::vector<float>& num, const std::vector<float>& den, int denLength = kOwn, int numLength = kOwn)
{
    Bytes bytes;
    auto put = [&](std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            bytes.push_back(static_cast<unsigned char>(v >> (8 * i)));
    };
    put(0x12345678u, 4);
    put(static_cast<std::uint32_t>(denLength == kOwn ? static_cast<int>(den.size()) : denLength), 2);
    put(static_cast<std::uint32_t>(numLength == kOwn ? static_cast<int>(num.size()) : numLength), 2);
    for (float v : num)
        put(std::bit_cast<std::uint32_t>(v), 4);
    for (float v : den)
        put(std::bit_cast<std::uint32_t>(v), 4);
    return bytes;
}

inline Bytes bigEndian(std::uint32_t v) { return {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)}; }

class Osc {
public:
    explicit Osc(std::string address) : address(std::move(address)), message(lo_message_new()) {}
    ~Osc() { lo_message_free(message); }
    Osc(const Osc&) = delete;
    Osc& i(std::int32_t v) { lo_message_add_int32(message, v); return *this; }
    Osc& f(std::initializer_list<float> values)
    {
        for (float v : values)
            lo_message_add_float(message, v);
        return *this;
    }
    Osc& s(const std::string& v) { lo_message_add_string(message, v.c_str()); return *this; }
    Osc& t() { lo_message_add_true(message); return *this; }
    Bytes framed() const
    {
        std::size_t size = 0;
        void* data = lo_message_serialise(message, address.c_str(), nullptr, &size);
        Bytes out = bigEndian(static_cast<std::uint32_t>(size));
        out.resize(4 + size);
        std::memcpy(out.data() + 4, data, size);
        std::free(data);
        return out;
    }
    operator Bytes() const { return framed(); }

private:
    std::string address;
    lo_message message;
};

inline Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A calibration slot as buildProgramList leaves it before the scans: every value 0 but the gains
// (0.5), "AB Matrix Enabled" and "LF Cut Freq" (1), named "User <slot>".
inline ProgramRecord userProgram(int slot)
{
    ProgramRecord record {};
    for (int p = 0; p < param::kCount; ++p)
        record.value(p) = (p >= 16 && p <= 41 && (p - 14) % 7 >= 2) || p >= 42 ? 0.5f : 0.0f;
    record.value(param::kAbMatrixEnabled) = record.value(param::kLfCutFreq) = 1.0f;
    std::snprintf(record.name, sizeof record.name, "User %d", slot);
    return record;
}

// A post-matrix bank as buildFilters leaves it: sets 0 to 2 taken, the count at 3.
inline FilterBank builtInBank()
{
    FilterBank bank;
    for (int set = 0; set < 3; ++set)
        for (int k = 0; k < FilterBank::kChannels; ++k)
            bank.place(set, k, std::make_unique<CFilter>())->setName("built-in");
    bank.count = 3;
    return bank;
}

struct DiagnosticLog {   // find: the entries for key (empty: any) whose reason holds text
    std::vector<Diagnostic> entries;
    DiagnosticSink sink = [this](const Diagnostic& d) { entries.push_back(d); };
    std::vector<Diagnostic> find(const std::string& key, const std::string& text) const
    {
        std::vector<Diagnostic> found;
        for (const Diagnostic& d : entries)
            if ((key.empty() || d.key == key) && d.reason.find(text) != std::string::npos)
                found.push_back(d);
        return found;
    }
};

// Stored values from real units: the parameters' scales inverted with plain logarithms, and
// the band width in octaves in closed form, N = 2 asinh(bw / (2 f0)) / ln 2.
inline double eqFrequencyValue(double hz) { return std::log(hz / 20.0) / std::log(1000.0); }
inline double lfFrequencyValue(double hz) { return std::log(hz / 20.0) / std::log(12.5); }
inline double octaves(double f0, double bw) { return 2.0 * std::asinh(bw / (2.0 * f0)) / std::log(2.0); }

// ---- sound files and the sonquad binary ----

struct Sound {
    int rate = 48000;
    int format = 0;
    std::vector<std::vector<float>> channels;
    std::size_t frames() const { return channels.empty() ? 0 : channels[0].size(); }
};

inline void writeSound(const fs::path& path, const Sound& sound, int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT)
{
    SF_INFO info {0, sound.rate, static_cast<int>(sound.channels.size()), format, 0, 0};
    std::vector<float> interleaved;
    for (std::size_t n = 0; n < sound.frames(); ++n)
        for (const auto& channel : sound.channels)
            interleaved.push_back(channel[n]);
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    sf_writef_float(file, interleaved.data(), static_cast<sf_count_t>(sound.frames()));
    sf_close(file);
}

inline Sound readSound(const fs::path& path)
{
    SF_INFO info {};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) { ADD_FAILURE() << "cannot read " << path; return {}; }
    std::vector<float> interleaved(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(file, interleaved.data(), info.frames);
    sf_close(file);
    Sound sound {info.samplerate, info.format, std::vector<std::vector<float>>(info.channels, std::vector<float>(info.frames))};
    for (std::size_t n = 0; n < interleaved.size(); ++n)
        sound.channels[n % info.channels][n / info.channels] = interleaved[n];
    return sound;
}

inline Sound noiseTake(std::size_t frames, int rate, unsigned seed, float amplitude = 0.25f)
{
    return {rate, 0, noise4(frames, seed, amplitude)};
}

inline std::string slurp(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Outcome {
    int exitCode = -1;
    std::string out, err;
};

#ifdef SONQUAD_CLI_BINARY   // runs the built sonquad in folder; files may grow to fileSizeLimit bytes
inline Outcome sonquad(const std::vector<std::string>& args, const fs::path& folder, long fileSizeLimit = -1)
{
    const fs::path out = folder / ".stdout", err = folder / ".stderr";
    std::vector<std::string> argv {SONQUAD_CLI_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers(argv.size() + 1, nullptr);
    std::transform(argv.begin(), argv.end(), pointers.begin(), [](std::string& arg) { return arg.data(); });
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(folder.c_str()) != 0)
            ::_exit(126);
        ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
        ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
        if (fileSizeLimit >= 0) {
            std::signal(SIGXFSZ, SIG_IGN);   // past the limit a write fails instead
            const rlimit limit {static_cast<rlim_t>(fileSizeLimit), static_cast<rlim_t>(fileSizeLimit)};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        ::execv(pointers[0], pointers.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    Outcome run {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), slurp(out), slurp(err)};
    return fs::remove(out), fs::remove(err), run;
}
#endif

} // namespace fixture
