// AudioTrack: builds the playable race of one song when the race screen
// opens: the highway from the song's track file, the obstacle models and the
// lanes with their capsules and mines, hung under a group the screen gives.
//
// It owns the three shaders of the course ("HighwayShader",
// "ActiveObstacleShader" for capsules, "InactiveObstacleShader" for mines),
// made on the first Init, and the two obstacle models, loaded on the first
// InitLanes; both are kept for later races. Success shows as GetHighway() and
// GetLaneGroup() both set and attached; every failure logs one error line and
// leaves no highway attached and no lanes. Release detaches and drops the
// highway and the lanes (not the shaders and models).
//
// Files: "./Data/SkyRail/track01.png", "capsule01.png", "mine01.png",
// "capsule01.msd", "mine01.msd"; the track file is the song's path + ".kpt".
// Depends on: Race/HighwayGeometry, Race/LaneGroup, Analysis/TrackData,
// Import/ImportMSD, Scene/ShaderHelpers. Main thread only.
#pragma once

#include <string>

#include "Analysis/TrackData.h"
#include "Race/HighwayGeometry.h"
#include "Race/LaneGroup.h"
#include "Scene/Node.h"
#include "Scene/Shader.h"

class AudioTrack {
public:
    AudioTrack();
    ~AudioTrack();
    AudioTrack(const AudioTrack&) = delete;
    AudioTrack& operator=(const AudioTrack&) = delete;

    // Builds highway and lanes for the song and attaches them to parent.
    void Init(const std::string& songPath, Meridian::Group* parent);
    // Loads the track file and builds the highway (not attached). Refuses
    // songs without data and those Refusal names; a track file that does not
    // read whole or IsDamaged is removed, so the song is analysed again.
    bool InitHighway2(const std::string& songPath);
    // Why a song with this analysis cannot be raced (a sentence such as
    // "need at least 1s of data."), or empty when it can: times that are not
    // finite or outside 0 .. 32767 s, under one second of course, or too
    // long for 16-bit indices. The batch analyser gives the same verdict.
    static std::string Refusal(const TrackData& data);
    // True when the times cannot come from the analysis: not finite,
    // negative, not increasing, or at 32767 s and beyond.
    static bool IsDamaged(const TrackData& data);
    // Why the last InitHighway2 refused its song (a sentence), or empty.
    const std::string& GetRefusal() const { return m_Refusal; }
    // Loads the obstacle models if needed and places the obstacles on the
    // highway (not attached); false when they cannot be placed.
    bool InitLanes();
    // Detaches and drops the highway and the lanes; safe when there are none.
    void Release();

    Meridian::HighwayGeometry* GetHighway() const { return m_Highway; }
    Meridian::LaneGroup* GetLaneGroup() const { return m_LaneGroup; }
    Meridian::Shader* GetHighwayShader() const { return m_HighwayShader; }
    Meridian::Shader* GetActiveObstacleShader() const { return m_ActiveObstacleShader; }
    Meridian::Shader* GetInactiveObstacleShader() const { return m_InactiveObstacleShader; }
    Meridian::Node* GetCapsuleModel() const { return m_CapsuleModel; }
    Meridian::Node* GetMineModel() const { return m_MineModel; }
    // A model given here is used instead of loading the file.
    void SetCapsuleModel(Meridian::Node* model) { m_CapsuleModel = model; }
    void SetMineModel(Meridian::Node* model) { m_MineModel = model; }

private:
    Meridian::Ref<Meridian::HighwayGeometry> m_Highway;
    Meridian::Ref<Meridian::LaneGroup> m_LaneGroup;
    Meridian::Ref<Meridian::Shader> m_HighwayShader;
    Meridian::Ref<Meridian::Shader> m_ActiveObstacleShader;
    Meridian::Ref<Meridian::Shader> m_InactiveObstacleShader;
    Meridian::Ref<Meridian::Node> m_CapsuleModel;
    Meridian::Ref<Meridian::Node> m_MineModel;
    std::string m_Refusal;
};
