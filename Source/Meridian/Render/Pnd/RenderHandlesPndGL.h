// The Pnd render device's handles: the GL names behind textures, render
// targets and meshes.
//
// Each handle has a plain back pointer to the device that made it and is in
// that device's list while it holds names; the engine object (Texture,
// PolygonData) holds the handle by a counted reference. Release gives the
// names back and takes the handle off the device's list; the destructor
// releases too. RenderPndGL::Exit first clears each handle's device and then
// releases it, so handles left in engine objects afterwards hold no names and
// never touch the device again. A released handle can be adopted by a device
// again: the next bind or draw makes new names.
// Depends on: Render/RenderHandles.h; GL and EGL in the .cpp. Main thread.
#pragma once

#include "Render/RenderHandles.h"

namespace Meridian {

class RenderPndGL;

class TextureHandlePndGL : public TextureHandle {
    MERIDIAN_CLASS(TextureHandlePndGL, TextureHandle)

    explicit TextureHandlePndGL(RenderPndGL* device) : m_TexID(0), m_Device(device) {}
    ~TextureHandlePndGL() override;

    // glDeleteTextures, name 0, off the device's list.
    void Release() override;
    // glGenTextures; a zero name is a fatal assertion.
    bool Create() override;
    bool IsCreated() const override { return m_TexID != 0; }

    U32 GetTexID() const { return m_TexID; }
    RenderPndGL* GetDevice() const { return m_Device; }
    void SetDevice(RenderPndGL* device) { m_Device = device; }

protected:
    U32 m_TexID;
    RenderPndGL* m_Device;
};

// A texture with its own pbuffer surface. The device does not draw into
// render targets; the handle can make the surface and its texture name.
class RenderTargetHandlePndGL : public TextureHandlePndGL {
    MERIDIAN_CLASS(RenderTargetHandlePndGL, TextureHandlePndGL)

    explicit RenderTargetHandlePndGL(RenderPndGL* device)
        : TextureHandlePndGL(device), m_Display(nullptr), m_Config(nullptr), m_Surface(nullptr) {}
    ~RenderTargetHandlePndGL() override;

    // Destroys the pbuffer surface, then releases the texture.
    void Release() override;
    // Chooses a pbuffer config on the EGL display, logs it, makes a
    // width x height pbuffer and the texture name. Does nothing when a config
    // was already chosen. False after an error line.
    virtual bool CreateSurface(void* eglDisplay, I32 width, I32 height);

    void* GetSurface() const { return m_Surface; }

private:
    void* m_Display;
    void* m_Config;
    void* m_Surface;
};

class RenderPolygonHandlePndGL : public RenderPolygonHandle {
    MERIDIAN_CLASS(RenderPolygonHandlePndGL, RenderPolygonHandle)

    // Slots of m_BufferID.
    enum Buffer : I32 {
        BufferVertices = 0,
        BufferNormals = 1,
        BufferIndices = 2,
        BufferTexCoords0 = 3,
        BufferTexCoords1 = 4,
        BufferColors = 5,
        BufferCount = 6,
    };

    explicit RenderPolygonHandlePndGL(RenderPndGL* device);
    ~RenderPolygonHandlePndGL() override;

    // Each buffer name goes back to the device's free list, or is deleted when
    // there is no device; the handle leaves the device's list and must upload
    // everything again.
    void Release() override;

    RenderPndGL* GetDevice() const { return m_Device; }
    void SetDevice(RenderPndGL* device) { m_Device = device; }
    // The buffer's name: the one it has, else one from the device's free
    // list, else a new one (a zero name is a fatal assertion).
    U32 AcquireBuffer(I32 id);

    U32 m_BufferID[BufferCount];
    // ArrayBits sent so far; negative: everything must be sent again.
    I32 m_Uploaded;

private:
    RenderPndGL* m_Device;
};

}  // namespace Meridian
