// Whole frames drawn by the draw traversal on the Pnd device (Mesa, offscreen), read back pixel by pixel.
#include <gtest/gtest.h>

#include "Math/MathFunctions.h"
#include "Meridian/Render/RenderTestUtil.h"
#include "Render/Pnd/GLTrace.h"
#include "Scene/ImageGeometry.h"
#include "Scene/Light.h"
#include "Scene/Material.h"
#include "Support/TestUtil.h"

using namespace Meridian;

namespace {

class RenderScene : public ::Test::RenderTest {
protected:
    void SetUp() override {
        ::Test::RenderTest::SetUp();
        BuildScene();
        m_Device->SetClearColor(0, 0, 0, 1);
    }
};

}  // namespace

TEST_F(RenderScene, TexturedQuadIsUprightAndUnmirrored) {
    // Quadrants: red bottom left, green bottom right, blue top left, white.
    Ref<Shader> shader = ::Test::MakeColorShader(1, 1, 1, 1);
    shader->SetTexture(0, ::Test::MakeQuadrantTexture(8, 0xFF0000FF, 0x00FF00FF, 0x0000FFFF, 0xFFFFFFFF));
    Ref<ImageGeometry> image = New<ImageGeometry>();
    image->SetShader(shader);
    image->SetPosition({Fixed::FromInt(-2), Fixed::FromInt(-2), Fixed::Zero});
    image->SetSize(Fixed::FromInt(4), Fixed::FromInt(4));
    Add(image);
    m_Device->SetClearColor(0.2f, 0.2f, 0.2f, 1);
    DrawFrame();
    Shot("textured-quad");
    ExpectScreen({{130, 90, 255, 0, 0}, {190, 90, 0, 255, 0}, {130, 150, 0, 0, 255}, {190, 150, 255, 255, 255},
                  {5, 5, 51, 51, 51}});
    // Seen from behind, the quad is culled.
    m_CameraTransform->SetTranslation({Fixed::Zero, Fixed::Zero, Fixed::FromInt(-5)});
    DrawFrame();
    EXPECT_TRUE(ScreenIs(130, 90, 51, 51, 51));
}

TEST_F(RenderScene, BlendModes) {
    // A blue wall at z = -1; the test quad in front over its left half; a green band drawn later but further away than
    // the test quad, so it shows wherever the test quad wrote no depth.
    AddQuad(-3, -2, 3, 2, -1, 0, 0, 1, 1, Shader::BlendOpaque, 1);
    Shader* shader = AddQuad(-3, -2, 0, 2, 0, 1, 0, 0, 0.5f, Shader::BlendAlpha, 2)->GetShader();
    PolygonGeometry* late = AddQuad(-3, -0.5f, 3, 0.5f, -0.5f, 0, 1, 0, 1, Shader::BlendOpaque, 3);
    const int left = 100, right = 220, y = 150, band = 120;
    struct Step {
        I32 mode;
        float alpha;
        const char* shot;
        int r, g, b;         // at (left, y)
        int bandR, bandG;    // at (left, band)
    };
    const Step steps[] = {
        {Shader::BlendAlpha, 0.5f, "blend-alpha", 128, 0, 127, 0, 255},     // half red over blue
        {Shader::BlendAdditive, 1, "blend-additive", 255, 0, 255, 0, 255},  // red + blue
        {Shader::BlendOpaque, 1, nullptr, 255, 0, 0, 255, 0},               // writes depth
        {Shader::BlendNoDepthWrite, 1, "blend-no-depth-write", 255, 0, 0, 0, 255},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.mode);
        shader->SetBlendMode(step.mode);
        shader->GetMaterial()->SetDiffuse(1, 0, 0, step.alpha);
        DrawFrame();
        if (step.shot) Shot(step.shot);
        ExpectScreen({{left, y, step.r, step.g, step.b, 8}, {left, band, step.bandR, step.bandG, 0},
                      {right, band, 0, 255, 0}, {right, y, 0, 0, 255}});
    }

    // Alpha test: alpha 0.6 passes unblended, 0.4 is dropped entirely.
    late->GetParent()->SetEnabled(0);
    shader->SetBlendMode(Shader::BlendAlphaTest);
    shader->GetMaterial()->SetDiffuse(1, 0, 0, 0.6f);
    DrawFrame();
    EXPECT_TRUE(ScreenIs(left, y, 255, 0, 0));
    shader->GetMaterial()->SetDiffuse(1, 0, 0, 0.4f);
    DrawFrame();
    EXPECT_TRUE(ScreenIs(left, y, 0, 0, 255));
    // The alpha test on a texture: only the opaque (right) half shows.
    shader->SetTexture(0, ::Test::MakeQuadrantTexture(8, 0xFFFFFF00, 0xFFFFFFFF, 0xFFFFFF00, 0xFFFFFFFF));
    shader->GetMaterial()->SetDiffuse(1, 1, 0, 1);
    DrawFrame();
    ExpectScreen({{60, y, 0, 0, 255}, {140, y, 255, 255, 0}});
}

