// The glider as the race shows it, drawn by the real device offscreen: the
// model under a frame whose +Z runs along the road, turned half round about
// y, seen by the chase camera from behind and above. Its nose must point away
// from the camera (the engines face it) and it must not come out mirrored:
// the red (left, port) wingtip on the left of the screen, the green on the
// right.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Import/ImportMSD.h"
#include "Math/MathFunctions.h"
#include "Render/Pnd/RenderPndGL.h"
#include "Scene/DrawTree.h"
#include "Scene/PolygonGeometry.h"
#include "Scene/ShaderHelpers.h"
#include "Support/TestUtil.h"

using namespace Meridian;

namespace {

Vector3 V(float x, float y, float z) { return {Fixed::FromFloat(x), Fixed::FromFloat(y), Fixed::FromFloat(z)}; }

struct Blob {
    int count = 0;
    double x = 0, y = 0;  // mean position, pixels from the lower left
};

}  // namespace

TEST(GliderView, ChaseCameraSeesTheTailWithTheLeftWingOnTheLeft) {
    InitTables();
    RenderPndGLOptions options;
    options.m_Mode = RenderPndGLOptions::Offscreen;
    options.m_Scale = 1;
    Ref<RenderPndGL> device = New<RenderPndGL>(options);
    ASSERT_TRUE(device->Init());
    ::Test::PinGraphicsDriver();
    std::vector<U8> pixels(320 * 240 * 4);
    {
        const std::string data = std::string(SKYRAIL_TEST_TOOLS_DIR) + "/../Data/SkyRail/";
        Ref<Group> root = New<Group>();
        // The glider's frame: at the origin, +Z along the road.
        Ref<LookTransform> glider = New<LookTransform>();
        glider->SetTranslation(V(0, 0, 0));
        glider->SetTarget(V(0, 0, 1));
        glider->SetUp(V(0, 1, 0));
        glider->SetParent(root);
        Ref<Transform> model = ImportMSD((data + "glider01.msd").c_str(), 0);
        ASSERT_TRUE(model);
        model->SetTranslation(V(0, 0.3f, 0));
        model->SetRotation(V(0, 180, 0));
        model->SetParent(glider);
        Ref<Shader> shader = CreateTextureShader((data + "glider01.png").c_str(), false, Shader::BlendOpaque);
        ASSERT_TRUE(shader);
        for (U32 i = 0; i < model->GetChildCount(); ++i)
            if (PolygonGeometry* mesh = Cast<PolygonGeometry>(model->GetChild(i))) mesh->SetShader(shader);
        // The chase camera: behind and above, looking ahead along +Z.
        Ref<LookTransform> eye = New<LookTransform>();
        eye->SetTranslation(V(0, 3.7f, -8));
        eye->SetTarget(V(0, 0.75f, 0));
        eye->SetUp(V(0, 1, 0));
        eye->SetParent(root);
        Ref<Camera> camera = New<Camera>();
        camera->SetFieldOfView(Fixed::FromInt(50));
        camera->SetParent(eye);
        Ref<DrawTree> tree = New<DrawTree>();
        tree->SetRender(device);
        tree->SetSceneRoot(root);
        tree->SetCamera(camera);
        device->SetClearColor(0, 0, 0, 1);
        tree->Draw();
        I32 x, y, w, h;
        device->GetViewport(x, y, w, h);
        ASSERT_EQ(320, w);
        ASSERT_EQ(240, h);
        ASSERT_TRUE(device->ReadPixels(x, y, w, h, pixels.data()));
        model->SetParent(nullptr);
    }
    device->Exit();

    Blob red, green, orange, any;
    for (int py = 0; py < 240; ++py)
        for (int px = 0; px < 320; ++px) {
            const U8* p = &pixels[(static_cast<size_t>(py) * 320 + px) * 4];
            const int r = p[0], g = p[1], b = p[2];
            Blob* blob = nullptr;
            if (r > 170 && g < 90 && b < 90) blob = &red;
            else if (g > 160 && r < 110 && b < 150) blob = &green;
            else if (r > 200 && g > 100 && g < 200 && b < 100) blob = &orange;
            for (Blob* hit : {blob, r + g + b > 30 ? &any : nullptr})
                if (hit) ++hit->count, hit->x += px, hit->y += py;
        }
    for (Blob* blob : {&red, &green, &orange, &any})
        if (blob->count) blob->x /= blob->count, blob->y /= blob->count;
    ASSERT_GT(any.count, 500);  // the glider is there, about 90 x 20 pixels
    EXPECT_NEAR(160, any.x, 20);
    ASSERT_GT(red.count, 3);
    ASSERT_GT(green.count, 3);
    EXPECT_LT(red.x, 120);
    EXPECT_GT(green.x, 200);
    // The engines at the tail face the camera.
    EXPECT_GT(orange.count, 3);
    EXPECT_NEAR(160, orange.x, 20);
}
