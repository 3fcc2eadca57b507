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

Ref<HighwayGeometry> MakeHighway(const TrackData& data) {
    Ref<HighwayGeometry> highway = New<HighwayGeometry>();
    highway->Construct(data);
    return highway;
}

class LaneGroupTest : public ::testing::Test {
protected:
    void SetUp() override { InitTables(); }

    Ref<LaneGroup> MakeLanes(HighwayGeometry* highway) {
        Ref<LaneGroup> lanes = New<LaneGroup>();
        lanes->SetCapsuleModel(m_Capsule);
        lanes->SetMineModel(m_Mine);
        lanes->SetMineShader(m_MineShader);
        lanes->SetCapsuleShader(m_CapsuleShader);
        lanes->SetHighway(highway);
        return lanes;
    }
    bool Add(LaneGroup& lanes, double seconds, I32 lane, bool mine = false) {
        return lanes.AddObstacle(Seconds(seconds), lane, mine ? m_Mine : m_Capsule,
                                 mine ? m_MineShader : m_CapsuleShader);
    }

    Ref<Transform> m_Capsule = MakeModel(), m_Mine = MakeModel();
    Ref<Shader> m_CapsuleShader = New<Shader>(), m_MineShader = New<Shader>();
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
    EXPECT_EQ((std::vector<I32>{counts[0], counts[1], counts[2]}), (std::vector<I32>{4, 2, 1}));

    Ref<LaneGroup> lanes = MakeLanes(highway);
    lanes->Construct();
    EXPECT_TRUE(lanes->GetGoodCount() == 6 && lanes->GetBadCount() == 1);
    EXPECT_EQ(lanes->GetChildCount(), 0u) << "only shown obstacles are children";
    // Band 0 (most onsets) in the middle, band 1 left, band 2 right; the weak onset at 5 s is a mine, lifted 1/4.
    const std::map<int, float> expectedAcross = {{3, 0.0f}, {4, -4.0f}, {5, 0.0f}, {6, -4.0f},
                                                 {7, 0.0f}, {8, 4.0f},  {9, 0.0f}};
    ASSERT_EQ(lanes->GetBucketCount(), 10);
    for (const auto& [second, across] : expectedAcross) {
        SCOPED_TRACE(second);
        ASSERT_EQ(lanes->GetObstacles(second).size(), 1u);
        const LookTransform& obstacle = *lanes->GetObstacles(second)[0];
        const Fixed t = lanes->GetTimes(second)[0];
        EXPECT_EQ(t.ToInt(), second);
        EXPECT_NEAR(lanes->GetSpins(second)[0].ToFloat(), 90.0f, 30.0f);
        const bool mine = second == 5;
        const Placement at = PlacementOf(*highway, t, obstacle);
        EXPECT_NEAR(at.across, across, 1e-3f);
        EXPECT_NEAR(at.height, mine ? 0.75f : 0.5f, 1e-3f);
        EXPECT_EQ(lanes->IsMine(&obstacle), mine);
        EXPECT_FALSE(obstacle.IsEnabled());
        // One mesh sharing the model's arrays, with its shader.
        ASSERT_EQ(obstacle.GetChildCount(), 1u);
        PolygonGeometry* mesh = Cast<PolygonGeometry>(obstacle.GetChild(0));
        ASSERT_NE(mesh, nullptr);
        EXPECT_EQ(mesh->GetData(), LaneGroup::FirstMesh(mine ? m_Mine.Get() : m_Capsule.Get())->GetData());
        EXPECT_EQ(mesh->GetShader(), mine ? m_MineShader.Get() : m_CapsuleShader.Get());
        // Facing the centre a quarter second ahead, the up vector square to it.
        Vector3 ride, aheadCentre, centre, up, right;
        ASSERT_TRUE(highway->Eval(t + Fixed::FromRaw(16384), ride, aheadCentre, up, right));
        ASSERT_TRUE(highway->Eval(t, ride, centre, up, right));
        const Vector3 along = obstacle.GetTarget() - obstacle.GetTranslation();
        EXPECT_LT(Distance(along, aheadCentre - centre), 1e-3f);
        EXPECT_NEAR(Dot(obstacle.GetUp(), along), 0.0f, 0.05f);
        EXPECT_GT(obstacle.GetUp().y.ToFloat(), 0.5f);
    }
}

