// Whole frames drawn by the draw traversal on the Pnd device (Mesa, offscreen)
// and read back pixel by pixel. Each test also leaves a picture of its scene
// in render-shots/ in the build folder.
#include <gtest/gtest.h>

#include "Math/MathFunctions.h"
#include "Meridian/Render/RenderTestUtil.h"
#include "Render/Pnd/GLTrace.h"
#include "Scene/ImageGeometry.h"
#include "Scene/Light.h"
#include "Scene/Material.h"
#include "Support/TestUtil.h"

using namespace Meridian;
using ::Test::Near;
using ::Test::Pixel;

namespace {

class RenderSceneTest : public ::Test::RenderTest {
protected:
    void SetUp() override {
        ::Test::RenderTest::SetUp();
        BuildScene();
        m_Device->SetClearColor(0, 0, 0, 1);
    }

    // A flat quad of one colour, unlit, with the given blend mode and layer.
    PolygonGeometry* ColorQuad(float x0, float y0, float x1, float y1, float z, float r, float g, float b,
                               float a = 1, I32 blend = Shader::BlendOpaque, I32 layer = 8) {
        PolygonGeometry* quad = ::Test::MakeQuad(x0, y0, x1, y1, z);
        Shader* shader = ::Test::MakeColorShader(r, g, b, a);
        shader->SetBlendMode(blend);
        shader->SetLayer(layer);
        quad->SetShader(shader);
        return quad;
    }
};

}  // namespace

TEST_F(RenderSceneTest, TexturedQuadIsUprightAndUnmirrored) {
    // Texture quadrants: red bottom left, green bottom right, blue top left,
    // white top right.
    Ref<Texture2D> texture = ::Test::MakeQuadrantTexture(8, 0xFF0000FF, 0x00FF00FF, 0x0000FFFF, 0xFFFFFFFF);
    Ref<Shader> shader = ::Test::MakeColorShader(1, 1, 1, 1);
    shader->SetTexture(0, texture);
    Ref<ImageGeometry> image = New<ImageGeometry>();
    image->SetShader(shader);
    image->SetPosition({Fixed::FromInt(-2), Fixed::FromInt(-2), Fixed::Zero});
    image->SetSize(Fixed::FromInt(4), Fixed::FromInt(4));
    Add(image);
    m_Device->SetClearColor(0.2f, 0.2f, 0.2f, 1);
    DrawFrame();
    Shot("textured-quad");

    EXPECT_TRUE(Near(ScreenPixel(130, 90), 255, 0, 0)) << ScreenPixel(130, 90);
    EXPECT_TRUE(Near(ScreenPixel(190, 90), 0, 255, 0)) << ScreenPixel(190, 90);
    EXPECT_TRUE(Near(ScreenPixel(130, 150), 0, 0, 255)) << ScreenPixel(130, 150);
    EXPECT_TRUE(Near(ScreenPixel(190, 150), 255, 255, 255)) << ScreenPixel(190, 150);
    EXPECT_TRUE(Near(ScreenPixel(5, 5), 51, 51, 51)) << ScreenPixel(5, 5);

    // Seen from behind the quad is culled.
    m_CameraTransform->SetTranslation({Fixed::Zero, Fixed::Zero, Fixed::FromInt(-5)});
    DrawFrame();
    EXPECT_TRUE(Near(ScreenPixel(130, 90), 51, 51, 51)) << ScreenPixel(130, 90);
}

TEST_F(RenderSceneTest, LayersDrawInAscendingOrderWhateverTheTreeOrder) {
    // Same place, same depth: the later draw wins, so the higher layer shows.
    Ref<PolygonGeometry> red = ColorQuad(-1, -1, 1, 1, 0, 1, 0, 0, 1, Shader::BlendOpaque, 3);
    Ref<PolygonGeometry> blue = ColorQuad(-1, -1, 1, 1, 0, 0, 0, 1, 1, Shader::BlendOpaque, 1);
    Add(red);
    Add(blue);
    DrawFrame();
    EXPECT_TRUE(Near(ScreenPixel(160, 120), 255, 0, 0)) << ScreenPixel(160, 120);
    Shot("layers-red-over-blue");

    red->GetShader()->SetLayer(0);
    DrawFrame();
    EXPECT_TRUE(Near(ScreenPixel(160, 120), 0, 0, 255)) << ScreenPixel(160, 120);
}

