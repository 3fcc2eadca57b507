// .msd import: the game's models, the object table, roots, textures, takes, skins, refused chunks, and damaged files
// (every truncation, thousands of mutations), which must neither crash nor leave a mesh indexing missing vertices.
#include <gtest/gtest.h>
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include <cmath>
#include <cstring>
#include <set>
#include <string>

#include "Animation/TrackLibrary.h"
#include "Image/Image.h"
#include "Import/ImportMSD.h"
#include "Math/MathFunctions.h"
#include "Mutator.h"
#include "Scene/FileTexture2D.h"
#include "Scene/Material.h"
#include "Scene/Shader.h"
#include "Scene/SkinGeometry.h"
#include "Support/TestUtil.h"

using namespace Meridian;

namespace {

// Builds .msd files chunk by chunk, every field spelled out, so tests can make well-formed and damaged files.
struct MsdVertex {
    float x, y, z, nx, ny, nz, u, v;
};

struct MsdKey {
    float value, inTangent, outTangent, time;
};

class MsdBytes {
public:
    MsdBytes() { Tag("MSD0"); }
    MsdBytes& U32(uint32_t value) {
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<unsigned char>(value >> (8 * i)));
        return *this;
    }
    MsdBytes& I32(int32_t value) { return U32(static_cast<uint32_t>(value)); }
    MsdBytes& F32(float value) {
        uint32_t bits;
        std::memcpy(&bits, &value, 4);
        return U32(bits);
    }
    MsdBytes& Tag(const char* tag) {
        bytes.insert(bytes.end(), tag, tag + 4);
        return *this;
    }
    MsdBytes& String(const std::string& text) {
        I32(static_cast<int32_t>(text.size()));
        bytes.insert(bytes.end(), text.begin(), text.end());
        return *this;
    }
    MsdBytes& Zeros(size_t count) {
        bytes.insert(bytes.end(), count, 0);
        return *this;
    }
    MsdBytes& Transform(int32_t parent, int32_t id, const std::string& name, float tx = 0, float ty = 0,
                        float tz = 0, float rotY = 0, float scale = 1, int32_t order = 0) {
        Tag("TRNS").I32(parent).I32(id).String(name);
        F32(tx).F32(ty).F32(tz);
        F32(0).F32(rotY).F32(0);
        F32(scale).F32(scale).F32(scale);
        F32(0).F32(0).F32(0);
        return I32(order);
    }

    // The mesh body shared by "POLY" and "SKIN" (without skin data).
    MsdBytes& Mesh(const char* tag, int32_t parent, int32_t id, const std::string& name, int32_t shader,
                   int32_t primitiveType, const std::vector<MsdVertex>& vertices, const std::vector<uint32_t>& indices) {
        Tag(tag).I32(parent).I32(id).String(name).I32(shader).I32(primitiveType);
        I32(static_cast<int32_t>(vertices.size()));
        for (const MsdVertex& v : vertices) F32(v.x).F32(v.y).F32(v.z).F32(v.nx).F32(v.ny).F32(v.nz).F32(v.u).F32(v.v);
        I32(static_cast<int32_t>(indices.size()));
        for (uint32_t index : indices) U32(index);
        return *this;
    }
    MsdBytes& Poly(int32_t parent, int32_t id, const std::string& name, int32_t shader,
                   const std::vector<MsdVertex>& vertices, const std::vector<uint32_t>& indices) {
        return Mesh("POLY", parent, id, name, shader, 0, vertices, indices);
    }
    // One joint of a "SKIN" chunk; call JointCount first.
    MsdBytes& Joint(int32_t id, const std::vector<int32_t>& vertexIndices, const std::vector<float>& weights) {
        I32(id);
        for (int i = 0; i < 16; ++i) I32(i % 5 == 0 ? 65536 : 0);  // identity
        I32(static_cast<int32_t>(vertexIndices.size()));
        for (int32_t index : vertexIndices) I32(index);
        I32(static_cast<int32_t>(weights.size()));
        for (float weight : weights) F32(weight);
        return *this;
    }

    MsdBytes& Material(int32_t id, const std::string& name, int32_t texture0, int32_t texture1, int32_t texture2) {
        Tag("MATL").I32(id).String(name);
        const float colours[4][4] = {{0.1f, 0.2f, 0.3f, 1}, {0.4f, 0.5f, 0.6f, 1}, {0.7f, 0.8f, 0.9f, 1}, {1, 1, 1, 1}};
        for (const auto& colour : colours)
            for (float c : colour) F32(c);
        F32(0).F32(0).F32(0);
        I32(10 << 16);  // shininess
        U32(0);
        return I32(texture0).I32(texture1).I32(texture2);
    }

