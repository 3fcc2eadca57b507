// An audio player without sound hardware: loads nothing, keeps the volume.
#pragma once

#include "Audio/AudioPlayer.h"

namespace Meridian {

class AudioPlayerNull : public AudioPlayer {
    MERIDIAN_CLASS(AudioPlayerNull, AudioPlayer)

    bool Init() override { return true; }
    void Exit() override {}
    AudioSource* AddMusic(const std::string&) override { return nullptr; }
    AudioSource* AddFX(const std::string&, I32) override { return nullptr; }
    void SetVolume(I32 percent) override { m_Volume = percent < 0 ? 0 : percent > 100 ? 100 : percent; }
    I32 GetVolume() override { return m_Volume; }

private:
    I32 m_Volume = 100;
};

}  // namespace Meridian
