#include "Input/InputDesktop.h"

#include <SDL/SDL.h>

#include <algorithm>
#include <cctype>
#include <cstring>

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

bool SameName(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
    return *a == *b;
}

// SDL's name of a key with each word capitalised ("Left Alt").
std::string KeyLabel(I32 key) {
    std::string label = SDL_GetKeyName(static_cast<SDLKey>(key));
    for (size_t i = 0; i < label.size(); ++i)
        if (i == 0 || label[i - 1] == ' ')
            label[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(label[i])));
    return label;
}

}  // namespace

InputDesktop::InputDesktop()
    : m_Joystick(nullptr),
      m_DeadZone(DefaultDeadZone()),
      m_Map(KeyMap, KeyMap + KeyMapCount),
      m_KeyDown(KeyMapCount, 0),
      m_Tapped(0),
      m_Quit(false) {}

I32 InputDesktop::FindBinding(I32 key) const {
    for (size_t i = 0; i < m_Map.size(); ++i)
        if (m_Map[i].m_Key == key) return static_cast<I32>(i);
    return -1;
}

bool InputDesktop::BindKey(U32 button, const char* keyName) {
    I32 bit = 0;
    while (bit < ButtonCount && button != (1u << bit)) ++bit;
    if (bit == ButtonCount || !keyName) return false;
    // SDL 1.2 fills its key names when video starts.
    I32 key = SDLK_FIRST;
    if (SDL_WasInit(SDL_INIT_VIDEO))
        while (key < SDLK_LAST && !SameName(SDL_GetKeyName(static_cast<SDLKey>(key)), keyName)) ++key;
    if (!SDL_WasInit(SDL_INIT_VIDEO) || key >= SDLK_LAST || SameName(keyName, "unknown key")) {
        LogW() << "InputDesktop::BindKey: no key is called \"" << keyName << "\"; " << GetGenericButtonName(button)
               << " keeps its keys.";
        return false;
    }
    // The button's own keys and the key's old button give way.
    U32 robbed = 0;
    for (size_t i = m_Map.size(); i-- > 0;) {
        if (m_Map[i].m_Button != button && m_Map[i].m_Key != key) continue;
        if (m_Map[i].m_Button != button) robbed |= m_Map[i].m_Button;
        m_Map.erase(m_Map.begin() + static_cast<long>(i));
    }
    m_Map.push_back({key, button});
    m_KeyDown.assign(m_Map.size(), 0);
    m_Labels[bit] = KeyLabel(key);
    // A button that lost its key is named after a key it kept, or "none".
    for (I32 other = 0; other < ButtonCount; ++other) {
        if (!(robbed & (1u << other))) continue;
        m_Labels[other] = "none";
        for (const KeyBinding& binding : m_Map)
            if (binding.m_Button == (1u << other)) {
                m_Labels[other] = KeyLabel(binding.m_Key);
                break;
            }
    }
    return true;
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
    std::fill(m_KeyDown.begin(), m_KeyDown.end(), 0);
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
                        std::fill(m_KeyDown.begin(), m_KeyDown.end(), 0);
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
        if (down) m_Tapped |= m_Map[binding].m_Button;
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
    for (size_t i = 0; i < m_Map.size(); ++i)
        if (m_KeyDown[i]) buttons |= m_Map[i].m_Button;
    if (m_Joystick) buttons |= GamepadButtons();
    return buttons;
}

const char* InputDesktop::GetButtonName(U32 button) {
    for (I32 bit = 0; bit < ButtonCount; ++bit)
        if (button == (1u << bit)) return m_Labels[bit].empty() ? KeyLabels[bit] : m_Labels[bit].c_str();
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
