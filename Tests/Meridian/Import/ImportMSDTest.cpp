// .msd import: the game's models, the object table (forward references,
// duplicates, mismatches, negative IDs), parents, textures beside the model,
// animation takes, skins, the refused chunks and counts that do not fit the
// file.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "Animation/TrackLibrary.h"
#include "Import/ImportMSD.h"
#include "Image/Image.h"
#include "Math/MathFunctions.h"
#include "Scene/FileTexture2D.h"
#include "Scene/Material.h"
#include "Scene/Shader.h"
#include "Scene/SkinGeometry.h"
#include "Support/TestUtil.h"
#include "MsdBytes.h"

using namespace Meridian;
using ::Test::MsdBytes;

namespace {

const std::string DataDir = std::string(SKYRAIL_TEST_TOOLS_DIR) + "/../Data/SkyRail/";

Ref<Transform> Load(const MsdBytes& file, const ::Test::TempDir& dir, U32 flags = 0,
                    const std::string& name = "model.msd") {
    const std::string path = dir.File(name);
    EXPECT_TRUE(::Test::WriteFile(path, file.bytes));
    return Ref<Transform>(ImportMSD(path.c_str(), flags));
}

// Depth-first search for the first node of kind T named name (any name when
// empty).
template <class T>
T* FindNode(Node* node, const std::string& name = "") {
    if (T* hit = Cast<T>(node))
        if (name.empty() || hit->Name() == name) return hit;
    if (Group* group = Cast<Group>(node))
        for (U32 i = 0; i < group->GetChildCount(); ++i)
            if (T* hit = FindNode<T>(group->GetChild(i), name)) return hit;
    return nullptr;
}

template <class T>
int CountNodes(Node* node) {
    int count = Cast<T>(node) ? 1 : 0;
    if (Group* group = Cast<Group>(node))
        for (U32 i = 0; i < group->GetChildCount(); ++i) count += CountNodes<T>(group->GetChild(i));
    return count;
}

bool IsPowerOfTwo(int v) { return v > 0 && (v & (v - 1)) == 0; }

}  // namespace

