// The decoders on real songs: Ogg Vorbis through Tremor, the other formats through FFmpeg.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tremor/ivorbisfile.h>

#include <cmath>
#include <cstdio>

#include "Analysis/TrackGen.h"
#include "Audio/AudioPlayerSilent.h"
#include "Audio/OggVorbisCheck.h"
#include "Game/Analysis/AnalysisTestUtil.h"
#include "Music/MusicDecoderOGG.h"
#include "Support/OggDamage.h"
#include "Support/OggFiles.h"
#include "Support/Program.h"
#include "Support/SongFiles.h"

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

// Everything a decoder yields, read in requests of varying size; only the last read may come back short.
std::vector<int16_t> ReadAll(MusicDecoder* decoder) {
    std::vector<int16_t> got;
    int16_t buffer[2 * 1500];
    const I32 sizes[] = {1, 1024, 1500, 333, 7};
    bool ended = false;
    for (int i = 0;; ++i) {
        const I32 count = decoder->Read(buffer, sizes[i % 5]);
        if (count == 0) break;
        EXPECT_FALSE(ended) << "a short read before the end";
        ended = count < sizes[i % 5];
        got.insert(got.end(), buffer, buffer + count * decoder->OutputChannels());
    }
    EXPECT_EQ(0, decoder->Read(buffer, 16));
    return got;
}

// Rising zero crossings in the second from 0.5 s of mono 44100 Hz samples (codecs blur a song's edges).
double Frequency(const std::vector<int16_t>& mono) {
    int rises = 0;
    for (size_t i = 22050; i < 66150 && i < mono.size(); ++i) rises += mono[i - 1] < 0 && mono[i] >= 0;
    return rises;
}

// Reads to the end in requests of 1024 frames, never past limit frames (a decoder that does not end would hang).
void ReadToEnd(MusicDecoder* decoder, I32 limit) {
    I16 buffer[2 * 1024];
    I32 total = 0;
    while (I32 got = decoder->Read(buffer, 1024)) {
        total += got;
        ASSERT_LE(total, limit);
    }
    EXPECT_EQ(0, decoder->Read(buffer, 1024));
}

// Ogg through the encoder helper when options are empty, any other format through ffmpeg.
bool WriteAny(const std::string& path, const std::vector<int16_t>& pcm, int rate, int channels,
              const std::string& options) {
    return options.empty() ? ::Test::WriteOgg(path, pcm, rate, channels)
                           : ::Test::WriteSong(path, pcm, rate, channels, options);
}

}  // namespace

TEST(MusicDecoder, OggPassesMonoUnchangedAndMixesChannelsToTheFloorOfTheirMean) {
    ::Test::TempDir dir;
    std::vector<int16_t> mono = Noise(44100 + 777, 7, 3000);
    ::Test::AddTone(mono, 0, mono.size(), 1000.0, 12000.0);
    std::vector<int16_t> right = Noise(30000, 11, 9000);
    ::Test::AddTone(right, 0, right.size(), 300.0, 10000.0);
    std::vector<int16_t> three;
    for (size_t i = 0; i < right.size(); ++i) three.insert(three.end(), {right[i], mono[i], int16_t(-right[i] / 3)});
    ASSERT_TRUE(::Test::WriteOgg(dir.File("1.ogg"), mono, 44100, 1));
    ASSERT_TRUE(::Test::WriteOgg(dir.File("2.ogg"), ::Test::Interleave(Noise(30000, 3, 9000), right), 44100, 2));
    ASSERT_TRUE(::Test::WriteOgg(dir.File("3.ogg"), three, 44100, 3));

    for (int wanted : {1, 2, 3}) {
        const std::string song = dir.File(std::to_string(wanted) + ".ogg");
        int channels = 0;
        const std::vector<int16_t> decoded = TremorDecode(song, &channels);
        ASSERT_EQ(wanted, channels);
        ASSERT_GT(decoded.size(), 40000u);
        std::vector<int16_t> mean, stereo;
        int negativeInexactSums = 0;  // the rounding direction matters for these
        for (size_t i = 0; i + channels <= decoded.size(); i += channels) {
            int sum = 0;
            for (int c = 0; c < channels; ++c) sum += decoded[i + c];
            negativeInexactSums += sum < 0 && sum % channels != 0;
            mean.push_back(static_cast<int16_t>(std::floor(sum / static_cast<double>(channels))));
            stereo.insert(stereo.end(), {decoded[i], decoded[i + (channels > 1 ? 1 : 0)]});
        }
        ASSERT_TRUE(channels == 1 || negativeInexactSums > 100) << negativeInexactSums;

        for (int output : {1, 2}) {
            Ref<MusicDecoder> decoder = New<MusicDecoderOGG>();
            decoder->SetOutputChannels(output);
            ASSERT_TRUE(decoder->Open(song));
            EXPECT_EQ(channels, decoder->Channels());
            EXPECT_EQ(44100, decoder->SourceRate());
            EXPECT_EQ(static_cast<I64>(mean.size()), decoder->LengthFrames());
            EXPECT_EQ(output == 1 ? mean : stereo, ReadAll(decoder)) << channels << " to " << output;
        }
    }
}

