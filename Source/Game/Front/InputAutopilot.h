// The autopilot as an input device: it plays the game by pressing buttons,
// as a player would. In the race it steers with the lane pilot; around the
// race it walks the menus: title -> song browser -> the chosen song ->
// analysis -> race -> high scores (its races enter no name) -> title, and
// then either quits (a headless run) or starts over (demo mode).
//
// A song the game refuses is not picked again: a headless run quits at the
// next visit of the title, demo mode goes on with another song and waits at
// the title once none is left (as when the browser lists no song at all).
//
// The buttons of a wrapped device (the keyboard in a window, or none) are
// added, so a player can still quit a demo.
#pragma once

#include <string>

#include "Input/Input.h"
#include "Race/Autopilot.h"

class InputAutopilot : public Meridian::Input {
    MERIDIAN_CLASS(InputAutopilot, Meridian::Input)

    // song: the file name to pick in the browser (empty: the first song);
    // quitAfterRace: leave the game once a race has reached the high scores.
    InputAutopilot(Meridian::Input* wrapped, const std::string& song, bool quitAfterRace);

    bool Init() override;
    void Update() override;
    void Exit() override;
    Meridian::U32 GetButtons() override { return m_Buttons; }
    Meridian::I32 HasKeys() override { return m_Wrapped ? m_Wrapped->HasKeys() : 0; }
    void GetKeys(std::vector<Meridian::U8>& keys) override;
    const char* GetButtonName(Meridian::U32 button) override;
    Meridian::I32 WantsQuit() override { return m_Wrapped && m_Wrapped->WantsQuit(); }
    bool HasFocus() override { return !m_Wrapped || m_Wrapped->HasFocus(); }
    bool TakeFullscreenToggle() override { return m_Wrapped && m_Wrapped->TakeFullscreenToggle(); }
    bool BindKey(Meridian::U32 button, const char* keyName) override {
        return m_Wrapped && m_Wrapped->BindKey(button, keyName);
    }
    bool TakeWindowResize(Meridian::I32& width, Meridian::I32& height) override {
        return m_Wrapped && m_Wrapped->TakeWindowResize(width, height);
    }
    void FindDevices() override {
        if (m_Wrapped) m_Wrapped->FindDevices();
    }

private:
    Meridian::U32 Menus();

    Meridian::Ref<Meridian::Input> m_Wrapped;
    std::string m_Song;
    bool m_QuitAfterRace;
    LanePilot m_Pilot;
    Meridian::U32 m_Buttons;
    Meridian::U32 m_Own;  // what the autopilot itself held last frame
    Meridian::U32 m_Searched;
    Meridian::I32 m_LastState;
    Meridian::I32 m_RefusalsSeen;
    std::vector<std::string> m_Refused;  // file names not to pick again
    bool m_GaveUp;                       // no song left to pick
};
