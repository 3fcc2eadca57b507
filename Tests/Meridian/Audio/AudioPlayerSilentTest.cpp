// The silent player: song lengths read with Tremor and play time on the
// fixed-step clock, so headless races end exactly when their songs do.
#include <gtest/gtest.h>

#include "Audio/AudioPlayerSilent.h"
#include "Core/System.h"
#include "Meridian/Audio/SoundFiles.h"
#include "Support/TestUtil.h"

using namespace Meridian;

namespace {

class SilentPlayer : public testing::Test {
protected:
    void SetUp() override {
        System::UseFixedClock(0, 10000);
        m_Player = New<AudioPlayerSilent>();
        ASSERT_TRUE(m_Player->Init());
    }
    void TearDown() override {
        m_Player->Exit();
        m_Player.Reset();
        System::UseRealClock();
    }
    // A song of the given length, or skips the test without an encoder.
    std::string Song(double seconds, int channels) {
        const std::string path = m_Dir.File("song" + std::to_string(m_Songs++) + ".ogg");
        if (!::Test::WriteOgg(path, seconds, channels)) return std::string();
        return path;
    }

    ::Test::TempDir m_Dir;
    Ref<AudioPlayerSilent> m_Player;
    int m_Songs = 0;
};

AudioMusicSourceSilent* AsSilent(AudioSource* source) {
    EXPECT_STREQ(source->GetTypeName(), "AudioMusicSourceSilent");
    return static_cast<AudioMusicSourceSilent*>(source);
}

}  // namespace

TEST_F(SilentPlayer, PlaysForTheSongsLengthOnTheEngineClock) {
    const std::string song = Song(1.0, 2);
    if (song.empty()) GTEST_SKIP() << "no Ogg encoder available";
    Ref<AudioSource> music = m_Player->AddMusic(song);
    ASSERT_NE(music.Get(), nullptr);
    EXPECT_EQ(AsSilent(music)->GetDuration(), 1000u);
    EXPECT_FALSE(music->IsPlaying());  // idle until played

    music->Play(0);
    EXPECT_TRUE(music->IsPlaying());
    EXPECT_EQ(music->GetTime(), 0.0f);
    System::AdvanceClock(999);
    EXPECT_TRUE(music->IsPlaying());
    EXPECT_FLOAT_EQ(music->GetTime(), 0.999f);
    System::AdvanceClock(1);
    EXPECT_FALSE(music->IsPlaying());
    System::AdvanceClock(500);
    EXPECT_FLOAT_EQ(music->GetTime(), 1.5f);  // the clock runs on after the end

    music->Play(2);  // twice through
    System::AdvanceClock(1999);
    EXPECT_TRUE(music->IsPlaying());
    System::AdvanceClock(1);
    EXPECT_FALSE(music->IsPlaying());

    music->Play(-1);  // until stopped
    System::AdvanceClock(3600 * 1000);
    EXPECT_TRUE(music->IsPlaying());
    music->FadeOut(300);
    System::AdvanceClock(299);
    EXPECT_TRUE(music->IsPlaying());
    System::AdvanceClock(1);
    EXPECT_FALSE(music->IsPlaying());

    // A fade longer than what is left ends with the song.
    music->Play(0);
    System::AdvanceClock(900);
    music->FadeOut(300);
    System::AdvanceClock(99);
    EXPECT_TRUE(music->IsPlaying());
    System::AdvanceClock(1);
    EXPECT_FALSE(music->IsPlaying());
    music->FadeOut(300);  // after the end: nothing restarts
    EXPECT_FALSE(music->IsPlaying());

    music->FadeIn(0, 500);
    EXPECT_TRUE(music->IsPlaying());
    EXPECT_EQ(music->GetTime(), 0.0f);
    System::AdvanceClock(10);
    music->Stop();
    EXPECT_FALSE(music->IsPlaying());
    EXPECT_FLOAT_EQ(music->GetTime(), 0.01f);
}

TEST_F(SilentPlayer, FixedStepRaceEndsWithTheSong) {
    const std::string song = Song(1.5, 1);
    if (song.empty()) GTEST_SKIP() << "no Ogg encoder available";
    Ref<AudioSource> music = m_Player->AddMusic(song);
    ASSERT_NE(music.Get(), nullptr);
    EXPECT_EQ(AsSilent(music)->GetDuration(), 1500u);

    System::UseFixedClock(20, 77777);
    music->Play(0);
    int frames = 0;
    while (music->IsPlaying() && frames < 1000) {
        System::FrameTick();
        ++frames;
    }
    EXPECT_EQ(frames, 75);  // 75 frames of 20 ms: exactly the song
    EXPECT_FLOAT_EQ(music->GetTime(), 1.5f);
}

TEST_F(SilentPlayer, EffectsVolumeAndBadFiles) {
    const std::string wav = m_Dir.File("beep.wav");
    ASSERT_TRUE(::Test::WriteWav(wav, 0.5, 2));
    Ref<AudioSource> effect = m_Player->AddFX(wav, 3);
    ASSERT_NE(effect.Get(), nullptr);
    effect->Play(0);
    EXPECT_FALSE(effect->IsPlaying());  // effects last 0 s
    System::AdvanceClock(250);
    EXPECT_FLOAT_EQ(effect->GetTime(), 0.25f);

    EXPECT_EQ(m_Player->GetVolume(), 100);
    m_Player->SetVolume(-5);
    EXPECT_EQ(m_Player->GetVolume(), 0);
    m_Player->SetVolume(50);
    EXPECT_EQ(m_Player->GetVolume(), 50);
    m_Player->SetVolume(250);
    EXPECT_EQ(m_Player->GetVolume(), 100);

    ASSERT_TRUE(::Test::WriteText(m_Dir.File("noise.ogg"), std::string(5000, 'x')));
    ASSERT_TRUE(::Test::WriteText(m_Dir.File("empty.ogg"), ""));
    ::Test::LogCapture log;
    const std::string bad[] = {m_Dir.File("missing.ogg"), m_Dir.File("noise.ogg"), m_Dir.File("empty.ogg"),
                               m_Dir.Path()};
    for (const std::string& path : bad) {
        const int before = log.Count("[E] ");
        EXPECT_EQ(m_Player->AddMusic(path), nullptr) << path;
        EXPECT_EQ(log.Count("[E] "), before + 2) << path;
        EXPECT_TRUE(log.Contains("[E] AudioPlayerSilent::AddMusic: failed to load " + path + "\n[E] SDL ERROR: "))
            << log.Text();
    }
    EXPECT_EQ(m_Player->AddFX(m_Dir.File("missing.wav"), -1), nullptr);
    EXPECT_TRUE(log.Contains("[E] AudioPlayerSilent::AddFX: failed to load " + m_Dir.File("missing.wav")));

    // A song cut inside its headers is no song.
    const std::string song = Song(1.0, 2);
    if (song.empty()) return;
    std::vector<unsigned char> bytes = ::Test::ReadFile(song);
    bytes.resize(100);
    ASSERT_TRUE(::Test::WriteFile(m_Dir.File("cut.ogg"), bytes));
    EXPECT_EQ(m_Player->AddMusic(m_Dir.File("cut.ogg")), nullptr);
    EXPECT_NE(Ref<AudioSource>(m_Player->AddMusic(song)).Get(), nullptr);
}
