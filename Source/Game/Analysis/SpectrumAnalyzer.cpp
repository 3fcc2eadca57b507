#include "Analysis/SpectrumAnalyzer.h"

#include <cmath>
#include <cstring>
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
      m_Fft(kiss_fft_alloc(HalfSize, 0, nullptr, nullptr)),
      m_FftIn(HalfSize),
      m_FftOut(HalfSize),
      m_Twiddle(HalfSize),
      m_Current(1),
      m_BinWidth(0.0f) {
    MERIDIAN_ASSERT(decoder != nullptr && decoder->Rate() > 0);
    MERIDIAN_ASSERT(m_Fft != nullptr);
    // Symmetric Hamming window, in single precision.
    const F32 twoPi = 6.28318530717958647692f;
    for (I32 i = 0; i < FrameSize; ++i)
        m_Window[i] = 0.54f + -0.46f * std::cos(twoPi * static_cast<F32>(i) * (1.0f / 1023.0f));
    for (I32 k = 0; k < HalfSize; ++k) {
        const double angle = -2.0 * 3.14159265358979323846 * k / FrameSize;
        m_Twiddle[k].r = static_cast<F32>(std::cos(angle));
        m_Twiddle[k].i = static_cast<F32>(std::sin(angle));
    }
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
    // windowed sample is truncated to an integer before the transform. The
    // real frame is transformed as 512 complex points (even samples real, odd
    // samples imaginary), which takes half the work of a 1024-point transform;
    // the 1024-point spectrum is then recovered from it below.
    I16 frame[FrameSize];
    std::memcpy(frame, m_BlockA.data() + start, sizeof(I16) * (FrameSize - start));
    std::memcpy(frame + (FrameSize - start), m_BlockB.data(), sizeof(I16) * start);
    const F32* window = m_Window.data();
    kiss_fft_cpx* in = m_FftIn.data();
    for (I32 n = 0; n < HalfSize; ++n) {
        in[n].r = static_cast<F32>(static_cast<I32>(static_cast<F32>(frame[2 * n]) * window[2 * n]));
        in[n].i = static_cast<F32>(static_cast<I32>(static_cast<F32>(frame[2 * n + 1]) * window[2 * n + 1]));
    }
    kiss_fft(m_Fft, in, m_FftOut.data());

    // With Z the 512-point transform, E[k] = (Z[k] + conj Z[512 - k]) / 2 is
    // the transform of the even samples, O[k] = (Z[k] - conj Z[512 - k]) / 2i
    // that of the odd ones, and X[k] = E[k] + e^(-2 pi i k / 1024) O[k].
    // X is unscaled: divide by 1024 for the transform and by 1024 again for
    // the magnitude step.
    const F32 scale = 1.0f / 1048576.0f;
    const kiss_fft_cpx* z = m_FftOut.data();
    const kiss_fft_cpx* twiddle = m_Twiddle.data();
    F32* spectrum = m_Spectrum[m_Current].data();
    for (I32 k = 0; k < HalfSize; ++k) {
        const kiss_fft_cpx a = z[k];
        const kiss_fft_cpx b = z[(HalfSize - k) & (HalfSize - 1)];
        const F32 evenR = 0.5f * (a.r + b.r), evenI = 0.5f * (a.i - b.i);
        const F32 oddR = 0.5f * (a.i + b.i), oddI = -0.5f * (a.r - b.r);
        const F32 re = evenR + twiddle[k].r * oddR - twiddle[k].i * oddI;
        const F32 im = evenI + twiddle[k].r * oddI + twiddle[k].i * oddR;
        spectrum[k] = std::sqrt(re * re + im * im) * scale;
    }
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
