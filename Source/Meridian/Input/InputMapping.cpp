#include "Input/InputMapping.h"

#include "Core/Log.h"

#include "Input/Input.h"

namespace Meridian {

namespace {

const I64 OneRaw = 65536;

Fixed AxisToFixed(I32 axis) { return Fixed::FromInt(axis); }

// (numerator / denominator) in Fixed, from raw values in 64 bits, clamped to
// [-1, 1]. A zero denominator only arises when the threshold sits at the end
// of the axis, where no value lies beyond it; it yields 0.
Fixed Ratio(I64 numerator, I64 denominator) {
    if (denominator == 0) return Fixed::Zero;
    I64 q = numerator * OneRaw / denominator;
    if (q > OneRaw) q = OneRaw;
    if (q < -OneRaw) q = -OneRaw;
    return Fixed::FromRaw(static_cast<I32>(q));
}

const I64 AxisMinRaw = -32768LL * OneRaw;
const I64 AxisMaxRaw = 32767LL * OneRaw;

}  // namespace

DeadZone DefaultDeadZone() {
    return DeadZone{Fixed::FromInt(-2048), Fixed::FromInt(2048), Fixed::FromInt(-2048), Fixed::FromInt(2048)};
}

U32 StickToDPad(I32 axisX, I32 axisY, const DeadZone& zone) {
    U32 buttons = 0;
    const Fixed x = AxisToFixed(axisX);
    const Fixed y = AxisToFixed(axisY);
    if (x < zone.m_Left)
        buttons |= Buttons::DPadLeft;
    else if (x > zone.m_Right)
        buttons |= Buttons::DPadRight;
    if (y < zone.m_Up)
        buttons |= Buttons::DPadUp;
    else if (y > zone.m_Down)
        buttons |= Buttons::DPadDown;
    return buttons;
}

void NormaliseStick(I32 axisX, I32 axisY, const DeadZone& zone, Fixed& x, Fixed& y) {
    x = Fixed::Zero;
    y = Fixed::Zero;
    const I64 ax = static_cast<I64>(axisX) * OneRaw;
    const I64 ay = static_cast<I64>(axisY) * OneRaw;
    const I64 left = zone.m_Left.Raw(), right = zone.m_Right.Raw();
    const I64 up = zone.m_Up.Raw(), down = zone.m_Down.Raw();
    if (ax < left)
        x = Ratio(left - ax, AxisMinRaw - left);
    else if (ax > right)
        x = Ratio(ax - right, AxisMaxRaw - right);
    if (ay < up)
        y = Ratio(ay - up, AxisMinRaw - up);
    else if (ay > down)
        y = Ratio(down - ay, AxisMaxRaw - down);
}

U32 HandheldButtonBit(I32 joystickButton) {
    switch (joystickButton) {
        case 0: return Buttons::DPadA;
        case 1: return Buttons::DPadX;
        case 2: return Buttons::DPadB;
        case 3: return Buttons::DPadY;
        case 4: return Buttons::LeftTrigger;
        case 5: return Buttons::RightTrigger;
        case 6: return Buttons::System;
        case 8: return Buttons::Select;
        case 9: return Buttons::Start;
        default: return 0;
    }
}

const char* HandheldButtonLabel(U32 button) {
    static const char* const labels[ButtonCount] = {
        "Joystick Left", "Joystick Right", "Joystick Up", "Joystick Down", "A", "B", "X", "Y",
        "Left Trigger",  "Right Trigger",  "Help I",      "Help II",       "Home", "", "",
    };
    for (I32 bit = 0; bit < ButtonCount; ++bit)
        if (button == (1u << bit)) return labels[bit];
    return "";
}

void TouchToPointer(I32 sampleX, I32 sampleY, Fixed& x, Fixed& y) {
    const float fx = 2.0f * static_cast<float>(sampleX) / static_cast<float>(TouchWidth) - 1.0f;
    const float fy = -(2.0f * static_cast<float>(sampleY) / static_cast<float>(TouchHeight) - 1.0f);
    const Fixed minusOne = -Fixed::One;
    x = Fixed::FromFloat(fx);
    y = Fixed::FromFloat(fy);
    if (x < minusOne) x = minusOne;
    if (x > Fixed::One) x = Fixed::One;
    if (y < minusOne) y = minusOne;
    if (y > Fixed::One) y = Fixed::One;
}

bool StoreDeadZone(I32 stick, DeadZone& zone, Fixed left, Fixed right, Fixed up, Fixed down) {
    if (stick != 0) return false;
    zone = DeadZone{left, right, up, down};
    LogD() << "DeadZone(" << 0 << ") (" << left.ToFloat() << "," << right.ToFloat() << "," << up.ToFloat() << ","
           << down.ToFloat() << ")";
    return true;
}

I32 ReadDeadZone(I32 stick, const DeadZone& zone, Fixed& left, Fixed& right, Fixed& up, Fixed& down) {
    if (stick != 0) return 0;
    left = zone.m_Left;
    right = zone.m_Right;
    up = zone.m_Up;
    down = zone.m_Down;
    return 1;
}

}  // namespace Meridian
