// What the tests of the built editor (X11, Win32) share: the plug-in loaded from its module as a
// host loads it, and the picture the editor must show, checked against the background file read
// with a few lines of bitmap-file arithmetic of their own (24 bits, rows bottom-up, blue first).
#pragma once

#include "tools/vsthost/PluginHost.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace editortest {

constexpr int kWidth = 400, kHeight = 100;
constexpr int kFieldLeft = 72, kFieldTop = 53, kFieldRight = 215, kFieldBottom = 68;   // right, bottom exclusive

// The module named by SONQUAD_MODULE, loaded once, over an empty calibration folder.
inline std::unique_ptr<vsthost::PluginInstance> createPlugin()
{
    static const std::unique_ptr<vsthost::PluginModule> module = [] {
        const auto folder = std::filesystem::temp_directory_path() / "sonquad-editor-tests-no-calibrations";
        std::filesystem::create_directories(folder);
        setenv("SONQUAD_CALIBRATION_DIR", folder.string().c_str(), 1);
        std::string error;
        auto loaded = vsthost::PluginModule::open(std::getenv("SONQUAD_MODULE") ? std::getenv("SONQUAD_MODULE") : "", error);
        EXPECT_NE(loaded, nullptr) << "cannot load the plug-in module: " << error;
        return loaded;
    }();
    return module ? vsthost::PluginInstance::create(*module) : nullptr;
}

struct Rgb {
    std::uint8_t r, g, b;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

struct Picture {
    int width = 0, height = 0;
    std::vector<Rgb> pixels;
    Rgb at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// The field's pixels as a short digest, so that stories compare what two moments showed.
inline std::string fieldDigest(const Picture& picture)
{
    std::uint64_t hash = 14695981039346656037ull;   // FNV-1a
    for (int y = kFieldTop; y < kFieldBottom && !picture.pixels.empty(); ++y)
        for (int x = kFieldLeft; x < kFieldRight; ++x)
            for (std::uint8_t byte : {picture.at(x, y).r, picture.at(x, y).g, picture.at(x, y).b})
                hash = (hash ^ byte) * 1099511628211ull;
    return std::to_string(hash);
}

// A capture of the open editor: outside the field the background file pixel for pixel; inside it
// the field colour, as in the file, with the program's name written in white.
inline void expectBackgroundAndName(const Picture& shown)
{
    std::ifstream file(SONQUAD_BACKGROUND_BMP, std::ios::binary);
    const std::vector<unsigned char> bmp((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_EQ(bmp.size(), 54u + kWidth * kHeight * 3) << "a 400 x 100 bitmap of 24 bits";
    ASSERT_EQ(shown.pixels.size(), static_cast<std::size_t>(kWidth * kHeight));
    int differences = 0, fieldPixels = 0, textPixels = 0, lightPixels = 0, pictureField = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const unsigned char* p = &bmp[54 + ((kHeight - 1 - y) * kWidth + x) * 3];
            const Rgb expected {p[2], p[1], p[0]}, seen = shown.at(x, y), field {149, 111, 42};
            if (x < kFieldLeft || x >= kFieldRight || y < kFieldTop || y >= kFieldBottom) {
                differences += !(seen == expected);
                continue;
            }
            ++fieldPixels;
            pictureField += expected == field;
            textPixels += !(seen == field);
            lightPixels += seen.r > 200 && seen.g > 200 && seen.b > 180;
        }
    EXPECT_EQ(differences, 0) << "the background outside the field is the picture, pixel for pixel";
    EXPECT_EQ(pictureField, fieldPixels) << "the picture has the field colour under the field";
    // "Quaddle - uncalibrated" in white: a few hundred pixels of text, the rest the field colour.
    EXPECT_GT(textPixels, 60);
    EXPECT_LT(textPixels, fieldPixels / 2);
    EXPECT_GT(lightPixels, 10) << "white text, solid at the strokes' centres";
}

} // namespace editortest
