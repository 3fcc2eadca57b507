#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "Image/WritePNG.h"
#include "Race/AudioTrack.h"
#include "RaceTestUtil.h"
#include "Support/OggFiles.h"
#include "Support/SongFiles.h"
#include "Support/TestUtil.h"

using namespace Meridian;
using namespace RaceTest;

namespace {

// A scratch working folder: the race reads "./Data/SkyRail/..." relative to it.
class ScratchWorkingDir {
public:
    ScratchWorkingDir() {
        char* here = getcwd(nullptr, 0);
        m_Previous = here ? here : ".";
        free(here);
        EXPECT_EQ(chdir(m_Dir.Path().c_str()), 0);
    }
    ~ScratchWorkingDir() { EXPECT_EQ(chdir(m_Previous.c_str()), 0); }
    std::string File(const std::string& name) const { return m_Dir.File(name); }
    // The three course textures as tiny real PNG files.
    void WriteTextures() const {
        mkdir(File("Data").c_str(), 0755);
        mkdir(File("Data/SkyRail").c_str(), 0755);
        const U8 pixels[2 * 2 * 3] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
        for (const char* name : {"track01.png", "capsule01.png", "mine01.png"})
            EXPECT_TRUE(WritePNG(File(std::string("Data/SkyRail/") + name).c_str(), 2, 2, 2, pixels));
    }

private:
    ::Test::TempDir m_Dir;
    std::string m_Previous;
};

// A 12 s track with onsets in all three bands from 2.3 s to 9.3 s.
void WriteRaceTrack(const std::string& song) {
    TrackData data = MakeTrack(12.0f, [](int i, float) {
        TrackData::Bands f = {1.0f, 1.0f, 1.0f};
        const int beat = static_cast<int>(std::lround(0.5f / PointSeconds));
        if (i % beat == 0 && i > 0) f[(i / beat) % 3] = 10.0f;
        return f;
    });
    ASSERT_TRUE(data.SaveTo(song));
}

}  // namespace

TEST(AudioTrack, RefusesTracksItCannotRace) {
    ScratchWorkingDir dir;
    ::Test::LogCapture log;
    AudioTrack track;
    EXPECT_FALSE(track.InitHighway2(dir.File("missing.ogg")));
    TrackData().SaveTo(dir.File("empty.ogg"));
    EXPECT_FALSE(track.InitHighway2(dir.File("empty.ogg")));
    EXPECT_EQ(log.Count("[E] InitHighway2: failed to load TrackData.\n"), 2);
    // The last control point must lie at 1 s or later.
    ASSERT_TRUE(FlatTrack(0.99f, PointSeconds).SaveTo(dir.File("short.ogg")));
    EXPECT_FALSE(track.InitHighway2(dir.File("short.ogg")));
    EXPECT_TRUE(log.Contains("[E] InitHighway2: need at least 1s of data.\n"));
    EXPECT_EQ(track.GetHighway(), nullptr);
    ASSERT_TRUE(FlatTrack(1.0f, PointSeconds).SaveTo(dir.File("second.ogg")));
    ASSERT_TRUE(track.InitHighway2(dir.File("second.ogg")));
    ASSERT_NE(track.GetHighway(), nullptr);
    EXPECT_EQ(track.GetHighway()->GetStaticBits(), 17u);  // vertices and texture coordinates
    // A song whose course would need more vertices than 16-bit indices reach.
    ASSERT_TRUE(FlatTrack(4096.0f, 0.125f).SaveTo(dir.File("long.ogg")));
    Ref<HighwayGeometry> kept = track.GetHighway();
    EXPECT_FALSE(track.InitHighway2(dir.File("long.ogg")));
    EXPECT_TRUE(log.Contains("[E] InitHighway2: song of 4096.000000s is too long: its course needs 65536 vertices, "
                             "the limit is 65535 (about 68 minutes of music).\n"));
    EXPECT_EQ(track.GetHighway(), kept.Get()) << "a refused song builds nothing";
    EXPECT_EQ(access(TrackData::TrackPath(dir.File("long.ogg")).c_str(), F_OK), 0) << "not damaged: kept";
    // Times not finite, stepping back or beyond Fixed seconds: damaged, refused and removed for a new analysis.
    const F32 back = -2.0f * PointSeconds;
    for (F32 bad : {NAN, INFINITY, -1.0f, 40000.0f, 3e9f, back}) {
        TrackData data = FlatTrack(10.0f, PointSeconds);
        F32& time = data.Time[bad == 3e9f ? data.Time.size() - 1 : data.Time.size() / 2];
        time = bad == back ? time + back : bad;
        ASSERT_TRUE(data.SaveTo(dir.File("bad.ogg")));
        EXPECT_FALSE(track.InitHighway2(dir.File("bad.ogg"))) << bad;
        EXPECT_EQ(AudioTrack::Refusal(data), "invalid control point times.");
        EXPECT_NE(access(TrackData::TrackPath(dir.File("bad.ogg")).c_str(), F_OK), 0) << bad;
    }
    EXPECT_EQ(log.Count("[E] InitHighway2: invalid control point times.\n"), 6);
    // Through Init the refusal reaches the race as "no highway".
    dir.WriteTextures();
    Ref<Group> parent = New<Group>();
    track.Init(dir.File("long.ogg"), parent);
    EXPECT_TRUE(log.Contains("[E] AudioTrack::Init: InitHighway2 failed.\n"));
    EXPECT_TRUE(!track.GetHighway() && !track.GetLaneGroup() && parent->GetChildCount() == 0);
    track.Release();
}

