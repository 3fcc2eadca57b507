#include "Race/Race.h"

#include <cstdio>

#include "Core/DataFolder.h"
#include "Core/Log.h"
#include "Core/System.h"
#include "Math/MathFunctions.h"
#include "Math/Random.h"
#include "Race/AudioTrack.h"
#include "Race/HighwayGeometry.h"
#include "Race/LaneGroup.h"
#include "Race/LaneRules.h"
#include "Race/RacePlanner.h"
#include "Scene/Light.h"
#include "Scene/Material.h"
#include "Scene/ShaderHelpers.h"

using namespace Meridian;

namespace {

const F32 CapsuleFlash[4] = {89.0f / 255.0f, 192.0f / 255.0f, 223.0f / 255.0f, 1.0f};
const F32 MineFlash[4] = {1.0f, 0.05f, 0.05f, 1.0f};

Fixed F(F32 value) { return Fixed::FromFloat(value); }
Fixed Raw(I32 raw) { return Fixed::FromRaw(raw); }

Vector3 NormalizedIfNeeded(Vector3 v) {
    const Fixed squared = v.LengthSquared();
    if (squared < Fixed::OneMinusTolerance || squared > Fixed::OnePlusTolerance) v.Normalize();
    return v;
}

using LaneRules::Approach;

void SetText(TextGeometry* text, const char* format, I32 a, I32 b = 0) {
    if (!text) return;
    char buffer[32];
    std::snprintf(buffer, sizeof(buffer), format, a, b);
    text->SetText(buffer);
}

}  // namespace

Fixed PhaseDegrees(I32 degreesPerSecond, Fixed seconds) {
    const I64 fullTurn = I64{360} << 16;
    I64 raw = static_cast<I64>(degreesPerSecond) * seconds.m_Raw % fullTurn;
    if (raw < 0) raw += fullTurn;
    return Fixed::FromRaw(static_cast<I32>(raw));
}

bool Race::ReachesEnd(Fixed t, Fixed songLength) { return t + Raw(16384) >= songLength; }

Race::Race()
    : m_CapsulesTaken(0),
      m_MinesHit(0),
      m_CapsulesPlaced(0),
      m_MinesPlaced(0),
      m_CapsulesReachable(0),
      m_BestScore(0),
      m_Score(0),
      m_Energy(0),
      m_Streak(0),
      m_PerfectPicks(5),
      m_Ending(false),
      m_FlashColor{0.0f, 0.0f, 0.0f, 0.0f},
      m_RestColor{0.0f, 0.0f, 0.0f, 0.0f} {}

Race::~Race() {}