// Each format at 44.1 kHz and another rate: 44100 Hz out, the tone at its pitch (a wrong rate conversion shifts it),
// the song's length as decoded, as stated by the file, and as the silent player knows it.
TEST(MusicDecoder, EveryFormatAndRateDecodesTo44100Hz) {
    ::Test::TempDir dir;
    struct Case {
        std::string extension, options;
        int rate, channels, decodedRate;
    };
    std::vector<Case> cases = {{".ogg", "", 48000, 2, 48000}, {".OGG", "", 22050, 1, 22050}};
    int other = 0;
    for (const ::Test::SongFormat& format : ::Test::FFmpegFormats()) {
        // Opus decodes at 48 kHz whatever went in.
        const bool opus = std::string(format.extension) == ".opus";
        cases.push_back({format.extension, format.options, 44100, 2, opus ? 48000 : 44100});
        const int rates[] = {48000, 32000, 96000};
        const int rate = rates[other++ % 3];
        cases.push_back({format.extension, format.options, rate, 1, opus ? 48000 : rate});
    }
    cases.push_back({".WaV", "-c:a pcm_s16le", 8000, 2, 8000});
    cases.push_back({".Mp3", "-c:a libmp3lame", 22050, 2, 22050});

    Ref<AudioPlayerSilent> silent = New<AudioPlayerSilent>();
    for (const Case& song : cases) {
        const std::string name = std::to_string(song.rate) + "-" + std::to_string(song.channels) + song.extension;
        const std::string path = dir.File(name);
        std::vector<int16_t> tone(static_cast<size_t>(2.0 * song.rate), 0);
        ::Test::AddTone(tone, 0, tone.size(), 440.0, 9000.0, song.rate);
        const std::vector<int16_t> pcm = song.channels == 2 ? ::Test::Interleave(tone, tone) : tone;
        ASSERT_TRUE(WriteAny(path, pcm, song.rate, song.channels, song.options));

        Ref<MusicDecoder> decoder = CreateDecoder(path);
        ASSERT_TRUE(decoder) << name;
        ASSERT_TRUE(decoder->Open(path)) << name << ": " << decoder->FailureReason();
        EXPECT_EQ(44100, decoder->Rate()) << name;
        EXPECT_EQ(song.decodedRate, decoder->SourceRate()) << name;
        EXPECT_EQ(song.channels, decoder->Channels()) << name;
        const I64 stated = decoder->LengthFrames();
        const std::vector<int16_t> mono = ReadAll(decoder);
        EXPECT_NEAR(2.0, mono.size() / 44100.0, 0.06) << name;
        EXPECT_NEAR(440.0, Frequency(mono), 5.0) << name;
        if (stated >= 0) {
            EXPECT_NEAR(static_cast<double>(mono.size()), static_cast<double>(stated), 0.1 * 44100) << name;
        }

        decoder->SetOutputChannels(2);
        ASSERT_TRUE(decoder->Open(path));
        EXPECT_EQ(2 * mono.size(), ReadAll(decoder).size()) << name;

        Ref<AudioSource> quiet = silent->AddMusic(path);
        ASSERT_TRUE(quiet) << name;
        EXPECT_NEAR(2000.0, static_cast<AudioMusicSourceSilent*>(quiet.Get())->GetDuration(), 100.0) << name;
    }
}

