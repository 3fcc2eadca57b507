#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "Math/MathFunctions.h"
#include "Math/Vector3.h"

using namespace Meridian;

namespace {

Fixed F(float v) { return Fixed::FromFloat(v); }
Vector3 V(float x, float y, float z) { return {F(x), F(y), F(z)}; }

// Exact distance in doubles between a float point (as Fixed) and the centre.
double RawDistance(const Sphere& s, const float* p) {
    const double dx = Fixed::FromFloat(p[0]).Raw() - static_cast<double>(s.centre.x.Raw());
    const double dy = Fixed::FromFloat(p[1]).Raw() - static_cast<double>(s.centre.y.Raw());
    const double dz = Fixed::FromFloat(p[2]).Raw() - static_cast<double>(s.centre.z.Raw());
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

void ExpectContainsAll(const Sphere& s, const std::vector<float>& xyz) {
    for (size_t i = 0; i + 2 < xyz.size(); i += 3)
        ASSERT_LE(RawDistance(s, &xyz[i]), s.radius.Raw()) << "point " << i / 3;
}

}  // namespace

TEST(Vector3, ArithmeticAndLength) {
    const Vector3 a = V(1, 2, 3), b = V(-4, 0.5f, 2);
    EXPECT_EQ(a + b, V(-3, 2.5f, 5));
    EXPECT_EQ(a - b, V(5, 1.5f, 1));
    EXPECT_EQ(a * F(2), V(2, 4, 6));
    EXPECT_EQ(F(2) * a, V(2, 4, 6));
    EXPECT_EQ(-a, V(-1, -2, -3));
    EXPECT_EQ(a.Dot(b), F(3));
    EXPECT_EQ(Vector3::UnitX.Cross(Vector3::UnitY), Vector3::UnitZ);
    EXPECT_EQ(Vector3::UnitZ.Cross(Vector3::UnitX), Vector3::UnitY);
    EXPECT_EQ(a.Cross(a), Vector3::Zero);
    EXPECT_EQ(Vector3::NegUnitY, -Vector3::UnitY);
    EXPECT_EQ(Vector3::NegUnitX + Vector3::UnitX, Vector3::Zero);
    EXPECT_EQ(Vector3::NegUnitZ.z, -Fixed::One);
    Vector3 c = a;
    c += b;
    c -= b;
    c *= F(0.5f);
    EXPECT_EQ(c, V(0.5f, 1, 1.5f));

    EXPECT_EQ(V(3, 4, 0).LengthSquared(), F(25));
    EXPECT_EQ(V(3, 4, 0).Length(), F(5));
    EXPECT_EQ(V(0, -300, 400).Length(), F(500));  // beyond where Dot wraps
    EXPECT_EQ(V(-32768, -32768, -32768).Length(), Fixed::Max);
    Vector3 n = V(0, 3, 4);
    n.Normalize();
    EXPECT_NEAR(n.y.ToFloat(), 0.6, 2e-5);
    EXPECT_NEAR(n.z.ToFloat(), 0.8, 2e-5);
    Vector3 zero = Vector3::Zero;
    EXPECT_EQ(zero.Normalize(), Vector3::Zero);

    Vector3f f{3.0f, 0.0f, -4.0f};
    EXPECT_FLOAT_EQ(f.Length(), 5.0f);
    f.Normalize();
    EXPECT_FLOAT_EQ(f.x, 0.6f);
    EXPECT_FLOAT_EQ(f.z, -0.8f);
    EXPECT_EQ(Vector3f::UnitY.Cross(Vector3f::UnitZ), Vector3f::UnitX);
}

TEST(RayTriangle, HitMissAndBackFace) {
    const Vector3 a = V(0, 0, 0), b = V(1, 0, 0), c = V(0, 1, 0);  // counter-clockwise seen from +z
    const Vector3 down = V(0, 0, -1);
    Fixed t, u, v;
    ASSERT_TRUE(RayTriangle(V(0.25f, 0.5f, 5), down, a, b, c, t, u, v));
    EXPECT_NEAR(t.ToFloat(), 5.0, 1e-4);
    EXPECT_NEAR(u.ToFloat(), 0.25, 1e-4);
    EXPECT_NEAR(v.ToFloat(), 0.5, 1e-4);

    // The hit point reconstructed from the barycentric weights.
    ASSERT_TRUE(RayTriangle(V(3, 2, 4), V(-2.6f, -1.7f, -4), V(0, 0, 0), V(2, 0, 0), V(0, 2, 0), t, u, v));
    EXPECT_NEAR(t.ToFloat(), 1.0, 1e-3);
    EXPECT_NEAR(u.ToFloat(), 0.2, 1e-3);
    EXPECT_NEAR(v.ToFloat(), 0.15, 1e-3);

    const Fixed sentinel = F(-7);
    t = u = v = sentinel;
    EXPECT_FALSE(RayTriangle(V(0.75f, 0.75f, 5), down, a, b, c, t, u, v));  // beyond the hypotenuse
    EXPECT_FALSE(RayTriangle(V(-0.1f, 0.5f, 5), down, a, b, c, t, u, v));   // u < 0
    EXPECT_FALSE(RayTriangle(V(0.5f, -0.1f, 5), down, a, b, c, t, u, v));   // v < 0
    EXPECT_FALSE(RayTriangle(V(0.25f, 0.25f, 5), V(1, 0, 0), a, b, c, t, u, v));  // parallel
    EXPECT_FALSE(RayTriangle(V(0.25f, 0.25f, -5), V(0, 0, 1), a, b, c, t, u, v));  // back face culled
    EXPECT_EQ(t, sentinel);
    EXPECT_EQ(u, sentinel);
    EXPECT_EQ(v, sentinel);
    EXPECT_TRUE(RayTriangle(V(0.25f, 0.25f, -5), V(0, 0, 1), a, c, b, t, u, v));  // same triangle, other winding
    EXPECT_NEAR(t.ToFloat(), 5.0, 1e-4);
    // Edges count as inside.
    EXPECT_TRUE(RayTriangle(V(0, 0, 1), down, a, b, c, t, u, v));
    EXPECT_TRUE(RayTriangle(V(0.5f, 0.5f, 1), down, a, b, c, t, u, v));
}

TEST(RaySphere, HitsMissesAndLargeDistances) {
    Sphere s;
    EXPECT_TRUE(s.IsEmpty());
    EXPECT_EQ(s.radius, F(-1));
    EXPECT_FALSE(RaySphere(Vector3::Zero, Vector3::NegUnitZ, s));  // empty never hits

    s.radius = F(1);
    s.centre = V(0, 0, -10);
    EXPECT_TRUE(RaySphere(Vector3::Zero, Vector3::NegUnitZ, s));
    EXPECT_TRUE(RaySphere(V(0.99f, 0, 0), Vector3::NegUnitZ, s));
    EXPECT_FALSE(RaySphere(V(1.01f, 0, 0), Vector3::NegUnitZ, s));
    EXPECT_FALSE(RaySphere(Vector3::Zero, Vector3::UnitX, s));
    EXPECT_TRUE(RaySphere(Vector3::Zero, V(0.09f, 0, -1), s));   // passes 0.9 from the centre
    EXPECT_FALSE(RaySphere(Vector3::Zero, V(0.11f, 0, -1), s));  // passes 1.09 away
    EXPECT_TRUE(RaySphere(V(0, 0, -10.5f), Vector3::UnitY, s));  // origin inside
    s.radius = Fixed::Zero;
    EXPECT_FALSE(RaySphere(V(0, 0, -10), Vector3::UnitY, s));

    // Far beyond the 181.0 where Fixed dot products wrap.
    s.radius = F(5);
    s.centre = V(20000, 0, 0);
    EXPECT_TRUE(RaySphere(V(-10000, 0, 0), Vector3::UnitX, s));
    EXPECT_TRUE(RaySphere(V(-10000, 4, 0), V(300, 0, 0), s));
    EXPECT_FALSE(RaySphere(V(-10000, 6, 0), Vector3::UnitX, s));
    EXPECT_FALSE(RaySphere(V(-10000, 0, 0), Vector3::UnitY, s));
}

TEST(SphereFromPoints, BoundsEveryPoint) {
    EXPECT_TRUE(SphereFromPoints(nullptr, 0).IsEmpty());
    const float one[3] = {1, 2, 3};
    EXPECT_EQ(SphereFromPoints(one, 0).radius, F(-1));

    Sphere s = SphereFromPoints(one, 1);
    EXPECT_EQ(s.centre, V(1, 2, 3));
    EXPECT_EQ(s.radius, Fixed::Zero);

    const std::vector<float> pair = {0, 0, 0, 2, 0, 0};
    s = SphereFromPoints(pair.data(), 2);
    EXPECT_EQ(s.centre, V(1, 0, 0));
    EXPECT_EQ(s.radius, Fixed::One);

    const std::vector<float> octahedron = {1, 0, 0, -1, 0, 0, 0, 1, 0, 0, -1, 0, 0, 0, 1, 0, 0, -1};
    s = SphereFromPoints(octahedron.data(), 6);
    EXPECT_EQ(s.centre, Vector3::Zero);
    EXPECT_EQ(s.radius, Fixed::One);

    // Clouds away from the origin, wider than the Fixed dot-product limit,
    // some entirely beyond 10000.0.
    std::mt19937 gen(11);
    const float origins[][3] = {{0, 0, 0}, {1000, -2000, 500}, {20000, 15000, -18000}, {0.5f, 0.5f, 0.5f}};
    const float spreads[] = {1.0f, 300.0f, 2500.0f, 0.01f};
    for (int k = 0; k < 4; ++k) {
        std::uniform_real_distribution<float> offset(-spreads[k], spreads[k]);
        std::vector<float> xyz;
        for (int i = 0; i < 600; ++i)
            for (int axis = 0; axis < 3; ++axis) xyz.push_back(origins[k][axis] + offset(gen) * (axis == 1 ? 0.3f : 1.0f));
        s = SphereFromPoints(xyz.data(), 600);
        ExpectContainsAll(s, xyz);
        // Ritter's sphere stays close to the optimum (at most the box's half diagonal here).
        EXPECT_LE(s.radius.ToFloat(), spreads[k] * std::sqrt(2.09f) * 1.05f) << k;
        EXPECT_GE(s.radius.ToFloat(), spreads[k] * 0.9f) << k;
    }
}
