#include "Front/MainApp.h"

#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <sys/stat.h>

#include "Analysis/SongFiles.h"
#include "Analysis/TrackGen.h"
#include "Core/DataFolder.h"
#include "Core/Log.h"
#include "Core/RegularFile.h"
#include "Core/System.h"
#include "Core/Utf8.h"
#include "Front/Screens.h"
#include "Front/States.h"
#include "Math/MathFunctions.h"
#include "Music/MusicDecoder.h"
#include "Race/AudioTrack.h"
#include "Scene/ShaderHelpers.h"

using namespace Meridian;

namespace {

const Fixed ResetDelta = Fixed::FromRaw(1092);     // about 1/60 s
const Fixed RepeatDelay = Fixed::FromRaw(13107);   // 0.2 s before a held d-pad repeats
const Fixed RepeatPeriod = Fixed::FromRaw(6553);   // then every 0.1 s
// Real time the analysis may take in one frame: most of a 60 Hz frame,
// leaving the rest for drawing the loading screen.
const U64 AnalysisBudgetMicroseconds = 12000;
const Fixed NoticeSeconds = Fixed::FromInt(5);     // how long a refusal's reason stays on screen
const size_t NoticeNameLength = 24;                // characters of the song's name in it

void SetFormatted(TextGeometry* text, const char* format, I32 a, I32 b = 0) {
    if (!text) return;
    char buffer[64];
    std::snprintf(buffer, sizeof(buffer), format, a, b);
    text->SetText(buffer);
}

void Show(Node* node, bool shown) {
    if (node) node->SetEnabled(shown ? 1 : 0);
}

}  // namespace

MainApp* MainApp::s_Instance = nullptr;

MainApp::MainApp()
    : m_PreviousState(States::None),
      m_CurrentState(States::None),
      m_RequestedState(States::None),
      m_QuitRequested(false),
      m_FpsHistory{},
      m_FpsIndex(0),
      m_ShowFps(false),
      m_FinalScore(0),
      m_RacesFinished(0),
      m_SongsRefused(0),
      m_SongFromBrowser(false),
      m_RaceShotTaken(false),
      m_AnalysisShotTaken(false) {
    s_Instance = this;
}

MainApp::~MainApp() {
    if (s_Instance == this) s_Instance = nullptr;
    m_TrackGen.reset();
    for (Node* node : {static_cast<Node*>(m_InterfaceRoot.Get()), static_cast<Node*>(m_Help.Get()),
                       static_cast<Node*>(m_Browser.Get()), static_cast<Node*>(m_HiscoreTable.Get())})
        if (node) node->SetParent(nullptr);
}

const char* MainApp::StateName(I32 state) {
    static const char* const names[] = {"None", "Init", "Splash", "Menu", "SelSong",
                                        "Convert", "PlayPrepare", "Play", "Hiscore", "Calibrate"};
    return state >= 0 && state <= States::Calibrate ? names[state] : "";
}

bool MainApp::Init(int argc, char** argv) {
    if (!App::Init(argc, argv)) return false;
    for (int i = 1; i < argc; ++i) {
        if (GameOptions::IsSongArgument(argv[i])) {
            m_CommandLineSong = argv[i];
            break;
        }
    }
    if (!m_CommandLineSong.empty()) {
        // Only a regular file: a FIFO of that name would block the start.
        if (FILE* file = OpenRegularFile(m_CommandLineSong))
            std::fclose(file);
        else
            m_CommandLineSong.clear();
    }
    if (m_Audio && m_Settings.volume >= 0) m_Audio->SetVolume(m_Settings.volume);
    for (const auto& binding : m_Settings.keys)
        if (m_Input) m_Input->BindKey(Input::FindGenericButton(binding.first), binding.second.c_str());
    m_Race.SetAudioOffset(Fixed::FromInt(m_Settings.offset) / Fixed::FromInt(1000));
    m_Render->SetClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    m_Fullscreen = m_Render->IsFullscreen();
    RequestState(States::Init);
    return true;
}

void MainApp::Exit() {
    if (m_CurrentState == States::Play) {
        m_Race.End(*this, m_Hud);
        m_Music.Reset();
    } else {
        ExitState(m_CurrentState);
    }
    LogD() << "MainApp/ExitState: " << StateName(m_CurrentState);
    m_CurrentState = m_RequestedState = States::None;
    App::Exit();
}

bool MainApp::IsDone() { return m_QuitRequested || (m_Input && m_Input->WantsQuit()); }

