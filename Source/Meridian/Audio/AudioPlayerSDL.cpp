#include "Audio/AudioPlayerSDL.h"

#include <SDL/SDL.h>
#include <SDL/SDL_mixer.h>

#include "Audio/AudioPlayerSilent.h"
#include "Audio/OggVorbisCheck.h"
#include "Core/Log.h"
#include "Core/System.h"

namespace Meridian {

namespace {

const I32 MixerMaxVolume = 128;

// The music source that started SDL_mixer's one music stream last.
AudioMusicSourceSDL* g_CurrentMusic = nullptr;

F32 SecondsSince(U32 startTime) {
    const U32 elapsed = System::GetTicks() - startTime;
    return static_cast<F32>(static_cast<F64>(elapsed) * System::SecondsPerTick());
}

}  // namespace

AudioPlayerSDL::AudioPlayerSDL() : m_Volume(100), m_Open(false) {}

AudioPlayerSDL::~AudioPlayerSDL() {
    if (m_Open) Mix_CloseAudio();
}

bool AudioPlayerSDL::Init() { return Open(true); }

bool AudioPlayerSDL::Open(bool logFailure) {
    if (m_Open) return true;
    if (Mix_OpenAudio(m_Frequency, AUDIO_S16LSB, m_Channels, m_ChunkSize) != 0) {
        if (logFailure) LogE() << "Mix_OpenAudio failed: " << SDL_GetError();
        // SDL 1.2 keeps its audio subsystem marked as started even when no
        // driver could be loaded, and then fails every later open; with no
        // driver there is no device to lose, so start afresh next time.
        char driver[32];
        if (!SDL_AudioDriverName(driver, sizeof(driver))) SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    m_Open = true;
    // Opening resets the mixer's volumes; a volume set before stays in force.
    ApplyVolume();
    return true;
}

void AudioPlayerSDL::Exit() {
    if (!m_Open) return;
    Mix_CloseAudio();
    m_Open = false;
}

AudioSource* AudioPlayerSDL::AddMusic(const std::string& path) {
    LogD() << "Mix_LoadMUS " << path;
    // SDL_mixer decodes Ogg with Tremor as well (its ov_* calls reach the
    // library this program links first) and calls ov_read again after an
    // error, on its mixing thread: a damaged setup would crash the game there.
    std::string damage;
    if (IsDamagedOggVorbis(path, &damage)) {
        LogE() << "AudioPlayerSDL::AddMusic: failed to load " << path;
        LogE() << "SDL ERROR: " << damage;
        return nullptr;
    }
    Mix_Music* music = Mix_LoadMUS(path.c_str());
    if (!music) {
        LogE() << "AudioPlayerSDL::AddMusic: failed to load " << path;
        LogE() << "SDL ERROR: " << SDL_GetError();
        return nullptr;
    }
    return New<AudioMusicSourceSDL>(music);
}

AudioSource* AudioPlayerSDL::AddFX(const std::string& path, I32 channel) {
    // The loader closes the stream (last argument 1), also on failure.
    Mix_Chunk* chunk = Mix_LoadWAV_RW(SDL_RWFromFile(path.c_str(), "rb"), 1);
    if (!chunk) {
        LogE() << "AudioPlayerSDL::AddFX: failed to load " << path;
        LogE() << "SDL ERROR: " << SDL_GetError();
        return nullptr;
    }
    return New<AudioEffectSourceSDL>(chunk, channel);
}

void AudioPlayerSDL::SetVolume(I32 percent) {
    if (percent < 0) percent = 0;
    if (percent > 100) percent = 100;
    m_Volume = percent;
    ApplyVolume();
}

void AudioPlayerSDL::ApplyVolume() {
    const I32 mixer = m_Volume * MixerMaxVolume / 100;
    Mix_VolumeMusic(mixer);
    Mix_Volume(-1, mixer);
}

AudioMusicSourceSDL::AudioMusicSourceSDL(_Mix_Music* music) : m_Music(music), m_StartTime(System::GetTicks()) {}

AudioMusicSourceSDL::~AudioMusicSourceSDL() {
    if (g_CurrentMusic == this) g_CurrentMusic = nullptr;
    Mix_FreeMusic(m_Music);  // halts the stream first when it is this music
}

bool AudioMusicSourceSDL::IsCurrent() const { return g_CurrentMusic == this; }

void AudioMusicSourceSDL::Play(I32 loops) {
    if (Mix_PlayMusic(m_Music, loops) != 0) LogE() << "AudioMusicSourceSDL::Play: " << SDL_GetError();
    g_CurrentMusic = this;
    m_StartTime = System::GetTicks();
}

void AudioMusicSourceSDL::Stop() {
    if (IsCurrent()) Mix_HaltMusic();
}

void AudioMusicSourceSDL::FadeIn(I32 loops, I32 milliseconds) {
    if (Mix_FadeInMusic(m_Music, loops, milliseconds) != 0) LogE() << "AudioMusicSourceSDL::FadeIn: " << SDL_GetError();
    g_CurrentMusic = this;
    m_StartTime = System::GetTicks();
}

void AudioMusicSourceSDL::FadeOut(I32 milliseconds) {
    if (IsCurrent()) Mix_FadeOutMusic(milliseconds);
}

bool AudioMusicSourceSDL::IsPlaying() { return IsCurrent() && Mix_PlayingMusic() != 0; }

F32 AudioMusicSourceSDL::GetTime() { return SecondsSince(m_StartTime); }

AudioEffectSourceSDL::AudioEffectSourceSDL(Mix_Chunk* chunk, I32 channel)
    : m_Chunk(chunk), m_Channel(channel), m_StartTime(System::GetTicks()) {}

AudioEffectSourceSDL::~AudioEffectSourceSDL() {
    // Mix_FreeChunk halts every channel still playing this sound.
    Mix_FreeChunk(m_Chunk);
}

// Channel -1 (never started, or any-channel) would make SDL_mixer's channel
// calls act on every channel; a channel since taken by another sound is not
// this effect's any more.
bool AudioEffectSourceSDL::OwnsChannel() const { return m_Channel >= 0 && Mix_GetChunk(m_Channel) == m_Chunk; }

void AudioEffectSourceSDL::Start(I32 loops, I32 fadeMilliseconds) {
    if (m_Channel >= 0 && Mix_Playing(m_Channel)) Mix_HaltChannel(m_Channel);
    const I32 channel = fadeMilliseconds > 0 ? Mix_FadeInChannelTimed(m_Channel, m_Chunk, loops, fadeMilliseconds, -1)
                                             : Mix_PlayChannelTimed(m_Channel, m_Chunk, loops, -1);
    // A failed start keeps the channel the caller asked for.
    if (channel >= 0) m_Channel = channel;
    m_StartTime = System::GetTicks();
}

void AudioEffectSourceSDL::Play(I32 loops) { Start(loops, 0); }

// loops first, then milliseconds, the same as music: one meaning for every
// AudioSource (SDL_mixer's channel call takes them in that order too).
void AudioEffectSourceSDL::FadeIn(I32 loops, I32 milliseconds) {
    Start(loops, milliseconds > 0 ? milliseconds : 0);
}

void AudioEffectSourceSDL::Stop() {
    if (OwnsChannel()) Mix_HaltChannel(m_Channel);
}

void AudioEffectSourceSDL::FadeOut(I32 milliseconds) {
    if (OwnsChannel()) Mix_FadeOutChannel(m_Channel, milliseconds);
}

bool AudioEffectSourceSDL::IsPlaying() { return OwnsChannel() && Mix_Playing(m_Channel) != 0; }

F32 AudioEffectSourceSDL::GetTime() { return SecondsSince(m_StartTime); }

AudioPlayer* CreateAudioPlayerSDL() { return New<AudioPlayerSDL>(); }

AudioPlayer* CreateAudioPlayerWithFallback() {
    AudioPlayerSDL* player = New<AudioPlayerSDL>();
    if (player->Open(false)) return player;
    LogW() << "AudioPlayer: no sound device (" << SDL_GetError() << "), playing silently.";
    DropRef(player);
    return CreateAudioPlayerSilent();
}

}  // namespace Meridian
