#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "Race/LaneGroup.h"
#include "RaceTestUtil.h"
#include "Support/TestUtil.h"

using namespace Meridian;
using namespace RaceTest;

namespace {

struct Spike {
    float time;
    int band;
    float value;
};

// Flux 1.0 in every band with single-point spikes at the given times.
TrackData SpikedTrack(float seconds, const std::vector<Spike>& spikes) {
    return MakeTrack(seconds, [&spikes](int i, float) {
        TrackData::Bands f = {1.0f, 1.0f, 1.0f};
        for (const Spike& s : spikes)
            if (i == static_cast<int>(std::lround(s.time / PointSeconds))) f[s.band] = s.value;
        return f;
    });
}

class LaneGroupTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitTables();
        m_Capsule = MakeModel();
        m_Mine = MakeModel();
        m_CapsuleShader = New<Shader>();
        m_MineShader = New<Shader>();
    }

    Ref<LaneGroup> MakeLanes(HighwayGeometry* highway) {
        Ref<LaneGroup> lanes = New<LaneGroup>();
        lanes->SetCapsuleModel(m_Capsule);
        lanes->SetMineModel(m_Mine);
        lanes->SetMineShader(m_MineShader);
        lanes->SetCapsuleShader(m_CapsuleShader);
        lanes->SetHighway(highway);
        return lanes;
    }

    static Ref<HighwayGeometry> MakeHighway(const TrackData& data) {
        Ref<HighwayGeometry> highway = New<HighwayGeometry>();
        highway->Construct(data);
        return highway;
    }

    // Sideways offset of an obstacle from the road's centre along the right
    // vector, and its height above the centre point.
    static void Placement(HighwayGeometry& highway, Fixed t, const LookTransform& obstacle, float& across,
                          float& height) {
        Vector3 ride, centre, up, right;
        ASSERT_TRUE(highway.Eval(t, ride, centre, up, right));
        const Vector3 d = obstacle.GetTranslation() - centre;
        across = d.x.ToFloat() * right.x.ToFloat() + d.y.ToFloat() * right.y.ToFloat() +
                 d.z.ToFloat() * right.z.ToFloat();
        height = d.y.ToFloat();
    }

    Ref<Transform> m_Capsule, m_Mine;
    Ref<Shader> m_CapsuleShader, m_MineShader;
};

}  // namespace

