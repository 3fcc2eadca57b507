// The glider as the race shows it, drawn offscreen by the real device from the chase camera: nose away
// from the camera (the engines face it), not mirrored (the red port wingtip on the left).
#include <gtest/gtest.h>

#include <algorithm>
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

Ref<LookTransform> Look(Group* parent, const Vector3& from, const Vector3& at) {
    Ref<LookTransform> look = New<LookTransform>();
    look->SetTranslation(from);
    look->SetTarget(at);
    look->SetUp(V(0, 1, 0));
    look->SetParent(parent);
    return look;
}

}  // namespace

TEST(GliderView, ChaseCameraSeesTheTailWithTheLeftWingOnTheLeft) {
    InitTables();
    RenderPndGLOptions options;
    options.m_Mode = RenderPndGLOptions::Offscreen;
    options.m_Scale = 1;
    Ref<RenderPndGL> device = New<RenderPndGL>(options);
    ASSERT_TRUE(device->Init());
    std::vector<U8> pixels(320 * 240 * 4);
    {
        const std::string data = std::string(SKYRAIL_TEST_TOOLS_DIR) + "/../Data/SkyRail/";
        Ref<Group> root = New<Group>();
        Ref<LookTransform> glider = Look(root, V(0, 0, 0), V(0, 0, 1));  // +Z along the road
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
        Ref<Camera> camera = New<Camera>();
        camera->SetFieldOfView(Fixed::FromInt(50));
        camera->SetParent(Look(root, V(0, 3.7f, -8), V(0, 0.75f, 0)));
        Ref<DrawTree> tree = New<DrawTree>();
        tree->SetRender(device);
        tree->SetSceneRoot(root);
        tree->SetCamera(camera);
        device->SetClearColor(0, 0, 0, 1);
        tree->Draw();
        I32 x, y, w, h;
        device->GetViewport(x, y, w, h);
        ASSERT_TRUE(w == 320 && h == 240);
        ASSERT_TRUE(device->ReadPixels(x, y, w, h, pixels.data()));
        model->SetParent(nullptr);
    }
    device->Exit();

    // Count and mean x of the red, green, orange and all lit pixels.
    int count[4] = {0, 0, 0, 0};
    double meanX[4] = {0, 0, 0, 0};
    for (int py = 0; py < 240; ++py)
        for (int px = 0; px < 320; ++px) {
            const U8* p = &pixels[(static_cast<size_t>(py) * 320 + px) * 4];
            const int r = p[0], g = p[1], b = p[2];
            const bool hit[4] = {r > 170 && g < 90 && b < 90, g > 160 && r < 110 && b < 150,
                                 r > 200 && g > 100 && g < 200 && b < 100, r + g + b > 30};
            for (int k = 0; k < 4; ++k)
                if (hit[k]) ++count[k], meanX[k] += px;
        }
    for (int k = 0; k < 4; ++k) meanX[k] /= std::max(count[k], 1);
    ASSERT_GT(count[3], 500);  // the glider is there, about 90 x 20 pixels
    EXPECT_NEAR(160, meanX[3], 20);
    ASSERT_TRUE(count[0] > 3 && count[1] > 3);
    EXPECT_LT(meanX[0], 120);  // port wingtip on the left
    EXPECT_GT(meanX[1], 200);
    EXPECT_GT(count[2], 3);  // the engines at the tail face the camera
    EXPECT_NEAR(160, meanX[2], 20);
}
