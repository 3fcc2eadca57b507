// The draw traversal against a device that records its calls: collection,
// layer order, shader grouping, lights and fog, cameras and their errors,
// projections and the interface pass.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "Math/MathFunctions.h"
#include "Render/RenderNull.h"
#include "Scene/DrawTree.h"
#include "Scene/Light.h"
#include "Scene/RenderTarget.h"
#include "Scene/Shader.h"
#include "Scene/Transform.h"
#include "Support/TestUtil.h"

using namespace Meridian;

namespace {

Vector3 V(float x, float y, float z) { return {Fixed::FromFloat(x), Fixed::FromFloat(y), Fixed::FromFloat(z)}; }

// Records every call as a line of text, with the node names drawn.
class RecordingRender : public RenderNull {
public:
    void Clear(U32 flags) override { m_Calls.push_back("Clear " + std::to_string(flags)); }
    void SetRenderTarget(RenderTarget* target) override {
        m_Calls.push_back(target ? "SetRenderTarget " + target->GetName() : "SetRenderTarget screen");
    }
    void SetProjectionMatrix(const Matrix4& projection) override {
        m_Projection = projection;
        m_Calls.push_back("SetProjectionMatrix");
    }
    void SetViewMatrix(const Matrix4& view) override {
        m_View = view;
        m_Calls.push_back("SetViewMatrix");
    }
    void SetAmbientLight(const F32* rgba) override {
        for (int i = 0; i < 4; ++i) m_Ambient[i] = rgba[i];
        m_Calls.push_back("SetAmbientLight");
    }
    void SetLights(I32 count) override { m_Calls.push_back("SetLights " + std::to_string(count)); }
    void SetLight(I32 index, Light* light, const Matrix4& world) override {
        m_LightWorld = world;
        m_Calls.push_back("SetLight " + std::to_string(index) + " " + light->GetName());
    }
    void SetFog(Fog* fog) override { m_Calls.push_back(fog ? "SetFog " + fog->GetName() : "SetFog none"); }
    void SetShader(Shader* shader, const F32*) override {
        m_Calls.push_back(shader ? "SetShader " + shader->GetName() : "SetShader none");
    }
    void DrawNode(Drawable* drawable, const Matrix4& world) override {
        m_Worlds.push_back(world);
        m_Drawn.push_back(drawable->GetName());
        m_Calls.push_back("DrawNode " + drawable->GetName());
    }

    std::vector<std::string> m_Calls;
    std::vector<std::string> m_Drawn;
    std::vector<Matrix4> m_Worlds;
    Matrix4 m_Projection, m_View, m_LightWorld;
    F32 m_Ambient[4] = {};
};

class DrawTreeTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitTables();
        m_Render = New<RecordingRender>();
        m_Root = New<Transform>();
        m_CameraTransform = New<Transform>();
        m_CameraTransform->SetParent(m_Root);
        m_Camera = New<Camera>();
        m_Camera->SetParent(m_CameraTransform);
        m_Tree = New<DrawTree>();
        m_Tree->SetRender(m_Render);
        m_Tree->SetSceneRoot(m_Root);
        m_Tree->SetCamera(m_Camera);
    }
    void TearDown() override {
        m_Tree.Reset();
        m_Root->SetParent(nullptr);
        m_Root.Reset();
        ReleaseTables();
    }

    Drawable* AddDrawable(const std::string& name, Shader* shader, Group* parent = nullptr) {
        Drawable* drawable = New<Drawable>();
        drawable->SetName(name);
        drawable->SetShader(shader);
        drawable->SetParent(parent ? parent : m_Root.Get());
        return drawable;
    }
    static Shader* MakeShader(const std::string& name, I32 layer) {
        Shader* shader = New<Shader>();
        shader->SetName(name);
        shader->SetLayer(layer);
        return shader;
    }

    Ref<RecordingRender> m_Render;
    Ref<Transform> m_Root;
    Ref<Transform> m_CameraTransform;
    Ref<Camera> m_Camera;
    Ref<DrawTree> m_Tree;
};

}  // namespace

