// The whole game in process: Mesa offscreen, the fixed-step clock, silent audio, input driven frame by frame.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <sys/stat.h>

#include "Analysis/TrackGen.h"
#include "Front/MainApp.h"
#include "Front/States.h"
#include "Game/Race/RaceTestUtil.h"
#include "Race/Autopilot.h"
#include "Render/Pnd/RenderPndGL.h"
#include "Support/OggFiles.h"
#include "Support/TestUtil.h"

using namespace Meridian;

namespace {

// Buttons and keys for the next frame; in a race the lane pilot steers unless the test holds buttons.
struct Drive {
    U32 buttons = 0;
    std::vector<U8> keys;
    bool hasKeys = true;
    U32 pilotHeld = 0;
};
Drive g_Drive;

class DrivenInput : public Input {
    MERIDIAN_CLASS(DrivenInput, Input)
    bool Init() override { return true; }
    void Update() override {}
    void Exit() override {}
    U32 GetButtons() override {
        U32 buttons = g_Drive.buttons;
        MainApp* app = MainApp::Get();
        if (app && app->GetState() == States::Play && !buttons) {
            g_Drive.pilotHeld = m_Pilot.Buttons(*app, app->GetRace(), g_Drive.pilotHeld);
            buttons = g_Drive.pilotHeld;
        }
        return buttons;
    }
    I32 HasKeys() override { return g_Drive.hasKeys ? 1 : 0; }
    void GetKeys(std::vector<U8>& keys) override { keys.insert(keys.end(), g_Drive.keys.begin(), g_Drive.keys.end()); }
    const char* GetButtonName(U32 button) override { return button == Buttons::Start ? "Enter" : ""; }

private:
    LanePilot m_Pilot;
};

Render* MakeRender() {
    RenderPndGLOptions options;
    options.m_Mode = RenderPndGLOptions::Offscreen;
    options.m_Scale = 1;
    return CreateRenderPndGL(options);
}
Input* MakeInput() { return New<DrivenInput>(); }
AudioPlayer* MakeAudio() { return CreateAudioPlayerSilent(); }

std::string BuildDir() { return std::string(SKYRAIL_TEST_TOOLS_DIR) + "/.."; }

// Clicks in three bands every 0.25 s, louder every other second: onsets in every lane.
bool WriteSong(const std::string& path, int seconds) {
    const int rate = 44100;
    std::vector<int16_t> mono(static_cast<size_t>(rate * seconds), 0);
    for (int beat = 0; beat < seconds * 4; ++beat) {
        const double frequency = beat % 3 == 0 ? 600.0 : beat % 3 == 1 ? 3000.0 : 9000.0;
        const double loud = (beat / 4) % 2 ? 12000.0 : 6000.0;
        Test::AddTone(mono, static_cast<size_t>(beat) * rate / 4, rate / 20, frequency, loud, rate);
    }
    return Test::WriteOgg(path, Test::Interleave(mono, mono), rate, 2);
}

// Relative luminance of an sRGB pixel, for contrast ratios (L1 + 0.05) / (L2 + 0.05).
double Luminance(const U8* p) {
    double l = 0.0;
    const double weight[3] = {0.2126, 0.7152, 0.0722};
    for (int c = 0; c < 3; ++c) {
        const double v = p[c] / 255.0;
        l += weight[c] * (v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4));
    }
    return l;
}

class GameTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(getcwd(m_OldCwd, sizeof(m_OldCwd)), nullptr);
        ASSERT_EQ(symlink((BuildDir() + "/Data").c_str(), m_Dir.File("Data").c_str()), 0);
        ASSERT_EQ(mkdir(m_Dir.File("Music").c_str(), 0755), 0);
        ASSERT_EQ(chdir(m_Dir.Path().c_str()), 0);
        g_Drive = Drive();
        System::UseFixedClock(16, 1000);
        SetDeviceFactory(DeviceFactory{&MakeRender, &MakeInput, &MakeAudio});
    }
    void TearDown() override {
        if (m_App) m_App->Exit(), m_App.Reset();
        SetDeviceFactory(NullDeviceFactory());
        System::UseRealClock();
        ASSERT_EQ(chdir(m_OldCwd), 0);
    }

    void Start(const GameOptions& options = GameOptions(), const std::string& settings = std::string()) {
        m_App = New<MainApp>();
        m_App->SetOptions(options);
        if (!settings.empty()) m_App->SetSettings(UserSettings(), settings);
        char name[] = "skyrail";
        char* argv[] = {name, nullptr};
        ASSERT_TRUE(m_App->Init(1, argv));
    }
    // One pass of the main loop.
    bool Frame(U32 buttons = 0, std::vector<U8> keys = {}) {
        g_Drive.buttons = buttons;
        g_Drive.keys = std::move(keys);
        m_App->UpdateInput();
        if (m_App->IsDone()) return false;
        m_App->UpdateTime();
        m_App->Update();
        m_App->UpdateAudio();
        m_App->PostUpdate();
        m_App->Draw();
        System::FrameTick();
        return true;
    }
    void Press(U32 button) {
        Frame(button);
        Frame(0);
    }
    bool RunUntil(const std::function<bool()>& done, int maxFrames) {
        for (int i = 0; i < maxFrames; ++i) {
            if (done()) return true;
            if (!Frame()) return done();
        }
        return done();
    }
    bool ReachState(I32 state, int maxFrames = 200) {
        return RunUntil([&] { return m_App->GetState() == state; }, maxFrames);
    }
    // From the title screen into the browser and onto the named song.
    void PickSong(const std::string& name) {
        ASSERT_TRUE(ReachState(States::Menu));
        Frame();
        Press(Buttons::Start);
        ChooseInBrowser(name);
    }
    void ChooseInBrowser(const std::string& name) {
        ASSERT_TRUE(ReachState(States::SelSong));
        for (U32 i = 0; i < 20 && m_App->GetBrowser()->GetCurrentEntry()->m_Name != name; ++i)
            Press(Buttons::DPadDown);
        ASSERT_EQ(m_App->GetBrowser()->GetCurrentEntry()->m_Name, name);
        Press(Buttons::Start);
    }

    ::Test::TempDir m_Dir;
    char m_OldCwd[4096];
    Ref<MainApp> m_App;
};

}  // namespace

TEST_F(GameTest, FromTitleThroughAnalysisRaceAndHighScores) {
    ASSERT_TRUE(WriteSong("Music/beat.ogg", 8));
    Start();
    // Each state shows its own help page; the first frame of a state has a fresh clock.
    ASSERT_TRUE(ReachState(States::Menu));
    EXPECT_EQ(m_App->GetFrameDelta(), Fixed::FromRaw(1092));
    EXPECT_EQ(m_App->GetFpsHistory()[0], 60);
    Frame();  // the next delta is the clock's 16 ms step, not less
    EXPECT_EQ(m_App->GetFpsHistory()[1], 62);
    EXPECT_EQ(m_App->GetHelp()->GetText(), Help::GetHelpText(States::Menu));

    Press(Buttons::Start);
    ASSERT_TRUE(ReachState(States::SelSong));
    EXPECT_EQ(m_App->GetHelp()->GetText(), Help::GetHelpText(States::SelSong));
    ASSERT_NE(m_App->GetBrowser()->GetCurrentEntry(), nullptr);
    ChooseInBrowser("beat.ogg");

    ASSERT_TRUE(ReachState(States::Convert, 5));
    EXPECT_EQ(m_App->GetHelp()->GetText(), Help::GetHelpText(States::Convert));
    ASSERT_TRUE(ReachState(States::Play, 40));  // about one second of song per frame
    EXPECT_EQ(m_App->GetHelp()->GetText(), Help::GetHelpText(States::Play));
    EXPECT_TRUE(TrackData().LoadFrom("Music/beat.ogg"));

    RunUntil([&] { return m_App->GetRace().GetPlayTime() >= Fixed::FromInt(4); }, 600);
    ASSERT_TRUE(ReachState(States::Hiscore, 1000));
    const I32 score = m_App->GetFinalScore();
    ASSERT_GT(score, 0);
    EXPECT_EQ(m_App->GetHiscoreTable()->GetEditIndex(), 0);
    EXPECT_NE(m_App->GetHelp()->GetText().find("Enter your name using the keyboard."), std::string::npos);
    // Typed name: lower case counts as capitals; Enter ends the entry but stays on the table.
    for (U8 key : std::string("tester")) {
        Frame(0, {key});
        Frame();
    }
    Frame(Buttons::Start, {13});
    EXPECT_EQ(m_App->GetHiscoreTable()->GetEditIndex(), -1);
    EXPECT_EQ(m_App->GetState(), States::Hiscore);
    EXPECT_EQ(m_App->GetHiscoreTable()->GetEntry(0).m_Name.substr(0, 7), "TESTER ");
    Frame();
    Press(Buttons::Start);
    ASSERT_TRUE(ReachState(States::Menu));
    // Saved beside the song: version 1, then the record.
    const std::vector<unsigned char> saved = ::Test::ReadFile("Music/beat.ogg.scr");
    ASSERT_EQ(saved.size(), 4u + 8u + 20u);
    EXPECT_EQ(saved[4] | saved[5] << 8 | saved[6] << 16 | saved[7] << 24, score);
    EXPECT_EQ(std::string(saved.begin() + 12, saved.begin() + 18), "TESTER");
    // The same song again goes straight to the race.
    PickSong("beat.ogg");
    ASSERT_TRUE(ReachState(States::Convert, 5));
    Frame();
    EXPECT_EQ(m_App->GetState(), States::PlayPrepare);
    EXPECT_TRUE(ReachState(States::Play, 5));
}

