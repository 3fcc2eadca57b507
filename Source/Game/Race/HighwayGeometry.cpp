#include "Race/HighwayGeometry.h"

#include <algorithm>
#include <cmath>

#include "Core/Log.h"

namespace Meridian {

namespace {

const F32 DegreesToRadians = 0.017453292f;
const Vector3f ZeroF = {0.0f, 0.0f, 0.0f};
const Vector3f UpF = {0.0f, 1.0f, 0.0f};
// Courses at least this long (raw 16.16 seconds, 65536 / 60 s) place the
// glider with 64-bit time.
const I64 FineEnd = (I64{65536} << 16) / 60;

F32 LengthOf(const Vector3f& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

// Scales v to unit length unless it already is within float tolerance (or is
// zero, which has no direction).
void NormaliseUnlessUnit(Vector3f& v) {
    const F32 squared = v.x * v.x + v.y * v.y + v.z * v.z;
    if (squared >= 0.99999976f && squared <= 1.0000002f) return;
    const F32 length = std::sqrt(squared);
    if (length > 0.0f) v = {v.x / length, v.y / length, v.z / length};
}

// In-place binomial smoothing (1 2 3 2 1)/9; the two points at each end stay.
// Each point already sees this pass's new values of the two points before it.
void Smooth(std::vector<Vector3f>& points, int passes) {
    const size_t n = points.size();
    if (n <= 4) return;
    for (int pass = 0; pass < passes; ++pass) {
        for (size_t i = 2; i + 2 < n; ++i) {
            const Vector3f sum = points[i - 2] + points[i - 1] * 2.0f + points[i] * 3.0f + points[i + 1] * 2.0f +
                                 points[i + 2];
            points[i] = sum * (1.0f / 9.0f);
        }
    }
}

Vector3 ToFixed(const Vector3f& v) { return {Fixed::FromFloat(v.x), Fixed::FromFloat(v.y), Fixed::FromFloat(v.z)}; }

// A + (B - A) * f for f in 0 .. 65536 (raw), as two 16.16 products.
Vector3 Blend(const Vector3& a, const Vector3& b, I32 f) {
    const Fixed wa = Fixed::FromRaw(65536 - f);
    const Fixed wb = Fixed::FromRaw(f);
    return {a.x * wa + b.x * wb, a.y * wa + b.y * wb, a.z * wa + b.z * wb};
}
// The same products in 64 bits (equal to the 16.16 ones within their range).
CoursePoint Blend(const CoursePoint& a, const CoursePoint& b, I32 f) {
    const I64 wa = 65536 - f, wb = f;
    const auto mix = [&](I64 p, I64 q) { return ((p * wa) >> 16) + ((q * wb) >> 16); };
    return {mix(a.x, b.x), mix(a.y, b.y), mix(a.z, b.z)};
}

}  // namespace

HighwayGeometry::HighwayGeometry()
    : m_MinFlux(ZeroF),
      m_MaxFlux(ZeroF),
      m_MaxLength(0.0f),
      m_Width(Fixed::FromInt(10)),
      m_EndTime(Fixed::Zero),
      m_WindowFirst(0),
      m_LastSecond(-1) {}

HighwayGeometry::~HighwayGeometry() {}

I32 HighwayGeometry::CountSections(const TrackData& data) {
    I32 sections = 0;
    F32 lastClose = 0.0f;
    for (F32 time : data.Time) {
        if (time - lastClose >= SectionSeconds) {
            ++sections;
            lastClose = time;
        }
    }
    return sections;
}

bool HighwayGeometry::Construct(const TrackData& data) {
    LogD() << "HighwayGeometry::Construct";
    const I32 sections = CountSections(data);
    if (sections > MaxVertices / 2) {
        LogE() << "HighwayGeometry::Construct: a course of " << sections * 2 << " vertices exceeds the limit of "
               << MaxVertices << ".";
        return false;
    }

    m_TrackFlux = data.Flux;
    m_TrackThreshold = data.Threshold;
    m_TrackTime = data.Time;

    // Sections: the flux summed over each eighth of a second (a little more,
    // as control points fall); flux after the last full section is dropped.
    m_SectionFlux.clear();
    m_SectionTime.clear();
    Vector3f sum = ZeroF;
    F32 lastClose = 0.0f;
    const size_t points = std::min(data.Time.size(), data.Flux.size());
    for (size_t i = 0; i < points; ++i) {
        sum += Vector3f{data.Flux[i][0], data.Flux[i][1], data.Flux[i][2]};
        if (data.Time[i] - lastClose >= SectionSeconds) {
            m_SectionFlux.push_back(sum);
            m_SectionTime.push_back(data.Time[i]);
            lastClose = data.Time[i];
            sum = ZeroF;
        }
    }

    ComputeStatistics();
    ComputeGeometry();
    return true;
}

void HighwayGeometry::ComputeStatistics() {
    m_EndTime = m_SectionTime.empty() ? Fixed::Zero
                                      : Fixed::FromRaw(static_cast<I32>(m_SectionTime.back() * 65536.0f));
    F32 maxLength = 0.0f;
    Vector3f maximum = ZeroF;
    Vector3f minimum = {1000000.0f, 1000000.0f, 1000000.0f};
    for (const Vector3f& f : m_SectionFlux) {
        maxLength = std::max(maxLength, LengthOf(f));
        maximum = {std::max(maximum.x, f.x), std::max(maximum.y, f.y), std::max(maximum.z, f.z)};
        minimum = {std::min(minimum.x, f.x), std::min(minimum.y, f.y), std::min(minimum.z, f.z)};
    }
    // Silence would divide by zero below; 1.0 makes it plain "quiet".
    auto positive = [](F32 value) { return value <= 0.0f ? 1.0f : value; };
    m_MaxLength = positive(maxLength);
    m_MaxFlux = {positive(maximum.x), positive(maximum.y), positive(maximum.z)};
    m_MinFlux = {positive(minimum.x), positive(minimum.y), positive(minimum.z)};
}

void HighwayGeometry::ComputeGeometry() {
    const size_t n = m_SectionFlux.size();

    LogD() << "HighwayGeometry::ComputeGeometry: CenterLine.";
    std::vector<Vector3f> centre;
    centre.reserve(n);
    F32 slope = 0.0f;    // degrees, negative downhill
    F32 heading = 0.0f;  // degrees, positive turns left
    Vector3f position = ZeroF;
    for (const Vector3f& f : m_SectionFlux) {
        const F32 m = LengthOf(f) / m_MaxLength;
        slope = slope - ((2.0f * m - 1.0f) * 30.0f + 0.75f * slope);
        heading = 0.98f * heading + 2.0f * (2.0f * f.x / m_MaxFlux.x - 1.0f) -
                  5.0f * (2.0f * f.y / m_MaxFlux.y - 1.0f) + 2.0f * (2.0f * f.z / m_MaxFlux.z - 1.0f);
        // Forward (0, 0, -1) turned by Rx(slope) then Ry(heading).
        const F32 phi = slope * DegreesToRadians;
        const F32 theta = heading * DegreesToRadians;
        const Vector3f direction = {-std::cos(phi) * std::sin(theta), std::sin(phi),
                                    -std::cos(phi) * std::cos(theta)};
        const F32 step = 0.75f * m * 12.5f + 3.125f;
        position += direction * step;
        centre.push_back(position);
    }
    Smooth(centre, 1);

    LogD() << "HighwayGeometry::ComputeGeometry: Calc Up/Right.";
    std::vector<Vector3f> right(n), ride(n);
    for (size_t i = 0; i < n; ++i) {
        Vector3f d = centre[i] - (i > 0 ? centre[i - 1] : ZeroF);
        NormaliseUnlessUnit(d);
        Vector3f r = d.Cross(UpF);  // the road never banks
        NormaliseUnlessUnit(r);
        right[i] = r;
        ride[i] = centre[i] + UpF * 2.0f;
    }

    LogD() << "HighwayGeometry::ComputeGeometry: Smooth.";
    Smooth(ride, 3);

    LogD() << "HighwayGeometry::ComputeGeometry: CreateVertices.";
    const F32 halfWidth = 0.8f * m_Width.ToFloat();
    std::vector<Float3> vertices(2 * n);
    m_CourseTexV.resize(n);
    m_RideLine.resize(n);
    m_CentreLine.resize(n);
    m_RightVectors.resize(n);
    m_UpVectors.resize(n);
    F64 v = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const Vector3f offset = right[i] * halfWidth;
        const Vector3f left = centre[i] - offset, rightEdge = centre[i] + offset;
        vertices[2 * i] = {left.x, left.y, left.z};
        vertices[2 * i + 1] = {rightEdge.x, rightEdge.y, rightEdge.z};
        m_CourseTexV[i] = v;
        if (i >= 1) v += static_cast<F64>(LengthOf(centre[i - 1] - centre[i])) / 15.0;
        m_RideLine[i] = CoursePoint::OfFloat(ride[i]);
        m_CentreLine[i] = CoursePoint::OfFloat(centre[i]);
        m_RightVectors[i] = ToFixed(right[i]);
        m_UpVectors[i] = Vector3::UnitY;
    }
    // The first two pairs share v = 0; start the texture one segment earlier
    // so it runs evenly through the first segment.
    if (n > 2) m_CourseTexV[0] = -(m_CourseTexV[2] - m_CourseTexV[1]);
    m_CourseVertices = std::move(vertices);
    m_Origin = CoursePoint{};
    PlaceVertices();

