// Hermite evaluation against hand-computed values, attribute splines bound to Transform setters, looping tracks.
#include <gtest/gtest.h>

#include <memory>

#include "Animation/TrackLibrary.h"
#include "Scene/Material.h"
#include "Support/TestUtil.h"

using namespace Meridian;

namespace {

typedef std::initializer_list<std::pair<float, float>> Pairs;

Fixed F(float value) { return Fixed::FromFloat(value); }

// A spline with flat tangents through (time, value) pairs.
Ref<HermiteSpline> Flat(Pairs keys) {
    Ref<HermiteSpline> spline = New<HermiteSpline>();
    for (const auto& key : keys) spline->AddKey(F(key.second), Fixed::Zero, Fixed::Zero, F(key.first));
    return spline;
}

void ExpectValues(const HermiteSpline& spline, Pairs samples, double tolerance = 2e-4) {
    for (const auto& sample : samples) {
        Fixed value = F(-999);
        EXPECT_TRUE(spline.Evaluate(F(sample.first), value));
        EXPECT_NEAR(sample.second, value.ToFloat(), tolerance) << "t = " << sample.first;
    }
}

// A track moving target (may be null) along x through (time, value) keys.
Ref<Track> MoveX(Transform* target, Pairs keys) {
    Ref<Track> track = New<Track>();
    track->SetTarget(target);
    std::unique_ptr<AttributeSpline> translation(new TranslationSpline());
    translation->SetSpline(0, Flat(keys));
    track->AddAttribute(std::move(translation));
    return track;
}

}  // namespace

TEST(HermiteSpline, EvaluatesBetweenAndBeyondSortedKeys) {
    Fixed untouched = F(7);
    EXPECT_FALSE(Flat({})->Evaluate(F(1), untouched));
    EXPECT_EQ(F(7), untouched);
    ExpectValues(*Flat({{2, 4.5f}}), {{-100, 4.5f}, {2, 4.5f}, {300, 4.5f}});
    // Flat tangents: half way is the average, a quarter way 5/32 of the rise.
    ExpectValues(*Flat({{0, 0}, {1, 10}, {2, 4}}),
                 {{-1, 0}, {0, 0}, {0.25f, 1.5625f}, {0.5f, 5}, {1, 10}, {1.5f, 7}, {2, 4}, {9, 4}});
    // Tangents are used as stored, not scaled by the span of 4: out 2 and in -4 give 0.75 at s = 1/2.
    Ref<HermiteSpline> sloped = New<HermiteSpline>();
    sloped->AddKey(F(0), F(5), F(2), F(0));
    sloped->AddKey(F(0), F(-4), F(5), F(4));
    ExpectValues(*sloped, {{2, 0.75f}, {4, 0}});
    // Added out of order, the later of two keys at time 1 comes second: the curve jumps from the first to it.
    Ref<HermiteSpline> spline = Flat({{2, 30}, {1, 10}, {0, 0}, {1, 20}});
    ExpectValues(*spline, {{1, 10}, {1.5f, 25}});
    ExpectValues(*spline, {{1.0001f, 20}}, 1e-2);
    // SetKeys sorts stably, so of two keys at the end time the later one holds.
    Ref<HermiteSpline> pair = New<HermiteSpline>();
    pair->SetKeys({{F(8), Fixed::Zero, Fixed::Zero, F(3)},
                   {F(2), Fixed::Zero, Fixed::Zero, F(3)},
                   {F(1), Fixed::Zero, Fixed::Zero, F(1)}});
    ExpectValues(*pair, {{2, 4.5f}, {3, 2}, {4, 2}});
}

