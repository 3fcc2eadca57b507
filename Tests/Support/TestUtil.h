// Shared test helpers: a scratch folder that disappears with the test, and a capture of the engine's log.
#pragma once

#include <string>
#include <vector>

namespace Test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& Path() const { return m_Path; }
    std::string File(const std::string& name) const { return m_Path + "/" + name; }

private:
    std::string m_Path;
};

// Redirects the log into a file while it lives and gives back the lines so far; then back to the console.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    std::vector<std::string> Lines() const;
    // The engine's own lines ("[E] ...", "[W] ...": everything but the banner).
    std::vector<std::string> Entries() const;
    std::string Text() const;
    bool Contains(const std::string& text) const;
    int Count(const std::string& text) const;

private:
    TempDir m_Dir;
    std::string m_File;
};

std::vector<unsigned char> ReadFile(const std::string& path);
bool WriteFile(const std::string& path, const std::vector<unsigned char>& bytes);
bool WriteText(const std::string& path, const std::string& text);

}  // namespace Test
