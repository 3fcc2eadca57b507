#include "Music/MusicDecoderOGG.h"

#include <cstdio>
#include <cstring>

#include "Audio/OggVorbisCheck.h"
#include "Core/Log.h"
#include "Core/RegularFile.h"

namespace Meridian {

namespace {

const char* TremorError(int code) {
    switch (code) {
        case OV_EREAD: return "read error";
        case OV_ENOTVORBIS: return "not Ogg Vorbis data";
        case OV_EVERSION: return "unsupported Vorbis version";
        case OV_EBADHEADER: return "bad Vorbis header";
        default: return "cannot decode";
    }
}

}  // namespace

MusicDecoderOGG::MusicDecoderOGG() : m_StreamOpen(false), m_Length(-1) { std::memset(&m_Stream, 0, sizeof(m_Stream)); }

MusicDecoderOGG::~MusicDecoderOGG() { Release(); }

void MusicDecoderOGG::Release() {
    if (m_StreamOpen) ov_clear(&m_Stream);  // also closes the file
    m_StreamOpen = false;
    m_Length = -1;
    MusicDecoder::Release();
}

bool MusicDecoderOGG::Open(const std::string& song) {
    const std::string path = song;  // song may be this decoder's own Path(), which Release clears
    Release();
    // Never blocks: a FIFO or device with a song's name is refused unread.
    std::string why;
    FILE* file = OpenRegularFile(path, &why);
    if (!file) {
        Fail(why);
        return false;
    }
    const int opened = ov_open(file, &m_Stream, nullptr, 0);
    if (opened != 0) {
        // Tremor takes the file over only when it accepts it.
        std::fclose(file);
        Fail(TremorError(opened));
        return false;
    }
    m_StreamOpen = true;

    vorbis_info* info = ov_info(&m_Stream, -1);
    if (!info || info->channels < 1 || info->channels > MaxChannels) {
        Fail(info ? "unsupported channel count " + std::to_string(info->channels) : "no stream information",
             "ov_info failed.");
        Release();
        return false;
    }
    if (!Start(path, static_cast<I32>(info->rate), info->channels)) {
        Release();
        return false;
    }
    if (!OggVorbisSetupDecodes(&m_Stream)) {
        Fail("damaged Vorbis setup header", "MusicDecoderOGG::Open: damaged Vorbis setup header.");
        Release();
        return false;
    }
    const ogg_int64_t frames = ov_pcm_total(&m_Stream, -1);
    m_Length = frames < 0 ? -1 : static_cast<I64>(frames) * OutputRate / m_SourceRate;
    return true;
}

bool MusicDecoderOGG::DecodeMore() {
    if (!m_StreamOpen) return false;
    int section = 0;
    const long bytes = ov_read(&m_Stream, m_Scratch, ScratchBytes, &section);
    // End of stream or a decode error: the song ends here.
    if (bytes <= 0) return false;
    I16 pcm[ScratchBytes / 2];
    std::memcpy(pcm, m_Scratch, static_cast<size_t>(bytes));
    Deliver(pcm, static_cast<I32>(bytes / 2 / m_Channels));
    return true;
}

}  // namespace Meridian
