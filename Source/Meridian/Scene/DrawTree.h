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
//
// With a device that keeps its picture (Render::KeepsPicture), each frame is
// first traversed into a FrameRecorder and compared with the record of the
// picture on screen: an identical frame is left out (no device call at all),
// one that differs only in flat drawables is drawn inside the rectangle that
// covers them (Render::SetDrawRegion), any other is drawn whole. A frame
// after RequestWholeFrame, or after the device asked for one, is drawn whole.
// Other devices get every frame drawn whole, as if there were no record.
// Depends on: Render/Render.h, Scene nodes, Scene/Shader.h (layers),
// Scene/FrameRecorder.h.
#pragma once

#include <vector>

#include "Render/Render.h"
#include "Scene/Camera.h"
#include "Scene/FrameRecorder.h"

namespace Meridian {

class DrawTree : public Object {
    MERIDIAN_TAGGED_CLASS(DrawTree, Object, Tags::DrawTree)

    static constexpr I32 BucketCount = 32;
    static constexpr I32 DefaultLayer = 8;

    DrawTree();
    ~DrawTree() override;

    virtual void SetRender(Render* render) {
        m_Render = render;
        m_WholeFrame = true;
    }
    virtual Render* GetRender() const { return m_Render; }
    virtual void SetSceneRoot(Node* root) {
        m_SceneRoot = root;
        m_WholeFrame = true;
    }
    virtual Node* GetSceneRoot() const { return m_SceneRoot; }
    virtual void SetCamera(Camera* camera) {
        m_Camera = camera;
        m_WholeFrame = true;
    }
    virtual Camera* GetCamera() const { return m_Camera; }
    // Renders one frame through the device (without swapping buffers).
    // False when nothing was drawn: the frame was left out or failed.
    virtual bool Draw();
    // The next Draw draws the whole picture.
    void RequestWholeFrame() { m_WholeFrame = true; }

    // Completed frames; a frame that ends early does not count.
    U32 GetFrameNumber() const { return m_FrameNumber; }
    // Frames of a device that keeps its picture: left out, drawn in part.
    U32 GetFramesLeftOut() const { return m_FramesLeftOut; }
    U32 GetFramesInPart() const { return m_FramesInPart; }
    // Sum of this frame's ambient lights (r, g, b).
    const F32* GetAmbient() const { return m_Ambient; }

protected:
    struct Entry {
        Node* m_Node;
        const Matrix4* m_Matrix;
    };

    // One frame's calls into device; false when it ended early.
    bool Traverse(Render* device);
    void Collect(Node* node, const Matrix4* parent, bool interfacePass);
    // Fills the current camera's view and projection; false after an error.
    bool PrepareCurrentCamera();
    void DrawBuckets(Render* device, bool sortByShader);
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
    Ref<FrameRecorder> m_Record;
    FrameRecorder::Picture m_Shown;  // the picture on screen
    bool m_WholeFrame = true;
    bool m_Quiet = false;  // errors were logged by this frame's record
    U32 m_FramesLeftOut = 0;
    U32 m_FramesInPart = 0;
};

}  // namespace Meridian
