#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "Math/MathFunctions.h"
#include "Math/Vector3.h"

using namespace Meridian;

namespace {

Fixed F(float v) { return Fixed::FromFloat(v); }
Vector3 V(float x, float y, float z) { return {F(x), F(y), F(z)}; }

}  // namespace

TEST(Vector3, ProductsAndLengthAgainstDoubles) {
    const Vector3 a = V(1, 2, 3), b = V(-4, 0.5f, 2);
    EXPECT_EQ(a.Dot(b), F(3));
    EXPECT_EQ(a.Cross(b), V(2.5f, -14, 8.5f));
    EXPECT_EQ(Vector3::UnitZ.Cross(Vector3::UnitX), Vector3::UnitY);

    // Length from the exact sum of squares, valid far beyond where Dot wraps.
    std::mt19937 gen(5);
    for (int i = 0; i < 2000; ++i) {
        const int32_t raw[3] = {static_cast<int32_t>(gen()) >> (i % 31), static_cast<int32_t>(gen()) >> (i % 17),
                                static_cast<int32_t>(gen()) >> (i % 23)};
        const Vector3 v{Fixed::FromRaw(raw[0]), Fixed::FromRaw(raw[1]), Fixed::FromRaw(raw[2])};
        const double length = std::sqrt(double(raw[0]) * raw[0] + double(raw[1]) * raw[1] + double(raw[2]) * raw[2]);
        ASSERT_NEAR(v.Length().Raw(), std::min(length, double(INT32_MAX)), 1.0) << i;
    }
    EXPECT_EQ(V(0, -300, 400).Length(), F(500));
    EXPECT_EQ(V(-32768, -32768, -32768).Length(), Fixed::Max);
    Vector3 n = V(0, 3, 4);
    n.Normalize();
    EXPECT_NEAR(n.y.ToFloat(), 0.6, 2e-5);
    EXPECT_NEAR(n.z.ToFloat(), 0.8, 2e-5);
    Vector3 zero = Vector3::Zero;
    EXPECT_EQ(zero.Normalize(), Vector3::Zero);
    Vector3f f{3.0f, 0.0f, -4.0f};
    EXPECT_FLOAT_EQ(f.Normalize().z, -0.8f);
}

TEST(RayTriangle, HitMissAndBackFace) {
    const Vector3 a = V(0, 0, 0), b = V(1, 0, 0), c = V(0, 1, 0);  // counter-clockwise seen from +z
    const Vector3 down = V(0, 0, -1);
    Fixed t, u, v;
    ASSERT_TRUE(RayTriangle(V(0.25f, 0.5f, 5), down, a, b, c, t, u, v));
    EXPECT_NEAR(t.ToFloat(), 5.0, 1e-4);
    EXPECT_NEAR(u.ToFloat(), 0.25, 1e-4);
    EXPECT_NEAR(v.ToFloat(), 0.5, 1e-4);
    // An oblique ray: the hit point follows from the barycentric weights.
    ASSERT_TRUE(RayTriangle(V(3, 2, 4), V(-2.6f, -1.7f, -4), V(0, 0, 0), V(2, 0, 0), V(0, 2, 0), t, u, v));
    EXPECT_NEAR(t.ToFloat(), 1.0, 1e-3);
    EXPECT_NEAR(u.ToFloat(), 0.2, 1e-3);
    EXPECT_NEAR(v.ToFloat(), 0.15, 1e-3);
    // Edges count as inside; the same triangle wound the other way is hit from below.
    EXPECT_TRUE(RayTriangle(V(0, 0, 1), down, a, b, c, t, u, v));
    EXPECT_TRUE(RayTriangle(V(0.5f, 0.5f, 1), down, a, b, c, t, u, v));
    EXPECT_TRUE(RayTriangle(V(0.25f, 0.25f, -5), V(0, 0, 1), a, c, b, t, u, v));
    EXPECT_NEAR(t.ToFloat(), 5.0, 1e-4);

    // Misses leave the outputs alone: beyond the hypotenuse, u < 0, v < 0,
    // parallel, back face.
    const Vector3 misses[][2] = {{V(0.75f, 0.75f, 5), down}, {V(-0.1f, 0.5f, 5), down}, {V(0.5f, -0.1f, 5), down},
                                 {V(0.25f, 0.25f, 5), V(1, 0, 0)}, {V(0.25f, 0.25f, -5), V(0, 0, 1)}};
    for (const auto& ray : misses) {
        t = u = v = F(-7);
        EXPECT_FALSE(RayTriangle(ray[0], ray[1], a, b, c, t, u, v)) << ray[0].x.ToFloat();
        EXPECT_TRUE(t == F(-7) && u == F(-7) && v == F(-7));
    }
}

