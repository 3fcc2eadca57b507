// The silent player: song lengths read by the decoders and play time on the fixed-step clock, so
// headless races end exactly when their songs do.
#include <gtest/gtest.h>

#include <utility>

#include "Audio/AudioPlayerSilent.h"
#include "Core/System.h"
#include "Meridian/Audio/SoundFiles.h"
#include "Support/OggDamage.h"

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
    Ref<AudioSource> Music(double seconds, int channels) {
        const std::string path = m_Dir.File("song" + std::to_string(seconds) + ".ogg");
        EXPECT_TRUE(::Test::WriteToneOgg(path, seconds, channels));
        Ref<AudioSource> music = m_Player->AddMusic(path);
        EXPECT_STREQ(music ? music->GetTypeName() : "", "AudioMusicSourceSilent");
        return music;
    }
    static U32 Duration(AudioSource* music) { return static_cast<AudioMusicSourceSilent*>(music)->GetDuration(); }

    ::Test::TempDir m_Dir;
    Ref<AudioPlayerSilent> m_Player;
};

}  // namespace

TEST_F(SilentPlayer, PlaysForTheSongsLengthOnTheFixedClock) {
    Ref<AudioSource> music = Music(1.0, 2);
    ASSERT_NE(music.Get(), nullptr);
    EXPECT_EQ(Duration(music), 1000u);
    EXPECT_FALSE(music->IsPlaying());  // idle until played
    auto endsAfter = [&](U32 milliseconds) {
        System::AdvanceClock(milliseconds - 1);
        EXPECT_TRUE(music->IsPlaying()) << milliseconds;
        System::AdvanceClock(1);
        EXPECT_FALSE(music->IsPlaying()) << milliseconds;
    };

    // Loop counts as SDL_mixer's: 0 and 1 play once, 2 twice.
    const std::pair<I32, U32> plays[] = {{0, 1000}, {1, 1000}, {2, 2000}};
    for (const auto& play : plays) {
        music->Play(play.first);
        EXPECT_EQ(music->GetTime(), 0.0f);
        endsAfter(play.second);
    }
    System::AdvanceClock(500);
    EXPECT_FLOAT_EQ(music->GetTime(), 2.5f);  // the clock runs on after the end

    music->Play(-1);  // until stopped
    System::AdvanceClock(3600 * 1000);
    music->FadeOut(300);
    endsAfter(300);
    // A fade longer than what is left ends with the song.
    music->Play(0);
    System::AdvanceClock(900);
    music->FadeOut(300);
    endsAfter(100);
    music->FadeOut(300);  // after the end: nothing restarts
    EXPECT_FALSE(music->IsPlaying());

    music->FadeIn(0, 500);
    EXPECT_TRUE(music->IsPlaying());
    EXPECT_EQ(music->GetTime(), 0.0f);
    System::AdvanceClock(10);
    music->Stop();
    EXPECT_FALSE(music->IsPlaying());
    EXPECT_FLOAT_EQ(music->GetTime(), 0.01f);

    // A mono song, played frame by frame: a fixed-step race ends on the song's last frame.
    Ref<AudioSource> mono = Music(1.5, 1);
    ASSERT_NE(mono.Get(), nullptr);
    EXPECT_EQ(Duration(mono), 1500u);
    System::UseFixedClock(20, 77777);
    mono->Play(0);
    int frames = 0;
    for (; mono->IsPlaying() && frames < 1000; ++frames) System::FrameTick();
    EXPECT_EQ(frames, 75);
}

TEST_F(SilentPlayer, EffectsAndBadFiles) {
    const std::string song = m_Dir.File("song.ogg");
    ASSERT_TRUE(::Test::WriteToneOgg(song, 1.0, 2));
    Ref<AudioSource> effect = m_Player->AddFX(song, 3);
    ASSERT_NE(effect.Get(), nullptr);
    effect->Play(0);
    EXPECT_FALSE(effect->IsPlaying());  // effects last 0 s
    System::AdvanceClock(250);
    EXPECT_FLOAT_EQ(effect->GetTime(), 0.25f);

    // Missing, empty, a folder (no decoder), a damaged setup header: two lines each and null.
    ASSERT_TRUE(::Test::WriteDamagedSetupOgg(m_Dir.File("damaged.ogg")));
    ASSERT_TRUE(::Test::WriteText(m_Dir.File("empty.ogg"), ""));
    ::Test::LogCapture log;
    for (const std::string& path :
         {m_Dir.File("missing.ogg"), m_Dir.File("empty.ogg"), m_Dir.Path(), m_Dir.File("damaged.ogg")}) {
        const int before = log.Count("[E] ");
        EXPECT_EQ(m_Player->AddMusic(path), nullptr) << path;
        EXPECT_EQ(log.Count("[E] "), before + 2) << path;
        EXPECT_TRUE(log.Contains("[E] AudioPlayerSilent::AddMusic: failed to load " + path + "\n[E] SDL ERROR: "))
            << log.Text();
    }
    EXPECT_EQ(m_Player->AddFX(m_Dir.File("missing.wav"), -1), nullptr);
    EXPECT_TRUE(log.Contains("[E] AudioPlayerSilent::AddFX: failed to load " + m_Dir.File("missing.wav")));
    EXPECT_NE(Ref<AudioSource>(m_Player->AddMusic(song)).Get(), nullptr);
}
