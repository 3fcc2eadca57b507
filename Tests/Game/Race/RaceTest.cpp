// The race's rules on a synthetic course: lane presses, scoring, the energy
// bar, the perfect bonus, skipping and early ends. Runs in the build folder,
// where the game's data files are.
#include <gtest/gtest.h>

#include "Analysis/TrackData.h"
#include "Audio/AudioPlayerSilent.h"
#include "Core/Devices.h"
#include "Core/System.h"
#include "Front/Screens.h"
#include "Race/AudioTrack.h"
#include "Race/LaneGroup.h"
#include "Race/Race.h"
#include "Render/RenderNull.h"
#include "Support/OggFiles.h"
#include "Support/TestUtil.h"

using namespace Meridian;

namespace {

U32 g_Buttons = 0;

class HeldInput : public Input {
    MERIDIAN_CLASS(HeldInput, Input)
    bool Init() override { return true; }
    void Update() override {}
    void Exit() override {}
    U32 GetButtons() override { return g_Buttons; }
};

Render* MakeRender() { return New<RenderNull>(); }
Input* MakeInput() { return New<HeldInput>(); }
AudioPlayer* MakeAudio() { return CreateAudioPlayerSilent(); }

class RaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_Buttons = 0;
        System::UseFixedClock(16, 1000);
        SetDeviceFactory(DeviceFactory{&MakeRender, &MakeInput, &MakeAudio});
        m_App = New<App>();
        ASSERT_TRUE(m_App->Init(0, nullptr));

        // Twenty seconds of course with a regular beat in all three bands.
        m_Song = m_Dir.File("race.ogg");
        std::vector<int16_t> mono(44100 * 20, 0);
        ::Test::AddTone(mono, 0, mono.size(), 440.0, 3000.0);
        ASSERT_TRUE(::Test::WriteOgg(m_Song, mono, 44100, 1));
        TrackData track;
        for (int i = 0; i < 20 * 86; ++i) {
            const float beat = i % 43 == 0 ? 50.0f : 1.0f;
            track.Time.push_back(i * 512.0f / 44100.0f);
            track.Flux.push_back({beat * (1 + i % 3), beat, beat * (i % 2 ? 2.0f : 1.0f)});
            track.Threshold.push_back({4.0f, 4.0f, 4.0f});
        }
        ASSERT_TRUE(track.SaveTo(m_Song));

        m_Hud.m_RaceRoot = New<Group>();
        m_Hud.m_GuiRoot = New<Group>();
        Ref<Shader> font = Screens::LoadFont("Data/Fonts/SpaceAge12", Fixed::FromInt(12), 1, false);
        Screens::BuildHud(m_Hud, font, nullptr);
        m_Music = m_App->GetAudio()->AddMusic(m_Song);
        ASSERT_TRUE(m_Music);
        ASSERT_TRUE(m_Race.Start(*m_App, m_Hud, m_Song, m_Music));
    }
    void TearDown() override {
        m_Race.End(*m_App, m_Hud);
        m_App->Exit();
        m_App.Reset();
        SetDeviceFactory(NullDeviceFactory());
        System::UseRealClock();
    }
    void Frame(U32 buttons) {
        g_Buttons = buttons;
        m_App->UpdateInput();
        m_App->UpdateTime();
    }
    // Any obstacle of the given kind.
    Transform* Find(bool mine) {
        LaneGroup* lanes = m_Race.GetAudioTrack()->GetLaneGroup();
        for (I32 s = 0; s < lanes->GetBucketCount(); ++s)
            for (const Ref<LookTransform>& obstacle : lanes->GetObstacles(s))
                if (lanes->IsMine(obstacle) == mine) return obstacle;
        return nullptr;
    }

    ::Test::TempDir m_Dir;
    std::string m_Song;
    Ref<App> m_App;
    RaceHud m_Hud;
    Race m_Race;
    Ref<AudioSource> m_Music;
};

}  // namespace

