#include "Import/ImportMSD.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Animation/AttributeSpline.h"
#include "Animation/Track.h"
#include "Animation/TrackLibrary.h"
#include "Core/Log.h"
#include "Scene/FileTexture2D.h"
#include "Scene/Material.h"
#include "Scene/Shader.h"
#include "Scene/SkinGeometry.h"

namespace Meridian {

namespace {

// Reads little-endian values from a file of known size, keeping count of the
// bytes left so that lengths read from the file can be checked against them.
// After the first short read every further read yields zeros and Ok() stays
// false.
class Reader {
public:
    explicit Reader(FILE* file) : m_File(file), m_Size(0), m_Position(0), m_Ok(true) {
        if (std::fseek(file, 0, SEEK_END) == 0) {
            const long size = std::ftell(file);
            m_Size = size > 0 ? size : 0;
        }
        std::fseek(file, 0, SEEK_SET);
    }

    bool Ok() const { return m_Ok; }
    I64 Remaining() const { return m_Size - m_Position; }

    bool Bytes(void* out, size_t count) {
        if (!m_Ok || static_cast<I64>(count) > Remaining() || std::fread(out, 1, count, m_File) != count) {
            m_Ok = false;
            std::memset(out, 0, count);
            return false;
        }
        m_Position += static_cast<I64>(count);
        return true;
    }
    U32 ReadU32() {
        U8 b[4];
        Bytes(b, 4);
        return static_cast<U32>(b[0]) | static_cast<U32>(b[1]) << 8 | static_cast<U32>(b[2]) << 16 |
               static_cast<U32>(b[3]) << 24;
    }
    I32 ReadI32() {
        const U32 bits = ReadU32();
        I32 value;
        std::memcpy(&value, &bits, 4);
        return value;
    }
    F32 ReadF32() {
        const U32 bits = ReadU32();
        F32 value;
        std::memcpy(&value, &bits, 4);
        return value;
    }
    Fixed ReadFixed() { return Fixed::FromFloat(ReadF32()); }
    Vector3 ReadVector() {
        Vector3 v;
        v.x = ReadFixed();
        v.y = ReadFixed();
        v.z = ReadFixed();
        return v;
    }
    void ReadColor(F32* rgba) {
        for (int i = 0; i < 4; ++i) rgba[i] = ReadF32();
    }
    // A string: i32 length n, then n bytes (n <= 0 is empty). A length
    // beyond the end of the file fails the read.
    std::string ReadString() {
        const I32 length = ReadI32();
        if (length <= 0) return std::string();
        if (!Fits(length, 1)) return std::string();
        std::string text(static_cast<size_t>(length), '\0');
        Bytes(&text[0], text.size());
        return text;
    }
    // Count read from the file: negative counts mean none. A count whose
    // elements cannot all be in the rest of the file fails the read, so no
    // allocation is ever sized by a damaged count.
    I32 ReadCount(I64 minElementSize) {
        const I32 count = ReadI32();
        if (count <= 0) return 0;
        return Fits(count, minElementSize) ? count : 0;
    }
    bool Fits(I64 count, I64 elementSize) {
        if (!m_Ok || count * elementSize > Remaining()) m_Ok = false;
        return m_Ok;
    }
    void Skip(size_t count) {
        U8 buffer[68];
        while (count > 0 && m_Ok) {
            const size_t n = count < sizeof buffer ? count : sizeof buffer;
            Bytes(buffer, n);
            count -= n;
        }
    }

private:
    FILE* m_File;
    I64 m_Size;
    I64 m_Position;
    bool m_Ok;
};

constexpr U32 ChunkTag(const char (&text)[5]) { return MakeTag(text); }

const U32 TagMagic = ChunkTag("MSD0");
const U32 TagTransform = ChunkTag("TRNS");
const U32 TagPolygon = ChunkTag("POLY");
const U32 TagSkin = ChunkTag("SKIN");
const U32 TagMaterial = ChunkTag("MATL");
const U32 TagTexture = ChunkTag("TXTR");
const U32 TagAnimation = ChunkTag("ANIM");
const U32 TagLight = ChunkTag("LIGT");
const U32 TagShader = ChunkTag("SHAD");
const U32 TagTake = ChunkTag("TAKE");
const U32 TagRotation = ChunkTag("ROTN");
const U32 TagScaling = ChunkTag("SCAL");

// Bytes of a take key (value, in, out, time) and a vertex record.
const I64 KeySize = 16;
const I64 VertexSize = 32;
// Smallest skin joint record: ID, matrix, two empty counts.
const I64 JointSize = 4 + 64 + 4 + 4;
// Largest vertex coordinate: half of Fixed's range.
const F32 MaxCoordinate = 16383.0f;

class Importer {
public:
    Importer(const std::string& path, U32 flags, FILE* file) : m_Path(path), m_In(file) {
        if (flags & ImportMSDCreateRoot) m_Root = New<Transform>();
    }

