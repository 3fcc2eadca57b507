// A tiny font made in code, so the front-end tests need no generated data files: printable ASCII glyphs of
// 4 x 6 pixels, advance 5, nominal size 8 x 8.
#pragma once

#include <cstring>

#include "Scene/FontTexture2D.h"
#include "Scene/Shader.h"

namespace FrontTest {

inline Meridian::FontTexture2D* MakeFont() {
    using namespace Meridian;
    Image* image = New<Image>();
    image->Create(ImageLuminanceAlpha, 32, 32);
    memset(image->GetPixels(), 0xFF, image->GetPixelBytes());
    GlyphTable glyphs(256, GlyphRecord{-1, 0, 0, 0, 0, 0, 0, 0, 0});
    for (I32 code = 32; code < 127; ++code) glyphs[code] = GlyphRecord{code, 0, 0, 4, 6, 5, 0, 0, 6};
    FontTexture2D* font = New<FontTexture2D>();
    font->SetImage(image);
    font->SetGlyphs(glyphs);
    font->SetGlyphSize(Fixed::FromInt(8), Fixed::FromInt(8));
    return font;
}

// A font shader like the front end's small font; only texture 0 matters to the classes under test.
inline Meridian::Shader* MakeFontShader() {
    Meridian::Shader* shader = Meridian::New<Meridian::Shader>();
    shader->SetTexture(0, MakeFont());
    shader->SetLighting(false);
    shader->SetBlendMode(Meridian::Shader::BlendAlphaTest);
    return shader;
}

inline Meridian::Fixed Units(Meridian::I32 value) { return Meridian::Fixed::FromInt(value); }

}  // namespace FrontTest
