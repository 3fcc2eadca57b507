// The desktop device reading real SDL events, pushed into the queue of SDL's dummy video driver.
#include <gtest/gtest.h>

#include <SDL/SDL.h>

#include <cstdlib>
#include <initializer_list>
#include <string>
#include <utility>

#include "Input/InputDesktop.h"
#include "Support/TestUtil.h"

using namespace Meridian;

namespace {

void Push(Uint8 type, SDLKey key = SDLK_UNKNOWN, Uint16 unicode = 0) {
    SDL_Event event;
    SDL_memset(&event, 0, sizeof(event));
    event.type = type;
    if (type == SDL_ACTIVEEVENT) {
        event.active.state = SDL_APPINPUTFOCUS;  // gain 0: the focus is lost
    } else {
        event.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
        event.key.keysym.sym = key;
        event.key.keysym.unicode = unicode;
    }
    ASSERT_EQ(SDL_PushEvent(&event), 0);
}
void Tap(SDLKey key, Uint16 unicode) {
    Push(SDL_KEYDOWN, key, unicode);
    Push(SDL_KEYUP, key);
}

// The keys typed this frame, appended to keys.
std::string Keys(InputDesktop& input, std::vector<U8> keys = {}) {
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
    // Presses and releases keys, then runs one frame and gives its buttons.
    U32 Frame(std::initializer_list<SDLKey> down = {}, std::initializer_list<SDLKey> up = {}) {
        for (SDLKey key : down) Push(SDL_KEYDOWN, key);
        for (SDLKey key : up) Push(SDL_KEYUP, key);
        m_Input->Update();
        return m_Input->GetButtons();
    }

    ::Test::LogCapture m_Log;
    Ref<InputDesktop> m_Input;
};

}  // namespace

TEST_F(InputDesktopVideo, KeysHoldReleaseTapsFocusAndQuit) {
    EXPECT_EQ(m_Input->GetStickCount(), 0);  // no gamepad on this machine
    EXPECT_EQ(Frame({SDLK_LEFT}), U32(Buttons::DPadLeft));
    EXPECT_EQ(Frame(), U32(Buttons::DPadLeft));  // still held
    EXPECT_EQ(Frame({}, {SDLK_LEFT}), 0u);
    // Two-lane skips: an arrow with Left Ctrl / Left Alt in the same frame.
    EXPECT_EQ(Frame({SDLK_LEFT, SDLK_LCTRL}), U32(Buttons::DPadLeft | Buttons::DPadA));
    EXPECT_EQ(Frame({SDLK_RIGHT, SDLK_LALT}, {SDLK_LEFT, SDLK_LCTRL}), U32(Buttons::DPadRight | Buttons::DPadB));
    EXPECT_EQ(Frame({}, {SDLK_RIGHT, SDLK_LALT}), 0u);
    // A key pressed and released between two updates still counts once.
    Tap(SDLK_ESCAPE, 27);
    EXPECT_EQ(Frame(), U32(Buttons::System));
    EXPECT_EQ(Frame(), 0u);
    // Second keys of a button; name characters are no buttons.
    const std::pair<SDLKey, U32> singles[] = {{SDLK_KP_ENTER, Buttons::Start}, {SDLK_KP_MINUS, Buttons::VolumeDown},
                                              {SDLK_a, 0}, {SDLK_SPACE, 0}};
    for (const auto& single : singles) {
        EXPECT_EQ(Frame({single.first}), single.second) << single.first;
        EXPECT_EQ(Frame({}, {single.first}), 0u) << single.first;
    }
    // Screenshot chord (Up held, Left Shift pressed); losing the focus
    // releases what was held.
    EXPECT_EQ(Frame({SDLK_UP, SDLK_LSHIFT}), U32(Buttons::DPadUp | Buttons::DPadY));
    Push(SDL_ACTIVEEVENT);
    EXPECT_EQ(Frame(), 0u);
    // Closing the window asks to quit, until the program ends.
    EXPECT_EQ(m_Input->WantsQuit(), 0);
    Push(SDL_QUIT);
    EXPECT_EQ(Frame(), 0u);
    m_Input->Update();
    EXPECT_EQ(m_Input->WantsQuit(), 1);
}