    LogD() << "HighwayGeometry::ComputeGeometry: CreateIndices.";
    const I32 vertexCount = static_cast<I32>(2 * n);
    I32 triangles = 0;
    m_SecondTable.clear();
    if (vertexCount >= 4) {
        std::vector<U16> indices = {0, 1, 2};
        indices.reserve(static_cast<size_t>(vertexCount));
        for (I32 k = 3; k <= vertexCount - 2; ++k) {
            indices.push_back(static_cast<U16>(k));
            const I32 second = static_cast<I32>(m_SectionTime[static_cast<size_t>(k / 2)]);
            if (static_cast<I32>(m_SecondTable.size()) < second + 1)
                m_SecondTable.resize(static_cast<size_t>(second + 1), 0);
            m_SecondTable[static_cast<size_t>(second)] = k - 2;
        }
        if (m_SecondTable.empty()) m_SecondTable.push_back(0);
        m_SecondTable[0] = 0;
        triangles = vertexCount - 3;
        SetPrimitiveType(PrimitiveStrip);
        SetIndices(indices);
        SetPrimitiveCount(m_SecondTable.size() > 4 ? m_SecondTable[4] : triangles);
    }
    LogD() << "HighwayGeometry::ComputeGeometry: Triangles=" << triangles;
}

bool HighwayGeometry::Eval(Fixed t, Vector3& ride, Vector3& centre, Vector3& up, Vector3& right) const {
    CoursePoint rideAt, centreAt;
    if (!EvalCourse(t, rideAt, centreAt, up, right)) return false;
    ride = rideAt.RelativeTo(m_Origin);
    centre = centreAt.RelativeTo(m_Origin);
    return true;
}

void HighwayGeometry::SetOrigin(const CoursePoint& origin) {
    if (origin == m_Origin) return;
    m_Origin = origin;
    PlaceVertices();
}

void HighwayGeometry::PlaceVertices() {
    // A long course spreads farther than a bounding sphere can measure; it
    // is then unbounded (never culled), which is no fault of the data.
    const Vector3f shift = m_Origin.FloatFrom(CoursePoint{});
    std::vector<Float3>& drawn = m_Data->m_Vertices;
    drawn.resize(m_CourseVertices.size());
    for (size_t i = 0; i < drawn.size(); ++i) {
        const Float3& v = m_CourseVertices[i];
        drawn[i] = {v.x - shift.x, v.y - shift.y, v.z - shift.z};
    }
    m_Data->m_BoundingSphere = BoundsOf(drawn);
    MarkDirty(ArrayVertices);

    // The texture runs along the whole course; near the origin it is taken
    // less the whole repeats up to there, so that v stays small where the
    // road is seen (in float, v of an hour's course would be half a texel
    // coarse).
    F64 repeats = 0.0;
    if (!(m_Origin == CoursePoint{})) {
        F32 nearest = -1.0f;
        for (size_t i = 0; i < m_CentreLine.size(); ++i) {
            const Vector3f d = m_CentreLine[i].FloatFrom(m_Origin);
            const F32 squared = d.Dot(d);
            if (nearest < 0.0f || squared < nearest) {
                nearest = squared;
                repeats = std::floor(m_CourseTexV[i]);
            }
        }
    }
    std::vector<Float2> texCoords(2 * m_CourseTexV.size());
    for (size_t i = 0; i < m_CourseTexV.size(); ++i) {
        const F32 v = static_cast<F32>(m_CourseTexV[i] - repeats);
        texCoords[2 * i] = {0.0f, v};
        texCoords[2 * i + 1] = {1.0f, v};
    }
    SetTexCoords(0, texCoords);
}

bool HighwayGeometry::EvalCourse(Fixed t, CoursePoint& ride, CoursePoint& centre, Vector3& up, Vector3& right) const {
    const I32 n = static_cast<I32>(m_RideLine.size());
    if (n == 0) return false;
    const Fixed end = m_EndTime;
    if (t >= end) return false;
    if (t < Fixed::Zero) t = Fixed::Zero;
    // Song time spread evenly over the sections, in section units. As t / end
    // in 16.16, x moves in steps of end / 65536 seconds: finer than a frame at
    // 60 Hz up to about 18 minutes, courses that stay as they always were. A
    // longer course divides in 64 bits so that the glider still moves every
    // frame.
    Fixed x;
    if (end.Raw() < FineEnd) {
        const Fixed u = end.Raw() == 0 ? Fixed::FromRaw(0x7FFFFFFF) : t / end;
        x = Fixed::FromInt(n) * u;
    } else {
        x = Fixed::FromRaw(static_cast<I32>(static_cast<I64>(t.Raw()) * n * 65536 / end.Raw()));
    }
    const I32 whole = x.Raw() >> 16;
    const I32 i0 = std::min(std::max(whole, 0), n - 1);
    const I32 i1 = std::min(std::max(whole + 1, 0), n - 1);
    const I32 f = std::min(std::max(x.Raw() - whole * 65536, 0), 65536);
    ride = Blend(m_RideLine[static_cast<size_t>(i0)], m_RideLine[static_cast<size_t>(i1)], f);
    centre = Blend(m_CentreLine[static_cast<size_t>(i0)], m_CentreLine[static_cast<size_t>(i1)], f);
    up = Blend(m_UpVectors[static_cast<size_t>(i0)], m_UpVectors[static_cast<size_t>(i1)], f);
    right = Blend(m_RightVectors[static_cast<size_t>(i0)], m_RightVectors[static_cast<size_t>(i1)], f);
    return true;
}

void HighwayGeometry::SetVisibleRange(Fixed t) {
    const I32 second = t.ToInt();
    if (second == m_LastSecond) return;
    m_LastSecond = second;
    if (m_SecondTable.empty()) return;

    const I32 last = static_cast<I32>(m_SecondTable.size()) - 1;
    const I32 index = std::min(std::max(second - 1, 0), last);
    const I32 window = GetPrimitiveCount();
    const I32 indexCount = PolygonGeometry::GetIndexCount();
    I32 first = m_SecondTable[static_cast<size_t>(index)];
    if (first + window + 2 > indexCount) first = indexCount - window - 2;
    first = first < 0 ? 0 : first - first % 3;
    m_WindowFirst = first;
    MarkDirty(ArrayIndices);
}

I32 HighwayGeometry::GetIndexCount() const {
    if (PolygonGeometry::GetIndexCount() == 0) return 0;
    return GetPrimitiveCount() + 2;
}

const U16* HighwayGeometry::GetIndexData() const {
    const U16* data = PolygonGeometry::GetIndexData();
    return data ? data + m_WindowFirst : nullptr;
}

}  // namespace Meridian
