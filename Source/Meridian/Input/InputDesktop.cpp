#include "Input/InputDesktop.h"

#include <SDL/SDL.h>

#include <algorithm>

#include "Core/Log.h"

namespace Meridian {

namespace {

const InputDesktop::KeyBinding KeyMap[] = {
    {SDLK_LEFT, Buttons::DPadLeft},        {SDLK_RIGHT, Buttons::DPadRight},
    {SDLK_UP, Buttons::DPadUp},            {SDLK_DOWN, Buttons::DPadDown},
    {SDLK_LCTRL, Buttons::DPadA},          {SDLK_LALT, Buttons::DPadB},
    {SDLK_TAB, Buttons::DPadX},            {SDLK_LSHIFT, Buttons::DPadY},
    {SDLK_F1, Buttons::LeftTrigger},       {SDLK_F2, Buttons::RightTrigger},
    {SDLK_RETURN, Buttons::Start},         {SDLK_KP_ENTER, Buttons::Start},
    {SDLK_F3, Buttons::Select},            {SDLK_ESCAPE, Buttons::System},
    {SDLK_PAGEUP, Buttons::VolumeUp},      {SDLK_KP_PLUS, Buttons::VolumeUp},
    {SDLK_PAGEDOWN, Buttons::VolumeDown},  {SDLK_KP_MINUS, Buttons::VolumeDown},
};
const I32 KeyMapCount = static_cast<I32>(sizeof(KeyMap) / sizeof(KeyMap[0]));

// Labels of each button's main key, in bit order.
const char* const KeyLabels[ButtonCount] = {
    "Left", "Right", "Up", "Down", "Left Ctrl", "Left Alt", "Tab", "Left Shift",
    "F1",   "F2",    "Enter", "F3", "Escape",  "Page Up",  "Page Down",
};

const U8 KeyBackspace = 8;
const U8 KeyEnter = 13;

I32 FindBinding(I32 key) {
    for (I32 i = 0; i < KeyMapCount; ++i)
        if (KeyMap[i].m_Key == key) return i;
    return -1;
}

}  // namespace

InputDesktop::InputDesktop() : m_Joystick(nullptr), m_DeadZone(DefaultDeadZone()), m_Tapped(0), m_Quit(false) {
    static_assert(KeyMapCount <= MaxBindings, "key map larger than the key state table");
    std::fill(m_KeyDown, m_KeyDown + MaxBindings, 0);
}

InputDesktop::~InputDesktop() {
    if (m_Joystick) SDL_JoystickClose(m_Joystick);
}

const InputDesktop::KeyBinding* InputDesktop::GetKeyMap(I32& count) {
    count = KeyMapCount;
    return KeyMap;
}

void InputDesktop::FindDevices() {
    // SDL 1.2 has no hot-plug event and counts joysticks only when its
    // joystick subsystem starts: start it again while none is open.
    if (m_Joystick) return;
    SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0 || SDL_NumJoysticks() == 0) return;
    m_Joystick = SDL_JoystickOpen(0);
    if (!m_Joystick) return;
    SDL_JoystickEventState(SDL_IGNORE);
    LogI() << "InputDesktop::FindDevices: gamepad \"" << SDL_JoystickName(0) << "\" ready.";
}

bool InputDesktop::Init() {
    LogD() << "InputDesktop::Init";
    std::fill(m_KeyDown, m_KeyDown + MaxBindings, 0);
    m_Tapped = 0;
    m_Typed.clear();
    m_Quit = false;
    if (!SDL_WasInit(SDL_INIT_VIDEO)) LogI() << "InputDesktop::Init: SDL video is not running, no keyboard.";
    if (SDL_WasInit(SDL_INIT_JOYSTICK) && SDL_NumJoysticks() > 0) {
        m_Joystick = SDL_JoystickOpen(0);
        if (m_Joystick) {
            // Polled in Update; joystick events would only fill the queue.
            SDL_JoystickEventState(SDL_IGNORE);
            LogI() << "InputDesktop::Init: gamepad \"" << SDL_JoystickName(0) << "\" ready.";
        } else {
            LogW() << "InputDesktop::Init: gamepad not usable, keyboard only: " << SDL_GetError();
        }
    } else {
        LogI() << "InputDesktop::Init: no gamepad, keyboard only.";
    }
    return true;
}

