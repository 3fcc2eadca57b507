#include "Race/RacePlanner.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "Core/Log.h"
#include "Core/System.h"
#include "Input/Input.h"
#include "Race/AudioTrack.h"
#include "Race/Player.h"
#include "Race/Race.h"

using namespace Meridian;

namespace {

const Fixed PlaceAhead = Fixed::FromRaw(9830);  // the race also evaluates the course 0.15 s ahead
const U32 LeftButtons = Buttons::DPadLeft | Buttons::DPadA;
const U32 RightButtons = Buttons::DPadRight | Buttons::DPadB;
// Obstacles the float pre-test finds at most this much beyond the hit bound
// may be touched; the exact test decides.
const F32 ReachMargin = 0.5f;
const I32 MaxOpen = 26;  // obstacles within reach at once (mask bits of a state)
// A run's worth, most important first: capsules, mines, capsules taken only
// after their time (the race counts them as missed first, which breaks the
// streak and its bonus), presses.
const I64 CapsuleValue = I64{1} << 44;
const I64 MineValue = I64{1} << 32;
const I64 LateValue = I64{1} << 20;
// Offsets that differ by less than 2^-(16 - XQuantum) units (the rounding of
// frame deltas makes many such) are one state; the state keeps the best
// run's exact offset.
const I32 XQuantum = 10;

Fixed TicksToSeconds(U64 ms) { return Fixed::FromFloat(static_cast<F32>(static_cast<F64>(ms) * System::SecondsPerTick())); }

// Lane moves of one frame: -2 .. 2 lanes, and which buttons make them after
// the buttons held in the frame before (a button held then does not count).
bool Allowed(I32 move, U32 held) {
    if (move == -2) return !(held & LeftButtons);
    if (move == -1) return (held & LeftButtons) != LeftButtons;
    if (move == 1) return (held & RightButtons) != RightButtons;
    if (move == 2) return !(held & RightButtons);
    return true;
}
U32 PressFor(I32 move, U32 held) {
    switch (move) {
        case -2: return LeftButtons;
        case -1: return (held & Buttons::DPadLeft) ? U32(Buttons::DPadA) : U32(Buttons::DPadLeft);
        case 1: return (held & Buttons::DPadRight) ? U32(Buttons::DPadB) : U32(Buttons::DPadRight);
        case 2: return RightButtons;
        default: return 0;
    }
}
// A state keeps only how many buttons of which side it pressed; this is
// enough to know what it may press next.
U8 ClassOf(I32 move) { return static_cast<U8>(move + 2); }
U32 HeldOf(U8 cls) {
    static const U32 held[5] = {LeftButtons, Buttons::DPadLeft, 0, Buttons::DPadRight, RightButtons};
    return held[cls];
}

struct Item {
    I32 second, index;
    Fixed time, spin;
    Vector3 base, up, now;
    bool mine;
    I32 shown = INT_MAX;  // first frame shown in; -1: shown before the start
    I32 open0 = INT_MAX, open1 = -1;
};

// The course as the planner sees it: obstacles, and per frame the current
// second and where the glider is placed on the road.
struct Course {
    std::vector<Item> items;
    std::vector<std::vector<I32>> buckets;  // item ids per second, in bucket order
    std::vector<I32> second;
    std::vector<Vector3> centre, right;
    std::vector<bool> placed;
    Fixed width;
    Fixed xMin, xMax;

