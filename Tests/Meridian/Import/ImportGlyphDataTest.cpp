// .gly import: header versions, gaps, duplicates, partial records, codes that layout cannot use, bad headers, and
// thousands of damaged files whose tables must stay consistent and lay out every byte value.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Image/Image.h"
#include "Import/ImportGlyphData.h"
#include "Mutator.h"
#include "Scene/FontTexture2D.h"
#include "Scene/Shader.h"
#include "Scene/TextGeometry.h"
#include "Support/TestUtil.h"

using namespace Meridian;

namespace {

// The magic, then 32-bit little-endian words.
struct GlyBytes {
    explicit GlyBytes(const char* magic) : bytes(magic, magic + 4) {}
    GlyBytes& Word(int32_t value) {
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<unsigned char>(uint32_t(value) >> (8 * i)));
        return *this;
    }
    // code, x, y, w, h, advance x, advance y, reserved, top
    GlyBytes& Glyph(int32_t code, int32_t x, int32_t advance = 5) {
        return Word(code).Word(x).Word(x + 1).Word(4).Word(6).Word(advance).Word(0).Word(77).Word(6);
    }

    std::vector<unsigned char> bytes;
};

GlyphData Import(const GlyBytes& file, const ::Test::TempDir& dir) {
    EXPECT_TRUE(::Test::WriteFile(dir.File("font.gly"), file.bytes));
    return ImportGlyphData(dir.File("font.gly").c_str());
}

}  // namespace

TEST(ImportGlyphData, RecordsGapsDuplicatesAndHeaderVersions) {
    ::Test::TempDir dir;
    {
        // Version 0 has no header word; gaps are absent entries (code -1).
        ::Test::LogCapture log;
        const GlyphData data = Import(GlyBytes("GLY0").Glyph(65, 10).Glyph(32, 20), dir);
        EXPECT_EQ(0, data.header);
        ASSERT_EQ(66u, data.glyphs.size());
        for (size_t code = 0; code < data.glyphs.size(); ++code)
            EXPECT_TRUE(code == 32 || code == 65 || data.glyphs[code].code == -1) << code;
        const GlyphRecord& a = data.glyphs[65];
        EXPECT_EQ((std::vector<I32>{65, 10, 11, 4, 6, 5, 0, 77, 6}),
                  (std::vector<I32>{a.code, a.x, a.y, a.w, a.h, a.advanceX, a.advanceY, a.reserved, a.top}));
        EXPECT_EQ(20, data.glyphs[32].x);
        EXPECT_TRUE(log.Entries().empty()) << log.Text();
    }
    {
        // Later versions carry a header value; a later record for a code wins.
        const GlyphData data =
            Import(GlyBytes("GLY1").Word(-123456).Glyph(40, 1).Glyph(41, 2).Glyph(40, 3, 9).Glyph(-7, 4), dir);
        EXPECT_EQ(-123456, data.header);
        ASSERT_EQ(42u, data.glyphs.size());
        EXPECT_EQ(3, data.glyphs[40].x);
        EXPECT_EQ(9, data.glyphs[40].advanceX);
        EXPECT_EQ(2, data.glyphs[41].x);
    }
    {
        ::Test::LogCapture log;
        const GlyphData data = Import(GlyBytes("GLY0").Glyph(33, 1).Word(34).Word(0).Word(0), dir);
        ASSERT_EQ(34u, data.glyphs.size());
        EXPECT_EQ(33, data.glyphs[33].code);
        EXPECT_EQ(1, log.Count("[W] ImportGlyphData: trailing partial record"));
    }
    {
        // Text is laid out by byte: a huge code must not grow the table.
        ::Test::LogCapture log;
        const GlyphData data =
            Import(GlyBytes("GLY0").Glyph(0x7FFFFFFF, 1).Glyph(256, 2).Glyph(255, 3).Glyph(1000000, 4), dir);
        ASSERT_EQ(256u, data.glyphs.size());
        EXPECT_EQ(3, data.glyphs[255].x);
        EXPECT_EQ(3, log.Count("[W] ImportGlyphData: glyph code "));
        EXPECT_TRUE(log.Contains("glyph code 2147483647 above 255 ignored."));
    }
}

TEST(ImportGlyphData, BadHeadersGiveOneErrorLineAndAnEmptyTable) {
    ::Test::TempDir dir;
    const std::string path = dir.File("bad.gly");
    const std::pair<std::vector<unsigned char>, const char*> cases[] = {
        {{'G', 'L', 'Y'}, "[E] ImportGlyphData: invalid header/1."},
        {{}, "[E] ImportGlyphData: invalid header/1."},
        {{'G', 'L', 'X', '0', 1, 2, 3, 4}, "[E] ImportGlyphData: invalid header/2."},
        {{'g', 'L', 'Y', '0'}, "[E] ImportGlyphData: invalid header/2."},
        {{'G', 'L', 'Y', '/'}, "[E] ImportGlyphData: invalid header/3."},
        {{'G', 'L', 'Y', '1', 1, 2}, "[E] ImportGlyphData: invalid header/1."},
        {{}, nullptr},  // missing file
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.second ? c.second : "missing");
        ASSERT_TRUE(!c.second || ::Test::WriteFile(path, c.first));
        const std::string file = c.second ? path : dir.File("missing.gly");
        ::Test::LogCapture log;
        const GlyphData data = ImportGlyphData(file.c_str());
        EXPECT_EQ(-1, data.header);
        EXPECT_TRUE(data.glyphs.empty());
        EXPECT_EQ((std::vector<std::string>{c.second ? c.second : "[E] ImportGlyphData: failed to open file:" + file}),
                  log.Entries());
    }
}

TEST(ImportGlyphData, DamagedFilesGiveConsistentTablesThatLayOutEveryByte) {
    ::Test::TempDir dir;
    const std::string path = dir.File("mutant.gly");
    std::vector<std::vector<unsigned char>> glys;
    for (const char* magic : {"GLY1", "GLY0"}) {
        GlyBytes gly(magic);
        if (magic[3] == '1') gly.Word(12);
        for (I32 code = 32; code < 52; ++code) gly.Glyph(code, code * 3);
        glys.push_back(gly.bytes);
    }
    Ref<FontTexture2D> font = New<FontTexture2D>();
    Ref<Image> fontImage = New<Image>();
    fontImage->Create(ImageLuminanceAlpha, 64, 64);
    font->SetImage(fontImage);
    Ref<Shader> fontShader = New<Shader>();
    fontShader->SetTexture(0, font);
    std::string everyByte;
    for (int c = 1; c < 256; ++c) everyByte += static_cast<char>(c);
    ::Test::Mutator mutator(20261206u);
    ::Test::LogCapture log;
    int glyphs = 0;
    for (int run = 0; run < 2000; ++run) {
        std::vector<unsigned char> bytes = mutator.Mutate(glys[size_t(run) % glys.size()], 4);
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
