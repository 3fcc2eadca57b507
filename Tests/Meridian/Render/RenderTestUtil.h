// Helpers for the rendering tests: an offscreen Pnd device on Mesa, a small
// scene (camera at (0, 0, 5) looking at the origin, world +X right and +Y up
// on the screen), quads, two-colour textures, pixel read-back and pictures
// of the test scenes written to "render-shots/" in the build folder.
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

struct Pixel {
    int r, g, b, a;
};
::std::ostream& operator<<(::std::ostream& out, const Pixel& p);

// True when every channel of p is within tolerance of (r, g, b).
bool Near(const Pixel& p, int r, int g, int b, int tolerance = 6);

// A quad in the z plane from (x0, y0) to (x1, y1), facing +Z (counter-
// clockwise seen from +Z), with normals +Z and texture coordinates 0..1
// (0, 0 at the lower left).
Meridian::PolygonGeometry* MakeQuad(float x0, float y0, float x1, float y1, float z);

// A 2^n RGBA texture of four quadrants, given bottom-left, bottom-right,
// top-left, top-right as 0xRRGGBBAA.
Meridian::Texture2D* MakeQuadrantTexture(int size, unsigned bl, unsigned br, unsigned tl, unsigned tr);

// Unlit, opaque colour shader.
Meridian::Shader* MakeColorShader(float r, float g, float b, float a, bool lighting = false);

class RenderTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Opens an offscreen device with the given options (mode forced to
    // Offscreen unless set). Called by SetUp with defaults.
    bool OpenDevice(Meridian::RenderPndGLOptions options = Meridian::RenderPndGLOptions());
    // Builds root > camera transform (LookTransform at (0, 0, 5) aimed at the
    // origin) > camera, and a DrawTree over it.
    void BuildScene();
    // Adds node under parent (the root when null) in a transform at offset.
    Meridian::Transform* Add(Meridian::Node* node, float x = 0, float y = 0, float z = 0,
                             Meridian::Group* parent = nullptr);
    // One frame: DrawTree::Draw then SwapBuffers.
    void DrawFrame();
    Pixel ReadPixel(int x, int y);
    // Pixel at the point of the 320 x 240 game screen (x right, y up).
    Pixel ScreenPixel(int x, int y);
    // Writes the surface as render-shots/<name>-<time>.png (removing older
    // pictures of that name) and returns the path.
    std::string Shot(const std::string& name);

    Meridian::Ref<Meridian::RenderPndGL> m_Device;
    Meridian::Ref<Meridian::Transform> m_Root;
    Meridian::Ref<Meridian::LookTransform> m_CameraTransform;
    Meridian::Ref<Meridian::Camera> m_Camera;
    Meridian::Ref<Meridian::DrawTree> m_Tree;
};

}  // namespace Test
