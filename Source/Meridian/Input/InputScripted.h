// A scripted input device for tests and unattended runs: replays button
// masks and typed text at given frames or times, from code or from a file.
//
// Depends on: System::GetTicks (so the fixed-step clock drives it) and the
// log. Frames count Update calls since Init: the first Update is frame 0.
// Times are milliseconds since Init. Each Update fires, in the order they
// were added, every entry whose frame or time has been reached and not fired
// yet. A buttons entry sets the mask reported from then on (the last one
// fired in a frame wins); a keys entry reports its bytes for that one frame;
// a quit entry makes WantsQuit answer 1 from then on. The Update that fires
// the last entry logs one info line ("the script has run out"). Labels are
// the generic button names. No pointer, no stick.
//
// Script file: one entry per line; blank lines and lines starting with '#'
// are ignored.
//
//     frame 10 buttons DPadLeft|DPadA     names from Input::GetGenericButtonName
//     frame 11 buttons none               or a number: 0, 48, 0x30
//     time 1500 keys AB\sC\n              text to the end of the line
//     time 30000 quit
//     haskeys 0                           HasKeys answers 0 (d-pad name entry)
//
// Escapes in keys: \s blank, \b Backspace (8), \n Enter (13), \\ backslash.
// A line that does not parse logs one error line naming file and line, and
// the load fails without changing the device.
#pragma once

#include <string>
#include <vector>

#include "Input/Input.h"

namespace Meridian {

class InputScripted : public Input {
    MERIDIAN_CLASS(InputScripted, Input)

    InputScripted();

    // Entries; mask holds button bits only (an assertion guards the rest).
    void AddFrame(U32 frame, U32 buttons);
    void AddTime(U32 milliseconds, U32 buttons);
    void AddFrameKeys(U32 frame, const std::string& keys);
    void AddKeys(U32 milliseconds, const std::string& keys);
    void AddQuit(U32 milliseconds);
    void SetHasKeys(bool hasKeys) { m_HasKeys = hasKeys; }

    // Appends the entries of a script file; false (one log line) on failure.
    bool LoadScript(const char* path);
    // The same for script text; origin names the source in the error line.
    bool ParseScript(const std::string& text, const std::string& origin);

    bool Init() override;
    void Update() override;
    void Exit() override {}
    U32 GetButtons() override { return m_Buttons; }
    const char* GetButtonName(U32 button) override { return Input::GetGenericButtonName(button); }
    I32 HasKeys() override { return m_HasKeys ? 1 : 0; }
    void GetKeys(std::vector<U8>& keys) override;
    I32 WantsQuit() override { return m_Quit ? 1 : 0; }

    // Update calls since Init, and whether every entry has fired.
    U32 GetFrame() const { return m_Frame; }
    bool IsFinished() const;

private:
    enum Action { SetButtons, TypeKeys, Quit };
    struct Entry {
        bool m_ByTime;
        U32 m_At;
        Action m_Action;
        U32 m_Buttons;
        std::string m_Keys;
        bool m_Fired;
    };

    void Add(const Entry& entry);

    std::vector<Entry> m_Entries;
    U32 m_Frame;
    bool m_Started;
    U32 m_StartTicks;
    U32 m_Buttons;
    std::vector<U8> m_Keys;
    bool m_HasKeys;
    bool m_Quit;
};

// A new scripted device holding the entries of scriptPath (count 0), or null
// after one log line when the script cannot be read or parsed.
Input* CreateInputScripted(const char* scriptPath);

}  // namespace Meridian