TEST_F(LaneGroupTest, KnownOnsetPatternGivesCountsLanesAndKinds) {
    // Band 0 four onsets (one weak), band 1 two, band 2 one, in a 12 s song.
    const std::vector<Spike> spikes = {{3.3f, 0, 10.0f}, {4.3f, 1, 10.0f}, {5.3f, 0, 4.0f}, {6.3f, 1, 10.0f},
                                       {7.3f, 0, 10.0f}, {8.3f, 2, 10.0f}, {9.3f, 0, 10.0f}};
    Ref<HighwayGeometry> highway = MakeHighway(SpikedTrack(12.0f, spikes));

    std::vector<LaneGroup::Onset> onsets;
    I32 counts[3];
    F32 averages[3];
    LaneGroup::PickOnsets(*highway, onsets, counts, averages);
    ASSERT_EQ(onsets.size(), spikes.size());
    for (size_t k = 0; k < spikes.size(); ++k) {
        EXPECT_NEAR(onsets[k].time, spikes[k].time, PointSeconds) << k;
        EXPECT_EQ(onsets[k].band, spikes[k].band) << k;
        EXPECT_EQ(onsets[k].value, spikes[k].value) << k;
    }
    EXPECT_EQ(counts[0], 4);
    EXPECT_EQ(counts[1], 2);
    EXPECT_EQ(counts[2], 1);
    EXPECT_FLOAT_EQ(averages[0], 34.0f / 4.0f * 0.9f);
    EXPECT_FLOAT_EQ(averages[1], 9.0f);

    ::Test::LogCapture log;
    Ref<LaneGroup> lanes = MakeLanes(highway);
    lanes->Construct();
    EXPECT_TRUE(log.Contains("[I] LaneGroup::Construct.\n"));
    EXPECT_TRUE(log.Contains("[I] LaneGroup::Construct done, Good #6 Bad #1\n"));
    EXPECT_EQ(lanes->GetGoodCount(), 6);
    EXPECT_EQ(lanes->GetBadCount(), 1);
    EXPECT_EQ(lanes->GetChildCount(), 7u);

    // Band 0 has the most onsets: middle lane; band 1 left (lane 2), band 2
    // right (lane 0). The weak band-0 onset at 5 s is a mine, lifted by 1/4.
    const std::map<int, float> expectedAcross = {{3, 0.0f}, {4, -4.0f}, {5, 0.0f}, {6, -4.0f},
                                                 {7, 0.0f}, {8, 4.0f},  {9, 0.0f}};
    ASSERT_EQ(lanes->GetBucketCount(), 10);
    for (const auto& [second, across] : expectedAcross) {
        SCOPED_TRACE(second);
        ASSERT_EQ(lanes->GetObstacles(second).size(), 1u);
        const LookTransform& obstacle = *lanes->GetObstacles(second)[0];
        const Fixed t = lanes->GetTimes(second)[0];
        EXPECT_EQ(t.ToInt(), second);
        const Fixed spin = lanes->GetSpins(second)[0];
        EXPECT_GE(spin, Fixed::FromInt(60));
        EXPECT_LE(spin, Fixed::FromInt(120));
        float offset = 0.0f, height = 0.0f;
        Placement(*highway, t, obstacle, offset, height);
        EXPECT_NEAR(offset, across, 1e-3f);
        const bool mine = second == 5;
        EXPECT_NEAR(height, mine ? 0.75f : 0.5f, 1e-3f);
        EXPECT_EQ(lanes->IsMine(&obstacle), mine);
        EXPECT_FALSE(obstacle.IsEnabled());

        // One mesh sharing the model's arrays, fully static, with its shader.
        ASSERT_EQ(obstacle.GetChildCount(), 1u);
        PolygonGeometry* mesh = Cast<PolygonGeometry>(obstacle.GetChild(0));
        ASSERT_NE(mesh, nullptr);
        Node* model = mine ? m_Mine.Get() : m_Capsule.Get();
        EXPECT_EQ(mesh->GetData(), LaneGroup::FirstMesh(model)->GetData());
        EXPECT_EQ(mesh->GetStaticBits(), 0xFFFFFFFFu);
        EXPECT_EQ(mesh->GetShader(), mine ? m_MineShader.Get() : m_CapsuleShader.Get());
        // Facing along the road: the look-at point lies a quarter second ahead.
        Vector3 ride, aheadCentre, centre, up, right;
        ASSERT_TRUE(highway->Eval(t + Fixed::FromRaw(16384), ride, aheadCentre, up, right));
        ASSERT_TRUE(highway->Eval(t, ride, centre, up, right));
        EXPECT_LT(RaceTest::Distance(obstacle.GetTarget() - obstacle.GetTranslation(), aheadCentre - centre), 1e-3f);
        const Vector3 upVector = obstacle.GetUp();
        const Vector3 along = obstacle.GetTarget() - obstacle.GetTranslation();
        const float dot = upVector.x.ToFloat() * along.x.ToFloat() + upVector.y.ToFloat() * along.y.ToFloat() +
                          upVector.z.ToFloat() * along.z.ToFloat();
        EXPECT_NEAR(dot, 0.0f, 0.05f) << "the up vector stands square to the road";
        EXPECT_GT(upVector.y.ToFloat(), 0.5f);
    }
}

TEST_F(LaneGroupTest, LaneTableAndFlatBands) {
    struct Row {
        I32 counts[3];
        I32 lanes[3];
    };
    const Row rows[] = {
        {{5, 3, 2}, {1, 2, 0}},  // band 0 most
        {{5, 3, 7}, {0, 2, 1}},  // band 2 at least band 0, band 1 fewer
        {{3, 5, 2}, {0, 1, 2}},  // band 1 most, band 2 fewest
        {{3, 5, 4}, {2, 1, 0}},  // band 1 most, band 2 between
        {{3, 5, 5}, {0, 2, 1}},  // band 2 at least band 1
        {{4, 4, 1}, {0, 2, 1}},  // bands 0 and 1 tie: band 2 takes the middle even with the fewest
        {{0, 0, 0}, {0, 2, 1}},
    };
    for (const Row& row : rows) {
        I32 lanes[3];
        LaneGroup::AssignLanes(row.counts, lanes);
        EXPECT_EQ(lanes[0], row.lanes[0]) << row.counts[0] << row.counts[1] << row.counts[2];
        EXPECT_EQ(lanes[1], row.lanes[1]);
        EXPECT_EQ(lanes[2], row.lanes[2]);
    }

    // A band whose flux never varies never rises: no division by zero, and
    // the other bands' onsets are still found.
    TrackData data = MakeTrack(10.0f, [](int i, float) {
        const bool spike = i % 100 == 50;
        return TrackData::Bands{1.0f, spike ? 8.0f : 1.0f, 2.0f};
    });
    Ref<HighwayGeometry> highway = MakeHighway(data);
    std::vector<LaneGroup::Onset> onsets;
    I32 counts[3];
    F32 averages[3];
    LaneGroup::PickOnsets(*highway, onsets, counts, averages);
    EXPECT_EQ(counts[0], 0);
    EXPECT_EQ(counts[2], 0);
    EXPECT_EQ(counts[1], 5);  // spikes at 2.9, 4.1, 5.2, 6.4, 7.5 s; 1.7 and 8.7 s are too near the ends
    for (const LaneGroup::Onset& onset : onsets) EXPECT_EQ(onset.band, 1);

    // Silence: nothing rises, nothing is placed.
    Ref<HighwayGeometry> silent = MakeHighway(SilentTrack(10.0f));
    LaneGroup::PickOnsets(*silent, onsets, counts, averages);
    EXPECT_TRUE(onsets.empty());
}

