#include "Front/InputAutopilot.h"

#include <algorithm>

#include "Front/MainApp.h"
#include "Front/States.h"

using namespace Meridian;

InputAutopilot::InputAutopilot(Input* wrapped, const std::string& song, bool quitAfterRace)
    : m_Wrapped(wrapped),
      m_Song(song),
      m_QuitAfterRace(quitAfterRace),
      m_Buttons(0),
      m_Own(0),
      m_Searched(0),
      m_LastState(-1),
      m_RefusalsSeen(0),
      m_GaveUp(false) {}

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
    if (m_Wrapped && m_Wrapped->HasKeys()) m_Wrapped->GetKeys(keys);
}

void InputAutopilot::Update() {
    if (m_Wrapped) m_Wrapped->Update();
    const U32 previous = m_Own;
    MainApp* app = MainApp::Get();
    m_Own = 0;
    if (app) {
        if (app->GetState() != m_LastState) {
            m_LastState = app->GetState();
            m_Searched = 0;
        }
        if (app->GetSongsRefused() != m_RefusalsSeen) {
            m_RefusalsSeen = app->GetSongsRefused();
            const std::string& song = app->GetRefusedSong();
            m_Refused.push_back(song.substr(song.rfind('/') + 1));
        }
        m_Own = app->GetState() == States::Play ? m_Pilot.Buttons(*app, app->GetRace(), previous) : Menus();
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
            if (m_QuitAfterRace && (app->GetRacesFinished() > 0 || m_GaveUp || !m_Refused.empty()))
                return Buttons::System;
            return m_GaveUp ? 0u : U32(Buttons::Start);
        case States::SelSong: {
            FileBrowser* browser = app->GetBrowser();
            if (!browser || waited < Fixed::FromRaw(32768)) return 0;
            const FileBrowser::Entry* entry = browser->GetCurrentEntry();
            const U32 count = browser->GetEntryCount();
            // Twice round the list for the named song, twice more for any other.
            if (!entry || m_Searched > 4 * count) {
                m_GaveUp = true;
                return Buttons::System;
            }
            const bool refused = std::find(m_Refused.begin(), m_Refused.end(), entry->m_Name) != m_Refused.end();
            const bool wanted = !entry->m_IsFolder && !refused &&
                                (m_Song.empty() || entry->m_Name == m_Song || m_Searched > 2 * count);
            if (wanted) return Buttons::Start;
            ++m_Searched;
            return Buttons::DPadDown;
        }
        case States::Hiscore:
            return waited >= Fixed::FromRaw(98304) ? U32(Buttons::Start) : 0u;  // 1.5 s to read the table
        default:
            return 0;
    }
}
