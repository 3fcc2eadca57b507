// The game's command line.
//
//     skyrail [SONG] [--music DIR] [--headless] [--window] [--scale N]
//             [--fullscreen] [--autopilot] [--shots DIR] [--script FILE]
//             [--calibrate] [--verbose] [--help]
//
// The first song argument (IsSongArgument) names a song that is raced once,
// on the first visit of the menu. Without a display the game runs headless.
#pragma once

#include <string>

#include "Core/Types.h"

struct GameOptions {
    std::string song;            // first song argument, or empty
    std::string music;           // the music folder (--music), or empty for the configured one
    bool headless = false;       // offscreen rendering, fixed-step clock, silent audio
    bool window = false;         // insist on a window (no headless fallback)
    Meridian::I32 scale = 0;     // window scale; 0 picks the largest that fits
    bool fullscreen = false;
    bool smooth = false;         // the picture scaled smoothly, not by whole multiples
    bool autopilot = false;      // the autopilot plays (demo mode)
    bool calibrate = false;      // start on the audio calibration screen
    std::string shots;           // folder for automatic screenshots, or empty
    std::string script;          // scripted input file, or empty
    bool verbose = false;        // the terminal shows the debug lines too
    Meridian::I32 audioBuffer = 0;  // mixer chunk in frames; 0: the build's default
    bool help = false;
    bool valid = true;
    std::string error;

    static GameOptions Parse(int argc, char** argv);
    // A song's name: an extension the game plays, in any letter case, or
    // (as always) any text containing ".ogg".
    static bool IsSongArgument(const char* arg);
    static const char* Usage();
};