TEST_F(LaneGroupTest, ConstructRefusesMissingDataAndShortSongs) {
    ::Test::LogCapture log;
    Ref<HighwayGeometry> highway = MakeHighway(SpikedTrack(12.0f, {{3.0f, 0, 10.0f}}));

    Ref<LaneGroup> noModel = MakeLanes(highway);
    noModel->SetMineModel(nullptr);
    noModel->Construct();
    EXPECT_EQ(noModel->GetChildCount(), 0u);

    Ref<LaneGroup> noCourse = MakeLanes(New<HighwayGeometry>());  // never built: no length
    noCourse->Construct();
    EXPECT_EQ(noCourse->GetChildCount(), 0u);
    EXPECT_EQ(log.Count("[E] LaneGroup::ConstructLane: invalid data, cannot create Lane\n"), 2);

    // Under four seconds no onset lies 2 s from both ends.
    Ref<LaneGroup> shortSong = MakeLanes(MakeHighway(SpikedTrack(3.9f, {{1.9f, 0, 10.0f}, {2.0f, 1, 10.0f}})));
    shortSong->Construct();
    EXPECT_EQ(shortSong->GetChildCount(), 0u);
    EXPECT_TRUE(log.Contains("[I] LaneGroup::Construct done, Good #0 Bad #0\n"));
}

TEST_F(LaneGroupTest, SpacingRuleAndFarApartObstacles) {
    // Slowest course: 3.125 units per section of about 0.128 s.
    Ref<HighwayGeometry> slow = MakeHighway(SilentTrack(20.0f));
    Ref<LaneGroup> lanes = MakeLanes(slow);
    EXPECT_TRUE(lanes->AddObstacle(Seconds(3.0), 1, m_Capsule, m_CapsuleShader));
    EXPECT_FALSE(lanes->AddObstacle(Seconds(3.1), 1, m_Capsule, m_CapsuleShader)) << "same lane, too close";
    EXPECT_TRUE(lanes->AddObstacle(Seconds(3.1), 0, m_Capsule, m_CapsuleShader)) << "4 units to the side";
    EXPECT_TRUE(lanes->AddObstacle(Seconds(3.11), 2, m_Mine, m_MineShader)) << "8 units to the other side";
    EXPECT_TRUE(lanes->AddObstacle(Seconds(3.3), 2, m_Capsule, m_CapsuleShader));
    EXPECT_EQ(lanes->GetObstacles(3).size(), 4u);

    // Negative seconds and times at the end of the course place nothing.
    EXPECT_FALSE(lanes->AddObstacle(Seconds(-1.5), 1, m_Capsule, m_CapsuleShader));
    ::Test::LogCapture log;
    EXPECT_FALSE(lanes->AddObstacle(slow->GetEndTime() - Seconds(0.1), 1, m_Capsule, m_CapsuleShader));
    EXPECT_FALSE(lanes->AddObstacle(slow->GetEndTime() + Seconds(1.0), 1, m_Capsule, m_CapsuleShader));
    EXPECT_EQ(log.Count("[W] LaneGroup::AddObstacle: Eval failed.\n"), 2);

    // On the fastest course obstacles two seconds apart lie about 200 units
    // apart, where 16.16 squares overflow: every one of them must stay.
    Ref<HighwayGeometry> fast = MakeHighway(EqualTrack(60.0f));
    Ref<LaneGroup> far = MakeLanes(fast);
    int placed = 0;
    for (int k = 0; k < 27; ++k)
        placed += far->AddObstacle(Seconds(2.0 + 2.1 * k), k % 3, m_Capsule, m_CapsuleShader) ? 1 : 0;
    EXPECT_EQ(placed, 27);
}

