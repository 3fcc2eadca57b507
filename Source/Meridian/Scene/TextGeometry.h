// TextGeometry: one line of text laid out from a bitmap font.
//
// Texture 0 of the node's Shader must be a FontTexture2D with an image; the
// text is UTF-8 (see Core/Utf8.h) and is laid out character by character
// from its glyph table (a line feed is drawn as a space, there is no line
// breaking; a character without a glyph is drawn as the font's placeholder,
// PlaceholderCode, and skipped only by fonts that have none).
// After each glyph the pen moves by its advance x scale, then on to the next
// even pixel column. Horizontal and vertical alignment 1 centre the text on
// the origin, 2 end it there; anything else starts it there. The quads are
// rebuilt in UpdateDrawable while the rebuild flag is set (the text changed,
// or an alignment or scale changed); a failed rebuild logs an error line,
// keeps the previous arrays and is retried on the next draw.
// Units: pixels of the font image times the Fixed scales.
// Depends on: Scene/PolygonGeometry.h, Scene/Shader.h, Scene/FontTexture2D.h.
// Limits: 16384 glyphs per text (u16 indices); further characters are dropped
// with a warning.
#pragma once

#include <string>

#include "Scene/PolygonGeometry.h"

namespace Meridian {

class FontTexture2D;

class TextGeometry : public PolygonGeometry {
    MERIDIAN_TAGGED_CLASS(TextGeometry, PolygonGeometry, Tags::TextGeometry)

    enum Alignment : I32 { AlignStart = 0, AlignCentre = 1, AlignEnd = 2 };

    TextGeometry()
        : m_HorizontalAlignment(AlignStart), m_VerticalAlignment(AlignStart), m_Rebuild(0),
          m_ScaleX(Fixed::One), m_ScaleY(Fixed::One) {}

    void UpdateDrawable() override { UpdateGeometry(); }
    void UpdateGeometry();

    // Marks a rebuild only when the text differs; null is the empty text.
    void SetText(const char* text);
    const std::string& GetText() const { return m_Text; }
    void SetAlignment(I32 horizontal, I32 vertical);
    I32 GetHorizontalAlignment() const { return m_HorizontalAlignment; }
    I32 GetVerticalAlignment() const { return m_VerticalAlignment; }
    void SetScale(Fixed x, Fixed y);
    Fixed GetScaleX() const { return m_ScaleX; }
    Fixed GetScaleY() const { return m_ScaleY; }
    bool NeedsRebuild() const { return m_Rebuild != 0; }

    // The width text takes in font at horizontal scale scaleX: where the pen
    // of the layout ends (null font: 0). Centred text spans -width/2 .. width/2.
    static Fixed Measure(const FontTexture2D* font, const std::string& text, Fixed scaleX = Fixed::One);

private:
    std::string m_Text;
    I32 m_HorizontalAlignment;
    I32 m_VerticalAlignment;
    U8 m_Rebuild;
    Fixed m_ScaleX;
    Fixed m_ScaleY;
};

}  // namespace Meridian
