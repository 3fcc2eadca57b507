// SkinGeometry: a mesh deformed by joint transforms (skinning).
//
// Each joint j is a Transform (weak reference, may be null: joints sit in the
// tree, often above the mesh, which a counted reference would keep alive;
// a destroyed joint reads as null and moves nothing) with a bind
// matrix B[j] and a weight set (vertex indices and Fixed weights) kept in the
// mesh's PolygonData. Every UpdateDrawable recomputes the skinned arrays:
// for each joint, S = world(j) x B[j], and each listed vertex gets
// weight x S·position and weight x (3x3 of S)·normal added (normals are not
// renormalised). The skinned arrays replace the source positions and normals
// in GetVertexData/GetNormalData once computed, and are marked dirty so the
// device uploads them. Joint world matrices come from the draw traversal.
// Skinning needs as many joints as weight sets and bind matrices, and as many
// normals as vertices; otherwise it logs an error and keeps the last result.
// Depends on: Scene/PolygonGeometry.h, Scene/Transform.h.
#pragma once

#include <vector>

#include "Scene/PolygonGeometry.h"
#include "Scene/Transform.h"

namespace Meridian {

class SkinGeometry : public PolygonGeometry {
    MERIDIAN_TAGGED_CLASS(SkinGeometry, PolygonGeometry, Tags::SkinGeometry)

    void UpdateDrawable() override { CalculateSkinning(); }
    void CalculateSkinning();

    // The skinned positions and normals when they match the vertex count,
    // else the source arrays (before the first skinning).
    const Float3* GetVertexData() const override;
    const Float3* GetNormalData() const override;

    // Adds one joint with its bind matrix and weight set (parallel lists).
    void AddJoint(Transform* joint, const Matrix4& bind, const std::vector<I32>& indices,
                  const std::vector<Fixed>& weights);
    // The three lists may also be filled one by one.
    void AddJoint(Transform* joint) { m_Joints.push_back(WeakRef<Transform>(joint)); }
    void AddBindMatrix(const Matrix4& bind) { m_Data->m_BindMatrices.push_back(bind); }
    void AddWeightSet(const std::vector<I32>& indices, const std::vector<Fixed>& weights) {
        m_Data->m_WeightSets.push_back(WeightSet{indices, weights});
    }
    void SetJoint(I32 index, Transform* joint) {
        if (index >= 0 && index < GetJointCount()) m_Joints[static_cast<size_t>(index)] = joint;
    }
    Transform* GetJoint(I32 index) const {
        return index >= 0 && index < GetJointCount() ? m_Joints[static_cast<size_t>(index)].Get() : nullptr;
    }
    I32 GetJointCount() const { return static_cast<I32>(m_Joints.size()); }
    I32 GetWeightSetCount() const { return static_cast<I32>(m_Data->m_WeightSets.size()); }

    const std::vector<Float3>& GetSkinnedVertices() const { return m_SkinnedVertices; }
    const std::vector<Float3>& GetSkinnedNormals() const { return m_SkinnedNormals; }

private:
    std::vector<WeakRef<Transform>> m_Joints;
    std::vector<Float3> m_SkinnedVertices;
    std::vector<Float3> m_SkinnedNormals;
};

}  // namespace Meridian
