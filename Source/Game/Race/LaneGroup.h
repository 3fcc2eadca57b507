// LaneGroup: the race's capsules and mines, placed on the highway at the
// music's onsets and shown a few seconds ahead of the glider.
//
// Each band of the analysis gets a lane (0 right of centre, 1 centre, 2
// left); strong onsets become capsules, weaker ones mines. Every obstacle is
// a LookTransform facing along the road, with one PolygonGeometry child that
// shares the model's first mesh (no vertex copies); an obstacle is a mine
// exactly when that mesh carries the mine shader. The transform's enabled
// flag is the obstacle's shown flag, and only shown obstacles are children
// of the group, so that drawing an hour-long song's course does not walk
// its thousands of obstacles every frame.
// Obstacles are kept in buckets of one whole song second so that the
// per-frame work touches only the previous second, the current one and the
// next three.
//
// Depends on: Race/HighwayGeometry, Scene (Transform, PolygonGeometry,
// Shader), Math (Random, trigonometric tables: InitTables before Update).
// Ownership: the group holds counted references to the models, shaders and
// highway it is given, and to its obstacles (in the buckets, and as children
// while shown).
#pragma once

#include <vector>

#include "Race/HighwayGeometry.h"
#include "Scene/Node.h"
#include "Scene/PolygonGeometry.h"
#include "Scene/Shader.h"
#include "Scene/Transform.h"

namespace Meridian {

class LaneGroup : public Group {
    MERIDIAN_CLASS(LaneGroup, Group)

    // Obstacles switched on per change of second, farthest second first.
    static constexpr I32 ShowBudget = 15;
    // The glider touches the nearest shown obstacle closer than a squared
    // distance of HitBound; FindNearest looks no farther than NearestBound.
    static const Fixed HitBound;
    static const Fixed NearestBound;

    // Sum of the three 16.16 squares of a - b, computed in 64 bits so that
    // points more than 181 units apart (whose squares overflow 16.16) still
    // count as far apart. Saturates at Fixed::Max.
    static Fixed SquaredDistance(const Vector3& a, const Vector3& b);
    static Fixed SquaredDistance(const CoursePoint& a, const CoursePoint& b);
    // A capsule's turn in degrees at song time t, spinning at spin degrees
    // per second: spin * t, less whole multiples of four turns, which keeps
    // the half and three-quarter rates of its other axes whole too. The
    // product itself leaves 16.16 after about 273 s.
    static Fixed SpinAngle(Fixed spin, Fixed t);
    // How far a shown capsule spinning at spin degrees per second stands
    // above its place at song time t (along its up vector).
    static Vector3 BobOffset(Fixed spin, Fixed t, const Vector3& up);
    // What a change to second switches on: show(b, count) for the last count
    // obstacles of bucket b, farthest second first, within ShowBudget;
    // size(b) is bucket b's obstacle count, negative when there is no bucket.
    template <class Size, class Show>
    static void ShowOnChange(I32 second, Size size, Show show) {
        I32 budget = ShowBudget;
        for (I32 b = second + 3; b >= second; --b) {
            const I32 count = size(b);
            if (count < 0) continue;
            if (count > 0) show(b, count < budget ? count : budget);
            budget -= count;
            if (budget < 1) break;
        }
    }

    LaneGroup();
    ~LaneGroup() override;

    void SetCapsuleModel(Node* model) { m_CapsuleModel = model; }
    void SetMineModel(Node* model) { m_MineModel = model; }
    void SetMineShader(Shader* shader) { m_MineShader = shader; }
    void SetCapsuleShader(Shader* shader) { m_CapsuleShader = shader; }
    void SetHighway(HighwayGeometry* highway) { m_Highway = highway; }
    Shader* GetMineShader() const { return m_MineShader; }
    Shader* GetCapsuleShader() const { return m_CapsuleShader; }
    Node* GetCapsuleModel() const { return m_CapsuleModel; }
    Node* GetMineModel() const { return m_MineModel; }

    // Places every obstacle of the song (none shown yet). Logs an error,
    // places nothing and returns false without both models and a highway of
    // positive length.
    bool Construct();

