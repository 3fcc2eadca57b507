#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Audio/AudioPlayerNull.h"
#include "Core/App.h"
#include "Core/Devices.h"
#include "Core/System.h"
#include "Render/RenderNull.h"
#include "Support/TestUtil.h"

using namespace Meridian;

namespace {

// The test device's buttons and Init result, set by the test.
struct Script {
    U32 buttons = 0;
    bool failInit = false;
};
Script g_Script;

class TestInput : public Input {
    MERIDIAN_CLASS(TestInput, Input)
    bool Init() override { return !g_Script.failInit; }
    void Update() override {}
    void Exit() override {}
    U32 GetButtons() override { return g_Script.buttons; }
    const char* GetButtonName(U32 button) override { return button == Buttons::DPadA ? "A" : ""; }
};

class RecordingApp : public App {
    MERIDIAN_CLASS(RecordingApp, App)
    std::vector<std::string>* calls = nullptr;
    int doneAfter = 0;
    int passes = 0;
    void Record(const char* what) { calls->push_back(what); }
    void UpdateInput() override { Record("input"), App::UpdateInput(); }
    bool IsDone() override { return Record("done"), passes++ >= doneAfter; }
    void UpdateTime() override { Record("time"), App::UpdateTime(); }
    void Update() override { Record("update"); }
    void UpdateAudio() override { Record("audio"), App::UpdateAudio(); }
    void PostUpdate() override { Record("post"); }
    void Draw() override { Record("draw"), App::Draw(); }
    void Exit() override { Record("exit"), App::Exit(); }
};

Render* MakeRender() { return New<RenderNull>(); }
Input* MakeInput() { return New<TestInput>(); }
AudioPlayer* MakeAudio() { return New<AudioPlayerNull>(); }

class AppTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_Script = Script();
        SetDeviceFactory(DeviceFactory{&MakeRender, &MakeInput, &MakeAudio});
        System::UseFixedClock(10, 1000);
    }
    void TearDown() override {
        SetDeviceFactory(NullDeviceFactory());
        System::UseRealClock();
    }
};

}  // namespace

TEST_F(AppTest, MainLoopOrderStartUpLogAndFailedInit) {
    for (int passes : {2, 0}) {
        std::vector<std::string> calls;
        ::Test::LogCapture capture;
        RecordingApp* app = New<RecordingApp>();
        app->calls = &calls;
        app->doneAfter = passes;
        RunApplication(app, 0, nullptr);
        const std::vector<std::string> pass = {"input", "done", "time", "update", "audio", "post", "draw"};
        std::vector<std::string> expected;
        for (int i = 0; i < passes; ++i) expected.insert(expected.end(), pass.begin(), pass.end());
        expected.insert(expected.end(), {"input", "done", "exit"});
        EXPECT_EQ(calls, expected) << passes;

        const std::vector<std::string> order = {"[D] program-top", "[D] App::Init", "[D] App::Init: setup DrawTree",
                                                "[I] App Initialized. Entering MainLoop.", "[I] MainLoop Left.",
                                                "[D] ~Light", "[D] program-end"};
        size_t at = 0;
        for (const std::string& line : capture.Lines())
            if (at < order.size() && line == order[at]) ++at;
        EXPECT_EQ(at, order.size()) << capture.Text();
    }

    // A device that fails its Init: no loop, no Exit.
    std::vector<std::string> calls;
    g_Script.failInit = true;
    ::Test::LogCapture capture;
    RecordingApp* failing = New<RecordingApp>();
    failing->calls = &calls;
    EXPECT_FALSE(RunApplication(failing, 0, nullptr));
    EXPECT_TRUE(calls.empty());
    EXPECT_TRUE(capture.Contains("[E] App::Init: Input's Init failed."));
    EXPECT_TRUE(capture.Contains("[D] program-end"));
    EXPECT_FALSE(capture.Contains("MainLoop"));
}

TEST_F(AppTest, StarterSceneClockAndButtonNames) {
    System::UseFixedClock(10, 0xFFFFFF00u);  // the tick counter wraps in 256 ms
    Ref<App> app = New<App>();
    ASSERT_TRUE(app->Init(0, nullptr));
    EXPECT_EQ(app->GetCamera()->GetParentTransform()->GetName(), "CameraFixTransform");
    EXPECT_EQ(app->GetCameraTransform()->GetTranslation().z, Fixed::FromInt(4));
    EXPECT_EQ(app->GetAudio()->GetVolume(), 20);

    // The clock runs from Init, across the tick counter's wrap and past the 9 hours Fixed seconds could
    // hold; pressed, held and released compare this frame's buttons with the last.
    app->UpdateInput();
    System::AdvanceClock(250);
    app->UpdateTime();
    EXPECT_EQ(app->GetMilliseconds(), 250u);
    EXPECT_EQ(app->GetFrameDelta(), Fixed::FromRaw(16384));
    for (int hour = 0; hour < 10; ++hour) {
        System::AdvanceClock(3600000);
        app->UpdateTime();
    }
    System::AdvanceClock(32);
    app->UpdateTime();
    EXPECT_EQ(app->GetFrameDelta(), Fixed::FromRaw(2097));
    EXPECT_EQ(app->GetMilliseconds(), 36000282u);
    g_Script.buttons = Buttons::DPadA;
    app->UpdateInput();
    EXPECT_TRUE(app->IsPressed(Buttons::DPadA));
    app->UpdateInput();
    EXPECT_TRUE(app->IsHeld(Buttons::DPadA));
    g_Script.buttons = 0;
    app->UpdateInput();
    EXPECT_TRUE(app->IsReleased(Buttons::DPadA));

    EXPECT_EQ(app->ExpandButtonNames("Press '#{DPadA}' or #{Start}."), "Press 'A' or #{Start}.");
    app->Exit();
}

TEST(System, FixedStepClock) {
    System::UseFixedClock(16, 500);
    EXPECT_TRUE(System::IsFixedClock());
    System::FrameTick();
    System::FrameTick();
    System::SleepMilliseconds(8);
    EXPECT_EQ(System::GetTicks(), 540u);
    System::UseRealClock();
    EXPECT_FALSE(System::IsFixedClock());
}
