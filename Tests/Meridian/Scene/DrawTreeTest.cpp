// The draw traversal against a device that records its calls: order, layers, lights, fog, cameras, projection, overlay.
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

// Records every call as a line of text, with the names of the nodes involved.
class RecordingRender : public RenderNull {
public:
    void Clear(U32 flags) override { Log("Clear " + std::to_string(flags)); }
    void SetRenderTarget(RenderTarget* target) override { Log("SetRenderTarget " + Name(target, "screen")); }
    void SetProjectionMatrix(const Matrix4& projection) override {
        m_Projection = projection;
        Log("SetProjectionMatrix");
    }
    void SetViewMatrix(const Matrix4& view) override { m_View = view; Log("SetViewMatrix"); }
    void SetAmbientLight(const F32* rgba) override { m_Ambient = rgba[0]; Log("SetAmbientLight"); }
    void SetLights(I32 count) override { Log("SetLights " + std::to_string(count)); }
    void SetLight(I32 index, Light* light, const Matrix4& world) override {
        m_LightWorld = world;
        Log("SetLight " + std::to_string(index) + " " + light->GetName());
    }
    void SetFog(Fog* fog) override { Log("SetFog " + Name(fog, "none")); }
    void SetShader(Shader* shader, const F32*) override { Log("SetShader " + Name(shader, "none")); }
    void DrawNode(Drawable* drawable, const Matrix4& world) override {
        m_Worlds.push_back(world);
        m_Drawn.push_back(drawable->GetName());
        Log("DrawNode " + drawable->GetName());
    }
    void Log(const std::string& call) { m_Calls.push_back(call); }
    static std::string Name(Object* object, const char* none) { return object ? object->GetName() : none; }

    std::vector<std::string> m_Calls, m_Drawn;
    std::vector<Matrix4> m_Worlds;
    Matrix4 m_Projection, m_View, m_LightWorld;
    F32 m_Ambient = 0;  // red
};

class DrawTreeTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitTables();
        m_Render = New<RecordingRender>();
        m_Root = New<Transform>();
        m_CameraTransform = Add<Transform>("cameraTransform");
        m_Camera = Add<Camera>("camera", m_CameraTransform);
        m_Tree = New<DrawTree>();
        m_Tree->SetRender(m_Render);
        m_Tree->SetSceneRoot(m_Root);
        m_Tree->SetCamera(m_Camera);
    }
    void TearDown() override {
        m_Tree.Reset();
        m_Root.Reset();
        ReleaseTables();
    }

    // A named node under parent (the root by default), held by the tree.
    template <class T>
    T* Add(const std::string& name, Group* parent = nullptr) {
        T* node = New<T>();
        node->SetName(name);
        node->SetParent(parent ? parent : m_Root.Get());
        return node;
    }
    Drawable* AddDrawable(const std::string& name, Shader* shader, Group* parent = nullptr) {
        Drawable* drawable = Add<Drawable>(name, parent);
        drawable->SetShader(shader);
        return drawable;
    }
    static Shader* MakeShader(const std::string& name, I32 layer) {
        Shader* shader = New<Shader>();
        shader->SetName(name);
        shader->SetLayer(layer);
        return shader;
    }
    void Redraw() {
        m_Render->m_Calls.clear();
        m_Render->m_Drawn.clear();
        m_Tree->Draw();
    }

    Ref<RecordingRender> m_Render;
    Ref<Transform> m_Root;
    Transform* m_CameraTransform = nullptr;
    Ref<Camera> m_Camera;
    Ref<DrawTree> m_Tree;
};

}  // namespace

TEST_F(DrawTreeTest, CallsInFrameOrderWithLightsFogAndAmbient) {
    Add<Light>("")->SetColor(0.2f, 0.2f, 0.2f);  // ambient lights add up
    Add<Light>("")->SetColor(0.2f, 0.2f, 0.2f);
    Transform* lightTransform = Add<Transform>("lightTransform");
    lightTransform->SetTranslation(V(1, 2, 3));
    Add<Light>("sun", lightTransform)->SetLightType(Light::Directional);
    Add<Light>("lamp")->SetLightType(Light::Point);
    Fog* nearFog = Add<Fog>("near");
    Add<Fog>("far");
    AddDrawable("mesh", MakeShader("s", 8));
    m_Tree->Draw();
    const std::vector<std::string> expected = {
        "SetRenderTarget screen", "Clear 3", "SetProjectionMatrix", "SetViewMatrix", "SetAmbientLight",
        "SetLights 2", "SetLight 0 sun", "SetLight 1 lamp", "SetFog near", "SetShader s", "DrawNode mesh"};
    EXPECT_EQ(m_Render->m_Calls, expected);
    EXPECT_NEAR(m_Render->m_Ambient, 0.4f, 1e-6);
    EXPECT_EQ(m_Render->m_LightWorld.m[12].Raw(), 0);  // the lamp's identity, not the sun's
    EXPECT_EQ(m_Tree->GetFrameNumber(), 1u);
    // The next frame starts afresh: the ambient sum does not grow.
    nearFog->SetEnabled(0);
    Redraw();
    EXPECT_NEAR(m_Render->m_Ambient, 0.4f, 1e-6);
    EXPECT_EQ(m_Render->m_Calls[8], "SetFog far");
    EXPECT_EQ(m_Tree->GetFrameNumber(), 2u);
}

