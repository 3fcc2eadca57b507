// MusicDecoderOGG, decoder selection and the refusal of bad songs, on real
// Ogg Vorbis files.
#include <dirent.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <tremor/ivorbisfile.h>

#include <cstdio>

#include "Analysis/MusicDecoderOGG.h"
#include "Analysis/TrackGen.h"
#include "AnalysisTestUtil.h"
#include "Support/OggFiles.h"
#include "Support/TestUtil.h"

using namespace Meridian;
using AnalysisTest::Noise;

namespace {

// Interleaved PCM as Tremor itself delivers it, read in odd-sized pieces.
std::vector<int16_t> TremorDecode(const std::string& path, int* channels) {
    std::vector<int16_t> pcm;
    FILE* file = std::fopen(path.c_str(), "rb");
    OggVorbis_File stream;
    if (!file || ov_open(file, &stream, nullptr, 0) != 0) {
        if (file) std::fclose(file);
        return pcm;
    }
    *channels = ov_info(&stream, -1)->channels;
    char buffer[3000];
    int section = 0;
    long bytes;
    while ((bytes = ov_read(&stream, buffer, sizeof(buffer), &section)) > 0) {
        const int16_t* samples = reinterpret_cast<const int16_t*>(buffer);
        pcm.insert(pcm.end(), samples, samples + bytes / 2);
    }
    ov_clear(&stream);
    return pcm;
}

int OpenDescriptors() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir)) ++count;
        closedir(dir);
    }
    return count;
}

}  // namespace

TEST(MusicDecoder, MonoPassesUnchangedAndStereoYieldsTheFloorOfTheMean) {
    ::Test::TempDir dir;
    std::vector<int16_t> mono = Noise(44100 + 777, 7, 3000);
    ::Test::AddTone(mono, 0, mono.size(), 1000.0, 12000.0);
    std::vector<int16_t> right = Noise(30000, 11, 9000);
    ::Test::AddTone(right, 0, right.size(), 300.0, 10000.0);
    ASSERT_TRUE(::Test::WriteOgg(dir.File("1.ogg"), mono, 44100, 1));
    ASSERT_TRUE(::Test::WriteOgg(dir.File("2.ogg"), ::Test::Interleave(Noise(30000, 3, 9000), right), 44100, 2));

    for (int wanted : {1, 2}) {
        const std::string song = dir.File(std::to_string(wanted) + ".ogg");
        int channels = 0;
        std::vector<int16_t> expected = TremorDecode(song, &channels);
        ASSERT_EQ(wanted, channels);
        ASSERT_GT(expected.size(), 40000u);
        if (channels == 2) {
            std::vector<int16_t> mean;
            int negativeOddSums = 0;  // the rounding direction matters for these
            for (size_t i = 0; i + 1 < expected.size(); i += 2) {
                const int sum = expected[i] + expected[i + 1];
                negativeOddSums += sum < 0 && sum % 2 != 0;
                mean.push_back(static_cast<int16_t>(static_cast<int>(std::floor(sum / 2.0))));
            }
            ASSERT_GT(negativeOddSums, 100);
            expected = mean;
        }

        // Odd request sizes exercise the queue across ov_read boundaries; only
        // the last read may come back short.
        Ref<MusicDecoder> decoder = New<MusicDecoderOGG>();
        ASSERT_TRUE(decoder->Open(song));
        EXPECT_EQ(channels, decoder->Channels());
        std::vector<int16_t> got;
        int16_t buffer[1500];
        const I32 sizes[] = {1, 1024, 1500, 333, 7};
        bool ended = false;
        for (int i = 0;; ++i) {
            const I32 count = decoder->Read(buffer, sizes[i % 5]);
            if (count == 0) break;
            ASSERT_FALSE(ended) << "a short read before the end";
            ended = count < sizes[i % 5];
            got.insert(got.end(), buffer, buffer + count);
        }
        EXPECT_EQ(0, decoder->Read(buffer, 16));
        EXPECT_EQ(expected, got) << channels;
    }
}