// What cannot be decoded is refused with a reason and at most one line of its own; what opens decodes to
// an end. No file stays open.
TEST(MusicDecoder, RefusesDamagedFilesOfEveryFormatWithAReason) {
    ::Test::TempDir dir;
    std::vector<int16_t> tone(3 * 44100, 0);
    ::Test::AddTone(tone, 0, tone.size(), 440.0, 8000.0);
    std::vector<std::pair<std::string, std::string>> formats = {{".ogg", ""}};
    for (const ::Test::SongFormat& format : ::Test::FFmpegFormats()) formats.push_back({format.extension, format.options});
    ASSERT_EQ(0, std::system(("ffmpeg -nostdin -loglevel error -y -f lavfi -i color=c=black:s=32x32:d=1 -c:v mpeg4 -f mp4 '" +
                              dir.File("video.m4a") + "'").c_str()));
    ASSERT_EQ(mkfifo(dir.File("fifo.mp3").c_str(), 0644), 0);  // reading it would block for ever
    ASSERT_TRUE(::Test::WriteText(dir.File("notes.mid"), "MThd"));
    ::Test::Bytes noise(20000);
    unsigned seed = 5;
    for (unsigned char& byte : noise) byte = static_cast<unsigned char>((seed = seed * 1664525u + 1013904223u) >> 24);

    std::vector<std::string> refused = {dir.File("video.m4a"), dir.File("fifo.mp3"), dir.File("missing.flac"),
                                        dir.Path() + "/"};
    std::vector<std::string> either;
    for (const auto& format : formats) {
        const std::string good = dir.File("good" + format.first);
        ASSERT_TRUE(WriteAny(good, tone, 44100, 1, format.second));
        const ::Test::Bytes bytes = ::Test::ReadFile(good);
        const std::string empty = dir.File("empty" + format.first), random = dir.File("random" + format.first),
                          cut = dir.File("cut" + format.first), head = dir.File("head" + format.first);
        ASSERT_TRUE(::Test::WriteText(empty, ""));
        ASSERT_TRUE(::Test::WriteFile(random, noise));
        ASSERT_TRUE(::Test::WriteFile(cut, ::Test::Bytes(bytes.begin(), bytes.begin() + bytes.size() / 2)));
        ASSERT_TRUE(::Test::WriteFile(head, ::Test::Bytes(bytes.begin(), bytes.begin() + 40)));
        refused.push_back(empty);
        either.insert(either.end(), {random, cut, head});
    }

    ::Test::LogCapture log;
    const int logDescriptors = OpenDescriptors();
    EXPECT_EQ(nullptr, CreateDecoder(dir.File("notes.mid")));
    EXPECT_EQ(nullptr, CreateDecoder(dir.File("no_extension"), false));
    EXPECT_EQ((std::vector<std::string>{"[E] Could not create decoder for file type .mid"}), log.Entries());
    auto open = [&](const std::string& path, bool mustRefuse) {
        SCOPED_TRACE(path);
        const size_t lines = log.Entries().size();
        Ref<MusicDecoder> decoder = CreateDecoder(path + (path.back() == '/' ? "x.wav" : ""), false);
        ASSERT_TRUE(decoder);
        const bool opened = decoder->Open(path);
        EXPECT_LE(log.Entries().size(), lines + 1);
        EXPECT_FALSE(mustRefuse && opened);
        if (opened) return ReadToEnd(decoder, 10 * 44100);
        EXPECT_FALSE(decoder->FailureReason().empty());
        EXPECT_EQ(0, decoder->Rate());
    };
    for (const std::string& path : refused) open(path, true);
    for (const std::string& path : either) open(path, false);
    EXPECT_EQ(logDescriptors, OpenDescriptors());

    // The two reasons a player would most likely meet.
    Ref<MusicDecoder> decoder = CreateDecoder(dir.File("video.m4a"));
    EXPECT_FALSE(decoder->Open(dir.File("video.m4a")));
    EXPECT_EQ("no audio stream", decoder->FailureReason());
    EXPECT_EQ("[E] MusicDecoderFFmpeg::Open: no audio stream.", log.Entries().back());
    EXPECT_FALSE(decoder->Open(dir.File("empty.wav")));
    EXPECT_EQ("not a sound file", decoder->FailureReason());

    // The generator reports what it cannot analyse, and writes nothing.
    const std::pair<std::string, std::string> refusals[] = {
        {dir.File("random.ogg"), "[E] Failed to open file " + dir.File("random.ogg")},
        {dir.File("notes.mid"), "[E] Could not create decoder for file type .mid"},
    };
    for (const auto& refusal : refusals) {
        TrackGen gen(refusal.first);
        EXPECT_EQ(-1, gen.Init()) << refusal.first;
        EXPECT_EQ(refusal.second, log.Entries().back());
        // Stepping it ends at once, as a failure logged once.
        EXPECT_FALSE(gen.Step());
        EXPECT_TRUE(gen.Failed());
        EXPECT_EQ("[E] Failed to analyze " + refusal.first, log.Entries().back());
        EXPECT_FALSE(gen.Step());
        EXPECT_EQ(1, log.Count("[E] Failed to analyze " + refusal.first + "\n"));
        EXPECT_FALSE(TrackGen::TrackExists(refusal.first));
    }
    decoder.Reset();
    EXPECT_EQ(logDescriptors, OpenDescriptors());
}

