// The Pnd device on Mesa's software renderer: opening, clears, state filtering, limits, name bookkeeping, screenshots.
#include <gtest/gtest.h>
#include <malloc.h>

#include <filesystem>
#include <regex>
#include <set>

#include "Image/ImportPNG.h"
#include "Meridian/Render/RenderTestUtil.h"
#include "Render/Pnd/GLTrace.h"
#include "Render/Pnd/RenderHandlesPndGL.h"
#include "Support/TestUtil.h"

using namespace Meridian;

namespace {

class RenderDevice : public ::Test::RenderTest {};

Image* MakeImage(I32 format, int w, int h) {
    Image* image = New<Image>();
    EXPECT_TRUE(image->Create(format, static_cast<I16>(w), static_cast<I16>(h)));
    for (U32 i = 0; i < image->GetPixelBytes(); ++i) image->GetPixels()[i] = static_cast<U8>(i * 7);
    return image;
}

// Bytes allocated and not freed, as ASan's allocator (or glibc's) reports them.
extern "C" size_t __sanitizer_get_current_allocated_bytes() __attribute__((weak));

size_t HeapBytes() {
    if (__sanitizer_get_current_allocated_bytes) return __sanitizer_get_current_allocated_bytes();
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// The GL call counts since the last GLTrace::Reset, in the order asked.
std::vector<U32> Calls(std::initializer_list<GLTrace::Call> calls) {
    std::vector<U32> counts;
    for (GLTrace::Call call : calls) counts.push_back(GLTrace::Count(call));
    return counts;
}

}  // namespace

TEST_F(RenderDevice, OffscreenFramesDoNotPileUpInTheDriver) {
    // A pbuffer is never swapped: unless the device flushes each frame, the driver keeps every frame queued.
    BuildScene();
    Ref<PolygonGeometry> quad = AddQuad(-1, -1, 1, 1, 0, 1, 0, 0);
    std::vector<Float3> vertices;
    auto frames = [&](int count) {
        for (int i = 0; i < count; ++i) {
            quad->GetVertices(vertices);
            vertices[0].x += 1e-4f;
            quad->SetVertices(vertices);
            DrawFrame();
        }
    };
    frames(100);
    const size_t before = HeapBytes();
    frames(1000);
    // Unflushed, 1000 frames queue about 65 MB; flushed, a busy driver may still hold a few frames.
    EXPECT_LT(HeapBytes(), before + (16u << 20)) << HeapBytes() - before;
}

TEST_F(RenderDevice, OpeningWaysAndFallbacks) {
    const char* neither = "[E] RenderPndGL::Init: Neither X11 nor FB modes available.";
    {
        // No display: the framebuffer way is tried and fails, then offscreen.
        ::Test::ScopedDisplay display(nullptr);
        ::Test::LogCapture log;
        ASSERT_TRUE(OpenDevice(RenderPndGLOptions()));
        EXPECT_EQ(RenderPndGLOptions::Offscreen, m_Device->GetOpenMode());
        EXPECT_EQ(320, m_Device->GetSurfaceWidth());
        EXPECT_EQ(240, m_Device->GetSurfaceHeight());
        m_Device->Exit();
        EXPECT_TRUE(log.Contains("[D] Error: eglInitialize() failed.")) << log.Text();
        EXPECT_EQ(0, log.Count(neither));
        // Ways asked for explicitly that cannot open fail with one line each; Exit copes.
        for (RenderPndGLOptions::Mode mode : {RenderPndGLOptions::X11, RenderPndGLOptions::Framebuffer}) {
            RenderPndGLOptions options;
            options.m_Mode = mode;
            EXPECT_FALSE(OpenDevice(options));
            EXPECT_EQ(nullptr, m_Device->GetEGLDisplay());
        }
        EXPECT_EQ(1, log.Count(neither));
        EXPECT_EQ(1, log.Count("[E] RenderPndGL::Init: cannot open a window on display \"\": no X server answers"));
    }
    {
        // An unreachable X server: offscreen, skipping the framebuffer way (EGL would take it for X).
        ::Test::ScopedDisplay display(":4711");
        ::Test::LogCapture log;
        ASSERT_TRUE(OpenDevice(RenderPndGLOptions()));
        EXPECT_EQ(RenderPndGLOptions::Offscreen, m_Device->GetOpenMode());
        EXPECT_TRUE(log.Contains("[D] SDL_InitSubSystem(SDL_INIT_VIDEO) failed")) << log.Text();
        EXPECT_TRUE(log.Contains("[D] Error: no framebuffer EGL under a windowing system (DISPLAY=:4711)."));
    }
}

TEST_F(RenderDevice, ClearColourAndStencilOnlyClear) {
    m_Device->SetClearColor(0, 1, 0, 1);
    m_Device->Clear(Render::ClearColor | Render::ClearDepth);
    EXPECT_TRUE(PixelIs(0, 0, 0, 255, 0));
    EXPECT_TRUE(PixelIs(319, 239, 0, 255, 0));
    ::Test::LogCapture log;
    m_Device->SetClearColor(1, 0, 0, 1);
    GLTrace::Reset();
    m_Device->Clear(Render::ClearStencil);
    m_Device->Clear(0);
    EXPECT_EQ(1, log.Count("[E] RenderPndGL::Clear: StencilBuffer not supported by Pnd."));
    EXPECT_EQ(0u, GLTrace::Count(GLTrace::Clear));
    EXPECT_TRUE(PixelIs(160, 120, 0, 255, 0)) << "the stencil-only clear cleared colour";
    m_Device->Clear(Render::ClearColor);
    EXPECT_EQ(1u, GLTrace::Count(GLTrace::Clear));
    EXPECT_TRUE(PixelIs(160, 120, 255, 0, 0));
}

TEST_F(RenderDevice, RepeatedStateCostsNoGLCalls) {
    Ref<Shader> shader = ::Test::MakeColorShader(1, 0, 0, 1, false, Shader::BlendAlpha);
    const F32 white[4] = {1, 1, 1, 1};
    const F32 grey[4] = {0.5f, 0.5f, 0.5f, 1};
    m_Device->SetShader(shader, white);
    GLTrace::Reset();
    m_Device->SetShader(shader, white);
    EXPECT_EQ(0u, GLTrace::Total()) << "an identical SetShader called GL";
    // Another colour is applied, the unchanged switches are not.
    m_Device->SetShader(shader, grey);
    EXPECT_GT(GLTrace::Count(GLTrace::Color4f), 0u);
    EXPECT_EQ(0u, GLTrace::Count(GLTrace::BlendFunc) + GLTrace::Count(GLTrace::DepthMask));
    // Clear turns depth writes on, so the blend mode must be applied again.
    m_Device->Clear(Render::ClearColor);
    GLTrace::Reset();
    m_Device->SetShader(shader, grey);
    EXPECT_EQ((std::vector<U32>{1, 1}), Calls({GLTrace::BlendFunc, GLTrace::DepthMask}));
    Ref<Fog> fog = New<Fog>();
    m_Device->SetFog(fog);
    GLTrace::Reset();
    m_Device->SetFog(fog);
    m_Device->SetLights(2);
    const U32 afterFirstLights = GLTrace::Total();
    m_Device->SetLights(2);
    EXPECT_EQ(afterFirstLights, GLTrace::Total());
    EXPECT_EQ(0u, GLTrace::Count(GLTrace::Fogf));
    m_Device->SetFog(nullptr);
    EXPECT_EQ(7u, GLTrace::Count(GLTrace::Disable));  // lights 2..7, then fog
}

TEST_F(RenderDevice, TextureChecksAndUploads) {
    Ref<Texture2D> texture = New<Texture2D>();
    texture->SetImage(MakeImage(ImageRGB, 100, 64));
    ::Test::LogCapture log;
    GLTrace::Reset();
    m_Device->SetTexture(0, texture);
    EXPECT_EQ(1, log.Count("[E] SetTexture Texture dimensions not power of 2."));
    // GL_TEXTURE_2D stays on and the texture matrix is loaded, nothing made.
    EXPECT_EQ((std::vector<U32>{1, 1, 0, 0, 0}), Calls({GLTrace::Enable, GLTrace::LoadIdentity, GLTrace::Disable,
                                                         GLTrace::TexImage2D, GLTrace::GenTextures}));
    EXPECT_EQ(nullptr, texture->GetHandle());
    // A unit past the limit, and a texture without image.
    const I32 units = m_Device->GetMaxTextureUnits();
    m_Device->SetTexture(units, texture);
    EXPECT_EQ(1, log.Count("[E] SetTexture Pass #" + std::to_string(units) + " exceeding GL_MAX_TEXTURE_UNITS"));
    Ref<Texture2D> empty = New<Texture2D>();
    GLTrace::Reset();
    m_Device->SetTexture(0, empty);
    EXPECT_EQ((std::vector<U32>{1, 0}), Calls({GLTrace::Disable, GLTrace::TexImage2D}));
    // A power-of-two texture is uploaded once, in each format.
    for (I32 format : {ImageLuminance, ImageRGB, ImageRGBA, ImageLuminanceAlpha}) {
        Ref<Texture2D> good = New<Texture2D>();
        good->SetImage(MakeImage(format, 16, 8));
        GLTrace::Reset();
        m_Device->SetTexture(1, good);
        m_Device->SetTexture(1, good);
        EXPECT_EQ((std::vector<U32>{1, 1}), Calls({GLTrace::TexImage2D, GLTrace::GenTextures}));
    }
    for (const char* format : {"1909", "1907", "1908", "190a"})
        EXPECT_TRUE(log.Contains(std::string("[D] Texture: Format=0x") + format + " W=16 H=8")) << log.Text();
    m_Device->SwapBuffers();
    EXPECT_FALSE(log.Contains("GL ERROR")) << log.Text();
}

TEST_F(RenderDevice, FiveLightsOnAFourLightDevice) {
    ::Test::LogCapture log;
    ASSERT_TRUE(OpenDevice(::Test::OffscreenOptions(0, 4)));
    EXPECT_TRUE(log.Contains("[I] MaxLights=4"));
    GLTrace::Reset();
    m_Device->SetLights(5);
    EXPECT_EQ(1, log.Count("[W] RenderPndGL::SetLights: lights exceed max lights."));
    EXPECT_EQ((std::vector<U32>{4, 0}), Calls({GLTrace::Enable, GLTrace::Disable}));
    Ref<Light> light = New<Light>();
    light->SetLightType(Light::Directional);
    m_Device->SetLight(4, light, Matrix4::Identity());
    EXPECT_EQ(1, log.Count("[E] RenderPndGL::SetLight: light exceeds limits."));
    light->SetLightType(7);
    m_Device->SetLight(0, light, Matrix4::Identity());
    EXPECT_EQ(1, log.Count("[E] LightType #7 unhandled"));
    GLTrace::Reset();
    m_Device->SetLights(1);
    EXPECT_EQ((std::vector<U32>{1, 3}), Calls({GLTrace::Enable, GLTrace::Disable}));
}

TEST_F(RenderDevice, EveryNameIsReleasedAtExit) {
    BuildScene();
    Ref<Texture2D> texture = ::Test::MakeQuadrantTexture(8, 0xFF0000FF, 0x00FF00FF, 0x0000FFFF, 0xFFFFFFFF);
    Ref<PolygonGeometry> kept = AddQuad(-1, -1, 1, 1, 0, 1, 1, 1);
    kept->GetShader()->SetTexture(0, texture);
    kept->SetStatic(ArrayAll);
    Ref<PolygonGeometry> dropped = AddQuad(-2, -2, -1, -1, 0, 0, 0, 1);
    auto balanced = [] {
        return GLTrace::Count(GLTrace::GenTextures) == GLTrace::Count(GLTrace::DeleteTextures) &&
               GLTrace::Count(GLTrace::GenBuffers) == GLTrace::Count(GLTrace::DeleteBuffers);
    };
    GLTrace::Reset();
    DrawFrame();
    EXPECT_EQ(2u, m_Device->GetPolygonHandleCount());
    EXPECT_EQ(1u, m_Device->GetTextureHandleCount());
    const U32 buffers = GLTrace::Count(GLTrace::GenBuffers);
    EXPECT_EQ(8u, buffers);  // vertices, indices, normals, texture set 0 for each quad
    // A mesh that goes away gives its names to the free list; the next mesh takes them, only it is uploaded.
    dropped->GetParent()->SetParent(nullptr);
    dropped.Reset();
    EXPECT_EQ(1u, m_Device->GetPolygonHandleCount());
    EXPECT_EQ(4u, m_Device->GetFreeBufferCount());
    Ref<PolygonGeometry> next = AddQuad(1, 1, 2, 2, 0, 0, 0, 1);
    DrawFrame();
    EXPECT_EQ(buffers, GLTrace::Count(GLTrace::GenBuffers));
    EXPECT_EQ(0u, m_Device->GetFreeBufferCount());
    EXPECT_EQ(8u + 4u, GLTrace::Count(GLTrace::BufferData));
    // Names still on the free list at Exit are deleted too.
    next->GetRenderHandle()->Release();
    EXPECT_EQ(4u, m_Device->GetFreeBufferCount());
    m_Device->Exit();
    EXPECT_TRUE(balanced());
    EXPECT_EQ(0u, m_Device->GetTextureHandleCount() + m_Device->GetPolygonHandleCount() +
                      m_Device->GetFreeBufferCount());
    // Handles left in engine objects have nothing to delete; a new device adopts them on first use (the red texel).
    const U32 deleted = GLTrace::Count(GLTrace::DeleteBuffers);
    ASSERT_TRUE(m_Device->Init());
    DrawFrame();
    EXPECT_EQ(2u, m_Device->GetPolygonHandleCount());
    EXPECT_EQ(1u, m_Device->GetTextureHandleCount());
    EXPECT_TRUE(ScreenIs(150, 110, 255, 0, 0));
    m_Device->Exit();
    EXPECT_TRUE(balanced());
    EXPECT_GT(GLTrace::Count(GLTrace::DeleteBuffers), deleted);
    kept.Reset();
    next.Reset();
    m_Tree.Reset();
    m_Root->SetParent(nullptr);
    m_Root.Reset();
    EXPECT_TRUE(balanced());
}

TEST_F(RenderDevice, ScaledSurfaceAndScreenshotOfAllOfIt) {
    // The viewport covers the whole surface, the aspect stays 4/3.
    ASSERT_TRUE(OpenDevice(::Test::OffscreenOptions(2)));
    I32 x, y, w, h;
    m_Device->GetViewport(x, y, w, h);
    EXPECT_EQ((std::vector<I32>{640, 480, 0, 0, 640, 480}),
              (std::vector<I32>{m_Device->GetSurfaceWidth(), m_Device->GetSurfaceHeight(), x, y, w, h}));
    Fixed aspect;
    m_Device->GetAspectRatio(aspect);
    EXPECT_EQ(87381, aspect.Raw());
    U8 rgba[8];
    EXPECT_FALSE(m_Device->ReadPixels(639, 479, 2, 1, rgba));
    // Red over the upper half of the screen, on blue.
    BuildScene();
    m_Device->SetClearColor(0, 0, 1, 1);
    AddQuad(-10, 0, 10, 10, 0, 1, 0, 0);
    DrawFrame();
    ::Test::TempDir dir;
    // Three shots, most likely within one second: none replaces another.
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(m_Device->Screenshot(dir.File("skyrail").c_str()));
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) names.insert(entry.path().filename());
    ASSERT_EQ(3u, names.size());
    const std::string found = *names.begin();
    EXPECT_TRUE(std::regex_match(found, std::regex("skyrail-[0-9]{6}-[0-9]{8}(-[23])?\\.png"))) << found;
    Ref<Image> image = ImportPNG(dir.File(found).c_str(), false);
    ASSERT_NE(nullptr, image.Get());
    EXPECT_EQ(640, image->GetWidth());
    EXPECT_EQ(480, image->GetHeight());
    ASSERT_EQ(ImageRGBA, image->GetFormat());
    // Imported without flip, row 0 is the top of the picture.
    const U8* top = image->GetPixels();
    const U8* bottom = image->GetPixels() + 479 * 640 * 4 + 639 * 4;
    EXPECT_EQ((std::vector<U8>{255, 0, 0, 255, 0, 0, 255, 255}),
              (std::vector<U8>{top[0], top[1], top[2], top[3], bottom[0], bottom[1], bottom[2], bottom[3]}));
    ::Test::LogCapture log;
    EXPECT_FALSE(m_Device->Screenshot("/nonexistent-folder/skyrail"));
    m_Device->Exit();
    EXPECT_FALSE(m_Device->ReadPixels(0, 0, 1, 1, rgba));
}

TEST_F(RenderDevice, RenderTargetHandleMakesAPbuffer) {
    ::Test::LogCapture log;
    Ref<RenderTargetHandlePndGL> handle = New<RenderTargetHandlePndGL>(m_Device.Get());
    m_Device->AddTextureHandle(handle);
    GLTrace::Reset();
    ASSERT_TRUE(handle->CreateSurface(m_Device->GetEGLDisplay(), 64, 64)) << log.Text();
    EXPECT_NE(nullptr, handle->GetSurface());
    EXPECT_TRUE(handle->IsCreated());
    EXPECT_EQ(1u, GLTrace::Count(GLTrace::GenTextures));
    // A second call keeps what was made.
    EXPECT_TRUE(handle->CreateSurface(m_Device->GetEGLDisplay(), 64, 64));
    EXPECT_EQ(1, log.Count("[D] Surface Config"));
    m_Device->Exit();
    EXPECT_EQ(nullptr, handle->GetSurface());
    EXPECT_EQ(1u, GLTrace::Count(GLTrace::DeleteTextures));
}
