// PolygonGeometry: the engine's drawable mesh.
//
// A Drawable that owns one PolygonData (arrays of positions, normals, two
// texture-coordinate sets, colours and u16 indices) and hands it to the
// render device, which reads the mesh only through the count and data
// accessors (GetIndexCount, GetVertexCount, GetNormalCount, GetColorCount,
// GetTexCoordCount, Get*Data, GetPrimitiveCount), so subclasses that
// override them change what is drawn. Each setter copies its array and sets
// the array's dirty bit; the device uploads dirty arrays and clears the bits
// (SetDirtyBits(0)). Game code fills a mesh with SetVertices, SetNormals,
// SetTexCoords, SetColors, then SetPrimitiveType and SetIndices (the
// primitive count follows from the type in force then), and calls SetStatic
// for arrays that will not change.
//
// Units: positions in world units as floats; engine code converts Fixed by
// x 1/65536 and back by x 65536 with truncation. Data pointers are null for
// an empty array and valid until the array is next set.
// Depends on: Scene/Drawable.h, Scene/PolygonData.h, Math.
// Limits: 65536 addressable vertices (u16 indices).
#pragma once

#include <vector>

#include "Scene/Drawable.h"
#include "Scene/PolygonData.h"

namespace Meridian {

class PolygonGeometry : public Drawable {
    MERIDIAN_TAGGED_CLASS(PolygonGeometry, Drawable, Tags::PolygonGeometry)

    PolygonGeometry();  // with a fresh PolygonData
    ~PolygonGeometry() override {}

    // Copies the indices, sets ArrayIndices dirty and recomputes the primitive
    // count from the primitive type: triangles n/3, strip and fan n-2 (below 1
    // for fewer than three indices: nothing is drawn), lines n/2, others 0.
    virtual void SetIndices(const std::vector<U16>& indices);
    virtual void GetIndices(std::vector<U16>& out) const;
    virtual I32 GetIndexCount() const;
    // Copies the positions, sets ArrayVertices dirty and recomputes the
    // bounding sphere over all of them (see BoundsOf; positions beyond its
    // reach log a warning).
    virtual void SetVertices(const std::vector<Float3>& vertices);
    virtual void GetVertices(std::vector<Float3>& out) const;
    virtual I32 GetVertexCount() const;
    virtual void SetNormals(const std::vector<Float3>& normals);
    virtual void GetNormals(std::vector<Float3>& out) const;
    virtual I32 GetNormalCount() const;
    virtual void SetColors(const std::vector<Float4>& colors);
    virtual void GetColors(std::vector<Float4>& out) const;
    virtual I32 GetColorCount() const;
    // Set 0 or 1 (dirty bit ArrayTexCoords0 << set); other sets are ignored,
    // count 0, data null.
    virtual void SetTexCoords(I32 set, const std::vector<Float2>& coords);
    virtual void GetTexCoords(I32 set, std::vector<Float2>& out) const;
    virtual I32 GetTexCoordCount(I32 set) const;
    virtual const Float2* GetTexCoordData(I32 set) const;
    virtual const U16* GetIndexData() const;
    virtual const Float3* GetVertexData() const;
    virtual const Float4* GetColorData() const;
    virtual const Float3* GetNormalData() const;
    virtual I32 GetPrimitiveCount() const;
    // Radius below 1/65536 means empty.
    virtual const Sphere* GetBoundingSphere() const;

    // PrimitiveType; stored only, the count follows at the next SetIndices.
    I32 GetPrimitiveType() const { return m_Data->m_PrimitiveType; }
    void SetPrimitiveType(I32 type) { m_Data->m_PrimitiveType = type; }
    // For point sprites and partial draws; call after SetIndices.
    void SetPrimitiveCount(I32 count) { m_Data->m_PrimitiveCount = count; }

    // ArrayBits. SetStatic ORs bits in (SetStatic(-1) marks everything).
    void SetStatic(U32 bits) { m_Data->m_Static |= bits; }
    void ClearStatic(U32 bits) { m_Data->m_Static &= ~bits; }
    bool IsStatic(U32 bit) const { return (m_Data->m_Static & bit) != 0; }
    U32 GetStaticBits() const { return m_Data->m_Static; }
    U32 GetDirtyBits() const { return m_Data->m_Dirty; }
    // Replaces the dirty word (the device clears it after uploading, or sets
    // every bit when its buffers were lost).
    void SetDirtyBits(U32 bits) { m_Data->m_Dirty = bits; }
    void MarkDirty(U32 bits) { m_Data->m_Dirty |= bits; }

    // The device's handle (null until first drawn); the old one is released.
    RenderPolygonHandle* GetRenderHandle() const { return m_Data->m_RenderHandle; }
    void SetRenderHandle(RenderPolygonHandle* handle) { m_Data->m_RenderHandle = handle; }

    // Ray test of the line origin + t * direction (Fixed, mesh space) against
    // the mesh: -1 when there are no indices or vertices, 0 for no hit
    // (bounding sphere missed, no triangle hit, or a primitive type other than
    // triangles and strip, which logs a debug line), 1 when a triangle is hit;
    // then t, u, v are RayTriangle's values for the first triangle in index
    // order that hits (not the nearest). Back faces are not hit. Triangles
    // naming a vertex beyond the vertex count are skipped.
    I32 Intersect(const Vector3& origin, const Vector3& direction, Fixed& t, Fixed& u, Fixed& v) const;

    // Writes "<name>.obj" (positions, texture set 0, one-based faces whose
    // texture index equals the vertex index; no normals). Only triangle lists
    // are exported. Returns false after one error line.
    bool ExportObj(const char* name) const;

    // The arrays themselves, for subclasses and the device; never null.
    PolygonData* GetData() const { return m_Data; }

    // Bounding sphere of points. Points spread MaxSpread or more along an
    // axis, or with a coordinate that large or not finite, are beyond what
    // the Fixed sphere routine can measure: the result is then the unbounded
    // sphere (centre 0, radius Fixed::Max), which every ray test passes.
    static Sphere BoundsOf(const std::vector<Float3>& points);
    static const F32 MaxSpread;
    // Makes this node draw another node's arrays (many nodes showing one
    // mesh share its data and its device buffers); null is ignored.
    void ShareData(PolygonData* data) {
        if (data) m_Data = data;
    }

protected:
    Ref<PolygonData> m_Data;
};

}  // namespace Meridian
