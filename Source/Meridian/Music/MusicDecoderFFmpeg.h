// MusicDecoderFFmpeg: the MusicDecoder for MP3, FLAC, Opus, AAC/M4A and WAV
// songs, on FFmpeg's libraries (libavformat finds the audio stream,
// libavcodec decodes it, libswresample turns any sample format into 16-bit
// samples). Desktop build only; see Music/MusicDecoder.h for the contract.
//
// The container is recognised by its content, not by the name. Songs of 1 to
// 8 channels at 8 to 192 kHz. A packet that does not decode is skipped (a
// damaged frame costs a moment of sound, not the song); a run of them, or a
// read error, ends the song. FFmpeg's own messages are kept quiet: the
// reasons come out through FailureReason and one log line of Open,
// "MusicDecoderFFmpeg::Open: " followed by the reason and a full stop.
#pragma once

#include <vector>

#include "Music/MusicDecoder.h"

struct AVFormatContext;
struct AVCodecContext;
struct AVPacket;
struct AVFrame;
struct SwrContext;

namespace Meridian {

class MusicDecoderFFmpeg : public MusicDecoder {
    MERIDIAN_CLASS(MusicDecoderFFmpeg, MusicDecoder)

    MusicDecoderFFmpeg();
    ~MusicDecoderFFmpeg() override;

    bool Open(const std::string& path) override;
    I64 LengthFrames() const override { return m_Length; }

protected:
    bool DecodeMore() override;
    void Release() override;

private:
    // Converts and delivers one decoded frame; false when it cannot.
    bool DeliverFrame();

    AVFormatContext* m_Format;
    AVCodecContext* m_Codec;
    AVPacket* m_Packet;
    AVFrame* m_Frame;
    SwrContext* m_Convert;  // sample format to interleaved 16-bit, same rate and channels
    I32 m_Stream;
    I32 m_FrameFormat;  // the format m_Convert was made for (-1: none yet)
    I32 m_BadPackets;   // packets in a row that did not decode
    bool m_Draining;    // the file is read to its end; the decoder gives up what it holds
    I64 m_Length;
    std::vector<I16> m_Pcm;
};

}  // namespace Meridian
