// A small .msd writer for tests: builds scene files chunk by chunk, with every field spelled out, so tests can make
// well-formed and damaged files; and walks over imported trees.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "Scene/Node.h"

namespace Test {

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
    // Offset of the next chunk (where a cut leaves a complete file).
    size_t Size() const { return bytes.size(); }
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

    MsdBytes& Material(int32_t id, const std::string& name, int32_t texture0, int32_t texture1, int32_t texture2,
                       int32_t shininessRaw = 10 << 16) {
        Tag("MATL").I32(id).String(name);
        const float colours[4][4] = {{0.1f, 0.2f, 0.3f, 1}, {0.4f, 0.5f, 0.6f, 1}, {0.7f, 0.8f, 0.9f, 1}, {1, 1, 1, 1}};
        for (const auto& colour : colours)
            for (float c : colour) F32(c);
        F32(0).F32(0).F32(0);
        I32(shininessRaw);
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
void Walk(Meridian::Node* node, const Visit& visit) {
    visit(node);
    if (Meridian::Group* group = Meridian::Cast<Meridian::Group>(node))
        for (Meridian::U32 i = 0; i < group->GetChildCount(); ++i) Walk(group->GetChild(i), visit);
}

// The first node of kind T at or below node named name (any name when empty).
template <class T>
T* FindNode(Meridian::Node* node, const std::string& name = "") {
    T* found = nullptr;
    Walk(node, [&](Meridian::Node* n) {
        T* hit = Meridian::Cast<T>(n);
        if (!found && hit && (name.empty() || hit->Name() == name)) found = hit;
    });
    return found;
}

}  // namespace Test
