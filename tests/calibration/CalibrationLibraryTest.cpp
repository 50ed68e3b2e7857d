// The folder scans on fixture folders made by the tests (never the user's own): which files
// become which programs and sets, in which order, from which folder.
#include "calibration/CalibrationFolders.h"
#include "calibration/CalibrationLibrary.h"

#include "CalibrationTestSupport.h"
#include "dsp/CParaEQ3Band.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace caltest;

// A text calibration that only sets the W gain, so each file's program can be told apart.
std::string textWithWGain(int dB) { return "W " + std::to_string(dB) + "\n"; }

// A configuration that sets output 1 of capsule 1 to the weight given.
std::vector<unsigned char> configurationWithWeight(float weight, int version = 3)
{
    return OscFile()
        .add(OscMessage("/sonqproc").i(version))
        .add(OscMessage("/matrix/row").i(0).floats({weight, 1, 1, 1}))
        .bytes;
}

class CalibrationScan : public ::testing::Test {
protected:
    CalibrationScan()
    {
        for (int slot = 0; slot < 8; ++slot)
            programs[slot] = userProgram(slot);
    }

    void scan(const std::vector<std::string>& folders)
    {
        int nextSlot = 2;
        loadTextCalibrations(folders, programs, 8, nextSlot, bank, &log.sink);
        loadProcessorConfigurations(folders, programs, 8, nextSlot, bank, &log.sink);
        slotsUsed = nextSlot - 2;
    }

    std::vector<std::string> names() const
    {
        std::vector<std::string> out;
        for (const ProgramRecord& p : programs)
            out.emplace_back(p.name);
        return out;
    }

    float setValue(int slot) const { return programs[slot].value(param::kPostMatrixFilterNumber); }

    TempFolder folder;
    ProgramRecord programs[8];
    FilterBank bank = builtInBank();
    DiagnosticLog log;
    MessageCapture messages;
    int slotsUsed = 0;
};

const std::vector<std::string> kUserNames = {"User 0", "User 1", "User 2", "User 3",
                                             "User 4", "User 5", "User 6", "User 7"};

TEST_F(CalibrationScan, WithNoFolderLeavesEveryProgramAsItWas)
{
    scan({(folder / "missing").string(), (folder / "also-missing").string()});
    EXPECT_EQ(names(), kUserNames);
    EXPECT_EQ(bank.count, 3);
    EXPECT_EQ(slotsUsed, 0);
}

TEST_F(CalibrationScan, FillsSlotsFromTwoWithTextFilesInNameOrder)
{
    writeText(folder / "Bravo.txt", textWithWGain(3));
    writeText(folder / "Alpha.txt", textWithWGain(6));
    writeText(folder / "notes.md", "W 9\n");
    scan({folder.str()});
    EXPECT_EQ(names(), (std::vector<std::string> {"User 0", "User 1", "Alpha", "Bravo", "User 4",
                                                  "User 5", "User 6", "User 7"}));
    EXPECT_FLOAT_EQ(programs[2].value(param::outputGain(0)), 24.0f / 30.0f);
    EXPECT_FLOAT_EQ(programs[3].value(param::outputGain(0)), 21.0f / 30.0f);
    EXPECT_EQ(setValue(2), 3.0f / 7.0f);
    EXPECT_EQ(setValue(3), 4.0f / 7.0f);
    EXPECT_EQ(bank.count, 5);
}

TEST_F(CalibrationScan, FillsSlotsWithConfigurationFilesOnly)
{
    writeBytes(folder / "Delta.sonq", configurationWithWeight(0.5f));
    writeBytes(folder / "Charlie.sonq", configurationWithWeight(2.0f));
    scan({folder.str()});
    EXPECT_EQ(names()[2], "Charlie");
    EXPECT_EQ(names()[3], "Delta");
    EXPECT_FLOAT_EQ(programs[2].value(param::capOutGain(0, 0)), (20 * std::log10(2.0) + 12) / 24);
    EXPECT_EQ(programs[2].value(param::kLocked), 1.0f);
    EXPECT_EQ(setValue(3), 4.0f / 7.0f);
}

