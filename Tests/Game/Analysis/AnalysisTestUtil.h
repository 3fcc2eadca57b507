// Helpers shared by the analysis tests: whole-song decoding, a decoder that
// serves programmed samples, and a direct (double precision) DFT that the
// analyser's transform is checked against.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "Analysis/MusicDecoderOGG.h"
#include "Memory/Memory.h"
#include "Support/TestUtil.h"

namespace AnalysisTest {

// The captured log's lines without the start banner.
inline std::vector<std::string> LoggedLines(const ::Test::LogCapture& log) {
    std::vector<std::string> lines;
    for (const std::string& line : log.Lines())
        if (line.compare(0, 5, "---- ") != 0) lines.push_back(line);
    return lines;
}

// Every sample the game's decoder yields for a song, read 1024 at a time.
inline std::vector<int16_t> DecodeAll(const std::string& path) {
    std::vector<int16_t> all;
    Meridian::Ref<MusicDecoder> decoder = Meridian::New<MusicDecoderOGG>();
    if (!decoder->Open(path)) return all;
    int16_t buffer[1024];
    while (int got = decoder->Read(buffer, 1024)) all.insert(all.end(), buffer, buffer + got);
    return all;
}

// Serves a fixed list of mono samples at 44100 Hz.
class ListDecoder : public MusicDecoder {
public:
    explicit ListDecoder(std::vector<int16_t> samples) : m_Samples(std::move(samples)), m_Next(0) {}
    bool Open(const std::string& path) override {
        m_Rate = 44100;
        m_Channels = 1;
        m_Path = path;
        return true;
    }
    Meridian::I32 Read(Meridian::I16* buffer, Meridian::I32 count) override {
        Meridian::I32 n = 0;
        while (n < count && m_Next < m_Samples.size()) buffer[n++] = m_Samples[m_Next++];
        return n;
    }

private:
    std::vector<int16_t> m_Samples;
    size_t m_Next;
};

// |sum trunc(x[n] * w[n]) e^(-2 pi i k n / 1024)| / 1048576 for k = 0 .. 511,
// with the symmetric Hamming window computed here independently.
class ReferenceSpectrum {
public:
    ReferenceSpectrum() : m_Cos(1024), m_Sin(1024), m_Window(1024) {
        const double pi = 3.14159265358979323846;
        for (int n = 0; n < 1024; ++n) {
            m_Cos[n] = std::cos(2.0 * pi * n / 1024.0);
            m_Sin[n] = std::sin(2.0 * pi * n / 1024.0);
            m_Window[n] = 0.54 - 0.46 * std::cos(2.0 * pi * n / 1023.0);
        }
    }

    // The frame of samples[start .. start + 1023]; missing samples count as 0.
    std::vector<double> Frame(const std::vector<int16_t>& samples, size_t start) const {
        std::vector<double> input(1024, 0.0);
        for (int n = 0; n < 1024; ++n)
            if (start + n < samples.size()) input[n] = std::trunc(samples[start + n] * m_Window[n]);
        std::vector<double> magnitude(512);
        for (int k = 0; k < 512; ++k) {
            double re = 0.0, im = 0.0;
            for (int n = 0; n < 1024; ++n) {
                int at = (k * n) & 1023;
                re += input[n] * m_Cos[at];
                im -= input[n] * m_Sin[at];
            }
            magnitude[k] = std::sqrt(re * re + im * im) / 1048576.0;
        }
        return magnitude;
    }

private:
    std::vector<double> m_Cos, m_Sin, m_Window;
};

// Flux of the bins lo .. hi between two spectra.
inline double ReferenceFlux(const std::vector<double>& newest, const std::vector<double>& previous, int lo, int hi) {
    double sum = 0.0;
    for (int k = lo; k <= hi; ++k) sum += std::max(newest[k] - previous[k], 0.0);
    return sum;
}

}  // namespace AnalysisTest
