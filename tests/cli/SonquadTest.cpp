// sonquad as a user runs it on files read back by libsndfile: output, refusals, exit status, signal.
#include "calibration/CalibrationFixture.h"



namespace {

using namespace fixture;
using fixture::PrintTo;
using Args = std::vector<std::string>;

// Every sonquad started here sees an empty calibration folder: the machine's own must not count.
const TempFolder kNoCalibrations;
const ScopedEnv kIsolated("SONQUAD_CALIBRATION_DIR", kNoCalibrations.str());

Sound constant(int channels, std::size_t frames, int rate = 48000)
{
    return {rate, 0, std::vector<std::vector<float>>(channels, std::vector<float>(frames, 0.0f))};
}

// The files every table row may name.
void writeInputs(const TempFolder& folder)
{
    writeSound(folder / "take.wav", noiseTake(3000, 48000, 29));
    writeSound(folder / "take2.wav", noiseTake(3000, 48000, 30));
    writeSound(folder / "stereo.wav", constant(2, 3000));
    for (const char* name : {"m1.wav", "m2.wav", "m3.wav"})
        writeSound(folder / name, constant(1, 3000));
    writeSound(folder / "m44.wav", constant(1, 3000, 44100));
    writeSound(folder / "mshort.wav", constant(1, 2999));
    std::string bytes = slurp(folder / "take.wav");
    writeText(folder / "headeronly.wav", bytes.substr(0, bytes.size() - 3000 * 16));
    writeText(folder / "afile", "not a folder");
}

struct Case {
    const char* name;
    Args args;
    int exitCode;
    std::string out;   // a part of standard output; empty: none
    std::string err;   // standard error, whole
};

class Sonquad : public ::testing::TestWithParam<Case> {};

TEST_P(Sonquad, PrintsAndExitsAsExpectedAndAFailureLeavesNoFile)
{
    TempFolder folder;
    writeInputs(folder);
    const auto before = std::distance(fs::directory_iterator(folder.path), fs::directory_iterator());
    const Outcome run = sonquad(GetParam().args, folder.path);
    EXPECT_EQ(run.exitCode, GetParam().exitCode) << run.err;
    EXPECT_TRUE(GetParam().out.empty() ? run.out.empty() : run.out.find(GetParam().out) != std::string::npos) << run.out;
    EXPECT_EQ(run.err, GetParam().err);
    EXPECT_TRUE(run.exitCode == 0 || std::distance(fs::directory_iterator(folder.path), fs::directory_iterator()) == before);
}

Case refused(const char* name, Args args, int code, const std::string& why) { return {name, args, code, "", "sonquad: error: " + why + "\n"}; }
Case set(const char* name, const std::string& setting, const std::string& shown) { return {name, {"params", "--set", setting}, 0, shown, ""}; }
Case outOfRange(const char* name, const std::string& parameter, const std::string& value, const std::string& range)
{
    return refused(name, {"params", "--set=" + parameter + "=" + value}, 1,
                   "\"" + parameter + "\" = " + value + " is out of range: it takes " + range);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, Sonquad,
    ::testing::Values(
        Case {"RenderSummaryFuMa", {"render", "take.wav", "-o", "b.wav"}, 0,
              "take.wav -> b.wav: 0.06 s at 48000 Hz, program 0 \"Quaddle - uncalibrated\", fuma, WAV float, 1024-sample delay removed\n", ""},
        Case {"RenderSummaryAmbiXEqualsForm", {"render", "take.wav", "--output=b.w64", "--format=ambix", "--orientation=endfire"}, 0,
              "program 0 \"Quaddle - uncalibrated\", ambix, endfire, W64 float", ""},
        Case {"SynthQuiet", {"synth", "-q", "-o", "a.wav"}, 0, "", ""}, Case {"Demo", {"demo"}, 0, "\nmatrix alone            0.5 ", ""},
        Case {"ProgramByName", {"render", "take.wav", "-o", "b.wav", "--program=1.47CM", "--keep-latency"}, 0,
              "program 1 \"1.47cm\", fuma, WAV float, 1024-sample delay kept", ""},
        set("LfCutLow", "LF Cut Freq=20", "LF Cut Freq               20.0"), set("LfCutHigh", "LF Cut Freq=250.04 Hz", "250.0"),
        set("EqFreqHigh", "Cap 2 EQ Freq=20kHz", "20000.0"), set("EqWidthTop", "Cap 1 EQ Width=5 octaves", "  5.0"), set("EqWidthOctave", "Cap 1 EQ Width=2 octave", "  2.0"),
        set("EqGainLow", "Cap 3 EQ Gain=-15dB", "-15.0"), set("CapGainTop", "Cap 4 Out 1 Gain=12", " 12.0"),
        set("OutputGainTop", "Output 1 Gain=15", " 15.0"), set("OutputGainLow", "Output 4 Gain=-15", "-15.0"),
        set("CapsuleTop", "Current Capsule=4", " 4"), set("ViewTop", "View Mode=3", " 3"),
        set("SetByNumber", "PostMatrix Filter Number=2", "2.3cm"), set("SwitchWord", "EQs Enabled=off", "No"),
        outOfRange("LfCutAbove", "LF Cut Freq", "250.06", "20.0 to 250.0 Hz"), outOfRange("LfCutBelow", "LF Cut Freq", "19.9", "20.0 to 250.0 Hz"),
        outOfRange("EqFreqAbove", "Cap 1 EQ Freq", "20001", "20.0 to 20000.0 Hz"),
        outOfRange("EqWidthAbove", "Cap 1 EQ Width", "5.1", "0.0 to 5.0 octaves"),
        outOfRange("EqGainBelow", "Cap 1 EQ Gain", "-15.1", "-15.0 to 15.0 dB"),
        outOfRange("CapGainAbove", "Cap 1 Out 1 Gain", "12.1", "-12.0 to 12.0 dB"),
        outOfRange("OutputGainBelow", "Output 1 Gain", "-15.1", "-15.0 to 15.0 dB"),
        outOfRange("CapsuleAbove", "Current Capsule", "5", "1 to 4"), outOfRange("ViewBelow", "View Mode", "0", "1 to 3"),
        refused("NotWhole", {"params", "--set", "Current Capsule=2.5"}, 1, "\"Current Capsule\" takes a whole number from 1 to 4"),
        refused("NotAValue", {"params", "--set", "Output 2 Gain=loud"}, 1,
                "'loud' is not a value for \"Output 2 Gain\": it takes -15.0 to 15.0 dB"),
        refused("NotASwitch", {"params", "--set", "EQs Enabled=maybe"}, 1, "'maybe' is not a value for \"EQs Enabled\": it takes Yes or No"),
        refused("NoSuchSet", {"params", "--set", "PostMatrix Filter Number=5"}, 1,
                "no filter set '5' for \"PostMatrix Filter Number\": it takes a set's name: None, 1.47cm, 2.3cm"),
        refused("UnknownParameter", {"params", "--set", "Volume=3"}, 1, "unknown parameter 'Volume' (sonquad params lists them)"),
        refused("MissingInput", {"render", "missing.wav", "-o", "b.wav"}, 1, "cannot open 'missing.wav': no such file"),
        refused("StereoInput", {"render", "stereo.wav", "-o", "b.wav"}, 1, "'stereo.wav' has 2 channels: render takes four-channel files (capsules 1 to 4) or four mono files"),
        refused("NoAudio", {"render", "headeronly.wav", "-o", "b.wav"}, 1,
                "'headeronly.wav' holds no audio: its header claims 3000 frames, but the file ends right after its header"),
        refused("MonoRatesDiffer", {"render", "m1.wav", "m2.wav", "m3.wav", "m44.wav", "-o", "b.wav"}, 1, "mono files differ in sample rate: 'm1.wav' is 48000 Hz, 'm44.wav' is 44100 Hz"),
        refused("MonoLengthsDiffer", {"render", "m1.wav", "m2.wav", "mshort.wav", "m3.wav", "-o", "b.wav"}, 1, "mono files differ in length: 'm1.wav' has 3000 frames, 'mshort.wav' has 2999"),
        refused("SeveralTakesIntoOneFile", {"render", "take.wav", "take2.wav", "-o", "pair.amb"}, 2,
                "2 four-channel files make 2 outputs, which go into a folder, but 'pair.amb' names a sound file: give a folder (-o pair/), or render one take at a time"),
        refused("UnknownProgram", {"render", "take.wav", "-o", "b.wav", "--program", "9"}, 1, "unknown program '9' (programs: 0 \"Quaddle - uncalibrated\", 1 \"1.47cm\", 2 \"User 2\", 3 \"User 3\", 4 \"User 4\", 5 \"User 5\", 6 \"User 6\", 7 \"User 7\")"),
        refused("OutputFolderIsAFile", {"render", "take.wav", "-o", "afile/b.wav"}, 1, "cannot write 'afile/b.wav': 'afile' is not a folder"),
        refused("OutputIsTheInput", {"render", "take.wav", "-o", "take.wav"}, 1, "the output 'take.wav' would overwrite its input"),
        refused("OutputTypeUnknown", {"render", "take.wav", "-o", "b.txt"}, 1,
                "cannot tell the file type of 'b.txt' from its name: use .wav, .amb, .rf64, .w64, .flac or .caf, or --container"),
        refused("AmbixIntoAmb", {"render", "take.wav", "-o", "b.amb", "--format", "ambix"}, 1,
                "an .amb file holds FuMa B-format: use --format fuma, or another file type for AmbiX"),
        refused("FloatIntoFlac", {"render", "take.wav", "-o", "b.flac", "--subtype", "float"}, 1, "FLAC files hold pcm16 or pcm24 samples, not float"),
        refused("UnknownFormat", {"render", "take.wav", "-o", "b.wav", "--format", "acn"}, 2, "--format takes fuma or ambix, not 'acn'"),
        refused("FlagWithValue", {"render", "take.wav", "-o", "b.wav", "--keep-latency=yes"}, 2, "--keep-latency takes no value"),
        refused("UnknownOption", {"render", "take.wav", "-o", "b.wav", "--gain", "3"}, 2, "unknown option '--gain' for render (sonquad help render)"),
        refused("NoCommand", {"frobnicate"}, 2, "no command 'frobnicate' (sonquad help lists them)"),
        refused("AnalyzeStereo", {"analyze", "stereo.wav"}, 1, "'stereo.wav' has 2 channels: analyze takes four-channel B-format"),
        refused("AnalyzeSegments", {"analyze", "take.wav", "--segments", "0"}, 2, "--segments takes 1 to 1000"),
        refused("CheckMissing", {"check", "missing.txt"}, 1, "cannot open 'missing.txt': no such file")),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Render, PartWayFailureLeavesNeitherTheOutputNorItsTemporaryFile)
{
    TempFolder folder;
    writeSound(folder / "take.wav", noiseTake(96000, 48000, 31), SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    const Outcome run = sonquad({"render", "take.wav", "-o", "b.wav"}, folder.path, 1 << 20);   // 1.5 MB of float would be written
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err.rfind("sonquad: error: writing 'b.wav' failed", 0), 0u) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path), fs::directory_iterator()), 1);
}

