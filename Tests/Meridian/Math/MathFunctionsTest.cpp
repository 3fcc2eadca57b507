#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "Math/MathFunctions.h"
#include "Math/Vector3.h"

using namespace Meridian;

namespace {

Fixed F(float v) { return Fixed::FromFloat(v); }
Vector3 V(float x, float y, float z) { return {F(x), F(y), F(z)}; }

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
        EXPECT_EQ(Sin(F(q[0])).Raw(), q[1] * 65536) << q[0];
        EXPECT_EQ(Cos(F(q[0])).Raw(), q[2] * 65536) << q[0];
    }
    EXPECT_EQ(Tan(F(0)).Raw(), 0);
    EXPECT_EQ(Tan(F(45)).Raw(), 65536);
    EXPECT_EQ(Tan(F(-45)), Tan(F(315)));
    const int32_t tan90 = Tan(F(90)).Raw();
    EXPECT_TRUE(tan90 == INT32_MAX || tan90 == INT32_MIN) << tan90;  // clamped, not wrapped

    // One entry per 720 raw (360/32768 degrees), no interpolation; the wrap puts -1 raw on the last entry.
    EXPECT_EQ(Sin(Fixed::FromRaw(719)).Raw(), 0);
    EXPECT_EQ(Sin(Fixed::FromRaw(720)).Raw(), 12);  // sin(0.011 deg) = 12.57 raw
    EXPECT_EQ(Sin(Fixed::FromRaw(-1)).Raw(), -12);
    EXPECT_EQ(Sin(Fixed::FromInt(32760)).Raw(), 0);  // 91 full turns
    EXPECT_EQ(Sin(Fixed::FromInt(-32760)).Raw(), 0);
    EXPECT_EQ(Sin(Fixed::Max), Sin(Fixed::FromRaw(INT32_MAX % (360 << 16))));
    EXPECT_EQ(Cos(Fixed::FromRaw(INT32_MIN)), Cos(Fixed::FromInt(-32768 + 91 * 360)));

    // Elsewhere within one table step (at most 12.6 raw) plus truncation of the true functions.
    for (double d = -725.0; d <= 725.0; d += 0.37) {
        const Fixed angle = F(static_cast<float>(d));
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

TEST(Vector3, ProductsAndLengthAgainstDoubles) {
    const Vector3 a = V(1, 2, 3), b = V(-4, 0.5f, 2);
    EXPECT_EQ(a.Dot(b), F(3));
    EXPECT_EQ(a.Cross(b), V(2.5f, -14, 8.5f));
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
    // Corners and edges count as inside; wound the other way, it is hit from below.
    EXPECT_TRUE(RayTriangle(V(0, 0, 1), down, a, b, c, t, u, v));
    EXPECT_TRUE(RayTriangle(V(0.5f, 0.5f, 1), down, a, b, c, t, u, v));
    EXPECT_TRUE(RayTriangle(V(0.25f, 0.25f, -5), V(0, 0, 1), a, c, b, t, u, v));
    EXPECT_NEAR(t.ToFloat(), 5.0, 1e-4);

    // Misses leave the outputs alone: beyond the hypotenuse, u < 0, v < 0, parallel, back face.
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

    // Unit sphere at -10 on z, then one of radius 5 far beyond the 181.0 where Fixed dot products wrap.
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
        EXPECT_EQ(ray.hit, RaySphere(ray.origin, ray.direction, s)) << &ray - rays;
    }
}

TEST(SphereFromPoints, BoundsEveryPoint) {
    EXPECT_TRUE(SphereFromPoints(nullptr, 0).IsEmpty());
    const std::vector<float> octahedron = {1, 0, 0, -1, 0, 0, 0, 1, 0, 0, -1, 0, 0, 0, 1, 0, 0, -1};
    const Sphere unit = SphereFromPoints(octahedron.data(), 6);
    EXPECT_EQ(unit.centre, Vector3::Zero);
    EXPECT_EQ(unit.radius, Fixed::One);

    // Clouds away from the origin, wider than the Fixed dot-product limit, some entirely beyond 10000.0;
    // distances measured exactly in doubles.
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
