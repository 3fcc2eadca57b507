// MusicDecoder: a song file as a stream of signed 16-bit samples at 44100 Hz,
// mono for the song analysis or stereo for playback. The same decoder serves
// both, so every song that analyses also plays, from the same samples.
//
// Implementations: MusicDecoderOGG (Ogg Vorbis on Tremor, every build) and,
// on the desktop build, MusicDecoderFFmpeg (MP3, FLAC, Opus, AAC/M4A, WAV on
// FFmpeg's libraries). CreateDecoder picks one by the file's extension.
//
// Contract of every decoder:
// - Created with New<T>() (count 0), unopened: Rate(), Channels() and
//   SourceRate() are 0 and Path() is empty. Holders keep a Meridian::Ref.
// - SetOutputChannels(1 or 2) before Open chooses what Read delivers: 1 (the
//   default) mixes every channel of the file to one, the floor of their mean;
//   2 gives stereo frames (a mono file on both sides; of more than two
//   channels the first two).
// - Open(path) opens and checks the file; it must succeed before Read is
//   called. On success Rate() is 44100, Channels() is the file's channel
//   count (1 to 8), SourceRate() the file's own rate (8000 to 192000 Hz,
//   converted to 44100 while decoding) and Path() is the path. A failed Open
//   leaves FailureReason() saying why in a few words ("no audio stream") and,
//   while logging is on, logs at most one line of its own (format problems);
//   a file that cannot be read at all, or that is not a regular file (a FIFO
//   would block), is left to the caller to report. Opening again releases the
//   previous file first.
// - Read(buffer, count) writes up to count frames (count * OutputChannels()
//   samples) and returns how many frames it wrote: fewer than count only at
//   the end of the song (or at a decode error that cannot be skipped, which
//   ends the song), 0 once nothing is left. buffer must hold count frames.
// - The decoder owns its file; destroying the decoder closes it. Each decoder
//   decodes on its own state only: different decoders may run on different
//   threads, one decoder on one thread at a time.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Core/Types.h"
#include "Memory/Object.h"

namespace Meridian {

class RateConverter;

class MusicDecoder : public Object {
    MERIDIAN_CLASS(MusicDecoder, Object)

    static const I32 OutputRate = 44100;
    static const I32 MaxChannels = 8;

    MusicDecoder();
    ~MusicDecoder() override;

    virtual bool Open(const std::string& path) = 0;
    I32 Read(I16* buffer, I32 count);

    // 1 (mono, the default) or 2 (stereo); takes effect at the next Open.
    void SetOutputChannels(I32 channels) { m_OutputChannels = channels == 2 ? 2 : 1; }
    I32 OutputChannels() const { return m_OutputChannels; }
    // Whether Open logs its format problems (on by default). Players turn it
    // off and report FailureReason in their own lines.
    void SetLogging(bool logging) { m_Logging = logging; }

    // Sample rate of what Read delivers: 0 until Open succeeds, then 44100.
    I32 Rate() const { return m_Rate; }
    // Channels in the file: 0 until Open succeeds.
    I32 Channels() const { return m_Channels; }
    // The file's own sample rate: 0 until Open succeeds.
    I32 SourceRate() const { return m_SourceRate; }
    const std::string& Path() const { return m_Path; }
    // Why the last Open failed, or empty.
    const std::string& FailureReason() const { return m_Failure; }
    // The song's length in frames at 44100 Hz as the file states it, or -1
    // when it does not (then only decoding to the end tells).
    virtual I64 LengthFrames() const = 0;

protected:
    // Decodes a little more of the song and hands it to Deliver; false at the
    // end of the song or at an error that ends it.
    virtual bool DecodeMore() = 0;
    // Closes the file and forgets the song (the base's state included).
    virtual void Release();

    // Called by Open once the file's format is known: sets the state for
    // Read and, when the rate is not 44100, prepares the conversion. False
    // (with the reason set) when the rate cannot be converted.
    bool Start(const std::string& path, I32 sourceRate, I32 channels);
    // Takes interleaved frames of Channels() samples at SourceRate().
    void Deliver(const I16* interleaved, I32 frames);
    // Records why Open failed; logs it when logging is on and line is given.
    void Fail(const std::string& reason, const std::string& line = std::string());

    I32 m_Rate;
    I32 m_Channels;
    I32 m_SourceRate;
    std::string m_Path;

private:
    I32 m_OutputChannels;
    bool m_Logging;
    bool m_Ended;
    std::string m_Failure;
    std::vector<I16> m_Queue;  // output samples not yet handed out, oldest first from m_QueueStart
    size_t m_QueueStart;
    std::vector<I16> m_Mixed;  // one delivery after the channel mix, before rate conversion
    std::unique_ptr<RateConverter> m_Converter;
};

// Chooses the decoder class from the extension of path (from its last "."
// onwards, compared without regard to letter case) and returns a new,
// unopened decoder with count 0. An unsupported extension, or a path without
// one, logs "Could not create decoder for file type " and the extension
// (unless logFailure is false) and returns null.
MusicDecoder* CreateDecoder(const std::string& path, bool logFailure = true);

// The extension of path's file name from its last "." (including the dot), or
// an empty string when the name has none.
std::string FileExtension(const std::string& path);

// True when path's extension is one this build decodes, in any letter case.
bool IsSongPath(const std::string& path);

// The extensions this build decodes, lower case with the dot (".ogg" first).
const std::vector<std::string>& SongExtensions();

}  // namespace Meridian
