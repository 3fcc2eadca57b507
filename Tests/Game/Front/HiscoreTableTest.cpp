#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "Front/HiscoreTable.h"
#include "Game/Front/FrontTestFont.h"
#include "Math/MathFunctions.h"
#include "Support/TestUtil.h"

using namespace Meridian;

namespace {

typedef std::vector<unsigned char> Bytes;

// A file image: the version, then (score, length, name bytes) per record.
struct FileImage {
    Bytes bytes;
    explicit FileImage(I32 version = 1) { Raw(version); }
    FileImage& Record(I32 score, const std::string& name) {
        Raw(score).Raw(static_cast<I32>(name.size()));
        bytes.insert(bytes.end(), name.begin(), name.end());
        return *this;
    }
    FileImage& Raw(I32 value) {
        U32 bits;
        memcpy(&bits, &value, 4);
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<unsigned char>(bits >> (8 * i)));
        return *this;
    }
};

const std::string Blanks(20, ' ');
const std::string EmptyName(20, '_');

class HiscoreTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitTables();
        m_Table = New<HiscoreTable>();
        m_Table->SetFont(FrontTest::MakeFontShader());
        m_File = m_Dir.File("song.ogg.scr");
    }

    std::string Name(I32 i) const { return m_Table->GetEntry(i).m_Name; }
    I32 Score(I32 i) const { return m_Table->GetEntry(i).m_Score; }
    bool TempExists() const { return access((m_File + ".tmp").c_str(), F_OK) == 0; }

    ::Test::TempDir m_Dir;
    std::string m_File;
    Ref<HiscoreTable> m_Table;
};

}  // namespace

