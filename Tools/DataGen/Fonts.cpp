// Bitmap fonts: Latin-1 (32..126 and 160..255) rendered with FreeType from
// the DejaVu faces into a white-on-transparent atlas and a .gly glyph table,
// with the replacement character U+FFFD at code 127 as the placeholder the
// layout draws for characters the font lacks.
//
// The engine's text layout places a glyph's left edge at the pen and its
// bottom at top - h below the baseline, so each cell includes the glyph's
// left side bearing and "top" is FreeType's bitmap top.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdio>
#include <vector>

#include "DataGen.h"

namespace DataGen {

namespace {

FT_Library Library() {
    static FT_Library library = nullptr;
    if (!library && FT_Init_FreeType(&library) != 0) library = nullptr;
    return library;
}

class Face {
public:
    Face(const std::string& path, int pixelWidth, int pixelHeight) : m_Face(nullptr) {
        FT_Library library = Library();
        if (!library || FT_New_Face(library, path.c_str(), 0, &m_Face) != 0) {
            m_Face = nullptr;
            std::fprintf(stderr, "skyrail-datagen: cannot open font %s\n", path.c_str());
            return;
        }
        FT_Set_Pixel_Sizes(m_Face, static_cast<FT_UInt>(pixelWidth), static_cast<FT_UInt>(pixelHeight));
    }
    ~Face() {
        if (m_Face) FT_Done_Face(m_Face);
    }
    Face(const Face&) = delete;
    Face& operator=(const Face&) = delete;

    FT_Face Get() const { return m_Face; }

    bool Has(FT_ULong code) const { return FT_Get_Char_Index(m_Face, code) != 0; }
    // Renders one character; coverage(x, y) of its bitmap rows (top first).
    bool Render(FT_ULong code, bool mono) {
        const FT_Int32 flags = FT_LOAD_RENDER | (mono ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL);
        if (FT_Load_Char(m_Face, code, flags) != 0) return false;
        if (m_Face->glyph->format != FT_GLYPH_FORMAT_BITMAP &&
            FT_Render_Glyph(m_Face->glyph, mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) != 0)
            return false;
        return true;
    }
    double Coverage(int x, int y) const {
        const FT_Bitmap& bitmap = m_Face->glyph->bitmap;
        const unsigned char* row = bitmap.buffer + static_cast<long>(y) * bitmap.pitch;
        if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) return (row[x >> 3] >> (7 - (x & 7))) & 1 ? 1.0 : 0.0;
        return row[x] / 255.0;
    }

private:
    FT_Face m_Face;
};

struct Glyph {
    int code;
    int w, h;        // cell size, bearing included
    int bearing;     // empty columns before the bitmap
    int top;         // bitmap top above the baseline
    int advance;
    std::vector<double> coverage;  // h rows of w, top row first
    int x = 0, yTop = 0;           // position in the atlas, PNG rows (top first)
};

int NextPowerOfTwo(int v) {
    int p = 1;
    while (p < v) p <<= 1;
    return p;
}

void PutI32(std::vector<uint8_t>& out, int32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(static_cast<uint32_t>(value) >> (8 * i)));
}

