// Three-component vectors: positions, directions, Euler angles (degrees) and
// colours. Vector3 (of Fixed) is the engine's geometry vector, laid out as
// x, y, z in 12 bytes; Vector3f (of float) serves offline geometry such as
// mesh building and analysis.
//
// Depends on: Math/Fixed.h.
// Limits: Fixed components wrap like Fixed itself, so Dot and LengthSquared
// overflow once a vector is longer than about 181.0. Length of a Vector3 is
// computed from the exact 64-bit sum of squares and is valid for any vector
// (saturating at Fixed::Max). Normalize leaves a zero vector unchanged.
#pragma once

#include <cmath>

#include "Math/Fixed.h"

namespace Meridian {

// Builds a scalar of either component type from a small integer.
template <class T>
constexpr T ScalarFromInt(I32 value) { return static_cast<T>(value); }
template <>
constexpr Fixed ScalarFromInt<Fixed>(I32 value) { return Fixed::FromInt(value); }

template <class T>
struct Vector3T {
    T x, y, z;

    Vector3T operator+(const Vector3T& o) const { return {x + o.x, y + o.y, z + o.z}; }
    Vector3T operator-(const Vector3T& o) const { return {x - o.x, y - o.y, z - o.z}; }
    Vector3T operator-() const { return {-x, -y, -z}; }
    Vector3T operator*(T s) const { return {x * s, y * s, z * s}; }
    Vector3T& operator+=(const Vector3T& o) { return *this = *this + o; }
    Vector3T& operator-=(const Vector3T& o) { return *this = *this - o; }
    Vector3T& operator*=(T s) { return *this = *this * s; }
    bool operator==(const Vector3T& o) const { return x == o.x && y == o.y && z == o.z; }
    bool operator!=(const Vector3T& o) const { return !(*this == o); }

    T Dot(const Vector3T& o) const { return x * o.x + y * o.y + z * o.z; }
    Vector3T Cross(const Vector3T& o) const {
        return {y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x};
    }
    T LengthSquared() const { return Dot(*this); }
    T Length() const;

    // Scales the vector to unit length in place.
    Vector3T& Normalize() {
        const T length = Length();
        if (length > ScalarFromInt<T>(0)) *this = {x / length, y / length, z / length};
        return *this;
    }

    static const Vector3T UnitX, NegUnitX, UnitY, NegUnitY, UnitZ, NegUnitZ, Zero;
};

template <class T>
Vector3T<T> operator*(T s, const Vector3T<T>& v) { return v * s; }

template <>
inline float Vector3T<float>::Length() const { return std::sqrt(LengthSquared()); }
template <>
Fixed Vector3T<Fixed>::Length() const;

template <class T>
inline constexpr Vector3T<T> Vector3T<T>::UnitX = {ScalarFromInt<T>(1), ScalarFromInt<T>(0), ScalarFromInt<T>(0)};
template <class T>
inline constexpr Vector3T<T> Vector3T<T>::NegUnitX = {ScalarFromInt<T>(-1), ScalarFromInt<T>(0), ScalarFromInt<T>(0)};
template <class T>
inline constexpr Vector3T<T> Vector3T<T>::UnitY = {ScalarFromInt<T>(0), ScalarFromInt<T>(1), ScalarFromInt<T>(0)};
template <class T>
inline constexpr Vector3T<T> Vector3T<T>::NegUnitY = {ScalarFromInt<T>(0), ScalarFromInt<T>(-1), ScalarFromInt<T>(0)};
template <class T>
inline constexpr Vector3T<T> Vector3T<T>::UnitZ = {ScalarFromInt<T>(0), ScalarFromInt<T>(0), ScalarFromInt<T>(1)};
template <class T>
inline constexpr Vector3T<T> Vector3T<T>::NegUnitZ = {ScalarFromInt<T>(0), ScalarFromInt<T>(0), ScalarFromInt<T>(-1)};
template <class T>
inline constexpr Vector3T<T> Vector3T<T>::Zero = {ScalarFromInt<T>(0), ScalarFromInt<T>(0), ScalarFromInt<T>(0)};

typedef Vector3T<Fixed> Vector3;
typedef Vector3T<float> Vector3f;

static_assert(sizeof(Vector3) == 12, "Vector3 is three packed Fixed values");

}  // namespace Meridian
