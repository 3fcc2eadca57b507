// SpectrumAnalyzer against a direct DFT, on real songs and programmed samples.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "Analysis/SpectrumAnalyzer.h"
#include "AnalysisTestUtil.h"
#include "Support/OggFiles.h"
#include "Support/TestUtil.h"

using namespace Meridian;
using AnalysisTest::ListDecoder;
using AnalysisTest::ReferenceFlux;
using AnalysisTest::ReferenceSpectrum;

namespace {

Ref<SpectrumAnalyzer> AnalyzerFor(const std::vector<int16_t>& samples) {
    Ref<MusicDecoder> decoder = New<ListDecoder>(samples);
    decoder->Open("list");
    return New<SpectrumAnalyzer>(decoder.Get());
}

int CountFrames(SpectrumAnalyzer* analyzer) {
    int frames = 0;
    while (analyzer->Step()) ++frames;
    return frames;
}

}  // namespace

TEST(SpectrumAnalyzer, WindowBinsAndBandEdges) {
    Ref<SpectrumAnalyzer> analyzer = AnalyzerFor({});
    EXPECT_FLOAT_EQ(43.06640625f, analyzer->BinWidth());
    EXPECT_EQ(4, analyzer->FrequencyBin(200));
    EXPECT_EQ(46, analyzer->FrequencyBin(2000));
    EXPECT_EQ(116, analyzer->FrequencyBin(5000));
    EXPECT_EQ(417, analyzer->FrequencyBin(18000));
    EXPECT_EQ(0, analyzer->FrequencyBin(21));     // below half a bin
    EXPECT_EQ(0, analyzer->FrequencyBin(22));     // 0.51 bins, truncated
    EXPECT_EQ(1, analyzer->FrequencyBin(44));
    EXPECT_EQ(511, analyzer->FrequencyBin(22029));  // above Nyquist minus half a bin
    EXPECT_EQ(511, analyzer->FrequencyBin(30000));
    const double pi = 3.14159265358979323846;
    for (int i = 0; i < 1024; ++i)
        EXPECT_NEAR(0.54 - 0.46 * std::cos(2.0 * pi * i / 1023.0), analyzer->Window()[i], 1e-6) << i;
    EXPECT_FLOAT_EQ(analyzer->Window()[0], analyzer->Window()[1023]);
    for (int k = 0; k < 512; ++k) {
        EXPECT_EQ(0.0f, analyzer->NewestSpectrum()[k]);
        EXPECT_EQ(0.0f, analyzer->PreviousSpectrum()[k]);
    }
}

TEST(SpectrumAnalyzer, FramesEvery512SamplesAndNoPartialBlock) {
    // Construction reads two blocks; every further full block gives two frames.
    EXPECT_EQ(2, CountFrames(AnalyzerFor(std::vector<int16_t>(2048, 1))));
    EXPECT_EQ(2, CountFrames(AnalyzerFor(std::vector<int16_t>(3071, 1))));
    EXPECT_EQ(4, CountFrames(AnalyzerFor(std::vector<int16_t>(3072, 1))));
    EXPECT_EQ(2, CountFrames(AnalyzerFor(std::vector<int16_t>(100, 1))));
    EXPECT_EQ(2, CountFrames(AnalyzerFor({})));

    // The end is permanent and leaves the spectra alone.
    Ref<SpectrumAnalyzer> analyzer = AnalyzerFor(std::vector<int16_t>(2048, 5000));
    EXPECT_TRUE(analyzer->Step());
    EXPECT_TRUE(analyzer->Step());
    std::vector<float> newest(analyzer->NewestSpectrum(), analyzer->NewestSpectrum() + 512);
    EXPECT_FALSE(analyzer->Step());
    EXPECT_FALSE(analyzer->Step());
    EXPECT_TRUE(std::equal(newest.begin(), newest.end(), analyzer->NewestSpectrum()));
}

TEST(SpectrumAnalyzer, SilenceAndDirectCurrentGiveNoFlux) {
    Ref<SpectrumAnalyzer> silent = AnalyzerFor(std::vector<int16_t>(44100, 0));
    while (silent->Step()) {
        for (int k = 0; k < 512; ++k) ASSERT_EQ(0.0f, silent->NewestSpectrum()[k]);
        for (int b = 0; b < 3; ++b) ASSERT_EQ(0.0f, silent->BandFlux(b));
    }

    Ref<SpectrumAnalyzer> dc = AnalyzerFor(std::vector<int16_t>(44100, 12000));
    ASSERT_TRUE(dc->Step());
    const float* first = dc->NewestSpectrum();
    EXPECT_GT(first[0], 100.0f * first[4]);  // energy sits at bin 0, below band 0
    int frames = 1;
    while (dc->Step()) {
        ++frames;
        for (int b = 0; b < 3; ++b) ASSERT_EQ(0.0f, dc->BandFlux(b)) << "frame " << frames << " band " << b;
    }
    EXPECT_EQ(84, frames);
}

