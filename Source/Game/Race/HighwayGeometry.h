// HighwayGeometry: the race course built from a song's analysis.
//
// A ribbon 16 units wide, drawn as one triangle strip, whose slope follows the
// loudness of each eighth of a second and whose heading follows the balance of
// the three flux bands. Everything is computed once by Construct, in single
// precision; the per-frame lookups (Eval) read 16.16 tables. Only a window of
// about five seconds of course is drawn: GetIndexCount and GetIndexData hand
// the device the window that SetVisibleRange placed.
//
// Depends on: Scene/PolygonGeometry, Analysis/TrackData, Math.
// Limits: 16-bit indices address at most MaxVertices vertices (two per
// section, about 7.8 sections per second of music, so roughly 70 minutes);
// Construct refuses longer courses and the race loader checks first with
// CountSections.
// Origin: the course keeps absolute positions (CoursePoint); Eval and the
// drawn vertices are relative to the origin that SetOrigin placed (the
// course's start until then), so that what reaches 16.16 stays in range
// near the origin however long the course is.
#pragma once

#include <vector>

#include "Analysis/TrackData.h"
#include "Math/Fixed.h"
#include "Race/CoursePoint.h"
#include "Math/Vector3.h"
#include "Scene/PolygonGeometry.h"

namespace Meridian {

class HighwayGeometry : public PolygonGeometry {
    MERIDIAN_CLASS(HighwayGeometry, PolygonGeometry)

    // Two vertices per section; the strip's indices are 16 bits wide.
    static constexpr I32 MaxVertices = 65535;
    // A section closes once this much song time has gathered.
    static constexpr F32 SectionSeconds = 0.125f;

    HighwayGeometry();
    ~HighwayGeometry() override;

    // Number of course sections the track data yields (each gives two
    // vertices), without building anything.
    static I32 CountSections(const TrackData& data);

    // Builds the course; call once. Returns false (one error line, nothing
    // built) when the course would need more than MaxVertices vertices.
    bool Construct(const TrackData& data);

    // The course at song time t (seconds): the ride point 2 units above the
    // road, the centre of the road surface (both relative to the origin), the
    // up and the right vector. False, outputs untouched, at or past the end
    // of the course or before Construct.
    bool Eval(Fixed t, Vector3& ride, Vector3& centre, Vector3& up, Vector3& right) const;
    // The same with the ride and centre points absolute.
    bool EvalCourse(Fixed t, CoursePoint& ride, CoursePoint& centre, Vector3& up, Vector3& right) const;

    // Moves the origin that Eval and the drawn vertices are relative to;
    // whole multiples of 1024 units move the vertices exactly.
    void SetOrigin(const CoursePoint& origin);
    const CoursePoint& GetOrigin() const { return m_Origin; }

    // Moves the drawn window to start about one second before t; the window
    // only moves when the whole second of t changes.
    void SetVisibleRange(Fixed t);

    Fixed GetWidth() const { return m_Width; }
    // The course's length in song time.
    Fixed GetEndTime() const { return m_EndTime; }

    // The drawn window: window triangles + 2 indices starting at the
    // window's first index (0 and null while there are no indices).
    I32 GetIndexCount() const override;
    const U16* GetIndexData() const override;

    // The track data as Construct received it, for the lane builder.
    const std::vector<TrackData::Bands>& GetTrackFlux() const { return m_TrackFlux; }
    const std::vector<TrackData::Bands>& GetTrackThreshold() const { return m_TrackThreshold; }
    const std::vector<F32>& GetTrackTime() const { return m_TrackTime; }
    const Vector3f& GetMinFlux() const { return m_MinFlux; }
    const Vector3f& GetMaxFlux() const { return m_MaxFlux; }

    // Per section, for inspection and tests.
    const std::vector<Vector3f>& GetSectionFlux() const { return m_SectionFlux; }
    const std::vector<F32>& GetSectionTime() const { return m_SectionTime; }
    const std::vector<CoursePoint>& GetRideLine() const { return m_RideLine; }
    const std::vector<CoursePoint>& GetCentreLine() const { return m_CentreLine; }
    const std::vector<Vector3>& GetRightVectors() const { return m_RightVectors; }
    const std::vector<Vector3>& GetUpVectors() const { return m_UpVectors; }
    const std::vector<I32>& GetSecondTable() const { return m_SecondTable; }
    I32 GetWindowFirst() const { return m_WindowFirst; }

private:
    void ComputeStatistics();
    void ComputeGeometry();
    // The drawn vertices: the course's less the origin.
    void PlaceVertices();

    std::vector<TrackData::Bands> m_TrackFlux;
    std::vector<TrackData::Bands> m_TrackThreshold;
    std::vector<F32> m_TrackTime;
    std::vector<Vector3f> m_SectionFlux;
    std::vector<F32> m_SectionTime;
    Vector3f m_MinFlux;
    Vector3f m_MaxFlux;
    F32 m_MaxLength;
    Fixed m_Width;
    Fixed m_EndTime;
    std::vector<CoursePoint> m_RideLine;
    std::vector<CoursePoint> m_CentreLine;
    std::vector<Float3> m_CourseVertices;  // absolute; the drawn ones less the origin
    std::vector<F64> m_CourseTexV;          // texture v per section along the whole course
    CoursePoint m_Origin;
    std::vector<Vector3> m_RightVectors;
    std::vector<Vector3> m_UpVectors;
    std::vector<I32> m_SecondTable;
    I32 m_WindowFirst;
    I32 m_LastSecond;
};

}  // namespace Meridian
