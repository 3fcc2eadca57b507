// Light and fog nodes. Light type 0 is ambient (summed by the draw traversal);
// the render device interprets the others (1 directional along the parent's
// Z axis, 2 positional).
#pragma once

#include "Core/Log.h"
#include "Scene/Node.h"

namespace Meridian {

class Light : public Node {
    MERIDIAN_TAGGED_CLASS(Light, Node, Tags::Light)

    enum Type { Ambient = 0, Directional = 1, Point = 2 };

    Light() : m_Color{0.0f, 0.0f, 0.0f}, m_LightType(Ambient) {}
    ~Light() override { LogD() << "~Light"; }

    void SetColor(F32 r, F32 g, F32 b) {
        m_Color[0] = r;
        m_Color[1] = g;
        m_Color[2] = b;
    }
    const F32* GetColor() const { return m_Color; }
    void SetLightType(I32 type) { m_LightType = type; }
    I32 GetLightType() const { return m_LightType; }

private:
    F32 m_Color[3];
    I32 m_LightType;
};

class Fog : public Node {
    MERIDIAN_TAGGED_CLASS(Fog, Node, Tags::Fog)

    enum Mode { Linear = 0, Exponential = 1, ExponentialSquared = 2 };

    Fog() : m_Mode(Linear), m_Color{0.0f, 0.0f, 0.0f, 0.0f}, m_End(Fixed::One) {}

    void SetMode(I32 mode) { m_Mode = mode; }
    I32 GetMode() const { return m_Mode; }
    void SetDensity(Fixed density) { m_Density = density; }
    Fixed GetDensity() const { return m_Density; }
    void SetColor(F32 r, F32 g, F32 b, F32 a) {
        m_Color[0] = r;
        m_Color[1] = g;
        m_Color[2] = b;
        m_Color[3] = a;
    }
    const F32* GetColor() const { return m_Color; }
    void SetStart(Fixed start) { m_Start = start; }
    Fixed GetStart() const { return m_Start; }
    void SetEnd(Fixed end) { m_End = end; }
    Fixed GetEnd() const { return m_End; }

private:
    I32 m_Mode;
    Fixed m_Density;
    F32 m_Color[4];
    Fixed m_Start;
    Fixed m_End;
};

}  // namespace Meridian
