// Songs in other formats and at other rates: the same music must give the same course whatever file holds it.
#include <gtest/gtest.h>
#include <tremor/ivorbisfile.h>

#include <cmath>
#include <cstdio>

#include "Support/OggFiles.h"
#include "Support/SongFiles.h"
#include "Support/TestUtil.h"

namespace {

// Analysis frames where a band's flux peaks above its threshold.
std::vector<size_t> Onsets(const TrackData& data, int band) {
    std::vector<size_t> onsets;
    for (size_t i = 1; i + 1 < data.Time.size(); ++i) {
        const float flux = data.Flux[i][band];
        if (flux > data.Threshold[i][band] && flux >= data.Flux[i - 1][band] && flux > data.Flux[i + 1][band])
            onsets.push_back(i);
    }
    return onsets;
}

// Share of the onsets in a that have one in b at most one frame away.
double Agreement(const std::vector<size_t>& a, const std::vector<size_t>& b) {
    size_t matched = 0;
    for (size_t onset : a)
        for (size_t other : b)
            if (other + 1 >= onset && other <= onset + 1) {
                ++matched;
                break;
            }
    return a.empty() ? 0.0 : static_cast<double>(matched) / static_cast<double>(a.size());
}

}  // namespace

// A lossless FLAC of the samples Tremor decodes from an Ogg song: the same samples, so the same course.
TEST(SongFormats, FlacOfADecodedOggSongGivesItsTrackData) {
    ::Test::TempDir dir;
    const std::string ogg = dir.File("song.ogg"), flac = dir.File("song.flac");
    const std::vector<int16_t> left = ::Test::ClickSong(4.0, 44100, 3), right = ::Test::ClickSong(4.0, 44100, 9);
    ASSERT_TRUE(::Test::WriteOgg(ogg, ::Test::Interleave(left, right), 44100, 2));
    std::vector<int16_t> decoded;
    OggVorbis_File stream;
    ASSERT_EQ(0, ov_open(std::fopen(ogg.c_str(), "rb"), &stream, nullptr, 0));
    char buffer[4096];
    int section = 0;
    long bytes;
    while ((bytes = ov_read(&stream, buffer, sizeof buffer, &section)) > 0)
        decoded.insert(decoded.end(), reinterpret_cast<int16_t*>(buffer), reinterpret_cast<int16_t*>(buffer + bytes));
    ov_clear(&stream);
    ASSERT_TRUE(::Test::WriteSong(flac, decoded, 44100, 2, "-c:a flac"));

    TrackData fromOgg, fromFlac;
    ASSERT_TRUE(::Test::Analyse(ogg, fromOgg));
    ASSERT_TRUE(::Test::Analyse(flac, fromFlac));
    ASSERT_EQ(fromOgg.Time, fromFlac.Time);
    for (size_t i = 0; i < fromOgg.Time.size(); ++i)
        for (int b = 0; b < 3; ++b) {
            ASSERT_NEAR(fromOgg.Flux[i][b], fromFlac.Flux[i][b], 1e-5f * (1.0f + fromOgg.Flux[i][b])) << i;
            ASSERT_NEAR(fromOgg.Threshold[i][b], fromFlac.Threshold[i][b], 1e-5f * (1.0f + fromOgg.Threshold[i][b]));
        }
}

// The same music at 48 kHz and 44.1 kHz: onsets agree on 95 % within one frame, in every band, both ways round.
TEST(SongFormats, OnsetsAt48kHzAgreeWithThoseAt44100Hz) {
    ::Test::TempDir dir;
    const std::string at44 = dir.File("44.flac"), at48 = dir.File("48.flac");
    ASSERT_TRUE(::Test::WriteSong(at44, ::Test::ClickSong(10.0, 44100), 44100, 1, "-c:a flac"));
    ASSERT_TRUE(::Test::WriteSong(at48, ::Test::ClickSong(10.0, 48000), 48000, 1, "-c:a flac"));
    TrackData a, b;
    ASSERT_TRUE(::Test::Analyse(at44, a));
    ASSERT_TRUE(::Test::Analyse(at48, b));
    EXPECT_NEAR(static_cast<double>(a.Time.size()), static_cast<double>(b.Time.size()), 2.0);
    for (int band = 0; band < 3; ++band) {
        const std::vector<size_t> onsets44 = Onsets(a, band), onsets48 = Onsets(b, band);
        EXPECT_GE(onsets44.size(), 35u) << band;  // 40 clicks
        EXPECT_GE(Agreement(onsets44, onsets48), 0.95) << band;
        EXPECT_GE(Agreement(onsets48, onsets44), 0.95) << band;
    }
}
