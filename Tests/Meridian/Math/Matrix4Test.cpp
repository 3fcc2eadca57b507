#include <gtest/gtest.h>

#include <cmath>

#include "Math/MathFunctions.h"
#include "Math/Matrix4.h"

using namespace Meridian;

namespace {

class Matrix : public testing::Test {
protected:
    void SetUp() override { InitTables(); }
    void TearDown() override { ReleaseTables(); }
};

Fixed F(float v) { return Fixed::FromFloat(v); }
Vector3 V(float x, float y, float z) { return {F(x), F(y), F(z)}; }

// The 4x4 matrix as doubles, row-major, for independent reference maths.
struct Reference {
    double a[4][4];
    explicit Reference(const Matrix4& m) {
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) a[r][c] = m.m[c * 4 + r].Raw() / 65536.0;
    }
};

// Inverse of a general 4x4 matrix by Gauss-Jordan elimination with pivoting.
Reference Invert(Reference m) {
    Reference inv = m;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) inv.a[r][c] = r == c ? 1.0 : 0.0;
    for (int col = 0; col < 4; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 4; ++r)
            if (std::fabs(m.a[r][col]) > std::fabs(m.a[pivot][col])) pivot = r;
        std::swap(m.a[col], m.a[pivot]);
        std::swap(inv.a[col], inv.a[pivot]);
        const double p = m.a[col][col];
        for (int c = 0; c < 4; ++c) {
            m.a[col][c] /= p;
            inv.a[col][c] /= p;
        }
        for (int r = 0; r < 4; ++r) {
            if (r == col) continue;
            const double f = m.a[r][col];
            for (int c = 0; c < 4; ++c) {
                m.a[r][c] -= f * m.a[col][c];
                inv.a[r][c] -= f * inv.a[col][c];
            }
        }
    }
    return inv;
}

Matrix4 SampleTransform() {
    return Matrix4::Translation(V(12.5f, -3.25f, 40.0f)) * Matrix4::RotationZ(F(30.0f)) *
           Matrix4::RotationX(F(-50.0f)) * Matrix4::RotationY(F(115.0f)) * Matrix4::Scaling(V(2.0f, 0.5f, 1.5f));
}

}  // namespace

TEST_F(Matrix, LayoutAndBasicTransforms) {
    const Matrix4 t = Matrix4::Translation(V(1, 2, 3));
    EXPECT_EQ(t.m[12], Fixed::FromInt(1));
    EXPECT_EQ(t.m[13], Fixed::FromInt(2));
    EXPECT_EQ(t.m[14], Fixed::FromInt(3));
    EXPECT_EQ(t.m[15], Fixed::One);
    EXPECT_EQ(t.TransformPoint(V(1, 1, 1)), V(2, 3, 4));
    EXPECT_EQ(t.TransformVector(V(1, 1, 1)), V(1, 1, 1));
    EXPECT_EQ(Matrix4::Scaling(V(2, 3, 4)).TransformPoint(V(1, -1, 0.5f)), V(2, -3, 2));

    // Right-handed rotations by +90 degrees turn each axis into the next.
    EXPECT_EQ(Matrix4::RotationZ(F(90)).TransformVector(Vector3::UnitX), Vector3::UnitY);
    EXPECT_EQ(Matrix4::RotationX(F(90)).TransformVector(Vector3::UnitY), Vector3::UnitZ);
    EXPECT_EQ(Matrix4::RotationY(F(90)).TransformVector(Vector3::UnitZ), Vector3::UnitX);
    EXPECT_EQ(Matrix4::RotationZ(F(90)).m[4], -Fixed::One);  // row 0, column 1 = -sin
    EXPECT_EQ(Matrix4::RotationX(F(-90)).TransformVector(Vector3::UnitY), Vector3::NegUnitZ);

    const Matrix4 id = Matrix4::Identity();
    for (int i = 0; i < 16; ++i) EXPECT_EQ(id.m[i], (i % 5 == 0) ? Fixed::One : Fixed::Zero) << i;
}

