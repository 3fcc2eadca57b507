// TrackGen and the track file on real songs in a scratch folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

#include "Analysis/TrackGen.h"
#include "AnalysisTestUtil.h"
#include "Support/OggFiles.h"
#include "Support/TestUtil.h"

using namespace Meridian;
using AnalysisTest::FrameCount;

namespace {

// Runs a generator the way the conversion screen does and counts its steps.
size_t RunToEnd(TrackGen* gen) {
    size_t steps = 0;
    while (gen->Step()) ++steps;
    return steps;
}

bool Exists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

std::vector<int16_t> ClickSong(size_t length, const std::vector<size_t>& clicks) {
    std::vector<int16_t> pcm(length, 0);
    AnalysisTest::AddClicks(pcm, clicks);
    return pcm;
}

}  // namespace

TEST(TrackGen, ThresholdIsTwiceTheLocalMeanOverOneLessThanTheWindow) {
    // Against a plain reference; short lists clip both window ends.
    std::vector<float> threshold;
    for (size_t n : {2u, 5u, 31u, 40u, 64u}) {
        std::vector<float> values(n);
        for (size_t i = 0; i < n; ++i) values[i] = static_cast<float>((i * 37) % 11) * 0.25f;
        TrackGen::ComputeThresholds(values, 2.0f, threshold);
        ASSERT_EQ(n, threshold.size());
        for (size_t i = 0; i < n; ++i) {
            const size_t lo = i >= 15 ? i - 15 : 0, hi = std::min(i + 15, n - 1);
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

TEST(TrackGen, AnalysesSongsAndWritesTheirTrackFiles) {
    ::Test::TempDir dir;
    // Clicks (every band) at known frames, then a 1 kHz tone from frame 130 that only band 0 sees; a song
    // under one second; one under 2048 samples (two frames); one cut off in the middle.
    const std::vector<size_t> clicks = {512 * 20, 512 * 50, 512 * 100};
    std::vector<int16_t> pcm = ClickSong(44100 * 3, clicks);
    ::Test::AddTone(pcm, 512 * 130, pcm.size() - 512 * 130, 1000.0, 12000.0);
    ASSERT_TRUE(::Test::WriteOgg(dir.File("Clicks.ogg"), ::Test::Interleave(pcm, pcm), 44100, 2));
    ASSERT_TRUE(::Test::WriteOgg(dir.File("short.ogg"), ClickSong(22050, {4000}), 44100, 1));
    ASSERT_TRUE(::Test::WriteOgg(dir.File("tiny.ogg"), std::vector<int16_t>(1500, 3000), 44100, 1));
    ASSERT_TRUE(::Test::WriteOgg(dir.File("full.ogg"), AnalysisTest::Noise(44100 * 3 / 2, 3, 10000), 44100, 1));
    const std::vector<unsigned char> whole = ::Test::ReadFile(dir.File("full.ogg"));
    ASSERT_TRUE(
        ::Test::WriteFile(dir.File("cut.ogg"), std::vector<unsigned char>(whole.begin(), whole.begin() + whole.size() / 2)));
    ::Test::LogCapture log;
    Ref<TrackGen> clicked;
    for (const char* name : {"Clicks.ogg", "short.ogg", "tiny.ogg", "cut.ogg"}) {
        const std::string song = dir.File(name);
        const size_t frames = FrameCount(AnalysisTest::DecodeAll(song).size());
        Ref<TrackGen> gen = New<TrackGen>(song);
        ASSERT_EQ(0, gen->Init()) << name;
        EXPECT_EQ(frames, RunToEnd(gen)) << name;
        EXPECT_FALSE(gen->Failed()) << name;
        EXPECT_FALSE(gen->Step()) << name;  // finished for good
        EXPECT_EQ(static_cast<I32>(frames * 512 / 44100), gen->ProgressSeconds()) << name;
        const std::vector<float>& times = gen->Times();
        ASSERT_EQ(frames, times.size()) << name;
        for (size_t k = 0; k < frames; ++k) ASSERT_NEAR(k * 512.0 / 44100.0, times[k], 1e-5) << name;
        // The file holds exactly what was analysed, thresholds by the formula.
        const std::vector<unsigned char> bytes = ::Test::ReadFile(song + ".kpt");
        EXPECT_EQ(8 + 28 * frames, bytes.size()) << name;
        TrackData loaded;
        ASSERT_TRUE(loaded.LoadFrom(song)) << name;
        EXPECT_EQ(times, loaded.Time) << name;
        for (int b = 0; b < 3; ++b) {
            std::vector<float> expected;
            TrackGen::ComputeThresholds(gen->Flux(b), 2.0f, expected);
            EXPECT_EQ(expected, gen->Thresholds(b)) << name;
            for (size_t k = 0; k < frames; ++k) {
                ASSERT_EQ(gen->Flux(b)[k], loaded.Flux[k][b]) << name;
                ASSERT_EQ(gen->Thresholds(b)[k], loaded.Threshold[k][b]) << name;
            }
        }
        // A second request does no analysis.
        EXPECT_EQ(1, Ref<TrackGen>(New<TrackGen>(song))->Init()) << name;
        EXPECT_EQ(bytes, ::Test::ReadFile(song + ".kpt")) << name;
        if (!clicked) clicked = gen;
    }
    EXPECT_FALSE(log.Contains("[E] ")) << log.Text();
    // Each click is the loudest rise of band 2 near its frame; band 0 rises most where the tone starts.
    const std::vector<float>& high = clicked->Flux(2);
    const std::vector<float>& low = clicked->Flux(0);
    for (size_t click : clicks)
        EXPECT_GT(high[click / 512 - 1] + high[click / 512], 20.0f * high[click / 512 - 4]) << click;
    EXPECT_NEAR(129.0, static_cast<double>(std::max_element(low.begin() + 110, low.end()) - low.begin()), 1.0);
}

TEST(TrackGen, WritesTheTrackFileWholeOrNotAtAll) {
    ::Test::TempDir dir;
    const std::string song = dir.File("song.ogg"), track = song + ".kpt", temporary = track + ".tmp";
    ASSERT_TRUE(::Test::WriteOgg(song, ClickSong(44100, {10000, 30000}), 44100, 1));
    ::Test::LogCapture log;
    auto analyse = [&](bool redo) {
        Ref<TrackGen> gen = New<TrackGen>(song);
        EXPECT_EQ(0, gen->Init(redo));
        RunToEnd(gen);
        return gen;
    };
    // Cancelled part-way (the generator dropped): no file of any kind.
    {
        Ref<TrackGen> gen = New<TrackGen>(song);
        ASSERT_EQ(0, gen->Init());
        for (int i = 0; i < 10; ++i) ASSERT_TRUE(gen->Step());
    }
    EXPECT_FALSE(Exists(track) || Exists(temporary));
    // A full disk, or a folder where the temporary file goes: one line each, no track file, and the
    // driver goes on (the race reports the missing file).
    ASSERT_EQ(0, symlink("/dev/full", temporary.c_str()));
    EXPECT_FALSE(analyse(false)->Failed());
    EXPECT_FALSE(Exists(temporary));
    ASSERT_EQ(0, mkdir(temporary.c_str(), 0755));
    analyse(false);
    ASSERT_EQ(0, rmdir(temporary.c_str()));
    EXPECT_EQ(2, log.Count("[E] TrackGen: failed to save TrackData.\n"));
    EXPECT_FALSE(Exists(track));
    // Analysing again over a stale temporary file works and replaces it.
    ASSERT_TRUE(::Test::WriteText(temporary, "half a track"));
    analyse(false);
    EXPECT_FALSE(Exists(temporary));
    TrackData data;
    EXPECT_TRUE(data.LoadFrom(song));
    // Redoing replaces an existing track only with a complete new one.
    ASSERT_TRUE(::Test::WriteText(track, "KPT0"));
    Ref<TrackGen> gen = analyse(true);
    EXPECT_TRUE(data.LoadFrom(song));
    EXPECT_EQ(gen->Times().size(), data.Time.size());
}

TEST(TrackData, SavesTheExactLayoutLoadsItBackAndRefusesBrokenFiles) {
    ::Test::TempDir dir;
    const std::string song = dir.File("a.ogg");
    TrackData data;
    data.Time = {0.0f, 1.5f};
    data.Flux = {{{1.0f, 2.0f, -0.5f}}, {{0.25f, 0.0f, 100.0f}}};
    data.Threshold = {{{3.0f, 4.0f, 5.0f}}, {{6.0f, 7.0f, 8.0f}}};
    ASSERT_TRUE(data.SaveTo(song));
    const std::vector<unsigned char> bytes = {
        'K',  'P',  'T',  '0',  2,    0,    0,    0,                            // magic, N
        0,    0,    0,    0,                                                    // Time 0
        0,    0,    0x80, 0x3f, 0,    0,    0,    0x40, 0,    0,    0,    0xbf,  // Flux 1, 2, -0.5
        0,    0,    0x40, 0x40, 0,    0,    0x80, 0x40, 0,    0,    0xa0, 0x40,  // Threshold 3, 4, 5
        0,    0,    0xc0, 0x3f,                                                 // Time 1.5
        0,    0,    0x80, 0x3e, 0,    0,    0,    0,    0,    0,    0xc8, 0x42,  // Flux 0.25, 0, 100
        0,    0,    0xc0, 0x40, 0,    0,    0xe0, 0x40, 0,    0,    0,    0x41,  // Threshold 6, 7, 8
    };
    EXPECT_EQ(bytes, ::Test::ReadFile(song + ".kpt"));
    TrackData loaded;
    loaded.Time = {9.0f};  // replaced, not appended to
    ASSERT_TRUE(loaded.LoadFrom(song));
    EXPECT_EQ(data.Time, loaded.Time);
    EXPECT_EQ(data.Flux, loaded.Flux);
    EXPECT_EQ(data.Threshold, loaded.Threshold);
    // No control points: an 8-byte file that loads as an empty track.
    ASSERT_TRUE(TrackData().SaveTo(dir.File("e.ogg")));
    EXPECT_EQ((std::vector<unsigned char>{'K', 'P', 'T', '0', 0, 0, 0, 0}), ::Test::ReadFile(dir.File("e.ogg.kpt")));
    ASSERT_TRUE(loaded.LoadFrom(dir.File("e.ogg")));
    EXPECT_TRUE(loaded.Time.empty() && loaded.Flux.empty() && loaded.Threshold.empty());
    // Lists of different lengths are not a track.
    TrackData uneven = data;
    uneven.Flux.pop_back();
    EXPECT_FALSE(uneven.SaveTo(dir.File("u.ogg")));
    EXPECT_FALSE(TrackGen::TrackExists(dir.File("u.ogg")));

    auto changed = [&](size_t at, std::vector<unsigned char> values) {
        std::vector<unsigned char> other = bytes;
        std::copy(values.begin(), values.end(), other.begin() + at);
        return other;
    };
    std::vector<unsigned char> longer = bytes;
    longer.push_back(0);
    const std::string header = "[E] LoadFrom: invalid header.", count = "[E] LoadFrom: cant read number of control points.";
    // Fewer records than announced fail silently, keeping what was read.
    const struct {
        std::vector<unsigned char> content;
        bool loads;
        std::string line;
        size_t kept;
    } cases[] = {
        {changed(3, {'1'}), false, header, 0},
        {{'k', 'P', 'T', '0', 0, 0, 0, 0}, false, header, 0},
        {{'K', 'P'}, false, header, 0},
        {{}, false, header, 0},
        {{'K', 'P', 'T', '0', 1, 0}, false, count, 0},
        {{'K', 'P', 'T', '0'}, false, count, 0},
        {std::vector<unsigned char>(bytes.begin(), bytes.begin() + 8 + 28 + 10), false, "", 1},
        {changed(4, {0xff, 0xff, 0xff, 0x7f}), false, "", 2},  // N = 2147483647
        {changed(7, {0xff}), true, "", 0},                     // a negative count: an empty track
        {longer, true, "", 2},                                 // extra bytes are ignored
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        ::Test::LogCapture log;
        const std::string broken = dir.File(std::to_string(i) + ".ogg");
        ASSERT_TRUE(::Test::WriteFile(broken + ".kpt", cases[i].content));
        EXPECT_EQ(cases[i].loads, loaded.LoadFrom(broken)) << i;
        EXPECT_EQ(cases[i].line.empty() ? std::vector<std::string>{} : std::vector<std::string>{cases[i].line},
                  log.Entries())
            << i;
        EXPECT_TRUE(!cases[i].line.empty() || cases[i].kept == loaded.Threshold.size()) << i;
    }
    ::Test::LogCapture log;
    EXPECT_FALSE(loaded.LoadFrom(dir.File("missing.ogg")));
    EXPECT_TRUE(log.Entries().empty());
}