void InputDesktop::Update() {
    m_Tapped = 0;
    m_Typed.clear();
    if (SDL_WasInit(SDL_INIT_VIDEO)) {
        // Cheap, and survives a video restart that resets the translation.
        SDL_EnableUNICODE(1);
        SDL_Event event;
        while (SDL_PollEvent(&event)) {
            switch (event.type) {
                case SDL_KEYDOWN:
                    // F11 and Alt+Enter are the window's, not the game's.
                    if (event.key.keysym.sym == SDLK_F11 ||
                        ((event.key.keysym.sym == SDLK_RETURN || event.key.keysym.sym == SDLK_KP_ENTER) &&
                         (event.key.keysym.mod & KMOD_ALT))) {
                        m_FullscreenToggle = true;
                        break;
                    }
                    HandleKey(event.key.keysym.sym, true, event.key.keysym.unicode);
                    break;
                case SDL_KEYUP:
                    HandleKey(event.key.keysym.sym, false, 0);
                    break;
                case SDL_QUIT:
                    m_Quit = true;
                    break;
                case SDL_VIDEORESIZE:
                    m_ResizeWidth = event.resize.w;
                    m_ResizeHeight = event.resize.h;
                    break;
                case SDL_ACTIVEEVENT:
                    // Key releases while another window has the focus never
                    // arrive: forget every held key.
                    if ((event.active.state & SDL_APPINPUTFOCUS) && !event.active.gain)
                        std::fill(m_KeyDown, m_KeyDown + MaxBindings, 0);
                    if (event.active.state & (SDL_APPINPUTFOCUS | SDL_APPACTIVE)) m_Focus = event.active.gain != 0;
                    break;
                default:
                    break;
            }
        }
    }
    if (m_Joystick) SDL_JoystickUpdate();
}

bool InputDesktop::TakeFullscreenToggle() {
    const bool toggle = m_FullscreenToggle;
    m_FullscreenToggle = false;
    return toggle;
}

bool InputDesktop::TakeWindowResize(I32& width, I32& height) {
    if (m_ResizeWidth <= 0 || m_ResizeHeight <= 0) return false;
    width = m_ResizeWidth;
    height = m_ResizeHeight;
    m_ResizeWidth = m_ResizeHeight = 0;
    return true;
}

void InputDesktop::HandleKey(I32 key, bool down, U32 unicode) {
    const I32 binding = FindBinding(key);
    if (binding >= 0) {
        m_KeyDown[binding] = down ? 1 : 0;
        if (down) m_Tapped |= KeyMap[binding].m_Button;
    }
    if (!down) return;
    if (key == SDLK_BACKSPACE || key == SDLK_DELETE)
        m_Typed.push_back(KeyBackspace);
    else if (key == SDLK_RETURN || key == SDLK_KP_ENTER)
        m_Typed.push_back(KeyEnter);
    else if (binding < 0 && unicode >= 32 && unicode < 127)
        m_Typed.push_back(static_cast<U8>(unicode));
}

void InputDesktop::Exit() {
    if (m_Joystick) {
        SDL_JoystickClose(m_Joystick);
        m_Joystick = nullptr;
    }
    LogI() << "InputDesktop::Exit";
}

U32 InputDesktop::GamepadButtons() {
    U32 buttons = StickToDPad(SDL_JoystickGetAxis(m_Joystick, 0), SDL_JoystickGetAxis(m_Joystick, 1), m_DeadZone);
    if (SDL_JoystickNumHats(m_Joystick) > 0) {
        const Uint8 hat = SDL_JoystickGetHat(m_Joystick, 0);
        if (hat & SDL_HAT_LEFT) buttons |= Buttons::DPadLeft;
        if (hat & SDL_HAT_RIGHT) buttons |= Buttons::DPadRight;
        if (hat & SDL_HAT_UP) buttons |= Buttons::DPadUp;
        if (hat & SDL_HAT_DOWN) buttons |= Buttons::DPadDown;
    }
    const I32 count = SDL_JoystickNumButtons(m_Joystick);
    for (I32 index = 0; index < count && index < HandheldJoystickButtons; ++index)
        if (SDL_JoystickGetButton(m_Joystick, index)) buttons |= HandheldButtonBit(index);
    // Most desktop pads put their Start button at 7, which the handheld
    // leaves unused.
    if (count > 7 && SDL_JoystickGetButton(m_Joystick, 7)) buttons |= Buttons::Start;
    return buttons;
}

U32 InputDesktop::GetButtons() {
    U32 buttons = m_Tapped;
    for (I32 i = 0; i < KeyMapCount; ++i)
        if (m_KeyDown[i]) buttons |= KeyMap[i].m_Button;
    if (m_Joystick) buttons |= GamepadButtons();
    return buttons;
}

const char* InputDesktop::GetButtonName(U32 button) {
    for (I32 bit = 0; bit < ButtonCount; ++bit)
        if (button == (1u << bit)) return KeyLabels[bit];
    return "";
}

void InputDesktop::GetKeys(std::vector<U8>& keys) { keys.insert(keys.end(), m_Typed.begin(), m_Typed.end()); }

void InputDesktop::SetDeadZone(I32 stick, Fixed left, Fixed right, Fixed up, Fixed down) {
    StoreDeadZone(stick, m_DeadZone, left, right, up, down);
}

I32 InputDesktop::GetDeadZone(I32 stick, Fixed& left, Fixed& right, Fixed& up, Fixed& down) {
    return ReadDeadZone(stick, m_DeadZone, left, right, up, down);
}

I32 InputDesktop::GetStick(I32 stick, Fixed& x, Fixed& y) {
    if (stick != 0 || !m_Joystick) return 0;
    NormaliseStick(SDL_JoystickGetAxis(m_Joystick, 0), SDL_JoystickGetAxis(m_Joystick, 1), m_DeadZone, x, y);
    return 1;
}

Input* CreateInputDesktop() { return New<InputDesktop>(); }

}  // namespace Meridian
