// Render device: the engine's abstract interface to the graphics hardware.
//
// The application creates one device, calls Init once (nothing else may be
// called before it succeeds) and Exit at shutdown. The draw traversal drives
// everything in between, per camera: SetRenderTarget, Clear(3),
// SetProjectionMatrix, SetViewMatrix, SetAmbientLight, SetLights, SetLight per
// light, SetFog; then per drawable SetShader followed by DrawNode; finally the
// application calls SwapBuffers. Matrices are 16 Fixed values, column-major.
// A device that keeps its picture (KeepsPicture) lets the traversal, which
// asks TakeWholeFrameNeeded first in every frame, leave a frame out (no call
// at all before SwapBuffers, which then shows nothing new) or draw it in part
// (SetDrawRegion before the cameras' calls; SwapBuffers then needs to bring
// only that rectangle to the screen). Other devices get every frame whole.
// The device never takes ownership of nodes passed to it for the length of a
// call; graphics objects it makes (textures, buffers) belong to its handles
// and are all released by Exit.
#pragma once

#include "Math/Matrix4.h"
#include "Memory/Object.h"

namespace Meridian {

class Drawable;
class Fog;
class Light;
class RenderTarget;
class Shader;
class Texture;

class Render : public Object {
    MERIDIAN_CLASS(Render, Object)

    enum ClearFlags : U32 { ClearDepth = 1, ClearColor = 2, ClearStencil = 4 };

    virtual bool Init() = 0;
    virtual void Exit() = 0;
    virtual bool IsAvailable() { return true; }
    // Screen width / height (4/3 on the 320 x 240 target).
    virtual void GetAspectRatio(Fixed& aspect) = 0;
    virtual void SetClearColor(F32 r, F32 g, F32 b, F32 a) = 0;
    virtual void SetClearDepth(Fixed depth) = 0;
    virtual void Clear(U32 flags) = 0;
    virtual void SetViewMatrix(const Matrix4& view) = 0;
    virtual void SetProjectionMatrix(const Matrix4& projection) = 0;
    virtual void SetAmbientLight(const F32* rgba) = 0;
    virtual void SetLights(I32 count) = 0;
    virtual void SetLight(I32 index, Light* light, const Matrix4& world) = 0;
    // Null switches fog off.
    virtual void SetFog(Fog* fog) = 0;
    // Null draws with default material and no texture (and logs a warning).
    virtual void SetShader(Shader* shader, const F32* rgba) = 0;
    // The camera's target, or null for the screen.
    virtual void SetRenderTarget(RenderTarget* target) = 0;
    virtual void DrawNode(Drawable* drawable, const Matrix4& world) = 0;
    // Shows the frame. A device that keeps its picture shows nothing new
    // when nothing was drawn since the last swap, and may show only the
    // rectangle of a frame drawn in part (the rest is on screen already).
    virtual void SwapBuffers() = 0;
    // Whether the device keeps its picture: the last frame shown stays on
    // screen and in the buffer drawn into, so that a frame may be left out
    // or drawn in part. Devices that do not (pbuffers, the handheld) get
    // every frame drawn whole.
    virtual bool KeepsPicture() { return false; }
    // True once after something outside the scene changed what the screen
    // shows (a resize, a fullscreen switch, the window exposed or mapped):
    // the next frame must be drawn whole.
    virtual bool TakeWholeFrameNeeded() { return false; }
    // Limits the drawing of this frame, clears included, to a rectangle of
    // the picture in normalized device coordinates (left, bottom, right,
    // top), grown to whole pixels and a pixel more; until SwapBuffers.
    virtual void SetDrawRegion(F32 left, F32 bottom, F32 right, F32 top) {
        (void)left;
        (void)bottom;
        (void)right;
        (void)top;
    }
    // Window modes, for a device that shows a desktop window (others ignore
    // them and answer false). SetFullscreen switches between the framed
    // window and the whole screen and answers whether the device now shows
    // what was asked; ResizeWindow follows the player's resize to width x
    // height pixels. The picture keeps its 4:3 shape, centred, black around.
    virtual bool SetFullscreen(bool fullscreen) {
        (void)fullscreen;
        return false;
    }
    virtual bool IsFullscreen() { return false; }
    virtual void ResizeWindow(I32 width, I32 height) {
        (void)width;
        (void)height;
    }
    // Writes the frame to "<prefix>-<time>.png"; false when not supported.
    virtual bool Screenshot(const char* prefix) {
        (void)prefix;
        return false;
    }
};

}  // namespace Meridian
