// MusicDecoderOGG: the MusicDecoder for Ogg Vorbis songs, on Tremor (the
// integer Ogg Vorbis decoder, libvorbisidec).
//
// Decodes a little at a time: each Read decodes 4096-byte chunks only until it
// can hand out the request, keeping the surplus in a queue. All instances
// share one static 4096-byte scratch area, so only one may decode at a time.
// Songs must be 44100 Hz, mono or stereo; a song whose setup header Tremor
// cannot build is refused by Open (see Audio/OggVorbisCheck.h). Tremor and libvorbis export the
// same names: nothing that links libvorbis/libvorbisenc may share the process.
#pragma once

#include <tremor/ivorbisfile.h>

#include <vector>

#include "Analysis/MusicDecoder.h"

class MusicDecoderOGG : public MusicDecoder {
    MERIDIAN_CLASS(MusicDecoderOGG, MusicDecoder)

    MusicDecoderOGG();
    ~MusicDecoderOGG() override;

    bool Open(const std::string& path) override;
    Meridian::I32 Read(Meridian::I16* buffer, Meridian::I32 count) override;

private:
    void Release();

    bool m_StreamOpen;             // m_Stream owns the file once ov_open succeeded
    bool m_StreamEnded;            // ov_read reported the end or an error
    OggVorbis_File m_Stream;
    std::vector<Meridian::I16> m_Queue;  // decoded mono samples not yet handed out, oldest first
};