    MsdBytes& Texture(int32_t id, const std::string& name, const std::string& source) {
        Tag("TXTR").I32(id).String(name).String(source);
        for (int i = 0; i < 17; ++i) U32(0);
        return *this;
    }

    // An attribute record: tag and three component curves.
    MsdBytes& Attribute(const char* tag, const std::vector<MsdKey>& x, const std::vector<MsdKey>& y,
                        const std::vector<MsdKey>& z) {
        Tag(tag);
        for (const auto* curve : {&x, &y, &z}) {
            I32(static_cast<int32_t>(curve->size()));
            for (const MsdKey& k : *curve) F32(k.value).F32(k.inTangent).F32(k.outTangent).F32(k.time);
        }
        return *this;
    }
    // A channel of a take: the target's ID, then translation keys on x only and empty rotation and scaling records.
    MsdBytes& Channel(int32_t target, const std::vector<MsdKey>& x) {
        return I32(target).Attribute("TRNS", x, {}, {}).Attribute("ROTN", {}, {}, {}).Attribute("SCAL", {}, {}, {});
    }

    std::vector<unsigned char> bytes;
};

// A unit quad in the xy plane facing +z, two triangles.
inline std::vector<MsdVertex> QuadVertices() {
    return {{0, 0, 0, 0, 0, 1, 0, 0}, {1, 0, 0, 0, 0, 1, 1, 0}, {0, 1, 0, 0, 0, 1, 0, 1}, {1, 1, 0, 0, 0, 1, 1, 1}};
}
inline std::vector<uint32_t> QuadIndices() { return {0, 1, 2, 1, 3, 2}; }

// Calls visit for node and every node below it, depth first.
template <class Visit>
void Walk(Node* node, const Visit& visit) {
    visit(node);
    if (Group* group = Cast<Group>(node))
        for (U32 i = 0; i < group->GetChildCount(); ++i) Walk(group->GetChild(i), visit);
}

// The first node of kind T at or below node named name (any name when empty).
template <class T>
T* FindNode(Node* node, const std::string& name = "") {
    T* found = nullptr;
    Walk(node, [&](Node* n) {
        T* hit = Cast<T>(n);
        if (!found && hit && (name.empty() || hit->Name() == name)) found = hit;
    });
    return found;
}

const std::string DataDir = std::string(SKYRAIL_TEST_TOOLS_DIR) + "/../Data/SkyRail/";

Ref<Transform> Load(const MsdBytes& file, const ::Test::TempDir& dir, U32 flags = 0,
                    const std::string& name = "model.msd") {
    EXPECT_TRUE(::Test::WriteFile(dir.File(name), file.bytes));
    return Ref<Transform>(ImportMSD(dir.File(name).c_str(), flags));
}

FileTexture2D* TextureOf(Node* root) {
    PolygonGeometry* mesh = FindNode<PolygonGeometry>(root);
    return mesh && mesh->GetShader() ? Cast<FileTexture2D>(mesh->GetShader()->GetTexture(0)) : nullptr;
}

typedef std::vector<unsigned char> Bytes;

// A file with every chunk kind; ends collects where each chunk ends.
Bytes RichFile(std::set<size_t>& ends) {
    MsdBytes f;
    f.Poly(3, 10, "Early", 20, QuadVertices(), QuadIndices());  // before any Transform
    ends.insert(f.bytes.size());
    f.Transform(-1, 1, "Root", 0, 1, 0);
    ends.insert(f.bytes.size());
    f.Transform(1, 2, "Body", 1, 0, 0, 45);
    ends.insert(f.bytes.size());
    f.Transform(2, 3, "Wing");
    ends.insert(f.bytes.size());
    f.Mesh("SKIN", 2, 11, "Skin", 20, 0, QuadVertices(), QuadIndices());
    f.I32(2).Joint(2, {0, 1, 2}, {1, 0.5f, 0.25f}).Joint(3, {3}, {1});
    ends.insert(f.bytes.size());
    f.Material(20, "Paint", 30, 30, -1);
    ends.insert(f.bytes.size());
    f.Texture(30, "Tex", "C:\\maps\\paint.tga");
    ends.insert(f.bytes.size());
    f.Tag("ANIM").I32(2).Tag("TAKE").String("Spin").I32(2);
    f.I32(2).Attribute("ROTN", {{0, 0, 0, 0}, {360, 0, 0, 2}}, {{0, 0, 0, 0}}, {});
    f.Attribute("TRNS", {{1, 0, 0, 1}}, {}, {}).Tag("NONE");
    f.I32(3).Attribute("SCAL", {{1, 0, 0, 0}, {2, 1, 1, 1}}, {{1, 0, 0, 0}}, {{1, 0, 0, 0}}).Tag("NONE").Tag("NONE");
    f.Tag("TAKE").String("Idle").I32(1);
    f.Channel(3, {{0, 0, 0, 0}});
    ends.insert(f.bytes.size());
    f.Poly(3, 12, "Late", 20, QuadVertices(), QuadIndices());
    ends.insert(f.bytes.size());
    return f.bytes;
}

