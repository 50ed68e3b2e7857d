// Shared pieces of the calibration tests: fixture folders made per test, file writers (text,
// coefficient files, OSC messages encoded by liblo), program records as buildProgramList leaves
// them, and collectors for messages and diagnostics.
#pragma once

#include "calibration/CoefficientFile.h"
#include "dsp/CFilterCoefficients.h"
#include "calibration/Diagnostics.h"
#include "dsp/FilterBank.h"
#include "platform/platform.h"
#include "model/Parameters.h"
#include "model/ProgramRecord.h"

#include <gtest/gtest.h>
#include <lo/lo.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <unistd.h>
#include <vector>

namespace caltest {

namespace fs = std::filesystem;

// A folder of its own for one test, removed afterwards. Its path names no sample-rate code, so
// only the coefficient file names decide the rates.
class TempFolder {
public:
    TempFolder()
    {
        static int counter = 0;
        path = fs::temp_directory_path()
               / ("sonquad-calibration-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
        fs::remove_all(path);
        fs::create_directories(path);
        EXPECT_EQ(rateKeyFromPath(path.string()), 0.0f) << path;
    }
    ~TempFolder()
    {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string str() const { return path.string(); }
    fs::path operator/(const std::string& name) const { return path / name; }

    fs::path path;
};

inline void writeBytes(const fs::path& file, const std::vector<unsigned char>& bytes)
{
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline void writeText(const fs::path& file, const std::string& text)
{
    writeBytes(file, std::vector<unsigned char>(text.begin(), text.end()));
}

constexpr int kOwnLength = 1 << 16;   // "the array's own length": no 16-bit value

// A coefficient file: header word, denominator length, numerator length (16-bit little-endian),
// then the numerator and the denominator as little-endian floats. The lengths written are the
// arrays' own unless given (a malformed file may claim other lengths).
inline std::vector<unsigned char> coefficientFile(const std::vector<float>& num, const std::vector<float>& den,
                                                  int denLength = kOwnLength, int numLength = kOwnLength)
{
    std::vector<unsigned char> bytes;
    auto u16 = [&](std::uint16_t v) {
        bytes.push_back(static_cast<unsigned char>(v & 0xff));
        bytes.push_back(static_cast<unsigned char>(v >> 8));
    };
    auto u32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<unsigned char>((v >> (8 * i)) & 0xff));
    };
    u32(0x12345678u);
    u16(static_cast<std::uint16_t>(denLength == kOwnLength ? static_cast<int>(den.size()) : denLength));
    u16(static_cast<std::uint16_t>(numLength == kOwnLength ? static_cast<int>(num.size()) : numLength));
    for (float v : num) {
        std::uint32_t bits;
        std::memcpy(&bits, &v, 4);
        u32(bits);
    }
    for (float v : den) {
        std::uint32_t bits;
        std::memcpy(&bits, &v, 4);
        u32(bits);
    }
    return bytes;
}

// One OSC message, encoded by liblo (an encoder we did not write), with the big-endian size
// prefix of the configuration file.
class OscMessage {
public:
    explicit OscMessage(std::string address) : address(std::move(address)), message(lo_message_new()) {}
    ~OscMessage() { lo_message_free(message); }
    OscMessage(const OscMessage&) = delete;
    OscMessage& operator=(const OscMessage&) = delete;

    OscMessage& i(std::int32_t v) { lo_message_add_int32(message, v); return *this; }
    OscMessage& f(float v) { lo_message_add_float(message, v); return *this; }
    OscMessage& s(const std::string& v) { lo_message_add_string(message, v.c_str()); return *this; }
    OscMessage& t() { lo_message_add_true(message); return *this; }
    OscMessage& floats(std::initializer_list<float> values)
    {
        for (float v : values)
            f(v);
        return *this;
    }

    // The message bytes without the size prefix.
    std::vector<unsigned char> body() const
    {
        std::size_t size = 0;
        void* data = lo_message_serialise(message, address.c_str(), nullptr, &size);
        EXPECT_NE(data, nullptr);
        const auto* bytes = static_cast<const unsigned char*>(data);
        std::vector<unsigned char> out(bytes, bytes + size);
        std::free(data);
        return out;
    }

    // Size prefix and body, as a configuration file holds it.
    std::vector<unsigned char> framed() const
    {
        const std::vector<unsigned char> b = body();
        std::vector<unsigned char> out = bigEndian(static_cast<std::uint32_t>(b.size()));
        out.insert(out.end(), b.begin(), b.end());
        return out;
    }

