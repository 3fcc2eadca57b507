#include "Audio/AudioPlayerSilent.h"

#include <tremor/ivorbisfile.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "Audio/OggVorbisCheck.h"
#include "Core/Log.h"
#include "Core/System.h"

namespace Meridian {

namespace {

const char* TremorError(int code) {
    switch (code) {
        case OV_EREAD: return "read error";
        case OV_ENOTVORBIS: return "not Ogg Vorbis data";
        case OV_EVERSION: return "unsupported Vorbis version";
        case OV_EBADHEADER: return "bad Vorbis header";
        case OV_EINVAL: return "no length available";
        default: return "cannot decode";
    }
}

void LogLoadFailure(const char* operation, const std::string& path, const char* why) {
    LogE() << "AudioPlayerSilent::" << operation << ": failed to load " << path;
    LogE() << "SDL ERROR: " << why;
}

}  // namespace

AudioSource* AudioPlayerSilent::AddMusic(const std::string& path) {
    LogD() << "AudioPlayerSilent::AddMusic " << path;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        LogLoadFailure("AddMusic", path, std::strerror(errno));
        return nullptr;
    }
    OggVorbis_File vorbis;
    const int opened = ov_open(file, &vorbis, nullptr, 0);
    if (opened < 0) {
        std::fclose(file);  // a failed ov_open leaves the file to the caller
        LogLoadFailure("AddMusic", path, TremorError(opened));
        return nullptr;
    }
    // A song the SDL player would refuse is refused here as well.
    const bool decodes = OggVorbisSetupDecodes(&vorbis);
    const ogg_int64_t milliseconds = decodes ? ov_time_total(&vorbis, -1) : 0;  // Tremor: milliseconds
    ov_clear(&vorbis);  // closes the file
    if (!decodes) {
        LogLoadFailure("AddMusic", path, "damaged Vorbis setup header");
        return nullptr;
    }
    if (milliseconds < 0) {
        LogLoadFailure("AddMusic", path, TremorError(static_cast<int>(milliseconds)));
        return nullptr;
    }
    const U32 duration = milliseconds > 0xFFFFFFFFll ? 0xFFFFFFFFu : static_cast<U32>(milliseconds);
    return New<AudioMusicSourceSilent>(duration);
}

AudioSource* AudioPlayerSilent::AddFX(const std::string& path, I32 channel) {
    (void)channel;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        LogLoadFailure("AddFX", path, std::strerror(errno));
        return nullptr;
    }
    std::fclose(file);
    return New<AudioMusicSourceSilent>(0);
}

void AudioPlayerSilent::SetVolume(I32 percent) { m_Volume = percent < 0 ? 0 : percent > 100 ? 100 : percent; }

AudioMusicSourceSilent::AudioMusicSourceSilent(U32 duration)
    : m_Duration(duration), m_StartTime(System::GetTicks()), m_Length(0), m_Active(false), m_Forever(false) {}

U32 AudioMusicSourceSilent::Elapsed() const { return System::GetTicks() - m_StartTime; }

void AudioMusicSourceSilent::Play(I32 loops) {
    m_StartTime = System::GetTicks();
    m_Active = true;
    m_Forever = loops < 0;
    m_Length = static_cast<U64>(m_Duration) * static_cast<U64>(loops > 1 ? loops : 1);
}

void AudioMusicSourceSilent::FadeIn(I32 loops, I32 milliseconds) {
    (void)milliseconds;
    Play(loops);
}

void AudioMusicSourceSilent::Stop() { m_Active = false; }

void AudioMusicSourceSilent::FadeOut(I32 milliseconds) {
    if (!IsPlaying()) return;
    const U64 elapsed = Elapsed();
    const U64 fade = milliseconds > 0 ? static_cast<U64>(milliseconds) : 0;
    if (m_Forever || elapsed + fade < m_Length) m_Length = elapsed + fade;
    m_Forever = false;
}

bool AudioMusicSourceSilent::IsPlaying() { return m_Active && (m_Forever || Elapsed() < m_Length); }

F32 AudioMusicSourceSilent::GetTime() {
    return static_cast<F32>(static_cast<F64>(Elapsed()) * System::SecondsPerTick());
}

AudioPlayer* CreateAudioPlayerSilent() { return New<AudioPlayerSilent>(); }

}  // namespace Meridian
