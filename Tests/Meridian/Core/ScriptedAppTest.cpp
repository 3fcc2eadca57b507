// App's per-frame input state (pressed, held, hold start, re-arm, new keys)
// driven by the scripted input device on the fixed-step clock, and a whole
// main loop that ends when the script asks to quit.
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
    static Fixed Seconds(F32 value) { return Fixed::FromFloat(value); }

    ::Test::LogCapture m_Log;
    Ref<App> m_App;
};

std::string Text(const std::vector<U8>& keys) { return std::string(keys.begin(), keys.end()); }

}  // namespace

TEST_F(ScriptedApp, PressedHeldAndHoldStart) {
    const I32 left = 0, a = 4;
    g_Script->AddFrame(1, Buttons::DPadLeft);
    g_Script->AddFrame(2, Buttons::DPadLeft | Buttons::DPadA);  // A joins: two-lane skip frame
    g_Script->AddFrame(5, Buttons::DPadA);
    g_Script->AddFrame(6, 0);
    ASSERT_TRUE(m_App->Init(0, nullptr));

    Frame();  // frame 0: nothing
    EXPECT_EQ(m_App->GetButtons(), 0u);

    Frame();  // frame 1: DPadLeft first down, time 0.1
    EXPECT_TRUE(m_App->IsPressed(Buttons::DPadLeft));
    EXPECT_FALSE(m_App->IsHeld(Buttons::DPadLeft));
    EXPECT_EQ(m_App->GetHoldStart(left), 0u);  // hold starts the frame after

    Frame();  // frame 2: Left held, A pressed; hold start = time of frame 1
    EXPECT_FALSE(m_App->IsPressed(Buttons::DPadLeft));
    EXPECT_TRUE(m_App->IsHeld(Buttons::DPadLeft));
    EXPECT_TRUE(m_App->IsPressed(Buttons::DPadA));
    EXPECT_EQ(m_App->GetHoldStart(left), 100u);
    EXPECT_EQ(m_App->GetHoldStart(a), 0u);

    Frame();  // frame 3
    EXPECT_EQ(m_App->GetHoldStart(left), 100u);  // kept while held
    EXPECT_EQ(m_App->GetHoldStart(a), 200u);

    m_App->Rearm(left);
    Frame();  // frame 4: re-arm restarts the hold at the previous frame's time
    EXPECT_EQ(m_App->GetHoldStart(left), 300u);

    Frame();  // frame 5: Left released
    EXPECT_TRUE(m_App->IsReleased(Buttons::DPadLeft));
    EXPECT_EQ(m_App->GetHoldStart(left), 0u);
    EXPECT_EQ(m_App->GetHoldStart(a), 200u);

    Frame();  // frame 6: all up
    EXPECT_EQ(m_App->GetButtons(), 0u);
    EXPECT_EQ(m_App->GetHoldStart(a), 0u);

    // Re-arming a button that is up starts its hold now and keeps it.
    m_App->Rearm(a);
    Frame();
    EXPECT_EQ(m_App->GetHoldStart(a), 600u);
    Frame();
    EXPECT_EQ(m_App->GetHoldStart(a), 600u);
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
    // Ticks advance 100 ms per pass; the quit fires on the pass at 1000 ms,
    // before that pass's Update.
    EXPECT_EQ(app->m_Updates, 10);
    EXPECT_TRUE(m_Log.Contains("[I] MainLoop Left."));
    EXPECT_EQ(g_Script->GetFrame(), 11u);
}
