// RenderPndGL: the render device on OpenGL ES 1.1 (fixed function) and EGL.
//
// The game draws for a 320 x 240 screen. Init opens the display in the first
// way that works, in this order (or only the one the options name):
//   X11          an SDL 1.2 video window whose X11 window is handed to EGL:
//                the desktop game. The window is 320 x 240 times an integer
//                scale (the largest that fits the screen unless given).
//   Framebuffer  EGL's default display and a window surface made from a
//                zeroed native window block: the handheld.
//   Offscreen    Mesa's surfaceless platform with a 320 x 240 x scale pbuffer:
//                headless runs and tests.
// The viewport is the largest 4:3 rectangle centred on the surface (the whole
// surface when it is an exact multiple), so the aspect ratio stays 4/3.
//
// Ownership: the device owns the GL objects behind textures and meshes through
// handles (RenderHandlesPndGL.h) that it attaches to the engine objects on
// first use and keeps in its own lists (plain pointers: the engine objects
// hold the handles). Exit releases every GL name; handles left in engine
// objects afterwards have no device and have nothing left to delete.
// Every GL call is counted (GLTrace.h). Main thread only: the thread that
// called Init owns the EGL context.
// Depends on: Render/Render.h; in its .cpp files EGL, OpenGL ES 1.1 (common
// profile), SDL 1.2 video, Scene appearance classes, Image/WritePNG.h.
// Limits: one device at a time owns the GL context; render targets are not
// drawn into (SetRenderTarget is ignored).
#pragma once

#include <memory>
#include <vector>

#include "Render/Render.h"

namespace Meridian {

class Texture;
class TextureHandlePndGL;
class RenderPolygonHandlePndGL;
class PolygonGeometry;
struct DisplayPndGL;

struct RenderPndGLOptions {
    enum Mode : I32 { Auto = 0, X11 = 1, Framebuffer = 2, Offscreen = 3 };

    Mode m_Mode = Auto;
    // Multiple of 320 x 240 for the window or pbuffer; 0 chooses: the largest
    // window that fits the screen under X11, 1 otherwise.
    I32 m_Scale = 0;
    // X11 only: a fullscreen window instead of a framed one.
    bool m_Fullscreen = false;
    // How the 320 x 240 picture grows into a larger surface: by whole
    // multiples (false: crisp pixels, a black border where it does not fill)
    // or to the largest 4:3 area (true). Either way centred.
    bool m_Smooth = false;
    // When above 0, caps the number of lights below what GL offers (lets
    // tests act as a device with fewer lights).
    I32 m_LightLimit = 0;
};

class RenderPndGL : public Render {
    MERIDIAN_CLASS(RenderPndGL, Render)

    // Width and height the game draws for.
    static constexpr I32 ScreenWidth = 320;
    static constexpr I32 ScreenHeight = 240;

    explicit RenderPndGL(const RenderPndGLOptions& options = RenderPndGLOptions());
    ~RenderPndGL() override;

    bool Init() override;
    void Exit() override;
    bool IsAvailable() override { return true; }
    void GetAspectRatio(Fixed& aspect) override;
    void SetClearColor(F32 r, F32 g, F32 b, F32 a) override;
    void SetClearDepth(Fixed depth) override;
    void Clear(U32 flags) override;
    void SetViewMatrix(const Matrix4& view) override;
    void SetProjectionMatrix(const Matrix4& projection) override;
    void SetAmbientLight(const F32* rgba) override;
    void SetLights(I32 count) override;
    void SetLight(I32 index, Light* light, const Matrix4& world) override;
    void SetFog(Fog* fog) override;
    void SetShader(Shader* shader, const F32* rgba) override;
    // Render targets are not drawn into by this device: the call is ignored.
    void SetRenderTarget(RenderTarget* target) override;
    void DrawNode(Drawable* drawable, const Matrix4& world) override;
    // A frame drawn in part (SetDrawRegion) is shown by sending only its
    // rectangle to the window where that can be done: with the driver's swap
    // with damage, or, on a software renderer (llvmpipe, softpipe: its swap
    // is itself a put of the whole buffer to the X window) without one, by
    // reading the rectangle back and putting it to the window over X, with
    // no swap; the buffer drawn into stays whole and current either way, so
    // the next whole frame's swap shows what it should. Elsewhere, and for
    // whole frames, eglSwapBuffers.
    void SwapBuffers() override;
    // A window whose buffer is kept across swaps, and whose exposes the
    // device hears of; not a pbuffer or the handheld's framebuffer.
    bool KeepsPicture() override;
    bool TakeWholeFrameNeeded() override;
    void SetDrawRegion(F32 left, F32 bottom, F32 right, F32 top) override;
    // Writes the whole surface to "<prefix>-HHMMSS-YYYYDDMM.png" (local time).
    bool Screenshot(const char* prefix) override;