// Imports bytes and checks what came back. True when a tree came back.
bool ImportAndCheck(const Bytes& bytes, const std::string& path) {
    EXPECT_TRUE(::Test::WriteFile(path, bytes));
    Ref<Transform> root(ImportMSD(path.c_str(), 0));
    if (!root) return false;
    EXPECT_EQ(nullptr, root->GetParent());
    Walk(root, [](Node* node) {
        if (PolygonGeometry* mesh = Cast<PolygonGeometry>(node)) {
            std::vector<U16> indices;
            mesh->GetIndices(indices);
            for (U16 index : indices) ASSERT_LT(static_cast<I32>(index), mesh->GetVertexCount());
            mesh->UpdateDrawable();
        }
        if (Container* container = Cast<Container>(node))
            for (U32 i = 0; i < container->GetCount(); ++i)
                if (TrackLibrary* library = Cast<TrackLibrary>(container->Get(i))) library->Update(Fixed::FromInt(1));
    });
    return true;
}

}  // namespace

TEST(ImportMSD, GameModelsImportWithMeshShaderAndTexture) {
    InitTables();
    for (const char* name : {"capsule01", "mine01", "glider01"}) {
        SCOPED_TRACE(name);
        ::Test::LogCapture log;
        Ref<Transform> root(ImportMSD((DataDir + name + ".msd").c_str(), 0));
        ASSERT_TRUE(root);
        EXPECT_EQ(0, log.Count("[E] ") + log.Count("[W] "));
        // One triangle-list mesh under the root (the race draws the first mesh of an obstacle model).
        ASSERT_EQ(1u, root->GetChildCount());
        PolygonGeometry* mesh = Cast<PolygonGeometry>(root->GetChild(0));
        ASSERT_TRUE(mesh);
        EXPECT_EQ(PrimitiveTriangles, mesh->GetPrimitiveType());
        EXPECT_EQ(mesh->GetIndexCount() / 3, mesh->GetPrimitiveCount());
        EXPECT_GT(mesh->GetPrimitiveCount(), 100);
        EXPECT_EQ(mesh->GetVertexCount(), mesh->GetNormalCount());
        EXPECT_EQ(mesh->GetVertexCount(), mesh->GetTexCoordCount(0));
        // Triangles wind counter-clockwise seen from their normals' side (else culled); normals unit, UVs in [0, 1].
        std::vector<Float3> v, n;
        std::vector<U16> idx;
        mesh->GetVertices(v);
        mesh->GetNormals(n);
        mesh->GetIndices(idx);
        int wrongWinding = 0, badNormals = 0, outside = 0;
        for (size_t t = 0; t + 2 < idx.size(); t += 3) {
            const Float3 &a = v[idx[t]], &b = v[idx[t + 1]], &c = v[idx[t + 2]], &na = n[idx[t]];
            const float ex = b.x - a.x, ey = b.y - a.y, ez = b.z - a.z, fx = c.x - a.x, fy = c.y - a.y, fz = c.z - a.z;
            wrongWinding += (ey * fz - ez * fy) * na.x + (ez * fx - ex * fz) * na.y + (ex * fy - ey * fx) * na.z <= 0;
        }
        for (const Float3& m : n) badNormals += std::fabs(std::sqrt(m.x * m.x + m.y * m.y + m.z * m.z) - 1) > 1e-3f;
        for (I32 i = 0; i < mesh->GetTexCoordCount(0); ++i) {
            const Float2& uv = mesh->GetTexCoordData(0)[i];
            outside += uv.u < 0 || uv.u > 1 || uv.v < 0 || uv.v > 1;
        }
        EXPECT_EQ(0, wrongWinding);
        EXPECT_EQ(0, badNormals);
        EXPECT_EQ(0, outside);
        Shader* shader = mesh->GetShader();
        ASSERT_TRUE(shader && shader->GetMaterial());
        EXPECT_EQ(shader->Name() + "_Material", shader->GetMaterial()->Name());
        FileTexture2D* texture = Cast<FileTexture2D>(shader->GetTexture(0));
        ASSERT_TRUE(texture);
        EXPECT_EQ(DataDir + name + ".png", texture->GetFileName());
        EXPECT_TRUE(texture->Load());
    }
}

