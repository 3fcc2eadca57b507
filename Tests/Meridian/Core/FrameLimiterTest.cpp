// The frame limiter on the fixed-step clock: its sleeps move that clock, so
// the pacing is read off the clock without any real time passing.
#include <gtest/gtest.h>

#include <vector>

#include "Core/FrameLimiter.h"
#include "Core/System.h"

using namespace Meridian;

TEST(FrameLimiter, HoldsTheRateWithoutBurstsAfterAStall) {
    const struct {
        const char* what;
        U32 fps;
        std::vector<U32> work;  // milliseconds each frame takes before Wait
        U32 lastFrameStart;     // clock when the last frame begins
    } cases[] = {
        // The first frame's work, then 60 slots of 16.67 ms: one second.
        {"light frames at 60 Hz", 60, std::vector<U32>(62, 5), 5 + 1000},
        {"light frames at 144 Hz", 144, std::vector<U32>(146, 1), 1 + 1000},
        {"frames longer than a slot are not slowed", 60, std::vector<U32>(11, 30), 300},
        {"unlimited", 0, std::vector<U32>(11, 5), 50},
        // A 200 ms stall, then light frames: paced from the stall's end on
        // (two slots to the last frame), not hurried to make up lost slots.
        {"stall", 60, {5, 5, 200, 5, 5, 5}, 21 + 200 + 33},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        System::UseFixedClock(0, 4294967000u);  // the 32-bit clock wraps on the way
        ASSERT_TRUE(System::IsFixedClock());
        FrameLimiter limiter(c.fps);
        const U32 start = System::GetTicks();
        U32 frameStart = start;
        for (size_t i = 0; i < c.work.size(); ++i) {
            frameStart = System::GetTicks();
            System::AdvanceClock(c.work[i]);
            limiter.Wait();
        }
        EXPECT_EQ(static_cast<U32>(frameStart - start), c.lastFrameStart);
    }
    System::UseRealClock();
    EXPECT_FALSE(System::IsFixedClock());
}
