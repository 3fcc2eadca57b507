// The Pnd device on Mesa's software renderer, offscreen: opening, clearing,
// state filtering, texture checks, light limits, name bookkeeping and
// screenshots.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

#include "Image/ImportPNG.h"
#include "Math/MathFunctions.h"
#include "Render/Pnd/GLTrace.h"
#include "Render/Pnd/RenderHandlesPndGL.h"
#include "Meridian/Render/RenderTestUtil.h"
#include "Scene/Light.h"
#include "Scene/RenderTarget.h"
#include "Support/TestUtil.h"

using namespace Meridian;
using ::Test::Near;
using ::Test::Pixel;

namespace {

class RenderDeviceTest : public ::Test::RenderTest {};

Image* MakeImage(I32 format, int w, int h) {
    Image* image = New<Image>();
    EXPECT_TRUE(image->Create(format, static_cast<I16>(w), static_cast<I16>(h)));
    for (U32 i = 0; i < image->GetPixelBytes(); ++i) image->GetPixels()[i] = static_cast<U8>(i * 7);
    return image;
}

}  // namespace

TEST(RenderDeviceOpen, AutoFallsBackToOffscreenWithoutDisplay) {
    const char* saved = getenv("DISPLAY");
    const std::string display = saved ? saved : "";
    unsetenv("DISPLAY");
    {
        ::Test::LogCapture log;
        Ref<RenderPndGL> device = static_cast<RenderPndGL*>(CreateRenderPndGL(RenderPndGLOptions()));
        ASSERT_TRUE(device->Init());
        EXPECT_EQ(device->GetOpenMode(), RenderPndGLOptions::Offscreen);
        EXPECT_EQ(device->GetSurfaceWidth(), 320);
        EXPECT_EQ(device->GetSurfaceHeight(), 240);
        Fixed aspect;
        device->GetAspectRatio(aspect);
        EXPECT_EQ(aspect.Raw(), 87381);
        device->Exit();

        EXPECT_TRUE(log.Contains("[D] RenderPndGL::Init"));
        // The framebuffer way was tried and failed before the offscreen one.
        EXPECT_TRUE(log.Contains("[D] Error: eglInitialize() failed.")) << log.Text();
        EXPECT_FALSE(log.Contains("Neither X11 nor FB modes available."));
        EXPECT_TRUE(log.Contains("[I] OpenGL Vendor:     Mesa"));
        EXPECT_TRUE(log.Contains("[I] OpenGL Renderer:   llvmpipe"));
        EXPECT_TRUE(log.Contains("[I] OpenGL Version:    OpenGL ES-CM 1.1"));
        EXPECT_TRUE(log.Contains("GL_OES_point_sprite"));
        EXPECT_TRUE(log.Contains("[I] MaxTextureUnits="));
        EXPECT_TRUE(log.Contains("[I] MaxLights=8"));
        EXPECT_TRUE(log.Contains("[I] MaxTextureSize="));
        EXPECT_TRUE(log.Contains("[D] RenderPndGL::Exit"));
    }
    if (saved) setenv("DISPLAY", display.c_str(), 1);
}

TEST(RenderDeviceOpen, ExplicitWaysThatCannotOpenFailWithOneLine) {
    const char* saved = getenv("DISPLAY");
    const std::string display = saved ? saved : "";
    unsetenv("DISPLAY");
    {
        ::Test::LogCapture log;
        RenderPndGLOptions options;
        options.m_Mode = RenderPndGLOptions::X11;
        Ref<RenderPndGL> device = New<RenderPndGL>(options);
        EXPECT_FALSE(device->Init());
        EXPECT_EQ(log.Count("[E] RenderPndGL::Init: Neither X11 nor FB modes available."), 1);
        EXPECT_EQ(device->GetEGLDisplay(), nullptr);
        // Nothing to release; Exit and the destructor cope.
        device->Exit();

        options.m_Mode = RenderPndGLOptions::Framebuffer;
        Ref<RenderPndGL> framebuffer = New<RenderPndGL>(options);
        EXPECT_FALSE(framebuffer->Init());
        EXPECT_EQ(log.Count("[E] RenderPndGL::Init: Neither X11 nor FB modes available."), 2);
    }
    if (saved) setenv("DISPLAY", display.c_str(), 1);
}

