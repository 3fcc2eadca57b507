// The game's data files as the build generates them (skyrail-datagen into the
// build folder): every file the race and the screens load is there and
// imports with the engine's own importers, with the properties the game
// relies on (sizes, formats, atlas rectangles, glyph tables, configuration
// keys), and the demo song analyses into a varied course.
#include <gtest/gtest.h>

#include <iniparser.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "Analysis/TrackGen.h"
#include "Image/ImportPNG.h"
#include "Import/ImportGlyphData.h"
#include "Import/ImportMSD.h"
#include "Math/MathFunctions.h"
#include "Scene/FileTexture2D.h"
#include "Scene/FontTexture2D.h"
#include "Scene/PolygonGeometry.h"
#include "Scene/Shader.h"
#include "Scene/TextGeometry.h"
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

TEST(DataFiles, EveryTextureImportsPowerOfTwoInItsFormat) {
    const struct {
        const char* file;
        I32 format;
        int width, height;
    } textures[] = {{"track01.png", ImageRGB, 256, 256},         {"capsule01.png", ImageRGB, 128, 128},
                    {"mine01.png", ImageRGB, 128, 128},          {"glider01.png", ImageRGB, 256, 256},
                    {"glider01shadow.png", ImageLuminanceAlpha, 128, 64}, {"stars01.png", ImageRGBA, 64, 64},
                    {"pixel.png", ImageRGBA, 8, 8},              {"pattern01.png", ImageRGB, 32, 32},
                    {"loading01.png", ImageRGBA, 64, 64},        {"gui01.png", ImageRGBA, 512, 512}};
    for (const auto& t : textures) {
        SCOPED_TRACE(t.file);
        Ref<Image> image = ImportPNG((GameDir + t.file).c_str(), true);
        ASSERT_TRUE(image);
        EXPECT_EQ(t.format, image->GetFormat());
        EXPECT_EQ(t.width, image->GetWidth());
        EXPECT_EQ(t.height, image->GetHeight());
        EXPECT_TRUE(IsPowerOfTwo(image->GetWidth()) && IsPowerOfTwo(image->GetHeight()));
    }
    // The fade overlay and help background are tinted white.
    Ref<Image> pixel = ImportPNG((GameDir + "pixel.png").c_str(), true);
    for (U32 i = 0; i < pixel->GetPixelBytes(); ++i) ASSERT_EQ(255, pixel->GetPixels()[i]);
    // The shadow is black, transparent at its rim and darkest under the body.
    Ref<Image> shadow = ImportPNG((GameDir + "glider01shadow.png").c_str(), true);
    EXPECT_EQ(0, PixelAt(shadow, 0, 0)[1]);
    EXPECT_EQ(0, PixelAt(shadow, 127, 63)[1]);
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
    // Tileable along v: the last row continues into the first as smoothly as
    // neighbouring rows do.
    double wrap = 0, inner = 0;
    for (int x = 0; x < w; ++x) {
        wrap += std::abs(brightness(x, 0) - brightness(x, h - 1));
        inner += std::abs(brightness(x, h / 3) - brightness(x, h / 3 + 1));
    }
    EXPECT_LT(wrap, inner * 2 + w * 6);
    // Solid lines at +-6 units of the 16-unit road (u 0.125 and 0.875) on
    // every row; dashed dividers at +-2 (u 0.375, 0.625) on part of them; dark
    // asphalt in the lane centres (u 0.25, 0.5, 0.75).
    int dividerRows = 0;
    for (int y = 0; y < h; ++y) {
        EXPECT_GT(brightness(w / 8, y), 600);
        EXPECT_GT(brightness(w * 7 / 8, y), 600);
        for (int lane : {1, 2, 3}) EXPECT_LT(brightness(w * lane / 4 + 3, y), 300);
        if (brightness(w * 3 / 8, y) > 600 && brightness(w * 5 / 8, y) > 600) ++dividerRows;
    }
    EXPECT_GT(dividerRows, h / 3);
    EXPECT_LT(dividerRows, h * 3 / 4);
}

