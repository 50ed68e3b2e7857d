// sonquad check on calibration files written here: the values in real units, what the readers
// passed over, the coefficient tables and how their filters behave, the silent problems.
#include "CliTestSupport.h"

#include "tools/sonquad/Check.h"
#include "tools/sonquad/CliError.h"

#include <cstdint>
#include <cstring>

namespace {

using namespace clitest;

// One size-prefixed OSC message with big-endian integer and float arguments.
std::string oscMessage(const std::string& address, const std::string& tags, const std::vector<double>& args)
{
    auto padded = [](std::string s) {
        s.push_back('\0');
        while (s.size() % 4)
            s.push_back('\0');
        return s;
    };
    EXPECT_EQ(tags.size(), args.size()) << address;
    std::string body = padded(address) + padded("," + tags);
    for (std::size_t i = 0; i < tags.size(); ++i) {
        std::uint32_t bits;
        if (tags[i] == 'i') {
            bits = static_cast<std::uint32_t>(static_cast<std::int32_t>(args[i]));
        } else {
            const float f = static_cast<float>(args[i]);
            std::memcpy(&bits, &f, 4);
        }
        for (int b = 3; b >= 0; --b)
            body.push_back(static_cast<char>((bits >> (8 * b)) & 0xFF));
    }
    std::string size;
    for (int b = 3; b >= 0; --b)
        size.push_back(static_cast<char>((body.size() >> (8 * b)) & 0xFF));
    return size + body;
}

const cli::CheckedValue& valueOf(const cli::CheckReport& report, int parameter)
{
    return report.values.at(static_cast<std::size_t>(parameter));
}

bool mentions(const std::vector<std::string>& lines, const std::string& text)
{
    for (const std::string& line : lines)
        if (line.find(text) != std::string::npos)
            return true;
    return false;
}

TEST(CheckText, ExplainsValuesPassedOverLinesTablesAndSilentProblems)
{
    TempFolder folder;
    std::ofstream(folder / "Mic.txt") << "sens 0.5 -0.25 0.1 0\n"
                                         "vsens 1 1 1 1\n"
                                         "EQ 2 -1 x 3\n"
                                         "EQfreq 5000 5000 5000 5000\n"
                                         "EQbw 1000 -5 2000 2000\n"
                                         "W -3\n"
                                         "X 1.5\n"
                                         "Y\n"
                                         "Z 0\n"
                                         "LF 25 120\n"
                                         "W w48.dat\n"
                                         "Vel vel48.dat\n"
                                         "Vel vel44.dat\n";
    fs::create_directories(folder.path / "Mic");
    writeCoefficients(folder / "Mic/w48.dat", {0.5f, 0.2f}, {-0.3f});
    writeCoefficients(folder / "Mic/vel48.dat", {1.0f}, {-1.2f});   // a pole at 1.2: unstable
    writeCoefficients(folder / "Mic/spare.dat", {1.0f}, {});

    const cli::CheckReport report = cli::checkCalibration(folder / "Mic.txt");
    EXPECT_EQ(report.programName, "Mic");
    EXPECT_EQ(report.set, 3);
    EXPECT_TRUE(report.setCreated);
    EXPECT_EQ(valueOf(report, 1).display, " 25.0");
    EXPECT_TRUE(valueOf(report, 1).fromFile);
    EXPECT_EQ(valueOf(report, 2).display, "120.0");
    EXPECT_EQ(valueOf(report, 23).display, " -1.0");   // capsule 2 EQ gain
    EXPECT_EQ(valueOf(report, 43).display, "  1.5");   // "X 1.5": output 2
    EXPECT_EQ(valueOf(report, 6).display, "Mic");
    EXPECT_FALSE(valueOf(report, 30).fromFile);        // capsule 3's EQ gain did not convert

    std::vector<std::string> passed;
    for (const Diagnostic& d : report.passedOver)
        passed.push_back("line " + std::to_string(d.line) + " [" + d.key + "] " + d.reason);
    EXPECT_TRUE(mentions(passed, "line 3 [EQ] number 3 did not convert")) << testing::PrintToString(passed);
    EXPECT_TRUE(mentions(passed, "line 5 [EQbw] number 2: a bandwidth below 0")) << testing::PrintToString(passed);
    EXPECT_TRUE(mentions(passed, "line 8 [Y]")) << testing::PrintToString(passed);

    EXPECT_TRUE(mentions(report.messages, "vel44.dat")) << testing::PrintToString(report.messages);

    bool sawW = false, sawVelocity = false;
    for (const cli::CheckedRate& rate : report.rates) {
        if (rate.table == "W" && rate.rateHz == 48000.0f) {
            sawW = true;
            EXPECT_EQ(rate.numeratorLength, 2);
            EXPECT_EQ(rate.denominatorLength, 1);
            EXPECT_NE(rate.behaviour.find("dies away"), std::string::npos) << rate.behaviour;
        }
        if (rate.table == "X, Y, Z" && rate.rateHz == 48000.0f) {
            sawVelocity = true;
            EXPECT_NE(rate.behaviour.find("unstable"), std::string::npos) << rate.behaviour;
        }
    }
    EXPECT_TRUE(sawW);
    EXPECT_TRUE(sawVelocity);
    EXPECT_TRUE(mentions(report.problems, "X, Y, Z filter at 48000 Hz is unstable")) << testing::PrintToString(report.problems);
    EXPECT_TRUE(mentions(report.problems, "'spare.dat' is named by no line")) << testing::PrintToString(report.problems);
    // spare.dat has no denominator; were it loaded, its filter would do nothing, without a word.
    writeCoefficients(folder / "Mic/w44.dat", {0.5f}, {});
    std::ofstream(folder / "Mic.txt", std::ios::app) << "W w44.dat\n";
    const cli::CheckReport again = cli::checkCalibration(folder / "Mic.txt");
    EXPECT_TRUE(mentions(again.problems, "the W filter at 44100 Hz has coefficients but passes the signal unchanged"))
        << testing::PrintToString(again.problems);
    ASSERT_EQ(report.files.size(), 3u);
    EXPECT_EQ(report.files[0].name, "spare.dat");
    EXPECT_EQ(report.files[0].rateHz, 0.0f);
    EXPECT_EQ(report.files[2].name, "w48.dat");
    EXPECT_EQ(report.files[2].contents, "numerator 2, denominator 1");
}

TEST(CheckConfiguration, ShowsTheEqualisersAndWhatWasIgnored)
{
    TempFolder folder;
    std::ofstream(folder / "Conf.sonq", std::ios::binary)
        << oscMessage("/sonqproc", "i", {2})
        << oscMessage("/matrix/row", "iffff", {0, 0.5, 0.5, 0.5, 0.5})
        << oscMessage("/matrix/row", "iffff", {5, 1, 1, 1, 1})
        << oscMessage("/pmfilt/par", "ifffffff", {0, 100, 0.5, 2, 8000, 0.25, -3, 1.5});
    const cli::CheckReport report = cli::checkCalibration(folder / "Conf.sonq");
    EXPECT_EQ(report.kind, "processor configuration");
    // A weight of 0.5 is -6.0 dB into W for every capsule.
    for (int capsule = 0; capsule < 4; ++capsule)
        EXPECT_EQ(valueOf(report, 17 + 7 * capsule).display, " -6.0") << "capsule " << capsule + 1;
    ASSERT_EQ(report.channelFilters.size(), 4u);
    EXPECT_EQ(report.channelFilters[0], "W: 100.0 Hz, 50.0 Hz wide, 2.0 dB; 8000.0 Hz, 2000.0 Hz wide, -3.0 dB; output 1.50 dB");
    EXPECT_NE(report.channelFilters[1].find("pass-through"), std::string::npos);
    bool rowNoted = false;
    for (const Diagnostic& d : report.passedOver)
        rowNoted |= d.line == 3 && d.reason.find("row 5") != std::string::npos;
    EXPECT_TRUE(rowNoted);
}

TEST(Check, RefusesFilesItCannotReadWithAReason)
{
    TempFolder folder;
    std::ofstream(folder / "table.dat") << "x";
    EXPECT_THROW(cli::checkCalibration(folder / "missing.txt"), cli::CliError);
    EXPECT_THROW(cli::checkCalibration(folder / "table.dat"), cli::CliError);
    const RunResult run = runSonquad({"check", "missing.txt"}, folder.path);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "sonquad: error: cannot open 'missing.txt': no such file\n");
}

} // namespace
