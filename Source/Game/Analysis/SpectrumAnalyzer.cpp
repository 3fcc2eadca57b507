#include "Analysis/SpectrumAnalyzer.h"

#include <cmath>
#include <utility>

#include "Core/Assert.h"

using namespace Meridian;

const I32 SpectrumAnalyzer::BandEdges[BandCount + 1] = {200, 2000, 5000, 18000};

SpectrumAnalyzer::SpectrumAnalyzer(MusicDecoder* decoder)
    : m_Decoder(decoder),
      m_BlockA(FrameSize, 0),
      m_BlockB(FrameSize, 0),
      m_Position(0),
      m_Window(FrameSize),
      m_Fft(kiss_fft_alloc(FrameSize, 0, nullptr, nullptr)),
      m_FftIn(FrameSize),
      m_FftOut(FrameSize),
      m_Current(1),
      m_BinWidth(0.0f) {
    MERIDIAN_ASSERT(decoder != nullptr);
    MERIDIAN_ASSERT(m_Fft != nullptr);
    // Symmetric Hamming window, in single precision.
    const F32 twoPi = 6.28318530717958647692f;
    for (I32 i = 0; i < FrameSize; ++i)
        m_Window[i] = 0.54f + -0.46f * std::cos(twoPi * static_cast<F32>(i) * (1.0f / 1023.0f));
    m_BinWidth = static_cast<F32>(decoder->Rate()) * 0.5f * (1.0f / 512.0f);
    m_Spectrum[0].assign(BinCount, 0.0f);
    m_Spectrum[1].assign(BinCount, 0.0f);
    for (I32 i = 0; i <= BandCount; ++i) m_BandBins[i] = FrequencyBin(BandEdges[i]);
    m_Decoder->Read(m_BlockA.data(), FrameSize);
    m_Decoder->Read(m_BlockB.data(), FrameSize);
}

SpectrumAnalyzer::~SpectrumAnalyzer() {
    kiss_fft_free(m_Fft);
    kiss_fft_cleanup();
}

I32 SpectrumAnalyzer::FrequencyBin(I32 frequency) const {
    const F32 rate = static_cast<F32>(m_Decoder->Rate());
    const F32 halfBin = 0.5f * m_BinWidth;
    const F32 f = static_cast<F32>(frequency);
    if (f < halfBin) return 0;
    if (f > rate * 0.5f - halfBin) return BinCount - 1;
    return static_cast<I32>(f / rate * 1024.0f);
}

bool SpectrumAnalyzer::Step() {
    if (m_Position >= FrameSize) {
        std::swap(m_BlockA, m_BlockB);
        if (m_Decoder->Read(m_BlockB.data(), FrameSize) < FrameSize) return false;
        m_Position -= FrameSize;
    }
    const I32 start = m_Position;
    m_Position += HopSize;
    m_Current = 1 - m_Current;

    // The frame is m_BlockA[start ..] followed by m_BlockB[.. start - 1]. Each
    // windowed sample is truncated to an integer before the transform.
    const I32 fromA = FrameSize - start;
    const I16* a = m_BlockA.data() + start;
    const I16* b = m_BlockB.data();
    const F32* window = m_Window.data();
    kiss_fft_cpx* in = m_FftIn.data();
    for (I32 i = 0; i < fromA; ++i) {
        in[i].r = static_cast<F32>(static_cast<I32>(static_cast<F32>(a[i]) * window[i]));
        in[i].i = 0.0f;
    }
    for (I32 i = fromA; i < FrameSize; ++i) {
        in[i].r = static_cast<F32>(static_cast<I32>(static_cast<F32>(b[i - fromA]) * window[i]));
        in[i].i = 0.0f;
    }
    kiss_fft(m_Fft, in, m_FftOut.data());

    // The float transform is unscaled: divide by 1024 for the transform and
    // by 1024 again for the magnitude step.
    const F32 scale = 1.0f / 1048576.0f;
    const kiss_fft_cpx* out = m_FftOut.data();
    F32* spectrum = m_Spectrum[m_Current].data();
    for (I32 k = 0; k < BinCount; ++k)
        spectrum[k] = std::sqrt(out[k].r * out[k].r + out[k].i * out[k].i) * scale;
    return true;
}

F32 SpectrumAnalyzer::BandFlux(I32 band) const {
    MERIDIAN_ASSERT(band >= 0 && band < BandCount);
    const I32 lo = m_BandBins[band];
    const I32 hi = m_BandBins[band + 1];
    const F32* newest = m_Spectrum[m_Current].data();
    const F32* previous = m_Spectrum[1 - m_Current].data();
    F32 sum = 0.0f;
    for (I32 k = lo; k <= hi; ++k) {
        F32 d = newest[k] - previous[k];
        sum += 0.5f * (d + std::fabs(d));
    }
    return sum;
}
