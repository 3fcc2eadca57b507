// The application frame driven by the scripted input device on the fixed-step clock: the main loop's order
// and milestones, the frame clock and the per-frame input state.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Core/App.h"
#include "Core/Devices.h"
#include "Core/System.h"
#include "Input/InputScripted.h"
#include "Support/TestUtil.h"

using namespace Meridian;

namespace {

Ref<InputScripted> g_Script;  // null: the input device cannot be made
std::vector<std::string> g_Calls;

Input* ScriptedInput() { return g_Script.Get(); }

// Records each phase of the main loop; done when the input device asks to quit, as the game's IsDone does.
class RecordingApp : public App {
    MERIDIAN_CLASS(RecordingApp, App)
    void Record(const char* what) { g_Calls.push_back(what); }
    void UpdateInput() override { Record("input"), App::UpdateInput(); }
    bool IsDone() override { return Record("done"), m_Input->WantsQuit() != 0; }
    void UpdateTime() override { Record("time"), App::UpdateTime(); }
    void Update() override { Record("update"); }
    void UpdateAudio() override { Record("audio"), App::UpdateAudio(); }
    void PostUpdate() override { Record("post"); }
    void Draw() override { Record("draw"), App::Draw(); }
    void Exit() override { Record("exit"), App::Exit(); }
};

class AppTest : public testing::Test {
protected:
    void SetUp() override {
        System::UseFixedClock(100, 5000);  // one frame = 0.1 s
        g_Script = New<InputScripted>();
        g_Calls.clear();
        DeviceFactory factory = NullDeviceFactory();
        factory.createInput = &ScriptedInput;
        SetDeviceFactory(factory);
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

TEST_F(AppTest, MainLoopOrderStartUpLogAndFailedInit) {
    for (U32 passes : {2u, 0u}) {
        SCOPED_TRACE(passes);
        g_Calls.clear();
        g_Script = New<InputScripted>();
        ::Test::LogCapture capture;
        // The quit fires on the pass at its time, before that pass's Update.
        g_Script->AddQuit(passes * 100);
        EXPECT_TRUE(RunApplication(New<RecordingApp>(), 0, nullptr));
        const std::vector<std::string> pass = {"input", "done", "time", "update", "audio", "post", "draw"};
        std::vector<std::string> expected;
        for (U32 i = 0; i < passes; ++i) expected.insert(expected.end(), pass.begin(), pass.end());
        expected.insert(expected.end(), {"input", "done", "exit"});
        EXPECT_EQ(g_Calls, expected);
        EXPECT_EQ(g_Script->GetFrame(), passes + 1);

        const std::vector<std::string> order = {"[D] program-top", "[D] App::Init", "[D] App::Init: setup DrawTree",
                                                "[I] App Initialized. Entering MainLoop.", "[I] MainLoop Left.",
                                                "[D] ~Light", "[D] program-end"};
        size_t at = 0;
        for (const std::string& line : capture.Lines())
            if (at < order.size() && line == order[at]) ++at;
        EXPECT_EQ(at, order.size()) << capture.Text();
    }

    // No input device: no loop, no Exit.
    g_Calls.clear();
    g_Script.Reset();
    ::Test::LogCapture capture;
    EXPECT_FALSE(RunApplication(New<RecordingApp>(), 0, nullptr));
    EXPECT_TRUE(g_Calls.empty());
    EXPECT_TRUE(capture.Contains("[E] App::Init: Input's Init failed."));
    EXPECT_TRUE(capture.Contains("[D] program-end"));
    EXPECT_FALSE(capture.Contains("MainLoop"));
}

TEST_F(AppTest, ClockRunsAcrossTheTickWrap) {
    System::UseFixedClock(10, 0xFFFFFF00u);  // the tick counter wraps in 256 ms
    m_App = New<App>();
    ASSERT_TRUE(m_App->Init(0, nullptr));

    // Past the 9 hours Fixed seconds could hold.
    System::AdvanceClock(250);
    m_App->UpdateTime();
    EXPECT_EQ(m_App->GetMilliseconds(), 250u);
    EXPECT_EQ(m_App->GetFrameDelta(), Fixed::FromRaw(16384));
    for (int hour = 0; hour < 10; ++hour) {
        System::AdvanceClock(3600000);
        m_App->UpdateTime();
    }
    System::AdvanceClock(32);
    m_App->UpdateTime();
    EXPECT_EQ(m_App->GetFrameDelta(), Fixed::FromRaw(2097));
    EXPECT_EQ(m_App->GetMilliseconds(), 36000282u);
    m_App->Exit();
}

// A hold starts the frame after the press, at the previous frame's time, and lasts while the button is
// down; a re-arm restarts it at the previous frame's time, or now for a button that is up. Typed keys are
// new once: B was already there the frame before, C after a gap is new again.
TEST_F(AppTest, HoldsRearmsAndNewKeysFrameByFrame) {
    const I32 left = 0, a = 4;
    g_Script->AddFrame(1, Buttons::DPadLeft);
    g_Script->AddFrame(2, Buttons::DPadLeft | Buttons::DPadA);
    g_Script->AddFrame(5, Buttons::DPadA);
    g_Script->AddFrame(6, 0);
    g_Script->AddFrameKeys(1, "AB");
    g_Script->AddFrameKeys(2, "BC");
    g_Script->AddFrameKeys(4, "C");
    m_App = New<App>();
    ASSERT_TRUE(m_App->Init(0, nullptr));
    const struct {
        I32 rearm;  // button re-armed before the frame, -1 for none
        U32 buttons;
        U64 leftHold, aHold;
        const char* keys;
        const char* newKeys;
    } frames[] = {
        {-1, 0, 0, 0, "", ""},
        {-1, Buttons::DPadLeft, 0, 0, "AB", "AB"},
        {-1, Buttons::DPadLeft | Buttons::DPadA, 100, 0, "BC", "C"},
        {-1, Buttons::DPadLeft | Buttons::DPadA, 100, 200, "", ""},
        {left, Buttons::DPadLeft | Buttons::DPadA, 300, 200, "C", "C"},
        {-1, Buttons::DPadA, 0, 200, "", ""},
        {-1, 0, 0, 0, "", ""},
        {a, 0, 0, 600, "", ""},
        {-1, 0, 0, 600, "", ""},
    };
    U32 previous = 0;
    for (const auto& f : frames) {
        SCOPED_TRACE(&f - frames);
        if (f.rearm >= 0) m_App->Rearm(f.rearm);
        Frame();
        EXPECT_EQ(m_App->GetButtons(), f.buttons);
        EXPECT_EQ(m_App->GetPreviousButtons(), previous);
        previous = f.buttons;
        EXPECT_EQ(m_App->GetHoldStart(left), f.leftHold);
        EXPECT_EQ(m_App->GetHoldStart(a), f.aHold);
        EXPECT_EQ(Text(m_App->GetKeys()), f.keys);
        EXPECT_EQ(Text(m_App->GetNewKeys()), f.newKeys);
    }
    EXPECT_EQ(m_App->GetMilliseconds(), 800u);
    m_App->Exit();
}