    // Places one obstacle at song time t in lane 0..2; false when the
    // highway has no course there, t is negative, or the spot lies closer
    // than sqrt(10) to the previous obstacle.
    bool AddObstacle(Fixed t, I32 lane, Node* model, Shader* shader);

    // Once per frame with the song time: on a change of second hides the
    // obstacles of the second before the previous one and shows the next
    // ones; spins and bobs the shown capsules.
    void Update(Fixed t);

    // The shown obstacle of the current or the previous second nearest to
    // node's world position, closer than a squared distance of 50.0 (written to
    // squaredDistance, 50.0 when none is); null when there is none. Before
    // the first Update the output is left alone.
    Transform* FindNearest(Node* node, Fixed& squaredDistance) const;
    // The same from a point in world space.
    Transform* FindNearest(const Vector3& from, Fixed& squaredDistance) const;

    // The time of the newest shown capsule of t's second lying before t; 0
    // when there is none, -1.0 when t's second has no bucket.
    Fixed LatestCapsuleBefore(Fixed t) const;

    // Shows or hides an obstacle: its enabled flag, and a child of the group
    // while shown.
    void SetShown(LookTransform* obstacle, bool shown);

    // Re-places every obstacle relative to the highway's origin, after
    // HighwayGeometry::SetOrigin moved it.
    void FollowOrigin();

    // Removes an obstacle of the current or the previous second (hit or
    // collected).
    void RemoveObstacle(Node* node);

    bool IsMine(const Transform* obstacle) const;

    I32 GetGoodCount() const { return m_GoodCount; }
    I32 GetBadCount() const { return m_BadCount; }
    I32 GetCurrentSecond() const { return m_CurrentSecond; }
    Fixed GetLastTime() const { return m_LastTime; }
    I32 GetBucketCount() const { return static_cast<I32>(m_ObstacleBuckets.size()); }
    // Bucket s (0 .. GetBucketCount() - 1): obstacles, their times and spins.
    const std::vector<Ref<LookTransform>>& GetObstacles(I32 second) const { return m_ObstacleBuckets[second]; }
    const std::vector<Fixed>& GetTimes(I32 second) const { return m_TimeBuckets[second]; }
    const std::vector<Fixed>& GetSpins(I32 second) const { return m_SpinBuckets[second]; }
    // Where an obstacle stands on the course and the point it faces.
    struct Place {
        CoursePoint at, target;
    };
    const std::vector<Place>& GetPlaces(I32 second) const { return m_PlaceBuckets[second]; }

    // The first mesh of a model tree in depth-first order, or null.
    static PolygonGeometry* FirstMesh(Node* model);

    // A candidate onset: the flux of its band, its song time (seconds) and
    // the band (0, 1, 2) that rose most.
    struct Onset {
        F32 value;
        F32 time;
        I32 band;
    };
    // The candidate onsets of the highway's track data, in time order, the
    // number per band and, per band, 0.9 times the candidates' mean flux (the
    // capsule/mine divide). None lie in the first or last two seconds.
    static void PickOnsets(const HighwayGeometry& highway, std::vector<Onset>& onsets, I32 counts[3],
                           F32 averages[3]);
    // The lane of each band from the candidate counts: the band with the
    // most onsets gets the middle lane (band 2 when bands 0 and 1 tie).
    static void AssignLanes(const I32 counts[3], I32 lanes[3]);

private:
    bool HasBucket(I32 second) const {
        return second >= 0 && second < static_cast<I32>(m_ObstacleBuckets.size());
    }

    Ref<Shader> m_CapsuleShader;
    Ref<Shader> m_MineShader;
    Ref<HighwayGeometry> m_Highway;
    Ref<Node> m_CapsuleModel;
    Ref<Node> m_MineModel;
    std::vector<std::vector<Ref<LookTransform>>> m_ObstacleBuckets;
    std::vector<std::vector<Fixed>> m_TimeBuckets;
    std::vector<std::vector<Fixed>> m_SpinBuckets;
    std::vector<std::vector<Place>> m_PlaceBuckets;
    I32 m_CurrentSecond;
    Fixed m_LastTime;
    I32 m_GoodCount;
    I32 m_BadCount;
    CoursePoint m_LastObstaclePos;
};

}  // namespace Meridian
