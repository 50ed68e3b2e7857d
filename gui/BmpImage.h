// Decoding of uncompressed Windows bitmap files (24 or 32 bits per pixel) into rows of red,
// green, blue bytes, top row first: how back ends without a resource section read the module's
// embedded bitmaps.
// Threads: every toolkit call runs on the host's user-interface thread, as the editor's do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace gui {

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;   // width × height × 3 bytes: red, green, blue; top row first

    const std::uint8_t* at(int x, int y) const { return &pixels[(static_cast<std::size_t>(y) * width + x) * 3]; }
};

// The picture in a bitmap file of size bytes; false (and image untouched) when the data is not an
// uncompressed 24- or 32-bit bitmap or is shorter than its header announces.
bool decodeBmp(const std::uint8_t* data, std::size_t size, RgbImage& image);

} // namespace gui
