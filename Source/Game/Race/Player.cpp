#include "Race/Player.h"

#include "Core/DataFolder.h"
#include "Core/Log.h"
#include "Import/ImportMSD.h"
#include "Scene/ShaderHelpers.h"

using namespace Meridian;

namespace {

// Gives every drawable under node the shader and marks its arrays static.
void ApplyShader(Node* node, Shader* shader) {
    if (Drawable* drawable = Cast<Drawable>(node)) drawable->SetShader(shader);
    if (PolygonGeometry* mesh = Cast<PolygonGeometry>(node)) mesh->SetStatic(0xFFFFFFFFu);
    if (Group* group = Cast<Group>(node))
        for (U32 i = 0; i < group->GetChildCount(); ++i) ApplyShader(group->GetChild(i), shader);
}

Vector3 V(F32 x, F32 y, F32 z) { return {Fixed::FromFloat(x), Fixed::FromFloat(y), Fixed::FromFloat(z)}; }

}  // namespace

Player::Player()
    : m_LateralSpeed(Fixed::FromInt(40)),
      m_MaxTilt(Fixed::FromInt(20)),
      m_TiltSpeed(Fixed::FromInt(160)),
      m_ShakeUntil(-Fixed::One),
      m_FieldOfView(Fixed::FromInt(50)) {}

void Player::Init(Group* parent) {
    LogD() << "Player::Init";
    m_Speed = m_TargetX = m_X = m_Lane = m_TargetTilt = m_Tilt = Fixed::Zero;
    m_LateralSpeed = Fixed::FromInt(40);
    m_MaxTilt = Fixed::FromInt(20);
    m_TiltSpeed = Fixed::FromInt(160);
    m_ShakeUntil = -Fixed::One;
    m_FieldOfView = Fixed::FromInt(50);

    if (!m_Root) {
        m_Root = New<LookTransform>();
        m_Root->SetName("PlayerRoot");
        m_CameraTransform = New<LookTransform>();
        m_CameraTransform->SetName("PlayerCameraTransform");
        m_Camera = New<Camera>();
        m_Camera->SetName("PlayerCamera");
        m_Camera->SetFieldOfView(m_FieldOfView);
        m_Camera->SetParent(m_CameraTransform);

        m_Texture = CreateTextureShader(DataFile("SkyRail/glider01.png").c_str(), false, Shader::BlendOpaque);
        m_Model = ImportMSD(DataFile("SkyRail/glider01.msd").c_str(), 0);
        if (m_Model) {
            // The model's own transform carries its placement and bank.
            Ref<Transform> holder = New<Transform>();
            holder->SetName("PlayerModel");
            m_Model->SetParent(holder);
            ApplyShader(m_Model, m_Texture);
            m_Model = holder;
            m_Model->SetTranslation(V(0.0f, 0.3f, 0.0f));
            m_Model->SetRotation(V(0.0f, 180.0f, 0.0f));
            m_Model->SetParent(m_Root);
        }

        m_Shadow = New<PolygonGeometry>();
        m_Shadow->SetName("PlayerShadow");
        m_Shadow->SetVertices({{-1.7f, 0.15f, -0.7f}, {-1.7f, 0.15f, 1.3f}, {1.7f, 0.15f, -0.7f}, {1.7f, 0.15f, 1.3f}});
        m_Shadow->SetTexCoords(0, {{0.0f, 0.0f}, {0.0f, 1.0f}, {1.0f, 0.0f}, {1.0f, 1.0f}});
        m_Shadow->SetPrimitiveType(PrimitiveTriangles);
        m_Shadow->SetIndices({0, 1, 2, 1, 3, 2});
        m_Shadow->SetStatic(0xFFFFFFFFu);
        const std::string shadowFile = DataFile("SkyRail/glider01shadow.png");
        if (Shader* shadow = CreateTextureShader(shadowFile.c_str(), false, Shader::BlendOpaque)) {
            shadow->SetBlendMode(Shader::BlendAlpha);
            m_Shadow->SetShader(shadow);
        }
        m_Shadow->SetParent(m_Root);
    }
    m_Camera->SetFieldOfView(m_FieldOfView);
    m_CameraTransform->SetParent(parent);
    m_Root->SetParent(parent);
}

void Player::Release() {
    if (m_Root) m_Root->SetParent(nullptr);
    if (m_CameraTransform) m_CameraTransform->SetParent(nullptr);
}
