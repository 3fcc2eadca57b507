// The race's rules on a synthetic course: lanes, scoring, energy, bonus, skips and early ends.
#include <gtest/gtest.h>

#include "Race/AudioTrack.h"
#include "Race/LaneRules.h"
#include "RaceTestUtil.h"
#include "Support/OggFiles.h"
#include "Support/TestUtil.h"

using namespace Meridian;

namespace {

class RaceRules : public ::testing::Test {
protected:
    // Twenty seconds of a tone, raced on a course with a regular beat in all three bands.
    void SetUp() override {
        m_Song = m_Dir.File("race.ogg");
        std::vector<int16_t> mono(44100 * 20, 0);
        ::Test::AddTone(mono, 0, mono.size(), 440.0, 3000.0);
        ASSERT_TRUE(::Test::WriteOgg(m_Song, mono, 44100, 1));
        ASSERT_TRUE(RaceTest::MakeTrack(19.95f, [](int i, float) {
                        const float beat = i % 43 == 0 ? 50.0f : 1.0f;
                        return TrackData::Bands{beat * (1 + i % 3), beat, beat * (i % 2 ? 2.0f : 1.0f)};
                    }).SaveTo(m_Song));
        ASSERT_TRUE(m_Run.Start(m_Song));
    }
    // Presses a button (after a frame with nothing held) and steers.
    void Press(U32 buttons) {
        m_Run.Frame(0);
        m_Run.Frame(buttons);
        m_Run.race.LaneInput(*m_Run.app);
    }
    // Races frames with nothing pressed; none may end the race.
    void RaceFrames(int frames) {
        for (int i = 0; i < frames; ++i) {
            m_Run.Frame(0);
            ASSERT_FALSE(m_Run.race.Step(*m_Run.app, m_Run.hud));
            System::FrameTick();
        }
    }
    // Any obstacle of the given kind.
    Transform* Find(bool mine) {
        LaneGroup* lanes = m_Run.race.GetAudioTrack()->GetLaneGroup();
        for (I32 s = 0; s < lanes->GetBucketCount(); ++s)
            for (const Ref<LookTransform>& obstacle : lanes->GetObstacles(s))
                if (lanes->IsMine(obstacle) == mine) return obstacle;
        return nullptr;
    }

    ::Test::TempDir m_Dir;
    std::string m_Song;
    RaceTest::HeadlessRace m_Run;
};

}  // namespace

TEST_F(RaceRules, LanePressesSnapSkipAndClamp) {
    Player& player = *m_Run.race.GetPlayer();
    Press(Buttons::DPadLeft | Buttons::DPadA);  // both left buttons: two lanes
    EXPECT_EQ(player.m_Lane, Fixed::FromInt(-2));
    Press(Buttons::DPadLeft);
    EXPECT_EQ(player.m_Lane, Fixed::FromInt(-2));
    // A lane between two snaps to the nearer one first.
    player.m_Lane = Fixed::FromFloat(0.4f);
    Press(Buttons::DPadRight);
    EXPECT_EQ(player.m_Lane, Fixed::FromInt(1));
    player.m_Lane = Fixed::FromFloat(0.6f);
    Press(Buttons::DPadRight);
    EXPECT_EQ(player.m_Lane, Fixed::FromInt(2));
    m_Run.Frame(Buttons::DPadRight);  // held, not pressed: nothing
    m_Run.race.LaneInput(*m_Run.app);
    EXPECT_EQ(player.m_Lane, Fixed::FromInt(2));
    // Lanes lie at 0, +-4 and +-7; the glider slides at 40 units/s and banks against the motion.
    player.m_X = Fixed::Zero;
    m_Run.race.SidewaysMotion(Fixed::FromRaw(16384));
    EXPECT_NEAR(player.m_TargetX.ToFloat(), 7.0f, 0.01f);
    EXPECT_NEAR(player.m_X.ToFloat(), 7.0f, 0.01f);
    EXPECT_EQ(player.m_Tilt, -player.m_MaxTilt);
    EXPECT_EQ(player.m_TargetTilt, Fixed::Zero);  // bank reached: level out again
}