TEST_F(RenderScene, LinearFogDarkensWithDistance) {
    Ref<Fog> fog = New<Fog>();
    fog->SetMode(Fog::Linear);
    fog->SetColor(0, 0, 0, 1);
    fog->SetStart(Fixed::FromInt(2));
    fog->SetEnd(Fixed::FromInt(20));
    fog->SetParent(m_Root);
    // White quads at distances 5 (left) and 15 (right, larger to cover as much of the screen).
    AddQuad(-2, -1, -0.2f, 1, 0, 1, 1, 1);
    AddQuad(0.6f, -3, 6, 3, -10, 1, 1, 1);
    DrawFrame();
    Shot("fog-linear");
    // (end - distance) / (end - start): 15/18 and 5/18 of white.
    ExpectScreen({{110, 120, 212, 212, 212, 12}, {240, 120, 71, 71, 71, 12}});
}

TEST_F(RenderScene, DirectionalLightLightsFacesTurnedToIt) {
    Ref<Light> light = New<Light>();
    light->SetLightType(Light::Directional);
    light->SetColor(1, 1, 1);
    Transform* lightTransform = Add(light);
    Ref<Light> ambient = New<Light>();
    ambient->SetColor(0.2f, 0.2f, 0.2f);
    Add(ambient);
    Ref<PolygonGeometry> quad = ::Test::MakeQuad(-1, -1, 1, 1, 0);
    quad->SetShader(::Test::MakeColorShader(0.8f, 0.8f, 0.8f, 1, true));
    Add(quad);
    // Facing the viewer: diffuse 0.8 x 1 + ambient 0.2 x 0.8; turned away only the ambient; at 60 degrees half diffuse.
    const int turns[][2] = {{0, 245}, {180, 41}, {60, 143}};
    for (const auto& turn : turns) {
        lightTransform->SetRotation({Fixed::Zero, Fixed::FromInt(turn[0]), Fixed::Zero});
        DrawFrame();
        EXPECT_TRUE(ScreenIs(160, 120, turn[1], turn[1], turn[1], 8)) << turn[0] << " degrees";
    }
    Shot("light-at-60");
}

TEST_F(RenderScene, PointSprites) {
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
    // 12.5-pixel squares in their vertex colours (the side ones centred near x = 77 and 243); the fourth, uncounted,
    // point is not drawn.
    ExpectScreen({{164, 124, 0, 255, 0}, {156, 116, 0, 255, 0}, {170, 120, 0, 0, 0}, {160, 203, 0, 0, 0},
                  {72, 115, 255, 0, 0}, {82, 125, 255, 0, 0}, {88, 120, 0, 0, 0}, {243, 120, 0, 0, 255}});
    // Textured, a sprite shows the whole texture with t = 0 at the top (GLES 1.1): red, bottom left in it, at top left.
    points->SetColors({});
    points->GetShader()->SetTexture(0, ::Test::MakeQuadrantTexture(16, 0xFF0000FF, 0x00FF00FF, 0x0000FFFF, 0xFFFFFFFF));
    DrawFrame();
    ExpectScreen({{157, 123, 255, 0, 0}, {163, 123, 0, 255, 0}, {157, 117, 0, 0, 255}, {163, 117, 255, 255, 255}});
}