std::size_t peakIndex(const std::vector<float>& x)
{
    return static_cast<std::size_t>(std::max_element(x.begin(), x.end(), [](float a, float b) { return std::fabs(a) < std::fabs(b); }) - x.begin());
}

TEST(Render, RemovesTheConvolutionDelaySoAnImpulseKeepsItsSampleAndTheFileItsLength)
{
    TempFolder folder;
    Sound impulse = constant(4, 10000);
    for (auto& channel : impulse.channels)
        channel[3000] = 0.5f;
    writeSound(folder / "impulse.wav", impulse);
    ASSERT_EQ(sonquad({"render", "impulse.wav", "-o", "removed.wav"}, folder.path).exitCode, 0);
    ASSERT_EQ(sonquad({"render", "impulse.wav", "-o", "kept.wav", "--keep-latency"}, folder.path).exitCode, 0);
    const Sound removed = readSound(folder / "removed.wav"), kept = readSound(folder / "kept.wav");
    ASSERT_EQ(removed.frames(), 10000u);
    ASSERT_EQ(kept.frames(), 10000u);
    EXPECT_EQ(peakIndex(removed.channels[0]), 3000u);
    for (int c = 0; c < 4; ++c)   // the same samples, 1024 later
        EXPECT_TRUE(std::equal(removed.channels[c].begin(), removed.channels[c].end() - 1024, kept.channels[c].begin() + 1024)) << c;
}

