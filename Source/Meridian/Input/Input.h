// Input device: the player's controls as one bit mask of logical buttons per
// frame, optional analogue sticks, an optional pointer and optional text keys.
//
// The application calls Init once, then per frame Update, GetButtons and, when
// offered, GetKeys and GetPointer; Exit at shutdown. Defaults here are the
// neutral answers of a device without that feature.
#pragma once

#include <string>
#include <vector>

#include "Math/Fixed.h"
#include "Memory/Object.h"

namespace Meridian {

// Logical button bits as the application keeps them per frame.
namespace Buttons {
enum : U32 {
    DPadLeft = 1,
    DPadRight = 2,
    DPadUp = 4,
    DPadDown = 8,
    DPadA = 16,
    DPadB = 32,
    DPadX = 64,
    DPadY = 128,
    LeftTrigger = 256,
    RightTrigger = 512,
    Start = 1024,
    Select = 2048,
    System = 4096,
    VolumeUp = 8192,
    VolumeDown = 16384,
};
}  // namespace Buttons

const I32 ButtonCount = 15;

class Input : public Object {
    MERIDIAN_TAGGED_CLASS(Input, Object, Tags::Input)

    virtual bool Init() = 0;
    virtual void Update() = 0;
    virtual void Exit() = 0;
    virtual U32 GetButtons() = 0;
    virtual I32 HasPointer() { return 0; }
    // Writes a position in [-1, 1] (x right, y up) and returns 1 when the
    // device delivered a sample this frame; otherwise leaves x, y alone.
    virtual I32 GetPointer(Fixed& x, Fixed& y) {
        (void)x, (void)y;
        return 0;
    }
    // The device's printable label for one button bit ("" when it has none).
    virtual const char* GetButtonName(U32 button) {
        (void)button;
        return "";
    }
    virtual I32 HasKeys() { return 0; }
    // Appends the text keys reported this frame (bytes, in report order).
    virtual void GetKeys(std::vector<U8>& keys) { (void)keys; }
    virtual I32 GetStickCount() { return 0; }
    // Dead zones of one stick: left, right, up, down in raw axis units.
    virtual void SetDeadZone(I32 stick, Fixed left, Fixed right, Fixed up, Fixed down) {
        (void)stick, (void)left, (void)right, (void)up, (void)down;
    }
    virtual I32 GetDeadZone(I32 stick, Fixed& left, Fixed& right, Fixed& up, Fixed& down) {
        (void)stick, (void)left, (void)right, (void)up, (void)down;
        return 0;
    }
    // Normalised deflection in [-1, 1]; y positive when pushed up.
    virtual I32 GetStick(I32 stick, Fixed& x, Fixed& y) {
        (void)stick, (void)x, (void)y;
        return 0;
    }

    // Non-zero once the player asked the program to end outside the button
    // protocol (the desktop window was closed, a script finished). The
    // application treats it like its own quit request.
    virtual I32 WantsQuit() { return 0; }

    // False while the program's window has lost the keyboard focus or is
    // minimised (a game pauses then); devices without a window always have it.
    virtual bool HasFocus() { return true; }

    // What the player asked of the window since the last call (a desktop
    // keyboard and window only; other devices never ask): F11 or Alt+Enter
    // switches between window and fullscreen; dragging the window's edge
    // gives its new size in pixels (the last of several).
    virtual bool TakeFullscreenToggle() { return false; }
    virtual bool TakeWindowResize(I32& width, I32& height) {
        (void)width;
        (void)height;
        return false;
    }

    // Puts a keyboard key, named as SDL names keys in any case ("space",
    // "left ctrl", "a"), on one button bit in place of that button's default
    // keys; the key leaves any button it had. Call after Init. False for a
    // name no key has (with one warning) and on devices without a keyboard.
    virtual bool BindKey(U32 button, const char* keyName) {
        (void)button, (void)keyName;
        return false;
    }

    // Looks again for devices plugged in since Init (a gamepad); does nothing
    // when the device has all it can use. Called when the player reaches a
    // menu, not every frame (it may scan the system's devices).
    virtual void FindDevices() {}

    // "DPadLeft" ... "VolumeDown"; "" for any other value.
    static const char* GetGenericButtonName(U32 button);
    // The button bit of a generic name; 0 for any other text.
    static U32 FindGenericButton(const std::string& name);
};

}  // namespace Meridian
