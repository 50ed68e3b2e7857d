// Bitmap file decoding against files written here field by field as the format describes them:
// row order, row padding, pixel sizes, and refusal of what it cannot read.
#include "gui/BmpImage.h"

#include <gtest/gtest.h>

namespace {

std::uint8_t component(int x, int y, int channel) { return static_cast<std::uint8_t>(x * 37 + y * 101 + channel * 53 + 7); }

std::vector<std::uint8_t> makeBmp(int width, int height, int bits, bool topDown)
{
    const int rowBytes = (width * bits / 8 + 3) & ~3;
    std::vector<std::uint8_t> file = {'B', 'M'};
    // File size, reserved, pixel offset; header size, width, height, planes, bits, compression,
    // image size, resolutions, palette.
    for (auto [value, bytes] : {std::pair {54 + rowBytes * height, 4}, {0, 4}, {54, 4}, {40, 4}, {width, 4},
                                {topDown ? -height : height, 4}, {1, 2}, {bits, 2}, {0, 4}, {rowBytes * height, 4},
                                {2835, 4}, {2835, 4}, {0, 4}, {0, 4}})
        for (int i = 0; i < bytes; ++i)
            file.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    for (int row = 0; row < height; ++row) {
        const std::size_t start = file.size();
        for (int x = 0; x < width; ++x) {
            for (int channel : {2, 1, 0})   // blue first
                file.push_back(component(x, topDown ? row : height - 1 - row, channel));
            if (bits == 32)
                file.push_back(0xAA);
        }
        file.resize(start + rowBytes, 0xEE);   // padding, never a pixel
    }
    return file;
}

struct Layout {
    int width, height, bits;
    bool topDown;
};
void PrintTo(const Layout& l, std::ostream* out) { *out << l.width << "x" << l.height << "x" << l.bits << (l.topDown ? " top down" : ""); }

class BmpLayouts : public testing::TestWithParam<Layout> {};

TEST_P(BmpLayouts, DecodeToTheColoursThatWereWritten)
{
    const auto [width, height, bits, topDown] = GetParam();
    const std::vector<std::uint8_t> file = makeBmp(width, height, bits, topDown);
    gui::RgbImage image;
    ASSERT_TRUE(gui::decodeBmp(file.data(), file.size(), image));
    ASSERT_EQ(std::pair(image.width, image.height), std::pair(width, height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int channel = 0; channel < 3; ++channel)
                ASSERT_EQ(image.at(x, y)[channel], component(x, y, channel)) << x << "," << y << " channel " << channel;
}

INSTANTIATE_TEST_SUITE_P(RowOrderPaddingAndDepth, BmpLayouts,
                         testing::Values(Layout {3, 2, 24, false}, Layout {3, 2, 24, true}, Layout {4, 3, 24, false},
                                         Layout {1, 1, 24, false}, Layout {5, 4, 32, false}, Layout {2, 7, 32, true},
                                         Layout {400, 100, 24, false}),
                         [](const testing::TestParamInfo<Layout>& i) {
                             return std::to_string(i.param.width) + "x" + std::to_string(i.param.height) + "x"
                                    + std::to_string(i.param.bits) + (i.param.topDown ? "TopDown" : "BottomUp");
                         });

TEST(BmpImage, RefusesMalformedFilesAndLeavesTheImageAlone)
{
    const std::vector<std::uint8_t> good = makeBmp(4, 4, 24, false);
    const struct {
        const char* what;
        std::size_t offset;      // of the byte changed, or the length cut to when value < 0
        int value;
    } cases[] = {{"not BM", 0, 'X'}, {"not BM either", 1, 'X'}, {"an old, shorter info header", 14, 12},
                 {"width 0", 18, 0}, {"width over 16384", 19, 0x41}, {"negative width", 21, 0x80},
                 {"height 0", 22, 0}, {"height over 16384", 23, 0x41}, {"two planes", 26, 2},
                 {"32769 planes", 27, 0x80}, {"8 bits per pixel", 28, 8}, {"16 bits per pixel", 28, 16},
                 {"run-length compressed", 30, 1}, {"bit fields with 24 bits", 30, 3}, {"pixels past the end", 10, 55},
                 {"a byte short", good.size() - 1, -1}, {"header cut", 40, -1}, {"nothing", 0, -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::uint8_t> file = good;
        c.value < 0 ? file.resize(c.offset) : void(file[c.offset] = static_cast<std::uint8_t>(c.value));
        gui::RgbImage image;
        image.width = 9;
        EXPECT_FALSE(gui::decodeBmp(file.empty() ? nullptr : file.data(), file.size(), image));
        EXPECT_EQ(image.width, 9);
    }
}

} // namespace
