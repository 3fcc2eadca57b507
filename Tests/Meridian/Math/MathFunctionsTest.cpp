#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>

#include "Math/MathFunctions.h"

using namespace Meridian;

namespace {

Fixed Deg(float degrees) { return Fixed::FromFloat(degrees); }

class Trig : public testing::Test {
protected:
    void SetUp() override { InitTables(); }
    void TearDown() override { ReleaseTables(); }
};

}  // namespace

TEST_F(Trig, LookupsAtQuarterTurnsWrapInBothDirections) {
    // Degrees, sine and cosine in units of 1.0.
    const int quarterTurns[][3] = {{0, 0, 1},   {90, 1, 0},  {180, 0, -1}, {270, -1, 0},
                                   {360, 0, 1}, {450, 1, 0}, {-90, -1, 0}, {-270, 1, 0}};
    for (const auto& q : quarterTurns) {
        EXPECT_EQ(Sin(Deg(q[0])).Raw(), q[1] * 65536) << q[0];
        EXPECT_EQ(Cos(Deg(q[0])).Raw(), q[2] * 65536) << q[0];
    }
    EXPECT_EQ(Tan(Deg(0)).Raw(), 0);
    EXPECT_EQ(Tan(Deg(45)).Raw(), 65536);
    EXPECT_EQ(Tan(Deg(-45)), Tan(Deg(315)));
    const int32_t tan90 = Tan(Deg(90)).Raw();
    EXPECT_TRUE(tan90 == INT32_MAX || tan90 == INT32_MIN) << tan90;  // clamped, not wrapped

    // One entry per 720 raw (360/32768 degrees), no interpolation; the
    // wrap puts -1 raw on the last entry.
    EXPECT_EQ(Sin(Fixed::FromRaw(719)).Raw(), 0);
    EXPECT_EQ(Sin(Fixed::FromRaw(720)).Raw(), 12);  // sin(0.011 deg) = 12.57 raw
    EXPECT_EQ(Sin(Fixed::FromRaw(-1)).Raw(), -12);
    EXPECT_EQ(Sin(Fixed::FromInt(32760)).Raw(), 0);  // 91 full turns
    EXPECT_EQ(Sin(Fixed::FromInt(-32760)).Raw(), 0);
    EXPECT_EQ(Sin(Fixed::Max), Sin(Fixed::FromRaw(INT32_MAX % (360 << 16))));
    EXPECT_EQ(Cos(Fixed::FromRaw(INT32_MIN)), Cos(Fixed::FromInt(-32768 + 91 * 360)));

    // Away from the quarter turns the tables track the true functions to
    // within one table step (at most 12.6 raw) plus truncation.
    for (double d = -725.0; d <= 725.0; d += 0.37) {
        const Fixed angle = Deg(static_cast<float>(d));
        const double radians = angle.ToFloat() * M_PI / 180.0;
        EXPECT_NEAR(Sin(angle).Raw(), std::sin(radians) * 65536.0, 14.0) << d;
        EXPECT_NEAR(Cos(angle).Raw(), std::cos(radians) * 65536.0, 14.0) << d;
        if (std::fabs(std::cos(radians)) > 0.5) {
            EXPECT_NEAR(Tan(angle).Raw(), std::tan(radians) * 65536.0, 60.0) << d;
        }
    }
}

TEST(TrigTables, LifecycleAndUseWithoutTables) {
    EXPECT_FALSE(TablesReady());
    InitTables();
    InitTables();  // refills in place
    EXPECT_EQ(Sin(Fixed::FromInt(90)), Fixed::One);
    ReleaseTables();
    ReleaseTables();
    EXPECT_FALSE(TablesReady());

    testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_DEATH(Sin(Fixed::FromInt(30)), "s_Tables");
    EXPECT_DEATH(Tan(Fixed::FromInt(30)), "s_Tables");
}

TEST(MathFunctions, ClampAbsoluteSqrtAndExp) {
    const Fixed lo = Fixed::FromInt(-2), hi = Fixed::FromInt(2);
    EXPECT_EQ(Clamp(Fixed::FromInt(-3), lo, hi), lo);
    EXPECT_EQ(Clamp(hi - Fixed::Epsilon, lo, hi), hi - Fixed::Epsilon);
    EXPECT_EQ(Clamp(Fixed::FromInt(3), lo, hi), hi);
    EXPECT_EQ(Absolute(Fixed::FromRaw(-1)), Fixed::Epsilon);
    EXPECT_EQ(Absolute(Fixed::FromRaw(INT32_MIN)).Raw(), INT32_MIN);  // no representable magnitude

    EXPECT_EQ(Sqrt(-Fixed::One), Fixed::Zero);
    EXPECT_EQ(Sqrt(Fixed::Epsilon).Raw(), 256);
    EXPECT_EQ(IntegerSqrt(UINT64_MAX), UINT32_MAX);
    // Truncated root: r² <= raw·65536 < (r+1)², over the whole positive range.
    std::mt19937 gen(7);
    for (int i = 0; i < 20000; ++i) {
        const int32_t raw = i == 0 ? INT32_MAX : i == 1 ? 0 : static_cast<int32_t>(gen() >> (1 + i % 31));
        const uint64_t radicand = static_cast<uint64_t>(raw) << 16;
        const uint64_t r = static_cast<uint64_t>(Sqrt(Fixed::FromRaw(raw)).Raw());
        ASSERT_LE(r * r, radicand) << raw;
        ASSERT_GT((r + 1) * (r + 1), radicand) << raw;
    }

    EXPECT_EQ(Exp(Fixed::Zero), Fixed::One);
    EXPECT_EQ(Exp(Fixed::Max), Fixed::Max);
    EXPECT_EQ(Exp(Fixed::FromRaw(INT32_MIN)), Fixed::Zero);
    for (int32_t raw = -700000; raw <= 700000; raw += 3331) {
        const Fixed e = Exp(Fixed::FromRaw(raw));
        const double expected = std::exp(raw / 65536.0);
        if (raw > 681391) {  // above ln(32768): does not fit
            EXPECT_EQ(e, Fixed::Max) << raw;
        } else {
            EXPECT_NEAR(e.ToFloat(), expected, 2e-4 * expected + 5e-5) << raw;
        }
    }
}