void MainApp::UpdateInput() {
    App::UpdateInput();
    if (IsHeld(Buttons::DPadUp) && IsPressed(Buttons::DPadY)) m_PendingShots.push_back("./skyrail");
}

void MainApp::UpdateTime() {
    App::UpdateTime();
    StateStep();
    if (!m_Notice.empty()) {
        m_NoticeTime -= m_FrameDelta;
        if (m_NoticeTime <= Fixed::Zero) ShowNotice(std::string());
    }
    if (m_StatusText && m_ShowFps) {
        I32 sum = 0;
        for (I32 sample : m_FpsHistory) sum += sample;
        SetFormatted(m_StatusText, "FPS: %d", sum / 30);
    }
}

void MainApp::StateStep() {
    if (m_RequestedState != m_CurrentState) {
        for (I32& sample : m_FpsHistory) sample = 0;
        m_PreviousState = m_CurrentState;
        m_CurrentState = m_RequestedState;
        m_FpsIndex = 0;
        m_TimeInState = Fixed::Zero;

        m_FrameDelta = ResetDelta;

        ExitState(m_PreviousState);
        LogD() << "MainApp/ExitState: " << StateName(m_PreviousState);
        LogD() << "MainApp/InitState: " << StateName(m_CurrentState);
        if (m_Help) m_Help->SetText(Help::GetHelpText(m_CurrentState));
        InitState(m_CurrentState);
        if (m_DrawTree) m_DrawTree->RequestWholeFrame();
        // The work of a state change must not show as a jump in time.
        RestartFrameClock(ResetDelta);
    } else {
        UpdateState(m_CurrentState);
        m_TimeInState += m_FrameDelta;
    }

    m_FpsHistory[m_FpsIndex] = m_FrameDelta != Fixed::Zero ? (Fixed::One / m_FrameDelta).ToInt() : 32767;
    m_FpsIndex = (m_FpsIndex + 1) % 30;
    GlobalControls();
}

void MainApp::GlobalControls() {
    const bool up = IsPressed(Buttons::VolumeUp), down = IsPressed(Buttons::VolumeDown);
    if ((up || down) && m_Audio) {
        I32 volume = m_Audio->GetVolume();
        if (up) volume += volume <= 9 ? 2 : 5;
        if (down) volume -= volume <= 14 ? 2 : 5;
        if (volume < 0) volume = 0;
        m_Audio->SetVolume(volume);
        SetFormatted(m_StatusText, "VOLUME: %d", m_Audio->GetVolume());
        if (!m_SettingsPath.empty() && m_Audio->GetVolume() != m_Settings.volume) {
            m_Settings.volume = m_Audio->GetVolume();
            m_Settings.Save(m_SettingsPath);
        }
    }
    // F11 or Alt+Enter switched the window: the next start opens the same way.
    if (m_Render && m_Render->IsFullscreen() != m_Fullscreen) {
        m_Fullscreen = m_Render->IsFullscreen();
        m_Settings.fullscreen = m_Fullscreen ? 1 : 0;
        if (!m_SettingsPath.empty()) m_Settings.Save(m_SettingsPath);
    }
    if (IsPressed(Buttons::RightTrigger)) m_ShowFps = !m_ShowFps;
    if ((IsReleased(Buttons::VolumeUp) || IsReleased(Buttons::VolumeDown) || IsReleased(Buttons::RightTrigger)) &&
        m_StatusText)
        m_StatusText->SetText("");
    if (m_CurrentState != States::Splash && IsPressed(Buttons::LeftTrigger) && m_Help)
        m_Help->SetEnabled(m_Help->IsEnabled() ? 0 : 1);
}

