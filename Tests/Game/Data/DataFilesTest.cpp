// The game's data files as skyrail-datagen makes them, imported with the engine's own importers, with the
// properties the game relies on: sizes, formats, atlas rectangles, glyph tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Image/ImportPNG.h"
#include "Import/ImportGlyphData.h"
#include "Support/TestUtil.h"

using namespace Meridian;

namespace {

const std::string Root = std::string(SKYRAIL_TEST_TOOLS_DIR) + "/../";
const std::string GameDir = Root + "Data/SkyRail/";
const std::string FontDir = Root + "Data/Fonts/";

bool IsPowerOfTwo(int v) { return v > 0 && (v & (v - 1)) == 0; }

// Pixel (x, y) of an image loaded bottom row first, y counted from the bottom.
const U8* PixelAt(Image* image, int x, int y) {
    return image->GetPixels() + (static_cast<size_t>(y) * image->GetWidth() + x) * BytesPerPixel(image->GetFormat());
}

}  // namespace

TEST(DataFiles, EveryTextureImportsWithItsSizeAndFormat) {
    const struct {
        const char* file;
        I32 format;
        int width, height;
    } textures[] = {{"track01.png", ImageRGB, 256, 256},   {"capsule01.png", ImageRGB, 128, 128},
                    {"mine01.png", ImageRGB, 128, 128},    {"glider01.png", ImageRGB, 256, 256},
                    {"stars01.png", ImageRGBA, 64, 64},    {"glider01shadow.png", ImageLuminanceAlpha, 128, 64},
                    {"pixel.png", ImageRGBA, 8, 8},        {"pattern01.png", ImageRGB, 32, 32},
                    {"loading01.png", ImageRGBA, 64, 64},  {"gui01.png", ImageRGBA, 512, 512}};
    for (const auto& t : textures) {
        Ref<Image> image = ImportPNG((GameDir + t.file).c_str(), true);
        ASSERT_TRUE(image) << t.file;
        EXPECT_EQ(t.format, image->GetFormat()) << t.file;
        EXPECT_TRUE(t.width == image->GetWidth() && t.height == image->GetHeight()) << t.file;
    }
    // The fade overlay and help background are tinted white.
    Ref<Image> pixel = ImportPNG((GameDir + "pixel.png").c_str(), true);
    for (U32 i = 0; i < pixel->GetPixelBytes(); ++i) ASSERT_EQ(255, pixel->GetPixels()[i]);
    // The shadow is black, transparent at its rim and darkest under the body.
    Ref<Image> shadow = ImportPNG((GameDir + "glider01shadow.png").c_str(), true);
    EXPECT_TRUE(PixelAt(shadow, 0, 0)[1] == 0 && PixelAt(shadow, 127, 63)[1] == 0);
    EXPECT_GT(PixelAt(shadow, 64, 32)[1], 120);
    EXPECT_EQ(0, PixelAt(shadow, 64, 32)[0]);
}

TEST(DataFiles, TrackTextureTilesAlongTheRoadAndShowsThreeLanes) {
    Ref<Image> track = ImportPNG((GameDir + "track01.png").c_str(), true);
    ASSERT_TRUE(track);
    const int w = track->GetWidth(), h = track->GetHeight();
    auto brightness = [&](int x, int y) {
        const U8* p = PixelAt(track, x, y);
        return p[0] + p[1] + p[2];
    };
    // Tileable along v: the last row continues into the first about as smoothly as neighbouring rows.
    double wrap = 0, inner = 0;
    for (int x = 0; x < w; ++x) {
        wrap += std::abs(brightness(x, 0) - brightness(x, h - 1));
        inner += std::abs(brightness(x, h / 3) - brightness(x, h / 3 + 1));
    }
    EXPECT_LT(wrap, inner * 2 + w * 6);
    // Solid lines at u 0.125 and 0.875 on every row, dashed dividers at 0.375 and 0.625, dark lane centres.
    int dividerRows = 0;
    for (int y = 0; y < h; ++y) {
        EXPECT_TRUE(brightness(w / 8, y) > 600 && brightness(w * 7 / 8, y) > 600) << y;
        for (int lane : {1, 2, 3}) EXPECT_LT(brightness(w * lane / 4 + 3, y), 300);
        if (brightness(w * 3 / 8, y) > 600 && brightness(w * 5 / 8, y) > 600) ++dividerRows;
    }
    EXPECT_TRUE(dividerRows > h / 3 && dividerRows < h * 3 / 4) << dividerRows;
}

