#include "Scene/SkinGeometry.h"

#include <algorithm>

#include "Core/Log.h"

namespace Meridian {

namespace {

Vector3 ToFixed(const Float3& p) {
    return {Fixed::FromFloat(p.x), Fixed::FromFloat(p.y), Fixed::FromFloat(p.z)};
}

// Adds w x value to the stored float triple in Fixed.
void Accumulate(Float3& sum, Fixed w, const Vector3& value) {
    sum.x = (Fixed::FromFloat(sum.x) + w * value.x).ToFloat();
    sum.y = (Fixed::FromFloat(sum.y) + w * value.y).ToFloat();
    sum.z = (Fixed::FromFloat(sum.z) + w * value.z).ToFloat();
}

}  // namespace

void SkinGeometry::AddJoint(Transform* joint, const Matrix4& bind, const std::vector<I32>& indices,
                            const std::vector<Fixed>& weights) {
    AddJoint(joint);
    AddBindMatrix(bind);
    AddWeightSet(indices, weights);
}

const Float3* SkinGeometry::GetVertexData() const {
    if (!m_SkinnedVertices.empty() && m_SkinnedVertices.size() == m_Data->m_Vertices.size())
        return m_SkinnedVertices.data();
    return PolygonGeometry::GetVertexData();
}

const Float3* SkinGeometry::GetNormalData() const {
    if (!m_SkinnedNormals.empty() && m_SkinnedNormals.size() == m_Data->m_Normals.size())
        return m_SkinnedNormals.data();
    return PolygonGeometry::GetNormalData();
}

void SkinGeometry::CalculateSkinning() {
    PolygonData& data = *m_Data;
    if (m_Joints.size() != data.m_WeightSets.size()) {
        LogE() << "SkinGeometry::CalculateSkinning: Joint count must match Weight count.";
        return;
    }
    if (m_Joints.size() != data.m_BindMatrices.size()) {
        LogE() << "SkinGeometry::CalculateSkinning: Bind matrix count must match Joint count.";
        return;
    }
    if (data.m_Normals.size() != data.m_Vertices.size()) {
        LogE() << "SkinGeometry::CalculateSkinning: Normal/Vertex count must match.";
        return;
    }

    const size_t count = data.m_Vertices.size();
    m_SkinnedVertices.assign(count, Float3{0.0f, 0.0f, 0.0f});
    m_SkinnedNormals.assign(count, Float3{0.0f, 0.0f, 0.0f});

    for (size_t j = 0; j < m_Joints.size(); ++j) {
        Transform* joint = m_Joints[j];
        if (!joint) continue;
        const Matrix4 skin = joint->GetWorldMatrix() * data.m_BindMatrices[j];
        const WeightSet& set = data.m_WeightSets[j];
        const size_t entries = std::min(set.indices.size(), set.weights.size());
        for (size_t k = 0; k < entries; ++k) {
            const I32 i = set.indices[k];
            if (i < 0 || static_cast<size_t>(i) >= count) {
                LogE() << "SkinGeometry::CalculateSkinning: vertex index out of range.";
                continue;
            }
            const size_t v = static_cast<size_t>(i);
            const Fixed w = set.weights[k];
            Accumulate(m_SkinnedVertices[v], w, skin.TransformPoint(ToFixed(data.m_Vertices[v])));
            Accumulate(m_SkinnedNormals[v], w, skin.TransformVector(ToFixed(data.m_Normals[v])));
        }
    }
    if (count > 0) data.m_Dirty |= ArrayVertices | ArrayNormals;
}

}  // namespace Meridian