void MainApp::InitState(I32 state) {
    // A gamepad plugged in since the start is found where the player chooses.
    if ((state == States::Menu || state == States::SelSong) && m_Input) m_Input->FindDevices();
    switch (state) {
        case States::Init:
            BuildFrontEnd();
            break;
        case States::Menu:
            if (m_DrawTree) m_DrawTree->SetCamera(m_Camera);
            m_SelectedSong.clear();
            if (!m_MenuGroup) BuildMenu();
            Show(m_MenuGroup, true);
            Show(m_GuiRoot, true);
            Show(m_RaceRoot, false);
            if (!m_CommandLineSong.empty()) {
                m_SelectedSong = m_CommandLineSong;
                m_SongFromBrowser = false;
                RequestState(States::Convert);
                m_CommandLineSong.clear();
            }
            break;
        case States::SelSong:
            m_RepeatTimer = Fixed::Zero;
            m_SelectedSong.clear();
            // Every visit reads the folder again: songs copied in while the
            // game runs appear, a folder gone shows why.
            if (!m_BrowserGroup)
                BuildBrowser();
            else if (m_Browser)
                m_Browser->Rescan();
            Show(m_BrowserGroup, true);
            break;
        case States::Convert:
            m_AnalysisShotTaken = false;
            if (TrackGen::TrackExists(m_SelectedSong)) {
                RequestState(States::PlayPrepare);
                break;
            }
            m_TrackGen.reset(new TrackGen(m_SelectedSong));
            if (m_TrackGen->Init() < 0) {
                const std::string why = m_TrackGen->FailureReason();
                m_TrackGen.reset();
                RefuseSong(why);
                break;
            }
            BuildLoadingScreen();
            break;
        case States::PlayPrepare:
            m_Music = m_Audio ? m_Audio->AddMusic(m_SelectedSong) : nullptr;
            if (!m_Music) {
                LogE() << "Failed to load " << m_SelectedSong;
                RefuseSong(m_Audio ? m_Audio->GetLoadFailure() : std::string());
            } else {
                RequestState(States::Play);
            }
            break;
        case States::Play:
            m_RaceShotTaken = false;
            if (!m_Hud.m_ScoreText) {
                m_Hud.m_RaceRoot = m_RaceRoot;
                m_Hud.m_GuiRoot = m_GuiRoot;
                Screens::BuildHud(m_Hud, m_LargeFont, m_GuiShader);
            }
            // A race that cannot be built goes back to the menu; leaving Play
            // releases whatever was built.
            if (!m_Race.Start(*this, m_Hud, m_SelectedSong, m_Music)) {
                const AudioTrack* track = m_Race.GetAudioTrack();
                std::string why = track ? track->GetRefusal() : std::string();
                if (!why.empty() && why.back() == '.') why.pop_back();
                RefuseSong(why.empty() ? "its course cannot be built" : why);
            }
            break;
        case States::Hiscore:
            if (!m_HiscoreGroup) BuildHiscoreFrame();
            m_RepeatTimer = RepeatPeriod;
            if (m_HiscoreTable) m_HiscoreTable->SetParent(nullptr);
            m_HiscoreTable = New<HiscoreTable>();
            m_HiscoreTable->SetFont(m_SmallFont);
            m_HiscoreTable->SetParent(m_HiscoreGroup);
            Show(m_HiscoreGroup, true);
            if (m_SelectedSong.empty()) {
                RequestState(States::Menu);
                break;
            }
            // Read from either place; saved where the game may write.
            m_HiscoreTable->Load(SongFiles::ReadPath(m_SelectedSong, ".scr"));
            m_HiscoreTable->SetSavePath(SongFiles::WritePath(m_SelectedSong, ".scr"));
            if (m_PreviousState == States::Play) {
                ++m_RacesFinished;
                // The autopilot's races are demonstrations, not a player's scores.
                if (!m_Options.autopilot) m_HiscoreTable->Insert(m_FinalScore);
            }
            m_HiscoreTable->Refresh();
            break;
        case States::Calibrate: {
            m_Calibration = Calibration();
            const std::string track = DataFile("SkyRail/click01.ogg");
            m_ClickTrack = m_Audio && m_Calibration.LoadClicks(track) ? m_Audio->AddMusic(track) : nullptr;
            if (!m_ClickTrack) {
                ShowNotice("Cannot calibrate: the click track cannot be played");
                RequestState(States::Menu);
                break;
            }
            // The title's background is drawn first, beneath this screen.
            if (!m_MenuGroup) {
                BuildMenu();
                Show(m_MenuGroup, false);
            }
            if (!m_CalibrationGroup) BuildCalibrationScreen();
            if (m_DrawTree) m_DrawTree->SetCamera(m_Camera);
            Show(m_GuiRoot, true);
            Show(m_RaceRoot, false);
            Show(m_CalibrationGroup, true);
            ShowCalibration();
            m_ClickTrack->Play(-1);
            break;
        }
        default:
            break;
    }
}

