// PNG import and export against files written by libpng directly; broken, oversized and thousands of damaged files
// (damage also behind repaired chunk checksums, so it reaches the decoder).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Image/ImportPNG.h"
#include "Image/MemFileUnix.h"
#include "Image/WritePNG.h"
#include "Meridian/Import/Mutator.h"
#include "Support/TestUtil.h"
#include "TestPng.h"

using namespace Meridian;
using TestPng::Layout;
using TestPng::Rows;

namespace {

typedef std::vector<unsigned char> Bytes;

// The image's rows, top row first, from a bottom-first (flipped) or top-first image.
Rows RowsOf(const Image* image, bool flipped) {
    const size_t rowBytes = static_cast<size_t>(image->GetWidth()) * BytesPerPixel(image->GetFormat());
    Rows rows;
    for (int i = 0; i < image->GetHeight(); ++i) {
        const U8* row = image->GetPixels() + (flipped ? image->GetHeight() - 1 - i : i) * rowBytes;
        rows.emplace_back(row, row + rowBytes);
    }
    return rows;
}

Rows Counting(int width, int height) {
    Rows rows(static_cast<size_t>(height), Bytes(static_cast<size_t>(width)));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) rows[y][x] = static_cast<unsigned char>(y * width + x);
    return rows;
}

std::vector<Bytes> PngBases(const std::string& path) {
    std::vector<Bytes> bases;
    std::vector<U8> rgba(8 * 8 * 4);
    for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = static_cast<U8>(i * 7);
    EXPECT_TRUE(WritePNG(path.c_str(), ImageRGBA, 8, 8, rgba.data()));
    bases.push_back(::Test::ReadFile(path));
    // 4-bit palette with transparency, 16-bit interlaced grey+alpha, 1-bit grey.
    Layout palette{7, 5, PNG_COLOR_TYPE_PALETTE, 4};
    for (int i = 0; i < 16; ++i)
        palette.palette.push_back(png_color{static_cast<png_byte>(i * 16), static_cast<png_byte>(255 - i), 7});
    palette.alphas = {0, 64, 128, 192};
    Rows wide(6, Bytes(36));
    for (size_t y = 0; y < wide.size(); ++y)
        for (size_t x = 0; x < 36; ++x) wide[y][x] = static_cast<unsigned char>(x * 13 + y);
    const std::pair<TestPng::Layout, Rows> layouts[] = {
        {palette, Rows(5, Bytes{0x01, 0x23, 0x45, 0xF0})},
        {{9, 6, PNG_COLOR_TYPE_GRAY_ALPHA, 16, true}, wide},
        {{13, 3, PNG_COLOR_TYPE_GRAY, 1}, Rows(3, Bytes{0xA5, 0x5A})},
    };
    for (const auto& layout : layouts) {
        EXPECT_TRUE(TestPng::Write(path, layout.first, layout.second));
        bases.push_back(::Test::ReadFile(path));
    }
    return bases;
}

}  // namespace

TEST(ImportPNG, ReadsEveryColourTypeWithAndWithoutFlip) {
    struct Case {
        const char* name;
        Layout layout;
        Rows fileRows;
        I32 format;
        Rows expected;  // 8-bit channels, top row first; empty: as in the file
    };
    const png_color rgb[3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    Layout palette{3, 1, PNG_COLOR_TYPE_PALETTE};
    palette.palette.assign(rgb, rgb + 3);
    Layout transparent = palette;
    transparent.alphas = {0, 128};  // entry 2 stays opaque
    const Case cases[] = {
        {"grey", {3, 2, PNG_COLOR_TYPE_GRAY}, {{0, 100, 255}, {7, 8, 9}}, ImageLuminance, {}},
        {"grey 1-bit", {3, 2, PNG_COLOR_TYPE_GRAY, 1}, {{0xA0}, {0x60}}, ImageLuminance,
         {{255, 0, 255}, {0, 255, 255}}},
        {"grey+alpha", {2, 2, PNG_COLOR_TYPE_GRAY_ALPHA}, Counting(4, 2), ImageLuminanceAlpha, {}},
        {"rgb", {2, 3, PNG_COLOR_TYPE_RGB}, Counting(6, 3), ImageRGB, {}},
        {"rgb interlaced", {9, 9, PNG_COLOR_TYPE_RGB, 8, true}, Counting(27, 9), ImageRGB, {}},
        {"rgba", {2, 2, PNG_COLOR_TYPE_RGB_ALPHA}, Counting(8, 2), ImageRGBA, {}},
        {"rgba 16-bit", {1, 2, PNG_COLOR_TYPE_RGB_ALPHA, 16},
         {{0x12, 0xFF, 0x34, 0x00, 0x56, 0x80, 0xFF, 0xFF}, {0x00, 0x01, 0x80, 0x7F, 0xFE, 0x00, 0x01, 0x00}},
         ImageRGBA, {{0x12, 0x34, 0x56, 0xFF}, {0x00, 0x80, 0xFE, 0x01}}},
        {"palette", palette, {{2, 0, 1}}, ImageRGB, {{0, 0, 255, 255, 0, 0, 0, 255, 0}}},
        {"palette with transparency", transparent, {{2, 0, 1}}, ImageRGBA,
         {{0, 0, 255, 255, 255, 0, 0, 0, 0, 255, 0, 128}}},
    };
    ::Test::TempDir dir;
    const std::string path = dir.File("case.png");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(TestPng::Write(path, c.layout, c.fileRows));
        Ref<Image> upright = ImportPNG(path.c_str(), false);
        Ref<Image> flipped = ImportPNG(path.c_str(), true);
        ASSERT_TRUE(upright && flipped);
        EXPECT_EQ(c.format, upright->GetFormat());
        // The rows' count and lengths give the size.
        const Rows& expected = c.expected.empty() ? c.fileRows : c.expected;
        EXPECT_EQ(expected, RowsOf(upright, false));
        EXPECT_EQ(expected, RowsOf(flipped, true));
    }
}

