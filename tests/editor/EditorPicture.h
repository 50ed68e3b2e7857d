// Shared by the tests of the built editor (X11, Win32): the plug-in loaded from its module as a
// host loads it, and the picture the editor must show, against the background file read with bitmap
// arithmetic of their own (24 bits, rows bottom-up, blue first).
#pragma once

#include "tools/vsthost/PluginHost.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace editortest {

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

using Picture = std::vector<Rgb>;   // 400 x 100, rows top down

inline bool inField(int i) { return i % 400 >= 72 && i % 400 < 215 && i / 400 >= 53 && i / 400 < 68; }

inline std::string fieldDigest(const Picture& picture)   // FNV-1a of the field's pixels
{
    std::uint64_t hash = 14695981039346656037ull;
    for (std::size_t i = 0; i < picture.size(); ++i)
        for (std::uint8_t byte : {picture[i].r, picture[i].g, picture[i].b})
            hash = inField(static_cast<int>(i)) ? (hash ^ byte) * 1099511628211ull : hash;
    return std::to_string(hash);
}

// Outside the field the background file pixel for pixel; inside it the field colour with the
// program's name ("Quaddle - uncalibrated") written in white.
inline void expectBackgroundAndName(const Picture& shown)
{
    std::ifstream file(SONQUAD_BACKGROUND_BMP, std::ios::binary);
    const std::vector<unsigned char> bmp((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_EQ(bmp.size(), 54u + 400 * 100 * 3) << "a 400 x 100 bitmap of 24 bits";
    ASSERT_EQ(shown.size(), 400u * 100);
    int differences = 0, fieldPixels = 0, textPixels = 0, lightPixels = 0;
    for (int i = 0; i < 400 * 100; ++i) {
        const unsigned char* p = &bmp[54 + ((99 - i / 400) * 400 + i % 400) * 3];
        const Rgb expected {p[2], p[1], p[0]}, seen = shown[i], field {149, 111, 42};
        differences += !inField(i) && !(seen == expected);
        fieldPixels += inField(i);
        textPixels += inField(i) && !(seen == field);
        lightPixels += inField(i) && seen.r > 200 && seen.g > 200 && seen.b > 180;
    }
    EXPECT_EQ(differences, 0) << "the background outside the field is the picture, pixel for pixel";
    EXPECT_GT(textPixels, 60) << "a few hundred pixels of text";
    EXPECT_LT(textPixels, fieldPixels / 2);
    EXPECT_GT(lightPixels, 10) << "white text, solid at the strokes' centres";
}

} // namespace editortest