TEST_F(RenderSceneTest, BlendModes) {
    // A blue wall behind, at z = -1, and a test quad in front at z = 0 over
    // its left half only.
    Ref<PolygonGeometry> wall = ColorQuad(-3, -2, 3, 2, -1, 0, 0, 1, 1, Shader::BlendOpaque, 1);
    Add(wall);
    Ref<PolygonGeometry> front = ColorQuad(-3, -2, 0, 2, 0, 1, 0, 0, 0.5f, Shader::BlendAlpha, 2);
    Add(front);
    Shader* shader = front->GetShader();
    // Drawn after the front quad, further away than it: shows wherever the
    // front quad wrote no depth.
    Ref<PolygonGeometry> late = ColorQuad(-3, -0.5f, 3, 0.5f, -0.5f, 0, 1, 0, 1, Shader::BlendOpaque, 3);
    Transform* lateTransform = Add(late);
    const int left = 100, right = 220, y = 150, band = 120;

    // Alpha blend: half red over blue, no depth writes.
    DrawFrame();
    Shot("blend-alpha");
    EXPECT_TRUE(Near(ScreenPixel(left, y), 128, 0, 127, 8)) << ScreenPixel(left, y);
    EXPECT_TRUE(Near(ScreenPixel(right, y), 0, 0, 255)) << ScreenPixel(right, y);
    EXPECT_TRUE(Near(ScreenPixel(left, band), 0, 255, 0)) << ScreenPixel(left, band);

    // Additive: red + blue.
    shader->SetBlendMode(Shader::BlendAdditive);
    shader->GetMaterial()->SetDiffuse(1, 0, 0, 1);
    DrawFrame();
    Shot("blend-additive");
    EXPECT_TRUE(Near(ScreenPixel(left, y), 255, 0, 255)) << ScreenPixel(left, y);
    EXPECT_TRUE(Near(ScreenPixel(left, band), 0, 255, 0)) << ScreenPixel(left, band);

    // Opaque writes depth: the later, further quad stays hidden behind it.
    shader->SetBlendMode(Shader::BlendOpaque);
    DrawFrame();
    EXPECT_TRUE(Near(ScreenPixel(left, y), 255, 0, 0)) << ScreenPixel(left, y);
    EXPECT_TRUE(Near(ScreenPixel(left, band), 255, 0, 0)) << ScreenPixel(left, band);
    EXPECT_TRUE(Near(ScreenPixel(right, band), 0, 255, 0)) << ScreenPixel(right, band);

    // No depth write: opaque colour, but the further quad draws over it.
    shader->SetBlendMode(Shader::BlendNoDepthWrite);
    DrawFrame();
    Shot("blend-no-depth-write");
    EXPECT_TRUE(Near(ScreenPixel(left, y), 255, 0, 0)) << ScreenPixel(left, y);
    EXPECT_TRUE(Near(ScreenPixel(left, band), 0, 255, 0)) << ScreenPixel(left, band);

    // Alpha test: alpha 0.6 passes unblended, 0.4 is dropped entirely.
    lateTransform->SetEnabled(0);
    shader->SetBlendMode(Shader::BlendAlphaTest);
    shader->GetMaterial()->SetDiffuse(1, 0, 0, 0.6f);
    DrawFrame();
    EXPECT_TRUE(Near(ScreenPixel(left, y), 255, 0, 0)) << ScreenPixel(left, y);
    shader->GetMaterial()->SetDiffuse(1, 0, 0, 0.4f);
    DrawFrame();
    Shot("blend-alpha-test-dropped");
    EXPECT_TRUE(Near(ScreenPixel(left, y), 0, 0, 255)) << ScreenPixel(left, y);

    // The alpha test on a texture: only the opaque half of the quad shows.
    Ref<Texture2D> texture = ::Test::MakeQuadrantTexture(8, 0xFFFFFF00, 0xFFFFFFFF, 0xFFFFFF00, 0xFFFFFFFF);
    shader->SetTexture(0, texture);
    shader->GetMaterial()->SetDiffuse(1, 1, 0, 1);
    DrawFrame();
    Shot("blend-alpha-test-texture");
    EXPECT_TRUE(Near(ScreenPixel(60, y), 0, 0, 255)) << ScreenPixel(60, y);
    EXPECT_TRUE(Near(ScreenPixel(140, y), 255, 255, 0)) << ScreenPixel(140, y);
}

