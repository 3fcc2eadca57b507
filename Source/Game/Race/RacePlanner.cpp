#include "Race/RacePlanner.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <unordered_map>

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
    CoursePoint base, now;
    Vector3 up;
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
    std::vector<CoursePoint> centre;
    std::vector<Vector3> right;
    std::vector<bool> placed;
    Fixed width;
    Fixed xMin, xMax;

    void Build(const LaneGroup& lanes, const HighwayGeometry& highway, const RacePlanner::Start& start,
               const std::vector<RacePlanner::Frame>& frames);
    // Where obstacle i stood when the glider was last drawn before frame j's
    // hit test.
    CoursePoint PositionAt(const Item& item, size_t j, const std::vector<RacePlanner::Frame>& frames) const {
        if (item.shown >= static_cast<I32>(j) || j == 0) return item.now;
        return item.mine ? item.base : item.base + LaneGroup::BobOffset(item.spin, frames[j - 1].time, item.up);
    }
    // The glider's drawn position for frame j's hit test, or false.
    bool Drawn(size_t j, Fixed x, const RacePlanner::Start& start, CoursePoint& at) const {
        if (j == 0) {
            at = start.drawn;
            return true;
        }
        if (!placed[j - 1]) return false;
        at = centre[j - 1] + right[j - 1] * x;  // LaneRules::GliderPoint on the course
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
            item.base = lanes.GetPlaces(s)[k].at;
            item.up = node->GetUp();
            item.now = CoursePoint::Of(node->GetWorldPosition()) + highway.GetOrigin();
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
        CoursePoint ride, c, c1;
        Vector3 up, r, r1;
        placed[j] = highway.EvalCourse(t, ride, c, up, r) && highway.EvalCourse(t + PlaceAhead, ride, c1, up, r1);
        centre[j] = c;
        right[j] = r;
    }

    // Which frames may touch each obstacle: the glider's drawn positions
    // form a segment across the road; the nearest point of it decides.
    const F32 reach = LaneGroup::HitBound.ToFloat() + ReachMargin;
    for (size_t j = 0; j < n; ++j) {
        if (second[j] > static_cast<I32>(buckets.size())) continue;
        CoursePoint a;
        Vector3f d;
        if (j == 0) {
            a = start.drawn;
            d = {0.0f, 0.0f, 0.0f};
        } else {
            if (!placed[j - 1]) continue;
            a = centre[j - 1];
            d = ToFloat(right[j - 1]);
        }
        for (I32 b = second[j] - 1; b <= second[j]; ++b) {
            if (b < 0 || b >= static_cast<I32>(buckets.size())) continue;
            for (I32 id : buckets[static_cast<size_t>(b)]) {
                Item& item = items[static_cast<size_t>(id)];
                if (item.shown > static_cast<I32>(j)) continue;
                const Vector3f o = PositionAt(item, j, frames).FloatFrom(a);
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
}

// Open-addressing map from packed state keys to state indices.
class StateMap {
public:
    // A key's state index (-1 when the key is new: then the caller stores an
    // index, or -2 for a key that arrived but holds no state yet) and the
    // first arrival at it, which the caller keeps.
    struct Entry {
        I32 slot;
        U32 first;
    };
    void Reset(size_t expected) {
        size_t size = 64;
        while (size < expected * 2) size <<= 1;
        if (m_Keys.size() != size) {
            m_Keys.assign(size, 0);
            m_Entries.assign(size, {-1, 0});
        } else {
            std::fill(m_Entries.begin(), m_Entries.end(), Entry{-1, 0});
        }
        m_Mask = size - 1;
    }
    Entry& Find(U64 key) {
        size_t h = Hash(key);
        while (m_Entries[h].slot != -1 && m_Keys[h] != key) h = (h + 1) & m_Mask;
        m_Keys[h] = key;
        return m_Entries[h];
    }
    // The key's state index, -1 when it holds none; adds nothing.
    I32 Peek(U64 key) const {
        for (size_t h = Hash(key); m_Entries[h].slot != -1; h = (h + 1) & m_Mask)
            if (m_Keys[h] == key) return m_Entries[h].slot < 0 ? -1 : m_Entries[h].slot;
        return -1;
    }
    static U64 Key(I32 group, U32 mask) { return static_cast<U64>(static_cast<U32>(group)) | static_cast<U64>(mask) << 32; }

private:
    size_t Hash(U64 key) const { return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> 20) & m_Mask; }

    std::vector<U64> m_Keys;
    std::vector<Entry> m_Entries;
    size_t m_Mask = 0;
};

// A glider state apart from the obstacles it touched: its exact offset,
// target lane and buttons class. Bases are shared by all frames, and so are
// their moves while the frame delta stays the same (it does on a fixed-step
// clock), which makes a frame's step mostly table look-ups.
struct Base {
    I32 x;
    I8 lane;
    U8 cls;
    I32 group;          // bases of one quantised offset, lane and class
    bool ready;         // next and nextGroup hold for the current step
    I32 next[5];        // the base after each move, -1 not allowed
    I32 nextGroup[5];
    I32 dominators[2];  // groups that may dominate this one, -2 not known
    I32 searched;       // the number of groups when they were looked for
    I32 nextPlain[5];   // the group of no buttons held where each move lands, -1 none
    I32 plainSearched;  // the number of groups when those were looked for
};

class Bases {
public:
    I32 Get(I32 x, I32 lane, U8 cls) {
        const auto found = m_Exact.emplace(ExactKey(x, lane, cls), static_cast<I32>(m_List.size()));
        if (found.second) {
            const auto group = m_Groups.emplace(GroupKey(x, lane, cls), m_GroupCount);
            if (group.second) ++m_GroupCount;
            m_List.push_back({x, static_cast<I8>(lane), cls, group.first->second, false, {}, {}, {-2, -2}, -1, {}, -1});
        }
        return found.first->second;
    }
    const Base& operator[](I32 id) const { return m_List[static_cast<size_t>(id)]; }
    I32 GroupCount() const { return m_GroupCount; }

    // The base after a move from this one when the buttons held before were
    // held (-1 when the move is not allowed).
    I32 Move(I32 id, I32 move, U32 held, I32 step, const Fixed targets[5]) {
        const Base& base = m_List[static_cast<size_t>(id)];
        const I32 lane = base.lane + move;
        if (lane < LaneRules::MinLane || lane > LaneRules::MaxLane || !Allowed(move, held)) return -1;
        const I32 x = LaneRules::Approach(Fixed::FromRaw(base.x), targets[lane + 2], Fixed::FromRaw(step)).m_Raw;
        return Get(x, lane, ClassOf(move));
    }
    // The moves of every base below stand for frames of this step length.
    void SetStep(I32 step) {
        if (step == m_Step) return;
        for (Base& base : m_List) base.ready = false;
        m_Step = step;
    }
    // The base with its moves (after the buttons its class stands for held)
    // worked out; the reference lasts until the next call.
    const Base& Prepared(I32 id, const Fixed targets[5]) {
        if (!m_List[static_cast<size_t>(id)].ready) {
            const U32 held = HeldOf(m_List[static_cast<size_t>(id)].cls);
            I32 next[5], groups[5];
            for (I32 move = -2; move <= 2; ++move) {
                next[move + 2] = Move(id, move, held, m_Step, targets);
                groups[move + 2] = next[move + 2] >= 0 ? m_List[static_cast<size_t>(next[move + 2])].group : -1;
            }
            Base& base = m_List[static_cast<size_t>(id)];
            std::copy(next, next + 5, base.next);
            std::copy(groups, groups + 5, base.nextGroup);
            base.ready = true;
            base.plainSearched = -1;
        }
        return m_List[static_cast<size_t>(id)];
    }
    // For a prepared base: per move, the group of no buttons held at the
    // offset and lane the move lands on (-1 where there is none yet).
    const I32* NextPlain(I32 id) {
        Base& base = m_List[static_cast<size_t>(id)];
        if (base.plainSearched == m_GroupCount) return base.nextPlain;
        // A group once found stays; those not found are looked for again.
        const bool fresh = base.plainSearched < 0;
        base.plainSearched = m_GroupCount;
        for (I32 m = 0; m < 5; ++m) {
            const I32 to = base.next[m];
            if (fresh) base.nextPlain[m] = -1;
            if (to >= 0 && base.nextPlain[m] < 0)
                base.nextPlain[m] = FindGroup(m_List[static_cast<size_t>(to)].x, m_List[static_cast<size_t>(to)].lane, 2);
        }
        return base.nextPlain;
    }
    // The groups of the same offset and lane whose class allows every move
    // this one's allows: no buttons held, and one button where this holds
    // two. -1 where there is none (yet).
    const I32* Dominators(I32 id) {
        Base& base = m_List[static_cast<size_t>(id)];
        // Groups looked for in vain are looked for again once there are new
        // groups.
        if (base.searched == m_GroupCount) return base.dominators;
        base.searched = m_GroupCount;
        if (base.dominators[0] < 0) base.dominators[0] = FindGroup(base.x, base.lane, 2);
        if (base.dominators[1] == -2 || base.dominators[1] == -1) {
            const bool two = base.cls == 0 || base.cls == 4;
            base.dominators[1] = two ? FindGroup(base.x, base.lane, base.cls == 0 ? 1 : 3) : -3;
        }
        return base.dominators;
    }

private:
    static U64 ExactKey(I32 x, I32 lane, U8 cls) {
        return static_cast<U64>(static_cast<U32>(x)) | (static_cast<U64>(lane + 2) << 32) | (static_cast<U64>(cls) << 35);
    }
    static U64 GroupKey(I32 x, I32 lane, U8 cls) { return ExactKey(x >> XQuantum, lane, cls); }
    I32 FindGroup(I32 x, I32 lane, U8 cls) const {
        const auto found = m_Groups.find(GroupKey(x, lane, cls));
        return found == m_Groups.end() ? -1 : found->second;
    }

    std::vector<Base> m_List;
    std::unordered_map<U64, I32> m_Exact, m_Groups;
    I32 m_GroupCount = 0;
    I32 m_Step = INT_MIN;
};

// The runs' states frame by frame, as bases and their parents' indices in
// the frame before. Every while, the frame where all runs still alive last
// passed through one state is found: the lane moves up to it are fixed and
// the frames before it forgotten, so memory holds a window of frames rather
// than the whole song.
class History {
public:
    History(size_t frames, I32 startLane) : m_Block(frames, 0), m_Moves(frames, 0), m_AnchorLane(startLane) {}

    void Begin(size_t j) { m_Block[j] = m_Dropped + m_Base.size(); }
    void Add(I32 base, U32 parent) {
        m_Base.push_back(base);
        m_Parent.push_back(parent);
    }
    // Frame j (begun, its states added) is the same as the frame before.
    void Repeat(size_t j) {
        m_Base.resize(m_Block[j] - m_Dropped);
        m_Parent.resize(m_Base.size());
        m_Block[j] = m_Block[j - 1];
    }
    // After frame j, which holds count states.
    void Merge(size_t j, size_t count, const Bases& bases) {
        if (static_cast<I64>(j) - m_Checked < MergeInterval) return;
        m_Checked = static_cast<I64>(j);
        m_Set.resize(count);
        for (size_t k = 0; k < count; ++k) m_Set[k] = static_cast<U32>(k);
        size_t f = j;
        while (m_Set.size() > 1 && static_cast<I64>(f) > m_Anchor + 1) {
            ++m_Stamp;
            m_Next.clear();
            for (U32 k : m_Set) {
                const U32 parent = m_Parent[Index(f, k)];
                if (parent >= m_Mark.size()) m_Mark.resize(parent + 1, 0);
                if (m_Mark[parent] == m_Stamp) continue;
                m_Mark[parent] = m_Stamp;
                m_Next.push_back(parent);
            }
            m_Set.swap(m_Next);
            --f;
        }
        if (m_Set.size() != 1) return;
        const U32 state = m_Set[0];
        const I32 lane = bases[m_Base[Index(f, state)]].lane;
        Trace(f, state, bases);
        m_Anchor = static_cast<I64>(f);
        m_AnchorLane = lane;
        const size_t keep = m_Block[f] - m_Dropped;
        m_Base.erase(m_Base.begin(), m_Base.begin() + static_cast<std::ptrdiff_t>(keep));
        m_Parent.erase(m_Parent.begin(), m_Parent.begin() + static_cast<std::ptrdiff_t>(keep));
        m_Dropped = m_Block[f];
    }
    // The lane moves of the run that ends in this state of the last frame.
    const std::vector<I32>& Moves(size_t last, U32 state, const Bases& bases) {
        Trace(last, state, bases);
        return m_Moves;
    }

private:
    static const I64 MergeInterval = 512;

    size_t Index(size_t frame, U32 state) const { return m_Block[frame] - m_Dropped + state; }
    // Fixes the moves of the frames after the anchor up to frame f along the
    // run through the state of frame f.
    void Trace(size_t f, U32 state, const Bases& bases) {
        for (I64 g = static_cast<I64>(f); g > m_Anchor; --g) {
            const size_t at = Index(static_cast<size_t>(g), state);
            const U32 parent = m_Parent[at];
            const I32 previousLane =
                g - 1 > m_Anchor ? bases[m_Base[Index(static_cast<size_t>(g - 1), parent)]].lane : m_AnchorLane;
            m_Moves[static_cast<size_t>(g)] = bases[m_Base[at]].lane - previousLane;
            state = parent;
        }
    }

    std::vector<size_t> m_Block;  // where each frame's states start, counting forgotten ones
    std::vector<I32> m_Base;
    std::vector<U32> m_Parent;
    size_t m_Dropped = 0;
    std::vector<I32> m_Moves;
    I64 m_Anchor = -1;  // the frame all runs pass through (-1: the start)
    I32 m_AnchorLane;
    I64 m_Checked = 0;
    std::vector<U32> m_Set, m_Next, m_Mark;
    U32 m_Stamp = 0;
};

struct State {
    I32 base;
    U32 mask;
    I64 value;
    U32 parent;
};

}  // namespace

