// The glider's lane rules and the race's scoring rule, as the race applies
// them every frame and the race planner replays them: one definition for
// both, so a plan is exact for the game's real rules.
//
// Lanes are whole steering targets -2 .. 2; the glider's sideways offset x
// slides towards its lane's offset at the player's lateral speed. The hit
// rule itself (the nearest shown obstacle, squared distances) lives in
// LaneGroup.
#pragma once

#include "Core/Types.h"
#include "Math/Fixed.h"
#include "Math/Vector3.h"

namespace LaneRules {

constexpr Meridian::I32 MinLane = -2;
constexpr Meridian::I32 MaxLane = 2;

// Moves value towards target by at most step, never past it.
Meridian::Fixed Approach(Meridian::Fixed value, Meridian::Fixed target, Meridian::Fixed step);

// The sideways offset the glider steers for at a target of lane lanes on a
// road this wide (0, ±4 and ±7 on a road of width 10).
Meridian::Fixed TargetX(Meridian::Fixed lane, Meridian::Fixed width);

// The target after this frame's lane presses (before the clamp to
// MinLane .. MaxLane): the left buttons win over the right ones, each
// pressed button moves one lane, from the target snapped to a whole lane.
Meridian::Fixed PressLanes(Meridian::Fixed lane, bool left, bool a, bool right, bool b);
Meridian::Fixed ClampLane(Meridian::Fixed lane);

// A frame whose play time advances more than MaxHitStep (20 ms) is raced in
// HitSteps equal parts, each with its own hit test, so that no obstacle slips
// past between two tests when frames are slow or the music runs fast. Part
// k of parts (1 .. parts) ends at HitStepTime of the frame's advance from
// `from` to `to`, and the frame's delta is shared out the same way.
extern const Meridian::Fixed MaxHitStep;
constexpr Meridian::I32 MaxHitSteps = 64;
Meridian::I32 HitSteps(Meridian::Fixed advance);
Meridian::Fixed HitStepTime(Meridian::Fixed from, Meridian::Fixed to, Meridian::I32 k, Meridian::I32 parts);
// Part k's share of the frame's delta (the shares add up to the delta).
Meridian::Fixed HitStepDelta(Meridian::Fixed delta, Meridian::I32 k, Meridian::I32 parts);

// Where the glider stands: the road's centre point moved x along its right
// vector.
Meridian::Vector3 GliderPoint(const Meridian::Vector3& centre, const Meridian::Vector3& right, Meridian::Fixed x);

// The race's score, energy bar (0 .. 5) and streak of capsules.
struct Score {
    Meridian::I32 points = 0;
    Meridian::I32 energy = 0;
    Meridian::I32 streak = 0;
};
enum class Touch { None, Capsule, Mine };
// Applies one touched obstacle (None only checks the bonus); true when the
// streak earned the perfect bonus.
bool ApplyTouch(Score& score, Touch touch, Meridian::I32 perfectPicks);
// The streak that earns the bonus for a course of this many capsules: 5 %
// of them, raised to the next multiple of 5 above.
Meridian::I32 PerfectPicks(Meridian::I32 capsules);
// Each capsule left behind breaks the streak once: true (and lastMiss moved
// on) when the newest capsule passed uncollected, at time missed, is later
// than the one counted before.
bool BreaksStreak(Meridian::Fixed missed, Meridian::Fixed& lastMiss);

}  // namespace LaneRules
