// Pure control mappings shared by the joystick-based input devices: an
// analogue stick cut into four d-pad directions by dead zones, the stick's
// normalised deflection, the handheld's joystick-button and label tables, and
// a touch-screen sample turned into a pointer position.
//
// Depends on: Math/Fixed.h only; no hardware, so every rule here is testable.
// Units: axis values are SDL's raw -32768..32767; dead zones are those raw
// units held as Fixed integers (-2048.0 means raw -2048).
#pragma once

#include "Math/Fixed.h"

namespace Meridian {

// Thresholds of one stick in raw axis units: left and up are negative,
// right and down positive. A direction is on only strictly beyond its value.
struct DeadZone {
    Fixed m_Left;
    Fixed m_Right;
    Fixed m_Up;
    Fixed m_Down;
};

DeadZone DefaultDeadZone();  // -2048, 2048, -2048, 2048

// Set and read the dead zones of stick 0 (the only stick with them): Store
// logs the new values and returns false for any other stick, Read returns 0.
bool StoreDeadZone(I32 stick, DeadZone& zone, Fixed left, Fixed right, Fixed up, Fixed down);
I32 ReadDeadZone(I32 stick, const DeadZone& zone, Fixed& left, Fixed& right, Fixed& up, Fixed& down);

// DPadLeft/DPadRight from axisX and DPadUp/DPadDown from axisY.
U32 StickToDPad(I32 axisX, I32 axisY, const DeadZone& zone);

// Deflection beyond the dead zone scaled to -1..1 (x right, y up): 0 at a
// threshold, -1.0 / +1.0 at full deflection. Intermediate values are computed
// in 64 bits and clamped, so a badly configured zone cannot wrap around.
void NormaliseStick(I32 axisX, I32 axisY, const DeadZone& zone, Fixed& x, Fixed& y);

// Logical button of one SDL joystick button on the handheld (0 when unused):
// 0 A, 2 B, 1 X, 3 Y, 4 LeftTrigger, 5 RightTrigger, 9 Start, 8 Select,
// 6 System.
U32 HandheldButtonBit(I32 joystickButton);
const I32 HandheldJoystickButtons = 10;

// The handheld's printed label of a button bit ("A", "Help I", ...); the
// empty text for VolumeUp, VolumeDown and any other value.
const char* HandheldButtonLabel(U32 button);

// Touch-screen size in samples.
const I32 TouchWidth = 320;
const I32 TouchHeight = 240;

// A sample (0..320, 0..240, y down) as a centred, y-up position clamped to
// [-1, 1]: (0, 0) gives (-1, +1), (320, 240) gives (+1, -1).
void TouchToPointer(I32 sampleX, I32 sampleY, Fixed& x, Fixed& y);

}  // namespace Meridian
