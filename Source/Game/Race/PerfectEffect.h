// PerfectEffect: a one-second burst of 64 sprites when the player earns the
// perfect-run bonus.
//
// Start scatters the sprites on a shell of radius 1.0 .. 1.5 around the
// node, flying outwards and mostly forwards; Update moves them and fades
// them out over the first 0.75 s, then hides the node after one second of
// accumulated update time. The node's enabled flag tells whether a burst is
// running. Random draws come from the engine generator.
// Depends on: Scene (Group, PolygonGeometry, Shader, Texture), Math (Random).
#pragma once

#include <vector>

#include "Math/Vector3.h"
#include "Scene/Node.h"
#include "Scene/PolygonGeometry.h"
#include "Scene/Texture.h"

class PerfectEffect : public Meridian::Group {
    MERIDIAN_CLASS(PerfectEffect, Group)

    static constexpr Meridian::I32 SpriteCount = 64;

    PerfectEffect();
    ~PerfectEffect() override {}

    // Builds the sprite mesh with the sprite texture (held) and hides the
    // node; later calls do nothing.
    void Init(Meridian::Texture* texture);
    // Starts (or restarts) a burst.
    void Start();
    // Advances a running burst by the frame delta (seconds, at most 1/60 s
    // per call) times the speed factor.
    void Update(Meridian::Fixed speed, Meridian::Fixed delta);

    // Degrees per second, 720 or -720, drawn at each start, for whoever
    // turns the node.
    Meridian::I32 GetSpin() const { return m_Spin; }
    Meridian::Fixed GetElapsed() const { return m_Elapsed; }
    Meridian::PolygonGeometry* GetMesh() const { return m_Mesh; }
    const std::vector<Meridian::Vector3>& GetVelocities() const { return m_Velocities; }

private:
    Meridian::Ref<Meridian::PolygonGeometry> m_Mesh;
    Meridian::Ref<Meridian::Texture> m_Texture;
    Meridian::Fixed m_Elapsed;
    std::vector<Meridian::Vector3> m_Velocities;
    Meridian::I32 m_Spin;
};
