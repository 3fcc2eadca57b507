// Music through the engine's decoders into SDL_mixer's music hook, played by SDL's disk audio driver: it
// writes what the mixer produced to a file at whatever pace the machine allows, so the tests wait for the
// end of a song and then read exactly what was handed to the mixer.
#include <gtest/gtest.h>

#include <SDL/SDL.h>

#include <cstdlib>

#include "Audio/AudioPlayerSDL.h"
#include "Core/System.h"
#include "Meridian/Audio/SoundFiles.h"

using namespace Meridian;

namespace {

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
    // Waits for the song to end; a hang guard, not a measure of time.
    static void PlayOut(AudioSource* music) {
        for (int waited = 0; music->IsPlaying() && waited < 60000; waited += 2) SDL_Delay(2);
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

// A fade-in rises from silence, a fade-out ends the song where it reaches silence; Stop ends it at once
// and another song takes the stream over.
TEST_F(MusicStream, FadesShapeTheSamplesAndEndTheSong) {
    const std::string song = m_Dir.File("long.ogg");
    ASSERT_TRUE(::Test::WriteToneOgg(song, 3.0, 2));
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