TEST(DataFiles, GuiAtlasHoldsEveryPictureAtItsRectangle) {
    Ref<Image> gui = ImportPNG((GameDir + "gui01.png").c_str(), true);
    ASSERT_TRUE(gui);
    struct Rect {
        const char* what;
        double u0, v0, u1, v1;
    };
    const Rect rects[] = {{"banner", 0, 0.439453125, 0.625, 0.75},
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
    for (const Rect& r : rects) {
        SCOPED_TRACE(r.what);
        int solid = 0, lit = 0;
        // Texture coordinates count v from the bottom row: exactly how the
        // image is stored.
        for (int y = static_cast<int>(r.v0 * 512); y < static_cast<int>(r.v1 * 512); ++y)
            for (int x = static_cast<int>(r.u0 * 512); x < static_cast<int>(r.u1 * 512); ++x) {
                const U8* p = PixelAt(gui, x, y);
                if (p[3] > 200) ++solid;
                if (p[3] > 200 && std::min({p[0], p[1], p[2]}) < 140 && std::max({p[0], p[1], p[2]}) > 200) ++lit;
            }
        const int area = static_cast<int>((r.u1 - r.u0) * 512) * static_cast<int>((r.v1 - r.v0) * 512);
        EXPECT_GT(solid, area / 8);
        opaque.push_back(solid);
        bright.push_back(lit);
    }
    // Title bars are solid from edge to edge.
    EXPECT_GT(opaque[1], 320 * 64 * 9 / 10);
    EXPECT_GT(opaque[2], 320 * 63 * 9 / 10);
    // Each energy picture lights more than the one before.
    for (int e = 1; e <= 5; ++e) EXPECT_GT(bright[3 + e], bright[2 + e]) << "energy " << e;
    // Nothing outside the rectangles bleeds into them: the gap column between
    // the two energy columns is empty.
    for (int y = 0; y < 224; ++y)
        for (int x = 240; x < 272; ++x) ASSERT_EQ(0, PixelAt(gui, x, y)[3]) << x << "," << y;
}

TEST(DataFiles, FontsHaveEveryPrintableGlyphInsideTheirAtlas) {
    const struct {
        const char* name;
        int size;
        bool monochrome;
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
        ASSERT_EQ(127u, data.glyphs.size());
        int maxHeight = 0, grey = 0;
        for (int c = 32; c <= 126; ++c) {
            const GlyphRecord& g = data.glyphs[static_cast<size_t>(c)];
            ASSERT_EQ(c, g.code);
            EXPECT_GE(g.x, 0);
            EXPECT_GE(g.y, 0);
            EXPECT_LE(g.x + g.w, w);
            EXPECT_LE(g.y + g.h, h);
            EXPECT_GT(g.advanceX, 0);
            EXPECT_EQ(0, g.advanceY);
            EXPECT_LE(g.top, f.size + 1);
            EXPECT_GE(g.top - g.h, -f.size / 2);  // descenders stay near the baseline
            maxHeight = std::max(maxHeight, g.h);
            int ink = 0;
            for (int y = g.y; y < g.y + g.h; ++y)
                for (int x = g.x; x < g.x + g.w; ++x) {
                    const U8* p = PixelAt(image, x, y);
                    EXPECT_EQ(255, p[0]);
                    if (p[1]) ++ink;
                    if (p[1] != 0 && p[1] != 255) ++grey;
                }
            if (c != ' ') {
                EXPECT_GT(ink, 0) << "glyph " << c;
            }
            // No other glyph's rectangle overlaps this one.
            for (int d = 32; d < c; ++d) {
                const GlyphRecord& o = data.glyphs[static_cast<size_t>(d)];
                const bool apart = g.x + g.w <= o.x || o.x + o.w <= g.x || g.y + g.h <= o.y || o.y + o.h <= g.y;
                EXPECT_TRUE(apart || g.w == 0 || o.w == 0) << c << " overlaps " << d;
            }
        }
        EXPECT_LE(maxHeight, f.size + 4);
        // The small font is drawn with alpha test: its pixels are all or nothing.
        if (f.monochrome) {
            EXPECT_EQ(0, grey);
        } else {
            EXPECT_GT(grey, 100);
        }
    }
}

TEST(DataFiles, FontsLayOutSampleTextFromTheirAtlas) {
    InitTables();
    const char* sample = "PRESS \"Start\" 00:42 Score 04250 {ok?}";
    for (const char* name : {"SpaceAge12", "04b03"}) {
        SCOPED_TRACE(name);
        Ref<FontTexture2D> font = New<FontTexture2D>();
        font->SetImage(ImportPNG((FontDir + name + ".png").c_str(), true));
        ASSERT_TRUE(font->GetImage());
        font->SetGlyphs(ImportGlyphData((FontDir + name + ".gly").c_str()).glyphs);
        Ref<Shader> shader = New<Shader>();
        shader->SetTexture(0, font);
        Ref<TextGeometry> text = New<TextGeometry>();
        text->SetShader(shader);
        text->SetText(sample);
        text->UpdateDrawable();
        std::vector<Float2> uv;
        text->GetTexCoords(0, uv);
        std::vector<Float3> v;
        text->GetVertices(v);
        ASSERT_EQ(uv.size(), v.size());
        // Every byte of the sample has a glyph (blanks an empty one).
        EXPECT_EQ(static_cast<int>(std::string(sample).size()) * 2, text->GetPrimitiveCount());
        float right = 0;
        for (size_t i = 0; i < uv.size(); ++i) {
            EXPECT_GE(uv[i].u, 0.0f);
            EXPECT_LE(uv[i].u, 1.0f);
            EXPECT_GE(uv[i].v, 0.0f);
            EXPECT_LE(uv[i].v, 1.0f);
            right = std::max(right, v[i].x);
            EXPECT_GT(v[i].y, -6.0f);
            EXPECT_LT(v[i].y, 14.0f);
        }
        // The line fits the 320-pixel screen with room to spare.
        EXPECT_GT(right, 100.0f);
        EXPECT_LT(right, 300.0f);
        // Every glyph starts on an even column with the font's advances.
        for (size_t i = 0; i < v.size(); i += 4) EXPECT_EQ(0, static_cast<int>(v[i].x) % 2);
    }
}

TEST(DataFiles, ModelsAndConfigurationImport) {
    InitTables();
    for (const char* model : {"capsule01.msd", "mine01.msd", "glider01.msd"}) {
        SCOPED_TRACE(model);
        Ref<Transform> root(ImportMSD((GameDir + model).c_str(), 0));
        ASSERT_TRUE(root);
        ASSERT_GE(root->GetChildCount(), 1u);
        PolygonGeometry* mesh = Cast<PolygonGeometry>(root->GetChild(0));
        ASSERT_TRUE(mesh && mesh->GetShader());
        FileTexture2D* texture = Cast<FileTexture2D>(mesh->GetShader()->GetTexture(0));
        ASSERT_TRUE(texture);
        EXPECT_TRUE(texture->Load());
    }
    dictionary* ini = iniparser_load((GameDir + "config.ini").c_str());
    ASSERT_TRUE(ini);
    EXPECT_EQ(-2048.0, iniparser_getdouble(ini, "Input:joystick_deadzone_L", 0));
    EXPECT_EQ(2048.0, iniparser_getdouble(ini, "Input:joystick_deadzone_R", 0));
    EXPECT_EQ(-2048.0, iniparser_getdouble(ini, "Input:joystick_deadzone_U", 0));
    EXPECT_EQ(2048.0, iniparser_getdouble(ini, "Input:joystick_deadzone_D", 0));
    iniparser_freedict(ini);
}

TEST(DataFiles, DemoSongAnalysesIntoAVariedCourseWithManyOnsets) {
    const std::string song = Root + "Music/SkyRail Demo.ogg";
    ASSERT_TRUE(std::filesystem::exists(song));
    // Analysed from a copy: the track file is written beside the song.
    ::Test::TempDir dir;
    const std::string copy = dir.File("SkyRail Demo.ogg");
    std::filesystem::copy_file(song, copy);
    Ref<MusicDecoder> decoder = CreateDecoder(copy);
    ASSERT_TRUE(decoder && decoder->Open(copy));
    EXPECT_EQ(44100, decoder->Rate());
    EXPECT_EQ(2, decoder->Channels());
    decoder.Reset();

    TrackGen gen(copy);
    ASSERT_EQ(0, gen.Init());
    while (gen.Step()) {
    }
    ASSERT_FALSE(gen.Failed());
    const std::vector<F32>& times = gen.Times();
    ASSERT_FALSE(times.empty());
    EXPECT_NEAR(90.0, times.back(), 1.5);
    for (I32 band = 0; band < TrackGen::BandCount; ++band) {
        SCOPED_TRACE(band);
        const std::vector<F32>& flux = gen.Flux(band);
        const std::vector<F32>& threshold = gen.Thresholds(band);
        // Onsets: local flux peaks above the threshold.
        int onsets = 0;
        for (size_t i = 1; i + 1 < flux.size(); ++i)
            if (flux[i] > threshold[i] && flux[i] >= flux[i - 1] && flux[i] > flux[i + 1]) ++onsets;
        EXPECT_GT(onsets, 90);
        // The sections differ: mean flux per 10-second window spreads widely.
        std::vector<double> sum(9, 0.0), count(9, 0.0);
        for (size_t i = 0; i < flux.size(); ++i) {
            const size_t window = std::min<size_t>(8, static_cast<size_t>(times[i] / 10));
            sum[window] += flux[i], count[window] += 1;
        }
        double low = 1e30, high = 0;
        for (size_t k = 0; k < 9; ++k)
            if (count[k] > 0) low = std::min(low, sum[k] / count[k]), high = std::max(high, sum[k] / count[k]);
        EXPECT_GT(high, low * 2.0);
    }
}