TEST_F(CalibrationScan, PutsTextCalibrationsBeforeConfigurations)
{
    writeBytes(folder / "Aaa.sonq", configurationWithWeight(0.5f));
    writeText(folder / "Zzz.txt", textWithWGain(0));
    scan({folder.str()});
    EXPECT_EQ(names()[2], "Zzz");
    EXPECT_EQ(setValue(2), 3.0f / 7.0f);
    EXPECT_EQ(names()[3], "Aaa");
    EXPECT_EQ(setValue(3), 4.0f / 7.0f);
    EXPECT_EQ(bank.setName(3), std::string("Zzz"));
    EXPECT_EQ(bank.setName(4), std::string("Aaa"));
}

TEST_F(CalibrationScan, TakesSixOfSevenTextFilesAndNoConfiguration)
{
    for (int n = 1; n <= 7; ++n)
        writeText(folder / ("Mic" + std::to_string(n) + ".txt"), textWithWGain(n));
    writeBytes(folder / "Config.sonq", configurationWithWeight(0.5f));
    scan({folder.str()});
    EXPECT_EQ(names(), (std::vector<std::string> {"User 0", "User 1", "Mic1", "Mic2", "Mic3", "Mic4",
                                                  "Mic5", "Mic6"}));
    // Sets 3 to 7 fill the bank; the sixth calibration finds it full and gets "None".
    for (int slot = 2; slot < 7; ++slot)
        EXPECT_EQ(setValue(slot), static_cast<float>(slot + 1) / 7.0f) << slot;
    EXPECT_EQ(setValue(7), 0.0f);
    EXPECT_EQ(bank.count, 9);
    EXPECT_EQ(bank.setName(7), std::string("Mic5"));
    EXPECT_EQ(log.find({}, "every program slot is in use").size(), 2u);
}

// The two folders of one platform: each kind comes from the first folder that holds a file of it.
TEST_F(CalibrationScan, ServesEachScanFromTheFirstFolderThatHoldsItsKind)
{
    TempFolder second, empty;
    writeText(folder / "TextMic.txt", textWithWGain(1));
    writeBytes(second / "ConfigMic.sonq", configurationWithWeight(0.5f));
    writeText(second / "Ignored.txt", textWithWGain(2));
    scan({folder.str(), second.str()});
    EXPECT_EQ(names()[2], "TextMic");
    EXPECT_EQ(names()[3], "ConfigMic");
    EXPECT_EQ(names()[4], "User 4");
    for (int slot = 0; slot < 8; ++slot)
        programs[slot] = userProgram(slot);
    scan({empty.str(), second.str()});
    EXPECT_EQ(names()[2], "Ignored");
    EXPECT_EQ(names()[3], "ConfigMic");
}

TEST_F(CalibrationScan, NamesACalibrationUpToTheFirstDot)
{
    writeText(folder / "Mic.v2.txt", textWithWGain(1));
    writeText(folder / ".hidden.txt", textWithWGain(1));
    scan({folder.str()});
    EXPECT_EQ(names()[2], "");   // ".hidden.txt" sorts first
    EXPECT_EQ(names()[3], "Mic");
}

TEST_F(CalibrationScan, SkipsAFileThatCannotBeOpenedWithoutTakingASlotOrASet)
{
    // A link to nothing is listed like a file but cannot be opened, even by root.
    fs::create_symlink(folder / "nowhere", folder / "Broken.txt");
    writeText(folder / "Working.txt", textWithWGain(1));
    scan({folder.str()});
    EXPECT_EQ(names()[2], "Working");
    EXPECT_EQ(setValue(2), 3.0f / 7.0f);
    EXPECT_EQ(log.find({}, "cannot be opened").size(), 1u);
}

