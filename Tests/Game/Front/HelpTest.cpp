#include <gtest/gtest.h>

#include <string>

#include "Audio/AudioPlayerNull.h"
#include "Core/App.h"
#include "Core/Devices.h"
#include "Core/System.h"
#include "Front/Help.h"
#include "Front/States.h"
#include "Game/Front/FrontTestFont.h"
#include "Render/RenderNull.h"
#include "Scene/ImageGeometry.h"
#include "Scene/TextGeometry.h"
#include "Support/TestUtil.h"

using namespace Meridian;

namespace {

bool g_HasKeys = false;

// Labels as the handheld prints them; VolumeUp and VolumeDown have none.
class HandheldInput : public Input {
    MERIDIAN_CLASS(HandheldInput, Input)
    bool Init() override { return true; }
    void Update() override {}
    void Exit() override {}
    U32 GetButtons() override { return 0; }
    I32 HasKeys() override { return g_HasKeys ? 1 : 0; }
    const char* GetButtonName(U32 button) override {
        switch (button) {
            case Buttons::DPadLeft: return "Joystick Left";
            case Buttons::DPadRight: return "Joystick Right";
            case Buttons::DPadUp: return "Joystick Up";
            case Buttons::DPadDown: return "Joystick Down";
            case Buttons::DPadA: return "A";
            case Buttons::DPadB: return "B";
            case Buttons::DPadX: return "X";
            case Buttons::DPadY: return "Y";
            case Buttons::Start: return "Help I";
            case Buttons::System: return "Home";
            default: return "";
        }
    }
};

Render* MakeRender() { return New<RenderNull>(); }
Input* MakeInput() { return New<HandheldInput>(); }
AudioPlayer* MakeAudio() { return New<AudioPlayerNull>(); }

const F32 Title[3] = {0.3490196f, 0.7529412f, 0.8745098f};

class HelpTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_HasKeys = false;
        m_Font = FrontTest::MakeFontShader();
        Image* pixel = New<Image>();
        pixel->Create(ImageRGBA, 1, 1);
        Texture2D* texture = New<Texture2D>();
        texture->SetImage(pixel);
        m_Panel = New<Shader>();
        m_Panel->SetTexture(0, texture);
        m_Help = New<Help>();
        m_Help->SetFontShader(m_Font);
        m_Help->SetBackgroundShader(m_Panel);
    }
    void TearDown() override {
        if (m_App) m_App->Exit();
        m_App.Reset();
        SetDeviceFactory(NullDeviceFactory());
        System::UseRealClock();
    }
    void StartApp() {
        SetDeviceFactory(DeviceFactory{&MakeRender, &MakeInput, &MakeAudio});
        System::UseFixedClock(10, 1000);
        m_App = New<App>();
        ASSERT_TRUE(m_App->Init(0, nullptr));
    }
    // The text line drawn at child index i (index 0 is the panel).
    TextGeometry* LineAt(U32 i) const {
        Group* holder = Cast<Group>(m_Help->GetChild(i));
        return holder ? Cast<TextGeometry>(holder->GetChild(0)) : nullptr;
    }
    Fixed HeightAt(U32 i) const { return Cast<Transform>(m_Help->GetChild(i))->GetTranslation().y; }

    Ref<Shader> m_Font;
    Ref<Shader> m_Panel;
    Ref<Help> m_Help;
    Ref<App> m_App;
};

}  // namespace