TEST(ImportMSD, ForwardReferencesAreFilledByTheirChunks) {
    ::Test::TempDir dir;
    MsdBytes file;
    // The mesh comes first: its parent and shader exist only as references; the material names a later texture.
    file.Poly(7, 20, "Mesh", 30, QuadVertices(), QuadIndices());
    file.Transform(-1, 1, "Root").Transform(1, 7, "Holder", 0, 2, 0);
    file.Material(30, "Paint", 40, 40, 40).Texture(40, "Skin", "skin.tga");
    ::Test::LogCapture log;
    Ref<Transform> root = Load(file, dir);
    ASSERT_TRUE(root);
    EXPECT_EQ(0, log.Count("[E] ") + log.Count("[W] "));
    Transform* holder = FindNode<Transform>(root, "Holder");
    ASSERT_TRUE(holder);
    EXPECT_EQ(root.Get(), holder->GetParent());
    EXPECT_EQ(Fixed::FromInt(2), holder->GetTranslation().y);
    PolygonGeometry* mesh = FindNode<PolygonGeometry>(root, "Mesh");
    ASSERT_TRUE(mesh && mesh->GetShader() && mesh->GetShader()->GetMaterial());
    EXPECT_EQ(holder, mesh->GetParent());
    Shader* shader = mesh->GetShader();
    EXPECT_EQ("Paint", shader->Name());
    // The file's colours in order: ambient, diffuse, emission, specular (MsdBytes::Material).
    const Material& paint = *shader->GetMaterial();
    const F32* colours[4] = {paint.GetAmbient(), paint.GetDiffuse(), paint.GetEmission(), paint.GetSpecular()};
    for (int c = 0; c < 4; ++c)
        for (int k = 0; k < 4; ++k) EXPECT_FLOAT_EQ(k == 3 || c == 3 ? 1.0f : 0.1f * (c * 3 + k + 1), colours[c][k]);
    EXPECT_EQ(Fixed::FromInt(10), shader->GetMaterial()->GetShininess());
    FileTexture2D* texture = TextureOf(root);
    ASSERT_TRUE(texture);
    EXPECT_EQ("Skin", texture->Name());
    EXPECT_EQ(dir.File("skin.png"), texture->GetFileName());
    EXPECT_EQ(nullptr, shader->GetTexture(1));
}