std::vector<RacePlanner::Frame> RacePlanner::FixedSteps(U32 playMs, U32 stepMs, Fixed songLength, size_t maxFrames,
                                                       U32 deltaMs) {
    std::vector<Frame> frames;
    if (stepMs == 0) return frames;
    const Fixed delta = TicksToSeconds(deltaMs > 0 ? deltaMs : stepMs);
    Fixed before = TicksToSeconds(playMs >= stepMs ? playMs - stepMs : 0);
    for (U64 k = 0; frames.size() < maxFrames; ++k) {
        const Fixed t = TicksToSeconds(playMs + k * stepMs);
        // A long frame is raced in parts, each with its own hit test.
        const I32 parts = LaneRules::HitSteps(t - before);
        for (I32 i = 1; i <= parts && frames.size() < maxFrames; ++i)
            frames.push_back({LaneRules::HitStepTime(before, t, i, parts), LaneRules::HitStepDelta(delta, i, parts)});
        before = t;
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
        if (player->m_Root) {
            start.drawn = CoursePoint::Of(player->m_Root->GetWorldPosition());
            if (race.GetAudioTrack() && race.GetAudioTrack()->GetHighway())
                start.drawn = start.drawn + race.GetAudioTrack()->GetHighway()->GetOrigin();
        }
    }
    start.score = {race.m_Score, race.m_Energy, race.m_Streak};
    start.lastMiss = race.m_LastMissTime;
    start.perfectPicks = race.m_PerfectPicks;
    start.capsulesTaken = race.m_CapsulesTaken;
    start.minesHit = race.m_MinesHit;
    return start;
}