    // Binds texture (null: none) to a texture unit, uploading it on first use.
    virtual void SetTexture(I32 unit, Texture* texture);
    // Runs the drawable's UpdateDrawable and draws it when it is a mesh.
    virtual void Draw(Drawable* drawable);

    // Copies w x h RGBA pixels at (x, y) of the surface (origin bottom left,
    // bottom row first) into rgba, which must hold w * h * 4 bytes. False
    // before Init or for a rectangle outside the surface.
    bool ReadPixels(I32 x, I32 y, I32 w, I32 h, U8* rgba);
    // A whole frame on a software renderer, put through shared memory; false
    // where that cannot be (then the swap shows it).
    bool PresentWholeByPut();
    // After the window's size changed: lets the driver take the new size.
    void SurfaceResized();

    // The EGL display (EGLDisplay), null before Init.
    void* GetEGLDisplay() const;
    // The X connection (an Xlib Display, which EGL shares) and the window
    // drawn into; null and 0 unless the device opened an X11 window.
    void* GetX11Display() const;
    unsigned long GetX11Window() const;
    // The way the display was opened (Auto until Init succeeds).
    RenderPndGLOptions::Mode GetOpenMode() const { return m_OpenMode; }
    I32 GetSurfaceWidth() const { return m_SurfaceWidth; }
    I32 GetSurfaceHeight() const { return m_SurfaceHeight; }
    bool SetFullscreen(bool fullscreen) override;
    bool IsFullscreen() override;
    void ResizeWindow(I32 width, I32 height) override;
    // Viewport rectangle in surface pixels.
    void GetViewport(I32& x, I32& y, I32& w, I32& h) const;
    I32 GetMaxTextureUnits() const { return m_MaxTextureUnits; }
    I32 GetMaxLights() const { return m_MaxLights; }
    I32 GetMaxTextureSize() const { return m_MaxTextureSize; }
    U32 GetFrameCount() const { return m_FrameCount; }
    U32 GetTextureHandleCount() const { return static_cast<U32>(m_TextureHandles.size()); }
    U32 GetPolygonHandleCount() const { return static_cast<U32>(m_PolygonHandles.size()); }
    U32 GetFreeBufferCount() const { return static_cast<U32>(m_FreeBuffers.size()); }
    const Matrix4& GetViewMatrix() const { return m_ViewMatrix; }
    const Matrix4& GetProjectionMatrix() const { return m_ProjectionMatrix; }
    const Matrix4& GetModelMatrix() const { return m_ModelMatrix; }