TEST(ImportMSD, ObjectTableDuplicatesMismatchesNegativeIdsAndRoots) {
    ::Test::TempDir dir;
    MsdBytes file;
    file.Transform(-1, 1, "FileRoot", 1, 2, 3, 90, 2, 4);
    file.Transform(1, 2, "First");
    file.Transform(1, 2, "Second");  // duplicate: used, but not registered
    file.Transform(2, 3, "Child");   // resolves to First
    file.Transform(99, 4, "Orphan");  // undefined parent: hung under the root
    file.Material(5, "Paint", -1, -2, -3);
    file.Poly(2, 6, "ShaderIsATransform", 1, QuadVertices(), QuadIndices());
    file.Poly(5, 7, "ParentIsAShader", 5, QuadVertices(), QuadIndices());
    file.Poly(-4, 8, "NegativeParent", -9, QuadVertices(), QuadIndices());
    file.Poly(3, 6, "DuplicateMesh", 5, QuadVertices(), QuadIndices());
    file.Transform(5, 9, "ShaderParent");  // a shader is no parent: under the root
    file.Transform(9, 9, "Itself");        // a duplicate naming its own ID as parent
    ::Test::LogCapture log;
    Ref<Transform> root = Load(file, dir, 0, "scene.v2.msd");
    ASSERT_TRUE(root);
    EXPECT_EQ(dir.File("scene.v2"), root->Name());
    EXPECT_EQ(Fixed::FromInt(3), root->GetTranslation().z);
    EXPECT_EQ(Fixed::FromInt(90), root->GetRotation().y);
    EXPECT_EQ(Fixed::FromInt(2), root->GetScaling().x);
    EXPECT_EQ(4, root->GetRotationOrder());
    for (const char* line : {"[E] ImportMSD: Duplicate Object ID#2", "[E] ImportMSD: Duplicate Object ID#6",
                             "[E] ImportMSD: Duplicate Object ID#9",
                             "[E] ImportMSD: Undefined Object for ID#99", "[W] ImportMSD: Cant Create Type with ID#-1",
                             "[W] ImportMSD: Cant Create Type with ID#-2", "[W] ImportMSD: Cant Create Type with ID#-3",
                             "[W] ImportMSD: Cant Create Type with ID#-4", "[W] ImportMSD: Cant Create Type with ID#-9",
                             "[E] ImportMSD: Object Type Mismatch ID#1"})
        EXPECT_EQ(1, log.Count(line)) << line;
    EXPECT_EQ(2, log.Count("[E] ImportMSD: Object Type Mismatch ID#5"));
    Transform* first = FindNode<Transform>(root, "First");
    EXPECT_EQ(root.Get(), FindNode<Transform>(root, "Second")->GetParent());
    EXPECT_EQ(first, FindNode<Transform>(root, "Child")->GetParent());
    EXPECT_EQ(root.Get(), FindNode<Transform>(root, "Orphan")->GetParent());
    EXPECT_EQ(root.Get(), FindNode<Transform>(root, "ShaderParent")->GetParent());
    EXPECT_EQ(FindNode<Transform>(root, "ShaderParent"), FindNode<Transform>(root, "Itself")->GetParent());
    // Negative texture IDs give no texture, a Transform's ID as shader no shader; a mesh with a bad parent is left out.
    PolygonGeometry* dup = FindNode<PolygonGeometry>(root, "DuplicateMesh");
    ASSERT_TRUE(dup && dup->GetShader());
    EXPECT_EQ(nullptr, dup->GetShader()->GetTexture(0));
    ASSERT_TRUE(FindNode<PolygonGeometry>(root, "ShaderIsATransform"));
    EXPECT_EQ(nullptr, FindNode<PolygonGeometry>(root, "ShaderIsATransform")->GetShader());
    EXPECT_EQ(nullptr, FindNode<PolygonGeometry>(root, "ParentIsAShader"));
    EXPECT_EQ(nullptr, FindNode<PolygonGeometry>(root, "NegativeParent"));
    int transforms = 0;
    Walk(root, [&](Node* node) { transforms += Cast<Transform>(node) ? 1 : 0; });
    EXPECT_EQ(7, transforms);
    // With the root flag an empty Transform is the root and the file's first Transform hangs under it; without a
    // Transform there is no tree, unless the flag asks for the root (the mesh's created parent stays outside).
    MsdBytes top;
    top.Transform(-1, 1, "Top");
    root = Load(top, dir, ImportMSDCreateRoot, "flagged.msd");
    ASSERT_TRUE(root);
    EXPECT_EQ(dir.File("flagged"), root->Name());
    ASSERT_EQ(1u, root->GetChildCount());
    EXPECT_EQ("Top", root->GetChild(0)->Name());
    MsdBytes rootless;
    rootless.Poly(1, 2, "Quad", 3, QuadVertices(), QuadIndices());
    EXPECT_FALSE(Load(rootless, dir));
    root = Load(rootless, dir, ImportMSDCreateRoot);
    ASSERT_TRUE(root);
    EXPECT_EQ(0u, root->GetChildCount());
}

