// PNG import and export against files written by libpng directly; broken and oversized files.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Image/ImportPNG.h"
#include "Image/MemFileUnix.h"
#include "Image/WritePNG.h"
#include "Support/TestUtil.h"
#include "TestPng.h"

using namespace Meridian;
using TestPng::Layout;
using TestPng::Rows;

namespace {

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
    Rows rows(static_cast<size_t>(height), std::vector<unsigned char>(static_cast<size_t>(width)));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) rows[y][x] = static_cast<unsigned char>(y * width + x);
    return rows;
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
        EXPECT_EQ(c.layout.width, upright->GetWidth());
        EXPECT_EQ(c.layout.height, upright->GetHeight());
        EXPECT_EQ(static_cast<U32>(c.layout.width * c.layout.height * BytesPerPixel(c.format)),
                  upright->GetPixelBytes());
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

TEST(ImportPNG, BrokenFilesGiveOneErrorLineAndNoImage) {
    ::Test::TempDir dir;
    const std::string path = dir.File("broken.png");
    ASSERT_TRUE(TestPng::Write(path, {4, 4, PNG_COLOR_TYPE_RGB_ALPHA}, Rows(4, std::vector<unsigned char>(16, 0x5A))));
    const std::vector<unsigned char> good = ::Test::ReadFile(path);
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
    std::vector<std::vector<unsigned char>> files = {std::vector<unsigned char>(text.begin(), text.end()), good};
    files.back()[good.size() - 20] ^= 0x40;
    for (size_t length = 0; length < good.size(); ++length) files.emplace_back(good.begin(), good.begin() + length);
    for (const std::vector<unsigned char>& bytes : files) {
        SCOPED_TRACE(bytes.size());
        ASSERT_TRUE(::Test::WriteFile(path, bytes));
        ::Test::LogCapture log;
        EXPECT_EQ(nullptr, ImportPNG(path.c_str(), true));
        EXPECT_EQ(1, log.Count("[E] Import::ImportPNG: "));
    }
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
                                   Rows(size_t(size.height), std::vector<unsigned char>(size_t(size.width), 3))));
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
