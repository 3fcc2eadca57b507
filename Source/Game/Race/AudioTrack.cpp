#include "Race/AudioTrack.h"

#include <cmath>
#include <cstdio>
#include <iomanip>
#include <sstream>

#include "Analysis/TrackData.h"
#include "Core/DataFolder.h"
#include "Core/Log.h"
#include "Import/ImportMSD.h"
#include "Scene/ShaderHelpers.h"

using namespace Meridian;

namespace {

const char* const HighwayTexture = "SkyRail/track01.png";
const char* const CapsuleTexture = "SkyRail/capsule01.png";
const char* const MineTexture = "SkyRail/mine01.png";
const char* const CapsuleModelFile = "SkyRail/capsule01.msd";
const char* const MineModelFile = "SkyRail/mine01.msd";
const I32 ObstacleLayer = 9;

// Takes a node out of the scene before its holder lets go of it.
template <class T>
void Detach(Ref<T>& node) {
    if (node && node->GetParent()) node->SetParent(nullptr);
    node.Reset();
}

}  // namespace

AudioTrack::AudioTrack() {}

AudioTrack::~AudioTrack() { Release(); }

void AudioTrack::Init(const std::string& songPath, Group* parent) {
    // A failed build must not leave the previous song's course behind.
    Release();

    if (!m_HighwayShader) {
        Shader* highway = CreateTextureShader(DataFile(HighwayTexture).c_str(), false, Shader::BlendOpaque);
        if (!highway) {
            LogE() << "HighwayShader could not be created.";
            return;
        }
        m_HighwayShader = highway;
        m_HighwayShader->SetCulling(false);  // both sides of the road are seen
        m_HighwayShader->SetName("HighwayShader");

        m_ActiveObstacleShader = CreateTextureShader(DataFile(CapsuleTexture).c_str(), false, Shader::BlendOpaque);
        if (m_ActiveObstacleShader) {
            m_ActiveObstacleShader->SetName("ActiveObstacleShader");
            m_ActiveObstacleShader->SetLayer(ObstacleLayer);
        }
        m_InactiveObstacleShader = CreateTextureShader(DataFile(MineTexture).c_str(), false, Shader::BlendOpaque);
        if (m_InactiveObstacleShader) {
            m_InactiveObstacleShader->SetName("InactiveObstacleShader");
            m_InactiveObstacleShader->SetLayer(ObstacleLayer);
        }
    }

    if (!InitHighway2(songPath)) {
        LogE() << "AudioTrack::Init: InitHighway2 failed.";
        return;
    }
    if (!InitLanes()) {
        LogE() << "AudioTrack::Init: InitLanes failed.";
        return;
    }
    LogI() << "AudioTrack::Init succeeded.";
    m_Highway->SetParent(parent);
    m_LaneGroup->SetParent(parent);
}

std::string AudioTrack::Refusal(const TrackData& data) {
    if (data.Time.empty()) return "no control points.";
    // The course's times become Fixed seconds: NaN, infinities or times
    // beyond its range would make a course of no length (no lanes).
    if (IsDamaged(data)) return "invalid control point times.";
    const F32 length = data.Time.back();
    if (length < 1.0f) return "need at least 1s of data.";
    // Two vertices per section and 16-bit indices: longer songs cannot be drawn.
    const I32 sections = HighwayGeometry::CountSections(data);
    if (sections > HighwayGeometry::MaxVertices / 2) {
        const F32 limitMinutes = length / static_cast<F32>(sections) * (HighwayGeometry::MaxVertices / 2) / 60.0f;
        std::ostringstream why;
        why << std::fixed << std::setprecision(6) << "song of " << length << "s is too long: its course needs "
            << sections * 2 << " vertices, the limit is " << HighwayGeometry::MaxVertices << " (about "
            << static_cast<I32>(limitMinutes) << " minutes of music).";
        return why.str();
    }
    return std::string();
}

bool AudioTrack::IsDamaged(const TrackData& data) {
    // The analysis writes strictly increasing times from 0 on; a course's
    // times become Fixed seconds, so NaN, infinities, a step back or times
    // beyond its range would build a course of no length (no lanes) or
    // indices past its vertices.
    F32 previous = -1.0f;
    for (F32 time : data.Time) {
        if (!std::isfinite(time) || time < 0.0f || time >= 32767.0f || time <= previous) return true;
        previous = time;
    }
    return false;
}

bool AudioTrack::InitHighway2(const std::string& songPath) {
    TrackData data;
    // A track file that does not read whole, or whose times the analysis
    // cannot have written, is damaged: it goes, so that the next pick of the
    // song analyses it afresh.
    const std::string trackPath = TrackData::ReadPath(songPath);
    if (!data.LoadFrom(songPath) || data.Time.empty()) {
        LogE() << "InitHighway2" << ": failed to load TrackData.";
        std::remove(trackPath.c_str());
        m_Refusal = "no usable track file.";
        return false;
    }
    m_Refusal = Refusal(data);
    if (!m_Refusal.empty()) {
        LogE() << "InitHighway2" << ": " << m_Refusal;
        if (IsDamaged(data)) std::remove(trackPath.c_str());
        return false;
    }

    Detach(m_Highway);
    m_Highway = New<HighwayGeometry>();
    m_Highway->SetShader(m_HighwayShader);
    if (!m_Highway->Construct(data)) {
        m_Highway.Reset();
        return false;
    }
    // Vertices and texture coordinates never change after construction.
    m_Highway->SetStatic(ArrayVertices | ArrayTexCoords0);
    return true;
}

bool AudioTrack::InitLanes() {
    if (!m_Highway) return false;
    if (!m_CapsuleModel) m_CapsuleModel = ImportMSD(DataFile(CapsuleModelFile).c_str(), 0);
    if (!m_MineModel) m_MineModel = ImportMSD(DataFile(MineModelFile).c_str(), 0);
    if (!m_CapsuleModel || !m_MineModel) {
        LogE() << "AudioTrack::InitLanes: Obstacle loading failed.";
        return false;
    }

    Detach(m_LaneGroup);
    m_LaneGroup = New<LaneGroup>();
    m_LaneGroup->SetCapsuleModel(m_CapsuleModel);
    m_LaneGroup->SetMineModel(m_MineModel);
    m_LaneGroup->SetMineShader(m_InactiveObstacleShader);
    m_LaneGroup->SetCapsuleShader(m_ActiveObstacleShader);
    m_LaneGroup->SetHighway(m_Highway);
    if (!m_LaneGroup->Construct()) {
        m_LaneGroup.Reset();
        return false;
    }
    return true;
}

void AudioTrack::Release() {
    Detach(m_Highway);
    Detach(m_LaneGroup);
}
