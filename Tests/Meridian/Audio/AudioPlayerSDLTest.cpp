// The SDL_mixer player on SDL's dummy audio driver (SDL_AUDIODRIVER=dummy,
// set by the test main): real mixer calls, real files, no sound card.
#include <gtest/gtest.h>

#include <SDL/SDL.h>
#include <SDL/SDL_mixer.h>

#include <atomic>
#include <cstdlib>

#include "Audio/AudioPlayerSDL.h"
#include "Core/App.h"
#include "Core/Devices.h"
#include "Core/System.h"
#include "Meridian/Audio/SoundFiles.h"
#include "Support/TestUtil.h"

using namespace Meridian;

namespace {

std::atomic<int> g_FinishedOnTwo{0};

void CountFinished(int channel) {
    if (channel == 2) ++g_FinishedOnTwo;
}

class MixerTest : public testing::Test {
protected:
    void SetUp() override { System::Init(); }
    void TearDown() override { System::Exit(); }

    ::Test::TempDir m_Dir;
};

}  // namespace

TEST_F(MixerTest, VolumeRules) {
    Ref<AudioPlayerSDL> player = New<AudioPlayerSDL>();
    EXPECT_EQ(player->GetVolume(), 100);
    player->SetVolume(50);  // before the mixer opens: applied when it does
    ASSERT_TRUE(player->Init());
    EXPECT_TRUE(player->Init());  // already open: no second open to undo
    EXPECT_EQ(Mix_VolumeMusic(-1), 64);
    EXPECT_EQ(Mix_Volume(0, -1), 64);

    player->SetVolume(-5);
    EXPECT_EQ(player->GetVolume(), 0);
    EXPECT_EQ(Mix_VolumeMusic(-1), 0);
    EXPECT_EQ(Mix_Volume(0, -1), 0);
    EXPECT_EQ(Mix_Volume(7, -1), 0);

    player->SetVolume(50);
    EXPECT_EQ(player->GetVolume(), 50);
    EXPECT_EQ(Mix_VolumeMusic(-1), 64);
    EXPECT_EQ(Mix_Volume(3, -1), 64);

    player->SetVolume(250);
    EXPECT_EQ(player->GetVolume(), 100);
    EXPECT_EQ(Mix_VolumeMusic(-1), 128);
    EXPECT_EQ(Mix_Volume(5, -1), 128);

    player->SetVolume(99);  // 99 * 128 / 100 truncates
    EXPECT_EQ(Mix_VolumeMusic(-1), 126);
    player->SetVolume(20);
    EXPECT_EQ(Mix_Volume(1, -1), 25);

    player->Exit();
    player->Exit();  // closing twice is harmless
}

TEST_F(MixerTest, EffectRestartsOnItsChannelAndLeavesOthersAlone) {
    const std::string wav = m_Dir.File("beep.wav");
    ASSERT_TRUE(::Test::WriteWav(wav, 2.0, 2));
    Ref<AudioPlayerSDL> player = New<AudioPlayerSDL>();
    ASSERT_TRUE(player->Init());
    Mix_ChannelFinished(&CountFinished);
    g_FinishedOnTwo = 0;

    Ref<AudioSource> fixed = player->AddFX(wav, 2);
    ASSERT_NE(fixed.Get(), nullptr);
    auto* fixedEffect = static_cast<AudioEffectSourceSDL*>(fixed.Get());
    ASSERT_STREQ(fixed->GetTypeName(), "AudioEffectSourceSDL");
    EXPECT_FALSE(fixed->IsPlaying());
    fixed->Play(0);
    EXPECT_TRUE(fixed->IsPlaying());
    EXPECT_EQ(Mix_Playing(2), 1);
    EXPECT_EQ(g_FinishedOnTwo, 0);
    SDL_Delay(50);
    fixed->Play(0);  // still sounding: halted, then started again on channel 2
    EXPECT_EQ(g_FinishedOnTwo, 1);
    EXPECT_EQ(fixedEffect->GetChannel(), 2);
    EXPECT_TRUE(fixed->IsPlaying());
    EXPECT_LT(fixed->GetTime(), 0.05f);

    // An effect for any channel that never played must not stop the others.
    Ref<AudioSource> any = player->AddFX(wav, -1);
    ASSERT_NE(any.Get(), nullptr);
    any->Stop();
    any->FadeOut(10);
    EXPECT_FALSE(any->IsPlaying());
    EXPECT_TRUE(fixed->IsPlaying());
    any->Play(0);
    const I32 anyChannel = static_cast<AudioEffectSourceSDL*>(any.Get())->GetChannel();
    EXPECT_GE(anyChannel, 0);
    EXPECT_NE(anyChannel, 2);
    EXPECT_TRUE(any->IsPlaying());

    fixed->Stop();
    EXPECT_FALSE(fixed->IsPlaying());
    EXPECT_TRUE(any->IsPlaying());

    // FadeIn(loops, milliseconds) on the effect's channel.
    fixed->FadeIn(0, 500);
    EXPECT_TRUE(fixed->IsPlaying());
    EXPECT_EQ(Mix_FadingChannel(2), MIX_FADING_IN);
    fixed->Play(0);
    fixed->FadeOut(20);
    EXPECT_EQ(Mix_FadingChannel(2), MIX_FADING_OUT);

    // Missing and unreadable files: two lines, null, the player still works.
    ::Test::LogCapture log;
    ASSERT_TRUE(::Test::WriteText(m_Dir.File("noise.wav"), "not a sound"));
    EXPECT_EQ(player->AddFX(m_Dir.File("missing.wav"), -1), nullptr);
    EXPECT_EQ(player->AddFX(m_Dir.File("noise.wav"), 1), nullptr);
    const std::vector<std::string> lines = log.Lines();
    ASSERT_EQ(lines.size(), 5u) << log.Text();
    EXPECT_EQ(lines[1], "[E] AudioPlayerSDL::AddFX: failed to load " + m_Dir.File("missing.wav"));
    EXPECT_EQ(lines[2].rfind("[E] SDL ERROR: ", 0), 0u);
    EXPECT_EQ(lines[3], "[E] AudioPlayerSDL::AddFX: failed to load " + m_Dir.File("noise.wav"));
    Ref<AudioSource> again = player->AddFX(wav, 1);
    EXPECT_NE(again.Get(), nullptr);

    Mix_ChannelFinished(nullptr);
    player->Exit();
}

