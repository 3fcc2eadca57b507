// The handheld's control rules (dead zones, stick scale, touch, labels) and its device without hardware.
#include <gtest/gtest.h>

#include "Core/App.h"
#include "Input/InputCan.h"
#include "Input/InputDesktop.h"
#include "Input/InputMapping.h"
#include "Support/TestUtil.h"

using namespace Meridian;

namespace {

Fixed F(I32 value) { return Fixed::FromInt(value); }

// An application whose input device is set directly, without App::Init.
class LabelApp : public App {
public:
    void UseInput(Input* input) { m_Input = input; }
};

}  // namespace

TEST(InputMapping, DeadZonesStickScaleAndTouch) {
    // Directions are on strictly beyond their own threshold.
    const DeadZone standard = DefaultDeadZone(), wide{F(-10000), F(500), F(-300), F(20000)};
    const U32 left = Buttons::DPadLeft, right = Buttons::DPadRight, up = Buttons::DPadUp, down = Buttons::DPadDown;
    const struct {
        const DeadZone& zone;
        I32 x, y;
        U32 expected;
    } pads[] = {
        {standard, 0, 0, 0},         {standard, -2048, 0, 0},  {standard, -2049, 0, left},
        {standard, 2048, 0, 0},      {standard, 2049, 0, right}, {standard, 0, -2048, 0},
        {standard, 0, -2049, up},    {standard, 0, 2048, 0},   {standard, 0, 2049, down},
        {standard, -32768, 32767, left | down},                {standard, 32767, -32768, right | up},
        {wide, -9999, 0, 0},         {wide, -10001, 0, left},  {wide, 501, 0, right},
        {wide, 0, -301, up},         {wide, 0, 19999, 0},
    };
    for (const auto& c : pads) EXPECT_EQ(c.expected, StickToDPad(c.x, c.y, c.zone)) << c.x << "," << c.y;

    // Zero at the threshold, one at full deflection, y up; a zone beyond the axis must not wrap its sign.
    const DeadZone odd{F(20000), F(32767), F(-32768), F(-20000)};
    const struct {
        const DeadZone& zone;
        I32 axisX, axisY;
        float x, y;
    } sticks[] = {
        {standard, -32768, -32768, -1.0f, 1.0f}, {standard, 32767, 32767, 1.0f, -1.0f},
        {standard, -2048, 2048, 0.0f, 0.0f},
        {standard, -(2048 + 15360), 2048 + 15359, -0.5f, -0.5f},
        {odd, 32767, -32768, 0.0f, 0.0f},  // nothing lies beyond the end of the axis
    };
    Fixed x, y;
    for (const auto& s : sticks) {
        NormaliseStick(s.axisX, s.axisY, s.zone, x, y);
        EXPECT_NEAR(s.x, x.ToFloat(), 1e-4f) << s.axisX;
        EXPECT_NEAR(s.y, y.ToFloat(), 1e-4f) << s.axisY;
    }
    NormaliseStick(-32768, 0, odd, x, y);
    EXPECT_TRUE(x.Raw() >= -65536 && x.Raw() <= 0 && y.Raw() >= -65536 && y.Raw() <= 0) << x.Raw() << " " << y.Raw();

    // Touch samples in half units: corners, centre, clamping off the screen.
    const I32 touches[][4] = {{0, 0, -2, 2},   {320, 240, 2, -2},  {160, 120, 0, 0},
                              {80, 60, -1, 1}, {1000, -500, 2, 2}, {-1000, 5000, -2, -2}};
    for (const auto& t : touches) {
        TouchToPointer(t[0], t[1], x, y);
        EXPECT_NEAR(t[2] * 0.5f, x.ToFloat(), 1e-5f) << t[0];  // exact: within one raw step
        EXPECT_NEAR(t[3] * 0.5f, y.ToFloat(), 1e-5f) << t[1];
    }
}

TEST(InputCan, WithoutJoystickInitFailsWithItsLogLines) {
    EXPECT_EQ(HandheldButtonBit(-1) | HandheldButtonBit(HandheldJoystickButtons), 0u);  // out of range
    ::Test::LogCapture log;
    {
        Ref<InputCan> input = New<InputCan>("/nonexistent/event0");
        EXPECT_FALSE(input->Init());
        input->Update();
        EXPECT_EQ(input->GetButtons(), 0u);
        Fixed x, y;
        EXPECT_EQ(input->GetPointer(x, y), 0);
        EXPECT_EQ(input->GetStick(0, x, y), 0);
        input->SetDeadZone(0, F(-4096), F(4096), F(-1024), F(1024));
        input->SetDeadZone(1, F(-1), F(1), F(-1), F(1));  // only stick 0 exists
        Fixed l, r, u, d;
        EXPECT_EQ(input->GetDeadZone(0, l, r, u, d), 1);
        EXPECT_TRUE(l == F(-4096) && r == F(4096) && u == F(-1024) && d == F(1024));
        EXPECT_EQ(input->GetDeadZone(1, l, r, u, d), 0);
        input->Exit();
    }
    EXPECT_EQ(log.Count("[E] "), 1) << log.Text();
    EXPECT_EQ(log.Count("[E] SDL_JoystickOpen failed, ERR="), 1) << log.Text();
}

TEST(InputCan, LabelsReplaceTokensInHelpTexts) {
    ::Test::LogCapture quiet;
    Ref<LabelApp> app = New<LabelApp>();
    EXPECT_EQ(app->ExpandButtonNames("#{DPadA}"), "#{DPadA}");  // no device: unchanged

    // Unknown names, buttons without a label and open tokens stay as written.
    app->UseInput(New<InputCan>("/nonexistent/event0"));
    EXPECT_EQ(app->ExpandButtonNames("#{VolumeUp} #{VolumeDown} #{Nothing} #{DPadA"),
              "#{VolumeUp} #{VolumeDown} #{Nothing} #{DPadA");
    EXPECT_EQ(app->ExpandButtonNames("Press '#{Start}'/'#{DPadB}'.\n#{System} #{Select} #{RightTrigger}"),
              "Press 'Help I'/'B'.\nHome Help II Right Trigger");
    EXPECT_EQ(app->ExpandButtonNames("#{DPadLeft}#{DPadDown}&#{DPadA}"), "Joystick LeftJoystick Down&A");
    EXPECT_STREQ(HandheldButtonLabel(Buttons::DPadLeft | Buttons::DPadRight), "");

    app->UseInput(New<InputDesktop>());
    EXPECT_EQ(app->ExpandButtonNames("Move the ship using '#{DPadLeft}/#{DPadRight}' or '#{DPadA}/#{DPadB}'."),
              "Move the ship using 'Left/Right' or 'Left Ctrl/Left Alt'.");
    EXPECT_EQ(app->ExpandButtonNames("'#{Start}' '#{System}' '#{DPadX}' '#{VolumeUp}'"),
              "'Enter' 'Escape' 'Tab' 'Page Up'");
    app->Exit();
}
