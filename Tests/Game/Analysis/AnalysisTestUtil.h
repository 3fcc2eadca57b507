// Analysis test helpers: noise and clicks, whole-song decoding, a decoder of programmed samples, a reference DFT.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "Music/MusicDecoderOGG.h"
#include "Memory/Memory.h"

namespace AnalysisTest {

// Uniform pseudo-random samples in [-amplitude, amplitude].
inline std::vector<int16_t> Noise(size_t count, unsigned seed, int amplitude) {
    std::vector<int16_t> samples(count);
    for (int16_t& sample : samples) {
        seed = seed * 1664525u + 1013904223u;
        sample = static_cast<int16_t>(static_cast<int>((seed >> 16) % (2 * amplitude + 1)) - amplitude);
    }
    return samples;
}

// Overwrites 64 samples at each position with loud noise: a broadband click.
inline void AddClicks(std::vector<int16_t>& pcm, const std::vector<size_t>& clicks, int amplitude = 20000) {
    for (size_t click : clicks) {
        const std::vector<int16_t> burst = Noise(64, static_cast<unsigned>(click), amplitude);
        for (size_t i = 0; i < burst.size() && click + i < pcm.size(); ++i) pcm[click + i] = burst[i];
    }
}

// Every sample the game's decoder yields for a song, read 1024 at a time.
inline std::vector<int16_t> DecodeAll(const std::string& path) {
    std::vector<int16_t> all;
    Meridian::Ref<Meridian::MusicDecoder> decoder = Meridian::New<Meridian::MusicDecoderOGG>();
    if (!decoder->Open(path)) return all;
    int16_t buffer[1024];
    while (int got = decoder->Read(buffer, 1024)) all.insert(all.end(), buffer, buffer + got);
    return all;
}

// Frames the analyser yields for a song of `samples` decoded samples.
inline size_t FrameCount(size_t samples) { return samples < 2048 ? 2 : 2 + 2 * ((samples - 2048) / 1024); }

// Serves a fixed list of mono samples at 44100 Hz, 1000 at a time.
class ListDecoder : public Meridian::MusicDecoder {
public:
    explicit ListDecoder(std::vector<int16_t> samples) : m_Samples(std::move(samples)), m_Next(0) {}
    bool Open(const std::string& path) override {
        m_Next = 0;
        return Start(path, 44100, 1);
    }
    Meridian::I64 LengthFrames() const override { return static_cast<Meridian::I64>(m_Samples.size()); }

protected:
    bool DecodeMore() override {
        if (m_Next >= m_Samples.size()) return false;
        const size_t n = std::min<size_t>(1000, m_Samples.size() - m_Next);
        Deliver(m_Samples.data() + m_Next, static_cast<Meridian::I32>(n));
        m_Next += n;
        return true;
    }

private:
    std::vector<int16_t> m_Samples;
    size_t m_Next;
};

// |sum trunc(x[n] w[n]) e^(-2 pi i k n / 1024)| / 1048576, k = 0 .. 511, over samples[start ..] (0 past
// the end), with the symmetric Hamming window computed here independently.
inline std::vector<double> ReferenceSpectrum(const std::vector<int16_t>& samples, size_t start) {
    const double pi = 3.14159265358979323846;
    static std::vector<double> cosine, sine;
    for (int n = static_cast<int>(cosine.size()); n < 1024; ++n) {
        cosine.push_back(std::cos(2.0 * pi * n / 1024.0));
        sine.push_back(std::sin(2.0 * pi * n / 1024.0));
    }
    std::vector<double> input(1024, 0.0), magnitude(512);
    for (size_t n = 0; n < 1024 && start + n < samples.size(); ++n)
        input[n] = std::trunc(samples[start + n] * (0.54 - 0.46 * std::cos(2.0 * pi * n / 1023.0)));
    for (int k = 0; k < 512; ++k) {
        double re = 0.0, im = 0.0;
        for (int n = 0; n < 1024; ++n) {
            re += input[n] * cosine[(k * n) & 1023];
            im -= input[n] * sine[(k * n) & 1023];
        }
        magnitude[k] = std::sqrt(re * re + im * im) / 1048576.0;
    }
    return magnitude;
}

}  // namespace AnalysisTest
