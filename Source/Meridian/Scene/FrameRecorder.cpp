#include "Scene/FrameRecorder.h"

#include <algorithm>
#include <cstring>

#include "Scene/Light.h"
#include "Scene/PolygonGeometry.h"
#include "Scene/Shader.h"
#include "Scene/Texture2D.h"
#include "Scene/Transform.h"

namespace Meridian {

namespace {

const U64 HashStart = 14695981039346656037ull;

const U64 HashPrime = 1099511628211ull;

// A hash of a whole array, eight bytes at a step.
U64 HashBytes(U64 hash, const void* data, size_t bytes) {
    const U8* p = static_cast<const U8*>(data);
    size_t i = 0;
    for (; i + 8 <= bytes; i += 8) {
        U64 word;
        std::memcpy(&word, p + i, 8);
        hash = (hash ^ word) * HashPrime;
        hash ^= hash >> 29;
    }
    for (; i < bytes; ++i) hash = (hash ^ p[i]) * HashPrime;
    return hash;
}

void ToFloats(const Matrix4& matrix, F32* out) {
    for (int i = 0; i < 16; ++i) out[i] = matrix.m[i].ToFloat();
}

// out = a x b, column-major.
void Multiply(const F32* a, const F32* b, F32* out) {
    for (int column = 0; column < 4; ++column)
        for (int row = 0; row < 4; ++row) {
            F32 sum = 0.0f;
            for (int k = 0; k < 4; ++k) sum += a[k * 4 + row] * b[column * 4 + k];
            out[column * 4 + row] = sum;
        }
}

void Unite(F32* rect, const F32* other) {
    if (other[0] > other[2] || other[1] > other[3]) return;
    if (rect[0] > rect[2] || rect[1] > rect[3]) {
        std::copy(other, other + 4, rect);
        return;
    }
    rect[0] = std::min(rect[0], other[0]);
    rect[1] = std::min(rect[1], other[1]);
    rect[2] = std::max(rect[2], other[2]);
    rect[3] = std::max(rect[3], other[3]);
}

}  // namespace

void FrameRecorder::Mix(const void* data, size_t bytes) {
    const U8* p = static_cast<const U8*>(data);
    U64& hash = *m_Target;
    for (size_t i = 0; i < bytes; ++i) hash = (hash ^ p[i]) * HashPrime;
}

void FrameRecorder::Begin(Render* device) {
    m_Device = device;
    m_Picture.m_Entries.clear();
    m_State = m_Shader = m_Picture.m_FrameHash = HashStart;
    m_Target = &m_State;
    m_View = m_Projection = Matrix4::Identity();
    m_PreviousContents.swap(m_Contents);
    m_Contents.clear();
}

void FrameRecorder::End() { m_Device = nullptr; }

U64 FrameRecorder::ContentOf(PolygonGeometry* mesh) {
    const void* key = mesh->GetData();
    if (mesh->GetDirtyBits() == 0) {
        auto known = m_PreviousContents.find(key);
        if (known != m_PreviousContents.end()) return m_Contents[key] = known->second;
    }
    U64 hash = HashStart;
    hash = HashBytes(hash, mesh->GetVertexData(), static_cast<size_t>(mesh->GetVertexCount()) * sizeof(Float3));
    hash = HashBytes(hash, mesh->GetIndexData(), static_cast<size_t>(mesh->GetIndexCount()) * sizeof(U16));
    hash = HashBytes(hash, mesh->GetNormalData(), static_cast<size_t>(mesh->GetNormalCount()) * sizeof(Float3));
    hash = HashBytes(hash, mesh->GetColorData(), static_cast<size_t>(mesh->GetColorCount()) * sizeof(Float4));
    for (I32 set = 0; set < 2; ++set)
        hash = HashBytes(hash, mesh->GetTexCoordData(set),
                         static_cast<size_t>(mesh->GetTexCoordCount(set)) * sizeof(Float2));
    return m_Contents[key] = hash;
}

void FrameRecorder::GetAspectRatio(Fixed& aspect) {
    if (m_Device)
        m_Device->GetAspectRatio(aspect);
    else
        aspect = Fixed::FromRaw(87381);
}

void FrameRecorder::SetClearColor(F32 r, F32 g, F32 b, F32 a) {
    const F32 color[4] = {r, g, b, a};
    MixValue(color);
}

void FrameRecorder::SetClearDepth(Fixed depth) { MixValue(depth); }

void FrameRecorder::Clear(U32 flags) {
    MixValue(flags);
    m_Picture.m_FrameHash = (m_Picture.m_FrameHash ^ m_State) * HashPrime;
}

void FrameRecorder::SetViewMatrix(const Matrix4& view) {
    m_View = view;
    MixValue(view);
}

void FrameRecorder::SetProjectionMatrix(const Matrix4& projection) {
    m_Projection = projection;
    MixValue(projection);
}

void FrameRecorder::SetAmbientLight(const F32* rgba) { Mix(rgba, 4 * sizeof(F32)); }

void FrameRecorder::SetLights(I32 count) { MixValue(count); }

void FrameRecorder::SetLight(I32 index, Light* light, const Matrix4& world) {
    MixValue(index);
    MixValue(light);
    if (!light) return;
    MixValue(light->GetLightType());
    Mix(light->GetColor(), 3 * sizeof(F32));
    MixValue(world);
}

void FrameRecorder::SetFog(Fog* fog) {
    MixValue(fog);
    if (!fog) return;
    MixValue(fog->GetMode());
    Mix(fog->GetColor(), 4 * sizeof(F32));
    MixValue(fog->GetDensity());
    MixValue(fog->GetStart());
    MixValue(fog->GetEnd());
}

void FrameRecorder::SetShader(Shader* shader, const F32* rgba) {
    // The shader's values as they are now, whatever came before.
    m_Shader = HashStart;
    m_Target = &m_Shader;
    SetShaderValues(shader, rgba);
    m_Target = &m_State;
}

void FrameRecorder::SetShaderValues(Shader* shader, const F32* rgba) {
    MixValue(rgba != nullptr);
    if (rgba) Mix(rgba, 4 * sizeof(F32));
    MixValue(shader);
    if (!shader) return;
    const Material* material = shader->GetMaterial();
    MixValue(material);
    if (material) {
        Mix(material->GetAmbient(), 4 * sizeof(F32));
        Mix(material->GetDiffuse(), 4 * sizeof(F32));
        Mix(material->GetSpecular(), 4 * sizeof(F32));
        Mix(material->GetEmission(), 4 * sizeof(F32));
        MixValue(material->GetShininess());
    }
    for (I32 unit = 0; unit < Shader::TextureUnits; ++unit) {
        Texture* texture = shader->GetTexture(unit);
        MixValue(texture);
        if (!texture) continue;
        MixValue(texture->GetMipmapMode());
        MixValue(texture->GetMagLinear());
        MixValue(texture->GetMinLinear());
        Transform* transform = texture->GetTransform();
        MixValue(transform);
        if (transform) MixValue(transform->GetLocalMatrix());
        if (Texture2D* texture2D = Cast<Texture2D>(texture)) {
            Image* image = texture2D->GetImage();
            MixValue(image);
            if (image) {
                MixValue(image->GetWidth());
                MixValue(image->GetHeight());
                MixValue(image->GetFormat());
                MixValue(image->GetPixels());
            }
        }
    }
    MixValue(shader->GetLighting());
    MixValue(shader->GetBlendMode());
    MixValue(shader->GetCulling());
    MixValue(shader->GetDepthTest());
    MixValue(shader->GetCombineMode());
    MixValue(shader->GetBlendFactor());
}

void FrameRecorder::SetRenderTarget(RenderTarget* target) {
    MixValue(target);
    m_Picture.m_FrameHash = (m_Picture.m_FrameHash ^ m_State) * HashPrime;
}

void FrameRecorder::DrawNode(Drawable* drawable, const Matrix4& world) {
    U64 hash = m_State;
    m_Target = &hash;
    MixValue(m_Shader);
    MixValue(drawable);
    MixValue(world);
    Entry entry = {0, false, {1.0f, 1.0f, -1.0f, -1.0f}};
    if (drawable) drawable->UpdateDrawable();
    if (PolygonGeometry* mesh = Cast<PolygonGeometry>(drawable)) {
        const I32 counts[] = {mesh->GetPrimitiveType(), mesh->GetPrimitiveCount(),  mesh->GetVertexCount(),
                              mesh->GetIndexCount(),    mesh->GetNormalCount(),     mesh->GetColorCount(),
                              mesh->GetTexCoordCount(0), mesh->GetTexCoordCount(1)};
        MixValue(counts);
        MixValue(ContentOf(mesh));

        F32 projection[16], view[16], model[16], pv[16], m[16];
        ToFloats(m_Projection, projection);
        ToFloats(m_View, view);
        ToFloats(world, model);
        Multiply(projection, view, pv);
        Multiply(pv, model, m);
        entry.m_Flat = mesh->GetPrimitiveType() != PrimitivePointSprites && m[3] == 0.0f && m[7] == 0.0f &&
                       m[11] == 0.0f && m[15] == 1.0f;
        const Float3* vertices = mesh->GetVertexData();
        const I32 count = vertices ? mesh->GetVertexCount() : 0;
        for (I32 i = 0; entry.m_Flat && i < count; ++i) {
            const Float3& v = vertices[i];
            const F32 point[4] = {m[0] * v.x + m[4] * v.y + m[8] * v.z + m[12],
                                  m[1] * v.x + m[5] * v.y + m[9] * v.z + m[13], 0.0f, 0.0f};
            const F32 rect[4] = {point[0], point[1], point[0], point[1]};
            Unite(entry.m_Rect, rect);
        }
    }
    entry.m_Hash = hash;
    m_Picture.m_Entries.push_back(entry);
    m_Target = &m_State;
}

FrameRecorder::Difference FrameRecorder::Compare(const Picture& shown, const Picture& now) {
    Difference difference;
    if (shown.m_FrameHash != now.m_FrameHash || shown.m_Entries.size() != now.m_Entries.size()) {
        difference.m_Kind = Difference::Whole;
        return difference;
    }
    F32 rect[4] = {1.0f, 1.0f, -1.0f, -1.0f};
    for (size_t i = 0; i < now.m_Entries.size(); ++i) {
        const Entry& after = now.m_Entries[i];
        const Entry& before = shown.m_Entries[i];
        if (after.m_Hash == before.m_Hash) continue;
        if (!after.m_Flat || !before.m_Flat) {
            difference.m_Kind = Difference::Whole;
            return difference;
        }
        difference.m_Kind = Difference::Part;
        Unite(rect, after.m_Rect);
        Unite(rect, before.m_Rect);
    }
    // Entries that changed but cover nothing, before and after, change
    // nothing either.
    if (difference.m_Kind == Difference::Part && (rect[0] > rect[2] || rect[1] > rect[3]))
        difference.m_Kind = Difference::None;
    std::copy(rect, rect + 4, difference.m_Rect);
    return difference;
}

}  // namespace Meridian
