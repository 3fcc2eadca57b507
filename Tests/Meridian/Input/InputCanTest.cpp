// The handheld's control rules (dead zones, stick scale, touch, labels) and
// the device's behaviour on a machine without its hardware.
#include <gtest/gtest.h>

#include "Core/App.h"
#include "Input/InputCan.h"
#include "Input/InputDesktop.h"
#include "Input/InputMapping.h"
#include "Support/TestUtil.h"

using namespace Meridian;

namespace {

Fixed F(I32 value) { return Fixed::FromInt(value); }

}  // namespace

TEST(InputMapping, DeadZonesAreStrictPerDirection) {
    const DeadZone zone = DefaultDeadZone();
    EXPECT_EQ(StickToDPad(0, 0, zone), 0u);
    EXPECT_EQ(StickToDPad(-2048, 0, zone), 0u);
    EXPECT_EQ(StickToDPad(-2049, 0, zone), U32(Buttons::DPadLeft));
    EXPECT_EQ(StickToDPad(2048, 0, zone), 0u);
    EXPECT_EQ(StickToDPad(2049, 0, zone), U32(Buttons::DPadRight));
    EXPECT_EQ(StickToDPad(0, -2048, zone), 0u);
    EXPECT_EQ(StickToDPad(0, -2049, zone), U32(Buttons::DPadUp));
    EXPECT_EQ(StickToDPad(0, 2048, zone), 0u);
    EXPECT_EQ(StickToDPad(0, 2049, zone), U32(Buttons::DPadDown));
    EXPECT_EQ(StickToDPad(-32768, 32767, zone), U32(Buttons::DPadLeft | Buttons::DPadDown));
    EXPECT_EQ(StickToDPad(32767, -32768, zone), U32(Buttons::DPadRight | Buttons::DPadUp));

    // Each threshold is read on its own.
    const DeadZone wide{F(-10000), F(500), F(-300), F(20000)};
    EXPECT_EQ(StickToDPad(-9999, 0, wide), 0u);
    EXPECT_EQ(StickToDPad(-10001, 0, wide), U32(Buttons::DPadLeft));
    EXPECT_EQ(StickToDPad(501, 0, wide), U32(Buttons::DPadRight));
    EXPECT_EQ(StickToDPad(0, -301, wide), U32(Buttons::DPadUp));
    EXPECT_EQ(StickToDPad(0, 19999, wide), 0u);
}

TEST(InputMapping, StickScaleRunsFromThresholdToFullDeflection) {
    const DeadZone zone = DefaultDeadZone();
    Fixed x, y;
    NormaliseStick(-32768, -32768, zone, x, y);
    EXPECT_NEAR(x.Raw(), -65536, 1);
    EXPECT_NEAR(y.Raw(), 65536, 1);  // pushed up is positive
    NormaliseStick(32767, 32767, zone, x, y);
    EXPECT_NEAR(x.Raw(), 65536, 1);
    EXPECT_NEAR(y.Raw(), -65536, 1);
    NormaliseStick(-2048, 2048, zone, x, y);
    EXPECT_EQ(x, Fixed::Zero);
    EXPECT_EQ(y, Fixed::Zero);
    NormaliseStick(2048, -2048, zone, x, y);
    EXPECT_EQ(x, Fixed::Zero);
    EXPECT_EQ(y, Fixed::Zero);

    // Half way between threshold and end.
    NormaliseStick(-(2048 + 15360), 2048 + 15359, zone, x, y);
    EXPECT_NEAR(x.ToFloat(), -0.5f, 1e-4f);
    EXPECT_NEAR(y.ToFloat(), -0.5f, 1e-4f);

    // A zone beyond the axis range must not wrap into the wrong sign.
    const DeadZone odd{F(20000), F(32767), F(-32768), F(-20000)};
    NormaliseStick(-32768, 0, odd, x, y);
    EXPECT_GE(x.Raw(), -65536);
    EXPECT_LE(x.Raw(), 0);
    EXPECT_GE(y.Raw(), -65536);
    EXPECT_LE(y.Raw(), 0);
    NormaliseStick(32767, -32768, odd, x, y);
    EXPECT_EQ(x, Fixed::Zero);  // nothing lies beyond the end of the axis
    EXPECT_EQ(y, Fixed::Zero);
}

TEST(InputMapping, TouchCornersCentreAndClamping) {
    Fixed x, y;
    TouchToPointer(0, 0, x, y);
    EXPECT_EQ(x, -Fixed::One);
    EXPECT_EQ(y, Fixed::One);
    TouchToPointer(320, 240, x, y);
    EXPECT_EQ(x, Fixed::One);
    EXPECT_EQ(y, -Fixed::One);
    TouchToPointer(160, 120, x, y);
    EXPECT_EQ(x, Fixed::Zero);
    EXPECT_EQ(y, Fixed::Zero);
    TouchToPointer(80, 60, x, y);
    EXPECT_NEAR(x.ToFloat(), -0.5f, 1e-4f);
    EXPECT_NEAR(y.ToFloat(), 0.5f, 1e-4f);
    TouchToPointer(1000, -500, x, y);
    EXPECT_EQ(x, Fixed::One);
    EXPECT_EQ(y, Fixed::One);
    TouchToPointer(-1000, 5000, x, y);
    EXPECT_EQ(x, -Fixed::One);
    EXPECT_EQ(y, -Fixed::One);
}

