// An audio player that needs no sound hardware, for headless runs and tests.
// Music sources take their length from the song file and "play" on the
// engine clock: IsPlaying stays true until that length has passed on
// System::GetTicks, and GetTime reads the same clock, so with the fixed-step
// clock a race runs faster than real time and ends exactly when the song does.
//
// Depends on: the music decoders, to check a song and read its length (as
// the file states it, or by decoding it to the end when it does not).
// Effects play for 0 seconds. Volume rules as the SDL player (stored percent,
// clamped to 0..100). Loop counts follow SDL_mixer's music: 0 and 1 play
// once, n plays n times, negative repeats until stopped.
#pragma once

#include "Audio/AudioPlayer.h"

namespace Meridian {

class AudioPlayerSilent : public AudioPlayer {
    MERIDIAN_CLASS(AudioPlayerSilent, AudioPlayer)

    AudioPlayerSilent() : m_Volume(100) {}

    bool Init() override { return true; }
    void Exit() override {}
    // A file the decoders refuse (see Music/MusicDecoder.h): two error lines
    // ("AudioPlayerSilent::AddMusic: failed to load <path>", "SDL ERROR: why")
    // and null, as the SDL player.
    AudioSource* AddMusic(const std::string& path) override;
    // The file must be readable; its content is not decoded.
    AudioSource* AddFX(const std::string& path, I32 channel) override;
    void SetVolume(I32 percent) override;
    I32 GetVolume() override { return m_Volume; }

private:
    I32 m_Volume;
};

class AudioMusicSourceSilent : public AudioSource {
    MERIDIAN_CLASS(AudioMusicSourceSilent, AudioSource)

    // duration: one play-through in milliseconds (0 for an effect).
    explicit AudioMusicSourceSilent(U32 duration);

    void Play(I32 loops) override;
    void Stop() override;
    void FadeIn(I32 loops, I32 milliseconds) override;
    // Ends after min(milliseconds, what is left).
    void FadeOut(I32 milliseconds) override;
    bool IsPlaying() override;
    void SetPaused(bool paused) override;
    bool IsPaused() override { return m_Paused; }
    F32 GetTime() override;
    // The frames the song would have handed out on the engine clock so far.
    U64 GetFramesMixed() override;

    U32 GetDuration() const { return m_Duration; }

private:
    U32 Elapsed() const;

    U32 m_Duration;
    U32 m_StartTime;
    U64 m_Length;  // milliseconds from the start at which playing ends
    bool m_Active;
    bool m_Forever;
    bool m_Paused = false;
    U32 m_PausedAt = 0;  // the clock's ticks when paused
};

// A new silent player (count 0); its Init always succeeds.
AudioPlayer* CreateAudioPlayerSilent();

}  // namespace Meridian