    bool Run();
    Transform* Root() const { return m_Root; }
    // Hands the root over; the importer keeps no reference afterwards.
    Transform* TakeRoot();

private:
    struct Entry {
        Ref<Object> object;
        bool defined = false;  // filled by its own chunk, not only referenced
    };

    bool ReadTransform();
    bool ReadMesh(bool skinned);
    bool ReadMaterial();
    bool ReadTexture();
    bool ReadAnimation();
    bool ReadTake(Container* container);
    std::unique_ptr<AttributeSpline> ReadAttribute();

    // The object registered under id, or null.
    Object* Find(I32 id) const {
        auto it = m_Table.find(id);
        return it == m_Table.end() ? nullptr : it->second.object.Get();
    }
    // Stores a newly defined object under id; an id that is taken logs a
    // duplicate and keeps the first object. Negative ids are never stored.
    void Register(I32 id, Object* object);
    // Resolves a reference of the expected kind, creating the object when
    // the id is free.
    template <class T>
    T* Resolve(I32 id);
    // For a defining chunk: the empty object an earlier reference created
    // under id, marked defined, or null when there is none to fill.
    template <class T>
    T* Placeholder(I32 id);
    // True when node is group or one of its ancestors.
    static bool IsAncestor(const Node* node, const Group* group) {
        for (const Group* g = group; g; g = g->GetParent())
            if (g == node) return true;
        return false;
    }