TEST_F(LaneGroupTest, LaneTableAndFlatBands) {
    const struct {
        I32 counts[3];
        I32 lanes[3];
    } rows[] = {
        {{5, 3, 2}, {1, 2, 0}},  // band 0 most
        {{5, 3, 7}, {0, 2, 1}},  // band 2 at least band 0, band 1 fewer
        {{3, 5, 2}, {0, 1, 2}},  // band 1 most, band 2 fewest
        {{3, 5, 4}, {2, 1, 0}},  // band 1 most, band 2 between
        {{3, 5, 5}, {0, 2, 1}},  // band 2 at least band 1
        {{4, 4, 1}, {0, 2, 1}},  // bands 0 and 1 tie: band 2 takes the middle even with the fewest
        {{0, 0, 0}, {0, 2, 1}},
    };
    for (const auto& row : rows) {
        I32 lanes[3];
        LaneGroup::AssignLanes(row.counts, lanes);
        EXPECT_EQ((std::vector<I32>(lanes, lanes + 3)), (std::vector<I32>(row.lanes, row.lanes + 3)))
            << row.counts[0] << row.counts[1] << row.counts[2];
    }
    // A band whose flux never varies never rises (no division by zero); the others still do.
    Ref<HighwayGeometry> highway = MakeHighway(MakeTrack(10.0f, [](int i, float) {
        return TrackData::Bands{1.0f, i % 100 == 50 ? 8.0f : 1.0f, 2.0f};
    }));
    std::vector<LaneGroup::Onset> onsets;
    I32 counts[3];
    F32 averages[3];
    // Spikes at 2.9, 4.1, 5.2, 6.4, 7.5 s; 1.7 and 8.7 s are too near the ends.
    LaneGroup::PickOnsets(*highway, onsets, counts, averages);
    EXPECT_EQ((std::vector<I32>{counts[0], counts[1], counts[2]}), (std::vector<I32>{0, 5, 0}));
    for (const LaneGroup::Onset& onset : onsets) EXPECT_EQ(onset.band, 1);
    LaneGroup::PickOnsets(*MakeHighway(SilentTrack(10.0f)), onsets, counts, averages);
    EXPECT_TRUE(onsets.empty());
}

TEST_F(LaneGroupTest, ConstructRefusesMissingDataAndShortSongs) {
    ::Test::LogCapture log;
    Ref<LaneGroup> noModel = MakeLanes(MakeHighway(SpikedTrack(12.0f, {{3.0f, 0, 10.0f}})));
    noModel->SetMineModel(nullptr);
    EXPECT_FALSE(noModel->Construct());
    EXPECT_EQ(noModel->GetChildCount(), 0u);
    Ref<LaneGroup> noCourse = MakeLanes(New<HighwayGeometry>());  // never built: no length
    EXPECT_FALSE(noCourse->Construct());
    EXPECT_EQ(noCourse->GetChildCount(), 0u);
    EXPECT_EQ(log.Count("[E] LaneGroup::ConstructLane: invalid data, cannot create Lane\n"), 2);
    // Under four seconds no onset lies 2 s from both ends.
    Ref<LaneGroup> shortSong = MakeLanes(MakeHighway(SpikedTrack(3.9f, {{1.9f, 0, 10.0f}, {2.0f, 1, 10.0f}})));
    EXPECT_TRUE(shortSong->Construct());  // a course without obstacles is still a race
    EXPECT_EQ(shortSong->GetChildCount(), 0u);
}

TEST_F(LaneGroupTest, SpacingRuleAndFarApartObstacles) {
    // Slowest course: 3.125 units per section of about 0.128 s.
    Ref<HighwayGeometry> slow = MakeHighway(SilentTrack(20.0f));
    Ref<LaneGroup> lanes = MakeLanes(slow);
    EXPECT_TRUE(Add(*lanes, 3.0, 1));
    EXPECT_FALSE(Add(*lanes, 3.1, 1)) << "same lane, too close";
    EXPECT_TRUE(Add(*lanes, 3.1, 0)) << "4 units to the side";
    EXPECT_TRUE(Add(*lanes, 3.11, 2, true)) << "8 units to the other side";
    EXPECT_TRUE(Add(*lanes, 3.3, 2));
    EXPECT_EQ(lanes->GetObstacles(3).size(), 4u);
    // Negative seconds and times at the end of the course place nothing.
    EXPECT_FALSE(Add(*lanes, -1.5, 1));
    ::Test::LogCapture log;
    EXPECT_FALSE(Add(*lanes, slow->GetEndTime().ToFloat() - 0.1, 1));
    EXPECT_FALSE(Add(*lanes, slow->GetEndTime().ToFloat() + 1.0, 1));
    EXPECT_EQ(log.Count("[W] LaneGroup::AddObstacle: Eval failed.\n"), 2);
    // On the fastest course obstacles 2 s apart lie ~200 units apart, where 16.16 squares overflow.
    Ref<LaneGroup> far = MakeLanes(MakeHighway(EqualTrack(60.0f)));
    int placed = 0;
    for (int k = 0; k < 27; ++k) placed += Add(*far, 2.0 + 2.1 * k, k % 3) ? 1 : 0;
    EXPECT_EQ(placed, 27);
}

