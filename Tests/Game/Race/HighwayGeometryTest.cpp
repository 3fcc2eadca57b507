#include <gtest/gtest.h>

#include <cmath>

#include "Race/HighwayGeometry.h"
#include "RaceTestUtil.h"
#include "Support/TestUtil.h"

using namespace Meridian;
using namespace RaceTest;

namespace {

Vector3f ToFloat3(const Vector3& v) { return {v.x.ToFloat(), v.y.ToFloat(), v.z.ToFloat()}; }

// A course table as 16.16 points (the course's start is the origin).
std::vector<Vector3> Line(const std::vector<CoursePoint>& points) {
    std::vector<Vector3> line;
    for (const CoursePoint& p : points) line.push_back(p.RelativeTo(CoursePoint{}));
    return line;
}
}  // namespace

TEST(HighwayGeometry, SilentCourseClimbsLeftAndEqualFluxDescendsRight) {
    const struct {
        const char* what;
        TrackData data;
        float slope, heading, step, bend;  // bend: how far the end lies to the turning side
    } courses[] = {{"silent", SilentTrack(30.0f), 40.0f, 50.0f, 3.125f, 50.0f},
                   {"equal", EqualTrack(30.0f), -40.0f, -50.0f, 12.5f, 100.0f}};
    for (const auto& course : courses) {
        SCOPED_TRACE(course.what);
        Ref<HighwayGeometry> h = New<HighwayGeometry>();
        ASSERT_TRUE(h->Construct(course.data));
        const size_t n = h->GetSectionTime().size();
        ASSERT_GT(n, 200u);
        EXPECT_EQ(h->GetEndTime().Raw(), static_cast<I32>(h->GetSectionTime().back() * 65536.0f));
        // The last step is never smoothed: the raw step for the settled angles.
        const std::vector<Vector3> c = Line(h->GetCentreLine());
        const Vector3f step = ToFloat3(c[n - 1]) - ToFloat3(c[n - 2]);
        EXPECT_NEAR(step.Length(), course.step, 1e-3f);
        EXPECT_NEAR(std::asin(step.y / course.step) * 57.29578f, course.slope, 0.2f);

        const std::vector<Vector3> ride = Line(h->GetRideLine());
        for (size_t i = 1; i < n; ++i)
            ASSERT_TRUE(course.slope > 0 ? ride[i].y > ride[i - 1].y : ride[i].y < ride[i - 1].y) << i;
        EXPECT_GT(course.heading > 0 ? -ride.back().x.ToFloat() : ride.back().x.ToFloat(), course.bend);
        // The ride line is 2 above the centre where smoothing leaves both alone (16.16 rounding aside).
        for (size_t i : {size_t(0), size_t(1), n - 2, n - 1}) {
            EXPECT_EQ(ride[i].x, c[i].x) << i;
            EXPECT_EQ(ride[i].z, c[i].z) << i;
            EXPECT_NEAR((ride[i].y - c[i].y).Raw(), 2 * 65536, 2) << i;
        }
        // Right vectors horizontal, across and to the right of travel; up is up.
        const Vector3f right = ToFloat3(h->GetRightVectors().back());
        EXPECT_NEAR(right.y, 0.0f, 1e-6f);
        EXPECT_NEAR(right.x * step.x + right.z * step.z, 0.0f, 1e-2f);
        EXPECT_GT(-right.x * step.z + right.z * step.x, 0.0f);
        for (const Vector3& up : h->GetUpVectors()) ASSERT_EQ(up, Vector3::UnitY);
        // Silence: the maximum length and every band maximum and minimum become 1.
        const Vector3f ones = {1.0f, 1.0f, 1.0f};
        EXPECT_TRUE(course.slope < 0 || (h->GetMaxFlux() == ones && h->GetMinFlux() == ones));
    }
}

