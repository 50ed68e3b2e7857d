// The folder scans on folders made here: which files become which programs and sets, in order.
#include "calibration/CalibrationFolders.h"
#include "calibration/CalibrationLibrary.h"

#include "CalibrationFixture.h"
#include "dsp/CParaEQ3Band.h"

namespace {

using namespace fixture;
using fixture::PrintTo;

using Files = std::vector<std::pair<std::string, Bytes>>;   // name (folder/name for the second), contents

Bytes text(const std::string& s) { return {s.begin(), s.end()}; }
Bytes wGain(int dB) { return text("W " + std::to_string(dB) + "\n"); }
Bytes pmfiltFrame() { return Osc("/pmfilt/par").i(0).f({100, 1, 1, 200, 1, 1, 300, 1, 1, 0}); }
Bytes weight(float w) { return cat({Osc("/sonqproc").i(3), Osc("/matrix/row").i(0).f({w, 1, 1, 1})}); }

struct ScanCase {
    const char* name;
    Files files;
    std::vector<std::string> names;   // programs 2 to 7
    std::vector<int> sets;            // their post-matrix set numbers
    int count;                        // sets in use afterwards
};

class LibraryScan : public ::testing::TestWithParam<ScanCase> {};

TEST_P(LibraryScan, FillsTheSlotsFromTwoInOrder)
{
    TempFolder first, second;
    for (const auto& [name, bytes] : GetParam().files) {
        if (name == "dir:Folder.txt")
            fs::create_directories(first / "Folder.txt");
        else if (name == "link:Broken.txt")
            fs::create_symlink(first / "nowhere", first / "Broken.txt");   // listed, cannot be opened
        else
            writeBytes(name.rfind("2/", 0) == 0 ? second / name.substr(2) : first / name, bytes);
    }
    ProgramRecord programs[8];
    for (int slot = 0; slot < 8; ++slot)
        programs[slot] = userProgram(slot);
    FilterBank bank = builtInBank();
    DiagnosticLog log;
    int nextSlot = 2;
    loadTextCalibrations({first.str(), second.str()}, programs, 8, nextSlot, bank, &log.sink);
    loadProcessorConfigurations({first.str(), second.str()}, programs, 8, nextSlot, bank, &log.sink);
    std::vector<std::string> names;
    std::vector<int> sets;
    for (int slot = 2; slot < 8; ++slot) {
        names.emplace_back(programs[slot].name);
        sets.push_back(static_cast<int>(std::lround(programs[slot].value(param::kPostMatrixFilterNumber) * 7)));
    }
    EXPECT_EQ(names, GetParam().names);
    EXPECT_EQ(sets, GetParam().sets);
    EXPECT_EQ(bank.count, GetParam().count);
    EXPECT_EQ(programs[0].name, std::string("User 0"));
    for (int set = 3; set < FilterBank::kSets; ++set)
        EXPECT_TRUE(sets[set - 3] != set || std::string(bank.setName(set)).rfind(programs[set - 1].name, 0) == 0) << set;
    for (int set = 0; set < FilterBank::kSets; ++set)   // no half-built set
        EXPECT_EQ(bank.filter(set, 3) != nullptr, bank.hasSet(set)) << set;
}

const std::vector<std::string> kUser = {"User 2", "User 3", "User 4", "User 5", "User 6", "User 7"};
Files sevenTexts()
{
    Files files;
    for (int n = 1; n <= 7; ++n)
        files.emplace_back("Mic" + std::to_string(n) + ".txt", wGain(n));
    files.emplace_back("Config.sonq", weight(0.5f));
    return files;
}

INSTANTIATE_TEST_SUITE_P(
    Folders, LibraryScan,
    ::testing::Values(
        ScanCase {"NoFiles", {}, kUser, {0, 0, 0, 0, 0, 0}, 3},
        ScanCase {"TextsInNameOrderOthersSkipped", {{"Bravo.txt", wGain(3)}, {"Alpha.txt", wGain(6)}, {"notes.md", wGain(9)}},
                  {"Alpha", "Bravo", "User 4", "User 5", "User 6", "User 7"}, {3, 4, 0, 0, 0, 0}, 5},
        ScanCase {"TextsBeforeConfigurations", {{"Aaa.sonq", weight(0.5f)}, {"Zzz.txt", wGain(0)}, {"Ccc.sonq", weight(2)}},
                  {"Zzz", "Aaa", "Ccc", "User 5", "User 6", "User 7"}, {3, 4, 5, 0, 0, 0}, 6},
        // Sets 3 to 7 fill the bank; the sixth calibration gets "None"; the configuration no slot.
        ScanCase {"SixOfSeven", sevenTexts(), {"Mic1", "Mic2", "Mic3", "Mic4", "Mic5", "Mic6"}, {3, 4, 5, 6, 7, 0}, 9},
        ScanCase {"EachKindFromTheFirstFolderHoldingIt",
                  {{"TextMic.txt", wGain(1)}, {"2/ConfigMic.sonq", weight(0.5f)}, {"2/Ignored.txt", wGain(2)}},
                  {"TextMic", "ConfigMic", "User 4", "User 5", "User 6", "User 7"}, {3, 4, 0, 0, 0, 0}, 5},
        ScanCase {"NameUpToTheFirstDotHiddenFirst", {{"Mic.v2.txt", wGain(1)}, {".hidden.txt", wGain(1)}},
                  {"", "Mic", "User 4", "User 5", "User 6", "User 7"}, {3, 4, 0, 0, 0, 0}, 5},
        ScanCase {"UnopenableAndFoldersTakeNoSlot", {{"link:Broken.txt", {}}, {"dir:Folder.txt", {}}, {"Working.txt", wGain(1)}},
                  {"Working", "User 3", "User 4", "User 5", "User 6", "User 7"}, {3, 0, 0, 0, 0, 0}, 4},
        ScanCase {"NamesOver80CharactersSkipped", {{std::string(81, 'b') + ".txt", wGain(1)}, {std::string(80, 'a') + ".txt", wGain(2)}},
                  {std::string(23, 'a'), "User 3", "User 4", "User 5", "User 6", "User 7"}, {3, 0, 0, 0, 0, 0}, 4},
        // A bad version in the second configuration ends the scan; its own set is removed.
        ScanCase {"BadVersionEndsTheScan",
                  {{"A.sonq", weight(0.5f)}, {"B.sonq", cat({pmfiltFrame(), Osc("/sonqproc").i(4)})}, {"C.sonq", weight(0.25f)}},
                  {"A", "B", "User 4", "User 5", "User 6", "User 7"}, {3, 0, 0, 0, 0, 0}, 4}),
    [](const auto& info) { return std::string(info.param.name); });

// Only the folder the environment names; no sink, nothing shown; the version carries across files.
TEST(Library, ReadsOnlyTheFolderNamedByTheEnvironmentSilently)
{
    TempFolder folder;
    writeBytes(folder / "A.sonq", Osc("/sonqproc").i(3));
    writeBytes(folder / "B.sonq", Osc("/pmfilt/par").i(0).f({100, 1, 1, 200, 1, 1, 300, 1, 1, 0}));
    writeBytes(folder / "Mic.txt", text("junk\nW 1\n"));
    ProgramRecord programs[8];
    for (int slot = 0; slot < 8; ++slot)
        programs[slot] = userProgram(slot);
    FilterBank bank = builtInBank();
    MessageCapture messages;
    ScopedEnv env(calibration::kFolderOverride, folder.str());
    EXPECT_EQ(calibration::calibrationFolders(), std::vector<std::string> {folder.str()});
    scanCalibrationFolders(programs, 8, bank);
    for (const auto& [slot, name] : {std::pair {1, "User 1"}, {2, "Mic"}, {3, "A"}, {4, "B"}, {5, "User 5"}})
        EXPECT_STREQ(programs[slot].name, name);
    EXPECT_NE(dynamic_cast<CParaEQ3Band*>(bank.filter(5, 0)), nullptr);
    EXPECT_TRUE(messages.texts.empty());
}

} // namespace
