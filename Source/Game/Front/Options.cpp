#include "Front/Options.h"

#include <cstdlib>
#include <cstring>

#include "Music/MusicDecoder.h"

bool GameOptions::IsSongArgument(const char* arg) { return std::strstr(arg, ".ogg") || Meridian::IsSongPath(arg); }

GameOptions GameOptions::Parse(int argc, char** argv) {
    GameOptions options;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            options.help = true;
        } else if (std::strcmp(arg, "--headless") == 0) {
            options.headless = true;
        } else if (std::strcmp(arg, "--window") == 0) {
            options.window = true;
        } else if (std::strcmp(arg, "--fullscreen") == 0) {
            options.fullscreen = true;
        } else if (std::strcmp(arg, "--verbose") == 0) {
            options.verbose = true;
        } else if (std::strcmp(arg, "--autopilot") == 0) {
            options.autopilot = true;
        } else if (std::strcmp(arg, "--calibrate") == 0) {
            options.calibrate = true;
        } else if (std::strcmp(arg, "--scale") == 0 && hasValue) {
            options.scale = std::atoi(argv[++i]);
            if (options.scale < 1 || options.scale > 16) {
                options.valid = false;
                options.error = "--scale needs a number from 1 to 16";
            }
        } else if (std::strcmp(arg, "--shots") == 0 && hasValue) {
            options.shots = argv[++i];
        } else if (std::strcmp(arg, "--script") == 0 && hasValue) {
            options.script = argv[++i];
        } else if (std::strcmp(arg, "--music") == 0 && hasValue) {
            options.music = argv[++i];
        } else if (IsSongArgument(arg)) {
            if (options.song.empty()) options.song = arg;
        } else {
            options.valid = false;
            options.error = std::string("unknown argument: ") + arg;
        }
    }
    return options;
}

const char* GameOptions::Usage() {
    return "Usage: skyrail [SONG] [OPTIONS]\n"
           "SkyRail, a music-driven racing game. Songs (Ogg Vorbis, MP3, FLAC, Opus,\n"
           "AAC/M4A, WAV) live in ./Music/, or where --music or the [Music] folder\n"
           "key of ./Data/SkyRail/config.ini says.\n"
           "\n"
           "  SONG            race this song once, straight from the title screen\n"
           "  --music DIR     the song list starts in DIR\n"
           "  --headless      no window: offscreen rendering, a fixed 60 Hz clock and no\n"
           "                  sound, so a race runs faster than real time (the default\n"
           "                  when there is no display; then the autopilot plays)\n"
           "  --window        open a window even if that means failing without a display\n"
           "  --scale N       window size 320x240 times N (default: the largest that fits)\n"
           "  --fullscreen    fill the screen\n"
           "  --autopilot     let the autopilot steer (demo mode)\n"
           "  --calibrate     start on the audio calibration screen: press on each click\n"
           "                  you hear, and the median sets the audio offset\n"
           "  --shots DIR     write screenshots of the menu, song list, analysis, race\n"
           "                  and high scores into DIR\n"
           "  --script FILE   replay buttons and keys from FILE instead of the keyboard\n"
           "  --verbose       show the debug lines of the log too\n"
           "  --help          this text\n";
}
