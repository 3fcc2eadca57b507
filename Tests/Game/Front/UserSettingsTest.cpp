// The settings file on disk: what reads, what is refused as damaged, and writes that replace the file whole.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "Front/UserSettings.h"
#include "Support/TestUtil.h"

TEST(UserSettings, ReadsRefusesDamageAndWritesWhole) {
    ::Test::TempDir dir;
    const std::string path = dir.File("skyrail/settings.ini");
    ::Test::LogCapture log;
    UserSettings settings;
    EXPECT_FALSE(settings.Load(path));  // missing: silently the defaults
    EXPECT_EQ(log.Count("[W] "), 0);

    const struct {
        const char* text;
        bool loads;
        int volume, scale, fullscreen;
    } cases[] = {
        {"[Audio]\nvolume = 40\n[Video]\nscale=2 ; comment\nfullscreen = 1\n", true, 40, 2, 1},
        {"# only a comment\n\n[Other]\nvolume = 99999\n[Audio]\nunknown = x\n", true, -1, 0, -1},
        {"[Audio]\nvolume = loud\n", false, -1, 0, -1},
        {"[Audio]\nvolume = 129\n", false, -1, 0, -1},
        {"[Audio]\nbuffer = 128\n", false, -1, 0, -1},
        {"[Audio]\noffset = -1001\n", false, -1, 0, -1},
        {"[Video]\nscale = 3\nthis line is broken\n", false, -1, 0, -1},
        {"[Keys]\nDPadA = space\nJump = j\n", false, -1, 0, -1},
        {"\x89PNG\r\n\x1a\n\x01\x02", false, -1, 0, -1},
    };
    ASSERT_EQ(mkdir(dir.File("skyrail").c_str(), 0755), 0);
    int warnings = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_TRUE(::Test::WriteText(path, c.text));
        EXPECT_EQ(settings.Load(path), c.loads);
        warnings += !c.loads;
        EXPECT_EQ(log.Count("[W] UserSettings::Load: "), warnings);
        EXPECT_EQ((std::vector<int>{settings.volume, settings.scale, settings.fullscreen}),
                  (std::vector<int>{c.volume, c.scale, c.fullscreen}));
    }
    // Unreadable (a folder of that name): one warning, the defaults.
    EXPECT_FALSE(settings.Load(dir.Path()));
    EXPECT_EQ(log.Count("[W] UserSettings::Load: "), warnings + 1);
    // A save creates the folders, leaves no temporary file and reads back.
    settings.volume = 35;
    settings.scale = 4;
    settings.fullscreen = 0;
    settings.buffer = 512;
    settings.offset = -40;
    settings.keys = {{"DPadA", "space"}, {"Start", "left alt"}};
    const std::string fresh = dir.File("new/skyrail/settings.ini");
    ASSERT_TRUE(settings.Save(fresh));
    EXPECT_NE(access((fresh + ".tmp").c_str(), F_OK), 0);
    UserSettings back;
    ASSERT_TRUE(back.Load(fresh));
    EXPECT_EQ((std::vector<int>{back.volume, back.scale, back.fullscreen, back.buffer, back.offset}),
              (std::vector<int>{35, 4, 0, 512, -40}));
    EXPECT_EQ(back.keys, settings.keys);
    // Under a regular file no folder can be made: the failure is logged.
    EXPECT_FALSE(settings.Save(fresh + "/settings.ini"));
    EXPECT_EQ(log.Count("[E] UserSettings::Save: "), 1);
    EXPECT_TRUE(back.Load(fresh));
}

// Without a choice the music folder is ./Music/ where the game runs, else the desktop's music folder.
TEST(UserSettings, DefaultMusicFolderFollowsTheDesktop) {
    ::Test::TempDir home;
    char old[4096];
    ASSERT_NE(getcwd(old, sizeof old), nullptr);
    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome ? oldHome : "";
    setenv("HOME", home.Path().c_str(), 1);
    setenv("XDG_CONFIG_HOME", home.File("cfg").c_str(), 1);
    ASSERT_EQ(mkdir(home.File("cfg").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(home.File("run").c_str(), 0755), 0);
    ASSERT_EQ(chdir(home.File("run").c_str()), 0);
    EXPECT_EQ(UserSettings::DefaultMusicFolder(), "./Music/");  // nothing exists
    ASSERT_EQ(mkdir(home.File("Music").c_str(), 0755), 0);
    EXPECT_EQ(UserSettings::DefaultMusicFolder(), home.File("Music") + "/");
    ASSERT_EQ(mkdir(home.File("Tunes").c_str(), 0755), 0);
    ASSERT_TRUE(::Test::WriteText(home.File("cfg/user-dirs.dirs"), "# dirs\nXDG_MUSIC_DIR=\"$HOME/Tunes\"\n"));
    EXPECT_EQ(UserSettings::DefaultMusicFolder(), home.File("Tunes") + "/");
    ASSERT_EQ(mkdir("Music", 0755), 0);
    EXPECT_EQ(UserSettings::DefaultMusicFolder(), "./Music/");
    ASSERT_EQ(chdir(old), 0);
    setenv("HOME", savedHome.c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
}
