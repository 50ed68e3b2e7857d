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
#include <ostream>
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

// A fresh folder under the system's temporary folder, removed with everything in it. The random
// part keeps test processes that run at the same time apart.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& name)
        : path(fs::temp_directory_path() / ("sonquad-platform-" + name + "-" + std::to_string(std::random_device {}())))
    {
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~ScratchFolder() { fs::remove_all(path); }
    void addFile(const std::string& name) const { std::ofstream(path / name) << "x"; }
    void addFolder(const std::string& name) const { fs::create_directory(path / name); }
    std::string text() const { return path.string(); }
    fs::path path;
};

std::vector<std::string> sorted(std::vector<std::string> names)
{
    std::sort(names.begin(), names.end());
    return names;
}

// Sets or, with an empty value, clears an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name(name)
    {
        if (const char* old = std::getenv(name)) {
            hadValue = true;
            previous = old;
        }
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv()
    {
        if (hadValue)
            setenv(name, previous.c_str(), 1);
        else
            unsetenv(name);
    }

private:
    const char* name;
    bool hadValue = false;
    std::string previous;
};

struct ListingCase {
    const char* extension;
    std::vector<std::string> expectedPosix;     // byte-wise sorted, case-sensitive
    std::vector<std::string> expectedWindows;   // compared after sorting; case-insensitive
};

void PrintTo(const ListingCase& c, std::ostream* out) { *out << '"' << c.extension << '"'; }

class ListFiles : public ::testing::TestWithParam<ListingCase> {};

TEST_P(ListFiles, FindsExactlyTheFilesWhoseNamesEndWithTheExtension)
{
    const ListingCase& c = GetParam();
    ScratchFolder folder("listing");
    for (const char* name : {"b.txt", "a.txt", "A.TXT.sonq", "upper.TXT", "c.sonq", "notes.txtx", "backup.txt~",
                             ".txt", "txt", "mic.txt.bak", "d.sonq.txt"})
        folder.addFile(name);
    // Folders named like calibration files are not files to read.
    folder.addFolder("folder.txt");
    folder.addFolder("folder.sonq");

    const std::vector<std::string> names = platform::listFiles(folder.text(), c.extension);
    if (kWindows)
        EXPECT_EQ(sorted(names), c.expectedWindows);
    else
        EXPECT_EQ(names, c.expectedPosix);
}

// "notes.txtx" and "backup.txt~" match "*.txt" on Windows through their 8.3 short names
// (NOTES~1.TXT); the listing leaves them out as the POSIX one does.
INSTANTIATE_TEST_SUITE_P(
    Extensions, ListFiles,
    ::testing::Values(ListingCase {".txt", {"a.txt", "b.txt", "d.sonq.txt"}, {"a.txt", "b.txt", "d.sonq.txt", "upper.TXT"}},
                      ListingCase {".sonq", {"A.TXT.sonq", "c.sonq"}, {"A.TXT.sonq", "c.sonq"}}),
    [](const ::testing::TestParamInfo<ListingCase>& info) { return std::string(info.param.extension + 1); });

TEST(ListFiles, GivesNothingForAMissingFolder)
{
    ScratchFolder folder("missing");
    EXPECT_TRUE(platform::listFiles((folder.path / "absent").string(), ".txt").empty());
}

TEST(ListFiles, GivesNothingForAnEmptyFolder)
{
    ScratchFolder folder("empty");
    EXPECT_TRUE(platform::listFiles(folder.text(), ".txt").empty());
}

TEST(Paths, JoinUsesThePlatformSeparator)
{
    const char separator = kWindows ? '\\' : '/';
    EXPECT_EQ(platform::pathSeparator(), separator);
    EXPECT_EQ(platform::joinPath("cal", "mic.txt"), std::string("cal") + separator + "mic.txt");
}

TEST(Paths, AJoinedListedNameOpensTheFile)
{
    ScratchFolder folder("join");
    folder.addFile("mic.txt");
    const std::vector<std::string> names = platform::listFiles(folder.text(), ".txt");
    ASSERT_EQ(names.size(), 1u);
    std::ifstream file(platform::joinPath(folder.text(), names[0]));
    std::string content;
    file >> content;
    EXPECT_EQ(content, "x");
}

TEST(CalibrationFolders, TheOverrideIsTheOnlyFolderWhenSet)
{
    ScopedEnv env("SONQUAD_CALIBRATION_DIR", "my calibrations");
    EXPECT_EQ(calibration::calibrationFolders(), std::vector<std::string> {"my calibrations"});
}

TEST(CalibrationFolders, AnEmptyOverrideLeavesThePlatformFolders)
{
    ScopedEnv env("SONQUAD_CALIBRATION_DIR", "");
    ScopedEnv dataHome("XDG_DATA_HOME", "/data home");
    const std::vector<std::string> expected = kWindows
        ? std::vector<std::string> {"c:\\Program Files\\Morlane\\Quillo\\calibrations",
                                    "c:\\Program Files (x86)\\Morlane\\Quillo\\calibrations"}
        : std::vector<std::string> {"/data home/Morlane/Quillo/calibrations",
                                    "/usr/share/Morlane/Quillo/calibrations"};
    EXPECT_EQ(calibration::calibrationFolders(), expected);
}

struct Collected {
    std::string caption;
    std::string text;
    int calls = 0;
};

TEST(Messages, GoToTheInstalledSinkWithTheProductCaption)
{
    Collected collected;
    platform::setMessageSink(
        [](void* context, const char* caption, const char* text) {
            auto* c = static_cast<Collected*>(context);
            c->caption = caption;
            c->text = text;
            ++c->calls;
        },
        &collected);
    // Without the sink this would be a modal box on Windows; the test would hang there.
    platform::showMessage("No filter found for sampling rate  44100");
    platform::setMessageSink(nullptr, nullptr);
    EXPECT_EQ(collected.calls, 1);
    EXPECT_EQ(collected.caption, "SonquadVST");
    EXPECT_EQ(collected.text, "No filter found for sampling rate  44100");
}

TEST(Clock, ASleepAdvancesTheTickCountByAboutItsLength)
{
    // The Windows tick count moves in steps of 10 to 16 ms, hence the margin below 50 ms.
    const std::uint32_t before = platform::tickCountMs();
    platform::sleepMs(50);
    const std::uint32_t elapsed = platform::tickCountMs() - before;   // wraps like the tick count
    EXPECT_GE(elapsed, 34u);
    EXPECT_LT(elapsed, 60000u);
}

} // namespace
