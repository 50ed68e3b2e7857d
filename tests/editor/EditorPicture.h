// What the editor tests know of the picture the editor shows, and the background file read back
// with a few lines of bitmap-file arithmetic of their own (24 bits per pixel, rows bottom-up, blue
// first), independent of the module's loader. Shared by the X11 and the Win32 editor tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

namespace editortest {

constexpr int kWidth = 400;
constexpr int kHeight = 100;
struct FieldRect {
    int left, top, right, bottom;                 // pixels; right and bottom exclusive
};
constexpr FieldRect kField {72, 53, 215, 68};
constexpr std::uint8_t kFieldColor[3] = {149, 111, 42};

struct Rgb {
    std::uint8_t r, g, b;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

struct Picture {
    int width = 0, height = 0;
    std::vector<Rgb> pixels;
    Rgb at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
    bool operator==(const Picture&) const = default;
};

inline bool insideField(int x, int y)
{
    return x >= kField.left && x < kField.right && y >= kField.top && y < kField.bottom;
}

inline bool isFieldColor(Rgb p)
{
    return p.r == kFieldColor[0] && p.g == kFieldColor[1] && p.b == kFieldColor[2];
}

// The background file (path), empty when it cannot be read as a 24-bit bitmap.
inline Picture readBackground(const char* path)
{
    std::ifstream file(path, std::ios::binary);
    const std::vector<unsigned char> data((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    Picture picture;
    if (data.size() < 54)
        return picture;
    auto u32 = [&](std::size_t at) { return data[at] | data[at + 1] << 8 | data[at + 2] << 16 | data[at + 3] << 24; };
    const int width = static_cast<int>(u32(18));
    const int height = static_cast<int>(u32(22));
    const std::size_t offset = u32(10);
    const std::size_t row = (static_cast<std::size_t>(width) * 3 + 3) / 4 * 4;
    if (data[28] != 24 || data.size() < offset + row * height)
        return picture;
    picture.width = width;
    picture.height = height;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const unsigned char* p = &data[offset + (height - 1 - y) * row + x * 3];
            picture.pixels.push_back({p[2], p[1], p[0]});
        }
    return picture;
}

} // namespace editortest
