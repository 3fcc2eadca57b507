// PolygonGeometry: dirty bits, texture sets, primitive counts, the bounding sphere, ray hits and the OBJ export.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "Scene/PolygonGeometry.h"
#include "Support/TestUtil.h"

using namespace Meridian;

namespace {

Vector3 V(float x, float y, float z) { return {Fixed::FromFloat(x), Fixed::FromFloat(y), Fixed::FromFloat(z)}; }

const std::vector<Float3> kSquare = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};

// A mesh over the unit square's corners in the z = 0 plane, facing +z.
Ref<PolygonGeometry> Mesh(const std::vector<U16>& indices, I32 type = PrimitiveTriangles,
                          const std::vector<Float3>& vertices = kSquare) {
    Ref<PolygonGeometry> mesh = New<PolygonGeometry>();
    mesh->SetVertices(vertices);
    mesh->SetTexCoords(0, {{0, 0}, {1, 0}, {0, 1}, {1, 1}});
    mesh->SetPrimitiveType(type);
    mesh->SetIndices(indices);
    return mesh;
}

}  // namespace

TEST(PolygonGeometry, DirtyBitsTexCoordSetsAndPrimitiveCounts) {
    Ref<PolygonGeometry> mesh = Mesh({0, 1, 2});
    mesh->SetDirtyBits(0);
    mesh->SetNormals({{0, 0, 1}});
    mesh->SetColors({{1, 0, 0, 1}});
    mesh->SetTexCoords(1, {{0.5f, 0.25f}});
    EXPECT_EQ(4u | 8u | 32u, mesh->GetDirtyBits());
    // Only sets 0 and 1 exist.
    mesh->SetDirtyBits(0);
    mesh->SetTexCoords(2, {{1, 1}});
    EXPECT_EQ(0u, mesh->GetDirtyBits());
    EXPECT_EQ(0, mesh->GetTexCoordCount(2));
    EXPECT_EQ(nullptr, mesh->GetTexCoordData(-1));
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
    mesh->SetPrimitiveCount(40);
    mesh->SetPrimitiveType(PrimitiveTriangles);
    EXPECT_EQ(40, mesh->GetPrimitiveCount());
}