TEST(RenderDeviceOpen, UnreachableXServerFallsThroughToOffscreen) {
    const char* saved = getenv("DISPLAY");
    const std::string display = saved ? saved : "";
    setenv("DISPLAY", ":4711", 1);
    {
        ::Test::LogCapture log;
        Ref<RenderPndGL> device = New<RenderPndGL>();
        ASSERT_TRUE(device->Init());
        EXPECT_EQ(device->GetOpenMode(), RenderPndGLOptions::Offscreen);
        EXPECT_TRUE(log.Contains("[D] SDL_InitSubSystem(SDL_INIT_VIDEO) failed")) << log.Text();
        // The framebuffer way is not tried where EGL would take its native
        // window block for an X window.
        EXPECT_TRUE(log.Contains("[D] Error: no framebuffer EGL under a windowing system (DISPLAY=:4711)."));
        device->Exit();
    }
    if (saved)
        setenv("DISPLAY", display.c_str(), 1);
    else
        unsetenv("DISPLAY");
}

TEST_F(RenderDeviceTest, ClearColourAndStencilOnlyClear) {
    m_Device->SetClearColor(0.0f, 1.0f, 0.0f, 1.0f);
    m_Device->Clear(Render::ClearColor | Render::ClearDepth);
    EXPECT_TRUE(Near(ReadPixel(0, 0), 0, 255, 0)) << ReadPixel(0, 0);
    EXPECT_TRUE(Near(ReadPixel(319, 239), 0, 255, 0));
    Shot("clear-green");

    ::Test::LogCapture log;
    m_Device->SetClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    GLTrace::Reset();
    m_Device->Clear(Render::ClearStencil);
    EXPECT_EQ(log.Count("[E] RenderPndGL::Clear: StencilBuffer not supported by Pnd."), 1);
    EXPECT_EQ(GLTrace::Count(GLTrace::Clear), 0u);
    EXPECT_TRUE(Near(ReadPixel(160, 120), 0, 255, 0)) << "the stencil-only clear cleared colour";
    m_Device->Clear(0);
    EXPECT_EQ(GLTrace::Count(GLTrace::Clear), 0u);
    m_Device->Clear(Render::ClearColor);
    EXPECT_EQ(GLTrace::Count(GLTrace::Clear), 1u);
    EXPECT_TRUE(Near(ReadPixel(160, 120), 255, 0, 0));
}

TEST_F(RenderDeviceTest, RepeatedStateCostsNoGLCalls) {
    Ref<Shader> shader = ::Test::MakeColorShader(1, 0, 0, 1);
    shader->SetBlendMode(Shader::BlendAlpha);
    const F32 white[4] = {1, 1, 1, 1};
    const F32 grey[4] = {0.5f, 0.5f, 0.5f, 1};

    m_Device->SetShader(shader, white);
    GLTrace::Reset();
    m_Device->SetShader(shader, white);
    EXPECT_EQ(GLTrace::Total(), 0u) << "an identical SetShader called GL";

    // Another colour is applied again, but the unchanged switches are not.
    m_Device->SetShader(shader, grey);
    EXPECT_GT(GLTrace::Count(GLTrace::Color4f), 0u);
    EXPECT_EQ(GLTrace::Count(GLTrace::BlendFunc), 0u);
    EXPECT_EQ(GLTrace::Count(GLTrace::DepthMask), 0u);

    // Clear turns depth writes on, so the blend mode must be applied again.
    m_Device->Clear(Render::ClearColor);
    GLTrace::Reset();
    m_Device->SetShader(shader, grey);
    EXPECT_EQ(GLTrace::Count(GLTrace::BlendFunc), 1u);
    EXPECT_EQ(GLTrace::Count(GLTrace::DepthMask), 1u);

    Ref<Fog> fog = New<Fog>();
    m_Device->SetFog(fog);
    GLTrace::Reset();
    m_Device->SetFog(fog);
    m_Device->SetLights(2);
    const U32 afterFirstLights = GLTrace::Total();
    m_Device->SetLights(2);
    EXPECT_EQ(GLTrace::Total(), afterFirstLights);
    EXPECT_EQ(GLTrace::Count(GLTrace::Fogf), 0u);
    m_Device->SetFog(nullptr);
    EXPECT_EQ(GLTrace::Count(GLTrace::Disable), 7u);  // lights 2..7, then fog
}

