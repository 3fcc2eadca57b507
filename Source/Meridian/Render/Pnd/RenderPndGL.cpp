#include "Render/Pnd/RenderPndGL.h"

#include <EGL/egl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "Core/Assert.h"
#include "Core/Log.h"
#include "Image/WritePNG.h"
#include "Render/Pnd/DisplayPndGL.h"
#include "Render/Pnd/GLCalls.h"
#include "Render/Pnd/RenderHandlesPndGL.h"
#include "Scene/Light.h"
#include "Scene/PolygonGeometry.h"
#include "Scene/RenderTarget.h"
#include "Scene/Shader.h"
#include "Scene/Texture2D.h"

namespace Meridian {

namespace {

const F32 PointSize = 12.5f;

const char* GLText(GLenum name) {
    const GLubyte* text = MERIDIAN_GL(GetString)(name);
    return text ? reinterpret_cast<const char*>(text) : "";
}

bool IsPowerOfTwo(I32 value) { return value > 0 && (value & (value - 1)) == 0; }

void CopyColor(F32* out, const F32* in) {
    for (int i = 0; i < 4; ++i) out[i] = in[i];
}

}  // namespace

Render* CreateRenderPndGL(const RenderPndGLOptions& options) { return New<RenderPndGL>(options); }

RenderPndGL::RenderPndGL(const RenderPndGLOptions& options)
    : m_Options(options),
      m_Display(new DisplayPndGL()),
      m_OpenMode(RenderPndGLOptions::Auto),
      m_Initialized(false),
      m_SurfaceWidth(0),
      m_SurfaceHeight(0),
      m_ViewportX(0),
      m_ViewportY(0),
      m_ViewportWidth(0),
      m_ViewportHeight(0),
      m_MaxTextureUnits(0),
      m_MaxLights(0),
      m_MaxTextureSize(0),
      m_FogKnown(false),
      m_ShaderKnown(false),
      m_CurrentColor{-1.0f, -1.0f, -1.0f, -1.0f},
      m_CurrentDiffuse{1.0f, 1.0f, 1.0f, 1.0f},
      m_ViewMatrix(Matrix4::Identity()),
      m_ProjectionMatrix(Matrix4::Identity()),
      m_ModelMatrix(Matrix4::Identity()),
      m_Lighting(-1),
      m_Culling(-1),
      m_DepthTest(-1),
      m_EnabledLights(0),
      m_BlendMode(-1),
      m_FrameCount(0),
      m_WindowGone(false),
      m_BorderCleared(false) {}

RenderPndGL::~RenderPndGL() {
    if (m_Initialized) Exit();
}

bool RenderPndGL::OpenDisplay() {
    typedef RenderPndGLOptions Options;
    const Options::Mode wanted = m_Options.m_Mode;
    if (wanted == Options::Auto || wanted == Options::X11) {
        if (m_Display->OpenX11(m_Options.m_Scale, m_Options.m_Fullscreen)) {
            m_OpenMode = Options::X11;
            return true;
        }
    }
    if (wanted == Options::Auto || wanted == Options::Framebuffer) {
        if (m_Display->OpenFramebuffer()) {
            m_OpenMode = Options::Framebuffer;
            return true;
        }
    }
    if (wanted == Options::Auto || wanted == Options::Offscreen) {
        if (m_Display->OpenOffscreen(m_Options.m_Scale)) {
            m_OpenMode = Options::Offscreen;
            return true;
        }
    }
    return false;
}

bool RenderPndGL::Init() {
    LogD() << "RenderPndGL::Init";
    if (m_Initialized) return true;
    if (!OpenDisplay()) {
        if (m_Options.m_Mode == RenderPndGLOptions::X11) {
            const char* display = getenv("DISPLAY");
            LogE() << "RenderPndGL::Init: cannot open a window on display \"" << (display ? display : "")
                   << "\": " << (m_Display->m_Failure.empty() ? "unknown reason" : m_Display->m_Failure) << ".";
        } else {
            LogE() << "RenderPndGL::Init: Neither X11 nor FB modes available.";
        }
        return false;
    }
    m_Initialized = true;
    m_WindowGone = false;
    m_SurfaceWidth = m_Display->m_Width;
    m_SurfaceHeight = m_Display->m_Height;

    LogI() << "OpenGL Vendor:     " << GLText(GL_VENDOR);
    LogI() << "OpenGL Renderer:   " << GLText(GL_RENDERER);
    LogI() << "OpenGL Version:    " << GLText(GL_VERSION);
    LogI() << "OpenGL Extensions: " << GLText(GL_EXTENSIONS);
    GLint value = 0;
    MERIDIAN_GL(GetIntegerv)(GL_MAX_TEXTURE_UNITS, &value);
    m_MaxTextureUnits = value;
    value = 0;
    MERIDIAN_GL(GetIntegerv)(GL_MAX_LIGHTS, &value);
    m_MaxLights = value;
    if (m_Options.m_LightLimit > 0 && m_Options.m_LightLimit < m_MaxLights) m_MaxLights = m_Options.m_LightLimit;
    value = 0;
    MERIDIAN_GL(GetIntegerv)(GL_MAX_TEXTURE_SIZE, &value);
    m_MaxTextureSize = value;
    LogI() << "MaxTextureUnits=" << m_MaxTextureUnits;
    LogI() << "MaxLights=" << m_MaxLights;
    LogI() << "MaxTextureSize=" << m_MaxTextureSize;

    SetInitialState();
    m_PartPresent = PresentWhole;
    if (m_OpenMode == RenderPndGLOptions::X11) {
        const std::string renderer = GLText(GL_RENDERER);
        const bool software =
            renderer.find("llvmpipe") != std::string::npos || renderer.find("softpipe") != std::string::npos;
        m_ReadsBGRA = DisplayPndGL::HasExtension(GLText(GL_EXTENSIONS), "GL_EXT_read_format_bgra");
        if (m_Display->m_SwapWithDamage)
            m_PartPresent = PresentDamage;
        else if (software && m_Display->m_CanPut)
            m_PartPresent = PresentPut;
        static const char* const ways[] = {"swapped whole", "swapped with their rectangle",
                                           "put to the window in their rectangle"};
        LogI() << "RenderPndGL: frames drawn in part are " << ways[m_PartPresent] << ".";
        LogPicture();
    }
    return true;
}

void RenderPndGL::SetInitialState() {
    MERIDIAN_GL(Enable)(GL_CULL_FACE);
    MERIDIAN_GL(CullFace)(GL_BACK);
    MERIDIAN_GL(Enable)(GL_DEPTH_TEST);
    MERIDIAN_GL(DepthFunc)(GL_LEQUAL);
    MERIDIAN_GL(ClearDepthf)(1.0f);
    MERIDIAN_GL(Enable)(GL_NORMALIZE);
    MERIDIAN_GL(Enable)(GL_COLOR_MATERIAL);
    MERIDIAN_GL(Color4f)(1.0f, 1.0f, 1.0f, 1.0f);
    MERIDIAN_GL(Hint)(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    MERIDIAN_GL(Hint)(GL_FOG_HINT, GL_NICEST);
    MERIDIAN_GL(Hint)(GL_GENERATE_MIPMAP_HINT, GL_NICEST);
    PlacePicture();
    MERIDIAN_GL(MatrixMode)(GL_MODELVIEW);

    m_Lighting = MERIDIAN_GL(IsEnabled)(GL_LIGHTING) ? 1 : 0;
    m_Culling = MERIDIAN_GL(IsEnabled)(GL_CULL_FACE) ? 1 : 0;
    m_DepthTest = MERIDIAN_GL(IsEnabled)(GL_DEPTH_TEST) ? 1 : 0;
    m_FrameCount = 0;
    m_EnabledLights = 0;
    m_BlendMode = -1;
    m_ShaderKnown = false;
    m_FogKnown = false;
    for (F32& c : m_CurrentColor) c = -1.0f;
    m_ViewMatrix = m_ProjectionMatrix = m_ModelMatrix = Matrix4::Identity();
}

void RenderPndGL::PlacePicture() {
    const I32 steps = std::min(m_SurfaceWidth / ScreenWidth, m_SurfaceHeight / ScreenHeight);
    if (!m_Options.m_Smooth && steps >= 1) {
        m_ViewportWidth = ScreenWidth * steps;
        m_ViewportHeight = ScreenHeight * steps;
    } else if (m_SurfaceWidth * ScreenHeight >= m_SurfaceHeight * ScreenWidth) {
        m_ViewportHeight = m_SurfaceHeight;
        m_ViewportWidth = m_SurfaceHeight * ScreenWidth / ScreenHeight;
    } else {
        m_ViewportWidth = m_SurfaceWidth;
        m_ViewportHeight = m_SurfaceWidth * ScreenHeight / ScreenWidth;
    }
    m_ViewportX = (m_SurfaceWidth - m_ViewportWidth) / 2;
    m_ViewportY = (m_SurfaceHeight - m_ViewportHeight) / 2;
    // Point sprites keep their size on the 320 x 240 screen.
    const F32 pointSize = PointSize * static_cast<F32>(m_ViewportHeight) / static_cast<F32>(ScreenHeight);
    const GLfloat attenuation[3] = {1.0f, 0.0f, 0.0f};
    MERIDIAN_GL(PointSize)(pointSize);
    MERIDIAN_GL(PointParameterfv)(GL_POINT_DISTANCE_ATTENUATION, attenuation);
    MERIDIAN_GL(PointParameterf)(GL_POINT_SIZE_MIN, 0.0f);
    MERIDIAN_GL(PointParameterf)(GL_POINT_SIZE_MAX, pointSize);
    MERIDIAN_GL(Viewport)(m_ViewportX, m_ViewportY, m_ViewportWidth, m_ViewportHeight);
    ApplyScissor();
    // The buffer is new or its picture moved.
    m_WholeFramesOwed = std::max<I32>(m_WholeFramesOwed, 1);
}

void RenderPndGL::ApplyScissor() {
    // Clears reach only the picture; the border is cleared once a frame.
    const bool bordered = m_ViewportWidth != m_SurfaceWidth || m_ViewportHeight != m_SurfaceHeight;
    if (bordered) {
        MERIDIAN_GL(Scissor)(m_ViewportX, m_ViewportY, m_ViewportWidth, m_ViewportHeight);
        MERIDIAN_GL(Enable)(GL_SCISSOR_TEST);
    } else {
        MERIDIAN_GL(Disable)(GL_SCISSOR_TEST);
    }
    m_BorderCleared = !bordered;
}

bool RenderPndGL::KeepsPicture() {
    return m_Initialized && m_OpenMode == RenderPndGLOptions::X11 && m_Display->m_Preserved &&
           m_Display->m_EventDisplay && !m_WindowGone;
}

bool RenderPndGL::TakeWholeFrameNeeded() {
    // SDL repaints its own surface on an expose when it handles the event,
    // which may be a frame after this connection heard of it.
    if (m_Display->TakeWindowEvents()) m_WholeFramesOwed = m_SwapsOwed = WholeFramesAfterEvent;
    if (m_WholeFramesOwed > 0) {
        --m_WholeFramesOwed;
        return true;
    }
    return m_FramesSinceWhole + 1 >= WholeFrameFrames;
}

void RenderPndGL::SetDrawRegion(F32 left, F32 bottom, F32 right, F32 top) {
    if (!m_Initialized) return;
    auto toPixels = [](F32 ndc, I32 origin, I32 size) {
        return origin + static_cast<I32>(std::floor((ndc + 1.0f) * 0.5f * static_cast<F32>(size)));
    };
    const I32 x0 = std::max(m_ViewportX, toPixels(left, m_ViewportX, m_ViewportWidth) - 1);
    const I32 y0 = std::max(m_ViewportY, toPixels(bottom, m_ViewportY, m_ViewportHeight) - 1);
    const I32 x1 = std::min(m_ViewportX + m_ViewportWidth, toPixels(right, m_ViewportX, m_ViewportWidth) + 2);
    const I32 y1 = std::min(m_ViewportY + m_ViewportHeight, toPixels(top, m_ViewportY, m_ViewportHeight) + 2);
    m_PartRect[0] = x0;
    m_PartRect[1] = y0;
    m_PartRect[2] = std::max(0, x1 - x0);
    m_PartRect[3] = std::max(0, y1 - y0);
    MERIDIAN_GL(Scissor)(x0, y0, m_PartRect[2], m_PartRect[3]);
    MERIDIAN_GL(Enable)(GL_SCISSOR_TEST);
    // The border around the picture is on screen already.
    m_BorderCleared = true;
    m_PartFrame = true;
}

bool RenderPndGL::SetFullscreen(bool fullscreen) {
    if (!m_Initialized || m_OpenMode != RenderPndGLOptions::X11) return false;
    if (fullscreen == m_Display->m_Fullscreen) return true;
    const bool done = m_Display->SetWindowMode(fullscreen, 0, 0);
    m_SurfaceWidth = m_Display->m_Width;
    m_SurfaceHeight = m_Display->m_Height;
    SurfaceResized();
    PlacePicture();
    LogPicture();
    return done;
}

bool RenderPndGL::IsFullscreen() { return m_Initialized && m_Display->m_Fullscreen; }

void RenderPndGL::ResizeWindow(I32 width, I32 height) {
    if (!m_Initialized || m_OpenMode != RenderPndGLOptions::X11 || m_Display->m_Fullscreen) return;
    if (width == m_SurfaceWidth && height == m_SurfaceHeight) return;
    m_Display->SetWindowMode(false, width, height);
    m_SurfaceWidth = m_Display->m_Width;
    m_SurfaceHeight = m_Display->m_Height;
    SurfaceResized();
    PlacePicture();
    LogPicture();
}

void RenderPndGL::SurfaceResized() {
    // The driver learns of a new window size on a swap; frames that are put
    // rather than swapped would go on being drawn at the old one. The swap
    // shows the last frame for a moment, until the next is drawn.
    if (m_PartPresent == PresentPut && m_Display->m_Surface != EGL_NO_SURFACE)
        eglSwapBuffers(m_Display->m_Display, m_Display->m_Surface);
    m_SwapsOwed = WholeFramesAfterEvent;
}

void RenderPndGL::LogPicture() const {
    LogI() << "RenderPndGL: " << (m_Display->m_Fullscreen ? "fullscreen " : "window ") << m_SurfaceWidth << "x"
           << m_SurfaceHeight << ", picture " << m_ViewportWidth << "x" << m_ViewportHeight << " at " << m_ViewportX
           << "," << m_ViewportY;
}

void RenderPndGL::Exit() {
    LogD() << "RenderPndGL::Exit";
    if (!m_Initialized) return;
    m_CurrentShader.Reset();
    m_CurrentFog.Reset();
    m_ShaderKnown = m_FogKnown = false;
    while (!m_TextureHandles.empty()) {
        TextureHandlePndGL* handle = m_TextureHandles.back();
        m_TextureHandles.pop_back();
        handle->SetDevice(nullptr);
        handle->Release();
    }
    while (!m_PolygonHandles.empty()) {
        RenderPolygonHandlePndGL* handle = m_PolygonHandles.back();
        m_PolygonHandles.pop_back();
        handle->SetDevice(nullptr);
        handle->Release();
    }
    for (U32 name : m_FreeBuffers) {
        GLuint buffer = name;
        MERIDIAN_GL(DeleteBuffers)(1, &buffer);
    }
    m_FreeBuffers.clear();
    m_Display->Close();
    m_Initialized = false;
    m_OpenMode = RenderPndGLOptions::Auto;
    m_SurfaceWidth = m_SurfaceHeight = 0;
}

void* RenderPndGL::GetEGLDisplay() const { return m_Initialized ? m_Display->m_Display : nullptr; }

void* RenderPndGL::GetX11Display() const { return m_Initialized ? m_Display->m_X11Display : nullptr; }

unsigned long RenderPndGL::GetX11Window() const { return m_Initialized ? m_Display->m_X11Window : 0; }

void RenderPndGL::GetAspectRatio(Fixed& aspect) { aspect = Fixed::FromRaw(87381); }

void RenderPndGL::GetViewport(I32& x, I32& y, I32& w, I32& h) const {
    x = m_ViewportX;
    y = m_ViewportY;
    w = m_ViewportWidth;
    h = m_ViewportHeight;
}

void RenderPndGL::SetClearColor(F32 r, F32 g, F32 b, F32 a) {
    if (r != m_ClearColor[0] || g != m_ClearColor[1] || b != m_ClearColor[2] || a != m_ClearColor[3])
        m_WholeFramesOwed = std::max<I32>(m_WholeFramesOwed, 1);
    m_ClearColor[0] = r, m_ClearColor[1] = g, m_ClearColor[2] = b, m_ClearColor[3] = a;
    MERIDIAN_GL(ClearColor)(r, g, b, a);
}

void RenderPndGL::SetClearDepth(Fixed depth) { MERIDIAN_GL(ClearDepthx)(depth.Raw()); }

void RenderPndGL::Clear(U32 flags) {
    // Depth writes must be on for the depth clear; whatever was applied
    // before is then unknown. The shader and fog are applied afresh in every
    // frame too, so that changes made to them between frames show.
    MERIDIAN_GL(DepthMask)(GL_TRUE);
    m_DrawnSinceSwap = true;
    m_BlendMode = -1;
    m_ShaderKnown = false;
    m_FogKnown = false;
    GLbitfield mask = 0;
    if (flags & ClearDepth) mask |= GL_DEPTH_BUFFER_BIT;
    if (flags & ClearColor) mask |= GL_COLOR_BUFFER_BIT;
    if (flags & ClearStencil) LogE() << "RenderPndGL::Clear: StencilBuffer not supported by Pnd.";
    if (!m_BorderCleared) {
        // The border is black whatever the cameras clear to.
        MERIDIAN_GL(Disable)(GL_SCISSOR_TEST);
        MERIDIAN_GL(ClearColor)(0.0f, 0.0f, 0.0f, 1.0f);
        MERIDIAN_GL(Clear)(GL_COLOR_BUFFER_BIT);
        MERIDIAN_GL(ClearColor)(m_ClearColor[0], m_ClearColor[1], m_ClearColor[2], m_ClearColor[3]);
        MERIDIAN_GL(Enable)(GL_SCISSOR_TEST);
        m_BorderCleared = true;
    }
    if (mask) MERIDIAN_GL(Clear)(mask);
}

void RenderPndGL::SetViewMatrix(const Matrix4& view) {
    m_ViewMatrix = view;
    MERIDIAN_GL(LoadMatrixx)(&view.m[0].m_Raw);
}

void RenderPndGL::SetProjectionMatrix(const Matrix4& projection) {
    m_ProjectionMatrix = projection;
    MERIDIAN_GL(MatrixMode)(GL_PROJECTION);
    MERIDIAN_GL(LoadMatrixx)(&projection.m[0].m_Raw);
    MERIDIAN_GL(MatrixMode)(GL_MODELVIEW);
}

void RenderPndGL::SetAmbientLight(const F32* rgba) { MERIDIAN_GL(LightModelfv)(GL_LIGHT_MODEL_AMBIENT, rgba); }

void RenderPndGL::SetLights(I32 count) {
    if (count > m_MaxLights) {
        LogW() << "RenderPndGL::SetLights: lights exceed max lights.";
        count = m_MaxLights;
    }
    if (count < 0) count = 0;
    if (count == m_EnabledLights) return;
    for (I32 i = 0; i < m_MaxLights; ++i) {
        if (i < count)
            MERIDIAN_GL(Enable)(GL_LIGHT0 + i);
        else
            MERIDIAN_GL(Disable)(GL_LIGHT0 + i);
    }
    m_EnabledLights = static_cast<U16>(count);
}

void RenderPndGL::SetLight(I32 index, Light* light, const Matrix4& world) {
    if (index < 0 || index >= m_MaxLights) {
        LogE() << "RenderPndGL::SetLight: light exceeds limits.";
        return;
    }
    if (!light) return;
    GLfixed position[4];
    const I32 type = light->GetLightType();
    if (type == Light::Directional) {
        // Towards the light: the light shines along its frame's -Z.
        position[0] = world.m[8].Raw();
        position[1] = world.m[9].Raw();
        position[2] = world.m[10].Raw();
        position[3] = 0;
    } else if (type == Light::Point) {
        position[0] = world.m[12].Raw();
        position[1] = world.m[13].Raw();
        position[2] = world.m[14].Raw();
        position[3] = Fixed::One.Raw();
    } else {
        LogE() << "LightType #" << type << " unhandled";
        return;
    }
    const GLenum id = GL_LIGHT0 + index;
    const F32* color = light->GetColor();
    const GLfloat diffuse[4] = {color[0], color[1], color[2], 1.0f};
    const GLfloat black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    MERIDIAN_GL(Lightxv)(id, GL_POSITION, position);
    MERIDIAN_GL(Lightfv)(id, GL_DIFFUSE, diffuse);
    MERIDIAN_GL(Lightfv)(id, GL_AMBIENT, black);
    MERIDIAN_GL(Lightfv)(id, GL_SPECULAR, black);
}

void RenderPndGL::SetFog(Fog* fog) {
    if (m_FogKnown && fog == m_CurrentFog.Get()) return;
    m_FogKnown = true;
    m_CurrentFog = fog;
    if (!fog) {
        MERIDIAN_GL(Disable)(GL_FOG);
        return;
    }
    GLfixed mode = GL_LINEAR;
    if (fog->GetMode() == Fog::Exponential) mode = GL_EXP;
    if (fog->GetMode() == Fog::ExponentialSquared) mode = GL_EXP2;
    MERIDIAN_GL(Fogx)(GL_FOG_MODE, mode);
    MERIDIAN_GL(Fogfv)(GL_FOG_COLOR, fog->GetColor());
    MERIDIAN_GL(Fogf)(GL_FOG_DENSITY, fog->GetDensity().ToFloat());
    MERIDIAN_GL(Fogf)(GL_FOG_START, fog->GetStart().ToFloat());
    MERIDIAN_GL(Fogf)(GL_FOG_END, fog->GetEnd().ToFloat());
    MERIDIAN_GL(Enable)(GL_FOG);
}

void RenderPndGL::SetCap(U32 cap, bool on, I8& cached) {
    const I8 wanted = on ? 1 : 0;
    if (cached == wanted) return;
    if (on)
        MERIDIAN_GL(Enable)(cap);
    else
        MERIDIAN_GL(Disable)(cap);
    cached = wanted;
}

void RenderPndGL::SetShader(Shader* shader, const F32* rgba) {
    static const F32 white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    const F32* color = rgba ? rgba : white;
    if (m_ShaderKnown && shader == m_CurrentShader.Get() && color[0] == m_CurrentColor[0] &&
        color[1] == m_CurrentColor[1] && color[2] == m_CurrentColor[2] && color[3] == m_CurrentColor[3])
        return;
    m_ShaderKnown = true;
    m_CurrentShader = shader;
    CopyColor(m_CurrentColor, color);

    // Only the first two units can hold a shader's textures.
    const I32 shaderUnits = Shader::TextureUnits;
    const I32 units = std::min(m_MaxTextureUnits, shaderUnits);
    if (!shader) {
        LogW() << "RenderPndGL::SetShader: NULL-Shader results in undefined draw behaviour.";
        for (I32 unit = units - 1; unit >= 0; --unit) SetTexture(unit, nullptr);
        CopyColor(m_CurrentDiffuse, white);
        MERIDIAN_GL(Color4f)(1.0f, 1.0f, 1.0f, 1.0f);
        return;
    }

    static const F32 defaultColor[4] = {0.8f, 0.8f, 0.8f, 1.0f};
    static const F32 black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    const Material* material = shader->GetMaterial();
    F32 diffuse[4];
    if (material) {
        for (int i = 0; i < 4; ++i) diffuse[i] = material->GetDiffuse()[i] * color[i];
        MERIDIAN_GL(Materialfv)(GL_FRONT_AND_BACK, GL_AMBIENT, material->GetAmbient());
        MERIDIAN_GL(Materialfv)(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
        MERIDIAN_GL(Materialfv)(GL_FRONT_AND_BACK, GL_SPECULAR, material->GetSpecular());
        MERIDIAN_GL(Materialfv)(GL_FRONT_AND_BACK, GL_EMISSION, material->GetEmission());
        MERIDIAN_GL(Materialx)(GL_FRONT_AND_BACK, GL_SHININESS, material->GetShininess().Raw());
    } else {
        CopyColor(diffuse, defaultColor);
        MERIDIAN_GL(Materialfv)(GL_FRONT_AND_BACK, GL_AMBIENT, defaultColor);
        MERIDIAN_GL(Materialfv)(GL_FRONT_AND_BACK, GL_DIFFUSE, defaultColor);
        MERIDIAN_GL(Materialfv)(GL_FRONT_AND_BACK, GL_SPECULAR, black);
        MERIDIAN_GL(Materialfv)(GL_FRONT_AND_BACK, GL_EMISSION, black);
        MERIDIAN_GL(Materialx)(GL_FRONT_AND_BACK, GL_SHININESS, 0);
    }

    for (I32 unit = units - 1; unit >= 0; --unit) SetTexture(unit, shader->GetTexture(unit));
    ApplyTextureCombiners(shader);

    SetCap(GL_LIGHTING, shader->GetLighting(), m_Lighting);
    SetCap(GL_CULL_FACE, shader->GetCulling(), m_Culling);
    SetCap(GL_DEPTH_TEST, shader->GetDepthTest(), m_DepthTest);
    if (shader->GetBlendMode() != m_BlendMode) ApplyBlendMode(shader->GetBlendMode());

    CopyColor(m_CurrentDiffuse, diffuse);
    MERIDIAN_GL(Color4f)(diffuse[0], diffuse[1], diffuse[2], diffuse[3]);
}

void RenderPndGL::ApplyTextureCombiners(Shader* shader) {
    const I32 mode = shader->GetCombineMode();
    if (mode == Shader::CombineCrossFade) {
        if (m_MaxTextureUnits < 2) return;
        // Unit 0: texture 1 x f + texture 0 x (1 - f), f the constant's alpha.
        const GLfloat constant[4] = {0.0f, 0.0f, 0.0f, shader->GetBlendFactor().ToFloat()};
        MERIDIAN_GL(ActiveTexture)(GL_TEXTURE0);
        MERIDIAN_GL(TexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
        MERIDIAN_GL(TexEnvi)(GL_TEXTURE_ENV, GL_COMBINE_RGB, GL_INTERPOLATE);
        MERIDIAN_GL(TexEnvi)(GL_TEXTURE_ENV, GL_COMBINE_ALPHA, GL_INTERPOLATE);
        MERIDIAN_GL(TexEnvi)(GL_TEXTURE_ENV, GL_SRC0_RGB, GL_TEXTURE1);
        MERIDIAN_GL(TexEnvi)(GL_TEXTURE_ENV, GL_SRC1_RGB, GL_TEXTURE0);
        MERIDIAN_GL(TexEnvi)(GL_TEXTURE_ENV, GL_SRC2_RGB, GL_CONSTANT);
        MERIDIAN_GL(TexEnvi)(GL_TEXTURE_ENV, GL_OPERAND0_RGB, GL_SRC_COLOR);
        MERIDIAN_GL(TexEnvi)(GL_TEXTURE_ENV, GL_OPERAND1_RGB, GL_SRC_COLOR);
        MERIDIAN_GL(TexEnvi)(GL_TEXTURE_ENV, GL_OPERAND2_RGB, GL_SRC_ALPHA);
        MERIDIAN_GL(TexEnvi)(GL_TEXTURE_ENV, GL_SRC0_ALPHA, GL_TEXTURE1);
        MERIDIAN_GL(TexEnvi)(GL_TEXTURE_ENV, GL_SRC1_ALPHA, GL_TEXTURE0);
        MERIDIAN_GL(TexEnvi)(GL_TEXTURE_ENV, GL_SRC2_ALPHA, GL_CONSTANT);
        MERIDIAN_GL(TexEnvi)(GL_TEXTURE_ENV, GL_OPERAND0_ALPHA, GL_SRC_ALPHA);
        MERIDIAN_GL(TexEnvi)(GL_TEXTURE_ENV, GL_OPERAND1_ALPHA, GL_SRC_ALPHA);
        MERIDIAN_GL(TexEnvi)(GL_TEXTURE_ENV, GL_OPERAND2_ALPHA, GL_SRC_ALPHA);
        MERIDIAN_GL(TexEnvfv)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, constant);
        // Unit 1 passes the result on.
        MERIDIAN_GL(ActiveTexture)(GL_TEXTURE1);
        MERIDIAN_GL(TexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
        MERIDIAN_GL(TexEnvi)(GL_TEXTURE_ENV, GL_COMBINE_RGB, GL_REPLACE);
        MERIDIAN_GL(TexEnvi)(GL_TEXTURE_ENV, GL_SRC0_RGB, GL_PREVIOUS);
        MERIDIAN_GL(TexEnvi)(GL_TEXTURE_ENV, GL_OPERAND0_RGB, GL_SRC_COLOR);
        MERIDIAN_GL(TexEnvi)(GL_TEXTURE_ENV, GL_COMBINE_ALPHA, GL_REPLACE);
        MERIDIAN_GL(TexEnvi)(GL_TEXTURE_ENV, GL_SRC0_ALPHA, GL_PREVIOUS);
        MERIDIAN_GL(TexEnvi)(GL_TEXTURE_ENV, GL_OPERAND0_ALPHA, GL_SRC_ALPHA);
        return;
    }
    // Point sprites get texture coordinates across their square. GLES 1.1
    // starts them at the sprite's top left (t grows downwards), so a sprite
    // shows its image upside down compared with a mesh.
    MERIDIAN_GL(ActiveTexture)(GL_TEXTURE0);
    MERIDIAN_GL(TexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    MERIDIAN_GL(TexEnvi)(GL_POINT_SPRITE_OES, GL_COORD_REPLACE_OES, GL_TRUE);
    if (m_MaxTextureUnits >= 2) {
        MERIDIAN_GL(ActiveTexture)(GL_TEXTURE1);
        MERIDIAN_GL(TexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, mode == Shader::CombineAdd ? GL_ADD : GL_MODULATE);
        MERIDIAN_GL(TexEnvi)(GL_POINT_SPRITE_OES, GL_COORD_REPLACE_OES, GL_TRUE);
    }
}

void RenderPndGL::ApplyBlendMode(I32 mode) {
    switch (mode) {
        case Shader::BlendOpaque:
            MERIDIAN_GL(DepthMask)(GL_TRUE);
            MERIDIAN_GL(Disable)(GL_BLEND);
            MERIDIAN_GL(Disable)(GL_ALPHA_TEST);
            break;
        case Shader::BlendAlpha:
            MERIDIAN_GL(DepthMask)(GL_FALSE);
            MERIDIAN_GL(Enable)(GL_BLEND);
            MERIDIAN_GL(BlendFunc)(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
            MERIDIAN_GL(Disable)(GL_ALPHA_TEST);
            break;
        case Shader::BlendAlphaTest:
            MERIDIAN_GL(DepthMask)(GL_TRUE);
            MERIDIAN_GL(Disable)(GL_BLEND);
            MERIDIAN_GL(Enable)(GL_ALPHA_TEST);
            MERIDIAN_GL(AlphaFunc)(GL_GREATER, 0.5f);
            break;
        case Shader::BlendAdditive:
            MERIDIAN_GL(DepthMask)(GL_FALSE);
            MERIDIAN_GL(Enable)(GL_BLEND);
            MERIDIAN_GL(BlendFunc)(GL_ONE, GL_ONE);
            MERIDIAN_GL(Disable)(GL_ALPHA_TEST);
            break;
        case Shader::BlendNoDepthWrite:
            MERIDIAN_GL(DepthMask)(GL_FALSE);
            MERIDIAN_GL(Disable)(GL_BLEND);
            MERIDIAN_GL(Disable)(GL_ALPHA_TEST);
            break;
        default:
            break;  // other values leave the GL state as it is
    }
    m_BlendMode = mode;
}

void RenderPndGL::SetTexture(I32 unit, Texture* texture) {
    if (unit < 0 || unit >= m_MaxTextureUnits) {
        LogE() << "SetTexture" << " Pass #" << unit << " exceeding GL_MAX_TEXTURE_UNITS";
        return;
    }
    MERIDIAN_GL(ActiveTexture)(GL_TEXTURE0 + unit);
    Texture2D* texture2D = Cast<Texture2D>(texture);
    Image* image = texture2D ? texture2D->GetImage() : nullptr;
    if (!image || !image->GetPixels()) {
        MERIDIAN_GL(Disable)(GL_TEXTURE_2D);
        MERIDIAN_GL(BindTexture)(GL_TEXTURE_2D, 0);
        return;
    }
    MERIDIAN_GL(Enable)(GL_TEXTURE_2D);

    const I32 width = image->GetWidth(), height = image->GetHeight();
    bool usable = true;
    if (!IsPowerOfTwo(width) || !IsPowerOfTwo(height)) {
        LogE() << "SetTexture" << " Texture dimensions not power of 2.";
        usable = false;
    } else if (width > m_MaxTextureSize || height > m_MaxTextureSize) {
        LogE() << "SetTexture" << " Texture size exceeding limits.";
        usable = false;
    }

    if (usable) {
        // Only this device makes texture handles.
        TextureHandlePndGL* handle = static_cast<TextureHandlePndGL*>(texture->GetHandle());
        if (!handle || !handle->IsCreated()) {
            LogD() << "Generating Texture.";
            if (!handle) {
                handle = New<TextureHandlePndGL>(this);
                texture->SetHandle(handle);
                AddTextureHandle(handle);
            } else if (handle->GetDevice() != this) {
                handle->Release();
                handle->SetDevice(this);
                AddTextureHandle(handle);
            }
            handle->Create();
            MERIDIAN_GL(BindTexture)(GL_TEXTURE_2D, handle->GetTexID());
            GLenum format = GL_RGB;
            if (image->GetFormat() == ImageLuminance) format = GL_LUMINANCE;
            if (image->GetFormat() == ImageRGBA) format = GL_RGBA;
            if (image->GetFormat() == ImageLuminanceAlpha) format = GL_LUMINANCE_ALPHA;
            MERIDIAN_GL(PixelStorei)(GL_UNPACK_ALIGNMENT, 1);
            MERIDIAN_GL(PixelStorei)(GL_PACK_ALIGNMENT, 1);
            MERIDIAN_GL(TexParameteri)(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_TRUE);
            MERIDIAN_GL(TexImage2D)(GL_TEXTURE_2D, 0, format, width, height, 0, format, GL_UNSIGNED_BYTE,
                                    image->GetPixels());
            LogD() << "Texture: Format=" << Log::AsHex(static_cast<U32>(format)) << " W=" << width << " H=" << height;
        } else {
            MERIDIAN_GL(BindTexture)(GL_TEXTURE_2D, handle->GetTexID());
        }

        const bool magLinear = texture->GetMagLinear() != 0;
        GLint minFilter = GL_LINEAR;
        switch (texture->GetMipmapMode()) {
            case Texture::MipmapNearest:
                minFilter = texture->GetMinLinear() ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
                break;
            case Texture::MipmapLinear:
                minFilter = texture->GetMinLinear() ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
                break;
            case Texture::MipmapNone:
                minFilter = texture->GetMinLinear() ? GL_LINEAR : GL_NEAREST;
                break;
            default:
                minFilter = GL_LINEAR;
                break;
        }
        MERIDIAN_GL(TexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, magLinear ? GL_LINEAR : GL_NEAREST);
        MERIDIAN_GL(TexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, minFilter);
        MERIDIAN_GL(TexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
        MERIDIAN_GL(TexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    } else {
        // Texturing stays enabled, but not with whatever texture this unit
        // had bound before: name 0 has no image.
        MERIDIAN_GL(BindTexture)(GL_TEXTURE_2D, 0);
    }

    MERIDIAN_GL(MatrixMode)(GL_TEXTURE);
    if (Transform* transform = texture->GetTransform())
        MERIDIAN_GL(LoadMatrixx)(&transform->GetLocalMatrix().m[0].m_Raw);
    else
        MERIDIAN_GL(LoadIdentity)();
    MERIDIAN_GL(MatrixMode)(GL_MODELVIEW);
}

void RenderPndGL::SetRenderTarget(RenderTarget* target) { (void)target; }

void RenderPndGL::DrawNode(Drawable* drawable, const Matrix4& world) {
    m_DrawnSinceSwap = true;
    MERIDIAN_GL(PushMatrix)();
    MERIDIAN_GL(MultMatrixx)(&world.m[0].m_Raw);
    m_ModelMatrix = world;
    Draw(drawable);
    MERIDIAN_GL(PopMatrix)();
}

void RenderPndGL::Draw(Drawable* drawable) {
    if (!drawable) return;
    drawable->UpdateDrawable();
    if (PolygonGeometry* mesh = Cast<PolygonGeometry>(drawable)) DrawPolygon(mesh);
}

void RenderPndGL::UploadPolygon(PolygonGeometry* mesh, RenderPolygonHandlePndGL* handle) {
    if (mesh->GetVertexCount() <= 0) return;
    if (handle->m_Uploaded < 0) {
        mesh->MarkDirty(ArrayAll);
        handle->m_Uploaded = 0;
    }
    const U32 dirty = mesh->GetDirtyBits();
    typedef RenderPolygonHandlePndGL H;
    const struct {
        U32 bit;
        I32 buffer;
        GLenum target;
        I32 count;
        I32 elementSize;
        const void* data;
    } arrays[] = {
        {ArrayVertices, H::BufferVertices, GL_ARRAY_BUFFER, mesh->GetVertexCount(), 12, mesh->GetVertexData()},
        {ArrayIndices, H::BufferIndices, GL_ELEMENT_ARRAY_BUFFER, mesh->GetIndexCount(), 2, mesh->GetIndexData()},
        {ArrayNormals, H::BufferNormals, GL_ARRAY_BUFFER, mesh->GetNormalCount(), 12, mesh->GetNormalData()},
        {ArrayColors, H::BufferColors, GL_ARRAY_BUFFER, mesh->GetColorCount(), 16, mesh->GetColorData()},
        {ArrayTexCoords0, H::BufferTexCoords0, GL_ARRAY_BUFFER, mesh->GetTexCoordCount(0), 8,
         mesh->GetTexCoordData(0)},
        {ArrayTexCoords1, H::BufferTexCoords1, GL_ARRAY_BUFFER, mesh->GetTexCoordCount(1), 8,
         mesh->GetTexCoordData(1)},
    };
    for (const auto& array : arrays) {
        if (!(dirty & array.bit) || array.count <= 0 || !array.data) continue;
        const GLuint name = handle->AcquireBuffer(array.buffer);
        MERIDIAN_GL(BindBuffer)(array.target, name);
        MERIDIAN_GL(BufferData)(array.target, static_cast<GLsizeiptr>(array.count) * array.elementSize, array.data,
                                mesh->IsStatic(array.bit) ? GL_STATIC_DRAW : GL_DYNAMIC_DRAW);
        MERIDIAN_GL(BindBuffer)(array.target, 0);
        handle->m_Uploaded |= static_cast<I32>(array.bit);
    }
    mesh->SetDirtyBits(0);
}

void RenderPndGL::DrawPolygon(PolygonGeometry* mesh) {
    const I32 primitives = mesh->GetPrimitiveCount();
    if (primitives < 1) return;
    typedef RenderPolygonHandlePndGL H;
    // Only this device makes polygon handles.
    H* handle = static_cast<H*>(mesh->GetRenderHandle());
    if (!handle) {
        handle = New<H>(this);
        mesh->SetRenderHandle(handle);
        AddPolygonHandle(handle);
    } else if (handle->GetDevice() != this) {
        handle->Release();
        handle->SetDevice(this);
        AddPolygonHandle(handle);
    }
    UploadPolygon(mesh, handle);

    const I32 vertexCount = mesh->GetVertexCount();
    const I32 indexCount = mesh->GetIndexCount();
    const I32 type = mesh->GetPrimitiveType();
    if (vertexCount <= 0 || handle->m_BufferID[H::BufferVertices] == 0) return;
    // How many indices (or points) to draw, never more than the mesh has.
    I32 count = 0;
    switch (type) {
        case PrimitiveTriangles: count = primitives * 3; break;
        case PrimitiveStrip:
        case PrimitiveFan: count = primitives + 2; break;
        case PrimitiveLines: count = primitives * 2; break;
        case PrimitivePointSprites: count = std::min(primitives, vertexCount); break;
        default: return;
    }
    if (type != PrimitivePointSprites) {
        if (handle->m_BufferID[H::BufferIndices] == 0) return;
        count = std::min(count, indexCount);
    }
    if (count <= 0) return;

    const I32 combine = m_CurrentShader ? m_CurrentShader->GetCombineMode() : Shader::CombineModulate;
    auto bindArray = [&](I32 buffer) {
        MERIDIAN_GL(BindBuffer)(GL_ARRAY_BUFFER, handle->m_BufferID[buffer]);
        return handle->m_BufferID[buffer] != 0;
    };
    const bool set0 = mesh->GetTexCoordCount(0) > 0 && handle->m_BufferID[H::BufferTexCoords0] != 0;
    const bool set1 = mesh->GetTexCoordCount(1) > 0 && handle->m_BufferID[H::BufferTexCoords1] != 0;
    const bool normals = mesh->GetNormalCount() > 0 && handle->m_BufferID[H::BufferNormals] != 0;
    const bool colors = mesh->GetColorCount() > 0 && handle->m_BufferID[H::BufferColors] != 0;

    if (type == PrimitivePointSprites) MERIDIAN_GL(Enable)(GL_POINT_SPRITE_OES);
    bool unit1 = false;
    if (m_MaxTextureUnits >= 2) {
        MERIDIAN_GL(ClientActiveTexture)(GL_TEXTURE1);
        I32 source = -1;
        // Added second texture with normals: it runs on the first set's
        // coordinates.
        if (combine == Shader::CombineAdd && normals && set0)
            source = H::BufferTexCoords0;
        else if (set1)
            source = H::BufferTexCoords1;
        else if (combine == Shader::CombineCrossFade && set0)
            source = H::BufferTexCoords0;
        if (source >= 0 && bindArray(source)) {
            MERIDIAN_GL(EnableClientState)(GL_TEXTURE_COORD_ARRAY);
            MERIDIAN_GL(TexCoordPointer)(2, GL_FLOAT, 0, nullptr);
            unit1 = true;
        } else {
            MERIDIAN_GL(DisableClientState)(GL_TEXTURE_COORD_ARRAY);
        }
    }
    MERIDIAN_GL(ClientActiveTexture)(GL_TEXTURE0);
    if (set0 && bindArray(H::BufferTexCoords0)) {
        MERIDIAN_GL(EnableClientState)(GL_TEXTURE_COORD_ARRAY);
        MERIDIAN_GL(TexCoordPointer)(2, GL_FLOAT, 0, nullptr);
    } else {
        MERIDIAN_GL(DisableClientState)(GL_TEXTURE_COORD_ARRAY);
    }
    if (colors && bindArray(H::BufferColors)) {
        MERIDIAN_GL(EnableClientState)(GL_COLOR_ARRAY);
        MERIDIAN_GL(ColorPointer)(4, GL_FLOAT, 0, nullptr);
    }
    if (normals && bindArray(H::BufferNormals)) {
        MERIDIAN_GL(EnableClientState)(GL_NORMAL_ARRAY);
        MERIDIAN_GL(NormalPointer)(GL_FLOAT, 0, nullptr);
    }
    bindArray(H::BufferVertices);
    MERIDIAN_GL(EnableClientState)(GL_VERTEX_ARRAY);
    MERIDIAN_GL(VertexPointer)(3, GL_FLOAT, 0, nullptr);
    MERIDIAN_GL(BindBuffer)(GL_ELEMENT_ARRAY_BUFFER, handle->m_BufferID[H::BufferIndices]);

    switch (type) {
        case PrimitiveTriangles: MERIDIAN_GL(DrawElements)(GL_TRIANGLES, count, GL_UNSIGNED_SHORT, nullptr); break;
        case PrimitiveStrip: MERIDIAN_GL(DrawElements)(GL_TRIANGLE_STRIP, count, GL_UNSIGNED_SHORT, nullptr); break;
        case PrimitiveFan: MERIDIAN_GL(DrawElements)(GL_TRIANGLE_FAN, count, GL_UNSIGNED_SHORT, nullptr); break;
        case PrimitiveLines: MERIDIAN_GL(DrawElements)(GL_LINES, count, GL_UNSIGNED_SHORT, nullptr); break;
        default: MERIDIAN_GL(DrawArrays)(GL_POINTS, 0, count); break;
    }

    MERIDIAN_GL(DisableClientState)(GL_VERTEX_ARRAY);
    if (normals) MERIDIAN_GL(DisableClientState)(GL_NORMAL_ARRAY);
    if (colors) {
        MERIDIAN_GL(DisableClientState)(GL_COLOR_ARRAY);
        // A colour array leaves the current colour at its last element: put
        // the shader's colour back for the next mesh with the same shader.
        MERIDIAN_GL(Color4f)(m_CurrentDiffuse[0], m_CurrentDiffuse[1], m_CurrentDiffuse[2], m_CurrentDiffuse[3]);
    }
    if (set0) MERIDIAN_GL(DisableClientState)(GL_TEXTURE_COORD_ARRAY);
    if (unit1) {
        MERIDIAN_GL(ClientActiveTexture)(GL_TEXTURE1);
        MERIDIAN_GL(DisableClientState)(GL_TEXTURE_COORD_ARRAY);
        MERIDIAN_GL(ClientActiveTexture)(GL_TEXTURE0);
    }
    if (type == PrimitivePointSprites) MERIDIAN_GL(Disable)(GL_POINT_SPRITE_OES);
    MERIDIAN_GL(BindBuffer)(GL_ARRAY_BUFFER, 0);
    MERIDIAN_GL(BindBuffer)(GL_ELEMENT_ARRAY_BUFFER, 0);
}

void RenderPndGL::SwapBuffers() {
    if (!m_Initialized) return;
    // A window destroyed by another client ends the game as closing it does:
    // the quit goes through the event queue, so the exit actions still run.
    if (!m_WindowGone && (m_FrameCount % WindowCheckFrames == 0 || m_Display->TakeWindowError()) &&
        m_Display->IsWindowGone()) {
        LogW() << "RenderPndGL: the window was destroyed from outside; quitting.";
        m_WindowGone = true;
        DisplayPndGL::PostQuit();
    }
    // A window that keeps its picture goes on showing it when nothing was
    // drawn.
    const bool shown = m_DrawnSinceSwap || !KeepsPicture();
    if (shown && !m_WindowGone && m_Display->m_Display != EGL_NO_DISPLAY && m_Display->m_Surface != EGL_NO_SURFACE) {
        if (!(m_PartFrame ? PresentPart() : PresentWholeByPut()) &&
            !eglSwapBuffers(m_Display->m_Display, m_Display->m_Surface))
            LogD() << "eglSwapBuffers" << " failed (" << static_cast<I32>(eglGetError()) << ")";
    }
    // A pbuffer is never presented, so eglSwapBuffers does nothing: without
    // a flush the driver queues every frame's commands (and the buffer data
    // they refer to) for ever.
    if (m_OpenMode == RenderPndGLOptions::Offscreen) MERIDIAN_GL(Flush)();
    const GLenum glError = MERIDIAN_GL(GetError)();
    if (glError != GL_NO_ERROR) LogE() << "RenderPndGL: GL ERROR = " << Log::AsHex(static_cast<U32>(glError));
    const EGLint eglError = eglGetError();
    if (eglError != EGL_SUCCESS) LogE() << "RenderPndGL: EGL ERROR = " << Log::AsHex(static_cast<U32>(eglError));
    ++m_FrameCount;
    m_FramesSinceWhole = m_DrawnSinceSwap && !m_PartFrame ? 0 : m_FramesSinceWhole + 1;
    if (m_PartFrame) ApplyScissor();
    m_PartFrame = false;
    m_DrawnSinceSwap = false;
    m_BorderCleared = m_ViewportWidth == m_SurfaceWidth && m_ViewportHeight == m_SurfaceHeight;
}

bool RenderPndGL::PresentPart() {
    const I32 x = m_PartRect[0], y = m_PartRect[1], w = m_PartRect[2], h = m_PartRect[3];
    switch (m_PartPresent) {
        case PresentDamage: return w > 0 && h > 0 && m_Display->SwapRegion(x, y, w, h);
        case PresentPut:
            if (w < 1 || h < 1) {
                // Nothing on screen changes; the commands still go.
                MERIDIAN_GL(Flush)();
                return true;
            }
            // The read waits for the frame's drawing; the put is flushed to
            // the server, and the buffer keeps the whole picture for the
            // next frame and the next whole swap.
            m_PartPixels.resize(static_cast<size_t>(w) * h * 4);
            return ReadPixels(x, y, w, h, m_PartPixels.data()) && m_Display->PutRegion(x, y, w, h, m_PartPixels.data());
        case PresentWhole: break;
    }
    return false;
}

bool RenderPndGL::PresentWholeByPut() {
    if (m_PartPresent != PresentPut) return false;
    // After the window changed, a few frames are swapped: the driver learns
    // of a new size on a swap.
    if (m_SwapsOwed > 0) {
        --m_SwapsOwed;
        return false;
    }
    I32 pitch = 0;
    U32* pixels = m_Display->BeginSharedPut(pitch);
    if (!pixels) return false;
    const I32 w = m_SurfaceWidth, h = m_SurfaceHeight;
    if (m_ReadsBGRA && m_Display->PutsBGRA() && pitch == w) {
        // Read straight into the image, then turned upside down in place.
        MERIDIAN_GL(PixelStorei)(GL_PACK_ALIGNMENT, 4);
        MERIDIAN_GL(ReadPixels)(0, 0, w, h, GL_BGRA_EXT, GL_UNSIGNED_BYTE, pixels);
        m_PartPixels.resize(static_cast<size_t>(w) * 4);
        for (I32 top = 0, bottom = h - 1; top < bottom; ++top, --bottom) {
            U32* a = pixels + static_cast<size_t>(top) * w;
            U32* b = pixels + static_cast<size_t>(bottom) * w;
            std::memcpy(m_PartPixels.data(), a, static_cast<size_t>(w) * 4);
            std::memcpy(a, b, static_cast<size_t>(w) * 4);
            std::memcpy(b, m_PartPixels.data(), static_cast<size_t>(w) * 4);
        }
    } else {
        m_PartPixels.resize(static_cast<size_t>(w) * h * 4);
        ReadPixels(0, 0, w, h, m_PartPixels.data());
        m_Display->ConvertRows(m_PartPixels.data(), w, h, pixels, pitch);
    }
    m_Display->EndSharedPut();
    return true;
}

bool RenderPndGL::ReadPixels(I32 x, I32 y, I32 w, I32 h, U8* rgba) {
    if (!m_Initialized || !rgba || x < 0 || y < 0 || w < 1 || h < 1 || x + w > m_SurfaceWidth ||
        y + h > m_SurfaceHeight)
        return false;
    MERIDIAN_GL(PixelStorei)(GL_PACK_ALIGNMENT, 1);
    MERIDIAN_GL(ReadPixels)(x, y, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    return true;
}

bool RenderPndGL::Screenshot(const char* prefix) {
    if (!m_Initialized) return false;
    MERIDIAN_GL(Finish)();
    const I32 w = m_SurfaceWidth, h = m_SurfaceHeight;
    std::vector<U8> pixels(static_cast<size_t>(w) * h * 4);
    ReadPixels(0, 0, w, h, pixels.data());
    // The screen shows no alpha; a surface with an alpha channel must not
    // give a half-transparent picture.
    for (size_t i = 3; i < pixels.size(); i += 4) pixels[i] = 255;

    const time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    char stamp[64];
    if (strftime(stamp, sizeof(stamp), "%H%M%S-%Y%d%m", &local) == 0) stamp[0] = 0;
    // Shots within the same second get a counter rather than replacing the
    // one taken before.
    const std::string base = std::string(prefix ? prefix : "") + "-" + stamp;
    std::string name = base + ".png";
    struct stat info;
    for (I32 n = 2; n < 10000 && stat(name.c_str(), &info) == 0; ++n) name = base + "-" + std::to_string(n) + ".png";
    return WritePNG(name.c_str(), ImageRGBA, w, h, pixels.data());
}

void RenderPndGL::AddTextureHandle(TextureHandlePndGL* handle) { m_TextureHandles.push_back(handle); }

void RenderPndGL::RemoveTextureHandle(TextureHandlePndGL* handle) {
    auto it = std::find(m_TextureHandles.begin(), m_TextureHandles.end(), handle);
    if (it != m_TextureHandles.end()) m_TextureHandles.erase(it);
}

void RenderPndGL::AddPolygonHandle(RenderPolygonHandlePndGL* handle) { m_PolygonHandles.push_back(handle); }

void RenderPndGL::RemovePolygonHandle(RenderPolygonHandlePndGL* handle) {
    auto it = std::find(m_PolygonHandles.begin(), m_PolygonHandles.end(), handle);
    if (it != m_PolygonHandles.end()) m_PolygonHandles.erase(it);
}

U32 RenderPndGL::TakeFreeBuffer() {
    if (m_FreeBuffers.empty()) return 0;
    const U32 name = m_FreeBuffers.back();
    m_FreeBuffers.pop_back();
    return name;
}

void RenderPndGL::GiveBackBuffer(U32 name) {
    if (name != 0) m_FreeBuffers.push_back(name);
}

}  // namespace Meridian