TEST_F(Matrix, ProductMatchesDoubleArithmetic) {
    const Matrix4 a = SampleTransform();
    const Matrix4 b = Matrix4::RotationY(F(-20.0f)) * Matrix4::Translation(V(-7.0f, 1.5f, 0.25f));
    const Matrix4 p = a * b;
    const Reference ra(a), rb(b);
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            double expected = 0;
            for (int k = 0; k < 4; ++k) expected += ra.a[r][k] * rb.a[k][c];
            EXPECT_NEAR(p.At(r, c).Raw(), expected * 65536.0, 4.0) << r << "," << c;  // four truncations
        }
    }
    // Composition order: (a * b) applied to a point applies b first.
    const Vector3 q = V(1.0f, 2.0f, 3.0f);
    const Vector3 viaProduct = p.TransformPoint(q), stepwise = a.TransformPoint(b.TransformPoint(q));
    EXPECT_NEAR(viaProduct.x.Raw(), stepwise.x.Raw(), 16);
    EXPECT_NEAR(viaProduct.y.Raw(), stepwise.y.Raw(), 16);
    EXPECT_NEAR(viaProduct.z.Raw(), stepwise.z.Raw(), 16);
}

TEST_F(Matrix, AffineInverseMatchesDoubleInverse) {
    const Matrix4 m = SampleTransform();
    Matrix4 inv;
    ASSERT_TRUE(AffineInverse(m, inv));
    const Reference expected = Invert(Reference(m));
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(inv.At(r, c).ToFloat(), expected.a[r][c], 2e-3 * (1.0 + std::fabs(expected.a[r][c])))
                << r << "," << c;

    const Matrix4 round = m * inv;
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(round.m[i].ToFloat(), (i % 5 == 0) ? 1.0 : 0.0, 2e-3) << i;

    // In place gives the same result.
    Matrix4 same = m;
    ASSERT_TRUE(AffineInverse(same, same));
    for (int i = 0; i < 16; ++i) EXPECT_EQ(same.m[i], inv.m[i]) << i;

    // A pure rigid motion inverts to the transposed rotation.
    const Matrix4 rigid = Matrix4::Translation(V(0, 0, -5)) * Matrix4::RotationY(F(90));
    ASSERT_TRUE(AffineInverse(rigid, inv));
    EXPECT_EQ(inv.TransformPoint(V(0, 0, -5)), Vector3::Zero);
    EXPECT_EQ(inv.TransformPoint(V(1, 0, -5)), Vector3::UnitZ);
}

TEST_F(Matrix, SingularMatricesAreCopied) {
    Matrix4 out = Matrix4::Translation(V(9, 9, 9));
    const Matrix4 flat = Matrix4::Translation(V(1, 2, 3)) * Matrix4::Scaling(V(1, 0, 1));
    EXPECT_FALSE(AffineInverse(flat, out));
    for (int i = 0; i < 16; ++i) EXPECT_EQ(out.m[i], flat.m[i]) << i;

    // Rows (1 1 0) and (1 1+eps 0): det is 1 raw against products of 2.0,
    // far below the relative precision of the sums.
    Matrix4 nearly = Matrix4::Identity();
    nearly.At(0, 1) = Fixed::One;
    nearly.At(1, 0) = Fixed::One;
    nearly.At(1, 1) = Fixed::One + Fixed::Epsilon;
    EXPECT_FALSE(AffineInverse(nearly, out));
    for (int i = 0; i < 16; ++i) EXPECT_EQ(out.m[i], nearly.m[i]) << i;

    // The same shape with a real gap inverts.
    nearly.At(1, 1) = Fixed::FromInt(2);
    EXPECT_TRUE(AffineInverse(nearly, out));
    EXPECT_EQ(out.At(0, 0), Fixed::FromInt(2));
    EXPECT_EQ(out.At(0, 1), -Fixed::One);
}
