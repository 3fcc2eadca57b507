#include "Music/MusicDecoder.h"

#include <cctype>
#include <cstring>

#include "Core/Log.h"
#include "Music/MusicDecoderOGG.h"
#include "Music/RateConverter.h"
#ifndef SKYRAIL_HANDHELD
#include "Music/MusicDecoderFFmpeg.h"
#endif

namespace Meridian {

namespace {

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// Floor of sum / count, for the mean of several channels.
I16 FloorMean(I32 sum, I32 count) {
    if (count == 2) return static_cast<I16>(sum >> 1);
    const I32 quotient = sum >= 0 ? sum / count : -((-sum + count - 1) / count);
    return static_cast<I16>(quotient);
}

}  // namespace

MusicDecoder::MusicDecoder()
    : m_Rate(0), m_Channels(0), m_SourceRate(0), m_OutputChannels(1), m_Logging(true), m_Ended(false),
      m_QueueStart(0) {}

MusicDecoder::~MusicDecoder() {}

void MusicDecoder::Release() {
    m_Rate = 0;
    m_Channels = 0;
    m_SourceRate = 0;
    m_Path.clear();
    m_Ended = false;
    m_Queue.clear();
    m_QueueStart = 0;
    m_Converter.reset();
}

void MusicDecoder::Fail(const std::string& reason, const std::string& line) {
    m_Failure = reason;
    if (m_Logging && !line.empty()) LogE() << line;
}

bool MusicDecoder::Start(const std::string& path, I32 sourceRate, I32 channels) {
    if (sourceRate != OutputRate) {
        m_Converter.reset(CreateRateConverter(sourceRate, OutputRate, m_OutputChannels));
        if (!m_Converter) {
            Fail("unsupported sample rate " + std::to_string(sourceRate) + " Hz",
                 "Invalid Rate: " + std::to_string(sourceRate));
            return false;
        }
    }
    m_Failure.clear();
    m_Rate = OutputRate;
    m_SourceRate = sourceRate;
    m_Channels = channels;
    m_Path = path;
    m_Ended = false;
    m_Queue.clear();
    m_QueueStart = 0;
    // One request plus the most one delivery can add.
    m_Queue.reserve(8192);
    return true;
}

void MusicDecoder::Deliver(const I16* pcm, I32 frames) {
    if (frames <= 0) return;
    const I32 in = m_Channels;
    const I32 out = m_OutputChannels;
    std::vector<I16>& target = m_Converter ? m_Mixed : m_Queue;
    if (m_Converter) m_Mixed.clear();
    const size_t queued = target.size();
    if (in == out) {
        target.insert(target.end(), pcm, pcm + static_cast<size_t>(frames) * in);
    } else if (out == 1) {
        target.resize(queued + static_cast<size_t>(frames));
        I16* to = target.data() + queued;
        for (I32 i = 0; i < frames; ++i) {
            I32 sum = 0;
            for (I32 c = 0; c < in; ++c) sum += pcm[i * in + c];
            to[i] = FloorMean(sum, in);
        }
    } else {
        target.resize(queued + static_cast<size_t>(frames) * 2);
        I16* to = target.data() + queued;
        for (I32 i = 0; i < frames; ++i) {
            to[2 * i] = pcm[i * in];
            to[2 * i + 1] = pcm[i * in + (in > 1 ? 1 : 0)];
        }
    }
    if (m_Converter) m_Converter->Convert(m_Mixed.data(), frames, m_Queue);
}

I32 MusicDecoder::Read(I16* buffer, I32 count) {
    if (m_Rate == 0 || count <= 0) return 0;
    const size_t wanted = static_cast<size_t>(count) * m_OutputChannels;
    while (m_Queue.size() - m_QueueStart < wanted && !m_Ended) {
        if (!DecodeMore()) {
            // Once the song has ended or failed it is not decoded again: after
            // some errors a decoder's state is not fit for another call.
            m_Ended = true;
            if (m_Converter) m_Converter->Flush(m_Queue);
        }
    }
    const size_t available = (m_Queue.size() - m_QueueStart) / m_OutputChannels;
    if (static_cast<size_t>(count) > available) count = static_cast<I32>(available);
    if (count == 0) return 0;
    const size_t samples = static_cast<size_t>(count) * m_OutputChannels;
    std::memcpy(buffer, m_Queue.data() + m_QueueStart, samples * sizeof(I16));
    m_QueueStart += samples;
    // Keep the queue short: move the rest to the front once half is handed out.
    if (m_QueueStart >= m_Queue.size() / 2) {
        m_Queue.erase(m_Queue.begin(), m_Queue.begin() + static_cast<std::ptrdiff_t>(m_QueueStart));
        m_QueueStart = 0;
    }
    return count;
}

std::string FileExtension(const std::string& path) {
    size_t slash = path.find_last_of('/');
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::string();
    return path.substr(dot);
}

const std::vector<std::string>& SongExtensions() {
#ifdef SKYRAIL_HANDHELD
    static const std::vector<std::string> extensions = {".ogg"};
#else
    static const std::vector<std::string> extensions = {".ogg", ".mp3", ".flac", ".opus", ".m4a", ".aac", ".wav"};
#endif
    return extensions;
}

bool IsSongPath(const std::string& path) {
    const std::string extension = FileExtension(path);
    for (const std::string& known : SongExtensions())
        if (EqualsIgnoringCase(extension, known)) return true;
    return false;
}

MusicDecoder* CreateDecoder(const std::string& path, bool logFailure) {
    const std::string extension = FileExtension(path);
    if (EqualsIgnoringCase(extension, ".ogg")) return New<MusicDecoderOGG>();
#ifndef SKYRAIL_HANDHELD
    if (IsSongPath(path)) return New<MusicDecoderFFmpeg>();
#endif
    if (logFailure) LogE() << "Could not create decoder for file type " << extension;
    return nullptr;
}

#ifdef SKYRAIL_HANDHELD
RateConverter* CreateRateConverter(I32, I32, I32) { return nullptr; }
#endif

}  // namespace Meridian