TEST_F(MixerTest, MusicPlaysThroughTheDummyDriverWithGrowingTime) {
    const std::string song = m_Dir.File("song.ogg");
    if (!::Test::WriteOgg(song, 1.0, 2)) GTEST_SKIP() << "no Ogg encoder available";
    Ref<AudioPlayerSDL> player = New<AudioPlayerSDL>();
    ASSERT_TRUE(player->Init());

    ::Test::LogCapture log;
    Ref<AudioSource> music = player->AddMusic(song);
    ASSERT_NE(music.Get(), nullptr);
    EXPECT_TRUE(log.Contains("[D] Mix_LoadMUS " + song));
    EXPECT_FALSE(music->IsPlaying());

    music->Play(0);
    EXPECT_TRUE(music->IsPlaying());
    EXPECT_LT(music->GetTime(), 0.1f);
    SDL_Delay(300);
    const F32 during = music->GetTime();
    EXPECT_GE(during, 0.29f);
    EXPECT_LT(during, 0.9f);
    EXPECT_TRUE(music->IsPlaying());

    // Another source's Stop must not end this one's stream.
    Ref<AudioSource> other = player->AddMusic(song);
    ASSERT_NE(other.Get(), nullptr);
    other->Stop();
    other->FadeOut(10);
    EXPECT_FALSE(other->IsPlaying());
    EXPECT_TRUE(music->IsPlaying());

    for (int waited = 0; music->IsPlaying() && waited < 5000; waited += 10) SDL_Delay(10);
    EXPECT_FALSE(music->IsPlaying());
    const F32 ended = music->GetTime();
    EXPECT_GE(ended, 0.9f);
    SDL_Delay(100);
    EXPECT_GE(music->GetTime(), ended + 0.09f);  // the clock runs on after the end

    // FadeIn restarts the clock and the stream; Stop ends it.
    music->FadeIn(-1, 200);
    EXPECT_TRUE(music->IsPlaying());
    EXPECT_LT(music->GetTime(), 0.1f);
    EXPECT_EQ(Mix_FadingMusic(), MIX_FADING_IN);
    music->Stop();
    EXPECT_FALSE(music->IsPlaying());

    // Missing and broken songs: two lines and null; loading still works.
    ASSERT_TRUE(::Test::WriteText(m_Dir.File("broken.ogg"), "OggS but not really"));
    const int before = static_cast<int>(log.Lines().size());
    EXPECT_EQ(player->AddMusic(m_Dir.File("missing.ogg")), nullptr);
    EXPECT_EQ(player->AddMusic(m_Dir.File("broken.ogg")), nullptr);
    const std::vector<std::string> lines = log.Lines();
    ASSERT_EQ(static_cast<int>(lines.size()), before + 6) << log.Text();
    EXPECT_EQ(lines[before + 1], "[E] AudioPlayerSDL::AddMusic: failed to load " + m_Dir.File("missing.ogg"));
    EXPECT_EQ(lines[before + 2].rfind("[E] SDL ERROR: ", 0), 0u);
    Ref<AudioSource> fine = player->AddMusic(song);
    EXPECT_NE(fine.Get(), nullptr);

    // Sources may outlive the mixer.
    player->Exit();
    player.Reset();
    music.Reset();
}

TEST_F(MixerTest, FallsBackToSilenceWithOneWarning) {
    // A driver that does not exist makes Mix_OpenAudio fail.
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    {
        ::Test::LogCapture log;
        Ref<AudioPlayer> player = CreateAudioPlayerWithFallback();
        ASSERT_NE(player.Get(), nullptr);
        EXPECT_STREQ(player->GetTypeName(), "AudioPlayerSilent");
        EXPECT_TRUE(player->Init());
        EXPECT_EQ(log.Count("[W] "), 1);
        EXPECT_EQ(log.Count("[E] "), 0);
        EXPECT_TRUE(log.Contains("[W] AudioPlayer: no sound device ("));
        player->Exit();

        // The application starts with it.
        DeviceFactory factory = NullDeviceFactory();
        factory.createAudio = &CreateAudioPlayerWithFallback;
        SetDeviceFactory(factory);
        Ref<App> app = New<App>();
        EXPECT_TRUE(app->Init(0, nullptr));
        EXPECT_EQ(app->GetAudio()->GetVolume(), 20);
        app->Exit();
        app.Reset();
        SetDeviceFactory(NullDeviceFactory());

        // Plain SDL player: the error line of Init.
        Ref<AudioPlayer> plain = CreateAudioPlayerSDL();
        EXPECT_FALSE(plain->Init());
        EXPECT_EQ(log.Count("[E] Mix_OpenAudio failed: "), 1);
    }
    // Once a driver exists again, the same process can open the mixer.
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    ::Test::LogCapture log;
    Ref<AudioPlayer> player = CreateAudioPlayerWithFallback();
    EXPECT_STREQ(player->GetTypeName(), "AudioPlayerSDL");
    EXPECT_TRUE(player->Init());
    EXPECT_EQ(log.Count("[W] "), 0) << log.Text();
    player->Exit();
}
