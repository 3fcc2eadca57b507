// Draw traversal: turns the scene tree into render-device calls once per
// frame.
//
// Draw walks the tree from the scene root (skipping disabled subtrees),
// computes every Transform's world matrix (parent world x local, stamped with
// the frame number), and sorts what it finds: drawables into 32 buckets by
// their shader's layer (8 without shader), lights (type 0 summed into the
// ambient colour), fogs, the active camera and interface groups (not entered
// in this pass). Then it renders the buckets once per camera, in ascending
// layer order with drawables of one shader drawn together, and afterwards
// each interface group as an overlay with its own projection and the
// identity view. Nothing is drawn without the active camera, not even the
// overlays. Failures are log lines; the frame goes on or ends, nothing is
// retried.
//
// Camera convention: a camera looks along the local +Z axis of its parent
// transform, with +Y up; this is the axis a LookTransform aims at its target
// and the way models are built to face. GL's eye looks down -Z, so the view
// matrix is the affine inverse of the parent's world matrix turned 180
// degrees about Y (its X and Z rows negated); the screen's right is then the
// camera frame's -X (forward x up), which keeps the picture unmirrored.
//
// Holds the render device, the scene root and the active camera by counted
// references (only the camera given to SetCamera is ever used). Bucket and
// list entries point at nodes and world matrices owned by the tree: valid
// during Draw only. Storage is reused from frame to frame, so a steady frame
// allocates nothing.
// Depends on: Render/Render.h, Scene nodes, Scene/Shader.h (layers).
#pragma once

#include <vector>

#include "Render/Render.h"
#include "Scene/Camera.h"

namespace Meridian {

class DrawTree : public Object {
    MERIDIAN_TAGGED_CLASS(DrawTree, Object, Tags::DrawTree)

    static constexpr I32 BucketCount = 32;
    static constexpr I32 DefaultLayer = 8;

    DrawTree();
    ~DrawTree() override;

    virtual void SetRender(Render* render) { m_Render = render; }
    virtual Render* GetRender() const { return m_Render; }
    virtual void SetSceneRoot(Node* root) { m_SceneRoot = root; }
    virtual Node* GetSceneRoot() const { return m_SceneRoot; }
    virtual void SetCamera(Camera* camera) { m_Camera = camera; }
    virtual Camera* GetCamera() const { return m_Camera; }
    // Renders one frame through the device (without swapping buffers).
    virtual void Draw();

    // Completed frames; a frame that ends early does not count.
    U32 GetFrameNumber() const { return m_FrameNumber; }
    // Sum of this frame's ambient lights (r, g, b).
    const F32* GetAmbient() const { return m_Ambient; }

protected:
    struct Entry {
        Node* m_Node;
        const Matrix4* m_Matrix;
    };

    void Collect(Node* node, const Matrix4* parent, bool interfacePass);
    // Fills the current camera's view and projection; false after an error.
    bool PrepareCurrentCamera();
    void DrawBuckets(bool sortByShader);
    void ClearBuckets();

    std::vector<Entry> m_Buckets[BucketCount];
    std::vector<Entry*> m_Scratch;
    std::vector<Entry> m_Lights;
    std::vector<Entry> m_Cameras;
    std::vector<Entry> m_InterfaceGroups;
    std::vector<Entry> m_Fogs;
    F32 m_Ambient[3];
    Ref<Camera> m_CurrentCamera;
    Ref<Node> m_CurrentInterfaceGroup;
    Ref<Render> m_Render;
    Ref<Node> m_SceneRoot;
    Ref<Camera> m_Camera;
    U32 m_FrameNumber;
};

}  // namespace Meridian