TEST_F(RaceRules, ScoringEnergyAndPerfectBonus) {
    Race& race = m_Run.race;
    RaceHud& hud = m_Run.hud;
    Transform* capsule = Find(false);
    Transform* mine = Find(true);
    ASSERT_NE(capsule, nullptr);
    ASSERT_NE(mine, nullptr);
    // A full bar absorbs a mine but empties and breaks the streak.
    for (int i = 0; i < 5; ++i) race.ScoreUpdate(hud, capsule);
    EXPECT_EQ(race.m_Energy, 5);
    const I32 before = race.m_Score;
    race.ScoreUpdate(hud, mine);
    EXPECT_EQ(race.m_Score, before);
    EXPECT_EQ(race.m_Energy, 0);
    EXPECT_EQ(race.m_Streak, 0);
    EXPECT_TRUE(hud.m_Energy[0]->IsEnabled());
    EXPECT_FALSE(hud.m_Energy[5]->IsEnabled());
    // Below a full bar a mine costs 250, never below zero.
    race.m_Score = 100;
    race.m_Energy = 4;
    race.ScoreUpdate(hud, mine);
    EXPECT_EQ(race.m_Score, 0);
    EXPECT_EQ(hud.m_ScoreText->GetText(), "00000");
    // With 10 perfect picks the 10th capsule in a row adds 500, the 20th 1000.
    race.m_PerfectPicks = 10;
    for (int i = 0; i < 9; ++i) race.ScoreUpdate(hud, capsule);
    EXPECT_EQ(race.m_Score, 900);
    race.ScoreUpdate(hud, capsule);
    EXPECT_EQ(race.m_Score, 1500);
    for (int i = 0; i < 10; ++i) race.ScoreUpdate(hud, capsule);
    EXPECT_EQ(race.m_Score, 1500 + 1000 + 1000);
    EXPECT_EQ(hud.m_ScoreText->GetText(), "03500");
    // A perfect run is 5 capsules, 5 more for every 100 a course has.
    const std::pair<I32, I32> courses[] = {{0, 5}, {99, 5}, {100, 10}, {199, 10}, {200, 15}};
    for (const auto& course : courses)
        EXPECT_EQ(LaneRules::PerfectPicks(course.first), course.second) << course.first;
}

TEST_F(RaceRules, SkipFadesOutAndStoppedMusicEndsAtOnce) {
    Race& race = m_Run.race;
    App& app = *m_Run.app;
    // System skips to the song's last two seconds: the race ends within them (the fade may end it first).
    RaceFrames(60);
    m_Run.Frame(Buttons::System);
    const I32 score = race.m_Score;
    int frames = 0;
    while (!race.Step(app, m_Run.hud) && frames < 400) {
        System::FrameTick();
        m_Run.Frame(0);
        ++frames;
    }
    EXPECT_TRUE(race.IsEnding());
    EXPECT_LT(frames, 140);
    EXPECT_GT(frames, 50);
    EXPECT_EQ(race.m_Score, score);  // nothing scores during the fade
    EXPECT_TRUE(m_Run.hud.m_Fade->IsEnabled());
    // Music that stops early ends the race in the same frame.
    race.End(app, m_Run.hud);
    ASSERT_TRUE(race.Start(app, m_Run.hud, m_Song, m_Run.music));
    m_Run.Frame(0);
    EXPECT_FALSE(race.Step(app, m_Run.hud));
    m_Run.music->Stop();
    EXPECT_TRUE(race.Step(app, m_Run.hud));
    // A race that cannot be built keeps nothing of the one before.
    race.End(app, m_Run.hud);
    ASSERT_GT(race.m_CapsulesPlaced, 0);
    EXPECT_FALSE(race.Start(app, m_Run.hud, m_Dir.File("missing.ogg"), m_Run.music));
    EXPECT_EQ(race.m_CapsulesPlaced + race.m_MinesPlaced + race.m_CapsulesTaken + race.m_MinesHit, 0);
}

