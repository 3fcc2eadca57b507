// PickupEffect: two glowing chevrons beside the glider that flash in the
// colour of what was just touched.
//
// The race sets the colour every frame (the flash decaying to transparent);
// the outer tips carry it and every other corner stays transparent black, so
// each chevron fades from its tip inwards. The node is shown only while the
// colour's alpha is above 0. Drawn additively in layer 0.
// Depends on: Scene (Group, PolygonGeometry, Shader, Material).
#pragma once

#include "Scene/Node.h"
#include "Scene/PolygonGeometry.h"

class PickupEffect : public Meridian::Group {
    MERIDIAN_CLASS(PickupEffect, Group)

    PickupEffect() {}
    ~PickupEffect() override {}

    // Builds the mesh and its shader ("PickupEffectShader"); later calls do
    // nothing.
    void Init();
    // Colour of the chevron tips (floats 0 .. 1); shows the node when a > 0.
    void SetColor(Meridian::F32 r, Meridian::F32 g, Meridian::F32 b, Meridian::F32 a);

    Meridian::PolygonGeometry* GetMesh() const { return m_Mesh; }

private:
    Meridian::Ref<Meridian::PolygonGeometry> m_Mesh;
};
