// CoursePoint: a position on the course in 16.16 units with a 64-bit range.
//
// A long song's course runs hundreds of thousands of units from its start,
// far beyond what Fixed holds (±32768). The course tables and the obstacles
// keep their positions as CoursePoints; what reaches Fixed (the scene, the
// view, the hit test) is taken relative to an origin near the glider, which
// the race moves along as the glider advances. The raw values are those
// Fixed would hold, so within Fixed's range every sum and difference is the
// same as in Fixed, and a short course comes out bit for bit as before.
#pragma once

#include <cstdint>

#include "Core/Types.h"
#include "Math/Fixed.h"
#include "Math/Vector3.h"

namespace Meridian {

struct CoursePoint {
    I64 x = 0, y = 0, z = 0;  // raw 16.16

    static CoursePoint Of(const Vector3& v) { return {v.x.Raw(), v.y.Raw(), v.z.Raw()}; }
    // Truncating towards zero, as Fixed::FromFloat does (NaN gives 0).
    static CoursePoint OfFloat(const Vector3f& v) { return {RawOf(v.x), RawOf(v.y), RawOf(v.z)}; }

    CoursePoint operator+(const CoursePoint& o) const { return {x + o.x, y + o.y, z + o.z}; }
    CoursePoint operator-(const CoursePoint& o) const { return {x - o.x, y - o.y, z - o.z}; }
    CoursePoint operator+(const Vector3& v) const { return {x + v.x.Raw(), y + v.y.Raw(), z + v.z.Raw()}; }
    bool operator==(const CoursePoint& o) const { return x == o.x && y == o.y && z == o.z; }
    bool operator!=(const CoursePoint& o) const { return !(*this == o); }

    // This point less origin, each component saturated to Fixed's range.
    Vector3 RelativeTo(const CoursePoint& origin) const {
        return {Narrow(x - origin.x), Narrow(y - origin.y), Narrow(z - origin.z)};
    }
    // This point less origin in float, without rounding the difference
    // through Fixed's range.
    Vector3f FloatFrom(const CoursePoint& origin) const {
        const F32 unit = 1.0f / 65536.0f;
        return {static_cast<F32>(x - origin.x) * unit, static_cast<F32>(y - origin.y) * unit,
                static_cast<F32>(z - origin.z) * unit};
    }
    // The largest of the three components' distances from origin, in units
    // (rounded down).
    I64 ReachFrom(const CoursePoint& origin) const {
        const auto far = [](I64 d) { return (d < 0 ? -d : d) >> 16; };
        const I64 a = far(x - origin.x), b = far(y - origin.y), c = far(z - origin.z);
        return a > b ? (a > c ? a : c) : (b > c ? b : c);
    }

    // Rounded towards zero to whole multiples of 1024 units, which floats
    // and 16.16 both hold exactly: an origin there moves nothing on screen.
    CoursePoint Snapped() const {
        const auto snap = [](I64 raw) { return raw / (I64{1} << 26) * (I64{1} << 26); };
        return {snap(x), snap(y), snap(z)};
    }

    static I64 RawOf(F32 value) {
        const F32 scaled = value * 65536.0f;
        if (scaled != scaled) return 0;
        if (scaled >= 4.0e18f) return INT64_C(4000000000000000000);
        if (scaled <= -4.0e18f) return -INT64_C(4000000000000000000);
        return static_cast<I64>(scaled);
    }
    static Fixed Narrow(I64 raw) {
        return Fixed::FromRaw(raw > INT32_MAX ? INT32_MAX : raw < INT32_MIN ? INT32_MIN : static_cast<I32>(raw));
    }
};

}  // namespace Meridian
