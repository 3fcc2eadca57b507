// The scripted device: entries from code and from script files, frame and
// time triggers on the fixed-step clock, and clean failures on bad scripts.
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

TEST_F(FixedClock, FramesTimesKeysAndQuitFromCode) {
    Ref<InputScripted> input = New<InputScripted>();
    input->AddFrame(2, Buttons::DPadLeft | Buttons::DPadA);
    input->AddFrame(3, 0);
    input->AddTime(500, Buttons::Start);
    input->AddKeys(500, "AB");
    input->AddFrameKeys(1, "\b");
    input->AddQuit(800);
    ASSERT_TRUE(input->Init());
    EXPECT_EQ(input->HasKeys(), 1);
    EXPECT_STREQ(input->GetButtonName(Buttons::DPadA), "DPadA");

    std::vector<U32> buttons;
    std::vector<std::string> keys;
    for (int frame = 0; frame < 6; ++frame) {
        input->Update();
        buttons.push_back(input->GetButtons());
        keys.push_back(Keys(*input));
        System::AdvanceClock(100);
    }
    EXPECT_EQ(buttons, (std::vector<U32>{0, 0, Buttons::DPadLeft | Buttons::DPadA, 0, 0, Buttons::Start}));
    EXPECT_EQ(keys, (std::vector<std::string>{"", "\b", "", "", "", "AB"}));
    EXPECT_EQ(input->GetFrame(), 6u);
    EXPECT_FALSE(input->IsFinished());
    EXPECT_EQ(input->WantsQuit(), 0);
    System::AdvanceClock(200);  // 800 ms since Init
    input->Update();
    EXPECT_EQ(input->WantsQuit(), 1);
    EXPECT_EQ(input->GetButtons(), U32(Buttons::Start));  // the mask holds until changed
    EXPECT_TRUE(input->IsFinished());

    // Init replays the script from the start.
    ASSERT_TRUE(input->Init());
    EXPECT_EQ(input->WantsQuit(), 0);
    EXPECT_EQ(input->GetButtons(), 0u);
    EXPECT_FALSE(input->IsFinished());
}

TEST_F(FixedClock, ScriptFileFormat) {
    ::Test::TempDir dir;
    const std::string path = dir.File("run.txt");
    ASSERT_TRUE(::Test::WriteText(path,
                                  "# a race and a name\r\n"
                                  "\n"
                                  "   # indented comment\n"
                                  "frame 1 buttons DPadRight|DPadB\n"
                                  "frame 2 buttons 0x400\n"
                                  "frame 3 buttons none\n"
                                  "frame 4 keys  AB\\sC\\b\\n\\\\ x\n"
                                  "time 2000 buttons 4096\n"
                                  "time 2500 quit\n"
                                  "haskeys 0\n"));
    Ref<Input> input = CreateInputScripted(path.c_str());
    ASSERT_NE(input.Get(), nullptr);
    ASSERT_TRUE(input->Init());
    EXPECT_EQ(input->HasKeys(), 0);
    std::vector<U32> buttons;
    std::string typed;
    for (int frame = 0; frame < 5; ++frame) {
        input->Update();
        buttons.push_back(input->GetButtons());
        typed += Keys(*input);
    }
    EXPECT_EQ(buttons, (std::vector<U32>{0, Buttons::DPadRight | Buttons::DPadB, Buttons::Start, 0, 0}));
    EXPECT_EQ(typed, "AB C\b\r\\ x");
    System::AdvanceClock(2000);
    input->Update();
    EXPECT_EQ(input->GetButtons(), U32(Buttons::System));
    EXPECT_EQ(input->WantsQuit(), 0);
    System::AdvanceClock(500);
    input->Update();
    EXPECT_EQ(input->WantsQuit(), 1);
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
        const std::string text = std::string("frame 0 buttons DPadDown\n") + line + "\n";
        EXPECT_FALSE(input->ParseScript(text, "bad.txt")) << line;
        const std::vector<std::string> lines = log.Lines();
        ASSERT_EQ(lines.size(), 2u) << line;
        EXPECT_EQ(lines[1].rfind("[E] InputScripted::LoadScript: bad.txt:2: ", 0), 0u) << lines[1];
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