TEST(ImportMSD, GameModelsImportWithMeshShaderAndTexture) {
    InitTables();
    struct Expect {
        const char* name;
        float minRadius, maxRadius;
    } models[] = {{"capsule01", 0.6f, 1.0f}, {"mine01", 0.6f, 1.0f}, {"glider01", 1.3f, 2.0f}};
    for (const Expect& model : models) {
        SCOPED_TRACE(model.name);
        ::Test::LogCapture log;
        const std::string path = DataDir + model.name + ".msd";
        Ref<Transform> root(ImportMSD(path.c_str(), 0));
        ASSERT_TRUE(root);
        EXPECT_EQ(DataDir + model.name, root->Name());
        EXPECT_EQ(nullptr, root->GetParent());
        EXPECT_EQ(0, log.Count("[E] "));
        EXPECT_EQ(0, log.Count("[W] "));
        EXPECT_TRUE(log.Contains("Importing \"Transform\""));
        EXPECT_TRUE(log.Contains("Importing \"PolygonGeometry\""));

        // One triangle-list mesh under the root (the race draws the first mesh
        // of an obstacle model).
        ASSERT_EQ(1u, root->GetChildCount());
        PolygonGeometry* mesh = Cast<PolygonGeometry>(root->GetChild(0));
        ASSERT_TRUE(mesh);
        EXPECT_EQ(PrimitiveTriangles, mesh->GetPrimitiveType());
        EXPECT_EQ(mesh->GetIndexCount() / 3, mesh->GetPrimitiveCount());
        EXPECT_GE(mesh->GetPrimitiveCount(), 150);
        EXPECT_LE(mesh->GetPrimitiveCount(), 600);
        EXPECT_EQ(mesh->GetVertexCount(), mesh->GetNormalCount());
        EXPECT_EQ(mesh->GetVertexCount(), mesh->GetTexCoordCount(0));
        const Sphere* sphere = mesh->GetBoundingSphere();
        EXPECT_GT(sphere->radius.ToFloat(), model.minRadius);
        EXPECT_LT(sphere->radius.ToFloat(), model.maxRadius);

        // Every triangle is wound counter-clockwise seen from the side its
        // normals face (faces are culled otherwise), and normals are unit.
        std::vector<Float3> v, n;
        std::vector<U16> idx;
        mesh->GetVertices(v);
        mesh->GetNormals(n);
        mesh->GetIndices(idx);
        int wrongWinding = 0;
        for (size_t t = 0; t + 2 < idx.size(); t += 3) {
            const Float3 &a = v[idx[t]], &b = v[idx[t + 1]], &c = v[idx[t + 2]];
            const float ex = b.x - a.x, ey = b.y - a.y, ez = b.z - a.z, fx = c.x - a.x, fy = c.y - a.y, fz = c.z - a.z;
            const float gx = ey * fz - ez * fy, gy = ez * fx - ex * fz, gz = ex * fy - ey * fx;
            const Float3& na = n[idx[t]];
            if (gx * na.x + gy * na.y + gz * na.z <= 0) ++wrongWinding;
        }
        EXPECT_EQ(0, wrongWinding);
        for (const Float3& normal : n)
            EXPECT_NEAR(1.0, std::sqrt(normal.x * normal.x + normal.y * normal.y + normal.z * normal.z), 1e-3);

        Shader* shader = mesh->GetShader();
        ASSERT_TRUE(shader);
        ASSERT_TRUE(shader->GetMaterial());
        EXPECT_EQ(shader->Name() + "_Material", shader->GetMaterial()->Name());
        FileTexture2D* texture = Cast<FileTexture2D>(shader->GetTexture(0));
        ASSERT_TRUE(texture);
        EXPECT_EQ(DataDir + model.name + ".png", texture->GetFileName());
        ASSERT_TRUE(texture->Load());
        EXPECT_TRUE(IsPowerOfTwo(texture->GetImage()->GetWidth()));
        EXPECT_TRUE(IsPowerOfTwo(texture->GetImage()->GetHeight()));
        for (const Float2& uv : std::vector<Float2>(mesh->GetTexCoordData(0), mesh->GetTexCoordData(0) + mesh->GetTexCoordCount(0))) {
            EXPECT_GE(uv.u, 0.0f);
            EXPECT_LE(uv.u, 1.0f);
            EXPECT_GE(uv.v, 0.0f);
            EXPECT_LE(uv.v, 1.0f);
        }
    }
}

TEST(ImportMSD, GliderNoseAlongMinusZWithinItsShadow) {
    Ref<Transform> root(ImportMSD((DataDir + "glider01.msd").c_str(), 0));
    ASSERT_TRUE(root);
    PolygonGeometry* mesh = FindNode<PolygonGeometry>(root);
    ASSERT_TRUE(mesh);
    std::vector<Float3> v;
    mesh->GetVertices(v);
    Float3 nose = v[0];
    float minX = 0, maxX = 0, minY = 0, maxZ = -9;
    for (const Float3& p : v) {
        if (p.z < nose.z) nose = p;
        minX = std::min(minX, p.x), maxX = std::max(maxX, p.x), minY = std::min(minY, p.y);
        maxZ = std::max(maxZ, p.z);
    }
    // The race turns the model half round about y: its -z ends up forward.
    EXPECT_NEAR(0.0f, nose.x, 0.05f);
    EXPECT_LT(nose.z, -1.0f);
    EXPECT_GT(maxZ, 0.4f);
    EXPECT_LT(maxZ, 0.75f);
    EXPECT_NEAR(-minX, maxX, 1e-4f);  // symmetric
    // The shadow quad covers x -1.7 .. 1.7, z -1.3 .. 0.7 of the model.
    EXPECT_LT(maxX, 1.7f);
    EXPECT_GT(maxX, 1.2f);
    EXPECT_GE(minY, -0.06f);
}

