// Elementary Fixed functions, the trigonometric tables, bounding spheres and
// ray hit tests.
//
// Depends on: Math/Fixed.h, Math/Vector3.h, Core/Assert.h.
// Tables: InitTables builds sin, cos and tan (plus arcsine and arccosine,
// which nothing reads yet) with 32768 entries over 360 degrees; Sin, Cos and
// Tan look up the nearest lower entry without interpolation, so results move
// in 0.011-degree steps. Calling them while the tables are absent is an
// assertion failure. At 90 and 270 degrees, where the tangent does not fit,
// Tan's entry is clamped to the end of the Fixed range.
// Angles are in degrees throughout. Not thread-safe: build the tables once
// on the main thread.
#pragma once

#include "Core/Types.h"
#include "Math/Fixed.h"
#include "Math/Vector3.h"

namespace Meridian {

void InitTables();     // allocates the tables when absent, then (re)fills them
void ReleaseTables();  // frees them; safe to call when absent
bool TablesReady();

Fixed Sin(Fixed degrees);
Fixed Cos(Fixed degrees);
Fixed Tan(Fixed degrees);

inline Fixed Absolute(Fixed a) { return a < Fixed::Zero ? -a : a; }  // -32768.0 stays itself
inline Fixed Clamp(Fixed a, Fixed lo, Fixed hi) { return a < lo ? lo : (a >= hi ? hi : a); }

// Truncated square root of a 64-bit integer.
U32 IntegerSqrt(U64 value);
// Truncated square root; negative input gives 0.
Fixed Sqrt(Fixed a);
// e^a by its Taylor series in Fixed (at most 64 terms). Arguments above
// ln(32768) = 10.397 give Fixed::Max; negative arguments are computed as
// 1 / e^-a (below -10.397 the result is 0).
Fixed Exp(Fixed a);

// Bounding sphere: a radius below Fixed::Epsilon (raw < 1) means empty.
struct Sphere {
    Fixed radius = Fixed::FromRaw(-65536);
    Vector3 centre = Vector3::Zero;

    bool IsEmpty() const { return radius < Fixed::Epsilon; }
};

// Ritter's bounding sphere of count float points (x, y, z triples), each
// converted to Fixed by truncation. No points gives the empty sphere. Points
// must lie in the Fixed range, with a spread below 32768.0; every point lies
// within the resulting radius.
Sphere SphereFromPoints(const float* xyz, int count);

// True when the line through origin along direction meets the sphere (points
// behind the origin count too); false for an empty sphere. Computed in 64-bit
// integers, so distances anywhere in the Fixed range are safe.
bool RaySphere(const Vector3& origin, const Vector3& direction, const Sphere& sphere);

// Moller-Trumbore test of the line origin + t·direction against the triangle
// a, b, c, culling back faces: the triangle is hit only when a, b, c run
// counter-clockwise as seen from the origin. On a hit t, u and v receive the
// line parameter and the barycentric weights of b and c; on a miss they are
// left untouched. Fixed throughout: triangle edges and distances should stay
// well below 181.0 to avoid overflow.
bool RayTriangle(const Vector3& origin, const Vector3& direction, const Vector3& a, const Vector3& b,
                 const Vector3& c, Fixed& t, Fixed& u, Fixed& v);

}  // namespace Meridian
