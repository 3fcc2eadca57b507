#include <gtest/gtest.h>

#include <cmath>

#include "Race/HighwayGeometry.h"
#include "Support/TestUtil.h"
#include "RaceTestUtil.h"

using namespace Meridian;
using namespace RaceTest;

namespace {

const double DegToRad = 0.017453292519943295;

Vector3f ToFloat3(const Vector3& v) { return {v.x.ToFloat(), v.y.ToFloat(), v.z.ToFloat()}; }

// The last step of the centre line (the two last points are never smoothed,
// so this is the raw step of the last section).
Vector3f LastStep(const HighwayGeometry& h) {
    const std::vector<Vector3>& c = h.GetCentreLine();
    return ToFloat3(c[c.size() - 1]) - ToFloat3(c[c.size() - 2]);
}

// Direction of travel for slope phi and heading theta (degrees).
Vector3f Direction(double phi, double theta) {
    const double p = phi * DegToRad, t = theta * DegToRad;
    return {static_cast<float>(-std::cos(p) * std::sin(t)), static_cast<float>(std::sin(p)),
            static_cast<float>(-std::cos(p) * std::cos(t))};
}

void ExpectNear(const Vector3f& a, const Vector3f& b, float tolerance) {
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
}

// The ride line is 2 above the centre line where smoothing leaves both alone.
void ExpectRideTwoAboveAtEnds(const HighwayGeometry& h) {
    const std::vector<Vector3>& ride = h.GetRideLine();
    const std::vector<Vector3>& centre = h.GetCentreLine();
    const size_t n = ride.size();
    ASSERT_GE(n, 4u);
    for (size_t i : {size_t(0), size_t(1), n - 2, n - 1}) {
        SCOPED_TRACE(i);
        EXPECT_EQ(ride[i].x, centre[i].x);
        EXPECT_EQ(ride[i].z, centre[i].z);
        // Float sums and truncation to 16.16 may differ in the last bit.
        EXPECT_NEAR((ride[i].y - centre[i].y).Raw(), 2 * 65536, 2);
    }
}

}  // namespace

TEST(HighwayGeometry, SilentCourseClimbsAndTurnsLeft) {
    ::Test::LogCapture log;
    Ref<HighwayGeometry> h = New<HighwayGeometry>();
    ASSERT_TRUE(h->Construct(SilentTrack(30.0f)));

    // Silence: the maximum length and every band maximum and minimum become 1.
    EXPECT_EQ(h->GetMaxFlux(), (Vector3f{1.0f, 1.0f, 1.0f}));
    EXPECT_EQ(h->GetMinFlux(), (Vector3f{1.0f, 1.0f, 1.0f}));

    // m = 0: the slope settles at +40 degrees, the heading term is +1 per
    // section (theta -> 50), every step 3.125 long.
    const size_t n = h->GetSectionTime().size();
    ASSERT_GT(n, 200u);
    const Vector3f step = LastStep(*h);
    EXPECT_NEAR(step.Length(), 3.125f, 1e-3f);
    const double theta = 50.0 * (1.0 - std::pow(0.98, static_cast<double>(n)));
    ExpectNear(step * (1.0f / 3.125f), Direction(40.0, theta), 2e-3f);

    // Climbing all the way, and bending left (towards -x).
    const std::vector<Vector3>& ride = h->GetRideLine();
    for (size_t i = 1; i < n; ++i) ASSERT_GT(ride[i].y, ride[i - 1].y) << i;
    EXPECT_LT(ride.back().x.ToFloat(), -50.0f);
    // The right vector is horizontal, across the direction of travel.
    const Vector3f right = ToFloat3(h->GetRightVectors().back());
    EXPECT_NEAR(right.y, 0.0f, 1e-6f);
    EXPECT_NEAR(right.x * step.x + right.z * step.z, 0.0f, 1e-2f);
    EXPECT_GT(right.x * step.z * -1.0f + right.z * step.x, 0.0f);  // to the right of travel
    for (const Vector3& up : h->GetUpVectors()) EXPECT_EQ(up, Vector3::UnitY);

    ExpectRideTwoAboveAtEnds(*h);
    EXPECT_TRUE(log.Contains("[D] HighwayGeometry::Construct\n"));
}

