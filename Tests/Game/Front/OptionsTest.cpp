#include <gtest/gtest.h>

#include <vector>

#include "Front/Options.h"

namespace {

GameOptions Parse(std::vector<const char*> args) {
    args.insert(args.begin(), "skyrail");
    return GameOptions::Parse(static_cast<int>(args.size()), const_cast<char**>(args.data()));
}

}  // namespace

TEST(GameOptions, SongSwitchesAndMistakes) {
    // The first argument containing ".ogg" is the song, wherever it stands.
    GameOptions options = Parse({"--headless", "Music/a.ogg", "--scale", "3", "b.ogg", "--shots", "out"});
    EXPECT_TRUE(options.valid);
    EXPECT_EQ(options.song, "Music/a.ogg");
    EXPECT_TRUE(options.headless);
    EXPECT_EQ(options.scale, 3);
    EXPECT_EQ(options.shots, "out");
    EXPECT_FALSE(options.autopilot);
    EXPECT_TRUE(options.music.empty());
    // Songs of every format in any letter case; the music folder.
    const char* songs[] = {"Music/UPPER.OGG", "x.mp3", "a/b.Flac", "c.opus", "d.M4A", "e.aac", "f.WAV"};
    for (const char* song : songs) EXPECT_EQ(Parse({"--music", "/media/songs", song}).song, song);
    EXPECT_EQ(Parse({"--music", "/media/songs"}).music, "/media/songs");
    EXPECT_FALSE(Parse({"notes.mid"}).valid);

    options = Parse({"--autopilot", "--fullscreen", "--window", "--calibrate"});
    EXPECT_TRUE(options.autopilot && options.fullscreen && options.window && options.calibrate);
    EXPECT_TRUE(options.song.empty());
    EXPECT_TRUE(Parse({"--help"}).help);

    EXPECT_FALSE(Parse({"--scale", "0"}).valid);
    EXPECT_FALSE(Parse({"--scale"}).valid);  // missing value
    EXPECT_FALSE(Parse({"--colour"}).valid);
}
