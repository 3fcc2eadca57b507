// The real programs as a player or a script runs them, skyrail and skyrail-analyze, on real songs and files.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

#include "Game/Race/RaceTestUtil.h"
#include "Image/ImportPNG.h"
#include "Support/OggFiles.h"
#include "Support/Program.h"
#include "Support/SongFiles.h"
#include "Support/TestUtil.h"

namespace {

std::string BuildDir() { return std::string(SKYRAIL_TEST_TOOLS_DIR) + "/.."; }

// Whether text holds part; a failure shows the whole text.
::testing::AssertionResult Has(const std::string& text, const std::string& part) {
    if (text.find(part) != std::string::npos) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "\"" << part << "\" not in:\n" << text;
}

// The exit statuses checked here also catch leaks: in the sanitizer build a leak at exit makes them 1.

// A shell script run on a fresh X server of the given screen ("WxHxD"), with the game's path as $0.
::Test::Program UnderXvfb(const std::string& screen, const std::string& script, const std::string& folder,
                          const std::vector<std::string>& environment = {}) {
    return ::Test::Program("/usr/bin/xvfb-run",
                           {"-a", "-s", "-screen 0 " + screen + " -nolisten tcp", "sh", "-c", script,
                            ::Test::Program::Game()},
                           folder, environment);
}

// A real song and, when wanted, a course whose onsets all lie in the lowest band: every obstacle is a
// capsule in the centre lane, so a glider left alone scores.
void WriteSong(const std::string& song, float seconds, bool course) {
    ASSERT_TRUE(::Test::WriteOgg(song, std::vector<int16_t>(static_cast<size_t>(44100 * seconds), 0), 44100, 1));
    if (!course) return;
    const int beat = static_cast<int>(0.5f / RaceTest::PointSeconds);
    ASSERT_TRUE(RaceTest::MakeTrack(seconds, [beat](int i, float) {
                    return TrackData::Bands{i % beat == 0 && i > 0 ? 10.0f : 1.0f, 1.0f, 1.0f};
                }).SaveTo(song));
}

// A folder laid out as the game expects: ./Data and ./Music.
class GameFolder {
public:
    GameFolder() {
        EXPECT_EQ(symlink((BuildDir() + "/Data").c_str(), m_Dir.File("Data").c_str()), 0);
        EXPECT_EQ(mkdir(m_Dir.File("Music").c_str(), 0755), 0);
    }
    std::string File(const std::string& name) const { return m_Dir.File(name); }
    const std::string& Path() const { return m_Dir.Path(); }

    void AddSong(const std::string& name, float seconds, bool course) const {
        WriteSong(File("Music/" + name), seconds, course);
    }
    bool Exists(const std::string& name) const { return access(File(name).c_str(), F_OK) == 0; }

private:
    ::Test::TempDir m_Dir;
};

}  // namespace