TEST(AudioTrack, BuildsAttachesAndRebuildsTheRace) {
    ScratchWorkingDir dir;
    ::Test::LogCapture log;
    InitTables();
    WriteRaceTrack(dir.File("a.ogg"));
    WriteRaceTrack(dir.File("b.ogg"));
    Ref<Group> parent = New<Group>();
    // Without textures nothing is built; without models the highway is built but not attached, and no lanes.
    AudioTrack bare;
    bare.Release();  // nothing to release: harmless
    bare.Init(dir.File("a.ogg"), parent);
    EXPECT_EQ(bare.GetHighway(), nullptr);
    dir.WriteTextures();
    bare.Init(dir.File("a.ogg"), parent);
    EXPECT_TRUE(log.Contains("[E] AudioTrack::InitLanes: Obstacle loading failed.\n"));
    ASSERT_NE(bare.GetHighway(), nullptr);
    EXPECT_TRUE(!bare.GetHighway()->GetParent() && !bare.GetLaneGroup() && parent->GetChildCount() == 0);

    AudioTrack track;
    Ref<Transform> capsule = MakeModel(), mine = MakeModel();
    track.SetCapsuleModel(capsule);
    track.SetMineModel(mine);
    track.Init(dir.File("a.ogg"), parent);
    Ref<HighwayGeometry> highway = track.GetHighway();
    Ref<LaneGroup> lanes = track.GetLaneGroup();
    ASSERT_TRUE(highway && lanes);
    EXPECT_TRUE(parent->GetChild(0) == highway.Get() && parent->GetChild(1) == lanes.Get());
    // Capsules take the active shader, mines the inactive one.
    Ref<Shader> road = track.GetHighwayShader();
    ASSERT_TRUE(road && road->GetTexture(0) && track.GetInactiveObstacleShader());
    EXPECT_EQ(lanes->GetCapsuleShader(), track.GetActiveObstacleShader());
    EXPECT_EQ(lanes->GetMineShader(), track.GetInactiveObstacleShader());
    EXPECT_EQ(lanes->GetMineModel(), mine.Get());
    EXPECT_GT(lanes->GetGoodCount() + lanes->GetBadCount(), 5);
    // A second race on another song: same shaders and models, new course.
    track.Release();
    EXPECT_TRUE(!highway->GetParent() && !lanes->GetParent() && !track.GetHighway());
    track.Init(dir.File("b.ogg"), parent);
    ASSERT_NE(track.GetHighway(), nullptr);
    EXPECT_TRUE(track.GetHighway() != highway.Get() && track.GetLaneGroup() != lanes.Get());
    EXPECT_TRUE(track.GetHighwayShader() == road.Get() && track.GetCapsuleModel() == capsule.Get());
    EXPECT_EQ(parent->GetChildCount(), 2u);
    // Init without a Release in between does not leave the old course drawn.
    highway = track.GetHighway();
    track.Init(dir.File("a.ogg"), parent);
    EXPECT_EQ(highway->GetParent(), nullptr);
    EXPECT_EQ(parent->GetChildCount(), 2u);
    track.Release();
    track.Release();
    EXPECT_EQ(parent->GetChildCount(), 0u);
    EXPECT_EQ(log.Count("HighwayShader could not be created."), 1);
}

