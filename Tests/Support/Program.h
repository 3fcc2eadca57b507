// Real programs run by tests (the game, the batch analyser) in a folder, their output captured in files.
// One still running after two minutes counts as hung: it is killed with what it started, Wait answers -1.
#pragma once

#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

#include "Support/TestUtil.h"

namespace Test {

class Program {
public:
    // environment entries ("NAME=value") are added to the test's own environment.
    Program(const std::string& path, const std::vector<std::string>& args, const std::string& folder,
            const std::vector<std::string>& environment = {});
    ~Program();  // kills a program still running
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // False when the program could not be started.
    bool Start();
    // Waits until standard error holds text; false when the program ended (or hung) first.
    bool WaitForError(const std::string& text);
    void Signal(int signal);
    // The exit status, 128 + n after signal n, -1 when hung (then killed).
    int Wait();

    std::string Output() const;
    std::string Errors() const;

    // The build's game and analyser.
    static std::string Game();
    static std::string Analyser();

private:
    bool Reap(bool block);

    std::string m_Path;
    std::vector<std::string> m_Args;
    std::string m_Folder;
    std::vector<std::string> m_Environment;
    TempDir m_Dir;
    pid_t m_Pid;
    int m_Status;
    double m_Deadline;
};

// Runs body in a child process as user nobody (root ignores permission bits) and returns its result, or
// -1 when the child could not drop its privileges.
int RunAsNobody(const std::function<int()>& body);

}  // namespace Test