bool Race::Start(App& app, RaceHud& hud, const std::string& song, AudioSource* music) {
    // Nothing of an earlier race may count for one that does not start.
    m_CapsulesPlaced = m_MinesPlaced = m_CapsulesTaken = m_MinesHit = m_CapsulesReachable = m_BestScore = 0;
    if (!m_AudioTrack) m_AudioTrack.reset(new AudioTrack());
    m_AudioTrack->Init(song, app.GetSceneRoot());
    if (!m_AudioTrack->GetHighway() || !m_AudioTrack->GetLaneGroup()) return false;
    HighwayGeometry* highway = m_AudioTrack->GetHighway();
    LaneGroup* lanes = m_AudioTrack->GetLaneGroup();

    if (!m_Player) m_Player = New<Player>();
    m_Player->Init(app.GetSceneRoot());
    if (!m_Player->m_Root) return false;

    if (!m_Starfield) {
        m_StarfieldTransform = New<LookTransform>();
        m_StarfieldTransform->SetName("StarfieldTransform");
        m_StarfieldTransform->SetParent(app.GetSceneTransform());
        m_Starfield = New<Starfield>();
        m_StarShader = CreateTextureShader(DataFile("SkyRail/stars01.png").c_str(), false, Shader::BlendAdditive);
        if (m_StarShader && m_StarShader->GetMaterial())
            m_StarShader->GetMaterial()->SetDiffuse(1.0f, 1.0f, 1.0f, 1.0f);
        m_Starfield->SetShader(m_StarShader);
        m_Starfield->Init(-1);
        m_Starfield->SetParent(m_StarfieldTransform);

        m_Fog = New<Fog>();
        m_Fog->SetName("RaceFog");
        m_Fog->SetStart(Fixed::FromInt(50));
        m_Fog->SetEnd(Fixed::FromInt(250));
        m_Fog->SetDensity(F(0.15f));
        m_Fog->SetParent(app.GetSceneTransform());

        m_PickupEffect = New<PickupEffect>();
        m_PickupEffect->Init();
        m_PerfectEffect = New<PerfectEffect>();
        m_PerfectEffect->Init(m_StarShader ? m_StarShader->GetTexture(0) : nullptr);
    }
    m_PickupEffect->SetParent(m_Player->m_CameraTransform);
    m_PerfectEffect->SetParent(m_Player->m_Root);
    m_StarfieldTransform->SetEnabled(1);

    m_CapsulesPlaced = lanes->GetGoodCount();
    m_MinesPlaced = lanes->GetBadCount();
    m_Streak = 0;
    m_LastMissTime = Fixed::Zero;
    m_PerfectPicks = LaneRules::PerfectPicks(m_CapsulesPlaced);
    LogD() << "Perfect Picks=" << m_PerfectPicks;

    m_Score = 0;
    m_Energy = 0;
    for (F32& channel : m_FlashColor) channel = 0.0f;
    ScoreUpdate(hud, nullptr);

    if (app.GetDrawTree()) app.GetDrawTree()->SetCamera(m_Player->m_Camera);
    if (hud.m_RaceRoot) hud.m_RaceRoot->SetEnabled(1);
    if (hud.m_GuiRoot) hud.m_GuiRoot->SetEnabled(0);
    if (hud.m_Fade) {
        hud.m_Fade->SetColor(0.0f, 0.0f, 0.0f, 0.0f);
        hud.m_Fade->SetEnabled(0);
    }
    m_Ending = false;
    m_Paused = false;
    if (hud.m_PausedText) hud.m_PausedText->SetEnabled(0);
    m_PlayTime = Fixed::Zero;
    m_SkipOffset = Fixed::Zero;
    m_SongLength = highway->GetEndTime();

    // The best run from here, on frames as long as this one (60 Hz when
    // there is none yet), planned a slice per frame while the race runs: an
    // hour-long course takes seconds.
    const U32 stepMs = static_cast<U32>(app.GetFrameDelta().ToFloat() * 1000.0f + 0.5f);
    m_Planner.reset(new RacePlanner::Job());
    m_Planner->Begin(*lanes, *highway, RacePlanner::FromRace(*this, 0),
                     RacePlanner::FixedSteps(0, stepMs > 0 ? stepMs : 16, m_SongLength));

    m_Music = music;
    if (m_Music) m_Music->Play(0);
    return true;
}

void Race::FinishPlan() {
    if (!m_Planner) return;
    m_Planner->Run(UINT64_MAX);
    m_CapsulesReachable = m_Planner->GetPlan().capsules;
    m_BestScore = m_Planner->GetPlan().score;
    m_Planner.reset();
}

void Race::SetPaused(RaceHud& hud, bool paused) {
    if (paused == m_Paused || (paused && (m_Ending || !m_AudioTrack))) return;
    m_Paused = paused;
    if (m_Music) m_Music->SetPaused(paused);
    if (hud.m_Fade) {
        hud.m_Fade->SetColor(0.0f, 0.0f, 0.0f, paused ? 0.5f : 0.0f);
        hud.m_Fade->SetEnabled(paused ? 1 : 0);
    }
    if (hud.m_PausedText) hud.m_PausedText->SetEnabled(paused ? 1 : 0);
}