    void Build(const LaneGroup& lanes, const HighwayGeometry& highway, const RacePlanner::Start& start,
               const std::vector<RacePlanner::Frame>& frames);
    // Where obstacle i stood when the glider was last drawn before frame j's
    // hit test.
    Vector3 PositionAt(const Item& item, size_t j, const std::vector<RacePlanner::Frame>& frames) const {
        if (item.shown >= static_cast<I32>(j) || j == 0) return item.now;
        return item.mine ? item.base : item.base + LaneGroup::BobOffset(item.spin, frames[j - 1].time, item.up);
    }
    // The glider's drawn position for frame j's hit test, or false.
    bool Drawn(size_t j, Fixed x, const RacePlanner::Start& start, Vector3& at) const {
        if (j == 0) {
            at = start.drawn;
            return true;
        }
        if (!placed[j - 1]) return false;
        at = LaneRules::GliderPoint(centre[j - 1], right[j - 1], x);
        return true;
    }
};

Vector3f ToFloat(const Vector3& v) { return {v.x.ToFloat(), v.y.ToFloat(), v.z.ToFloat()}; }

void Course::Build(const LaneGroup& lanes, const HighwayGeometry& highway, const RacePlanner::Start& start,
                   const std::vector<RacePlanner::Frame>& frames) {
    width = highway.GetWidth();
    xMin = LaneRules::TargetX(Fixed::FromInt(LaneRules::MinLane), width);
    xMax = LaneRules::TargetX(Fixed::FromInt(LaneRules::MaxLane), width);
    buckets.assign(static_cast<size_t>(std::max(lanes.GetBucketCount(), 0)), {});
    for (I32 s = 0; s < lanes.GetBucketCount(); ++s) {
        const auto& obstacles = lanes.GetObstacles(s);
        for (size_t k = 0; k < obstacles.size(); ++k) {
            const LookTransform* node = obstacles[k];
            Item item;
            item.second = s;
            item.index = static_cast<I32>(k);
            item.time = lanes.GetTimes(s)[k];
            item.spin = lanes.GetSpins(s)[k];
            item.base = node->GetTranslation();
            item.up = node->GetUp();
            item.now = node->GetWorldPosition();
            item.mine = lanes.IsMine(node);
            if (node->IsEnabled()) item.shown = -1;
            buckets[static_cast<size_t>(s)].push_back(static_cast<I32>(items.size()));
            items.push_back(item);
        }
    }

    const size_t n = frames.size();
    second.resize(n);
    centre.resize(n);
    right.resize(n);
    placed.assign(n, false);
    I32 current = lanes.GetCurrentSecond();
    for (size_t j = 0; j < n; ++j) {
        const Fixed t = frames[j].time;
        const I32 s = std::max(t.ToInt(), 0);
        second[j] = s;
        if (s != current) {
            current = s;
            LaneGroup::ShowOnChange(
                s,
                [this](I32 b) { return b >= 0 && b < static_cast<I32>(buckets.size()) ? static_cast<I32>(buckets[b].size()) : -1; },
                [this, j](I32 b, I32 count) {
                    const std::vector<I32>& bucket = buckets[static_cast<size_t>(b)];
                    for (I32 k = 0; k < count; ++k) {
                        Item& item = items[static_cast<size_t>(bucket[bucket.size() - 1 - static_cast<size_t>(k)])];
                        item.shown = std::min(item.shown, static_cast<I32>(j));
                    }
                });
        }
        Vector3 ride, c, up, r, c1, r1;
        placed[j] = highway.Eval(t, ride, c, up, r) && highway.Eval(t + PlaceAhead, ride, c1, up, r1);
        centre[j] = c;
        right[j] = r;
    }

    // Which frames may touch each obstacle: the glider's drawn positions
    // form a segment across the road; the nearest point of it decides.
    const F32 reach = LaneGroup::HitBound.ToFloat() + ReachMargin;
    for (size_t j = 0; j < n; ++j) {
        if (second[j] >= static_cast<I32>(buckets.size())) continue;
        Vector3f a, d;
        if (j == 0) {
            a = ToFloat(start.drawn);
            d = {0.0f, 0.0f, 0.0f};
        } else {
            if (!placed[j - 1]) continue;
            a = ToFloat(centre[j - 1]);
            d = ToFloat(right[j - 1]);
        }
        for (I32 id : buckets[static_cast<size_t>(second[j])]) {
            Item& item = items[static_cast<size_t>(id)];
            if (item.shown > static_cast<I32>(j)) continue;
            const Vector3f o = ToFloat(PositionAt(item, j, frames)) - a;
            const F32 dd = d.Dot(d);
            F32 x = dd > 0.0f ? o.Dot(d) / dd : 0.0f;
            x = std::max(xMin.ToFloat(), std::min(xMax.ToFloat(), x));
            const Vector3f gap = o - d * x;
            if (gap.Dot(gap) < reach) {
                item.open0 = std::min(item.open0, static_cast<I32>(j));
                item.open1 = std::max(item.open1, static_cast<I32>(j));
            }
        }
    }
}

// Open-addressing map from packed state keys to state indices.
class StateMap {
public:
    void Reset(size_t expected) {
        size_t size = 64;
        while (size < expected * 2) size <<= 1;
        if (m_Keys.size() != size) {
            m_Keys.assign(size, 0);
            m_Slots.assign(size, -1);
        } else {
            std::fill(m_Slots.begin(), m_Slots.end(), -1);
        }
        m_Mask = size - 1;
    }
    // The slot's state index (-1 when new; then the caller stores one).
    I32& Find(U64 key) {
        size_t h = static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> 20) & m_Mask;
        while (m_Slots[h] >= 0 && m_Keys[h] != key) h = (h + 1) & m_Mask;
        m_Keys[h] = key;
        return m_Slots[h];
    }

private:
    std::vector<U64> m_Keys;
    std::vector<I32> m_Slots;
    size_t m_Mask = 0;
};

