// 16.16 signed fixed-point numbers: the engine's number type for geometry,
// times, speeds and colours on hardware without a floating-point unit.
//
// Depends on: Core/Types.h only.
// Limits: range -32768.0 .. 32767.99998, resolution 1/65536. Addition,
// subtraction and multiplication wrap on overflow (no saturation), computed
// through unsigned or 64-bit integers so wrapping is never undefined.
// Multiplication truncates toward minus infinity (arithmetic shift), division
// toward zero. Division saturates instead of wrapping: a quotient outside the
// range becomes the nearest end of the range, and a zero divisor gives Max
// (dividend >= 0) or -Max (dividend < 0). FromFloat saturates out-of-range
// values the same way and maps NaN to zero.
#pragma once

#include "Core/Types.h"

namespace Meridian {

class Fixed {
public:
    I32 m_Raw;

    constexpr Fixed() : m_Raw(0) {}

    static constexpr Fixed FromRaw(I32 raw) {
        Fixed f;
        f.m_Raw = raw;
        return f;
    }
    static constexpr Fixed FromInt(I32 value) { return FromRaw(Wrap(static_cast<U32>(value) << 16)); }
    static Fixed FromFloat(float value) {
        const float scaled = value * 65536.0f;
        if (scaled != scaled) return FromRaw(0);
        if (scaled >= 2147483648.0f) return FromRaw(INT32_MAX);
        if (scaled < -2147483648.0f) return FromRaw(INT32_MIN);
        return FromRaw(static_cast<I32>(static_cast<I64>(scaled)));
    }

    constexpr I32 Raw() const { return m_Raw; }
    float ToFloat() const { return static_cast<float>(m_Raw) * 1.5258789e-5f; }
    constexpr I32 ToInt() const { return m_Raw / 65536; }

    constexpr Fixed operator+(Fixed o) const { return FromRaw(Wrap(static_cast<U32>(m_Raw) + static_cast<U32>(o.m_Raw))); }
    constexpr Fixed operator-(Fixed o) const { return FromRaw(Wrap(static_cast<U32>(m_Raw) - static_cast<U32>(o.m_Raw))); }
    constexpr Fixed operator-() const { return FromRaw(Wrap(0u - static_cast<U32>(m_Raw))); }
    constexpr Fixed operator*(Fixed o) const {
        return FromRaw(Wrap(static_cast<U32>((static_cast<I64>(m_Raw) * o.m_Raw) >> 16)));
    }
    constexpr Fixed operator/(Fixed o) const {
        if (o.m_Raw == 0) return FromRaw(m_Raw >= 0 ? INT32_MAX : -INT32_MAX);
        const I64 q = static_cast<I64>(m_Raw) * 65536 / o.m_Raw;
        return FromRaw(q > INT32_MAX ? INT32_MAX : q < INT32_MIN ? INT32_MIN : static_cast<I32>(q));
    }

    Fixed& operator+=(Fixed o) { return *this = *this + o; }
    Fixed& operator-=(Fixed o) { return *this = *this - o; }
    Fixed& operator*=(Fixed o) { return *this = *this * o; }
    Fixed& operator/=(Fixed o) { return *this = *this / o; }

    constexpr bool operator==(Fixed o) const { return m_Raw == o.m_Raw; }
    constexpr bool operator!=(Fixed o) const { return m_Raw != o.m_Raw; }
    constexpr bool operator<(Fixed o) const { return m_Raw < o.m_Raw; }
    constexpr bool operator<=(Fixed o) const { return m_Raw <= o.m_Raw; }
    constexpr bool operator>(Fixed o) const { return m_Raw > o.m_Raw; }
    constexpr bool operator>=(Fixed o) const { return m_Raw >= o.m_Raw; }

    static const Fixed One;                // 1.0
    static const Fixed Zero;               // 0.0
    static const Fixed Pi;                 // 3.14159
    static const Fixed TwoPi;              // 6.28317
    static const Fixed Epsilon;            // 1/65536, the smallest positive value
    static const Fixed OneMinusTolerance;  // 1 - 1/1024
    static const Fixed OnePlusTolerance;   // 1 + 1/1024
    static const Fixed RadToDeg;           // 57.29578
    static const Fixed DegToRad;           // 0.01744
    static const Fixed E;                  // 2.71828
    static const Fixed Max;                // 32767.99998

private:
    // Two's-complement reinterpretation of an unsigned result.
    static constexpr I32 Wrap(U32 bits) {
        return bits <= static_cast<U32>(INT32_MAX) ? static_cast<I32>(bits)
                                                   : static_cast<I32>(bits - 0x80000000u) + INT32_MIN;
    }
};

static_assert(sizeof(Fixed) == 4, "Fixed must stay one 32-bit word: matrices go to GL as GLfixed");

inline constexpr Fixed Fixed::One = Fixed::FromRaw(65536);
inline constexpr Fixed Fixed::Zero = Fixed::FromRaw(0);
inline constexpr Fixed Fixed::Pi = Fixed::FromRaw(205887);
inline constexpr Fixed Fixed::TwoPi = Fixed::FromRaw(411774);
inline constexpr Fixed Fixed::Epsilon = Fixed::FromRaw(1);
inline constexpr Fixed Fixed::OneMinusTolerance = Fixed::FromRaw(65472);
inline constexpr Fixed Fixed::OnePlusTolerance = Fixed::FromRaw(65600);
inline constexpr Fixed Fixed::RadToDeg = Fixed::FromRaw(3754936);
inline constexpr Fixed Fixed::DegToRad = Fixed::FromRaw(1143);
inline constexpr Fixed Fixed::E = Fixed::FromRaw(178145);
inline constexpr Fixed Fixed::Max = Fixed::FromRaw(INT32_MAX);

}  // namespace Meridian
