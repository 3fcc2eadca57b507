// Rendering test helpers: a Pnd device on Mesa (offscreen by default), a scene with the camera at (0, 0, 5) looking at
// the origin, quads, four-colour textures, pixel checks and pictures in "render-shots/" of the build folder.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <string>

#include "Image/Image.h"
#include "Math/MathFunctions.h"
#include "Render/Pnd/RenderPndGL.h"
#include "Scene/DrawTree.h"
#include "Scene/Light.h"
#include "Scene/Material.h"
#include "Scene/PolygonGeometry.h"
#include "Scene/Shader.h"
#include "Scene/Texture2D.h"
#include "Scene/Transform.h"
#include "Support/TestUtil.h"

namespace Test {

using namespace Meridian;

inline Vector3 V3(float x, float y, float z) { return {Fixed::FromFloat(x), Fixed::FromFloat(y), Fixed::FromFloat(z)}; }

// Sets DISPLAY (unsets it for null) until the object goes.
class ScopedDisplay {
public:
    explicit ScopedDisplay(const char* display) : m_Had(getenv("DISPLAY") != nullptr) {
        if (m_Had) m_Saved = getenv("DISPLAY");
        Set(display);
    }
    ~ScopedDisplay() { Set(m_Had ? m_Saved.c_str() : nullptr); }

private:
    static void Set(const char* display) { display ? setenv("DISPLAY", display, 1) : unsetenv("DISPLAY"); }