TEST_F(GameTest, CancelledAnalysisBadSongsAndBrokenTrackFiles) {
    ASSERT_TRUE(WriteSong("Music/long.ogg", 40));
    ASSERT_TRUE(::Test::WriteText("Music/noise.ogg", "this is not an Ogg file"));
    TrackData track = RaceTest::FlatTrack(2.3f, RaceTest::PointSeconds);
    ASSERT_TRUE(track.SaveTo("Music/noise.ogg"));  // analysed, but cannot be played
    ASSERT_TRUE(WriteSong("Music/short.ogg", 2));
    ASSERT_TRUE(::Test::WriteText("Music/short.ogg.kpt", "KPT1 broken"));
    ASSERT_TRUE(WriteSong("Music/nan.ogg", 2));
    for (float& time : track.Time) time = NAN;  // no course of any length: no lanes
    ASSERT_TRUE(track.SaveTo("Music/nan.ogg"));
    ::Test::LogCapture capture;
    Start();
    // System during the analysis: back to the menu, no track file.
    PickSong("long.ogg");
    ASSERT_TRUE(ReachState(States::Convert, 5));
    Frame();
    Frame(Buttons::System);
    ASSERT_TRUE(ReachState(States::Menu, 5));
    EXPECT_FALSE(TrackGen::TrackExists("Music/long.ogg"));
    // Songs that cannot be played: back to the list, which says why for a few seconds.
    const struct {
        const char* song;
        const char* says;
        const char* logged;
    } refusals[] = {
        {"noise.ogg", "Cannot play noise.ogg: not Ogg Vorbis data", "Music/noise.ogg\n"},
        {"short.ogg", "Cannot play short.ogg: no usable track file", "LoadFrom: invalid header."},
        {"nan.ogg", "Cannot play nan.ogg: invalid control point times", "[E] InitHighway2: invalid control point times."},
    };
    PickSong(refusals[0].song);
    for (const auto& refusal : refusals) {
        if (refusal.song != refusals[0].song) ChooseInBrowser(refusal.song);
        ASSERT_TRUE(RunUntil([&] { return m_App->GetState() == States::SelSong && !m_App->GetNotice().empty(); }, 10));
        EXPECT_EQ(m_App->GetNotice(), refusal.says);
        EXPECT_TRUE(capture.Contains(refusal.logged)) << refusal.song;
    }
    // Both damaged track files are gone: the next pick analyses the song.
    EXPECT_FALSE(TrackGen::TrackExists("Music/short.ogg"));
    EXPECT_FALSE(TrackGen::TrackExists("Music/nan.ogg"));
    EXPECT_FALSE(capture.Contains("AudioTrack::Init succeeded."));
    EXPECT_EQ(m_App->GetRacesFinished(), 0);
    EXPECT_EQ(m_App->GetSongsRefused(), 3);
    EXPECT_TRUE(RunUntil([&] { return m_App->GetNotice().empty(); }, 5 * 62 + 2));  // 5 s of 16 ms frames
    Press(Buttons::System);
    ASSERT_TRUE(ReachState(States::Menu, 5));
    EXPECT_EQ(m_App->GetHelp()->GetText(), Help::GetHelpText(States::Menu));
    // A song copied in while the game runs is listed at the next visit.
    ASSERT_TRUE(::Test::WriteText("Music/late.ogg", "x"));
    Frame();
    Press(Buttons::Start);
    ASSERT_TRUE(ReachState(States::SelSong));
    const FileBrowser* browser = m_App->GetBrowser();
    std::vector<std::string> names;
    for (U32 i = 0; i < browser->GetEntryCount(); ++i) names.push_back(browser->GetEntry(i).m_Name);
    EXPECT_EQ(names, (std::vector<std::string>{"..", "late.ogg", "long.ogg", "nan.ogg", "noise.ogg", "short.ogg"}));
}

