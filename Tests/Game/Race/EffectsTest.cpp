#include <gtest/gtest.h>

#include <cmath>

#include "Math/MathFunctions.h"
#include "Math/Random.h"
#include "Race/PerfectEffect.h"
#include "Race/PickupEffect.h"
#include "Race/Starfield.h"
#include "Scene/Shader.h"

using namespace Meridian;

namespace {

float Length(const Float3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

}  // namespace

TEST(Effects, PickupEffectShowsWhileAlphaIsPositive) {
    Ref<PickupEffect> effect = New<PickupEffect>();
    effect->Init();
    PolygonGeometry* mesh = effect->GetMesh();
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->GetParent(), effect.Get());
    EXPECT_EQ(mesh->GetVertexCount(), 8);
    EXPECT_EQ(mesh->GetPrimitiveCount(), 4);
    ASSERT_NE(mesh->GetShader(), nullptr);
    effect->Init();  // a second Init builds nothing new
    EXPECT_EQ(effect->GetChildCount(), 1u);

    mesh->SetDirtyBits(0);
    effect->SetColor(0.3f, 0.7f, 0.9f, 0.01f);
    EXPECT_TRUE(effect->IsEnabled());
    EXPECT_TRUE(mesh->GetDirtyBits() & ArrayColors);
    std::vector<Float4> colors;
    mesh->GetColors(colors);
    for (size_t i = 0; i < colors.size(); ++i) {
        const bool tip = i == 2 || i == 6;
        EXPECT_EQ(colors[i].r, tip ? 0.3f : 0.0f) << i;
        EXPECT_EQ(colors[i].a, tip ? 0.01f : 0.0f) << i;
    }
    effect->SetColor(1.0f, 0.05f, 0.05f, 0.0f);
    EXPECT_FALSE(effect->IsEnabled());
    effect->SetColor(1.0f, 0.05f, 0.05f, -0.5f);
    EXPECT_FALSE(effect->IsEnabled());
}

TEST(Effects, PerfectEffectBurstsForOneSecondOfCappedSteps) {
    RandomSeed(1234);
    Ref<PerfectEffect> effect = New<PerfectEffect>();
    Ref<Texture> texture = New<Texture>();
    effect->Init(texture);
    EXPECT_FALSE(effect->IsEnabled());
    PolygonGeometry* mesh = effect->GetMesh();
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->GetPrimitiveType(), PrimitivePointSprites);
    EXPECT_EQ(mesh->GetPrimitiveCount(), 64);
    EXPECT_EQ(mesh->GetVertexCount(), 64);
    EXPECT_EQ(mesh->GetShader()->GetTexture(0), texture.Get());
    for (const Float3& v : mesh->GetData()->m_Vertices) {
        EXPECT_EQ(v.z, -30.0f);
        EXPECT_LE(std::fabs(v.x), 10.0f);
    }

    // Updates before a start do nothing.
    effect->Update(Fixed::One, Fixed::FromRaw(1000));
    EXPECT_EQ(effect->GetElapsed(), Fixed::Zero);

    bool sawBothSpins[2] = {false, false};
    for (int burst = 0; burst < 8; ++burst) {
        effect->Start();
        EXPECT_TRUE(effect->IsEnabled());
        EXPECT_TRUE(effect->GetSpin() == 720 || effect->GetSpin() == -720);
        sawBothSpins[effect->GetSpin() > 0 ? 1 : 0] = true;
        int forwards = 0;
        for (const Float3& v : mesh->GetData()->m_Vertices) forwards += v.z < 0.0f ? 1 : 0;
        EXPECT_GT(forwards, 40) << "mostly forwards (-z)";
        for (size_t i = 0; i < 64; ++i) {
            const Float3 v = mesh->GetData()->m_Vertices[i];
            EXPECT_GE(Length(v), 1.0f - 1e-3f) << i;
            EXPECT_LE(Length(v), 1.5f + 1e-3f) << i;
            const Vector3 velocity = effect->GetVelocities()[i];
            EXPECT_NEAR(velocity.Length().ToFloat(), Length(v) * 25.0f, 0.05f) << i;
        }
    }
    EXPECT_TRUE(sawBothSpins[0] && sawBothSpins[1]);

    // Half-second frames advance 1/60 s each: the burst lasts 61 updates.
    effect->Start();
    const Float3 before = mesh->GetData()->m_Vertices[0];
    int updates = 0;
    while (effect->IsEnabled() && updates < 1000) {
        effect->Update(Fixed::One, Fixed::FromRaw(32768));
        ++updates;
        if (updates == 1) {
            EXPECT_EQ(effect->GetElapsed(), Fixed::FromRaw(1092));
            const Float3 after = mesh->GetData()->m_Vertices[0];
            const Vector3 v = effect->GetVelocities()[0];
            EXPECT_NEAR(after.x - before.x, (v.x * Fixed::FromRaw(1092)).ToFloat(), 1e-3f);
        }
        if (updates == 45) {
            // Fade 1 - 4/3 x 0.7462 s = 0.005; blue sprites keep the highlight hue.
            const Float4 even = mesh->GetData()->m_Colors[0], odd = mesh->GetData()->m_Colors[1];
            EXPECT_NEAR(even.a, 1.0f - 4.0f * (44 * 1092 / 65536.0f) / 3.0f, 0.01f);
            EXPECT_NEAR(odd.g / odd.b, 0.7529412f / 0.8745098f, 1e-3f);
        }
    }
    EXPECT_GE(updates, 60);
    EXPECT_EQ(updates, 61);
    EXPECT_FALSE(effect->IsEnabled());
}