bool Race::Step(App& app, RaceHud& hud) {
    if (!m_AudioTrack || !m_Player) return false;
    if (m_Paused) {
        if (!app.IsPressed(Buttons::System)) return false;
        SetPaused(hud, false);
    }
    HighwayGeometry* highway = m_AudioTrack->GetHighway();
    LaneGroup* lanes = m_AudioTrack->GetLaneGroup();
    const Fixed delta = app.GetFrameDelta();
    const Fixed before = m_PlayTime;
    if (m_Music) {
        const Fixed heard = F(m_Music->GetTime()) - m_AudioOffset;
        m_PlayTime = heard > Fixed::Zero ? heard : Fixed::Zero;
    } else {
        m_PlayTime += delta;
    }

    if (m_Planner && !m_Planner->IsDone()) m_Planner->Run(System::GetWorkMicroseconds() + PlanMicroseconds);

    if (!m_Ending && highway && lanes) {
        LaneInput(app);
        // The first part tests hits from where the glider was drawn, the
        // others from where the part before placed it.
        const Fixed target = m_PlayTime;
        const I32 parts = LaneRules::HitSteps(target - before);
        Vector3 from = m_Player->m_Root->GetWorldPosition();
        for (I32 k = 1; k <= parts; ++k) {
            m_PlayTime = LaneRules::HitStepTime(before, target, k, parts);
            RacePart(hud, LaneRules::HitStepDelta(delta, k, parts), from);
            from = m_Player->m_Root->GetTranslation();
        }
        MoveOrigin();

        const I32 seconds = m_Music ? static_cast<I32>(m_Music->GetTime()) : m_PlayTime.ToInt();
        SetText(hud.m_TimeText, "%02d:%02d", seconds / 60, seconds % 60);
    }

    if (m_Starfield) m_Starfield->Update(Fixed::FromInt(2) * (m_Player->m_Speed * delta), m_Player->m_Speed);

    const F32 step = 2.0f * delta.ToFloat();
    for (int i = 0; i < 4; ++i) {
        F32& channel = m_FlashColor[i];
        const F32 rest = m_RestColor[i];
        channel = channel < rest ? (channel + step > rest ? rest : channel + step)
                                 : (channel - step < rest ? rest : channel - step);
        channel = channel < 0.0f ? 0.0f : channel > 1.0f ? 1.0f : channel;
    }
    if (m_PickupEffect) m_PickupEffect->SetColor(m_FlashColor[0], m_FlashColor[1], m_FlashColor[2], m_FlashColor[3]);
    if (m_PerfectEffect) m_PerfectEffect->Update(m_Player->m_Speed, delta);

    return EndCheck(app, hud);
}

void Race::RacePart(RaceHud& hud, Fixed delta, const Vector3& from) {
    HighwayGeometry* highway = m_AudioTrack->GetHighway();
    LaneGroup* lanes = m_AudioTrack->GetLaneGroup();
    SidewaysMotion(delta);
    Place();

    highway->SetVisibleRange(m_PlayTime);
    lanes->Update(m_PlayTime);
    if (Shader* mines = m_AudioTrack->GetInactiveObstacleShader())
        mines->SetBlendFactor(Raw(32768) - Raw(32768) * Cos(PhaseDegrees(250, m_PlayTime)));

    Fixed squared;
    if (Transform* obstacle = lanes->FindNearest(from, squared)) {
        if (squared < LaneGroup::HitBound) {
            Ref<Transform> hold = obstacle;
            ScoreUpdate(hud, obstacle);
            lanes->RemoveObstacle(obstacle);
        }
    }

    const Fixed missed = lanes->LatestCapsuleBefore(m_PlayTime);
    if (LaneRules::BreaksStreak(missed, m_LastMissTime)) m_Streak = 0;
}

void Race::MoveOrigin() {
    HighwayGeometry* highway = m_AudioTrack->GetHighway();
    CoursePoint ride, centre;
    Vector3 up, right;
    if (!highway->EvalCourse(m_PlayTime, ride, centre, up, right)) return;
    const CoursePoint old = highway->GetOrigin();
    if (centre.ReachFrom(old) < OriginReach) return;
    const CoursePoint origin = centre.Snapped();
    highway->SetOrigin(origin);
    m_AudioTrack->GetLaneGroup()->FollowOrigin();
    // Where the glider, the camera and the starfield were placed, in the
    // new frame (what Place sets afresh each frame).
    LookTransform* placed[] = {m_Player->m_Root, m_Player->m_CameraTransform, m_StarfieldTransform};
    for (LookTransform* transform : placed) {
        if (!transform) continue;
        transform->SetTranslation((CoursePoint::Of(transform->GetTranslation()) + old).RelativeTo(origin));
        transform->SetTarget((CoursePoint::Of(transform->GetTarget()) + old).RelativeTo(origin));
    }
    LogD() << "Race::MoveOrigin: " << (origin.x >> 16) << ", " << (origin.y >> 16) << ", " << (origin.z >> 16);
}

