// 4x4 matrices of Fixed in the graphics library's fixed-point layout.
//
// Column-major: element (row r, column c) sits at m[c * 4 + r]; the
// translation is m[12], m[13], m[14] and m[15] is 1.0 for affine matrices,
// so m can be handed to glLoadMatrixx as it is. Points are column vectors:
// x' = m0·x + m4·y + m8·z + m12, and so on.
//
// Depends on: Math/Fixed.h, Math/Vector3.h; the rotations read the sine and
// cosine tables, so they need InitTables (Math/MathFunctions.h) first.
// Limits: every product is a Fixed multiplication and every sum wraps like
// Fixed; rotations are exact to the tables' 0.011-degree steps.
#pragma once

#include "Math/Fixed.h"
#include "Math/Vector3.h"

namespace Meridian {

struct Matrix4 {
    Fixed m[16];

    static Matrix4 Identity();
    static Matrix4 Translation(const Vector3& offset);
    static Matrix4 Scaling(const Vector3& scale);
    static Matrix4 RotationX(Fixed degrees);  // rows [1 0 0; 0 c -s; 0 s c]
    static Matrix4 RotationY(Fixed degrees);  // rows [c 0 s; 0 1 0; -s 0 c]
    static Matrix4 RotationZ(Fixed degrees);  // rows [c -s 0; s c 0; 0 0 1]

    Fixed& At(int row, int column) { return m[column * 4 + row]; }
    Fixed At(int row, int column) const { return m[column * 4 + row]; }

    // this × other: applying the result applies other first, then this.
    Matrix4 operator*(const Matrix4& other) const;
    Vector3 TransformPoint(const Vector3& p) const;   // with translation
    Vector3 TransformVector(const Vector3& v) const;  // upper 3x3 only
};

static_assert(sizeof(Matrix4) == 64, "Matrix4 is sixteen packed Fixed values");

// Inverse of an affine matrix (3x3 part plus translation, bottom row 0 0 0 1).
// The determinant of the 3x3 part is summed from its positive and negative
// products separately; when it is 0, or so small against their spread that
// |det / (positive - negative)| is below Fixed::Epsilon, the matrix counts as
// singular: out becomes a copy of in and the result is false. Otherwise out
// gets the inverse and the result is true. in and out may be the same object.
bool AffineInverse(const Matrix4& in, Matrix4& out);

}  // namespace Meridian
