// The scripted device: entries from code and from files, frame and time triggers on the fixed-step clock,
// and clean failures on bad scripts.
#include <gtest/gtest.h>

#include "Core/System.h"
#include "Input/InputScripted.h"
#include "Support/TestUtil.h"

using namespace Meridian;

namespace {

std::string Keys(Input& input) {
    std::vector<U8> keys;
    input.GetKeys(keys);
    return std::string(keys.begin(), keys.end());
}

class FixedClock : public testing::Test {
protected:
    void SetUp() override { System::UseFixedClock(0, 1000); }
    void TearDown() override { System::UseRealClock(); }
};

}  // namespace

TEST_F(FixedClock, ScriptsFromCodeAndFromFilesReplayAlike) {
    Ref<InputScripted> coded = New<InputScripted>();
    coded->AddFrame(2, Buttons::DPadLeft | Buttons::DPadA);
    coded->AddFrame(3, 0);
    coded->AddTime(500, Buttons::Start);
    coded->AddKeys(500, "AB");
    coded->AddFrameKeys(1, "\b");
    coded->AddFrameKeys(4, "AB C\b\r\\ x");
    coded->AddTime(700, Buttons::System);
    coded->AddQuit(800);
    coded->SetHasKeys(false);

    ::Test::TempDir dir;
    ASSERT_TRUE(::Test::WriteText(dir.File("run.txt"),
                                  "# a race and a name\r\n"
                                  "\n"
                                  "   # indented comment\n"
                                  "frame 2 buttons DPadLeft|DPadA\n"
                                  "frame 3 buttons none\n"
                                  "time 500 buttons 0x400\n"
                                  "time 500 keys AB\n"
                                  "frame 1 keys \\b\n"
                                  "frame 4 keys  AB\\sC\\b\\n\\\\ x\n"
                                  "time 700 buttons 4096\n"
                                  "time 800 quit\n"
                                  "haskeys 0\n"));
    Ref<Input> loaded = CreateInputScripted(dir.File("run.txt").c_str());
    ASSERT_NE(loaded.Get(), nullptr);

    for (Input* input : {static_cast<Input*>(coded.Get()), loaded.Get()}) {
        System::UseFixedClock(0, 1000);
        ASSERT_TRUE(input->Init());
        EXPECT_EQ(input->HasKeys(), 0);
        std::vector<U32> buttons;
        std::vector<std::string> keys;
        for (int frame = 0; frame < 6; ++frame) {
            input->Update();
            buttons.push_back(input->GetButtons());
            keys.push_back(Keys(*input));
            System::AdvanceClock(100);
        }
        EXPECT_EQ(buttons, (std::vector<U32>{0, 0, Buttons::DPadLeft | Buttons::DPadA, 0, 0, Buttons::Start}));
        EXPECT_EQ(keys, (std::vector<std::string>{"", "\b", "", "", "AB C\b\r\\ x", "AB"}));
        System::AdvanceClock(100);  // 700 ms since Init
        input->Update();
        EXPECT_EQ(input->GetButtons(), U32(Buttons::System));
        EXPECT_EQ(input->WantsQuit(), 0);
        System::AdvanceClock(100);
        input->Update();
        EXPECT_EQ(input->WantsQuit(), 1);
        EXPECT_EQ(input->GetButtons(), U32(Buttons::System));  // the mask holds until changed
    }
    EXPECT_EQ(coded->GetFrame(), 8u);
    EXPECT_TRUE(coded->IsFinished());

    // Init replays the script from the start.
    ASSERT_TRUE(coded->Init());
    EXPECT_EQ(coded->WantsQuit(), 0);
    EXPECT_EQ(coded->GetButtons(), 0u);
    EXPECT_FALSE(coded->IsFinished());
}

TEST(InputScripted, BadScriptsFailWithOneLineAndChangeNothing) {
    const char* const bad[] = {
        "frame x buttons DPadA",      "frame -1 buttons DPadA",   "frame 1 buttons DPadQ",
        "frame 1 buttons 0x8000",     "frame 1 buttons",          "frame 1 buttons DPadA DPadB",
        "frame 1 press DPadA",        "frame 1",                  "tick 1 buttons DPadA",
        "time 5 keys",                "time 5 keys A\\q",         "time 5 keys A\\",
        "time 5 quit now",            "haskeys 2",                "frame 99999999999 buttons none",
        "frame 1 buttons DPadA||DPadB",
    };
    for (const char* line : bad) {
        ::Test::LogCapture log;
        Ref<InputScripted> input = New<InputScripted>();
        input->AddFrame(0, Buttons::DPadUp);
        EXPECT_FALSE(input->ParseScript(std::string("frame 0 buttons DPadDown\n") + line + "\n", "bad.txt")) << line;
        const std::vector<std::string> lines = log.Entries();
        ASSERT_EQ(lines.size(), 1u) << line;
        EXPECT_EQ(lines[0].rfind("[E] InputScripted::LoadScript: bad.txt:2: ", 0), 0u) << lines[0];
        // The good first line was not added either.
        input->Init();
        input->Update();
        EXPECT_EQ(input->GetButtons(), U32(Buttons::DPadUp)) << line;
        EXPECT_EQ(input->HasKeys(), 1);
    }

    ::Test::LogCapture log;
    EXPECT_EQ(CreateInputScripted("/nonexistent/script.txt"), nullptr);
    EXPECT_EQ(log.Count("[E] InputScripted::LoadScript: cannot open \"/nonexistent/script.txt\"."), 1);
}