TEST_F(DrawTreeTest, CallsInFrameOrderWithLightsFogAndAmbient) {
    Ref<Light> ambientA = New<Light>(), ambientB = New<Light>();
    ambientA->SetColor(0.2f, 0.2f, 0.2f);
    ambientB->SetColor(0.2f, 0.2f, 0.2f);
    ambientA->SetParent(m_Root);
    ambientB->SetParent(m_Root);
    Ref<Transform> lightTransform = New<Transform>();
    lightTransform->SetTranslation(V(1, 2, 3));
    lightTransform->SetParent(m_Root);
    Ref<Light> sun = New<Light>();
    sun->SetName("sun");
    sun->SetLightType(Light::Directional);
    sun->SetParent(lightTransform);
    Ref<Light> lamp = New<Light>();
    lamp->SetName("lamp");
    lamp->SetLightType(Light::Point);
    lamp->SetParent(m_Root);
    Ref<Fog> fogA = New<Fog>(), fogB = New<Fog>();
    fogA->SetName("near");
    fogB->SetName("far");
    fogA->SetParent(m_Root);
    fogB->SetParent(m_Root);
    Ref<Shader> shader = MakeShader("s", 8);
    AddDrawable("mesh", shader);

    m_Tree->Draw();
    const std::vector<std::string> expected = {
        "SetRenderTarget screen", "Clear 3", "SetProjectionMatrix", "SetViewMatrix", "SetAmbientLight",
        "SetLights 2", "SetLight 0 sun", "SetLight 1 lamp", "SetFog near", "SetShader s", "DrawNode mesh"};
    EXPECT_EQ(m_Render->m_Calls, expected);
    EXPECT_NEAR(m_Render->m_Ambient[0], 0.4f, 1e-6);
    EXPECT_NEAR(m_Render->m_Ambient[2], 0.4f, 1e-6);
    EXPECT_EQ(m_Render->m_Ambient[3], 1.0f);
    EXPECT_NEAR(m_Tree->GetAmbient()[1], 0.4f, 1e-6);
    // The last light had no transform above it: the identity.
    EXPECT_EQ(m_Render->m_LightWorld.m[12].Raw(), 0);
    EXPECT_EQ(m_Tree->GetFrameNumber(), 1u);

    // The next frame starts afresh: the ambient sum does not grow.
    m_Render->m_Calls.clear();
    fogA->SetEnabled(0);
    m_Tree->Draw();
    EXPECT_NEAR(m_Tree->GetAmbient()[0], 0.4f, 1e-6);
    EXPECT_EQ(m_Render->m_Calls[8], "SetFog far");
    EXPECT_EQ(m_Tree->GetFrameNumber(), 2u);
}

TEST_F(DrawTreeTest, LayersAscendingAndShadersGrouped) {
    Ref<Shader> layer3 = MakeShader("three", 3), layer1 = MakeShader("one", 1);
    Ref<Shader> a = MakeShader("a", 5), b = MakeShader("b", 5);
    Ref<Shader> outOfRange = MakeShader("high", 99);
    AddDrawable("L3", layer3);
    AddDrawable("none", nullptr);
    AddDrawable("high", outOfRange);
    AddDrawable("L1", layer1);
    AddDrawable("a1", a);
    AddDrawable("b1", b);
    AddDrawable("a2", a);
    AddDrawable("b2", b);
    m_Tree->Draw();
    const std::vector<std::string>& drawn = m_Render->m_Drawn;
    ASSERT_EQ(drawn.size(), 8u);
    EXPECT_EQ(drawn[0], "L1");
    EXPECT_EQ(drawn[1], "L3");
    // Layer 5: each shader's drawables together, in tree order.
    const bool aFirst = drawn[2] == "a1";
    const std::vector<std::string> layer5(drawn.begin() + 2, drawn.begin() + 6);
    const std::vector<std::string> groupedA = {"a1", "a2", "b1", "b2"}, groupedB = {"b1", "b2", "a1", "a2"};
    EXPECT_EQ(layer5, aFirst ? groupedA : groupedB);
    EXPECT_EQ(drawn[6], "none");  // layer 8
    EXPECT_EQ(drawn[7], "high");  // beyond the last layer: drawn in it
}

TEST_F(DrawTreeTest, WorldMatricesAndDisabledSubtrees) {
    Ref<Transform> outer = New<Transform>(), inner = New<Transform>();
    outer->SetTranslation(V(1, 0, 0));
    outer->SetScaling(V(2, 2, 2));
    inner->SetTranslation(V(0, 3, 0));
    outer->SetParent(m_Root);
    inner->SetParent(outer);
    AddDrawable("deep", nullptr, inner);
    Ref<Group> hidden = New<Group>();
    hidden->SetParent(m_Root);
    AddDrawable("hidden", nullptr, hidden);
    hidden->SetEnabled(0);

    m_Tree->Draw();
    ASSERT_EQ(m_Render->m_Drawn, std::vector<std::string>{"deep"});
    const Matrix4& world = m_Render->m_Worlds[0];
    EXPECT_EQ(world.m[12], Fixed::FromInt(1));
    EXPECT_EQ(world.m[13], Fixed::FromInt(6));
    EXPECT_EQ(world.m[0], Fixed::FromInt(2));
    EXPECT_EQ(inner->GetWorldFrame(), 0u);
    EXPECT_EQ(inner->GetWorldMatrix().m[13], Fixed::FromInt(6));

    hidden->SetEnabled(1);
    outer->SetEnabled(0);
    m_Render->m_Drawn.clear();
    m_Tree->Draw();
    EXPECT_EQ(m_Render->m_Drawn, std::vector<std::string>{"hidden"});
    // The disabled transform was not updated in this frame.
    EXPECT_EQ(inner->GetWorldFrame(), 0u);
}