TEST_F(DrawTreeTest, LayersAscendingAndShadersGrouped) {
    Shader* a = MakeShader("a", 5);
    Shader* b = MakeShader("b", 5);
    AddDrawable("L3", MakeShader("three", 3));
    AddDrawable("none", nullptr);
    AddDrawable("high", MakeShader("high", 99));
    AddDrawable("L1", MakeShader("one", 1));
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
    const std::vector<std::string> layer5(drawn.begin() + 2, drawn.begin() + 6);
    const std::vector<std::string> groupedA = {"a1", "a2", "b1", "b2"}, groupedB = {"b1", "b2", "a1", "a2"};
    EXPECT_EQ(layer5, drawn[2] == "a1" ? groupedA : groupedB);
    EXPECT_EQ(drawn[6], "none");  // no shader: layer 8
    EXPECT_EQ(drawn[7], "high");  // beyond the last layer: drawn in it
}

TEST_F(DrawTreeTest, WorldMatricesAndDisabledSubtrees) {
    Transform* outer = Add<Transform>("outer");
    outer->SetTranslation(V(1, 0, 0));
    outer->SetScaling(V(2, 2, 2));
    Transform* inner = Add<Transform>("inner", outer);
    inner->SetTranslation(V(0, 3, 0));
    AddDrawable("deep", nullptr, inner);
    Group* hidden = Add<Group>("hidden");
    AddDrawable("hidden", nullptr, hidden);
    hidden->SetEnabled(0);
    m_Tree->Draw();
    ASSERT_EQ(m_Render->m_Drawn, std::vector<std::string>{"deep"});
    const Matrix4& world = m_Render->m_Worlds[0];
    EXPECT_EQ(world.m[0], Fixed::FromInt(2));
    EXPECT_EQ(world.m[12], Fixed::FromInt(1));
    EXPECT_EQ(world.m[13], Fixed::FromInt(6));
    EXPECT_EQ(inner->GetWorldFrame(), 0u);
    hidden->SetEnabled(1);
    outer->SetEnabled(0);
    Redraw();
    EXPECT_EQ(m_Render->m_Drawn, std::vector<std::string>{"hidden"});
    EXPECT_EQ(inner->GetWorldFrame(), 0u);  // a disabled subtree is not updated either
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
    // A camera outside the tree.
    Ref<Camera> other = New<Camera>();
    m_Tree->SetCamera(other);
    m_Tree->Draw();
    EXPECT_EQ(log.Count("No Cameras within SceneTree."), 2);
    // Plain groups all the way up.
    Ref<Group> plainRoot = New<Group>(), plain = New<Group>();
    plain->SetParent(plainRoot);
    Ref<Camera> groupCamera = New<Camera>();
    groupCamera->SetParent(plain);
    m_Tree->SetSceneRoot(plainRoot);
    m_Tree->SetCamera(groupCamera);
    m_Tree->Draw();
    EXPECT_EQ(log.Count("[E] DrawTree::PrepareCurrentCamera: m_CurrentCamera has no ParentTransform."), 1);
    EXPECT_EQ(m_Tree->GetFrameNumber(), 1u);
    // The camera's transform lies above the scene root: never updated.
    m_Tree->SetSceneRoot(plain);
    Ref<Transform> above = New<Transform>();
    plain->SetParent(above);
    m_Tree->Draw();
    EXPECT_EQ(log.Count("[E] DrawTree::PrepareCurrentCamera: m_CurrentCamera was not updated."), 1);
    plain->SetParent(nullptr);
    m_Tree->SetSceneRoot(m_Root);
    m_Tree->SetCamera(m_Camera);
    m_Camera->SetCameraType(5);
    m_Tree->Draw();
    EXPECT_EQ(log.Count("[E] DrawTree::PrepareCurrentCamera: unsupported CameraType used."), 1);
    EXPECT_TRUE(m_Render->m_Calls.empty());
}

