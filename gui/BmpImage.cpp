#include "gui/BmpImage.h"

#include <cstdlib>
#include <limits>

namespace gui {

namespace {

std::uint32_t read32(const std::uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint16_t read16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

} // namespace

bool decodeBmp(const std::uint8_t* data, std::size_t size, RgbImage& image)
{
    // File header (14 bytes) and at least a BITMAPINFOHEADER (40).
    if (!data || size < 54 || data[0] != 'B' || data[1] != 'M')
        return false;
    const std::uint32_t pixelOffset = read32(data + 10);
    const std::uint32_t infoSize = read32(data + 14);
    if (infoSize < 40)
        return false;
    const auto width = static_cast<std::int32_t>(read32(data + 18));
    const auto rawHeight = static_cast<std::int32_t>(read32(data + 22));
    const std::uint16_t planes = read16(data + 26);
    const std::uint16_t bits = read16(data + 28);
    const std::uint32_t compression = read32(data + 30);
    // Plain RGB only (BI_RGB; BI_BITFIELDS with 32 bits uses the standard masks in practice).
    if (planes != 1 || (bits != 24 && bits != 32) || (compression != 0 && !(compression == 3 && bits == 32)))
        return false;
    if (width <= 0 || rawHeight == 0 || rawHeight == std::numeric_limits<std::int32_t>::min()
        || width > 16384 || std::abs(rawHeight) > 16384)
        return false;
    const bool bottomUp = rawHeight > 0;
    const int height = std::abs(rawHeight);
    const std::size_t bytesPerPixel = bits / 8;
    const std::size_t rowBytes = (static_cast<std::size_t>(width) * bytesPerPixel + 3) / 4 * 4;
    if (pixelOffset > size || (size - pixelOffset) / rowBytes < static_cast<std::size_t>(height))
        return false;

    RgbImage decoded;
    decoded.width = width;
    decoded.height = height;
    decoded.pixels.resize(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        const int fileRow = bottomUp ? height - 1 - y : y;
        const std::uint8_t* source = data + pixelOffset + fileRow * rowBytes;
        std::uint8_t* target = &decoded.pixels[static_cast<std::size_t>(y) * width * 3];
        for (int x = 0; x < width; ++x, source += bytesPerPixel, target += 3) {
            target[0] = source[2];   // files store blue, green, red
            target[1] = source[1];
            target[2] = source[0];
        }
    }
    image = std::move(decoded);
    return true;
}

} // namespace gui