TEST(AttributeSpline, SplinesAndTracksApplyThroughTheBoundSetters) {
    TranslationSpline translation;
    Ref<HermiteSpline> x = Flat({{0, 0}, {2, 4}});
    translation.SetSpline(0, x);
    translation.SetSpline(1, Flat({{0, 1}, {3, 1}}));
    translation.SetSpline(2, New<HermiteSpline>());  // no keys: applied as 0
    translation.SetSpline(3, x);                     // only x, y and z exist
    EXPECT_EQ(nullptr, translation.GetSpline(3));
    Fixed duration;
    translation.GetDuration(duration);
    EXPECT_EQ(F(3), duration);
    Ref<Transform> target = New<Transform>();
    target->SetTranslation({F(9), F(9), F(9)});
    translation.Apply(F(1), target);
    EXPECT_NEAR(2.0, target->GetTranslation().x.ToFloat(), 1e-3);
    EXPECT_EQ(F(1), target->GetTranslation().y);
    EXPECT_EQ(Fixed::Zero, target->GetTranslation().z);
    // Targets of another kind, or none, are left alone.
    Ref<Material> material = New<Material>();
    translation.Apply(F(1), material);
    translation.Apply(F(1), nullptr);
    // A track applies all of its attributes and lasts as long as the longest.
    Ref<Track> track = MoveX(target, {{0, 0}, {4, 8}});
    std::unique_ptr<AttributeSpline> rotation(new RotationSpline()), scaling(new ScalingSpline());
    rotation->SetSpline(1, Flat({{0, 0}, {6, 60}}));
    scaling->SetSpline(2, Flat({{0, 2}}));
    track->AddAttribute(std::move(rotation));
    track->AddAttribute(std::move(scaling));
    track->AddAttribute(nullptr);
    EXPECT_EQ(3, track->GetAttributeCount());
    track->GetDuration(duration);
    EXPECT_EQ(F(6), duration);
    track->Apply(F(6));
    EXPECT_EQ(F(8), target->GetTranslation().x);
    EXPECT_EQ(F(60), target->GetRotation().y);
    EXPECT_EQ(F(2), target->GetScaling().z);
}

TEST(TrackLibrary, LoopsOverTheLongestTrack) {
    Ref<Transform> first = New<Transform>(), second = New<Transform>();
    Ref<TrackLibrary> library = New<TrackLibrary>();
    library->SetName("take");
    library->AddTrack(MoveX(first, {{0, 0}, {2, 10}}));
    library->AddTrack(MoveX(second, {{0, 0}, {1, 5}}));
    library->AddTrack(nullptr);
    EXPECT_EQ(2, library->GetTrackCount());
    ::Test::LogCapture log;
    library->Update(F(0.5f));
    EXPECT_EQ(F(2), library->GetDuration());
    const Fixed firstAtHalf = first->GetTranslation().x;
    EXPECT_NEAR(1.5625, firstAtHalf.ToFloat(), 1e-3);
    // Duration + x behaves like x; the shorter track holds its last value.
    library->Update(F(2.5f));
    EXPECT_EQ(firstAtHalf, first->GetTranslation().x);
    library->Update(F(1.5f));
    EXPECT_EQ(F(5), second->GetTranslation().x);
    library->Update(F(4.0f));  // wraps to 0
    EXPECT_EQ(Fixed::Zero, first->GetTranslation().x);
    // Computed once: a longer track (here without a target) added later does not change it.
    library->AddTrack(MoveX(nullptr, {{0, 0}, {10, 1}}));
    library->Update(F(3));
    EXPECT_EQ(F(2), library->GetDuration());
    EXPECT_EQ(1, log.Count("Duration="));
    // Without keys the duration is 0 and nothing plays.
    Ref<Transform> still = New<Transform>();
    still->SetTranslation({F(3), F(3), F(3)});
    Ref<TrackLibrary> keyless = New<TrackLibrary>();
    keyless->AddTrack(MoveX(still, {}));
    keyless->Update(F(1));
    EXPECT_EQ(Fixed::Zero, keyless->GetDuration());
    EXPECT_EQ(F(3), still->GetTranslation().x);
}
