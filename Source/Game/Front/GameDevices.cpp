#include "Front/GameDevices.h"

#include <cstdlib>

#include "Audio/AudioPlayerSDL.h"
#include "Audio/AudioPlayerSilent.h"
#include "Core/Devices.h"
#include "Core/System.h"
#include "Front/InputAutopilot.h"
#include "Input/InputCan.h"
#include "Input/InputDesktop.h"
#include "Input/InputNull.h"
#include "Input/InputScripted.h"
#include "Render/Pnd/RenderPndGL.h"

using namespace Meridian;

namespace {

GameOptions g_Options;

Render* CreateRender() {
    RenderPndGLOptions render;
#ifdef SKYRAIL_HANDHELD
    render.m_Mode = RenderPndGLOptions::Framebuffer;
#else
    // Not headless means a display was named or a window asked for: a window
    // or nothing, never an invisible offscreen surface without a keyboard.
    render.m_Mode = g_Options.headless ? RenderPndGLOptions::Offscreen : RenderPndGLOptions::X11;
#endif
    render.m_Scale = g_Options.headless ? 1 : g_Options.scale;
    render.m_Fullscreen = g_Options.fullscreen;
    render.m_Smooth = g_Options.smooth;
    return CreateRenderPndGL(render);
}

Input* CreateInput() {
#ifdef SKYRAIL_HANDHELD
    Input* base = CreateInputCan();
#else
    Input* base = nullptr;
    if (!g_Options.script.empty())
        base = CreateInputScripted(g_Options.script.c_str());
    else
        base = g_Options.headless ? static_cast<Input*>(New<InputNull>()) : CreateInputDesktop();
    if (!base) return nullptr;
#endif
    if (!g_Options.autopilot) return base;
    std::string song = g_Options.song.empty() ? "SkyRail Demo.ogg" : g_Options.song;
    const size_t slash = song.rfind('/');
    if (slash != std::string::npos) song = song.substr(slash + 1);
    return New<InputAutopilot>(base, song, g_Options.headless);
}

AudioPlayer* CreateAudio() {
#ifdef SKYRAIL_HANDHELD
    return CreateAudioPlayerSDL();
#else
    // Desktops hear the music a chunk and a half sooner than the handheld's 4096.
    const I32 chunk = g_Options.audioBuffer > 0 ? g_Options.audioBuffer : 1024;
    return g_Options.headless ? CreateAudioPlayerSilent() : CreateAudioPlayerWithFallback(chunk);
#endif
}

}  // namespace

bool HasDisplay() {
    const char* display = std::getenv("DISPLAY");
    return display && *display;
}

void InstallGameDevices(const GameOptions& options) {
    g_Options = options;
    if (options.headless) System::UseFixedClock(1000 / 60);
    SetDeviceFactory(DeviceFactory{&CreateRender, &CreateInput, &CreateAudio});
}