void MainApp::UpdateState(I32 state) {
    switch (state) {
        case States::Init:
            RequestState(States::Splash);
            break;
        case States::Splash:
            RequestState(m_Options.calibrate ? States::Calibrate : States::Menu);
            break;
        case States::Menu:
            if (IsPressed(Buttons::Start) || IsPressed(Buttons::Select) || IsPressed(Buttons::DPadB))
                RequestState(States::SelSong);
            else if (IsPressed(Buttons::DPadY) && !IsHeld(Buttons::DPadUp))
                RequestState(States::Calibrate);
            else if (IsPressed(Buttons::System))
                m_QuitRequested = true;
            if (m_Prompt)
                m_Prompt->SetColor(1.0f, 1.0f, 1.0f,
                                   0.75f + 0.25f * Sin(PhaseDegrees(180, m_TimeInState)).ToFloat());
            if (m_TimeInState >= Fixed::One) TakeShot("menu");
            break;
        case States::SelSong:
            UpdateSongSelection();
            if (m_TimeInState >= Fixed::One) TakeShot("songs");
            break;
        case States::Convert:
            UpdateAnalysis();
            break;
        case States::Play:
            // Start pauses and resumes; losing the window's focus pauses.
            if (IsPressed(Buttons::Start))
                m_Race.SetPaused(m_Hud, !m_Race.IsPaused());
            else if (m_Input && !m_Input->HasFocus())
                m_Race.SetPaused(m_Hud, true);
            if (m_Race.Step(*this, m_Hud)) RequestState(States::Hiscore);
            if (!m_RaceShotTaken && m_Race.GetPlayTime() >= Fixed::FromInt(30)) {
                m_RaceShotTaken = true;
                TakeShot("race");
            }
            break;
        case States::Hiscore:
            UpdateHiscore();
            break;
        case States::Calibrate:
            UpdateCalibration();
            break;
        default:
            break;
    }
}

void MainApp::ExitState(I32 state) {
    switch (state) {
        case States::Menu:
            Show(m_MenuGroup, false);
            break;
        case States::SelSong:
            Show(m_BrowserGroup, false);
            break;
        case States::Convert:
            m_TrackGen.reset();
            ReleaseLoadingScreen();
            break;
        case States::Play:
            m_FinalScore = m_Race.GetScore();
            m_Race.FinishPlan();
            if (m_Race.m_CapsulesPlaced > 0 || m_Race.m_MinesPlaced > 0)
                std::printf(
                    "Race finished: score %d, capsules taken %d of %d (%.1f%%), mines hit %d of %d, reachable %d of %d\n",
                    m_FinalScore, m_Race.m_CapsulesTaken, m_Race.m_CapsulesPlaced,
                    m_Race.m_CapsulesPlaced ? 100.0 * m_Race.m_CapsulesTaken / m_Race.m_CapsulesPlaced : 0.0,
                    m_Race.m_MinesHit, m_Race.m_MinesPlaced, m_Race.m_CapsulesReachable, m_Race.m_CapsulesPlaced);
            std::fflush(stdout);
            m_Race.End(*this, m_Hud);
            m_Music.Reset();
            break;
        case States::Hiscore:
            if (m_HiscoreTable) {
                if (!m_Options.autopilot) {
                    SongFiles::MakeParentFolders(m_HiscoreTable->GetPath());
                    m_HiscoreTable->Save();
                }
                m_HiscoreTable->SetParent(nullptr);
                m_HiscoreTable.Reset();
            }
            Show(m_HiscoreGroup, false);
            break;
        case States::Calibrate:
            if (m_ClickTrack) m_ClickTrack->Stop();
            m_ClickTrack.Reset();
            Show(m_CalibrationGroup, false);
            break;
        default:
            break;
    }
}