TEST(MusicDecoder, RefusesBadSongsWithTheirLogLinesAndClosesThem) {
    ::Test::TempDir dir;
    std::vector<int16_t> tone(22050, 0);
    ::Test::AddTone(tone, 0, tone.size(), 440.0, 8000.0);
    const std::string slow = dir.File("slow.ogg"), surround = dir.File("three.ogg"), good = dir.File("Good.OGG"),
                      text = dir.File("text.ogg"), mp3 = dir.File("song.mp3"), missing = dir.File("missing.ogg");
    ASSERT_TRUE(::Test::WriteOgg(slow, tone, 22050, 1));
    ASSERT_TRUE(::Test::WriteOgg(surround, std::vector<int16_t>(3 * 4410, 100), 44100, 3));
    ASSERT_TRUE(::Test::WriteOgg(good, tone, 44100, 1));
    ASSERT_TRUE(::Test::WriteText(text, std::string(5000, 'x')));
    ASSERT_TRUE(::Test::WriteText(dir.File("empty.ogg"), ""));
    ASSERT_TRUE(::Test::WriteText(mp3, "ID3"));
    std::vector<unsigned char> bytes = ::Test::ReadFile(good);
    ASSERT_TRUE(::Test::WriteFile(dir.File("cut.ogg"), std::vector<unsigned char>(bytes.begin(), bytes.begin() + 40)));
    ASSERT_EQ(mkfifo(dir.File("fifo.ogg").c_str(), 0644), 0);  // reading it would block for ever

    const int descriptors = OpenDescriptors();
    {
        ::Test::LogCapture log;
        const int logDescriptors = OpenDescriptors();
        // The extension picks the decoder, in any letter case.
        for (const std::string& path : {mp3, dir.File("song.ogg.wav"), dir.File("no_extension"),
                                        std::string("./Music.d/song")})
            EXPECT_EQ(nullptr, CreateDecoder(path)) << path;
        EXPECT_EQ((std::vector<std::string>{"[E] Could not create decoder for file type .mp3",
                                            "[E] Could not create decoder for file type .wav",
                                            "[E] Could not create decoder for file type ",
                                            "[E] Could not create decoder for file type "}),
                  log.Entries());
        Ref<MusicDecoder> decoder = CreateDecoder(good);
        ASSERT_TRUE(decoder);
        int16_t buffer[16];

        EXPECT_FALSE(decoder->Open(slow));
        EXPECT_EQ("[E] Invalid Rate: 22050", log.Entries().back());
        EXPECT_EQ(0, decoder->Rate());
        EXPECT_EQ(0, decoder->Read(buffer, 16));
        EXPECT_FALSE(decoder->Open(surround));
        EXPECT_EQ("[E] ov_info failed.", log.Entries().back());

        // Files that are not Ogg Vorbis at all are refused without a word
        // (the caller reports them) and without keeping the file open.
        const size_t linesBefore = log.Entries().size();
        for (const char* name : {"text.ogg", "empty.ogg", "cut.ogg", "missing.ogg", "fifo.ogg"})
            EXPECT_FALSE(decoder->Open(dir.File(name))) << name;
        EXPECT_EQ(linesBefore, log.Entries().size());
        EXPECT_EQ(logDescriptors, OpenDescriptors());

        // A refused decoder can still open a good song.
        ASSERT_TRUE(decoder->Open(good));
        EXPECT_EQ(44100, decoder->Rate());
        EXPECT_EQ(logDescriptors + 1, OpenDescriptors());
        EXPECT_EQ(16, decoder->Read(buffer, 16));
        decoder.Reset();
        EXPECT_EQ(logDescriptors, OpenDescriptors());

        // The generator reports what it cannot analyse, and writes nothing.
        const std::pair<std::string, std::string> refusals[] = {
            {slow, "[E] Failed to open file " + slow},
            {text, "[E] Failed to open file " + text},
            {missing, "[E] Failed to open file " + missing},
            {mp3, "[E] Could not create decoder for file type .mp3"},
        };
        for (const auto& refusal : refusals) {
            Ref<TrackGen> gen = New<TrackGen>(refusal.first);
            EXPECT_EQ(-1, gen->Init()) << refusal.first;
            EXPECT_EQ(refusal.second, log.Entries().back());
            // Stepping it ends at once, as a failure logged once.
            EXPECT_FALSE(gen->Step());
            EXPECT_TRUE(gen->Failed());
            EXPECT_EQ("[E] Failed to analyze " + refusal.first, log.Entries().back());
            EXPECT_FALSE(gen->Step());
            EXPECT_EQ(1, log.Count("[E] Failed to analyze " + refusal.first + "\n"));
            EXPECT_FALSE(TrackGen::TrackExists(refusal.first));
        }
        EXPECT_EQ(1, log.Count("[E] Invalid Rate: 22050\n[E] Failed to open file " + slow + "\n"));
        EXPECT_EQ(logDescriptors, OpenDescriptors());
    }
    EXPECT_EQ(descriptors, OpenDescriptors());
}