TEST_F(RaceTest, LanePressesSnapSkipAndClamp) {
    Player& player = *m_Race.GetPlayer();
    Frame(Buttons::DPadLeft | Buttons::DPadA);
    m_Race.LaneInput(*m_App);
    EXPECT_EQ(player.m_Lane, Fixed::FromInt(-2));
    Frame(0);
    Frame(Buttons::DPadLeft);
    m_Race.LaneInput(*m_App);
    EXPECT_EQ(player.m_Lane, Fixed::FromInt(-2));

    player.m_Lane = Fixed::FromFloat(0.4f);
    Frame(0);
    Frame(Buttons::DPadRight);
    m_Race.LaneInput(*m_App);
    EXPECT_EQ(player.m_Lane, Fixed::FromInt(1));
    player.m_Lane = Fixed::FromFloat(0.6f);
    Frame(0);
    Frame(Buttons::DPadRight);
    m_Race.LaneInput(*m_App);
    EXPECT_EQ(player.m_Lane, Fixed::FromInt(2));
    Frame(Buttons::DPadRight);  // held, not pressed: nothing
    m_Race.LaneInput(*m_App);
    EXPECT_EQ(player.m_Lane, Fixed::FromInt(2));

    // Lanes lie at 0, +-4 and +-7 across the road; the glider slides there at
    // 40 units per second and banks against the motion.
    player.m_X = Fixed::Zero;
    m_Race.SidewaysMotion(Fixed::FromRaw(16384));
    EXPECT_NEAR(player.m_TargetX.ToFloat(), 7.0f, 0.01f);
    EXPECT_NEAR(player.m_X.ToFloat(), 7.0f, 0.01f);
    EXPECT_EQ(player.m_Tilt, -player.m_MaxTilt);
    EXPECT_EQ(player.m_TargetTilt, Fixed::Zero);  // bank reached: level out again
}

TEST_F(RaceTest, ScoringEnergyAndPerfectBonus) {
    Transform* capsule = Find(false);
    Transform* mine = Find(true);
    ASSERT_NE(capsule, nullptr);
    ASSERT_NE(mine, nullptr);

    // A full bar absorbs a mine but empties and breaks the streak.
    for (int i = 0; i < 5; ++i) m_Race.ScoreUpdate(m_Hud, capsule);
    EXPECT_EQ(m_Race.m_Energy, 5);
    const I32 before = m_Race.m_Score;
    m_Race.ScoreUpdate(m_Hud, mine);
    EXPECT_EQ(m_Race.m_Score, before);
    EXPECT_EQ(m_Race.m_Energy, 0);
    EXPECT_EQ(m_Race.m_Streak, 0);
    EXPECT_TRUE(m_Hud.m_Energy[0]->IsEnabled());
    EXPECT_FALSE(m_Hud.m_Energy[5]->IsEnabled());

    // Below a full bar a mine costs 250, never below zero.
    m_Race.m_Score = 100;
    m_Race.m_Energy = 4;
    m_Race.ScoreUpdate(m_Hud, mine);
    EXPECT_EQ(m_Race.m_Score, 0);
    EXPECT_EQ(m_Hud.m_ScoreText->GetText(), "00000");

    // With 10 perfect picks the 10th capsule in a row adds 500, the 20th 1000.
    m_Race.m_PerfectPicks = 10;
    for (int i = 0; i < 9; ++i) m_Race.ScoreUpdate(m_Hud, capsule);
    EXPECT_EQ(m_Race.m_Score, 900);
    m_Race.ScoreUpdate(m_Hud, capsule);
    EXPECT_EQ(m_Race.m_Score, 1500);
    for (int i = 0; i < 10; ++i) m_Race.ScoreUpdate(m_Hud, capsule);
    EXPECT_EQ(m_Race.m_Score, 1500 + 1000 + 1000);
    EXPECT_EQ(m_Hud.m_ScoreText->GetText(), "03500");
}

TEST_F(RaceTest, SkipFadesOutAndStoppedMusicEndsAtOnce) {
    // Skipping with System: the rest of the song is skipped to its last two
    // seconds and the race asks for the high scores within two seconds (the
    // music's one-second fade may end it first).
    for (int i = 0; i < 60; ++i) {
        Frame(0);
        ASSERT_FALSE(m_Race.Step(*m_App, m_Hud));
        System::FrameTick();
    }
    Frame(Buttons::System);
    const I32 score = m_Race.m_Score;
    int frames = 0;
    while (!m_Race.Step(*m_App, m_Hud) && frames < 400) {
        System::FrameTick();
        Frame(0);
        ++frames;
    }
    EXPECT_TRUE(m_Race.IsEnding());
    EXPECT_LT(frames, 140);
    EXPECT_GT(frames, 50);
    EXPECT_EQ(m_Race.m_Score, score);  // nothing scores during the fade
    EXPECT_TRUE(m_Hud.m_Fade->IsEnabled());

    // Music that stops early ends the race in the same frame.
    m_Race.End(*m_App, m_Hud);
    ASSERT_TRUE(m_Race.Start(*m_App, m_Hud, m_Song, m_Music));
    Frame(0);
    EXPECT_FALSE(m_Race.Step(*m_App, m_Hud));
    m_Music->Stop();
    EXPECT_TRUE(m_Race.Step(*m_App, m_Hud));
}
