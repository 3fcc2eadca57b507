// An hour-long generated song: its course runs far beyond the 16.16 range and must race as a short one does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "Race/AudioTrack.h"
#include "RaceTestUtil.h"
#include "Support/OggFiles.h"
#include "Support/SongFiles.h"
#include "Support/TestUtil.h"

using namespace Meridian;

namespace {

const float HourSeconds = 3600.0f;

// A beat every half second in all three bands, the bands' balance swinging slowly so that the road winds.
TrackData HourTrack() {
    TrackData track;
    const int points = static_cast<int>(HourSeconds / RaceTest::PointSeconds);
    track.Time.reserve(points);
    track.Flux.reserve(points);
    for (int i = 0; i < points; ++i) {
        const float t = static_cast<float>(i) * RaceTest::PointSeconds;
        const float beat = i % 43 == 0 ? 50.0f : 1.0f;
        const float swing = 1.0f + 0.5f * std::sin(t * 0.0648f), sway = 1.0f + 0.5f * std::cos(t * 0.048f);
        track.Time.push_back(t);
        track.Flux.push_back({beat * (1 + i % 3) * swing, beat, beat * (i % 2 ? 2.0f : 1.0f) * sway});
    }
    track.Threshold.assign(track.Time.size(), {4.0f, 4.0f, 4.0f});
    return track;
}

class LongCourse : public ::testing::Test {
protected:
    void SetUp() override {
        m_Song = m_Dir.File("hour.flac");
        const std::string command = "ffmpeg -nostdin -loglevel error -y -f lavfi -i anullsrc=r=8000:cl=mono -t " +
                                    std::to_string(static_cast<int>(HourSeconds)) + " -c:a flac '" + m_Song + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        ASSERT_TRUE(HourTrack().SaveTo(m_Song));
    }
    ::Test::TempDir m_Dir;
    std::string m_Song;
};

}  // namespace

TEST_F(LongCourse, RacesToItsEndAsAShortOneDoes) {
    RaceTest::HeadlessRace run;
    ASSERT_TRUE(run.Start(m_Song));
    Race& race = run.race;
    HighwayGeometry* highway = race.GetAudioTrack()->GetHighway();
    LaneGroup* lanes = race.GetAudioTrack()->GetLaneGroup();
    ASSERT_GT(highway->GetEndTime().ToFloat(), HourSeconds - 5.0f);
    // The course ends far beyond what 16.16 holds.
    EXPECT_GT(highway->GetCentreLine().back().ReachFrom(CoursePoint{}), 3 * 32768);

    // Obstacles keep their density to the end.
    int first = 0, last = 0;
    for (I32 s = 0; s < lanes->GetBucketCount(); ++s)
        for (Fixed t : lanes->GetTimes(s)) {
            first += t.ToFloat() < 600.0f ? 1 : 0;
            last += t.ToFloat() >= HourSeconds - 600.0f ? 1 : 0;
        }
    ASSERT_GT(first, 600);
    EXPECT_NEAR(last, first, first * 0.2) << "obstacles in the first and the last ten minutes";

    LanePilot pilot;
    I64 reach = 0;
    EXPECT_TRUE(run.RunPiloted(pilot, 240000, [&] {
        reach = std::max(reach, CoursePoint::Of(race.GetPlayer()->m_Root->GetTranslation()).ReachFrom(CoursePoint{}));
    }));
    EXPECT_GT(race.GetPlayTime().ToFloat(), HourSeconds - 5.0f);
    // What reaches the scene stays near the origin the race moves along.
    EXPECT_LT(reach, 2 * Race::OriginReach);
    ASSERT_GT(race.m_CapsulesReachable, race.m_CapsulesPlaced * 9 / 10);
    EXPECT_GE(race.m_CapsulesTaken * 100, race.m_CapsulesReachable * 98)
        << race.m_CapsulesTaken << " of " << race.m_CapsulesReachable << " reachable capsules";
    EXPECT_EQ(race.m_MinesHit, pilot.GetPlan().minesHit.back());
}