struct State {
    I32 x;
    I8 lane;
    U8 cls;
    U32 mask;
    I64 value;
    U32 parent;
};
struct Step {
    U32 parent;
    I8 lane;
    U8 cls;
};

U64 KeyOf(I32 x, I32 lane, U8 cls, U32 mask) {
    return static_cast<U64>(static_cast<U32>(x >> XQuantum)) | (static_cast<U64>(lane + 2) << 32) | (static_cast<U64>(cls) << 35) |
           (static_cast<U64>(mask) << 38);
}

}  // namespace

std::vector<RacePlanner::Frame> RacePlanner::FixedSteps(U32 playMs, U32 stepMs, Fixed songLength, size_t maxFrames) {
    std::vector<Frame> frames;
    if (stepMs == 0) return frames;
    const Fixed delta = TicksToSeconds(stepMs);
    for (U64 k = 0; frames.size() < maxFrames; ++k) {
        const Fixed t = TicksToSeconds(playMs + k * stepMs);
        frames.push_back({t, delta});
        if (Race::ReachesEnd(t, songLength)) break;
    }
    return frames;
}

RacePlanner::Start RacePlanner::FromRace(const Race& race, U32 previous) {
    Start start;
    start.previous = previous & (LeftButtons | RightButtons);
    if (const Player* player = race.GetPlayer()) {
        start.x = player->m_X;
        start.lane = player->m_Lane;
        start.lateralSpeed = player->m_LateralSpeed;
        if (player->m_Root) start.drawn = player->m_Root->GetWorldPosition();
    }
    start.score = {race.m_Score, race.m_Energy, race.m_Streak};
    start.lastMiss = race.m_LastMissTime;
    start.perfectPicks = race.m_PerfectPicks;
    start.capsulesTaken = race.m_CapsulesTaken;
    start.minesHit = race.m_MinesHit;
    return start;
}

