// Transform nodes: groups with a local transformation.
//
// Transform     translation, Euler rotation (degrees, one of six orders),
//               scaling and a second Euler "orientation" applied after the
//               rotation. Setters mark dirty bits; the local matrix is rebuilt
//               lazily by UpdateLocalMatrix. The world matrix is written by the
//               draw traversal (world = parent world x local) together with the
//               traversal's frame number.
// LookTransform aims its local Z axis from its translation at a target point,
//               with an up vector and an offset added after the aim.
#pragma once

#include "Math/Vector3.h"
#include "Scene/Node.h"

namespace Meridian {

class Transform : public Group {
    MERIDIAN_TAGGED_CLASS(Transform, Group, Tags::Transform)

    enum DirtyBits : U16 {
        DirtyTranslation = 1,
        DirtyRotation = 2,
        DirtyScaling = 4,
        DirtyOrientation = 8,
        DirtyTarget = 16,
        DirtyUp = 32,
        DirtyOffset = 64,
    };
    enum ContentBits : U16 {
        HasTranslation = 1,
        HasRotation = 2,
        HasScaling = 4,
        HasOrientation = 8,
        IsLook = 16,
        HasOffset = 32,
    };

    Transform();

    virtual void UpdateLocalMatrix();

    void SetTranslation(const Vector3& translation);
    void SetRotation(const Vector3& degrees);
    void SetScaling(const Vector3& scaling);
    void SetOrientation(const Vector3& degrees);
    void SetRotationOrder(I32 order);  // 0..5, see RotationMatrix
    const Vector3& GetTranslation() const { return m_Translation; }
    const Vector3& GetRotation() const { return m_Rotation; }
    const Vector3& GetScaling() const { return m_Scaling; }
    const Vector3& GetOrientation() const { return m_Orientation; }
    I32 GetRotationOrder() const { return m_RotationOrder; }

    const Matrix4& GetLocalMatrix() {
        UpdateLocalMatrix();
        return m_LocalMatrix;
    }
    const Matrix4& GetWorldMatrix() const { return m_WorldMatrix; }
    Vector3 GetWorldPosition() const { return {m_WorldMatrix.m[12], m_WorldMatrix.m[13], m_WorldMatrix.m[14]}; }
    void SetWorldMatrix(const Matrix4& world, U32 frame) {
        m_WorldMatrix = world;
        m_WorldFrame = frame;
    }
    U32 GetWorldFrame() const { return m_WorldFrame; }
    U16 GetDirtyBits() const { return m_Dirty; }
    U16 GetContentBits() const { return m_Content; }

    // The rotation matrix of Euler angles (x, y, z degrees) in one of the six
    // orders: 0 Rz.Ry.Rx, 1 Ry.Rz.Rx, 2 Rx.Rz.Ry, 3 Rz.Rx.Ry, 4 Ry.Rx.Rz, 5 Rx.Ry.Rz
    // (column vectors, the rightmost applied first).
    static Matrix4 RotationMatrix(const Vector3& degrees, I32 order);

protected:
    Vector3 m_Translation;
    Vector3 m_Rotation;
    Vector3 m_Scaling;
    Vector3 m_Orientation;
    Matrix4 m_LocalMatrix;
    I32 m_RotationOrder;
    U16 m_Dirty;
    Matrix4 m_WorldMatrix;
    U32 m_WorldFrame;
    U16 m_Content;
};

class LookTransform : public Transform {
    MERIDIAN_TAGGED_CLASS(LookTransform, Transform, Tags::LookTransform)

    LookTransform();

    void UpdateLocalMatrix() override;

    void SetTarget(const Vector3& target);
    void SetUp(const Vector3& up);
    void SetOffset(const Vector3& offset);
    const Vector3& GetTarget() const { return m_Target; }
    const Vector3& GetUp() const { return m_Up; }
    const Vector3& GetOffset() const { return m_Offset; }

private:
    Vector3 m_Target;
    Vector3 m_Up;
    Vector3 m_Offset;
};

}  // namespace Meridian