TEST_F(RaceRules, PauseAndAudioOffsetHoldTheRaceAgainstTheMusic) {
    Race& race = m_Run.race;
    App& app = *m_Run.app;
    RaceFrames(30);
    const Fixed time = race.GetPlayTime();
    const U64 frames = m_Run.music->GetFramesMixed();
    // The glider looks ahead along the course.
    Vector3 p0, s0, u0, r0, p1, s1, u1, r1;
    HighwayGeometry* highway = race.GetAudioTrack()->GetHighway();
    ASSERT_TRUE(highway->Eval(time, p0, s0, u0, r0) && highway->Eval(time + Fixed::FromRaw(6554), p1, s1, u1, r1));
    const LookTransform& glider = *race.GetPlayer()->m_Root;
    EXPECT_GT((glider.GetTarget() - glider.GetTranslation()).Dot(s1 - s0), Fixed::Zero);
    race.SetPaused(m_Run.hud, true);
    EXPECT_TRUE(m_Run.hud.m_PausedText->IsEnabled() && m_Run.hud.m_Fade->IsEnabled());
    for (int i = 0; i < 120; ++i) {
        m_Run.Frame(i % 2 ? U32(Buttons::DPadLeft) : 0u);
        ASSERT_FALSE(race.Step(app, m_Run.hud));
        System::FrameTick();
    }
    EXPECT_EQ(race.GetPlayTime(), time);
    EXPECT_EQ(m_Run.music->GetFramesMixed(), frames);
    EXPECT_EQ(race.GetPlayer()->m_Lane, Fixed::Zero);
    // Resumed in sync: the pause came one step after the last race frame; then one step a frame.
    race.SetPaused(m_Run.hud, false);
    EXPECT_FALSE(m_Run.hud.m_PausedText->IsEnabled() || m_Run.hud.m_Fade->IsEnabled());
    for (float expected : {0.016f, 0.032f}) {
        m_Run.Frame(0);
        ASSERT_FALSE(race.Step(app, m_Run.hud));
        EXPECT_NEAR((race.GetPlayTime() - time).ToFloat(), expected, 0.001f);
        System::FrameTick();
    }
    // An audio offset runs the race that far behind the music, never before 0.
    race.SetAudioOffset(Fixed::FromRaw(6554));  // 0.1 s
    m_Run.Frame(0);
    race.Step(app, m_Run.hud);
    EXPECT_NEAR(m_Run.music->GetTime() - race.GetPlayTime().ToFloat(), 0.1f, 0.001f);
    race.SetAudioOffset(Fixed::FromInt(100));
    race.Step(app, m_Run.hud);
    EXPECT_EQ(race.GetPlayTime(), Fixed::Zero);
    race.SetAudioOffset(Fixed::Zero);
    // System while paused resumes and skips to the end.
    race.SetPaused(m_Run.hud, true);
    m_Run.Frame(Buttons::System);
    race.Step(app, m_Run.hud);
    EXPECT_TRUE(race.IsEnding() && !race.IsPaused());
    // A race that is ending cannot be paused.
    race.SetPaused(m_Run.hud, true);
    EXPECT_FALSE(race.IsPaused());
}

TEST(RacePulse, PhaseStaysRightOnLongSongs) {
    // 250 degrees per second for 140 s is 35000 degrees: 80 into the turn.
    EXPECT_NEAR(PhaseDegrees(250, Fixed::FromInt(140)).ToFloat(), 80.0f, 0.01f);
    EXPECT_NEAR(PhaseDegrees(250, RaceTest::Seconds(200.37)).ToFloat(), 52.5f, 0.01f);
    EXPECT_NEAR(PhaseDegrees(180, Fixed::FromFloat(0.5f)).ToFloat(), 90.0f, 0.01f);
}