TEST(ImportPNG, WritePNGRoundTripsEveryFormatAndReportsFailures) {
    ::Test::TempDir dir;
    const std::string path = dir.File("written.png");
    // 3 x 2 pixels of up to 4 bytes, bottom row first.
    std::vector<U8> pixels;
    for (int i = 0; i < 24; ++i) pixels.push_back(static_cast<U8>(i * 10 + 1));
    for (I32 format : {ImageLuminance, ImageRGB, ImageRGBA, ImageLuminanceAlpha}) {
        SCOPED_TRACE(format);
        ASSERT_TRUE(WritePNG(path.c_str(), format, 3, 2, pixels.data()));
        Ref<Image> back = ImportPNG(path.c_str(), true);
        ASSERT_TRUE(back);
        EXPECT_EQ(format, back->GetFormat());
        const size_t bytes = 6u * BytesPerPixel(format);
        ASSERT_EQ(bytes, back->GetPixelBytes());
        EXPECT_EQ(0, std::memcmp(pixels.data(), back->GetPixels(), bytes));
        // The file itself is upright: its first row is the buffer's last.
        Ref<Image> upright = ImportPNG(path.c_str(), false);
        ASSERT_TRUE(upright);
        EXPECT_EQ(0, std::memcmp(upright->GetPixels(), pixels.data() + bytes / 2, bytes / 2));
    }
    // An unknown format code is written as RGB.
    ASSERT_TRUE(WritePNG(path.c_str(), 9, 2, 2, pixels.data()));
    Ref<Image> back = ImportPNG(path.c_str(), true);
    ASSERT_TRUE(back);
    EXPECT_EQ(ImageRGB, back->GetFormat());
    // Failures log one line each and leave no file behind.
    ::Test::LogCapture log;
    const std::string missing = dir.File("no/such/dir/shot.png");
    EXPECT_FALSE(WritePNG(missing.c_str(), ImageRGBA, 1, 1, pixels.data()));
    EXPECT_TRUE(log.Contains("[E] Failed to open file\"" + missing + "\"")) << log.Text();
    const std::string bad = dir.File("bad.png");
    EXPECT_FALSE(WritePNG(bad.c_str(), ImageRGBA, 0, 1, pixels.data()));
    EXPECT_FALSE(WritePNG(bad.c_str(), ImageRGBA, 1, 1, nullptr));
    EXPECT_FALSE(WritePNG(bad.c_str(), ImageRGBA, 40000, 1, pixels.data()));
    EXPECT_EQ(4, log.Count("[E] "));
    EXPECT_TRUE(::Test::ReadFile(bad).empty());
}

