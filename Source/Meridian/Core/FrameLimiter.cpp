#include "Core/FrameLimiter.h"

#include "Core/System.h"

namespace Meridian {

FrameLimiter::FrameLimiter(U32 framesPerSecond)
    : m_FramesPerSecond(framesPerSecond), m_Origin(0), m_Frames(0), m_Now(0), m_LastTicks(0), m_Started(false) {}

U64 FrameLimiter::Now() {
    const U32 ticks = System::GetTicks();
    m_Now += static_cast<U32>(ticks - m_LastTicks);
    m_LastTicks = ticks;
    return m_Now;
}

void FrameLimiter::Wait() {
    if (m_FramesPerSecond == 0) return;
    if (!m_Started) {
        m_Started = true;
        m_LastTicks = System::GetTicks();
        m_Origin = Now();
        m_Frames = 0;
        return;
    }
    const U64 now = Now();
    ++m_Frames;
    const U64 deadline = m_Origin + m_Frames * 1000u / m_FramesPerSecond;
    if (now > deadline + 1000u / m_FramesPerSecond) {
        m_Origin = now;
        m_Frames = 0;
        return;
    }
    if (deadline > now) System::SleepMilliseconds(static_cast<U32>(deadline - now));
}

}  // namespace Meridian