TEST(ImportMSD, ForwardReferencesAreFilledByTheirChunks) {
    ::Test::TempDir dir;
    MsdBytes file;
    // The mesh comes first: its parent Transform and shader exist only as
    // references; the material names a texture defined after it.
    file.Poly(7, 20, "Mesh", 30, ::Test::QuadVertices(), ::Test::QuadIndices());
    file.Transform(-1, 1, "Root");
    file.Transform(1, 7, "Holder", 0, 2, 0);
    file.Material(30, "Paint", 40, 40, 40);
    file.Texture(40, "Skin", "skin.tga");
    ::Test::LogCapture log;
    Ref<Transform> root = Load(file, dir);
    ASSERT_TRUE(root);
    EXPECT_EQ(0, log.Count("[E] "));
    EXPECT_EQ(0, log.Count("[W] "));
    Transform* holder = FindNode<Transform>(root, "Holder");
    ASSERT_TRUE(holder);
    EXPECT_EQ(root.Get(), holder->GetParent());
    EXPECT_EQ(Fixed::FromInt(2), holder->GetTranslation().y);
    PolygonGeometry* mesh = FindNode<PolygonGeometry>(root);
    ASSERT_TRUE(mesh);
    EXPECT_EQ(holder, mesh->GetParent());
    EXPECT_EQ("Mesh", mesh->Name());
    Shader* shader = mesh->GetShader();
    ASSERT_TRUE(shader);
    EXPECT_EQ("Paint", shader->Name());
    ASSERT_TRUE(shader->GetMaterial());
    EXPECT_FLOAT_EQ(0.5f, shader->GetMaterial()->GetDiffuse()[1]);
    EXPECT_FLOAT_EQ(0.8f, shader->GetMaterial()->GetEmission()[1]);
    EXPECT_EQ(Fixed::FromInt(10), shader->GetMaterial()->GetShininess());
    FileTexture2D* texture = Cast<FileTexture2D>(shader->GetTexture(0));
    ASSERT_TRUE(texture);
    EXPECT_EQ("Skin", texture->Name());
    EXPECT_EQ(dir.File("skin.png"), texture->GetFileName());
    EXPECT_EQ(nullptr, shader->GetTexture(1));
}