TEST(ImportMSD, TexturePathsResolveBesideTheModel) {
    ::Test::TempDir dir;
    const std::pair<const char*, const char*> cases[] = {{"C:\\Art\\Maps\\Hull.tga", "Hull.png"},
                                                         {"maps/hull.v2.tga", "hull.v2.png"},
                                                         {"noextension", "noextension.png"},
                                                         {"a/b\\c.bmp", "b\\c.png"},
                                                         {"", ".png"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        MsdBytes file;
        file.Transform(-1, 1, "Root").Material(2, "Paint", 3, 3, 3).Texture(3, "T", c.first);
        file.Poly(1, 4, "Quad", 2, QuadVertices(), QuadIndices());
        Ref<Transform> root = Load(file, dir);
        ASSERT_TRUE(root && TextureOf(root));
        EXPECT_EQ(dir.File(c.second), TextureOf(root)->GetFileName());
    }
    // A model opened without a folder looks in the current one.
    MsdBytes file;
    file.Transform(-1, 1, "Root").Texture(3, "T", "x/y.tga").Material(2, "Paint", 3, 3, 3);
    file.Poly(1, 4, "Quad", 2, QuadVertices(), QuadIndices());
    const std::string relative = "skyrail-import-relative.msd";
    ASSERT_TRUE(::Test::WriteFile(relative, file.bytes));
    Ref<Transform> root(ImportMSD(relative.c_str(), 0));
    std::remove(relative.c_str());
    ASSERT_TRUE(root && TextureOf(root));
    EXPECT_EQ("skyrail-import-relative", root->Name());
    EXPECT_EQ("y.png", TextureOf(root)->GetFileName());
}

TEST(ImportMSD, AnimationTakesBecomeTrackLibraries) {
    ::Test::TempDir dir;
    MsdBytes file;
    file.Transform(-1, 1, "Root").Transform(1, 2, "Arm").Transform(1, 3, "Leg");
    file.Poly(2, 4, "ArmMesh", 5, QuadVertices(), QuadIndices());
    file.Tag("ANIM").I32(3);
    // Take "Wave": the Arm moves along x; an undefined channel, a mesh and a channel without an x curve animate
    // nothing, and the channel after them is still read from its place.
    file.Tag("TAKE").String("Wave").I32(5);
    file.I32(2)
        .Attribute("TRNS", {{0, 0, 0, 0}, {10, 0, 0, 2}}, {}, {{5, 0, 0, 1}})
        .Attribute("ROTN", {}, {{1, 0, 0, 1}}, {})
        .Tag("XXXX");
    file.Channel(77, {{1, 0, 0, 1}}).Channel(4, {{1, 0, 0, 1}}).Channel(5, {{1, 0, 0, 1}});
    file.I32(3).Attribute("SCAL", {{2, 0, 0, 4}, {1, 0, 0, 0}}, {{2, 0, 0, 0}}, {{2, 0, 0, 0}}).Tag("XXXX").Tag("XXXX");
    // Take "Still" has channels without curves, "Empty" none: no library.
    file.Tag("TAKE").String("Still").I32(1);
    file.Channel(2, {});
    file.Tag("TAKE").String("Empty").I32(0);
    ::Test::LogCapture log;
    Ref<Transform> root = Load(file, dir);
    ASSERT_TRUE(root);
    for (const char* line :
         {"[D] Importing \"Animation\"", "[D] ImportTake: Wave", "[D] ImportTake: Still", "[D] ImportTake: Empty",
          "[E] ImportMSD: Undefined Object for ID#77", "[E] ImportMSD: Object Type Mismatch ID#5",
          "[D] Arm is animated.", "[D] Leg is animated."})
        EXPECT_EQ(1, log.Count(line)) << line;
    EXPECT_EQ(2, log.Count(" is animated."));
    Container* animation = FindNode<Container>(root);
    ASSERT_TRUE(animation);
    EXPECT_EQ(root.Get(), animation->GetParent());
    ASSERT_EQ(1u, animation->GetCount());
    TrackLibrary* wave = Cast<TrackLibrary>(animation->Get(0));
    ASSERT_TRUE(wave);
    EXPECT_EQ("Wave", wave->Name());
    ASSERT_EQ(2, wave->GetTrackCount());
    Transform* arm = FindNode<Transform>(root, "Arm");
    EXPECT_EQ(arm, wave->GetTrack(0)->GetTarget());
    EXPECT_EQ(1, wave->GetTrack(0)->GetAttributeCount());  // the rotation has no x curve
    Fixed duration;
    wave->GetTrack(0)->GetDuration(duration);
    EXPECT_EQ(Fixed::FromInt(2), duration);
    // Keys are sorted by time: the Leg's scaling starts at 1 and ends at 2.
    wave->GetTrack(1)->Apply(Fixed::FromInt(0));
    EXPECT_EQ(Fixed::FromInt(1), FindNode<Transform>(root, "Leg")->GetScaling().x);
    wave->Update(Fixed::FromInt(1));
    EXPECT_EQ(Fixed::FromInt(5), arm->GetTranslation().x);
    EXPECT_EQ(Fixed::FromInt(5), arm->GetTranslation().z);
}

// Joints and the take refer back up the tree to the root, yet dropping the root frees all of it.
TEST(ImportMSD, SkinsKeepJointsBindMatricesAndWeightsAndAreFreedWithTheirRoot) {
    ::Test::TempDir dir;
    MsdBytes file;
    file.Transform(-1, 1, "Root").Transform(1, 2, "Body");
    file.Mesh("SKIN", 2, 10, "Skin", 20, 0, QuadVertices(), QuadIndices());
    file.I32(2).Joint(1, {0, 1}, {1.0f, 0.5f}).Joint(3, {2, 3}, {0.25f, 1.0f});  // the second defined later
    file.Transform(1, 3, "Later");
    file.Tag("ANIM").I32(1).Tag("TAKE").String("Bob").I32(1).Channel(1, {{0, 0, 0, 0}, {4, 0, 0, 2}});
    Ref<Transform> root = Load(file, dir);
    ASSERT_TRUE(root);
    SkinGeometry* skin = FindNode<SkinGeometry>(root);
    Container* animation = FindNode<Container>(root);
    ASSERT_TRUE(skin && animation);
    EXPECT_EQ("Skin", skin->Name());
    EXPECT_EQ(FindNode<Transform>(root, "Body"), skin->GetParent());
    EXPECT_EQ(2, skin->GetPrimitiveCount());
    ASSERT_EQ(2, skin->GetJointCount());
    EXPECT_EQ(root.Get(), skin->GetJoint(0));
    EXPECT_EQ(FindNode<Transform>(root, "Later"), skin->GetJoint(1));
    const PolygonData* data = skin->GetData();
    ASSERT_EQ(2u, data->m_WeightSets.size());
    ASSERT_EQ(2u, data->m_BindMatrices.size());
    EXPECT_EQ(Fixed::One, data->m_BindMatrices[1].m[15]);
    EXPECT_EQ((std::vector<I32>{2, 3}), data->m_WeightSets[1].indices);
    EXPECT_EQ(Fixed::FromRaw(16384), data->m_WeightSets[1].weights[0]);
    Cast<TrackLibrary>(animation->Get(0))->Update(Fixed::FromInt(1));
    EXPECT_EQ(Fixed::FromInt(2), root->GetTranslation().x);

    const WeakRef<Transform> rootLeft(root.Get());
    const WeakRef<SkinGeometry> skinLeft(skin);
    root.Reset();
    EXPECT_EQ(nullptr, rootLeft.Get());
    EXPECT_EQ(nullptr, skinLeft.Get());
#if defined(__SANITIZE_ADDRESS__)
    EXPECT_EQ(0, __lsan_do_recoverable_leak_check());
#endif
}

TEST(ImportMSD, RefusedChunksAndDamagedCountsFailTheImport) {
    ::Test::TempDir dir;
    const int32_t huge = 0x7FFFFFFF;
    struct Case {
        const char* what;
        const char* debug;
        MsdBytes file;
    };
    std::vector<Case> cases;
    auto add = [&](const char* what, const char* debug = nullptr) -> MsdBytes& {
        cases.push_back({what, debug, MsdBytes()});
        return cases.back().file.Transform(-1, 1, "Root");
    };
    add("light", "[D] Importing \"Light\"").Tag("LIGT").I32(0).I32(0);
    add("shader", "[D] Importing \"Shader\"").Tag("SHAD").I32(0);
    add("take tag", "[D] Importing \"Animation\"").Tag("ANIM").I32(1).Tag("TAKX").String("T").I32(0);
    add("vertex count").Tag("POLY").I32(1).I32(2).String("M").I32(3).I32(0).I32(huge);
    add("vertex count one too many").Tag("POLY").I32(1).I32(2).String("M").I32(3).I32(0).I32(2).Zeros(32 + 31);
    add("index count").Tag("POLY").I32(1).I32(2).String("M").I32(3).I32(0).I32(0).I32(100000000).Zeros(64);
    add("index past the vertices").Poly(1, 2, "M", 3, QuadVertices(), {0, 1, 4});
    add("index beyond 16 bits").Poly(1, 2, "M", 3, QuadVertices(), {0, 1, 65536 + 2});
    add("name length").Tag("TRNS").I32(1).I32(2).I32(huge);
    add("texture source length").Tag("TXTR").I32(5).String("T").I32(1 << 30);
    add("joint count").Mesh("SKIN", 1, 2, "S", 3, 0, QuadVertices(), QuadIndices()).I32(huge);
    // One joint: ID, zero matrix, no vertex indices, a huge weight count.
    add("joint weights").Mesh("SKIN", 1, 2, "S", 3, 0, QuadVertices(), QuadIndices()).I32(1).I32(1).Zeros(68).I32(huge);
    add("take count").Tag("ANIM").I32(huge);
    add("channel count").Tag("ANIM").I32(1).Tag("TAKE").String("T").I32(huge);
    add("key count").Tag("ANIM").I32(1).Tag("TAKE").String("T").I32(1).I32(1).Tag("TRNS").I32(huge).Zeros(8);
    add("short transform").Tag("TRNS").I32(1).I32(2).String("Cut").F32(1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ::Test::LogCapture log;
        EXPECT_FALSE(Load(c.file, dir));
        EXPECT_EQ(1, log.Count("[E] ImportMSD: Import failed."));
        EXPECT_TRUE(!c.debug || log.Contains(c.debug)) << log.Text();
    }

    // A missing file and a wrong magic (the damage test cuts the magic short).
    ASSERT_TRUE(::Test::WriteText(dir.File("bad.msd"), "MSD1"));
    for (const std::string& path : {dir.File("missing.msd"), dir.File("bad.msd")}) {
        ::Test::LogCapture log;
        EXPECT_EQ(nullptr, ImportMSD(path.c_str(), 0));
        EXPECT_EQ(1, log.Count("[E] ImportMSD: Init \"" + path + "\" failed."));
    }

    // Reading stops at an unknown tag, keeping what came before; negative counts are empty lists, not damage.
    Ref<Transform> root = Load(MsdBytes().Transform(-1, 1, "Root").Tag("JUNK").Transform(1, 2, "Never"), dir);
    ASSERT_TRUE(root);
    EXPECT_EQ(0u, root->GetChildCount());
    MsdBytes negative;
    negative.Transform(-1, 1, "Root").Tag("POLY").I32(1).I32(2).String("M").I32(3).I32(0).I32(-5).I32(-1);
    negative.Tag("ANIM").I32(-3);
    negative.Tag("TRNS").I32(1).I32(9).I32(-7);  // negative name length: empty name
    for (int i = 0; i < 12; ++i) negative.F32(i == 6 ? 1.0f : 0.0f);
    negative.I32(0);
    ::Test::LogCapture log;
    root = Load(negative, dir);
    ASSERT_TRUE(root);
    PolygonGeometry* mesh = FindNode<PolygonGeometry>(root);
    ASSERT_TRUE(mesh);
    EXPECT_EQ(0, mesh->GetVertexCount());
    EXPECT_EQ(0, mesh->GetPrimitiveCount());
    EXPECT_EQ(nullptr, FindNode<Container>(root));
    EXPECT_TRUE(log.Contains("ImportMSD::Import: Transform \"\""));
}

TEST(ImportMSD, DamagedFilesFailCleanlyAndNeverCrash) {
    InitTables();
    ::Test::TempDir dir;
    std::set<size_t> ends;
    const Bytes file = RichFile(ends);
    ASSERT_TRUE(ImportAndCheck(file, dir.File("whole.msd")));
    const size_t root = *std::next(ends.begin());  // end of the root Transform
    int kept = 0, failed = 0;
    {
        ::Test::LogCapture log;
        for (size_t cut = 0; cut < file.size(); ++cut) {
            SCOPED_TRACE(cut);
            // A cut inside a chunk's tag reads as the end of the file; a cut inside a body fails the import.
            bool atChunk = false;
            for (size_t end : ends) atChunk = atChunk || (cut >= end && cut < end + 4 && end >= root);
            const bool imported = ImportAndCheck(Bytes(file.begin(), file.begin() + long(cut)), dir.File("cut.msd"));
            EXPECT_EQ(atChunk, imported);
            imported ? ++kept : ++failed;
        }
        // Cuts after the magic and after the first chunk (no Transform yet) give no tree and no error line.
        EXPECT_EQ(static_cast<int>((ends.size() - 2) * 4), kept);
        EXPECT_EQ(failed, log.Count("[E] ImportMSD: Import failed.") + log.Count("[E] ImportMSD: Init ") + 8);
    }
    const Bytes glider = ::Test::ReadFile(DataDir + "glider01.msd");
    ASSERT_FALSE(glider.empty());
    ::Test::Mutator mutator(20240611u);
    ::Test::LogCapture log;  // the damaged files log a great deal
    kept = failed = 0;
    for (int round = 0; round < 4000 && !HasFatalFailure(); ++round) {
        SCOPED_TRACE(round);
        Bytes bytes = round % 4 == 3 ? glider : file;
        if (round % 2 == 0)
            mutator.Extreme(bytes, 0);
        else
            bytes = mutator.Mutate(bytes, 4);
        ImportAndCheck(bytes, dir.File("mutant.msd")) ? ++kept : ++failed;
    }
    // The mutations are neither all harmless nor all fatal.
    EXPECT_GT(kept, 200);
    EXPECT_GT(failed, 200);
}