bool RacePlanner::Make(const LaneGroup& lanes, const HighwayGeometry& highway, const Start& start,
                       const std::vector<Frame>& frames, Plan& plan) {
    plan = Plan();
    if (frames.empty() || highway.GetEndTime() <= Fixed::Zero) return false;
    Course course;
    course.Build(lanes, highway, start, frames);
    const size_t n = frames.size();

    Fixed targets[5];
    for (I32 lane = LaneRules::MinLane; lane <= LaneRules::MaxLane; ++lane)
        targets[lane + 2] = LaneRules::TargetX(Fixed::FromInt(lane), course.width);

    // Obstacles within reach, per frame, in bucket order.
    std::vector<std::vector<I32>> openAt(n);
    for (size_t id = 0; id < course.items.size(); ++id) {
        const Item& item = course.items[id];
        for (I32 j = item.open0; j <= item.open1; ++j) openAt[static_cast<size_t>(j)].push_back(static_cast<I32>(id));
    }

    const I32 lane0 = Clamp(start.lane, Fixed::FromInt(LaneRules::MinLane), Fixed::FromInt(LaneRules::MaxLane)).m_Raw;
    std::vector<State> current{{start.x.m_Raw, static_cast<I8>((lane0 + 32768) >> 16), 2, 0u, 0, 0u}}, next;
    std::vector<std::vector<Step>> history(n);
    StateMap map;
    std::vector<I32> remap;
    std::vector<Vector3> positions;
    const std::vector<I32> none;
    for (size_t j = 0; j < n; ++j) {
        const std::vector<I32>& before = j > 0 ? openAt[j - 1] : none;
        std::vector<I32>& open = openAt[j];
        if (open.size() > static_cast<size_t>(MaxOpen)) {
            LogW() << "RacePlanner::Make: " << open.size() << " obstacles within reach at once, planning for "
                   << MaxOpen << ".";
            open.resize(static_cast<size_t>(MaxOpen));
        }
        remap.assign(before.size(), -1);
        for (size_t b = 0; b < before.size(); ++b)
            for (size_t c = 0; c < open.size(); ++c)
                if (open[c] == before[b]) remap[b] = static_cast<I32>(c);
        positions.clear();
        for (I32 id : open) positions.push_back(course.PositionAt(course.items[static_cast<size_t>(id)], j, frames));

        const Fixed step = start.lateralSpeed * frames[j].delta;
        map.Reset(current.size() * 3);
        next.clear();
        for (size_t s = 0; s < current.size(); ++s) {
            const State& from = current[s];
            U32 mask = 0;
            for (size_t b = 0; b < before.size(); ++b)
                if ((from.mask >> b & 1u) && remap[b] >= 0) mask |= 1u << remap[b];
            I64 value = from.value;
            Vector3 drawn;
            if (!open.empty() && course.Drawn(j, Fixed::FromRaw(from.x), start, drawn)) {
                Fixed nearest = LaneGroup::NearestBound;
                I32 hit = -1;
                for (size_t c = 0; c < open.size(); ++c) {
                    if (mask >> c & 1u) continue;
                    const Fixed d = LaneGroup::SquaredDistance(drawn, positions[c]);
                    if (d < nearest) {
                        nearest = d;
                        hit = static_cast<I32>(c);
                    }
                }
                if (hit >= 0 && nearest < LaneGroup::HitBound) {
                    mask |= 1u << hit;
                    const Item& item = course.items[static_cast<size_t>(open[static_cast<size_t>(hit)])];
                    if (item.mine)
                        value -= MineValue;
                    else
                        value += CapsuleValue - (j > 0 && frames[j - 1].time > item.time ? LateValue : 0);
                }
            }
            const U32 held = j == 0 ? start.previous : HeldOf(from.cls);
            for (I32 move = -2; move <= 2; ++move) {
                const I32 lane = from.lane + move;
                if (lane < LaneRules::MinLane || lane > LaneRules::MaxLane || !Allowed(move, held)) continue;
                const I32 x = LaneRules::Approach(Fixed::FromRaw(from.x), targets[lane + 2], step).m_Raw;
                const I64 v = value - (move != 0 ? 1 : 0);
                const U8 cls = ClassOf(move);
                I32& slot = map.Find(KeyOf(x, lane, cls, mask));
                if (slot < 0) {
                    slot = static_cast<I32>(next.size());
                    next.push_back({x, static_cast<I8>(lane), cls, mask, v, static_cast<U32>(s)});
                } else if (v > next[static_cast<size_t>(slot)].value) {
                    next[static_cast<size_t>(slot)].value = v;
                    next[static_cast<size_t>(slot)].parent = static_cast<U32>(s);
                }
            }
        }
        std::vector<Step>& steps = history[j];
        steps.reserve(next.size());
        for (const State& state : next) steps.push_back({state.parent, state.lane, state.cls});
        current.swap(next);
    }

    size_t best = 0;
    for (size_t s = 1; s < current.size(); ++s)
        if (current[s].value > current[best].value) best = s;
    std::vector<I32> moves(n);
    for (size_t j = n; j-- > 0;) {
        const Step& step = history[j][best];
        const I32 previousLane = j > 0 ? history[j - 1][step.parent].lane : current.empty() ? 0 : (lane0 + 32768) >> 16;
        moves[j] = step.lane - previousLane;
        best = step.parent;
    }
    std::vector<U32> buttons(n);
    U32 held = start.previous;
    for (size_t j = 0; j < n; ++j) held = buttons[j] = PressFor(moves[j], held);
    Replay(lanes, highway, start, frames, buttons, plan);
    return true;
}