static void ReplayCourse(const Course& course, const RacePlanner::Start& start,
                         const std::vector<RacePlanner::Frame>& frames, const std::vector<U32>& buttons,
                         RacePlanner::Plan& plan);

// The search's state between slices of work.
struct RacePlanner::Job::Search {
    Course course;
    Start start;
    std::vector<Frame> frames;
    size_t n = 0, j = 0;
    Fixed targets[5];
    std::vector<std::vector<I32>> openAt;
    Bases bases;
    std::vector<State> current, next, previous;
    History history{0, 0};
    StateMap map;
    // Frames without obstacles in reach have no masks: states are found by
    // group in a table stamped with the frame.
    struct Cell {
        size_t stamp = SIZE_MAX;
        StateMap::Entry entry = {-1, 0};
    };
    std::vector<Cell> cells;
    std::vector<U32> firsts, pressed;
    void StepGap();
    void StepMasked(const std::vector<I32>& before, const std::vector<I32>& open);
    template <typename EntryOf, typename SlotOf>
    void TwoPasses(EntryOf entryOf, SlotOf slotOf);
    template <typename SlotOf>
    void KeepInOrder(size_t plain, size_t made, SlotOf slotOf);
    void Touch(const State& from, const std::vector<I32>& before, const std::vector<I32>& open, bool masked, U32& mask,
               I64& value) const;
    std::vector<U32> masks;
    std::vector<I64> values;
    std::vector<I32> remap;
    std::vector<CoursePoint> positions;
    const std::vector<I32> none;
    I32 lastStep = INT_MIN;
    bool settled = false;