TEST_F(RenderDeviceTest, NonPowerOfTwoTextureIsRefusedButTheMatrixIsLoaded) {
    Ref<Texture2D> texture = New<Texture2D>();
    texture->SetImage(MakeImage(ImageRGB, 100, 64));
    ::Test::LogCapture log;
    GLTrace::Reset();
    m_Device->SetTexture(0, texture);
    EXPECT_EQ(log.Count("[E] SetTexture Texture dimensions not power of 2."), 1);
    EXPECT_EQ(GLTrace::Count(GLTrace::Enable), 1u);  // GL_TEXTURE_2D stays on
    EXPECT_EQ(GLTrace::Count(GLTrace::Disable), 0u);
    EXPECT_EQ(GLTrace::Count(GLTrace::TexImage2D), 0u);
    EXPECT_EQ(GLTrace::Count(GLTrace::GenTextures), 0u);
    EXPECT_EQ(GLTrace::Count(GLTrace::LoadIdentity), 1u);
    EXPECT_EQ(texture->GetHandle(), nullptr);

    // A unit past the limit and a texture without image.
    m_Device->SetTexture(m_Device->GetMaxTextureUnits(), texture);
    EXPECT_EQ(log.Count("[E] SetTexture Pass #" + std::to_string(m_Device->GetMaxTextureUnits()) +
                        " exceeding GL_MAX_TEXTURE_UNITS"),
              1);
    Ref<Texture2D> empty = New<Texture2D>();
    GLTrace::Reset();
    m_Device->SetTexture(0, empty);
    EXPECT_EQ(GLTrace::Count(GLTrace::Disable), 1u);
    EXPECT_EQ(GLTrace::Count(GLTrace::TexImage2D), 0u);

    // A power-of-two texture is uploaded once, with each format.
    for (I32 format : {ImageLuminance, ImageRGB, ImageRGBA, ImageLuminanceAlpha}) {
        Ref<Texture2D> good = New<Texture2D>();
        good->SetImage(MakeImage(format, 16, 8));
        GLTrace::Reset();
        m_Device->SetTexture(1, good);
        m_Device->SetTexture(1, good);
        EXPECT_EQ(GLTrace::Count(GLTrace::TexImage2D), 1u);
        EXPECT_EQ(GLTrace::Count(GLTrace::GenTextures), 1u);
        ASSERT_NE(good->GetHandle(), nullptr);
        EXPECT_TRUE(good->GetHandle()->IsCreated());
    }
    EXPECT_EQ(log.Count("[D] Generating Texture."), 4);
    EXPECT_TRUE(log.Contains("[D] Texture: Format=0x1908 W=16 H=8")) << log.Text();
    EXPECT_TRUE(log.Contains("[D] Texture: Format=0x1909 W=16 H=8"));
    EXPECT_TRUE(log.Contains("[D] Texture: Format=0x1907 W=16 H=8"));
    EXPECT_TRUE(log.Contains("[D] Texture: Format=0x190a W=16 H=8") ||
                log.Contains("[D] Texture: Format=0x190A W=16 H=8"));
    m_Device->SwapBuffers();
    EXPECT_FALSE(log.Contains("GL ERROR")) << log.Text();
}

TEST(RenderDeviceLimits, FiveLightsOnAFourLightDevice) {
    InitTables();
    RenderPndGLOptions options;
    options.m_Mode = RenderPndGLOptions::Offscreen;
    options.m_LightLimit = 4;
    Ref<RenderPndGL> device = New<RenderPndGL>(options);
    ::Test::LogCapture log;
    ASSERT_TRUE(device->Init());
    EXPECT_TRUE(log.Contains("[I] MaxLights=4"));
    GLTrace::Reset();
    device->SetLights(5);
    EXPECT_EQ(log.Count("[W] RenderPndGL::SetLights: lights exceed max lights."), 1);
    EXPECT_EQ(GLTrace::Count(GLTrace::Enable), 4u);
    EXPECT_EQ(GLTrace::Count(GLTrace::Disable), 0u);

    Ref<Light> light = New<Light>();
    light->SetLightType(Light::Directional);
    device->SetLight(4, light, Matrix4::Identity());
    EXPECT_EQ(log.Count("[E] RenderPndGL::SetLight: light exceeds limits."), 1);
    light->SetLightType(7);
    device->SetLight(0, light, Matrix4::Identity());
    EXPECT_EQ(log.Count("[E] LightType #7 unhandled"), 1);
    GLTrace::Reset();
    device->SetLights(1);
    EXPECT_EQ(GLTrace::Count(GLTrace::Enable), 1u);
    EXPECT_EQ(GLTrace::Count(GLTrace::Disable), 3u);
    device->Exit();
    ReleaseTables();
}