// Damaged records end the list but keep the records before them.
TEST_F(HiscoreTableTest, LoadsRecordsUpToTheFirstDamage) {
    ::Test::LogCapture log;
    EXPECT_FALSE(m_Table->Save());  // no path yet
    EXPECT_FALSE(m_Table->Load(m_File));
    EXPECT_TRUE(log.Contains("[W] \"" + m_File + "\" failed to open for reading."));
    const FileImage two = FileImage().Record(900, "AAA").Record(800, "BBB");
    auto withThird = [&](I32 length) {
        FileImage bad = two;
        bad.Raw(700).Raw(length).bytes.insert(bad.bytes.end(), 300, 'Z');
        return bad.bytes;
    };
    const std::string longest(255, 'L');
    const struct {
        const char* what;
        Bytes bytes;
        bool loads;
        std::vector<std::pair<I32, std::string>> records;
    } cases[] = {
        {"version 2", FileImage(2).bytes, false, {}},
        {"cut version", Bytes{1, 0}, false, {}},
        {"version only", FileImage(0).bytes, true, {}},
        // Names are kept as stored, also when shorter than the 20 the game makes.
        {"short names", FileImage().Record(1234567, "BOB").Record(700, "ALICE").bytes, true, {{1234567, "BOB"}, {700, "ALICE"}}},
        {"cut in a name", FileImage(two).Raw(700).Raw(5).Raw('C').bytes, true, {{900, "AAA"}, {800, "BBB"}}},
        {"negative length", withThird(-5), true, {{900, "AAA"}, {800, "BBB"}}},
        {"smallest length", withThird(-2147483647 - 1), true, {{900, "AAA"}, {800, "BBB"}}},
        {"256 bytes", withThird(256), true, {{900, "AAA"}, {800, "BBB"}}},
        {"largest length", withThird(2147483647), true, {{900, "AAA"}, {800, "BBB"}}},
        {"longest name, then a zero length", FileImage().Record(5, longest).Raw(4).Raw(0).bytes, true, {{5, longest}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(::Test::WriteFile(m_File, c.bytes));
        EXPECT_EQ(m_Table->Load(m_File), c.loads);
        for (I32 i = 0; i < HiscoreTable::EntryCount; ++i) {
            const size_t k = static_cast<size_t>(i);
            EXPECT_EQ(Score(i), k < c.records.size() ? c.records[k].first : 0) << i;
            EXPECT_EQ(Name(i), k < c.records.size() ? c.records[k].second : EmptyName) << i;
        }
    }
    EXPECT_TRUE(log.Contains("[W] \"" + m_File + "\" failed to read version."));
    EXPECT_EQ(log.Count("record 3 has a bad name length"), 4);
}

TEST_F(HiscoreTableTest, SavesUpToTheFirstEmptyScoreAndShowsTheRows) {
    ASSERT_TRUE(::Test::WriteFile(m_File, FileImage(0).bytes));
    ASSERT_TRUE(m_Table->Load(m_File));
    EXPECT_TRUE(m_Table->Save());
    EXPECT_EQ(::Test::ReadFile(m_File), FileImage(1).bytes);
    EXPECT_FALSE(TempExists());

    ASSERT_TRUE(::Test::WriteFile(m_File, FileImage().Record(1234567, "BOB").Record(0, "ZERO").Record(800, "C").bytes));
    EXPECT_TRUE(m_Table->Load(m_File));
    EXPECT_EQ(Score(2), 800);
    m_Table->Refresh();
    EXPECT_EQ(m_Table->GetNameText(0)->GetText(), "BOB");
    EXPECT_EQ(m_Table->GetScoreText(0)->GetText(), "1234567");
    EXPECT_EQ(m_Table->GetScoreText(2)->GetText(), "00800");
    EXPECT_EQ(m_Table->GetPlaceText(9)->GetText(), "10.");
    EXPECT_EQ(m_Table->GetNameText(9)->GetText(), EmptyName);
    EXPECT_TRUE(m_Table->Save());
    EXPECT_EQ(::Test::ReadFile(m_File), FileImage().Record(1234567, "BOB").bytes);
}

TEST_F(HiscoreTableTest, InsertKeepsTenEntriesBestFirst) {
    EXPECT_FALSE(m_Table->Load(m_File));  // no file yet: an empty table
    EXPECT_FALSE(m_Table->Insert(0));
    for (int i = 0; i < 10; ++i) {
        EXPECT_TRUE(m_Table->Insert(500));
        EXPECT_EQ(m_Table->GetEditIndex(), i);
    }
    EXPECT_FALSE(m_Table->Insert(500));
    EXPECT_EQ(m_Table->GetEditIndex(), -1);
    EXPECT_TRUE(m_Table->Insert(501));
    EXPECT_EQ(m_Table->GetEditIndex(), 0);
    EXPECT_EQ(Score(0), 501);
    EXPECT_EQ(Name(0), Blanks);
    EXPECT_EQ(m_Table->GetCursorPos(), 0);
    for (I32 i = 1; i < 10; ++i) EXPECT_EQ(Score(i), 500);
}

TEST_F(HiscoreTableTest, NameEntryWithTheDPadAndTheKeyboard) {
    // Not editing: nothing moves.
    m_Table->NextChar();
    m_Table->NextPosition();
    EXPECT_EQ(Name(0), EmptyName);
    EXPECT_EQ(m_Table->GetCursorPos(), 0);

    ASSERT_TRUE(m_Table->Insert(100));
    m_Table->NextChar();  // from the blank (36) round to "A"
    EXPECT_EQ(Name(0), "A" + Blanks.substr(1));
    m_Table->PreviousChar();
    m_Table->PreviousChar();  // back past the blank to "9"
    EXPECT_EQ(Name(0)[0], '9');
    m_Table->PreviousPosition(false);
    EXPECT_EQ(m_Table->GetCursorPos(), 0);
    for (int i = 0; i < 25; ++i) m_Table->NextPosition();
    EXPECT_EQ(m_Table->GetCursorPos(), 19);
    // DPadX erases the character under the cursor and steps back.
    m_Table->NextChar();
    m_Table->PreviousPosition(true);
    EXPECT_EQ(m_Table->GetCursorPos(), 18);
    EXPECT_EQ(Name(0), "9" + Blanks.substr(1));
    // The edited row blinks a cursor mark for the first fifth of each second and is highlighted; ending the
    // entry turns it white.
    m_Table->Update(Fixed::Zero);
    EXPECT_EQ(m_Table->GetNameText(0)->GetText(), "9" + Blanks.substr(1, 17) + "_ ");
    m_Table->Update(Fixed::FromRaw(16384));
    EXPECT_EQ(m_Table->GetNameText(0)->GetText(), Name(0));
    EXPECT_LT(m_Table->GetScoreText(0)->GetColor()[0], 0.5f);
    m_Table->SetEditIndex(-1);
    m_Table->Refresh();
    EXPECT_FLOAT_EQ(m_Table->GetScoreText(0)->GetColor()[0], 1.0f);
    // Typed: capitals and digits only, backspace, Enter ends the entry.
    ASSERT_TRUE(m_Table->Insert(200));
    m_Table->TypeChar('a');
    EXPECT_EQ(Name(0), Blanks);
    EXPECT_EQ(m_Table->GetCursorPos(), 0);
    for (char c : {'A', 'B', '\b', '7'}) m_Table->TypeChar(c);
    EXPECT_EQ(Name(0), "A7" + Blanks.substr(2));
    EXPECT_EQ(m_Table->GetCursorPos(), 2);
    m_Table->TypeChar(13);
    EXPECT_EQ(m_Table->GetEditIndex(), -1);
    m_Table->TypeChar('Z');
    m_Table->TypeChar(8);
    EXPECT_EQ(Name(0), "A7" + Blanks.substr(2));
}

TEST_F(HiscoreTableTest, FailedSavesKeepTheOldFile) {
    const Bytes old = FileImage().Record(900, "OLD").bytes;
    ASSERT_TRUE(::Test::WriteFile(m_File, old));
    ASSERT_TRUE(m_Table->Load(m_File));
    ASSERT_TRUE(m_Table->Insert(1000));
    ::Test::LogCapture log;
    // The temporary file cannot be created.
    ASSERT_EQ(mkdir((m_File + ".tmp").c_str(), 0755), 0);
    EXPECT_FALSE(m_Table->Save());
    EXPECT_TRUE(log.Contains("[E] \"" + m_File + "\" failed top open for writing."));
    EXPECT_EQ(::Test::ReadFile(m_File), old);
    ASSERT_EQ(rmdir((m_File + ".tmp").c_str()), 0);
    // Written in part (a file size limit stands in for a full card): the temporary file goes.
    void (*previous)(int) = signal(SIGXFSZ, SIG_IGN);
    rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 10;
    setrlimit(RLIMIT_FSIZE, &small);
    const bool saved10 = m_Table->Save();
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, previous);
    EXPECT_FALSE(saved10);
    EXPECT_TRUE(log.Contains("[E] \"" + m_File + "\" failed to write ("));
    EXPECT_EQ(::Test::ReadFile(m_File), old);
    EXPECT_FALSE(TempExists());
    // Once writing works again the new table replaces the old one whole.
    EXPECT_TRUE(m_Table->Save());
    EXPECT_FALSE(TempExists());
    EXPECT_EQ(::Test::ReadFile(m_File), FileImage().Record(1000, Blanks).Record(900, "OLD").bytes);
}

TEST_F(HiscoreTableTest, TablesThatDidNotLoadWholeAreKeptBesideTheNewOne) {
    FileImage ten;
    for (I32 i = 0; i < HiscoreTable::EntryCount; ++i) ten.Record(1000 - i, "PLAYER" + std::to_string(i));
    Bytes flipped = ten.bytes;
    flipped[2] ^= 0x10;  // one bit of the version word
    const Bytes cut(ten.bytes.begin(), ten.bytes.end() - 3);
    const Bytes zeroLength = FileImage().Record(900, "AAA").Raw(800).Raw(0).bytes;
    const std::string damaged = m_File + ".damaged";
    enum Kind { File, Fifo, Missing };
    const struct {
        const char* what;
        Kind kind;
        Bytes bytes;
        bool kept;
        size_t saved;  // bytes: what loaded, and the new 20-blank record of 28 bytes
    } cases[] = {
        {"complete", File, ten.bytes, false, 4 + 9 * 15 + 28}, {"bad version", File, flipped, true, 4 + 28},
        {"cut", File, cut, true, 4 + 9 * 15 + 28},           {"zero length", File, zeroLength, true, 4 + 11 + 28},
        {"fifo", Fifo, {}, true, 4 + 28},                     {"missing", Missing, {}, false, 4 + 28},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        remove(m_File.c_str());
        remove(damaged.c_str());
        ASSERT_TRUE(c.kind != File || ::Test::WriteFile(m_File, c.bytes));
        ASSERT_TRUE(c.kind != Fifo || mkfifo(m_File.c_str(), 0644) == 0);
        ::Test::LogCapture log;
        m_Table->Load(m_File);  // a FIFO must not block
        EXPECT_EQ(m_Table->IsDamaged(), c.kept);
        ASSERT_TRUE(m_Table->Insert(5000));
        ASSERT_TRUE(m_Table->Save());
        EXPECT_EQ(::Test::ReadFile(m_File).size(), c.saved);
        struct stat info;
        EXPECT_EQ(lstat(damaged.c_str(), &info) == 0, c.kept);
        EXPECT_TRUE(!c.kept || (c.kind == File ? ::Test::ReadFile(damaged) == c.bytes : S_ISFIFO(info.st_mode)));
        EXPECT_EQ(log.Contains("[W] HiscoreTable::Save: \"" + m_File + "\" did not load whole; the damaged file is "
                               "kept as \"" + damaged + "\"."),
                  c.kept);
    }
    // One copy per song, the newest kept; the saved table loads whole.
    for (const Bytes* bytes : {&std::as_const(flipped), &cut}) {
        ASSERT_TRUE(::Test::WriteFile(m_File, *bytes));
        m_Table->Load(m_File);
        ASSERT_TRUE(m_Table->Save());
    }
    EXPECT_EQ(::Test::ReadFile(damaged), cut);
    EXPECT_TRUE(m_Table->Load(m_File));
    EXPECT_FALSE(m_Table->IsDamaged());
}
