// Starfield: point-sprite stars streaming towards the viewer behind the
// highway.
//
// Stars are born on a ring of radius 7 .. 15 at the far plane (z -50), fly
// towards +z at 5 .. 10 units per second scaled by the race's speed, grow
// brighter as they come closer, and are born again once they pass the near
// plane (z 30) or fall behind the far one. Positions are kept in 16.16 and
// written into the mesh's float arrays in place; the mesh is never rebuilt.
// Random draws come from the engine generator; Init needs the trigonometric
// tables (InitTables).
// Depends on: Scene/PolygonGeometry, Math.
#pragma once

#include <vector>

#include "Math/Fixed.h"
#include "Math/Vector3.h"
#include "Scene/PolygonGeometry.h"

class Starfield : public Meridian::PolygonGeometry {
    MERIDIAN_CLASS(Starfield, PolygonGeometry)

    struct Star {
        Meridian::Vector3 position;
        Meridian::Vector3 velocity;
        Meridian::Vector3 color;  // r, g, b before the distance brightness
    };

    static constexpr Meridian::I32 DefaultCount = 200;
    static const Meridian::Fixed FarZ;   // -50.0
    static const Meridian::Fixed NearZ;  // 30.0

    Starfield() {}
    ~Starfield() override {}

    // Creates count stars (a negative count means DefaultCount) spread along
    // the field. On a field that already has stars only the primitive type
    // and count are set again (the count never exceeds the stars there are).
    void Init(Meridian::I32 count);
    // Moves every star by velocity x a x b (the race passes a = 2 x speed x
    // frame delta and b = speed).
    void Update(Meridian::Fixed a, Meridian::Fixed b);

    Meridian::I32 GetStarCount() const { return static_cast<Meridian::I32>(m_Stars.size()); }
    const Star& GetStar(Meridian::I32 index) const { return m_Stars[static_cast<size_t>(index)]; }

private:
    void Respawn(size_t index);
    void Advance(size_t index, Meridian::Fixed a, Meridian::Fixed b);

    std::vector<Star> m_Stars;
};
