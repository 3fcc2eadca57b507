// The audio player on SDL_mixer 1.2: streamed music and sound effects with
// fades and a master volume.
//
// Music is decoded by the engine's own decoders (Music/MusicDecoder.h), the
// same that feed the song analysis, and handed to SDL_mixer through its music
// hook (Mix_HookMusic): every song that analyses also plays. The hook runs on
// SDL's mixing thread with SDL's audio lock held; the main thread changes a
// music source's state only under that lock, and the decoder of a source is
// used by the mixing thread only while its source is the one hooked and
// playing. The music volume and the fades are applied to the samples here
// (SDL_mixer applies neither to hooked music).
//
// Depends on: SDL_mixer (only in AudioPlayerSDL.cpp), the music decoders,
// System::GetTicks for the sources' clocks. The mixer is open between Init
// and Exit (Init may be called again while open: it then just succeeds).
// Sources belong to whoever holds them; the player keeps no list of them. A
// source may outlive Exit: it unhooks itself and frees its handles when
// destroyed. Single-threaded use apart from the hook.
//
// SDL_mixer has one music stream: a music source only stops, fades or
// reports playing while it is the one that last started. An effect acts on
// its mixer channel only while that channel still holds its sound, so
// stopping an effect never silences another one.
#pragma once

#include <atomic>
#include <vector>

#include "Audio/AudioPlayer.h"
#include "Music/MusicDecoder.h"

struct Mix_Chunk;

namespace Meridian {

class AudioPlayerSDL : public AudioPlayer {
    MERIDIAN_CLASS(AudioPlayerSDL, AudioPlayer)

    AudioPlayerSDL();
    ~AudioPlayerSDL() override;

    // Opens the mixer: 44100 Hz, signed 16-bit little-endian, 2 channels,
    // chunks of the chunk size (4096 frames unless set). Failure logs
    // "Mix_OpenAudio failed: " and SDL's text.
    bool Init() override;
    // Init with the failure line left to the caller (the fallback choice).
    bool Open(bool logFailure);
    void Exit() override;
    // Opens the song with its decoder (logs "Mix_LoadMUS " and the path).
    // A song that cannot be decoded logs "AudioPlayerSDL::AddMusic: failed
    // to load " with the path and "SDL ERROR: " with the reason, and gives null.
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

    // Takes a reference to an opened decoder whose frames match the mixer's
    // channels; the source plays it from its start.
    explicit AudioMusicSourceSDL(MusicDecoder* decoder);
    ~AudioMusicSourceSDL() override;

    // loops: 0 and 1 play once, n plays n times, negative until stopped.
    void Play(I32 loops) override;
    void Stop() override;
    // Plays loops times, the volume rising from 0 over milliseconds.
    void FadeIn(I32 loops, I32 milliseconds) override;
    // Lowers the volume to 0 over milliseconds, then ends.
    void FadeOut(I32 milliseconds) override;
    bool IsPlaying() override;
    void SetPaused(bool paused) override;
    bool IsPaused() override { return m_Paused; }
    // The position of the sound being heard, in seconds of the song: the
    // frames handed to the mixer by its last call, less that call's chunk
    // and the one the device is playing, plus the system time since that
    // call while playing (at most one chunk's worth, so a stalled mixer does
    // not run the clock ahead of the sound). 0 until the first sound is
    // heard; never goes back; once the music stopped or ended it stands at
    // the position of its last mixed sound.
    F32 GetTime() override;
    // As of the mixer's last completed call, the count the clock above is
    // reckoned from (a reading during a call does not see it half done).
    U64 GetFramesMixed() override { return m_LastMix.load() >> 32; }

    // SDL_mixer's music hook: fills bytes of the mixer's stream.
    static void Mix(void* source, U8* stream, int bytes);

private:
    bool IsCurrent() const;
    void Start(I32 loops, I32 fadeMilliseconds);
    void MixFrames(I16* out, I32 frames);
    void ApplyGain(I16* samples, I32 frames);

    Ref<MusicDecoder> m_Decoder;
    bool m_Fresh;  // the decoder stands at the start of the song
    // Shared with the mixing thread; written under SDL's audio lock.
    std::atomic<bool> m_Active;
    I32 m_LoopsLeft;     // plays after the current one; negative: for ever
    I64 m_FadeLength;    // frames of the current fade; 0: none
    I64 m_FadePosition;  // frames of it mixed so far
    bool m_FadingOut;
    std::atomic<U64> m_FramesMixed;
    // The last call of the hook: frames mixed after it (high 32 bits) and
    // the system clock's ticks then (low 32 bits); 0 before the first.
    std::atomic<U64> m_LastMix;
    std::atomic<I32> m_ChunkFrames;
    std::atomic<bool> m_Paused;  // the hook hands out silence, the song stays where it is
    F32 m_Heard;  // the last time given, main thread only
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

// The SDL_mixer player with its mixer already open in chunks of chunkFrames,
// or, when the sound device cannot be opened, one warning line and a silent
// player (AudioPlayerSilent). Either way the result's Init succeeds. Count 0.
AudioPlayer* CreateAudioPlayerWithFallback(I32 chunkFrames);

}  // namespace Meridian
