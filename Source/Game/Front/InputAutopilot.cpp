#include "Front/InputAutopilot.h"

#include "Front/MainApp.h"
#include "Front/States.h"

using namespace Meridian;

namespace {

const char* const PilotName = "AUTOPILOT";

}  // namespace

InputAutopilot::InputAutopilot(Input* wrapped, const std::string& song, bool quitAfterRace)
    : m_Wrapped(wrapped),
      m_Song(song),
      m_QuitAfterRace(quitAfterRace),
      m_Buttons(0),
      m_Own(0),
      m_Frame(0),
      m_Searched(0),
      m_Typed(0),
      m_LastState(-1) {}

bool InputAutopilot::Init() { return !m_Wrapped || m_Wrapped->Init(); }

void InputAutopilot::Exit() {
    if (m_Wrapped) m_Wrapped->Exit();
}

const char* InputAutopilot::GetButtonName(U32 button) {
    // Without a device of its own to name, the buttons go by their generic names.
    const char* label = m_Wrapped ? m_Wrapped->GetButtonName(button) : "";
    return label && *label ? label : Input::GetGenericButtonName(button);
}

void InputAutopilot::GetKeys(std::vector<U8>& keys) {
    keys.insert(keys.end(), m_Keys.begin(), m_Keys.end());
    if (m_Wrapped && m_Wrapped->HasKeys()) m_Wrapped->GetKeys(keys);
}

void InputAutopilot::Update() {
    ++m_Frame;
    m_Keys.clear();
    if (m_Wrapped) m_Wrapped->Update();
    const U32 previous = m_Own;
    MainApp* app = MainApp::Get();
    m_Own = 0;
    if (app) {
        if (app->GetState() != m_LastState) {
            m_LastState = app->GetState();
            m_Searched = 0;
            m_Typed = 0;
        }
        m_Own = app->GetState() == States::Play ? m_Pilot.Buttons(app->GetRace(), previous) : Menus();
        // A button held last frame must be released before it can be pressed again.
        if (app->GetState() != States::Play) m_Own &= ~previous;
    }
    m_Buttons = m_Own | (m_Wrapped ? m_Wrapped->GetButtons() : 0);
}

U32 InputAutopilot::Menus() {
    MainApp* app = MainApp::Get();
    const Fixed waited = app->GetTimeInState();
    switch (app->GetState()) {
        case States::Menu:
            if (waited < Fixed::FromRaw(78643)) return 0;  // 1.2 s: long enough for a picture
            return m_QuitAfterRace && app->GetRacesFinished() > 0 ? U32(Buttons::System) : U32(Buttons::Start);
        case States::SelSong: {
            FileBrowser* browser = app->GetBrowser();
            if (!browser || waited < Fixed::FromRaw(32768)) return 0;
            const FileBrowser::Entry* entry = browser->GetCurrentEntry();
            if (!entry) return Buttons::System;
            const bool wanted = !entry->m_IsFolder && (m_Song.empty() || entry->m_Name == m_Song ||
                                                       m_Searched > 2 * browser->GetEntryCount());
            if (wanted) return Buttons::Start;
            ++m_Searched;
            return Buttons::DPadDown;
        }
        case States::Hiscore: {
            HiscoreTable* table = app->GetHiscoreTable();
            if (!table) return 0;
            if (table->GetEditIndex() >= 0) {
                // One letter every other frame, so repeated letters count twice.
                if (m_Frame % 2 == 0 && PilotName[m_Typed]) m_Keys.push_back(static_cast<U8>(PilotName[m_Typed++]));
                return PilotName[m_Typed] ? 0u : U32(Buttons::Start);
            }
            return waited >= Fixed::FromRaw(98304) ? U32(Buttons::Start) : 0u;  // 1.5 s to read the table
        }
        default:
            return 0;
    }
}
