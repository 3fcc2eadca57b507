#include "Scene/Transform.h"

#include "Math/MathFunctions.h"

namespace Meridian {

namespace {

const Vector3 Zero3 = {Fixed::Zero, Fixed::Zero, Fixed::Zero};
const Vector3 One3 = {Fixed::One, Fixed::One, Fixed::One};

U16 UpdateBit(U16 content, U16 bit, bool set) { return set ? (content | bit) : (content & ~bit); }

void SetTranslationColumn(Matrix4& m, const Vector3& t) {
    m.m[12] = t.x;
    m.m[13] = t.y;
    m.m[14] = t.z;
}

Vector3 Normalized(Vector3 v) {
    v.Normalize();
    return v;
}

}  // namespace

Transform::Transform()
    : m_Translation(Zero3),
      m_Rotation(Zero3),
      m_Scaling(One3),
      m_Orientation(Zero3),
      m_LocalMatrix(Matrix4::Identity()),
      m_RotationOrder(0),
      m_Dirty(0x7F),
      m_WorldMatrix(Matrix4::Identity()),
      m_WorldFrame(0xFFFFFFFFu),
      m_Content(0) {}

void Transform::SetTranslation(const Vector3& translation) {
    m_Translation = translation;
    m_Dirty |= DirtyTranslation;
    m_Content = UpdateBit(m_Content, HasTranslation, translation != Zero3);
}

void Transform::SetRotation(const Vector3& degrees) {
    m_Rotation = degrees;
    m_Dirty |= DirtyRotation;
    m_Content = UpdateBit(m_Content, HasRotation, degrees != Zero3);
}

void Transform::SetScaling(const Vector3& scaling) {
    m_Scaling = scaling;
    m_Dirty |= DirtyScaling;
    m_Content = UpdateBit(m_Content, HasScaling, scaling != One3);
}

void Transform::SetOrientation(const Vector3& degrees) {
    m_Orientation = degrees;
    m_Dirty |= DirtyOrientation;
    m_Content = UpdateBit(m_Content, HasOrientation, degrees != Zero3);
}

void Transform::SetRotationOrder(I32 order) {
    m_RotationOrder = order;
    m_Dirty |= DirtyRotation;
}

Matrix4 Transform::RotationMatrix(const Vector3& degrees, I32 order) {
    const Matrix4 x = Matrix4::RotationX(degrees.x);
    const Matrix4 y = Matrix4::RotationY(degrees.y);
    const Matrix4 z = Matrix4::RotationZ(degrees.z);
    switch (order) {
        case 1: return y * z * x;
        case 2: return x * z * y;
        case 3: return z * x * y;
        case 4: return y * x * z;
        case 5: return x * y * z;
        default: return z * y * x;
    }
}

void Transform::UpdateLocalMatrix() {
    if (!m_Dirty) return;
    m_Dirty = 0;
    switch (m_Content) {
        case 0:
            m_LocalMatrix = Matrix4::Identity();
            break;
        case HasTranslation:
            m_LocalMatrix = Matrix4::Translation(m_Translation);
            break;
        case HasRotation:
            m_LocalMatrix = RotationMatrix(m_Rotation, m_RotationOrder);
            break;
        case HasRotation | HasTranslation:
            m_LocalMatrix = RotationMatrix(m_Rotation, m_RotationOrder);
            SetTranslationColumn(m_LocalMatrix, m_Translation);
            break;
        case HasScaling:
            m_LocalMatrix = Matrix4::Scaling(m_Scaling);
            break;
        default:
            m_LocalMatrix = Matrix4::Translation(m_Translation) * RotationMatrix(m_Orientation, 0) *
                            RotationMatrix(m_Rotation, m_RotationOrder) * Matrix4::Scaling(m_Scaling);
            break;
    }
}

LookTransform::LookTransform() : m_Target(Zero3), m_Up(Vector3::UnitY), m_Offset(Zero3) { m_Content |= IsLook; }

void LookTransform::SetTarget(const Vector3& target) {
    m_Target = target;
    m_Dirty |= DirtyTarget;
}

void LookTransform::SetUp(const Vector3& up) {
    m_Up = up;
    m_Dirty |= DirtyUp;
}

void LookTransform::SetOffset(const Vector3& offset) {
    m_Offset = offset;
    m_Dirty |= DirtyOffset;
    m_Content = UpdateBit(m_Content, HasOffset, offset != Zero3);
}

void LookTransform::UpdateLocalMatrix() {
    if (!m_Dirty || m_Target == m_Translation) return;
    m_Dirty = 0;

    // Columns: X = up x Z, Y = Z x X, Z towards the target; position = translation.
    const Vector3 z = Normalized(m_Target - m_Translation);
    const Vector3 x = Normalized(m_Up.Cross(z));
    const Vector3 y = Normalized(z.Cross(x));
    Matrix4 look = Matrix4::Identity();
    look.m[0] = x.x, look.m[1] = x.y, look.m[2] = x.z;
    look.m[4] = y.x, look.m[5] = y.y, look.m[6] = y.z;
    look.m[8] = z.x, look.m[9] = z.y, look.m[10] = z.z;
    SetTranslationColumn(look, m_Translation);

    const U16 content = m_Content & ~IsLook;
    if (content == HasTranslation || content == 0) {
        m_LocalMatrix = look;
    } else if (content == (HasTranslation | HasOffset)) {
        m_LocalMatrix = look;
        SetTranslationColumn(m_LocalMatrix, m_Translation + m_Offset);
    } else if (content == (HasTranslation | HasRotation | HasOffset) || content == (HasTranslation | HasRotation)) {
        m_LocalMatrix = look * RotationMatrix(m_Rotation, m_RotationOrder);
        SetTranslationColumn(m_LocalMatrix, m_Translation + m_Offset);
    } else {
        // General case: scale, then rotate in the aimed frame, then aim; the
        // offset moves the result in the parent's frame.
        m_LocalMatrix = look * RotationMatrix(m_Orientation, 0) * RotationMatrix(m_Rotation, m_RotationOrder) *
                        Matrix4::Scaling(m_Scaling);
        SetTranslationColumn(m_LocalMatrix, m_Translation + m_Offset);
    }
}

}  // namespace Meridian