TEST(ImportMSD, DuplicatesMismatchesAndNegativeIds) {
    ::Test::TempDir dir;
    MsdBytes file;
    file.Transform(-1, 1, "Root");
    file.Transform(1, 2, "First");
    file.Transform(1, 2, "Second");  // duplicate: used, but not registered
    file.Transform(2, 3, "Child");   // resolves to First
    file.Material(5, "Paint", -1, -2, -3);
    file.Poly(2, 6, "ShaderIsATransform", 1, ::Test::QuadVertices(), ::Test::QuadIndices());
    file.Poly(5, 7, "ParentIsAShader", 5, ::Test::QuadVertices(), ::Test::QuadIndices());
    file.Poly(-4, 8, "NegativeParent", -9, ::Test::QuadVertices(), ::Test::QuadIndices());
    file.Poly(3, 6, "DuplicateMesh", 5, ::Test::QuadVertices(), ::Test::QuadIndices());
    ::Test::LogCapture log;
    Ref<Transform> root = Load(file, dir);
    ASSERT_TRUE(root);

    EXPECT_EQ(1, log.Count("[E] ImportMSD: Duplicate Object ID#2"));
    EXPECT_EQ(1, log.Count("[E] ImportMSD: Duplicate Object ID#6"));
    Transform* first = FindNode<Transform>(root, "First");
    Transform* second = FindNode<Transform>(root, "Second");
    ASSERT_TRUE(first && second);
    EXPECT_EQ(root.Get(), second->GetParent());
    EXPECT_EQ(first, FindNode<Transform>(root, "Child")->GetParent());

    // Negative texture IDs: one warning each, no texture.
    EXPECT_EQ(1, log.Count("[W] ImportMSD: Cant Create Type with ID#-1"));
    EXPECT_EQ(1, log.Count("[W] ImportMSD: Cant Create Type with ID#-2"));
    EXPECT_EQ(1, log.Count("[W] ImportMSD: Cant Create Type with ID#-3"));
    PolygonGeometry* dup = FindNode<PolygonGeometry>(root, "DuplicateMesh");
    ASSERT_TRUE(dup);
    ASSERT_TRUE(dup->GetShader());
    EXPECT_EQ(nullptr, dup->GetShader()->GetTexture(0));

    // A shader ID naming a Transform, and a parent naming a shader, resolve to
    // nothing; the meshes are kept where they can be.
    EXPECT_EQ(1, log.Count("[E] ImportMSD: Object Type Mismatch ID#1"));
    EXPECT_EQ(1, log.Count("[E] ImportMSD: Object Type Mismatch ID#5"));
    PolygonGeometry* noShader = FindNode<PolygonGeometry>(root, "ShaderIsATransform");
    ASSERT_TRUE(noShader);
    EXPECT_EQ(nullptr, noShader->GetShader());
    EXPECT_EQ(nullptr, FindNode<PolygonGeometry>(root, "ParentIsAShader"));
    EXPECT_EQ(1, log.Count("[W] ImportMSD: Cant Create Type with ID#-4"));
    EXPECT_EQ(1, log.Count("[W] ImportMSD: Cant Create Type with ID#-9"));
    EXPECT_EQ(nullptr, FindNode<PolygonGeometry>(root, "NegativeParent"));
}

TEST(ImportMSD, TransformParentsRootAndNames) {
    ::Test::TempDir dir;
    {
        MsdBytes file;
        file.Transform(-1, 1, "FileRoot", 1, 2, 3, 90, 2, 4);
        file.Transform(99, 2, "Orphan");  // undefined parent: hung under the root
        file.Poly(2, 3, "Quad", 4, ::Test::QuadVertices(), ::Test::QuadIndices());
        file.Material(4, "Paint", 5, 5, 5);
        file.Texture(5, "Tex", "tex.png");
        file.Transform(4, 6, "ShaderParent");  // a shader is no parent
        file.Transform(6, 6, "Itself");         // duplicate id and its own parent
        ::Test::LogCapture log;
        Ref<Transform> root = Load(file, dir, 0, "scene.v2.msd");
        ASSERT_TRUE(root);
        EXPECT_EQ(dir.File("scene.v2"), root->Name());
        EXPECT_EQ(Fixed::FromInt(3), root->GetTranslation().z);
        EXPECT_EQ(Fixed::FromInt(90), root->GetRotation().y);
        EXPECT_EQ(Fixed::FromInt(2), root->GetScaling().x);
        EXPECT_EQ(4, root->GetRotationOrder());
        EXPECT_EQ(1, log.Count("[E] ImportMSD: Undefined Object for ID#99"));
        EXPECT_EQ(root.Get(), FindNode<Transform>(root, "Orphan")->GetParent());
        EXPECT_EQ(1, log.Count("[E] ImportMSD: Object Type Mismatch ID#4"));
        EXPECT_EQ(root.Get(), FindNode<Transform>(root, "ShaderParent")->GetParent());
        EXPECT_EQ(FindNode<Transform>(root, "ShaderParent"), FindNode<Transform>(root, "Itself")->GetParent());
        EXPECT_TRUE(log.Contains("[D] ImportMSD::Import: Transform \"FileRoot\""));
        EXPECT_TRUE(log.Contains("[D] Importing \"Material\""));
        EXPECT_TRUE(log.Contains("[D] Importing \"Texture\""));
        EXPECT_EQ(4, CountNodes<Transform>(root));  // FileRoot, Orphan, ShaderParent, Itself
    }
    {
        // With the root flag an empty Transform is the root and the file's
        // first Transform hangs under it.
        MsdBytes file;
        file.Transform(-1, 1, "Top");
        Ref<Transform> root = Load(file, dir, ImportMSDCreateRoot, "flagged.msd");
        ASSERT_TRUE(root);
        EXPECT_EQ(dir.File("flagged"), root->Name());
        ASSERT_EQ(1u, root->GetChildCount());
        EXPECT_EQ("Top", root->GetChild(0)->Name());
    }
    {
        // Meshes but no Transform: no root, no tree.
        MsdBytes file;
        file.Poly(1, 2, "Quad", 3, ::Test::QuadVertices(), ::Test::QuadIndices());
        EXPECT_FALSE(Load(file, dir, 0, "rootless.msd"));
        MsdBytes flagged;
        flagged.Poly(1, 2, "Quad", 3, ::Test::QuadVertices(), ::Test::QuadIndices());
        Ref<Transform> root = Load(flagged, dir, ImportMSDCreateRoot, "rootless2.msd");
        ASSERT_TRUE(root);
        EXPECT_EQ(0u, root->GetChildCount());  // the mesh's created parent is outside the tree
    }
}

