// SpectrumAnalyzer: turns a decoder's mono sample stream into magnitude
// spectra, a 1024-point transform of Hamming-windowed samples every 512
// samples, and gives the spectral flux of three frequency bands between the
// newest spectrum and the one before it.
//
// Depends on MusicDecoder and KISS FFT (float build; each real frame goes
// through one 512-point complex transform). Magnitudes are scaled to
// |sum of trunc(x[n] * w[n]) * e^(-2 pi i k n / 1024)| / 1048576, the values an
// integer transform that divides by 4 in each of its five stages would give.
// Buffers are allocated once at construction; Step allocates nothing. Main
// thread only.
#pragma once

#include <kissfft/kiss_fft.h>

#include <vector>

#include "Music/MusicDecoder.h"
#include "Core/Types.h"
#include "Memory/Memory.h"

class SpectrumAnalyzer {
public:
    static const Meridian::I32 FrameSize = 1024;
    static const Meridian::I32 HopSize = 512;
    static const Meridian::I32 HalfSize = FrameSize / 2;
    static const Meridian::I32 BinCount = 512;
    static const Meridian::I32 BandCount = 3;
    // Band b spans BandEdges[b] .. BandEdges[b + 1] Hz.
    static const Meridian::I32 BandEdges[BandCount + 1];

    // decoder must be open (asserted); the analyser keeps a reference to it and reads the
    // first 2048 samples at once (a shorter song leaves zeros at the end).
    explicit SpectrumAnalyzer(Meridian::MusicDecoder* decoder);
    virtual ~SpectrumAnalyzer();
    SpectrumAnalyzer(const SpectrumAnalyzer&) = delete;
    SpectrumAnalyzer& operator=(const SpectrumAnalyzer&) = delete;

    // Computes the next frame's spectrum. Frames start at samples 0, 512,
    // 1024, ...; returns false, leaving the spectra as they were, once the
    // next 1024-sample block cannot be read in full (and on every later call).
    bool Step();

    // Sum over the band's bins (edges included) of the rise in magnitude from
    // the previous to the newest spectrum; falls are ignored.
    Meridian::F32 BandFlux(Meridian::I32 band) const;

    // Bin index of a frequency in Hz, clamped to 0 .. 511.
    Meridian::I32 FrequencyBin(Meridian::I32 frequency) const;

    // BinCount magnitudes each; both are zero before the first Step.
    const Meridian::F32* NewestSpectrum() const { return m_Spectrum[m_Current].data(); }
    const Meridian::F32* PreviousSpectrum() const { return m_Spectrum[1 - m_Current].data(); }
    const Meridian::F32* Window() const { return m_Window.data(); }
    Meridian::F32 BinWidth() const { return m_BinWidth; }
    Meridian::MusicDecoder* Decoder() const { return m_Decoder; }

private:
    Meridian::Ref<Meridian::MusicDecoder> m_Decoder;
    std::vector<Meridian::I16> m_BlockA;  // the older 1024 samples
    std::vector<Meridian::I16> m_BlockB;  // the 1024 after them
    Meridian::I32 m_Position;             // where the next frame starts in m_BlockA
    std::vector<Meridian::F32> m_Window;
    kiss_fft_cfg m_Fft;  // 512 points: a real 1024-sample frame packed in pairs
    std::vector<kiss_fft_cpx> m_FftIn;
    std::vector<kiss_fft_cpx> m_FftOut;
    std::vector<kiss_fft_cpx> m_Twiddle;  // e^(-2 pi i k / 1024), k < 512
    std::vector<Meridian::F32> m_Spectrum[2];
    Meridian::I32 m_Current;  // bank holding the newest spectrum
    Meridian::F32 m_BinWidth;
    Meridian::I32 m_BandBins[BandCount + 1];
};
