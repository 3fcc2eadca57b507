// Which devices the game runs on, from its options and the machine:
//
//   handheld build  framebuffer display, InputCan, SDL_mixer
//   window          X11 window through SDL, keyboard and gamepad, SDL_mixer
//                   (no sound device: the silent player, with one warning)
//   headless        offscreen rendering, the fixed-step clock, the silent
//                   player, and scripted input or the autopilot
//
// The autopilot wraps the chosen input device in both desktop modes.
#pragma once

#include "Front/Options.h"

// True when a window can be opened (an X display is named).
bool HasDisplay();

// Installs the device factory for App::Init and, when headless, switches the
// system clock to fixed steps of 1/60 s.
void InstallGameDevices(const GameOptions& options);
