// Bitmap file decoding against files written here field by field as the format describes them:
// row order, row padding, pixel sizes, and refusal of what it cannot read.
#include "gui/BmpImage.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// A colour made from the pixel's position, so every pixel of a test picture differs.
std::uint8_t component(int x, int y, int channel) { return static_cast<std::uint8_t>(x * 37 + y * 101 + channel * 53 + 7); }

void put(std::vector<std::uint8_t>& out, std::int64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>((value >> (8 * i)) & 0xFF));
}

std::vector<std::uint8_t> makeBmp(int width, int height, int bits, bool topDown)
{
    const int bytesPerPixel = bits / 8, rowBytes = (width * bytesPerPixel + 3) & ~3;
    std::vector<std::uint8_t> file = {'B', 'M'};
    for (auto [value, bytes] : std::initializer_list<std::pair<std::int64_t, int>> {
             {54 + rowBytes * height, 4}, {0, 4}, {54, 4},                  // file size, reserved, pixel offset
             {40, 4}, {width, 4}, {topDown ? -height : height, 4}, {1, 2}, // info header: size, width, height, planes
             {bits, 2}, {0, 4}, {rowBytes * height, 4}, {2835, 4}, {2835, 4}, {0, 4}, {0, 4}})
        put(file, value, bytes);
    for (int row = 0; row < height; ++row) {
        const int y = topDown ? row : height - 1 - row;
        int written = 0;
        for (int x = 0; x < width; ++x, written += bytesPerPixel) {
            for (int channel : {2, 1, 0})   // blue first
                file.push_back(component(x, y, channel));
            if (bytesPerPixel == 4)
                file.push_back(0xAA);
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
void PrintTo(const Layout& l, std::ostream* out) { *out << l.width << "x" << l.height << "x" << l.bits; }

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
                                         Layout {400, 100, 24, false}),
                         [](const testing::TestParamInfo<Layout>& info) {
                             const Layout& l = info.param;
                             return std::to_string(l.width) + "x" + std::to_string(l.height) + "x"
                                    + std::to_string(l.bits) + (l.topDown ? "TopDown" : "BottomUp");
                         });

TEST(BmpImage, RefusesMalformedFilesAndLeavesTheImageAlone)
{
    const std::vector<std::uint8_t> good = makeBmp(4, 4, 24, false);
    auto with = [&](std::size_t offset, std::uint8_t value) {
        std::vector<std::uint8_t> changed = good;
        changed[offset] = value;
        return changed;
    };
    const struct {
        const char* what;
        std::vector<std::uint8_t> file;
    } cases[] = {
        {"not BM", with(0, 'X')},
        {"not BM either", with(1, 'X')},
        {"two planes", with(26, 2)},
        {"32769 planes", with(27, 0x80)},
        {"bit fields with 24 bits", with(30, 3)},
        {"width over 16384", with(19, 0x41)},
        {"height over 16384", with(23, 0x41)},
        {"negative width", with(21, 0x80)},
        {"8 bits per pixel", with(28, 8)},
        {"16 bits per pixel", makeBmp(4, 4, 16, false)},
        {"run-length compressed", with(30, 1)},
        {"width 0", with(18, 0)},
        {"height 0", with(22, 0)},
        {"an old, shorter info header", with(14, 12)},
        {"pixels past the end", with(10, 55)},
        {"a byte short", std::vector<std::uint8_t>(good.begin(), good.end() - 1)},
        {"header cut", std::vector<std::uint8_t>(good.begin(), good.begin() + 40)},
        {"nothing", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        gui::RgbImage image;
        image.width = 9;
        EXPECT_FALSE(gui::decodeBmp(c.file.empty() ? nullptr : c.file.data(), c.file.size(), image));
        EXPECT_EQ(image.width, 9);
    }
    // 32 bits with bit fields is read with the standard masks.
    std::vector<std::uint8_t> bitFields = makeBmp(2, 2, 32, false);
    bitFields[30] = 3;
    gui::RgbImage image;
    ASSERT_TRUE(gui::decodeBmp(bitFields.data(), bitFields.size(), image));
    EXPECT_EQ(image.at(1, 1)[0], component(1, 1, 0));
}

} // namespace
