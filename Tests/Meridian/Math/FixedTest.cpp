#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "Math/Fixed.h"

using Meridian::Fixed;

namespace {

Fixed F(float value) { return Fixed::FromFloat(value); }
Fixed R(int32_t raw) { return Fixed::FromRaw(raw); }

}  // namespace

TEST(Fixed, ConversionsTruncateTowardZeroAndSaturate) {
    const struct {
        float value;
        int32_t raw;
    } fromFloat[] = {
        {1.5f, 98304},       {-1.5f, -98304},       {-0.00001f, 0},  // -0.655 raw truncates to 0, not -1
        {-1.00001f, -65536}, {2.99999f, 196607},    {-32768.0f, INT32_MIN},
        {40000.0f, INT32_MAX}, {-40000.0f, INT32_MIN}, {1e30f, INT32_MAX}, {NAN, 0},
    };
    for (const auto& c : fromFloat) EXPECT_EQ(F(c.value).Raw(), c.raw) << c.value;

    EXPECT_EQ(Fixed::FromInt(-32768).Raw(), INT32_MIN);
    EXPECT_EQ(Fixed::FromInt(40000).Raw(), static_cast<int32_t>(40000u << 16));  // wraps like the hardware
    EXPECT_EQ(F(-1.5f).ToInt(), -1);
    EXPECT_EQ(F(1.99f).ToInt(), 1);
    EXPECT_EQ(R(-1).ToInt(), 0);
}

TEST(Fixed, MultiplicationFloorsDivisionTruncatesAndNeitherTraps) {
    const struct {
        int32_t a, b, product, quotient;
    } cases[] = {
        {98304, 131072, 196608, 49152},              // 1.5 * 2 = 3, 1.5 / 2 = 0.75
        {-1, 1, -1, -65536},                         // products floor, not toward zero
        {1, 1, 0, 65536},
        {3, 32768, 1, 6},
        {-3, 32768, -2, -6},
        {-3, 131072, -6, -1},                        // quotients truncate toward zero
        {65536, 196608, 65536 * 3, 21845},
        {-65536, 196608, -65536 * 3, -21845},
        {65536, -196608, -65536 * 3, -21845},
        {INT32_MIN, 65536, INT32_MIN, INT32_MIN},
        {13107200, 13107200, static_cast<int32_t>(40000u << 16), 65536},  // 200 * 200 wraps
        // Zero divisors and unrepresentable quotients saturate.
        {65536, 0, 0, INT32_MAX},
        {0, 0, 0, INT32_MAX},
        {-65536, 0, 0, -INT32_MAX},
        {30000 << 16, 32768, 15000 << 16, INT32_MAX},
        {-30000 * 65536, 32768, -15000 * 65536, INT32_MIN},
        {65536, 1, 1, INT32_MAX},
        {INT32_MIN, -65536, INT32_MIN, INT32_MAX},
    };
    for (const auto& c : cases) {
        EXPECT_EQ((R(c.a) * R(c.b)).Raw(), c.product) << c.a << " * " << c.b;
        EXPECT_EQ((R(c.a) / R(c.b)).Raw(), c.quotient) << c.a << " / " << c.b;
    }

    // Sums wrap; the compound operators match the plain ones.
    EXPECT_EQ((Fixed::Max + Fixed::Epsilon).Raw(), INT32_MIN);
    EXPECT_EQ(R(INT32_MIN) - Fixed::Epsilon, Fixed::Max);
    EXPECT_EQ((-R(INT32_MIN)).Raw(), INT32_MIN);
    Fixed x = Fixed::FromInt(6);
    x *= F(0.5f);
    x /= Fixed::FromInt(3);
    x += Fixed::One;
    x -= F(0.5f);
    EXPECT_EQ(x, F(1.5f));
}
