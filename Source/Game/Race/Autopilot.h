// The autopilot's race half: decides which lane buttons to press this frame,
// as a player would (it only presses DPadLeft/DPadA and DPadRight/DPadB).
// It follows the race planner's best run from where the race stands, and
// plans again whenever the race is not where the plan said it would be (a
// frame that came late, a press it did not make). On a fixed-step clock it
// plans the whole rest of the course; on the real clock, whose frames it
// cannot foresee, the next few seconds, again every frame that is off plan.
// There the race's time may run at another pace than the frames (it follows
// the sound, which a device may play fast or slow): the coming frames are
// foreseen with the frame delta of the last frame and the play time it
// advanced.
#pragma once

#include <vector>

#include "Core/App.h"
#include "Core/Types.h"
#include "Race/RacePlanner.h"

class Race;

class LanePilot {
public:
    // Buttons to hold in the coming frame, called between race frames;
    // previous is what the pilot held last frame.
    Meridian::U32 Buttons(const Meridian::App& app, const Race& race, Meridian::U32 previous);

    // The plan being followed and how often the pilot planned this race.
    const RacePlanner::Plan& GetPlan() const { return m_Plan; }
    Meridian::I32 GetPlanCount() const { return m_Plans; }

private:
    bool OnPlan(const Race& race) const;

    RacePlanner::Plan m_Plan;
    std::vector<RacePlanner::Frame> m_Frames;
    size_t m_Next = 0;
    bool m_Racing = false;
    Meridian::Fixed m_LastPlayTime;  // the race's play time at the last call
    Meridian::F32 m_Step = 16.0f, m_Delta = 16.0f;  // ms of play time and frame delta per frame, averaged
    Meridian::I32 m_Plans = 0;
};
