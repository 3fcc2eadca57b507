// MusicDecoderOGG, decoder selection and the refusal of bad songs, on real
// Ogg Vorbis files.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <tremor/ivorbisfile.h>

#include <cstdio>

#include "Analysis/MusicDecoderOGG.h"
#include "Analysis/TrackGen.h"
#include "AnalysisTestUtil.h"
#include "Audio/OggVorbisCheck.h"
#include "Support/OggDamage.h"
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

// The sample damage (a codebook whose Huffman tree is incomplete: Tremor
// fails its first ov_read and divides by zero on the next) is refused before
// decoding; random damages of real songs are refused or decode to an end;
// nothing crashes. The batch analyser reports the damaged song and goes on.
TEST(MusicDecoder, DamagedSongsAreRefusedOrEndAndNeverCrash) {
    ::Test::TempDir dir;
    const std::string damaged = dir.File("damaged.ogg"), next = dir.File("next.ogg");
    ASSERT_TRUE(::Test::WriteDamagedSetupOgg(damaged));
    {
        FILE* file = std::fopen(damaged.c_str(), "rb");
        OggVorbis_File stream;
        ASSERT_EQ(0, ov_open(file, &stream, nullptr, 0));
        char pcm[4096];
        int section = 0;
        EXPECT_EQ(OV_EBADLINK, ov_read(&stream, pcm, sizeof pcm, &section));
        ov_clear(&stream);
    }
    ::Test::LogCapture log;
    Ref<MusicDecoder> decoder = New<MusicDecoderOGG>();
    EXPECT_FALSE(decoder->Open(damaged));
    EXPECT_EQ("[E] MusicDecoderOGG::Open: damaged Vorbis setup header.", log.Entries().back());
    std::string reason;
    EXPECT_TRUE(IsDamagedOggVorbis(damaged, &reason));
    EXPECT_EQ("damaged Vorbis setup header", reason);

    std::vector<int16_t> left = Noise(44100, 5, 6000), right = Noise(44100, 9, 6000);
    AnalysisTest::AddClicks(left, {1000, 20000, 40000});
    ASSERT_TRUE(::Test::WriteOgg(next, left, 44100, 1));
    const ::Test::Bytes mono = ::Test::ReadFile(next);
    ASSERT_TRUE(::Test::WriteOgg(next, ::Test::Interleave(left, right), 44100, 2, 0.8f));
    const ::Test::Bytes stereo = ::Test::ReadFile(next);
    ::Test::OggMutator mutator(20261207u);
    const std::string path = dir.File("mutant.ogg");
    int opened = 0, refused = 0, damagedSetups = 0;
    for (int run = 0; run < 40; ++run) {
        ASSERT_TRUE(::Test::WriteFile(path, mutator.Mutate(run % 3 == 2 ? stereo : mono)));
        const bool isDamaged = IsDamagedOggVorbis(path, nullptr);
        damagedSetups += isDamaged;
        if (!decoder->Open(path)) {
            ++refused;
            continue;
        }
        ++opened;
        EXPECT_FALSE(isDamaged) << run;
        I16 buffer[1024];
        I32 total = 0;
        while (I32 got = decoder->Read(buffer, 1024)) {
            total += got;
            ASSERT_LE(total, 2 * 44100) << run;
        }
        EXPECT_EQ(0, decoder->Read(buffer, 1024)) << run;
    }
    EXPECT_GT(opened, 0);
    EXPECT_GT(damagedSetups, 0);
    EXPECT_EQ(damagedSetups, log.Count("[E] MusicDecoderOGG::Open: damaged Vorbis setup header.\n") - 1);

    // skyrail-analyze DIR: the damaged song fails with its reason, the next one
    // (long enough for the game to race) is analysed.
    std::remove(path.c_str());
    std::vector<int16_t> song = Noise(2 * 44100, 5, 6000);
    AnalysisTest::AddClicks(song, {1000, 40000, 70000});
    ASSERT_TRUE(::Test::WriteOgg(next, song, 44100, 1));
    const std::string command = std::string(SKYRAIL_TEST_TOOLS_DIR) + "/../skyrail-analyze " + dir.Path() + " 2>&1";
    FILE* run = popen(command.c_str(), "r");
    ASSERT_NE(run, nullptr);
    std::string output;
    char line[512];
    while (std::fgets(line, sizeof line, run)) output += line;
    const int status = pclose(run);
    ASSERT_TRUE(WIFEXITED(status)) << output;
    EXPECT_EQ(1, WEXITSTATUS(status)) << output;
    EXPECT_NE(std::string::npos, output.find("FAIL  " + damaged + ": MusicDecoderOGG::Open: damaged Vorbis setup header."))
        << output;
    EXPECT_NE(std::string::npos, output.find("ok    " + next + ": ")) << output;
    EXPECT_TRUE(TrackGen::TrackExists(next));
}