TEST(SpectrumAnalyzer, ToneOnsetRaisesOnlyBand0OnceItStarts) {
    // 1 kHz from sample 8192 on: frames starting before 7168 see none of it.
    std::vector<int16_t> samples(44100, 0);
    ::Test::AddTone(samples, 8192, samples.size() - 8192, 1000.0, 10000.0);
    Ref<SpectrumAnalyzer> analyzer = AnalyzerFor(samples);
    for (int frame = 0; analyzer->Step(); ++frame) {
        const int start = frame * 512;
        const float band0 = analyzer->BandFlux(0);
        if (start + 1024 <= 8192) {
            EXPECT_EQ(0.0f, band0) << frame;
        } else if (start <= 8192) {
            EXPECT_GT(band0, 1.0f) << frame;  // the tone enters the frame
        } else {
            EXPECT_LT(band0, 0.2f) << frame;  // steady tone: only phase wobble
        }
        if (start >= 8192) {
            EXPECT_LT(analyzer->BandFlux(1), 0.2f) << frame;
            EXPECT_LT(analyzer->BandFlux(2), 0.2f) << frame;
        }
    }
    const int peak = static_cast<int>(std::max_element(analyzer->NewestSpectrum(), analyzer->NewestSpectrum() + 512) -
                                      analyzer->NewestSpectrum());
    EXPECT_EQ(23, peak);
}

TEST(SpectrumAnalyzer, MatchesADirectTransformOfTheDecodedSong) {
    // A real song: noise bed, a tone that starts mid-song and clicks.
    ::Test::TempDir dir;
    std::vector<int16_t> pcm(44100 + 3000, 0);
    unsigned seed = 1;
    for (int16_t& sample : pcm) {
        seed = seed * 1664525u + 1013904223u;
        sample = static_cast<int16_t>(static_cast<int>(seed >> 24) - 128);
    }
    ::Test::AddTone(pcm, 20000, pcm.size() - 20000, 3000.0, 9000.0);
    for (size_t click : {5000u, 30000u, 40000u})
        for (size_t i = 0; i < 40; ++i) {
            seed = seed * 1664525u + 1013904223u;
            pcm[click + i] = static_cast<int16_t>(static_cast<int>(seed >> 16) % 50001 - 25000);
        }
    const std::string song = dir.File("mix.ogg");
    ASSERT_TRUE(::Test::WriteOgg(song, pcm, 44100, 1));

    const std::vector<int16_t> decoded = AnalysisTest::DecodeAll(song);
    ASSERT_GE(decoded.size(), pcm.size());
    Ref<MusicDecoder> decoder = New<MusicDecoderOGG>();
    ASSERT_TRUE(decoder->Open(song));
    Ref<SpectrumAnalyzer> analyzer = New<SpectrumAnalyzer>(decoder.Get());
    decoder.Reset();  // the analyser keeps its own reference

    ReferenceSpectrum reference;
    const int edges[4] = {4, 46, 116, 417};
    std::vector<double> previous(512, 0.0);
    size_t frame = 0;
    while (analyzer->Step()) {
        std::vector<double> expected = reference.Frame(decoded, frame * 512);
        const double peak = *std::max_element(expected.begin(), expected.end());
        for (int k = 0; k < 512; ++k) {
            const double error = std::fabs(analyzer->NewestSpectrum()[k] - expected[k]);
            ASSERT_LE(error, 2e-6 * peak + 2e-6) << "frame " << frame << " bin " << k;
        }
        for (int b = 0; b < 3; ++b) {
            const double flux = ReferenceFlux(expected, previous, edges[b], edges[b + 1]);
            const double bins = edges[b + 1] - edges[b] + 1;
            EXPECT_NEAR(flux, analyzer->BandFlux(b), bins * (2e-6 * peak + 2e-6)) << "frame " << frame << " band " << b;
        }
        previous = expected;
        ++frame;
    }
    EXPECT_EQ(2 + 2 * ((decoded.size() - 2048) / 1024), frame);
}