TEST(InputMapping, HandheldButtonsAndLabels) {
    const U32 expected[HandheldJoystickButtons] = {
        Buttons::DPadA, Buttons::DPadX,  Buttons::DPadB, Buttons::DPadY,  Buttons::LeftTrigger,
        Buttons::RightTrigger, Buttons::System, 0,       Buttons::Select, Buttons::Start,
    };
    for (I32 index = 0; index < HandheldJoystickButtons; ++index)
        EXPECT_EQ(HandheldButtonBit(index), expected[index]) << index;
    EXPECT_EQ(HandheldButtonBit(-1), 0u);
    EXPECT_EQ(HandheldButtonBit(10), 0u);

    EXPECT_STREQ(HandheldButtonLabel(Buttons::DPadLeft), "Joystick Left");
    EXPECT_STREQ(HandheldButtonLabel(Buttons::DPadDown), "Joystick Down");
    EXPECT_STREQ(HandheldButtonLabel(Buttons::DPadY), "Y");
    EXPECT_STREQ(HandheldButtonLabel(Buttons::RightTrigger), "Right Trigger");
    EXPECT_STREQ(HandheldButtonLabel(Buttons::Select), "Help II");
    EXPECT_STREQ(HandheldButtonLabel(Buttons::VolumeUp), "");
    EXPECT_STREQ(HandheldButtonLabel(Buttons::VolumeDown), "");
    EXPECT_STREQ(HandheldButtonLabel(3), "");
    EXPECT_STREQ(HandheldButtonLabel(0), "");
}

TEST(InputCan, WithoutJoystickInitFailsWithItsLogLines) {
    ::Test::LogCapture log;
    {
        Ref<InputCan> input = New<InputCan>("/nonexistent/event0");
        EXPECT_FALSE(input->Init());
        EXPECT_EQ(input->HasPointer(), 0);
        EXPECT_EQ(input->HasKeys(), 0);
        EXPECT_EQ(input->GetStickCount(), 1);
        input->Update();
        EXPECT_EQ(input->GetButtons(), 0u);
        Fixed x = Fixed::One, y = Fixed::One;
        EXPECT_EQ(input->GetPointer(x, y), 0);
        EXPECT_EQ(x, Fixed::One);
        EXPECT_EQ(input->GetStick(0, x, y), 0);

        input->SetDeadZone(0, F(-4096), F(4096), F(-1024), F(1024));
        input->SetDeadZone(1, F(-1), F(1), F(-1), F(1));  // only stick 0 exists
        Fixed l, r, u, d;
        EXPECT_EQ(input->GetDeadZone(0, l, r, u, d), 1);
        EXPECT_EQ(l, F(-4096));
        EXPECT_EQ(r, F(4096));
        EXPECT_EQ(u, F(-1024));
        EXPECT_EQ(d, F(1024));
        EXPECT_EQ(input->GetDeadZone(1, l, r, u, d), 0);
        input->Exit();
    }
    const std::vector<std::string> lines = log.Lines();
    ASSERT_EQ(lines.size(), 7u) << log.Text();
    EXPECT_EQ(lines[1], "[D] Opening /nonexistent/event0 for touchscreen.");
    EXPECT_EQ(lines[2], "[D] Opening Joystick(0)");
    EXPECT_EQ(lines[3].rfind("[E] SDL_JoystickOpen failed, ERR=", 0), 0u) << lines[3];
    EXPECT_EQ(lines[4], "[D] DeadZone(0) (-4096.000000,4096.000000,-1024.000000,1024.000000)");
    EXPECT_EQ(lines[5], "[I] InputCan::Exit");
    EXPECT_EQ(lines[6], "[I] ~InputCan");

    ::Test::LogCapture second;
    Ref<InputCan> standard = New<InputCan>();
    standard->Init();
    standard->Exit();
    EXPECT_EQ(second.Lines().at(1), "[D] Opening /dev/input/event0 for touchscreen.");
}

namespace {

// An application whose input device is set directly, without App::Init.
class LabelApp : public App {
public:
    void UseInput(Input* input) { m_Input = input; }
};

}  // namespace

TEST(InputCan, LabelsReplaceTokensInHelpTexts) {
    ::Test::LogCapture quiet;
    Ref<LabelApp> app = New<LabelApp>();
    EXPECT_EQ(app->ExpandButtonNames("#{DPadA}"), "#{DPadA}");  // no device: unchanged

    app->UseInput(New<InputCan>("/nonexistent/event0"));
    EXPECT_EQ(app->ExpandButtonNames("#{DPadA}"), "A");
    EXPECT_EQ(app->ExpandButtonNames("#{Start}"), "Help I");
    EXPECT_EQ(app->ExpandButtonNames("#{VolumeUp} #{VolumeDown} #{Nothing} #{DPadA"),
              "#{VolumeUp} #{VolumeDown} #{Nothing} #{DPadA");
    const std::string menu =
        "Press '#{Start}'/'#{DPadB}' to get to the song selection.\nPress '#{System}' to exit the game.";
    EXPECT_EQ(app->ExpandButtonNames(menu),
              "Press 'Help I'/'B' to get to the song selection.\nPress 'Home' to exit the game.");
    EXPECT_EQ(app->ExpandButtonNames("#{DPadLeft}#{DPadLeft}&#{DPadA}"), "Joystick LeftJoystick Left&A");

    app->UseInput(New<InputDesktop>());
    EXPECT_EQ(app->ExpandButtonNames("Move the ship using '#{DPadLeft}/#{DPadRight}' or '#{DPadA}/#{DPadB}'."),
              "Move the ship using 'Left/Right' or 'Left Ctrl/Left Alt'.");
    EXPECT_EQ(app->ExpandButtonNames("'#{Start}' '#{System}' '#{DPadX}' '#{VolumeUp}'"),
              "'Enter' 'Escape' 'Tab' 'Page Up'");
    app->Exit();
}