TEST(ImportPNG, BrokenFilesAreRefusedWithOneErrorLineAndDamagedOnesNeverCrash) {
    ::Test::TempDir dir;
    const std::string path = dir.File("broken.png");
    const std::vector<Bytes> pngs = PngBases(path);
    ASSERT_TRUE(TestPng::Write(path, {4, 4, PNG_COLOR_TYPE_RGB_ALPHA}, Rows(4, Bytes(16, 0x5A))));
    const Bytes good = ::Test::ReadFile(path);
    ASSERT_GT(good.size(), 60u);
    {
        ::Test::LogCapture log;
        const std::string missing = dir.File("missing.png");
        EXPECT_EQ(nullptr, ImportPNG(missing.c_str(), true));
        EXPECT_EQ(nullptr, ImportPNG(nullptr, true));
        const std::vector<std::string> lines = log.Entries();
        ASSERT_EQ(2u, lines.size());
        EXPECT_EQ("[E] Import::ImportPNG: failed to open file:" + missing, lines[0]);
    }
    // Text, every truncation down to the empty file, and a damaged byte in the image data (failing its checksum).
    const std::string text = "this is not a PNG file at all, just text";
    std::vector<Bytes> files = {Bytes(text.begin(), text.end()), good};
    files.back()[good.size() - 20] ^= 0x40;
    for (size_t length = 0; length < good.size(); ++length) files.emplace_back(good.begin(), good.begin() + length);
    for (const Bytes& bytes : files) {
        SCOPED_TRACE(bytes.size());
        ASSERT_TRUE(::Test::WriteFile(path, bytes));
        ::Test::LogCapture log;
        EXPECT_EQ(nullptr, ImportPNG(path.c_str(), true));
        EXPECT_EQ(1, log.Count("[E] Import::ImportPNG: "));
    }
    // Mutants either load whole, consistent images or are refused with one line.
    ::Test::Mutator mutator(20261206u);
    int loaded = 0, refused = 0;
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
}

TEST(ImportPNG, ImagesBeyondSixteenBitSizesAreRefusedWithoutAsserting) {
    ::Test::TempDir dir;
    const std::string path = dir.File("wide.png");
    struct Size {
        int width, height;
        bool loads;
    };
    for (const Size size : {Size{32767, 1, true}, Size{1, 32767, true}, Size{32768, 1, false}, Size{1, 32768, false},
                            Size{70000, 1, false}}) {
        SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height));
        ASSERT_TRUE(TestPng::Write(path, {size.width, size.height, PNG_COLOR_TYPE_GRAY},
                                   Rows(size_t(size.height), Bytes(size_t(size.width), 3))));
        ::Test::LogCapture log;
        Ref<Image> image = ImportPNG(path.c_str(), true);
        EXPECT_EQ(size.loads, static_cast<bool>(image));
        if (image) {
            EXPECT_EQ(size.width, image->GetWidth());
            EXPECT_EQ(size.height, image->GetHeight());
        } else {
            EXPECT_EQ(1, log.Count("[E] Import::ImportPNG: " + path));
            EXPECT_TRUE(log.Contains("exceeds user limit")) << log.Text();
        }
    }
}

TEST(Image, CreateRejectsUnknownCodesAndKeepsTheOldBlock) {
    Ref<Image> image = New<Image>();
    ASSERT_TRUE(image->Create(ImageLuminanceAlpha, 5, 3));
    EXPECT_EQ(30u, image->GetPixelBytes());
    EXPECT_FALSE(image->Create(7, 2, 2));
    EXPECT_EQ(30u, image->GetPixelBytes());
    image->ReleasePixels();
    EXPECT_EQ(nullptr, image->GetPixels());
}

TEST(ImageDeathTest, CreateWithEmptySizeAsserts) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    Ref<Image> image = New<Image>();
    EXPECT_DEATH(image->Create(ImageRGB, 0, 4), "w>0 && h>0");
    EXPECT_DEATH(image->Create(ImageRGB, 4, -1), "w>0 && h>0");
}

TEST(MemFileUnix, MapsWholeFilesAndRefusesEmptyOrMissingOnes) {
    ::Test::TempDir dir;
    ASSERT_TRUE(::Test::WriteText(dir.File("data.bin"), "mapped bytes"));
    ASSERT_TRUE(::Test::WriteText(dir.File("empty.bin"), ""));
    MemFileUnix file;
    const void* data = file.Open(dir.File("data.bin").c_str());
    ASSERT_NE(nullptr, data);
    EXPECT_EQ(12u, file.GetSize());
    EXPECT_EQ(0, std::memcmp(data, "mapped bytes", 12));
    EXPECT_EQ(nullptr, file.Open(dir.File("empty.bin").c_str()));
    EXPECT_EQ(0u, file.GetSize());
    EXPECT_EQ(nullptr, file.Open(dir.File("missing.bin").c_str()));
    EXPECT_NE(nullptr, file.Open(dir.File("data.bin").c_str()));
}
