// Audio player: opens the sound device and loads songs as streamed music and
// short sounds as effects, handing each back as a new AudioSource (count 0;
// the caller takes the reference). Call order: construct, Init, any number of
// AddMusic / AddFX / SetVolume and source operations, Exit before release.
// Load failures log two lines and return null; the player stays usable.
#pragma once

#include <string>

#include "Audio/AudioSource.h"

namespace Meridian {

class AudioPlayer : public Object {
    MERIDIAN_CLASS(AudioPlayer, Object)

    AudioPlayer() : m_Frequency(44100), m_Channels(2), m_ChunkSize(4096) {}

    // Frames the mixer asks for at a time (256 .. 8192, clamped; 4096 unless
    // set): smaller chunks hear a change sooner and cost more calls. Takes
    // effect at the next Init.
    void SetChunkSize(I32 frames) { m_ChunkSize = frames < 256 ? 256 : frames > 8192 ? 8192 : frames; }
    I32 GetChunkSize() const { return m_ChunkSize; }

    virtual bool Init() = 0;
    // Per-frame hook; delta in seconds.
    virtual void Update(F32 delta) { (void)delta; }
    virtual void Exit() = 0;
    virtual AudioSource* AddMusic(const std::string& path) = 0;
    // channel: a mixer channel, or -1 for any free one.
    virtual AudioSource* AddFX(const std::string& path, I32 channel) = 0;
    // Master volume in percent; below 0 counts as 0, above 100 as 100.
    virtual void SetVolume(I32 percent) = 0;
    virtual I32 GetVolume() = 0;
    // Why the last AddMusic or AddFX failed, in a few words for the player
    // ("no audio stream"); empty when the last load succeeded.
    const std::string& GetLoadFailure() const { return m_LoadFailure; }

protected:
    std::string m_LoadFailure;
    I32 m_Frequency;
    I32 m_Channels;
    I32 m_ChunkSize;
};

}  // namespace Meridian