TEST_F(RenderSceneTest, LinearFogDarkensWithDistance) {
    Ref<Fog> fog = New<Fog>();
    fog->SetMode(Fog::Linear);
    fog->SetColor(0, 0, 0, 1);
    fog->SetStart(Fixed::FromInt(2));
    fog->SetEnd(Fixed::FromInt(20));
    fog->SetParent(m_Root);
    // White quads at distances 5 (left) and 15 (right, made larger so it
    // covers as much of the screen).
    Add(ColorQuad(-2, -1, -0.2f, 1, 0, 1, 1, 1));
    Add(ColorQuad(0.6f, -3, 6, 3, -10, 1, 1, 1));
    DrawFrame();
    Shot("fog-linear");
    const Pixel nearPixel = ScreenPixel(110, 120), farPixel = ScreenPixel(240, 120);
    // (end - distance) / (end - start): 15/18 and 5/18 of white.
    EXPECT_NEAR(nearPixel.r, 255 * 15 / 18, 12) << nearPixel;
    EXPECT_NEAR(farPixel.r, 255 * 5 / 18, 12) << farPixel;
    EXPECT_GT(nearPixel.r, farPixel.r + 100);

    // Without fog both are white.
    fog->SetEnabled(0);
    DrawFrame();
    EXPECT_TRUE(Near(ScreenPixel(240, 120), 255, 255, 255)) << ScreenPixel(240, 120);
}

TEST_F(RenderSceneTest, DirectionalLightLightsFacesTurnedToIt) {
    Ref<Transform> lightTransform = New<Transform>();
    lightTransform->SetParent(m_Root);
    Ref<Light> light = New<Light>();
    light->SetLightType(Light::Directional);
    light->SetColor(1, 1, 1);
    light->SetParent(lightTransform);
    Ref<Light> ambient = New<Light>();
    ambient->SetColor(0.2f, 0.2f, 0.2f);
    ambient->SetParent(m_Root);

    Ref<PolygonGeometry> quad = ::Test::MakeQuad(-1, -1, 1, 1, 0);
    Ref<Shader> shader = ::Test::MakeColorShader(0.8f, 0.8f, 0.8f, 1, true);
    quad->SetShader(shader);
    Add(quad);

    // The light's frame +Z points at the viewer: the quad faces the light.
    DrawFrame();
    Shot("light-facing");
    const Pixel lit = ScreenPixel(160, 120);
    // diffuse 0.8 x 1 + ambient 0.2 x 0.8
    EXPECT_TRUE(Near(lit, 245, 245, 245, 8)) << lit;

    // Turned away: only the ambient light remains.
    lightTransform->SetRotation({Fixed::Zero, Fixed::FromInt(180), Fixed::Zero});
    DrawFrame();
    Shot("light-away");
    const Pixel dark = ScreenPixel(160, 120);
    EXPECT_TRUE(Near(dark, 41, 41, 41, 8)) << dark;

    // At 60 degrees: half the diffuse light.
    lightTransform->SetRotation({Fixed::Zero, Fixed::FromInt(60), Fixed::Zero});
    DrawFrame();
    EXPECT_TRUE(Near(ScreenPixel(160, 120), 143, 143, 143, 8)) << ScreenPixel(160, 120);
}