void Race::LaneInput(App& app) {
    Player& p = *m_Player;
    p.m_Lane = LaneRules::PressLanes(p.m_Lane, app.IsPressed(Buttons::DPadLeft), app.IsPressed(Buttons::DPadA),
                                     app.IsPressed(Buttons::DPadRight), app.IsPressed(Buttons::DPadB));

    Input* input = app.GetInput();
    if (input && input->GetStickCount() >= 2) {
        Fixed x0, y0, x1, y1;
        if (input->GetStick(0, x0, y0) && input->GetStick(1, x1, y1)) {
            const Fixed small = Raw(256);
            const bool moved = Vector3{x0, y0, Fixed::Zero}.Length() > small ||
                               Vector3{x1, y1, Fixed::Zero}.Length() > small;
            if (moved) {
                const Fixed s = x0 + x1;
                const Fixed range = Exp(F(1.5f)) - Fixed::One;
                Fixed r = range == Fixed::Zero ? Fixed::Max : (Exp(Absolute(s)) - Fixed::One) / range;
                if (s < Fixed::Zero) r = -r;
                p.m_Lane += Raw(32768) * p.m_LateralSpeed * (r * app.GetFrameDelta());
            }
        }
    }
    p.m_Lane = LaneRules::ClampLane(p.m_Lane);
}

void Race::SidewaysMotion(Fixed delta) {
    Player& p = *m_Player;
    p.m_TargetX = LaneRules::TargetX(p.m_Lane, m_AudioTrack->GetHighway()->GetWidth());

    if (p.m_X < p.m_TargetX) {
        p.m_TargetTilt = -p.m_MaxTilt;
        p.m_X = Approach(p.m_X, p.m_TargetX, p.m_LateralSpeed * delta);
    } else if (p.m_X > p.m_TargetX) {
        p.m_TargetTilt = p.m_MaxTilt;
        p.m_X = Approach(p.m_X, p.m_TargetX, p.m_LateralSpeed * delta);
    }
    p.m_Tilt = Approach(p.m_Tilt, p.m_TargetTilt, p.m_TiltSpeed * delta);
    if (p.m_TargetTilt != Fixed::Zero && Absolute(p.m_TargetTilt - p.m_Tilt) < Raw(256)) p.m_TargetTilt = Fixed::Zero;
    p.m_Tilt = Clamp(p.m_Tilt, -p.m_MaxTilt, p.m_MaxTilt);
}

void Race::Place() {
    Player& p = *m_Player;
    HighwayGeometry* highway = m_AudioTrack->GetHighway();
    const Fixed t0 = m_PlayTime, t1 = m_PlayTime + Raw(9830);
    Vector3 p0, s0, u0, r0, p1, s1, u1, r1;
    if (!highway->Eval(t0, p0, s0, u0, r0) || !highway->Eval(t1, p1, s1, u1, r1)) return;

    const Vector3 lateral = r0 * p.m_X;
    Fixed jitterX, jitterY;
    if (m_PlayTime < p.m_ShakeUntil) {
        jitterX = RandomRange(Raw(-4915), Raw(4915));
        jitterY = RandomRange(Raw(-4915), Raw(4915));
    }

    p.m_Root->SetUp(u0);
    p.m_Root->SetTranslation(LaneRules::GliderPoint(s0, r0, p.m_X));
    p.m_Root->SetTarget(s1 + lateral);
    if (p.m_Model) p.m_Model->SetRotation({Fixed::Zero, Fixed::FromInt(180), p.m_Tilt});

    const Vector3 rise = p1 - p0;
    const Vector3 d = NormalizedIfNeeded(rise);
    const Vector3 camera = p0 + lateral + u0 * Fixed::FromInt(2) - d * Fixed::FromInt(8);
    p.m_CameraTransform->SetUp(u0);
    p.m_CameraTransform->SetTranslation(camera);
    p.m_CameraTransform->SetTarget(p0 + lateral + u0 * Raw(49152) + Vector3{jitterX, jitterY, Fixed::Zero});
    p.m_Camera->SetFieldOfView(Fixed::FromInt(52) - Clamp(rise.y, Fixed::FromInt(-2), Fixed::FromInt(3)));

    Vector3 p2, s2, u2, r2;
    if (!highway->Eval(t0 + Fixed::FromInt(2), p2, s2, u2, r2)) return;
    m_StarfieldTransform->SetTranslation(camera);
    m_StarfieldTransform->SetTarget(p2 + lateral + Vector3{Fixed::Zero, Fixed::Zero, -Fixed::One});
    m_StarfieldTransform->SetUp(u0);
    p.m_Speed = Raw(9830) * (p0 - p1).Length();
}

