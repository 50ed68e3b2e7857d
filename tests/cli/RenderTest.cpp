// sonquad as a user runs it, end to end on real files: synthesised scenes rendered and their
// directions measured; formats, mountings, the convolution delay, mono takes, metadata, batches,
// the progress bar, and every way a render can fail.
#include "CliTestSupport.h"

#include <cstring>
#include <numeric>

namespace {

using namespace clitest;

const std::vector<std::string> kMatrixAlone {"--set", "LF Enabled=No", "--set", "PostMatrix Filter Number=None"};

using Args = std::vector<std::string>;

Args operator+(Args a, const Args& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

void expectSuccess(const RunResult& result)
{
    EXPECT_EQ(result.exitCode, 0) << result.err;
}

struct SceneSource {
    double azimuth, elevation;
};

const SceneSource kSources[] = {{0, 0}, {90, 0}, {-135, 30}, {-60, -25}, {150, 60}, {30, -70}};

std::vector<std::string> sourceArgs()
{
    std::vector<std::string> args;
    for (const SceneSource& s : kSources) {
        args.push_back("--source");
        args.push_back(std::to_string(s.azimuth) + "," + std::to_string(s.elevation));
    }
    return args;
}

// Directions of each source's slot (the middle of it, away from the fades).
std::vector<Direction> slotDirections(const Sound& b)
{
    std::vector<Direction> directions;
    const std::size_t count = std::size(kSources);
    const std::size_t margin = static_cast<std::size_t>(b.rate / 50);
    for (std::size_t s = 0; s < count; ++s)
        directions.push_back(
            intensityDirection(b.channels, b.frames() * s / count + margin, b.frames() * (s + 1) / count - margin));
    return directions;
}

struct ToneScene {
    int rate;
    int hz;
};

void PrintTo(const ToneScene& scene, std::ostream* os) { *os << scene.hz << " Hz at " << scene.rate << " Hz"; }

class MatrixAlone : public testing::TestWithParam<ToneScene> {};

TEST_P(MatrixAlone, PointsWithinTwoDegreesOfEverySourceBelowTwoKilohertz)
{
    TempFolder folder;
    const ToneScene scene = GetParam();
    expectSuccess(runSonquad(Args {"synth", "-o", "a.wav", "--signal", "tone", "--freq", std::to_string(scene.hz), "--rate",
                              std::to_string(scene.rate), "--length", "1.2", "--turns"} +
                                 sourceArgs(),
                             folder.path));
    expectSuccess(runSonquad(Args {"render", "a.wav", "-o", "b.wav"} + kMatrixAlone, folder.path));
    const Sound b = readSound(folder / "b.wav");
    ASSERT_EQ(b.rate, scene.rate);
    const std::vector<Direction> measured = slotDirections(b);
    for (std::size_t s = 0; s < measured.size(); ++s)
        EXPECT_LT(separationDeg(measured[s], {kSources[s].azimuth, kSources[s].elevation}), 2.0)
            << "source " << s + 1 << " measured at " << measured[s].azimuthDeg << ", " << measured[s].elevationDeg;
}

INSTANTIATE_TEST_SUITE_P(Rates, MatrixAlone,
                         testing::Values(ToneScene {48000, 250}, ToneScene {48000, 1000}, ToneScene {48000, 1900},
                                         ToneScene {44100, 1000}, ToneScene {96000, 1900}, ToneScene {32000, 500}));

TEST(Formats, AmbiXHoldsTheFuMaChannelsReorderedWithWRaisedBySqrtTwo)
{
    TempFolder folder;
    writeSound(folder / "a.wav", noiseTake(9000, 48000, 5));
    expectSuccess(runSonquad({"render", "a.wav", "-o", "fuma.wav", "--format", "fuma"}, folder.path));
    expectSuccess(runSonquad({"render", "a.wav", "-o", "ambix.wav", "--format", "ambix"}, folder.path));
    const Sound fuma = readSound(folder / "fuma.wav");
    const Sound ambix = readSound(folder / "ambix.wav");
    ASSERT_EQ(fuma.frames(), 9000u);
    ASSERT_EQ(ambix.frames(), 9000u);
    for (std::size_t n = 0; n < fuma.frames(); ++n) {
        ASSERT_NEAR(ambix.channels[0][n], fuma.channels[0][n] * std::sqrt(2.0), 1e-6 * (1.0 + std::fabs(ambix.channels[0][n])));
        ASSERT_EQ(ambix.channels[1][n], fuma.channels[2][n]);   // Y
        ASSERT_EQ(ambix.channels[2][n], fuma.channels[3][n]);   // Z
        ASSERT_EQ(ambix.channels[3][n], fuma.channels[1][n]);   // X
    }
}

// Where a microphone mounted so hears a source from a room direction, along its own axes.
Direction heardByMicrophone(const char* mounting, SceneSource room)
{
    const auto u = unitVector(room.azimuth, room.elevation);
    std::array<double, 3> mic = u;
    if (std::strcmp(mounting, "inverted") == 0)
        mic = {u[0], -u[1], -u[2]};       // its left is the room's right, its top the room's floor
    else if (std::strcmp(mounting, "endfire") == 0)
        mic = {-u[2], u[1], u[0]};        // its front faces the floor, its top the room's front
    return {std::atan2(mic[1], mic[0]) * 180.0 / kPi, std::atan2(mic[2], std::hypot(mic[0], mic[1])) * 180.0 / kPi};
}

class Mounting : public testing::TestWithParam<const char*> {};

TEST_P(Mounting, IsCorrectedIntoTheRoomsDirections)
{
    TempFolder folder;
    const std::string mounting = GetParam();
    expectSuccess(runSonquad(Args {"synth", "-o", "a.wav", "--signal", "tone", "--freq", "700", "--length", "1.2", "--turns",
                              "--orientation", mounting} +
                                 sourceArgs(),
                             folder.path));
    expectSuccess(runSonquad(Args {"render", "a.wav", "-o", "corrected.wav", "--orientation", mounting} + kMatrixAlone,
                             folder.path));
    expectSuccess(runSonquad(Args {"render", "a.wav", "-o", "as-heard.wav"} + kMatrixAlone, folder.path));
    const std::vector<Direction> corrected = slotDirections(readSound(folder / "corrected.wav"));
    const std::vector<Direction> asHeard = slotDirections(readSound(folder / "as-heard.wav"));
    for (std::size_t s = 0; s < std::size(kSources); ++s) {
        EXPECT_LT(separationDeg(corrected[s], {kSources[s].azimuth, kSources[s].elevation}), 2.0) << "source " << s + 1;
        EXPECT_LT(separationDeg(asHeard[s], heardByMicrophone(GetParam(), kSources[s])), 2.0) << "source " << s + 1;
    }
}

INSTANTIATE_TEST_SUITE_P(Orientations, Mounting, testing::Values("upright", "inverted", "endfire"));

Sound impulseTake(std::size_t frames, std::size_t at)
{
    Sound take;
    take.rate = 48000;
    take.channels.assign(4, std::vector<float>(frames, 0.0f));
    for (auto& channel : take.channels)
        channel[at] = 0.5f;
    return take;
}

std::size_t peakIndex(const std::vector<float>& channel)
{
    std::size_t peak = 0;
    for (std::size_t n = 1; n < channel.size(); ++n)
        if (std::fabs(channel[n]) > std::fabs(channel[peak]))
            peak = n;
    return peak;
}

TEST(Latency, IsRemovedSoAnImpulseComesOutAtTheSameSampleAndTheFileKeepsItsLength)
{
    TempFolder folder;
    const std::size_t frames = 10000, at = 3000;
    writeSound(folder / "impulse.wav", impulseTake(frames, at));
    // Program 0 selects the "2.3cm" convolution set; "None" has no delay to remove.
    expectSuccess(runSonquad({"render", "impulse.wav", "-o", "removed.wav"}, folder.path));
    expectSuccess(runSonquad({"render", "impulse.wav", "-o", "kept.wav", "--keep-latency"}, folder.path));
    expectSuccess(runSonquad({"render", "impulse.wav", "-o", "none.wav", "--set", "PostMatrix Filter Number=None"},
                             folder.path));
    const Sound removed = readSound(folder / "removed.wav");
    const Sound kept = readSound(folder / "kept.wav");
    const Sound none = readSound(folder / "none.wav");
    ASSERT_EQ(removed.frames(), frames);
    ASSERT_EQ(kept.frames(), frames);
    ASSERT_EQ(none.frames(), frames);
    EXPECT_EQ(peakIndex(removed.channels[0]), at);
    EXPECT_EQ(peakIndex(kept.channels[0]), at + 1024);
    EXPECT_EQ(peakIndex(none.channels[0]), at);
    // The same samples, 1024 later: the removal only drops the delay.
    for (int c = 0; c < 4; ++c)
        for (std::size_t n = 0; n + 1024 < frames; ++n)
            ASSERT_EQ(removed.channels[c][n], kept.channels[c][n + 1024]) << "channel " << c << " sample " << n;
    // Before the impulse only the convolution's own wrap-around, 70 dB down (the coincidence
    // responses do not die away within the 1024 samples the overlap-save can hold).
    const float peak = std::fabs(removed.channels[0][at]);
    for (std::size_t n = 0; n < at; ++n)
        ASSERT_LT(std::fabs(removed.channels[0][n]), peak * 1e-3f) << "sample " << n;
    for (std::size_t n = 0; n < at; ++n)
        ASSERT_EQ(none.channels[0][n], 0.0f) << "sample " << n;
}

TEST(MonoTakes, FourMonoFilesGiveTheSameFileAsOneFourChannelFile)
{
    TempFolder folder;
    const Sound take = noiseTake(12345, 44100, 9);
    writeSound(folder / "take.wav", take);
    for (int c = 0; c < 4; ++c) {
        Sound mono;
        mono.rate = take.rate;
        mono.channels = {take.channels[c]};
        writeSound(folder / ("take_" + std::to_string(c + 1) + ".wav"), mono, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    }
    expectSuccess(runSonquad({"render", "take.wav", "-o", "one.wav"}, folder.path));
    expectSuccess(
        runSonquad({"render", "take_1.wav", "take_2.wav", "take_3.wav", "take_4.wav", "-o", "four.wav"}, folder.path));
    const Sound one = readSound(folder / "one.wav");
    const Sound four = readSound(folder / "four.wav");
    ASSERT_EQ(one.frames(), 12345u);
    EXPECT_EQ(one.channels, four.channels);
    EXPECT_EQ(four.rate, 44100);
}

TEST(BroadcastWav, TimeReferenceAndDescriptionAreCarriedToTheOutputAndAmbFilesAreFlaggedBFormat)
{
    TempFolder folder;
    SF_BROADCAST_INFO bext {};
    std::strcpy(bext.description, "scene 12 take 3");
    std::strcpy(bext.originator, "recorder");
    std::strcpy(bext.origination_date, "2026-12-06");
    bext.time_reference_low = 1234567890u;   // about 7 hours into the day at 48 kHz
    bext.time_reference_high = 0u;
    writeSound(folder / "take.wav", noiseTake(4800, 48000, 11), SF_FORMAT_WAV | SF_FORMAT_PCM_24, &bext);
    const Sound mono = constantTake(1, 4800, 48000);
    writeSound(folder / "m1.wav", mono, SF_FORMAT_WAV | SF_FORMAT_PCM_24, &bext);
    for (const char* name : {"m2.wav", "m3.wav", "m4.wav"})
        writeSound(folder / name, mono, SF_FORMAT_WAV | SF_FORMAT_PCM_24);

    expectSuccess(runSonquad({"render", "take.wav", "-o", "b.wav"}, folder.path));
    expectSuccess(runSonquad({"render", "take.wav", "-o", "b.rf64", "--subtype", "pcm24"}, folder.path));
    expectSuccess(runSonquad({"render", "take.wav", "-o", "b.amb"}, folder.path));
    expectSuccess(runSonquad({"render", "m1.wav", "m2.wav", "m3.wav", "m4.wav", "-o", "m.wav"}, folder.path));
    for (const char* name : {"b.wav", "b.rf64", "m.wav", "b.amb"}) {
        SF_INFO info {};
        SNDFILE* file = sf_open((folder / name).c_str(), SFM_READ, &info);
        ASSERT_NE(file, nullptr) << name;
        if (std::strcmp(name, "b.amb") == 0) {   // WAVEX flagged as B-format, float by default
            EXPECT_EQ(info.format, SF_FORMAT_WAVEX | SF_FORMAT_FLOAT);
            EXPECT_EQ(sf_command(file, SFC_WAVEX_GET_AMBISONIC, nullptr, 0), SF_AMBISONIC_B_FORMAT);
        }
        SF_BROADCAST_INFO back {};
        ASSERT_EQ(sf_command(file, SFC_GET_BROADCAST_INFO, &back, sizeof back), SF_TRUE) << name;
        EXPECT_EQ(back.time_reference_low, 1234567890u) << name;
        EXPECT_EQ(back.time_reference_high, 0u) << name;
        EXPECT_STREQ(back.description, "scene 12 take 3") << name;
        EXPECT_STREQ(back.originator, "recorder") << name;
        sf_close(file);
    }
    // A container without a bext chunk: the render goes on and says what was lost.
    const RunResult flac = runSonquad({"render", "take.wav", "-o", "b.flac"}, folder.path);
    expectSuccess(flac);
    EXPECT_NE(flac.err.find("cannot hold the Broadcast-WAV time reference"), std::string::npos) << flac.err;
}

TEST(IntegerOutput, CountsTheSamplesItClipsAndHoldsThemAtFullScale)
{
    TempFolder folder;
    writeSound(folder / "loud.wav", noiseTake(6000, 48000, 13, 0.9f));
    expectSuccess(runSonquad({"render", "loud.wav", "-o", "float.wav"}, folder.path));
    const RunResult pcm = runSonquad({"render", "loud.wav", "-o", "pcm16.wav", "--subtype", "pcm16"}, folder.path);
    expectSuccess(pcm);
    const Sound reference = readSound(folder / "float.wav");
    const Sound clipped = readSound(folder / "pcm16.wav");
    std::size_t over = 0;
    for (int c = 0; c < 4; ++c)
        for (std::size_t n = 0; n < reference.frames(); ++n) {
            const float x = reference.channels[c][n];
            if (std::fabs(x) > 1.0f) {
                ++over;
                // Held at full scale with its sign, not wrapped around.
                ASSERT_GT(std::fabs(clipped.channels[c][n]), 0.999f);
                ASSERT_EQ(std::signbit(clipped.channels[c][n]), std::signbit(x));
            }
        }
    ASSERT_GT(over, 0u) << "the test signal should clip";
    EXPECT_NE(pcm.err.find(std::to_string(over) + " samples clipped"), std::string::npos) << pcm.err;
    EXPECT_EQ(clipped.format & SF_FORMAT_SUBMASK, SF_FORMAT_PCM_16);
}

TEST(Settings, ReachTheSignalInTheirOwnUnits)
{
    TempFolder folder;
    writeSound(folder / "a.wav", noiseTake(3000, 48000, 17));
    expectSuccess(runSonquad({"render", "a.wav", "-o", "0.wav", "--set", "Output 1 Gain=0", "--set", "Output 3 Gain=0"},
                             folder.path));
    expectSuccess(runSonquad({"render", "a.wav", "-o", "6.wav", "--set", "Output 1 Gain=-6 dB", "--set",
                              "Output 3 Gain=+4.5"},
                             folder.path));
    const Sound flat = readSound(folder / "0.wav");
    const Sound changed = readSound(folder / "6.wav");
    const double gains[4] = {std::pow(10.0, -6.0 / 20.0), 1.0, std::pow(10.0, 4.5 / 20.0), 1.0};
    for (int c = 0; c < 4; ++c)
        for (std::size_t n = 0; n < flat.frames(); ++n)
            ASSERT_NEAR(changed.channels[c][n], flat.channels[c][n] * gains[c], 2e-6 * (1.0 + std::fabs(flat.channels[c][n])))
                << "channel " << c << " sample " << n;
}

TEST(Batches, RenderEveryFileIntoTheFolderAsASingleRenderWould)
{
    TempFolder folder;
    for (int k = 0; k < 3; ++k)
        writeSound(folder / ("take" + std::to_string(k) + ".wav"), noiseTake(5000 + 1000 * k, 48000, 20 + k));
    const RunResult batch =
        runSonquad({"render", "take0.wav", "take1.wav", "take2.wav", "-o", "out", "-j", "2"}, folder.path);
    expectSuccess(batch);
    for (int k = 0; k < 3; ++k) {
        const std::string name = "take" + std::to_string(k) + ".wav";
        expectSuccess(runSonquad({"render", name, "-o", "single.wav"}, folder.path));
        EXPECT_EQ(readSound(folder / ("out/" + name)).channels, readSound(folder / "single.wav").channels) << name;
        EXPECT_NE(batch.out.find(name + " -> out/" + name), std::string::npos) << batch.out;
    }
}

TEST(ProgressBar, IsDrawnOnATerminalOnlyAndNotWhenQuiet)
{
    TempFolder folder;
    writeSound(folder / "long.wav", noiseTake(48000 * 20, 48000, 23));
    const RunResult piped = runSonquad({"render", "long.wav", "-o", "b.wav"}, folder.path);
    expectSuccess(piped);
    EXPECT_EQ(piped.err, "");
    const RunResult terminal = runSonquad({"render", "long.wav", "-o", "b.wav"}, folder.path, {-1, true});
    EXPECT_EQ(terminal.exitCode, 0);
    EXPECT_NE(terminal.err.find("rendering ["), std::string::npos) << terminal.err;
    EXPECT_NE(terminal.err.find("%"), std::string::npos);
    const RunResult quiet = runSonquad({"render", "long.wav", "-o", "b.wav", "--quiet"}, folder.path, {-1, true});
    EXPECT_EQ(quiet.exitCode, 0);
    EXPECT_EQ(quiet.err.find("rendering"), std::string::npos) << quiet.err;
}

// The offset of a WAV file's data chunk (its size field is the 4 bytes before it), found by
// walking the chunks libsndfile wrote.
std::size_t dataOffset(const std::string& bytes)
{
    std::size_t at = 12;
    while (at + 8 <= bytes.size()) {
        std::uint32_t size = 0;
        std::memcpy(&size, bytes.data() + at + 4, 4);   // little-endian host
        if (bytes.compare(at, 4, "data") == 0)
            return at + 8;
        at += 8 + size + (size & 1);
    }
    ADD_FAILURE() << "no data chunk";
    return bytes.size();
}

// Rewrites a sound file: its data size field set to claimedBytes (unless kKeepSize), and the file
// cut after keptBytes of audio (unless kKeepAll).
constexpr std::uint64_t kKeepSize = ~0ull, kKeepAll = ~0ull;
void damage(const std::string& path, std::uint64_t claimedBytes, std::uint64_t keptBytes)
{
    std::string bytes = slurp(path);
    const std::size_t data = dataOffset(bytes);
    if (claimedBytes != kKeepSize) {
        const auto size = static_cast<std::uint32_t>(claimedBytes);
        std::memcpy(bytes.data() + data - 4, &size, 4);
    }
    if (keptBytes != kKeepAll)
        bytes.resize(data + keptBytes);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

struct CutCase {
    const char* name;
    int format;                  // of the take, 4 channels
    int frameBytes;
    std::uint64_t claimedBytes;  // written into the header, or kKeepSize
    std::uint64_t keptBytes;     // of audio left in the file, or kKeepAll
    std::uint64_t claimedFrames; // what the warning must say
    std::size_t presentFrames;
};

void PrintTo(const CutCase& c, std::ostream* os) { *os << c.name; }

class CutShortTake : public testing::TestWithParam<CutCase> {};

// 6000 frames written by libsndfile, then damaged as a recorder that lost power leaves them.
TEST_P(CutShortTake, RendersAllTheAudioThereIsWithAWarningAndRecoveredInTheSummary)
{
    TempFolder folder;
    const CutCase& c = GetParam();
    const Sound take = noiseTake(6000, 48000, 41);
    writeSound(folder / "cut.wav", take, c.format);
    damage(folder / "cut.wav", c.claimedBytes, c.keptBytes);
    Sound intact = take;   // the frames the damaged file still holds, in an undamaged file
    for (auto& channel : intact.channels)
        channel.resize(c.presentFrames);
    writeSound(folder / "intact.wav", intact, c.format);

    const RunResult result = runSonquad({"render", "cut.wav", "-o", "b.wav"}, folder.path);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    ASSERT_EQ(result.errLines().size(), 1u) << result.err;
    EXPECT_EQ(result.err.rfind("sonquad: warning: 'cut.wav': its header claims " + std::to_string(c.claimedFrames) +
                                   " frames, the file holds " + std::to_string(c.presentFrames),
                               0),
              0u)
        << result.err;
    EXPECT_NE(result.out.find("recovered"), std::string::npos) << result.out;
    expectSuccess(runSonquad({"render", "intact.wav", "-o", "reference.wav"}, folder.path));
    const Sound rendered = readSound(folder / "b.wav");
    ASSERT_EQ(rendered.frames(), c.presentFrames);
    EXPECT_EQ(rendered.channels, readSound(folder / "reference.wav").channels);
}

constexpr int kFloat = SF_FORMAT_WAV | SF_FORMAT_FLOAT, kPcm16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;

INSTANTIATE_TEST_SUITE_P(
    PowerLoss, CutShortTake,
    testing::Values(CutCase {"HeaderClaimsMoreThanTheFileHolds", kFloat, 16, kKeepSize, 2000 * 16, 6000, 2000},
                    CutCase {"HeaderClaimsNothing", kFloat, 16, 0, kKeepAll, 0, 6000},
                    CutCase {"HeaderClaimsNothingPcm16", kPcm16, 8, 0, kKeepAll, 0, 6000},
                    CutCase {"HeaderClaimsFourGiB", kPcm16, 8, 0xFFFFFFFFull, kKeepAll, 0xFFFFFFFFull / 8, 6000},
                    CutCase {"FileCutMidFrame", kPcm16, 8, kKeepSize, 2500 * 8 + 3, 6000, 2500}),
    [](const testing::TestParamInfo<CutCase>& info) { return std::string(info.param.name); });

struct Failure {
    const char* name;
    std::vector<std::string> args;
    int exitCode;
    const char* message;
};

void PrintTo(const Failure& failure, std::ostream* os) { *os << failure.name; }

class RenderFailure : public testing::TestWithParam<Failure> {};

TEST_P(RenderFailure, SaysWhyOnOneLineExitsNonZeroAndLeavesNoOutput)
{
    TempFolder folder;
    writeSound(folder / "take.wav", noiseTake(3000, 48000, 29));
    writeSound(folder / "take2.wav", noiseTake(3000, 48000, 30));
    writeSound(folder / "stereo.wav", constantTake(2, 3000, 48000));
    for (const char* name : {"m1.wav", "m2.wav", "m3.wav"})
        writeSound(folder / name, constantTake(1, 3000, 48000));
    writeSound(folder / "m44.wav", constantTake(1, 3000, 44100));
    writeSound(folder / "mshort.wav", constantTake(1, 2999, 48000));
    writeSound(folder / "headeronly.wav", noiseTake(3000, 48000, 31));
    damage(folder / "headeronly.wav", kKeepSize, 0);
    std::ofstream(folder / "afile") << "not a folder";
    const auto before = folder.files();

    const RunResult result = runSonquad(GetParam().args, folder.path);
    EXPECT_EQ(result.exitCode, GetParam().exitCode) << result.err;
    ASSERT_EQ(result.errLines().size(), 1u) << result.err;
    EXPECT_EQ(result.err.rfind("sonquad: error: ", 0), 0u) << result.err;
    EXPECT_NE(result.err.find(GetParam().message), std::string::npos) << result.err;
    EXPECT_EQ(folder.files(), before) << "the failed render left a file behind";
}

INSTANTIATE_TEST_SUITE_P(
    Paths, RenderFailure,
    testing::Values(
        Failure {"MissingInput", {"render", "missing.wav", "-o", "b.wav"}, 1, "no such file"},
        Failure {"StereoInput", {"render", "stereo.wav", "-o", "b.wav"}, 1, "has 2 channels"},
        Failure {"InputWithNoAudio", {"render", "headeronly.wav", "-o", "b.wav"}, 1,
                 "'headeronly.wav' holds no audio: its header claims 3000 frames, but the file ends right after its header"},
        Failure {"MonoRatesDiffer", {"render", "m1.wav", "m2.wav", "m3.wav", "m44.wav", "-o", "b.wav"}, 1, "differ in sample rate"},
        Failure {"MonoLengthsDiffer", {"render", "m1.wav", "m2.wav", "mshort.wav", "m3.wav", "-o", "b.wav"}, 1, "differ in length"},
        Failure {"ThreeMonoFiles", {"render", "m1.wav", "m2.wav", "m3.wav", "-o", "b.wav"}, 1, "exactly four"},
        Failure {"MonoAndFourChannelMixed", {"render", "take.wav", "m1.wav", "-o", "b.wav"}, 1, "mixed"},
        Failure {"SeveralTakesIntoASoundFileName", {"render", "take.wav", "take2.wav", "-o", "pair.amb"}, 2,
                 "'pair.amb' names a sound file: give a folder (-o pair/), or render one take at a time"},
        Failure {"UnknownProgramName", {"render", "take.wav", "-o", "b.wav", "--program", "Studio"}, 1, "unknown program"},
        Failure {"UnknownProgramNumber", {"render", "take.wav", "-o", "b.wav", "--program", "9"}, 1, "unknown program"},
        Failure {"UnknownParameter", {"render", "take.wav", "-o", "b.wav", "--set", "Volume=3"}, 1, "unknown parameter"},
        Failure {"ValueOutOfRange", {"render", "take.wav", "-o", "b.wav", "--set", "LF Cut Freq=5"}, 1, "out of range"},
        Failure {"OutputFolderIsAFile", {"render", "take.wav", "-o", "afile/b.wav"}, 1, "is not a folder"},
        Failure {"OutputFolderMissing", {"render", "take.wav", "-o", "nowhere/b.wav"}, 1, "does not exist"},
        Failure {"OutputIsTheInput", {"render", "take.wav", "-o", "take.wav"}, 1, "overwrite its input"},
        Failure {"OutputTypeUnknown", {"render", "take.wav", "-o", "b.txt"}, 1, "cannot tell the file type"},
        Failure {"AmbixIntoAmb", {"render", "take.wav", "-o", "b.amb", "--format", "ambix"}, 1, "FuMa"},
        Failure {"FloatIntoFlac", {"render", "take.wav", "-o", "b.flac", "--subtype", "float"}, 1, "pcm16 or pcm24"},
        Failure {"CalibrationFolderMissing", {"render", "take.wav", "-o", "b.wav", "--calibrations", "nocal"}, 1, "calibration folder"},
        Failure {"UnknownFormat", {"render", "take.wav", "-o", "b.wav", "--format", "acn"}, 2, "fuma or ambix"},
        Failure {"UnknownOption", {"render", "take.wav", "-o", "b.wav", "--gain", "3"}, 2, "unknown option"},
        Failure {"NoOutput", {"render", "take.wav"}, 2, "needs an output"},
        Failure {"UnknownCommand", {"frobnicate"}, 2, "no command"}),
    [](const testing::TestParamInfo<Failure>& info) { return std::string(info.param.name); });

TEST(RenderFailure, PartWayThroughLeavesNeitherTheOutputNorItsTemporaryFile)
{
    TempFolder folder;
    writeSound(folder / "take.wav", noiseTake(96000, 48000, 31), SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    const auto before = folder.files();
    // The input is 770 kB; the float output would be 1.5 MB. Files may grow to 1 MB.
    const RunResult result = runSonquad({"render", "take.wav", "-o", "b.wav"}, folder.path, {1 << 20, false});
    EXPECT_EQ(result.exitCode, 1);
    ASSERT_EQ(result.errLines().size(), 1u) << result.err;
    EXPECT_NE(result.err.find("writing 'b.wav' failed"), std::string::npos) << result.err;
    EXPECT_EQ(folder.files(), before);
}

TEST(Calibrations, AProgramOfTheFolderIsChosenByNameAndRunsAtTheTakesRate)
{
    TempFolder folder;
    fs::create_directories(folder.path / "cal/Mic");
    std::ofstream(folder / "cal/Mic.txt") << "sens 0 0 0 0\nvsens 0 0 0 0\nEQ 0 0 0 0\nEQfreq 1000 1000 1000 1000\n"
                                              "EQbw 0 0 0 0\nW 3\nX 0\nY 0\nZ 0\nLF 20 20\nW w48.dat\nVel vel48.dat\n";
    // Measured correction filters of 48 kHz only: half the level on every channel.
    writeCoefficients(folder / "cal/Mic/w48.dat", {0.5f}, {0.0f});
    writeCoefficients(folder / "cal/Mic/vel48.dat", {0.5f}, {0.0f});
    writeSound(folder / "take.wav", noiseTake(6000, 48000, 37));

    const RunResult programs = runSonquad({"programs", "--calibrations", "cal"}, folder.path);
    expectSuccess(programs);
    EXPECT_NE(programs.out.find(" 2  Mic "), std::string::npos) << programs.out;

    const RunResult measured = runSonquad({"render", "take.wav", "-o", "mic.wav", "--calibrations", "cal", "--program", "mic"},
                                          folder.path);
    expectSuccess(measured);
    EXPECT_EQ(measured.err, "") << "no rate other than the take's was asked of the calibration";
    EXPECT_NE(measured.out.find("program 2 \"Mic\""), std::string::npos) << measured.out;
    expectSuccess(runSonquad({"render", "take.wav", "-o", "none.wav", "--calibrations", "cal", "--program", "Mic", "--set",
                              "PostMatrix Filter Number=None"},
                             folder.path));
    const Sound mic = readSound(folder / "mic.wav");
    const Sound none = readSound(folder / "none.wav");
    for (int c = 0; c < 4; ++c)
        for (std::size_t n = 0; n < mic.frames(); ++n)
            ASSERT_NEAR(mic.channels[c][n], 0.5f * none.channels[c][n], 1e-6f) << "channel " << c << " sample " << n;
}

TEST(HostView, ProgramsAndParametersAreListedAsAHostSeesThem)
{
    TempFolder folder;
    const RunResult programs = runSonquad({"programs"}, folder.path);
    expectSuccess(programs);
    EXPECT_NE(programs.out.find(" 0  Quaddle - uncalibrated   2.3cm"), std::string::npos) << programs.out;
    EXPECT_NE(programs.out.find(" 1  1.47cm"), std::string::npos) << programs.out;
    EXPECT_NE(programs.out.find(" 7  User 7"), std::string::npos) << programs.out;

    const RunResult params = runSonquad({"params", "--program", "1.47cm"}, folder.path);
    expectSuccess(params);
    std::istringstream lines(params.out);
    std::vector<std::string> rows;
    for (std::string line; std::getline(lines, line);)
        rows.push_back(line);
    ASSERT_EQ(rows.size(), 2u + 46u) << params.out;
    EXPECT_EQ(rows[0], "program 1 \"1.47cm\"");
    EXPECT_NE(rows[2 + 6].find("PostMatrix Filter Number  1.47cm"), std::string::npos) << rows[2 + 6];
    EXPECT_NE(rows[2 + 45].find("Output 4 Gain"), std::string::npos) << rows[2 + 45];
}

TEST(Demo, PrintsTrueAgainstMeasuredDirectionsAndLeavesItsFiles)
{
    TempFolder folder;
    const RunResult demo = runSonquad({"demo"}, folder.path);
    expectSuccess(demo);
    for (const char* name : {"scene-aformat.wav", "scene-bformat-fuma.amb", "scene-bformat-ambix.wav"})
        EXPECT_TRUE(fs::exists(folder.path / "sonquad-demo" / name)) << name;
    // Five sources, seven bands each: "source band unit true-azimuth true-elevation azimuth
    // elevation error", the last five numbers with one decimal.
    auto isRow = [](const std::string& line) {
        std::istringstream words(line);
        int source = 0, band = 0;
        std::string unit;
        if (!(words >> source >> band >> unit) || source < 1 || source > 5 || band <= 0 || (unit != "Hz" && unit != "kHz"))
            return false;
        int numbers = 0;
        for (std::string word; words >> word; ++numbers) {
            const std::size_t point = word.find('.');
            if (point == std::string::npos || point + 2 != word.size())
                return false;
        }
        return numbers == 5;
    };
    std::istringstream lines(demo.out);
    int rows = 0;
    for (std::string line; std::getline(lines, line);)
        rows += isRow(line);
    EXPECT_EQ(rows, 35) << demo.out;
    EXPECT_NE(demo.out.find("matrix alone"), std::string::npos);
}

} // namespace