TEST(Effects, StarfieldSpreadsRespawnsAndBrightens) {
    InitTables();
    RandomSeed(99);
    Ref<Starfield> stars = New<Starfield>();
    stars->Init(-1);
    ASSERT_EQ(stars->GetStarCount(), 200);
    EXPECT_EQ(stars->GetPrimitiveType(), PrimitivePointSprites);
    EXPECT_EQ(stars->GetPrimitiveCount(), 200);
    EXPECT_EQ(stars->GetVertexCount(), 200);
    EXPECT_EQ(stars->GetColorCount(), 200);
    float nearest = -50.0f;
    for (I32 i = 0; i < 200; ++i) {
        const Starfield::Star& star = stars->GetStar(i);
        EXPECT_GE(star.position.z, Starfield::FarZ);
        EXPECT_LT(star.position.z, Starfield::NearZ);
        EXPECT_GE(star.velocity.z, Fixed::FromInt(5));
        EXPECT_LE(star.velocity.z, Fixed::FromInt(10));
        nearest = std::max(nearest, star.position.z.ToFloat());
    }
    EXPECT_GT(nearest, 0.0f) << "the first stars are spread along z";

    // A second Init only sets the primitive type and count again.
    const Vector3 first = stars->GetStar(0).position;
    stars->SetPrimitiveType(PrimitiveTriangles);
    stars->Init(-1);
    EXPECT_EQ(stars->GetStar(0).position, first);
    EXPECT_EQ(stars->GetStarCount(), 200);
    EXPECT_EQ(stars->GetPrimitiveType(), PrimitivePointSprites);
    stars->Init(500);
    EXPECT_EQ(stars->GetPrimitiveCount(), 200) << "never more than the stars there are";

    // One big step carries every star past the near plane: all reborn at the
    // far plane on a ring of radius 7 .. 15.
    stars->SetDirtyBits(0);
    stars->Update(Fixed::FromInt(100), Fixed::One);
    EXPECT_EQ(stars->GetDirtyBits() & (ArrayVertices | ArrayColors), ArrayVertices | ArrayColors);
    int yellowish = 0;
    for (I32 i = 0; i < 200; ++i) {
        const Starfield::Star& star = stars->GetStar(i);
        EXPECT_EQ(star.position.z, Starfield::FarZ);
        const float r = std::hypot(star.position.x.ToFloat(), star.position.y.ToFloat());
        EXPECT_GE(r, 7.0f - 0.01f);
        EXPECT_LE(r, 15.0f + 0.01f);
        EXPECT_EQ(star.color.x, Fixed::One);
        EXPECT_GE(star.color.z, Fixed::FromRaw(32768));
        yellowish += star.color.z < Fixed::One ? 1 : 0;
    }
    EXPECT_GT(yellowish, 50);
    EXPECT_LT(yellowish, 150);

    // Brightness 2 x (z / 50 + 1): about 0 at the far plane, 1 at z = -25.
    stars->Update(Fixed::FromRaw(1), Fixed::One);  // barely moves; writes colours for z = -50
    EXPECT_NEAR(stars->GetData()->m_Colors[0].r, 0.0f, 1e-3f);
    const Fixed toMiddle = Fixed::FromInt(25) / stars->GetStar(0).velocity.z;
    stars->Update(toMiddle, Fixed::One);
    const Starfield::Star& star = stars->GetStar(0);
    EXPECT_NEAR(star.position.z.ToFloat(), -25.0f, 0.01f);
    EXPECT_NEAR(stars->GetData()->m_Colors[0].r, 1.0f, 0.01f);
    EXPECT_EQ(stars->GetData()->m_Colors[0].a, 1.0f);
    EXPECT_EQ(stars->GetData()->m_Vertices[0].z, star.position.z.ToFloat());
}
