#include "Scene/PolygonGeometry.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "Core/Log.h"

namespace Meridian {

namespace {

template <class T>
const T* DataOf(const std::vector<T>& array) {
    return array.empty() ? nullptr : array.data();
}

I32 CountOf(size_t size) { return static_cast<I32>(size); }

Vector3 ToFixed(const Float3& p) {
    return {Fixed::FromFloat(p.x), Fixed::FromFloat(p.y), Fixed::FromFloat(p.z)};
}

bool ValidSet(I32 set) { return set == 0 || set == 1; }

}  // namespace

PolygonGeometry::PolygonGeometry() : m_Data(New<PolygonData>()) {}

void PolygonGeometry::SetIndices(const std::vector<U16>& indices) {
    m_Data->m_Dirty |= ArrayIndices;
    m_Data->m_Indices = indices;
    const I32 n = CountOf(indices.size());
    switch (m_Data->m_PrimitiveType) {
        case PrimitiveTriangles: m_Data->m_PrimitiveCount = n / 3; break;
        case PrimitiveStrip:
        case PrimitiveFan: m_Data->m_PrimitiveCount = n - 2; break;
        case PrimitiveLines: m_Data->m_PrimitiveCount = n / 2; break;
        default: m_Data->m_PrimitiveCount = 0; break;
    }
}

void PolygonGeometry::GetIndices(std::vector<U16>& out) const { out = m_Data->m_Indices; }
I32 PolygonGeometry::GetIndexCount() const { return CountOf(m_Data->m_Indices.size()); }

void PolygonGeometry::SetVertices(const std::vector<Float3>& vertices) {
    m_Data->m_Dirty |= ArrayVertices;
    m_Data->m_Vertices = vertices;
    m_Data->m_BoundingSphere = BoundsOf(vertices);
    if (m_Data->m_BoundingSphere.radius == Fixed::Max)
        LogW() << "PolygonGeometry::SetVertices: vertices " << MaxSpread
               << " or more apart, bounding sphere unbounded.";
}

const F32 PolygonGeometry::MaxSpread = 32767.0f;

Sphere PolygonGeometry::BoundsOf(const std::vector<Float3>& points) {
    // SphereFromPoints measures distances exactly only below 32768.0, and
    // points must lie in the Fixed range.
    F32 low[3] = {0, 0, 0}, high[3] = {0, 0, 0};
    bool bounded = true;
    for (size_t i = 0; i < points.size() && bounded; ++i) {
        const F32 c[3] = {points[i].x, points[i].y, points[i].z};
        for (int axis = 0; axis < 3; ++axis) {
            if (!(std::fabs(c[axis]) < MaxSpread)) bounded = false;  // also NaN
            if (i == 0 || c[axis] < low[axis]) low[axis] = c[axis];
            if (i == 0 || c[axis] > high[axis]) high[axis] = c[axis];
            if (!(high[axis] - low[axis] < MaxSpread)) bounded = false;
        }
    }
    if (!bounded) {
        Sphere all;
        all.radius = Fixed::Max;
        all.centre = Vector3::Zero;
        return all;
    }
    return SphereFromPoints(points.empty() ? nullptr : &points[0].x, CountOf(points.size()));
}

void PolygonGeometry::GetVertices(std::vector<Float3>& out) const { out = m_Data->m_Vertices; }
I32 PolygonGeometry::GetVertexCount() const { return CountOf(m_Data->m_Vertices.size()); }

void PolygonGeometry::SetNormals(const std::vector<Float3>& normals) {
    m_Data->m_Dirty |= ArrayNormals;
    m_Data->m_Normals = normals;
}

void PolygonGeometry::GetNormals(std::vector<Float3>& out) const { out = m_Data->m_Normals; }
I32 PolygonGeometry::GetNormalCount() const { return CountOf(m_Data->m_Normals.size()); }

void PolygonGeometry::SetColors(const std::vector<Float4>& colors) {
    m_Data->m_Dirty |= ArrayColors;
    m_Data->m_Colors = colors;
}

void PolygonGeometry::GetColors(std::vector<Float4>& out) const { out = m_Data->m_Colors; }
I32 PolygonGeometry::GetColorCount() const { return CountOf(m_Data->m_Colors.size()); }

void PolygonGeometry::SetTexCoords(I32 set, const std::vector<Float2>& coords) {
    if (!ValidSet(set)) return;
    m_Data->m_Dirty |= ArrayTexCoords0 << set;
    m_Data->m_TexCoords[set] = coords;
}

void PolygonGeometry::GetTexCoords(I32 set, std::vector<Float2>& out) const {
    if (ValidSet(set))
        out = m_Data->m_TexCoords[set];
    else
        out.clear();
}

I32 PolygonGeometry::GetTexCoordCount(I32 set) const {
    return ValidSet(set) ? CountOf(m_Data->m_TexCoords[set].size()) : 0;
}

const Float2* PolygonGeometry::GetTexCoordData(I32 set) const {
    return ValidSet(set) ? DataOf(m_Data->m_TexCoords[set]) : nullptr;
}

const U16* PolygonGeometry::GetIndexData() const { return DataOf(m_Data->m_Indices); }
const Float3* PolygonGeometry::GetVertexData() const { return DataOf(m_Data->m_Vertices); }
const Float4* PolygonGeometry::GetColorData() const { return DataOf(m_Data->m_Colors); }
const Float3* PolygonGeometry::GetNormalData() const { return DataOf(m_Data->m_Normals); }
I32 PolygonGeometry::GetPrimitiveCount() const { return m_Data->m_PrimitiveCount; }
const Sphere* PolygonGeometry::GetBoundingSphere() const { return &m_Data->m_BoundingSphere; }

I32 PolygonGeometry::Intersect(const Vector3& origin, const Vector3& direction, Fixed& t, Fixed& u,
                               Fixed& v) const {
    const I32 indexCount = GetIndexCount();
    const I32 vertexCount = GetVertexCount();
    const U16* indices = GetIndexData();
    const Float3* vertices = GetVertexData();
    if (!m_Data || indexCount < 1 || vertexCount < 1 || !indices || !vertices) return -1;
    if (!RaySphere(origin, direction, *GetBoundingSphere())) return 0;

    const I32 type = GetPrimitiveType();
    I32 triangles;
    I32 step;
    if (type == PrimitiveTriangles) {
        triangles = std::min(GetPrimitiveCount(), indexCount / 3);
        step = 3;
    } else if (type == PrimitiveStrip) {
        triangles = std::min(GetPrimitiveCount(), indexCount - 2);
        step = 1;
    } else {
        LogD() << "Intersect" << ": PrimType #" << type << " unsupported.";
        return 0;
    }
    for (I32 i = 0; i < triangles; ++i) {
        const U16* corner = indices + i * step;
        if (corner[0] >= vertexCount || corner[1] >= vertexCount || corner[2] >= vertexCount) continue;
        if (RayTriangle(origin, direction, ToFixed(vertices[corner[0]]), ToFixed(vertices[corner[1]]),
                        ToFixed(vertices[corner[2]]), t, u, v))
            return 1;
    }
    return 0;
}

bool PolygonGeometry::ExportObj(const char* name) const {
    if (GetPrimitiveType() != PrimitiveTriangles) {
        LogE() << "ExportObj: invalid PolygonGeomtry.";
        return false;
    }
    const std::string path = std::string(name ? name : "") + ".obj";
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        LogE() << "ExportObj: failed to open file.";
        return false;
    }
    std::vector<Float3> vertices;
    std::vector<U16> indices;
    std::vector<Float2> coords;
    GetVertices(vertices);
    GetIndices(indices);
    GetTexCoords(0, coords);

    std::fputs("# vertices\n", file);
    for (const Float3& p : vertices)
        std::fprintf(file, "v %f %f %f\n", static_cast<double>(p.x), static_cast<double>(p.y),
                     static_cast<double>(p.z));
    std::fputs("# texcoords\n", file);
    for (const Float2& c : coords)
        std::fprintf(file, "vt %f %f %f\n", static_cast<double>(c.u), static_cast<double>(c.v), 0.0);
    std::fputs("# faces\n", file);
    for (size_t i = 0; i + 2 < indices.size(); i += 3) {
        const int a = indices[i] + 1, b = indices[i + 1] + 1, c = indices[i + 2] + 1;
        std::fprintf(file, "f %d/%d %d/%d %d/%d\n", a, a, b, b, c, c);
    }
    const bool written = std::fflush(file) == 0 && !std::ferror(file);
    if (std::fclose(file) != 0 || !written) {
        LogE() << "ExportObj: failed to write file.";
        return false;
    }
    return true;
}

}  // namespace Meridian
