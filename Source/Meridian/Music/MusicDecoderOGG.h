// MusicDecoderOGG: the MusicDecoder for Ogg Vorbis songs, on Tremor (the
// integer Ogg Vorbis decoder, libvorbisidec). See Music/MusicDecoder.h for
// the contract.
//
// Decodes a little at a time: each Read decodes 4096-byte chunks only until it
// can hand out the request, keeping the surplus queued. Songs of 1 to 8
// channels; at 44100 Hz on every build, at other rates (8 to 192 kHz) where
// the build converts rates (the desktop). A song whose setup header Tremor
// cannot build is refused by Open (see Audio/OggVorbisCheck.h). Tremor and
// libvorbis export the same names: nothing that links libvorbis/libvorbisenc
// may share the process.
//
// Log lines of Open: "ov_info failed." (no stream information, or an
// unsupported channel count), "Invalid Rate: " and the rate, and
// "MusicDecoderOGG::Open: damaged Vorbis setup header.".
#pragma once

#include <tremor/ivorbisfile.h>

#include "Music/MusicDecoder.h"

namespace Meridian {

class MusicDecoderOGG : public MusicDecoder {
    MERIDIAN_CLASS(MusicDecoderOGG, MusicDecoder)

    static const I32 ScratchBytes = 4096;

    MusicDecoderOGG();
    ~MusicDecoderOGG() override;

    bool Open(const std::string& path) override;
    I64 LengthFrames() const override { return m_Length; }

protected:
    bool DecodeMore() override;
    void Release() override;

private:
    bool m_StreamOpen;  // m_Stream owns the file once ov_open succeeded
    OggVorbis_File m_Stream;
    I64 m_Length;
    alignas(4) char m_Scratch[ScratchBytes];  // ov_read writes interleaved 16-bit PCM here
};

}  // namespace Meridian
