// The look of every screen: the persistent interface layer, the title menu,
// the song browser's frame, the loading screen, the high-score frame and the
// race HUD, all as nodes under one InterfaceGroup (320 x 240 units, origin at
// the centre, y up), plus the configuration file.
//
// Helpers here only build nodes; what changes when is the states' business.
// A texture that cannot be imported leaves its rectangle without shader (the
// importer logs why); a missing font leaves its texts empty.
#pragma once

#include <string>

#include "Input/Input.h"
#include "Race/Race.h"
#include "Scene/FontTexture2D.h"
#include "Scene/ImageGeometry.h"
#include "Scene/Shader.h"
#include "Scene/TextGeometry.h"
#include "Scene/Transform.h"

namespace Screens {

// Loads a font texture with its glyph table and makes its shader (white
// material, font on unit 0, lighting off, the given blend mode).
Meridian::Shader* LoadFont(const char* base, Meridian::Fixed glyphSize, Meridian::I32 blendMode, bool crisp);

// A rectangle at (x, y) of size w x h showing the texture rectangle
// (u0, v0)-(u1, v1), under parent.
Meridian::ImageGeometry* AddRect(Meridian::Group* parent, Meridian::Shader* shader, Meridian::I32 x,
                                 Meridian::I32 y, Meridian::I32 w, Meridian::I32 h, Meridian::F32 u0 = 0.0f,
                                 Meridian::F32 v0 = 0.0f, Meridian::F32 u1 = 1.0f, Meridian::F32 v1 = 1.0f);

// A text under its own transform at (x, y).
Meridian::TextGeometry* AddText(Meridian::Group* parent, Meridian::Shader* font, Meridian::I32 x, Meridian::I32 y,
                                Meridian::I32 horizontal, Meridian::I32 vertical, const char* text);

// The race HUD and the fade overlay, under hud.m_RaceRoot.
void BuildHud(RaceHud& hud, Meridian::Shader* largeFont, Meridian::Shader* gui);

// Reads "./Data/SkyRail/config.ini" and hands its dead zones to the input
// device; a missing file changes nothing. musicFolder (when given) receives
// the [Music] section's folder key ("~/" standing for $HOME), or stays as it
// is when there is none.
void ReadConfiguration(const char* path, Meridian::Input* input, std::string* musicFolder = nullptr);

}  // namespace Screens
