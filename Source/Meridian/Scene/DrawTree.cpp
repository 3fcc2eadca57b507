#include "Scene/DrawTree.h"

#include <algorithm>
#include <cstdint>

#include "Core/Log.h"
#include "Math/MathFunctions.h"
#include "Scene/Drawable.h"
#include "Scene/Light.h"
#include "Scene/RenderTarget.h"
#include "Scene/Shader.h"
#include "Scene/Transform.h"

namespace Meridian {

namespace {

const Matrix4& IdentityMatrix() {
    static const Matrix4 identity = Matrix4::Identity();
    return identity;
}

Matrix4 Zero() {
    Matrix4 m;
    for (Fixed& value : m.m) value = Fixed::Zero;
    return m;
}

// glFrustum's matrix.
Matrix4 Frustum(Fixed l, Fixed r, Fixed b, Fixed t, Fixed n, Fixed f) {
    const Fixed two = Fixed::FromInt(2);
    Matrix4 m = Zero();
    m.m[0] = two * n / (r - l);
    m.m[5] = two * n / (t - b);
    m.m[8] = (r + l) / (r - l);
    m.m[9] = (t + b) / (t - b);
    m.m[10] = -(f + n) / (f - n);
    m.m[11] = -Fixed::One;
    m.m[14] = -(two * f * n) / (f - n);
    return m;
}

// glOrtho's matrix.
Matrix4 Ortho(Fixed l, Fixed r, Fixed b, Fixed t, Fixed n, Fixed f) {
    const Fixed two = Fixed::FromInt(2);
    Matrix4 m = Zero();
    m.m[0] = two / (r - l);
    m.m[5] = two / (t - b);
    m.m[10] = -two / (f - n);
    m.m[12] = -(r + l) / (r - l);
    m.m[13] = -(t + b) / (t - b);
    m.m[14] = -(f + n) / (f - n);
    m.m[15] = Fixed::One;
    return m;
}

}  // namespace

DrawTree::DrawTree() : m_Ambient{0.0f, 0.0f, 0.0f}, m_FrameNumber(0) {}

DrawTree::~DrawTree() {}

void DrawTree::ClearBuckets() {
    for (std::vector<Entry>& bucket : m_Buckets) bucket.clear();
}

void DrawTree::Collect(Node* node, const Matrix4* parent, bool interfacePass) {
    if (!node->IsEnabled()) return;
    const Matrix4* matrix = parent;
    if (Transform* transform = Cast<Transform>(node)) {
        transform->SetWorldMatrix(*parent * transform->GetLocalMatrix(), m_FrameNumber);
        matrix = &transform->GetWorldMatrix();
    }
    if (!interfacePass && node->IsKindOf(Tags::InterfaceGroup)) {
        m_InterfaceGroups.push_back(Entry{node, matrix});
        return;
    }
    if (Group* group = Cast<Group>(node)) {
        for (U32 i = 0; i < group->GetChildCount(); ++i) Collect(group->GetChild(i), matrix, interfacePass);
    } else if (Drawable* drawable = Cast<Drawable>(node)) {
        I32 layer = drawable->GetShader() ? drawable->GetShader()->GetLayer() : DefaultLayer;
        layer = std::max<I32>(0, std::min<I32>(BucketCount - 1, layer));
        m_Buckets[layer].push_back(Entry{node, matrix});
    } else if (interfacePass) {
        return;
    } else if (node->IsKindOf(Tags::Fog)) {
        m_Fogs.push_back(Entry{node, matrix});
    } else if (Light* light = Cast<Light>(node)) {
        if (light->GetLightType() == Light::Ambient) {
            for (int i = 0; i < 3; ++i) m_Ambient[i] += light->GetColor()[i];
        } else {
            m_Lights.push_back(Entry{node, matrix});
        }
    } else if (node->IsKindOf(Tags::Camera)) {
        if (node == m_Camera.Get()) m_Cameras.push_back(Entry{node, matrix});
    }
}

bool DrawTree::PrepareCurrentCamera() {
    Camera* camera = m_CurrentCamera;
    Transform* parent = camera->GetParentTransform();
    if (!parent) {
        if (!m_Quiet) LogE() << "DrawTree::PrepareCurrentCamera: m_CurrentCamera has no ParentTransform.";
        return false;
    }
    if (parent->GetWorldFrame() != m_FrameNumber) {
        if (!m_Quiet) LogE() << "DrawTree::PrepareCurrentCamera: m_CurrentCamera was not updated.";
        return false;
    }

    Matrix4 view;
    AffineInverse(parent->GetWorldMatrix(), view);
    // Look along the frame's +Z: turn 180 degrees about Y.
    for (int column = 0; column < 4; ++column) {
        view.m[column * 4 + 0] = -view.m[column * 4 + 0];
        view.m[column * 4 + 2] = -view.m[column * 4 + 2];
    }
    camera->ViewMatrix() = view;

    Fixed aspect;
    if (RenderTarget* target = camera->GetRenderTarget())
        target->GetAspect(aspect);
    else
        m_Render->GetAspectRatio(aspect);

    const Fixed n = camera->GetNear(), f = camera->GetFar();
    switch (camera->GetCameraType()) {
        case Camera::Perspective: {
            const Fixed h = Tan(camera->GetFieldOfView() / Fixed::FromInt(2));
            const Fixed halfWidth = n * h * aspect, halfHeight = n * h;
            camera->ProjectionMatrix() = Frustum(-halfWidth, halfWidth, -halfHeight, halfHeight, n, f);
            return true;
        }
        case Camera::Orthographic:
            camera->ProjectionMatrix() = Ortho(-(n * aspect), n * aspect, -n, n, n, f);
            return true;
        default:
            if (!m_Quiet) LogE() << "DrawTree::PrepareCurrentCamera: unsupported CameraType used.";
            return false;
    }
}

void DrawTree::DrawBuckets(Render* device, bool sortByShader) {
    for (std::vector<Entry>& bucket : m_Buckets) {
        if (bucket.empty()) continue;
        m_Scratch.clear();
        for (Entry& entry : bucket) m_Scratch.push_back(&entry);
        if (sortByShader && m_Scratch.size() >= 2) {
            // Same shader together (descending shader address); within one
            // shader the tree order stays.
            std::sort(m_Scratch.begin(), m_Scratch.end(), [](const Entry* a, const Entry* b) {
                const uintptr_t sa = reinterpret_cast<uintptr_t>(static_cast<Drawable*>(a->m_Node)->GetShader());
                const uintptr_t sb = reinterpret_cast<uintptr_t>(static_cast<Drawable*>(b->m_Node)->GetShader());
                return sa != sb ? sa > sb : a < b;
            });
        }
        for (Entry* entry : m_Scratch) {
            Drawable* drawable = static_cast<Drawable*>(entry->m_Node);
            device->SetShader(drawable->GetShader(), drawable->GetColor());
            device->DrawNode(drawable, *entry->m_Matrix);
        }
    }
}

bool DrawTree::Draw() {
    if (!m_SceneRoot) {
        LogE() << "DrawTree::Draw: SceneRoot must NOT be 0.";
        return false;
    }
    if (!m_Render) {
        LogE() << "DrawTree::Draw: Render must NOT be 0.";
        return false;
    }
    if (!m_Render->KeepsPicture()) {
        m_WholeFrame = true;
        if (!Traverse(m_Render)) return false;
        ++m_FrameNumber;
        return true;
    }
    if (m_Render->TakeWholeFrameNeeded()) m_WholeFrame = true;
    if (!m_Record) m_Record = New<FrameRecorder>();
    m_Record->Begin(m_Render);
    const bool recorded = Traverse(m_Record);
    m_Record->End();
    if (!recorded) return false;
    FrameRecorder::Difference difference;
    difference.m_Kind = FrameRecorder::Difference::Whole;
    if (!m_WholeFrame) difference = FrameRecorder::Compare(m_Shown, m_Record->GetPicture());
    if (difference.m_Kind == FrameRecorder::Difference::None) {
        ++m_FramesLeftOut;
        ++m_FrameNumber;
        return false;
    }
    if (difference.m_Kind == FrameRecorder::Difference::Part) {
        const F32* rect = difference.m_Rect;
        m_Render->SetDrawRegion(rect[0], rect[1], rect[2], rect[3]);
        ++m_FramesInPart;
    }
    // The record has logged this frame's errors already.
    m_Quiet = true;
    Traverse(m_Render);
    m_Quiet = false;
    m_Shown = m_Record->GetPicture();
    m_WholeFrame = false;
    ++m_FrameNumber;
    return true;
}

bool DrawTree::Traverse(Render* device) {
    ClearBuckets();
    m_Lights.clear();
    m_Cameras.clear();
    m_InterfaceGroups.clear();
    m_Fogs.clear();
    m_Ambient[0] = m_Ambient[1] = m_Ambient[2] = 0.0f;
    m_CurrentCamera.Reset();
    m_CurrentInterfaceGroup.Reset();

    Collect(m_SceneRoot, &IdentityMatrix(), false);
    if (m_Cameras.empty()) {
        if (!m_Quiet) LogE() << "DrawTree::Draw: No Cameras within SceneTree.";
        return false;
    }
    // Cameras drawing into render targets first, so the screen camera can
    // show their pictures (stable: a plain insertion pass, no allocation).
    for (size_t i = 1; i < m_Cameras.size(); ++i) {
        const Entry entry = m_Cameras[i];
        if (!static_cast<Camera*>(entry.m_Node)->GetRenderTarget()) continue;
        size_t j = i;
        while (j > 0 && !static_cast<Camera*>(m_Cameras[j - 1].m_Node)->GetRenderTarget()) {
            m_Cameras[j] = m_Cameras[j - 1];
            --j;
        }
        m_Cameras[j] = entry;
    }

    const F32 ambient[4] = {m_Ambient[0], m_Ambient[1], m_Ambient[2], 1.0f};
    for (const Entry& cameraEntry : m_Cameras) {
        m_CurrentCamera = static_cast<Camera*>(cameraEntry.m_Node);
        if (!PrepareCurrentCamera()) continue;
        device->SetRenderTarget(m_CurrentCamera->GetRenderTarget());
        device->Clear(Render::ClearDepth | Render::ClearColor);
        device->SetProjectionMatrix(m_CurrentCamera->ProjectionMatrix());
        device->SetViewMatrix(m_CurrentCamera->ViewMatrix());
        device->SetAmbientLight(ambient);
        device->SetLights(static_cast<I32>(m_Lights.size()));
        for (size_t i = 0; i < m_Lights.size(); ++i)
            device->SetLight(static_cast<I32>(i), static_cast<Light*>(m_Lights[i].m_Node), *m_Lights[i].m_Matrix);
        device->SetFog(m_Fogs.empty() ? nullptr : static_cast<Fog*>(m_Fogs[0].m_Node));
        DrawBuckets(device, true);
    }

    for (const Entry& groupEntry : m_InterfaceGroups) {
        InterfaceGroup* group = static_cast<InterfaceGroup*>(groupEntry.m_Node);
        m_CurrentInterfaceGroup = group;
        ClearBuckets();
        Collect(group, &IdentityMatrix(), true);
        device->SetProjectionMatrix(group->GetProjection());
        device->SetViewMatrix(IdentityMatrix());
        DrawBuckets(device, false);
    }
    return true;
}

}  // namespace Meridian
