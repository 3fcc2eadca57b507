#include "Audio/AudioPlayerSilent.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "Core/Log.h"
#include "Core/System.h"
#include "Music/MusicDecoder.h"

namespace Meridian {

namespace {

void LogLoadFailure(const char* operation, const std::string& path, const char* why) {
    LogE() << "AudioPlayerSilent::" << operation << ": failed to load " << path;
    LogE() << "SDL ERROR: " << why;
}

}  // namespace

AudioSource* AudioPlayerSilent::AddMusic(const std::string& path) {
    LogD() << "AudioPlayerSilent::AddMusic " << path;
    // The same decoder as the SDL player's: what one refuses, so does the other.
    Ref<MusicDecoder> decoder = CreateDecoder(path, false);
    if (decoder) decoder->SetLogging(false);
    if (!decoder || !decoder->Open(path)) {
        m_LoadFailure = decoder ? decoder->FailureReason() : std::string("unsupported file type");
        LogLoadFailure("AddMusic", path, m_LoadFailure.c_str());
        return nullptr;
    }
    m_LoadFailure.clear();
    I64 frames = decoder->LengthFrames();
    if (frames < 0) {
        // The file does not state its length: decode it to the end.
        frames = 0;
        I16 buffer[4096];
        while (I32 got = decoder->Read(buffer, 4096)) frames += got;
    }
    const I64 milliseconds = frames * 1000 / MusicDecoder::OutputRate;
    const U32 duration = milliseconds > 0xFFFFFFFFll ? 0xFFFFFFFFu : static_cast<U32>(milliseconds);
    return New<AudioMusicSourceSilent>(duration);
}

AudioSource* AudioPlayerSilent::AddFX(const std::string& path, I32 channel) {
    (void)channel;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        m_LoadFailure = std::strerror(errno);
        LogLoadFailure("AddFX", path, m_LoadFailure.c_str());
        return nullptr;
    }
    m_LoadFailure.clear();
    std::fclose(file);
    return New<AudioMusicSourceSilent>(0);
}

void AudioPlayerSilent::SetVolume(I32 percent) { m_Volume = percent < 0 ? 0 : percent > 100 ? 100 : percent; }

AudioMusicSourceSilent::AudioMusicSourceSilent(U32 duration)
    : m_Duration(duration), m_StartTime(System::GetTicks()), m_Length(0), m_Active(false), m_Forever(false) {}

U32 AudioMusicSourceSilent::Elapsed() const { return (m_Paused ? m_PausedAt : System::GetTicks()) - m_StartTime; }

void AudioMusicSourceSilent::SetPaused(bool paused) {
    if (paused == m_Paused || (paused && !IsPlaying())) return;
    if (paused)
        m_PausedAt = System::GetTicks();
    else
        m_StartTime += System::GetTicks() - m_PausedAt;  // the pause does not count
    m_Paused = paused;
}

void AudioMusicSourceSilent::Play(I32 loops) {
    m_Paused = false;
    m_StartTime = System::GetTicks();
    m_Active = true;
    m_Forever = loops < 0;
    m_Length = static_cast<U64>(m_Duration) * static_cast<U64>(loops > 1 ? loops : 1);
}

void AudioMusicSourceSilent::FadeIn(I32 loops, I32 milliseconds) {
    (void)milliseconds;
    Play(loops);
}

void AudioMusicSourceSilent::Stop() {
    // The frames mixed stop growing where the sound stopped.
    if (IsPlaying()) m_Length = Elapsed();
    m_Forever = false;
    m_Active = false;
    m_Paused = false;
}

void AudioMusicSourceSilent::FadeOut(I32 milliseconds) {
    if (!IsPlaying()) return;
    const U64 elapsed = Elapsed();
    const U64 fade = milliseconds > 0 ? static_cast<U64>(milliseconds) : 0;
    if (m_Forever || elapsed + fade < m_Length) m_Length = elapsed + fade;
    m_Forever = false;
}

bool AudioMusicSourceSilent::IsPlaying() { return m_Active && (m_Forever || Elapsed() < m_Length); }

U64 AudioMusicSourceSilent::GetFramesMixed() {
    if (m_Duration == 0) return 0;
    U64 played = Elapsed();
    if (!m_Forever && played > m_Length) played = m_Length;
    return played * MusicDecoder::OutputRate / 1000;
}

F32 AudioMusicSourceSilent::GetTime() {
    return static_cast<F32>(static_cast<F64>(Elapsed()) * System::SecondsPerTick());
}

AudioPlayer* CreateAudioPlayerSilent() { return New<AudioPlayerSilent>(); }

}  // namespace Meridian
