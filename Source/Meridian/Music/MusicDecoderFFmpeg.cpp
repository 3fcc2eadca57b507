#include "Music/MusicDecoderFFmpeg.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <cstdio>

#include "Core/Log.h"
#include "Core/RegularFile.h"

namespace Meridian {

namespace {

// Packets in a row that may fail to decode before the song counts as ended.
const I32 MaxBadPackets = 64;
const I32 MinRate = 8000;
const I32 MaxRate = 192000;

void QuietFFmpeg() {
    static bool quiet = false;
    if (!quiet) av_log_set_level(AV_LOG_QUIET);
    quiet = true;
}

}  // namespace

MusicDecoderFFmpeg::MusicDecoderFFmpeg()
    : m_Format(nullptr),
      m_Codec(nullptr),
      m_Packet(nullptr),
      m_Frame(nullptr),
      m_Convert(nullptr),
      m_Stream(-1),
      m_FrameFormat(-1),
      m_BadPackets(0),
      m_Draining(false),
      m_Length(-1) {}

MusicDecoderFFmpeg::~MusicDecoderFFmpeg() { Release(); }

void MusicDecoderFFmpeg::Release() {
    swr_free(&m_Convert);
    av_frame_free(&m_Frame);
    av_packet_free(&m_Packet);
    avcodec_free_context(&m_Codec);
    avformat_close_input(&m_Format);
    m_Stream = -1;
    m_FrameFormat = -1;
    m_BadPackets = 0;
    m_Draining = false;
    m_Length = -1;
    MusicDecoder::Release();
}

bool MusicDecoderFFmpeg::Open(const std::string& song) {
    const std::string path = song;  // song may be this decoder's own Path(), which Release clears
    Release();
    QuietFFmpeg();
    // Checked first: opening a FIFO would block.
    std::string why;
    FILE* file = OpenRegularFile(path, &why);
    if (!file) {
        Fail(why);
        return false;
    }
    std::fclose(file);

    auto refuse = [&](const std::string& reason) {
        Fail(reason, "MusicDecoderFFmpeg::Open: " + reason + ".");
        Release();
        return false;
    };
    if (avformat_open_input(&m_Format, path.c_str(), nullptr, nullptr) < 0) return refuse("not a sound file");
    if (avformat_find_stream_info(m_Format, nullptr) < 0) return refuse("no stream information");
    const AVCodec* codec = nullptr;
    const int stream = av_find_best_stream(m_Format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (stream == AVERROR_STREAM_NOT_FOUND) return refuse("no audio stream");
    if (stream < 0 || !codec) return refuse("no decoder for its audio");
    m_Stream = stream;
    const AVStream* audio = m_Format->streams[stream];
    m_Codec = avcodec_alloc_context3(codec);
    if (!m_Codec || avcodec_parameters_to_context(m_Codec, audio->codecpar) < 0) return refuse("cannot decode its audio");
    m_Codec->pkt_timebase = audio->time_base;
    if (avcodec_open2(m_Codec, codec, nullptr) < 0) return refuse("cannot decode its audio");

    const I32 rate = m_Codec->sample_rate;
    const I32 channels = m_Codec->ch_layout.nb_channels;
    if (channels < 1 || channels > MaxChannels) return refuse("unsupported channel count " + std::to_string(channels));
    if (rate < MinRate || rate > MaxRate) return refuse("unsupported sample rate " + std::to_string(rate) + " Hz");
    m_Packet = av_packet_alloc();
    m_Frame = av_frame_alloc();
    if (!m_Packet || !m_Frame) return refuse("out of memory");
    if (!Start(path, rate, channels)) return refuse(FailureReason());

    if (audio->duration != AV_NOPTS_VALUE && audio->duration > 0)
        m_Length = av_rescale_q(audio->duration, audio->time_base, AVRational{1, OutputRate});
    else if (m_Format->duration != AV_NOPTS_VALUE && m_Format->duration > 0)
        m_Length = av_rescale(m_Format->duration, OutputRate, AV_TIME_BASE);
    return true;
}

bool MusicDecoderFFmpeg::DeliverFrame() {
    const I32 frames = m_Frame->nb_samples;
    // A stream that changes its shape midway keeps only the part that fits.
    if (m_Frame->ch_layout.nb_channels != m_Channels || m_Frame->sample_rate != m_SourceRate) return true;
    if (m_Frame->format == AV_SAMPLE_FMT_S16) {
        Deliver(reinterpret_cast<const I16*>(m_Frame->data[0]), frames);
        return true;
    }
    if (!m_Convert || m_FrameFormat != m_Frame->format) {
        swr_free(&m_Convert);
        AVChannelLayout layout;
        av_channel_layout_default(&layout, m_Channels);
        const AVSampleFormat format = static_cast<AVSampleFormat>(m_Frame->format);
        if (swr_alloc_set_opts2(&m_Convert, &layout, AV_SAMPLE_FMT_S16, m_SourceRate, &layout, format, m_SourceRate, 0,
                                nullptr) < 0 ||
            swr_init(m_Convert) < 0) {
            av_channel_layout_uninit(&layout);
            return false;
        }
        av_channel_layout_uninit(&layout);
        m_FrameFormat = m_Frame->format;
    }
    m_Pcm.resize(static_cast<size_t>(frames) * m_Channels);
    uint8_t* out = reinterpret_cast<uint8_t*>(m_Pcm.data());
    const int converted =
        swr_convert(m_Convert, &out, frames, const_cast<const uint8_t**>(m_Frame->extended_data), frames);
    if (converted < 0) return false;
    Deliver(m_Pcm.data(), converted);
    return true;
}

bool MusicDecoderFFmpeg::DecodeMore() {
    if (!m_Codec) return false;
    // First what the decoder already holds, then one more packet.
    int result = avcodec_receive_frame(m_Codec, m_Frame);
    if (result == 0) {
        m_BadPackets = 0;
        const bool delivered = DeliverFrame();
        av_frame_unref(m_Frame);
        return delivered;
    }
    if (result == AVERROR_EOF) return false;
    if (result != AVERROR(EAGAIN) && ++m_BadPackets > MaxBadPackets) return false;
    if (m_Draining) return result != AVERROR(EAGAIN);
    for (;;) {
        result = av_read_frame(m_Format, m_Packet);
        if (result < 0) {
            // The end of the file, or a read error: what the decoder holds still comes out.
            m_Draining = true;
            avcodec_send_packet(m_Codec, nullptr);
            return true;
        }
        if (m_Packet->stream_index == m_Stream) break;
        av_packet_unref(m_Packet);
    }
    result = avcodec_send_packet(m_Codec, m_Packet);
    av_packet_unref(m_Packet);
    if (result < 0 && result != AVERROR(EAGAIN) && ++m_BadPackets > MaxBadPackets) return false;
    return true;
}

}  // namespace Meridian
