// The audio player on SDL_mixer 1.2: streamed music and sound effects with
// fades and a master volume.
//
// Depends on: SDL_mixer (only in AudioPlayerSDL.cpp), System::GetTicks for
// the sources' clocks, and Audio/OggVorbisCheck.h: AddMusic refuses an Ogg
// Vorbis song whose setup header cannot be built, as it does a missing file. The mixer is open between Init and Exit (Init may be
// called again while open: it then just succeeds). Sources belong to whoever
// holds them; the player keeps no list of them. A source may outlive Exit: it
// frees its mixer handle when destroyed. Single-threaded use; SDL_mixer mixes
// on its own thread, which runs none of this code.
//
// SDL_mixer has one music stream: a music source only stops, fades or
// reports playing while it is the one that last started. An effect acts on
// its mixer channel only while that channel still holds its sound, so
// stopping an effect never silences another one.
#pragma once

#include "Audio/AudioPlayer.h"

struct _Mix_Music;
struct Mix_Chunk;

namespace Meridian {

class AudioPlayerSDL : public AudioPlayer {
    MERIDIAN_CLASS(AudioPlayerSDL, AudioPlayer)

    AudioPlayerSDL();
    ~AudioPlayerSDL() override;

    // Opens the mixer: 44100 Hz, signed 16-bit little-endian, 2 channels,
    // 4096-frame chunks. Failure logs "Mix_OpenAudio failed: " and SDL's text.
    bool Init() override;
    // Init with the failure line left to the caller (the fallback choice).
    bool Open(bool logFailure);
    void Exit() override;
    AudioSource* AddMusic(const std::string& path) override;
    AudioSource* AddFX(const std::string& path, I32 channel) override;
    // Below 0 mutes; above 100 sets the mixer maximum (128) and stores 100;
    // otherwise the mixer gets percent * 128 / 100. Kept across Init.
    void SetVolume(I32 percent) override;
    I32 GetVolume() override { return m_Volume; }

private:
    void ApplyVolume();

    I32 m_Volume;
    bool m_Open;
};

class AudioMusicSourceSDL : public AudioSource {
    MERIDIAN_CLASS(AudioMusicSourceSDL, AudioSource)

    // Takes ownership of the music handle.
    explicit AudioMusicSourceSDL(_Mix_Music* music);
    ~AudioMusicSourceSDL() override;

    void Play(I32 loops) override;
    void Stop() override;
    void FadeIn(I32 loops, I32 milliseconds) override;
    void FadeOut(I32 milliseconds) override;
    bool IsPlaying() override;
    F32 GetTime() override;

private:
    bool IsCurrent() const;

    _Mix_Music* m_Music;
    U32 m_StartTime;
};

class AudioEffectSourceSDL : public AudioSource {
    MERIDIAN_CLASS(AudioEffectSourceSDL, AudioSource)

    // Takes ownership of the chunk; channel -1 means any free channel.
    AudioEffectSourceSDL(Mix_Chunk* chunk, I32 channel);
    ~AudioEffectSourceSDL() override;

    // A channel still sounding is halted and the sound restarts on it.
    void Play(I32 loops) override;
    void Stop() override;
    void FadeIn(I32 loops, I32 milliseconds) override;
    void FadeOut(I32 milliseconds) override;
    bool IsPlaying() override;
    F32 GetTime() override;

    // The channel of the last start (or the requested one before that).
    I32 GetChannel() const { return m_Channel; }

private:
    bool OwnsChannel() const;
    void Start(I32 loops, I32 fadeMilliseconds);

    Mix_Chunk* m_Chunk;
    I32 m_Channel;
    U32 m_StartTime;
};

// A new SDL_mixer player, not yet initialised (count 0).
AudioPlayer* CreateAudioPlayerSDL();

// The SDL_mixer player with its mixer already open, or, when the sound device
// cannot be opened, one warning line and a silent player (AudioPlayerSilent).
// Either way the result's Init succeeds. Count 0.
AudioPlayer* CreateAudioPlayerWithFallback();

}  // namespace Meridian
