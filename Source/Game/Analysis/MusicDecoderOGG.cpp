#include "Analysis/MusicDecoderOGG.h"

#include <cstdio>
#include <cstring>

#include "Audio/OggVorbisCheck.h"
#include "Core/Log.h"
#include "Core/RegularFile.h"

using namespace Meridian;

namespace {

const I32 ScratchBytes = 4096;
const I32 SongRate = 44100;

// Shared by every decoder: ov_read writes interleaved 16-bit PCM here.
alignas(4) char s_Scratch[ScratchBytes];

}  // namespace

MusicDecoderOGG::MusicDecoderOGG() : m_StreamOpen(false), m_StreamEnded(false) {
    std::memset(&m_Stream, 0, sizeof(m_Stream));
    // One request plus the most one ov_read can add (mono: 2048 samples).
    m_Queue.reserve(4096);
}

MusicDecoderOGG::~MusicDecoderOGG() { Release(); }

void MusicDecoderOGG::Release() {
    if (m_StreamOpen) ov_clear(&m_Stream);  // also closes the file
    m_StreamOpen = false;
    m_StreamEnded = false;
    m_Queue.clear();
    m_Rate = 0;
    m_Channels = 0;
    m_Path.clear();
}

bool MusicDecoderOGG::Open(const std::string& path) {
    Release();
    // Never blocks: a FIFO or device with a song's name is refused unread.
    FILE* file = OpenRegularFile(path);
    if (!file) return false;
    if (ov_open(file, &m_Stream, nullptr, 0) != 0) {
        // Tremor takes the file over only when it accepts it.
        std::fclose(file);
        return false;
    }
    m_StreamOpen = true;

    vorbis_info* info = ov_info(&m_Stream, -1);
    if (!info || (info->channels != 1 && info->channels != 2)) {
        LogE() << "ov_info failed.";
        return false;
    }
    if (info->rate != SongRate) {
        LogE() << "Invalid Rate: " << static_cast<I64>(info->rate);
        return false;
    }
    if (!OggVorbisSetupDecodes(&m_Stream)) {
        LogE() << "MusicDecoderOGG::Open: damaged Vorbis setup header.";
        Release();
        return false;
    }
    m_Rate = SongRate;
    m_Channels = info->channels;
    m_Path = path;
    return true;
}

I32 MusicDecoderOGG::Read(I16* buffer, I32 count) {
    if (!m_StreamOpen || m_Channels == 0 || count <= 0) return 0;
    while (static_cast<I32>(m_Queue.size()) < count) {
        int section = 0;
        // Once ov_read has reported the end or an error it is not asked
        // again: after some errors its state is not fit for another call.
        const long bytes = m_StreamEnded ? 0 : ov_read(&m_Stream, s_Scratch, ScratchBytes, &section);
        if (bytes <= 0) {
            // End of stream or a decode error: the song ends here.
            m_StreamEnded = true;
            if (static_cast<I32>(m_Queue.size()) < count) count = static_cast<I32>(m_Queue.size());
            break;
        }
        const I32 samples = static_cast<I32>(bytes / 2);
        I16 pcm[ScratchBytes / 2];
        std::memcpy(pcm, s_Scratch, static_cast<size_t>(samples) * 2);
        const size_t queued = m_Queue.size();
        if (m_Channels == 1) {
            m_Queue.insert(m_Queue.end(), pcm, pcm + samples);
        } else {
            const I32 frames = samples / 2;
            m_Queue.resize(queued + static_cast<size_t>(frames));
            I16* out = m_Queue.data() + queued;
            for (I32 i = 0; i < frames; ++i)
                out[i] = static_cast<I16>((static_cast<I32>(pcm[2 * i]) + pcm[2 * i + 1]) >> 1);
        }
    }
    if (count == 0) return 0;
    std::memcpy(buffer, m_Queue.data(), static_cast<size_t>(count) * sizeof(I16));
    m_Queue.erase(m_Queue.begin(), m_Queue.begin() + count);
    return count;
}
