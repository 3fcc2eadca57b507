// FontTexture2D: a bitmap font, a Texture2D holding the font image (bottom
// row first) plus the glyph table read from its .gly file. TextGeometry lays
// text out from the table and the image size.
// Depends on: Scene/Texture2D.h, Import/GlyphRecord.h.
#pragma once

#include "Import/GlyphRecord.h"
#include "Scene/Texture2D.h"

namespace Meridian {

class FontTexture2D : public Texture2D {
    MERIDIAN_TAGGED_CLASS(FontTexture2D, Texture2D, Tags::FontTexture2D)

    // Copies the table (indexed by character code; code -1 marks absent glyphs).
    void SetGlyphs(const GlyphTable& glyphs) { m_Glyphs = glyphs; }
    void GetGlyphs(GlyphTable& out) const { out = m_Glyphs; }
    const GlyphTable& Glyphs() const { return m_Glyphs; }

    // Nominal glyph size the game font was made for (e.g. 12.0 x 12.0); not
    // used by layout.
    void SetGlyphSize(Fixed width, Fixed height) {
        m_GlyphWidth = width;
        m_GlyphHeight = height;
    }
    void GetGlyphSize(Fixed& width, Fixed& height) const {
        width = m_GlyphWidth;
        height = m_GlyphHeight;
    }

private:
    GlyphTable m_Glyphs;
    Fixed m_GlyphWidth;
    Fixed m_GlyphHeight;
};

}  // namespace Meridian
