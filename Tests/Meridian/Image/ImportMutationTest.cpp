// Valid PNG and .gly files damaged a few thousand times with a fixed seed (PNG damage also behind repaired chunk
// checksums, so it reaches the decoder), then imported; each glyph table also lays out every byte value. Nothing may
// crash or trip the sanitizers, every refused PNG logs exactly one error line and every result is consistent.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Image/ImportPNG.h"
#include "Image/WritePNG.h"
#include "Import/ImportGlyphData.h"
#include "Meridian/Import/GlyBytes.h"
#include "Meridian/Import/Mutator.h"
#include "Scene/FontTexture2D.h"
#include "Scene/Shader.h"
#include "Scene/TextGeometry.h"
#include "Support/TestUtil.h"
#include "TestPng.h"

using namespace Meridian;

namespace {

typedef std::vector<unsigned char> Bytes;

std::vector<Bytes> PngBases(const std::string& path) {
    std::vector<Bytes> bases;
    std::vector<U8> rgba(8 * 8 * 4);
    for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = static_cast<U8>(i * 7);
    EXPECT_TRUE(WritePNG(path.c_str(), ImageRGBA, 8, 8, rgba.data()));
    bases.push_back(::Test::ReadFile(path));
    // 4-bit palette with transparency, 16-bit interlaced grey+alpha, 1-bit grey.
    TestPng::Layout palette{7, 5, PNG_COLOR_TYPE_PALETTE, 4};
    for (int i = 0; i < 16; ++i)
        palette.palette.push_back(png_color{static_cast<png_byte>(i * 16), static_cast<png_byte>(255 - i), 7});
    palette.alphas = {0, 64, 128, 192};
    TestPng::Rows wide(6, Bytes(36));
    for (size_t y = 0; y < wide.size(); ++y)
        for (size_t x = 0; x < 36; ++x) wide[y][x] = static_cast<unsigned char>(x * 13 + y);
    const std::pair<TestPng::Layout, TestPng::Rows> layouts[] = {
        {palette, TestPng::Rows(5, Bytes{0x01, 0x23, 0x45, 0xF0})},
        {{9, 6, PNG_COLOR_TYPE_GRAY_ALPHA, 16, true}, wide},
        {{13, 3, PNG_COLOR_TYPE_GRAY, 1}, TestPng::Rows(3, Bytes{0xA5, 0x5A})},
    };
    for (const auto& layout : layouts) {
        EXPECT_TRUE(TestPng::Write(path, layout.first, layout.second));
        bases.push_back(::Test::ReadFile(path));
    }
    return bases;
}

}  // namespace

TEST(ImportMutation, DamagedPngAndGlyFilesNeverCrashTheImporters) {
    ::Test::TempDir dir;
    const std::string path = dir.File("mutant");
    const std::vector<Bytes> pngs = PngBases(path);
    std::vector<Bytes> glys;
    for (const char* magic : {"GLY1", "GLY0"}) {
        ::Test::GlyBytes gly(magic);
        if (magic[3] == '1') gly.Word(12);
        for (I32 code = 32; code < 52; ++code) gly.Glyph(code, code * 3);
        glys.push_back(gly.bytes);
    }
    ::Test::Mutator mutator(20261206u);
    int loaded = 0, refused = 0, glyphs = 0;
    ::Test::LogCapture log;
    for (int run = 0; run < 3000; ++run) {
        Bytes bytes = mutator.Mutate(pngs[size_t(run) % pngs.size()], 8);
        if (run % 3 == 0) TestPng::FixChunkCrcs(bytes);
        ASSERT_TRUE(::Test::WriteFile(path, bytes));
        Ref<Image> image = ImportPNG(path.c_str(), run % 2 == 0);
        if (!image) {
            ++refused;
            continue;
        }
        ++loaded;
        ASSERT_GE(image->GetWidth(), 1);
        ASSERT_GE(image->GetHeight(), 1);
        ASSERT_GT(BytesPerPixel(image->GetFormat()), 0);
        ASSERT_EQ(U32(image->GetWidth() * image->GetHeight() * BytesPerPixel(image->GetFormat())),
                  image->GetPixelBytes());
        volatile unsigned sum = 0;  // every byte must be readable
        for (U32 i = 0; i < image->GetPixelBytes(); ++i) sum = sum + image->GetPixels()[i];
    }
    EXPECT_EQ(refused, log.Count("[E] Import::ImportPNG: "));
    EXPECT_GT(loaded, 0);
    EXPECT_GT(refused, 0);
    Ref<FontTexture2D> font = New<FontTexture2D>();
    Ref<Image> fontImage = New<Image>();
    fontImage->Create(ImageLuminanceAlpha, 64, 64);
    font->SetImage(fontImage);
    Ref<Shader> fontShader = New<Shader>();
    fontShader->SetTexture(0, font);
    std::string everyByte;
    for (int c = 1; c < 256; ++c) everyByte += static_cast<char>(c);
    for (int run = 0; run < 2000; ++run) {
        Bytes bytes = mutator.Mutate(glys[size_t(run) % glys.size()], 4);
        if (run % 4 == 0) mutator.Extreme(bytes, 4);
        ASSERT_TRUE(::Test::WriteFile(path, bytes));
        const GlyphData data = ImportGlyphData(path.c_str());
        ASSERT_LE(data.glyphs.size(), 256u);
        for (size_t code = 0; code < data.glyphs.size(); ++code) {
            ASSERT_TRUE(data.glyphs[code].code == -1 || data.glyphs[code].code == I32(code));
            glyphs += data.glyphs[code].code >= 0 ? 1 : 0;
        }
        font->SetGlyphs(data.glyphs);
        Ref<TextGeometry> text = New<TextGeometry>();
        text->SetShader(fontShader);
        text->SetAlignment(run % 3, run % 3);
        text->SetText(everyByte.c_str());
        text->UpdateDrawable();
        ASSERT_FALSE(text->NeedsRebuild());
        ASSERT_EQ(text->GetVertexCount() * 6 / 4, text->GetIndexCount());
    }
    EXPECT_GT(glyphs, 0);
}