TEST_F(GameTest, VolumeKeysReadableHelpAndNameEntryByDpad) {
    const std::string longName = "a song whose name is long enough to scroll across the list.ogg";
    ASSERT_TRUE(WriteSong("Music/" + longName, 6));
    g_Drive.hasKeys = false;
    Start();
    ASSERT_TRUE(ReachState(States::Menu));
    // Volume 20 -> 25, shown in the status line until released and kept in the settings file.
    m_App->SetSettings(UserSettings(), m_Dir.File("config/skyrail/settings.ini"));
    Frame(Buttons::VolumeUp);
    EXPECT_EQ(m_App->GetAudio()->GetVolume(), 25);
    UserSettings kept;
    EXPECT_TRUE(kept.Load(m_Dir.File("config/skyrail/settings.ini")));
    EXPECT_EQ(kept.volume, 25);
    EXPECT_EQ(m_App->GetStatusText()->GetText(), "VOLUME: 25");
    Frame(0);
    EXPECT_EQ(m_App->GetStatusText()->GetText(), "");
    const struct {
        I32 from;
        U32 button;
        I32 to;
    } steps[] = {{25, Buttons::VolumeUp | Buttons::VolumeDown, 25},  // up first, then down
                 {9, Buttons::VolumeUp, 11}, {15, Buttons::VolumeDown, 10}, {0, Buttons::VolumeDown, 0}};
    for (const auto& step : steps) {
        m_App->GetAudio()->SetVolume(step.from);
        Press(step.button);
        EXPECT_EQ(m_App->GetAudio()->GetVolume(), step.to) << step.from;
    }
    // Help over its screen: the panel hides what is beneath, text reads at 4.5:1, no line runs off the
    // screen (the song's name is long enough to scroll across the list).
    Frame();
    RenderPndGL* render = Cast<RenderPndGL>(m_App->GetRender());
    ASSERT_NE(render, nullptr);
    for (I32 state : {States::Menu, States::SelSong}) {
        if (state == States::SelSong) {
            Press(Buttons::Start);
            ASSERT_TRUE(ReachState(States::SelSong));
            Frame();
        }
        ASSERT_FALSE(m_App->GetHelp()->IsEnabled());
        std::vector<U8> bare(320 * 240 * 4), shown(320 * 240 * 4);
        m_App->GetDrawTree()->Draw();
        ASSERT_TRUE(render->ReadPixels(0, 0, 320, 240, bare.data()));
        Press(Buttons::LeftTrigger);
        ASSERT_TRUE(m_App->GetHelp()->IsEnabled());
        m_App->GetDrawTree()->Draw();
        ASSERT_TRUE(render->ReadPixels(0, 0, 320, 240, shown.data()));
        // The panel's colour is the darkest on show; text is what stands out from it.
        double panel = 1.0;
        for (size_t i = 0; i < shown.size(); i += 4) panel = std::min(panel, Luminance(&shown[i]));
        size_t text = 0, readable = 0, edge = 0, beneath = 0;
        for (int y = 0; y < 240; ++y)
            for (int x = 0; x < 320; ++x) {
                const size_t i = (static_cast<size_t>(y) * 320 + x) * 4;
                const double ratio = (Luminance(&shown[i]) + 0.05) / (panel + 0.05);
                if (ratio < 1.5) continue;
                ++text;
                readable += ratio >= 4.5;
                edge += x < 2 || x >= 318;
                // Text of the screen beneath that shows through the panel.
                beneath += ratio < 3.0 && Luminance(&bare[i]) > 0.5;
            }
        SCOPED_TRACE(state);
        EXPECT_GT(text, 500u);
        EXPECT_GT(readable, text * 3 / 4);
        EXPECT_EQ(edge, 0u);
        EXPECT_LT(beneath, text / 50);
        Press(Buttons::LeftTrigger);
    }
    ChooseInBrowser(longName);
    ASSERT_TRUE(ReachState(States::Hiscore, 1200));
    HiscoreTable* table = m_App->GetHiscoreTable();
    ASSERT_EQ(table->GetEditIndex(), 0);
    Press(Buttons::DPadUp);  // blank -> A
    Press(Buttons::DPadRight);
    Press(Buttons::DPadDown);  // blank -> 9
    EXPECT_EQ(table->GetEntry(0).m_Name.substr(0, 2), "A9");
    Press(Buttons::DPadX);  // blank the 9 and step back
    Press(Buttons::DPadLeft);
    EXPECT_EQ(table->GetEntry(0).m_Name.substr(0, 2), "A ");
    Press(Buttons::Start);  // ends the entry, stays
    EXPECT_EQ(table->GetEditIndex(), -1);
    EXPECT_EQ(m_App->GetState(), States::Hiscore);
    Press(Buttons::Start);
    ASSERT_TRUE(ReachState(States::Menu, 5));
    Press(Buttons::System);
    EXPECT_TRUE(m_App->IsDone());
}