TEST_F(RenderSceneTest, PointSprites) {
    Ref<PolygonGeometry> points = New<PolygonGeometry>();
    points->SetVertices({{-2, 0, 0}, {0, 0, 0}, {2, 0, 0}, {0, 2, 0}});
    points->SetColors({{1, 0, 0, 1}, {0, 1, 0, 1}, {0, 0, 1, 1}, {1, 1, 1, 1}});
    points->SetPrimitiveType(PrimitivePointSprites);
    points->SetIndices({});
    points->SetPrimitiveCount(3);
    points->SetShader(::Test::MakeColorShader(1, 1, 1, 1));
    Add(points);
    DrawFrame();
    Shot("point-sprites");

    // The middle point is a 12.5-pixel square in its vertex colour.
    EXPECT_TRUE(Near(ScreenPixel(160, 120), 0, 255, 0)) << ScreenPixel(160, 120);
    EXPECT_TRUE(Near(ScreenPixel(164, 124), 0, 255, 0)) << ScreenPixel(164, 124);
    EXPECT_TRUE(Near(ScreenPixel(156, 116), 0, 255, 0)) << ScreenPixel(156, 116);
    EXPECT_TRUE(Near(ScreenPixel(170, 120), 0, 0, 0)) << ScreenPixel(170, 120);
    // Only the counted three points: not the fourth above.
    EXPECT_TRUE(Near(ScreenPixel(160, 203), 0, 0, 0)) << ScreenPixel(160, 203);
    int red = 0, blue = 0;
    for (int x = 0; x < 160; ++x) red += Near(ScreenPixel(x, 120), 255, 0, 0) ? 1 : 0;
    for (int x = 160; x < 320; ++x) blue += Near(ScreenPixel(x, 120), 0, 0, 255) ? 1 : 0;
    EXPECT_GE(red, 11);
    EXPECT_LE(red, 14);
    EXPECT_GE(blue, 11);

    // A textured sprite shows the whole texture on its square, with GLES
    // 1.1's sprite coordinates: t = 0 at the top, so upside down compared
    // with a mesh (red bottom-left in the image, top-left on the sprite).
    Ref<Texture2D> texture = ::Test::MakeQuadrantTexture(16, 0xFF0000FF, 0x00FF00FF, 0x0000FFFF, 0xFFFFFFFF);
    points->SetColors({});
    points->GetShader()->SetTexture(0, texture);
    DrawFrame();
    Shot("point-sprites-textured");
    EXPECT_TRUE(Near(ScreenPixel(157, 123), 255, 0, 0)) << ScreenPixel(157, 123);
    EXPECT_TRUE(Near(ScreenPixel(163, 123), 0, 255, 0)) << ScreenPixel(163, 123);
    EXPECT_TRUE(Near(ScreenPixel(157, 117), 0, 0, 255)) << ScreenPixel(157, 117);
    EXPECT_TRUE(Near(ScreenPixel(163, 117), 255, 255, 255)) << ScreenPixel(163, 117);
}

TEST_F(RenderSceneTest, InterfacePassDrawsOverTheSceneWithItsOwnProjection) {
    // The 3D scene fills the middle of the screen in red.
    Add(ColorQuad(-2, -2, 2, 2, 0, 1, 0, 0));
    // The overlay: 40 x 40 interface units in its lower left corner region,
    // drawn from layer 0 but still after the scene.
    Ref<InterfaceGroup> hud = New<InterfaceGroup>();
    Add(hud, 0, 0, 0);
    Ref<PolygonGeometry> panel = ColorQuad(-20, -20, 20, 20, 0, 0, 0, 1, 1, Shader::BlendOpaque, 0);
    panel->GetShader()->SetDepthTest(false);
    Ref<Transform> placed = New<Transform>();
    placed->SetTranslation({Fixed::FromInt(-100), Fixed::FromInt(-80), Fixed::Zero});
    placed->SetParent(hud);
    panel->SetParent(placed);
    Ref<PolygonGeometry> centre = ColorQuad(-5, -5, 5, 5, 0, 1, 1, 0, 1, Shader::BlendOpaque, 0);
    centre->GetShader()->SetDepthTest(false);
    centre->SetParent(hud);
    DrawFrame();
    Shot("interface-pass");

    // Interface units are screen pixels with the origin at the centre.
    EXPECT_TRUE(Near(ScreenPixel(160, 120), 255, 255, 0)) << ScreenPixel(160, 120);
    EXPECT_TRUE(Near(ScreenPixel(170, 130), 255, 0, 0)) << ScreenPixel(170, 130);
    EXPECT_TRUE(Near(ScreenPixel(60, 40), 0, 0, 255)) << ScreenPixel(60, 40);
    EXPECT_TRUE(Near(ScreenPixel(60 - 25, 40), 0, 0, 0)) << ScreenPixel(35, 40);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(m_Device->GetViewMatrix().m[i], Matrix4::Identity().m[i]);
}