TEST(PolygonGeometry, BoundingSphereEnclosesAllVertices) {
    Ref<PolygonGeometry> mesh = New<PolygonGeometry>();
    const std::vector<Float3> points = {{-3, 1, 2}, {5, 0.5f, -2}, {0, 7, 0}, {1, 1, 1}, {-2, -4, 3}};
    mesh->SetVertices(points);
    const Sphere* sphere = mesh->GetBoundingSphere();
    const double r = sphere->radius.ToFloat();
    for (const Float3& p : points) {
        const double dx = p.x - sphere->centre.x.ToFloat(), dy = p.y - sphere->centre.y.ToFloat(),
                     dz = p.z - sphere->centre.z.ToFloat();
        EXPECT_LE(dx * dx + dy * dy + dz * dz, r * r * 1.0001);
    }
    mesh->SetVertices({});
    EXPECT_TRUE(mesh->GetBoundingSphere()->IsEmpty());
    // Positions too far apart for the Fixed sphere routine (damaged model files) give a sphere containing everything.
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

TEST(PolygonGeometry, IntersectHitsMissesAndRefuses) {
    Fixed t, u, v;
    EXPECT_EQ(-1, Mesh({0, 1, 2}, PrimitiveTriangles, {})->Intersect(V(0, 0, 5), V(0, 0, -1), t, u, v));
    EXPECT_EQ(-1, Mesh({})->Intersect(V(0, 0, 5), V(0, 0, -1), t, u, v));
    Ref<PolygonGeometry> square = Mesh({0, 1, 2, 1, 3, 2});
    ASSERT_EQ(1, square->Intersect(V(0.25f, 0.25f, 5), V(0, 0, -1), t, u, v));
    EXPECT_NEAR(5.0, t.ToFloat(), 1e-3);
    EXPECT_NEAR(0.25, u.ToFloat(), 1e-3);
    EXPECT_NEAR(0.25, v.ToFloat(), 1e-3);
    EXPECT_EQ(1, square->Intersect(V(0.8f, 0.8f, 3), V(0, 0, -1), t, u, v));  // the second triangle
    EXPECT_NEAR(3.0, t.ToFloat(), 1e-3);
    // Outside the bounding sphere, and from behind (back faces are not hit).
    const Fixed before = t;
    EXPECT_EQ(0, square->Intersect(V(10, 10, 5), V(0, 0, -1), t, u, v));
    EXPECT_EQ(0, square->Intersect(V(0.5f, 0.5f, -5), V(0, 0, 1), t, u, v));
    EXPECT_EQ(before, t);
    // Inside the sphere but beside the only triangle.
    EXPECT_EQ(0, Mesh({0, 1, 2})->Intersect(V(0.9f, 0.9f, 5), V(0, 0, -1), t, u, v));
    // Strips walk one index at a time with no winding swap: the second triangle faces the other way.
    Ref<PolygonGeometry> strip = Mesh({0, 1, 2, 3}, PrimitiveStrip);
    EXPECT_EQ(1, strip->Intersect(V(0.2f, 0.2f, 5), V(0, 0, -1), t, u, v));
    EXPECT_EQ(0, strip->Intersect(V(0.8f, 0.8f, 5), V(0, 0, -1), t, u, v));
    EXPECT_EQ(1, strip->Intersect(V(0.8f, 0.8f, -5), V(0, 0, 1), t, u, v));
    // Indices beyond the vertices, or a count beyond the indices, are not read.
    Ref<PolygonGeometry> broken = Mesh({0, 1, 900, 0, 1, 2}, PrimitiveTriangles, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    EXPECT_EQ(1, broken->Intersect(V(0.2f, 0.2f, 5), V(0, 0, -1), t, u, v));
    broken->SetPrimitiveCount(1000);
    EXPECT_EQ(0, broken->Intersect(V(0.9f, 0.9f, 5), V(0, 0, -1), t, u, v));
    ::Test::LogCapture log;
    EXPECT_EQ(0, Mesh({0, 1, 2, 1, 3, 2}, PrimitiveLines)->Intersect(V(0.25f, 0.25f, 5), V(0, 0, -1), t, u, v));
    EXPECT_EQ(0, Mesh({0, 1, 2, 1, 3, 2}, PrimitiveFan)->Intersect(V(0.25f, 0.25f, 5), V(0, 0, -1), t, u, v));
    EXPECT_EQ(1, log.Count("[D] Intersect: PrimType #3 unsupported."));
    EXPECT_EQ(1, log.Count("[D] Intersect: PrimType #2 unsupported."));
}

TEST(PolygonGeometry, ExportObjWritesPositionsTexCoordsAndOneBasedFaces) {
    ::Test::TempDir dir;
    Ref<PolygonGeometry> square = Mesh({0, 1, 2, 1, 3, 2});
    const std::string name = dir.File("square");
    ASSERT_TRUE(square->ExportObj(name.c_str()));
    const std::string expected =
        "# vertices\n"
        "v 0.000000 0.000000 0.000000\nv 1.000000 0.000000 0.000000\n"
        "v 0.000000 1.000000 0.000000\nv 1.000000 1.000000 0.000000\n"
        "# texcoords\n"
        "vt 0.000000 0.000000 0.000000\nvt 1.000000 0.000000 0.000000\n"
        "vt 0.000000 1.000000 0.000000\nvt 1.000000 1.000000 0.000000\n"
        "# faces\n"
        "f 1/1 2/2 3/3\nf 2/2 4/4 3/3\n";
    const std::vector<unsigned char> text = ::Test::ReadFile(name + ".obj");
    EXPECT_EQ(expected, std::string(text.begin(), text.end()));
    ::Test::LogCapture log;
    const std::string stripName = dir.File("strip");
    EXPECT_FALSE(Mesh({0, 1, 2, 3}, PrimitiveStrip)->ExportObj(stripName.c_str()));
    EXPECT_TRUE(::Test::ReadFile(stripName + ".obj").empty());
    EXPECT_FALSE(square->ExportObj(dir.File("no/such/dir/mesh").c_str()));
    const std::vector<std::string> expectedLog = {"[E] ExportObj: invalid PolygonGeomtry.",
                                                  "[E] ExportObj: failed to open file."};
    EXPECT_EQ(expectedLog, log.Entries());
}
