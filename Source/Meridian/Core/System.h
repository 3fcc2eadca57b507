// The system layer: the one place that touches the operating system's clock
// and start-up.
//
// Init starts SDL with its timer, audio and joystick subsystems (on the
// handheld build it first maps the register window through "/dev/mem").
// Every read of the millisecond clock in the engine and the game goes through
// GetTicks, so that tests and headless runs can switch to a fixed-step clock:
// in that mode the clock stands still until AdvanceClock (or FrameTick, once
// per main-loop pass) moves it, and a race runs faster than real time.
//
// Init also catches SIGTERM and SIGINT: the handler only notes a quit
// request, which the main loop reads through QuitRequested and ends as if
// the player had quit, so the application's exit actions still run. A second
// signal of the same kind while the first is pending ends the process at
// once, for when the orderly exit does not come.
#pragma once

#include "Core/Types.h"

namespace Meridian {

class System {
public:
    // Returns 1 when SDL started; the result is advisory (the entry point
    // ignores it).
    static I32 Init();
    static I32 Exit();

    // Milliseconds since an arbitrary start, from SDL or the fixed-step clock;
    // safe to call from the audio thread.
    static U32 GetTicks();

    // Timer conversion factors: milliseconds to seconds (0.001) and to
    // milliseconds (1.0).
    static F64 SecondsPerTick() { return 0.001; }
    static F64 MillisecondsPerTick() { return 1.0; }

    // Fixed-step clock: stepMilliseconds is added by every FrameTick. A step
    // of 0 leaves the clock to AdvanceClock alone.
    static void UseFixedClock(U32 stepMilliseconds, U32 startTicks = 0);
    static void UseRealClock();
    static bool IsFixedClock();
    static void AdvanceClock(U32 milliseconds);
    // Called once per main-loop pass.
    static void FrameTick();

    static void SleepMilliseconds(U32 milliseconds);

    // True once SIGTERM or SIGINT arrived (after Init or CatchQuitSignals).
    static bool QuitRequested();
    // Installs the handlers (Init does); handlers installed before by the
    // program are replaced. ClearQuitRequest forgets a pending request.
    static void CatchQuitSignals();
    static void ClearQuitRequest();
    // Microseconds of the real monotonic clock, whatever the mode: for
    // bounding work done within one frame (a budget), never for game time.
    static U64 GetWorkMicroseconds();
};

}  // namespace Meridian
