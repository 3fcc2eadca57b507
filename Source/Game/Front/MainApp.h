// SkyRail's application: a state machine of nine states that carries the
// player from the title menu through the song browser, the analysis of a new
// song, the race and the high-score table, and back, or to the audio
// calibration; plus three controls that
// work in every state (volume keys, frame-rate display, help toggle) and the
// screenshot chord.
//
// Every state change goes through RequestState and takes effect at the next
// frame's state step (run inside UpdateTime), so a state's update always
// finishes first. The front-end scene (fonts, menus, browser, high scores,
// help) lives as long as the application; the race objects while a race runs.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Audio/AudioSource.h"
#include "Front/Calibration.h"
#include "Core/App.h"
#include "Front/FileBrowser.h"
#include "Front/Help.h"
#include "Front/HiscoreTable.h"
#include "Front/Options.h"
#include "Front/UserSettings.h"
#include "Race/Race.h"
#include "Scene/ImageGeometry.h"
#include "Scene/TextGeometry.h"

class TrackGen;

class MainApp : public Meridian::App {
    MERIDIAN_CLASS(MainApp, Meridian::App)

    MainApp();
    ~MainApp() override;

    bool Init(int argc, char** argv) override;
    // Leaves the current state as if the player had left it (a table on show
    // is saved with the name typed so far; a race is abandoned and writes
    // nothing; an analysis is dropped without its track file), then App's.
    void Exit() override;
    void UpdateInput() override;
    void UpdateTime() override;
    void Update() override {}
    bool IsDone() override;
    void Draw() override;

    // The running game's application, or null.
    static MainApp* Get() { return s_Instance; }
    // Screenshot prefixes written so far (file names add a time stamp).
    const std::vector<std::string>& GetShotFiles() const { return m_ShotFiles; }

    void SetOptions(const GameOptions& options) { m_Options = options; }
    // The player's settings as read from path, written back there when one
    // changes; without a call (tests) nothing is kept.
    void SetSettings(const UserSettings& settings, const std::string& path) {
        m_Settings = settings;
        m_SettingsPath = path;
    }
    void RequestState(Meridian::I32 state) { m_RequestedState = state; }
    Meridian::I32 GetState() const { return m_CurrentState; }
    Meridian::I32 GetPreviousState() const { return m_PreviousState; }
    Meridian::Fixed GetTimeInState() const { return m_TimeInState; }

    FileBrowser* GetBrowser() const { return m_Browser; }
    HiscoreTable* GetHiscoreTable() const { return m_HiscoreTable; }
    Help* GetHelp() const { return m_Help; }
    Meridian::TextGeometry* GetStatusText() const { return m_StatusText; }
    // The line that says why the last song could not be played, shown for a
    // few seconds (empty when none is showing).
    const std::string& GetNotice() const { return m_Notice; }
    Race& GetRace() { return m_Race; }
    const Race& GetRace() const { return m_Race; }
    const std::string& GetSelectedSong() const { return m_SelectedSong; }
    // The calibration screen's presses and the click track it plays (null
    // outside that screen).
    const Calibration& GetCalibration() const { return m_Calibration; }
    Meridian::AudioSource* GetClickTrack() const { return m_ClickTrack; }
    const UserSettings& GetSettings() const { return m_Settings; }
    Meridian::I32 GetFinalScore() const { return m_FinalScore; }
    bool IsShowingFps() const { return m_ShowFps; }
    const Meridian::I32* GetFpsHistory() const { return m_FpsHistory; }
    // Races finished (reached the high scores) since start.
    Meridian::I32 GetRacesFinished() const { return m_RacesFinished; }
    // Songs that could not be raced (not analysable, not loadable, no
    // course) since start, and the path of the last one.
    Meridian::I32 GetSongsRefused() const { return m_SongsRefused; }
    const std::string& GetRefusedSong() const { return m_RefusedSong; }
    // Why a headless run failed (its song refused, or no race run by the
    // autopilot); empty when it did not fail, and always for windowed runs.
    std::string GetRunFailure() const;

    static const char* StateName(Meridian::I32 state);

private:
    void StateStep();
    void InitState(Meridian::I32 state);
    void UpdateState(Meridian::I32 state);
    void ExitState(Meridian::I32 state);
    void GlobalControls();