    // Frames j .. up to the budget; true once the last is done.
    bool Run(U64 untilMicroseconds);
    void Finish(Plan& plan);
};

RacePlanner::Job::Job() {}
RacePlanner::Job::~Job() {}

bool RacePlanner::Job::Begin(const LaneGroup& lanes, const HighwayGeometry& highway, const Start& start,
                             std::vector<Frame> frames) {
    m_Plan = Plan();
    m_Search.reset();
    m_Done = true;
    if (frames.empty() || highway.GetEndTime() <= Fixed::Zero) return false;
    m_Search.reset(new Search());
    Search& q = *m_Search;
    q.start = start;
    q.frames = std::move(frames);
    q.course.Build(lanes, highway, start, q.frames);
    q.n = q.frames.size();
    for (I32 lane = LaneRules::MinLane; lane <= LaneRules::MaxLane; ++lane)
        q.targets[lane + 2] = LaneRules::TargetX(Fixed::FromInt(lane), q.course.width);

    // Obstacles within reach, per frame, in bucket order.
    q.openAt.resize(q.n);
    for (size_t id = 0; id < q.course.items.size(); ++id) {
        const Item& item = q.course.items[id];
        for (I32 j = item.open0; j <= item.open1; ++j) q.openAt[static_cast<size_t>(j)].push_back(static_cast<I32>(id));
    }

    const I32 lane0 = Clamp(start.lane, Fixed::FromInt(LaneRules::MinLane), Fixed::FromInt(LaneRules::MaxLane)).m_Raw;
    const I32 startLane = (lane0 + 32768) >> 16;
    q.current = {{q.bases.Get(start.x.m_Raw, startLane, 2), 0u, 0, 0u}};
    // A frame that repeats the one before (no obstacle near, every state's
    // value settled) shares its states.
    q.history = History(q.n, startLane);
    m_Done = false;
    return true;
}