TEST_F(DrawTreeTest, CameraErrors) {
    AddDrawable("mesh", nullptr);
    ::Test::LogCapture log;

    Ref<DrawTree> rootless = New<DrawTree>();
    rootless->SetRender(m_Render);
    rootless->Draw();
    EXPECT_EQ(log.Count("[E] DrawTree::Draw: SceneRoot must NOT be 0."), 1);

    // The camera's transform is disabled: no camera, nothing drawn.
    m_CameraTransform->SetEnabled(0);
    m_Tree->Draw();
    EXPECT_EQ(log.Count("[E] DrawTree::Draw: No Cameras within SceneTree."), 1);
    EXPECT_TRUE(m_Render->m_Calls.empty());
    EXPECT_EQ(m_Tree->GetFrameNumber(), 0u);
    m_CameraTransform->SetEnabled(1);

    // Another camera in the tree is not the active one.
    Ref<Camera> other = New<Camera>();
    m_Tree->SetCamera(other);
    m_Tree->Draw();
    EXPECT_EQ(log.Count("No Cameras within SceneTree."), 2);
    m_Tree->SetCamera(m_Camera);

    // Plain groups all the way up.
    Ref<Group> plainRoot = New<Group>(), plain = New<Group>();
    plain->SetParent(plainRoot);
    Ref<Camera> groupCamera = New<Camera>();
    groupCamera->SetParent(plain);
    m_Tree->SetSceneRoot(plainRoot);
    m_Tree->SetCamera(groupCamera);
    m_Tree->Draw();
    EXPECT_EQ(log.Count("[E] DrawTree::PrepareCurrentCamera: m_CurrentCamera has no ParentTransform."), 1);
    EXPECT_TRUE(m_Render->m_Calls.empty());
    EXPECT_EQ(m_Tree->GetFrameNumber(), 1u);

    // The camera's transform lies above the scene root: never updated.
    m_Tree->SetSceneRoot(plain);
    plain->SetParent(nullptr);
    Ref<Transform> above = New<Transform>();
    plain->SetParent(above);
    m_Tree->Draw();
    EXPECT_EQ(log.Count("[E] DrawTree::PrepareCurrentCamera: m_CurrentCamera was not updated."), 1);
    EXPECT_TRUE(m_Render->m_Calls.empty());
    plain->SetParent(nullptr);

    m_Tree->SetSceneRoot(m_Root);
    m_Tree->SetCamera(m_Camera);
    m_Camera->SetCameraType(5);
    m_Tree->Draw();
    EXPECT_EQ(log.Count("[E] DrawTree::PrepareCurrentCamera: unsupported CameraType used."), 1);
    EXPECT_TRUE(m_Render->m_Calls.empty());
}

