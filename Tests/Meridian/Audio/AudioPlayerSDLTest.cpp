// The SDL_mixer player on SDL's dummy audio driver (set by the test main): real mixer calls, no sound card.
#include <gtest/gtest.h>

#include <SDL/SDL.h>
#include <SDL/SDL_mixer.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>

#include "Audio/AudioPlayerSDL.h"
#include "Audio/AudioPlayerSilent.h"
#include "Core/App.h"
#include "Core/Devices.h"
#include "Core/System.h"
#include "Meridian/Audio/SoundFiles.h"
#include "Support/OggDamage.h"

using namespace Meridian;

namespace {

std::atomic<int> g_FinishedOnTwo{0};
void CountFinished(int channel) { g_FinishedOnTwo += channel == 2; }

std::atomic<long> g_MixedFrames{0};  // stereo 16-bit frames the mixer has put out
void CountMixed(void*, Uint8*, int bytes) { g_MixedFrames += bytes / 4; }

// Polls until done() holds; a hang guard, not a measure of time.
template <class Done>
void WaitFor(Done done) {
    for (int waited = 0; !done() && waited < 30000; waited += 2) SDL_Delay(2);
}

class MixerTest : public testing::Test {
protected:
    // The sources' clocks move only when a test moves the fixed clock, however fast the mixer goes.
    void SetUp() override {
        System::Init();
        System::UseFixedClock(0, 1000);
    }
    void TearDown() override {
        System::UseRealClock();
        System::Exit();
    }

    ::Test::TempDir m_Dir;
};

}  // namespace

TEST_F(MixerTest, VolumeRules) {
    Ref<AudioPlayerSDL> player = New<AudioPlayerSDL>();
    player->SetVolume(50);  // before the mixer opens: applied when it does
    ASSERT_TRUE(player->Init());
    EXPECT_TRUE(player->Init());  // already open: no second open to undo
    EXPECT_EQ(Mix_VolumeMusic(-1), 64);
    EXPECT_EQ(Mix_Volume(0, -1), 64);

    // Percent set, percent kept, mixer volume (128 * percent / 100, truncated).
    Ref<AudioPlayerSilent> silent = New<AudioPlayerSilent>();
    const I32 rules[][3] = {{-5, 0, 0}, {50, 50, 64}, {250, 100, 128}, {99, 99, 126}, {20, 20, 25}};
    for (const auto& rule : rules) {
        player->SetVolume(rule[0]);
        silent->SetVolume(rule[0]);
        EXPECT_EQ(player->GetVolume(), rule[1]) << rule[0];
        EXPECT_EQ(silent->GetVolume(), rule[1]) << rule[0];
        EXPECT_EQ(Mix_VolumeMusic(-1), rule[2]) << rule[0];
        for (int channel : {0, 7}) EXPECT_EQ(Mix_Volume(channel, -1), rule[2]) << rule[0];
    }
    player->Exit();
    player->Exit();  // closing twice is harmless
}

