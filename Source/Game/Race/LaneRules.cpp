#include "Race/LaneRules.h"

#include "Math/MathFunctions.h"

using namespace Meridian;

namespace LaneRules {

namespace {
Fixed Raw(I32 raw) { return Fixed::FromRaw(raw); }
}  // namespace

Fixed Approach(Fixed value, Fixed target, Fixed step) {
    if (value < target) return value + step > target ? target : value + step;
    if (value > target) return value - step < target ? target : value - step;
    return value;
}

Fixed TargetX(Fixed lane, Fixed width) {
    const Fixed a = Absolute(lane);
    const Fixed f = ((a - Fixed::One) * Raw(19660) + Raw(29491)) * width;
    return Clamp(f * lane, Raw(32768) - f, f - Raw(32768));
}

Fixed PressLanes(Fixed lane, bool left, bool a, bool right, bool b) {
    const auto snap = [](Fixed value) { return Fixed::FromInt((value + Raw(32768)).m_Raw >> 16); };
    if (left || a) {
        lane = snap(lane);
        if (left) lane -= Fixed::One;
        if (a) lane -= Fixed::One;
    } else if (right || b) {
        lane = snap(lane);
        if (right) lane += Fixed::One;
        if (b) lane += Fixed::One;
    }
    return lane;
}

const Fixed MaxHitStep = Fixed::FromRaw(1311);

I32 HitSteps(Fixed advance) {
    if (advance <= MaxHitStep) return 1;
    const I64 parts = (static_cast<I64>(advance.Raw()) + MaxHitStep.Raw() - 1) / MaxHitStep.Raw();
    return parts < MaxHitSteps ? static_cast<I32>(parts) : MaxHitSteps;
}

Fixed HitStepTime(Fixed from, Fixed to, I32 k, I32 parts) {
    if (k >= parts) return to;
    const I64 span = static_cast<I64>(to.Raw()) - from.Raw();
    return Fixed::FromRaw(static_cast<I32>(from.Raw() + span * k / parts));
}

Fixed HitStepDelta(Fixed delta, I32 k, I32 parts) {
    return HitStepTime(Fixed::Zero, delta, k, parts) - HitStepTime(Fixed::Zero, delta, k - 1, parts);
}

Fixed ClampLane(Fixed lane) { return Clamp(lane, Fixed::FromInt(MinLane), Fixed::FromInt(MaxLane)); }

Vector3 GliderPoint(const Vector3& centre, const Vector3& right, Fixed x) { return centre + right * x; }

bool ApplyTouch(Score& score, Touch touch, I32 perfectPicks) {
    if (touch == Touch::Mine) {
        if (score.energy < 5) score.points -= 250;
        score.energy = 0;
        score.streak = 0;
    } else if (touch == Touch::Capsule) {
        score.energy = score.energy + 1 > 5 ? 5 : score.energy + 1;
        score.points += 100;
        score.streak += 1;
    }
    if (score.points < 0) score.points = 0;
    if (score.streak >= 1 && perfectPicks >= 1 && score.streak % perfectPicks == 0) {
        score.points += 500 * (score.streak / perfectPicks);
        return true;
    }
    return false;
}

I32 PerfectPicks(I32 capsules) { return ((capsules / 20 + 5) / 5) * 5; }

bool BreaksStreak(Fixed missed, Fixed& lastMiss) {
    if (!(missed > lastMiss)) return false;
    lastMiss = missed;
    return true;
}

}  // namespace LaneRules
