// The players: SDL_mixer on SDL's dummy driver (set by the test main) or on its disk driver, which writes what the
// mixer produced to a file; and the silent player, whose songs last as long as the decoders say on the fixed clock.
#include <gtest/gtest.h>

#include <SDL/SDL.h>
#include <SDL/SDL_mixer.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <utility>

#include "Audio/AudioPlayerSDL.h"
#include "Audio/AudioPlayerSilent.h"
#include "Core/App.h"
#include "Core/Devices.h"
#include "Core/System.h"
#include "Support/OggDamage.h"
#include "Support/OggFiles.h"
#include "Support/TestUtil.h"

using namespace Meridian;

namespace {

// A 440 Hz tone as a real Ogg Vorbis file.
bool WriteToneOgg(const std::string& path, double seconds, int channels) {
    std::vector<int16_t> tone(static_cast<size_t>(seconds * 44100), 0);
    ::Test::AddTone(tone, 0, tone.size(), 440.0, 8000.0);
    return ::Test::WriteOgg(path, channels == 2 ? ::Test::Interleave(tone, tone) : tone, 44100, channels);
}

std::atomic<int> g_FinishedOnTwo{0};
void CountFinished(int channel) { g_FinishedOnTwo += channel == 2; }

std::atomic<long> g_MixedFrames{0};  // stereo 16-bit frames the mixer has put out
void CountMixed(void*, Uint8*, int bytes) { g_MixedFrames += bytes / 4; }

// Polls until done() holds; a hang guard, not a measure of time.
template <class Done>
void WaitFor(Done done) {
    for (int waited = 0; !done() && waited < 60000; waited += 2) SDL_Delay(2);
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
        EXPECT_TRUE(WriteToneOgg(path, seconds, channels));
        Ref<AudioSource> music = m_Player->AddMusic(path);
        EXPECT_STREQ(music ? music->GetTypeName() : "", "AudioMusicSourceSilent");
        return music;
    }
    static U32 Duration(AudioSource* music) { return static_cast<AudioMusicSourceSilent*>(music)->GetDuration(); }

    ::Test::TempDir m_Dir;
    Ref<AudioPlayerSilent> m_Player;
};

class MusicStream : public testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", m_Output.c_str(), 1);
        setenv("SDL_DISKAUDIODELAY", "5", 1);
        System::Init();
        m_Player = New<AudioPlayerSDL>();
        ASSERT_TRUE(m_Player->Init());
    }
    void TearDown() override {
        m_Player->Exit();
        m_Player.Reset();
        System::Exit();
        setenv("SDL_AUDIODRIVER", "dummy", 1);
    }
    static void PlayOut(AudioSource* music) {
        WaitFor([&] { return !music->IsPlaying(); });
        ASSERT_FALSE(music->IsPlaying());
    }
    // The stereo frames the mixer produced, from the first one that is not silent.
    std::vector<int16_t> Played() {
        m_Player->Exit();  // closes the driver's file
        const std::vector<unsigned char> bytes = ::Test::ReadFile(m_Output);
        std::vector<int16_t> samples(bytes.size() / 2);
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = static_cast<int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
        size_t first = 0;
        while (first < samples.size() && samples[first] == 0) ++first;
        return std::vector<int16_t>(samples.begin() + static_cast<std::ptrdiff_t>(first & ~size_t(1)), samples.end());
    }
    static std::vector<int16_t> Decode(const std::string& path) {
        Ref<MusicDecoder> decoder = CreateDecoder(path);
        decoder->SetOutputChannels(2);
        std::vector<int16_t> all;
        if (!decoder->Open(path)) return all;
        int16_t buffer[2048];
        while (I32 got = decoder->Read(buffer, 1024)) all.insert(all.end(), buffer, buffer + 2 * got);
        return all;
    }

    ::Test::TempDir m_Dir;
    std::string m_Output = m_Dir.File("mixed.raw");
    Ref<AudioPlayerSDL> m_Player;
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
    ASSERT_TRUE(WriteToneOgg(effectFile, 2.0, 2));
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

    Mix_ChannelFinished(nullptr);
    player->Exit();
}

TEST_F(MixerTest, MusicPlaysToItsEndOnTheMixerAndItsClockIsThePositionHeard) {
    const std::string song = m_Dir.File("song.ogg");
    const double seconds = 1.0;
    ASSERT_TRUE(WriteToneOgg(song, seconds, 2));
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

    // The clock (frames mixed less two chunks, plus the time since that mix) lies between the frames counted before
    // and after it is read, and never goes back, however far the system clock jumps.
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

    // The stream ends once the mixer has mixed the song (less two chunks of lag); then the clock stands still.
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

    // Sources may outlive the mixer.
    player->Exit();
    player.Reset();
}

