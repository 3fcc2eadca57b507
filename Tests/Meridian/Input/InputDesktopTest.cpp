// The desktop device reading real SDL events: SDL's dummy video driver gives
// an event queue without a display, and the tests push key events into it.
#include <gtest/gtest.h>

#include <SDL/SDL.h>

#include <cstdlib>
#include <string>

#include "Input/InputDesktop.h"
#include "Support/TestUtil.h"

using namespace Meridian;

namespace {

void PushKey(SDLKey key, bool down, Uint16 unicode = 0) {
    SDL_Event event;
    SDL_memset(&event, 0, sizeof(event));
    event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    event.key.keysym.sym = key;
    event.key.keysym.unicode = unicode;
    ASSERT_EQ(SDL_PushEvent(&event), 0);
}

void Tap(SDLKey key, Uint16 unicode) {
    PushKey(key, true, unicode);
    PushKey(key, false);
}

std::string Keys(InputDesktop& input) {
    std::vector<U8> keys;
    input.GetKeys(keys);
    return std::string(keys.begin(), keys.end());
}

class InputDesktopVideo : public testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
        m_Input = New<InputDesktop>();
        ASSERT_TRUE(m_Input->Init());
    }
    void TearDown() override {
        m_Input->Exit();
        m_Input.Reset();
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
    U32 Frame() {
        m_Input->Update();
        return m_Input->GetButtons();
    }

    ::Test::LogCapture m_Log;
    Ref<InputDesktop> m_Input;
};

}  // namespace

TEST_F(InputDesktopVideo, KeysHoldReleaseAndShortTaps) {
    EXPECT_EQ(m_Input->HasKeys(), 1);
    EXPECT_EQ(m_Input->HasPointer(), 0);
    EXPECT_EQ(m_Input->GetStickCount(), 0);  // no gamepad on this machine
    EXPECT_EQ(Frame(), 0u);

    PushKey(SDLK_LEFT, true);
    EXPECT_EQ(Frame(), U32(Buttons::DPadLeft));
    EXPECT_EQ(Frame(), U32(Buttons::DPadLeft));  // still held
    PushKey(SDLK_LEFT, false);
    EXPECT_EQ(Frame(), 0u);

    // Two-lane skip: arrow and Left Ctrl in the same frame.
    PushKey(SDLK_LEFT, true);
    PushKey(SDLK_LCTRL, true);
    EXPECT_EQ(Frame(), U32(Buttons::DPadLeft | Buttons::DPadA));
    PushKey(SDLK_LEFT, false);
    PushKey(SDLK_LCTRL, false);
    PushKey(SDLK_RIGHT, true);
    PushKey(SDLK_LALT, true);
    EXPECT_EQ(Frame(), U32(Buttons::DPadRight | Buttons::DPadB));
    PushKey(SDLK_RIGHT, false);
    PushKey(SDLK_LALT, false);
    EXPECT_EQ(Frame(), 0u);

    // A key pressed and released between two updates still counts once.
    Tap(SDLK_ESCAPE, 27);
    EXPECT_EQ(Frame(), U32(Buttons::System));
    EXPECT_EQ(Frame(), 0u);

    const struct {
        SDLKey key;
        U32 button;
    } singles[] = {
        {SDLK_UP, Buttons::DPadUp},           {SDLK_DOWN, Buttons::DPadDown},     {SDLK_TAB, Buttons::DPadX},
        {SDLK_LSHIFT, Buttons::DPadY},        {SDLK_F1, Buttons::LeftTrigger},    {SDLK_F2, Buttons::RightTrigger},
        {SDLK_RETURN, Buttons::Start},        {SDLK_KP_ENTER, Buttons::Start},    {SDLK_F3, Buttons::Select},
        {SDLK_PAGEUP, Buttons::VolumeUp},     {SDLK_KP_PLUS, Buttons::VolumeUp},  {SDLK_PAGEDOWN, Buttons::VolumeDown},
        {SDLK_KP_MINUS, Buttons::VolumeDown}, {SDLK_a, 0},                        {SDLK_SPACE, 0},
    };
    for (const auto& single : singles) {
        PushKey(single.key, true);
        EXPECT_EQ(Frame(), single.button) << single.key;
        PushKey(single.key, false);
        EXPECT_EQ(Frame(), 0u) << single.key;
    }

    // Screenshot chord: Up held, Left Shift pressed.
    PushKey(SDLK_UP, true);
    EXPECT_EQ(Frame(), U32(Buttons::DPadUp));
    PushKey(SDLK_LSHIFT, true);
    EXPECT_EQ(Frame(), U32(Buttons::DPadUp | Buttons::DPadY));

    // Losing the focus releases what was held.
    SDL_Event focus;
    SDL_memset(&focus, 0, sizeof(focus));
    focus.type = SDL_ACTIVEEVENT;
    focus.active.gain = 0;
    focus.active.state = SDL_APPINPUTFOCUS;
    ASSERT_EQ(SDL_PushEvent(&focus), 0);
    EXPECT_EQ(Frame(), 0u);
    EXPECT_EQ(m_Input->WantsQuit(), 0);
}