void MainApp::BuildFrontEnd() {
    m_LargeFont =
        Screens::LoadFont(DataFile("Fonts/SpaceAge12").c_str(), Fixed::FromInt(12), Shader::BlendAlpha, false);
    m_SmallFont = Screens::LoadFont(DataFile("Fonts/04b03").c_str(), Fixed::FromInt(8), Shader::BlendAlphaTest, true);

    if (m_Light) m_Light->SetLightType(Light::Ambient);
    m_InterfaceRoot = New<InterfaceGroup>();
    m_InterfaceRoot->SetName("InterfaceRoot");
    m_InterfaceRoot->SetSize(Fixed::FromInt(320), Fixed::FromInt(240));
    m_InterfaceRoot->SetParent(m_SceneRoot);
    m_InterfaceTransform = New<Transform>();
    m_InterfaceTransform->SetParent(m_InterfaceRoot);
    m_GuiRoot = New<Group>();
    m_GuiRoot->SetName("GuiRoot");
    m_GuiRoot->SetParent(m_InterfaceTransform);
    m_RaceRoot = New<Group>();
    m_RaceRoot->SetName("RaceRoot");
    m_RaceRoot->SetParent(m_InterfaceTransform);
    m_HelpRoot = New<Group>();
    m_HelpRoot->SetName("HelpRoot");
    m_HelpRoot->SetParent(m_InterfaceTransform);

    Ref<Transform> status = New<Transform>();
    status->SetTranslation({Fixed::Zero, Fixed::FromInt(-118), Fixed::Zero});
    status->SetParent(m_InterfaceTransform);
    m_StatusText = New<TextGeometry>();
    m_StatusText->SetShader(m_SmallFont);
    m_StatusText->SetAlignment(TextGeometry::AlignCentre, TextGeometry::AlignStart);
    m_StatusText->SetText("");
    m_StatusText->SetParent(status);

    Ref<Transform> notice = New<Transform>();
    notice->SetTranslation({Fixed::Zero, Fixed::FromInt(-110), Fixed::Zero});
    notice->SetParent(m_InterfaceTransform);
    m_NoticeText = New<TextGeometry>();
    m_NoticeText->SetShader(m_SmallFont);
    m_NoticeText->SetAlignment(TextGeometry::AlignCentre, TextGeometry::AlignStart);
    m_NoticeText->SetColor(1.0f, 0.6f, 0.25f, 1.0f);
    m_NoticeText->SetText(m_Notice.c_str());
    m_NoticeText->SetParent(notice);

    m_Help = New<Help>();
    m_Help->SetBackgroundShader(CreateTextureShader(DataFile("SkyRail/pixel.png").c_str(), false, Shader::BlendAlpha));
    m_Help->SetFontShader(m_SmallFont);
    m_Help->SetEnabled(0);
    m_Help->SetParent(m_HelpRoot);

    std::string configured;
    Screens::ReadConfiguration(DataFile("SkyRail/config.ini").c_str(), m_Input, &configured);
    // The command line, then the player's settings, then the game's
    // configuration choose the folder.
    if (!m_Options.music.empty())
        m_MusicRoot = m_Options.music;
    else if (!m_Settings.music.empty())
        m_MusicRoot = m_Settings.music;
    else
        m_MusicRoot = !configured.empty() ? configured : UserSettings::DefaultMusicFolder();
}

void MainApp::BuildMenu() {
    m_Background = Screens::AddRect(m_GuiRoot, CreateTextureShader(DataFile("SkyRail/pattern01.png").c_str(), false,
                                                                   Shader::BlendOpaque),
                                    -160, -120, 320, 240);
    m_Background->SetTextureRepeat(Fixed::FromInt(16), Fixed::FromInt(16));
    m_Background->SetStatic(0xFFFFFFFFu);

    m_GuiShader = CreateTextureShader(DataFile("SkyRail/gui01.png").c_str(), false, Shader::BlendAlpha);
    if (m_GuiShader && m_GuiShader->GetTexture(0)) {
        Texture* texture = m_GuiShader->GetTexture(0);
        texture->SetMipmapMode(Texture::MipmapNearest);
        texture->SetMagLinear(0);
        texture->SetMinLinear(0);
    }
    m_MenuGroup = New<Group>();
    m_MenuGroup->SetName("MenuGroup");
    m_MenuGroup->SetParent(m_GuiRoot);
    Screens::AddRect(m_MenuGroup, m_GuiShader, -160, -40, 320, 80, 0.0f, 0.439453125f, 0.625f, 0.75f);

    std::string prompt = "PRESS \"";
    if (m_Input) prompt += m_Input->GetButtonName(Buttons::Start);
    prompt += "\"";
    m_Prompt = Screens::AddText(m_MenuGroup, m_LargeFont, 0, -80, TextGeometry::AlignCentre, TextGeometry::AlignCentre,
                                prompt.c_str());
    m_Prompt->SetStatic(19);
    const std::string calibrate = ExpandButtonNames("'#{DPadY}': audio calibration");
    Screens::AddText(m_MenuGroup, m_SmallFont, 0, -100, TextGeometry::AlignCentre, TextGeometry::AlignCentre,
                     calibrate.c_str())
        ->SetColor(0.75f, 0.75f, 0.75f, 1.0f);
}

void MainApp::BuildCalibrationScreen() {
    m_CalibrationGroup = New<Group>();
    m_CalibrationGroup->SetName("CalibrationGroup");
    m_CalibrationGroup->SetParent(m_GuiRoot);
    Screens::AddText(m_CalibrationGroup, m_LargeFont, 0, 70, TextGeometry::AlignCentre, TextGeometry::AlignCentre,
                     "AUDIO CALIBRATION");
    const std::string task = ExpandButtonNames("Press '#{DPadB}' on every click you hear.");
    Screens::AddText(m_CalibrationGroup, m_SmallFont, 0, 40, TextGeometry::AlignCentre, TextGeometry::AlignCentre,
                     task.c_str());
    for (I32 i = 0; i < CalibrationLines; ++i)
        m_CalibrationText[i] = Screens::AddText(m_CalibrationGroup, m_SmallFont, 0, 15 - 16 * i,
                                                TextGeometry::AlignCentre, TextGeometry::AlignCentre, "");
}

