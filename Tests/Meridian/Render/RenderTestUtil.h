// Helpers for the rendering tests: a Pnd device on Mesa (offscreen unless a
// test asks otherwise), a small scene (camera at (0, 0, 5) looking at the
// origin, world +X right and +Y up on the screen), quads, two-colour textures,
// pixel checks and pictures of the test scenes in "render-shots/" of the
// build folder.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "Render/Pnd/RenderPndGL.h"
#include "Scene/DrawTree.h"
#include "Scene/Light.h"
#include "Scene/PolygonGeometry.h"
#include "Scene/Shader.h"
#include "Scene/Texture2D.h"
#include "Scene/Transform.h"

namespace Test {

// Sets DISPLAY (unsets it for null) until the object goes.
class ScopedDisplay {
public:
    explicit ScopedDisplay(const char* display);
    ~ScopedDisplay();

private:
    bool m_Had;
    std::string m_Saved;
};

// A quad in the z plane from (x0, y0) to (x1, y1), facing +Z, with normals +Z
// and texture coordinates 0..1 (0, 0 at the lower left).
Meridian::PolygonGeometry* MakeQuad(float x0, float y0, float x1, float y1, float z);

// A 2^n RGBA texture of four quadrants, given bottom-left, bottom-right,
// top-left, top-right as 0xRRGGBBAA.
Meridian::Texture2D* MakeQuadrantTexture(int size, unsigned bl, unsigned br, unsigned tl, unsigned tr);

// Opaque colour shader, unlit unless asked, with a blend mode and layer.
Meridian::Shader* MakeColorShader(float r, float g, float b, float a, bool lighting = false,
                                  Meridian::I32 blend = Meridian::Shader::BlendOpaque, Meridian::I32 layer = 8);

Meridian::RenderPndGLOptions OffscreenOptions(Meridian::I32 scale = 0, Meridian::I32 lightLimit = 0);

class RenderTest : public ::testing::Test {
protected:
    // Opens an offscreen device.
    void SetUp() override;
    void TearDown() override;

    // Closes the current device, if any, and opens one with these options.
    bool OpenDevice(const Meridian::RenderPndGLOptions& options = OffscreenOptions());
    // Builds root > camera transform (LookTransform at (0, 0, 5) aimed at the
    // origin) > camera, and a DrawTree over it.
    void BuildScene();
    // Adds node under parent (the root when null) in a transform at offset.
    Meridian::Transform* Add(Meridian::Node* node, float x = 0, float y = 0, float z = 0,
                             Meridian::Group* parent = nullptr);
    // An unlit quad of one colour added to the scene.
    Meridian::PolygonGeometry* AddQuad(float x0, float y0, float x1, float y1, float z, float r, float g, float b,
                                       float a = 1, Meridian::I32 blend = Meridian::Shader::BlendOpaque,
                                       Meridian::I32 layer = 8);
    // One frame: DrawTree::Draw then SwapBuffers.
    void DrawFrame();
    // Success when the surface pixel (x, y) is within tolerance of (r, g, b).
    ::testing::AssertionResult PixelIs(int x, int y, int r, int g, int b, int tolerance = 6);
    // The same at the point of the 320 x 240 game screen (x right, y up).
    ::testing::AssertionResult ScreenIs(int x, int y, int r, int g, int b, int tolerance = 6);
    // Writes the surface as render-shots/<name>.png.
    void Shot(const std::string& name);

    Meridian::Ref<Meridian::RenderPndGL> m_Device;
    Meridian::Ref<Meridian::Transform> m_Root;
    Meridian::Ref<Meridian::LookTransform> m_CameraTransform;
    Meridian::Ref<Meridian::Camera> m_Camera;
    Meridian::Ref<Meridian::DrawTree> m_Tree;
};

}  // namespace Test
