// Bitmap file decoding: row order, row padding, pixel sizes, and refusal of what it cannot read.
#include "gui/BmpImage.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

// A colour made from the pixel's position, so every pixel of a test picture differs.
std::uint8_t component(int x, int y, int channel)
{
    return static_cast<std::uint8_t>(x * 37 + y * 101 + channel * 53 + 7);
}

void put16(std::vector<std::uint8_t>& out, int value)
{
    out.push_back(value & 0xFF);
    out.push_back((value >> 8) & 0xFF);
}

void put32(std::vector<std::uint8_t>& out, std::int64_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<std::uint8_t>((value >> shift) & 0xFF));
}

// A bitmap file written field by field as the format describes it.
std::vector<std::uint8_t> makeBmp(int width, int height, int bits, bool topDown, int compression = 0)
{
    const int bytesPerPixel = bits / 8;
    const int rowBytes = (width * bytesPerPixel + 3) & ~3;
    std::vector<std::uint8_t> file;
    file.push_back('B');
    file.push_back('M');
    put32(file, 54 + rowBytes * height);
    put32(file, 0);
    put32(file, 54);
    put32(file, 40);
    put32(file, width);
    put32(file, topDown ? -height : height);
    put16(file, 1);
    put16(file, bits);
    put32(file, compression);
    put32(file, rowBytes * height);
    put32(file, 2835);
    put32(file, 2835);
    put32(file, 0);
    put32(file, 0);
    for (int row = 0; row < height; ++row) {
        const int y = topDown ? row : height - 1 - row;
        int written = 0;
        for (int x = 0; x < width; ++x) {
            file.push_back(component(x, y, 2));   // blue
            file.push_back(component(x, y, 1));   // green
            file.push_back(component(x, y, 0));   // red
            written += 3;
            if (bytesPerPixel == 4) {
                file.push_back(0xAA);
                ++written;
            }
        }
        for (; written < rowBytes; ++written)
            file.push_back(0xEE);   // padding, never a pixel
    }
    return file;
}

struct Layout {
    int width, height, bits;
    bool topDown;
};

class BmpLayouts : public testing::TestWithParam<Layout> {};

TEST_P(BmpLayouts, DecodeToTheColoursThatWereWritten)
{
    const Layout layout = GetParam();
    const std::vector<std::uint8_t> file = makeBmp(layout.width, layout.height, layout.bits, layout.topDown);
    gui::RgbImage image;
    ASSERT_TRUE(gui::decodeBmp(file.data(), file.size(), image));
    ASSERT_EQ(image.width, layout.width);
    ASSERT_EQ(image.height, layout.height);
    for (int y = 0; y < layout.height; ++y)
        for (int x = 0; x < layout.width; ++x)
            for (int channel = 0; channel < 3; ++channel)
                ASSERT_EQ(image.at(x, y)[channel], component(x, y, channel)) << x << "," << y << " channel " << channel;
}

INSTANTIATE_TEST_SUITE_P(RowOrderPaddingAndDepth, BmpLayouts,
                         testing::Values(Layout {3, 2, 24, false}, Layout {3, 2, 24, true}, Layout {4, 3, 24, false},
                                         Layout {1, 1, 24, false}, Layout {5, 4, 32, false}, Layout {2, 7, 32, true},
                                         Layout {400, 100, 24, false}));

TEST(BmpImage, RefusesWhatItCannotRead)
{
    const std::vector<std::uint8_t> good = makeBmp(4, 4, 24, false);
    auto with = [&](std::size_t offset, std::uint8_t value) {
        std::vector<std::uint8_t> changed = good;
        changed[offset] = value;
        return changed;
    };
    const std::vector<std::vector<std::uint8_t>> bad = {
        with(0, 'X'),                                                  // not "BM"
        with(28, 8),                                                   // 8 bits per pixel
        with(30, 1),                                                   // run-length compressed
        with(18, 0),                                                   // width 0
        with(14, 12),                                                  // an old, shorter info header
        std::vector<std::uint8_t>(good.begin(), good.end() - 1),       // a byte short
        std::vector<std::uint8_t>(good.begin(), good.begin() + 40),    // header cut
        makeBmp(4, 4, 16, false),
    };
    for (std::size_t i = 0; i < bad.size(); ++i) {
        gui::RgbImage image;
        image.width = 9;
        EXPECT_FALSE(gui::decodeBmp(bad[i].data(), bad[i].size(), image)) << "case " << i;
        EXPECT_EQ(image.width, 9) << "case " << i;
    }
    gui::RgbImage image;
    EXPECT_FALSE(gui::decodeBmp(nullptr, 0, image));
}

} // namespace
