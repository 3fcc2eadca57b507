// MusicDecoderOGG and decoder selection on real Ogg Vorbis files.
#include <dirent.h>
#include <gtest/gtest.h>
#include <tremor/ivorbisfile.h>

#include <cstdio>

#include "Analysis/MusicDecoderOGG.h"
#include "AnalysisTestUtil.h"
#include "Support/OggFiles.h"
#include "Support/TestUtil.h"

using namespace Meridian;
using AnalysisTest::LoggedLines;

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

std::vector<int16_t> Noise(size_t count, unsigned seed, int amplitude) {
    std::vector<int16_t> samples(count);
    for (size_t i = 0; i < count; ++i) {
        seed = seed * 1103515245u + 12345u;
        samples[i] = static_cast<int16_t>(static_cast<int>((seed >> 16) % (2 * amplitude + 1)) - amplitude);
    }
    return samples;
}

}  // namespace

TEST(MusicDecoder, SelectsTheDecoderByExtensionIgnoringCase) {
    ::Test::TempDir dir;
    std::vector<int16_t> tone(4410, 0);
    ::Test::AddTone(tone, 0, tone.size(), 440.0, 8000.0);
    const std::string upper = dir.File("Song.OGG");
    ASSERT_TRUE(::Test::WriteOgg(upper, tone, 44100, 1));

    ::Test::LogCapture log;
    Ref<MusicDecoder> decoder = CreateDecoder(upper);
    ASSERT_TRUE(decoder);
    EXPECT_TRUE(decoder->IsKindOf(Tags::Object));
    EXPECT_STREQ("MusicDecoderOGG", decoder->GetTypeName());
    EXPECT_EQ(0, decoder->Rate());
    EXPECT_EQ(0, decoder->Channels());
    ASSERT_TRUE(decoder->Open(upper));
    EXPECT_EQ(44100, decoder->Rate());
    EXPECT_EQ(1, decoder->Channels());
    EXPECT_EQ(upper, decoder->Path());

    EXPECT_TRUE(Ref<MusicDecoder>(CreateDecoder(dir.File("a.Ogg"))));
    Ref<MusicDecoder> kept = CreateDecoder(dir.File("x.ogg"));  // unopened, released by the Ref
    EXPECT_TRUE(LoggedLines(log).empty());

    EXPECT_EQ(nullptr, CreateDecoder(dir.File("song.mp3")));
    EXPECT_EQ(nullptr, CreateDecoder(dir.File("song.ogg.wav")));
    EXPECT_EQ(nullptr, CreateDecoder(dir.Path() + "/no_extension"));
    EXPECT_EQ(nullptr, CreateDecoder("./Music.d/song"));
    std::vector<std::string> lines = LoggedLines(log);
    ASSERT_EQ(4u, lines.size());
    EXPECT_EQ("[E] Could not create decoder for file type .mp3", lines[0]);
    EXPECT_EQ("[E] Could not create decoder for file type .wav", lines[1]);
    EXPECT_EQ("[E] Could not create decoder for file type ", lines[2]);
    EXPECT_EQ("[E] Could not create decoder for file type ", lines[3]);
}

TEST(MusicDecoder, MonoSamplesPassUnchangedWithoutGapsOrRepeats) {
    ::Test::TempDir dir;
    const std::string song = dir.File("mono.ogg");
    std::vector<int16_t> pcm = Noise(44100 + 777, 7, 3000);
    ::Test::AddTone(pcm, 0, pcm.size(), 1000.0, 12000.0);
    ASSERT_TRUE(::Test::WriteOgg(song, pcm, 44100, 1));

    int channels = 0;
    std::vector<int16_t> expected = TremorDecode(song, &channels);
    ASSERT_EQ(1, channels);
    ASSERT_GT(expected.size(), 40000u);

    Ref<MusicDecoder> decoder = New<MusicDecoderOGG>();
    ASSERT_TRUE(decoder->Open(song));
    std::vector<int16_t> got;
    int16_t buffer[1024];
    I32 count;
    I32 last = 0;
    while ((count = decoder->Read(buffer, 1024)) > 0) {
        EXPECT_EQ(1024, last == 0 ? 1024 : last) << "only the final read may be short";
        last = count;
        got.insert(got.end(), buffer, buffer + count);
    }
    EXPECT_LT(last, 1024);  // the song length is no multiple of 1024
    EXPECT_EQ(0, decoder->Read(buffer, 1024));
    EXPECT_EQ(expected, got);
}