void MainApp::ShowCalibration() {
    char lines[CalibrationLines][96] = {};
    std::snprintf(lines[0], sizeof lines[0], "Offset now: %+d ms", m_Settings.offset);
    std::snprintf(lines[1], sizeof lines[1], "Presses: %d of %d", m_Calibration.GetCount(),
                  Calibration::PressesNeeded);
    const I32 last = m_Calibration.GetLastDifference();
    if (m_Calibration.GetPresses() == 0)
        lines[2][0] = 0;
    else if (!m_Calibration.WasLastCounted())
        std::snprintf(lines[2], sizeof lines[2], "Last press ignored: no click near it");
    else
        std::snprintf(lines[2], sizeof lines[2], "Last press: %d ms %s", last < 0 ? -last : last,
                      last < 0 ? "early" : "late");
    std::string leave;
    if (m_Calibration.IsDone()) {
        std::snprintf(lines[4], sizeof lines[4], "New offset: %+d ms, saved", m_Calibration.GetOffset());
        leave = ExpandButtonNames("Press '#{Start}' to return.");
    } else {
        leave = ExpandButtonNames("Press '#{System}' to leave without saving.");
    }
    std::snprintf(lines[5], sizeof lines[5], "%s", leave.c_str());
    for (I32 i = 0; i < CalibrationLines; ++i)
        if (m_CalibrationText[i]) m_CalibrationText[i]->SetText(lines[i]);
}

void MainApp::UpdateCalibration() {
    if (!m_ClickTrack) return;
    if (m_Calibration.IsDone()) {
        if (IsPressed(Buttons::Start) || IsPressed(Buttons::System)) RequestState(States::Menu);
        return;
    }
    if (IsPressed(Buttons::System)) {
        RequestState(States::Menu);
        return;
    }
    // Any lane button counts: the press the race would see.
    if (!IsPressed(Buttons::DPadA) && !IsPressed(Buttons::DPadB) && !IsPressed(Buttons::DPadLeft) &&
        !IsPressed(Buttons::DPadRight))
        return;
    m_Calibration.Press(static_cast<I64>(std::llround(m_ClickTrack->GetTime() * 1000.0)));
    if (m_Calibration.IsDone()) {
        m_Settings.offset = m_Calibration.GetOffset();
        m_Race.SetAudioOffset(Fixed::FromInt(m_Settings.offset) / Fixed::FromInt(1000));
        LogI() << "MainApp::UpdateCalibration: the audio offset is now " << m_Settings.offset << " ms";
        if (!m_SettingsPath.empty()) m_Settings.Save(m_SettingsPath);
        TakeShot("calibration");
    }
    ShowCalibration();
}

void MainApp::BuildBrowser() {
    m_BrowserGroup = New<Group>();
    m_BrowserGroup->SetName("BrowserGroup");
    m_BrowserGroup->SetParent(m_GuiRoot);
    m_Browser = New<FileBrowser>();
    m_Browser->SetFont(m_SmallFont);
    for (const std::string& extension : SongExtensions()) m_Browser->AddExtension(extension);
    m_Browser->SetPath(m_MusicRoot);
    m_Browser->SetParent(m_BrowserGroup);
    Screens::AddRect(m_BrowserGroup, m_GuiShader, -160, 80, 320, 32, 0.0f, 0.875f, 0.625f, 1.0f);
}

void MainApp::BuildLoadingScreen() {
    m_SpinnerTransform = New<Transform>();
    m_SpinnerTransform->SetName("Spinner");
    m_SpinnerTransform->SetParent(m_GuiRoot);
    Screens::AddRect(m_SpinnerTransform,
                     CreateTextureShader(DataFile("SkyRail/loading01.png").c_str(), false, Shader::BlendAlpha),
                     -32, -32, 64, 64);
    // The song's name above the spinner, the progress against its length
    // beneath it.
    m_ProgressTransform = New<Transform>();
    m_ProgressTransform->SetParent(m_GuiRoot);
    const size_t slash = m_SelectedSong.find_last_of('/');
    const std::string name = slash == std::string::npos ? m_SelectedSong : m_SelectedSong.substr(slash + 1);
    Screens::AddText(m_ProgressTransform, m_SmallFont, 0, 48, TextGeometry::AlignCentre, TextGeometry::AlignCentre,
                     Utf8::Length(name) > 60 ? (Utf8::Prefix(name, 57) + "...").c_str() : name.c_str());
    m_ProgressText = Screens::AddText(m_ProgressTransform, m_SmallFont, 0, -48, TextGeometry::AlignCentre,
                                      TextGeometry::AlignCentre, "00:00");
}