TEST(RaySphere, HitsMissesAndLargeDistances) {
    Sphere s;
    EXPECT_TRUE(s.IsEmpty());
    EXPECT_FALSE(RaySphere(Vector3::Zero, Vector3::NegUnitZ, s));  // empty never hits
    s.radius = Fixed::Zero;
    EXPECT_FALSE(RaySphere(V(0, 0, -10), Vector3::UnitY, s));

    // Unit sphere at -10 on z, then one of radius 5 far beyond the 181.0
    // where Fixed dot products wrap.
    const struct {
        Vector3 centre;
        float radius;
        Vector3 origin, direction;
        bool hit;
    } rays[] = {
        {V(0, 0, -10), 1, Vector3::Zero, Vector3::NegUnitZ, true},
        {V(0, 0, -10), 1, V(0.99f, 0, 0), Vector3::NegUnitZ, true},
        {V(0, 0, -10), 1, V(1.01f, 0, 0), Vector3::NegUnitZ, false},
        {V(0, 0, -10), 1, Vector3::Zero, Vector3::UnitX, false},
        {V(0, 0, -10), 1, Vector3::Zero, V(0.09f, 0, -1), true},   // passes 0.9 from the centre
        {V(0, 0, -10), 1, Vector3::Zero, V(0.11f, 0, -1), false},  // passes 1.09 away
        {V(0, 0, -10), 1, V(0, 0, -10.5f), Vector3::UnitY, true},  // origin inside
        {V(20000, 0, 0), 5, V(-10000, 0, 0), Vector3::UnitX, true},
        {V(20000, 0, 0), 5, V(-10000, 4, 0), V(300, 0, 0), true},
        {V(20000, 0, 0), 5, V(-10000, 6, 0), Vector3::UnitX, false},
        {V(20000, 0, 0), 5, V(-10000, 0, 0), Vector3::UnitY, false},
    };
    for (const auto& ray : rays) {
        s.centre = ray.centre;
        s.radius = F(ray.radius);
        EXPECT_EQ(ray.hit, RaySphere(ray.origin, ray.direction, s)) << ray.origin.x.ToFloat() << " "
                                                                    << ray.origin.y.ToFloat();
    }
}

TEST(SphereFromPoints, BoundsEveryPoint) {
    EXPECT_TRUE(SphereFromPoints(nullptr, 0).IsEmpty());
    const float one[3] = {1, 2, 3};
    EXPECT_EQ(SphereFromPoints(one, 1).centre, V(1, 2, 3));
    EXPECT_EQ(SphereFromPoints(one, 1).radius, Fixed::Zero);
    const std::vector<float> octahedron = {1, 0, 0, -1, 0, 0, 0, 1, 0, 0, -1, 0, 0, 0, 1, 0, 0, -1};
    const Sphere unit = SphereFromPoints(octahedron.data(), 6);
    EXPECT_EQ(unit.centre, Vector3::Zero);
    EXPECT_EQ(unit.radius, Fixed::One);

    // Clouds away from the origin, wider than the Fixed dot-product limit,
    // some entirely beyond 10000.0; distances measured exactly in doubles.
    std::mt19937 gen(11);
    const float origins[][3] = {{0, 0, 0}, {1000, -2000, 500}, {20000, 15000, -18000}, {0.5f, 0.5f, 0.5f}};
    const float spreads[] = {1.0f, 300.0f, 2500.0f, 0.01f};
    for (int k = 0; k < 4; ++k) {
        std::uniform_real_distribution<float> offset(-spreads[k], spreads[k]);
        std::vector<float> xyz;
        for (int i = 0; i < 600; ++i)
            for (int axis = 0; axis < 3; ++axis) xyz.push_back(origins[k][axis] + offset(gen) * (axis == 1 ? 0.3f : 1.0f));
        const Sphere s = SphereFromPoints(xyz.data(), 600);
        const Fixed centre[3] = {s.centre.x, s.centre.y, s.centre.z};
        for (size_t i = 0; i < xyz.size(); i += 3) {
            double squares = 0.0;
            for (int axis = 0; axis < 3; ++axis) {
                const double d = F(xyz[i + axis]).Raw() - static_cast<double>(centre[axis].Raw());
                squares += d * d;
            }
            ASSERT_LE(std::sqrt(squares), s.radius.Raw()) << "cloud " << k << " point " << i / 3;
        }
        // Ritter's sphere stays close to the optimum (at most the box's half diagonal here).
        EXPECT_LE(s.radius.ToFloat(), spreads[k] * std::sqrt(2.09f) * 1.05f) << k;
        EXPECT_GE(s.radius.ToFloat(), spreads[k] * 0.9f) << k;
    }
}