TEST_F(InputDesktopVideo, TypedTextAndEditingKeys) {
    // Keypad plus and Tab are buttons and type nothing; 0xE9 is no ASCII.
    const std::pair<SDLKey, Uint16> typed[] = {{SDLK_b, 'B'},          {SDLK_o, 'o'},       {SDLK_SPACE, ' '},
                                               {SDLK_7, '7'},          {SDLK_KP_PLUS, '+'}, {SDLK_TAB, '\t'},
                                               {SDLK_BACKSPACE, 8},    {SDLK_DELETE, 127},  {SDLK_RETURN, 13},
                                               {SDLK_e, 0xE9}};
    for (const auto& key : typed) Tap(key.first, key.second);
    EXPECT_EQ(Frame(), U32(Buttons::VolumeUp | Buttons::DPadX | Buttons::Start));
    EXPECT_EQ(Keys(*m_Input), std::string("Bo 7\b\b\r"));
    m_Input->Update();
    EXPECT_EQ(Keys(*m_Input), "");  // reported for one frame only

    Tap(SDLK_x, 'X');
    m_Input->Update();
    EXPECT_EQ(Keys(*m_Input, {'Q'}), "QX");  // appended to what the caller has
}

// The player's bindings: a key takes a button over from its default keys and
// leaves its old button; unknown names change nothing.
TEST_F(InputDesktopVideo, BoundKeysReplaceTheDefaults) {
    EXPECT_TRUE(m_Input->BindKey(Buttons::DPadA, "SPACE"));
    EXPECT_TRUE(m_Input->BindKey(Buttons::Start, "left alt"));
    EXPECT_FALSE(m_Input->BindKey(Buttons::DPadX, "no such key"));
    EXPECT_FALSE(m_Input->BindKey(Buttons::DPadX, "unknown key"));
    EXPECT_EQ(m_Log.Count("[W] InputDesktop::BindKey: "), 2);
    const std::pair<SDLKey, U32> keys[] = {{SDLK_SPACE, Buttons::DPadA}, {SDLK_LCTRL, 0},
                                           {SDLK_LALT, Buttons::Start},  {SDLK_RETURN, 0},
                                           {SDLK_TAB, Buttons::DPadX},   {SDLK_LEFT, Buttons::DPadLeft}};
    for (const auto& key : keys) {
        EXPECT_EQ(Frame({key.first}), key.second) << key.first;
        EXPECT_EQ(Frame({}, {key.first}), 0u) << key.first;
    }
    EXPECT_STREQ(m_Input->GetButtonName(Buttons::DPadA), "Space");
    EXPECT_STREQ(m_Input->GetButtonName(Buttons::Start), "Left Alt");
    EXPECT_STREQ(m_Input->GetButtonName(Buttons::DPadB), "none");  // its only key moved to Start
    EXPECT_STREQ(m_Input->GetButtonName(Buttons::DPadX), "Tab");
}

// Without a running video subsystem: the key map's rules and a device that works but sees no keys.
TEST(InputDesktop, KeyMapKeepsNameCharactersFreeAndWorksWithoutVideo) {
    I32 count = 0;
    const InputDesktop::KeyBinding* map = InputDesktop::GetKeyMap(count);
    U32 covered = 0;
    for (I32 i = 0; i < count; ++i) {
        const I32 key = map[i].m_Key;
        EXPECT_FALSE((key >= SDLK_a && key <= SDLK_z) || (key >= SDLK_0 && key <= SDLK_9) || key == SDLK_SPACE ||
                     (key >= SDLK_KP0 && key <= SDLK_KP9))
            << key;
        // Shift types capitals: it must never end name entry.
        if (key == SDLK_LSHIFT || key == SDLK_RSHIFT) {
            EXPECT_EQ(map[i].m_Button & (Buttons::DPadB | Buttons::Start | Buttons::System), 0u);
        }
        covered |= map[i].m_Button;
    }
    EXPECT_EQ(covered, (1u << ButtonCount) - 1);  // every button has a key

    ASSERT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
    ::Test::LogCapture log;
    Ref<InputDesktop> input = New<InputDesktop>();
    for (I32 bit = 0; bit < ButtonCount; ++bit) EXPECT_STRNE(input->GetButtonName(1u << bit), "") << bit;
    EXPECT_STREQ(input->GetButtonName(3), "");
    EXPECT_TRUE(input->Init());
    input->Update();
    EXPECT_EQ(input->GetButtons(), 0u);
    EXPECT_EQ(Keys(*input), "");
    Fixed x, y;
    EXPECT_EQ(input->GetStick(0, x, y), 0);
    input->Exit();
    EXPECT_TRUE(log.Contains("[I] InputDesktop::Init: SDL video is not running, no keyboard.")) << log.Text();
}
