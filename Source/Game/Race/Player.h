// The glider: its model, shadow and chase camera.
//
// Init builds the nodes on its first call (the glider model from
// "./Data/SkyRail/glider01.msd" with one shared texture shader, a soft shadow
// quad and a camera) and attaches the glider root and the camera transform to
// the given group on every call; Release detaches them again. The race moves
// both transforms every frame (see Race). Missing data files leave an
// invisible or untextured part; the loaders log why.
#pragma once

#include "Scene/Camera.h"
#include "Scene/PolygonGeometry.h"
#include "Scene/Shader.h"
#include "Scene/Transform.h"

class Player : public Meridian::Object {
    MERIDIAN_CLASS(Player, Meridian::Object)

    Player();

    void Init(Meridian::Group* parent);
    void Release();

    Meridian::Ref<Meridian::LookTransform> m_Root;
    Meridian::Ref<Meridian::LookTransform> m_CameraTransform;
    Meridian::Ref<Meridian::Transform> m_Model;
    Meridian::Ref<Meridian::Shader> m_Texture;
    Meridian::Ref<Meridian::Camera> m_Camera;
    Meridian::Ref<Meridian::PolygonGeometry> m_Shadow;

    Meridian::Fixed m_Speed;
    Meridian::Fixed m_LateralSpeed;
    Meridian::Fixed m_TargetX;
    Meridian::Fixed m_X;
    Meridian::Fixed m_Lane;
    Meridian::Fixed m_MaxTilt;
    Meridian::Fixed m_TiltSpeed;
    Meridian::Fixed m_TargetTilt;
    Meridian::Fixed m_Tilt;
    Meridian::Fixed m_ShakeUntil;
    Meridian::Fixed m_FieldOfView;
};