TEST_F(DrawTreeTest, ViewLooksAlongTheTransformsZAndProjectionsMatchGL) {
    LookTransform* look = Add<LookTransform>("look");
    look->SetTranslation(V(0, 0, 5));
    look->SetTarget(V(0, 0, 0));
    m_Camera->SetParent(look);
    m_Tree->Draw();
    // Eye space: the origin straight ahead at distance 5, world +X right, +Y up.
    const Matrix4& view = m_Render->m_View;
    EXPECT_NEAR(view.TransformPoint(V(0, 0, 0)).x.ToFloat(), 0.0f, 1e-3);
    EXPECT_NEAR(view.TransformPoint(V(0, 0, 0)).z.ToFloat(), -5.0f, 1e-3);
    EXPECT_NEAR(view.TransformPoint(V(1, 0, 0)).x.ToFloat(), 1.0f, 1e-3);
    EXPECT_NEAR(view.TransformPoint(V(0, 1, 0)).y.ToFloat(), 1.0f, 1e-3);
    // glFrustum with h = tan(30), aspect 4/3, near 1, far 1000.
    const double h = std::tan(30.0 * M_PI / 180.0), a = 87381.0 / 65536.0, n = 1.0, f = 1000.0;
    const Matrix4& p = m_Render->m_Projection;
    EXPECT_NEAR(p.m[0].ToFloat(), n / (n * h * a), 2e-3);
    EXPECT_NEAR(p.m[5].ToFloat(), n / (n * h), 2e-3);
    EXPECT_NEAR(p.m[10].ToFloat(), -(f + n) / (f - n), 2e-3);
    EXPECT_EQ(p.m[11], -Fixed::One);
    EXPECT_NEAR(p.m[14].ToFloat(), -2 * f * n / (f - n), 2e-3);
    EXPECT_EQ(p.m[15].Raw(), 0);
    // Orthographic: the near value is the half height.
    m_Camera->SetCameraType(Camera::Orthographic);
    m_Camera->SetNear(Fixed::FromInt(2));
    m_Camera->SetFar(Fixed::FromInt(10));
    m_Tree->Draw();
    EXPECT_NEAR(p.m[0].ToFloat(), 2.0 / (4 * a), 1e-3);
    EXPECT_NEAR(p.m[5].ToFloat(), 0.5, 1e-4);
    EXPECT_NEAR(p.m[10].ToFloat(), -2.0 / 8.0, 1e-4);
    EXPECT_NEAR(p.m[14].ToFloat(), -12.0 / 8.0, 1e-4);
    EXPECT_EQ(p.m[15], Fixed::One);
    // A camera drawing into a target uses the target's aspect.
    Ref<RenderTarget> target = New<RenderTarget>();
    target->SetName("mirror");
    target->SetWidth(200);
    target->SetHeight(100);
    m_Camera->SetRenderTarget(target);
    m_Camera->SetCameraType(Camera::Perspective);
    Redraw();
    EXPECT_EQ(m_Render->m_Calls[0], "SetRenderTarget mirror");
    EXPECT_NEAR(p.m[0].ToFloat() * 2.0, p.m[5].ToFloat(), 2e-3);
}

TEST_F(DrawTreeTest, InterfaceGroupsDrawAfterTheSceneWithIdentityView) {
    Transform* moved = Add<Transform>("moved");
    moved->SetTranslation(V(7, 7, 7));
    InterfaceGroup* hud = Add<InterfaceGroup>("hud", moved);
    Transform* label = Add<Transform>("label", hud);
    label->SetTranslation(V(10, 20, 0));
    AddDrawable("text", MakeShader("hudShader", 0), label);
    // Lights, fog and cameras inside the overlay are ignored.
    Add<Light>("hudLight", hud)->SetLightType(Light::Directional);
    Add<Fog>("hudFog", hud);
    AddDrawable("world", MakeShader("worldShader", 20));
    m_Tree->Draw();
    const std::vector<std::string> expected = {
        "SetRenderTarget screen", "Clear 3", "SetProjectionMatrix", "SetViewMatrix", "SetAmbientLight",
        "SetLights 0", "SetFog none", "SetShader worldShader", "DrawNode world", "SetProjectionMatrix",
        "SetViewMatrix", "SetShader hudShader", "DrawNode text"};
    EXPECT_EQ(m_Render->m_Calls, expected);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(m_Render->m_View.m[i], Matrix4::Identity().m[i]);
    // The overlay ignores the transforms above it.
    EXPECT_EQ(m_Render->m_Worlds.back().m[12], Fixed::FromInt(10));
    EXPECT_EQ(m_Render->m_Worlds.back().m[13], Fixed::FromInt(20));
    // A zero width saturates instead of dividing by zero.
    hud->SetSize(Fixed::Zero, Fixed::FromInt(100));
    EXPECT_EQ(hud->GetProjection().m[0].Raw(), 0x7FFFFFFF);
    // Without the camera not even the overlay is drawn.
    m_Camera->SetEnabled(0);
    Redraw();
    EXPECT_TRUE(m_Render->m_Calls.empty());
}