TEST_F(LaneGroupTest, UpdateShowsAtMostFifteenPerSecondAndHidesThePast) {
    Ref<LaneGroup> lanes = MakeLanes(MakeHighway(EqualTrack(20.0f)));
    // Eight obstacles in seconds 2 .. 16 and twenty in second 10; odd ones mines.
    for (int s = 2; s <= 16; ++s) {
        const int count = s == 10 ? 20 : 8;
        for (int k = 0; k < count; ++k) ASSERT_TRUE(Add(*lanes, s + 0.02 + k * (0.95 / count), k % 3, k % 2 == 1));
    }
    const I32 buckets = lanes->GetBucketCount();
    ASSERT_EQ(buckets, 17);
    auto shownIn = [&](I32 s) {
        int shown = 0;
        for (const Ref<LookTransform>& o : lanes->GetObstacles(s)) shown += o->IsEnabled() ? 1 : 0;
        return shown;
    };
    std::vector<int> before(static_cast<size_t>(buckets), 0);
    I32 second = -1;
    for (int frame = 0; frame < 18 * 30; ++frame) {
        const Fixed t = Fixed::FromRaw(frame * 65536 / 30);
        lanes->Update(t);
        const I32 s = t.ToInt();
        ASSERT_EQ(lanes->GetCurrentSecond(), s);
        if (s != second) {
            // Within the budget, only seconds s - 1 .. s + 3 shown, farthest first.
            int switchedOn = 0;
            for (I32 b = 0; b < buckets; ++b) {
                switchedOn += std::max(shownIn(b) - before[static_cast<size_t>(b)], 0);
                EXPECT_TRUE((b >= s - 1 && b <= s + 3) || shownIn(b) == 0) << b << " at " << s;
            }
            EXPECT_LE(switchedOn, LaneGroup::ShowBudget) << s;
            EXPECT_TRUE(s + 3 >= buckets || shownIn(s + 3) == std::min<int>(15, lanes->GetObstacles(s + 3).size())) << s;
            second = s;
        }
        for (I32 b = 0; b < buckets; ++b) before[static_cast<size_t>(b)] = shownIn(b);
        // Shown capsules spin and bob between 1/4 and 3/4 of their up vector; mines stay still.
        if (frame != 12 * 30 + 3 && frame != 12 * 30 + 9) continue;
        const LookTransform& capsule = *lanes->GetObstacles(12)[0];
        const LookTransform& mine = *lanes->GetObstacles(12)[1];
        ASSERT_TRUE(capsule.IsEnabled() && mine.IsEnabled());
        EXPECT_EQ(capsule.GetRotation().y, LaneGroup::SpinAngle(lanes->GetSpins(12)[0], t));
        const float bob = Distance(capsule.GetOffset(), Vector3::Zero) / Distance(capsule.GetUp(), Vector3::Zero);
        EXPECT_TRUE(bob > 0.249f && bob < 0.751f) << bob;
        EXPECT_EQ(mine.GetRotation(), Vector3::Zero);
        EXPECT_EQ(mine.GetOffset(), Vector3::Zero);
    }
    // The turn of all three axes stays smooth on long songs, where spin * t leaves 16.16.
    for (double t : {12.5, 273.5, 1000.25, 3599.75}) {
        const double degrees = 119.5 * t;
        const Fixed angle = LaneGroup::SpinAngle(Fixed::FromFloat(119.5f), Fixed::FromFloat(static_cast<float>(t)));
        for (double rate : {1.0, 0.5, 0.75})
            EXPECT_NEAR(Sin(Fixed::FromFloat(static_cast<float>(std::fmod(degrees * rate, 360.0)))).ToFloat(),
                        Sin(Fixed::FromRaw(static_cast<I32>(angle.Raw() * rate))).ToFloat(), 0.02f) << t << " " << rate;
    }
}

