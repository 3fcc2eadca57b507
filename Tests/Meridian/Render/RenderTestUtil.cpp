#include "Meridian/Render/RenderTestUtil.h"

#include <filesystem>
#include <vector>

#include "Image/Image.h"
#include "Math/MathFunctions.h"
#include "Scene/Material.h"
#include "Support/TestUtil.h"

using namespace Meridian;

namespace Test {

namespace {

Vector3 V(float x, float y, float z) { return {Fixed::FromFloat(x), Fixed::FromFloat(y), Fixed::FromFloat(z)}; }

}  // namespace

::std::ostream& operator<<(::std::ostream& out, const Pixel& p) {
    return out << "(" << p.r << ", " << p.g << ", " << p.b << ", " << p.a << ")";
}

bool Near(const Pixel& p, int r, int g, int b, int tolerance) {
    return std::abs(p.r - r) <= tolerance && std::abs(p.g - g) <= tolerance && std::abs(p.b - b) <= tolerance;
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
    const bool made = image->Create(ImageRGBA, static_cast<I16>(size), static_cast<I16>(size));
    EXPECT_TRUE(made);
    U8* pixels = image->GetPixels();
    // Row 0 is the bottom row.
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const bool top = y >= size / 2, right = x >= size / 2;
            const unsigned c = top ? (right ? tr : tl) : (right ? br : bl);
            U8* p = pixels + (y * size + x) * 4;
            p[0] = static_cast<U8>(c >> 24);
            p[1] = static_cast<U8>(c >> 16);
            p[2] = static_cast<U8>(c >> 8);
            p[3] = static_cast<U8>(c);
        }
    }
    Texture2D* texture = New<Texture2D>();
    texture->SetImage(image);
    texture->SetMipmapMode(Texture::MipmapNone);
    texture->SetMagLinear(0);
    texture->SetMinLinear(0);
    return texture;
}

Shader* MakeColorShader(float r, float g, float b, float a, bool lighting) {
    Shader* shader = New<Shader>();
    Material* material = New<Material>();
    material->SetDiffuse(r, g, b, a);
    shader->SetMaterial(material);
    shader->SetLighting(lighting);
    return shader;
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

bool RenderTest::OpenDevice(RenderPndGLOptions options) {
    if (m_Device) m_Device->Exit();
    if (options.m_Mode == RenderPndGLOptions::Auto) options.m_Mode = RenderPndGLOptions::Offscreen;
    m_Device = New<RenderPndGL>(options);
    if (!m_Device->Init()) return false;
    PinGraphicsDriver();
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

void RenderTest::DrawFrame() {
    m_Tree->Draw();
    m_Device->SwapBuffers();
}

Pixel RenderTest::ReadPixel(int x, int y) {
    U8 rgba[4] = {0, 0, 0, 0};
    EXPECT_TRUE(m_Device->ReadPixels(x, y, 1, 1, rgba));
    return Pixel{rgba[0], rgba[1], rgba[2], rgba[3]};
}

Pixel RenderTest::ScreenPixel(int x, int y) {
    I32 vx, vy, vw, vh;
    m_Device->GetViewport(vx, vy, vw, vh);
    return ReadPixel(vx + x * vw / RenderPndGL::ScreenWidth, vy + y * vh / RenderPndGL::ScreenHeight);
}

std::string RenderTest::Shot(const std::string& name) {
    namespace fs = std::filesystem;
    const fs::path dir = "render-shots";
    std::error_code error;
    fs::create_directories(dir, error);
    for (const fs::directory_entry& entry : fs::directory_iterator(dir, error)) {
        const std::string file = entry.path().filename().string();
        if (file.rfind(name + "-", 0) == 0 && file.size() == name.size() + 20) fs::remove(entry.path(), error);
    }
    EXPECT_TRUE(m_Device->Screenshot((dir / name).string().c_str()));
    for (const fs::directory_entry& entry : fs::directory_iterator(dir, error)) {
        const std::string file = entry.path().filename().string();
        if (file.rfind(name + "-", 0) == 0 && file.size() == name.size() + 20) return entry.path().string();
    }
    return std::string();
}

}  // namespace Test