TEST_F(CalibrationScan, SkipsCalibrationNamesLongerThan80Characters)
{
    const std::string longest(80, 'a');
    writeText(folder / (std::string(81, 'b') + ".txt"), textWithWGain(1));
    writeText(folder / (longest + ".txt"), textWithWGain(2));
    scan({folder.str()});
    EXPECT_EQ(names()[2], longest.substr(0, 23));
    EXPECT_EQ(bank.setName(3), longest);
    EXPECT_EQ(names()[3], "User 3");
    EXPECT_EQ(bank.count, 4);
}

TEST_F(CalibrationScan, ReadsNoFolderNamedLikeACalibrationFile)
{
    fs::create_directories(folder / "Folder.txt");
    writeText(folder / "File.txt", textWithWGain(1));
    scan({folder.str()});
    EXPECT_EQ(names()[2], "File");
    EXPECT_EQ(names()[3], "User 3");
}

TEST_F(CalibrationScan, ABadVersionInTheSecondConfigurationEndsTheScan)
{
    writeBytes(folder / "A.sonq", configurationWithWeight(0.5f));
    // A filter for the set before the bad version: no half-built set may remain.
    writeBytes(folder / "B.sonq", OscFile()
                                      .add(OscMessage("/matrix/row").i(0).floats({2, 2, 2, 2}))
                                      .add(OscMessage("/pmfilt/par").i(0).floats({100, 1, 1, 200, 1, 1, 300, 1, 1, 0}))
                                      .add(OscMessage("/sonqproc").i(4))
                                      .bytes);
    writeBytes(folder / "C.sonq", configurationWithWeight(0.25f));
    scan({folder.str()});
    EXPECT_EQ(names()[2], "A");
    EXPECT_EQ(setValue(2), 3.0f / 7.0f);
    EXPECT_EQ(names()[3], "B");
    EXPECT_FLOAT_EQ(programs[3].value(param::capOutGain(0, 0)), (20 * std::log10(2.0) + 12) / 24);
    EXPECT_EQ(setValue(3), 0.0f);
    EXPECT_EQ(names()[4], "User 4");
    EXPECT_EQ(bank.count, 4);
    EXPECT_FALSE(bank.hasSet(4));
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(bank.filter(4, k), nullptr) << k;
}

TEST_F(CalibrationScan, CarriesTheConfigurationVersionAcrossFiles)
{
    writeBytes(folder / "A.sonq", OscFile().add(OscMessage("/sonqproc").i(3)).bytes);
    OscMessage pm("/pmfilt/par");
    pm.i(0).floats({100, 1, 1, 200, 1, 1, 300, 1, 1, 0});
    writeBytes(folder / "B.sonq", OscFile().add(pm).bytes);
    scan({folder.str()});
    EXPECT_NE(dynamic_cast<CParaEQ3Band*>(bank.filter(4, 0)), nullptr);
}

TEST_F(CalibrationScan, ReadsOnlyTheFolderNamedByTheEnvironment)
{
    writeText(folder / "FromEnvironment.txt", textWithWGain(1));
    {
        CalibrationDirectory directory(folder.str());
        EXPECT_EQ(calibration::calibrationFolders(), std::vector<std::string> {folder.str()});
        scanCalibrationFolders(programs, 8, bank, &log.sink);
    }
    EXPECT_EQ(names()[2], "FromEnvironment");
    EXPECT_EQ(names()[0], "User 0");
    EXPECT_EQ(names()[1], "User 1");
}

TEST_F(CalibrationScan, IsSilentWithoutASink)
{
    writeText(folder / "Mic.txt", "junk\n" + textWithWGain(1));
    int nextSlot = 2;
    loadTextCalibrations({folder.str()}, programs, 8, nextSlot, bank);
    EXPECT_EQ(nextSlot, 3);
    EXPECT_TRUE(messages.texts.empty());
    EXPECT_TRUE(log.entries.empty());
}

} // namespace