TEST(Render, FourMonoFilesGiveWhatOneFourChannelFileGivesAndBatchesWhatSingleRendersGive)
{
    TempFolder folder;
    const Sound take = noiseTake(12345, 44100, 9);
    writeSound(folder / "take.wav", take);
    for (int c = 0; c < 4; ++c)
        writeSound(folder / ("take_" + std::to_string(c + 1) + ".wav"), Sound {44100, 0, {take.channels[c]}});
    writeSound(folder / "other.wav", noiseTake(5000, 48000, 21));
    ASSERT_EQ(sonquad({"render", "take.wav", "-o", "one.wav"}, folder.path).exitCode, 0);
    const Outcome four = sonquad({"render", "take_1.wav", "take_2.wav", "take_3.wav", "take_4.wav", "-o", "four.wav"}, folder.path);
    EXPECT_NE(four.out.find("take_1.wav (+3 mono) -> four.wav: 0.28 s at 44100 Hz"), std::string::npos) << four.out;
    EXPECT_EQ(readSound(folder / "one.wav").channels, readSound(folder / "four.wav").channels);
    const Outcome batch = sonquad({"render", "take.wav", "other.wav", "-o", "out", "-j", "2"}, folder.path);
    ASSERT_EQ(batch.exitCode, 0) << batch.err;
    ASSERT_EQ(sonquad({"render", "other.wav", "-o", "single.wav"}, folder.path).exitCode, 0);
    EXPECT_NE(batch.out.find("other.wav -> out/other.wav"), std::string::npos) << batch.out;
    EXPECT_EQ(readSound(folder / "out/take.wav").channels, readSound(folder / "one.wav").channels);
    EXPECT_EQ(readSound(folder / "out/other.wav").channels, readSound(folder / "single.wav").channels);
}