bool RacePlanner::Job::Run(U64 untilMicroseconds) {
    if (m_Done) return true;
    if (!m_Search->Run(untilMicroseconds)) return false;
    m_Search->Finish(m_Plan);
    m_Search.reset();
    m_Done = true;
    return true;
}

bool RacePlanner::Job::Search::Run(U64 untilMicroseconds) {
    const size_t n = this->n;
    // Every slice does some frames, however late it starts.
    for (size_t done = 0; j < n; ++j, ++done) {
        if (done > 0 && (done & 255) == 0 && untilMicroseconds != UINT64_MAX &&
            System::GetWorkMicroseconds() >= untilMicroseconds)
            return false;
        const std::vector<I32>& before = j > 0 ? openAt[j - 1] : none;
        std::vector<I32>& open = openAt[j];
        const I32 step = (start.lateralSpeed * frames[j].delta).m_Raw;
        const bool masked = !open.empty();
        if (settled && !masked && before.empty() && step == lastStep) {
            history.Begin(j);
            history.Repeat(j);
            continue;
        }
        lastStep = step;
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

        if (masked) map.Reset(current.size() * 3);
        bases.SetStep(step);
        const auto slotOf = [&](I32 group, U32 mask) -> I32& {
            if (masked) return map.Find(StateMap::Key(group, mask)).slot;
            Cell& cell = cells[static_cast<size_t>(group)];
            if (cell.stamp != j) {
                cell.stamp = j;
                cell.entry = {-1, 0};
            }
            return cell.entry.slot;
        };
        if (j > 0 && masked) {
            StepMasked(before, open);
        } else if (j > 0) {
            StepGap();
        } else {
        next.clear();
        next.reserve(current.size() * 5);
        for (size_t s = 0; s < current.size(); ++s) {
            const State& from = current[s];
            U32 mask;
            I64 value;
            Touch(from, before, open, masked, mask, value);
            for (I32 move = -2; move <= 2; ++move) {
                const I32 to = j == 0 ? bases.Move(from.base, move, start.previous, step, targets)
                                      : bases.Prepared(from.base, targets).next[move + 2];
                if (to < 0) continue;
                const I64 v = value - (move != 0 ? 1 : 0);
                if (cells.size() < static_cast<size_t>(bases.GroupCount())) cells.resize(2 * static_cast<size_t>(bases.GroupCount()));
                I32& slot = slotOf(bases[to].group, mask);
                if (slot < 0) {
                    slot = static_cast<I32>(next.size());
                    next.push_back({to, mask, v, static_cast<U32>(s)});
                } else if (v > next[static_cast<size_t>(slot)].value) {
                    next[static_cast<size_t>(slot)] = {to, mask, v, static_cast<U32>(s)};
                }
            }
        }
        // A state is dropped when one of the same offset, lane and touched
        // obstacles is worth as much and may press everything it may.
        history.Begin(j);
        previous.swap(current);
        current.clear();
        for (const State& state : next) {
            if (bases[state.base].cls != 2) {
                const I32* dominators = bases.Dominators(state.base);
                bool dominated = false;
                for (I32 k = 0; k < 2 && !dominated; ++k) {
                    if (dominators[k] < 0) continue;
                    const I32 slot = slotOf(dominators[k], state.mask);
                    dominated = slot >= 0 && next[static_cast<size_t>(slot)].value >= state.value;
                }
                if (dominated) continue;
            }
            current.push_back(state);
            history.Add(state.base, state.parent);
        }
        }
        // Unchanged from the frame before with nothing near: the frames to
        // come repeat it until an obstacle comes within reach.
        settled = !masked && before.empty() && j > 0 && current.size() == previous.size();
        for (size_t k = 0; settled && k < current.size(); ++k)
            settled = current[k].base == previous[k].base && current[k].value == previous[k].value &&
                      current[k].parent == previous[k].parent;
        if (settled)
            history.Repeat(j);
        else
            history.Merge(j, current.size(), bases);
        }
    return true;
}