TEST(GameProgram, QuitDuringNameEntrySavesTheNameTypedSoFar) {
    GameFolder game;
    game.AddSong("beat.ogg", 6.0f, true);
    game.AddSong("long.ogg", 60.0f, false);
    // The 6 s race ends at about 7 s; by 12 s the table waits for a name. The script's last entry marks
    // the log ("the script has run out") once the keys before it are typed.
    const std::string typing = "time 12000 keys AB\ntime 12100 keys C\ntime 12500 buttons none\n";
    const struct {
        const char* what;
        std::string song;
        std::string script;
        int signal;         // sent once the script has run out; 0: none
        const char* state;  // the state the quit left
        const char* name;   // expected in the table, null: no table written
    } cases[] = {
        {"script quit", "beat.ogg", typing + "time 13000 quit\n", 0, "Hiscore", "ABC"},
        {"SIGTERM", "beat.ogg", typing, SIGTERM, "Hiscore", "ABC"},
        {"SIGINT", "beat.ogg", typing, SIGINT, "Hiscore", "ABC"},
        {"race abandoned", "beat.ogg", "time 3000 buttons none\n", SIGTERM, "Play", nullptr},
        {"analysis dropped", "long.ogg", "time 300 buttons none\n", SIGTERM, "Convert", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        remove(game.File("Music/beat.ogg.scr").c_str());
        ASSERT_TRUE(::Test::WriteText(game.File("script.txt"), c.script));
        ::Test::Program run(::Test::Program::Game(), {"--headless", "--verbose", "--script", "script.txt", "Music/" + c.song},
                            game.Path());
        ASSERT_TRUE(run.Start());
        if (c.signal) {
            ASSERT_TRUE(run.WaitForError("the script has run out")) << run.Errors();
            run.Signal(c.signal);
        }
        EXPECT_EQ(run.Wait(), 0) << run.Errors();
        EXPECT_TRUE(Has(run.Errors(), std::string("[I] MainLoop Left.\n[D] MainApp/ExitState: ") + c.state + "\n"));
        EXPECT_FALSE(game.Exists("Music/long.ogg.kpt"));
        if (!c.name) {
            EXPECT_FALSE(game.Exists("Music/" + c.song + ".scr"));
            continue;
        }
        const std::vector<unsigned char> table = ::Test::ReadFile(game.File("Music/beat.ogg.scr"));
        ASSERT_EQ(table.size(), 4u + 8u + 20u);
        EXPECT_GT(table[4] | table[5] << 8, 0);  // the race's score
        EXPECT_EQ(std::string(table.begin() + 12, table.end()), c.name + std::string(17, ' '));
    }
}

TEST(AnalyzeProgram, ReportsSongsTheGameRefusesAndSkipsFifos) {
    GameFolder game;
    game.AddSong("beat.ogg", 2.0f, false);
    game.AddSong("short.ogg", 0.5f, false);
    game.AddSong("long.ogg", 0.5f, false);
    ASSERT_TRUE(RaceTest::FlatTrack(4096.0f, 0.125f).SaveTo(game.File("Music/long.ogg")));  // 68 minutes
    ASSERT_EQ(mkfifo(game.File("Music/fifo.ogg").c_str(), 0644), 0);
    // Three at a time, each in its own process; lines come in the songs' order.
    ::Test::Program folder(::Test::Program::Analyser(), {"--jobs", "3", "Music"}, game.Path());
    ASSERT_TRUE(folder.Start());
    EXPECT_EQ(folder.Wait(), 1);
    const std::string out = folder.Output();
    EXPECT_TRUE(Has(out, "ok    Music/beat.ogg: "));
    EXPECT_LT(out.find("Music/beat.ogg"), out.find("Music/long.ogg")) << out;
    EXPECT_LT(out.find("Music/long.ogg"), out.find("Music/short.ogg")) << out;
    EXPECT_TRUE(Has(out, "refused Music/short.ogg: 0.5 s of music analysed, but the game will not race it: need "
                         "at least 1s of data.\n"));
    EXPECT_TRUE(Has(out, "refused Music/long.ogg: track file exists, but the game will not race it: song of "
                         "4096.000000s is too long"));
    EXPECT_TRUE(Has(out, "3 songs: 1 written, 0 skipped, 2 refused, 0 failed; 2.4 s of music analysed; by format: 3 ogg\n"));
    // Named directly, a FIFO is refused at once instead of blocking.
    ::Test::Program fifo(::Test::Program::Analyser(), {"Music/fifo.ogg"}, game.Path());
    ASSERT_TRUE(fifo.Start());
    EXPECT_EQ(fifo.Wait(), 1);
    EXPECT_TRUE(Has(fifo.Errors(), "skyrail-analyze: Music/fifo.ogg: not a regular file"));
}

// Installed into a scratch prefix, the game races headless from a folder without ./Data; its desktop
// entry validates and its icons are PNG files of their folder's size.
TEST(GameProgram, InstalledGameRunsFromAnyFolder) {
    ::Test::TempDir prefix;
    ::Test::Program install(SKYRAIL_CMAKE, {"--install", BuildDir(), "--prefix", prefix.Path()}, BuildDir());
    ASSERT_TRUE(install.Start());
    ASSERT_EQ(install.Wait(), 0) << install.Errors();

    ::Test::TempDir elsewhere;
    ASSERT_EQ(mkdir(elsewhere.File("Music").c_str(), 0755), 0);
    WriteSong(elsewhere.File("Music/beat.ogg"), 6.0f, true);
    ::Test::Program run(prefix.File("bin/skyrail"), {"--headless", "Music/beat.ogg"}, elsewhere.Path());
    ASSERT_TRUE(run.Start());
    EXPECT_EQ(run.Wait(), 0) << run.Errors();
    // The autopilot races and prints its summary, but enters no name; debug lines only with --verbose.
    EXPECT_TRUE(Has(run.Output(), "Race finished: score ")) << run.Errors();
    EXPECT_FALSE(Has(run.Errors(), "[D] "));
    EXPECT_NE(access(elsewhere.File("Music/beat.ogg.scr").c_str(), F_OK), 0);

    const std::string entry = prefix.File("share/applications/skyrail.desktop");
    const std::vector<unsigned char> bytes = ::Test::ReadFile(entry);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_TRUE(Has(text, "Exec=" + prefix.File("bin/skyrail") + "\n"));
    ::Test::Program validate("/usr/bin/desktop-file-validate", {entry}, prefix.Path());
    ASSERT_TRUE(validate.Start());
    EXPECT_EQ(validate.Wait(), 0) << validate.Output() << validate.Errors();
    for (int size : {32, 48, 64, 128, 256}) {
        const std::string n = std::to_string(size);
        const std::string icon = prefix.File("share/icons/hicolor/" + n + "x" + n + "/apps/skyrail.png");
        Meridian::Ref<Meridian::Image> image = Meridian::ImportPNG(icon.c_str(), false);
        EXPECT_TRUE(image && image->GetWidth() == size && image->GetHeight() == size) << size;
    }
}

// A library the game cannot write (a read-only bind mount: root ignores permission bits): songs of several
// formats are analysed and raced, track files and tables go to the data folder, where a second race finds them.
TEST(GameProgram, ReadOnlyLibraryKeepsItsFilesInTheDataFolder) {
    GameFolder game;
    const std::string data = game.File("data");
    ASSERT_EQ(mkdir(data.c_str(), 0755), 0);
    const struct {
        const char* name;
        int rate;
        const char* options;
    } songs[] = {{"Émile – Café.mp3", 44100, "-c:a libmp3lame"}, {"b.FLAC", 48000, "-c:a flac"},
                 {"c.m4a", 32000, "-c:a aac"}};
    for (const auto& song : songs)
        ASSERT_TRUE(::Test::WriteSong(game.File(std::string("Music/") + song.name), ::Test::ClickSong(5.0, song.rate),
                                      song.rate, 1, song.options));
    ASSERT_TRUE(::Test::WriteText(game.File("script.txt"), "time 14000 quit\n"));
    char resolved[PATH_MAX];
    ASSERT_NE(realpath(game.File("Music").c_str(), resolved), nullptr);
    const std::string stored = data + "/skyrail" + resolved + "/";
    const std::string readOnly =
        "mount --bind Music Music && mount -o remount,bind,ro Music && touch Music/x 2>/dev/null && exit 99; "
        "exec \"$0\" \"$@\"";
    const std::vector<std::string> environment = {"XDG_DATA_HOME=" + data};
    auto race = [&](const std::string& song) {
        ::Test::Program run("/usr/bin/unshare",
                            {"-m", "sh", "-c", readOnly, ::Test::Program::Game(), "--headless", "--verbose", "--script",
                             "script.txt", "Music/" + song},
                            game.Path(), environment);
        EXPECT_TRUE(run.Start());
        EXPECT_EQ(run.Wait(), 0) << run.Errors();
        EXPECT_TRUE(Has(run.Errors(), "MainApp/InitState: Hiscore"));
        return run.Errors();
    };
    for (const auto& song : songs) {
        SCOPED_TRACE(song.name);
        const std::string log = race(song.name);
        EXPECT_TRUE(Has(log, "SongLength: "));  // analysed
        EXPECT_FALSE(game.Exists(std::string("Music/") + song.name + ".kpt"));
        EXPECT_EQ(access((stored + song.name + ".kpt").c_str(), R_OK), 0);
        EXPECT_EQ(access((stored + song.name + ".scr").c_str(), R_OK), 0);
    }
    EXPECT_FALSE(Has(race(songs[0].name), "SongLength: "));  // found, not analysed again
}

// Each start fails with a line saying why: a song under the 1 s a course needs (analysed all the same), a FIFO
// (which must not block), and, with a display named, a missing server or an 8-bit screen EGL cannot draw on
// (not an invisible offscreen game without a keyboard).
TEST(GameProgram, StartsThatCannotRaceOrDrawFail) {
    GameFolder game;
    game.AddSong("short.ogg", 0.5f, false);
    ASSERT_EQ(mkfifo(game.File("Music/fifo.ogg").c_str(), 0644), 0);
    const std::string noStart = "skyrail: the game could not start";
    const struct {
        const char* what;
        std::string program;
        std::vector<std::string> args;
        std::vector<std::string> environment;
        std::vector<std::string> says;
    } cases[] = {
        {"too short", ::Test::Program::Game(), {"--headless", "Music/short.ogg"}, {},
         {"skyrail: \"Music/short.ogg\" cannot be raced"}},
        {"fifo", ::Test::Program::Game(), {"--headless", "Music/fifo.ogg"}, {}, {"skyrail: no song was raced."}},
        {"no such server", ::Test::Program::Game(), {}, {"DISPLAY=:999"},
         {"cannot open a window on display \":999\": ", noStart}},
        {"8-bit screen", "/usr/bin/xvfb-run",
         {"-a", "-s", "-screen 0 1280x1024x8 -nolisten tcp", ::Test::Program::Game(), "--window"}, {},
         {"cannot open a window on display \":", noStart}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ::Test::Program run(c.program, c.args, game.Path(), c.environment);
        ASSERT_TRUE(run.Start());
        EXPECT_EQ(run.Wait(), 1) << run.Errors();
        for (const std::string& line : c.says) EXPECT_TRUE(Has(run.Errors(), line));
        EXPECT_FALSE(Has(run.Output(), "Race finished: score "));
        remove(game.File("Music/short.ogg").c_str());
    }
    EXPECT_NE(::Test::ReadFile(game.File("Music/short.ogg.kpt")).size(), 0u);
}

TEST(GameProgram, FullscreenToggleAndResizeKeepThePictureWhole) {
    GameFolder game;
    // Fullscreen and resized windows get the largest whole multiple that fits, smooth scaling the screen's
    // height. wait_for TEXT [N] is bounded, so a game that ignores a key fails the checks instead of hanging.
    const std::string script =
        "wait_for() { n=0; until [ $(grep -c \"$1\" log) -ge ${2:-1} ] || [ $n -gt 100 ]; do sleep 0.1; "
        "n=$((n+1)); done; }; "
        "window() { xdotool search --name '^SkyRail$' \"$@\"; }; "
        // A shot of the X screen once the picture's centre is drawn.
        "grab() { ffmpeg -loglevel error -y -f x11grab -draw_mouse 0 -video_size $1 -grab_x $2 -grab_y $3 "
        "-i $DISPLAY -frames:v 1 -pix_fmt rgb24 -f ${5:-image2} $4; }; "
        "shot() { n=0; while [ $n -lt 100 ] && ! grab 1x1 $2 $3 - rawvideo | od -An -tu1 | grep -q '[1-9]'; do "
        "sleep 0.1; n=$((n+1)); done; grab 1920x1080 0 0 $1; }; "
        "quit() { window key Escape; wait_for 'MainLoop Left'; kill $game 2>/dev/null; wait $game; "
        "status=$((status+$?)); }; "
        "export XDG_CONFIG_HOME=$PWD/config; status=0; "
        "\"$0\" --window --scale 2 >log 2>&1 & game=$!; wait_for 'Entering MainLoop'; "
        "window key F11; wait_for 'fullscreen 1920x1080'; shot full.png 960 540; cp config/skyrail/settings.ini full.ini; "
        "window key F11; wait_for 'window 640x480, picture 640x480 at 0,0' 2; "
        "window windowsize 1000 700; wait_for 'window 1000x700'; shot window.png 500 350; quit; "
        "printf '[Video]\\nsmooth = 1\\nfullscreen = 1\\n' > config/skyrail/settings.ini; "
        "mv log first; \"$0\" --window >log 2>&1 & game=$!; wait_for 'fullscreen 1920x1080, picture 1440'; quit; "
        "cat first log >&2; exit $status";
    ::Test::Program run = UnderXvfb("1920x1080x24", script, game.Path());
    ASSERT_TRUE(run.Start());
    EXPECT_EQ(run.Wait(), 0) << run.Errors();
    const std::string& log = run.Errors();
    for (const char* line : {"window 640x480, picture 640x480 at 0,0", "fullscreen 1920x1080, picture 1280x960 at 320,60",
                             "window 1000x700, picture 640x480 at 180,110",
                             "fullscreen 1920x1080, picture 1440x1080 at 240,0"})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    // The title fills its picture to within a texel of the edges, the border is black.
    const struct {
        const char* file;
        int x, y, width, height;
    } shots[] = {{"full.png", 320, 60, 1280, 960}, {"window.png", 180, 110, 640, 480}};
    for (const auto& shot : shots) {
        Meridian::Ref<Meridian::Image> image = Meridian::ImportPNG(game.File(shot.file).c_str(), false);
        ASSERT_TRUE(image && image->GetWidth() == 1920 && image->GetFormat() == Meridian::ImageRGB) << shot.file;
        int left = 1920, top = 1080, right = -1, bottom = -1;
        for (int y = 0; y < 1080; ++y)
            for (int x = 0; x < 1920; ++x) {
                const unsigned char* pixel = image->GetPixels() + (y * 1920 + x) * 3;
                if (std::max({pixel[0], pixel[1], pixel[2]}) <= 16) continue;
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
            }
        const int far = shot.x + shot.width - 1, low = shot.y + shot.height - 1;
        EXPECT_TRUE(left >= shot.x && left <= shot.x + 2 && top >= shot.y && top <= shot.y + 2 && right <= far &&
                    right >= far - 2 && bottom <= low && bottom >= low - 2)
            << shot.file << ": picture " << right - left + 1 << "x" << bottom - top + 1 << " at " << left << "," << top;
    }
    const std::vector<unsigned char> settings = ::Test::ReadFile(game.File("full.ini"));
    EXPECT_NE(std::string(settings.begin(), settings.end()).find("fullscreen = 1"), std::string::npos);
}

// The race follows the sound the player hears: with SDL's disk driver consuming the music at twice its pace, a
// windowed race takes the capsules of a headless one in about half the song's time. Another client destroying
// the window then ends the game as the close button does, with status 0.
TEST(GameProgram, RaceFollowsTheAudioStreamAtTwiceItsPace) {
    GameFolder game;
    const float seconds = 20.0f;
    game.AddSong("beat.ogg", seconds, true);
    ::Test::Program headless(::Test::Program::Game(), {"--headless", "Music/beat.ogg"}, game.Path());
    ASSERT_TRUE(headless.Start());
    ASSERT_EQ(headless.Wait(), 0) << headless.Errors();
    // 1024-frame chunks last 23.2 ms: a 12 ms delay per chunk plays the song at 1.9 times its pace. A race
    // on the wall clock would end with the music, about half-way along the course.
    const std::string script =
        "\"$0\" --window --scale 1 --autopilot Music/beat.ogg >log 2>&1 & game=$!; n=0; "
        "until grep -q 'AudioTrack::Init succeeded' log || [ $n -gt 600 ]; do sleep 0.05; n=$((n+1)); done; "
        "until grep -q 'Race finished' log || [ $n -gt 2400 ]; do sleep 0.05; n=$((n+1)); done; "
        "xdotool search --name '^SkyRail$' windowclose; wait $game; status=$?; cat log >&2; exit $status";
    ::Test::Program window = UnderXvfb("640x480x24", script, game.Path(),
                                       {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=/dev/null", "SDL_DISKAUDIODELAY=12"});
    ASSERT_TRUE(window.Start());
    EXPECT_EQ(window.Wait(), 0) << window.Errors();
    EXPECT_TRUE(Has(window.Errors(), "the window was destroyed from outside"));
    EXPECT_TRUE(Has(window.Errors(), "MainLoop Left."));
    auto taken = [](const std::string& log) {
        const size_t at = log.find("capsules taken ");
        return at == std::string::npos ? -1 : std::atoi(log.c_str() + at + 15);
    };
    const int alone = taken(headless.Output()), followed = taken(window.Errors());
    ASSERT_GT(alone, 30) << headless.Output();
    EXPECT_GE(followed * 100, alone * 95) << window.Errors();
}
