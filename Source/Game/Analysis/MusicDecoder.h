// MusicDecoder: the song analysis's source of audio, a stream of mono signed
// 16-bit samples at 44100 Hz decoded from a song file.
//
// Depends on the engine object model (Memory/Object.h) and the log. Only the
// analysis uses a decoder; playback goes through the audio player. Decoders
// share static scratch memory, so at most one decodes at a time (main thread).
#pragma once

#include <string>

#include "Core/Types.h"
#include "Memory/Object.h"

// Contract of every decoder:
// - Created with New<T>() (count 0), unopened: Rate() and Channels() are 0 and
//   Path() is empty. Holders keep a Meridian::Ref.
// - Open(path) opens and checks the file; it must succeed before Read is
//   called. On success Rate() is 44100, Channels() is the file's channel count
//   (1 or 2) and Path() is the path. A failed Open logs at most one line of
//   its own (format problems); a file that cannot be read at all, or that is
//   not a regular file (a FIFO would block), is reported by the caller.
//   Opening again releases the previous file first.
// - Read(buffer, count) writes up to count mono samples (stereo is mixed to
//   the floor of the mean of left and right) and returns how many it wrote:
//   fewer than count only at the end of the song (or at a decode error, which
//   ends the song), 0 once nothing is left. buffer must hold count samples.
// - The decoder owns its file; destroying the decoder closes it.
class MusicDecoder : public Meridian::Object {
    MERIDIAN_CLASS(MusicDecoder, Meridian::Object)

    MusicDecoder() : m_Rate(0), m_Channels(0) {}
    ~MusicDecoder() override {}

    virtual bool Open(const std::string& path) = 0;
    virtual Meridian::I32 Read(Meridian::I16* buffer, Meridian::I32 count) = 0;

    // Sample rate in Hz: 0 until Open succeeds, then 44100.
    Meridian::I32 Rate() const { return m_Rate; }
    // Channels in the file (1 or 2): 0 until Open succeeds.
    Meridian::I32 Channels() const { return m_Channels; }
    const std::string& Path() const { return m_Path; }

protected:
    Meridian::I32 m_Rate;
    Meridian::I32 m_Channels;
    std::string m_Path;
};

// Chooses the decoder class from the extension of path (from its last "."
// onwards, compared without regard to letter case; ".ogg" gives a
// MusicDecoderOGG) and returns a new, unopened decoder with count 0. An
// unsupported extension, or a path without one, logs "Could not create
// decoder for file type " and the extension, and returns null.
MusicDecoder* CreateDecoder(const std::string& path);

// The extension of path's file name from its last "." (including the dot), or
// an empty string when the name has none.
std::string FileExtension(const std::string& path);

// True when path's extension is ".ogg" in any letter case.
bool IsSongPath(const std::string& path);
