// Camera node. The draw traversal fills the view matrix (inverse of the
// parent transform's world matrix) and the projection from the field of view
// (degrees), near and far planes and the camera type. A camera looks along the
// local Z axis of its parent transform, the axis a LookTransform aims at its
// target. The render target is null for the screen.
#pragma once

#include "Scene/Node.h"

namespace Meridian {

class RenderTarget;

class Camera : public Node {
    MERIDIAN_TAGGED_CLASS(Camera, Node, Tags::Camera)

    enum Type { Perspective = 0, Orthographic = 1 };

    Camera()
        : m_FieldOfView(Fixed::FromInt(60)),
          m_Near(Fixed::One),
          m_Far(Fixed::FromInt(1000)),
          m_Type(Perspective),
          m_ViewMatrix(Matrix4::Identity()),
          m_ProjectionMatrix(Matrix4::Identity()) {}

    void SetFieldOfView(Fixed degrees) { m_FieldOfView = degrees; }
    Fixed GetFieldOfView() const { return m_FieldOfView; }
    void SetNear(Fixed value) { m_Near = value; }
    Fixed GetNear() const { return m_Near; }
    void SetFar(Fixed value) { m_Far = value; }
    Fixed GetFar() const { return m_Far; }
    void SetCameraType(I32 type) { m_Type = type; }
    I32 GetCameraType() const { return m_Type; }
    void SetRenderTarget(RenderTarget* target) { m_RenderTarget = target; }
    RenderTarget* GetRenderTarget() const { return m_RenderTarget; }

    Matrix4& ViewMatrix() { return m_ViewMatrix; }
    Matrix4& ProjectionMatrix() { return m_ProjectionMatrix; }

private:
    Fixed m_FieldOfView;
    Fixed m_Near;
    Fixed m_Far;
    I32 m_Type;
    Ref<RenderTarget> m_RenderTarget;
    Matrix4 m_ViewMatrix;
    Matrix4 m_ProjectionMatrix;
};

}  // namespace Meridian