namespace {

// Shown capsules spin about (a/2, a, 3a/4) and bob between 1/4 and 3/4 of
// their up vector; mines stay still. Obstacle 0 of the bucket is a capsule,
// obstacle 1 a mine.
void CheckAnimation(LaneGroup& lanes, I32 second, Fixed t) {
    const LookTransform& capsule = *lanes.GetObstacles(second)[0];
    const LookTransform& mine = *lanes.GetObstacles(second)[1];
    ASSERT_TRUE(capsule.IsEnabled());
    ASSERT_TRUE(mine.IsEnabled());
    const Fixed angle = lanes.GetSpins(second)[0] * t;
    EXPECT_EQ(capsule.GetRotation().y, angle);
    EXPECT_EQ(capsule.GetRotation().x, Fixed::FromRaw(angle.Raw() >> 1));
    const float bob = RaceTest::Distance(capsule.GetOffset(), Vector3::Zero);
    const float upLength = RaceTest::Distance(capsule.GetUp(), Vector3::Zero);
    const float h = std::fabs(std::sin(angle.ToFloat() * 0.017453292f));
    EXPECT_NEAR(bob, (0.25f + 0.5f * h) * upLength, 2e-3f);
    EXPECT_EQ(mine.GetRotation(), Vector3::Zero);
    EXPECT_EQ(mine.GetOffset(), Vector3::Zero);
}

}  // namespace

TEST_F(LaneGroupTest, UpdateShowsAtMostFifteenPerSecondAndHidesThePast) {
    Ref<HighwayGeometry> highway = MakeHighway(EqualTrack(20.0f));
    Ref<LaneGroup> lanes = MakeLanes(highway);
    // Eight obstacles in seconds 2 .. 16 and twenty in second 10; odd ones mines.
    for (int s = 2; s <= 16; ++s) {
        const int count = s == 10 ? 20 : 8;
        for (int k = 0; k < count; ++k) {
            const bool mine = k % 2 == 1;
            ASSERT_TRUE(lanes->AddObstacle(Seconds(s + 0.02 + k * (0.95 / count)), k % 3, mine ? m_Mine : m_Capsule,
                                           mine ? m_MineShader : m_CapsuleShader))
                << s << " " << k;
        }
    }
    const I32 buckets = lanes->GetBucketCount();
    ASSERT_EQ(buckets, 17);
    auto shownIn = [&](I32 s) {
        int shown = 0;
        if (s >= 0 && s < buckets)
            for (const Ref<LookTransform>& o : lanes->GetObstacles(s)) shown += o->IsEnabled() ? 1 : 0;
        return shown;
    };

    std::vector<int> before(static_cast<size_t>(buckets), 0);
    I32 second = -1;
    for (int frame = 0; frame < 18 * 30; ++frame) {
        const Fixed t = Fixed::FromRaw(frame * 65536 / 30);
        lanes->Update(t);
        EXPECT_EQ(lanes->GetLastTime(), t);
        const I32 s = t.ToInt();
        ASSERT_EQ(lanes->GetCurrentSecond(), s);
        if (s != second) {
            int switchedOn = 0;
            for (I32 b = 0; b < buckets; ++b) switchedOn += std::max(shownIn(b) - before[static_cast<size_t>(b)], 0);
            EXPECT_LE(switchedOn, LaneGroup::ShowBudget) << s;
            EXPECT_EQ(shownIn(s - 1), 0) << "the previous second is hidden at " << s;
            for (I32 b = 0; b < buckets; ++b)
                if (b < s || b > s + 3) {
                    EXPECT_EQ(shownIn(b), 0) << b << " at " << s;
                }
            // The farthest second is shown first (up to the budget).
            if (s + 3 < buckets) {
                EXPECT_EQ(shownIn(s + 3), std::min<int>(15, lanes->GetObstacles(s + 3).size())) << s;
            }
            second = s;
        }
        for (I32 b = 0; b < buckets; ++b) before[static_cast<size_t>(b)] = shownIn(b);
        if (frame == 12 * 30 + 3 || frame == 12 * 30 + 9) CheckAnimation(*lanes, 12, t);
    }

}

