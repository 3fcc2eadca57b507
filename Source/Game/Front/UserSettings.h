// UserSettings: what the player chose, kept between starts in
// "$XDG_CONFIG_HOME/skyrail/settings.ini" (default "~/.config/skyrail/").
//
// The file is read after the game's own configuration and overrides it; the
// command line overrides both. Its format is the configuration's:
//
//     [Audio]
//     volume = 25          ; 0 .. 128
//     buffer = 1024        ; mixer chunk in frames, 256 .. 8192 (desktop)
//     offset = 40          ; ms the sound reaches the ear late, -1000 .. 1000
//     [Video]
//     scale = 3            ; window size 320 x 240 times 1 .. 16
//     fullscreen = 0       ; 0 or 1 (F11 and Alt+Enter switch, and it is kept)
//     smooth = 0           ; 1: the picture fills the window's height (or
//                          ; width); 0: whole multiples of 320 x 240
//     fps = 60             ; frame limit of a window, 10 .. 500; 0: none
//     [Music]
//     folder = /home/me/Music
//     [Keys]
//     DPadA = space        ; a button's generic name = a key's SDL name
//
// A value left out keeps the game's default. Load refuses a damaged file (a
// line that is neither a section, a "key = value" pair, a comment nor blank;
// a value out of its range; a [Keys] line for no button) as a whole, with
// one warning, and the defaults hold; the game then does not write it until a setting changes. Save writes
// a temporary file beside it, flushes it to the disk and renames it over the
// old one, so the file is whole at every moment.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "Core/Types.h"

struct UserSettings {
    Meridian::I32 volume = -1;      // -1: not set
    Meridian::I32 buffer = 0;       // 0: not set (1024)
    Meridian::I32 offset = 0;       // milliseconds; 0 also when not set
    Meridian::I32 scale = 0;        // 0: not set
    Meridian::I32 fullscreen = -1;  // -1: not set
    Meridian::I32 smooth = -1;      // -1: not set (whole multiples)
    Meridian::I32 fps = -1;         // -1: not set (60)
    std::string music;              // the music folder; empty: not set
    // Keyboard bindings in file order: button name ("DPadA"), key name.
    std::vector<std::pair<std::string, std::string>> keys;

    // The file's path from the environment, or empty when neither
    // XDG_CONFIG_HOME nor HOME is set.
    static std::string DefaultPath();
    // The music folder when nothing chooses one: "./Music/" when the working
    // folder has it, otherwise the desktop's music folder (XDG_MUSIC_DIR in
    // user-dirs.dirs, else ~/Music) when it exists, otherwise "./Music/".
    static std::string DefaultMusicFolder();

    // True when the file was read; false when it is missing (silently) or
    // damaged or unreadable (one "[W] UserSettings::Load: " line), leaving
    // every value unset.
    bool Load(const std::string& path);
    // Creates the file's folder when needed; false (with one "[E]
    // UserSettings::Save: " line) when the file cannot be written.
    bool Save(const std::string& path) const;
};