void Race::ScoreUpdate(RaceHud& hud, Transform* obstacle) {
    LaneRules::Touch touch = LaneRules::Touch::None;
    if (obstacle) {
        LaneGroup* lanes = m_AudioTrack->GetLaneGroup();
        if (lanes->IsMine(obstacle)) {
            touch = LaneRules::Touch::Mine;
            ++m_MinesHit;
            m_Player->m_ShakeUntil = m_PlayTime + Raw(16384);
            for (int i = 0; i < 4; ++i) m_FlashColor[i] = MineFlash[i];
        } else {
            touch = LaneRules::Touch::Capsule;
            ++m_CapsulesTaken;
            for (int i = 0; i < 4; ++i) m_FlashColor[i] = CapsuleFlash[i];
        }
    }
    LaneRules::Score score{m_Score, m_Energy, m_Streak};
    if (LaneRules::ApplyTouch(score, touch, m_PerfectPicks) && m_PerfectEffect) m_PerfectEffect->Start();
    m_Score = score.points;
    m_Energy = score.energy;
    m_Streak = score.streak;
    SetText(hud.m_ScoreText, "%05d", m_Score);
    for (I32 i = 0; i < 6; ++i)
        if (hud.m_Energy[i]) hud.m_Energy[i]->SetEnabled(i == m_Energy ? 1 : 0);
}

bool Race::EndCheck(App& app, RaceHud& hud) {
    if (!m_Ending && app.IsPressed(Buttons::System)) {
        m_SkipOffset = (m_SongLength - Fixed::FromInt(2)) - m_PlayTime;
        m_Ending = true;
    }
    const Fixed t = m_Ending ? m_PlayTime + m_SkipOffset : m_PlayTime;
    bool finished = false;
    if (ReachesEnd(t, m_SongLength) || (m_Music && !m_Music->IsPlaying())) finished = true;
    if (finished) FinishPlan();
    if (t + Fixed::FromInt(2) >= m_SongLength) {
        if (m_Music) m_Music->FadeOut(1000);
        if (hud.m_Fade) {
            hud.m_Fade->SetColor(0.0f, 0.0f, 0.0f, 2.0f - (m_SongLength - t).ToFloat());
            hud.m_Fade->SetEnabled(1);
        }
    }
    return finished;
}

void Race::End(App& app, RaceHud& hud) {
    m_Paused = false;
    if (hud.m_PausedText) hud.m_PausedText->SetEnabled(0);
    if (m_AudioTrack) m_AudioTrack->Release();
    if (m_Player) m_Player->Release();
    if (m_Music) m_Music->Stop();
    m_Music.Reset();
    if (m_StarfieldTransform) m_StarfieldTransform->SetEnabled(0);
    if (hud.m_RaceRoot) hud.m_RaceRoot->SetEnabled(0);
    if (hud.m_GuiRoot) hud.m_GuiRoot->SetEnabled(1);
    if (app.GetDrawTree()) app.GetDrawTree()->SetCamera(app.GetCamera());
}