    static std::vector<unsigned char> bigEndian(std::uint32_t v)
    {
        return {static_cast<unsigned char>(v >> 24), static_cast<unsigned char>(v >> 16),
                static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v)};
    }

private:
    std::string address;
    lo_message message;
};

// Bytes of a configuration file: framed messages one after the other.
class OscFile {
public:
    OscFile& add(const OscMessage& m)
    {
        const auto framed = m.framed();
        bytes.insert(bytes.end(), framed.begin(), framed.end());
        return *this;
    }
    OscFile& raw(const std::vector<unsigned char>& more)
    {
        bytes.insert(bytes.end(), more.begin(), more.end());
        return *this;
    }
    std::vector<unsigned char> bytes;
};

// The record of a calibration slot as buildProgramList leaves it before the scans: the record
// defaults (every value 0 except the gains, 0.5, and "AB Matrix Enabled", 1.0), "LF Cut Freq" at
// 1.0 and the name "User <slot>".
inline ProgramRecord userProgram(int slot)
{
    ProgramRecord record {};
    for (float& v : record.values)
        v = 0.0f;
    for (int p = 0; p < param::kCount; ++p) {
        const bool capsuleGain = p >= 16 && p <= 41 && (p - 14) % 7 >= 2;
        const bool outputGain = p >= 42;
        if (capsuleGain || outputGain)
            record.value(p) = 0.5f;
    }
    record.value(param::kAbMatrixEnabled) = 1.0f;
    record.value(param::kLfCutFreq) = 1.0f;
    std::snprintf(record.name, sizeof record.name, "User %d", slot);
    return record;
}

// A post-matrix bank as buildFilters leaves it: sets 0 to 2 taken, the count at 3.
inline FilterBank builtInBank()
{
    FilterBank bank;
    for (int set = 0; set < 3; ++set)
        for (int k = 0; k < FilterBank::kChannels; ++k)
            bank.place(set, k, std::make_unique<CFilter>())->setName(set == 0 ? "None" : "built-in");
    bank.count = 3;
    return bank;
}

// Sets SONQUAD_CALIBRATION_DIR for the life of the object and restores it afterwards.
class CalibrationDirectory {
public:
    explicit CalibrationDirectory(const std::string& folder)
    {
        if (const char* value = std::getenv("SONQUAD_CALIBRATION_DIR"))
            previous = value;
        had = std::getenv("SONQUAD_CALIBRATION_DIR") != nullptr;
        setenv("SONQUAD_CALIBRATION_DIR", folder.c_str(), 1);
    }
    ~CalibrationDirectory() { had ? setenv("SONQUAD_CALIBRATION_DIR", previous.c_str(), 1) : unsetenv("SONQUAD_CALIBRATION_DIR"); }
    CalibrationDirectory(const CalibrationDirectory&) = delete;
    CalibrationDirectory& operator=(const CalibrationDirectory&) = delete;

private:
    bool had = false;
    std::string previous;
};

// Collects what the platform message function shows; every message carries the product's caption.
class MessageCapture {
public:
    MessageCapture() { platform::setMessageSink(&MessageCapture::collect, this); }
    ~MessageCapture() { platform::setMessageSink(nullptr, nullptr); }
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;
    std::vector<std::string> texts;

private:
    static void collect(void* context, const char* caption, const char* text)
    {
        EXPECT_STREQ(caption, "SonquadVST");
        static_cast<MessageCapture*>(context)->texts.emplace_back(text);
    }
};

// Collects diagnostics.
struct DiagnosticLog {
    std::vector<Diagnostic> entries;
    DiagnosticSink sink = [this](const Diagnostic& d) { entries.push_back(d); };

    // The entries that name key (empty: any) with reason containing text.
    std::vector<Diagnostic> find(const std::string& key, const std::string& text) const
    {
        std::vector<Diagnostic> found;
        for (const Diagnostic& d : entries)
            if ((key.empty() || d.key == key) && d.reason.find(text) != std::string::npos)
                found.push_back(d);
        return found;
    }
};

// Closes a FILE* on scope exit.
struct FileCloser {
    void operator()(std::FILE* f) const
    {
        if (f)
            std::fclose(f);
    }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Independent references for the stored values: the parameter scales inverted with plain
// logarithms (20 x 1000^v, 20 x 12.5^v) and the band width in octaves in closed form,
// N = 2 asinh(bw / (2 f0)) / ln 2, from f0 (2^(N/2) - 2^(-N/2)) = bw.
inline double eqFrequencyValueRef(double hz) { return std::log(hz / 20.0) / std::log(1000.0); }
inline double lfFrequencyValueRef(double hz) { return std::log(hz / 20.0) / std::log(12.5); }
inline double octavesRef(double f0, double bw) { return 2.0 * std::asinh(bw / (2.0 * f0)) / std::log(2.0); }
inline double eqCentreHzRef(double value) { return 20.0 * std::pow(1000.0, value); }

} // namespace caltest
