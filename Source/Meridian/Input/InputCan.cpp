#include "Input/InputCan.h"

#include <SDL/SDL.h>
#include <tslib.h>

#include "Core/Log.h"

namespace Meridian {

InputCan::InputCan(const char* touchDevice)
    : m_Joystick(nullptr), m_TouchScreen(nullptr), m_DeadZone(DefaultDeadZone()), m_TouchDevice(touchDevice) {}

InputCan::~InputCan() {
    // The application calls Exit first; this only catches a device dropped
    // without it, so no handle outlives the object.
    if (m_TouchScreen) ts_close(m_TouchScreen);
    if (m_Joystick) SDL_JoystickClose(m_Joystick);
    LogI() << "~InputCan";
}

bool InputCan::Init() {
    LogD() << "Opening " << m_TouchDevice << " for touchscreen.";
    m_TouchScreen = ts_open(m_TouchDevice.c_str(), 1);
    if (m_TouchScreen && ts_config(m_TouchScreen) == 0) LogI() << "TouchScreen ready.";

    LogD() << "Opening Joystick(0)";
    m_Joystick = SDL_JoystickOpen(0);
    if (!m_Joystick) {
        LogE() << "SDL_JoystickOpen failed, ERR=" << SDL_GetError();
        return false;
    }
    LogI() << "Joystick(0) ready.";
    return true;
}

// SDL 1.2 crashes in SDL_JoystickUpdate while its joystick subsystem is down.
void InputCan::Update() {
    if (m_Joystick) SDL_JoystickUpdate();
}

void InputCan::Exit() {
    if (m_TouchScreen) {
        LogD() << "Closing TouchScreenDevice.";
        ts_close(m_TouchScreen);
        m_TouchScreen = nullptr;
    }
    if (m_Joystick) {
        LogD() << "Closing Joystick.";
        SDL_JoystickClose(m_Joystick);
        m_Joystick = nullptr;
    }
    LogI() << "InputCan::Exit";
}

U32 InputCan::GetButtons() {
    if (!m_Joystick) return 0;
    U32 buttons = StickToDPad(SDL_JoystickGetAxis(m_Joystick, 0), SDL_JoystickGetAxis(m_Joystick, 1), m_DeadZone);
    const I32 count = SDL_JoystickNumButtons(m_Joystick);
    for (I32 index = 0; index < count && index < HandheldJoystickButtons; ++index)
        if (SDL_JoystickGetButton(m_Joystick, index)) buttons |= HandheldButtonBit(index);
    return buttons;
}

I32 InputCan::HasPointer() { return m_TouchScreen ? 1 : 0; }

I32 InputCan::GetPointer(Fixed& x, Fixed& y) {
    if (!m_TouchScreen) return 0;
    ts_sample sample;
    if (ts_read(m_TouchScreen, &sample, 1) != 1) return 0;
    TouchToPointer(sample.x, sample.y, x, y);
    return 1;
}

const char* InputCan::GetButtonName(U32 button) { return HandheldButtonLabel(button); }

void InputCan::SetDeadZone(I32 stick, Fixed left, Fixed right, Fixed up, Fixed down) {
    StoreDeadZone(stick, m_DeadZone, left, right, up, down);
}

I32 InputCan::GetDeadZone(I32 stick, Fixed& left, Fixed& right, Fixed& up, Fixed& down) {
    return ReadDeadZone(stick, m_DeadZone, left, right, up, down);
}

I32 InputCan::GetStick(I32 stick, Fixed& x, Fixed& y) {
    if (stick != 0 || !m_Joystick) return 0;
    NormaliseStick(SDL_JoystickGetAxis(m_Joystick, 0), SDL_JoystickGetAxis(m_Joystick, 1), m_DeadZone, x, y);
    return 1;
}

Input* CreateInputCan() { return New<InputCan>(); }

}  // namespace Meridian
