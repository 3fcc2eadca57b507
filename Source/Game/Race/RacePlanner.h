// RacePlanner: the best run a course allows, frame by frame.
//
// From the lanes' obstacles, the highway and the glider's state it finds the
// lane presses that collect the most capsules and, among those, hit the
// fewest mines, then replays that run to give the score it earns (streak,
// energy and perfect bonus included). It is exact for the race's real
// per-frame rules, which it calls rather than copies (LaneRules, LaneGroup's
// hit and show rules, Race::ReachesEnd): each frame the lane presses move the
// target, the glider slides towards it, and the obstacle nearest to where the
// glider was drawn last frame, among the shown ones of the current and the
// previous second, is touched when closer than LaneGroup::HitBound. Presses
// follow the input rule: a button must be released for a frame before it
// counts again.
//
// Method: dynamic programming over frames, the state being the glider's
// offset, its target lane, the lane buttons pressed last frame and which of
// the obstacles within reach right now were already touched; offsets closer
// than 1/64 unit (rounding of frame deltas) count as one state, which keeps
// the best run's exact offset, and the plan is replayed with the exact rules.
// A state is dropped when another of the same offset, lane and touched
// obstacles is worth as much and may press every button it may; stretches
// without obstacles where no state changes any more are not stepped; and
// the frames before the last one every surviving run passes through are
// reduced to their moves, so memory holds a window of frames, not the song.
// Only the frames' play times and deltas must be known in advance (Frames).
// A frame longer than LaneRules::MaxHitStep is planned as the parts the race
// tests hits in, and the plan may press in any of them where the race reads
// the buttons once a frame: exact on the fixed 16 ms clock, a close bound on
// slower frames.
// Cost: about 0.8 s of planning per 10 minutes of song (optimised build); a
// race plans in slices (Job) so that no frame waits for it.
//
// Depends on: Race (LaneGroup, HighwayGeometry, Player, LaneRules). Needs
// the trigonometric tables (InitTables).
#pragma once

#include <memory>
#include <vector>

#include "Race/LaneGroup.h"
#include "Race/LaneRules.h"

class Race;

class RacePlanner {
public:
    // One race frame to come: the music's play time and the frame delta.
    struct Frame {
        Meridian::Fixed time;
        Meridian::Fixed delta;
    };
    // The frames of a fixed-step clock: the first at playMs of music
    // (milliseconds since it started), each next one stepMs later and with
    // that delta (or deltaMs, when the music runs at another pace than the
    // frames), up to the race's last frame on a course of songLength (or
    // maxFrames). A frame that advances the play time by more than
    // LaneRules::MaxHitStep comes as the parts the race tests hits in.
    static std::vector<Frame> FixedSteps(Meridian::U32 playMs, Meridian::U32 stepMs, Meridian::Fixed songLength,
                                         size_t maxFrames = 10000000, Meridian::U32 deltaMs = 0);

    // Where the run starts: the glider and the race's score before the first
    // planned frame.
    struct Start {
        Meridian::Fixed x;
        Meridian::Fixed lane;
        Meridian::U32 previous = 0;  // lane buttons held in the frame before
        Meridian::CoursePoint drawn;  // the glider's course position when last drawn
        Meridian::Fixed lateralSpeed = Meridian::Fixed::FromInt(40);
        LaneRules::Score score;
        Meridian::Fixed lastMiss;
        Meridian::I32 perfectPicks = 5;
        Meridian::I32 capsulesTaken = 0;  // before the start
        Meridian::I32 minesHit = 0;
    };
    // The state of a race between two frames; previous is what was held.
    static Start FromRace(const Race& race, Meridian::U32 previous);

    struct Plan {
        Meridian::I32 capsules = 0;  // taken and hit from the start on
        Meridian::I32 mines = 0;
        Meridian::I32 score = 0;     // the race's score after the run
        // Per frame: the buttons to hold (Buttons::DPadLeft, DPadA, DPadRight,
        // DPadB), and after the frame the glider's offset, target lane and
        // the race's counts of capsules taken and mines hit.
        std::vector<Meridian::U32> buttons;
        std::vector<Meridian::Fixed> x;
        std::vector<Meridian::I8> lane;
        std::vector<Meridian::I32> capsulesTaken;
        std::vector<Meridian::I32> minesHit;
    };
    // False (plan empty) without a highway or frames.
    static bool Make(const Meridian::LaneGroup& lanes, const Meridian::HighwayGeometry& highway, const Start& start,
                     const std::vector<Frame>& frames, Plan& plan);
    // Make, a slice at a time: Begin takes what it needs of the lanes and the
    // highway (both may change afterwards, as a race changes them), then Run
    // works until the work clock (System::GetWorkMicroseconds) passes a
    // deadline, as many times as it takes; UINT64_MAX runs to the end.
    class Job {
    public:
        Job();
        ~Job();
        Job(const Job&) = delete;
        Job& operator=(const Job&) = delete;
        // False, and done with an empty plan, without a highway or frames.
        bool Begin(const Meridian::LaneGroup& lanes, const Meridian::HighwayGeometry& highway, const Start& start,
                   std::vector<Frame> frames);
        // True once the plan is made (at once when it already was).
        bool Run(Meridian::U64 untilMicroseconds);
        bool IsDone() const { return m_Done; }
        const Plan& GetPlan() const { return m_Plan; }

    private:
        struct Search;
        std::unique_ptr<Search> m_Search;
        Plan m_Plan;
        bool m_Done = true;
    };

    // The capsules and mines the given buttons take and hit, frame by frame
    // (fills plan's per-frame fields, capsules, mines and score).
    static void Replay(const Meridian::LaneGroup& lanes, const Meridian::HighwayGeometry& highway, const Start& start,
                       const std::vector<Frame>& frames, const std::vector<Meridian::U32>& buttons, Plan& plan);
};
