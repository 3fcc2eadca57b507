#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>

#include "Math/Random.h"

using namespace Meridian;

namespace {

[[noreturn]] void DrawFirstOutputsAndExit() {
    std::mt19937 reference;  // default seed 5489
    for (int i = 0; i < 5; ++i)
        if (RandomU32() != reference()) std::_Exit(1);
    std::_Exit(0);
}

}  // namespace

TEST(Random, UnseededGeneratorStartsWithSeed5489) {
    // Runs in a fresh process so no earlier draw can have touched the state.
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_EXIT(DrawFirstOutputsAndExit(), testing::ExitedWithCode(0), "");
}

TEST(Random, MatchesTheReferenceGeneratorAcrossReseeds) {
    RandomSeed(5489);
    std::mt19937 reference;
    for (int i = 0; i < 10000; ++i) ASSERT_EQ(RandomU32(), reference()) << i;
    // Reseeding restarts the sequence; every draw consumes one output.
    RandomSeed(0xC0FFEEu);
    std::mt19937 other(0xC0FFEEu);
    for (int i = 0; i < 3000; ++i) {
        switch (i % 3) {
        case 0: ASSERT_EQ(RandomU32(), other()); break;
        case 1: ASSERT_EQ(RandomInt31(), static_cast<I32>(other() >> 1)); break;
        default: ASSERT_EQ(RandomFixed(), RandomFixedFromU32(other())); break;
        }
    }
}

TEST(Random, FixedAndRangeStayInBounds) {
    // Draws map onto 0 .. 1.0, both ends reachable.
    EXPECT_EQ(RandomFixedFromU32(0).Raw(), 0);
    EXPECT_EQ(RandomFixedFromU32(0xFFFFFFFFu), Fixed::One);
    EXPECT_EQ(RandomFixedFromU32(0xFFFFFFFEu).Raw(), 65535);
    EXPECT_EQ(RandomFixedFromU32(0x80000000u).Raw(), 32768);

    RandomSeed(42);
    const Fixed ranges[][2] = {{Fixed::FromInt(60), Fixed::FromInt(120)},
                               {Fixed::FromInt(-3), Fixed::FromInt(-1)},
                               {Fixed::FromInt(-30000), Fixed::FromInt(30000)},  // span beyond 32768.0
                               {Fixed::FromInt(5), Fixed::FromInt(5)}};
    for (const auto& r : ranges) {
        Fixed low = r[1], high = r[0];
        for (int i = 0; i < 5000; ++i) {
            const Fixed x = RandomRange(r[0], r[1]);
            ASSERT_TRUE(x >= r[0] && x <= r[1]) << x.Raw();
            low = std::min(low, x);
            high = std::max(high, x);
        }
        // Spread over the whole range, not stuck near one end.
        const double span = static_cast<double>(r[1].Raw()) - r[0].Raw();
        EXPECT_LE(static_cast<double>(low.Raw()) - r[0].Raw(), span * 0.01);
        EXPECT_GE(static_cast<double>(high.Raw()) - r[0].Raw(), span * 0.99);
    }
}
