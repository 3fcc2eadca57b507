// Drawable: a scene leaf the render device can draw. It holds its Shader (may
// be null: drawn with the device's defaults in layer 8) and a colour that
// modulates the shader's material. UpdateDrawable runs before every draw so
// that meshes can rebuild themselves lazily.
#pragma once

#include "Scene/Node.h"

namespace Meridian {

class Shader;

class Drawable : public Node {
    MERIDIAN_TAGGED_CLASS(Drawable, Node, Tags::Drawable)

    Drawable() : m_Color{1.0f, 1.0f, 1.0f, 1.0f} {}

    virtual void UpdateDrawable() {}

    void SetShader(Shader* shader) { m_Shader = shader; }
    Shader* GetShader() const { return m_Shader; }
    void SetColor(F32 r, F32 g, F32 b, F32 a) {
        m_Color[0] = r;
        m_Color[1] = g;
        m_Color[2] = b;
        m_Color[3] = a;
    }
    const F32* GetColor() const { return m_Color; }

private:
    Ref<Shader> m_Shader;
    F32 m_Color[4];
};

}  // namespace Meridian