// A generated song through the real analysis: obstacles land on the beats, each timbre in a lane of its own.
TEST(AudioTrack, RacesARealAnalysedSong) {
    ScratchWorkingDir dir;
    InitTables();
    const int rate = 44100;
    const double beat = 0.4, tones[3] = {300.0, 3200.0, 9000.0};  // one per analysis band
    std::vector<int16_t> pcm(static_cast<size_t>(14 * rate), 0);
    std::vector<double> starts[3];
    for (int k = 1; k * beat < 13.5; ++k) {
        // A plucked note: 4 ms attack, then a smooth decay (no click at its end).
        const size_t first = static_cast<size_t>(k * beat * rate);
        for (size_t n = 0; n < static_cast<size_t>(0.3 * rate) && first + n < pcm.size(); ++n) {
            const double t = static_cast<double>(n) / rate;
            const double envelope = std::min(t / 0.004, 1.0) * std::exp(-t / 0.04);
            pcm[first + n] = static_cast<int16_t>(12000.0 * envelope * std::sin(6.283185307179586 * tones[k % 3] * t));
        }
        starts[k % 3].push_back(k * beat);
    }
    const std::string song = dir.File("beats.ogg");
    ASSERT_TRUE(::Test::WriteOgg(song, pcm, rate, 1));
    TrackData analysed;
    ASSERT_TRUE(::Test::Analyse(song, analysed));

    dir.WriteTextures();
    AudioTrack track;
    track.SetCapsuleModel(MakeModel());
    track.SetMineModel(MakeModel());
    Ref<Group> parent = New<Group>();
    track.Init(song, parent);
    HighwayGeometry* highway = track.GetHighway();
    LaneGroup* lanes = track.GetLaneGroup();
    ASSERT_TRUE(highway && lanes);
    const float end = highway->GetEndTime().ToFloat();
    EXPECT_NEAR(end, 14.0f, 0.2f);
    // Every obstacle stands at a beat, in the lane of that beat's timbre.
    std::set<int> lanesOfKind[3];
    int placed = 0;
    for (I32 s = 0; s < lanes->GetBucketCount(); ++s) {
        for (size_t k = 0; k < lanes->GetObstacles(s).size(); ++k) {
            const Fixed t = lanes->GetTimes(s)[k];
            EXPECT_TRUE(t.ToFloat() >= 2.0f && t.ToFloat() <= end - 2.0f) << t.ToFloat();
            int kind = -1;
            for (int c = 0; c < 3; ++c)
                for (double start : starts[c])
                    if (std::fabs(t.ToFloat() - start) < 0.06) kind = c;
            EXPECT_GE(kind, 0) << "an obstacle off the beat at " << t.ToFloat();
            if (kind < 0) continue;
            const float across = PlacementOf(*highway, t, *lanes->GetObstacles(s)[k]).across;
            lanesOfKind[kind].insert(static_cast<int>(std::lround(across / 4.0f)));
            ++placed;
        }
    }
    EXPECT_EQ(placed, lanes->GetGoodCount() + lanes->GetBadCount());
    EXPECT_GE(placed, 15) << "most of the 24 beats inside the course get an obstacle";
    for (int c = 0; c < 3; ++c) ASSERT_EQ(lanesOfKind[c].size(), 1u) << "timbre " << c;
    EXPECT_EQ(std::set<int>({*lanesOfKind[0].begin(), *lanesOfKind[1].begin(), *lanesOfKind[2].begin()}).size(), 3u)
        << "each timbre in a lane of its own";
    track.Release();
}