TEST(DataFiles, GuiAtlasHoldsEveryPictureAtItsRectangle) {
    Ref<Image> gui = ImportPNG((GameDir + "gui01.png").c_str(), true);
    ASSERT_TRUE(gui);
    // Texture coordinates count v from the bottom row, as the image is stored.
    const struct {
        const char* what;
        double u0, v0, u1, v1;
    } rects[] = {{"banner", 0, 0.439453125, 0.625, 0.75},
                 {"song bar", 0, 0.875, 0.625, 1.0},
                 {"score bar", 0, 0.751953125, 0.625, 0.875},
                 {"energy 0", 0, 0.328125, 0.46484375, 0.4375},
                 {"energy 1", 0, 0.21875, 0.46484375, 0.328125},
                 {"energy 2", 0, 0.109375, 0.46484375, 0.21875},
                 {"energy 3", 0, 0, 0.46484375, 0.109375},
                 {"energy 4", 0.533203125, 0.328125, 0.998046875, 0.4375},
                 {"energy 5", 0.533203125, 0.21875, 0.998046875, 0.328125},
                 {"ornament", 0.77734375, 0.04296875, 1.0, 0.12109375}};
    std::vector<int> opaque, bright;
    for (const auto& r : rects) {
        int solid = 0, lit = 0;
        for (int y = static_cast<int>(r.v0 * 512); y < static_cast<int>(r.v1 * 512); ++y)
            for (int x = static_cast<int>(r.u0 * 512); x < static_cast<int>(r.u1 * 512); ++x) {
                const U8* p = PixelAt(gui, x, y);
                solid += p[3] > 200;
                lit += p[3] > 200 && std::min({p[0], p[1], p[2]}) < 140 && std::max({p[0], p[1], p[2]}) > 200;
            }
        EXPECT_GT(solid, static_cast<int>((r.u1 - r.u0) * 512) * static_cast<int>((r.v1 - r.v0) * 512) / 8) << r.what;
        opaque.push_back(solid);
        bright.push_back(lit);
    }
    // Title bars are solid edge to edge; each energy picture lights more than the one before.
    EXPECT_GT(opaque[1], 320 * 64 * 9 / 10);
    EXPECT_GT(opaque[2], 320 * 63 * 9 / 10);
    for (int e = 1; e <= 5; ++e) EXPECT_GT(bright[3 + e], bright[2 + e]) << "energy " << e;
    // Nothing bleeds into the gap column between the two energy columns.
    for (int y = 0; y < 224; ++y)
        for (int x = 240; x < 272; ++x) ASSERT_EQ(0, PixelAt(gui, x, y)[3]) << x << "," << y;
}

TEST(DataFiles, FontsHoldEveryPrintableGlyph) {
    const struct {
        const char* name;
        int size;
        bool monochrome;  // the small font is drawn with alpha test: all or nothing
    } fonts[] = {{"SpaceAge12", 12, false}, {"04b03", 8, true}};
    for (const auto& f : fonts) {
        SCOPED_TRACE(f.name);
        Ref<Image> image = ImportPNG((FontDir + f.name + ".png").c_str(), true);
        ASSERT_TRUE(image);
        EXPECT_EQ(ImageLuminanceAlpha, image->GetFormat());
        const int w = image->GetWidth(), h = image->GetHeight();
        EXPECT_TRUE(IsPowerOfTwo(w) && IsPowerOfTwo(h));
        GlyphData data = ImportGlyphData((FontDir + f.name + ".gly").c_str());
        EXPECT_EQ(f.size, data.header);
        // Latin-1, and the placeholder at 127.
        ASSERT_EQ(256u, data.glyphs.size());
        int maxHeight = 0, grey = 0;
        for (int c = 32; c <= 255; ++c) {
            const GlyphRecord& g = data.glyphs[static_cast<size_t>(c)];
            if (c > 127 && c < 160) {
                EXPECT_EQ(-1, g.code) << c;
                continue;
            }
            ASSERT_EQ(c, g.code);
            EXPECT_TRUE(g.x >= 0 && g.y >= 0 && g.x + g.w <= w && g.y + g.h <= h) << c;
            EXPECT_TRUE(g.advanceX > 0 && g.advanceY == 0) << c;
            EXPECT_TRUE(g.top <= f.size + 1 && g.top - g.h >= -f.size / 2) << c;  // near the baseline
            maxHeight = std::max(maxHeight, g.h);
            int ink = 0;
            for (int y = g.y; y < g.y + g.h; ++y)
                for (int x = g.x; x < g.x + g.w; ++x) {
                    const U8* p = PixelAt(image, x, y);
                    EXPECT_EQ(255, p[0]);
                    ink += p[1] != 0;
                    grey += p[1] != 0 && p[1] != 255;
                }
            EXPECT_TRUE(ink > 0 || c == ' ' || c == 160 || c == 173) << c;  // blanks and the soft hyphen
            // No other glyph's rectangle overlaps this one.
            for (int d = 32; d < c; ++d) {
                const GlyphRecord& o = data.glyphs[static_cast<size_t>(d)];
                if (o.code < 0) continue;
                const bool apart = g.x + g.w <= o.x || o.x + o.w <= g.x || g.y + g.h <= o.y || o.y + o.h <= g.y;
                EXPECT_TRUE(apart || g.w == 0 || o.w == 0) << c << " overlaps " << d;
            }
        }
        EXPECT_LE(maxHeight, f.size + 4);
        EXPECT_TRUE(f.monochrome ? grey == 0 : grey > 100) << grey;
    }
}
