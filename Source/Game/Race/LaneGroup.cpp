#include "Race/LaneGroup.h"

#include <algorithm>

#include "Core/Log.h"
#include "Math/MathFunctions.h"
#include "Math/Random.h"

namespace Meridian {

namespace {

const Fixed MinSquaredSpacing = Fixed::FromInt(10);
const Fixed LaneFactor = Fixed::FromRaw(29491);  // 0.45 of the road width
const Fixed QuarterSecond = Fixed::FromRaw(16384);
const Vector3 WorldUp = Vector3::UnitY;

Vector3 Half(const Vector3& v) {
    return {Fixed::FromRaw(v.x.Raw() >> 1), Fixed::FromRaw(v.y.Raw() >> 1), Fixed::FromRaw(v.z.Raw() >> 1)};
}

Vector3 Quarter(const Vector3& v) {
    return {Fixed::FromRaw(v.x.Raw() >> 2), Fixed::FromRaw(v.y.Raw() >> 2), Fixed::FromRaw(v.z.Raw() >> 2)};
}

Vector3 WorldPositionOf(Node* node) {
    Transform* transform = Cast<Transform>(node);
    if (!transform && node) transform = node->GetParentTransform();
    return transform ? transform->GetWorldPosition() : Vector3::Zero;
}

// The shader of an obstacle's mesh (its first child), or null.
Shader* ObstacleShader(const Transform* obstacle) {
    const Drawable* mesh = obstacle ? Cast<Drawable>(obstacle->GetChild(0)) : nullptr;
    return mesh ? mesh->GetShader() : nullptr;
}

}  // namespace

const Fixed LaneGroup::HitBound = Fixed::FromInt(5);
const Fixed LaneGroup::NearestBound = Fixed::FromInt(50);

Fixed LaneGroup::SquaredDistance(const Vector3& a, const Vector3& b) {
    return SquaredDistance(CoursePoint::Of(a), CoursePoint::Of(b));
}

Fixed LaneGroup::SquaredDistance(const CoursePoint& a, const CoursePoint& b) {
    const CoursePoint gap = a - b;
    // One component of 2^31 raw or more already saturates the sum.
    const auto square = [](I64 v) {
        v = v < 0 ? -v : v;
        v = v < (I64{1} << 31) ? v : (I64{1} << 31);
        return (v * v) >> 16;
    };
    const I64 sum = square(gap.x) + square(gap.y) + square(gap.z);
    return Fixed::FromRaw(sum > INT32_MAX ? INT32_MAX : static_cast<I32>(sum));
}

Fixed LaneGroup::SpinAngle(Fixed spin, Fixed t) {
    const I64 fourTurns = I64{1440} << 16;
    return Fixed::FromRaw(static_cast<I32>(((static_cast<I64>(spin.Raw()) * t.Raw()) >> 16) % fourTurns));
}

Vector3 LaneGroup::BobOffset(Fixed spin, Fixed t, const Vector3& up) {
    const Fixed h = Absolute(Sin(SpinAngle(spin, t)));
    return Half(up * h) + Quarter(up);
}

LaneGroup::LaneGroup()
    : m_CurrentSecond(-1),
      m_LastTime(Fixed::Zero),
      m_GoodCount(0),
      m_BadCount(0),
      m_LastObstaclePos{5 << 16, 5 << 16, 5 << 16} {}

LaneGroup::~LaneGroup() {}

PolygonGeometry* LaneGroup::FirstMesh(Node* model) {
    if (PolygonGeometry* mesh = Cast<PolygonGeometry>(model)) return mesh;
    Group* group = Cast<Group>(model);
    if (!group) return nullptr;
    for (U32 i = 0; i < group->GetChildCount(); ++i)
        if (PolygonGeometry* mesh = FirstMesh(group->GetChild(i))) return mesh;
    return nullptr;
}

void LaneGroup::PickOnsets(const HighwayGeometry& highway, std::vector<Onset>& onsets, I32 counts[3],
                           F32 averages[3]) {
    const std::vector<TrackData::Bands>& flux = highway.GetTrackFlux();
    const std::vector<TrackData::Bands>& threshold = highway.GetTrackThreshold();
    const std::vector<F32>& time = highway.GetTrackTime();
    const size_t n = std::min(time.size(), std::min(flux.size(), threshold.size()));

    F32 minimum[3], range[3], floorValue[3], lastThreshold[3], sum[3];
    for (int b = 0; b < 3; ++b) {
        F32 maximum = 0.0f;
        minimum[b] = 1.0e10f;
        for (size_t i = 0; i < n; ++i) {
            maximum = std::max(maximum, flux[i][b]);
            minimum[b] = std::min(minimum[b], flux[i][b]);
        }
        range[b] = maximum - minimum[b];
        floorValue[b] = minimum[b] + 0.2f * range[b];
        lastThreshold[b] = 0.0f;
        sum[b] = 0.0f;
        counts[b] = 0;
    }

    onsets.clear();
    for (size_t i = 1; i < n; ++i) {
        if (time[i] < 2.0f) continue;
        if (time[i] > time[n - 1] - 2.0f) break;
        // Rise of each band, relative to its range; a band whose flux never
        // varies never rises.
        F32 rise[3];
        for (int b = 0; b < 3; ++b)
            rise[b] = range[b] > 0.0f
                          ? (flux[i][b] - minimum[b]) / range[b] - (flux[i - 1][b] - minimum[b]) / range[b]
                          : 0.0f;
        // Both tests compare with band 0 only: band 2 wins whenever it rises
        // more than band 0.
        int best = 0;
        if (rise[0] < rise[1]) best = 1;
        if (rise[0] < rise[2]) best = 2;

        const F32 value = flux[i][best];
        const F32 limit = threshold[i][best];
        if (value > limit && limit > lastThreshold[best] && value > floorValue[best]) {
            onsets.push_back({value, time[i], best});
            sum[best] += value;
            counts[best] += 1;
            lastThreshold[best] = limit;
        }
        lastThreshold[best] *= 0.98f;
    }
    for (int b = 0; b < 3; ++b) averages[b] = (counts[b] > 0 ? sum[b] / static_cast<F32>(counts[b]) : 0.0f) * 0.9f;
}

void LaneGroup::AssignLanes(const I32 counts[3], I32 lanes[3]) {
    const I32 c0 = counts[0], c1 = counts[1], c2 = counts[2];
    auto set = [lanes](I32 a, I32 b, I32 c) {
        lanes[0] = a;
        lanes[1] = b;
        lanes[2] = c;
    };
    if (c1 < c0) {
        if (c2 < c0)
            set(1, 2, 0);
        else
            set(0, 2, 1);
    } else if (c0 < c1) {
        if (c2 < c1 && c2 < c0)
            set(0, 1, 2);
        else if (c2 < c1)
            set(2, 1, 0);
        else
            set(0, 2, 1);
    } else {
        set(0, 2, 1);
    }
}

bool LaneGroup::Construct() {
    LogI() << "LaneGroup::Construct.";
    if (!m_CapsuleModel || !m_MineModel || !m_Highway || m_Highway->GetEndTime() <= Fixed::Zero) {
        LogE() << "LaneGroup::ConstructLane: invalid data, cannot create Lane";
        return false;
    }

    std::vector<Onset> onsets;
    I32 counts[3];
    F32 averages[3];
    PickOnsets(*m_Highway, onsets, counts, averages);
    I32 lanes[3];
    AssignLanes(counts, lanes);

    // Strong onsets become capsules, weaker ones mines.
    for (const Onset& onset : onsets) {
        const Fixed t = Fixed::FromFloat(onset.time);
        const I32 lane = lanes[onset.band];
        if (onset.value >= averages[onset.band]) {
            if (AddObstacle(t, lane, m_CapsuleModel, m_CapsuleShader)) m_GoodCount += 1;
        } else {
            if (AddObstacle(t, lane, m_MineModel, m_MineShader)) m_BadCount += 1;
        }
    }
    LogI() << "LaneGroup::Construct done, Good #" << m_GoodCount << " Bad #" << m_BadCount;
    return true;
}

bool LaneGroup::AddObstacle(Fixed t, I32 lane, Node* model, Shader* shader) {
    if (!m_Highway) return false;
    CoursePoint ride, aheadCentre, centre;
    Vector3 up, right;
    if (!m_Highway->EvalCourse(t + QuarterSecond, ride, aheadCentre, up, right)) {
        LogW() << "LaneGroup::AddObstacle: Eval failed.";
        return false;
    }
    if (!m_Highway->EvalCourse(t, ride, centre, up, right)) {
        LogW() << "LaneGroup::AddObstacle: Eval failed.";
        return false;
    }
    if (t.ToInt() < 0) return false;

    // Lane 1 on the centre line, lanes 0 and 2 about 4 units right and left.
    const Fixed k = m_Highway->GetWidth() * LaneFactor;
    const Fixed o = Fixed::FromInt(lane - 1);
    const Vector3 lift = model == m_MineModel.Get() ? Quarter(up) : Vector3::Zero;
    const Vector3 laneOffset = Half(right) * o - (right * k) * o;
    const Vector3 raise = Half(up) + laneOffset + lift;
    const CoursePoint position = centre + raise;

    if (SquaredDistance(m_LastObstaclePos, position) < MinSquaredSpacing) return false;
    m_LastObstaclePos = position;

    Ref<LookTransform> obstacle = New<LookTransform>();
    if (PolygonGeometry* source = FirstMesh(model)) {
        PolygonGeometry* mesh = New<PolygonGeometry>();
        mesh->ShareData(source->GetData());
        mesh->SetStatic(0xFFFFFFFFu);
        mesh->SetShader(shader);
        mesh->SetParent(obstacle);
    }
    obstacle->SetEnabled(0);
    const Place place{position, aheadCentre + raise};
    obstacle->SetTranslation(place.at.RelativeTo(m_Highway->GetOrigin()));
    obstacle->SetTarget(place.target.RelativeTo(m_Highway->GetOrigin()));
    // World up made perpendicular to the road, so the obstacle faces along it.
    Vector3 d = aheadCentre.RelativeTo(centre);
    d.Normalize();
    obstacle->SetUp((-d).Cross(d.Cross(WorldUp)));

    const I32 second = t.ToInt();
    if (static_cast<I32>(m_ObstacleBuckets.size()) < second + 1) {
        m_ObstacleBuckets.resize(static_cast<size_t>(second + 1));
        m_TimeBuckets.resize(static_cast<size_t>(second + 1));
        m_SpinBuckets.resize(static_cast<size_t>(second + 1));
        m_PlaceBuckets.resize(static_cast<size_t>(second + 1));
    }
    m_PlaceBuckets[static_cast<size_t>(second)].push_back(place);
    m_ObstacleBuckets[static_cast<size_t>(second)].push_back(obstacle);
    m_SpinBuckets[static_cast<size_t>(second)].push_back(RandomRange(Fixed::FromInt(60), Fixed::FromInt(120)));
    m_TimeBuckets[static_cast<size_t>(second)].push_back(t);
    return true;
}

bool LaneGroup::IsMine(const Transform* obstacle) const {
    return m_MineShader && ObstacleShader(obstacle) == m_MineShader.Get();
}

void LaneGroup::Update(Fixed t) {
    m_LastTime = t;
    const I32 second = std::max(t.ToInt(), 0);

    if (second != m_CurrentSecond) {
        // The second just left stays shown (and touchable) for one more
        // second: a capsule due just before a whole second is still ahead of
        // where the glider was last drawn when that second begins.
        for (I32 b = m_CurrentSecond - 1; b <= std::min(m_CurrentSecond + 3, second - 2); ++b)
            if (HasBucket(b))
                for (const Ref<LookTransform>& obstacle : m_ObstacleBuckets[static_cast<size_t>(b)])
                    SetShown(obstacle, false);
        m_CurrentSecond = second;

        ShowOnChange(second, [this](I32 b) { return HasBucket(b) ? static_cast<I32>(m_ObstacleBuckets[b].size()) : -1; },
                     [this](I32 b, I32 count) {
                         const std::vector<Ref<LookTransform>>& bucket = m_ObstacleBuckets[static_cast<size_t>(b)];
                         for (I32 k = 0; k < count; ++k) SetShown(bucket[bucket.size() - 1 - k], true);
                     });
    }

    // Capsules spin and bob between a quarter and three quarters of their up
    // vector; mines stay still.
    for (I32 b = m_CurrentSecond - 1; b <= m_CurrentSecond + 3; ++b) {
        if (!HasBucket(b)) continue;
        const std::vector<Ref<LookTransform>>& bucket = m_ObstacleBuckets[static_cast<size_t>(b)];
        for (size_t k = 0; k < bucket.size(); ++k) {
            LookTransform* obstacle = bucket[k];
            if (!obstacle->IsEnabled() || IsMine(obstacle)) continue;
            const Fixed angle = SpinAngle(m_SpinBuckets[static_cast<size_t>(b)][k], t);
            obstacle->SetOffset(BobOffset(m_SpinBuckets[static_cast<size_t>(b)][k], t, obstacle->GetUp()));
            obstacle->SetRotation({Fixed::FromRaw(angle.Raw() >> 1), angle, angle * Fixed::FromRaw(49152)});
        }
    }
}

Transform* LaneGroup::FindNearest(Node* node, Fixed& squaredDistance) const {
    return FindNearest(WorldPositionOf(node), squaredDistance);
}

Transform* LaneGroup::FindNearest(const Vector3& from, Fixed& squaredDistance) const {
    if (!HasBucket(m_CurrentSecond) && !HasBucket(m_CurrentSecond - 1)) return nullptr;
    Fixed bound = NearestBound;
    Transform* nearest = nullptr;
    for (I32 b = m_CurrentSecond - 1; b <= m_CurrentSecond; ++b) {
        if (!HasBucket(b)) continue;
        for (const Ref<LookTransform>& obstacle : m_ObstacleBuckets[static_cast<size_t>(b)]) {
            if (!obstacle->IsEnabled()) continue;
            const Fixed distance = SquaredDistance(from, obstacle->GetWorldPosition());
            if (distance < bound) {
                bound = distance;
                nearest = obstacle;
            }
        }
    }
    squaredDistance = bound;
    return nearest;
}

void LaneGroup::SetShown(LookTransform* obstacle, bool shown) {
    obstacle->SetEnabled(shown ? 1 : 0);
    if (shown && obstacle->GetParent() != this) obstacle->SetParent(this);
    if (!shown && obstacle->GetParent() == this) obstacle->SetParent(nullptr);
}

void LaneGroup::FollowOrigin() {
    if (!m_Highway) return;
    const CoursePoint& origin = m_Highway->GetOrigin();
    for (size_t s = 0; s < m_ObstacleBuckets.size(); ++s)
        for (size_t k = 0; k < m_ObstacleBuckets[s].size(); ++k) {
            m_ObstacleBuckets[s][k]->SetTranslation(m_PlaceBuckets[s][k].at.RelativeTo(origin));
            m_ObstacleBuckets[s][k]->SetTarget(m_PlaceBuckets[s][k].target.RelativeTo(origin));
        }
}

Fixed LaneGroup::LatestCapsuleBefore(Fixed t) const {
    const I32 second = static_cast<I16>(t.ToInt());
    if (!HasBucket(second)) return Fixed::FromInt(-1);
    const std::vector<Ref<LookTransform>>& bucket = m_ObstacleBuckets[static_cast<size_t>(second)];
    const std::vector<Fixed>& times = m_TimeBuckets[static_cast<size_t>(second)];
    for (size_t k = bucket.size(); k > 0; --k) {
        const LookTransform* obstacle = bucket[k - 1];
        if (times[k - 1] < t && obstacle->IsEnabled() && m_CapsuleShader &&
            ObstacleShader(obstacle) == m_CapsuleShader.Get())
            return times[k - 1];
    }
    return Fixed::Zero;
}

void LaneGroup::RemoveObstacle(Node* node) {
    if (!node) return;
    for (I32 b = m_CurrentSecond - 1; b <= m_CurrentSecond; ++b) {
        if (!HasBucket(b)) continue;
        const size_t second = static_cast<size_t>(b);
        std::vector<Ref<LookTransform>>& bucket = m_ObstacleBuckets[second];
        for (size_t k = 0; k < bucket.size(); ++k) {
            if (bucket[k].Get() != node) continue;
            Ref<Node> keep = node;  // alive until both holders have let go
            bucket.erase(bucket.begin() + static_cast<std::ptrdiff_t>(k));
            if (node->GetParent() == this) node->SetParent(nullptr);
            m_SpinBuckets[second].erase(m_SpinBuckets[second].begin() + static_cast<std::ptrdiff_t>(k));
            m_TimeBuckets[second].erase(m_TimeBuckets[second].begin() + static_cast<std::ptrdiff_t>(k));
            m_PlaceBuckets[second].erase(m_PlaceBuckets[second].begin() + static_cast<std::ptrdiff_t>(k));
            return;
        }
    }
}

}  // namespace Meridian