TEST(MusicDecoder, StereoYieldsTheFloorOfTheMean) {
    ::Test::TempDir dir;
    const std::string song = dir.File("stereo.ogg");
    std::vector<int16_t> left = Noise(30000, 3, 9000), right = Noise(30000, 11, 9000);
    ::Test::AddTone(right, 0, right.size(), 300.0, 10000.0);
    ASSERT_TRUE(::Test::WriteOgg(song, ::Test::Interleave(left, right), 44100, 2));

    int channels = 0;
    std::vector<int16_t> frames = TremorDecode(song, &channels);
    ASSERT_EQ(2, channels);
    std::vector<int16_t> expected;
    int negativeOddSums = 0;
    for (size_t i = 0; i + 1 < frames.size(); i += 2) {
        int sum = frames[i] + frames[i + 1];
        if (sum < 0 && sum % 2 != 0) ++negativeOddSums;
        expected.push_back(static_cast<int16_t>(static_cast<int>(std::floor(sum / 2.0))));
    }
    ASSERT_GT(negativeOddSums, 100);  // the rounding direction matters for these

    Ref<MusicDecoder> decoder = New<MusicDecoderOGG>();
    ASSERT_TRUE(decoder->Open(song));
    EXPECT_EQ(2, decoder->Channels());
    // Odd request sizes exercise the queue across ov_read boundaries.
    std::vector<int16_t> got;
    int16_t buffer[1500];
    const I32 sizes[] = {1, 1024, 1500, 333, 7};
    for (int i = 0;; ++i) {
        I32 count = decoder->Read(buffer, sizes[i % 5]);
        if (count == 0) break;
        got.insert(got.end(), buffer, buffer + count);
    }
    EXPECT_EQ(expected, got);
}

TEST(MusicDecoder, RefusesBadFilesAndClosesThem) {
    ::Test::TempDir dir;
    std::vector<int16_t> tone(22050, 0);
    ::Test::AddTone(tone, 0, tone.size(), 440.0, 8000.0);
    const std::string slow = dir.File("slow.ogg");
    ASSERT_TRUE(::Test::WriteOgg(slow, tone, 22050, 1));
    const std::string surround = dir.File("three.ogg");
    ASSERT_TRUE(::Test::WriteOgg(surround, std::vector<int16_t>(3 * 4410, 100), 44100, 3));
    const std::string text = dir.File("text.ogg");
    ASSERT_TRUE(::Test::WriteText(text, std::string(5000, 'x')));
    const std::string empty = dir.File("empty.ogg");
    ASSERT_TRUE(::Test::WriteText(empty, ""));
    const std::string good = dir.File("good.ogg");
    ASSERT_TRUE(::Test::WriteOgg(good, tone, 44100, 1));
    std::vector<unsigned char> bytes = ::Test::ReadFile(good);
    const std::string headerOnly = dir.File("cut.ogg");
    ASSERT_TRUE(::Test::WriteFile(headerOnly, std::vector<unsigned char>(bytes.begin(), bytes.begin() + 40)));

    const int descriptors = OpenDescriptors();
    {
        ::Test::LogCapture log;
        const int logDescriptors = OpenDescriptors();
        Ref<MusicDecoder> decoder = New<MusicDecoderOGG>();
        int16_t buffer[16];

        EXPECT_FALSE(decoder->Open(slow));
        EXPECT_EQ(std::vector<std::string>{"[E] Invalid Rate: 22050"}, LoggedLines(log));
        EXPECT_EQ(0, decoder->Rate());
        EXPECT_EQ(0, decoder->Read(buffer, 16));

        EXPECT_FALSE(decoder->Open(surround));
        EXPECT_TRUE(log.Contains("[E] ov_info failed.\n"));

        // Files that are not Ogg Vorbis at all are refused without a word
        // (the caller reports them) and without keeping the file open.
        const size_t linesBefore = LoggedLines(log).size();
        EXPECT_FALSE(decoder->Open(text));
        EXPECT_FALSE(decoder->Open(empty));
        EXPECT_FALSE(decoder->Open(headerOnly));
        EXPECT_FALSE(decoder->Open(dir.File("missing.ogg")));
        EXPECT_EQ(linesBefore, LoggedLines(log).size());
        EXPECT_EQ(logDescriptors, OpenDescriptors());

        // A refused decoder can still open a good song.
        ASSERT_TRUE(decoder->Open(good));
        EXPECT_EQ(logDescriptors + 1, OpenDescriptors());
        EXPECT_EQ(16, decoder->Read(buffer, 16));
        decoder.Reset();
        EXPECT_EQ(logDescriptors, OpenDescriptors());
    }
    EXPECT_EQ(descriptors, OpenDescriptors());
}

TEST(MusicDecoder, TruncatedSongEndsEarlyWithAPrefixOfTheSong) {
    ::Test::TempDir dir;
    std::vector<int16_t> pcm = Noise(3 * 44100, 5, 6000);
    const std::string full = dir.File("full.ogg");
    ASSERT_TRUE(::Test::WriteOgg(full, pcm, 44100, 1));
    std::vector<unsigned char> bytes = ::Test::ReadFile(full);
    const std::string cut = dir.File("cut.ogg");
    ASSERT_TRUE(::Test::WriteFile(cut, std::vector<unsigned char>(bytes.begin(), bytes.begin() + bytes.size() / 2)));

    std::vector<int16_t> whole = AnalysisTest::DecodeAll(full);
    std::vector<int16_t> part = AnalysisTest::DecodeAll(cut);
    ASSERT_GT(part.size(), 10000u);
    ASSERT_LT(part.size(), whole.size());
    EXPECT_TRUE(std::equal(part.begin(), part.end(), whole.begin()));
}
