#include "Race/PerfectEffect.h"

#include <cmath>

#include "Math/Random.h"
#include "Scene/Material.h"
#include "Scene/Shader.h"

using namespace Meridian;

namespace {

const Fixed MaxDelta = Fixed::FromRaw(1092);  // 1/60 s
const Float4 HighlightBlue = {0.3490196f, 0.7529412f, 0.8745098f, 1.0f};

Fixed Fx(F32 value) { return Fixed::FromFloat(value); }

}  // namespace

PerfectEffect::PerfectEffect() : m_Elapsed(Fixed::Zero), m_Spin(720) {}

void PerfectEffect::Init(Texture* texture) {
    if (m_Mesh) return;
    m_Texture = texture;

    Shader* shader = New<Shader>();
    Material* material = New<Material>();
    material->SetDiffuse(1.0f, 1.0f, 1.0f, 1.0f);
    shader->SetMaterial(material);
    shader->SetCulling(false);
    shader->SetLayer(24);
    shader->SetBlendMode(Shader::BlendAdditive);
    shader->SetDepthTest(false);
    shader->SetTexture(0, texture);

    m_Mesh = New<PolygonGeometry>();
    m_Mesh->SetPrimitiveType(PrimitivePointSprites);
    m_Mesh->SetShader(shader);
    m_Mesh->SetParent(this);

    std::vector<Float3> vertices(SpriteCount);
    for (Float3& vertex : vertices) {
        const F32 x = RandomRange(Fixed::FromInt(-10), Fixed::FromInt(10)).ToFloat();
        const F32 y = RandomRange(Fixed::FromInt(-10), Fixed::FromInt(10)).ToFloat();
        vertex = {x, y, -30.0f};
    }
    m_Mesh->SetVertices(vertices);
    m_Mesh->SetColors(std::vector<Float4>(SpriteCount, Float4{1.0f, 1.0f, 1.0f, 1.0f}));
    m_Velocities.assign(SpriteCount, Vector3::Zero);
    m_Mesh->SetPrimitiveCount(SpriteCount);
    SetEnabled(0);
}

void PerfectEffect::Start() {
    if (!m_Mesh) return;
    SetEnabled(1);
    m_Elapsed = Fixed::Zero;
    m_Spin = (RandomInt31() & 1) ? -720 : 720;

    std::vector<Float3>& vertices = m_Mesh->GetData()->m_Vertices;
    for (size_t i = 0; i < vertices.size() && i < m_Velocities.size(); ++i) {
        // Outwards, slightly up and mostly forwards.
        const F32 x = RandomRange(Fixed::FromInt(-1), Fixed::One).ToFloat();
        const F32 y = RandomRange(Fixed::Zero, Fixed::FromRaw(3276)).ToFloat();
        const F32 z = RandomRange(Fixed::FromRaw(16384), Fixed::FromInt(-1)).ToFloat();
        F32 dx = x, dy = y, dz = z;
        const F32 squared = dx * dx + dy * dy + dz * dz;
        if (!(squared >= 0.99999976f && squared <= 1.0000002f)) {
            const F32 length = std::sqrt(squared);
            if (length > 0.0f) dx /= length, dy /= length, dz /= length;
        }
        const Fixed speed = RandomRange(Fixed::One, Fixed::FromRaw(98304));
        const F32 s = speed.ToFloat();
        vertices[i] = {s * dx, s * dy, s * dz};
        const Vector3 direction = {Fx(dx), Fx(dy), Fx(dz)};
        m_Velocities[i] = direction * speed * Fixed::FromInt(25);
    }
    m_Mesh->MarkDirty(ArrayVertices | ArrayColors);
}

void PerfectEffect::Update(Fixed speed, Fixed delta) {
    if (!IsEnabled() || !m_Mesh) return;
    if (delta > MaxDelta) delta = MaxDelta;

    // Fades out over the first 0.75 s; below 0 the sprites draw as nothing.
    const F32 fade = (Fixed::One - Fixed::FromInt(4) * m_Elapsed / Fixed::FromInt(3)).ToFloat();
    PolygonData* data = m_Mesh->GetData();
    for (size_t i = 0; i < data->m_Vertices.size() && i < m_Velocities.size(); ++i) {
        Float3& vertex = data->m_Vertices[i];
        const Vector3 step = m_Velocities[i] * delta * speed;
        vertex = {(Fx(vertex.x) + step.x).ToFloat(), (Fx(vertex.y) + step.y).ToFloat(),
                  (Fx(vertex.z) + step.z).ToFloat()};
        if (i < data->m_Colors.size()) {
            const Float4 tint = (i % 2 == 0) ? Float4{1.0f, 1.0f, 1.0f, 1.0f} : HighlightBlue;
            data->m_Colors[i] = {tint.r * fade, tint.g * fade, tint.b * fade, tint.a * fade};
        }
    }
    m_Elapsed += delta;
    if (m_Elapsed >= Fixed::One) SetEnabled(0);
    m_Mesh->MarkDirty(ArrayVertices | ArrayColors);
}
