// Hermite evaluation, attribute splines bound to Transform setters, tracks
// and looping track libraries.
#include <gtest/gtest.h>

#include <memory>

#include "Animation/TrackLibrary.h"
#include "Scene/Material.h"
#include "Support/TestUtil.h"

using namespace Meridian;

namespace {

Fixed F(float value) { return Fixed::FromFloat(value); }

// A spline with flat tangents through (time, value) pairs.
Ref<HermiteSpline> Flat(std::initializer_list<std::pair<float, float>> keys) {
    Ref<HermiteSpline> spline = New<HermiteSpline>();
    for (const auto& key : keys) spline->AddKey(F(key.second), Fixed::Zero, Fixed::Zero, F(key.first));
    return spline;
}

float At(const HermiteSpline& spline, float t) {
    Fixed value = F(-999);
    EXPECT_TRUE(spline.Evaluate(F(t), value));
    return value.ToFloat();
}

template <class Attribute>
std::unique_ptr<AttributeSpline> Attribute3(HermiteSpline* x, HermiteSpline* y, HermiteSpline* z) {
    std::unique_ptr<AttributeSpline> attribute(new Attribute());
    attribute->SetSpline(0, x);
    attribute->SetSpline(1, y);
    attribute->SetSpline(2, z);
    return attribute;
}

}  // namespace

TEST(HermiteSpline, EvaluatesAtBetweenAndBeyondKeys) {
    Ref<HermiteSpline> none = New<HermiteSpline>();
    Fixed untouched = F(7);
    EXPECT_FALSE(none->Evaluate(F(1), untouched));
    EXPECT_EQ(F(7), untouched);

    Ref<HermiteSpline> one = Flat({{2, 4.5f}});
    EXPECT_FLOAT_EQ(4.5f, At(*one, -100));
    EXPECT_FLOAT_EQ(4.5f, At(*one, 2));
    EXPECT_FLOAT_EQ(4.5f, At(*one, 300));

    Ref<HermiteSpline> three = Flat({{0, 0}, {1, 10}, {2, 4}});
    EXPECT_FLOAT_EQ(0.0f, At(*three, -1));
    EXPECT_FLOAT_EQ(0.0f, At(*three, 0));
    EXPECT_FLOAT_EQ(10.0f, At(*three, 1));  // exactly on the inner key
    EXPECT_FLOAT_EQ(4.0f, At(*three, 2));
    EXPECT_FLOAT_EQ(4.0f, At(*three, 9));
    // Flat tangents: half way is the average, a quarter way 5/32 of the rise.
    EXPECT_NEAR(5.0, At(*three, 0.5f), 1e-3);
    EXPECT_NEAR(10.0 * 0.15625, At(*three, 0.25f), 1e-3);
    EXPECT_NEAR(7.0, At(*three, 1.5f), 1e-3);

    // Tangents are used as stored: out 2 at the first key adds 2 x (s^3 - 2s^2 + s).
    Ref<HermiteSpline> sloped = New<HermiteSpline>();
    sloped->AddKey(F(0), F(5), F(2), F(0));
    sloped->AddKey(F(0), F(-4), F(5), F(4));
    EXPECT_NEAR(0.25 - 4 * (0.125 - 0.25), At(*sloped, 2), 1e-3);
    EXPECT_NEAR(0.0, At(*sloped, 4), 1e-6);
}