TEST(HighwayGeometry, SmallCoursesMakeAStripOfTheirSections) {
    TrackData data;
    for (int i = 0; i < 4; ++i) {
        data.Time.push_back(0.125f * static_cast<float>(i));
        data.Flux.push_back({1.0f + i, 2.0f, 0.5f * i});
        data.Threshold.push_back({0.0f, 0.0f, 0.0f});
    }
    Ref<HighwayGeometry> h = New<HighwayGeometry>();
    ASSERT_TRUE(h->Construct(data));
    ASSERT_EQ(h->GetSectionTime().size(), 3u);
    std::vector<U16> indices;
    h->GetIndices(indices);
    EXPECT_EQ(indices, (std::vector<U16>{0, 1, 2, 3, 4}));
    EXPECT_EQ(h->GetPrimitiveType(), PrimitiveStrip);
    EXPECT_EQ(h->GetPrimitiveCount(), 3);
    EXPECT_EQ(h->GetVertexCount(), 6);
    // Left and right edges 8 units either side of the centre, level.
    std::vector<Float3> vertices;
    h->GetVertices(vertices);
    for (int i = 0; i < 3; ++i) {
        const Float3 l = vertices[2 * i], r = vertices[2 * i + 1];
        EXPECT_NEAR(std::hypot(r.x - l.x, r.z - l.z), 16.0f, 1e-4f);
        EXPECT_NEAR(r.y, l.y, 1e-5f);
    }
    // v runs along the centre line / 15, pair 0 one segment before pair 1.
    std::vector<Float2> uv;
    h->GetTexCoords(0, uv);
    EXPECT_EQ(uv[2].v, 0.0f);
    EXPECT_NEAR(uv[4].v, Distance(Line(h->GetCentreLine())[0], Line(h->GetCentreLine())[1]) / 15.0f, 1e-4f);
    EXPECT_EQ(uv[0].v, -(uv[4].v - uv[2].v));
    EXPECT_EQ(uv[0].u, 0.0f);
    EXPECT_EQ(uv[5].u, 1.0f);
    // Two sections still make a strip of one triangle; one section draws nothing.
    data.Time.resize(3);
    data.Flux.resize(3);
    data.Threshold.resize(3);
    Ref<HighwayGeometry> tiny = New<HighwayGeometry>();
    ASSERT_TRUE(tiny->Construct(data));
    EXPECT_EQ(tiny->GetVertexCount(), 4);
    data.Time.resize(2);
    Ref<HighwayGeometry> single = New<HighwayGeometry>();
    ASSERT_TRUE(single->Construct(data));
    EXPECT_EQ(single->GetIndexCount(), 0);
    EXPECT_EQ(single->GetIndexData(), nullptr);
    single->SetVisibleRange(Fixed::FromInt(3));
    EXPECT_EQ(single->GetIndexCount(), 0);
}

TEST(HighwayGeometry, EvalInterpolatesOverTheCourseAndStopsAtItsEnd) {
    Ref<HighwayGeometry> h = New<HighwayGeometry>();
    const Vector3 sentinel = {Fixed::FromInt(7), Fixed::FromInt(7), Fixed::FromInt(7)};
    Vector3 ride, centre, up, right;
    EXPECT_FALSE(h->Eval(Fixed::Zero, ride, centre, up, right));  // nothing built yet

    ASSERT_TRUE(h->Construct(SilentTrack(10.0f)));
    ASSERT_TRUE(h->Eval(Fixed::Zero, ride, centre, up, right));
    EXPECT_TRUE(ride == Line(h->GetRideLine())[0] && centre == Line(h->GetCentreLine())[0] && up == Vector3::UnitY &&
                right == h->GetRightVectors()[0]);
    Vector3 early;
    ASSERT_TRUE(h->Eval(Fixed::FromInt(-3), early, centre, up, right));
    EXPECT_EQ(early, ride) << "before the start counts as the start";
    // At and past the end: false, outputs untouched; just before: the last point.
    const Fixed end = h->GetEndTime();
    ride = centre = up = right = sentinel;
    EXPECT_FALSE(h->Eval(end, ride, centre, up, right));
    EXPECT_FALSE(h->Eval(end + Fixed::One, ride, centre, up, right));
    for (const Vector3* v : {&ride, &centre, &up, &right}) EXPECT_EQ(*v, sentinel);
    ASSERT_TRUE(h->Eval(end - Fixed::Epsilon, ride, centre, up, right));
    EXPECT_LT(Distance(ride, Line(h->GetRideLine()).back()), 0.01f);
    // Song time spreads evenly over the sections: halfway in time is halfway along the segment.
    const std::vector<Vector3> line = Line(h->GetRideLine());
    const I32 n = static_cast<I32>(line.size());
    for (I32 i : {3, n / 2, n - 3}) {
        const Fixed t = Fixed::FromRaw(static_cast<I32>((static_cast<I64>(end.Raw()) * (2 * i + 1)) / (2 * n)));
        ASSERT_TRUE(h->Eval(t, ride, centre, up, right));
        const Vector3& a = line[static_cast<size_t>(i)];
        const Vector3& b = line[static_cast<size_t>(i + 1)];
        const float ab = Distance(a, b);
        EXPECT_NEAR(Distance(a, ride) + Distance(ride, b), ab, 1e-3f) << i;
        EXPECT_NEAR(Distance(a, ride), ab / 2.0f, ab * 0.05f) << i;
    }
}