// The obstacles a state has touched as of frame j (bits of open) and its
// value once the nearest one in reach, if any, is touched in this frame.
void RacePlanner::Job::Search::Touch(const State& from, const std::vector<I32>& before, const std::vector<I32>& open,
                                     bool masked, U32& mask, I64& value) const {
    mask = 0;
    for (size_t b = 0; b < before.size(); ++b)
        if ((from.mask >> b & 1u) && remap[b] >= 0) mask |= 1u << remap[b];
    value = from.value;
    CoursePoint drawn;
    if (!masked || !course.Drawn(j, Fixed::FromRaw(bases[from.base].x), start, drawn)) return;
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
    if (hit < 0 || nearest >= LaneGroup::HitBound) return;
    mask |= 1u << hit;
    const Item& item = course.items[static_cast<size_t>(open[static_cast<size_t>(hit)])];
    if (item.mine)
        value -= MineValue;
    else
        value += CapsuleValue - (j > 0 && frames[j - 1].time > item.time ? LateValue : 0);
}

// A frame with nothing within reach: the moves alone, the states found by
// group in a table stamped with the frame.
void RacePlanner::Job::Search::StepGap() {
    const size_t count = current.size();
    masks.assign(count, 0u);
    values.resize(count);
    for (size_t s = 0; s < count; ++s) {
        bases.Prepared(current[s].base, targets);
        values[s] = current[s].value;
    }
    if (cells.size() < static_cast<size_t>(bases.GroupCount())) cells.resize(2 * static_cast<size_t>(bases.GroupCount()));
    // The table stays where it is from here on: a plain pointer, which the
    // compiler need not reload after every store.
    Cell* cell = cells.data();
    const size_t frame = j;
    TwoPasses(
        [cell, frame](I32 group, U32) -> StateMap::Entry& {
            Cell& c = cell[group];
            if (c.stamp != frame) {
                c.stamp = frame;
                c.entry = {-1, 0};
            }
            return c.entry;
        },
        [cell, frame](I32 group, U32) {
            const Cell& c = cell[group];
            return c.stamp == frame && c.entry.slot >= 0 ? c.entry.slot : -1;
        });
}