TEST(HighwayGeometry, EqualFluxDescendsAndTurnsRight) {
    Ref<HighwayGeometry> h = New<HighwayGeometry>();
    ASSERT_TRUE(h->Construct(EqualTrack(30.0f)));

    // Every section sums 11 equal points.
    const std::vector<Vector3f>& sections = h->GetSectionFlux();
    for (const Vector3f& f : sections) ASSERT_EQ(f, sections.front());

    // m = 1: slope -> -40, heading term 2 - 5 + 2 = -1 (theta -> -50), steps 12.5.
    const size_t n = sections.size();
    const Vector3f step = LastStep(*h);
    EXPECT_NEAR(step.Length(), 12.5f, 1e-3f);
    const double theta = -50.0 * (1.0 - std::pow(0.98, static_cast<double>(n)));
    ExpectNear(step * (1.0f / 12.5f), Direction(-40.0, theta), 2e-3f);

    const std::vector<Vector3>& ride = h->GetRideLine();
    for (size_t i = 1; i < n; ++i) ASSERT_LT(ride[i].y, ride[i - 1].y) << i;
    EXPECT_GT(ride.back().x.ToFloat(), 100.0f);
    ExpectRideTwoAboveAtEnds(*h);

    // The course length is the last section's time in 16.16.
    EXPECT_EQ(h->GetEndTime().Raw(), static_cast<I32>(h->GetSectionTime().back() * 65536.0f));
    EXPECT_EQ(h->GetWidth(), Fixed::FromInt(10));
}

