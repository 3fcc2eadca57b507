// PolygonData: the arrays of one mesh, shared by PolygonGeometry and the
// render device.
//
// An engine object held by exactly one PolygonGeometry (counted reference)
// and released with it. Arrays are single-precision floats as the device
// uploads them; dirty bits say which arrays changed since the last upload,
// static bits which arrays the device should upload as static buffers (both
// use ArrayBits). The render handle is attached by the device on first draw.
// SkinGeometry also keeps its weight sets and bind matrices here.
// Depends on: Memory/Object.h, Math (Fixed, Matrix4, Sphere),
// Render/RenderHandles.h.
#pragma once

#include <vector>

#include "Math/MathFunctions.h"
#include "Math/Matrix4.h"
#include "Memory/Object.h"
#include "Render/RenderHandles.h"

namespace Meridian {

struct Float2 {
    F32 u, v;
};
struct Float3 {
    F32 x, y, z;
};
struct Float4 {
    F32 r, g, b, a;
};
static_assert(sizeof(Float2) == 8 && sizeof(Float3) == 12 && sizeof(Float4) == 16,
              "vertex elements are packed floats, uploaded as they are");

enum ArrayBits : U32 {
    ArrayVertices = 1,
    ArrayIndices = 2,
    ArrayNormals = 4,
    ArrayColors = 8,
    ArrayTexCoords0 = 16,
    ArrayTexCoords1 = 32,
    ArrayAll = 63,
};

enum PrimitiveType : I32 {
    PrimitiveTriangles = 0,     // count = indices / 3
    PrimitiveStrip = 1,         // count = indices - 2
    PrimitiveFan = 2,           // count = indices - 2
    PrimitiveLines = 3,         // count = indices / 2
    PrimitivePointSprites = 4,  // no indices; the owner sets the count of vertices drawn
};

// Vertices moved by one skin joint, with their weights (parallel lists).
struct WeightSet {
    std::vector<I32> indices;
    std::vector<Fixed> weights;
};

class PolygonData : public Object {
    MERIDIAN_CLASS(PolygonData, Object)

    PolygonData() : m_Dirty(0), m_Static(0), m_PrimitiveType(PrimitiveTriangles), m_PrimitiveCount(0) {}

    std::vector<U16> m_Indices;
    std::vector<Float3> m_Vertices;
    std::vector<Float3> m_Normals;
    std::vector<Float2> m_TexCoords[2];
    std::vector<Float4> m_Colors;
    U32 m_Dirty;
    U32 m_Static;
    I32 m_PrimitiveType;
    I32 m_PrimitiveCount;
    Ref<RenderPolygonHandle> m_RenderHandle;
    Sphere m_BoundingSphere;  // radius -1.0 (empty) until vertices are set

    // Skinning (SkinGeometry only): one weight set and one bind matrix
    // (column-major Fixed) per joint.
    std::vector<WeightSet> m_WeightSets;
    std::vector<Matrix4> m_BindMatrices;
};

}  // namespace Meridian
