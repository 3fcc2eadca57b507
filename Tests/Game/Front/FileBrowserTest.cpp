#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Core/Utf8.h"
#include "Front/FileBrowser.h"
#include "Game/Front/FrontTestFont.h"
#include "Math/MathFunctions.h"
#include "Support/Program.h"
#include "Support/TestUtil.h"

using namespace Meridian;

namespace {

class FileBrowserTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitTables();
        m_Browser = New<FileBrowser>();
        m_Browser->SetFont(FrontTest::MakeFontShader());
        m_Browser->AddExtension(".ogg");
        m_Browser->AddExtension(".ogg");
        m_Browser->AddExtension(".mp3");
    }

    std::string Make(const std::string& name, bool folder = false) {
        const std::string path = m_Dir.File(name);
        if (folder)
            mkdir(path.c_str(), 0755);
        else
            ::Test::WriteText(path, "x");
        return path;
    }

    static std::string Resolved(const std::string& path) {
        char buffer[PATH_MAX];
        return std::string(realpath(path.c_str(), buffer) ? buffer : path.c_str()) + "/";
    }
    // The texts of the visible lines, top to bottom; hidden lines end the list.
    std::vector<std::string> Shown() const {
        std::vector<std::string> texts;
        for (I32 i = 0; i < FileBrowser::VisibleLines && m_Browser->GetLine(i)->IsEnabled(); ++i)
            texts.push_back(m_Browser->GetLine(i)->GetText());
        return texts;
    }

    ::Test::TempDir m_Dir;
    Ref<FileBrowser> m_Browser;
};

}  // namespace

TEST_F(FileBrowserTest, ListsFoldersFirstFiltersOggAndSortsIgnoringCase) {
    // A folder with nothing in it offers only the way up.
    Make("empty", true);
    m_Browser->SetPath(m_Dir.File("empty"));
    EXPECT_EQ(m_Browser->GetCurrentPath(), Resolved(m_Dir.File("empty")));
    EXPECT_EQ(Shown(), std::vector<std::string>({"[..]"}));
    ASSERT_EQ(m_Browser->GetEntryCount(), 1u);
    EXPECT_TRUE(m_Browser->GetEntry(0).m_IsFolder);
    EXPECT_EQ(m_Browser->GetCursor(), 0);
    for (const char* folder : {"zeta", "Alpha", "beta"}) Make(folder, true);
    // Every extension in any letter case, each first found at the end.
    for (const char* file : {"x.ogg", "Bravo.ogg", "apple.ogg", "song.OGG", "a.ogg.ogg", "notes.txt", "Émile.Mp3",
                             "mp3.txt"})
        Make(file);
    m_Browser->SetPath(m_Dir.Path());
    EXPECT_EQ(Shown(), std::vector<std::string>({"[..]", "[Alpha]", "[beta]", "[empty]", "[zeta]", "apple.ogg",
                                                 "Bravo.ogg", "song.OGG", "x.ogg", "Émile.Mp3"}));
    EXPECT_EQ(m_Browser->GetEntry(7).m_Folder, Resolved(m_Dir.Path()));
    // The cursor's line is marked; the others are white.
    EXPECT_EQ(m_Browser->GetSelectedLine(), m_Browser->GetLine(0));
    EXPECT_LT(m_Browser->GetLine(0)->GetColor()[1], 1.0f);
    EXPECT_FLOAT_EQ(m_Browser->GetLine(1)->GetColor()[1], 1.0f);
    // Line i sits i glyph heights (8) below the browser's origin.
    EXPECT_EQ(m_Browser->GetLine(3)->GetParentTransform()->GetTranslation().y, FrontTest::Units(-24));
}

