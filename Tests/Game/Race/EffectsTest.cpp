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
    effect->Init();  // a second Init builds nothing new
    ASSERT_EQ(effect->GetChildCount(), 1u);
    std::vector<Float4> colors;
    for (float alpha : {0.01f, 0.0f, 0.5f, -0.5f}) {
        effect->GetMesh()->SetDirtyBits(0);
        effect->SetColor(0.3f, 0.7f, 0.9f, alpha);
        EXPECT_EQ(effect->IsEnabled(), alpha > 0.0f) << alpha;
        EXPECT_TRUE(effect->GetMesh()->GetDirtyBits() & ArrayColors);
        effect->GetMesh()->GetColors(colors);
        ASSERT_EQ(colors.size(), 8u);
        for (size_t i = 0; i < 8; ++i) {  // only the two outer tips carry the colour
            const bool tip = i == 2 || i == 6;
            EXPECT_TRUE(colors[i].r == (tip ? 0.3f : 0.0f) && colors[i].a == (tip ? alpha : 0.0f)) << i;
        }
    }
}

TEST(Effects, PerfectEffectBurstsForOneSecondOfCappedSteps) {
    RandomSeed(1234);
    Ref<PerfectEffect> effect = New<PerfectEffect>();
    Ref<Texture> texture = New<Texture>();
    effect->Init(texture);
    EXPECT_FALSE(effect->IsEnabled());
    PolygonGeometry* mesh = effect->GetMesh();
    ASSERT_TRUE(mesh && mesh->GetVertexCount() == 64);
    EXPECT_EQ(mesh->GetShader()->GetTexture(0), texture.Get());
    effect->Update(Fixed::One, Fixed::FromRaw(1000));
    EXPECT_EQ(effect->GetElapsed(), Fixed::Zero) << "updates before a start do nothing";
    // Each burst: sprites 1 .. 1.5 from the centre, mostly forwards (-z), flying straight out, spinning either way.
    bool sawBothSpins[2] = {false, false};
    const std::vector<Float3>& sprites = mesh->GetData()->m_Vertices;
    for (int burst = 0; burst < 8; ++burst) {
        effect->Start();
        sawBothSpins[effect->GetSpin() > 0 ? 1 : 0] = true;
        int forwards = 0;
        for (size_t i = 0; i < 64; ++i) {
            forwards += sprites[i].z < 0.0f ? 1 : 0;
            EXPECT_NEAR(Length(sprites[i]), 1.25f, 0.25f + 1e-3f) << i;
            EXPECT_NEAR(effect->GetVelocities()[i].Length().ToFloat(), Length(sprites[i]) * 25.0f, 0.05f) << i;
        }
        EXPECT_GT(forwards, 40);
    }
    EXPECT_TRUE(sawBothSpins[0] && sawBothSpins[1]);
    // Half-second frames advance 1/60 s each: the burst lasts 61 updates.
    effect->Start();
    const Float3 before = sprites[0];
    int updates = 0;
    while (effect->IsEnabled() && updates < 1000) {
        effect->Update(Fixed::One, Fixed::FromRaw(32768));
        ++updates;
        if (updates == 1) {
            EXPECT_NEAR(sprites[0].x - before.x, (effect->GetVelocities()[0].x * Fixed::FromRaw(1092)).ToFloat(), 1e-3f);
        }
        if (updates == 45) {
            EXPECT_NEAR(mesh->GetData()->m_Colors[0].a, 0.025f, 0.025f) << "all but faded by 0.75 s";
        }
    }
    EXPECT_EQ(updates, 61);
}

TEST(Effects, StarfieldSpreadsRespawnsAndBrightens) {
    InitTables();
    RandomSeed(99);
    Ref<Starfield> stars = New<Starfield>();
    stars->Init(-1);
    ASSERT_EQ(stars->GetStarCount(), 200);
    float nearest = -50.0f;
    for (I32 i = 0; i < 200; ++i) {
        const Starfield::Star& star = stars->GetStar(i);
        EXPECT_TRUE(star.position.z >= Starfield::FarZ && star.position.z < Starfield::NearZ) << i;
        EXPECT_NEAR(star.velocity.z.ToFloat(), 7.5f, 2.5f) << i;
        nearest = std::max(nearest, star.position.z.ToFloat());
    }
    EXPECT_GT(nearest, 0.0f) << "the first stars are spread along z";
    stars->Init(500);
    EXPECT_EQ(stars->GetPrimitiveCount(), 200) << "never more than the stars there are";
    // One big step carries every star past the near plane: reborn at the far plane on a ring, white or yellowish.
    stars->SetDirtyBits(0);
    stars->Update(Fixed::FromInt(100), Fixed::One);
    EXPECT_EQ(stars->GetDirtyBits() & (ArrayVertices | ArrayColors), ArrayVertices | ArrayColors);
    int yellowish = 0;
    for (I32 i = 0; i < 200; ++i) {
        const Starfield::Star& star = stars->GetStar(i);
        EXPECT_EQ(star.position.z, Starfield::FarZ);
        const float r = std::hypot(star.position.x.ToFloat(), star.position.y.ToFloat());
        EXPECT_NEAR(r, 11.0f, 4.0f + 0.01f) << i;
        EXPECT_TRUE(star.color.x == Fixed::One && star.color.z >= Fixed::FromRaw(32768)) << i;
        yellowish += star.color.z < Fixed::One ? 1 : 0;
    }
    EXPECT_NEAR(yellowish, 100, 49);
    // Brightness: about 0 at the far plane, 1 at z = -25.
    stars->Update(Fixed::FromRaw(1), Fixed::One);
    EXPECT_NEAR(stars->GetData()->m_Colors[0].r, 0.0f, 1e-3f);
    stars->Update(Fixed::FromInt(25) / stars->GetStar(0).velocity.z, Fixed::One);
    EXPECT_NEAR(stars->GetStar(0).position.z.ToFloat(), -25.0f, 0.01f);
    EXPECT_NEAR(stars->GetData()->m_Colors[0].r, 1.0f, 0.01f);
    EXPECT_EQ(stars->GetData()->m_Colors[0].a, 1.0f);
    EXPECT_EQ(stars->GetData()->m_Vertices[0].z, stars->GetStar(0).position.z.ToFloat());
}
