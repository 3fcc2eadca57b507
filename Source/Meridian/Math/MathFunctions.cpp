#include "Math/MathFunctions.h"

#include <cmath>
#include <new>

#include "Core/Assert.h"

namespace Meridian {

namespace {

const int kTableSize = 32768;
const I32 kFullTurn = 360 << 16;
enum { kSin, kCos, kTan, kAsin, kAcos, kTableCount };

// One block holding all five tables, kTableSize entries each.
Fixed* s_Tables = nullptr;

Fixed Lookup(int table, Fixed degrees) {
    MERIDIAN_ASSERT(s_Tables != nullptr);
    I32 raw = degrees.m_Raw % kFullTurn;
    if (raw < 0) raw += kFullTurn;
    return s_Tables[table * kTableSize + raw / 720];  // raw * 32768 / (360 * 65536)
}

// Ceiling of the square root, so distances derived from it never undershoot.
I64 SqrtUp(U64 value) {
    U64 root = IntegerSqrt(value);
    return static_cast<I64>(root * root < value ? root + 1 : root);
}

// Squared distance in raw units (value × 2^32); exact while the two points
// are less than 32768.0 apart.
U64 DistanceSquared(const Vector3& a, const Vector3& b) {
    const I64 d[3] = {static_cast<I64>(a.x.m_Raw) - b.x.m_Raw, static_cast<I64>(a.y.m_Raw) - b.y.m_Raw,
                      static_cast<I64>(a.z.m_Raw) - b.z.m_Raw};
    U64 sum = 0;
    for (I64 v : d) sum += static_cast<U64>(v * v);
    return sum;
}

Fixed& Component(Vector3& v, int axis) { return axis == 0 ? v.x : axis == 1 ? v.y : v.z; }
Fixed Component(const Vector3& v, int axis) { return axis == 0 ? v.x : axis == 1 ? v.y : v.z; }

}  // namespace

void InitTables() {
    if (!s_Tables) {
        s_Tables = new (std::nothrow) Fixed[kTableSize * kTableCount];
        MERIDIAN_ASSERT(s_Tables != nullptr);
    }
    for (int i = 0; i < kTableSize; ++i) {
        const float radians = static_cast<float>(i) * 0.010986328f * 0.017453292f;
        const float x = 2.0f * static_cast<float>(i) / 32768.0f - 1.0f;
        s_Tables[kSin * kTableSize + i] = Fixed::FromFloat(std::sin(radians));
        s_Tables[kCos * kTableSize + i] = Fixed::FromFloat(std::cos(radians));
        s_Tables[kTan * kTableSize + i] = Fixed::FromFloat(std::tan(radians));  // saturates near 90, 270
        s_Tables[kAsin * kTableSize + i] = Fixed::FromFloat(std::asin(x) * 57.29578f);
        s_Tables[kAcos * kTableSize + i] = Fixed::FromFloat(std::acos(x) * 57.29578f);
    }
}

void ReleaseTables() {
    delete[] s_Tables;
    s_Tables = nullptr;
}

bool TablesReady() { return s_Tables != nullptr; }

Fixed Sin(Fixed degrees) { return Lookup(kSin, degrees); }
Fixed Cos(Fixed degrees) { return Lookup(kCos, degrees); }
Fixed Tan(Fixed degrees) { return Lookup(kTan, degrees); }

U32 IntegerSqrt(U64 value) {
    // Two bits of the radicand per round, from the top.
    U64 root = 0, remainder = 0;
    for (int round = 0; round < 32; ++round) {
        remainder = (remainder << 2) | (value >> 62);
        value <<= 2;
        root <<= 1;
        const U64 trial = (root << 1) | 1;
        if (remainder >= trial) {
            remainder -= trial;
            root |= 1;
        }
    }
    return static_cast<U32>(root);
}

Fixed Sqrt(Fixed a) {
    if (a.m_Raw <= 0) return Fixed::Zero;
    return Fixed::FromRaw(static_cast<I32>(IntegerSqrt(static_cast<U64>(a.m_Raw) << 16)));
}

Fixed Exp(Fixed a) {
    const I32 kLimit = 681391;  // ln(32767.99998) in raw units: larger results do not fit
    if (a.m_Raw > kLimit) return Fixed::Max;
    // For negative arguments the alternating series loses everything to
    // truncation (e^-10 came out 500 times too large), so use e^-a instead.
    if (a.m_Raw < 0) return a.m_Raw < -kLimit ? Fixed::Zero : Fixed::One / Exp(-a);
    Fixed sum = Fixed::One, term = Fixed::One;
    for (I32 n = 1; n <= 64; ++n) {  // converges long before the cap for a <= kLimit
        term = term * (a / Fixed::FromInt(n));
        const Fixed next = sum + term;
        if (next == sum) break;
        sum = next;
    }
    return sum;
}

Sphere SphereFromPoints(const float* xyz, int count) {
    Sphere sphere;
    if (!xyz || count <= 0) return sphere;
    auto point = [xyz](int i) {
        return Vector3{Fixed::FromFloat(xyz[i * 3]), Fixed::FromFloat(xyz[i * 3 + 1]),
                       Fixed::FromFloat(xyz[i * 3 + 2])};
    };

    // Extreme points per axis; the first point seeds the bounds so any
    // coordinate in the Fixed range is handled.
    int lowest[3] = {0, 0, 0}, highest[3] = {0, 0, 0};
    Vector3 low = point(0), high = low;
    for (int i = 1; i < count; ++i) {
        const Vector3 p = point(i);
        for (int axis = 0; axis < 3; ++axis) {
            if (Component(p, axis) < Component(low, axis)) {
                Component(low, axis) = Component(p, axis);
                lowest[axis] = i;
            }
            if (Component(p, axis) > Component(high, axis)) {
                Component(high, axis) = Component(p, axis);
                highest[axis] = i;
            }
        }
    }

    // The most distant pair seeds the sphere; ties keep the earlier axis.
    int best = 0;
    U64 bestDistance = 0;
    for (int axis = 0; axis < 3; ++axis) {
        const U64 d = DistanceSquared(point(lowest[axis]), point(highest[axis]));
        if (axis == 0 || d > bestDistance) {
            best = axis;
            bestDistance = d;
        }
    }
    const Vector3 first = point(lowest[best]), second = point(highest[best]);
    sphere.centre = {Fixed::FromFloat((first.x.ToFloat() + second.x.ToFloat()) * 0.5f),
                     Fixed::FromFloat((first.y.ToFloat() + second.y.ToFloat()) * 0.5f),
                     Fixed::FromFloat((first.z.ToFloat() + second.z.ToFloat()) * 0.5f)};
    I64 radius = IntegerSqrt(DistanceSquared(sphere.centre, second));

    // Grow towards every point outside: the new sphere touches the old one
    // on the far side and the point on the near side.
    for (int i = 0; i < count; ++i) {
        const Vector3 p = point(i);
        const U64 d2 = DistanceSquared(sphere.centre, p);
        if (d2 <= static_cast<U64>(radius * radius)) continue;
        const I64 d = IntegerSqrt(d2);
        const I64 grown = (radius + d) / 2;
        for (int axis = 0; axis < 3; ++axis) {
            Fixed& c = Component(sphere.centre, axis);
            const I64 offset = static_cast<I64>(Component(p, axis).m_Raw) - c.m_Raw;
            c = Fixed::FromRaw(static_cast<I32>(c.m_Raw + offset * (d - grown) / d));
        }
        radius = grown;
    }

    // Truncation in the steps above can leave points a few units of 1/65536
    // outside; widen the radius to the farthest point, rounded up.
    for (int i = 0; i < count; ++i) {
        const I64 d = SqrtUp(DistanceSquared(sphere.centre, point(i)));
        if (d > radius) radius = d;
    }
    sphere.radius = Fixed::FromRaw(static_cast<I32>(radius < INT32_MAX ? radius : INT32_MAX));
    return sphere;
}

bool RaySphere(const Vector3& origin, const Vector3& direction, const Sphere& sphere) {
    if (sphere.IsEmpty()) return false;
    // Dot products in 64-bit 16.16 so large distances cannot wrap.
    const I64 w[3] = {static_cast<I64>(origin.x.m_Raw) - sphere.centre.x.m_Raw,
                      static_cast<I64>(origin.y.m_Raw) - sphere.centre.y.m_Raw,
                      static_cast<I64>(origin.z.m_Raw) - sphere.centre.z.m_Raw};
    const I64 d[3] = {direction.x.m_Raw, direction.y.m_Raw, direction.z.m_Raw};
    I64 b = 0, a = 0, c = -((static_cast<I64>(sphere.radius.m_Raw) * sphere.radius.m_Raw) >> 16);
    for (int i = 0; i < 3; ++i) {
        b += (w[i] * d[i]) >> 16;
        a += (d[i] * d[i]) >> 16;
        c += (w[i] * w[i]) >> 16;
    }
    if (c <= 0) return true;  // the origin lies inside the sphere
    // b² >= a·c with a, c > 0: drop low bits evenly until both products fit.
    U64 B = static_cast<U64>(b < 0 ? -b : b), A = static_cast<U64>(a), C = static_cast<U64>(c);
    while ((B | A | C) >> 32) {
        B >>= 1;
        A >>= 1;
        C >>= 1;
    }
    return B * B >= A * C;
}

bool RayTriangle(const Vector3& origin, const Vector3& direction, const Vector3& a, const Vector3& b,
                 const Vector3& c, Fixed& t, Fixed& u, Fixed& v) {
    const Vector3 e1 = b - a, e2 = c - a;
    const Vector3 p = direction.Cross(e2);
    const Fixed det = e1.Dot(p);
    if (det < Fixed::Epsilon) return false;  // parallel or seen from behind
    const Vector3 s = origin - a;
    const Fixed uu = s.Dot(p);
    if (uu < Fixed::Zero || uu > det) return false;
    const Vector3 q = s.Cross(e1);
    const Fixed vv = direction.Dot(q);
    if (vv < Fixed::Zero || uu + vv > det) return false;
    const Fixed inverse = Fixed::One / det;
    t = e2.Dot(q) * inverse;
    u = uu * inverse;
    v = vv * inverse;
    return true;
}

}  // namespace Meridian