// An incomplete Huffman tree (Tremor divides by zero on its second read) is refused before decoding; random damage
// is refused or decodes to an end; the batch analyser reports the damaged song and goes on.
TEST(MusicDecoder, DamagedSongsAreRefusedOrEndAndNeverCrash) {
    ::Test::TempDir dir;
    const std::string damaged = dir.File("damaged.ogg"), next = dir.File("next.ogg");
    ASSERT_TRUE(::Test::WriteDamagedSetupOgg(damaged));
    ::Test::LogCapture log;
    Ref<MusicDecoder> decoder = New<MusicDecoderOGG>();
    EXPECT_FALSE(decoder->Open(damaged));
    EXPECT_EQ("[E] MusicDecoderOGG::Open: damaged Vorbis setup header.", log.Entries().back());
    std::string reason;
    EXPECT_TRUE(IsDamagedOggVorbis(damaged, &reason));
    EXPECT_EQ("damaged Vorbis setup header", reason);

    std::vector<int16_t> left = Noise(66150, 5, 6000), right = Noise(66150, 9, 6000);
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
        SCOPED_TRACE(run);
        ReadToEnd(decoder, 3 * 44100);
    }
    EXPECT_GT(opened, 0);
    EXPECT_GT(damagedSetups, 0);
    EXPECT_EQ(damagedSetups, log.Count("[E] MusicDecoderOGG::Open: damaged Vorbis setup header.\n") - 1);

    // skyrail-analyze DIR: the damaged song fails with its reason, the next one (stereo) is analysed.
    std::remove(path.c_str());
    ::Test::Program analyser(::Test::Program::Analyser(), {"--jobs", "1", dir.Path()}, dir.Path());
    ASSERT_TRUE(analyser.Start());
    EXPECT_EQ(1, analyser.Wait()) << analyser.Errors();
    const std::string output = analyser.Output();
    EXPECT_NE(std::string::npos, output.find("FAIL  " + damaged + ": MusicDecoderOGG::Open: damaged Vorbis setup"))
        << output;
    EXPECT_NE(std::string::npos, output.find("ok    " + next + ": ")) << output;
    EXPECT_TRUE(TrackGen::TrackExists(next));
}