TEST(HermiteSpline, KeysStaySortedAndEqualTimesStep) {
    Ref<HermiteSpline> spline = New<HermiteSpline>();
    spline->AddKey(F(30), Fixed::Zero, Fixed::Zero, F(2));
    spline->AddKey(F(10), Fixed::Zero, Fixed::Zero, F(1));
    spline->AddKey(F(0), Fixed::Zero, Fixed::Zero, F(0));
    spline->AddKey(F(20), Fixed::Zero, Fixed::Zero, F(1));  // same time as 10, after it
    ASSERT_EQ(4, spline->GetKeyCount());
    EXPECT_EQ(F(0), spline->GetKeys()[0].time);
    EXPECT_EQ(F(10), spline->GetKeys()[1].value);
    EXPECT_EQ(F(20), spline->GetKeys()[2].value);
    Fixed end;
    ASSERT_TRUE(spline->GetEndTime(end));
    EXPECT_EQ(F(2), end);

    // At the shared time the earlier segment ends on the first of the pair;
    // just after it the curve continues from the second.
    EXPECT_FLOAT_EQ(10.0f, At(*spline, 1));
    EXPECT_NEAR(20.0, At(*spline, 1.0001f), 1e-2);
    EXPECT_NEAR(25.0, At(*spline, 1.5f), 1e-3);

    // Sorting is stable, so of two keys at the end time the later one holds.
    std::vector<HermiteSpline::Key> keys = {{F(8), Fixed::Zero, Fixed::Zero, F(3)},
                                            {F(2), Fixed::Zero, Fixed::Zero, F(3)},
                                            {F(1), Fixed::Zero, Fixed::Zero, F(1)}};
    Ref<HermiteSpline> pair = New<HermiteSpline>();
    pair->SetKeys(keys);
    EXPECT_EQ(F(1), pair->GetKeys()[0].value);
    EXPECT_NEAR(4.5, At(*pair, 2), 1e-3);
    EXPECT_FLOAT_EQ(2.0f, At(*pair, 3));
    EXPECT_FLOAT_EQ(2.0f, At(*pair, 4));
}

TEST(AttributeSpline, DurationAndApplyThroughTheBoundSetter) {
    Ref<HermiteSpline> x = Flat({{0, 0}, {2, 4}});
    Ref<HermiteSpline> y = Flat({{0, 1}, {3, 1}});
    Ref<HermiteSpline> empty = New<HermiteSpline>();

    TranslationSpline translation;
    Fixed duration = F(-5);
    translation.GetDuration(duration);
    EXPECT_EQ(Fixed::Zero, duration);
    translation.SetSpline(0, x);
    translation.SetSpline(1, y);
    translation.SetSpline(2, empty);
    translation.SetSpline(3, x);  // only x, y and z exist
    EXPECT_EQ(3, translation.GetSplineCount());
    EXPECT_EQ(nullptr, translation.GetSpline(3));
    translation.GetDuration(duration);
    EXPECT_EQ(F(3), duration);

    Ref<Transform> target = New<Transform>();
    translation.Apply(F(1), target);
    EXPECT_NEAR(2.0, target->GetTranslation().x.ToFloat(), 1e-3);
    EXPECT_EQ(F(1), target->GetTranslation().y);
    EXPECT_EQ(Fixed::Zero, target->GetTranslation().z);  // no keys: 0
    EXPECT_EQ(Transform::HasTranslation, target->GetContentBits() & Transform::HasTranslation);

    // Targets of another kind, or none, are left alone.
    Ref<Material> material = New<Material>();
    translation.Apply(F(1), material);
    translation.Apply(F(1), nullptr);

    ScalingSpline scaling;
    scaling.SetSpline(0, Flat({{0, 2}}));
    scaling.Apply(F(0), target);
    EXPECT_EQ(F(2), target->GetScaling().x);
    EXPECT_EQ(Fixed::Zero, target->GetScaling().y);
    RotationSpline rotation;
    rotation.SetSpline(2, Flat({{0, 90}}));
    rotation.Apply(F(0), target);
    EXPECT_EQ(F(90), target->GetRotation().z);
}

