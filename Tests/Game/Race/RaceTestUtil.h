// Race test helpers: track data built in code, tiny obstacle models, obstacle placement and a headless race.
#pragma once

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "Analysis/TrackData.h"
#include "Analysis/TrackGen.h"
#include "Audio/AudioPlayerSilent.h"
#include "Core/Devices.h"
#include "Core/System.h"
#include "Front/Screens.h"
#include "Input/InputNull.h"
#include "Math/MathFunctions.h"
#include "Race/Autopilot.h"
#include "Race/LaneGroup.h"
#include "Race/Race.h"
#include "Render/Pnd/RenderPndGL.h"
#include "Render/RenderNull.h"
#include "Scene/PolygonGeometry.h"
#include "Scene/Transform.h"

namespace RaceTest {
using namespace Meridian;

const float PointSeconds = 512.0f / 44100.0f;

inline Fixed Seconds(double s) { return Fixed::FromRaw(static_cast<I32>(s * 65536.0)); }

// Control point i at i * 512 / 44100 s with flux(i, time); thresholds twice the local mean, as analysis stores.
inline TrackData MakeTrack(float seconds, const std::function<TrackData::Bands(int, float)>& flux) {
    TrackData data;
    std::vector<float> bands[3], threshold[3];
    for (int i = 0; i <= static_cast<int>(seconds / PointSeconds); ++i) {
        data.Time.push_back(static_cast<float>(i) * PointSeconds);
        data.Flux.push_back(flux(i, data.Time.back()));
        for (int b = 0; b < 3; ++b) bands[b].push_back(data.Flux.back()[b]);
    }
    for (int b = 0; b < 3; ++b) TrackGen::ComputeThresholds(bands[b], 2.0f, threshold[b]);
    data.Threshold.resize(data.Time.size());
    for (size_t i = 0; i < data.Time.size(); ++i)
        for (int b = 0; b < 3; ++b) data.Threshold[i][b] = threshold[b][i];
    return data;
}

// Equal flux everywhere; a silent first point makes every section sum 11 points.
inline TrackData EqualTrack(float seconds) {
    return MakeTrack(seconds, [](int i, float) {
        const float v = i == 0 ? 0.0f : 3.0f;
        return TrackData::Bands{v, v, v};
    });
}

inline TrackData SilentTrack(float seconds) {
    return MakeTrack(seconds, [](int, float) { return TrackData::Bands{0.0f, 0.0f, 0.0f}; });
}

// Flux 1 and threshold 2 at 0, step, 2 step, ... and a last point at lastTime.
inline TrackData FlatTrack(float lastTime, float step) {
    TrackData data;
    for (int k = 0; static_cast<float>(k) * step < lastTime; ++k) data.Time.push_back(static_cast<float>(k) * step);
    data.Time.push_back(lastTime);
    data.Flux.assign(data.Time.size(), {1.0f, 1.0f, 1.0f});
    data.Threshold.assign(data.Time.size(), {2.0f, 2.0f, 2.0f});
    return data;
}

// A Transform holding one small triangle mesh, as an imported model would.
inline Transform* MakeModel() {
    Transform* root = New<Transform>();
    PolygonGeometry* mesh = New<PolygonGeometry>();
    mesh->SetVertices({{-0.5f, 0.0f, 0.0f}, {0.5f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}});
    mesh->SetPrimitiveType(PrimitiveTriangles);
    mesh->SetIndices({0, 1, 2});
    mesh->SetParent(root);
    return root;
}

inline float Dot(const Vector3& a, const Vector3& b) {
    return a.x.ToFloat() * b.x.ToFloat() + a.y.ToFloat() * b.y.ToFloat() + a.z.ToFloat() * b.z.ToFloat();
}
inline float Distance(const Vector3& a, const Vector3& b) { return std::sqrt(Dot(a - b, a - b)); }

// Where an obstacle for song time t stands: offset along the right vector, height above the centre.
struct Placement {
    float across, height;
};
inline Placement PlacementOf(HighwayGeometry& highway, Fixed t, const Transform& obstacle) {
    Vector3 ride, centre, up, right;
    if (!highway.Eval(t, ride, centre, up, right)) return {1e9f, 1e9f};
    const Vector3 d = obstacle.GetTranslation() - centre;
    return {Dot(d, right), d.y.ToFloat()};
}

inline U32 g_Buttons = 0;

class ScriptedInput : public InputNull {
    MERIDIAN_CLASS(ScriptedInput, InputNull)
    U32 GetButtons() override { return g_Buttons; }
};

// One song raced headless (null renderer, silent audio, scripted buttons, fixed clock, game HUD) in the build folder.
class HeadlessRace {
public:
    // Drawn by the real device offscreen (320x240) when rendered, else by the null device.
    explicit HeadlessRace(bool rendered = false) {
        g_Buttons = 0;
        System::UseFixedClock(16, 1000);
        Render* (*offscreen)() = []() -> Render* {
            RenderPndGLOptions options;
            options.m_Mode = RenderPndGLOptions::Offscreen;
            options.m_Scale = 1;
            return New<RenderPndGL>(options);
        };
        Render* (*null)() = []() -> Render* { return New<RenderNull>(); };
        SetDeviceFactory(DeviceFactory{rendered ? offscreen : null, []() -> Input* { return New<ScriptedInput>(); },
                                       &CreateAudioPlayerSilent});
    }
    ~HeadlessRace() {
        if (app) race.End(*app, hud), app->Exit(), app.Reset();
        SetDeviceFactory(NullDeviceFactory());
        System::UseRealClock();
    }
    bool Start(const std::string& song) {
        app = New<App>();
        if (!app->Init(0, nullptr)) return false;
        hud.m_RaceRoot = New<Group>();
        hud.m_GuiRoot = New<Group>();
        Screens::BuildHud(hud, Screens::LoadFont("Data/Fonts/SpaceAge12", Fixed::FromInt(12), 1, false), nullptr);
        music = app->GetAudio()->AddMusic(song);
        return music && race.Start(*app, hud, song, music);
    }
    void Frame(U32 buttons) {
        g_Buttons = buttons;
        app->UpdateInput();
        app->UpdateTime();
    }
    // Races with the lane pilot steering, drawing every frame, for at most frames frames; true when it finished.
    bool RunPiloted(LanePilot& pilot, int frames, const std::function<void()>& eachFrame = nullptr) {
        for (int frame = 0; frame < frames; ++frame) {
            Frame(pilot.Buttons(*app, race, g_Buttons));
            const bool finished = race.Step(*app, hud);
            if (eachFrame) eachFrame();
            app->Draw();
            System::FrameTick();
            if (finished) return true;
        }
        return false;
    }

    Ref<App> app;
    RaceHud hud;
    Race race;
    Ref<AudioSource> music;
};

}  // namespace RaceTest
