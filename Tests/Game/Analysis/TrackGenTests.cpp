// TrackGen and the track file on real songs in a scratch folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Analysis/TrackGen.h"
#include "AnalysisTestUtil.h"
#include "Support/OggFiles.h"
#include "Support/TestUtil.h"

using namespace Meridian;
using AnalysisTest::LoggedLines;

namespace {

// Runs a generator the way the conversion screen does and counts its steps.
int RunToEnd(TrackGen* gen) {
    int steps = 0;
    while (gen->Step()) ++steps;
    return steps;
}

float FloatAt(const std::vector<unsigned char>& bytes, size_t offset) {
    uint32_t bits = static_cast<uint32_t>(bytes[offset]) | static_cast<uint32_t>(bytes[offset + 1]) << 8 |
                    static_cast<uint32_t>(bytes[offset + 2]) << 16 | static_cast<uint32_t>(bytes[offset + 3]) << 24;
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

int32_t IntAt(const std::vector<unsigned char>& bytes, size_t offset) {
    return static_cast<int32_t>(static_cast<uint32_t>(bytes[offset]) | static_cast<uint32_t>(bytes[offset + 1]) << 8 |
                                static_cast<uint32_t>(bytes[offset + 2]) << 16 |
                                static_cast<uint32_t>(bytes[offset + 3]) << 24);
}

bool Exists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

// Silence with short bursts of white noise (broadband clicks) at the given
// sample positions.
std::vector<int16_t> ClickSong(size_t length, const std::vector<size_t>& clicks) {
    std::vector<int16_t> pcm(length, 0);
    unsigned seed = 99;
    for (size_t click : clicks)
        for (size_t i = 0; i < 64 && click + i < length; ++i) {
            seed = seed * 1664525u + 1013904223u;
            pcm[click + i] = static_cast<int16_t>(static_cast<int>(seed >> 16) % 40001 - 20000);
        }
    return pcm;
}

}  // namespace

TEST(TrackGen, ThresholdIsTwiceTheLocalMeanOverOneLessThanTheWindow) {
    std::vector<float> flux(40, 3.0f), threshold;
    TrackGen::ComputeThresholds(flux, 2.0f, threshold);
    ASSERT_EQ(40u, threshold.size());
    EXPECT_FLOAT_EQ(2.0f * 3.0f * 16.0f / 15.0f, threshold[0]);   // 16 values over 15
    EXPECT_FLOAT_EQ(2.0f * 3.0f * 17.0f / 16.0f, threshold[1]);
    EXPECT_FLOAT_EQ(2.0f * 3.0f * 31.0f / 30.0f, threshold[15]);  // full window: 31 over 30
    EXPECT_FLOAT_EQ(2.0f * 3.0f * 31.0f / 30.0f, threshold[24]);
    EXPECT_FLOAT_EQ(2.0f * 3.0f * 17.0f / 16.0f, threshold[38]);
    EXPECT_FLOAT_EQ(2.0f * 3.0f * 16.0f / 15.0f, threshold[39]);

    // Irregular values against a plain reference; short lists clip both ends.
    for (size_t n : {2u, 5u, 31u, 64u}) {
        std::vector<float> values(n);
        for (size_t i = 0; i < n; ++i) values[i] = static_cast<float>((i * 37) % 11) * 0.25f;
        TrackGen::ComputeThresholds(values, 2.0f, threshold);
        for (size_t i = 0; i < n; ++i) {
            size_t lo = i >= 15 ? i - 15 : 0, hi = std::min(i + 15, n - 1);
            double sum = 0.0;
            for (size_t k = lo; k <= hi; ++k) sum += values[k];
            EXPECT_NEAR(2.0 * sum / static_cast<double>(hi - lo), threshold[i], 1e-5) << n << " " << i;
        }
    }
    TrackGen::ComputeThresholds({}, 2.0f, threshold);
    EXPECT_TRUE(threshold.empty());
    TrackGen::ComputeThresholds({1.5f}, 2.0f, threshold);  // no divisor: stays finite
    ASSERT_EQ(1u, threshold.size());
    EXPECT_TRUE(std::isfinite(threshold[0]));
}

TEST(TrackGen, AnalysesASongAndWritesItsTrackFile) {
    ::Test::TempDir dir;
    // Clicks (broadband: every band) at known frames, then a 1 kHz tone from
    // 1.5 s that only band 0 sees.
    const std::vector<size_t> clicks = {512 * 20, 512 * 50, 512 * 100};
    std::vector<int16_t> pcm = ClickSong(44100 * 3, clicks);
    ::Test::AddTone(pcm, 512 * 130, pcm.size() - 512 * 130, 1000.0, 12000.0);
    const std::string song = dir.File("Clicks.ogg");
    ASSERT_TRUE(::Test::WriteOgg(song, ::Test::Interleave(pcm, pcm), 44100, 2));
    const size_t decoded = AnalysisTest::DecodeAll(song).size();

    ::Test::LogCapture log;
    EXPECT_FALSE(TrackGen::TrackExists(song));
    Ref<TrackGen> gen = New<TrackGen>(song);
    ASSERT_EQ(0, gen->Init());
    EXPECT_FLOAT_EQ(1024.0f / 44100.0f, gen->BlockSeconds());
    I32 lastProgress = 0;
    int steps = 0;
    while (gen->Step()) {
        ++steps;
        EXPECT_GE(gen->ProgressSeconds(), lastProgress);
        lastProgress = gen->ProgressSeconds();
    }
    EXPECT_FALSE(gen->Failed());
    EXPECT_FALSE(gen->Step());  // finished for good
    const size_t frames = 2 + 2 * ((decoded - 2048) / 1024);
    EXPECT_EQ(frames, static_cast<size_t>(steps));
    EXPECT_EQ(static_cast<I32>(frames * 512 / 44100), lastProgress);

    const std::vector<float>& times = gen->Times();
    ASSERT_EQ(frames, times.size());
    for (size_t k = 0; k < frames; ++k) {
        ASSERT_EQ(static_cast<float>(k) * 0.5f * (1024.0f / 44100.0f), times[k]);
        ASSERT_NEAR(k * 512.0 / 44100.0, times[k], 1e-5);
    }
    EXPECT_NEAR(0.01161, times[1], 1e-5);
    EXPECT_NEAR(0.02322, times[2], 1e-5);

    // Each click is the loudest rise of band 2 near its frame; band 0 rises
    // most where the tone starts.
    for (size_t click : clicks) {
        size_t frame = click / 512;
        EXPECT_GT(gen->Flux(2)[frame - 1] + gen->Flux(2)[frame], 20.0f * gen->Flux(2)[frame - 4]) << click;
    }
    auto biggest = [&](int band, size_t from) {
        return static_cast<size_t>(std::max_element(gen->Flux(band).begin() + from, gen->Flux(band).end()) -
                                   gen->Flux(band).begin());
    };
    EXPECT_NEAR(129.0, static_cast<double>(biggest(0, 110)), 1.0);

    for (int b = 0; b < 3; ++b) {
        std::vector<float> expected;
        TrackGen::ComputeThresholds(gen->Flux(b), 2.0f, expected);
        EXPECT_EQ(expected, gen->Thresholds(b));
    }

    // The file: header, then Time, Flux[3], Threshold[3] per control point.
    const std::string trackPath = song + ".kpt";
    ASSERT_TRUE(TrackGen::TrackExists(song));
    EXPECT_FALSE(Exists(trackPath + ".tmp"));
    std::vector<unsigned char> bytes = ::Test::ReadFile(trackPath);
    ASSERT_EQ(8 + 28 * frames, bytes.size());
    EXPECT_EQ(0, std::memcmp(bytes.data(), "KPT0", 4));
    EXPECT_EQ(static_cast<int32_t>(frames), IntAt(bytes, 4));
    for (size_t k = 0; k < frames; ++k) {
        const size_t at = 8 + 28 * k;
        ASSERT_EQ(times[k], FloatAt(bytes, at));
        for (int b = 0; b < 3; ++b) {
            ASSERT_EQ(gen->Flux(b)[k], FloatAt(bytes, at + 4 + 4 * b));
            ASSERT_EQ(gen->Thresholds(b)[k], FloatAt(bytes, at + 16 + 4 * b));
        }
    }
    EXPECT_TRUE(log.Contains("[D] SongLength: "));
    char expectedLength[64];
    std::snprintf(expectedLength, sizeof(expectedLength), "[D] SongLength: %fs",
                  static_cast<double>(static_cast<float>(frames) * 0.5f * (1024.0f / 44100.0f)));
    EXPECT_TRUE(log.Contains(expectedLength)) << log.Text();
    EXPECT_FALSE(log.Contains("[E] "));

    TrackData loaded;
    ASSERT_TRUE(loaded.LoadFrom(song));
    ASSERT_EQ(frames, loaded.Time.size());
    EXPECT_EQ(times, loaded.Time);
    for (size_t k = 0; k < frames; ++k)
        for (int b = 0; b < 3; ++b) {
            EXPECT_EQ(gen->Flux(b)[k], loaded.Flux[k][b]);
            EXPECT_EQ(gen->Thresholds(b)[k], loaded.Threshold[k][b]);
        }

    // A second request does no analysis.
    Ref<TrackGen> again = New<TrackGen>(song);
    EXPECT_EQ(1, again->Init());
    EXPECT_TRUE(log.Contains("[D] TrackGen::Init: Track exists.\n"));
    EXPECT_EQ(bytes, ::Test::ReadFile(trackPath));
}

TEST(TrackGen, ShortAndCutSongs) {
    ::Test::TempDir dir;
    ::Test::LogCapture log;
    // Under one second: still analysed and written.
    std::vector<int16_t> pcm = ClickSong(22050, {4000});
    const std::string song = dir.File("short.ogg");
    ASSERT_TRUE(::Test::WriteOgg(song, pcm, 44100, 1));
    const size_t decoded = AnalysisTest::DecodeAll(song).size();
    Ref<TrackGen> gen = New<TrackGen>(song);
    ASSERT_EQ(0, gen->Init());
    EXPECT_EQ(static_cast<int>(2 + 2 * ((decoded - 2048) / 1024)), RunToEnd(gen));
    EXPECT_EQ(0, gen->ProgressSeconds());
    EXPECT_FALSE(gen->Failed());
    TrackData data;
    ASSERT_TRUE(data.LoadFrom(song));
    EXPECT_EQ(gen->Times().size(), data.Time.size());

    // Shorter than 2048 samples: two frames, zeros fill the blocks.
    const std::string tiny = dir.File("tiny.ogg");
    ASSERT_TRUE(::Test::WriteOgg(tiny, std::vector<int16_t>(1500, 3000), 44100, 1));
    Ref<TrackGen> tinyGen = New<TrackGen>(tiny);
    ASSERT_EQ(0, tinyGen->Init());
    EXPECT_EQ(2, RunToEnd(tinyGen));
    EXPECT_TRUE(TrackGen::TrackExists(tiny));

    // A song cut off in the middle ends early but is still a track.
    std::vector<int16_t> noise(44100 * 2);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<int16_t>((i * 7919) % 20001) - 10000;
    const std::string full = dir.File("full.ogg");
    ASSERT_TRUE(::Test::WriteOgg(full, noise, 44100, 1));
    std::vector<unsigned char> bytes = ::Test::ReadFile(full);
    const std::string cut = dir.File("cut.ogg");
    ASSERT_TRUE(::Test::WriteFile(cut, std::vector<unsigned char>(bytes.begin(), bytes.begin() + bytes.size() / 2)));
    Ref<TrackGen> cutGen = New<TrackGen>(cut);
    ASSERT_EQ(0, cutGen->Init());
    const int cutFrames = RunToEnd(cutGen);
    EXPECT_GT(cutFrames, 20);
    EXPECT_LT(cutFrames, 160);
    EXPECT_FALSE(cutGen->Failed());
    EXPECT_TRUE(TrackGen::TrackExists(cut));
    EXPECT_FALSE(log.Contains("[E] ")) << log.Text();
}

TEST(TrackGen, RefusesSongsItCannotAnalyse) {
    ::Test::TempDir dir;
    std::vector<int16_t> tone(44100, 0);
    ::Test::AddTone(tone, 0, tone.size(), 440.0, 8000.0);
    const std::string slow = dir.File("slow.ogg");
    ASSERT_TRUE(::Test::WriteOgg(slow, tone, 22050, 1));
    const std::string notOgg = dir.File("notes.ogg");
    ASSERT_TRUE(::Test::WriteText(notOgg, "not an ogg file at all\n"));
    const std::string mp3 = dir.File("song.mp3");
    ASSERT_TRUE(::Test::WriteText(mp3, "ID3"));

    ::Test::LogCapture log;
    Ref<TrackGen> gen = New<TrackGen>(slow);
    EXPECT_EQ(-1, gen->Init());
    EXPECT_EQ((std::vector<std::string>{"[E] Invalid Rate: 22050", "[E] Failed to open file " + slow}), LoggedLines(log));

    gen = New<TrackGen>(notOgg);
    EXPECT_EQ(-1, gen->Init());
    EXPECT_EQ("[E] Failed to open file " + notOgg, LoggedLines(log).back());

    gen = New<TrackGen>(dir.File("missing.ogg"));
    EXPECT_EQ(-1, gen->Init());
    EXPECT_EQ("[E] Failed to open file " + dir.File("missing.ogg"), LoggedLines(log).back());

    gen = New<TrackGen>(mp3);
    EXPECT_EQ(-1, gen->Init());
    EXPECT_EQ("[E] Could not create decoder for file type .mp3", LoggedLines(log).back());
    // Stepping a generator that could not start ends at once, as a failure,
    // and writes nothing.
    EXPECT_FALSE(gen->Step());
    EXPECT_TRUE(gen->Failed());
    EXPECT_EQ("[E] Failed to analyze " + mp3, LoggedLines(log).back());
    EXPECT_FALSE(gen->Step());
    EXPECT_EQ(1, log.Count("Failed to analyze"));

    for (const char* name : {"slow.ogg", "notes.ogg", "song.mp3", "missing.ogg"})
        EXPECT_FALSE(TrackGen::TrackExists(dir.File(name))) << name;
}

TEST(TrackGen, WritesTheTrackFileWholeOrNotAtAll) {
    ::Test::TempDir dir;
    const std::vector<int16_t> pcm = ClickSong(44100, {10000, 30000});
    const std::string song = dir.File("song.ogg");
    ASSERT_TRUE(::Test::WriteOgg(song, pcm, 44100, 1));
    const std::string track = song + ".kpt";
    const std::string temporary = track + ".tmp";
    ::Test::LogCapture log;

    // Cancelled part-way (the generator is dropped): no file of any kind.
    {
        Ref<TrackGen> gen = New<TrackGen>(song);
        ASSERT_EQ(0, gen->Init());
        for (int i = 0; i < 10; ++i) ASSERT_TRUE(gen->Step());
    }
    EXPECT_FALSE(Exists(track));
    EXPECT_FALSE(Exists(temporary));

    // The disk fills up while writing: the save fails, nothing counts as a
    // track file, and the next conversion analyses the song again.
    ASSERT_EQ(0, symlink("/dev/full", temporary.c_str()));
    Ref<TrackGen> gen = New<TrackGen>(song);
    ASSERT_EQ(0, gen->Init());
    RunToEnd(gen);
    EXPECT_FALSE(gen->Failed());  // the driver still goes on; the race reports the missing file
    EXPECT_EQ(1, log.Count("[E] TrackGen: failed to save TrackData.\n"));
    EXPECT_TRUE(log.Contains("[D] SongLength: "));
    EXPECT_FALSE(Exists(track));
    EXPECT_FALSE(Exists(temporary));

    // The temporary name cannot be created at all.
    ASSERT_EQ(0, mkdir(temporary.c_str(), 0755));
    gen = New<TrackGen>(song);
    ASSERT_EQ(0, gen->Init());
    RunToEnd(gen);
    EXPECT_EQ(2, log.Count("[E] TrackGen: failed to save TrackData.\n"));
    EXPECT_FALSE(TrackGen::TrackExists(song));
    ASSERT_EQ(0, rmdir(temporary.c_str()));

    // A folder the user may not write to (skipped where permissions do not bind).
    ::Test::TempDir locked;
    const std::string lockedSong = locked.File("song.ogg");
    ASSERT_TRUE(::Test::WriteOgg(lockedSong, pcm, 44100, 1));
    ASSERT_EQ(0, chmod(locked.Path().c_str(), 0555));
    if (access(locked.Path().c_str(), W_OK) != 0) {
        gen = New<TrackGen>(lockedSong);
        ASSERT_EQ(0, gen->Init());
        RunToEnd(gen);
        EXPECT_EQ(3, log.Count("[E] TrackGen: failed to save TrackData.\n"));
        EXPECT_FALSE(TrackGen::TrackExists(lockedSong));
    }
    chmod(locked.Path().c_str(), 0755);

    // Analysing again over a stale temporary file works and replaces it.
    ASSERT_TRUE(::Test::WriteText(temporary, "half a track"));
    gen = New<TrackGen>(song);
    ASSERT_EQ(0, gen->Init());
    RunToEnd(gen);
    EXPECT_TRUE(TrackGen::TrackExists(song));
    EXPECT_FALSE(Exists(temporary));
    TrackData data;
    EXPECT_TRUE(data.LoadFrom(song));

    // Redoing replaces an existing track only with a complete new one.
    ASSERT_TRUE(::Test::WriteText(track, "KPT0"));
    gen = New<TrackGen>(song);
    ASSERT_EQ(0, gen->Init(true));
    RunToEnd(gen);
    EXPECT_TRUE(data.LoadFrom(song));
    EXPECT_EQ(gen->Times().size(), data.Time.size());
}

TEST(TrackData, SavesTheExactLayoutAndLoadsItBack) {
    ::Test::TempDir dir;
    const std::string song = dir.File("a.ogg");
    TrackData data;
    data.Time = {0.0f, 1.5f};
    data.Flux = {{{1.0f, 2.0f, -0.5f}}, {{0.25f, 0.0f, 100.0f}}};
    data.Threshold = {{{3.0f, 4.0f, 5.0f}}, {{6.0f, 7.0f, 8.0f}}};
    ASSERT_TRUE(data.SaveTo(song));
    const std::vector<unsigned char> expected = {
        'K',  'P',  'T',  '0',  2,    0,    0,    0,                            // magic, N
        0,    0,    0,    0,                                                    // Time 0
        0,    0,    0x80, 0x3f, 0,    0,    0,    0x40, 0,    0,    0,    0xbf,  // Flux 1, 2, -0.5
        0,    0,    0x40, 0x40, 0,    0,    0x80, 0x40, 0,    0,    0xa0, 0x40,  // Threshold 3, 4, 5
        0,    0,    0xc0, 0x3f,                                                 // Time 1.5
        0,    0,    0x80, 0x3e, 0,    0,    0,    0,    0,    0,    0xc8, 0x42,  // Flux 0.25, 0, 100
        0,    0,    0xc0, 0x40, 0,    0,    0xe0, 0x40, 0,    0,    0,    0x41,  // Threshold 6, 7, 8
    };
    EXPECT_EQ(expected, ::Test::ReadFile(song + ".kpt"));

    TrackData loaded;
    loaded.Time = {9.0f};  // replaced, not appended to
    ASSERT_TRUE(loaded.LoadFrom(song));
    EXPECT_EQ(data.Time, loaded.Time);
    EXPECT_EQ(data.Flux, loaded.Flux);
    EXPECT_EQ(data.Threshold, loaded.Threshold);

    // No control points: an 8-byte file that loads as an empty track.
    TrackData empty;
    ASSERT_TRUE(empty.SaveTo(dir.File("e.ogg")));
    EXPECT_EQ((std::vector<unsigned char>{'K', 'P', 'T', '0', 0, 0, 0, 0}), ::Test::ReadFile(dir.File("e.ogg.kpt")));
    ASSERT_TRUE(loaded.LoadFrom(dir.File("e.ogg")));
    EXPECT_TRUE(loaded.Time.empty() && loaded.Flux.empty() && loaded.Threshold.empty());

    // Lists of different lengths are not a track.
    TrackData uneven = data;
    uneven.Flux.pop_back();
    EXPECT_FALSE(uneven.SaveTo(dir.File("u.ogg")));
    EXPECT_FALSE(TrackGen::TrackExists(dir.File("u.ogg")));
}

TEST(TrackData, RefusesBrokenTrackFiles) {
    ::Test::TempDir dir;
    TrackData good;
    good.Time = {0.0f, 0.5f, 1.0f};
    good.Flux.assign(3, TrackData::Bands{{1.0f, 2.0f, 3.0f}});
    good.Threshold.assign(3, TrackData::Bands{{4.0f, 5.0f, 6.0f}});
    ASSERT_TRUE(good.SaveTo(dir.File("good.ogg")));
    const std::vector<unsigned char> bytes = ::Test::ReadFile(dir.File("good.ogg.kpt"));
    auto withBytes = [&](const std::string& name, std::vector<unsigned char> content) {
        EXPECT_TRUE(::Test::WriteFile(dir.File(name + ".kpt"), content));
        return dir.File(name);
    };

    ::Test::LogCapture log;
    TrackData data;
    EXPECT_FALSE(data.LoadFrom(dir.File("missing.ogg")));
    EXPECT_TRUE(LoggedLines(log).empty());

    for (unsigned char version : {'1', '9', 'A'}) {
        std::vector<unsigned char> other = bytes;
        other[3] = version;
        EXPECT_FALSE(data.LoadFrom(withBytes("version.ogg", other)));
        EXPECT_EQ("[E] LoadFrom: invalid header.", LoggedLines(log).back());
    }
    EXPECT_FALSE(data.LoadFrom(withBytes("magic.ogg", {'k', 'P', 'T', '0', 0, 0, 0, 0})));
    EXPECT_FALSE(data.LoadFrom(withBytes("short.ogg", {'K', 'P'})));
    EXPECT_FALSE(data.LoadFrom(withBytes("empty.ogg", {})));
    EXPECT_EQ(6, log.Count("[E] LoadFrom: invalid header.\n"));

    EXPECT_FALSE(data.LoadFrom(withBytes("count.ogg", {'K', 'P', 'T', '0', 1, 0})));
    EXPECT_EQ("[E] LoadFrom: cant read number of control points.", LoggedLines(log).back());
    EXPECT_FALSE(data.LoadFrom(withBytes("nocount.ogg", {'K', 'P', 'T', '0'})));
    EXPECT_EQ(2, log.Count("[E] LoadFrom: cant read number of control points.\n"));

    // Fewer records than announced: false, silently, keeping what was read.
    const size_t linesBefore = LoggedLines(log).size();
    std::vector<unsigned char> cut(bytes.begin(), bytes.begin() + 8 + 28 + 10);
    EXPECT_FALSE(data.LoadFrom(withBytes("cut.ogg", cut)));
    EXPECT_EQ(2u, data.Time.size());
    EXPECT_EQ(1u, data.Flux.size());
    EXPECT_EQ(1u, data.Threshold.size());
    std::vector<unsigned char> huge = bytes;
    huge[4] = 0xff;
    huge[5] = 0xff;
    huge[6] = 0xff;
    huge[7] = 0x7f;  // N = 2147483647 with three records present
    EXPECT_FALSE(data.LoadFrom(withBytes("huge.ogg", huge)));
    EXPECT_EQ(3u, data.Threshold.size());
    EXPECT_EQ(linesBefore, LoggedLines(log).size());

    // A negative count reads as an empty track.
    std::vector<unsigned char> negative = bytes;
    negative[7] = 0xff;
    EXPECT_TRUE(data.LoadFrom(withBytes("negative.ogg", negative)));
    EXPECT_TRUE(data.Time.empty());
    // Extra bytes after the records are ignored.
    std::vector<unsigned char> longer = bytes;
    longer.push_back(0);
    EXPECT_TRUE(data.LoadFrom(withBytes("longer.ogg", longer)));
    EXPECT_EQ(good.Time, data.Time);
}