TEST(HighwayGeometry, WindowCoversFiveSecondsAndMovesOncePerSecond) {
    Ref<HighwayGeometry> h = New<HighwayGeometry>();
    ASSERT_TRUE(h->Construct(EqualTrack(20.0f)));
    const std::vector<I32>& table = h->GetSecondTable();
    const std::vector<F32>& times = h->GetSectionTime();
    ASSERT_EQ(table.size(), 20u);
    EXPECT_EQ(table[0], 0);
    // The window: the triangles of seconds 0 .. 4.
    const I32 window = h->GetPrimitiveCount();
    EXPECT_EQ(window, table[4]);
    EXPECT_NEAR(times[static_cast<size_t>((window + 2) / 2)], 5.0f, 0.15f);
    EXPECT_EQ(h->GetIndexCount(), window + 2);

    const U16* indices = h->GetData()->m_Indices.data();
    const I32 indexCount = static_cast<I32>(h->GetData()->m_Indices.size());
    int moves = 0;
    I32 lastFirst = 0;
    for (int frame = 0; frame < 20 * 60; ++frame) {
        const Fixed t = Fixed::FromRaw(frame * 65536 / 60);
        h->SetDirtyBits(0);
        h->SetVisibleRange(t);
        const I32 first = h->GetWindowFirst();
        if (!(h->GetDirtyBits() & ArrayIndices)) {
            EXPECT_EQ(first, lastFirst);
            continue;
        }
        ++moves;
        const I32 s = t.ToInt();
        EXPECT_EQ(frame % 60, 0) << "the window moves only when the second changes";
        EXPECT_EQ(first % 3, 0);
        EXPECT_LE(first + window + 2, indexCount);
        EXPECT_LE(first, table[static_cast<size_t>(std::max(s - 1, 0))]);
        EXPECT_EQ(h->GetIndexData(), indices + first);
        EXPECT_EQ(h->GetIndexCount(), window + 2);
        // Drawn: from about the start of the current second to five seconds on.
        const float from = times[static_cast<size_t>(first / 2)];
        const float to = times[static_cast<size_t>((first + window + 1) / 2)];
        EXPECT_NEAR(to - from, 5.0f, 0.3f) << s;
        if (s >= 2 && first + window + 2 < indexCount - 3) {
            EXPECT_LE(from, static_cast<float>(s)) << s;
            EXPECT_GT(from, static_cast<float>(s) - 0.5f) << s;
        }
        lastFirst = first;
    }
    EXPECT_EQ(moves, 20);
    EXPECT_GE(lastFirst + window + 2, indexCount - 3) << "held against the end of the strip";
}

TEST(HighwayGeometry, RefusesCoursesBeyondSixteenBitIndices) {
    // One section per point 0.125 s apart: 32767 sections is the largest course.
    const TrackData largestData = FlatTrack(0.125f * 32767.0f, 0.125f);
    EXPECT_EQ(HighwayGeometry::CountSections(largestData), 32767);
    Ref<HighwayGeometry> largest = New<HighwayGeometry>();
    ASSERT_TRUE(largest->Construct(largestData));
    EXPECT_EQ(largest->GetVertexCount(), 65534);
    std::vector<U16> indices;
    largest->GetIndices(indices);
    EXPECT_EQ(indices.back(), 65532);
    ::Test::LogCapture log;
    Ref<HighwayGeometry> tooLong = New<HighwayGeometry>();
    EXPECT_FALSE(tooLong->Construct(FlatTrack(0.125f * 32768.0f, 0.125f)));
    EXPECT_TRUE(log.Contains("[E] HighwayGeometry::Construct: a course of 65536 vertices exceeds the limit of 65535."));
    EXPECT_EQ(tooLong->GetVertexCount(), 0);
    EXPECT_EQ(tooLong->GetIndexCount(), 0);
}
