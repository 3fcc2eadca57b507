#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "Math/Fixed.h"
#include "Math/Mathf.h"

using Meridian::Fixed;

namespace {

Fixed F(float value) { return Fixed::FromFloat(value); }
Fixed R(int32_t raw) { return Fixed::FromRaw(raw); }

}  // namespace

TEST(Fixed, ConversionsTruncateTowardZero) {
    EXPECT_EQ(Fixed::FromInt(1).Raw(), 65536);
    EXPECT_EQ(Fixed::FromInt(-3).Raw(), -196608);
    EXPECT_EQ(Fixed::FromInt(-32768).Raw(), INT32_MIN);
    EXPECT_EQ(F(1.5f).Raw(), 98304);
    EXPECT_EQ(F(-1.5f).Raw(), -98304);
    EXPECT_EQ(F(-0.00001f).Raw(), 0);          // -0.655 raw truncates to 0, not -1
    EXPECT_EQ(F(-1.00001f).Raw(), -65536);     // -65536.65 raw
    EXPECT_EQ(F(2.99999f).Raw(), 196607);
    EXPECT_EQ(F(-32768.0f).Raw(), INT32_MIN);
    EXPECT_EQ(F(40000.0f), Fixed::Max);        // out of range saturates
    EXPECT_EQ(F(-40000.0f).Raw(), INT32_MIN);
    EXPECT_EQ(F(1e30f), Fixed::Max);
    EXPECT_EQ(F(NAN).Raw(), 0);

    EXPECT_EQ(R(98304).ToFloat(), 1.5f);
    EXPECT_EQ(R(1).ToFloat(), 1.5258789e-5f);
    EXPECT_EQ(F(-1.5f).ToInt(), -1);
    EXPECT_EQ(F(1.99f).ToInt(), 1);
    EXPECT_EQ(R(-1).ToInt(), 0);
    EXPECT_EQ(Fixed().Raw(), 0);
}

TEST(Fixed, MultiplicationAndDivisionRounding) {
    EXPECT_EQ((F(1.5f) * F(2.0f)).Raw(), 196608);  // exactly 3.0
    EXPECT_EQ((R(-1) * R(1)).Raw(), -1);           // floor, not toward zero
    EXPECT_EQ((R(1) * R(1)).Raw(), 0);
    EXPECT_EQ((F(-1.5f) * F(2.0f)).Raw(), -196608);
    EXPECT_EQ((R(3) * F(0.5f)).Raw(), 1);
    EXPECT_EQ((R(-3) * F(0.5f)).Raw(), -2);

    EXPECT_EQ((F(7.0f) / F(2.0f)).Raw(), 229376);
    EXPECT_EQ((Fixed::One / Fixed::FromInt(3)).Raw(), 21845);
    EXPECT_EQ((-Fixed::One / Fixed::FromInt(3)).Raw(), -21845);  // toward zero
    EXPECT_EQ((Fixed::One / Fixed::FromInt(-3)).Raw(), -21845);
    EXPECT_EQ((R(-3) / F(2.0f)).Raw(), -1);
    EXPECT_EQ((Fixed::FromInt(-32768) / Fixed::One).Raw(), INT32_MIN);

    // Division never traps: zero divisors and unrepresentable quotients saturate.
    EXPECT_EQ(Fixed::One / Fixed::Zero, Fixed::Max);
    EXPECT_EQ(Fixed::Zero / Fixed::Zero, Fixed::Max);
    EXPECT_EQ((-Fixed::One / Fixed::Zero).Raw(), -INT32_MAX);
    EXPECT_EQ(Fixed::FromInt(30000) / F(0.5f), Fixed::Max);
    EXPECT_EQ((Fixed::FromInt(-30000) / F(0.5f)).Raw(), INT32_MIN);
    EXPECT_EQ(Fixed::One / Fixed::Epsilon, Fixed::Max);
    EXPECT_EQ((R(INT32_MIN) / -Fixed::One), Fixed::Max);

    Fixed x = Fixed::FromInt(6);
    x *= F(0.5f);
    EXPECT_EQ(x, Fixed::FromInt(3));
    x /= Fixed::FromInt(3);
    EXPECT_EQ(x, Fixed::One);
    x += Fixed::One;
    x -= F(0.5f);
    EXPECT_EQ(x, F(1.5f));
}

TEST(Fixed, OverflowWrapsAndComparisonsAreIntegral) {
    EXPECT_EQ((Fixed::Max + Fixed::Epsilon).Raw(), INT32_MIN);
    EXPECT_EQ(R(INT32_MIN) - Fixed::Epsilon, Fixed::Max);
    EXPECT_EQ((-R(INT32_MIN)).Raw(), INT32_MIN);
    EXPECT_EQ((Fixed::FromInt(200) * Fixed::FromInt(200)).Raw(),
              static_cast<int32_t>(static_cast<uint32_t>(40000u << 16)));
    EXPECT_EQ(Fixed::FromInt(40000).Raw(), static_cast<int32_t>(static_cast<uint32_t>(40000u << 16)));

    EXPECT_LT(R(-1), Fixed::Zero);
    EXPECT_LE(Fixed::One, Fixed::One);
    EXPECT_GT(Fixed::OnePlusTolerance, Fixed::One);
    EXPECT_GE(Fixed::One, Fixed::OneMinusTolerance);
    EXPECT_NE(Fixed::Epsilon, Fixed::Zero);
}

TEST(Fixed, ConstantsMatchTheirValues) {
    EXPECT_EQ(Fixed::One.Raw(), 65536);
    EXPECT_EQ(Fixed::Zero.Raw(), 0);
    EXPECT_EQ(Fixed::Epsilon.Raw(), 1);
    EXPECT_EQ(Fixed::Max.Raw(), INT32_MAX);
    EXPECT_EQ(Fixed::TwoPi, Fixed::Pi + Fixed::Pi);
    EXPECT_NEAR(Fixed::Pi.ToFloat(), 3.14159265, 2e-5);
    EXPECT_NEAR(Fixed::E.ToFloat(), 2.71828183, 2e-5);
    EXPECT_NEAR(Fixed::RadToDeg.ToFloat(), 180.0 / 3.14159265, 2e-5);
    EXPECT_NEAR(Fixed::DegToRad.ToFloat(), 3.14159265 / 180.0, 2e-5);
    EXPECT_NEAR((Fixed::Pi * Fixed::RadToDeg).ToFloat(), 180.0, 1e-3);
    EXPECT_EQ(Fixed::OneMinusTolerance.Raw(), 65536 - 64);  // 1 - 1/1024
    EXPECT_EQ(Fixed::OnePlusTolerance.Raw(), 65536 + 64);

    using Meridian::Mathf;
    EXPECT_EQ(Mathf::Eps, std::ldexp(1.0f, -23));
    EXPECT_EQ(Mathf::OneMinusEps, 1.0f - 2.0f * Mathf::Eps);
    EXPECT_EQ(Mathf::OnePlusEps, 1.0f + 2.0f * Mathf::Eps);
    EXPECT_EQ(Mathf::Pi, static_cast<float>(M_PI));
    EXPECT_EQ(Mathf::Absolute(-2.5f), 2.5f);
    EXPECT_EQ(Mathf::Absolute(2.5f), 2.5f);
}
