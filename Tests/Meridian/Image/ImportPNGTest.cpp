// PNG import and export against files written by libpng directly, and the
// importer's handling of broken and oversized files.
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

namespace {

typedef std::vector<std::vector<unsigned char>> Rows;

// The image's rows as written, top row first, read back from a bottom-first
// (flipped) or top-first image.
Rows RowsOf(const Image* image, bool flipped) {
    const size_t rowBytes = static_cast<size_t>(image->GetWidth()) * BytesPerPixel(image->GetFormat());
    Rows rows;
    for (int i = 0; i < image->GetHeight(); ++i) {
        const int stored = flipped ? image->GetHeight() - 1 - i : i;
        const U8* row = image->GetPixels() + static_cast<size_t>(stored) * rowBytes;
        rows.emplace_back(row, row + rowBytes);
    }
    return rows;
}

struct Case {
    const char* name;
    TestPng::Layout layout;
    Rows fileRows;
    I32 format;
    Rows expected;  // 8-bit channels, top row first
};

std::vector<Case> Cases() {
    std::vector<Case> cases;
    {
        Case c{"grey", {}, {}, ImageLuminance, {}};
        c.layout.width = 3, c.layout.height = 2, c.layout.colorType = PNG_COLOR_TYPE_GRAY;
        c.fileRows = {{0, 100, 255}, {7, 8, 9}};
        c.expected = c.fileRows;
        cases.push_back(c);
    }
    {
        Case c{"grey 1-bit", {}, {}, ImageLuminance, {}};
        c.layout.width = 3, c.layout.height = 2, c.layout.colorType = PNG_COLOR_TYPE_GRAY, c.layout.bitDepth = 1;
        c.fileRows = {{0xA0}, {0x60}};  // 1 0 1 / 0 1 1
        c.expected = {{255, 0, 255}, {0, 255, 255}};
        cases.push_back(c);
    }
    {
        Case c{"grey+alpha", {}, {}, ImageLuminanceAlpha, {}};
        c.layout.width = 2, c.layout.height = 2, c.layout.colorType = PNG_COLOR_TYPE_GRAY_ALPHA;
        c.fileRows = {{10, 20, 30, 40}, {50, 60, 70, 80}};
        c.expected = c.fileRows;
        cases.push_back(c);
    }
    {
        Case c{"rgb", {}, {}, ImageRGB, {}};
        c.layout.width = 2, c.layout.height = 3, c.layout.colorType = PNG_COLOR_TYPE_RGB;
        c.fileRows = {{1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}, {13, 14, 15, 16, 17, 18}};
        c.expected = c.fileRows;
        cases.push_back(c);
    }
    {
        Case c{"rgb interlaced", {}, {}, ImageRGB, {}};
        c.layout.width = 9, c.layout.height = 9, c.layout.colorType = PNG_COLOR_TYPE_RGB, c.layout.interlaced = true;
        for (int y = 0; y < 9; ++y) {
            std::vector<unsigned char> row;
            for (int x = 0; x < 27; ++x) row.push_back(static_cast<unsigned char>(y * 27 + x));
            c.fileRows.push_back(row);
        }
        c.expected = c.fileRows;
        cases.push_back(c);
    }
    {
        Case c{"rgba", {}, {}, ImageRGBA, {}};
        c.layout.width = 2, c.layout.height = 2, c.layout.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
        c.fileRows = {{1, 2, 3, 4, 5, 6, 7, 8}, {9, 10, 11, 12, 13, 14, 15, 255}};
        c.expected = c.fileRows;
        cases.push_back(c);
    }
    {
        Case c{"rgba 16-bit", {}, {}, ImageRGBA, {}};
        c.layout.width = 1, c.layout.height = 2, c.layout.colorType = PNG_COLOR_TYPE_RGB_ALPHA, c.layout.bitDepth = 16;
        c.fileRows = {{0x12, 0xFF, 0x34, 0x00, 0x56, 0x80, 0xFF, 0xFF}, {0x00, 0x01, 0x80, 0x7F, 0xFE, 0x00, 0x01, 0x00}};
        c.expected = {{0x12, 0x34, 0x56, 0xFF}, {0x00, 0x80, 0xFE, 0x01}};
        cases.push_back(c);
    }
    {
        Case c{"palette", {}, {}, ImageRGB, {}};
        c.layout.width = 3, c.layout.height = 1, c.layout.colorType = PNG_COLOR_TYPE_PALETTE;
        c.layout.palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
        c.fileRows = {{2, 0, 1}};
        c.expected = {{0, 0, 255, 255, 0, 0, 0, 255, 0}};
        cases.push_back(c);
    }
    {
        Case c{"palette with transparency", {}, {}, ImageRGBA, {}};
        c.layout.width = 3, c.layout.height = 1, c.layout.colorType = PNG_COLOR_TYPE_PALETTE;
        c.layout.palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
        c.layout.alphas = {0, 128};  // entry 2 stays opaque
        c.fileRows = {{2, 0, 1}};
        c.expected = {{0, 0, 255, 255, 255, 0, 0, 0, 0, 255, 0, 128}};
        cases.push_back(c);
    }
    return cases;
}

}  // namespace

