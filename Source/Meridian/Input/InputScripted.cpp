#include "Input/InputScripted.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "Core/Assert.h"
#include "Core/Log.h"
#include "Core/System.h"

namespace Meridian {

namespace {

const U32 AllButtons = (1u << ButtonCount) - 1;

bool ParseNumber(const std::string& text, U32& value) {
    if (text.empty() || text[0] == '-' || text[0] == '+') return false;
    errno = 0;
    char* end = nullptr;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const unsigned long long parsed = std::strtoull(text.c_str(), &end, hex ? 16 : 10);
    if (errno != 0 || *end != '\0' || parsed > 0xFFFFFFFFull) return false;
    value = static_cast<U32>(parsed);
    return true;
}

// "none", a number, or generic names joined by '|'.
bool ParseButtons(const std::string& text, U32& mask, std::string& error) {
    if (text == "none") {
        mask = 0;
        return true;
    }
    if (ParseNumber(text, mask)) {
        if (mask & ~AllButtons) {
            error = "button mask " + text + " has bits beyond VolumeDown";
            return false;
        }
        return true;
    }
    mask = 0;
    std::stringstream names(text);
    std::string name;
    while (std::getline(names, name, '|')) {
        const U32 found = Input::FindGenericButton(name);
        if (!found) {
            error = "unknown button \"" + name + "\"";
            return false;
        }
        mask |= found;
    }
    return true;
}

bool ParseKeys(const std::string& text, std::string& keys, std::string& error) {
    keys.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            keys += text[i];
            continue;
        }
        if (++i == text.size()) {
            error = "keys end in a lone backslash";
            return false;
        }
        switch (text[i]) {
            case 's': keys += ' '; break;
            case 'b': keys += '\b'; break;
            case 'n': keys += '\r'; break;
            case '\\': keys += '\\'; break;
            default:
                error = std::string("unknown escape \\") + text[i];
                return false;
        }
    }
    if (keys.empty()) {
        error = "keys without text";
        return false;
    }
    return true;
}

}  // namespace

InputScripted::InputScripted()
    : m_Frame(0), m_Started(false), m_StartTicks(0), m_Buttons(0), m_HasKeys(true), m_Quit(false) {}

void InputScripted::Add(const Entry& entry) { m_Entries.push_back(entry); }

void InputScripted::AddFrame(U32 frame, U32 buttons) {
    MERIDIAN_ASSERT((buttons & ~AllButtons) == 0);
    Add(Entry{false, frame, SetButtons, buttons, std::string(), false});
}

void InputScripted::AddTime(U32 milliseconds, U32 buttons) {
    MERIDIAN_ASSERT((buttons & ~AllButtons) == 0);
    Add(Entry{true, milliseconds, SetButtons, buttons, std::string(), false});
}

void InputScripted::AddFrameKeys(U32 frame, const std::string& keys) {
    Add(Entry{false, frame, TypeKeys, 0, keys, false});
}

void InputScripted::AddKeys(U32 milliseconds, const std::string& keys) {
    Add(Entry{true, milliseconds, TypeKeys, 0, keys, false});
}

void InputScripted::AddQuit(U32 milliseconds) { Add(Entry{true, milliseconds, Quit, 0, std::string(), false}); }

bool InputScripted::LoadScript(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        LogE() << "InputScripted::LoadScript: cannot open \"" << path << "\".";
        return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    return ParseScript(text.str(), path);
}

bool InputScripted::ParseScript(const std::string& text, const std::string& origin) {
    std::vector<Entry> parsed;
    bool hasKeys = m_HasKeys;
    std::istringstream lines(text);
    std::string line;
    I32 number = 0;
    std::string error;
    while (error.empty() && std::getline(lines, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream words(line);
        std::string when;
        if (!(words >> when) || when[0] == '#') continue;

        std::string at;
        words >> at;
        if (when == "haskeys") {
            std::string rest;
            if ((at != "0" && at != "1") || (words >> rest))
                error = "haskeys takes 0 or 1";
            else
                hasKeys = at == "1";
            continue;
        }
        Entry entry{when == "time", 0, SetButtons, 0, std::string(), false};
        std::string action;
        if (when != "frame" && when != "time") {
            error = "expected frame, time or haskeys, not \"" + when + "\"";
        } else if (!ParseNumber(at, entry.m_At)) {
            error = "bad " + when + " number \"" + at + "\"";
        } else if (!(words >> action)) {
            error = "missing action (buttons, keys or quit)";
        } else if (action == "buttons") {
            std::string mask, rest;
            if (!(words >> mask))
                error = "buttons without a mask";
            else if (words >> rest)
                error = "unexpected \"" + rest + "\" after the mask";
            else
                ParseButtons(mask, entry.m_Buttons, error);
        } else if (action == "keys") {
            entry.m_Action = TypeKeys;
            std::string rest;
            std::getline(words, rest);
            const size_t first = rest.find_first_not_of(" \t");
            ParseKeys(first == std::string::npos ? std::string() : rest.substr(first), entry.m_Keys, error);
        } else if (action == "quit") {
            entry.m_Action = Quit;
            std::string rest;
            if (words >> rest) error = "unexpected \"" + rest + "\" after quit";
        } else {
            error = "unknown action \"" + action + "\"";
        }
        if (error.empty()) parsed.push_back(entry);
    }
    if (!error.empty()) {
        LogE() << "InputScripted::LoadScript: " << origin << ":" << number << ": " << error << ".";
        return false;
    }
    m_Entries.insert(m_Entries.end(), parsed.begin(), parsed.end());
    m_HasKeys = hasKeys;
    return true;
}

bool InputScripted::Init() {
    m_Frame = 0;
    m_StartTicks = System::GetTicks();
    m_Started = true;
    m_Buttons = 0;
    m_Keys.clear();
    m_Quit = false;
    for (Entry& entry : m_Entries) entry.m_Fired = false;
    return true;
}

void InputScripted::Update() {
    if (!m_Started) Init();
    const U32 elapsed = System::GetTicks() - m_StartTicks;
    m_Keys.clear();
    bool fired = false;
    for (Entry& entry : m_Entries) {
        if (entry.m_Fired || (entry.m_ByTime ? elapsed : m_Frame) < entry.m_At) continue;
        entry.m_Fired = fired = true;
        switch (entry.m_Action) {
            case SetButtons: m_Buttons = entry.m_Buttons; break;
            case TypeKeys: m_Keys.insert(m_Keys.end(), entry.m_Keys.begin(), entry.m_Keys.end()); break;
            case Quit: m_Quit = true; break;
        }
    }
    // Unattended runs read from the log where the script ran out.
    if (fired && IsFinished())
        LogI() << "InputScripted::Update: the script has run out at frame " << m_Frame << ", " << elapsed << " ms.";
    ++m_Frame;
}

void InputScripted::GetKeys(std::vector<U8>& keys) { keys.insert(keys.end(), m_Keys.begin(), m_Keys.end()); }

bool InputScripted::IsFinished() const {
    for (const Entry& entry : m_Entries)
        if (!entry.m_Fired) return false;
    return true;
}

Input* CreateInputScripted(const char* scriptPath) {
    InputScripted* input = New<InputScripted>();
    if (!input->LoadScript(scriptPath)) {
        DropRef(input);
        return nullptr;
    }
    return input;
}

}  // namespace Meridian