TEST(Render, AmbiXIsFuMaReorderedWithWRaisedBySqrtTwoAndAnalyzeNamesAndLevelsTheFilesChannels)
{
    TempFolder folder;
    writeSound(folder / "a.wav", noiseTake(9000, 48000, 5));
    ASSERT_EQ(sonquad({"render", "a.wav", "-o", "fuma.wav"}, folder.path).exitCode, 0);
    ASSERT_EQ(sonquad({"render", "a.wav", "-o", "ambix.wav", "--format", "ambix"}, folder.path).exitCode, 0);
    const Sound fuma = readSound(folder / "fuma.wav"), ambix = readSound(folder / "ambix.wav");
    double power[2] = {0, 0};
    for (std::size_t n = 0; n < fuma.frames(); ++n) {
        ASSERT_NEAR(ambix.channels[0][n], fuma.channels[0][n] * std::sqrt(2.0), 1e-6 * (1.0 + std::fabs(ambix.channels[0][n])));
        ASSERT_EQ(ambix.channels[1][n], fuma.channels[2][n]);
        ASSERT_EQ(ambix.channels[2][n], fuma.channels[3][n]);
        ASSERT_EQ(ambix.channels[3][n], fuma.channels[1][n]);
        power[0] += fuma.channels[0][n] * fuma.channels[0][n];
        power[1] += fuma.channels[3][n] * fuma.channels[3][n];
    }
    auto dB = [&](double p) { return (std::ostringstream() << std::fixed << std::setprecision(1) << 10.0 * std::log10(p / fuma.frames())).str(); };
    const Outcome a = sonquad({"analyze", "ambix.wav", "--format=ambix"}, folder.path), f = sonquad({"analyze", "fuma.wav"}, folder.path);
    ASSERT_EQ(a.exitCode + f.exitCode, 0) << a.err << f.err;
    EXPECT_NE(f.out.find("fuma.wav: 48000 Hz, 0.19 s, fuma (W X Y Z)\nlevel dBFS   W " + dB(power[0]) + "   X "), std::string::npos) << f.out;
    EXPECT_NE(a.out.find("ambix.wav: 48000 Hz, 0.19 s, ambix (W Y Z X)\nlevel dBFS   W " + dB(2 * power[0]) + "   Y "), std::string::npos) << a.out;
    EXPECT_NE(a.out.find("   Z " + dB(power[1]) + "   X "), std::string::npos) << a.out;
    EXPECT_NE(f.out.find("\n 16 kHz"), std::string::npos) << f.out;
    EXPECT_EQ(f.out.find("segment"), std::string::npos);
    const Outcome s = sonquad({"analyze", "fuma.wav", "--segments", "3"}, folder.path);
    EXPECT_NE(s.out.find("segment 3: 0.12 to 0.19 s"), std::string::npos) << s.out;
}

