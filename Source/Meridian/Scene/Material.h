// Material: the lighting colours of a Shader.
//
// Colours are four floats r, g, b, a in 0 .. 1; shininess is the specular
// exponent in Fixed, kept within 0 .. 128.0. The render device multiplies the
// diffuse colour by the drawable's colour. Depends on: Memory/Object.h,
// Math/Fixed.h.
#pragma once

#include "Math/Fixed.h"
#include "Memory/Object.h"

namespace Meridian {

class Material : public Object {
    MERIDIAN_TAGGED_CLASS(Material, Object, Tags::Material)

    Material();

    void SetAmbient(F32 r, F32 g, F32 b, F32 a) { Store(m_Ambient, r, g, b, a); }
    void SetDiffuse(F32 r, F32 g, F32 b, F32 a) { Store(m_Diffuse, r, g, b, a); }
    void SetSpecular(F32 r, F32 g, F32 b, F32 a) { Store(m_Specular, r, g, b, a); }
    void SetEmission(F32 r, F32 g, F32 b, F32 a) { Store(m_Emission, r, g, b, a); }
    // Values above 128.0 become 128.0, negative values 0.
    void SetShininess(Fixed shininess);

    // Four floats each, valid as long as the material.
    const F32* GetAmbient() const { return m_Ambient; }
    const F32* GetDiffuse() const { return m_Diffuse; }
    const F32* GetSpecular() const { return m_Specular; }
    const F32* GetEmission() const { return m_Emission; }
    Fixed GetShininess() const { return m_Shininess; }

private:
    static void Store(F32* colour, F32 r, F32 g, F32 b, F32 a) {
        colour[0] = r;
        colour[1] = g;
        colour[2] = b;
        colour[3] = a;
    }

    F32 m_Ambient[4];
    F32 m_Diffuse[4];
    F32 m_Specular[4];
    F32 m_Emission[4];
    Fixed m_Shininess;
};

}  // namespace Meridian
