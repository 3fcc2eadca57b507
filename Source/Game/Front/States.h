// The application's state numbers. 0 means "no state yet" (the value before
// the first state is entered); the help texts are keyed by these numbers.
#pragma once

#include "Core/Types.h"

namespace States {
enum : Meridian::I32 {
    None = 0,
    Init = 1,         // builds the persistent front end
    Splash = 2,       // passes on to Menu
    Menu = 3,         // title screen
    SelSong = 4,      // song browser
    Convert = 5,      // analyses a song without track file
    PlayPrepare = 6,  // loads the song as music
    Play = 7,         // the race
    Hiscore = 8,      // the song's top-10 table and name entry
    Calibrate = 9,    // the audio offset from presses on a click track
};
}  // namespace States