TEST_F(HelpTest, TextsNameTheDevicesButtons) {
    // Without an application the placeholders stay as written.
    EXPECT_NE(Help::GetHelpText(States::Menu).find("Press '#{Start}'/'#{DPadB}'"), std::string::npos);

    StartApp();
    const struct {
        I32 state;
        bool keys;
        const char* says;
    } pages[] = {
        {States::Menu, false, "Press 'Help I'/'B' to get to the song selection.\nPress 'Y' to calibrate"},
        {States::Menu, false, "Press 'Home' to exit the game."},
        {States::SelSong, false, "Press 'X' to show the hiscore"},
        {States::Convert, false, "Press 'Home' to stop analyzation."},
        {States::Calibrate, false, "press 'B' (or any"},
        {States::Play, false, "'Joystick Left'&'A' or 'Joystick Right'&'B'.\n\n"},
        {States::Hiscore, false, "Press 'Joystick Right/B' to move to the next position."},
        {States::Hiscore, true, "Press 'Help I' or 'B' to return to the menu."},
    };
    for (const auto& page : pages) {
        g_HasKeys = page.keys;
        EXPECT_NE(Help::GetHelpText(page.state).find(page.says), std::string::npos) << page.says;
    }
    for (I32 state : {I32(0), I32(States::Init), I32(States::Splash), I32(States::PlayPrepare), I32(10)})
        EXPECT_EQ(Help::GetHelpText(state), "") << state;
}

TEST_F(HelpTest, LinesAreCentredAroundThePanelAndRebuiltOnChange) {
    // Three lines, the middle one empty: lines 0 and 2 drawn, centred on the panel, the first in the title colour.
    m_Help->SetText("Title\n\nBody");
    ASSERT_EQ(m_Help->GetChildCount(), 3u);
    ImageGeometry* panel = Cast<ImageGeometry>(m_Help->GetChild(0));
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->GetShader(), m_Panel.Get());
    EXPECT_EQ(HeightAt(1), FrontTest::Units(12));
    EXPECT_EQ(HeightAt(2), FrontTest::Units(-4));
    EXPECT_NEAR(LineAt(1)->GetColor()[0], Title[0], 1e-6);
    EXPECT_FLOAT_EQ(LineAt(2)->GetColor()[0], 1.0f);
    // The pieces build real meshes with the font and the panel's image.
    ::Test::LogCapture log;
    LineAt(1)->UpdateDrawable();
    EXPECT_EQ(LineAt(1)->GetPrimitiveCount(), 2 * 5);
    panel->UpdateDrawable();
    EXPECT_EQ(panel->GetPrimitiveCount(), 2);
    EXPECT_FALSE(log.Contains("[E] "));
    // One line without a break: centred at half a line, in the title colour.
    m_Help->SetText("Just one line");
    ASSERT_EQ(m_Help->GetChildCount(), 2u);
    EXPECT_EQ(HeightAt(1), FrontTest::Units(4));
    EXPECT_NEAR(LineAt(1)->GetColor()[1], Title[1], 1e-6);
    // States without help keep only the panel.
    m_Help->SetText(Help::GetHelpText(States::PlayPrepare));
    ASSERT_EQ(m_Help->GetChildCount(), 1u);
    EXPECT_NE(Cast<ImageGeometry>(m_Help->GetChild(0)), nullptr);
    // Rebuilt only on a change and with both shaders.
    m_Help->SetText("- Title -\nbody");
    Node* built = m_Help->GetChild(0);
    m_Help->SetText("- Title -\nbody");
    EXPECT_EQ(m_Help->GetChild(0), built);  // same text: not rebuilt
    m_Help->SetText("- Title -\nbody!");
    EXPECT_NE(m_Help->GetChild(0), built);
    EXPECT_EQ(m_Help->GetChildCount(), 3u);
    // Without a font shader nothing is rebuilt; the children stay.
    built = m_Help->GetChild(0);
    m_Help->SetFontShader(nullptr);
    m_Help->SetText("other");
    EXPECT_EQ(m_Help->GetChild(0), built);
    EXPECT_EQ(m_Help->GetChildCount(), 3u);
    m_Help->SetFontShader(m_Font);
    EXPECT_EQ(m_Help->GetChildCount(), 2u);
    EXPECT_EQ(LineAt(1)->GetText(), "other");
    // A font shader without a font texture gives pitch 0: all lines at 0.
    m_Help->SetFontShader(m_Panel);
    m_Help->SetText("a\nb\nc");
    ASSERT_EQ(m_Help->GetChildCount(), 4u);
    EXPECT_EQ(HeightAt(1), Fixed::Zero);
    EXPECT_EQ(HeightAt(3), Fixed::Zero);
}
