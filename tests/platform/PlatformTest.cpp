// The platform layer of the build under test (POSIX on Linux, Win32 in the Windows builds, run
// under Wine): directory listing for the calibration scan, calibration folders, paths, the
// message sink and the clock.
#include "calibration/CalibrationFolders.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

#if defined(_WIN32)
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

Names sortedListing(const fs::path& folder, const char* extension)
{
    Names names = platform::listFiles(folder.string(), extension);
    if (kWindows)   // POSIX lists in byte order already
        std::sort(names.begin(), names.end());
    return names;
}

TEST(Platform, ListsExactlyTheFilesWithTheExtensionAndJoinsPaths)
{
    const fs::path folder = fs::temp_directory_path() / ("sonquad-platform-" + std::to_string(std::random_device {}()));
    fs::create_directories(folder / "folder.txt");   // a folder is no file to read
    for (const char* name : {"b.txt", "a.txt", "A.TXT.sonq", "upper.TXT", "c.sonq", "notes.txtx", "backup.txt~", ".txt", "txt",
                             "mic.txt.bak", "d.sonq.txt"})
        std::ofstream(folder / name) << "x";
    // Windows matches case-insensitively, and leaves out the 8.3 short-name matches of
    // "notes.txtx" and "backup.txt~" as POSIX does.
    EXPECT_EQ(sortedListing(folder, ".txt"), (kWindows ? Names {"a.txt", "b.txt", "d.sonq.txt", "upper.TXT"} : Names {"a.txt", "b.txt", "d.sonq.txt"}));
    EXPECT_EQ(sortedListing(folder, ".sonq"), (Names {"A.TXT.sonq", "c.sonq"}));
    EXPECT_TRUE(platform::listFiles((folder / "absent").string(), ".txt").empty());
    EXPECT_TRUE(platform::listFiles((folder / "folder.txt").string(), ".txt").empty());
    const char separator = kWindows ? '\\' : '/';
    EXPECT_EQ(platform::pathSeparator(), separator);
    EXPECT_EQ(platform::joinPath("cal", "mic.txt"), std::string("cal") + separator + "mic.txt");
    std::string content;
    std::ifstream(platform::joinPath(folder.string(), "b.txt")) >> content;
    EXPECT_EQ(content, "x");
    fs::remove_all(folder);
}

TEST(Platform, CalibrationFoldersAreTheOverrideAloneOrElseThePlatformFolders)
{
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    const std::string previous = dataHome ? dataHome : "";
    setenv(calibration::kFolderOverride, "my calibrations", 1);
    EXPECT_EQ(calibration::calibrationFolders(), Names {"my calibrations"});
    setenv(calibration::kFolderOverride, "", 1);
    setenv("XDG_DATA_HOME", "/data home", 1);
    EXPECT_EQ(calibration::calibrationFolders(),
              (kWindows ? Names {"c:\\Program Files\\Morlane\\Quillo\\calibrations", "c:\\Program Files (x86)\\Morlane\\Quillo\\calibrations"}
                        : Names {"/data home/Morlane/Quillo/calibrations", "/usr/share/Morlane/Quillo/calibrations"}));
    unsetenv(calibration::kFolderOverride);
    dataHome ? (void)setenv("XDG_DATA_HOME", previous.c_str(), 1) : (void)unsetenv("XDG_DATA_HOME");
}

TEST(Platform, MessagesGoToTheInstalledSinkWithTheProductCaption)
{
    Names seen;
    platform::setMessageSink([](void* context, const char* caption, const char* text) {
        static_cast<Names*>(context)->push_back(std::string(caption) + ": " + text);
    }, &seen);
    // Without the sink this would be a modal box on Windows; the test would hang there.
    platform::showMessage("No filter found for sampling rate  44100");
    platform::setMessageSink(nullptr, nullptr);
    EXPECT_EQ(seen, Names {"SonquadVST: No filter found for sampling rate  44100"});
}

TEST(Platform, ASleepAdvancesTheTickCountByAboutItsLength)
{
    const std::uint32_t before = platform::tickCountMs();
    platform::sleepMs(50);
    EXPECT_GE(platform::tickCountMs() - before, 34u);   // the Windows tick count moves in steps of 10 to 16 ms
    EXPECT_LT(platform::tickCountMs() - before, 60000u);
}

} // namespace