TEST(Track, DurationAndApply) {
    Ref<Track> track = New<Track>();
    Fixed duration;
    track->GetDuration(duration);
    EXPECT_EQ(F(-1), duration);
    track->UpdateDuration();
    track->GetDuration(duration);
    EXPECT_EQ(Fixed::Zero, duration);

    Ref<Transform> target = New<Transform>();
    track->SetTarget(target);
    EXPECT_EQ(target.Get(), track->GetTarget());
    track->AddAttribute(Attribute3<TranslationSpline>(Flat({{0, 0}, {4, 8}}), nullptr, nullptr));
    track->AddAttribute(Attribute3<RotationSpline>(nullptr, Flat({{0, 0}, {6, 60}}), nullptr));
    track->AddAttribute(nullptr);
    EXPECT_EQ(2, track->GetAttributeCount());
    track->GetDuration(duration);
    EXPECT_EQ(F(6), duration);

    track->Apply(F(6));
    EXPECT_EQ(F(8), target->GetTranslation().x);
    EXPECT_EQ(F(60), target->GetRotation().y);
    EXPECT_TRUE(track->IsKindOf(MakeTag("TRK0")));
    EXPECT_STREQ("Track", track->GetTypeName());
}

TEST(TrackLibrary, LoopsOverTheLongestTrack) {
    Ref<Transform> first = New<Transform>();
    Ref<Transform> second = New<Transform>();
    Ref<Track> a = New<Track>();
    a->SetTarget(first);
    a->AddAttribute(Attribute3<TranslationSpline>(Flat({{0, 0}, {2, 10}}), nullptr, nullptr));
    Ref<Track> b = New<Track>();
    b->SetTarget(second);
    b->AddAttribute(Attribute3<TranslationSpline>(Flat({{0, 0}, {1, 5}}), nullptr, nullptr));

    Ref<TrackLibrary> library = New<TrackLibrary>();
    library->SetName("take");
    library->AddTrack(a);
    library->AddTrack(b);
    library->AddTrack(nullptr);
    EXPECT_EQ(2, library->GetTrackCount());
    EXPECT_EQ(F(-1), library->GetDuration());

    ::Test::LogCapture log;
    library->Update(F(0.5f));
    EXPECT_EQ(F(2), library->GetDuration());
    EXPECT_EQ(1, log.Count("[D] TrackLibrary \"take\" Duration=2.000000"));
    const Fixed firstAtHalf = first->GetTranslation().x;
    EXPECT_NEAR(1.5625, firstAtHalf.ToFloat(), 1e-3);

    // Duration + x behaves like x; the shorter track holds its last value.
    library->Update(F(2.5f));
    EXPECT_EQ(firstAtHalf, first->GetTranslation().x);
    library->Update(F(1.5f));
    EXPECT_EQ(F(5), second->GetTranslation().x);
    library->Update(F(4.0f));  // wraps to 0
    EXPECT_EQ(Fixed::Zero, first->GetTranslation().x);

    // Computed once: a longer track added later does not change it.
    Ref<Track> longer = New<Track>();
    longer->AddAttribute(Attribute3<TranslationSpline>(Flat({{0, 0}, {10, 1}}), nullptr, nullptr));
    library->AddTrack(longer);
    library->Update(F(3));
    EXPECT_EQ(F(2), library->GetDuration());
    EXPECT_EQ(1, log.Count("Duration="));
    EXPECT_TRUE(library->IsKindOf(MakeTag("TKL0")));
}

TEST(TrackLibrary, WithoutKeysNothingPlays) {
    Ref<Transform> target = New<Transform>();
    target->SetTranslation({F(3), F(3), F(3)});
    Ref<Track> track = New<Track>();
    track->SetTarget(target);
    track->AddAttribute(Attribute3<TranslationSpline>(New<HermiteSpline>(), nullptr, nullptr));
    Ref<TrackLibrary> library = New<TrackLibrary>();
    library->AddTrack(track);
    ::Test::LogCapture log;
    library->Update(F(1));
    EXPECT_EQ(Fixed::Zero, library->GetDuration());
    EXPECT_EQ(F(3), target->GetTranslation().x);
    EXPECT_EQ(1, log.Count("[D] TrackLibrary \"\" Duration=0.000000"));
}