    std::string m_Path;
    Reader m_In;
    Ref<Transform> m_Root;
    std::vector<Ref<Container>> m_PendingAnimations;  // read before any root existed
    std::map<I32, Entry> m_Table;
};

void Importer::Register(I32 id, Object* object) {
    if (id < 0) return;
    Entry& entry = m_Table[id];
    if (entry.object && entry.object.Get() != object) {
        LogE() << "ImportMSD: Duplicate Object ID#" << id;
        return;
    }
    entry.object = object;
    entry.defined = true;
}

template <class T>
T* Importer::Resolve(I32 id) {
    if (Object* existing = Find(id)) {
        if (T* object = Cast<T>(existing)) return object;
        LogE() << "ImportMSD: Object Type Mismatch ID#" << id;
        return nullptr;
    }
    if (id < 0) {
        LogW() << "ImportMSD: Cant Create Type with ID#" << id;
        return nullptr;
    }
    T* object = New<T>();
    m_Table[id].object = object;
    return object;
}

template <class T>
T* Importer::Placeholder(I32 id) {
    auto it = m_Table.find(id);
    if (it == m_Table.end() || it->second.defined) return nullptr;
    T* object = Cast<T>(it->second.object.Get());
    if (object) it->second.defined = true;
    return object;
}

bool Importer::Run() {
    U8 magic[4];
    if (!m_In.Bytes(magic, 4) || std::memcmp(magic, &TagMagic, 4) != 0) {
        LogE() << "ImportMSD: Init " << Log::Quote(m_Path) << " failed.";
        return false;
    }
    for (;;) {
        // End of file reads as the zero word, which ends the loop like any
        // unknown tag.
        const U32 tag = m_In.Remaining() >= 4 ? m_In.ReadU32() : 0;
        bool ok = true;
        if (tag == TagTransform) {
            LogD() << "Importing " << Log::Quote("Transform");
            ok = ReadTransform();
        } else if (tag == TagPolygon) {
            LogD() << "Importing " << Log::Quote("PolygonGeometry");
            ok = ReadMesh(false);
        } else if (tag == TagSkin) {
            LogD() << "Importing " << Log::Quote("SkinGeometry");
            ok = ReadMesh(true);
        } else if (tag == TagMaterial) {
            LogD() << "Importing " << Log::Quote("Material");
            ok = ReadMaterial();
        } else if (tag == TagAnimation) {
            LogD() << "Importing " << Log::Quote("Animation");
            ok = ReadAnimation();
        } else if (tag == TagTexture) {
            LogD() << "Importing " << Log::Quote("Texture");
            ok = ReadTexture();
        } else if (tag == TagLight) {
            LogD() << "Importing " << Log::Quote("Light");
            ok = false;
        } else if (tag == TagShader) {
            LogD() << "Importing " << Log::Quote("Shader");
            ok = false;
        } else {
            break;
        }
        if (!ok || !m_In.Ok()) {
            LogE() << "ImportMSD: Import failed.";
            return false;
        }
    }
    if (m_Root)
        for (const Ref<Container>& container : m_PendingAnimations) container->SetParent(m_Root);
    if (m_Root) {
        std::string name = m_Path;
        const size_t dot = name.rfind('.');
        const size_t slash = name.find_last_of("/\\");
        if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) name.erase(dot);
        m_Root->SetName(name);
    }
    return true;
}

Transform* Importer::TakeRoot() {
    Transform* root = m_Root;
    m_Table.clear();
    m_PendingAnimations.clear();
    if (!root) return nullptr;
    // Keep the root alive while the importer lets go, then hand it over with
    // the count it had before the importer held it.
    TakeRef(root);
    m_Root.Reset();
    --HeaderOf(root)->m_Count;
    return root;
}

bool Importer::ReadTransform() {
    const I32 parentId = m_In.ReadI32();
    const I32 id = m_In.ReadI32();
    const std::string name = m_In.ReadString();
    const Vector3 translation = m_In.ReadVector();
    const Vector3 rotation = m_In.ReadVector();
    const Vector3 scaling = m_In.ReadVector();
    const Vector3 orientation = m_In.ReadVector();
    const I32 order = m_In.ReadI32();
    if (!m_In.Ok()) return false;

    Ref<Transform> node = Placeholder<Transform>(id);
    if (!node) {
        node = New<Transform>();
        Register(id, node);
    }
    node->SetName(name);
    if (!m_Root) {
        // The first Transform is the root: it has no parent.
        m_Root = node;
    } else {
        Group* parent = nullptr;
        Object* found = Find(parentId);
        if (!found)
            LogE() << "ImportMSD: Undefined Object for ID#" << parentId;
        else if (!(parent = Cast<Transform>(found)))
            LogE() << "ImportMSD: Object Type Mismatch ID#" << parentId;
        else if (IsAncestor(node, parent)) {
            LogE() << "ImportMSD: Cyclic parent for ID#" << parentId;
            parent = nullptr;
        }
        if (!parent && m_Root != node && !IsAncestor(node, m_Root)) parent = m_Root;
        if (parent) node->SetParent(parent);
    }
    node->SetTranslation(translation);
    node->SetRotation(rotation);
    node->SetScaling(scaling);
    node->SetOrientation(orientation);
    node->SetRotationOrder(order);
    LogD() << "ImportMSD::Import: Transform " << Log::Quote(name);
    return true;
}

bool Importer::ReadMesh(bool skinned) {
    Ref<PolygonGeometry> mesh = skinned ? New<SkinGeometry>() : New<PolygonGeometry>();
    const I32 parentId = m_In.ReadI32();
    const I32 id = m_In.ReadI32();
    const std::string name = m_In.ReadString();
    const I32 shaderId = m_In.ReadI32();
    const I32 primitiveType = m_In.ReadI32();
    const I32 vertexCount = m_In.ReadCount(VertexSize);
    if (!m_In.Ok()) return false;
    mesh->SetPrimitiveType(primitiveType);

    std::vector<Float3> positions(static_cast<size_t>(vertexCount)), normals(positions.size());
    std::vector<Float2> coords(positions.size());
    for (size_t i = 0; i < positions.size(); ++i) {
        positions[i].x = m_In.ReadF32(), positions[i].y = m_In.ReadF32(), positions[i].z = m_In.ReadF32();
        normals[i].x = m_In.ReadF32(), normals[i].y = m_In.ReadF32(), normals[i].z = m_In.ReadF32();
        coords[i].u = m_In.ReadF32(), coords[i].v = m_In.ReadF32();
        // Positions are measured in Fixed (bounds, hit tests): a position
        // that is not a number, or so far out that two points of the mesh
        // could lie beyond Fixed's range apart, is damage.
        for (F32 c : {positions[i].x, positions[i].y, positions[i].z})
            if (!(c >= -MaxCoordinate && c <= MaxCoordinate)) return false;
    }
    const I32 indexCount = m_In.ReadCount(4);
    if (!m_In.Ok()) return false;
    std::vector<U16> indices(static_cast<size_t>(indexCount));
    for (U16& index : indices) {
        const U32 value = m_In.ReadU32();
        // Stored as 16 bits: an index that does not fit, or names a vertex
        // that is not there, would draw from outside the mesh.
        if (value > 0xFFFFu || value >= static_cast<U32>(vertexCount)) return false;
        index = static_cast<U16>(value);
    }
    if (!m_In.Ok()) return false;
    mesh->SetVertices(positions);
    mesh->SetNormals(normals);
    mesh->SetTexCoords(0, coords);
    mesh->SetIndices(indices);

    if (skinned) {
        SkinGeometry* skin = static_cast<SkinGeometry*>(mesh.Get());
        const I32 jointCount = m_In.ReadCount(JointSize);
        for (I32 j = 0; j < jointCount && m_In.Ok(); ++j) {
            const I32 jointId = m_In.ReadI32();
            Matrix4 bind;
            for (Fixed& element : bind.m) element = Fixed::FromRaw(m_In.ReadI32());
            const I32 count = m_In.ReadCount(4);
            std::vector<I32> vertexIndices(static_cast<size_t>(count));
            for (I32& index : vertexIndices) index = m_In.ReadI32();
            const I32 weightCount = m_In.ReadCount(4);
            std::vector<Fixed> weights(static_cast<size_t>(weightCount));
            for (Fixed& weight : weights) weight = m_In.ReadFixed();
            if (!m_In.Ok()) return false;
            skin->AddJoint(Resolve<Transform>(jointId), bind, vertexIndices, weights);
        }
        if (!m_In.Ok()) return false;
    }

    Register(id, mesh);
    if (Transform* parent = Resolve<Transform>(parentId)) mesh->SetParent(parent);
    mesh->SetShader(Resolve<Shader>(shaderId));
    mesh->SetName(name);
    return true;
}

bool Importer::ReadMaterial() {
    const I32 id = m_In.ReadI32();
    const std::string name = m_In.ReadString();
    F32 ambient[4], diffuse[4], emission[4], specular[4];
    m_In.ReadColor(ambient);
    m_In.ReadColor(diffuse);
    m_In.ReadColor(emission);
    m_In.ReadColor(specular);
    m_In.Skip(12);
    const I32 shininess = m_In.ReadI32();
    m_In.Skip(4);
    I32 textureIds[3];
    for (I32& textureId : textureIds) textureId = m_In.ReadI32();
    if (!m_In.Ok()) return false;

    // A shader referenced by an earlier mesh is filled in place.
    Ref<Shader> shader = Placeholder<Shader>(id);
    if (!shader) {
        shader = New<Shader>();
        Register(id, shader);
    }
    shader->SetName(name);
    Ref<Material> material = New<Material>();
    shader->SetMaterial(material);
    material->SetName(name + "_Material");
    material->SetAmbient(ambient[0], ambient[1], ambient[2], ambient[3]);
    material->SetDiffuse(diffuse[0], diffuse[1], diffuse[2], diffuse[3]);
    material->SetEmission(emission[0], emission[1], emission[2], emission[3]);
    material->SetSpecular(specular[0], specular[1], specular[2], specular[3]);
    material->SetShininess(Fixed::FromRaw(shininess));
    FileTexture2D* textures[3];
    for (int i = 0; i < 3; ++i) textures[i] = Resolve<FileTexture2D>(textureIds[i]);
    if (textures[0]) shader->SetTexture(0, textures[0]);
    return true;
}

bool Importer::ReadTexture() {
    const I32 id = m_In.ReadI32();
    const std::string name = m_In.ReadString();
    const std::string source = m_In.ReadString();
    m_In.Skip(68);
    if (!m_In.Ok()) return false;

    FileTexture2D* texture = Resolve<FileTexture2D>(id);
    if (!texture) return true;
    // The PNG beside the model with the source's file name: directory of the
    // model + file part of the source without extension + ".png".
    const size_t modelSlash = m_Path.find_last_of("/\\");
    const std::string directory = modelSlash == std::string::npos ? std::string() : m_Path.substr(0, modelSlash + 1);
    size_t sourceSlash = source.rfind('/');
    if (sourceSlash == std::string::npos) sourceSlash = source.rfind('\\');
    std::string file = sourceSlash == std::string::npos ? source : source.substr(sourceSlash + 1);
    const size_t dot = file.rfind('.');
    if (dot != std::string::npos) file.erase(dot);
    texture->SetName(name);
    texture->SetFileName(directory + file + ".png");
    return true;
}

bool Importer::ReadAnimation() {
    // A take is at least its tag, an empty name and a channel count.
    const I32 takeCount = m_In.ReadCount(12);
    if (!m_In.Ok()) return false;
    if (takeCount < 1) return true;
    Ref<Container> container = New<Container>();
    if (m_Root)
        container->SetParent(m_Root);
    else
        m_PendingAnimations.push_back(container);  // attached once a root exists
    for (I32 i = 0; i < takeCount; ++i)
        if (!ReadTake(container)) return false;
    return true;
}

bool Importer::ReadTake(Container* container) {
    const U32 tag = m_In.ReadU32();
    if (!m_In.Ok() || tag != TagTake) return false;
    const std::string name = m_In.ReadString();
    LogD() << "ImportTake: " << name;
    // A channel is at least an ID and three attribute tags.
    const I32 channelCount = m_In.ReadCount(16);
    if (!m_In.Ok()) return false;
    if (channelCount < 1) return true;
    Ref<TrackLibrary> library = New<TrackLibrary>();
    library->SetName(name);
    for (I32 c = 0; c < channelCount; ++c) {
        const I32 id = m_In.ReadI32();
        if (!m_In.Ok()) return false;
        Object* found = Find(id);
        Node* node = Cast<Node>(found);
        if (!found)
            LogE() << "ImportMSD: Undefined Object for ID#" << id;
        else if (!node)
            LogE() << "ImportMSD: Object Type Mismatch ID#" << id;
        Transform* target = Cast<Transform>(node);
        // The attribute records are read even for a channel that animates
        // nothing, so that the channels after it are read from their place.
        std::unique_ptr<AttributeSpline> attributes[3];
        for (auto& attribute : attributes) attribute = ReadAttribute();
        if (!m_In.Ok()) return false;
        if (!target || (!attributes[0] && !attributes[1] && !attributes[2])) continue;
        LogD() << target->Name() << " is animated.";
        Ref<Track> track = New<Track>();
        track->SetTarget(target);
        for (auto& attribute : attributes)
            if (attribute) track->AddAttribute(std::move(attribute));
        library->AddTrack(track);
    }
    if (library->GetTrackCount() > 0) container->Add(library);
    return true;
}

std::unique_ptr<AttributeSpline> Importer::ReadAttribute() {
    const U32 tag = m_In.ReadU32();
    std::unique_ptr<AttributeSpline> attribute;
    if (tag == TagTransform)
        attribute.reset(new TranslationSpline);
    else if (tag == TagRotation)
        attribute.reset(new RotationSpline);
    else if (tag == TagScaling)
        attribute.reset(new ScalingSpline);
    else
        return nullptr;
    for (I32 component = 0; component < 3; ++component) {
        const I32 keyCount = m_In.ReadCount(KeySize);
        if (!m_In.Ok()) return nullptr;
        if (keyCount == 0) continue;
        std::vector<HermiteSpline::Key> keys(static_cast<size_t>(keyCount));
        for (HermiteSpline::Key& key : keys) {
            key.value = m_In.ReadFixed();
            key.inTangent = m_In.ReadFixed();
            key.outTangent = m_In.ReadFixed();
            key.time = m_In.ReadFixed();
        }
        if (!m_In.Ok()) return nullptr;
        Ref<HermiteSpline> spline = New<HermiteSpline>();
        spline->SetKeys(keys);
        attribute->SetSpline(component, spline);
    }
    if (!attribute->GetSpline(0)) return nullptr;
    return attribute;
}

}  // namespace

Transform* ImportMSD(const char* path, U32 flags) {
    const std::string name = path ? path : "";
    FILE* file = std::fopen(name.c_str(), "rb");
    if (!file) {
        LogE() << "ImportMSD: Init " << Log::Quote(name) << " failed.";
        return nullptr;
    }
    Transform* root = nullptr;
    {
        Importer importer(name, flags, file);
        if (importer.Run()) root = importer.TakeRoot();
    }
    std::fclose(file);
    return root;
}

}  // namespace Meridian
