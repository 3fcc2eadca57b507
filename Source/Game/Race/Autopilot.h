// The autopilot's race half: reads the obstacles ahead of the glider and
// decides which lane buttons to press this frame, as a player would (it only
// presses DPadLeft/DPadA and DPadRight/DPadB). It plans the glider's lane at
// each obstacle of the next seconds (the plan that takes the most capsules
// and meets no mine, given how fast the glider slides across) and steers for
// the lane the plan wants at the next obstacle.
#pragma once

#include <vector>

#include "Core/Types.h"
#include "Math/Fixed.h"

class Race;

class LanePilot {
public:
    // Buttons to hold this frame; previous is what was held last frame, so a
    // press is only produced after a release.
    Meridian::U32 Buttons(const Race& race, Meridian::U32 previous);

    struct Obstacle {
        Meridian::Fixed time;
        Meridian::I32 lane;  // the glider's lane: -1, 0 or +1
        bool mine;
    };
    // The lane to head for now, from the glider's sideways offset x and the
    // obstacles ahead (in time order).
    static Meridian::I32 ChooseLane(Meridian::Fixed now, Meridian::Fixed x, Meridian::I32 current,
                                    const std::vector<Obstacle>& ahead);

private:
    std::vector<Obstacle> m_Ahead;
};
