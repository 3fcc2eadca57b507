// The race planner and autopilot in real headless races: layouts with a known best run, and the demo song.
#include <gtest/gtest.h>

#include <filesystem>

#include "Race/AudioTrack.h"
#include "RaceTestUtil.h"
#include "Support/OggFiles.h"
#include "Support/SongFiles.h"
#include "Support/TestUtil.h"

using namespace Meridian;

namespace {

// Races the song with the autopilot, adding obstacles (seconds, lanes 0 right .. 2 left).
struct Placed {
    float time;
    I32 lane;
    bool mine;
};
void PilotRace(const std::string& song, const std::vector<Placed>& obstacles, RaceTest::HeadlessRace& run,
               LanePilot& pilot) {
    ASSERT_TRUE(run.Start(song));
    LaneGroup* lanes = run.race.GetAudioTrack()->GetLaneGroup();
    for (const Placed& o : obstacles)
        ASSERT_TRUE(lanes->AddObstacle(Fixed::FromFloat(o.time), o.lane,
                                       o.mine ? lanes->GetMineModel() : lanes->GetCapsuleModel(),
                                       o.mine ? lanes->GetMineShader() : lanes->GetCapsuleShader()));
    EXPECT_TRUE(run.RunPiloted(pilot, 20000));
}

}  // namespace

TEST(RacePlanner, HandMadeLayoutsGiveTheirBestRun) {
    ::Test::TempDir dir;
    const std::string song = dir.File("quiet.ogg");
    ASSERT_TRUE(::Test::WriteOgg(song, std::vector<int16_t>(44100 * 12, 0), 44100, 1));
    ASSERT_TRUE(RaceTest::SilentTrack(12.0f).SaveTo(song));  // a course without obstacles of its own

    auto alternate = [](float from, float gap, int count) {
        std::vector<Placed> list;
        for (int i = 0; i < count; ++i) list.push_back({from + gap * static_cast<float>(i), i % 2 ? 2 : 0, false});
        return list;
    };
    const struct {
        const char* name;
        std::vector<Placed> obstacles;
        I32 capsules, mines;
        I32 score;  // -1: not pinned (equal runs may score differently)
    } cases[] = {
        {"a capsule on each side at once: one of them", {{4.0f, 0, false}, {4.0f, 2, false}, {6.0f, 2, false}, {6.0f, 0, false}}, 2, 0, 200},
        {"a mine between two capsules in one lane: dodge it", {{4.0f, 1, false}, {4.5f, 1, true}, {5.0f, 1, false}}, 2, 0, 200},
        // The glider's outer lanes lie beyond the obstacles' side lanes.
        {"mines across the road: passed on an outer lane", {{4.0f, 0, false}, {4.1f, 1, true}, {4.1f, 0, true}, {4.1f, 2, true}, {5.0f, 1, false}}, 2, 0, 200},
        // Across the road in a quarter second: two-lane presses with the release between them.
        {"a capsule each side of mines across the road", {{3.86f, 0, false}, {4.1f, 1, true}, {4.1f, 2, true}, {4.1f, 0, true}, {4.34f, 2, false}}, 2, 0, 200},
        // Five in a row earn the perfect-run bonus.
        {"side to side every half second: all", alternate(4.0f, 0.5f, 8), 8, 0, 1300},
        // Too fast to cross: one of them is left (a wider hit window would reach it).
        {"side to side every tenth of a second", alternate(4.0f, 0.1f, 8), 7, 0, -1},
        // The capsule left at 5 s breaks the run: three and three, no bonus.
        {"a miss in the middle of a run", {{4.0f, 0, false}, {4.5f, 0, false}, {5.0f, 0, false}, {5.0f, 2, false}, {5.5f, 0, false}, {6.0f, 0, false}, {6.5f, 0, false}}, 6, 0, 600},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RaceTest::HeadlessRace run;
        LanePilot pilot;
        ASSERT_NO_FATAL_FAILURE(PilotRace(song, c.obstacles, run, pilot));
        const RacePlanner::Plan& plan = pilot.GetPlan();
        ASSERT_FALSE(plan.capsulesTaken.empty());
        EXPECT_EQ(plan.capsulesTaken.back(), c.capsules);
        EXPECT_EQ(plan.minesHit.back(), c.mines);
        // The race went exactly as planned.
        EXPECT_EQ(run.race.m_CapsulesTaken, plan.capsulesTaken.back());
        EXPECT_EQ(run.race.m_MinesHit, plan.minesHit.back());
        EXPECT_EQ(run.race.GetScore(), plan.score);
        EXPECT_TRUE(c.score < 0 || plan.score == c.score) << plan.score;
    }
}

TEST(RacePlanner, AutopilotReachesThePlanOnTheDemoSong) {
    ::Test::TempDir dir;
    const std::string song = dir.File("demo.ogg");
    std::filesystem::copy_file(std::string(SKYRAIL_TEST_TOOLS_DIR) + "/../Music/SkyRail Demo.ogg", song);
    TrackData analysed;
    ASSERT_TRUE(::Test::Analyse(song, analysed));
    EXPECT_NEAR(analysed.Time.back(), 90.0f, 1.5f);

    RaceTest::HeadlessRace run;
    LanePilot pilot;
    ASSERT_NO_FATAL_FAILURE(PilotRace(song, {}, run, pilot));
    const Race& race = run.race;
    ASSERT_GT(race.m_CapsulesPlaced, 50);
    EXPECT_GE(race.m_CapsulesReachable * 10, race.m_CapsulesPlaced * 9);
    EXPECT_GE(race.m_CapsulesTaken * 100, race.m_CapsulesReachable * 98)
        << race.m_CapsulesTaken << " of " << race.m_CapsulesReachable << " reachable capsules";
    EXPECT_EQ(race.m_MinesHit, pilot.GetPlan().minesHit.back());
    EXPECT_LE(race.m_CapsulesTaken, race.m_CapsulesReachable);
}