// Missing, broken, empty, a folder and a damaged setup header (SDL_mixer would accept that one and die of SIGFPE on
// its mixing thread): null and two error lines each, and the player still loads songs.
TEST_F(MixerTest, BothPlayersRefuseBadFilesWithTwoLinesAndGoOn) {
    const std::string song = m_Dir.File("song.ogg"), damaged = m_Dir.File("damaged.ogg");
    ASSERT_TRUE(WriteToneOgg(song, 1.0, 2));
    ASSERT_TRUE(::Test::WriteDamagedSetupOgg(damaged));
    ASSERT_TRUE(::Test::WriteText(m_Dir.File("broken.ogg"), "OggS but not really"));
    ASSERT_TRUE(::Test::WriteText(m_Dir.File("empty.ogg"), ""));
    ASSERT_TRUE(::Test::WriteText(m_Dir.File("noise.wav"), "not a sound"));
    Ref<AudioPlayer> sdl = New<AudioPlayerSDL>();
    ASSERT_TRUE(sdl->Init());
    Ref<AudioPlayer> silent = New<AudioPlayerSilent>();
    ::Test::LogCapture log;
    for (AudioPlayer* player : {sdl.Get(), silent.Get()}) {
        const std::string name = player->GetTypeName();
        for (const std::string& path : {m_Dir.File("missing.ogg"), m_Dir.File("broken.ogg"), m_Dir.File("empty.ogg"),
                                        m_Dir.Path(), damaged, m_Dir.File("missing.wav"), m_Dir.File("noise.wav")}) {
            const bool effect = path.back() == 'v';
            if (player == silent.Get() && path == m_Dir.File("noise.wav")) continue;  // it does not read effects
            SCOPED_TRACE(name + " " + path);
            const int before = log.Count("[E] ");
            EXPECT_EQ(effect ? player->AddFX(path, 1) : player->AddMusic(path), nullptr);
            EXPECT_EQ(log.Count("[E] "), before + 2);
            EXPECT_TRUE(log.Contains("[E] " + name + (effect ? "::AddFX" : "::AddMusic") + ": failed to load " + path +
                                     "\n[E] SDL ERROR: "))
                << log.Text();
        }
        EXPECT_NE(Ref<AudioSource>(player->AddMusic(song)).Get(), nullptr) << name;
        EXPECT_NE(Ref<AudioSource>(player->AddFX(song, 1)).Get(), nullptr) << name;
    }
    EXPECT_EQ(2, log.Count("failed to load " + damaged + "\n[E] SDL ERROR: damaged Vorbis setup header\n"));
    sdl->Exit();
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

    // Effects are not read and last no time, but their clock runs.
    ASSERT_TRUE(::Test::WriteText(m_Dir.File("beep.wav"), "beep"));
    Ref<AudioSource> effect = m_Player->AddFX(m_Dir.File("beep.wav"), 3);
    ASSERT_NE(effect.Get(), nullptr);
    effect->Play(0);
    EXPECT_FALSE(effect->IsPlaying());
    System::AdvanceClock(250);
    EXPECT_FLOAT_EQ(effect->GetTime(), 0.25f);

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

// The whole song reaches the mixer once per loop, in order, at the music volume.
TEST_F(MusicStream, HandsTheWholeSongToTheMixerAtTheMusicVolume) {
    const std::string song = m_Dir.File("song.ogg");
    std::vector<int16_t> left(30000), right(30000);
    ::Test::AddTone(left, 0, left.size(), 440.0, 9000.0);
    ::Test::AddTone(right, 0, right.size(), 1000.0, 7000.0);
    ASSERT_TRUE(::Test::WriteOgg(song, ::Test::Interleave(left, right), 44100, 2));
    const std::vector<int16_t> decoded = Decode(song);
    ASSERT_GT(decoded.size(), 59000u);

    m_Player->SetVolume(50);  // mixer volume 64 of 128
    Ref<AudioSource> music = m_Player->AddMusic(song);
    ASSERT_TRUE(music);
    EXPECT_EQ(0u, music->GetFramesMixed());
    music->Play(2);
    PlayOut(music);
    EXPECT_EQ(2 * (decoded.size() / 2), music->GetFramesMixed());  // two loops

    const std::vector<int16_t> played = Played();
    ASSERT_GE(played.size(), 2 * decoded.size());
    size_t wrong = 0;
    for (size_t i = 0; i < 2 * decoded.size(); ++i) wrong += played[i] != decoded[i % decoded.size()] * 64 / 128;
    EXPECT_EQ(0u, wrong);
    for (size_t i = 2 * decoded.size(); i < played.size(); ++i) ASSERT_EQ(0, played[i]) << "after the end";
}

// Fades shape the samples and a fade-out ends the song; Stop ends it at once; another song takes the stream over.
TEST_F(MusicStream, FadesShapeTheSamplesAndEndTheSong) {
    const std::string song = m_Dir.File("long.ogg");
    ASSERT_TRUE(WriteToneOgg(song, 3.0, 2));
    Ref<AudioSource> music = m_Player->AddMusic(song);
    ASSERT_TRUE(music);
    music->FadeIn(0, 500);  // 22050 frames
    PlayOut(music);
    const std::vector<int16_t> decoded = Decode(song);
    EXPECT_EQ(decoded.size() / 2, music->GetFramesMixed());
    const std::vector<int16_t> played = Played();
    ASSERT_GE(played.size(), decoded.size());
    auto peak = [](const std::vector<int16_t>& samples, size_t from, size_t frames) {
        int most = 0;
        for (size_t i = 2 * from; i < 2 * (from + frames); ++i) most = std::max(most, std::abs(int(samples[i])));
        return most;
    };
    const int full = peak(decoded, 30000, 5000);
    EXPECT_LT(peak(played, 0, 2000), full / 10);
    EXPECT_NEAR(peak(played, 10025, 2000), full / 2, full / 10);
    EXPECT_EQ(peak(played, 30000, 5000), full);

    ASSERT_TRUE(m_Player->Init());
    music->Play(0);
    music->FadeOut(200);
    PlayOut(music);
    const U64 faded = music->GetFramesMixed();
    EXPECT_LT(faded, decoded.size() / 2);
    EXPECT_GE(faded, 8820u);

    Ref<AudioSource> other = m_Player->AddMusic(song);
    music->Play(-1);
    other->Play(0);  // takes the one music stream over
    EXPECT_FALSE(music->IsPlaying());
    other->Stop();
    EXPECT_FALSE(other->IsPlaying());
    const U64 stopped = other->GetFramesMixed();
    SDL_Delay(20);
    EXPECT_EQ(stopped, other->GetFramesMixed());
}