TEST_F(GameTest, CalibrationKeepsTheMedianOfThePressesHeard) {
    const std::string settings = m_Dir.File("config/settings.ini");
    GameOptions options;
    options.calibrate = true;
    Start(options, settings);
    ASSERT_TRUE(ReachState(States::Calibrate));
    // Its lines are on show.
    Frame();
    RenderPndGL* render = Cast<RenderPndGL>(m_App->GetRender());
    std::vector<U8> picture(320 * 240 * 4);
    m_App->GetDrawTree()->Draw();
    ASSERT_TRUE(render && render->ReadPixels(0, 0, 320, 240, picture.data()));
    size_t lit = 0;
    for (size_t i = 0; i < picture.size(); i += 4) lit += Luminance(&picture[i]) > 0.5;
    EXPECT_GT(lit, 500u);
    // The click track's clicks, found in its sound: every 750 ms.
    const std::vector<I32> clicks = m_App->GetCalibration().GetClicks();
    ASSERT_EQ(clicks.size(), 16u);
    for (size_t i = 1; i < clicks.size(); ++i) EXPECT_NEAR(clicks[i] - clicks[0], 750 * static_cast<I32>(i), 2);
    // Leaving before the end keeps nothing.
    Press(Buttons::DPadB);
    Press(Buttons::System);
    ASSERT_TRUE(ReachState(States::Menu));
    EXPECT_EQ(m_App->GetClickTrack(), nullptr);
    EXPECT_NE(access(settings.c_str(), F_OK), 0);
    // Presses 60 ms after each click, every fourth a stray 400 ms late (not counted), across the loop.
    Frame();
    Press(Buttons::DPadY);
    ASSERT_TRUE(ReachState(States::Calibrate));
    AudioSource* track = m_App->GetClickTrack();
    ASSERT_NE(track, nullptr);
    const Calibration& calibration = m_App->GetCalibration();
    const I64 loop = 12000;
    I32 strays = 0;
    for (I64 k = 0; !calibration.IsDone() && k < 40; ++k) {
        const bool stray = k % 4 == 3;
        const I64 target = (k / 16) * loop + clicks[k % 16] + (stray ? 400 : 60);
        ASSERT_TRUE(RunUntil([&] { return track->GetTime() * 1000.0 >= target; }, 100));
        Press(Buttons::DPadB);
        EXPECT_EQ(calibration.WasLastCounted(), !stray);
        strays += stray;
    }
    ASSERT_TRUE(calibration.IsDone());
    EXPECT_EQ(strays, 5);
    // A press is seen in the frame it falls in, up to one 16 ms step late.
    EXPECT_GE(calibration.GetOffset(), 60);
    EXPECT_LE(calibration.GetOffset(), 76);
    UserSettings saved;
    ASSERT_TRUE(saved.Load(settings));
    EXPECT_EQ(saved.offset, calibration.GetOffset());
    Press(Buttons::Start);
    ASSERT_TRUE(ReachState(States::Menu));
}
