#include "Meridian/Render/RenderTestUtil.h"

#include <cstdlib>
#include <filesystem>

#include "Image/Image.h"
#include "Math/MathFunctions.h"
#include "Scene/Material.h"
#include "Support/TestUtil.h"

using namespace Meridian;

namespace Test {

namespace {

Vector3 V(float x, float y, float z) { return {Fixed::FromFloat(x), Fixed::FromFloat(y), Fixed::FromFloat(z)}; }

// A point of the 320 x 240 game screen to a pixel of the viewport.
void ToSurface(RenderPndGL* device, int& x, int& y) {
    I32 vx, vy, vw, vh;
    device->GetViewport(vx, vy, vw, vh);
    x = vx + x * vw / RenderPndGL::ScreenWidth;
    y = vy + y * vh / RenderPndGL::ScreenHeight;
}

}  // namespace

ScopedDisplay::ScopedDisplay(const char* display) : m_Had(getenv("DISPLAY") != nullptr) {
    if (m_Had) m_Saved = getenv("DISPLAY");
    if (display)
        setenv("DISPLAY", display, 1);
    else
        unsetenv("DISPLAY");
}

ScopedDisplay::~ScopedDisplay() {
    if (m_Had)
        setenv("DISPLAY", m_Saved.c_str(), 1);
    else
        unsetenv("DISPLAY");
}

PolygonGeometry* MakeQuad(float x0, float y0, float x1, float y1, float z) {
    PolygonGeometry* quad = New<PolygonGeometry>();
    quad->SetVertices({{x0, y0, z}, {x1, y0, z}, {x0, y1, z}, {x1, y1, z}});
    quad->SetNormals({{0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0, 1}});
    quad->SetTexCoords(0, {{0, 0}, {1, 0}, {0, 1}, {1, 1}});
    quad->SetPrimitiveType(PrimitiveTriangles);
    quad->SetIndices({0, 1, 2, 1, 3, 2});
    return quad;
}

Texture2D* MakeQuadrantTexture(int size, unsigned bl, unsigned br, unsigned tl, unsigned tr) {
    Image* image = New<Image>();
    EXPECT_TRUE(image->Create(ImageRGBA, static_cast<I16>(size), static_cast<I16>(size)));
    // Row 0 is the bottom row.
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const bool top = y >= size / 2, right = x >= size / 2;
            const unsigned c = top ? (right ? tr : tl) : (right ? br : bl);
            U8* p = image->GetPixels() + (y * size + x) * 4;
            for (int i = 0; i < 4; ++i) p[i] = static_cast<U8>(c >> (24 - 8 * i));
        }
    }
    Texture2D* texture = New<Texture2D>();
    texture->SetImage(image);
    texture->SetMipmapMode(Texture::MipmapNone);
    texture->SetMagLinear(0);
    texture->SetMinLinear(0);
    return texture;
}

Shader* MakeColorShader(float r, float g, float b, float a, bool lighting, I32 blend, I32 layer) {
    Shader* shader = New<Shader>();
    Material* material = New<Material>();
    material->SetDiffuse(r, g, b, a);
    shader->SetMaterial(material);
    shader->SetLighting(lighting);
    shader->SetBlendMode(blend);
    shader->SetLayer(layer);
    return shader;
}

RenderPndGLOptions OffscreenOptions(I32 scale, I32 lightLimit) {
    RenderPndGLOptions options;
    options.m_Mode = RenderPndGLOptions::Offscreen;
    options.m_Scale = scale;
    options.m_LightLimit = lightLimit;
    return options;
}

void RenderTest::SetUp() {
    InitTables();
    ASSERT_TRUE(OpenDevice());
}

void RenderTest::TearDown() {
    m_Tree.Reset();
    if (m_Root) m_Root->SetParent(nullptr);
    m_Root.Reset();
    m_CameraTransform.Reset();
    m_Camera.Reset();
    if (m_Device) m_Device->Exit();
    m_Device.Reset();
    ReleaseTables();
}

bool RenderTest::OpenDevice(const RenderPndGLOptions& options) {
    if (m_Device) m_Device->Exit();
    m_Device = New<RenderPndGL>(options);
    if (!m_Device->Init()) return false;
    return true;
}

void RenderTest::BuildScene() {
    m_Root = New<Transform>();
    m_Root->SetName("SceneRoot");
    m_CameraTransform = New<LookTransform>();
    m_CameraTransform->SetTranslation(V(0, 0, 5));
    m_CameraTransform->SetTarget(V(0, 0, 0));
    m_CameraTransform->SetParent(m_Root);
    m_Camera = New<Camera>();
    m_Camera->SetParent(m_CameraTransform);
    m_Tree = New<DrawTree>();
    m_Tree->SetRender(m_Device);
    m_Tree->SetSceneRoot(m_Root);
    m_Tree->SetCamera(m_Camera);
}

Transform* RenderTest::Add(Node* node, float x, float y, float z, Group* parent) {
    Transform* transform = New<Transform>();
    transform->SetTranslation(V(x, y, z));
    transform->SetParent(parent ? parent : m_Root.Get());
    node->SetParent(transform);
    return transform;
}

PolygonGeometry* RenderTest::AddQuad(float x0, float y0, float x1, float y1, float z, float r, float g, float b,
                                     float a, I32 blend, I32 layer) {
    PolygonGeometry* quad = MakeQuad(x0, y0, x1, y1, z);
    quad->SetShader(MakeColorShader(r, g, b, a, false, blend, layer));
    Add(quad);
    return quad;
}

void RenderTest::DrawFrame() {
    m_Tree->Draw();
    m_Device->SwapBuffers();
}

::testing::AssertionResult RenderTest::PixelIs(int x, int y, int r, int g, int b, int tolerance) {
    U8 p[4] = {0, 0, 0, 0};
    if (!m_Device->ReadPixels(x, y, 1, 1, p)) return ::testing::AssertionFailure() << "ReadPixels failed";
    if (std::abs(p[0] - r) <= tolerance && std::abs(p[1] - g) <= tolerance && std::abs(p[2] - b) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is (" << int(p[0]) << ", " << int(p[1])
                                         << ", " << int(p[2]) << "), expected (" << r << ", " << g << ", " << b << ")";
}

::testing::AssertionResult RenderTest::ScreenIs(int x, int y, int r, int g, int b, int tolerance) {
    ToSurface(m_Device, x, y);
    return PixelIs(x, y, r, g, b, tolerance);
}

void RenderTest::Shot(const std::string& name) {
    namespace fs = std::filesystem;
    TempDir dir;
    ASSERT_TRUE(m_Device->Screenshot(dir.File("shot").c_str()));
    std::error_code error;
    fs::create_directories("render-shots", error);
    for (const fs::directory_entry& entry : fs::directory_iterator(dir.Path()))
        fs::copy_file(entry.path(), "render-shots/" + name + ".png", fs::copy_options::overwrite_existing, error);
}

}  // namespace Test
