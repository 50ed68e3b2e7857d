// Containers, sample types and the RF64 decision; takes and outputs through libsndfile.
#include "CliTestSupport.h"

#include "tools/sonquad/AudioFile.h"
#include "tools/sonquad/CliError.h"


namespace {

using namespace clitest;
using cli::Container;
using cli::SampleType;

struct SizeCase {
    std::uint64_t frames;
    int channels;
    int bytes;
};

// The rule in its own words: the RIFF size field (file length less 8) and the data chunk's size
// must fit 32 bits. Here in 128-bit arithmetic, so no frame count can overflow it.
bool passesFourGiB(const SizeCase& c, std::uint64_t metadata)
{
    const unsigned __int128 total =
        static_cast<unsigned __int128>(c.frames) * static_cast<unsigned>(c.channels * c.bytes) + metadata;
    return total > 0xFFFFFFFFull;
}

TEST(Rf64, IsChosenExactlyWhenTheRiffSizesWouldPassFourGiB)
{
    const std::uint64_t metadata = cli::kRiffOverheadBytes;
    const std::uint64_t floatLimit = (0xFFFFFFFFull - metadata) / 16;   // 4 channels x 4 bytes
    const std::uint64_t pcm24Limit = (0xFFFFFFFFull - metadata) / 12;
    const SizeCase cases[] = {
        {0, 4, 4},          {48000 * 60, 4, 4},    {floatLimit - 1, 4, 4},  {floatLimit, 4, 4},
        {floatLimit + 1, 4, 4}, {pcm24Limit, 4, 3}, {pcm24Limit + 1, 4, 3}, {floatLimit + 1, 4, 2},
        {1ull << 40, 4, 8}, {~0ull, 4, 8},         {~0ull / 2, 1, 2},
    };
    for (const SizeCase& c : cases) {
        EXPECT_EQ(cli::needsRf64(c.frames, c.channels, c.bytes, metadata), passesFourGiB(c, metadata))
            << c.frames << " frames of " << c.channels << " x " << c.bytes << " bytes";
    }
    // 4 GiB of four-channel float is 93 minutes at 48 kHz: 90 minutes stay WAV, 100 do not;
    // at 16 bits 100 minutes fit.
    EXPECT_EQ(cli::containerForLength(Container::kWav, 48000ull * 5400, 4, SampleType::kFloat), Container::kWav);
    EXPECT_EQ(cli::containerForLength(Container::kWav, 48000ull * 6000, 4, SampleType::kFloat), Container::kRf64);
    EXPECT_EQ(cli::containerForLength(Container::kAmb, 48000ull * 6000, 4, SampleType::kFloat), Container::kRf64);
    EXPECT_EQ(cli::containerForLength(Container::kWavex, 48000ull * 6000, 4, SampleType::kPcm16), Container::kWavex);
    // Containers with 64-bit sizes or their own framing stay what they are.
    for (Container other : {Container::kW64, Container::kCaf, Container::kFlac, Container::kRf64})
        EXPECT_EQ(cli::containerForLength(other, 48000ull * 36000, 4, SampleType::kFloat), other);
}

TEST(Containers, FollowTheOutputsExtension)
{
    struct Case {
        const char* path;
        std::optional<Container> container;
    };
    for (const Case& c : {Case {"take.wav", Container::kWav}, Case {"dir.v2/take.WAV", Container::kWav},
                          Case {"take.amb", Container::kAmb}, Case {"take.rf64", Container::kRf64},
                          Case {"take.w64", Container::kW64}, Case {"take.flac", Container::kFlac},
                          Case {"take.caf", Container::kCaf}, Case {"take.txt", std::nullopt},
                          Case {"take", std::nullopt}})
        EXPECT_EQ(cli::containerForPath(c.path), c.container) << c.path;
}

TEST(Containers, AcceptExactlyTheSampleTypesLibsndfileCanWriteInThem)
{
    for (Container container : {Container::kWav, Container::kWavex, Container::kAmb, Container::kRf64, Container::kW64,
                                Container::kFlac, Container::kCaf}) {
        EXPECT_TRUE(cli::holdsSampleType(container, cli::defaultSampleType(container)));
        for (SampleType type : {SampleType::kPcm16, SampleType::kPcm24, SampleType::kPcm32, SampleType::kFloat,
                                SampleType::kDouble}) {
            SF_INFO info {};
            info.samplerate = 48000;
            info.channels = 4;
            info.format = cli::sndfileFormat(container, type);
            EXPECT_EQ(sf_format_check(&info) == SF_TRUE, cli::holdsSampleType(container, type))
                << cli::containerName(container) << " " << cli::sampleTypeName(type);
        }
    }
}

} // namespace
