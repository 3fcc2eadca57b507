#include <gtest/gtest.h>

#include <algorithm>
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

// A matrix as doubles, row-major, for independent reference maths.
struct Reference {
    double a[4][4];
    explicit Reference(const Matrix4& m) {
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) a[r][c] = m.m[c * 4 + r].Raw() / 65536.0;
    }
    double Product(const Reference& o, int r, int c) const {
        double sum = 0;
        for (int k = 0; k < 4; ++k) sum += a[r][k] * o.a[k][c];
        return sum;
    }
};

Matrix4 SampleTransform() {
    return Matrix4::Translation(V(12.5f, -3.25f, 40.0f)) * Matrix4::RotationZ(F(30.0f)) *
           Matrix4::RotationX(F(-50.0f)) * Matrix4::RotationY(F(115.0f)) * Matrix4::Scaling(V(2.0f, 0.5f, 1.5f));
}

}  // namespace

TEST_F(Matrix, LayoutAndBasicTransforms) {
    // Column-major: the translation sits in elements 12 to 14.
    const Matrix4 t = Matrix4::Translation(V(1, 2, 3));
    EXPECT_TRUE(t.m[12] == F(1) && t.m[13] == F(2) && t.m[14] == F(3) && t.m[15] == Fixed::One);
    EXPECT_EQ(t.TransformPoint(V(1, 1, 1)), V(2, 3, 4));
    EXPECT_EQ(t.TransformVector(V(1, 1, 1)), V(1, 1, 1));
    EXPECT_EQ(Matrix4::Scaling(V(2, 3, 4)).TransformPoint(V(1, -1, 0.5f)), V(2, -3, 2));

    // Right-handed rotations by +90 degrees turn each axis into the next.
    EXPECT_EQ(Matrix4::RotationZ(F(90)).TransformVector(Vector3::UnitX), Vector3::UnitY);
    EXPECT_EQ(Matrix4::RotationX(F(90)).TransformVector(Vector3::UnitY), Vector3::UnitZ);
    EXPECT_EQ(Matrix4::RotationY(F(90)).TransformVector(Vector3::UnitZ), Vector3::UnitX);
    EXPECT_EQ(Matrix4::RotationZ(F(90)).m[4], -Fixed::One);  // row 0, column 1 = -sin
}

TEST_F(Matrix, ProductMatchesDoubleArithmetic) {
    const Matrix4 a = SampleTransform();
    const Matrix4 b = Matrix4::RotationY(F(-20.0f)) * Matrix4::Translation(V(-7.0f, 1.5f, 0.25f));
    const Matrix4 p = a * b;
    const Reference ra(a), rb(b);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)  // four truncations
            EXPECT_NEAR(p.At(r, c).Raw(), ra.Product(rb, r, c) * 65536.0, 4.0) << r << "," << c;
}

TEST_F(Matrix, AffineInverseChecksOutInDoublesAndRefusesSingularMatrices) {
    const Matrix4 m = SampleTransform();
    Matrix4 inv;
    ASSERT_TRUE(AffineInverse(m, inv));
    const Reference rm(m), rinv(inv);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(rm.Product(rinv, r, c), r == c ? 1.0 : 0.0, 2e-3) << r << "," << c;
    Matrix4 same = m;  // in place gives the same result
    ASSERT_TRUE(AffineInverse(same, same));
    EXPECT_TRUE(std::equal(same.m, same.m + 16, inv.m));

    // A rigid motion inverts to the transposed rotation (TransformPoint's rotation part, exactly).
    const Matrix4 rigid = Matrix4::Translation(V(0, 0, -5)) * Matrix4::RotationY(F(90));
    ASSERT_TRUE(AffineInverse(rigid, inv));
    EXPECT_EQ(inv.TransformPoint(V(1, 0, -5)), Vector3::UnitZ);

    // Singular matrices are refused and copied.
    const Matrix4 flat = Matrix4::Translation(V(1, 2, 3)) * Matrix4::Scaling(V(1, 0, 1));
    EXPECT_FALSE(AffineInverse(flat, inv));
    EXPECT_TRUE(std::equal(flat.m, flat.m + 16, inv.m));

    // Rows (1 1 0) and (1 1+eps 0): det is 1 raw against products of 2.0, below the sums' precision.
    Matrix4 nearly = Matrix4::Identity();
    nearly.At(0, 1) = Fixed::One;
    nearly.At(1, 0) = Fixed::One;
    nearly.At(1, 1) = Fixed::One + Fixed::Epsilon;
    EXPECT_FALSE(AffineInverse(nearly, inv));
    EXPECT_TRUE(std::equal(nearly.m, nearly.m + 16, inv.m));
    // The same shape with a real gap inverts.
    nearly.At(1, 1) = Fixed::FromInt(2);
    EXPECT_TRUE(AffineInverse(nearly, inv));
    EXPECT_EQ(inv.At(0, 0), Fixed::FromInt(2));
    EXPECT_EQ(inv.At(0, 1), -Fixed::One);
}
