// Helpers shared by the race tests: track data built in code (control points
// 512 samples apart at 44100 Hz, thresholds as the analysis computes them),
// tiny obstacle models and the world matrices the draw traversal would set.
#pragma once

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "Analysis/TrackData.h"
#include "Analysis/TrackGen.h"
#include "Math/MathFunctions.h"
#include "Race/LaneGroup.h"
#include "Scene/PolygonGeometry.h"
#include "Scene/Transform.h"

namespace RaceTest {

const float PointSeconds = 512.0f / 44100.0f;

inline Meridian::Fixed Seconds(double s) { return Meridian::Fixed::FromRaw(static_cast<Meridian::I32>(s * 65536.0)); }

// Control point i at i * 512 / 44100 s with the flux flux(i, time) for all
// three bands; thresholds are twice the local mean, as the analysis stores.
inline TrackData MakeTrack(float seconds, const std::function<TrackData::Bands(int, float)>& flux) {
    TrackData data;
    const int count = static_cast<int>(seconds / PointSeconds) + 1;
    std::vector<float> bands[3];
    for (int i = 0; i < count; ++i) {
        const float time = static_cast<float>(i) * PointSeconds;
        data.Time.push_back(time);
        data.Flux.push_back(flux(i, time));
        for (int b = 0; b < 3; ++b) bands[b].push_back(data.Flux.back()[b]);
    }
    std::vector<float> threshold[3];
    for (int b = 0; b < 3; ++b) TrackGen::ComputeThresholds(bands[b], 2.0f, threshold[b]);
    data.Threshold.resize(data.Time.size());
    for (size_t i = 0; i < data.Time.size(); ++i)
        for (int b = 0; b < 3; ++b) data.Threshold[i][b] = threshold[b][i];
    return data;
}

// Every control point the same flux, except a silent first point so that
// every section sums the same number of points (11).
inline TrackData EqualTrack(float seconds, float value = 3.0f) {
    return MakeTrack(seconds, [value](int i, float) {
        const float v = i == 0 ? 0.0f : value;
        return TrackData::Bands{v, v, v};
    });
}

inline TrackData SilentTrack(float seconds) {
    return MakeTrack(seconds, [](int, float) { return TrackData::Bands{0.0f, 0.0f, 0.0f}; });
}

// A Transform holding one small triangle mesh, as an imported model would.
inline Meridian::Transform* MakeModel() {
    Meridian::Transform* root = Meridian::New<Meridian::Transform>();
    Meridian::PolygonGeometry* mesh = Meridian::New<Meridian::PolygonGeometry>();
    mesh->SetVertices({{-0.5f, 0.0f, 0.0f}, {0.5f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}});
    mesh->SetPrimitiveType(Meridian::PrimitiveTriangles);
    mesh->SetIndices({0, 1, 2});
    mesh->SetParent(root);
    return root;
}

// The world matrices the draw traversal would give the obstacles of a lane
// group standing at the origin.
inline void UpdateWorld(Meridian::LaneGroup& lanes) {
    for (Meridian::I32 s = 0; s < lanes.GetBucketCount(); ++s)
        for (const Meridian::Ref<Meridian::LookTransform>& obstacle : lanes.GetObstacles(s))
            obstacle->SetWorldMatrix(obstacle->GetLocalMatrix(), 1);
}

inline float Distance(const Meridian::Vector3& a, const Meridian::Vector3& b) {
    const float dx = (a.x - b.x).ToFloat(), dy = (a.y - b.y).ToFloat(), dz = (a.z - b.z).ToFloat();
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

}  // namespace RaceTest
