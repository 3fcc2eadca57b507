// Race benchmark: how fast the game logic of one race frame runs (the race
// step and the draw traversal, with a render device that does no GL work),
// how long the race planner takes for the whole course, and how fast a
// whole headless race of the demo song runs with real
// offscreen rendering on Mesa. Run from the build folder (it reads ./Data and
// "./Music/SkyRail Demo.ogg"); prints its figures.
//
//     skyrail-bench-race [--plan-only | --memory] [song.ogg]
//
// --memory races the song once without GL and prints the process's peak
// resident size (VmHWM) before and after the race, on one line.
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>

#include "Analysis/TrackGen.h"
#include "Audio/AudioPlayerSilent.h"
#include "Core/App.h"
#include "Core/Devices.h"
#include "Core/Log.h"
#include "Core/System.h"
#include "Front/Screens.h"
#include "Input/InputNull.h"
#include "Race/AudioTrack.h"
#include "Race/Autopilot.h"
#include "Race/RacePlanner.h"
#include "Race/Race.h"
#include "Render/Pnd/RenderPndGL.h"
#include "Render/RenderNull.h"
#include "PeakResident.h"

using namespace Meridian;

namespace {

Render* NullRender() { return New<RenderNull>(); }
Render* OffscreenRender() {
    RenderPndGLOptions options;
    options.m_Mode = RenderPndGLOptions::Offscreen;
    options.m_Scale = 1;
    return CreateRenderPndGL(options);
}
// The autopilot's buttons of this frame.
U32 g_Held = 0;

class PilotInput : public InputNull {
    MERIDIAN_CLASS(PilotInput, InputNull)
    U32 GetButtons() override { return g_Held; }
};

Input* NoInput() { return New<PilotInput>(); }
AudioPlayer* Silent() { return CreateAudioPlayerSilent(); }

struct Result {
    int frames = 0;
    double stepSeconds = 0.0;  // race step + draw, summed
    double songSeconds = 0.0;
    int score = 0;
    int taken = 0, placed = 0, mines = 0, reachable = 0, plans = 0;
};

// Plans the whole course from the start, as the race does, and times it.
bool PlanOnce(const std::string& song, double& seconds, RacePlanner::Plan& plan, size_t& frames) {
    SetDeviceFactory(DeviceFactory{&NullRender, &NoInput, &Silent});
    System::UseFixedClock(16, 1000);
    Ref<App> app = New<App>();
    if (!app->Init(0, nullptr)) return false;
    AudioTrack track;
    track.Init(song, app->GetSceneRoot());
    if (!track.GetHighway() || !track.GetLaneGroup()) return false;
    RacePlanner::Start start;
    start.perfectPicks = LaneRules::PerfectPicks(track.GetLaneGroup()->GetGoodCount());
    const std::vector<RacePlanner::Frame> steps =
        RacePlanner::FixedSteps(0, 16, track.GetHighway()->GetEndTime());
    frames = steps.size();
    const auto begin = std::chrono::steady_clock::now();
    const bool made = RacePlanner::Make(*track.GetLaneGroup(), *track.GetHighway(), start, steps, plan);
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    track.Release();
    app->Exit();
    return made;
}

// Races the song once with the autopilot steering, on the fixed 60 Hz clock.
bool RaceOnce(const std::string& song, Render* (*render)(), Result& result) {
    SetDeviceFactory(DeviceFactory{render, &NoInput, &Silent});
    System::UseFixedClock(16, 1000);
    Ref<App> app = New<App>();
    if (!app->Init(0, nullptr)) return false;
    RaceHud hud;
    hud.m_RaceRoot = New<Group>();
    hud.m_GuiRoot = New<Group>();
    Screens::BuildHud(hud, Screens::LoadFont("Data/Fonts/SpaceAge12", Fixed::FromInt(12), 1, false), nullptr);
    Ref<AudioSource> music = app->GetAudio()->AddMusic(song);
    Race race;
    LanePilot pilot;
    g_Held = 0;
    if (!music || !race.Start(*app, hud, song, music)) return false;
    race.FinishPlan();  // planned up front, so that the frames time the race alone
    bool finished = false;
    // The course's frames of 16 ms, and a minute more.
    const int frames = static_cast<int>(race.m_SongLength.ToFloat() * 62.5f) + 3750;
    while (!finished && result.frames < frames) {
        g_Held = pilot.Buttons(*app, race, g_Held);
        app->UpdateInput();
        app->UpdateTime();
        const auto begin = std::chrono::steady_clock::now();
        finished = race.Step(*app, hud);
        app->Draw();
        result.stepSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        System::FrameTick();
        ++result.frames;
    }
    result.songSeconds = race.m_SongLength.ToFloat();
    result.taken = race.m_CapsulesTaken;
    result.placed = race.m_CapsulesPlaced;
    result.mines = race.m_MinesHit;
    result.reachable = race.m_CapsulesReachable;
    result.plans = pilot.GetPlanCount();
    result.score = race.GetScore();
    race.End(*app, hud);
    app->Exit();
    return true;
}

}  // namespace


