// Mutation test of the importers: valid PNG and .gly files are damaged a few
// thousand times (byte changes, bit flips, cuts, inserted and removed bytes,
// and PNG damage behind repaired chunk checksums so it reaches the decoder)
// with a fixed seed, then imported; every damaged glyph table also lays out
// a text of all byte values. Nothing may crash or trip the sanitizers; every
// refused PNG logs exactly one error line and every result that does come
// back is consistent. The figures are printed.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "Image/ImportPNG.h"
#include "Image/WritePNG.h"
#include "Import/ImportGlyphData.h"
#include "Scene/FontTexture2D.h"
#include "Scene/Shader.h"
#include "Scene/TextGeometry.h"
#include "Support/TestUtil.h"
#include "TestPng.h"

using namespace Meridian;

namespace {

typedef std::vector<unsigned char> Bytes;

class Mutator {
public:
    explicit Mutator(U32 seed) : m_Random(seed) {}
    U32 Below(U32 limit) { return limit ? static_cast<U32>(m_Random() % limit) : 0; }

    // Applies one kind of damage; header bytes (the first skip) are spared
    // half of the time so the importers get past their signature checks.
    Bytes Mutate(const Bytes& base, size_t skip) {
        Bytes bytes = base;
        const size_t from = Below(2) ? std::min(skip, bytes.size()) : 0;
        const size_t span = bytes.size() - from;
        switch (Below(5)) {
            case 0:  // random bytes
                for (U32 n = 1 + Below(8); n > 0 && span; --n)
                    bytes[from + Below(static_cast<U32>(span))] = static_cast<unsigned char>(Below(256));
                break;
            case 1:  // bit flips
                for (U32 n = 1 + Below(8); n > 0 && span; --n)
                    bytes[from + Below(static_cast<U32>(span))] ^= static_cast<unsigned char>(1u << Below(8));
                break;
            case 2:  // cut
                bytes.resize(Below(static_cast<U32>(bytes.size())));
                break;
            case 3:  // inserted bytes
                bytes.insert(bytes.begin() + static_cast<long>(from + Below(static_cast<U32>(span + 1))), 1 + Below(40),
                             static_cast<unsigned char>(Below(256)));
                break;
            default:  // removed bytes
                if (span) {
                    const size_t at = from + Below(static_cast<U32>(span));
                    const size_t count = std::min<size_t>(1 + Below(40), bytes.size() - at);
                    bytes.erase(bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(at + count));
                }
                break;
        }
        return bytes;
    }

    // Overwrites one 32-bit field with an extreme value.
    void Extreme(Bytes& bytes, size_t at) {
        static const U32 values[] = {0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu, 256u, 255u, 0u, 0x10000u, 40000u};
        if (at + 4 > bytes.size()) return;
        const U32 value = values[Below(sizeof values / sizeof values[0])];
        for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<unsigned char>(value >> (8 * i));
    }

private:
    std::mt19937 m_Random;
};

std::vector<Bytes> PngBases(const ::Test::TempDir& dir) {
    std::vector<Bytes> bases;
    const std::string path = dir.File("base.png");

    std::vector<U8> rgba(8 * 8 * 4);
    for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = static_cast<U8>(i * 7);
    EXPECT_TRUE(WritePNG(path.c_str(), ImageRGBA, 8, 8, rgba.data()));
    bases.push_back(::Test::ReadFile(path));

    TestPng::Layout palette;
    palette.width = 7, palette.height = 5, palette.bitDepth = 4, palette.colorType = PNG_COLOR_TYPE_PALETTE;
    for (int i = 0; i < 16; ++i)
        palette.palette.push_back(png_color{static_cast<png_byte>(i * 16), static_cast<png_byte>(255 - i), 7});
    palette.alphas = {0, 64, 128, 192};
    std::vector<std::vector<unsigned char>> rows(5, std::vector<unsigned char>{0x01, 0x23, 0x45, 0xF0});
    EXPECT_TRUE(TestPng::Write(path, palette, rows));
    bases.push_back(::Test::ReadFile(path));

    TestPng::Layout greyAlpha;
    greyAlpha.width = 9, greyAlpha.height = 6, greyAlpha.bitDepth = 16, greyAlpha.interlaced = true;
    greyAlpha.colorType = PNG_COLOR_TYPE_GRAY_ALPHA;
    rows.assign(6, std::vector<unsigned char>(36));
    for (size_t y = 0; y < rows.size(); ++y)
        for (size_t x = 0; x < 36; ++x) rows[y][x] = static_cast<unsigned char>(x * 13 + y);
    EXPECT_TRUE(TestPng::Write(path, greyAlpha, rows));
    bases.push_back(::Test::ReadFile(path));

    TestPng::Layout bits;
    bits.width = 13, bits.height = 3, bits.bitDepth = 1, bits.colorType = PNG_COLOR_TYPE_GRAY;
    rows.assign(3, std::vector<unsigned char>{0xA5, 0x5A});
    EXPECT_TRUE(TestPng::Write(path, bits, rows));
    bases.push_back(::Test::ReadFile(path));
    return bases;
}

std::vector<Bytes> GlyBases() {
    std::vector<Bytes> bases;
    for (const char* magic : {"GLY1", "GLY0"}) {
        Bytes bytes(magic, magic + 4);
        auto word = [&bytes](I32 value) {
            for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<unsigned char>(static_cast<U32>(value) >> (8 * i)));
        };
        if (magic[3] != '0') word(12);
        for (I32 code = 32; code < 52; ++code)
            for (I32 field : {code, code * 3, 5, 4, 6, 5, 0, 0, 6}) word(field);
        bases.push_back(bytes);
    }
    return bases;
}

}  // namespace

