// The platform layer of the build under test (POSIX on Linux, Win32 in the Windows builds, run
// under Wine): directory listing for the calibration scan, calibration folders, paths, the
// message sink and the clock.
#include "calibration/CalibrationFolders.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

#if defined(_WIN32)
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

// A fresh folder under the temporary folder; the random part keeps parallel runs apart.
struct Scratch {
    fs::path path = fs::temp_directory_path() / ("sonquad-platform-" + std::to_string(std::random_device {}()));
    Scratch() { fs::create_directories(path); }
    ~Scratch() { fs::remove_all(path); }
};

// Sets (or with nullopt clears) an environment variable for the life of the object.
class Env {
public:
    Env(const char* name, std::optional<std::string> value) : name(name)
    {
        if (const char* old = std::getenv(name))
            previous = old;
        value ? (void)setenv(name, value->c_str(), 1) : (void)unsetenv(name);
    }
    ~Env() { previous ? (void)setenv(name, previous->c_str(), 1) : (void)unsetenv(name); }

private:
    const char* name;
    std::optional<std::string> previous;
};

TEST(ListFiles, FindsExactlyTheFilesWithTheExtensionSortedByName)
{
    Scratch folder;
    for (const char* name : {"b.txt", "a.txt", "A.TXT.sonq", "upper.TXT", "c.sonq", "notes.txtx", "backup.txt~", ".txt", "txt",
                             "mic.txt.bak", "d.sonq.txt"})
        std::ofstream(folder.path / name) << "x";
    fs::create_directory(folder.path / "folder.txt");   // a folder is no file to read
    fs::create_directory(folder.path / "folder.sonq");
    // Windows matches case-insensitively ("upper.TXT"), and leaves out the 8.3 short-name
    // matches of "notes.txtx" and "backup.txt~" as POSIX does.
    std::vector<std::string> texts = platform::listFiles(folder.path.string(), ".txt");
    if (kWindows)
        std::sort(texts.begin(), texts.end());
    EXPECT_EQ(texts, (kWindows ? std::vector<std::string> {"a.txt", "b.txt", "d.sonq.txt", "upper.TXT"}
                               : std::vector<std::string> {"a.txt", "b.txt", "d.sonq.txt"}));
    std::vector<std::string> configurations = platform::listFiles(folder.path.string(), ".sonq");
    if (kWindows)
        std::sort(configurations.begin(), configurations.end());
    EXPECT_EQ(configurations, (std::vector<std::string> {"A.TXT.sonq", "c.sonq"}));
    EXPECT_TRUE(platform::listFiles((folder.path / "absent").string(), ".txt").empty());
    EXPECT_TRUE(platform::listFiles((folder.path / "folder.txt").string(), ".txt").empty());
}

TEST(Paths, AJoinedListedNameOpensTheFile)
{
    Scratch folder;
    std::ofstream(folder.path / "mic.txt") << "x";
    const char separator = kWindows ? '\\' : '/';
    EXPECT_EQ(platform::pathSeparator(), separator);
    EXPECT_EQ(platform::joinPath("cal", "mic.txt"), std::string("cal") + separator + "mic.txt");
    std::ifstream file(platform::joinPath(folder.path.string(), platform::listFiles(folder.path.string(), ".txt").at(0)));
    std::string content;
    file >> content;
    EXPECT_EQ(content, "x");
}

TEST(CalibrationFolders, AreTheOverrideAloneOrElseThePlatformFolders)
{
    {
        Env env(calibration::kFolderOverride, "my calibrations");
        EXPECT_EQ(calibration::calibrationFolders(), std::vector<std::string> {"my calibrations"});
    }
    Env env(calibration::kFolderOverride, "");
    Env dataHome("XDG_DATA_HOME", "/data home");
    EXPECT_EQ(calibration::calibrationFolders(),
              (kWindows ? std::vector<std::string> {"c:\\Program Files\\Morlane\\Quillo\\calibrations",
                                                    "c:\\Program Files (x86)\\Morlane\\Quillo\\calibrations"}
                        : std::vector<std::string> {"/data home/Morlane/Quillo/calibrations", "/usr/share/Morlane/Quillo/calibrations"}));
}

TEST(Messages, GoToTheInstalledSinkWithTheProductCaption)
{
    std::vector<std::string> seen;
    platform::setMessageSink([](void* context, const char* caption, const char* text) {
        static_cast<std::vector<std::string>*>(context)->push_back(std::string(caption) + ": " + text);
    }, &seen);
    // Without the sink this would be a modal box on Windows; the test would hang there.
    platform::showMessage("No filter found for sampling rate  44100");
    platform::setMessageSink(nullptr, nullptr);
    EXPECT_EQ(seen, std::vector<std::string> {"SonquadVST: No filter found for sampling rate  44100"});
}

TEST(Clock, ASleepAdvancesTheTickCountByAboutItsLength)
{
    // The Windows tick count moves in steps of 10 to 16 ms, hence the margin below 50 ms.
    const std::uint32_t before = platform::tickCountMs();
    platform::sleepMs(50);
    const std::uint32_t elapsed = platform::tickCountMs() - before;
    EXPECT_GE(elapsed, 34u);
    EXPECT_LT(elapsed, 60000u);
}

} // namespace
