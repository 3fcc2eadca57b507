#include "Audio/AudioPlayerSDL.h"

#include <SDL/SDL.h>
#include <SDL/SDL_mixer.h>

#include <algorithm>
#include <cstring>

#include "Audio/AudioPlayerSilent.h"
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
    int rate = 0, channels = 0;
    Uint16 format = 0;
    if (!m_Open || !Mix_QuerySpec(&rate, &format, &channels)) channels = m_Channels;
    Ref<MusicDecoder> decoder = CreateDecoder(path, false);
    if (decoder) {
        decoder->SetLogging(false);
        decoder->SetOutputChannels(channels == 1 ? 1 : 2);
    }
    if (!decoder || !decoder->Open(path)) {
        m_LoadFailure = decoder ? decoder->FailureReason() : std::string("unsupported file type");
        LogE() << "AudioPlayerSDL::AddMusic: failed to load " << path;
        LogE() << "SDL ERROR: " << m_LoadFailure;
        return nullptr;
    }
    m_LoadFailure.clear();
    return New<AudioMusicSourceSDL>(decoder.Get());
}

AudioSource* AudioPlayerSDL::AddFX(const std::string& path, I32 channel) {
    // The loader closes the stream (last argument 1), also on failure.
    Mix_Chunk* chunk = Mix_LoadWAV_RW(SDL_RWFromFile(path.c_str(), "rb"), 1);
    if (!chunk) {
        m_LoadFailure = SDL_GetError();
        LogE() << "AudioPlayerSDL::AddFX: failed to load " << path;
        LogE() << "SDL ERROR: " << m_LoadFailure;
        return nullptr;
    }
    m_LoadFailure.clear();
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

AudioMusicSourceSDL::AudioMusicSourceSDL(MusicDecoder* decoder)
    : m_Decoder(decoder),
      m_Fresh(true),
      m_Active(false),
      m_LoopsLeft(0),
      m_FadeLength(0),
      m_FadePosition(0),
      m_FadingOut(false),
      m_FramesMixed(0),
      m_LastMix(0),
      m_ChunkFrames(0),
      m_Paused(false),
      m_Heard(0.0f) {}

AudioMusicSourceSDL::~AudioMusicSourceSDL() {
    if (g_CurrentMusic == this) {
        // Takes SDL's audio lock: once it returns the hook no longer runs.
        Mix_HookMusic(nullptr, nullptr);
        g_CurrentMusic = nullptr;
    }
}

bool AudioMusicSourceSDL::IsCurrent() const { return g_CurrentMusic == this; }

void AudioMusicSourceSDL::Start(I32 loops, I32 fadeMilliseconds) {
    SDL_LockAudio();
    m_Active = false;
    SDL_UnlockAudio();
    // Inactive, the decoder is the main thread's alone.
    if (!m_Fresh) {
        m_Fresh = m_Decoder->Open(m_Decoder->Path());
        if (!m_Fresh) {
            LogE() << "AudioMusicSourceSDL::Play: cannot open " << m_Decoder->Path() << " again: "
                   << m_Decoder->FailureReason();
            return;
        }
    }
    SDL_LockAudio();
    m_Fresh = false;
    m_LoopsLeft = loops < 0 ? -1 : loops > 1 ? loops - 1 : 0;
    m_FadeLength = fadeMilliseconds > 0 ? static_cast<I64>(fadeMilliseconds) * MusicDecoder::OutputRate / 1000 : 0;
    m_FadePosition = 0;
    m_FadingOut = false;
    m_FramesMixed = 0;
    m_LastMix = 0;
    m_Heard = 0.0f;
    m_Paused = false;
    m_Active = true;
    SDL_UnlockAudio();
    if (!IsCurrent()) Mix_HookMusic(&AudioMusicSourceSDL::Mix, this);
    g_CurrentMusic = this;
}

void AudioMusicSourceSDL::Play(I32 loops) { Start(loops, 0); }

void AudioMusicSourceSDL::FadeIn(I32 loops, I32 milliseconds) { Start(loops, milliseconds); }

void AudioMusicSourceSDL::Stop() {
    if (!IsCurrent()) return;
    SDL_LockAudio();
    m_Active = false;
    m_Paused = false;
    SDL_UnlockAudio();
}

void AudioMusicSourceSDL::FadeOut(I32 milliseconds) {
    if (!IsPlaying()) return;
    SDL_LockAudio();
    if (milliseconds <= 0) {
        m_Active = false;
    } else {
        m_FadeLength = static_cast<I64>(milliseconds) * MusicDecoder::OutputRate / 1000;
        m_FadePosition = 0;
        m_FadingOut = true;
    }
    SDL_UnlockAudio();
}

bool AudioMusicSourceSDL::IsPlaying() { return IsCurrent() && m_Active; }

void AudioMusicSourceSDL::SetPaused(bool paused) {
    if (paused == m_Paused || (paused && !IsPlaying())) return;
    SDL_LockAudio();
    m_Paused = paused;
    // Resumed, the clock goes on from the last mix as if it had just happened.
    const U64 last = m_LastMix.load();
    if (!paused && last != 0) m_LastMix = (last & ~U64{0xFFFFFFFF}) | System::GetTicks();
    SDL_UnlockAudio();
}

F32 AudioMusicSourceSDL::GetTime() {
    const U64 last = m_LastMix.load();
    if (last == 0) return m_Heard;
    const I64 queued = 2 * static_cast<I64>(m_ChunkFrames.load());
    const I64 heard = static_cast<I64>(last >> 32) - queued;
    if (heard <= 0) return m_Heard;
    F64 seconds = static_cast<F64>(heard) / MusicDecoder::OutputRate;
    // Between the mixer's calls the sound goes on at the system clock's pace.
    if (IsPlaying() && !m_Paused) {
        const U32 since = System::GetTicks() - static_cast<U32>(last);
        seconds += std::min(static_cast<F64>(since) * System::SecondsPerTick(),
                            static_cast<F64>(queued / 2) / MusicDecoder::OutputRate);
    }
    m_Heard = std::max(m_Heard, static_cast<F32>(seconds));
    return m_Heard;
}

void AudioMusicSourceSDL::Mix(void* source, U8* stream, int bytes) {
    std::memset(stream, 0, static_cast<size_t>(bytes));
    AudioMusicSourceSDL* music = static_cast<AudioMusicSourceSDL*>(source);
    const I32 channels = music->m_Decoder->OutputChannels();
    const I32 frames = bytes / (2 * channels);
    if (!music->m_Active || music->m_Paused) return;
    music->MixFrames(reinterpret_cast<I16*>(stream), frames);
    music->m_ChunkFrames = frames;
    music->m_LastMix = (music->m_FramesMixed.load() << 32) | System::GetTicks();
}

// Mixing thread, SDL's audio lock held.
void AudioMusicSourceSDL::MixFrames(I16* out, I32 frames) {
    const I32 channels = m_Decoder->OutputChannels();
    I32 done = 0;
    bool reopened = false;
    while (done < frames && m_Active) {
        I32 wanted = frames - done;
        // A fade-out ends the song exactly where it reaches silence.
        if (m_FadingOut && m_FadePosition + wanted > m_FadeLength)
            wanted = static_cast<I32>(m_FadeLength - m_FadePosition);
        const I32 got = wanted > 0 ? m_Decoder->Read(out + done * channels, wanted) : 0;
        ApplyGain(out + done * channels, got);
        done += got;
        m_FramesMixed += static_cast<U64>(got);
        if (m_FadingOut && m_FadePosition >= m_FadeLength) {
            m_Active = false;
        } else if (got < wanted) {
            // The end of the song: the next loop, if any (a song that yields
            // nothing after reopening ends, rather than spinning here).
            if (m_LoopsLeft == 0 || (reopened && got == 0) || !m_Decoder->Open(m_Decoder->Path())) {
                m_Active = false;
            } else {
                if (m_LoopsLeft > 0) --m_LoopsLeft;
                reopened = true;
            }
        }
        if (got > 0) reopened = false;
    }
}

void AudioMusicSourceSDL::ApplyGain(I16* samples, I32 frames) {
    const I64 volume = Mix_VolumeMusic(-1);
    const I32 channels = m_Decoder->OutputChannels();
    for (I32 i = 0; i < frames; ++i) {
        I64 numerator = volume, denominator = MixerMaxVolume;
        if (m_FadeLength > 0) {
            const I64 position = m_FadePosition < m_FadeLength ? m_FadePosition : m_FadeLength;
            numerator *= m_FadingOut ? m_FadeLength - position : position;
            denominator *= m_FadeLength;
            if (++m_FadePosition >= m_FadeLength && !m_FadingOut) m_FadeLength = 0;  // faded in
        }
        if (numerator == denominator) continue;
        for (I32 c = 0; c < channels; ++c) {
            I16& sample = samples[i * channels + c];
            sample = static_cast<I16>(sample * numerator / denominator);
        }
    }
}

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

AudioPlayer* CreateAudioPlayerWithFallback(I32 chunkFrames) {
    AudioPlayerSDL* player = New<AudioPlayerSDL>();
    player->SetChunkSize(chunkFrames);
    if (player->Open(false)) return player;
    LogW() << "AudioPlayer: no sound device (" << SDL_GetError() << "), playing silently.";
    DropRef(player);
    return CreateAudioPlayerSilent();
}

}  // namespace Meridian