    // Handle bookkeeping, used by the handle classes.
    void AddTextureHandle(TextureHandlePndGL* handle);
    void RemoveTextureHandle(TextureHandlePndGL* handle);
    void AddPolygonHandle(RenderPolygonHandlePndGL* handle);
    void RemovePolygonHandle(RenderPolygonHandlePndGL* handle);
    // A buffer name from the free list, or 0 when it is empty.
    U32 TakeFreeBuffer();
    void GiveBackBuffer(U32 name);

private:
    bool OpenDisplay();
    void SetInitialState();
    // Places the picture in the surface (m_Viewport*) and applies it.
    void PlacePicture();
    // The scissor of a whole frame: the picture when there is a border.
    void ApplyScissor();
    // One info line: the window's or screen's size and the picture in it.
    void LogPicture() const;
    void DrawPolygon(PolygonGeometry* mesh);
    void UploadPolygon(PolygonGeometry* mesh, RenderPolygonHandlePndGL* handle);
    void ApplyTextureCombiners(Shader* shader);
    void ApplyBlendMode(I32 mode);
    void SetCap(U32 cap, bool on, I8& cached);
    // Shows this frame's rectangle (m_PartRect) as m_PartPresent says; false
    // when it could not, and the frame must be swapped whole.
    bool PresentPart();

    RenderPndGLOptions m_Options;
    std::unique_ptr<DisplayPndGL> m_Display;
    RenderPndGLOptions::Mode m_OpenMode;
    bool m_Initialized;
    I32 m_SurfaceWidth, m_SurfaceHeight;
    I32 m_ViewportX, m_ViewportY, m_ViewportWidth, m_ViewportHeight;

    I32 m_MaxTextureUnits;
    I32 m_MaxLights;
    I32 m_MaxTextureSize;

    std::vector<TextureHandlePndGL*> m_TextureHandles;
    std::vector<RenderPolygonHandlePndGL*> m_PolygonHandles;
    std::vector<U32> m_FreeBuffers;

    Ref<Fog> m_CurrentFog;
    bool m_FogKnown;
    Ref<Shader> m_CurrentShader;
    bool m_ShaderKnown;
    F32 m_CurrentColor[4];
    // The colour the current shader left in glColor4f.
    F32 m_CurrentDiffuse[4];

    Matrix4 m_ViewMatrix;
    Matrix4 m_ProjectionMatrix;
    Matrix4 m_ModelMatrix;

    // Cached GL switches: 1 on, 0 off, -1 unknown.
    I8 m_Lighting;
    I8 m_Culling;
    I8 m_DepthTest;
    U16 m_EnabledLights;
    I32 m_BlendMode;
    U32 m_FrameCount;
    // Frames between two asks whether the window still exists (a round trip
    // to the X server).
    static const U32 WindowCheckFrames = 30;
    bool m_WindowGone;
    // Whether this frame's border (the surface around the picture) has been
    // cleared to black.
    bool m_BorderCleared;
    F32 m_ClearColor[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    // Frames left out or drawn in part (KeepsPicture): whether anything was
    // drawn since the last swap, whether this frame is drawn in part, the
    // whole frames still owed after an outside change, and the frames since
    // the last whole one. Every WholeFrameFrames frames one is drawn whole
    // whatever the scene says, so nothing unforeseen stays on screen longer.
    bool m_DrawnSinceSwap = false;
    bool m_PartFrame = false;
    I32 m_WholeFramesOwed = 0;
    U32 m_FramesSinceWhole = 0;
    // How a frame drawn in part reaches the window (see SwapBuffers), the
    // rectangle drawn (surface pixels, origin bottom left: x, y, w, h), and
    // the pixels read back for a put.
    enum PartPresent : I32 { PresentWhole, PresentDamage, PresentPut };
    PartPresent m_PartPresent = PresentWhole;
    // GL_EXT_read_format_bgra: pixels can be read as BGRA bytes. Whole
    // frames still to be swapped rather than put, after the window changed.
    bool m_ReadsBGRA = false;
    I32 m_SwapsOwed = 0;
    I32 m_PartRect[4] = {0, 0, 0, 0};
    std::vector<U8> m_PartPixels;
    static const I32 WholeFramesAfterEvent = 3;
    static const U32 WholeFrameFrames = 60;
};

// Creates the device (count 0); Init opens the display.
Render* CreateRenderPndGL(const RenderPndGLOptions& options);

}  // namespace Meridian
