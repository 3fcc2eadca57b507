// PolygonGeometry: array slots, dirty/static bits, primitive counts, the
// bounding sphere, ray hits and the OBJ export.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "Scene/PolygonGeometry.h"
#include "Support/TestUtil.h"

using namespace Meridian;

namespace {

Vector3 V(float x, float y, float z) { return {Fixed::FromFloat(x), Fixed::FromFloat(y), Fixed::FromFloat(z)}; }

class CountingPolygonHandle : public RenderPolygonHandle {
public:
    explicit CountingPolygonHandle(int* released) : m_Released(released) {}
    ~CountingPolygonHandle() override { Release(); }
    void Release() override { ++*m_Released; }

private:
    int* m_Released;
};

// A unit square in the z = 0 plane facing +z: two counter-clockwise triangles.
Ref<PolygonGeometry> Square() {
    Ref<PolygonGeometry> mesh = New<PolygonGeometry>();
    mesh->SetVertices({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}});
    mesh->SetTexCoords(0, {{0, 0}, {1, 0}, {0, 1}, {1, 1}});
    mesh->SetIndices({0, 1, 2, 1, 3, 2});
    return mesh;
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace

TEST(PolygonGeometry, FreshMeshIsEmpty) {
    Ref<PolygonGeometry> mesh = New<PolygonGeometry>();
    EXPECT_EQ(0, mesh->GetIndexCount());
    EXPECT_EQ(0, mesh->GetVertexCount());
    EXPECT_EQ(0, mesh->GetNormalCount());
    EXPECT_EQ(0, mesh->GetColorCount());
    EXPECT_EQ(0, mesh->GetTexCoordCount(0));
    EXPECT_EQ(0, mesh->GetTexCoordCount(1));
    EXPECT_EQ(nullptr, mesh->GetVertexData());
    EXPECT_EQ(nullptr, mesh->GetIndexData());
    EXPECT_EQ(nullptr, mesh->GetTexCoordData(0));
    EXPECT_EQ(0u, mesh->GetDirtyBits());
    EXPECT_EQ(0u, mesh->GetStaticBits());
    EXPECT_EQ(0, mesh->GetPrimitiveType());
    EXPECT_EQ(0, mesh->GetPrimitiveCount());
    EXPECT_EQ(nullptr, mesh->GetRenderHandle());
    EXPECT_EQ(-65536, mesh->GetBoundingSphere()->radius.Raw());
    EXPECT_TRUE(mesh->GetBoundingSphere()->IsEmpty());
    EXPECT_TRUE(mesh->IsKindOf(MakeTag("DRW0")));
    EXPECT_TRUE(mesh->IsKindOf(MakeTag("NOD0")));
    EXPECT_STREQ("PolygonGeometry", mesh->GetTypeName());
}

TEST(PolygonGeometry, SettersCopyAndMarkTheirArraysDirty) {
    Ref<PolygonGeometry> mesh = New<PolygonGeometry>();
    std::vector<Float3> vertices = {{1, 2, 3}, {4, 5, 6}};
    mesh->SetVertices(vertices);
    EXPECT_EQ(1u, mesh->GetDirtyBits());
    vertices[0].x = 99;  // the mesh holds its own copy
    std::vector<Float3> out;
    mesh->GetVertices(out);
    ASSERT_EQ(2u, out.size());
    EXPECT_FLOAT_EQ(1.0f, out[0].x);
    EXPECT_FLOAT_EQ(6.0f, mesh->GetVertexData()[1].z);

    mesh->SetIndices({0, 1});
    EXPECT_EQ(3u, mesh->GetDirtyBits());
    mesh->SetNormals({{0, 0, 1}, {0, 1, 0}});
    EXPECT_EQ(7u, mesh->GetDirtyBits());
    mesh->SetColors({{1, 0, 0, 1}});
    EXPECT_EQ(15u, mesh->GetDirtyBits());
    EXPECT_EQ(1, mesh->GetColorCount());
    mesh->SetTexCoords(1, {{0.5f, 0.25f}});
    EXPECT_EQ(47u, mesh->GetDirtyBits());
    mesh->SetTexCoords(0, {{0, 0}, {1, 1}});
    EXPECT_EQ(63u, mesh->GetDirtyBits());
    EXPECT_FLOAT_EQ(0.25f, mesh->GetTexCoordData(1)[0].v);
    EXPECT_EQ(2, mesh->GetTexCoordCount(0));

    // Only sets 0 and 1 exist.
    mesh->SetDirtyBits(0);
    mesh->SetTexCoords(2, {{1, 1}});
    EXPECT_EQ(0u, mesh->GetDirtyBits());
    EXPECT_EQ(0, mesh->GetTexCoordCount(2));
    EXPECT_EQ(nullptr, mesh->GetTexCoordData(-1));

    mesh->SetStatic(17);
    EXPECT_TRUE(mesh->IsStatic(16));
    EXPECT_TRUE(mesh->IsStatic(1));
    EXPECT_FALSE(mesh->IsStatic(2));
    mesh->ClearStatic(1);
    EXPECT_EQ(16u, mesh->GetStaticBits());
    mesh->SetStatic(static_cast<U32>(-1));
    EXPECT_TRUE(mesh->IsStatic(32));
    mesh->MarkDirty(8);
    EXPECT_EQ(8u, mesh->GetDirtyBits());
}

TEST(PolygonGeometry, PrimitiveCountFollowsTheTypeInForceAtSetIndices) {
    Ref<PolygonGeometry> mesh = New<PolygonGeometry>();
    const std::vector<U16> seven = {0, 1, 2, 3, 4, 5, 6};
    struct Case {
        I32 type;
        std::vector<U16> indices;
        I32 count;
    };
    const Case cases[] = {{0, seven, 2}, {1, seven, 5}, {2, seven, 5}, {3, seven, 3}, {4, seven, 0},
                          {9, seven, 0}, {1, {0}, -1},  {1, {}, -2},   {0, {0, 1}, 0}};
    for (const Case& c : cases) {
        mesh->SetPrimitiveType(c.type);
        mesh->SetIndices(c.indices);
        EXPECT_EQ(c.count, mesh->GetPrimitiveCount()) << "type " << c.type << " n " << c.indices.size();
    }
    // The type alone does not change the count; point sprites set it themselves.
    mesh->SetPrimitiveType(PrimitivePointSprites);
    mesh->SetIndices({});
    EXPECT_EQ(0, mesh->GetPrimitiveCount());
    mesh->SetPrimitiveCount(40);
    EXPECT_EQ(40, mesh->GetPrimitiveCount());
    mesh->SetPrimitiveType(PrimitiveTriangles);
    EXPECT_EQ(40, mesh->GetPrimitiveCount());
}

TEST(PolygonGeometry, BoundingSphereEnclosesAllVertices) {
    Ref<PolygonGeometry> mesh = New<PolygonGeometry>();
    const std::vector<Float3> points = {{-3, 1, 2}, {5, 0.5f, -2}, {0, 7, 0}, {1, 1, 1}, {-2, -4, 3}};
    mesh->SetVertices(points);
    const Sphere* sphere = mesh->GetBoundingSphere();
    ASSERT_FALSE(sphere->IsEmpty());
    const double r = sphere->radius.ToFloat();
    for (const Float3& p : points) {
        const double dx = p.x - sphere->centre.x.ToFloat(), dy = p.y - sphere->centre.y.ToFloat(),
                     dz = p.z - sphere->centre.z.ToFloat();
        EXPECT_LE(dx * dx + dy * dy + dz * dz, r * r * 1.0001);
    }
    mesh->SetVertices({});
    EXPECT_TRUE(mesh->GetBoundingSphere()->IsEmpty());

    // Positions too far apart for the Fixed sphere routine (as damaged model
    // files give) yield a sphere that contains everything.
    ::Test::LogCapture log;
    mesh->SetVertices({{-20000, 0, 0}, {20000, 1, 0}, {0, 20000, 0}});
    EXPECT_EQ(Fixed::Max, mesh->GetBoundingSphere()->radius);
    mesh->SetIndices({0, 1, 2});
    Fixed t, u, v;
    const I32 hit = mesh->Intersect(V(0, 100, 5), V(0, 0, -1), t, u, v);  // Fixed overflow: any answer
    EXPECT_TRUE(hit == 0 || hit == 1);
    mesh->SetVertices({{0, 0, 0}, {std::nanf(""), 1, 0}});
    EXPECT_EQ(Fixed::Max, mesh->GetBoundingSphere()->radius);
    mesh->SetVertices({{0, 0, 0}, {0, 0, 40000}});
    EXPECT_EQ(Fixed::Max, mesh->GetBoundingSphere()->radius);
    EXPECT_EQ(3, log.Count("[W] PolygonGeometry::SetVertices: vertices 32767.000000 or more apart, "
                           "bounding sphere unbounded."));
    // Far from the origin but close together is measured as usual.
    mesh->SetVertices({{20000, 0, 0}, {20001, 0, 0}, {20000, 1, 0}});
    EXPECT_LT(mesh->GetBoundingSphere()->radius, Fixed::One);
    EXPECT_EQ(1, mesh->Intersect(V(20000.25f, 0.25f, 5), V(0, 0, -1), t, u, v));
    mesh->SetVertices({{16383, -16383, 0}, {-16383, 16383, 16383}});
    EXPECT_LT(mesh->GetBoundingSphere()->radius, Fixed::Max);
}

TEST(PolygonGeometry, RenderHandleIsReplacedAndReleasedWithTheMesh) {
    int released = 0;
    Ref<PolygonGeometry> mesh = New<PolygonGeometry>();
    mesh->SetRenderHandle(New<CountingPolygonHandle>(&released));
    RenderPolygonHandle* second = New<CountingPolygonHandle>(&released);
    mesh->SetRenderHandle(second);
    EXPECT_EQ(1, released);
    EXPECT_EQ(second, mesh->GetRenderHandle());
    mesh.Reset();
    EXPECT_EQ(2, released);
}

TEST(PolygonGeometry, IntersectHitsMissesAndRefuses) {
    Fixed t, u, v;
    Ref<PolygonGeometry> empty = New<PolygonGeometry>();
    EXPECT_EQ(-1, empty->Intersect(V(0, 0, 5), V(0, 0, -1), t, u, v));
    Ref<PolygonGeometry> noIndices = New<PolygonGeometry>();
    noIndices->SetVertices({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    EXPECT_EQ(-1, noIndices->Intersect(V(0, 0, 5), V(0, 0, -1), t, u, v));

    Ref<PolygonGeometry> square = Square();
    ASSERT_EQ(1, square->Intersect(V(0.25f, 0.25f, 5), V(0, 0, -1), t, u, v));
    EXPECT_NEAR(5.0, t.ToFloat(), 1e-3);
    EXPECT_NEAR(0.25, u.ToFloat(), 1e-3);
    EXPECT_NEAR(0.25, v.ToFloat(), 1e-3);
    // The second triangle is found too.
    EXPECT_EQ(1, square->Intersect(V(0.8f, 0.8f, 3), V(0, 0, -1), t, u, v));
    EXPECT_NEAR(3.0, t.ToFloat(), 1e-3);
    // Far outside the bounding sphere, and from behind (back faces are not hit).
    const Fixed before = t;
    EXPECT_EQ(0, square->Intersect(V(10, 10, 5), V(0, 0, -1), t, u, v));
    EXPECT_EQ(0, square->Intersect(V(0.5f, 0.5f, -5), V(0, 0, 1), t, u, v));
    EXPECT_EQ(before, t);

    // Inside the sphere but beside the only triangle.
    Ref<PolygonGeometry> triangle = New<PolygonGeometry>();
    triangle->SetVertices({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    triangle->SetIndices({0, 1, 2});
    EXPECT_EQ(0, triangle->Intersect(V(0.9f, 0.9f, 5), V(0, 0, -1), t, u, v));

    // Strips walk one index at a time with no winding swap: the second
    // triangle faces the other way.
    Ref<PolygonGeometry> strip = New<PolygonGeometry>();
    strip->SetVertices({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}});
    strip->SetPrimitiveType(PrimitiveStrip);
    strip->SetIndices({0, 1, 2, 3});
    EXPECT_EQ(1, strip->Intersect(V(0.2f, 0.2f, 5), V(0, 0, -1), t, u, v));
    EXPECT_EQ(0, strip->Intersect(V(0.8f, 0.8f, 5), V(0, 0, -1), t, u, v));
    EXPECT_EQ(1, strip->Intersect(V(0.8f, 0.8f, -5), V(0, 0, 1), t, u, v));

    // Indices beyond the vertices are skipped, not read.
    Ref<PolygonGeometry> broken = New<PolygonGeometry>();
    broken->SetVertices({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    broken->SetIndices({0, 1, 900, 0, 1, 2});
    EXPECT_EQ(1, broken->Intersect(V(0.2f, 0.2f, 5), V(0, 0, -1), t, u, v));
    broken->SetPrimitiveCount(1000);  // more than the indices hold
    EXPECT_EQ(0, broken->Intersect(V(0.9f, 0.9f, 5), V(0, 0, -1), t, u, v));

    ::Test::LogCapture log;
    Ref<PolygonGeometry> lines = Square();
    lines->SetPrimitiveType(PrimitiveLines);
    EXPECT_EQ(0, lines->Intersect(V(0.25f, 0.25f, 5), V(0, 0, -1), t, u, v));
    lines->SetPrimitiveType(PrimitiveFan);
    EXPECT_EQ(0, lines->Intersect(V(0.25f, 0.25f, 5), V(0, 0, -1), t, u, v));
    EXPECT_EQ(1, log.Count("[D] Intersect: PrimType #3 unsupported."));
    EXPECT_EQ(1, log.Count("[D] Intersect: PrimType #2 unsupported."));
}

TEST(PolygonGeometry, ExportObjWritesPositionsTexCoordsAndOneBasedFaces) {
    ::Test::TempDir dir;
    Ref<PolygonGeometry> square = Square();
    const std::string name = dir.File("square");
    ASSERT_TRUE(square->ExportObj(name.c_str()));
    const std::vector<std::string> expected = {
        "# vertices",
        "v 0.000000 0.000000 0.000000",
        "v 1.000000 0.000000 0.000000",
        "v 0.000000 1.000000 0.000000",
        "v 1.000000 1.000000 0.000000",
        "# texcoords",
        "vt 0.000000 0.000000 0.000000",
        "vt 1.000000 0.000000 0.000000",
        "vt 0.000000 1.000000 0.000000",
        "vt 1.000000 1.000000 0.000000",
        "# faces",
        "f 1/1 2/2 3/3",
        "f 2/2 4/4 3/3",
    };
    EXPECT_EQ(expected, ReadLines(name + ".obj"));

    ::Test::LogCapture log;
    Ref<PolygonGeometry> strip = Square();
    strip->SetPrimitiveType(PrimitiveStrip);
    const std::string stripName = dir.File("strip");
    EXPECT_FALSE(strip->ExportObj(stripName.c_str()));
    EXPECT_TRUE(::Test::ReadFile(stripName + ".obj").empty());
    EXPECT_FALSE(square->ExportObj(dir.File("no/such/dir/mesh").c_str()));
    const std::vector<std::string> lines = log.Entries();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("[E] ExportObj: invalid PolygonGeomtry.", lines[0]);
    EXPECT_EQ("[E] ExportObj: failed to open file.", lines[1]);
}