    bool m_Had;
    std::string m_Saved;
};

// A quad in the z plane from (x0, y0) to (x1, y1) facing +Z, texture coordinates 0..1 from the lower left.
inline PolygonGeometry* MakeQuad(float x0, float y0, float x1, float y1, float z) {
    PolygonGeometry* quad = New<PolygonGeometry>();
    quad->SetVertices({{x0, y0, z}, {x1, y0, z}, {x0, y1, z}, {x1, y1, z}});
    quad->SetNormals({{0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0, 1}});
    quad->SetTexCoords(0, {{0, 0}, {1, 0}, {0, 1}, {1, 1}});
    quad->SetPrimitiveType(PrimitiveTriangles);
    quad->SetIndices({0, 1, 2, 1, 3, 2});
    return quad;
}

// A size x size RGBA texture of four quadrants (0xRRGGBBAA), unfiltered.
inline Texture2D* MakeQuadrantTexture(int size, unsigned bl, unsigned br, unsigned tl, unsigned tr) {
    Image* image = New<Image>();
    EXPECT_TRUE(image->Create(ImageRGBA, static_cast<I16>(size), static_cast<I16>(size)));
    for (int y = 0; y < size; ++y) {  // row 0 is the bottom row
        for (int x = 0; x < size; ++x) {
            const unsigned c = y >= size / 2 ? (x >= size / 2 ? tr : tl) : (x >= size / 2 ? br : bl);
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

inline Shader* MakeColorShader(float r, float g, float b, float a, bool lighting = false,
                               I32 blend = Shader::BlendOpaque, I32 layer = 8) {
    Shader* shader = New<Shader>();
    Material* material = New<Material>();
    material->SetDiffuse(r, g, b, a);
    shader->SetMaterial(material);
    shader->SetLighting(lighting);
    shader->SetBlendMode(blend);
    shader->SetLayer(layer);
    return shader;
}

// Success when got is within tolerance of (r, g, b).
inline ::testing::AssertionResult ColourNear(const int got[3], int r, int g, int b, int tolerance) {
    if (std::abs(got[0] - r) <= tolerance && std::abs(got[1] - g) <= tolerance && std::abs(got[2] - b) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << got[0] << ", " << got[1] << ", " << got[2] << "), expected (" << r
                                         << ", " << g << ", " << b << ")";
}

inline RenderPndGLOptions OffscreenOptions(I32 scale = 0, I32 lightLimit = 0) {
    RenderPndGLOptions options;
    options.m_Mode = RenderPndGLOptions::Offscreen;
    options.m_Scale = scale;
    options.m_LightLimit = lightLimit;
    return options;
}

class RenderTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitTables();
        ASSERT_TRUE(OpenDevice());
    }
    void TearDown() override {
        m_Tree.Reset();
        if (m_Root) m_Root->SetParent(nullptr);
        m_Root.Reset();
        m_CameraTransform.Reset();
        m_Camera.Reset();
        if (m_Device) m_Device->Exit();
        m_Device.Reset();
        ReleaseTables();
    }

    // Closes the current device, if any, and opens one with these options.
    bool OpenDevice(const RenderPndGLOptions& options = OffscreenOptions()) {
        if (m_Device) m_Device->Exit();
        m_Device = New<RenderPndGL>(options);
        return m_Device->Init();
    }
    // Root > camera transform (LookTransform at (0, 0, 5) aimed at the origin) > camera, and a DrawTree over it.
    void BuildScene() {
        m_Root = New<Transform>();
        m_CameraTransform = New<LookTransform>();
        m_CameraTransform->SetTranslation(V3(0, 0, 5));
        m_CameraTransform->SetTarget(V3(0, 0, 0));
        m_CameraTransform->SetParent(m_Root);
        m_Camera = New<Camera>();
        m_Camera->SetParent(m_CameraTransform);
        m_Tree = New<DrawTree>();
        m_Tree->SetRender(m_Device);
        m_Tree->SetSceneRoot(m_Root);
        m_Tree->SetCamera(m_Camera);
    }
    // Adds node under parent (the root when null) in a transform at offset.
    Transform* Add(Node* node, float x = 0, float y = 0, float z = 0, Group* parent = nullptr) {
        Transform* transform = New<Transform>();
        transform->SetTranslation(V3(x, y, z));
        transform->SetParent(parent ? parent : m_Root.Get());
        node->SetParent(transform);
        return transform;
    }
    // An unlit quad of one colour added to the scene.
    PolygonGeometry* AddQuad(float x0, float y0, float x1, float y1, float z, float r, float g, float b, float a = 1,
                             I32 blend = Shader::BlendOpaque, I32 layer = 8) {
        PolygonGeometry* quad = MakeQuad(x0, y0, x1, y1, z);
        quad->SetShader(MakeColorShader(r, g, b, a, false, blend, layer));
        Add(quad);
        return quad;
    }
    void DrawFrame() {
        m_Tree->Draw();
        m_Device->SwapBuffers();
    }
    // Whether the surface pixel (x, y) is within tolerance of (r, g, b).
    ::testing::AssertionResult PixelIs(int x, int y, int r, int g, int b, int tolerance = 6) {
        U8 p[4] = {0, 0, 0, 0};
        if (!m_Device->ReadPixels(x, y, 1, 1, p)) return ::testing::AssertionFailure() << "ReadPixels failed";
        const int got[3] = {p[0], p[1], p[2]};
        return ColourNear(got, r, g, b, tolerance) << " at pixel (" << x << ", " << y << ")";
    }
    // The same at a point of the 320 x 240 game screen (x right, y up).
    ::testing::AssertionResult ScreenIs(int x, int y, int r, int g, int b, int tolerance = 6) {
        I32 vx, vy, vw, vh;
        m_Device->GetViewport(vx, vy, vw, vh);
        return PixelIs(vx + x * vw / RenderPndGL::ScreenWidth, vy + y * vh / RenderPndGL::ScreenHeight, r, g, b,
                       tolerance);
    }
    // Expects each point of the game screen to have its colour, as ScreenIs.
    struct Probe {
        int x, y, r, g, b, tolerance = 6;
    };
    void ExpectScreen(std::initializer_list<Probe> probes, int line = __builtin_LINE()) {
        for (const Probe& p : probes) EXPECT_TRUE(ScreenIs(p.x, p.y, p.r, p.g, p.b, p.tolerance)) << "line " << line;
    }
    // Writes the surface as render-shots/<name>.png.
    void Shot(const std::string& name) {
        namespace fs = std::filesystem;
        TempDir dir;
        ASSERT_TRUE(m_Device->Screenshot(dir.File("shot").c_str()));
        std::error_code error;
        fs::create_directories("render-shots", error);
        for (const fs::directory_entry& entry : fs::directory_iterator(dir.Path()))
            fs::copy_file(entry.path(), "render-shots/" + name + ".png", fs::copy_options::overwrite_existing, error);
    }

    Ref<RenderPndGL> m_Device;
    Ref<Transform> m_Root;
    Ref<LookTransform> m_CameraTransform;
    Ref<Camera> m_Camera;
    Ref<DrawTree> m_Tree;
};

}  // namespace Test