TEST_F(RenderSceneTest, DisabledSubtreeIsNotDrawnAndMeshesUploadOnlyWhenDirty) {
    Ref<PolygonGeometry> shown = ColorQuad(-2, -1, -0.5f, 1, 0, 0, 1, 0);
    Ref<PolygonGeometry> hidden = ColorQuad(0.5f, -1, 2, 1, 0, 1, 0, 0);
    Add(shown);
    Transform* hiddenTransform = Add(hidden);
    hiddenTransform->SetEnabled(0);
    GLTrace::Reset();
    DrawFrame();
    Shot("disabled-subtree");
    EXPECT_TRUE(Near(ScreenPixel(120, 120), 0, 255, 0)) << ScreenPixel(120, 120);
    EXPECT_TRUE(Near(ScreenPixel(200, 120), 0, 0, 0)) << ScreenPixel(200, 120);
    EXPECT_EQ(hidden->GetRenderHandle(), nullptr);
    EXPECT_EQ(GLTrace::Count(GLTrace::DrawElements), 1u);
    const U32 uploads = GLTrace::Count(GLTrace::BufferData);
    EXPECT_EQ(uploads, 4u);

    // Nothing changed: nothing is sent again.
    DrawFrame();
    EXPECT_EQ(GLTrace::Count(GLTrace::BufferData), uploads);
    // New colours for one array: that array only, as a dynamic buffer.
    shown->SetColors({{1, 1, 1, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}});
    shown->SetVertices({{-2, -1, 0}, {-0.5f, -1, 0}, {-2, 1, 0}, {-0.5f, 1, 0}});
    DrawFrame();
    EXPECT_EQ(GLTrace::Count(GLTrace::BufferData), uploads + 2);

    // A mesh without primitives is neither uploaded nor drawn.
    Ref<PolygonGeometry> empty = New<PolygonGeometry>();
    empty->SetVertices({{0, 0, 0}});
    Add(empty);
    DrawFrame();
    EXPECT_EQ(empty->GetRenderHandle(), nullptr);
    EXPECT_EQ(GLTrace::Count(GLTrace::DrawElements), 4u);

    // No GL error in any of these frames.
    ::Test::LogCapture log;
    DrawFrame();
    EXPECT_FALSE(log.Contains("GL ERROR")) << log.Text();
}

TEST_F(RenderSceneTest, CrossFadeAndAddedSecondTexture) {
    Ref<Texture2D> red = ::Test::MakeQuadrantTexture(8, 0xFF0000FF, 0xFF0000FF, 0xFF0000FF, 0xFF0000FF);
    Ref<Texture2D> blue = ::Test::MakeQuadrantTexture(8, 0x0000FFFF, 0x0000FFFF, 0x0000FFFF, 0x0000FFFF);
    Ref<PolygonGeometry> quad = ::Test::MakeQuad(-2, -2, 2, 2, 0);
    Ref<Shader> shader = ::Test::MakeColorShader(1, 1, 1, 1);
    shader->SetTexture(0, red);
    shader->SetTexture(1, blue);
    shader->SetCombineMode(Shader::CombineCrossFade);
    shader->SetBlendFactor(Fixed::FromFloat(0.25f));
    quad->SetShader(shader);
    Add(quad);
    ::Test::LogCapture log;
    DrawFrame();
    Shot("combine-cross-fade");
    // blue x 0.25 + red x 0.75
    EXPECT_TRUE(Near(ScreenPixel(160, 120), 191, 0, 64, 8)) << ScreenPixel(160, 120);

    shader->SetCombineMode(Shader::CombineAdd);
    DrawFrame();
    EXPECT_TRUE(Near(ScreenPixel(160, 120), 255, 0, 255)) << ScreenPixel(160, 120);
    EXPECT_FALSE(log.Contains("GL ERROR")) << log.Text();
}
