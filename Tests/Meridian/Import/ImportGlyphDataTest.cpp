// .gly import: header versions, gaps, duplicates, partial records and the
// codes layout cannot use.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Import/ImportGlyphData.h"
#include "Support/TestUtil.h"

using namespace Meridian;

namespace {

class GlyFile {
public:
    explicit GlyFile(const char* magic) : m_Bytes(magic, magic + 4) {}
    GlyFile& Word(I32 value) {
        for (int i = 0; i < 4; ++i) m_Bytes.push_back(static_cast<unsigned char>(static_cast<U32>(value) >> (8 * i)));
        return *this;
    }
    GlyFile& Glyph(I32 code, I32 x, I32 advance = 5) {
        // code, x, y, w, h, advance x, advance y, reserved, top
        return Word(code).Word(x).Word(x + 1).Word(4).Word(6).Word(advance).Word(0).Word(77).Word(6);
    }
    GlyFile& Bytes(size_t count) {
        m_Bytes.insert(m_Bytes.end(), count, 0x11);
        return *this;
    }
    std::string Save(const ::Test::TempDir& dir) const {
        const std::string path = dir.File("font.gly");
        EXPECT_TRUE(::Test::WriteFile(path, m_Bytes));
        return path;
    }

private:
    std::vector<unsigned char> m_Bytes;
};

}  // namespace

TEST(ImportGlyphData, VersionZeroHasNoHeaderWordAndFillsGapsWithAbsentEntries) {
    ::Test::TempDir dir;
    const std::string path = GlyFile("GLY0").Glyph(65, 10).Glyph(32, 20).Save(dir);
    ::Test::LogCapture log;
    const GlyphData data = ImportGlyphData(path.c_str());
    EXPECT_EQ(0, data.header);
    ASSERT_EQ(66u, data.glyphs.size());
    for (size_t code = 0; code < data.glyphs.size(); ++code)
        if (code != 32 && code != 65) {
            EXPECT_EQ(-1, data.glyphs[code].code) << code;
        }
    const GlyphRecord& a = data.glyphs[65];
    EXPECT_EQ(65, a.code);
    EXPECT_EQ(10, a.x);
    EXPECT_EQ(11, a.y);
    EXPECT_EQ(4, a.w);
    EXPECT_EQ(6, a.h);
    EXPECT_EQ(5, a.advanceX);
    EXPECT_EQ(0, a.advanceY);
    EXPECT_EQ(77, a.reserved);
    EXPECT_EQ(6, a.top);
    EXPECT_EQ(20, data.glyphs[32].x);
    EXPECT_TRUE(log.Entries().empty()) << log.Text();
}

TEST(ImportGlyphData, LaterVersionsCarryAHeaderValueAndLaterRecordsWin) {
    ::Test::TempDir dir;
    const std::string path =
        GlyFile("GLY1").Word(-123456).Glyph(40, 1).Glyph(41, 2).Glyph(40, 3, 9).Glyph(-7, 4).Save(dir);
    const GlyphData data = ImportGlyphData(path.c_str());
    EXPECT_EQ(-123456, data.header);
    ASSERT_EQ(42u, data.glyphs.size());
    EXPECT_EQ(3, data.glyphs[40].x);
    EXPECT_EQ(9, data.glyphs[40].advanceX);
    EXPECT_EQ(2, data.glyphs[41].x);
}

TEST(ImportGlyphData, TrailingPartialRecordIsDropped) {
    ::Test::TempDir dir;
    const std::string path = GlyFile("GLY0").Glyph(33, 1).Word(34).Bytes(20).Save(dir);
    ::Test::LogCapture log;
    const GlyphData data = ImportGlyphData(path.c_str());
    ASSERT_EQ(34u, data.glyphs.size());
    EXPECT_EQ(33, data.glyphs[33].code);
    EXPECT_EQ(1, log.Count("[W] ImportGlyphData: trailing partial record"));
}

TEST(ImportGlyphData, CodesAbove255AreIgnoredWithAWarning) {
    ::Test::TempDir dir;
    const std::string path =
        GlyFile("GLY0").Glyph(0x7FFFFFFF, 1).Glyph(256, 2).Glyph(255, 3).Glyph(1000000, 4).Save(dir);
    ::Test::LogCapture log;
    const GlyphData data = ImportGlyphData(path.c_str());
    ASSERT_EQ(256u, data.glyphs.size());
    EXPECT_EQ(3, data.glyphs[255].x);
    EXPECT_EQ(3, log.Count("[W] ImportGlyphData: glyph code "));
    EXPECT_TRUE(log.Contains("glyph code 2147483647 above 255 ignored."));
}

TEST(ImportGlyphData, BadHeadersGiveOneErrorLineAndAnEmptyTable) {
    ::Test::TempDir dir;
    struct Case {
        std::vector<unsigned char> bytes;
        const char* line;
        I32 header;
    };
    const std::vector<Case> cases = {
        {{'G', 'L', 'Y'}, "[E] ImportGlyphData: invalid header/1.", -1},
        {{}, "[E] ImportGlyphData: invalid header/1.", -1},
        {{'G', 'L', 'X', '0', 1, 2, 3, 4}, "[E] ImportGlyphData: invalid header/2.", -1},
        {{'g', 'L', 'Y', '0'}, "[E] ImportGlyphData: invalid header/2.", -1},
        {{'G', 'L', 'Y', '/'}, "[E] ImportGlyphData: invalid header/3.", -1},
        {{'G', 'L', 'Y', '1', 1, 2}, "[E] ImportGlyphData: invalid header/1.", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const std::string path = dir.File("bad.gly");
        ASSERT_TRUE(::Test::WriteFile(path, c.bytes));
        ::Test::LogCapture log;
        const GlyphData data = ImportGlyphData(path.c_str());
        EXPECT_EQ(c.header, data.header);
        EXPECT_TRUE(data.glyphs.empty());
        const std::vector<std::string> lines = log.Entries();
        ASSERT_EQ(1u, lines.size());
        EXPECT_EQ(c.line, lines[0]);
    }

    ::Test::LogCapture log;
    const std::string missing = dir.File("missing.gly");
    const GlyphData data = ImportGlyphData(missing.c_str());
    EXPECT_EQ(-1, data.header);
    EXPECT_TRUE(data.glyphs.empty());
    EXPECT_EQ(1, log.Count("[E] ImportGlyphData: failed to open file:" + missing));
}
