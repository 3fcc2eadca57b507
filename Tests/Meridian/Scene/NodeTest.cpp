// Scene nodes: local matrices against double maths, content bits, look-at, re-parenting.
#include <gtest/gtest.h>

#include <cmath>

#include "Math/MathFunctions.h"
#include "Scene/Camera.h"
#include "Scene/Light.h"
#include "Scene/Transform.h"
#include "Support/TestUtil.h"

using namespace Meridian;

namespace {

Vector3 V(float x, float y, float z) { return {Fixed::FromFloat(x), Fixed::FromFloat(y), Fixed::FromFloat(z)}; }

struct M3 {
    double a[3][3];
};

M3 Mul(const M3& p, const M3& q) {
    M3 r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k) r.a[i][j] += p.a[i][k] * q.a[k][j];
    return r;
}

M3 Rot(char axis, double degrees) {
    const double r = degrees * M_PI / 180.0, c = std::cos(r), s = std::sin(r);
    if (axis == 'x') return M3{{{1, 0, 0}, {0, c, -s}, {0, s, c}}};
    if (axis == 'y') return M3{{{c, 0, s}, {0, 1, 0}, {-s, 0, c}}};
    return M3{{{c, -s, 0}, {s, c, 0}, {0, 0, 1}}};
}

void ExpectPoint(const Vector3& p, float x, float y, float z) {
    EXPECT_NEAR(p.x.ToFloat(), x, 1e-3);
    EXPECT_NEAR(p.y.ToFloat(), y, 1e-3);
    EXPECT_NEAR(p.z.ToFloat(), z, 1e-3);
}

class SceneTest : public ::testing::Test {
protected:
    void SetUp() override { InitTables(); }
    void TearDown() override { ReleaseTables(); }
};

}  // namespace

TEST_F(SceneTest, LocalMatrixForEachRotationOrder) {
    const M3 rx = Rot('x', 30), ry = Rot('y', -50), rz = Rot('z', 110);
    const M3 expected[6] = {Mul(Mul(rz, ry), rx), Mul(Mul(ry, rz), rx), Mul(Mul(rx, rz), ry),
                            Mul(Mul(rz, rx), ry), Mul(Mul(ry, rx), rz), Mul(Mul(rx, ry), rz)};
    for (int order = 0; order < 6; ++order) {
        Ref<Transform> t = New<Transform>();
        t->SetRotation(V(30, -50, 110));
        t->SetRotationOrder(order);
        t->SetTranslation(V(1, 2, 3));
        const Matrix4& m = t->GetLocalMatrix();
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(m.m[c * 4 + r].ToFloat(), expected[order].a[r][c], 2e-3) << "order " << order;
        EXPECT_EQ(m.m[12], Fixed::FromInt(1));
        EXPECT_EQ(m.m[14], Fixed::FromInt(3));
        EXPECT_EQ(t->GetDirtyBits(), 0);
    }
}

TEST_F(SceneTest, ContentBitsTrsAndLookAt) {
    Ref<Transform> t = New<Transform>();
    t->SetTranslation(Vector3::Zero);
    t->SetRotation(Vector3::Zero);
    t->SetScaling(V(1, 1, 1));
    EXPECT_EQ(t->GetContentBits(), 0);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(t->GetLocalMatrix().m[i], Matrix4::Identity().m[i]);
    t->SetTranslation(V(1, 2, 3));
    EXPECT_EQ(t->GetContentBits(), Transform::HasTranslation);
    ExpectPoint(t->GetLocalMatrix().TransformPoint(Vector3::Zero), 1, 2, 3);
    // T.R.S: (1,0,0) scaled by 2 and turned 90 degrees about y is (0,0,-2).
    t->SetRotation(V(0, 90, 0));
    t->SetScaling(V(2, 2, 2));
    ExpectPoint(t->GetLocalMatrix().TransformPoint(V(1, 0, 0)), 1, 2, 1);
    Ref<LookTransform> look = New<LookTransform>();
    look->SetTranslation(V(1, 2, 3));
    look->SetTarget(V(1, 2, -7));
    const Matrix4& m = look->GetLocalMatrix();
    EXPECT_NEAR(m.m[8].ToFloat(), 0.0f, 1e-3);
    EXPECT_NEAR(m.m[10].ToFloat(), -1.0f, 1e-3);  // Z column towards the target
    EXPECT_NEAR(m.m[5].ToFloat(), 1.0f, 1e-3);    // Y stays up
    look->SetOffset(V(0, 5, 0));
    EXPECT_EQ(look->GetLocalMatrix().m[13], Fixed::FromInt(7));
}

TEST(Scene, ReparentingKeepsOneParentAndDestroysDetachedNodes) {
    Ref<Group> a = New<Group>();
    Ref<Group> b = New<Group>();
    Transform* child = New<Transform>();
    child->SetParent(a);
    child->SetParent(a);  // unchanged
    a->AddChild(child);   // already a child: still one entry
    EXPECT_EQ(a->GetChildCount(), 1u);
    EXPECT_EQ(RefCount(child), 1);
    child->SetParent(b);  // survives its removal from a
    EXPECT_EQ(a->GetChildCount(), 0u);
    EXPECT_EQ(b->GetChildCount(), 1u);
    EXPECT_EQ(child->GetParent(), b.Get());
    EXPECT_EQ(RefCount(child), 1);
    Ref<Camera> camera = New<Camera>();
    camera->SetParent(child);
    EXPECT_EQ(camera->GetParentTransform(), child);
    Ref<Camera> orphan = New<Camera>();
    orphan->SetParent(a);
    EXPECT_EQ(orphan->GetParentTransform(), nullptr);
    {
        ::Test::LogCapture capture;
        Light* light = New<Light>();
        light->SetParent(b);
        light->SetParent(nullptr);  // nobody else holds it
        EXPECT_TRUE(capture.Contains("[D] ~Light"));
    }
    // Destroying a group detaches its children first.
    b.Reset();
    EXPECT_EQ(camera->GetParent(), nullptr);
    EXPECT_EQ(RefCount(camera.Get()), 1);
}