TEST_F(InputDesktopVideo, TypedTextAndEditingKeys) {
    Tap(SDLK_b, 'B');
    Tap(SDLK_o, 'o');
    Tap(SDLK_SPACE, ' ');
    Tap(SDLK_7, '7');
    Tap(SDLK_KP_PLUS, '+');  // a button: no text
    Tap(SDLK_TAB, '\t');
    Tap(SDLK_BACKSPACE, 8);
    Tap(SDLK_DELETE, 127);
    Tap(SDLK_RETURN, 13);
    Tap(SDLK_e, 0xE9);  // not ASCII: dropped
    const U32 buttons = Frame();
    EXPECT_EQ(buttons, U32(Buttons::VolumeUp | Buttons::DPadX | Buttons::Start));
    EXPECT_EQ(Keys(*m_Input), std::string("Bo 7\b\b\r"));
    m_Input->Update();
    EXPECT_EQ(Keys(*m_Input), "");  // reported for one frame only

    // GetKeys appends to what the caller already has.
    Tap(SDLK_x, 'X');
    m_Input->Update();
    std::vector<U8> keys = {'Q'};
    m_Input->GetKeys(keys);
    EXPECT_EQ(std::string(keys.begin(), keys.end()), "QX");
}

TEST_F(InputDesktopVideo, ClosingTheWindowAsksToQuit) {
    SDL_Event quit;
    SDL_memset(&quit, 0, sizeof(quit));
    quit.type = SDL_QUIT;
    ASSERT_EQ(SDL_PushEvent(&quit), 0);
    EXPECT_EQ(Frame(), 0u);
    EXPECT_EQ(m_Input->WantsQuit(), 1);
    m_Input->Update();
    EXPECT_EQ(m_Input->WantsQuit(), 1);  // stays until the program ends
}

TEST(InputDesktop, KeyMapKeepsNameCharactersFree) {
    I32 count = 0;
    const InputDesktop::KeyBinding* map = InputDesktop::GetKeyMap(count);
    ASSERT_GT(count, 0);
    U32 covered = 0;
    for (I32 i = 0; i < count; ++i) {
        const I32 key = map[i].m_Key;
        const bool typesNameCharacter = (key >= SDLK_a && key <= SDLK_z) || (key >= SDLK_0 && key <= SDLK_9) ||
                                        key == SDLK_SPACE || (key >= SDLK_KP0 && key <= SDLK_KP9);
        EXPECT_FALSE(typesNameCharacter) << key;
        // Shift types capitals: it must never end name entry.
        if (key == SDLK_LSHIFT || key == SDLK_RSHIFT) {
            EXPECT_EQ(map[i].m_Button & (Buttons::DPadB | Buttons::Start | Buttons::System), 0u);
        }
        covered |= map[i].m_Button;
    }
    EXPECT_EQ(covered, (1u << ButtonCount) - 1);  // every button has a key

    Ref<InputDesktop> input = New<InputDesktop>();
    for (I32 bit = 0; bit < ButtonCount; ++bit) EXPECT_STRNE(input->GetButtonName(1u << bit), "") << bit;
    EXPECT_STREQ(input->GetButtonName(Buttons::DPadLeft), "Left");
    EXPECT_STREQ(input->GetButtonName(Buttons::Start), "Enter");
    EXPECT_STREQ(input->GetButtonName(Buttons::DPadA), "Left Ctrl");
    EXPECT_STREQ(input->GetButtonName(3), "");
}

TEST(InputDesktop, WorksWithoutVideoButSeesNoKeys) {
    ASSERT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
    ::Test::LogCapture log;
    Ref<InputDesktop> input = New<InputDesktop>();
    EXPECT_TRUE(input->Init());
    EXPECT_TRUE(log.Contains("[I] InputDesktop::Init: SDL video is not running, no keyboard."));
    EXPECT_TRUE(log.Contains("[I] InputDesktop::Init: no gamepad, keyboard only."));
    input->Update();
    EXPECT_EQ(input->GetButtons(), 0u);
    EXPECT_EQ(Keys(*input), "");
    Fixed x, y;
    EXPECT_EQ(input->GetStick(0, x, y), 0);
    input->SetDeadZone(0, Fixed::FromInt(-100), Fixed::FromInt(100), Fixed::FromInt(-100), Fixed::FromInt(100));
    Fixed l, r, u, d;
    EXPECT_EQ(input->GetDeadZone(0, l, r, u, d), 1);
    EXPECT_EQ(r, Fixed::FromInt(100));
    input->Exit();
    EXPECT_TRUE(log.Contains("[I] InputDesktop::Exit"));
}
