// The race: the Play state's work.
//
// Start builds the race for one song (course, lanes, glider, decoration) and
// starts its music; Step runs one frame: lane input, glider and camera
// placement on the highway at the music's play time, collisions and scoring,
// the energy bar and the perfect-run bonus, the effects, and the end of the
// song with its fade to black; End releases the race again. The race clock is
// the music source's GetTime, read every frame, so the race never drifts from
// the song. The HUD nodes are built by the front end and handed in.
//
// Depends on: AudioTrack, Player, the effects, App (buttons, frame delta,
// scene, draw traversal).
#pragma once

#include <memory>
#include <string>

#include "Audio/AudioSource.h"
#include "Core/App.h"
#include "Race/PerfectEffect.h"
#include "Race/PickupEffect.h"
#include "Race/Player.h"
#include "Race/RacePlanner.h"
#include "Race/Starfield.h"
#include "Scene/ImageGeometry.h"
#include "Scene/TextGeometry.h"

class AudioTrack;

// degreesPerSecond x seconds as an angle in 0 .. 360 degrees, computed in 64
// bits: the plain Fixed product wraps past 32768 degrees (after 131 s at 250
// degrees per second) and the pulse driven by it would jump.
Meridian::Fixed PhaseDegrees(Meridian::I32 degreesPerSecond, Meridian::Fixed seconds);

struct RaceHud {
    Meridian::Ref<Meridian::Group> m_RaceRoot;
    Meridian::Ref<Meridian::Group> m_GuiRoot;
    Meridian::Ref<Meridian::TextGeometry> m_ScoreText;
    Meridian::Ref<Meridian::TextGeometry> m_TimeText;
    Meridian::Ref<Meridian::ImageGeometry> m_Energy[6];
    Meridian::Ref<Meridian::ImageGeometry> m_Fade;
    Meridian::Ref<Meridian::TextGeometry> m_PausedText;  // above the fade
};

class Race {
public:
    Race();
    ~Race();
    Race(const Race&) = delete;
    Race& operator=(const Race&) = delete;

    // Builds the race and starts the music. False when the course or the
    // glider cannot be built (the caller returns to the menu).
    bool Start(Meridian::App& app, RaceHud& hud, const std::string& song, Meridian::AudioSource* music);
    // One frame; returns true once the race has asked for the high scores.
    bool Step(Meridian::App& app, RaceHud& hud);
    void End(Meridian::App& app, RaceHud& hud);

    // True when a race frame at play time t is the song's last.
    static bool ReachesEnd(Meridian::Fixed t, Meridian::Fixed songLength);

    Meridian::I32 GetScore() const { return m_Score; }
    AudioTrack* GetAudioTrack() const { return m_AudioTrack.get(); }
    Player* GetPlayer() const { return m_Player; }
    Meridian::Fixed GetPlayTime() const { return m_PlayTime; }
    bool IsEnding() const { return m_Ending; }
    // Pausing holds the music, the race clock and the race where they are
    // and dims the picture under a "PAUSED" line; a race that is ending
    // does not pause. While paused, Step changes nothing except that System
    // resumes and skips to the end, as it does while racing.
    void SetPaused(RaceHud& hud, bool paused);
    // How late the sound reaches the player (speakers, headphones): the race
    // runs this far behind the music's position (never before 0). Kept
    // across races.
    void SetAudioOffset(Meridian::Fixed seconds) { m_AudioOffset = seconds; }
    bool IsPaused() const { return m_Paused; }

    // What happened in the last race, for the headless summary.
    Meridian::I32 m_CapsulesTaken;
    Meridian::I32 m_MinesHit;
    Meridian::I32 m_CapsulesPlaced;
    Meridian::I32 m_MinesPlaced;
    // The planner's best run of the course at the race's frame rate: the
    // capsules it takes and the score it earns. Planned a slice per frame;
    // set once the race has finished, or FinishPlan was called.
    Meridian::I32 m_CapsulesReachable;
    Meridian::I32 m_BestScore;
    // Plans the rest at once (nothing when the plan is made).
    void FinishPlan();

    Meridian::Fixed m_PlayTime;
    Meridian::Fixed m_SongLength;
    Meridian::I32 m_Score;
    Meridian::I32 m_Energy;
    Meridian::I32 m_Streak;
    Meridian::I32 m_PerfectPicks;
    Meridian::Fixed m_LastMissTime;
    bool m_Ending;
    bool m_Paused = false;
    Meridian::Fixed m_AudioOffset;
    Meridian::Fixed m_SkipOffset;
    Meridian::F32 m_FlashColor[4];
    Meridian::F32 m_RestColor[4];

    // The steps of a race frame, in the order Step runs them.
    // Lane presses move the steering target in whole lanes (-2..2).
    void LaneInput(Meridian::App& app);
    // One part of a frame (the whole frame unless it is long, see
    // LaneRules::HitSteps) at m_PlayTime: slides and places the glider,
    // shows the obstacles and touches the one nearest to from.
    void RacePart(RaceHud& hud, Meridian::Fixed delta, const Meridian::Vector3& from);
    // Once the glider's course point is OriginReach units from the
    // highway's origin along an axis, moves the origin to it and everything
    // placed relative to the old one (after a frame's hit tests, before its
    // draw, so that the next hit test sees only the new frame).
    static constexpr Meridian::I64 OriginReach = 4096;
    void MoveOrigin();
    // Slides the glider towards its target lane and banks it.
    void SidewaysMotion(Meridian::Fixed delta);
    // Puts glider, camera and starfield on the highway at the play time.
    void Place();
    // Scores an obstacle just touched (null only refreshes the HUD).
    void ScoreUpdate(RaceHud& hud, Meridian::Transform* obstacle);
    // Skip and end of the song; true once the high scores are wanted.
    bool EndCheck(Meridian::App& app, RaceHud& hud);

private:

    std::unique_ptr<AudioTrack> m_AudioTrack;
    Meridian::Ref<Player> m_Player;
    Meridian::Ref<Meridian::AudioSource> m_Music;
    Meridian::Ref<Meridian::Fog> m_Fog;
    Meridian::Ref<Meridian::LookTransform> m_StarfieldTransform;
    std::unique_ptr<RacePlanner::Job> m_Planner;
    static constexpr Meridian::U64 PlanMicroseconds = 3000;  // planning per frame
    Meridian::Ref<Starfield> m_Starfield;
    Meridian::Ref<Meridian::Shader> m_StarShader;
    Meridian::Ref<PickupEffect> m_PickupEffect;
    Meridian::Ref<PerfectEffect> m_PerfectEffect;
};
