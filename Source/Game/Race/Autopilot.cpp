#include "Race/Autopilot.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "Input/Input.h"
#include "Race/AudioTrack.h"
#include "Race/HighwayGeometry.h"
#include "Race/LaneGroup.h"
#include "Race/Race.h"

using namespace Meridian;

namespace {

const Fixed Horizon = Fixed::FromRaw(163840);  // 2.5 s
const Fixed Behind = Fixed::FromRaw(3277);     // 0.05 s: still being passed
const F32 LateralSpeed = 40.0f;                // units per second, as the glider slides
const F32 Reach = 1.5f;                        // an obstacle is met from this far to the side
const F32 LaneOffset[5] = {-7.0f, -4.0f, 0.0f, 4.0f, 7.0f};

}  // namespace

I32 LanePilot::ChooseLane(Fixed now, Fixed x, I32 current, const std::vector<Obstacle>& ahead) {
    // Best score per lane (-2..2) after each obstacle, maximised over lane
    // sequences the glider can actually fly: a capsule met is worth 1, a mine
    // met costs 4, and staying put breaks ties. Obstacles already passed do
    // not count; the plan looks at most MaxPlanned obstacles ahead.
    const size_t MaxPlanned = 48;
    F32 score[MaxPlanned][5];
    I32 from[MaxPlanned][5];
    const F32 none = -1.0e9f;
    size_t count = 0;
    F32 previousTime = now.ToFloat();
    for (const Obstacle& o : ahead) {
        if (o.time < now - Behind) continue;
        if (count == MaxPlanned) break;
        const F32 time = o.time.ToFloat();
        const F32 slide = LateralSpeed * (time - previousTime) + Reach;
        for (I32 lane = 0; lane < 5; ++lane) {
            const F32 reward = (lane - 2 == o.lane) ? (o.mine ? -4.0f : 1.0f) : 0.0f;
            F32& best = score[count][lane];
            best = none;
            from[count][lane] = lane;
            if (count == 0) {
                if (std::fabs(LaneOffset[lane] - x.ToFloat()) <= slide)
                    best = reward - 0.01f * static_cast<F32>(std::abs(lane - 2 - current));
                continue;
            }
            for (I32 before = 0; before < 5; ++before) {
                const F32 base = score[count - 1][before];
                if (base <= none || std::fabs(LaneOffset[lane] - LaneOffset[before]) > slide) continue;
                const F32 total = base + reward - 0.001f * static_cast<F32>(std::abs(lane - before));
                if (total > best) {
                    best = total;
                    from[count][lane] = before;
                }
            }
        }
        previousTime = time;
        ++count;
    }
    if (count == 0) return current;
    I32 lane = 0;
    for (I32 candidate = 1; candidate < 5; ++candidate)
        if (score[count - 1][candidate] > score[count - 1][lane]) lane = candidate;
    if (score[count - 1][lane] <= none) return current;
    for (size_t j = count - 1; j > 0; --j) lane = from[j][lane];
    return lane - 2;
}

U32 LanePilot::Buttons(const Race& race, U32 previous) {
    AudioTrack* track = race.GetAudioTrack();
    Player* player = race.GetPlayer();
    if (!track || !player || race.IsEnding()) return 0;
    LaneGroup* lanes = track->GetLaneGroup();
    HighwayGeometry* highway = track->GetHighway();
    if (!lanes || !highway) return 0;

    const Fixed now = race.GetPlayTime();
    m_Ahead.clear();
    const I32 first = std::max(0, (now - Behind).ToInt());
    const I32 last = std::min(lanes->GetBucketCount() - 1, (now + Horizon).ToInt());
    for (I32 second = first; second <= last; ++second) {
        const auto& obstacles = lanes->GetObstacles(second);
        const auto& times = lanes->GetTimes(second);
        for (size_t i = 0; i < obstacles.size(); ++i) {
            const Fixed t = times[i];
            if (t < now - Behind || t > now + Horizon) continue;
            Vector3 ride, centre, up, right;
            if (!highway->Eval(t, ride, centre, up, right)) continue;
            // Lanes lie 4 units apart across the road; the glider's lane 1 is
            // right of the centre line, where obstacle lane 0 lies.
            const Fixed across = (obstacles[i]->GetTranslation() - centre).Dot(right);
            const I32 lane = std::max(-1, std::min(1, (across + Fixed::FromInt(2)).m_Raw >> 18));
            m_Ahead.push_back({t, lane, lanes->IsMine(obstacles[i])});
        }
    }
    std::sort(m_Ahead.begin(), m_Ahead.end(), [](const Obstacle& a, const Obstacle& b) { return a.time < b.time; });

    const I32 current = (player->m_Lane + Fixed::FromRaw(32768)).m_Raw >> 16;
    const I32 target = ChooseLane(now, player->m_X, current, m_Ahead);
    if (target == current) return 0;
    const bool left = target < current;
    const U32 step = left ? Buttons::DPadLeft : Buttons::DPadRight;
    const U32 skip = left ? Buttons::DPadA : Buttons::DPadB;
    if (previous & (step | skip)) return 0;  // release first, press next frame
    return std::abs(target - current) >= 2 ? (step | skip) : step;
}