void MainApp::ReleaseLoadingScreen() {
    if (m_SpinnerTransform) m_SpinnerTransform->SetParent(nullptr);
    if (m_ProgressTransform) m_ProgressTransform->SetParent(nullptr);
    m_SpinnerTransform.Reset();
    m_ProgressTransform.Reset();
    m_ProgressText.Reset();
}

void MainApp::BuildHiscoreFrame() {
    m_HiscoreGroup = New<Group>();
    m_HiscoreGroup->SetName("HiscoreGroup");
    m_HiscoreGroup->SetParent(m_GuiRoot);
    Screens::AddRect(m_HiscoreGroup, m_GuiShader, -160, 80, 320, 32, 0.0f, 0.751953125f, 0.625f, 0.875f);
}

void MainApp::UpdateSongSelection() {
    if (!m_Browser) return;
    m_Browser->Update(m_FrameDelta);
    if (IsPressed(Buttons::DPadDown)) {
        m_Browser->CursorDown();
        m_RepeatTimer = RepeatDelay;
    } else if (IsPressed(Buttons::DPadUp)) {
        m_Browser->CursorUp();
        m_RepeatTimer = RepeatDelay;
    } else if (IsPressed(Buttons::DPadB) || IsPressed(Buttons::Start) || IsPressed(Buttons::Select)) {
        Confirm(IsPressed(Buttons::DPadX));
    } else if (IsPressed(Buttons::DPadX)) {
        Confirm(true);
    } else if (IsPressed(Buttons::System)) {
        RequestState(States::Menu);
    } else if (m_RepeatTimer < Fixed::Zero) {
        if (IsHeld(Buttons::DPadUp))
            m_Browser->CursorUp();
        else if (IsHeld(Buttons::DPadDown))
            m_Browser->CursorDown();
        m_RepeatTimer = RepeatPeriod;
    }
    m_RepeatTimer -= m_FrameDelta;
}

void MainApp::Confirm(bool hiscore) {
    const FileBrowser::Entry* entry = m_Browser->GetCurrentEntry();
    if (!entry) return;
    if (!entry->m_IsFolder) {
        m_SelectedSong = m_Browser->GetCurrentPath() + entry->m_Name;
        m_SongFromBrowser = true;
        RequestState(hiscore ? States::Hiscore : States::Convert);
    } else if (!hiscore) {
        m_Browser->EnterFolder();
    }
}

void MainApp::UpdateAnalysis() {
    if (!m_TrackGen) return;
    if (IsPressed(Buttons::System)) {
        RequestState(States::Menu);
        return;
    }
    // Each frame analyses for a slice of real time, so the wait is the
    // analysis's own and the progress is still drawn every frame, at any
    // display size and on slow machines alike. The fixed-step clock stands
    // still within a frame: there each frame analyses one second of music, so
    // headless runs and tests take the same frames on every machine.
    bool more = true;
    if (System::IsFixedClock()) {
        const I32 start = m_TrackGen->ProgressSeconds();
        while (more && m_TrackGen->ProgressSeconds() <= start) more = m_TrackGen->Step();
    } else {
        more = m_TrackGen->StepFor(AnalysisBudgetMicroseconds);
    }
    const I32 progress = m_TrackGen->ProgressSeconds(), length = m_TrackGen->LengthSeconds();
    if (m_ProgressText) {
        char text[48];
        if (length >= 0)
            std::snprintf(text, sizeof text, "%02d:%02d / %02d:%02d", progress / 60, progress % 60, length / 60,
                          length % 60);
        else
            std::snprintf(text, sizeof text, "%02d:%02d", progress / 60, progress % 60);
        m_ProgressText->SetText(text);
    }
    if (m_SpinnerTransform)
        m_SpinnerTransform->SetRotation({Fixed::Zero, Fixed::Zero, Fixed::FromInt(-((7 * progress) % 360))});
    if (!m_AnalysisShotTaken && progress >= 10) {
        m_AnalysisShotTaken = true;
        TakeShot("analysis");
    }
    if (!more) {
        sync();
        if (m_TrackGen->Failed())
            RefuseSong(m_TrackGen->FailureReason());
        else
            RequestState(States::PlayPrepare);
    }
}