TEST(ImportPNG, ReadsEveryColourTypeWithAndWithoutFlip) {
    ::Test::TempDir dir;
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File("case.png");
        ASSERT_TRUE(TestPng::Write(path, c.layout, c.fileRows));

        Ref<Image> upright = ImportPNG(path.c_str(), false);
        Ref<Image> flipped = ImportPNG(path.c_str(), true);
        ASSERT_TRUE(upright && flipped);
        EXPECT_EQ(c.format, upright->GetFormat());
        EXPECT_EQ(c.layout.width, upright->GetWidth());
        EXPECT_EQ(c.layout.height, upright->GetHeight());
        EXPECT_EQ(static_cast<U32>(c.layout.width * c.layout.height * BytesPerPixel(c.format)),
                  upright->GetPixelBytes());
        EXPECT_EQ(c.expected, RowsOf(upright, false));
        // The flipped image holds the same rows, bottom row first.
        EXPECT_EQ(c.expected, RowsOf(flipped, true));
    }
}

TEST(ImportPNG, WritePNGRoundTripsEveryFormat) {
    ::Test::TempDir dir;
    // 3 x 2 pixels with 4 bytes per pixel at most, bottom row first.
    std::vector<U8> pixels;
    for (int i = 0; i < 24; ++i) pixels.push_back(static_cast<U8>(i * 10 + 1));
    for (I32 format : {ImageLuminance, ImageRGB, ImageRGBA, ImageLuminanceAlpha}) {
        SCOPED_TRACE(format);
        const std::string path = dir.File("written.png");
        ASSERT_TRUE(WritePNG(path.c_str(), format, 3, 2, pixels.data()));
        Ref<Image> back = ImportPNG(path.c_str(), true);
        ASSERT_TRUE(back);
        EXPECT_EQ(format, back->GetFormat());
        const size_t bytes = 6u * BytesPerPixel(format);
        ASSERT_EQ(bytes, back->GetPixelBytes());
        EXPECT_EQ(std::vector<U8>(pixels.begin(), pixels.begin() + bytes),
                  std::vector<U8>(back->GetPixels(), back->GetPixels() + bytes));

        // The file itself is upright: its first row is the buffer's last.
        Ref<Image> upright = ImportPNG(path.c_str(), false);
        ASSERT_TRUE(upright);
        const size_t rowBytes = 3u * BytesPerPixel(format);
        EXPECT_EQ(0, std::memcmp(upright->GetPixels(), pixels.data() + rowBytes, rowBytes));
    }

    // A 2 x 2 RGBA screenshot-like buffer reads back unchanged with flip set.
    const U8 square[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    const std::string path = dir.File("square.png");
    ASSERT_TRUE(WritePNG(path.c_str(), ImageRGBA, 2, 2, square));
    Ref<Image> back = ImportPNG(path.c_str(), true);
    ASSERT_TRUE(back);
    EXPECT_EQ(0, std::memcmp(square, back->GetPixels(), 16));

    // An unknown format code is written as RGB.
    ASSERT_TRUE(WritePNG(path.c_str(), 9, 2, 2, square));
    back = ImportPNG(path.c_str(), true);
    ASSERT_TRUE(back);
    EXPECT_EQ(ImageRGB, back->GetFormat());
}

TEST(ImportPNG, WritePNGFailuresAreReported) {
    ::Test::TempDir dir;
    const U8 pixel[4] = {1, 2, 3, 4};
    ::Test::LogCapture log;
    const std::string missing = dir.File("no/such/dir/shot.png");
    EXPECT_FALSE(WritePNG(missing.c_str(), ImageRGBA, 1, 1, pixel));
    EXPECT_TRUE(log.Contains("[E] Failed to open file\"" + missing + "\"")) << log.Text();

    const std::string path = dir.File("bad.png");
    EXPECT_FALSE(WritePNG(path.c_str(), ImageRGBA, 0, 1, pixel));
    EXPECT_FALSE(WritePNG(path.c_str(), ImageRGBA, 1, 1, nullptr));
    EXPECT_FALSE(WritePNG(path.c_str(), ImageRGBA, 40000, 1, pixel));
    EXPECT_EQ(4, log.Count("[E] "));
    EXPECT_TRUE(::Test::ReadFile(path).empty());
}

TEST(ImportPNG, BrokenFilesGiveOneErrorLineAndNoImage) {
    ::Test::TempDir dir;
    const std::string good = dir.File("good.png");
    TestPng::Layout layout;
    layout.width = 4, layout.height = 4, layout.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
    Rows rows(4, std::vector<unsigned char>(16, 0x5A));
    ASSERT_TRUE(TestPng::Write(good, layout, rows));
    const std::vector<unsigned char> bytes = ::Test::ReadFile(good);
    ASSERT_GT(bytes.size(), 60u);

    {
        ::Test::LogCapture log;
        const std::string missing = dir.File("missing.png");
        EXPECT_EQ(nullptr, ImportPNG(missing.c_str(), true));
        EXPECT_EQ(nullptr, ImportPNG(nullptr, true));
        const std::vector<std::string> lines = log.Entries();
        ASSERT_EQ(2u, lines.size());
        EXPECT_EQ("[E] Import::ImportPNG: failed to open file:" + missing, lines[0]);
    }
    {
        ::Test::LogCapture log;
        const std::string text = dir.File("text.png");
        ASSERT_TRUE(::Test::WriteText(text, "this is not a PNG file at all, just text"));
        EXPECT_EQ(nullptr, ImportPNG(text.c_str(), true));
        EXPECT_EQ(1, log.Count("[E] Import::ImportPNG: "));
    }
    {
        // Every truncation of the file is refused, down to the empty file.
        ::Test::LogCapture log;
        const std::string cut = dir.File("cut.png");
        int refused = 0;
        for (size_t length = 0; length < bytes.size(); ++length) {
            ASSERT_TRUE(::Test::WriteFile(cut, std::vector<unsigned char>(bytes.begin(), bytes.begin() + length)));
            Ref<Image> image = ImportPNG(cut.c_str(), true);
            EXPECT_FALSE(image) << "length " << length;
            refused += image ? 0 : 1;
        }
        EXPECT_EQ(refused, log.Count("[E] Import::ImportPNG: "));
    }
    {
        // A damaged byte in the image data fails its checksum.
        ::Test::LogCapture log;
        std::vector<unsigned char> damaged = bytes;
        damaged[bytes.size() - 20] ^= 0x40;
        const std::string path = dir.File("damaged.png");
        ASSERT_TRUE(::Test::WriteFile(path, damaged));
        EXPECT_EQ(nullptr, ImportPNG(path.c_str(), true));
        EXPECT_EQ(1, log.Count("[E] Import::ImportPNG: "));
    }
}

TEST(ImportPNG, ImagesBeyondSixteenBitSizesAreRefusedWithoutAsserting) {
    ::Test::TempDir dir;
    struct Size {
        int width, height;
        bool loads;
    };
    for (const Size size : {Size{32767, 1, true}, Size{1, 32767, true}, Size{32768, 1, false}, Size{1, 32768, false},
                            Size{70000, 1, false}}) {
        SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height));
        TestPng::Layout layout;
        layout.width = size.width, layout.height = size.height, layout.colorType = PNG_COLOR_TYPE_GRAY;
        const std::string path = dir.File("wide.png");
        ASSERT_TRUE(TestPng::Write(path, layout, Rows(static_cast<size_t>(size.height),
                                                      std::vector<unsigned char>(static_cast<size_t>(size.width), 3))));
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

TEST(Image, CreateAllocatesPerFormatAndRejectsUnknownCodes) {
    Ref<Image> image = New<Image>();
    EXPECT_EQ(nullptr, image->GetPixels());
    ASSERT_TRUE(image->Create(ImageRGB, 5, 3));
    EXPECT_EQ(45u, image->GetPixelBytes());
    ASSERT_TRUE(image->Create(ImageLuminanceAlpha, 5, 3));
    EXPECT_EQ(30u, image->GetPixelBytes());
    // An unknown code stores the values but keeps the old block.
    EXPECT_FALSE(image->Create(7, 2, 2));
    EXPECT_EQ(7, image->GetFormat());
    EXPECT_EQ(2, image->GetWidth());
    EXPECT_EQ(30u, image->GetPixelBytes());
    image->ReleasePixels();
    EXPECT_EQ(nullptr, image->GetPixels());
    EXPECT_TRUE(image->IsKindOf(MakeTag("IMG0")));
    EXPECT_STREQ("Image", image->GetTypeName());
}

TEST(ImageDeathTest, CreateWithEmptySizeAsserts) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    Ref<Image> image = New<Image>();
    EXPECT_DEATH(image->Create(ImageRGB, 0, 4), "w>0 && h>0");
    EXPECT_DEATH(image->Create(ImageRGB, 4, -1), "w>0 && h>0");
}

TEST(MemFileUnix, MapsWholeFilesAndRefusesEmptyOrMissingOnes) {
    ::Test::TempDir dir;
    const std::string path = dir.File("data.bin");
    ASSERT_TRUE(::Test::WriteText(path, "mapped bytes"));
    MemFileUnix file;
    const void* data = file.Open(path.c_str());
    ASSERT_NE(nullptr, data);
    EXPECT_EQ(12u, file.GetSize());
    EXPECT_EQ(0, std::memcmp(data, "mapped bytes", 12));

    const std::string empty = dir.File("empty.bin");
    ASSERT_TRUE(::Test::WriteText(empty, ""));
    EXPECT_EQ(nullptr, file.Open(empty.c_str()));
    EXPECT_EQ(0u, file.GetSize());
    EXPECT_EQ(nullptr, file.Open(dir.File("missing.bin").c_str()));
    EXPECT_NE(nullptr, file.Open(path.c_str()));
}
