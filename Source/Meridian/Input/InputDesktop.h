// The desktop input device: keyboard through SDL 1.2 events plus, when one is
// plugged in at Init, SDL joystick 0 as a gamepad mapped like the handheld.
//
// Depends on: SDL 1.2 (only in InputDesktop.cpp). Keyboard events exist only
// while SDL video is up (the render device's window starts it); without it
// the device still works but sees no keys. This device must be the only
// reader of SDL's event queue. No gamepad is fine; no pointer.
//
// Key map (button: keys; gamepad):
//
//     DPadLeft/Right/Up/Down  arrow keys         stick (dead zones), hat 0
//     DPadA                   Left Ctrl          button 0
//     DPadB                   Left Alt           button 2
//     DPadX                   Tab                button 1
//     DPadY                   Left Shift         button 3
//     LeftTrigger             F1 (help)          button 4
//     RightTrigger            F2 (frame rate)    button 5
//     Start                   Enter, keypad Enter  button 9, button 7
//     Select                  F3                 button 8
//     System                  Escape             button 6
//     VolumeUp                Page Up, keypad +  -
//     VolumeDown              Page Down, keypad -  -
//
// BindKey replaces a button's keys with another key (the player's settings);
// a letter or digit put on a button no longer types in name entry.
//
// Two hands: the right hand changes lanes with Left/Right, the left hand with
// Left Ctrl (left) and Left Alt (right); Left + Left Ctrl skips two lanes
// left, Right + Left Alt two lanes right. Screenshot: hold Up, press Left
// Shift. No button key types a name character (letters, digits, blank), and
// no key that is a button reports text, except Enter, which is Start and
// also the text key 13. Shift is never DPadB, Start or System, so typing a
// capital letter cannot end name entry.
//
// Text keys (HasKeys 1): GetKeys reports the printable ASCII bytes typed this
// frame in order (as SDL's unicode translation gives them: the letter case
// the player typed), 8 for Backspace and Delete, 13 for Enter.
//
// Closing the window (SDL_QUIT) sets WantsQuit; it is not turned into a
// button, so the game ends at once from any screen.
//
// Buttons are the keys held at Update plus any key pressed since the
// previous Update (a tap shorter than a frame still shows for one frame).
// Losing the keyboard focus releases every held key.
#pragma once

#include <string>
#include <vector>

#include "Input/Input.h"
#include "Input/InputMapping.h"

struct _SDL_Joystick;

namespace Meridian {

class InputDesktop : public Input {
    MERIDIAN_CLASS(InputDesktop, Input)

    struct KeyBinding {
        I32 m_Key;  // SDL 1.2 key symbol (SDLKey)
        U32 m_Button;
    };

    InputDesktop();
    ~InputDesktop() override;

    bool Init() override;
    void Update() override;
    void Exit() override;
    U32 GetButtons() override;
    // The name of the button's main key ("Left", "Enter", "Left Ctrl"...).
    const char* GetButtonName(U32 button) override;
    I32 HasKeys() override { return 1; }
    void GetKeys(std::vector<U8>& keys) override;
    I32 GetStickCount() override { return m_Joystick ? 1 : 0; }
    void SetDeadZone(I32 stick, Fixed left, Fixed right, Fixed up, Fixed down) override;
    I32 GetDeadZone(I32 stick, Fixed& left, Fixed& right, Fixed& up, Fixed& down) override;
    I32 GetStick(I32 stick, Fixed& x, Fixed& y) override;
    I32 WantsQuit() override { return m_Quit ? 1 : 0; }
    bool HasFocus() override { return m_Focus; }
    bool TakeFullscreenToggle() override;
    bool TakeWindowResize(I32& width, I32& height) override;
    void FindDevices() override;
    bool BindKey(U32 button, const char* keyName) override;

    bool HasGamepad() const { return m_Joystick != nullptr; }

    // The key map above, before any BindKey; count entries.
    static const KeyBinding* GetKeyMap(I32& count);

private:
    void HandleKey(I32 key, bool down, U32 unicode);
    I32 FindBinding(I32 key) const;  // index into m_Map, -1 for none
    U32 GamepadButtons();

    _SDL_Joystick* m_Joystick;
    DeadZone m_DeadZone;
    std::vector<KeyBinding> m_Map;
    std::vector<U8> m_KeyDown;     // per m_Map entry
    std::string m_Labels[ButtonCount];  // rebound buttons' key names; empty: the default
    U32 m_Tapped;
    std::vector<U8> m_Typed;
    bool m_Quit;
    bool m_Focus = true;  // the window has the keyboard focus and is not minimised
    bool m_FullscreenToggle = false;
    I32 m_ResizeWidth = 0, m_ResizeHeight = 0;  // 0: no resize since the last Take
};

// A new, uninitialised desktop device (count 0).
Input* CreateInputDesktop();

}  // namespace Meridian