TEST(ImportMSD, TexturePathsResolveBesideTheModel) {
    ::Test::TempDir dir;
    const struct {
        const char* source;
        const char* expected;
    } cases[] = {{"C:\\Art\\Maps\\Hull.tga", "Hull.png"},
                 {"maps/hull.v2.tga", "hull.v2.png"},
                 {"noextension", "noextension.png"},
                 {"a/b\\c.bmp", "b\\c.png"},
                 {"", ".png"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        MsdBytes file;
        file.Transform(-1, 1, "Root").Material(2, "Paint", 3, 3, 3).Texture(3, "T", c.source);
        file.Poly(1, 4, "Quad", 2, ::Test::QuadVertices(), ::Test::QuadIndices());
        Ref<Transform> root = Load(file, dir);
        ASSERT_TRUE(root);
        PolygonGeometry* mesh = FindNode<PolygonGeometry>(root);
        ASSERT_TRUE(mesh && mesh->GetShader());
        FileTexture2D* texture = Cast<FileTexture2D>(mesh->GetShader()->GetTexture(0));
        ASSERT_TRUE(texture);
        EXPECT_EQ(dir.File(c.expected), texture->GetFileName());
    }
    // A model opened without a folder looks in the current one.
    MsdBytes file;
    file.Transform(-1, 1, "Root").Texture(3, "T", "x/y.tga").Material(2, "Paint", 3, 3, 3);
    file.Poly(1, 4, "Quad", 2, ::Test::QuadVertices(), ::Test::QuadIndices());
    const std::string relative = "skyrail-import-relative.msd";
    ASSERT_TRUE(::Test::WriteFile(relative, file.bytes));
    Ref<Transform> root(ImportMSD(relative.c_str(), 0));
    std::remove(relative.c_str());
    ASSERT_TRUE(root);
    EXPECT_EQ("skyrail-import-relative", root->Name());
    EXPECT_EQ("y.png", Cast<FileTexture2D>(FindNode<PolygonGeometry>(root)->GetShader()->GetTexture(0))->GetFileName());
}

TEST(ImportMSD, AnimationTakesBecomeTrackLibraries) {
    ::Test::TempDir dir;
    MsdBytes file;
    file.Transform(-1, 1, "Root").Transform(1, 2, "Arm").Transform(1, 3, "Leg");
    file.Poly(2, 4, "ArmMesh", 5, ::Test::QuadVertices(), ::Test::QuadIndices());
    file.Tag("ANIM").I32(3);
    // Take "Wave": the Arm moves along x; an undefined channel, a mesh and a
    // channel without an x curve animate nothing, and the channel after them
    // is still read from its place.
    file.Tag("TAKE").String("Wave").I32(5);
    file.I32(2)
        .Attribute("TRNS", {{0, 0, 0, 0}, {10, 0, 0, 2}}, {}, {{5, 0, 0, 1}})
        .Attribute("ROTN", {}, {{1, 0, 0, 1}}, {})
        .Tag("XXXX");
    file.I32(77).Attribute("TRNS", {{1, 0, 0, 1}}, {}, {}).Attribute("ROTN", {}, {}, {}).Attribute("SCAL", {}, {}, {});
    file.I32(4).Attribute("TRNS", {{1, 0, 0, 1}}, {}, {}).Attribute("ROTN", {}, {}, {}).Attribute("SCAL", {}, {}, {});
    file.I32(5).Attribute("TRNS", {{1, 0, 0, 1}}, {}, {}).Attribute("ROTN", {}, {}, {}).Attribute("SCAL", {}, {}, {});
    file.I32(3).Attribute("SCAL", {{2, 0, 0, 4}, {1, 0, 0, 0}}, {{2, 0, 0, 0}}, {{2, 0, 0, 0}}).Tag("XXXX").Tag("XXXX");
    // Take "Still": channels without curves: no library.
    file.Tag("TAKE").String("Still").I32(1);
    file.I32(2).Attribute("TRNS", {}, {}, {}).Attribute("ROTN", {}, {}, {}).Attribute("SCAL", {}, {}, {});
    // Take "Empty": no channels.
    file.Tag("TAKE").String("Empty").I32(0);

    ::Test::LogCapture log;
    Ref<Transform> root = Load(file, dir);
    ASSERT_TRUE(root);
    EXPECT_TRUE(log.Contains("[D] Importing \"Animation\""));
    EXPECT_TRUE(log.Contains("[D] ImportTake: Wave"));
    EXPECT_TRUE(log.Contains("[D] ImportTake: Still"));
    EXPECT_TRUE(log.Contains("[D] ImportTake: Empty"));
    EXPECT_EQ(1, log.Count("[E] ImportMSD: Undefined Object for ID#77"));
    EXPECT_EQ(1, log.Count("[E] ImportMSD: Object Type Mismatch ID#5"));
    EXPECT_EQ(1, log.Count("[D] Arm is animated."));
    EXPECT_EQ(1, log.Count("[D] Leg is animated."));
    EXPECT_EQ(2, log.Count(" is animated."));

    Container* animation = FindNode<Container>(root);
    ASSERT_TRUE(animation);
    EXPECT_EQ(root.Get(), animation->GetParent());
    ASSERT_EQ(1u, animation->GetCount());
    TrackLibrary* wave = Cast<TrackLibrary>(animation->Get(0));
    ASSERT_TRUE(wave);
    EXPECT_EQ("Wave", wave->Name());
    ASSERT_EQ(2, wave->GetTrackCount());
    Track* armTrack = wave->GetTrack(0);
    Transform* arm = FindNode<Transform>(root, "Arm");
    EXPECT_EQ(arm, armTrack->GetTarget());
    EXPECT_EQ(1, armTrack->GetAttributeCount());  // the rotation has no x curve
    Fixed duration;
    armTrack->GetDuration(duration);
    EXPECT_EQ(Fixed::FromInt(2), duration);
    // Keys are sorted by time: the Leg's scaling starts at 1 and ends at 2.
    Track* legTrack = wave->GetTrack(1);
    legTrack->Apply(Fixed::FromInt(0));
    EXPECT_EQ(Fixed::FromInt(1), FindNode<Transform>(root, "Leg")->GetScaling().x);
    wave->Update(Fixed::FromInt(1));
    EXPECT_EQ(Fixed::FromInt(5), arm->GetTranslation().x);
    EXPECT_EQ(Fixed::FromInt(5), arm->GetTranslation().z);
}

TEST(ImportMSD, SkinnedMeshKeepsJointsBindMatricesAndWeights) {
    ::Test::TempDir dir;
    MsdBytes file;
    file.Transform(-1, 1, "Root").Transform(1, 2, "Bone");
    file.Mesh("SKIN", 1, 10, "Skin", 20, 0, ::Test::QuadVertices(), ::Test::QuadIndices());
    file.I32(2);
    file.Joint(2, {0, 1}, {1.0f, 0.5f});
    file.Joint(3, {2, 3}, {0.25f, 1.0f});  // a joint defined later
    file.Transform(1, 3, "Later");
    ::Test::LogCapture log;
    Ref<Transform> root = Load(file, dir);
    ASSERT_TRUE(root);
    EXPECT_TRUE(log.Contains("[D] Importing \"SkinGeometry\""));
    SkinGeometry* skin = FindNode<SkinGeometry>(root);
    ASSERT_TRUE(skin);
    EXPECT_EQ("Skin", skin->Name());
    EXPECT_EQ(2, skin->GetPrimitiveCount());
    ASSERT_EQ(2, skin->GetJointCount());
    EXPECT_EQ(FindNode<Transform>(root, "Bone"), skin->GetJoint(0));
    EXPECT_EQ(FindNode<Transform>(root, "Later"), skin->GetJoint(1));
    const PolygonData* data = skin->GetData();
    ASSERT_EQ(2u, data->m_WeightSets.size());
    ASSERT_EQ(2u, data->m_BindMatrices.size());
    EXPECT_EQ(Fixed::One, data->m_BindMatrices[1].m[15]);
    EXPECT_EQ((std::vector<I32>{2, 3}), data->m_WeightSets[1].indices);
    EXPECT_EQ(Fixed::FromRaw(16384), data->m_WeightSets[1].weights[0]);
    EXPECT_EQ(nullptr, FindNode<Transform>(root, "Nothing"));
}

TEST(ImportMSD, RefusedChunksAndBadFilesGiveNoTree) {
    ::Test::TempDir dir;
    struct Case {
        const char* what;
        MsdBytes file;
        const char* debug;
    };
    std::vector<Case> cases;
    {
        MsdBytes f;
        f.Transform(-1, 1, "Root").Tag("LIGT").I32(0).I32(0);
        cases.push_back({"light", f, "[D] Importing \"Light\""});
    }
    {
        MsdBytes f;
        f.Transform(-1, 1, "Root").Tag("SHAD").I32(0);
        cases.push_back({"shader", f, "[D] Importing \"Shader\""});
    }
    {
        MsdBytes f;
        f.Transform(-1, 1, "Root").Tag("ANIM").I32(1).Tag("TAKX").String("T").I32(0);
        cases.push_back({"take tag", f, "[D] Importing \"Animation\""});
    }
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        ::Test::LogCapture log;
        EXPECT_FALSE(Load(c.file, dir));
        EXPECT_TRUE(log.Contains(c.debug));
        EXPECT_EQ(1, log.Count("[E] ImportMSD: Import failed."));
    }
    {
        ::Test::LogCapture log;
        EXPECT_EQ(nullptr, ImportMSD(dir.File("missing.msd").c_str(), 0));
        EXPECT_EQ(1, log.Count("[E] ImportMSD: Init \"" + dir.File("missing.msd") + "\" failed."));
    }
    for (const std::vector<unsigned char>& bytes :
         {std::vector<unsigned char>{'M', 'S', 'D', '1'}, std::vector<unsigned char>{'M', 'S'},
          std::vector<unsigned char>{}}) {
        ::Test::LogCapture log;
        ASSERT_TRUE(::Test::WriteFile(dir.File("bad.msd"), bytes));
        EXPECT_EQ(nullptr, ImportMSD(dir.File("bad.msd").c_str(), 0));
        EXPECT_EQ(1, log.Count("[E] ImportMSD: Init \"" + dir.File("bad.msd") + "\" failed."));
    }
    {
        // Reading stops at an unknown tag; what came before is kept.
        MsdBytes f;
        f.Transform(-1, 1, "Root").Tag("JUNK").Transform(1, 2, "Never");
        Ref<Transform> root = Load(f, dir);
        ASSERT_TRUE(root);
        EXPECT_EQ(0u, root->GetChildCount());
    }
}