TEST_F(FileBrowserTest, WindowFollowsTheCursorAndWraps) {
    char name[16];
    for (int i = 0; i < 29; ++i) {
        snprintf(name, sizeof(name), "f%02d.ogg", i);
        Make(name);
    }
    m_Browser->SetPath(m_Dir.Path());
    ASSERT_EQ(m_Browser->GetEntryCount(), 30u);  // ".." and 29 songs
    // Near the top the window starts at the first entry, in the middle the cursor sits on the 11th line, near
    // the end the last 21 entries fill it; down wraps from the last entry, up only from the first.
    const struct {
        int moves;  // down when positive
        int cursor;
        const char* first;
        int line;
    } steps[] = {{5, 5, "[..]", 5},   {10, 15, "f04.ogg", 10}, {10, 25, "f08.ogg", 16}, {4, 29, "f08.ogg", 20},
                 {1, 0, "[..]", 0},   {-1, 29, "f08.ogg", 20}, {-28, 1, "[..]", 1},     {-1, 0, "[..]", 0}};
    for (const auto& step : steps) {
        for (int i = 0; i < std::abs(step.moves); ++i) step.moves > 0 ? m_Browser->CursorDown() : m_Browser->CursorUp();
        SCOPED_TRACE(step.cursor);
        ASSERT_EQ(m_Browser->GetCursor(), step.cursor);
        const std::vector<std::string> shown = Shown();
        ASSERT_EQ(shown.size(), 21u);
        EXPECT_EQ(shown.front(), step.first);
        EXPECT_EQ(m_Browser->GetSelectedLine(), m_Browser->GetLine(step.line));
    }
}

TEST_F(FileBrowserTest, LongNamesAreCutAndScrollWhenSelected) {
    // 45 characters in 81 bytes: names are cut and scrolled by character.
    std::string name45 = "Long-";
    for (int i = 0; i < 36; ++i) name45 += "\xC3\xA9";
    name45 += ".ogg";
    Make(name45);
    Make("a.ogg");
    m_Browser->SetPath(m_Dir.Path());
    ASSERT_EQ(Shown().size(), 3u);
    EXPECT_EQ(Shown()[2], Utf8::Prefix(name45, 40) + "...");

    m_Browser->CursorDown();
    m_Browser->CursorDown();
    ASSERT_EQ(m_Browser->GetCurrentEntry()->m_Name, name45);
    TextGeometry* line = m_Browser->GetSelectedLine();
    ASSERT_EQ(line, m_Browser->GetLine(2));
    // The marquee moves four characters per second.
    m_Browser->Update(Fixed::FromRaw(16384));
    EXPECT_EQ(line->GetText(), Utf8::Slice(name45, 1, 40));
    EXPECT_FLOAT_EQ(line->GetColor()[3], 1.0f);
    m_Browser->Update(Fixed::FromRaw(16384));
    EXPECT_EQ(line->GetText(), Utf8::Slice(name45, 2, 40));
    // After 12 s the window (offset 48 of 50) wraps through " +++ " to the start.
    m_Browser->Update(Fixed::FromInt(11) + Fixed::FromRaw(32768));
    EXPECT_EQ(line->GetText(), "+ " + Utf8::Prefix(name45, 38));
    // A short name is shown whole; moving the cursor lays out afresh.
    m_Browser->CursorUp();
    m_Browser->Update(Fixed::FromInt(3));
    EXPECT_EQ(m_Browser->GetSelectedLine()->GetText(), "a.ogg");
    EXPECT_EQ(Shown()[2], Utf8::Prefix(name45, 40) + "...");
}

