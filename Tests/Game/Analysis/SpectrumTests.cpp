// SpectrumAnalyzer against a direct DFT, on real songs and programmed samples.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "Analysis/SpectrumAnalyzer.h"
#include "AnalysisTestUtil.h"
#include "Support/OggFiles.h"
#include "Support/TestUtil.h"

using namespace Meridian;

namespace {

Ref<SpectrumAnalyzer> AnalyzerFor(const std::vector<int16_t>& samples) {
    Ref<MusicDecoder> decoder = New<AnalysisTest::ListDecoder>(samples);
    decoder->Open("list");
    return New<SpectrumAnalyzer>(decoder.Get());
}

// Counts the frames of a constant song, which shows no flux after its first frame (a constant lies below band 0).
int CountFrames(SpectrumAnalyzer* analyzer) {
    int frames = 0;
    for (; analyzer->Step(); ++frames)
        for (int b = 0; b < 3 && frames > 0; ++b) EXPECT_EQ(0.0f, analyzer->BandFlux(b)) << frames;
    return frames;
}

}  // namespace

TEST(SpectrumAnalyzer, BandEdgesFrameCountAndSilence) {
    Ref<SpectrumAnalyzer> analyzer = AnalyzerFor({});
    // Band edges, and rounding to the nearest bin clamped to 0 .. 511.
    const int bins[][2] = {{200, 4}, {2000, 46}, {5000, 116}, {18000, 417}, {21, 0},
                           {22, 0},  {44, 1},    {22029, 511}, {30000, 511}};
    for (const auto& bin : bins) EXPECT_EQ(bin[1], analyzer->FrequencyBin(bin[0])) << bin[0];
    // Construction reads two blocks; every further full block gives two frames, a partial block none.
    const int frames[][3] = {{0, 0, 2}, {100, 0, 2}, {2048, 0, 2}, {3071, 1, 2}, {3072, 1, 4}, {44100, 0, 84},
                             {44100, 12000, 84}};
    for (const auto& song : frames)
        EXPECT_EQ(song[2], CountFrames(AnalyzerFor(std::vector<int16_t>(song[0], song[1])))) << song[0];
    // The end is permanent and leaves the spectra alone.
    analyzer = AnalyzerFor(std::vector<int16_t>(2048, 5000));
    EXPECT_EQ(2, CountFrames(analyzer));
    std::vector<float> newest(analyzer->NewestSpectrum(), analyzer->NewestSpectrum() + 512);
    EXPECT_FALSE(analyzer->Step());
    EXPECT_TRUE(std::equal(newest.begin(), newest.end(), analyzer->NewestSpectrum()));
}

TEST(SpectrumAnalyzer, MatchesADirectTransformOfTheDecodedSong) {
    // A real song: noise bed, a tone that starts mid-song and clicks.
    ::Test::TempDir dir;
    std::vector<int16_t> pcm = AnalysisTest::Noise(44100 + 3000, 1, 128);
    ::Test::AddTone(pcm, 20000, pcm.size() - 20000, 3000.0, 9000.0);
    AnalysisTest::AddClicks(pcm, {5000, 30000, 40000}, 25000);
    const std::string song = dir.File("mix.ogg");
    ASSERT_TRUE(::Test::WriteOgg(song, pcm, 44100, 1));

    const std::vector<int16_t> decoded = AnalysisTest::DecodeAll(song);
    ASSERT_GE(decoded.size(), pcm.size());
    Ref<MusicDecoder> decoder = New<MusicDecoderOGG>();
    ASSERT_TRUE(decoder->Open(song));
    Ref<SpectrumAnalyzer> analyzer = New<SpectrumAnalyzer>(decoder.Get());
    decoder.Reset();  // the analyser keeps its own reference

    const int edges[4] = {4, 46, 116, 417};
    std::vector<double> previous(512, 0.0);
    size_t frame = 0;
    while (analyzer->Step()) {
        std::vector<double> expected = AnalysisTest::ReferenceSpectrum(decoded, frame * 512);
        const double tolerance = 2e-6 * *std::max_element(expected.begin(), expected.end()) + 2e-6;
        for (int k = 0; k < 512; ++k)
            ASSERT_NEAR(expected[k], analyzer->NewestSpectrum()[k], tolerance) << "frame " << frame << " bin " << k;
        for (int b = 0; b < 3; ++b) {
            double flux = 0.0;  // rises only
            for (int k = edges[b]; k <= edges[b + 1]; ++k) flux += std::max(expected[k] - previous[k], 0.0);
            EXPECT_NEAR(flux, analyzer->BandFlux(b), (edges[b + 1] - edges[b] + 1) * tolerance)
                << "frame " << frame << " band " << b;
        }
        previous = expected;
        ++frame;
    }
    EXPECT_EQ(AnalysisTest::FrameCount(decoded.size()), frame);
}