bool WriteFont(const std::string& dir, const std::string& name, const std::string& fontFile, int pixelSize, bool mono) {
    Face face(FontPath(fontFile), pixelSize, pixelSize);
    if (!face.Get()) return false;
    std::vector<Glyph> glyphs;
    std::vector<int> codes;
    for (int code = 32; code <= 255; ++code)
        if (code <= 127 || code >= 160) codes.push_back(code);
    for (int code : codes) {
        const FT_ULong character = code != 127 ? static_cast<FT_ULong>(code) : face.Has(0xFFFD) ? 0xFFFD : '?';
        if (code > 127 && !face.Has(character)) continue;  // drawn as the placeholder
        if (!face.Has(character) || !face.Render(character, mono)) {
            std::fprintf(stderr, "skyrail-datagen: %s has no glyph %lu\n", fontFile.c_str(), character);
            return false;
        }
        const FT_GlyphSlot slot = face.Get()->glyph;
        Glyph g;
        g.code = code;
        g.bearing = std::max(0, static_cast<int>(slot->bitmap_left));
        const int bw = static_cast<int>(slot->bitmap.width), bh = static_cast<int>(slot->bitmap.rows);
        g.w = bw > 0 ? g.bearing + bw : 0;
        g.h = bh;
        g.top = slot->bitmap_top;
        g.advance = static_cast<int>((slot->advance.x + 32) >> 6);
        // The layout moves the pen on to an even column after every glyph,
        // so an odd advance costs a pixel; take it back where the glyph still
        // keeps a clear column before the next one (blanks keep their width).
        if (g.advance % 2 == 1 && g.w > 0 && g.w + 2 <= g.advance) g.advance -= 1;
        // Small sizes hint the blank down to two pixels: too little between words.
        if (code == ' ') g.advance = std::max(g.advance, 4);
        g.coverage.assign(static_cast<size_t>(g.w) * g.h, 0.0);
        for (int y = 0; y < bh; ++y)
            for (int x = 0; x < bw; ++x) g.coverage[static_cast<size_t>(y) * g.w + g.bearing + x] = face.Coverage(x, y);
        glyphs.push_back(g);
    }
    // Shelf packing with a two-pixel gap (mipmaps and filtering never mix
    // neighbours); the smallest power-of-two atlas that holds everything.
    const int gap = 2;
    int bestW = 0, bestH = 0;
    for (int width : {64, 128, 256, 512}) {
        int x = gap, y = gap, shelf = 0;
        for (Glyph& g : glyphs) {
            if (x + g.w + gap > width) x = gap, y += shelf + gap, shelf = 0;
            g.x = x, g.yTop = y;
            x += g.w + gap;
            shelf = std::max(shelf, g.h);
        }
        const int height = NextPowerOfTwo(y + shelf + gap);
        if (height <= width && (bestW == 0 || width * height < bestW * bestH)) bestW = width, bestH = height;
    }
    {
        int x = gap, y = gap, shelf = 0;
        for (Glyph& g : glyphs) {
            if (x + g.w + gap > bestW) x = gap, y += shelf + gap, shelf = 0;
            g.x = x, g.yTop = y;
            x += g.w + gap;
            shelf = std::max(shelf, g.h);
        }
    }
    Canvas atlas(bestW, bestH, {1, 1, 1, 0});
    for (const Glyph& g : glyphs)
        for (int y = 0; y < g.h; ++y)
            for (int x = 0; x < g.w; ++x) atlas.At(g.x + x, g.yTop + y).a = g.coverage[static_cast<size_t>(y) * g.w + x];
    if (!atlas.WritePng(dir + name + ".png", Canvas::LuminanceAlpha)) return false;

    // .gly version 1: "GLY1", a header word (the nominal pixel size), then
    // nine words per glyph: code, x, y (bottom edge counted from the bottom
    // row), w, h, advance x, advance y, unused, top.
    std::vector<uint8_t> bytes = {'G', 'L', 'Y', '1'};
    PutI32(bytes, pixelSize);
    for (const Glyph& g : glyphs) {
        const int bottom = bestH - (g.yTop + g.h);
        for (int value : {g.code, g.x, bottom, g.w, g.h, g.advance, 0, 0, g.top}) PutI32(bytes, value);
    }
    const std::string path = dir + name + ".gly";
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        std::fprintf(stderr, "skyrail-datagen: cannot create %s\n", path.c_str());
        return false;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) != 0 || !ok) {
        std::fprintf(stderr, "skyrail-datagen: write error on %s\n", path.c_str());
        return false;
    }
    return true;
}

}  // namespace

std::string FontPath(const std::string& file) { return "/usr/share/fonts/truetype/dejavu/" + file; }

bool WriteFonts(const std::string& dir) {
    return WriteFont(dir, "SpaceAge12", "DejaVuSans-Bold.ttf", 12, false) &&
           WriteFont(dir, "04b03", "DejaVuSans.ttf", 8, true);
}

double DrawText(Canvas& canvas, const std::string& fontFile, int pixelWidth, int pixelHeight, const std::string& text,
                int x, int y, const Color& color, bool measureOnly) {
    Face face(FontPath(fontFile), pixelWidth, pixelHeight);
    if (!face.Get()) return 0;
    int pen = x;
    for (char c : text) {
        if (!face.Render(static_cast<unsigned char>(c), false)) continue;
        const FT_GlyphSlot slot = face.Get()->glyph;
        if (!measureOnly)
            for (int row = 0; row < static_cast<int>(slot->bitmap.rows); ++row)
                for (int col = 0; col < static_cast<int>(slot->bitmap.width); ++col) {
                    const double coverage = face.Coverage(col, row);
                    if (coverage > 0)
                        canvas.Over(pen + slot->bitmap_left + col, y - slot->bitmap_top + row,
                                    WithAlpha(color, color.a * coverage));
                }
        pen += static_cast<int>((slot->advance.x + 32) >> 6);
    }
    return pen - x;
}

}  // namespace DataGen
