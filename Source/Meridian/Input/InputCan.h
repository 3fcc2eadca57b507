// The handheld's input device: the analogue stick of SDL joystick 0 cut into
// four d-pad directions by adjustable dead zones, its face, shoulder and menu
// buttons, and the touch screen read through tslib.
//
// Depends on: SDL 1.2 joystick (SDL_INIT_JOYSTICK must be up, System::Init
// does it) and tslib, both only in InputCan.cpp; the pure mappings live in
// InputMapping.h. Init succeeds only when joystick 0 opens; a missing touch
// screen just leaves HasPointer at 0. No text keys, one stick.
#pragma once

#include <string>

#include "Input/Input.h"
#include "Input/InputMapping.h"

struct _SDL_Joystick;
struct tsdev;

namespace Meridian {

class InputCan : public Input {
    MERIDIAN_CLASS(InputCan, Input)

    // touchDevice: the touch screen's event device ("/dev/input/event0").
    explicit InputCan(const char* touchDevice = "/dev/input/event0");
    ~InputCan() override;

    bool Init() override;
    void Update() override;
    void Exit() override;
    U32 GetButtons() override;
    I32 HasPointer() override;
    I32 GetPointer(Fixed& x, Fixed& y) override;
    const char* GetButtonName(U32 button) override;
    I32 GetStickCount() override { return 1; }
    void SetDeadZone(I32 stick, Fixed left, Fixed right, Fixed up, Fixed down) override;
    I32 GetDeadZone(I32 stick, Fixed& left, Fixed& right, Fixed& up, Fixed& down) override;
    I32 GetStick(I32 stick, Fixed& x, Fixed& y) override;

private:
    _SDL_Joystick* m_Joystick;
    tsdev* m_TouchScreen;
    DeadZone m_DeadZone;
    std::string m_TouchDevice;
};

// A new, uninitialised handheld device (count 0).
Input* CreateInputCan();

}  // namespace Meridian