TEST(ImportMSD, CountsThatDoNotFitTheFileFailTheImport) {
    ::Test::TempDir dir;
    const int32_t huge = 0x7FFFFFFF;
    std::vector<std::pair<const char*, MsdBytes>> cases;
    auto add = [&](const char* what) -> MsdBytes& {
        cases.push_back({what, MsdBytes()});
        return cases.back().second.Transform(-1, 1, "Root");
    };
    add("vertex count").Tag("POLY").I32(1).I32(2).String("M").I32(3).I32(0).I32(huge);
    add("vertex count one too many").Tag("POLY").I32(1).I32(2).String("M").I32(3).I32(0).I32(2).Zeros(32 + 31);
    add("index count").Tag("POLY").I32(1).I32(2).String("M").I32(3).I32(0).I32(0).I32(100000000).Zeros(64);
    add("index past the vertices").Poly(1, 2, "M", 3, ::Test::QuadVertices(), {0, 1, 4});
    add("index beyond 16 bits").Poly(1, 2, "M", 3, ::Test::QuadVertices(), {0, 1, 65536 + 2});
    add("name length").Tag("TRNS").I32(1).I32(2).I32(huge);
    add("texture source length").Tag("TXTR").I32(5).String("T").I32(1 << 30);
    add("joint count").Mesh("SKIN", 1, 2, "S", 3, 0, ::Test::QuadVertices(), ::Test::QuadIndices()).I32(huge);
    add("joint weights").Mesh("SKIN", 1, 2, "S", 3, 0, ::Test::QuadVertices(), ::Test::QuadIndices()).I32(1).I32(1);
    {
        MsdBytes& f = cases.back().second;
        for (int i = 0; i < 16; ++i) f.I32(0);
        f.I32(0).I32(huge);
    }
    add("take count").Tag("ANIM").I32(huge);
    add("channel count").Tag("ANIM").I32(1).Tag("TAKE").String("T").I32(huge);
    add("key count").Tag("ANIM").I32(1).Tag("TAKE").String("T").I32(1).I32(1).Tag("TRNS").I32(huge).Zeros(8);
    add("short transform").Tag("TRNS").I32(1).I32(2).String("Cut").F32(1);
    for (auto& c : cases) {
        SCOPED_TRACE(c.first);
        ::Test::LogCapture log;
        EXPECT_FALSE(Load(c.second, dir));
        EXPECT_EQ(1, log.Count("[E] ImportMSD: Import failed."));
    }
    {
        // Negative counts are empty lists, not damage.
        MsdBytes f;
        f.Transform(-1, 1, "Root").Tag("POLY").I32(1).I32(2).String("M").I32(3).I32(0).I32(-5).I32(-1);
        f.Tag("ANIM").I32(-3);
        f.Tag("TRNS").I32(1).I32(9).I32(-7);  // negative name length: empty name
        for (int i = 0; i < 12; ++i) f.F32(i == 6 ? 1.0f : 0.0f);
        f.I32(0);
        ::Test::LogCapture log;
        Ref<Transform> root = Load(f, dir);
        ASSERT_TRUE(root);
        PolygonGeometry* mesh = FindNode<PolygonGeometry>(root);
        ASSERT_TRUE(mesh);
        EXPECT_EQ(0, mesh->GetVertexCount());
        EXPECT_EQ(0, mesh->GetPrimitiveCount());
        EXPECT_EQ(nullptr, FindNode<Container>(root));
        EXPECT_TRUE(log.Contains("ImportMSD::Import: Transform \"\""));
    }
}