void RacePlanner::Replay(const LaneGroup& lanes, const HighwayGeometry& highway, const Start& start,
                         const std::vector<Frame>& frames, const std::vector<U32>& buttons, Plan& plan) {
    Course course;
    course.Build(lanes, highway, start, frames);
    const size_t n = std::min(frames.size(), buttons.size());
    std::vector<bool> removed(course.items.size(), false);
    plan.buttons.assign(buttons.begin(), buttons.begin() + static_cast<std::ptrdiff_t>(n));
    plan.x.resize(n);
    plan.lane.resize(n);
    plan.capsulesTaken.resize(n);
    plan.minesHit.resize(n);
    plan.capsules = plan.mines = 0;

    LaneRules::Score score = start.score;
    Fixed lastMiss = start.lastMiss;
    Fixed x = start.x, lane = start.lane;
    U32 held = start.previous;
    for (size_t j = 0; j < n; ++j) {
        const U32 pressed = buttons[j] & ~held;
        held = buttons[j];
        lane = LaneRules::ClampLane(LaneRules::PressLanes(lane, pressed & Buttons::DPadLeft, pressed & Buttons::DPadA,
                                                          pressed & Buttons::DPadRight, pressed & Buttons::DPadB));
        const Fixed previousX = x;
        x = LaneRules::Approach(x, LaneRules::TargetX(lane, course.width), start.lateralSpeed * frames[j].delta);

        // The nearest shown obstacle of the current second, as FindNearest.
        const I32 s = course.second[j];
        Vector3 drawn;
        if (s < static_cast<I32>(course.buckets.size()) && course.Drawn(j, previousX, start, drawn)) {
            Fixed nearest = LaneGroup::NearestBound;
            I32 hit = -1;
            for (I32 id : course.buckets[static_cast<size_t>(s)]) {
                const Item& item = course.items[static_cast<size_t>(id)];
                if (removed[static_cast<size_t>(id)] || item.shown > static_cast<I32>(j)) continue;
                const Fixed d = LaneGroup::SquaredDistance(drawn, course.PositionAt(item, j, frames));
                if (d < nearest) {
                    nearest = d;
                    hit = id;
                }
            }
            if (hit >= 0 && nearest < LaneGroup::HitBound) {
                removed[static_cast<size_t>(hit)] = true;
                const bool mine = course.items[static_cast<size_t>(hit)].mine;
                (mine ? plan.mines : plan.capsules) += 1;
                LaneRules::ApplyTouch(score, mine ? LaneRules::Touch::Mine : LaneRules::Touch::Capsule,
                                      start.perfectPicks);
            }
        }
        // A capsule passed by breaks the streak, as LatestCapsuleBefore finds it.
        const I32 missSecond = static_cast<I16>(frames[j].time.ToInt());
        if (missSecond >= 0 && missSecond < static_cast<I32>(course.buckets.size())) {
            const std::vector<I32>& bucket = course.buckets[static_cast<size_t>(missSecond)];
            Fixed missed = Fixed::Zero;
            for (size_t k = bucket.size(); k-- > 0;) {
                const Item& item = course.items[static_cast<size_t>(bucket[k])];
                if (!removed[static_cast<size_t>(bucket[k])] && item.time < frames[j].time &&
                    item.shown <= static_cast<I32>(j) && !item.mine) {
                    missed = item.time;
                    break;
                }
            }
            if (LaneRules::BreaksStreak(missed, lastMiss)) score.streak = 0;
        }
        plan.x[j] = x;
        plan.lane[j] = static_cast<I8>(lane.ToInt());
        plan.capsulesTaken[j] = start.capsulesTaken + plan.capsules;
        plan.minesHit[j] = start.minesHit + plan.mines;
    }
    plan.score = score.points;
}