TEST_F(LaneGroupTest, NearestObstacleLatestCapsuleAndRemoval) {
    Ref<LaneGroup> lanes = MakeLanes(MakeHighway(EqualTrack(12.0f)));
    Ref<Transform> glider = New<Transform>();
    // Before any Update: no current second, the output left alone.
    Fixed distance = Fixed::FromInt(-7);
    EXPECT_EQ(lanes->FindNearest(glider, distance), nullptr);
    EXPECT_EQ(distance, Fixed::FromInt(-7));
    EXPECT_EQ(lanes->LatestCapsuleBefore(Seconds(5.5)), Fixed::FromInt(-1));

    ASSERT_TRUE(Add(*lanes, 5.2, 1));
    ASSERT_TRUE(Add(*lanes, 5.4, 0, true));
    ASSERT_TRUE(Add(*lanes, 5.6, 2));
    ASSERT_TRUE(Add(*lanes, 7.3, 1));
    EXPECT_EQ(lanes->LatestCapsuleBefore(Seconds(5.5)), Fixed::Zero) << "nothing shown yet";
    lanes->Update(Seconds(5.0));
    EXPECT_EQ(lanes->LatestCapsuleBefore(Seconds(5.5)), Seconds(5.2)) << "the mine at 5.4 does not count";
    EXPECT_EQ(lanes->LatestCapsuleBefore(Seconds(5.7)), Seconds(5.6));
    EXPECT_EQ(lanes->LatestCapsuleBefore(Seconds(5.1)), Fixed::Zero);
    EXPECT_EQ(lanes->LatestCapsuleBefore(Seconds(6.5)), Fixed::Zero) << "an empty bucket";
    EXPECT_EQ(lanes->LatestCapsuleBefore(Seconds(8.5)), Fixed::FromInt(-1)) << "beyond the last bucket";
    EXPECT_EQ(lanes->LatestCapsuleBefore(Seconds(-2.0)), Fixed::FromInt(-1));
    // World matrices as the draw traversal would set them (group at the origin).
    for (I32 s = 0; s < lanes->GetBucketCount(); ++s)
        for (const Ref<LookTransform>& obstacle : lanes->GetObstacles(s))
            obstacle->SetWorldMatrix(obstacle->GetLocalMatrix(), 1);
    Ref<LookTransform> mine = lanes->GetObstacles(5)[1];
    const Matrix4 at = Matrix4::Translation(mine->GetWorldPosition() + Vector3{Fixed::One, Fixed::Zero, Fixed::Zero});
    glider->SetWorldMatrix(at, 1);
    EXPECT_EQ(lanes->FindNearest(glider, distance), mine.Get());
    EXPECT_NEAR(distance.ToFloat(), 1.0f, 1e-3f);
    // Far from everything: none, and the bound is written.
    glider->SetWorldMatrix(Matrix4::Translation({Fixed::FromInt(3000), Fixed::Zero, Fixed::Zero}), 2);
    EXPECT_TRUE(lanes->FindNearest(glider, distance) == nullptr && distance == Fixed::FromInt(50));
    // Removing the mine drops it from the bucket, its parent and the parallel lists.
    for (int twice = 0; twice < 2; ++twice) {  // the second time it is no longer there: nothing happens
        lanes->RemoveObstacle(mine);
        EXPECT_EQ(mine->GetParent(), nullptr);
        ASSERT_EQ(lanes->GetObstacles(5).size(), 2u);
        EXPECT_EQ(lanes->GetTimes(5), (std::vector<Fixed>{Seconds(5.2), Seconds(5.6)}));
        EXPECT_EQ(lanes->GetSpins(5).size(), 2u);
        EXPECT_EQ(lanes->GetChildCount(), 3u);
    }
    glider->SetWorldMatrix(at, 3);
    EXPECT_NE(lanes->FindNearest(glider, distance), mine.Get());
    // The second just left stays shown, touchable and removable for one more second, then hides.
    lanes->Update(Seconds(6.0));
    Ref<LookTransform> late = lanes->GetObstacles(5)[1];
    EXPECT_TRUE(lanes->GetObstacles(5)[0]->IsEnabled() && late->IsEnabled());
    glider->SetWorldMatrix(Matrix4::Translation(late->GetWorldPosition()), 4);
    EXPECT_EQ(lanes->FindNearest(glider, distance), late.Get());
    lanes->RemoveObstacle(lanes->GetObstacles(5)[0]);
    EXPECT_EQ(lanes->GetObstacles(5).size(), 1u);
    lanes->Update(Seconds(7.0));
    EXPECT_FALSE(late->IsEnabled());
    EXPECT_TRUE(lanes->FindNearest(glider, distance) == nullptr && distance == Fixed::FromInt(50));
}
