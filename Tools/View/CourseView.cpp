// Course view: a song's race course as the race builds it (the song's track
// file, "./Data/SkyRail/" textures and obstacle models, relative to --root or
// the working directory), seen from one of three places:
//
//   chase  (default) the glider's chase camera at --time T: eye P + 2U - 8D,
//          looking at P + 0.75U, with the race's drawn window and the
//          obstacles the lanes show at that time.
//   above  the stretch [T, T + --span S] from straight above (north up),
//          every obstacle of the stretch shown.
//   side   the same stretch from its right side, to see it climb and fall.
//
// --span defaults to the whole course after T; --time defaults to 25 % of it.
// Prints the course's length, obstacle counts and the camera used.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "Race/AudioTrack.h"
#include "Race/Race.h"
#include "ViewScene.h"

using namespace Meridian;

namespace View {

namespace {

Vector3f ToFloat(const Vector3& v) { return {v.x.ToFloat(), v.y.ToFloat(), v.z.ToFloat()}; }
Vector3 ToFixed(const Vector3f& v) { return {Fixed::FromFloat(v.x), Fixed::FromFloat(v.y), Fixed::FromFloat(v.z)}; }

// The race objects must outlive the drawing, which happens after the build.
std::unique_ptr<AudioTrack> s_Track;

// The section Eval answers for at time t (song time spread evenly).
I32 SectionAt(const HighwayGeometry& highway, float t) {
    const I32 n = static_cast<I32>(highway.GetCentreLine().size());
    const float end = highway.GetEndTime().ToFloat();
    if (end <= 0) return 0;
    return std::min(std::max(static_cast<I32>(t / end * n), 0), n - 1);
}

// A plain strip of the highway's sections first .. last, drawn whole.
PolygonGeometry* StretchMesh(HighwayGeometry& highway, I32 first, I32 last) {
    PolygonGeometry* mesh = New<PolygonGeometry>();
    std::vector<Float3> vertices;
    std::vector<Float2> coords;
    highway.GetVertices(vertices);
    highway.GetTexCoords(0, coords);
    mesh->SetVertices(vertices);
    mesh->SetTexCoords(0, coords);
    std::vector<U16> indices;
    for (I32 k = 2 * first; k <= 2 * last + 1 && k < static_cast<I32>(vertices.size()); ++k)
        indices.push_back(static_cast<U16>(k));
    mesh->SetPrimitiveType(PrimitiveStrip);
    mesh->SetIndices(indices);
    mesh->SetShader(highway.GetShader());
    return mesh;
}

void ShowStretch(LaneGroup& lanes, float from, float to) {
    for (I32 s = 0; s < lanes.GetBucketCount(); ++s)
        for (size_t k = 0; k < lanes.GetObstacles(s).size(); ++k) {
            const float t = lanes.GetTimes(s)[k].ToFloat();
            lanes.SetShown(lanes.GetObstacles(s)[k], t >= from && t <= to);
        }
}

}  // namespace

bool BuildCourse(const Options& options, Scene& scene) {
    const std::string root = options.Get("root");
    if (!root.empty() && chdir(root.c_str()) != 0) {
        std::fprintf(stderr, "skyrail-view: cannot enter %s\n", root.c_str());
        return false;
    }
    s_Track.reset(new AudioTrack());
    s_Track->Init(options.inputs[0], scene.World());
    HighwayGeometry* highway = s_Track->GetHighway();
    LaneGroup* lanes = s_Track->GetLaneGroup();
    if (!highway || !lanes) {
        std::fprintf(stderr, "skyrail-view: no race for %s (see --verbose)\n", options.inputs[0].c_str());
        return false;
    }
    const float end = highway->GetEndTime().ToFloat();
    const float t0 = std::strtof(options.Get("time", std::to_string(end * 0.25f)).c_str(), nullptr);
    const float span = std::strtof(options.Get("span", std::to_string(end)).c_str(), nullptr);
    const std::string view = options.Get("view", "chase");
    std::printf("%s: course %.2f s, %zu sections, %d capsules, %d mines\n", options.inputs[0].c_str(), end,
                highway->GetCentreLine().size(), lanes->GetGoodCount(), lanes->GetBadCount());

    CoursePoint rideAt, centreAt;
    Vector3 ride, centre, up, right;
    if (!highway->EvalCourse(Fixed::FromFloat(t0), rideAt, centreAt, up, right)) {
        std::fprintf(stderr, "skyrail-view: time %.2f lies beyond the course\n", t0);
        return false;
    }
    // Far along a long course, the scene is placed relative to an origin
    // near t0, as the race places it (coordinates below are relative to it).
    if (centreAt.ReachFrom(CoursePoint{}) >= Race::OriginReach) {
        highway->SetOrigin(centreAt.Snapped());
        lanes->FollowOrigin();
        const CoursePoint& o = highway->GetOrigin();
        std::printf("origin (%lld %lld %lld)\n", static_cast<long long>(o.x >> 16), static_cast<long long>(o.y >> 16),
                    static_cast<long long>(o.z >> 16));
    }
    highway->Eval(Fixed::FromFloat(t0), ride, centre, up, right);

    if (view == "chase") {
        // As the race places its camera: P(t0) + 2U - 8D looking at P(t0) + 0.75U.
        const Fixed time = Fixed::FromFloat(t0);
        highway->SetVisibleRange(time);
        lanes->Update(time);
        Vector3 ahead, c1, u1, r1;
        if (!highway->Eval(time + Fixed::FromRaw(9830), ahead, c1, u1, r1)) ahead = ride;
        const Vector3 rise = ahead - ride;
        Vector3 d = rise;
        d.Normalize();
        const Vector3 eye = ride + up * Fixed::FromInt(2) - d * Fixed::FromInt(8);
        const Vector3 target = ride + up * Fixed::FromRaw(49152);
        scene.CameraTransform()->SetTranslation(eye);
        scene.CameraTransform()->SetTarget(target);
        scene.CameraTransform()->SetUp(up);
        const Fixed fov = Fixed::FromInt(52) - Clamp(rise.y, Fixed::FromInt(-2), Fixed::FromInt(3));
        scene.GetCamera()->SetFieldOfView(fov);
        scene.GetCamera()->SetNear(Fixed::One);
        scene.GetCamera()->SetFar(Fixed::FromInt(1000));
        const Vector3f e = ToFloat(eye), g = ToFloat(target);
        std::printf("chase at %.2f s: eye (%.1f %.1f %.1f) target (%.1f %.1f %.1f) fov %.1f\n", t0, e.x, e.y, e.z, g.x,
                    g.y, g.z, fov.ToFloat());
        return true;
    }

    // above / side: the whole stretch as a plain strip instead of the window,
    // under a scaling that keeps the camera's depth range within what the
    // 16.16 projection can hold (near x far below 16384).
    const I32 first = SectionAt(*highway, t0), last = SectionAt(*highway, t0 + span);
    Vector3f low{1e30f, 1e30f, 1e30f}, high{-1e30f, -1e30f, -1e30f};
    for (I32 i = first; i <= last; ++i) {
        const Vector3f p = highway->GetCentreLine()[static_cast<size_t>(i)].FloatFrom(highway->GetOrigin());
        low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
        high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
    }
    const float size = std::max((high - low).Length(), 20.0f);
    const float k = std::min(1.0f, 120.0f / size);
    Ref<Transform> scaled = New<Transform>();
    scaled->SetScaling({Fixed::FromFloat(k), Fixed::FromFloat(k), Fixed::FromFloat(k)});
    scaled->SetParent(scene.World());
    highway->SetParent(scaled);
    lanes->SetParent(scaled);
    highway->SetEnabled(0);
    Ref<PolygonGeometry> stretch = StretchMesh(*highway, first, last);
    stretch->SetParent(scaled);
    ShowStretch(*lanes, t0, t0 + span);
    low = low * k;
    high = high * k;

    // An orthographic camera: the near distance is also the half height seen.
    const Vector3f middle = (low + high) * 0.5f;
    const float margin = 0.06f * std::max({high.x - low.x, high.y - low.y, high.z - low.z}) + 2.0f * k;
    Vector3f direction, cameraUp;
    float extent, thickness;
    if (view == "above") {
        extent = std::max((high.x - low.x) / 2 * 0.75f, (high.z - low.z) / 2) + margin;
        thickness = high.y - low.y;
        direction = {0, 1, 0};
        cameraUp = {0, 0, -1};
    } else if (view == "side") {
        // Across the stretch's overall direction from its right, 20 degrees
        // up, so that the course runs from left to right.
        const Vector3f a = highway->GetCentreLine()[static_cast<size_t>(first)].FloatFrom(highway->GetOrigin());
        const Vector3f b = highway->GetCentreLine()[static_cast<size_t>(last)].FloatFrom(highway->GetOrigin());
        Vector3f along = {b.x - a.x, 0, b.z - a.z};
        if (along.Length() < 1e-3f) along = {0, 0, -1};
        along = along * (1.0f / along.Length());
        const Vector3f right = {-along.z, 0, along.x};
        thickness = (high - low).Length();
        extent = std::max(thickness / 2 * 0.75f, (high.y - low.y) / 2) + margin;
        direction = right * 0.94f + Vector3f{0, 0.34f, 0};
        cameraUp = {0, 1, 0};
    } else {
        std::fprintf(stderr, "skyrail-view: unknown --view %s (chase, above or side)\n", view.c_str());
        return false;
    }
    const float distance = extent + thickness + margin;
    scene.CameraTransform()->SetTranslation(ToFixed(middle + direction * distance));
    scene.CameraTransform()->SetTarget(ToFixed(middle));
    scene.CameraTransform()->SetUp(ToFixed(cameraUp));
    scene.GetCamera()->SetCameraType(Camera::Orthographic);
    scene.GetCamera()->SetNear(Fixed::FromFloat(extent));
    scene.GetCamera()->SetFar(Fixed::FromFloat(distance + thickness + margin));
    std::printf("%s of %.2f .. %.2f s: sections %d .. %d, centre line (%.1f %.1f %.1f) .. (%.1f %.1f %.1f)\n",
                view.c_str(), t0, t0 + span, first, last, low.x / k, low.y / k, low.z / k, high.x / k, high.y / k,
                high.z / k);
    return true;
}

}  // namespace View
