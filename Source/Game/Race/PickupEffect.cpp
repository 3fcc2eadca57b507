#include "Race/PickupEffect.h"

#include "Scene/Material.h"
#include "Scene/Shader.h"

using namespace Meridian;

namespace {

// The outer tips of the left and right chevron.
const size_t LeftTip = 2;
const size_t RightTip = 6;

}  // namespace

void PickupEffect::Init() {
    if (m_Mesh) return;

    Shader* shader = New<Shader>();
    shader->SetMaterial(New<Material>());
    shader->SetCulling(false);
    shader->SetBlendMode(Shader::BlendAdditive);
    shader->SetLayer(0);
    shader->SetName("PickupEffectShader");

    m_Mesh = New<PolygonGeometry>();
    m_Mesh->SetParent(this);
    m_Mesh->SetShader(shader);
    m_Mesh->SetStatic(ArrayVertices);

    m_Mesh->SetVertices({{-0.25f, 0.0f, -1.0f},
                         {-1.0f, -0.9f, -1.0f},
                         {-1.15f, 0.0f, -1.0f},
                         {-1.0f, 0.9f, -1.0f},
                         {0.25f, 0.0f, -1.0f},
                         {1.0f, -0.9f, -1.0f},
                         {1.15f, 0.0f, -1.0f},
                         {1.0f, 0.9f, -1.0f}});
    m_Mesh->SetColors(std::vector<Float4>(8, Float4{0.0f, 0.0f, 0.0f, 0.0f}));
    m_Mesh->SetPrimitiveType(PrimitiveTriangles);
    m_Mesh->SetIndices({0, 1, 2, 0, 2, 3, 4, 5, 6, 4, 6, 7});
}

void PickupEffect::SetColor(F32 r, F32 g, F32 b, F32 a) {
    SetEnabled(a > 0.0f ? 1 : 0);
    if (!m_Mesh) return;
    std::vector<Float4>& colors = m_Mesh->GetData()->m_Colors;
    if (colors.size() <= RightTip) return;
    colors[LeftTip] = {r, g, b, a};
    colors[RightTip] = {r, g, b, a};
    m_Mesh->MarkDirty(ArrayColors);
}
