// Memory benchmark: the resident size of the headless game over a long run,
// which must stay flat. It runs the game as `skyrail --headless` does
// (offscreen rendering on Mesa, the fixed 60 Hz clock, silent audio): first
// the title screen for a while with no one at the controls, then the
// autopilot's race of the song. Prints the resident size every 10 s of game
// time, and per phase the first, the last and the peak. Run from the build
// folder (it reads ./Data and ./Music).
//
//     skyrail-bench-memory [--title-minutes M] [song.ogg]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "Core/App.h"
#include "Core/Log.h"
#include "Core/System.h"
#include "Front/GameDevices.h"
#include "Front/MainApp.h"

using namespace Meridian;

namespace {

const U32 FramesPerSample = 600;  // 10 s at 60 Hz

long ResidentKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

// Runs one headless game until it ends or maxFrames have passed; prints its
// samples and its summary line.
void RunPhase(const char* title, const GameOptions& options, U32 maxFrames) {
    InstallGameDevices(options);
    Ref<MainApp> app = New<MainApp>();
    app->SetOptions(options);
    if (!app->Init(0, nullptr)) {
        std::printf("%s: the game did not start\n", title);
        return;
    }
    long first = -1, last = -1, peak = 0;
    U32 frame = 0;
    for (; frame < maxFrames; ++frame) {
        app->UpdateInput();
        if (app->IsDone()) break;
        app->UpdateTime();
        app->Update();
        app->UpdateAudio();
        app->PostUpdate();
        app->Draw();
        System::FrameTick();
        if ((frame + 1) % FramesPerSample == 0) {
            last = ResidentKilobytes();
            if (first < 0) first = last;
            if (last > peak) peak = last;
            std::printf("%-6s %6u s  %8ld kB\n", title, (frame + 1) / 60, last);
            std::fflush(stdout);
        }
    }
    app->Exit();
    app.Reset();
    std::printf("%s: %u frames (%u s of game time); resident first %ld kB, last %ld kB, peak %ld kB\n", title,
                frame, frame / 60, first, last, peak);
}

}  // namespace

int main(int argc, char** argv) {
    double titleMinutes = 2.0;
    std::string song = "./Music/SkyRail Demo.ogg";
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--title-minutes") == 0 && i + 1 < argc)
            titleMinutes = std::atof(argv[++i]);
        else
            song = argv[i];
    }
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    Log::Open("/dev/null");
    System::Init();

    // Nobody at the controls: the scripted input never presses anything.
    const std::string idle = "/tmp/skyrail-bench-memory-idle.txt";
    std::FILE* script = std::fopen(idle.c_str(), "w");
    if (!script) return 1;
    std::fputs("# no input\n", script);
    std::fclose(script);

    GameOptions options;
    options.headless = true;
    options.script = idle;
    RunPhase("title", options, static_cast<U32>(titleMinutes * 60 * 60));
    std::remove(idle.c_str());

    options.script.clear();
    options.autopilot = true;
    options.song = song;
    RunPhase("race", options, 60 * 60 * 120);

    System::Exit();
    Log::Close();
    return 0;
}