TEST_F(LaneGroupTest, NearestObstacleLatestCapsuleAndRemoval) {
    Ref<HighwayGeometry> highway = MakeHighway(EqualTrack(12.0f));
    Ref<LaneGroup> lanes = MakeLanes(highway);
    Ref<Transform> glider = New<Transform>();

    // Before any Update: no current second.
    Fixed distance = Fixed::FromInt(-7);
    EXPECT_EQ(lanes->FindNearest(glider, distance), nullptr);
    EXPECT_EQ(distance, Fixed::FromInt(-7));
    EXPECT_EQ(lanes->LatestCapsuleBefore(Seconds(5.5)), Fixed::FromInt(-1));

    ASSERT_TRUE(lanes->AddObstacle(Seconds(5.2), 1, m_Capsule, m_CapsuleShader));
    ASSERT_TRUE(lanes->AddObstacle(Seconds(5.4), 0, m_Mine, m_MineShader));
    ASSERT_TRUE(lanes->AddObstacle(Seconds(5.6), 2, m_Capsule, m_CapsuleShader));
    ASSERT_TRUE(lanes->AddObstacle(Seconds(7.3), 1, m_Capsule, m_CapsuleShader));

    EXPECT_EQ(lanes->LatestCapsuleBefore(Seconds(5.5)), Fixed::Zero) << "nothing shown yet";
    lanes->Update(Seconds(5.0));
    EXPECT_EQ(lanes->LatestCapsuleBefore(Seconds(5.5)), Seconds(5.2)) << "the mine at 5.4 does not count";
    EXPECT_EQ(lanes->LatestCapsuleBefore(Seconds(5.7)), Seconds(5.6));
    EXPECT_EQ(lanes->LatestCapsuleBefore(Seconds(5.1)), Fixed::Zero);
    EXPECT_EQ(lanes->LatestCapsuleBefore(Seconds(6.5)), Fixed::Zero) << "an empty bucket";
    EXPECT_EQ(lanes->LatestCapsuleBefore(Seconds(8.5)), Fixed::FromInt(-1)) << "beyond the last bucket";
    EXPECT_EQ(lanes->LatestCapsuleBefore(Seconds(-2.0)), Fixed::FromInt(-1));

    UpdateWorld(*lanes);
    LookTransform* mine = lanes->GetObstacles(5)[1];
    Matrix4 at = Matrix4::Translation(mine->GetWorldPosition() + Vector3{Fixed::One, Fixed::Zero, Fixed::Zero});
    glider->SetWorldMatrix(at, 1);
    EXPECT_EQ(lanes->FindNearest(glider, distance), mine);
    EXPECT_NEAR(distance.ToFloat(), 1.0f, 1e-3f);
    EXPECT_TRUE(lanes->IsMine(mine));

    // Far from everything: none, and the bound is written.
    glider->SetWorldMatrix(Matrix4::Translation({Fixed::FromInt(3000), Fixed::Zero, Fixed::Zero}), 2);
    EXPECT_EQ(lanes->FindNearest(glider, distance), nullptr);
    EXPECT_EQ(distance, Fixed::FromInt(50));

    // Removing the mine drops it from the bucket, its parent and the parallel lists.
    Ref<LookTransform> removed = mine;
    lanes->RemoveObstacle(mine);
    EXPECT_EQ(removed->GetParent(), nullptr);
    ASSERT_EQ(lanes->GetObstacles(5).size(), 2u);
    EXPECT_EQ(lanes->GetTimes(5)[0], Seconds(5.2));
    EXPECT_EQ(lanes->GetTimes(5)[1], Seconds(5.6));
    EXPECT_EQ(lanes->GetSpins(5).size(), 2u);
    EXPECT_EQ(lanes->GetChildCount(), 3u);
    glider->SetWorldMatrix(at, 3);
    Transform* nearest = lanes->FindNearest(glider, distance);
    EXPECT_NE(nearest, removed.Get());
    lanes->RemoveObstacle(removed);  // no longer there: nothing happens
    EXPECT_EQ(lanes->GetObstacles(5).size(), 2u);

    // A new second hides the old one even if the glider never got there.
    lanes->Update(Seconds(6.0));
    for (const Ref<LookTransform>& o : lanes->GetObstacles(5)) EXPECT_FALSE(o->IsEnabled());
    EXPECT_EQ(lanes->FindNearest(glider, distance), nullptr);
    EXPECT_EQ(distance, Fixed::FromInt(50));
}
