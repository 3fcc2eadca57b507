// The autopilot: its lane plan on hand-made obstacle lists, and a whole race
// of the demo song, which shows that obstacle placement, race timing and
// collisions agree (a player who aims right collects what lies there).
#include <gtest/gtest.h>

#include <filesystem>

#include "Race/Autopilot.h"
#include "RaceTestUtil.h"
#include "Support/TestUtil.h"

using namespace Meridian;

namespace {

LanePilot::Obstacle At(float time, I32 lane, bool mine) { return {Fixed::FromFloat(time), lane, mine}; }

}  // namespace

TEST(LanePilot, PlansForCapsulesAroundMines) {
    const Fixed now = Fixed::FromInt(10);
    EXPECT_EQ(LanePilot::ChooseLane(now, Fixed::Zero, 0, {}), 0);                          // nothing ahead: stay
    EXPECT_EQ(LanePilot::ChooseLane(now, Fixed::Zero, 0, {At(10.5f, 1, false)}), 1);      // a capsule to the right
    EXPECT_NE(LanePilot::ChooseLane(now, Fixed::Zero, 0, {At(10.3f, 0, true)}), 0);       // a mine: step aside
    // A mine first in the capsule's lane: wait elsewhere, then take it.
    const std::vector<LanePilot::Obstacle> mineThenCapsule = {At(10.3f, 1, true), At(10.9f, 1, false)};
    EXPECT_NE(LanePilot::ChooseLane(now, Fixed::Zero, 0, mineThenCapsule), 1);
    EXPECT_NE(LanePilot::ChooseLane(now, Fixed::FromInt(-4), -1, mineThenCapsule), 1);
    // Two capsules too close together on opposite sides: take one of them.
    const I32 lane = LanePilot::ChooseLane(now, Fixed::Zero, 0, {At(10.40f, -1, false), At(10.45f, 1, false)});
    EXPECT_TRUE(lane == -1 || lane == 1);
    // Once an obstacle has passed, the next one decides: away from a mine.
    const std::vector<LanePilot::Obstacle> passed = {At(10.02f, 1, false), At(10.5f, -2, true)};
    EXPECT_EQ(LanePilot::ChooseLane(now, Fixed::FromInt(-7), -2, passed), -2);
    EXPECT_NE(LanePilot::ChooseLane(Fixed::FromFloat(10.1f), Fixed::FromInt(-7), -2, passed), -2);
}

TEST(LanePilot, DemoSongRace) {
    ::Test::TempDir dir;
    const std::string song = dir.File("demo.ogg");
    std::filesystem::copy_file(std::string(SKYRAIL_TEST_TOOLS_DIR) + "/../Music/SkyRail Demo.ogg", song);
    ASSERT_TRUE(RaceTest::Analyse(song));

    RaceTest::HeadlessRace run;
    ASSERT_TRUE(run.Start(song));
    Race& race = run.race;
    LanePilot pilot;
    bool finished = false;
    for (int frame = 0; frame < 10000 && !finished; ++frame) {
        run.Frame(pilot.Buttons(race, RaceTest::g_Buttons));
        finished = race.Step(*run.app, run.hud);
        run.app->Draw();
        System::FrameTick();
    }
    EXPECT_TRUE(finished);
    ASSERT_GT(race.m_CapsulesPlaced, 50);
    EXPECT_GE(race.m_CapsulesTaken * 10, race.m_CapsulesPlaced * 9)
        << race.m_CapsulesTaken << " of " << race.m_CapsulesPlaced << " capsules";
    EXPECT_LE(race.m_MinesHit * 10, race.m_MinesPlaced) << race.m_MinesHit << " of " << race.m_MinesPlaced << " mines";
}
