// Draw traversal: turns the scene tree into render-device calls once per
// frame. It holds the render device, the scene root and the active camera by
// counted references; Draw renders one frame through the device.
#pragma once

#include "Render/Render.h"
#include "Scene/Camera.h"

namespace Meridian {

class DrawTree : public Object {
    MERIDIAN_TAGGED_CLASS(DrawTree, Object, Tags::DrawTree)

    virtual void SetRender(Render* render) { m_Render = render; }
    virtual Render* GetRender() const { return m_Render; }
    virtual void SetSceneRoot(Node* root) { m_SceneRoot = root; }
    virtual Node* GetSceneRoot() const { return m_SceneRoot; }
    virtual void SetCamera(Camera* camera) { m_Camera = camera; }
    virtual Camera* GetCamera() const { return m_Camera; }
    virtual void Draw();

    U32 GetFrameNumber() const { return m_FrameNumber; }

protected:
    Ref<Render> m_Render;
    Ref<Node> m_SceneRoot;
    Ref<Camera> m_Camera;
    U32 m_FrameNumber = 0;
};

}  // namespace Meridian
