// FrameLimiter: holds a main loop to a frame rate where nothing else paces
// it (a window whose driver does not wait for the vertical blank).
//
// Wait, called once per pass after the frame is shown, sleeps through the
// system layer until the frame's slot at the given rate has ended. Slots
// follow a schedule from the first call, so the rate holds on average even
// though the clock counts whole milliseconds. A frame that overruns its slot
// by more than one slot restarts the schedule from now: a stall is not made
// up for by a burst of frames. With the fixed-step clock the sleeps move that
// clock, which is how the pacing can be checked without real time.
#pragma once

#include "Core/Types.h"

namespace Meridian {

class FrameLimiter {
public:
    // framesPerSecond 0: Wait never sleeps.
    explicit FrameLimiter(U32 framesPerSecond);

    void Wait();
    U32 GetFramesPerSecond() const { return m_FramesPerSecond; }

private:
    // System::GetTicks extended to 64 bits, so the 32-bit clock may wrap.
    U64 Now();

    U32 m_FramesPerSecond;
    U64 m_Origin;  // milliseconds at the schedule's start
    U64 m_Frames;  // slots since then
    U64 m_Now;
    U32 m_LastTicks;
    bool m_Started;
};

}  // namespace Meridian
