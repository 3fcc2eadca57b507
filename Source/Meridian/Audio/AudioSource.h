// Audio source: one loaded song (music) or sound (effect), made by the audio
// player and owned by whoever holds the reference. Idle until Play or FadeIn;
// its clock restarts with every Play. Callers use IsPlaying to detect the end:
// a clock may stand still after it (streamed music) or run on (effects, the
// silent player's music).
#pragma once

#include "Memory/Object.h"

namespace Meridian {

class AudioSource : public Object {
    MERIDIAN_TAGGED_CLASS(AudioSource, Object, Tags::AudioSource)

    // loops: 0 plays once (music); -1 repeats forever.
    virtual void Play(I32 loops) = 0;
    virtual void Stop() = 0;
    // Fades in over milliseconds, playing loops times (one meaning for music
    // and effects alike).
    virtual void FadeIn(I32 loops, I32 milliseconds) = 0;
    virtual void FadeOut(I32 milliseconds) = 0;
    virtual bool IsPlaying() = 0;
    // Pausing holds the sound and its clock where they are, and resuming goes
    // on from there; a paused source still counts as playing. Only music
    // pauses (effects ignore it); Play, FadeIn and Stop end a pause.
    virtual void SetPaused(bool paused) { (void)paused; }
    virtual bool IsPaused() { return false; }
    // Seconds of the sound since the last Play (or FadeIn): for streamed
    // music the position the listener hears, which never goes back.
    virtual F32 GetTime() = 0;
    // Sample frames (44100 a second) of this source handed to the mixer since
    // the last Play or FadeIn, across loops; it stops growing when the sound
    // ends. Effects, which do not stream, report 0.
    virtual U64 GetFramesMixed() { return 0; }
};

}  // namespace Meridian