TEST_F(LongCourse, TheGliderRidesOnTheRoadAtOneThirtyAndFiftyNineMinutes) {
    RaceTest::HeadlessRace run(true);
    ASSERT_TRUE(run.Start(m_Song));
    for (int minute : {1, 30, 59}) {
        SCOPED_TRACE(minute);
        // Straight to the minute, then a few frames for the picture to settle.
        System::AdvanceClock(static_cast<U32>(minute * 60000) - System::GetTicks() + 1000);
        for (int frame = 0; frame < 5; ++frame) {
            run.Frame(0);
            ASSERT_FALSE(run.race.Step(*run.app, run.hud));
            run.app->Draw();
            System::FrameTick();
        }
        EXPECT_NEAR(run.race.GetPlayTime().ToFloat(), minute * 60.0f, 1.0f);
        std::vector<U8> pixels(320 * 240 * 4);
        RenderPndGL* device = Cast<RenderPndGL>(run.app->GetRender());
        ASSERT_TRUE(device && device->ReadPixels(0, 0, 320, 240, pixels.data()));
        // The glider's bright wings low in the middle of the picture, on a road that fills the rows around it
        // (y counts rows from the top; the device reads the bottom row first).
        int wings = 0, road = 0, across = 0;
        double x0 = 0.0;
        for (int y = 120; y < 236; ++y)
            for (int x = 20; x < 300; ++x) {
                const U8* p = &pixels[(static_cast<size_t>(239 - y) * 320 + x) * 4];
                if (std::min({p[0], p[1], p[2]}) > 200) ++wings, x0 += x;
                if (y < 180) continue;
                ++across;
                road += std::max({p[0], p[1], p[2]}) > 20 ? 1 : 0;
            }
        EXPECT_GT(wings, 300);
        EXPECT_NEAR(x0 / std::max(wings, 1), 160.0, 40.0);
        EXPECT_GT(road, across * 9 / 10) << road << " of " << across << " pixels of road";
        // The road's texture coordinates stay small where it is seen, as at the start.
        HighwayGeometry* highway = run.race.GetAudioTrack()->GetHighway();
        std::vector<Float2> uv;
        highway->GetTexCoords(0, uv);
        float largest = 0.0f;
        for (size_t i = 0; i < highway->GetCentreLine().size(); ++i) {
            const Vector3f d = highway->GetCentreLine()[i].FloatFrom(highway->GetOrigin());
            if (d.Dot(d) < 500.0f * 500.0f) largest = std::max(largest, std::fabs(uv[2 * i].v));
        }
        EXPECT_LT(largest, 100.0f);
    }
}

namespace {

// FNV-1a over 64-bit values.
struct Digest {
    U64 value = 14695981039346656037ull;
    void Add(I64 v) {
        for (int i = 0; i < 8; ++i) value = (value ^ ((static_cast<U64>(v) >> (8 * i)) & 0xFF)) * 1099511628211ull;
    }
};

}  // namespace

// A short song races as before the course kept a moving origin: same course, obstacles and race (pinned figures).
TEST(ShortCourse, KeepsItsCourseObstaclesAndRace) {
    ::Test::TempDir dir;
    const std::string song = dir.File("clicks.ogg");
    ASSERT_TRUE(::Test::WriteOgg(song, ::Test::ClickSong(150.0, 44100), 44100, 1));
    TrackData analysed;
    ASSERT_TRUE(::Test::Analyse(song, analysed));
    RaceTest::HeadlessRace run;
    ASSERT_TRUE(run.Start(song));
    Race& race = run.race;
    HighwayGeometry* highway = race.GetAudioTrack()->GetHighway();
    LaneGroup* lanes = race.GetAudioTrack()->GetLaneGroup();
    Digest course, obstacles;
    for (const CoursePoint& p : highway->GetCentreLine()) course.Add(p.x), course.Add(p.y), course.Add(p.z);
    for (const CoursePoint& p : highway->GetRideLine()) course.Add(p.x), course.Add(p.y), course.Add(p.z);
    for (I32 s = 0; s < lanes->GetBucketCount(); ++s)
        for (size_t k = 0; k < lanes->GetObstacles(s).size(); ++k) {
            const LookTransform& o = *lanes->GetObstacles(s)[k];
            for (const Vector3& v : {o.GetTranslation(), o.GetTarget(), o.GetUp()})
                obstacles.Add(v.x.Raw()), obstacles.Add(v.y.Raw()), obstacles.Add(v.z.Raw());
            obstacles.Add(lanes->GetTimes(s)[k].Raw());
            obstacles.Add(lanes->IsMine(&o));
        }
    LanePilot pilot;
    EXPECT_TRUE(run.RunPiloted(pilot, 20000));
    EXPECT_NE(highway->GetOrigin(), CoursePoint{}) << "the origin moved";
    EXPECT_EQ(highway->GetCentreLine().size(), 1174u);
    EXPECT_EQ(course.value, 0xadd74c6f63bc6f06ull);
    EXPECT_EQ(obstacles.value, 0xec84d621a56dd580ull);
    EXPECT_EQ((std::vector<int>{race.m_CapsulesPlaced, race.m_MinesPlaced, race.m_CapsulesReachable, race.m_BestScore,
                                race.m_CapsulesTaken, race.m_MinesHit, race.GetScore()}),
              (std::vector<int>{337, 125, 337, 101700, 337, 0, 101700}));
}
