// System layer over SDL 1.2 (the only file of the core that sees SDL).
#include "Core/System.h"

#include <SDL/SDL.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <ctime>

#ifdef SKYRAIL_HANDHELD
#include <fcntl.h>
#include <sys/mman.h>
#endif

#include "Core/Log.h"

namespace Meridian {

namespace {

// Atomic: the audio thread reads the clock too.
std::atomic<bool> g_FixedClock{false};
std::atomic<U32> g_FixedTicks{0};
U32 g_FixedStep = 0;
bool g_SdlStarted = false;
volatile sig_atomic_t g_QuitSignal = 0;

void OnQuitSignal(int signal) {
    if (g_QuitSignal) {
        // The orderly exit did not come: let the signal take its default course.
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    g_QuitSignal = signal;
}

#ifdef SKYRAIL_HANDHELD
int g_MemFile = -1;
void* g_Registers = nullptr;
const size_t RegisterWindowSize = 0x20000;
const off_t RegisterWindowBase = 0xC0000000;
#endif

}  // namespace

I32 System::Init() {
    LogD() << "System(Can)::Init.";
    // Before SDL starts: SDL 1.2 keeps the handlers it finds installed.
    CatchQuitSignals();
#ifdef SKYRAIL_HANDHELD
    // The handheld's register window; nothing reads it, but the firmware
    // expects it mapped while the game runs.
    g_MemFile = open("/dev/mem", O_RDWR);
    if (g_MemFile < 0) {
        LogE() << "System::Init: /dev/mem open failed.";
        return 0;
    }
    g_Registers = mmap(nullptr, RegisterWindowSize, PROT_READ | PROT_WRITE, MAP_SHARED, g_MemFile,
                       RegisterWindowBase);
    if (g_Registers == MAP_FAILED) g_Registers = nullptr;
#endif
    g_SdlStarted = SDL_Init(SDL_INIT_TIMER | SDL_INIT_AUDIO | SDL_INIT_JOYSTICK) == 0;
    if (!g_SdlStarted) {
        LogE() << "System::Init: SDL_Init failed: " << SDL_GetError();
        return 0;
    }
    return 1;
}

I32 System::Exit() {
#ifdef SKYRAIL_HANDHELD
    if (g_MemFile >= 0) close(g_MemFile);
    g_MemFile = -1;
    g_Registers = nullptr;
#endif
    SDL_Quit();
    g_SdlStarted = false;
    return 1;
}

U32 System::GetTicks() {
    if (g_FixedClock) return g_FixedTicks;
    return SDL_GetTicks();
}

U64 System::GetWorkMicroseconds() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<U64>(now.tv_sec) * 1000000u + static_cast<U64>(now.tv_nsec) / 1000u;
}

void System::UseFixedClock(U32 stepMilliseconds, U32 startTicks) {
    g_FixedClock = true;
    g_FixedStep = stepMilliseconds;
    g_FixedTicks = startTicks;
}

void System::UseRealClock() { g_FixedClock = false; }

bool System::IsFixedClock() { return g_FixedClock; }

void System::AdvanceClock(U32 milliseconds) { g_FixedTicks += milliseconds; }

void System::FrameTick() {
    if (g_FixedClock) g_FixedTicks += g_FixedStep;
}

bool System::QuitRequested() { return g_QuitSignal != 0; }

void System::ClearQuitRequest() { g_QuitSignal = 0; }

void System::CatchQuitSignals() {
    struct sigaction action = {};
    action.sa_handler = &OnQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

void System::SleepMilliseconds(U32 milliseconds) {
    if (g_FixedClock) {
        g_FixedTicks += milliseconds;
        return;
    }
    usleep(static_cast<useconds_t>(milliseconds) * 1000);
}

}  // namespace Meridian