TEST_F(RenderDeviceTest, EveryNameIsReleasedAtExit) {
    BuildScene();
    Ref<Texture2D> texture = ::Test::MakeQuadrantTexture(8, 0xFF0000FF, 0x00FF00FF, 0x0000FFFF, 0xFFFFFFFF);
    Ref<Shader> shader = ::Test::MakeColorShader(1, 1, 1, 1);
    shader->SetTexture(0, texture);
    Ref<PolygonGeometry> kept = ::Test::MakeQuad(-1, -1, 1, 1, 0);
    kept->SetShader(shader);
    kept->SetStatic(ArrayAll);
    Add(kept);
    Ref<PolygonGeometry> dropped = ::Test::MakeQuad(-2, -2, -1, -1, 0);
    dropped->SetShader(::Test::MakeColorShader(0, 0, 1, 1));
    Transform* droppedTransform = Add(dropped);

    GLTrace::Reset();
    DrawFrame();
    EXPECT_EQ(m_Device->GetPolygonHandleCount(), 2u);
    EXPECT_EQ(m_Device->GetTextureHandleCount(), 1u);
    const U32 buffers = GLTrace::Count(GLTrace::GenBuffers);
    EXPECT_EQ(buffers, 8u);  // vertices, indices, normals, texture set 0 for each quad

    // A mesh that goes away gives its names to the free list; the next mesh
    // takes them from there.
    droppedTransform->SetParent(nullptr);
    dropped.Reset();
    EXPECT_EQ(m_Device->GetPolygonHandleCount(), 1u);
    EXPECT_EQ(m_Device->GetFreeBufferCount(), 4u);
    Ref<PolygonGeometry> next = ::Test::MakeQuad(1, 1, 2, 2, 0);
    Add(next);
    DrawFrame();
    EXPECT_EQ(GLTrace::Count(GLTrace::GenBuffers), buffers);
    EXPECT_EQ(m_Device->GetFreeBufferCount(), 0u);
    // Only the new mesh was uploaded in the second frame.
    EXPECT_EQ(GLTrace::Count(GLTrace::BufferData), 8u + 4u);
    // Some names stay on the free list at Exit.
    next->GetRenderHandle()->Release();
    EXPECT_EQ(m_Device->GetFreeBufferCount(), 4u);

    m_Device->Exit();
    EXPECT_EQ(GLTrace::Count(GLTrace::GenTextures), GLTrace::Count(GLTrace::DeleteTextures));
    EXPECT_EQ(GLTrace::Count(GLTrace::GenBuffers), GLTrace::Count(GLTrace::DeleteBuffers));
    EXPECT_EQ(m_Device->GetTextureHandleCount(), 0u);
    EXPECT_EQ(m_Device->GetPolygonHandleCount(), 0u);
    EXPECT_EQ(m_Device->GetFreeBufferCount(), 0u);
    ASSERT_NE(texture->GetHandle(), nullptr);
    EXPECT_FALSE(texture->GetHandle()->IsCreated());

    // Handles left in engine objects now have nothing to delete, and a new
    // device adopts them on first use.
    const U32 deleted = GLTrace::Count(GLTrace::DeleteBuffers);
    ASSERT_TRUE(m_Device->Init());
    DrawFrame();
    EXPECT_EQ(m_Device->GetPolygonHandleCount(), 2u);
    EXPECT_EQ(m_Device->GetTextureHandleCount(), 1u);
    EXPECT_TRUE(texture->GetHandle()->IsCreated());
    EXPECT_TRUE(Near(ScreenPixel(150, 110), 255, 0, 0)) << ScreenPixel(150, 110);
    m_Device->Exit();
    EXPECT_EQ(GLTrace::Count(GLTrace::GenTextures), GLTrace::Count(GLTrace::DeleteTextures));
    EXPECT_EQ(GLTrace::Count(GLTrace::GenBuffers), GLTrace::Count(GLTrace::DeleteBuffers));
    EXPECT_GT(GLTrace::Count(GLTrace::DeleteBuffers), deleted);
    kept.Reset();
    next.Reset();
    m_Tree.Reset();
    m_Root->SetParent(nullptr);
    m_Root.Reset();
    EXPECT_EQ(GLTrace::Count(GLTrace::GenBuffers), GLTrace::Count(GLTrace::DeleteBuffers));
}

