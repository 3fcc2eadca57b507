// SkyRail's entry point: the log on standard error, the system layer, one
// MainApp through the engine allocator and the frame loop.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Core/App.h"
#include "Core/DataFolder.h"
#include "Core/FrameLimiter.h"
#include "Core/Log.h"
#include "Core/System.h"
#include "Front/GameDevices.h"
#include "Front/MainApp.h"
#include "Front/Options.h"
#include "Front/UserSettings.h"

using namespace Meridian;

int main(int argc, char** argv) {
    GameOptions options = GameOptions::Parse(argc, argv);
    if (options.help) {
        std::fputs(GameOptions::Usage(), stdout);
        return 0;
    }
    if (!options.valid) {
        std::fprintf(stderr, "skyrail: %s\n\n%s", options.error.c_str(), GameOptions::Usage());
        return 2;
    }
    // Without a display the game runs headless: the autopilot plays a song
    // and the screens are kept as pictures.
    if (!options.window && !HasDisplay()) options.headless = true;
    if (options.headless && options.script.empty()) {
        options.autopilot = true;
        if (options.shots.empty()) options.shots = "./shots";
    }

    // Headless runs play silently: keep SDL away from the sound card.
    if (options.headless) setenv("SDL_AUDIODRIVER", "dummy", 0);

    Log::Open(">console");
    Log::SetDebugShown(options.verbose);
    // ./Data in a build or source folder, else the installed data beside the
    // executable: the game runs from any working folder.
    SetDataFolder(FindDataFolder("skyrail", "SkyRail"));

    // The player's settings fill in what the command line leaves open.
    const std::string settingsPath = UserSettings::DefaultPath();
    UserSettings settings;
    if (!settingsPath.empty()) settings.Load(settingsPath);
    if (options.scale == 0) options.scale = settings.scale;
    if (settings.fullscreen == 1) options.fullscreen = true;
    options.smooth = settings.smooth == 1;
    options.audioBuffer = settings.buffer;
    LogD() << "main {";
    System::Init();
    InstallGameDevices(options);
    MainApp* app = New<MainApp>();
    app->SetOptions(options);
    app->SetSettings(settings, settingsPath);
    I32 score = 0;
    std::vector<std::string> shots;
    std::string failure;
    {
        Ref<MainApp> hold = app;
        // Headless runs on the fixed clock go as fast as they can; a window
        // is held to the display's pace (60 Hz, or the settings' rate).
        FrameLimiter limiter(options.headless ? 0u : settings.fps >= 0 ? static_cast<U32>(settings.fps) : 60u);
        const bool ran = RunApplication(app, argc, argv, &limiter);
        score = app->GetFinalScore();
        shots = app->GetShotFiles();
        failure = ran ? app->GetRunFailure() : "the game could not start (the error above says why).";
    }
    System::Exit();
    LogD() << "};";
    Log::Close();

    if (options.headless) {
        std::printf("Final score: %d\n", score);
        if (!shots.empty())
            std::printf("Screenshots (PNG, named <screen>-<time>.png) in %s/\n",
                        options.shots.empty() ? "." : options.shots.c_str());
        std::fflush(stdout);
    }
    if (!failure.empty()) {
        std::fprintf(stderr, "skyrail: %s\n", failure.c_str());
        return 1;
    }
    return 0;
}
