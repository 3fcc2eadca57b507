// App's per-frame input state driven by the scripted input device on the fixed-step clock, and a main
// loop that ends when the script asks to quit.
#include <gtest/gtest.h>

#include "Core/App.h"
#include "Core/Devices.h"
#include "Core/System.h"
#include "Input/InputScripted.h"
#include "Support/TestUtil.h"

using namespace Meridian;

namespace {

Ref<InputScripted> g_Script;

Input* ScriptedInput() { return g_Script.Get(); }

class ScriptedApp : public testing::Test {
protected:
    void SetUp() override {
        System::UseFixedClock(100, 5000);  // one frame = 0.1 s
        g_Script = New<InputScripted>();
        DeviceFactory factory = NullDeviceFactory();
        factory.createInput = &ScriptedInput;
        SetDeviceFactory(factory);
        m_App = New<App>();
    }
    void TearDown() override {
        m_App.Reset();
        g_Script.Reset();
        SetDeviceFactory(NullDeviceFactory());
        System::UseRealClock();
    }
    // One pass of the main loop, as RunApplication runs it.
    void Frame() {
        m_App->UpdateInput();
        m_App->UpdateTime();
        m_App->Update();
        m_App->UpdateAudio();
        m_App->PostUpdate();
        m_App->Draw();
        System::FrameTick();
    }

    ::Test::LogCapture m_Log;
    Ref<App> m_App;
};

std::string Text(const std::vector<U8>& keys) { return std::string(keys.begin(), keys.end()); }

}  // namespace

// A hold starts the frame after the press, at the previous frame's time, and lasts while the button is
// down; a re-arm restarts it at the previous frame's time, or now for a button that is up.
TEST_F(ScriptedApp, HoldStartsAndRearms) {
    const I32 left = 0, a = 4;
    g_Script->AddFrame(1, Buttons::DPadLeft);
    g_Script->AddFrame(2, Buttons::DPadLeft | Buttons::DPadA);
    g_Script->AddFrame(5, Buttons::DPadA);
    g_Script->AddFrame(6, 0);
    ASSERT_TRUE(m_App->Init(0, nullptr));
    const struct {
        I32 rearm;  // button re-armed before the frame, -1 for none
        U32 buttons;
        U64 leftHold, aHold;
    } frames[] = {
        {-1, 0, 0, 0},
        {-1, Buttons::DPadLeft, 0, 0},
        {-1, Buttons::DPadLeft | Buttons::DPadA, 100, 0},
        {-1, Buttons::DPadLeft | Buttons::DPadA, 100, 200},
        {left, Buttons::DPadLeft | Buttons::DPadA, 300, 200},
        {-1, Buttons::DPadA, 0, 200},
        {-1, 0, 0, 0},
        {a, 0, 0, 600},
        {-1, 0, 0, 600},
    };
    for (const auto& f : frames) {
        SCOPED_TRACE(&f - frames);
        if (f.rearm >= 0) m_App->Rearm(f.rearm);
        Frame();
        EXPECT_EQ(m_App->GetButtons(), f.buttons);
        EXPECT_EQ(m_App->GetHoldStart(left), f.leftHold);
        EXPECT_EQ(m_App->GetHoldStart(a), f.aHold);
    }
    EXPECT_EQ(m_App->GetMilliseconds(), 800u);
    m_App->Exit();
}

TEST_F(ScriptedApp, TypedKeysBecomeNewKeysOnce) {
    g_Script->AddFrameKeys(1, "AB");
    g_Script->AddFrameKeys(2, "BC");
    g_Script->AddFrameKeys(4, "C");
    ASSERT_TRUE(m_App->Init(0, nullptr));
    std::vector<std::string> keys, fresh;
    for (int frame = 0; frame < 5; ++frame) {
        Frame();
        keys.push_back(Text(m_App->GetKeys()));
        fresh.push_back(Text(m_App->GetNewKeys()));
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"", "AB", "BC", "", "C"}));
    // B was already there the frame before; C after a gap is new again.
    EXPECT_EQ(fresh, (std::vector<std::string>{"", "AB", "C", "", "C"}));
    m_App->Exit();
}

namespace {

// Ends when the input device asks to quit, as the game's IsDone does.
class QuitOnRequestApp : public App {
public:
    bool IsDone() override { return m_Input && m_Input->WantsQuit(); }
    void Update() override { ++m_Updates; }
    int m_Updates = 0;
};

}  // namespace

TEST_F(ScriptedApp, MainLoopEndsWhenTheScriptQuits) {
    m_App.Reset();  // one application at a time
    ASSERT_TRUE(g_Script->ParseScript("time 1000 quit\n", "test"));
    Ref<QuitOnRequestApp> app = New<QuitOnRequestApp>();
    RunApplication(app, 0, nullptr);
    // 100 ms per pass; the quit fires on the pass at 1000 ms, before that pass's Update.
    EXPECT_EQ(app->m_Updates, 10);
    EXPECT_TRUE(m_Log.Contains("[I] MainLoop Left."));
    EXPECT_EQ(g_Script->GetFrame(), 11u);
}