TEST_F(RenderDeviceTest, ScreenshotIsNamedByTimeAndUpright) {
    // Lower half blue, upper half red on the screen.
    BuildScene();
    m_Device->SetClearColor(0, 0, 1, 1);
    Ref<PolygonGeometry> top = ::Test::MakeQuad(-10, 0, 10, 10, 0);
    top->SetShader(::Test::MakeColorShader(1, 0, 0, 1));
    Add(top);
    DrawFrame();

    ::Test::TempDir dir;
    ASSERT_TRUE(m_Device->Screenshot(dir.File("skyrail").c_str()));
    std::string found;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) found = entry.path().filename();
    EXPECT_TRUE(std::regex_match(found, std::regex("skyrail-[0-9]{6}-[0-9]{8}\\.png"))) << found;
    Ref<Image> image = ImportPNG(dir.File(found).c_str(), false);
    ASSERT_NE(image.Get(), nullptr);
    EXPECT_EQ(image->GetWidth(), 320);
    EXPECT_EQ(image->GetHeight(), 240);
    ASSERT_EQ(image->GetFormat(), ImageRGBA);
    // Imported without flip: row 0 is the top of the picture.
    const U8* topRow = image->GetPixels();
    const U8* bottomRow = image->GetPixels() + 239 * 320 * 4;
    EXPECT_EQ(topRow[0], 255);
    EXPECT_EQ(topRow[2], 0);
    EXPECT_EQ(topRow[3], 255);
    EXPECT_EQ(bottomRow[0], 0);
    EXPECT_EQ(bottomRow[2], 255);

    ::Test::LogCapture log;
    EXPECT_FALSE(m_Device->Screenshot("/nonexistent-folder/skyrail"));
    EXPECT_TRUE(log.Contains("[E] Failed to open file")) << log.Text();
}

TEST_F(RenderDeviceTest, RenderTargetHandleMakesAPbuffer) {
    ::Test::LogCapture log;
    Ref<RenderTargetHandlePndGL> handle = New<RenderTargetHandlePndGL>(m_Device.Get());
    m_Device->AddTextureHandle(handle);
    GLTrace::Reset();
    ASSERT_TRUE(handle->CreateSurface(m_Device->GetEGLDisplay(), 64, 64));
    EXPECT_TRUE(log.Contains("[D] Surface Config"));
    EXPECT_TRUE(log.Contains("[D] Pnd.EGL_BUFFER_SIZE: "));
    EXPECT_TRUE(log.Contains("[D] Pnd.EGL_MAX_PBUFFER_WIDTH: "));
    EXPECT_TRUE(log.Contains("[D] RenderPndGL: CreatePBuffer succeeded."));
    EXPECT_NE(handle->GetSurface(), nullptr);
    EXPECT_TRUE(handle->IsCreated());
    EXPECT_EQ(GLTrace::Count(GLTrace::GenTextures), 1u);
    // A second call keeps what was made.
    EXPECT_TRUE(handle->CreateSurface(m_Device->GetEGLDisplay(), 64, 64));
    EXPECT_EQ(log.Count("[D] Surface Config"), 1);
    m_Device->Exit();
    EXPECT_EQ(handle->GetSurface(), nullptr);
    EXPECT_EQ(GLTrace::Count(GLTrace::DeleteTextures), 1u);
}

TEST(RenderDeviceOpen, ScaledOffscreenSurfaceAndViewport) {
    InitTables();
    RenderPndGLOptions options;
    options.m_Mode = RenderPndGLOptions::Offscreen;
    options.m_Scale = 2;
    Ref<RenderPndGL> device = New<RenderPndGL>(options);
    ASSERT_TRUE(device->Init());
    EXPECT_EQ(device->GetSurfaceWidth(), 640);
    EXPECT_EQ(device->GetSurfaceHeight(), 480);
    I32 x, y, w, h;
    device->GetViewport(x, y, w, h);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
    Fixed aspect;
    device->GetAspectRatio(aspect);
    EXPECT_EQ(aspect.Raw(), 87381);
    device->SetClearColor(1, 1, 0, 1);
    device->Clear(Render::ClearColor);
    U8 corner[4];
    ASSERT_TRUE(device->ReadPixels(639, 479, 1, 1, corner));
    EXPECT_EQ(corner[0], 255);
    EXPECT_EQ(corner[2], 0);
    EXPECT_FALSE(device->ReadPixels(639, 479, 2, 1, corner));
    device->Exit();
    EXPECT_FALSE(device->ReadPixels(0, 0, 1, 1, corner));
    ReleaseTables();
}
