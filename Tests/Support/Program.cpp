#include "Support/Program.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

namespace Test {

namespace {

const double SafetySeconds = 120.0;

double Now() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

std::string Slurp(const std::string& path) {
    const std::vector<unsigned char> bytes = ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace

Program::Program(const std::string& path, const std::vector<std::string>& args, const std::string& folder,
                 const std::vector<std::string>& environment)
    : m_Path(path), m_Args(args), m_Folder(folder), m_Environment(environment), m_Pid(-1), m_Status(-1),
      m_Deadline(0.0) {}

Program::~Program() {
    if (m_Pid > 0) {
        kill(-m_Pid, SIGKILL);
        waitpid(m_Pid, nullptr, 0);
    }
}

bool Program::Start() {
    const std::string out = m_Dir.File("stdout"), err = m_Dir.File("stderr");
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(m_Path.c_str()));
    for (const std::string& arg : m_Args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    m_Deadline = Now() + SafetySeconds;
    m_Pid = fork();
    if (m_Pid == 0) {
        // Its own process group, so that a hung program is killed with
        // everything it started (an X server, a game under a script).
        setpgid(0, 0);
        const int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int nullFd = open("/dev/null", O_RDONLY);
        if (outFd < 0 || errFd < 0 || nullFd < 0 || dup2(nullFd, 0) < 0 || dup2(outFd, 1) < 0 ||
            dup2(errFd, 2) < 0 || chdir(m_Folder.c_str()) != 0)
            _exit(127);
        for (const std::string& entry : m_Environment) putenv(const_cast<char*>(entry.c_str()));
        execv(m_Path.c_str(), argv.data());
        _exit(127);
    }
    if (m_Pid > 0) setpgid(m_Pid, m_Pid);
    return m_Pid > 0;
}

bool Program::Reap(bool block) {
    if (m_Pid <= 0) return true;
    int status = 0;
    const pid_t done = waitpid(m_Pid, &status, block ? 0 : WNOHANG);
    if (done != m_Pid) return false;
    m_Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    m_Pid = -1;
    return true;
}

bool Program::WaitForError(const std::string& text) {
    for (;;) {
        if (Errors().find(text) != std::string::npos) return true;
        if (Reap(false)) return Errors().find(text) != std::string::npos;
        if (Now() > m_Deadline) return false;
        usleep(20000);
    }
}

void Program::Signal(int signal) {
    if (m_Pid > 0) kill(m_Pid, signal);
}

int Program::Wait() {
    while (!Reap(false)) {
        if (Now() > m_Deadline) {
            kill(-m_Pid, SIGKILL);
            Reap(true);
            return -1;
        }
        usleep(20000);
    }
    return m_Status;
}

std::string Program::Output() const { return Slurp(m_Dir.File("stdout")); }
std::string Program::Errors() const { return Slurp(m_Dir.File("stderr")); }

std::string Program::Game() { return std::string(SKYRAIL_TEST_TOOLS_DIR) + "/../skyrail"; }
std::string Program::Analyser() { return std::string(SKYRAIL_TEST_TOOLS_DIR) + "/../skyrail-analyze"; }

int RunAsNobody(const std::function<int()>& body) {
    const pid_t child = fork();
    if (child == 0) {
        const uid_t nobody = 65534;
        if (setgroups(0, nullptr) != 0 || setresgid(nobody, nobody, nobody) != 0 ||
            setresuid(nobody, nobody, nobody) != 0)
            _exit(255);
        _exit(body());
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status) == 255 ? -1 : WEXITSTATUS(status);
}

}  // namespace Test
