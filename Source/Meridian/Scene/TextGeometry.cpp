#include "Scene/TextGeometry.h"

#include "Core/Log.h"
#include "Core/Utf8.h"
#include "Scene/FontTexture2D.h"
#include "Scene/Shader.h"

namespace Meridian {

namespace {

const size_t MaxVertices = 65536;

Fixed Pixels(I32 value) { return Fixed::FromInt(value); }

// 1 / size as float, scaled to Fixed with truncation.
Fixed Reciprocal(I32 size) { return Fixed::FromRaw(static_cast<I32>(1.0f / static_cast<F32>(size) * 65536.0f)); }

// The glyph that draws character c (a line feed is drawn as a space; a
// character the font lacks as its placeholder), or null: the text ends at
// a zero, and fonts without a placeholder skip what they lack.
const GlyphRecord* GlyphFor(const GlyphTable& glyphs, U32 c) {
    if (c == '\n') c = ' ';
    if (c < glyphs.size() && glyphs[c].code >= 0) return &glyphs[c];
    if (PlaceholderCode < glyphs.size() && glyphs[PlaceholderCode].code >= 0) return &glyphs[PlaceholderCode];
    return nullptr;
}

// Adds a Fixed offset to a stored float coordinate.
F32 Shift(F32 value, Fixed offset) { return (Fixed::FromFloat(value) + offset).ToFloat(); }

}  // namespace

void TextGeometry::SetText(const char* text) {
    const char* value = text ? text : "";
    if (m_Text == value) return;
    m_Text = value;
    m_Rebuild = 1;
}

void TextGeometry::SetAlignment(I32 horizontal, I32 vertical) {
    if (horizontal != m_HorizontalAlignment || vertical != m_VerticalAlignment) m_Rebuild = 1;
    m_HorizontalAlignment = horizontal;
    m_VerticalAlignment = vertical;
}

void TextGeometry::SetScale(Fixed x, Fixed y) {
    if (x != m_ScaleX || y != m_ScaleY) m_Rebuild = 1;
    m_ScaleX = x;
    m_ScaleY = y;
}

Fixed TextGeometry::Measure(const FontTexture2D* font, const std::string& text, Fixed scaleX) {
    if (!font) return Fixed::Zero;
    // The pen of UpdateGeometry, without the quads.
    const GlyphTable& glyphs = font->Glyphs();
    Fixed px;
    for (size_t pos = 0; pos < text.size();) {
        const U32 c = Utf8::Next(text, pos);
        if (c == 0) break;
        const GlyphRecord* g = GlyphFor(glyphs, c);
        if (!g) continue;
        px += Pixels(g->advanceX) * scaleX;
        if (px.ToInt() % 2 != 0) px += scaleX;
    }
    return px;
}

void TextGeometry::UpdateGeometry() {
    if (!m_Rebuild) return;
    Shader* shader = GetShader();
    if (!shader) {
        LogE() << "TextGeometry::UpdateGeometry: need shader to build geometry.";
        return;
    }
    FontTexture2D* font = Cast<FontTexture2D>(shader->GetTexture(0));
    if (!font) {
        LogE() << "TextGeometry::UpdateGeometry: Shader needs to have FontTexture2D at pass 0.";
        return;
    }
    const I32 width = font->GetWidth(), height = font->GetHeight();
    if (width < 1 || height < 1) {
        LogE() << "TextGeometry::UpdateGeometry: FontTexture2D has no image.";
        return;
    }

    PolygonData& data = *m_Data;
    data.m_Indices.clear();
    data.m_Vertices.clear();
    data.m_Normals.clear();
    data.m_Colors.clear();
    data.m_TexCoords[0].clear();

    const Fixed iw = Reciprocal(width), ih = Reciprocal(height);
    const Fixed sx = m_ScaleX, sy = m_ScaleY;
    const GlyphTable& glyphs = font->Glyphs();
    Fixed px, py;
    for (size_t pos = 0; pos < m_Text.size();) {
        const U32 c = Utf8::Next(m_Text, pos);
        if (c == 0) break;
        const GlyphRecord* glyph = GlyphFor(glyphs, c);
        if (!glyph) continue;
        if (data.m_Vertices.size() + 4 > MaxVertices) {
            LogW() << "TextGeometry::UpdateGeometry: text too long, the rest is dropped.";
            break;
        }
        const GlyphRecord& g = *glyph;
        const Fixed left = px, right = px + Pixels(g.w) * sx;
        const Fixed bottom = py + (Pixels(g.top) - Pixels(g.h)) * sy, top = bottom + Pixels(g.h) * sy;
        const F32 u0 = (Pixels(g.x) * iw).ToFloat(), u1 = ((Pixels(g.x) + Pixels(g.w)) * iw).ToFloat();
        const F32 v0 = (Pixels(g.y) * ih).ToFloat(), v1 = ((Pixels(g.y) + Pixels(g.h)) * ih).ToFloat();

        const U16 first = static_cast<U16>(data.m_Vertices.size());
        data.m_Vertices.push_back({left.ToFloat(), bottom.ToFloat(), 0.0f});
        data.m_Vertices.push_back({right.ToFloat(), bottom.ToFloat(), 0.0f});
        data.m_Vertices.push_back({right.ToFloat(), top.ToFloat(), 0.0f});
        data.m_Vertices.push_back({left.ToFloat(), top.ToFloat(), 0.0f});
        data.m_TexCoords[0].push_back({u0, v0});
        data.m_TexCoords[0].push_back({u1, v0});
        data.m_TexCoords[0].push_back({u1, v1});
        data.m_TexCoords[0].push_back({u0, v1});
        const U16 quad[6] = {first, static_cast<U16>(first + 1), static_cast<U16>(first + 2),
                             static_cast<U16>(first + 2), static_cast<U16>(first + 3), first};
        data.m_Indices.insert(data.m_Indices.end(), quad, quad + 6);

        // Glyphs start on even pixel columns so the small fonts stay crisp.
        px += Pixels(g.advanceX) * sx;
        if (px.ToInt() % 2 != 0) px += sx;
        py += Pixels(g.advanceY) * sy;
    }

    const Fixed two = Fixed::FromInt(2);
    const Fixed shiftX = m_HorizontalAlignment == AlignCentre ? -(px / two)
                         : m_HorizontalAlignment == AlignEnd  ? -px
                                                              : Fixed::Zero;
    const Fixed shiftY = m_VerticalAlignment == AlignCentre ? -(py / two)
                         : m_VerticalAlignment == AlignEnd  ? -py
                                                            : Fixed::Zero;
    if (shiftX != Fixed::Zero || shiftY != Fixed::Zero) {
        for (Float3& p : data.m_Vertices) {
            p.x = Shift(p.x, shiftX);
            p.y = Shift(p.y, shiftY);
        }
    }

    data.m_BoundingSphere = BoundsOf(data.m_Vertices);
    data.m_Dirty |= ArrayVertices | ArrayIndices | ArrayTexCoords0;
    data.m_PrimitiveCount = static_cast<I32>(data.m_Indices.size() / 3);
    m_Rebuild = 0;
}

}  // namespace Meridian
