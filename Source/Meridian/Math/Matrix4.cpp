#include "Math/Matrix4.h"

#include "Math/MathFunctions.h"

namespace Meridian {

Matrix4 Matrix4::Identity() {
    Matrix4 r;
    r.m[0] = r.m[5] = r.m[10] = r.m[15] = Fixed::One;
    return r;
}

Matrix4 Matrix4::Translation(const Vector3& offset) {
    Matrix4 r = Identity();
    r.m[12] = offset.x;
    r.m[13] = offset.y;
    r.m[14] = offset.z;
    return r;
}

Matrix4 Matrix4::Scaling(const Vector3& scale) {
    Matrix4 r = Identity();
    r.m[0] = scale.x;
    r.m[5] = scale.y;
    r.m[10] = scale.z;
    return r;
}

// Fills the rotation block of the plane (a, b) with [c -s; s c].
static Matrix4 PlaneRotation(int a, int b, Fixed degrees) {
    const Fixed s = Sin(degrees), c = Cos(degrees);
    Matrix4 r = Matrix4::Identity();
    r.At(a, a) = c;
    r.At(a, b) = -s;
    r.At(b, a) = s;
    r.At(b, b) = c;
    return r;
}

Matrix4 Matrix4::RotationX(Fixed degrees) { return PlaneRotation(1, 2, degrees); }
Matrix4 Matrix4::RotationY(Fixed degrees) { return PlaneRotation(2, 0, degrees); }
Matrix4 Matrix4::RotationZ(Fixed degrees) { return PlaneRotation(0, 1, degrees); }

Matrix4 Matrix4::operator*(const Matrix4& o) const {
    Matrix4 r;
    for (int c = 0; c < 4; ++c) {
        for (int row = 0; row < 4; ++row) {
            Fixed sum;
            for (int k = 0; k < 4; ++k) sum += At(row, k) * o.At(k, c);
            r.At(row, c) = sum;
        }
    }
    return r;
}

Vector3 Matrix4::TransformPoint(const Vector3& p) const {
    return {m[0] * p.x + m[4] * p.y + m[8] * p.z + m[12],
            m[1] * p.x + m[5] * p.y + m[9] * p.z + m[13],
            m[2] * p.x + m[6] * p.y + m[10] * p.z + m[14]};
}

Vector3 Matrix4::TransformVector(const Vector3& v) const {
    return {m[0] * v.x + m[4] * v.y + m[8] * v.z,
            m[1] * v.x + m[5] * v.y + m[9] * v.z,
            m[2] * v.x + m[6] * v.y + m[10] * v.z};
}

bool AffineInverse(const Matrix4& in, Matrix4& out) {
    // The six terms of the 3x3 determinant, split by sign so cancellation
    // can be measured.
    Fixed positive, negative;
    auto accumulate = [&](Fixed term) { (term >= Fixed::Zero ? positive : negative) += term; };
    accumulate(in.At(0, 0) * in.At(1, 1) * in.At(2, 2));
    accumulate(in.At(0, 1) * in.At(1, 2) * in.At(2, 0));
    accumulate(in.At(0, 2) * in.At(1, 0) * in.At(2, 1));
    accumulate(-(in.At(0, 2) * in.At(1, 1) * in.At(2, 0)));
    accumulate(-(in.At(0, 1) * in.At(1, 0) * in.At(2, 2)));
    accumulate(-(in.At(0, 0) * in.At(1, 2) * in.At(2, 1)));
    const Fixed det = positive + negative;
    if (det == Fixed::Zero || Absolute(det / (positive - negative)) < Fixed::Epsilon) {
        out = in;
        return false;
    }

    const Fixed inv = Fixed::One / det;
    auto a = [&](int r, int c) { return in.At(r, c); };
    Matrix4 r;
    r.At(0, 0) = (a(1, 1) * a(2, 2) - a(1, 2) * a(2, 1)) * inv;
    r.At(0, 1) = -(a(0, 1) * a(2, 2) - a(0, 2) * a(2, 1)) * inv;
    r.At(0, 2) = (a(0, 1) * a(1, 2) - a(0, 2) * a(1, 1)) * inv;
    r.At(1, 0) = -(a(1, 0) * a(2, 2) - a(1, 2) * a(2, 0)) * inv;
    r.At(1, 1) = (a(0, 0) * a(2, 2) - a(0, 2) * a(2, 0)) * inv;
    r.At(1, 2) = -(a(0, 0) * a(1, 2) - a(0, 2) * a(1, 0)) * inv;
    r.At(2, 0) = (a(1, 0) * a(2, 1) - a(1, 1) * a(2, 0)) * inv;
    r.At(2, 1) = -(a(0, 0) * a(2, 1) - a(0, 1) * a(2, 0)) * inv;
    r.At(2, 2) = (a(0, 0) * a(1, 1) - a(0, 1) * a(1, 0)) * inv;
    const Vector3 t = r.TransformVector({in.m[12], in.m[13], in.m[14]});
    r.m[12] = -t.x;
    r.m[13] = -t.y;
    r.m[14] = -t.z;
    r.m[15] = Fixed::One;
    out = r;
    return true;
}

}  // namespace Meridian