    void BuildFrontEnd();
    void BuildMenu();
    void BuildBrowser();
    void BuildLoadingScreen();
    void ReleaseLoadingScreen();
    void BuildHiscoreFrame();
    void UpdateSongSelection();
    void Confirm(bool hiscore);
    void UpdateAnalysis();
    void UpdateHiscore();
    void BuildCalibrationScreen();
    // Writes the calibration's state into its lines.
    void ShowCalibration();
    void UpdateCalibration();
    void TakeShot(const char* name);
    // Counts the selected song as refused, shows why (a few words, or a
    // generic reason when empty) and returns to the song list it came from
    // (the title for a song named on the command line).
    void RefuseSong(const std::string& why);
    void ShowNotice(const std::string& text);

    GameOptions m_Options;
    UserSettings m_Settings;
    std::string m_SettingsPath;
    Meridian::I32 m_PreviousState;
    Meridian::I32 m_CurrentState;
    Meridian::I32 m_RequestedState;
    bool m_QuitRequested;
    Meridian::Fixed m_TimeInState;
    Meridian::I32 m_FpsHistory[30];
    Meridian::I32 m_FpsIndex;
    bool m_ShowFps;
    bool m_Fullscreen = false;  // as last seen; a change is kept in the settings
    Meridian::Fixed m_RepeatTimer;

    Meridian::Ref<Meridian::Shader> m_LargeFont;
    Meridian::Ref<Meridian::Shader> m_SmallFont;
    Meridian::Ref<Meridian::TextGeometry> m_StatusText;
    Meridian::Ref<Meridian::TextGeometry> m_NoticeText;
    std::string m_Notice;
    Meridian::Fixed m_NoticeTime;
    Meridian::Ref<Meridian::InterfaceGroup> m_InterfaceRoot;
    Meridian::Ref<Meridian::Transform> m_InterfaceTransform;
    Meridian::Ref<Meridian::Group> m_GuiRoot;
    Meridian::Ref<Meridian::Group> m_RaceRoot;
    Meridian::Ref<Meridian::Group> m_HelpRoot;
    Meridian::Ref<Meridian::ImageGeometry> m_Background;
    Meridian::Ref<Meridian::Shader> m_GuiShader;
    Meridian::Ref<Meridian::Group> m_MenuGroup;
    Meridian::Ref<Meridian::TextGeometry> m_Prompt;
    Meridian::Ref<Help> m_Help;
    Meridian::Ref<Meridian::Group> m_BrowserGroup;
    Meridian::Ref<FileBrowser> m_Browser;
    Meridian::Ref<Meridian::Group> m_HiscoreGroup;
    Meridian::Ref<HiscoreTable> m_HiscoreTable;

    static const Meridian::I32 CalibrationLines = 6;
    Calibration m_Calibration;
    Meridian::Ref<Meridian::AudioSource> m_ClickTrack;
    Meridian::Ref<Meridian::Group> m_CalibrationGroup;
    Meridian::Ref<Meridian::TextGeometry> m_CalibrationText[CalibrationLines];

    std::unique_ptr<TrackGen> m_TrackGen;
    Meridian::Ref<Meridian::Transform> m_SpinnerTransform;
    Meridian::Ref<Meridian::Transform> m_ProgressTransform;
    Meridian::Ref<Meridian::TextGeometry> m_ProgressText;

    Race m_Race;
    RaceHud m_Hud;
    Meridian::Ref<Meridian::AudioSource> m_Music;
    Meridian::I32 m_FinalScore;
    Meridian::I32 m_RacesFinished;
    Meridian::I32 m_SongsRefused;
    std::string m_RefusedSong;
    bool m_SongFromBrowser;
    bool m_RaceShotTaken;
    bool m_AnalysisShotTaken;

    std::vector<std::string> m_ShotsTaken;
    std::vector<std::string> m_PendingShots;
    std::vector<std::string> m_ShotFiles;
    static MainApp* s_Instance;

    std::string m_MusicRoot;
    std::string m_SelectedSong;
    std::string m_CommandLineSong;
};