TEST(ImportMutation, DamagedPngAndGlyFilesNeverCrashTheImporters) {
    ::Test::TempDir dir;
    const std::vector<Bytes> pngs = PngBases(dir);
    const std::vector<Bytes> glys = GlyBases();
    const std::string path = dir.File("mutant");
    Mutator mutator(20261206u);
    const int pngRuns = 3000, glyRuns = 2000;
    int loaded = 0, refused = 0, glyphTables = 0, glyphs = 0;
    const auto start = std::chrono::steady_clock::now();
    int errorLines = 0;
    {
        ::Test::LogCapture log;
        for (int run = 0; run < pngRuns; ++run) {
            const Bytes& base = pngs[static_cast<size_t>(run) % pngs.size()];
            Bytes bytes = mutator.Mutate(base, 8);
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
            const I32 bpp = BytesPerPixel(image->GetFormat());
            ASSERT_GT(bpp, 0);
            ASSERT_EQ(static_cast<U32>(image->GetWidth() * image->GetHeight() * bpp), image->GetPixelBytes());
            unsigned sum = 0;  // every byte must be readable
            for (U32 i = 0; i < image->GetPixelBytes(); ++i) sum += image->GetPixels()[i];
            (void)sum;
        }
        errorLines = log.Count("[E] Import::ImportPNG: ");

        Ref<FontTexture2D> font = New<FontTexture2D>();
        Ref<Image> fontImage = New<Image>();
        fontImage->Create(ImageLuminanceAlpha, 64, 64);
        font->SetImage(fontImage);
        Ref<Shader> fontShader = New<Shader>();
        fontShader->SetTexture(0, font);
        std::string everyByte;
        for (int c = 1; c < 256; ++c) everyByte += static_cast<char>(c);
        for (int run = 0; run < glyRuns; ++run) {
            Bytes bytes = mutator.Mutate(glys[static_cast<size_t>(run) % glys.size()], 4);
            if (run % 4 == 0) mutator.Extreme(bytes, 4 + 4 * mutator.Below(static_cast<U32>(bytes.size() / 4)));
            ASSERT_TRUE(::Test::WriteFile(path, bytes));
            const GlyphData data = ImportGlyphData(path.c_str());
            ASSERT_LE(data.glyphs.size(), 256u);
            for (size_t code = 0; code < data.glyphs.size(); ++code) {
                const I32 stored = data.glyphs[code].code;
                ASSERT_TRUE(stored == -1 || stored == static_cast<I32>(code));
                glyphs += stored >= 0 ? 1 : 0;
            }
            glyphTables += data.glyphs.empty() ? 0 : 1;

            font->SetGlyphs(data.glyphs);
            Ref<TextGeometry> text = New<TextGeometry>();
            text->SetShader(fontShader);
            text->SetAlignment(run % 3, run % 3);
            text->SetText(everyByte.c_str());
            text->UpdateDrawable();
            ASSERT_FALSE(text->NeedsRebuild());
            ASSERT_EQ(text->GetVertexCount() * 6 / 4, text->GetIndexCount());
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(refused, errorLines);
    EXPECT_GT(loaded, 0);
    EXPECT_GT(refused, 0);
    std::printf("mutation: %d PNG files (%d loaded, %d refused with %d error lines), %d .gly files "
                "(%d tables, %d glyphs) in %.2f s\n",
                pngRuns, loaded, refused, errorLines, glyRuns, glyphTables, glyphs, seconds);
    RecordProperty("png_loaded", loaded);
    RecordProperty("png_refused", refused);
    RecordProperty("gly_tables", glyphTables);
}