TEST(HighwayGeometry, ThreeSectionsMakeFiveIndicesAndEveryStageLogs) {
    ::Test::LogCapture log;
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
    EXPECT_EQ(h->GetIndexCount(), 5);
    EXPECT_EQ(h->GetVertexCount(), 6);
    EXPECT_EQ(h->GetDirtyBits() & 19u, 19u);

    // Left and right edges 8 units either side of the centre.
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
    const std::vector<Vector3>& c = h->GetCentreLine();
    EXPECT_EQ(uv[2].v, 0.0f);
    EXPECT_NEAR(uv[4].v, RaceTest::Distance(c[0], c[1]) / 15.0f, 1e-4f);
    EXPECT_EQ(uv[0].v, -(uv[4].v - uv[2].v));
    EXPECT_EQ(uv[0].u, 0.0f);
    EXPECT_EQ(uv[5].u, 1.0f);

    const std::vector<std::string> expected = {
        "[D] HighwayGeometry::Construct",
        "[D] HighwayGeometry::ComputeGeometry: CenterLine.",
        "[D] HighwayGeometry::ComputeGeometry: Calc Up/Right.",
        "[D] HighwayGeometry::ComputeGeometry: Smooth.",
        "[D] HighwayGeometry::ComputeGeometry: CreateVertices.",
        "[D] HighwayGeometry::ComputeGeometry: CreateIndices.",
        "[D] HighwayGeometry::ComputeGeometry: Triangles=3",
    };
    std::vector<std::string> lines;
    for (const std::string& line : log.Lines())
        if (line.find("Highway") != std::string::npos) lines.push_back(line);
    EXPECT_EQ(lines, expected);

    // Fewer than four vertices: no strip at all, nothing drawn.
    data.Time.resize(3);
    data.Flux.resize(3);
    data.Threshold.resize(3);
    Ref<HighwayGeometry> tiny = New<HighwayGeometry>();
    ASSERT_TRUE(tiny->Construct(data));
    EXPECT_EQ(tiny->GetVertexCount(), 4);  // two sections still make a strip of one triangle
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
    Vector3 ride = sentinel, centre = sentinel, up = sentinel, right = sentinel;
    EXPECT_FALSE(h->Eval(Fixed::Zero, ride, centre, up, right));  // nothing built yet

    ASSERT_TRUE(h->Construct(SilentTrack(10.0f)));
    ASSERT_TRUE(h->Eval(Fixed::Zero, ride, centre, up, right));
    EXPECT_EQ(ride, h->GetRideLine()[0]);
    EXPECT_EQ(centre, h->GetCentreLine()[0]);
    EXPECT_EQ(up, Vector3::UnitY);
    EXPECT_EQ(right, h->GetRightVectors()[0]);

    // Before the start counts as the start.
    Vector3 r2, c2, u2, x2;
    ASSERT_TRUE(h->Eval(Fixed::FromInt(-3), r2, c2, u2, x2));
    EXPECT_EQ(r2, ride);

    // At and past the end: false, outputs untouched.
    const Fixed end = h->GetEndTime();
    ride = centre = up = right = sentinel;
    EXPECT_FALSE(h->Eval(end, ride, centre, up, right));
    EXPECT_FALSE(h->Eval(end + Fixed::One, ride, centre, up, right));
    EXPECT_EQ(ride, sentinel);
    EXPECT_EQ(centre, sentinel);
    EXPECT_EQ(up, sentinel);
    EXPECT_EQ(right, sentinel);

    // Just before the end: the last point.
    ASSERT_TRUE(h->Eval(end - Fixed::Epsilon, ride, centre, up, right));
    EXPECT_LT(RaceTest::Distance(ride, h->GetRideLine().back()), 0.01f);

    // Song time spreads evenly over the sections: halfway between two section
    // positions the point lies on the segment between them.
    const std::vector<Vector3>& line = h->GetRideLine();
    const I32 n = static_cast<I32>(line.size());
    for (I32 i : {3, n / 2, n - 3}) {
        const Fixed t = Fixed::FromRaw(static_cast<I32>((static_cast<I64>(end.Raw()) * (2 * i + 1)) / (2 * n)));
        ASSERT_TRUE(h->Eval(t, ride, centre, up, right));
        const Vector3& a = line[static_cast<size_t>(i)];
        const Vector3& b = line[static_cast<size_t>(i + 1)];
        const float ab = RaceTest::Distance(a, b);
        EXPECT_NEAR(RaceTest::Distance(a, ride) + RaceTest::Distance(ride, b), ab, 1e-3f) << i;
        EXPECT_NEAR(RaceTest::Distance(a, ride), ab / 2.0f, ab * 0.05f) << i;
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
    EXPECT_EQ(h->GetIndexData(), h->GetData()->m_Indices.data());

    const I32 indexCount = static_cast<I32>(h->GetData()->m_Indices.size());
    int moves = 0;
    I32 lastFirst = -1;
    for (int frame = 0; frame < 20 * 60; ++frame) {
        const Fixed t = Fixed::FromRaw(frame * 65536 / 60);
        h->SetDirtyBits(0);
        h->SetVisibleRange(t);
        const I32 first = h->GetWindowFirst();
        if (h->GetDirtyBits() & ArrayIndices) {
            ++moves;
            const I32 s = t.ToInt();
            EXPECT_EQ(frame % 60, 0) << "the window moves only when the second changes";
            EXPECT_EQ(first % 3, 0);
            EXPECT_LE(first + window + 2, indexCount);
            EXPECT_LE(first, table[static_cast<size_t>(std::max(s - 1, 0))]);
            EXPECT_EQ(h->GetIndexData(), h->GetData()->m_Indices.data() + first);
            EXPECT_EQ(h->GetIndexCount(), window + 2);
            // Drawn: from about the start of the current second to five seconds on.
            const float from = times[static_cast<size_t>(first / 2)];
            const float to = times[static_cast<size_t>((first + window + 1) / 2)];
            EXPECT_NEAR(to - from, 5.0f, 0.3f) << s;
            if (s >= 2 && first + window + 2 < indexCount - 3) {
                EXPECT_LE(from, static_cast<float>(s)) << s;
                EXPECT_GT(from, static_cast<float>(s) - 0.5f) << s;
            }
        } else {
            EXPECT_EQ(first, lastFirst);
        }
        lastFirst = first;
    }
    EXPECT_EQ(moves, 20);
    // Late in the course the window is held against the end of the strip.
    EXPECT_GE(lastFirst + window + 2, indexCount - 3);
}

TEST(HighwayGeometry, RefusesCoursesBeyondSixteenBitIndices) {
    TrackData data;
    for (int k = 0; k <= 32767; ++k) {  // one section per point: 32767 sections
        data.Time.push_back(0.125f * static_cast<float>(k));
        data.Flux.push_back({1.0f, 1.0f, 1.0f});
        data.Threshold.push_back({2.0f, 2.0f, 2.0f});
    }
    EXPECT_EQ(HighwayGeometry::CountSections(data), 32767);
    Ref<HighwayGeometry> largest = New<HighwayGeometry>();
    ASSERT_TRUE(largest->Construct(data));
    EXPECT_EQ(largest->GetVertexCount(), 65534);
    std::vector<U16> indices;
    largest->GetIndices(indices);
    EXPECT_EQ(indices.back(), 65532);

    data.Time.push_back(0.125f * 32768.0f);
    data.Flux.push_back({1.0f, 1.0f, 1.0f});
    data.Threshold.push_back({2.0f, 2.0f, 2.0f});
    ::Test::LogCapture log;
    Ref<HighwayGeometry> tooLong = New<HighwayGeometry>();
    EXPECT_FALSE(tooLong->Construct(data));
    EXPECT_TRUE(log.Contains("[E] HighwayGeometry::Construct: a course of 65536 vertices exceeds the limit of 65535."));
    EXPECT_EQ(tooLong->GetVertexCount(), 0);
    EXPECT_EQ(tooLong->GetIndexCount(), 0);
}