TEST_F(MixerTest, EffectRestartsOnItsChannelAndLeavesOthersAlone) {
    const std::string effectFile = m_Dir.File("beep.ogg");
    ASSERT_TRUE(::Test::WriteToneOgg(effectFile, 2.0, 2));
    Ref<AudioPlayerSDL> player = New<AudioPlayerSDL>();
    ASSERT_TRUE(player->Init());
    Mix_ChannelFinished(&CountFinished);
    g_FinishedOnTwo = 0;

    Ref<AudioSource> fixed = player->AddFX(effectFile, 2);
    ASSERT_STREQ(fixed->GetTypeName(), "AudioEffectSourceSDL");
    EXPECT_FALSE(fixed->IsPlaying());
    fixed->Play(0);
    EXPECT_EQ(Mix_Playing(2), 1);
    System::AdvanceClock(50);
    fixed->Play(0);  // still sounding: halted, then started again on channel 2
    EXPECT_EQ(g_FinishedOnTwo, 1);
    EXPECT_EQ(static_cast<AudioEffectSourceSDL*>(fixed.Get())->GetChannel(), 2);
    EXPECT_TRUE(fixed->IsPlaying());
    EXPECT_EQ(fixed->GetTime(), 0.0f);

    // An effect for any channel that never played must not stop the others.
    Ref<AudioSource> any = player->AddFX(effectFile, -1);
    ASSERT_NE(any.Get(), nullptr);
    any->Stop();
    any->FadeOut(10);
    EXPECT_FALSE(any->IsPlaying());
    EXPECT_TRUE(fixed->IsPlaying());
    any->Play(0);
    const I32 anyChannel = static_cast<AudioEffectSourceSDL*>(any.Get())->GetChannel();
    EXPECT_TRUE(anyChannel >= 0 && anyChannel != 2) << anyChannel;
    fixed->Stop();
    EXPECT_FALSE(fixed->IsPlaying());
    EXPECT_TRUE(any->IsPlaying());

    // FadeIn(loops, milliseconds) on the effect's channel.
    fixed->FadeIn(0, 500);
    EXPECT_EQ(Mix_FadingChannel(2), MIX_FADING_IN);
    fixed->Play(0);
    fixed->FadeOut(20);
    EXPECT_EQ(Mix_FadingChannel(2), MIX_FADING_OUT);

    // Missing and unreadable files: two lines each, null, the player still works.
    ::Test::LogCapture log;
    ASSERT_TRUE(::Test::WriteText(m_Dir.File("noise.wav"), "not a sound"));
    EXPECT_EQ(player->AddFX(m_Dir.File("missing.wav"), -1), nullptr);
    EXPECT_EQ(player->AddFX(m_Dir.File("noise.wav"), 1), nullptr);
    EXPECT_EQ(log.Count("[E] "), 4) << log.Text();
    EXPECT_TRUE(log.Contains("[E] AudioPlayerSDL::AddFX: failed to load " + m_Dir.File("noise.wav") + "\n[E] SDL "));
    EXPECT_NE(Ref<AudioSource>(player->AddFX(effectFile, 1)).Get(), nullptr);

    Mix_ChannelFinished(nullptr);
    player->Exit();
}