TEST_F(FileBrowserTest, EntersFoldersListsOnlyRegularSongsAndHasNoDeadEnds) {
    Make("good.ogg");
    Make("sub", true);
    Make("sub/inner.ogg");
    ASSERT_EQ(symlink(m_Dir.File("nowhere.ogg").c_str(), m_Dir.File("dangling.ogg").c_str()), 0);
    ASSERT_EQ(symlink(m_Dir.File("good.ogg").c_str(), m_Dir.File("link.ogg").c_str()), 0);
    ASSERT_EQ(mkfifo(m_Dir.File("fifo.ogg").c_str(), 0644), 0);  // would block whoever reads it
    ::Test::LogCapture log;
    m_Browser->SetPath(m_Dir.File("sub") + "//");
    EXPECT_EQ(m_Browser->GetCurrentPath(), Resolved(m_Dir.File("sub")));
    EXPECT_EQ(Shown(), std::vector<std::string>({"[..]", "inner.ogg"}));
    // ".." climbs to the parent folder.
    m_Browser->EnterFolder();
    EXPECT_EQ(m_Browser->GetCurrentPath(), Resolved(m_Dir.Path()));
    EXPECT_TRUE(log.Contains("[E] FileBrowser: stat failed \"No such file or directory\""));
    EXPECT_EQ(Shown(), std::vector<std::string>({"[..]", "[sub]", "good.ogg", "link.ogg"}));
    EXPECT_EQ(m_Browser->GetMessage(), "");
    // A file is not entered, a folder is.
    m_Browser->CursorUp();
    m_Browser->EnterFolder();
    EXPECT_EQ(m_Browser->GetCurrentPath(), Resolved(m_Dir.Path()));
    m_Browser->CursorDown();
    m_Browser->CursorDown();
    m_Browser->EnterFolder();
    EXPECT_EQ(m_Browser->GetCurrentPath(), Resolved(m_Dir.File("sub")));
    EXPECT_EQ(log.Count("[D] FileBrowser::RebuildFileList"), 3);
    // The same path again only lays out: the cursor stays where it was.
    m_Browser->CursorDown();
    m_Browser->SetPath(m_Browser->GetCurrentPath());
    m_Browser->SetPath("");
    EXPECT_EQ(log.Count("[D] FileBrowser::RebuildFileList"), 3);
    EXPECT_EQ(m_Browser->GetCursor(), 1);
    // A rescan reads the folder again; the cursor stays on its entry.
    Make("sub/another.ogg");
    m_Browser->Rescan();
    EXPECT_EQ(Shown(), std::vector<std::string>({"[..]", "another.ogg", "inner.ogg"}));
    EXPECT_EQ(m_Browser->GetCurrentEntry()->m_Name, "inner.ogg");
    remove(m_Dir.File("sub/another.ogg").c_str());
    remove(m_Dir.File("sub/inner.ogg").c_str());
    // A folder that is gone (or never there, as a missing "./Music/") offers ".." and the reason; ".." leads out.
    char here[PATH_MAX];
    ASSERT_NE(getcwd(here, sizeof(here)), nullptr);
    ASSERT_EQ(chdir(m_Dir.File("sub").c_str()), 0);
    for (const std::string& missing : {m_Dir.File("missing"), std::string("./Music/")}) {
        SCOPED_TRACE(missing);
        m_Browser->SetPath(missing);
        EXPECT_TRUE(log.Contains("[E] opendir failed on \"" + missing));
        EXPECT_EQ(Shown(), std::vector<std::string>({"[..]"}));
        EXPECT_EQ(m_Browser->GetMessage(), "Cannot read this folder: No such file or directory.");
        m_Browser->Update(Fixed::One);
        m_Browser->EnterFolder();
        EXPECT_EQ(m_Browser->GetMessage(), "");
    }
    EXPECT_EQ(m_Browser->GetCurrentPath(), Resolved(m_Dir.File("sub")));
    ASSERT_EQ(chdir(here), 0);
    rmdir(m_Dir.File("sub").c_str());
    m_Browser->Rescan();  // the folder shown went away
    EXPECT_EQ(Shown(), std::vector<std::string>({"[..]"}));
    m_Browser->EnterFolder();
    EXPECT_EQ(m_Browser->GetCurrentPath(), Resolved(m_Dir.Path()));
    // A folder without read permission, as a player who is not the superuser.
    Make("locked", true);
    Make("locked/hidden.ogg");
    ASSERT_EQ(chmod(m_Dir.Path().c_str(), 0755), 0);
    ASSERT_EQ(chmod(m_Dir.File("locked").c_str(), 0700), 0);
    const int result = ::Test::RunAsNobody([&] {
        m_Browser->SetPath(m_Dir.File("locked"));
        int failures = 0;
        if (Shown() != std::vector<std::string>({"[..]"})) failures |= 1;
        if (m_Browser->GetMessage() != "Cannot read this folder: Permission denied.") failures |= 2;
        m_Browser->EnterFolder();
        if (m_Browser->GetCurrentPath() != Resolved(m_Dir.Path()) || Shown().at(1) != "[locked]") failures |= 4;
        return failures;
    });
    EXPECT_EQ(result, 0);
}