int main(int argc, char** argv) {
    const bool planOnly = argc > 1 && std::string(argv[1]) == "--plan-only";
    const bool memory = argc > 1 && std::string(argv[1]) == "--memory";
    const int first = planOnly || memory ? 2 : 1;
    const std::string song = argc > first ? argv[first] : "./Music/SkyRail Demo.ogg";
    Log::Open("/dev/null");
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    System::Init();
    if (!TrackGen::TrackExists(song)) {
        TrackGen generator(song);
        if (generator.Init() < 0) {
            std::fprintf(stderr, "cannot analyse %s\n", song.c_str());
            return 1;
        }
        while (generator.Step()) {
        }
    }

    if (memory) {
        const long before = PeakResidentKiB();
        Result race;
        if (!RaceOnce(song, &NullRender, race)) return 1;
        std::printf("race of %.0f s without GL: peak resident %.1f MiB (%.1f MiB before the race), "
                    "%d of %d capsules (%d reachable), %d plans\n",
                    race.songSeconds, PeakResidentKiB() / 1024.0, before / 1024.0, race.taken, race.placed,
                    race.reachable, race.plans);
        System::Exit();
        Log::Close();
        return 0;
    }

    double planSeconds = 0.0;
    size_t planFrames = 0;
    RacePlanner::Plan plan;
    if (!PlanOnce(song, planSeconds, plan, planFrames)) return 1;
    std::printf("Planner: best run of the whole course in %.3f s (%zu frames): %d capsules, %d mines, score %d\n",
                planSeconds, planFrames, plan.capsules, plan.mines, plan.score);
    if (planOnly) {
        System::Exit();
        Log::Close();
        return 0;
    }

    Result logic, whole;
    const auto begin = std::chrono::steady_clock::now();
    if (!RaceOnce(song, &NullRender, logic)) return 1;
    const auto middle = std::chrono::steady_clock::now();
    if (!RaceOnce(song, &OffscreenRender, whole)) return 1;
    const auto end = std::chrono::steady_clock::now();
    const double logicWall = std::chrono::duration<double>(middle - begin).count();
    const double wholeWall = std::chrono::duration<double>(end - middle).count();

    std::printf("Song: %s, %.1f s of course, %d frames at 60 Hz\n", song.c_str(), logic.songSeconds, logic.frames);
    std::printf("Game logic per race frame (race step + draw traversal, no GL): %.1f us mean, %.0f frames/s\n",
                1e6 * logic.stepSeconds / logic.frames, logic.frames / logic.stepSeconds);
    std::printf("  whole race without GL: %.2f s wall, %.0f frames/s\n", logicWall, logic.frames / logicWall);
    std::printf("Headless race with offscreen rendering (llvmpipe, 320x240): %.2f s wall, %.0f frames/s, %.1fx real time\n",
                wholeWall, whole.frames / wholeWall, whole.songSeconds / wholeWall);
    std::printf("  race frame incl. GL: %.2f ms mean; autopilot score %d\n", 1e3 * whole.stepSeconds / whole.frames,
                whole.score);
    std::printf("Autopilot: capsules taken %d of %d, reachable %d, mines hit %d, %d plans\n", whole.taken, whole.placed,
                whole.reachable, whole.mines, whole.plans);
    System::Exit();
    Log::Close();
    return 0;
}