TEST_F(MixerTest, MusicPlaysToItsEndOnTheMixerAndItsClockIsThePositionHeard) {
    const std::string song = m_Dir.File("song.ogg");
    const double seconds = 1.0;
    ASSERT_TRUE(::Test::WriteToneOgg(song, seconds, 2));
    Ref<AudioPlayerSDL> player = New<AudioPlayerSDL>();
    player->SetChunkSize(1024);
    ASSERT_TRUE(player->Init());

    Ref<AudioSource> music = player->AddMusic(song);
    ASSERT_NE(music.Get(), nullptr);
    EXPECT_FALSE(music->IsPlaying());
    g_MixedFrames = 0;
    Mix_SetPostMix(&CountMixed, nullptr);
    music->Play(0);
    EXPECT_TRUE(music->IsPlaying());
    EXPECT_EQ(music->GetTime(), 0.0f);  // nothing heard yet

    // Another source's Stop must not end this one's stream.
    Ref<AudioSource> other = player->AddMusic(song);
    ASSERT_NE(other.Get(), nullptr);
    other->Stop();
    other->FadeOut(10);
    EXPECT_FALSE(other->IsPlaying());
    EXPECT_TRUE(music->IsPlaying());

    // The clock is the frames mixed less the chunk just mixed and the one playing, plus the system time
    // since that mix (at most one chunk): it lies between the frames counted before and after it is read,
    // and never goes back, however far the system clock jumps.
    const double chunk = 1024.0 / 44100.0;
    WaitFor([&] { return music->GetFramesMixed() >= 4 * 1024; });
    F32 last = 0.0f;
    for (int k = 0; k < 40 && music->IsPlaying(); ++k) {
        const double before = static_cast<double>(music->GetFramesMixed()) / 44100.0;
        const F32 now = music->GetTime();
        const double after = static_cast<double>(music->GetFramesMixed()) / 44100.0;
        if (!music->IsPlaying()) break;
        EXPECT_GE(now, last) << k;
        EXPECT_GE(now, before - 3 * chunk - 1e-4) << k;
        EXPECT_LE(now, std::max<double>(last, after - chunk) + 1e-4) << k;
        last = now;
        System::AdvanceClock(k % 2 ? 5 : 500);
        SDL_Delay(3);
    }

    // Paused, the mixer goes on (four more chunks) but the song and its clock stand; resumed, both go on.
    music->SetPaused(true);
    EXPECT_TRUE(music->IsPlaying() && music->IsPaused());
    const U64 held = music->GetFramesMixed();
    const F32 heldTime = music->GetTime();
    const long mixed = g_MixedFrames.load();
    WaitFor([&] { return g_MixedFrames.load() >= mixed + 4 * 1024; });
    EXPECT_EQ(music->GetFramesMixed(), held);
    System::AdvanceClock(500);
    EXPECT_EQ(music->GetTime(), heldTime);
    music->SetPaused(false);
    WaitFor([&] { return music->GetFramesMixed() != held; });
    EXPECT_GT(music->GetFramesMixed(), held);

    // The stream ends only once the mixer has mixed the song (less the chunk being mixed when it ran out
    // and one more for the counter's lag); then the clock stands still.
    WaitFor([&] { return !music->IsPlaying(); });
    EXPECT_FALSE(music->IsPlaying());
    Mix_SetPostMix(nullptr, nullptr);
    EXPECT_GE(g_MixedFrames.load(), static_cast<long>(seconds * 44100) - 2 * 1024);
    const F32 ended = music->GetTime();
    EXPECT_GT(ended, seconds - 4 * chunk);
    System::AdvanceClock(100);
    EXPECT_EQ(music->GetTime(), ended);

    // FadeIn restarts the clock and the stream; Stop ends it.
    music->FadeIn(-1, 200);
    EXPECT_TRUE(music->IsPlaying());
    EXPECT_EQ(music->GetTime(), 0.0f);
    music->Stop();
    EXPECT_FALSE(music->IsPlaying());

    // Missing and broken songs: two error lines each and null; loading still works.
    ::Test::LogCapture log;
    ASSERT_TRUE(::Test::WriteText(m_Dir.File("broken.ogg"), "OggS but not really"));
    EXPECT_EQ(player->AddMusic(m_Dir.File("missing.ogg")), nullptr);
    EXPECT_EQ(player->AddMusic(m_Dir.File("broken.ogg")), nullptr);
    EXPECT_EQ(log.Count("[E] "), 4) << log.Text();
    EXPECT_NE(Ref<AudioSource>(player->AddMusic(song)).Get(), nullptr);

    // SDL_mixer would accept this song and die of SIGFPE on its mixing thread.
    const std::string damaged = m_Dir.File("damaged.ogg");
    ASSERT_TRUE(::Test::WriteDamagedSetupOgg(damaged));
    EXPECT_EQ(player->AddMusic(damaged), nullptr);
    EXPECT_TRUE(log.Contains("[E] AudioPlayerSDL::AddMusic: failed to load " + damaged +
                             "\n[E] SDL ERROR: damaged Vorbis setup header\n"))
        << log.Text();

    // Sources may outlive the mixer.
    player->Exit();
    player.Reset();
}

TEST_F(MixerTest, FallsBackToSilenceWithOneWarning) {
    // A driver that does not exist makes Mix_OpenAudio fail.
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    {
        ::Test::LogCapture log;
        Ref<AudioPlayer> player = CreateAudioPlayerWithFallback(1024);
        ASSERT_NE(player.Get(), nullptr);
        EXPECT_STREQ(player->GetTypeName(), "AudioPlayerSilent");
        EXPECT_TRUE(player->Init());
        EXPECT_EQ(log.Count("[W] "), 1);
        EXPECT_EQ(log.Count("[E] "), 0);
        EXPECT_TRUE(log.Contains("[W] AudioPlayer: no sound device ("));
        player->Exit();

        // The application starts with it; a plain SDL player fails its Init.
        DeviceFactory factory = NullDeviceFactory();
        factory.createAudio = [] { return CreateAudioPlayerWithFallback(1024); };
        SetDeviceFactory(factory);
        Ref<App> app = New<App>();
        EXPECT_TRUE(app->Init(0, nullptr));
        app->Exit();
        app.Reset();
        SetDeviceFactory(NullDeviceFactory());
        EXPECT_FALSE(Ref<AudioPlayer>(CreateAudioPlayerSDL())->Init());
    }
    // Once a driver exists again, the same process can open the mixer.
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    ::Test::LogCapture log;
    Ref<AudioPlayer> player = CreateAudioPlayerWithFallback(1024);
    EXPECT_STREQ(player->GetTypeName(), "AudioPlayerSDL");
    EXPECT_TRUE(player->Init());
    EXPECT_EQ(log.Count("[W] "), 0) << log.Text();
    player->Exit();
}