TEST(Render, SettingsReachTheSignalAndIntegerOutputCountsTheSamplesItHoldsAtFullScale)
{
    TempFolder folder;
    writeSound(folder / "a.wav", noiseTake(6000, 48000, 13, 0.9f));
    const Args flat0 = {"--set", "Output 1 Gain=0", "--set", "Output 3 Gain=0"};
    ASSERT_EQ(sonquad({"render", "a.wav", "-o", "flat.wav", flat0[0], flat0[1], flat0[2], flat0[3]}, folder.path).exitCode, 0);
    ASSERT_EQ(sonquad({"render", "a.wav", "-o", "gain.wav", "--set", "Output 1 Gain=-6 dB", "--set=Output 3 Gain=+4.5"}, folder.path).exitCode, 0);
    const Outcome pcm = sonquad({"render", "a.wav", "-o", "pcm16.wav", "--subtype", "pcm16", flat0[0], flat0[1], flat0[2], flat0[3]}, folder.path);
    const Sound flat = readSound(folder / "flat.wav"), gain = readSound(folder / "gain.wav"), clipped = readSound(folder / "pcm16.wav");
    const double gains[4] = {std::pow(10.0, -6.0 / 20.0), 1.0, std::pow(10.0, 4.5 / 20.0), 1.0};
    std::size_t over = 0;
    for (int c = 0; c < 4; ++c)
        for (std::size_t n = 0; n < flat.frames(); ++n) {
            const float x = flat.channels[c][n];
            ASSERT_NEAR(gain.channels[c][n], x * gains[c], 2e-6 * (1.0 + std::fabs(x))) << c << " " << n;
            if (std::fabs(x) > 1.0f) {
                ++over;
                ASSERT_GT(std::fabs(clipped.channels[c][n]), 0.999f);
                ASSERT_EQ(std::signbit(clipped.channels[c][n]), std::signbit(x));
            }
        }
    ASSERT_GT(over, 0u);
    EXPECT_NE(pcm.err.find("sonquad: warning: 'pcm16.wav': " + std::to_string(over) + " samples clipped"), std::string::npos) << pcm.err;
    EXPECT_EQ(clipped.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
}

TEST(Render, CarriesTheBroadcastTimeReferenceAndFlagsAmbFilesAsBFormat)
{
    TempFolder folder;
    SF_BROADCAST_INFO bext {};
    std::strcpy(bext.description, "scene 12 take 3");
    bext.time_reference_low = 1234567890u;
    SF_INFO info {0, 48000, 4, SF_FORMAT_WAV | SF_FORMAT_PCM_24, 0, 0};
    SNDFILE* file = sf_open((folder / "take.wav").c_str(), SFM_WRITE, &info);
    sf_command(file, SFC_SET_BROADCAST_INFO, &bext, sizeof bext);
    std::vector<float> samples(4 * 4800, 0.1f);
    sf_writef_float(file, samples.data(), 4800);
    sf_close(file);
    for (const char* name : {"b.wav", "b.amb"}) {
        const Outcome run = sonquad({"render", "take.wav", "-o", name}, folder.path);
        EXPECT_NE(run.out.find(", bext kept"), std::string::npos) << run.out;
        SNDFILE* out = sf_open((folder / name).c_str(), SFM_READ, &info);
        ASSERT_NE(out, nullptr) << name;
        SF_BROADCAST_INFO back {};
        EXPECT_EQ(sf_command(out, SFC_GET_BROADCAST_INFO, &back, sizeof back), SF_TRUE) << name;
        EXPECT_EQ(back.time_reference_low, 1234567890u) << name;
        EXPECT_STREQ(back.description, "scene 12 take 3") << name;
        if (std::string(name) == "b.amb") {
            EXPECT_EQ(info.format, SF_FORMAT_WAVEX | SF_FORMAT_FLOAT);
            EXPECT_EQ(sf_command(out, SFC_WAVEX_GET_AMBISONIC, nullptr, 0), SF_AMBISONIC_B_FORMAT);
        }
        sf_close(out);
    }
    const Outcome flac = sonquad({"render", "take.wav", "-o", "b.flac"}, folder.path);
    EXPECT_EQ(flac.err, "sonquad: warning: 'b.flac': a FLAC file cannot hold the Broadcast-WAV time reference of its input\n");
}

// A take written by libsndfile, then damaged as a recorder that lost power leaves it: the data
// size claimed (unless kKeep) and the audio cut after keptBytes (unless kKeep).
constexpr std::uint64_t kKeep = ~0ull;
struct Cut {
    const char* name;
    int format;
    std::uint64_t claimedBytes, keptBytes, claimedFrames;
    std::size_t presentFrames;
    const char* holds;   // as the warning says it
};

const char* const kNeverCompleted = "6000 (a header never completed, as when a recorder loses power)";

class CutShortTake : public ::testing::TestWithParam<Cut> {};

TEST_P(CutShortTake, IsRenderedAndAnalysedAsFarAsItGoesWithOneWarning)
{
    const Cut& c = GetParam();
    TempFolder folder;
    Sound take = noiseTake(6000, 48000, 41);
    writeSound(folder / "cut.wav", take, c.format);
    std::string bytes = slurp(folder / "cut.wav");
    const std::size_t data = bytes.find("data") + 8;
    if (c.claimedBytes != kKeep)
        for (int b = 0; b < 4; ++b)
            bytes[data - 4 + b] = static_cast<char>(c.claimedBytes >> (8 * b));
    if (c.keptBytes != kKeep)
        bytes.resize(data + c.keptBytes);
    writeText(folder / "cut.wav", bytes);
    for (auto& channel : take.channels)
        channel.resize(c.presentFrames);
    writeSound(folder / "intact.wav", take, c.format);
    const Outcome run = sonquad({"render", "cut.wav", "-o", "b.wav"}, folder.path);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "sonquad: warning: 'cut.wav': its header claims " + std::to_string(c.claimedFrames) + " frames, the file holds " +
                           c.holds + "; its " + std::to_string(c.presentFrames) + " frames are rendered into 'b.wav'\n");
    EXPECT_NE(run.out.find("recovered from a cut-short input"), std::string::npos) << run.out;
    ASSERT_EQ(sonquad({"render", "intact.wav", "-o", "reference.wav"}, folder.path).exitCode, 0);
    EXPECT_EQ(readSound(folder / "b.wav").channels, readSound(folder / "reference.wav").channels);
    const Outcome analysed = sonquad({"analyze", "cut.wav"}, folder.path);
    EXPECT_EQ(analysed.exitCode, 0);
    EXPECT_NE(analysed.err.find("its " + std::to_string(c.presentFrames) + " frames are analysed"), std::string::npos) << analysed.err;
}

INSTANTIATE_TEST_SUITE_P(
    PowerLoss, CutShortTake,
    ::testing::Values(Cut {"ClaimsMore", SF_FORMAT_WAV | SF_FORMAT_FLOAT, kKeep, 2000 * 16, 6000, 2000, "2000 (cut short, as when a recorder loses power)"},
                      Cut {"ClaimsNothing", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0, kKeep, 0, 6000, kNeverCompleted},
                      Cut {"ClaimsNothingPcm16", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, kKeep, 0, 6000, kNeverCompleted},
                      Cut {"ClaimsFourGiB", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0xFFFFFFFFull, kKeep, 0xFFFFFFFFull / 8, 6000, "6000 (cut short, as when a recorder loses power)"},
                      Cut {"Rf64ClaimsMore", SF_FORMAT_RF64 | SF_FORMAT_FLOAT, kKeep, 2000 * 16, 6000, 2000, "2000 (cut short, as when a recorder loses power)"},
                      Cut {"CutMidFrame", SF_FORMAT_WAV | SF_FORMAT_PCM_16, kKeep, 2500 * 8 + 3, 6000, 2500, "2500 and 3 bytes of a cut frame (cut short, as when a recorder loses power)"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
