#include "calibration/CoefficientFile.h"

#include "dsp/CFilterCoefficients.h"
#include "platform/platform.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// Rate codes searched in the upper-cased path, in this order; a later match overrides.
struct RateCode {
    const char* shortCode;
    const char* longCode;
    float rateHz;
};
constexpr std::array<RateCode, 8> kRateCodes{{
    {"W44", "VEL44", 44100.0f},
    {"W48", "VEL48", 48000.0f},
    {"W88", "VEL88", 88200.0f},
    {"W96", "VEL96", 96000.0f},
    {"W176", "VEL176", 176400.0f},
    {"W192", "VEL192", 192000.0f},
    {"W353", "VEL353", 352800.0f},
    {"W384", "VEL384", 384000.0f},
}};

// Only this much of a path is searched for a rate code.
constexpr std::size_t kSearchedPathLength = 1024;

constexpr const char* kOpenFailedFormat = "Failed to open Harl filter coefficients file: %s";

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Signed 16-bit little-endian, whatever the host's byte order.
std::int16_t int16FromLittleEndian(const unsigned char* bytes)
{
    const auto bits = static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
    return static_cast<std::int16_t>(bits);
}

// IEEE single precision, little-endian, whatever the host's byte order.
float floatFromLittleEndian(const unsigned char* bytes)
{
    const std::uint32_t bits = static_cast<std::uint32_t>(bytes[0])
                               | (static_cast<std::uint32_t>(bytes[1]) << 8)
                               | (static_cast<std::uint32_t>(bytes[2]) << 16)
                               | (static_cast<std::uint32_t>(bytes[3]) << 24);
    float value;
    static_assert(sizeof value == sizeof bits);
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Reads count floats; false when the file ends first.
bool readFloats(std::FILE* file, std::int32_t count, std::vector<float>& values)
{
    values.resize(static_cast<std::size_t>(count));
    for (float& value : values) {
        unsigned char bytes[4];
        if (std::fread(bytes, 1, sizeof bytes, file) != sizeof bytes)
            return false;
        value = floatFromLittleEndian(bytes);
    }
    return true;
}

bool lengthUsable(std::int32_t length)
{
    return length >= 0 && length <= CFilterCoefficients::kMaxLength;
}

} // namespace

float rateKeyFromPath(const std::string& path)
{
    // ASCII upper-casing, independent of the process locale.
    std::string upper = path.substr(0, kSearchedPathLength);
    for (char& ch : upper)
        if (ch >= 'a' && ch <= 'z')
            ch = static_cast<char>(ch - 'a' + 'A');

    float rateKey = 0.0f;
    for (const RateCode& code : kRateCodes)
        if (upper.find(code.shortCode) != std::string::npos
            || upper.find(code.longCode) != std::string::npos)
            rateKey = code.rateHz;
    return rateKey;
}

void loadCoefficientFile(CFilterCoefficients& table, const char* path)
{
    const std::string pathText = path ? path : "";
    const float rateKey = rateKeyFromPath(pathText);
    if (rateKey == 0.0f) {
        // The file does not say its rate; without a code in the path it has no place in the table.
        std::fprintf(stderr,
                     "SonquadVST: no sample-rate code in coefficient file name, skipped: %s\n",
                     pathText.c_str());
        return;
    }

    // A file that cannot be opened, and likewise one whose lengths are unusable or that ends
    // before its arrays do, leaves empty (present, length 0) entries: a filter at this rate then
    // passes its signal unchanged without a further message.
    auto refuse = [&] {
        const int size = std::snprintf(nullptr, 0, kOpenFailedFormat, pathText.c_str());
        std::string text(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
        std::snprintf(text.data(), text.size() + 1, kOpenFailedFormat, pathText.c_str());
        platform::showMessage(text.c_str());
        table.setEntry(rateKey, {}, {});
    };

    FileHandle file(std::fopen(pathText.c_str(), "rb"));
    if (!file) {
        refuse();
        return;
    }

    unsigned char header[4];
    if (std::fread(header, 1, sizeof header, file.get()) != sizeof header) {
        // The header word is not used; report and go on (the lengths will be missing too).
        if (std::ferror(file.get()))
            std::fprintf(stderr, "SonquadVST: cannot read coefficient file header of %s: %s\n",
                         pathText.c_str(), std::strerror(errno));
        else
            std::fprintf(stderr, "SonquadVST: cannot read coefficient file header of %s: "
                                 "file ends early\n",
                         pathText.c_str());
    }

    // Denominator length first, then numerator length; the arrays follow in the other order.
    unsigned char lengths[4];
    if (std::fread(lengths, 1, sizeof lengths, file.get()) != sizeof lengths) {
        refuse();
        return;
    }
    const std::int32_t denLength = int16FromLittleEndian(lengths);
    const std::int32_t numLength = int16FromLittleEndian(lengths + 2);
    if (!lengthUsable(denLength) || !lengthUsable(numLength)) {
        refuse();
        return;
    }

    std::vector<float> num;
    std::vector<float> den;
    if (!readFloats(file.get(), numLength, num) || !readFloats(file.get(), denLength, den)) {
        refuse();
        return;
    }
    table.setEntry(rateKey, std::move(den), std::move(num));
}