TEST_F(RenderScene, InterfacePassDrawsOverTheSceneWithItsOwnProjection) {
    AddQuad(-2, -2, 2, 2, 0, 1, 0, 0);  // the 3D scene: red in the middle
    // The overlay, layer 0 drawn after the scene: a blue 40-unit panel at (-100, -80), a yellow 10-unit one centred.
    Ref<InterfaceGroup> hud = New<InterfaceGroup>();
    Add(hud);
    Ref<PolygonGeometry> panel = ::Test::MakeQuad(-20, -20, 20, 20, 0);
    panel->SetShader(::Test::MakeColorShader(0, 0, 1, 1, false, Shader::BlendOpaque, 0));
    Ref<PolygonGeometry> centre = ::Test::MakeQuad(-5, -5, 5, 5, 0);
    centre->SetShader(::Test::MakeColorShader(1, 1, 0, 1, false, Shader::BlendOpaque, 0));
    for (PolygonGeometry* quad : {panel.Get(), centre.Get()}) quad->GetShader()->SetDepthTest(false);
    Add(panel, -100, -80, 0, hud);
    centre->SetParent(hud);
    DrawFrame();
    Shot("interface-pass");
    // Interface units are screen pixels with the origin at the centre.
    ExpectScreen({{160, 120, 255, 255, 0}, {170, 130, 255, 0, 0}, {60, 40, 0, 0, 255}, {35, 40, 0, 0, 0}});
}

TEST_F(RenderScene, MeshesUploadOnlyWhenDirty) {
    Ref<PolygonGeometry> shown = AddQuad(-2, -1, -0.5f, 1, 0, 0, 1, 0);
    GLTrace::Reset();
    DrawFrame();
    EXPECT_TRUE(ScreenIs(120, 120, 0, 255, 0));
    EXPECT_EQ(1u, GLTrace::Count(GLTrace::DrawElements));
    EXPECT_EQ(4u, GLTrace::Count(GLTrace::BufferData));
    // Nothing changed: nothing is sent again. Two changed arrays: those two.
    DrawFrame();
    EXPECT_EQ(4u, GLTrace::Count(GLTrace::BufferData));
    shown->SetColors({{1, 1, 1, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}});
    shown->SetVertices({{-2, -1, 0}, {-0.5f, -1, 0}, {-2, 1, 0}, {-0.5f, 1, 0}});
    DrawFrame();
    EXPECT_EQ(6u, GLTrace::Count(GLTrace::BufferData));
    // A mesh without primitives is neither uploaded nor drawn.
    Ref<PolygonGeometry> empty = New<PolygonGeometry>();
    empty->SetVertices({{0, 0, 0}});
    Add(empty);
    ::Test::LogCapture log;
    DrawFrame();
    EXPECT_EQ(nullptr, empty->GetRenderHandle());
    EXPECT_EQ(4u, GLTrace::Count(GLTrace::DrawElements));
    EXPECT_FALSE(log.Contains("GL ERROR")) << log.Text();
}

TEST_F(RenderScene, CrossFadeAndAddedSecondTexture) {
    Ref<PolygonGeometry> quad = AddQuad(-2, -2, 2, 2, 0, 1, 1, 1);
    Shader* shader = quad->GetShader();
    shader->SetTexture(0, ::Test::MakeQuadrantTexture(8, 0xFF0000FF, 0xFF0000FF, 0xFF0000FF, 0xFF0000FF));
    shader->SetTexture(1, ::Test::MakeQuadrantTexture(8, 0x0000FFFF, 0x0000FFFF, 0x0000FFFF, 0x0000FFFF));
    shader->SetCombineMode(Shader::CombineCrossFade);
    shader->SetBlendFactor(Fixed::FromFloat(0.25f));
    ::Test::LogCapture log;
    DrawFrame();
    Shot("combine-cross-fade");
    EXPECT_TRUE(ScreenIs(160, 120, 191, 0, 64, 8));  // blue x 0.25 + red x 0.75
    shader->SetCombineMode(Shader::CombineAdd);
    DrawFrame();
    EXPECT_TRUE(ScreenIs(160, 120, 255, 0, 255));
    EXPECT_FALSE(log.Contains("GL ERROR")) << log.Text();
}