// A frame with obstacles within reach: the states found by group and
// touched obstacles.
void RacePlanner::Job::Search::StepMasked(const std::vector<I32>& before, const std::vector<I32>& open) {
    const size_t count = current.size();
    masks.resize(count);
    values.resize(count);
    for (size_t s = 0; s < count; ++s) {
        bases.Prepared(current[s].base, targets);
        Touch(current[s], before, open, true, masks[s], values[s]);
    }
    TwoPasses([this](I32 group, U32 mask) -> StateMap::Entry& { return map.Find(StateMap::Key(group, mask)); },
              [this](I32 group, U32 mask) { return map.Peek(StateMap::Key(group, mask)); });
}

// The moves of a frame after the first, from the current states (prepared,
// with their touched obstacles and values in masks and values). Most
// presses land where a state that pressed nothing is worth at least as much,
// and would be dropped after the frame; so the moves without a press go
// first, and such presses are dropped as they come. The states then follow
// in the order of their keys' first arrivals, the moves of each state in
// turn, which is the order a single pass over the moves gives them.
// entryOf(group, mask) is the key's entry (slot -1 when new this frame);
// slotOf(group, mask) its state's index, or -1, adding nothing.
template <typename EntryOf, typename SlotOf>
void RacePlanner::Job::Search::TwoPasses(EntryOf entryOf, SlotOf slotOf) {
    const size_t count = current.size();
    next.resize(count * 5);
    firsts.resize(count * 5);
    State* out = next.data();
    U32* first = firsts.data();
    size_t made = 0;
    for (size_t s = 0; s < count; ++s) {
        const Base& base = bases[current[s].base];
        StateMap::Entry& e = entryOf(base.nextGroup[2], masks[s]);
        const State arrival = {base.next[2], masks[s], values[s], static_cast<U32>(s)};
        if (e.slot < 0) {
            e.slot = static_cast<I32>(made);
            first[made] = static_cast<U32>(s * 5 + 2);
            out[made++] = arrival;
        } else if (arrival.value > out[e.slot].value) {
            out[e.slot] = arrival;
        }
    }
    const size_t still = made;
    static const I32 presses[4] = {0, 1, 3, 4};
    for (size_t s = 0; s < count; ++s) {
        const I32* plain = bases.NextPlain(current[s].base);
        const Base& base = bases[current[s].base];
        const U32 mask = masks[s];
        const I64 v = values[s] - 1;
        for (I32 m : presses) {
            const I32 to = base.next[m];
            if (to < 0) continue;
            StateMap::Entry& e = entryOf(base.nextGroup[m], mask);
            if (e.slot == -1) {
                e.slot = -2;
                e.first = static_cast<U32>(s * 5 + static_cast<size_t>(m));
            }
            if (e.slot >= 0) {
                if (v > out[e.slot].value) out[e.slot] = {to, mask, v, static_cast<U32>(s)};
                continue;
            }
            if (plain[m] >= 0) {
                const I32 other = slotOf(plain[m], mask);
                if (other >= 0 && out[other].value >= v) continue;
            }
            e.slot = static_cast<I32>(made);
            first[made] = e.first;
            out[made++] = {to, mask, v, static_cast<U32>(s)};
        }
    }
    KeepInOrder(still, made, slotOf);
}

