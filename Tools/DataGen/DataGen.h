// The parts of skyrail-datagen, the program that makes the game's data files
// (textures, models, fonts, configuration and the demo song) at build time.
// Every writer takes the folder it writes into (with a trailing '/') and
// returns false after printing one line on standard error.
#pragma once

#include <string>

#include "Canvas.h"

namespace DataGen {

// Data/SkyRail textures.
bool WriteTrackTexture(const std::string& dir);
bool WriteCapsuleTexture(const std::string& dir);
bool WriteMineTexture(const std::string& dir);
bool WriteGliderTexture(const std::string& dir);
bool WriteGliderShadow(const std::string& dir);
bool WriteStars(const std::string& dir);
bool WritePixel(const std::string& dir);
bool WritePattern(const std::string& dir);
bool WriteLoading(const std::string& dir);
bool WriteGuiAtlas(const std::string& dir);
bool WriteConfig(const std::string& dir);

// Data/SkyRail models (.msd).
bool WriteCapsuleModel(const std::string& dir);
bool WriteMineModel(const std::string& dir);
bool WriteGliderModel(const std::string& dir);

// Data/Fonts.
bool WriteFonts(const std::string& dir);

// Data/Icons: the desktop icon, "skyrail-<N>.png" for N = 32, 48, 64, 128
// and 256 pixels square.
bool WriteIcons(const std::string& dir);

// Draws text in color with a TrueType face (anti-aliased) into canvas, the
// baseline's left end at (x, y) in pixels (y down); glyphs are pixelWidth
// wide and pixelHeight tall per em, so text can be drawn stretched. Returns
// the advance width; with measureOnly nothing is drawn.
double DrawText(Canvas& canvas, const std::string& fontFile, int pixelWidth, int pixelHeight, const std::string& text,
                int x, int y, const Color& color, bool measureOnly = false);
std::string FontPath(const std::string& file);

// Music/SkyRail Demo.ogg, encoded by the program at encoderPath.
bool WriteDemoSong(const std::string& path, const std::string& encoderPath);
// Data/SkyRail/click01.ogg: the calibration screen's click track, a click every
// 0.75 s, looping seamlessly.
bool WriteClickTrack(const std::string& path, const std::string& encoderPath);

}  // namespace DataGen