void MainApp::UpdateHiscore() {
    HiscoreTable* table = m_HiscoreTable;
    if (!table) return;
    table->Update(m_FrameDelta);
    const bool keyboard = m_Input && m_Input->HasKeys();
    bool endedByKeys = false;
    if (table->GetEditIndex() >= 0 && !keyboard) {
        if (IsPressed(Buttons::DPadLeft)) {
            table->PreviousPosition(false);
        } else if (IsPressed(Buttons::DPadRight) || IsPressed(Buttons::DPadB) || IsPressed(Buttons::Select)) {
            table->NextPosition();
        } else if (IsPressed(Buttons::DPadX)) {
            table->PreviousPosition(true);
        } else if (IsPressed(Buttons::DPadUp)) {
            table->NextChar();
            m_RepeatTimer = RepeatDelay;
        } else if (IsPressed(Buttons::DPadDown)) {
            table->PreviousChar();
            m_RepeatTimer = RepeatDelay;
        }
        if (m_RepeatTimer < Fixed::Zero) {
            if (IsHeld(Buttons::DPadUp))
                table->NextChar();
            else if (IsHeld(Buttons::DPadDown))
                table->PreviousChar();
            m_RepeatTimer = RepeatPeriod;
        }
    } else if (table->GetEditIndex() >= 0) {
        // Typed letters count as capitals: the name alphabet has no others.
        for (U8 key : m_NewKeys) {
            table->TypeChar(static_cast<U8>(std::toupper(key)));
            if (table->GetEditIndex() < 0) {
                endedByKeys = true;
                break;
            }
        }
    }
    // Enter is both a typed key and Start on a keyboard: the frame in which
    // it ended the name entry must not also leave the table.
    if (!endedByKeys &&
        (IsPressed(Buttons::Start) || IsPressed(Buttons::System) || (keyboard && IsPressed(Buttons::DPadB)))) {
        if (table->GetEditIndex() >= 0) {
            table->SetEditIndex(-1);
            table->Refresh();
        } else {
            RequestState(m_PreviousState == States::SelSong ? States::SelSong : States::Menu);
        }
    }
    if (m_TimeInState >= Fixed::One) TakeShot("hiscores");
    m_RepeatTimer -= m_FrameDelta;
}

void MainApp::RefuseSong(const std::string& why) {
    ++m_SongsRefused;
    m_RefusedSong = m_SelectedSong;
    const size_t slash = m_SelectedSong.rfind('/');
    std::string name = slash == std::string::npos ? m_SelectedSong : m_SelectedSong.substr(slash + 1);
    // One line of the small font: long names give way to the reason.
    if (Utf8::Length(name) > NoticeNameLength) name = Utf8::Prefix(name, NoticeNameLength - 3) + "...";
    ShowNotice("Cannot play " + name + ": " + (why.empty() ? std::string("cannot be loaded") : why));
    // A song picked from the list returns to the list, one from the command
    // line to the title.
    RequestState(m_SongFromBrowser ? States::SelSong : States::Menu);
}

void MainApp::ShowNotice(const std::string& text) {
    m_Notice = text;
    m_NoticeTime = NoticeSeconds;
    if (m_NoticeText) m_NoticeText->SetText(text.c_str());
}

std::string MainApp::GetRunFailure() const {
    if (!m_Options.headless) return std::string();
    if (m_SongsRefused > 0) return "\"" + m_RefusedSong + "\" cannot be raced (the log above says why).";
    if (m_Options.autopilot && m_RacesFinished == 0) return "no song was raced.";
    return std::string();
}

void MainApp::TakeShot(const char* name) {
    if (m_Options.shots.empty() || !m_Render) return;
    // One picture per screen and run.
    const std::string prefix = m_Options.shots + "/" + name;
    for (const std::string& done : m_ShotsTaken)
        if (done == prefix) return;
    m_ShotsTaken.push_back(prefix);
    m_PendingShots.push_back(prefix);
}

void MainApp::Draw() {
    // Pictures are read back after drawing and before the buffers swap, when
    // the frame is complete and still in the back buffer.
    if (m_DrawTree) {
        if (!m_PendingShots.empty()) m_DrawTree->RequestWholeFrame();
        m_DrawTree->Draw();
    }
    if (m_Render) {
        for (const std::string& prefix : m_PendingShots) {
            const std::string folder = prefix.substr(0, prefix.rfind('/'));
            mkdir(folder.c_str(), 0755);
            if (m_Render->Screenshot(prefix.c_str())) m_ShotFiles.push_back(prefix);
        }
        m_PendingShots.clear();
        m_Render->SwapBuffers();
    }
}
