// Shader: how a Drawable looks. Holds an optional Material, one texture per
// texture unit (units 0 and 1, called passes in messages) and the render
// switches the render device applies before drawing.
//
// Ownership: the shader holds counted references to its material and
// textures; null means none. Many drawables may share one shader.
// Depends on: Memory/Object.h, Math/Fixed.h, Scene/Material.h,
// Scene/Texture.h.
#pragma once

#include "Math/Fixed.h"
#include "Memory/Object.h"
#include "Scene/Material.h"
#include "Scene/Texture.h"

namespace Meridian {

class Shader : public Object {
    MERIDIAN_TAGGED_CLASS(Shader, Object, Tags::Shader)

    enum BlendMode : I32 {
        BlendOpaque = 0,
        BlendAlpha = 1,        // source alpha, one minus source alpha; no depth writes
        BlendAlphaTest = 2,    // drawn where alpha > 0.5
        BlendAdditive = 3,     // one, one; no depth writes
        BlendNoDepthWrite = 4, // opaque colour without depth writes
    };
    enum CombineMode : I32 {
        CombineModulate = 0,   // both units modulate
        CombineAdd = 1,        // unit 1 is added
        CombineCrossFade = 2,  // unit 1 x factor + unit 0 x (1 - factor)
    };
    static const I32 TextureUnits = 2;
    static const I32 LayerCount = 32;  // layers 0 .. 31, drawn in ascending order

    Shader()
        : m_Lighting(1),
          m_BlendMode(BlendOpaque),
          m_Layer(8),
          m_Culling(1),
          m_DepthTest(1),
          m_CombineMode(CombineModulate),
          m_BlendFactor(Fixed::One) {}

    Material* GetMaterial() const { return m_Material; }
    void SetMaterial(Material* material) { m_Material = material; }

    // Units other than 0 and 1 answer null; setting them changes nothing.
    Texture* GetTexture(I32 unit) const { return unit >= 0 && unit < TextureUnits ? m_Textures[unit].Get() : nullptr; }
    void SetTexture(I32 unit, Texture* texture) {
        if (unit >= 0 && unit < TextureUnits) m_Textures[unit] = texture;
    }

    bool GetLighting() const { return m_Lighting != 0; }
    void SetLighting(bool on) { m_Lighting = on ? 1 : 0; }
    I32 GetBlendMode() const { return m_BlendMode; }
    void SetBlendMode(I32 mode) { m_BlendMode = mode; }
    // The draw bucket; the draw traversal expects 0 .. LayerCount - 1.
    I32 GetLayer() const { return m_Layer; }
    void SetLayer(I32 layer) { m_Layer = layer; }
    bool GetCulling() const { return m_Culling != 0; }
    void SetCulling(bool on) { m_Culling = on ? 1 : 0; }
    bool GetDepthTest() const { return m_DepthTest != 0; }
    void SetDepthTest(bool on) { m_DepthTest = on ? 1 : 0; }
    I32 GetCombineMode() const { return m_CombineMode; }
    void SetCombineMode(I32 mode) { m_CombineMode = mode; }
    // Weight of unit 1 in CombineCrossFade, 0 .. 1.0.
    Fixed GetBlendFactor() const { return m_BlendFactor; }
    void SetBlendFactor(Fixed factor) { m_BlendFactor = factor; }

private:
    Ref<Material> m_Material;
    Ref<Texture> m_Textures[TextureUnits];
    U8 m_Lighting;
    I32 m_BlendMode;
    I32 m_Layer;
    U8 m_Culling;
    U8 m_DepthTest;
    I32 m_CombineMode;
    Fixed m_BlendFactor;
};

}  // namespace Meridian
