// What many tests need, written once: a temporary folder per test, an environment variable set for
// a scope, the plug-in's messages collected, reproducible noise, four-channel buffers and their
// comparison bit for bit.
#pragma once

#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>
#include <unistd.h>

namespace testsupport {

namespace fs = std::filesystem;

// A folder of its own for one test, removed afterwards. Its path holds no sample-rate code
// ("W48", "VEL96", ...), so only the coefficient file names decide the rates.
class TempFolder {
public:
    TempFolder()
    {
        static int counter = 0;
        path = fs::temp_directory_path() / ("sonquad-test-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
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

// Sets (or, with nullopt, removes) an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name(name)
    {
        if (const char* old = std::getenv(name))
            previous = old;
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (previous)
            ::setenv(name, previous->c_str(), 1);
        else
            ::unsetenv(name);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name;
    std::optional<std::string> previous;
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

using Buffers = std::vector<std::vector<float>>;

// Uniform noise in [-amplitude, amplitude), the same for a seed on every run.
inline std::vector<float> noise(std::size_t frames, unsigned seed, float amplitude = 0.5f)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> uniform(-amplitude, amplitude);
    std::vector<float> samples(frames);
    for (float& s : samples)
        s = uniform(random);
    return samples;
}

// Four channels of noise, each with its own seed.
inline Buffers noise4(std::size_t frames, unsigned seed, float amplitude = 0.5f)
{
    Buffers buffers;
    for (unsigned k = 0; k < 4; ++k)
        buffers.push_back(noise(frames, seed * 4 + k, amplitude));
    return buffers;
}

// Every channel equal bit for bit (so -0 and +0 differ, and a NaN equals itself).
inline ::testing::AssertionResult bitIdentical(const Buffers& actual, const Buffers& expected)
{
    if (actual.size() != expected.size())
        return ::testing::AssertionFailure() << actual.size() << " channels against " << expected.size();
    for (std::size_t k = 0; k < actual.size(); ++k) {
        if (actual[k].size() != expected[k].size())
            return ::testing::AssertionFailure() << "channel " << k << " has " << actual[k].size() << " samples, not "
                                                 << expected[k].size();
        for (std::size_t n = 0; n < actual[k].size(); ++n)
            if (std::memcmp(&actual[k][n], &expected[k][n], sizeof(float)) != 0)
                return ::testing::AssertionFailure() << "channel " << k << " sample " << n << ": " << actual[k][n]
                                                     << " against " << expected[k][n];
    }
    return ::testing::AssertionSuccess();
}

} // namespace testsupport