// After the two passes, next holds the states without a press (up to plain)
// and then the presses (up to made), each with its first arrival. The
// presses that a state with fewer buttons held is worth as much as are
// dropped; the rest join in the order of the first arrivals.
template <typename SlotOf>
void RacePlanner::Job::Search::KeepInOrder(size_t plain, size_t made, SlotOf slotOf) {
    const State* out = next.data();
    const U32* first = firsts.data();
    pressed.clear();
    for (size_t k = plain; k < made; ++k) {
        const I32* dominators = bases.Dominators(out[k].base);
        bool dominated = false;
        for (I32 d = 0; d < 2 && !dominated; ++d) {
            if (dominators[d] < 0) continue;
            const I32 other = slotOf(dominators[d], out[k].mask);
            dominated = other >= 0 && out[other].value >= out[k].value;
        }
        if (dominated) continue;
        size_t at = pressed.size();
        pressed.push_back(static_cast<U32>(k));
        for (; at > 0 && first[pressed[at - 1]] > first[k]; --at) pressed[at] = pressed[at - 1];
        pressed[at] = static_cast<U32>(k);
    }
    history.Begin(j);
    previous.swap(current);
    current.resize(plain + pressed.size());
    State* kept = current.data();
    size_t a = 0, b = 0;
    for (size_t k = 0; k < current.size(); ++k) {
        const bool plainFirst = b == pressed.size() || (a < plain && first[a] < first[pressed[b]]);
        kept[k] = out[plainFirst ? a++ : pressed[b++]];
        history.Add(kept[k].base, kept[k].parent);
    }
}

void RacePlanner::Job::Search::Finish(Plan& plan) {
    size_t best = 0;
    for (size_t s = 1; s < current.size(); ++s)
        if (current[s].value > current[best].value) best = s;
    const std::vector<I32>& moves = history.Moves(n - 1, static_cast<U32>(best), bases);
    std::vector<U32> buttons(n);
    U32 held = start.previous;
    for (size_t j = 0; j < n; ++j) held = buttons[j] = PressFor(moves[j], held);
    ReplayCourse(course, start, frames, buttons, plan);
}


bool RacePlanner::Make(const LaneGroup& lanes, const HighwayGeometry& highway, const Start& start,
                       const std::vector<Frame>& frames, Plan& plan) {
    Job job;
    const bool made = job.Begin(lanes, highway, start, frames) && job.Run(UINT64_MAX);
    plan = job.GetPlan();
    return made;
}

void RacePlanner::Replay(const LaneGroup& lanes, const HighwayGeometry& highway, const Start& start,
                         const std::vector<Frame>& frames, const std::vector<U32>& buttons, Plan& plan) {
    Course course;
    course.Build(lanes, highway, start, frames);
    ReplayCourse(course, start, frames, buttons, plan);
}

static void ReplayCourse(const Course& course, const RacePlanner::Start& start,
                         const std::vector<RacePlanner::Frame>& frames, const std::vector<U32>& buttons,
                         RacePlanner::Plan& plan) {
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

        // The nearest shown obstacle of the current or the previous second,
        // as FindNearest.
        const I32 s = course.second[j];
        CoursePoint drawn;
        if (s <= static_cast<I32>(course.buckets.size()) && course.Drawn(j, previousX, start, drawn)) {
            Fixed nearest = LaneGroup::NearestBound;
            I32 hit = -1;
            for (I32 b = s - 1; b <= s; ++b) {
                if (b < 0 || b >= static_cast<I32>(course.buckets.size())) continue;
                for (I32 id : course.buckets[static_cast<size_t>(b)]) {
                    const Item& item = course.items[static_cast<size_t>(id)];
                    if (removed[static_cast<size_t>(id)] || item.shown > static_cast<I32>(j)) continue;
                    const Fixed d = LaneGroup::SquaredDistance(drawn, course.PositionAt(item, j, frames));
                    if (d < nearest) {
                        nearest = d;
                        hit = id;
                    }
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