TEST_F(DrawTreeTest, ViewLooksAlongTheTransformsZAndProjectionsMatchGL) {
    Ref<LookTransform> look = New<LookTransform>();
    look->SetTranslation(V(0, 0, 5));
    look->SetTarget(V(0, 0, 0));
    look->SetParent(m_Root);
    m_Camera->SetParent(look);
    m_Tree->Draw();

    // Eye space: the origin straight ahead at distance 5, world +X to the
    // right (eye +X), world +Y up.
    const Matrix4& view = m_Render->m_View;
    const Vector3 origin = view.TransformPoint(V(0, 0, 0));
    EXPECT_NEAR(origin.x.ToFloat(), 0.0f, 1e-3);
    EXPECT_NEAR(origin.z.ToFloat(), -5.0f, 1e-3);
    const Vector3 right = view.TransformPoint(V(1, 0, 0));
    EXPECT_NEAR(right.x.ToFloat(), 1.0f, 1e-3);
    const Vector3 up = view.TransformPoint(V(0, 1, 0));
    EXPECT_NEAR(up.y.ToFloat(), 1.0f, 1e-3);

    // glFrustum with h = tan(30), aspect 4/3, near 1, far 1000.
    const double h = std::tan(30.0 * M_PI / 180.0), a = 87381.0 / 65536.0, n = 1.0, f = 1000.0;
    const Matrix4& p = m_Render->m_Projection;
    EXPECT_NEAR(p.m[0].ToFloat(), n / (n * h * a), 2e-3);
    EXPECT_NEAR(p.m[5].ToFloat(), n / (n * h), 2e-3);
    EXPECT_NEAR(p.m[10].ToFloat(), -(f + n) / (f - n), 2e-3);
    EXPECT_EQ(p.m[11], -Fixed::One);
    EXPECT_NEAR(p.m[14].ToFloat(), -2 * f * n / (f - n), 2e-3);
    EXPECT_EQ(p.m[15].Raw(), 0);
    EXPECT_EQ(p.m[8].Raw(), 0);

    // Orthographic: the near value is the half height.
    m_Camera->SetCameraType(Camera::Orthographic);
    m_Camera->SetNear(Fixed::FromInt(2));
    m_Camera->SetFar(Fixed::FromInt(10));
    m_Tree->Draw();
    const Matrix4& o = m_Render->m_Projection;
    EXPECT_NEAR(o.m[0].ToFloat(), 2.0 / (4 * a), 1e-3);
    EXPECT_NEAR(o.m[5].ToFloat(), 0.5, 1e-4);
    EXPECT_NEAR(o.m[10].ToFloat(), -2.0 / 8.0, 1e-4);
    EXPECT_NEAR(o.m[14].ToFloat(), -12.0 / 8.0, 1e-4);
    EXPECT_EQ(o.m[15], Fixed::One);

    // A camera drawing into a target uses the target's aspect.
    Ref<RenderTarget> target = New<RenderTarget>();
    target->SetName("mirror");
    target->SetWidth(200);
    target->SetHeight(100);
    m_Camera->SetRenderTarget(target);
    m_Camera->SetCameraType(Camera::Perspective);
    m_Render->m_Calls.clear();
    m_Tree->Draw();
    EXPECT_EQ(m_Render->m_Calls[0], "SetRenderTarget mirror");
    EXPECT_NEAR(m_Render->m_Projection.m[0].ToFloat() * 2.0, m_Render->m_Projection.m[5].ToFloat(), 2e-3);
}

TEST_F(DrawTreeTest, InterfaceGroupsDrawAfterTheSceneWithIdentityView) {
    Ref<Transform> moved = New<Transform>();
    moved->SetTranslation(V(7, 7, 7));
    moved->SetParent(m_Root);
    Ref<InterfaceGroup> hud = New<InterfaceGroup>();
    hud->SetName("hud");
    hud->SetParent(moved);
    Ref<Shader> top = MakeShader("hudShader", 0);
    Ref<Transform> label = New<Transform>();
    label->SetTranslation(V(10, 20, 0));
    label->SetParent(hud);
    AddDrawable("text", top, label);
    // Lights, fog and cameras inside the overlay are ignored.
    Ref<Light> light = New<Light>();
    light->SetLightType(Light::Directional);
    light->SetName("hudLight");
    light->SetParent(hud);
    Ref<Fog> fog = New<Fog>();
    fog->SetParent(hud);
    AddDrawable("world", MakeShader("worldShader", 20));

    m_Tree->Draw();
    const std::vector<std::string> expected = {
        "SetRenderTarget screen", "Clear 3", "SetProjectionMatrix", "SetViewMatrix", "SetAmbientLight",
        "SetLights 0", "SetFog none", "SetShader worldShader", "DrawNode world", "SetProjectionMatrix",
        "SetViewMatrix", "SetShader hudShader", "DrawNode text"};
    EXPECT_EQ(m_Render->m_Calls, expected);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(m_Render->m_View.m[i], Matrix4::Identity().m[i]);
        EXPECT_EQ(m_Render->m_Projection.m[i], hud->GetProjection().m[i]);
    }
    // The overlay ignores the transforms above it.
    EXPECT_EQ(m_Render->m_Worlds.back().m[12], Fixed::FromInt(10));
    EXPECT_EQ(m_Render->m_Worlds.back().m[13], Fixed::FromInt(20));

    // Without the camera not even the overlay is drawn.
    m_Camera->SetEnabled(0);
    m_Render->m_Calls.clear();
    m_Tree->Draw();
    EXPECT_TRUE(m_Render->m_Calls.empty());
}
