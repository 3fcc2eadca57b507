#include "Render/Pnd/RenderHandlesPndGL.h"

#include <EGL/egl.h>

#include "Core/Assert.h"
#include "Core/Log.h"
#include "Render/Pnd/GLCalls.h"
#include "Render/Pnd/RenderPndGL.h"

namespace Meridian {

TextureHandlePndGL::~TextureHandlePndGL() { TextureHandlePndGL::Release(); }

void TextureHandlePndGL::Release() {
    if (m_TexID != 0) {
        GLuint name = m_TexID;
        MERIDIAN_GL(DeleteTextures)(1, &name);
        m_TexID = 0;
    }
    if (m_Device) {
        RenderPndGL* device = m_Device;
        m_Device = nullptr;
        device->RemoveTextureHandle(this);
    }
}

bool TextureHandlePndGL::Create() {
    if (m_TexID != 0) return true;
    GLuint name = 0;
    MERIDIAN_GL(GenTextures)(1, &name);
    m_TexID = name;
    MERIDIAN_ASSERT(m_TexID!=0);
    return true;
}

RenderTargetHandlePndGL::~RenderTargetHandlePndGL() { RenderTargetHandlePndGL::Release(); }

void RenderTargetHandlePndGL::Release() {
    if (m_Surface) {
        eglDestroySurface(static_cast<EGLDisplay>(m_Display), static_cast<EGLSurface>(m_Surface));
        m_Surface = nullptr;
    }
    m_Config = nullptr;
    TextureHandlePndGL::Release();
}

bool RenderTargetHandlePndGL::CreateSurface(void* eglDisplay, I32 width, I32 height) {
    if (m_Config) return true;
    m_Display = eglDisplay;
    EGLDisplay display = static_cast<EGLDisplay>(eglDisplay);
    const EGLint attributes[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_ES_BIT, EGL_NONE};
    EGLConfig config = nullptr;
    EGLint count = 0;
    if (!eglChooseConfig(display, attributes, &config, 1, &count) || count != 1) {
        const EGLint eglError = eglGetError();
        LogE() << "RenderPndGL::CreateSurface: eglChooseConfig failed." << " eglError=" << Log::AsHex(eglError)
               << "  glError=" << Log::AsHex(static_cast<U32>(MERIDIAN_GL(GetError)()));
        return false;
    }
    m_Config = config;

    LogD() << "Surface Config";
    static const struct {
        EGLint attribute;
        const char* label;
    } dump[] = {
        {EGL_BUFFER_SIZE, "Pnd.EGL_BUFFER_SIZE: "},
        {EGL_RED_SIZE, "Pnd.EGL_RED_SIZE: "},
        {EGL_GREEN_SIZE, "Pnd.EGL_GREEN_SIZE: "},
        {EGL_BLUE_SIZE, "Pnd.EGL_BLUE_SIZE: "},
        {EGL_ALPHA_SIZE, "Pnd.EGL_ALPHA_SIZE: "},
        {EGL_STENCIL_SIZE, "Pnd.EGL_STENCIL_SIZE: "},
        {EGL_BIND_TO_TEXTURE_RGB, "Pnd.EGL_BIND_TO_TEXTURE_RGB: "},
        {EGL_BIND_TO_TEXTURE_RGBA, "Pnd.EGL_BIND_TO_TEXTURE_RGBA: "},
        {EGL_MAX_PBUFFER_HEIGHT, "Pnd.EGL_MAX_PBUFFER_HEIGHT: "},
        {EGL_MAX_PBUFFER_WIDTH, "Pnd.EGL_MAX_PBUFFER_WIDTH: "},
        {EGL_MAX_PBUFFER_PIXELS, "Pnd.EGL_MAX_PBUFFER_PIXELS: "},
        {EGL_SAMPLES, "Pnd.EGL_SAMPLES: "},
        {EGL_SAMPLE_BUFFERS, "Pnd.EGL_SAMPLE_BUFFERS: "},
        {EGL_MIN_SWAP_INTERVAL, "Pnd.EGL_MIN_SWAP_INTERVAL: "},
        {EGL_MAX_SWAP_INTERVAL, "Pnd.EGL_MAX_SWAP_INTERVAL: "},
        {EGL_NATIVE_VISUAL_TYPE, "Pnd.EGL_NATIVE_VISUAL_TYPE: "},
        {EGL_NATIVE_VISUAL_ID, "Pnd.EGL_NATIVE_VISUAL_ID: "},
        {EGL_NATIVE_RENDERABLE, "Pnd.EGL_NATIVE_RENDERABLE: "},
    };
    for (const auto& entry : dump) {
        EGLint value = 0;
        if (eglGetConfigAttrib(display, config, entry.attribute, &value))
            LogD() << entry.label << static_cast<I32>(value);
    }

    const EGLint size[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
    EGLSurface surface = eglCreatePbufferSurface(display, config, size);
    if (surface == EGL_NO_SURFACE) {
        const EGLint eglError = eglGetError();
        LogE() << "RenderPndGL::CreateSurface: failed." << " eglError=" << Log::AsHex(eglError)
               << "  glError=" << Log::AsHex(static_cast<U32>(MERIDIAN_GL(GetError)()));
        return false;
    }
    m_Surface = surface;
    LogD() << "RenderPndGL: CreatePBuffer succeeded.";
    return Create();
}

RenderPolygonHandlePndGL::RenderPolygonHandlePndGL(RenderPndGL* device) : m_Uploaded(-1), m_Device(device) {
    for (U32& name : m_BufferID) name = 0;
}

U32 RenderPolygonHandlePndGL::AcquireBuffer(I32 id) {
    if (m_BufferID[id] != 0) return m_BufferID[id];
    if (m_Device) m_BufferID[id] = m_Device->TakeFreeBuffer();
    if (m_BufferID[id] == 0) {
        GLuint name = 0;
        MERIDIAN_GL(GenBuffers)(1, &name);
        m_BufferID[id] = name;
    }
    MERIDIAN_ASSERT(m_BufferID[id]!=0);
    return m_BufferID[id];
}

RenderPolygonHandlePndGL::~RenderPolygonHandlePndGL() { RenderPolygonHandlePndGL::Release(); }

void RenderPolygonHandlePndGL::Release() {
    for (U32& name : m_BufferID) {
        if (name == 0) continue;
        if (m_Device) {
            m_Device->GiveBackBuffer(name);
        } else {
            GLuint buffer = name;
            MERIDIAN_GL(DeleteBuffers)(1, &buffer);
        }
        name = 0;
    }
    m_Uploaded = -1;
    if (m_Device) {
        RenderPndGL* device = m_Device;
        m_Device = nullptr;
        device->RemovePolygonHandle(this);
    }
}

}  // namespace Meridian
