// skyrail-analyze: prepares a music library for the game by writing the track
// file (song + ".kpt") of every song that lacks one, through the same TrackGen
// code the game runs before a race.
//
//     skyrail-analyze [--redo] [--verbose] PATH...
//
// Each PATH is a song or a folder searched recursively for names ending in
// ".ogg" in any letter case. Prints one summary line per song on standard
// output and a progress bar on standard error (when it is a terminal); a song
// whose track file the game would refuse to race (under 1 s, too long for a
// course) is reported as refused with the game's reason. Each song that can be
// raced also gets the share of its capsules the best possible run takes and
// that run's score (the race planner's, at 60 frames per second). Exit status: 0 when
// every song has a track file the game races, 1 when any song failed or was
// refused, 2 on wrong arguments.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "Music/MusicDecoder.h"
#include "Analysis/TrackGen.h"
#include "Core/Log.h"
#include "Memory/Memory.h"
#include "Math/MathFunctions.h"
#include "Race/AudioTrack.h"
#include "Race/RacePlanner.h"
#include "Scene/PolygonGeometry.h"

using namespace Meridian;
namespace fs = std::filesystem;

namespace {

void Usage(FILE* out) {
    std::fprintf(out,
                 "usage: skyrail-analyze [--redo] [--verbose] PATH...\n"
                 "Writes the track file (SONG.kpt) of every song that has none.\n"
                 "PATH is an .ogg song or a folder searched recursively for .ogg songs\n"
                 "(any letter case). Songs must be Ogg Vorbis at 44100 Hz, mono or stereo.\n"
                 "  --redo     analyse songs that already have a track file again;\n"
                 "             the old file is replaced only by a complete new one\n"
                 "  --verbose  show the engine log on standard error\n"
                 "  --help     show this text\n"
                 "Songs the game would not race (under 1 s, too long) are reported as refused.\n"
                 "Exit status: 0 all songs can be raced, 1 a song failed or was refused,\n"
                 "2 bad arguments.\n");
}

// A model of one triangle: where obstacles stand does not depend on it.
Node* TinyModel() {
    Transform* root = New<Transform>();
    PolygonGeometry* mesh = New<PolygonGeometry>();
    mesh->SetVertices({{-0.5f, 0.0f, 0.0f}, {0.5f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}});
    mesh->SetPrimitiveType(PrimitiveTriangles);
    mesh->SetIndices({0, 1, 2});
    mesh->SetParent(root);
    return root;
}

// The song's course as the game builds it, and the planner's best run of it
// at 60 frames per second: ", reachable R of Y capsules (P%), best score S",
// or empty when no course can be built.
std::string BestRun(const std::string& song) {
    TrackData data;
    if (!data.LoadFrom(song) || !AudioTrack::Refusal(data).empty()) return std::string();
    Ref<HighwayGeometry> highway = New<HighwayGeometry>();
    if (!highway->Construct(data)) return std::string();
    Ref<LaneGroup> lanes = New<LaneGroup>();
    Ref<Node> capsule = TinyModel(), mine = TinyModel();
    lanes->SetCapsuleModel(capsule);
    lanes->SetMineModel(mine);
    lanes->SetCapsuleShader(New<Shader>());
    lanes->SetMineShader(New<Shader>());
    lanes->SetHighway(highway);
    if (!lanes->Construct()) return std::string();
    RacePlanner::Start start;
    start.perfectPicks = LaneRules::PerfectPicks(lanes->GetGoodCount());
    RacePlanner::Plan plan;
    if (!RacePlanner::Make(*lanes, *highway, start, RacePlanner::FixedSteps(0, 16, highway->GetEndTime()), plan))
        return std::string();
    const I32 placed = lanes->GetGoodCount();
    char text[128];
    std::snprintf(text, sizeof(text), ", reachable %d of %d capsules (%.1f%%), best score %d", plan.capsules, placed,
                  placed ? 100.0 * plan.capsules / placed : 0.0, plan.score);
    return text;
}

// The songs below a path, sorted; a file named directly is taken as it is.
bool CollectSongs(const std::string& path, std::vector<std::string>& songs) {
    std::error_code error;
    fs::file_status status = fs::status(path, error);
    if (error || !fs::exists(status)) {
        std::fprintf(stderr, "skyrail-analyze: %s: no such file or folder\n", path.c_str());
        return false;
    }
    if (!fs::is_directory(status)) {
        // A FIFO or device would block the decoder for ever.
        if (!fs::is_regular_file(status)) {
            std::fprintf(stderr, "skyrail-analyze: %s: not a regular file\n", path.c_str());
            return false;
        }
        songs.push_back(path);
        return true;
    }
    std::vector<std::string> found;
    fs::recursive_directory_iterator it(path, fs::directory_options::skip_permission_denied, error), end;
    for (; !error && it != end; it.increment(error)) {
        std::error_code ignored;
        if (it->is_regular_file(ignored) && IsSongPath(it->path().string())) found.push_back(it->path().string());
    }
    if (error) {
        std::fprintf(stderr, "skyrail-analyze: %s: %s\n", path.c_str(), error.message().c_str());
        return false;
    }
    std::sort(found.begin(), found.end());
    songs.insert(songs.end(), found.begin(), found.end());
    return true;
}

// The game's reason for refusing to race the song's track file, or empty.
std::string Refusal(const std::string& song) {
    TrackData data;
    if (!data.LoadFrom(song)) return "the track file cannot be read.";
    return AudioTrack::Refusal(data);
}

class Progress {
public:
    explicit Progress(size_t total) : m_Total(total), m_Done(0), m_Seconds(0.0), m_Shown(isatty(2) != 0) {}

    void Show(const std::string& song, I32 songSeconds) {
        if (!m_Shown) return;
        const int width = 24;
        const int filled = m_Total ? static_cast<int>(m_Done * width / m_Total) : width;
        std::string bar(static_cast<size_t>(filled), '#');
        bar.resize(width, '.');
        std::string name = fs::path(song).filename().string();
        if (name.size() > 32) name = name.substr(0, 29) + "...";
        std::fprintf(stderr, "\r[%s] %zu/%zu songs, %.0f s analysed  %s %02d:%02d\033[K", bar.c_str(), m_Done,
                     m_Total, m_Seconds + songSeconds, name.c_str(), songSeconds / 60, songSeconds % 60);
        std::fflush(stderr);
    }
    void Clear() {
        if (m_Shown) std::fprintf(stderr, "\r\033[K");
    }
    void SongDone(double seconds) {
        ++m_Done;
        m_Seconds += seconds;
    }
    double Seconds() const { return m_Seconds; }

private:
    size_t m_Total, m_Done;
    double m_Seconds;
    bool m_Shown;
};

// Collects the log of one song in a scratch file so that its error lines can
// be shown in the song's summary instead of scrolling past.
class SongLog {
public:
    explicit SongLog(bool verbose) : m_Verbose(verbose) {
        if (m_Verbose) {
            Log::Open(">console");
            return;
        }
        char pattern[] = "/tmp/skyrail-analyze-XXXXXX";
        int fd = mkstemp(pattern);
        if (fd >= 0) {
            close(fd);
            m_Path = pattern;
        }
    }
    ~SongLog() {
        Log::Close();
        if (!m_Path.empty()) std::remove(m_Path.c_str());
    }
    void Begin() {
        if (m_Verbose || m_Path.empty()) return;
        Log::Close();
        Log::Open(m_Path.c_str());
    }
    // The song's error lines without their prefix, joined by "; ".
    std::string Errors() {
        if (m_Verbose || m_Path.empty()) return std::string();
        if (Log* log = Log::Get())
            if (log->GetStream()) std::fflush(log->GetStream());
        std::ifstream in(m_Path);
        std::string line, errors;
        while (std::getline(in, line))
            if (line.compare(0, 4, "[E] ") == 0) errors += (errors.empty() ? "" : "; ") + line.substr(4);
        return errors;
    }

private:
    bool m_Verbose;
    std::string m_Path;
};

}  // namespace

int main(int argc, char** argv) {
    InitTables();  // the planner's obstacle motion
    bool redo = false, verbose = false, badPath = false;
    std::vector<std::string> songs;
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            return 0;
        } else if (arg == "--redo") {
            redo = true;
        } else if (arg == "--verbose" || arg == "-v") {
            verbose = true;
        } else if (arg == "--") {
            paths.insert(paths.end(), argv + i + 1, argv + argc);
            break;
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "skyrail-analyze: unknown option %s\n", arg.c_str());
            Usage(stderr);
            return 2;
        } else {
            paths.push_back(arg);
        }
    }
    if (paths.empty()) {
        Usage(stderr);
        return 2;
    }
    for (const std::string& path : paths)
        if (!CollectSongs(path, songs)) badPath = true;

    SongLog songLog(verbose);
    Progress progress(songs.size());
    int written = 0, skipped = 0, failed = 0, refused = 0;
    for (const std::string& song : songs) {
        songLog.Begin();
        const auto start = std::chrono::steady_clock::now();
        Ref<TrackGen> gen = New<TrackGen>(song);
        const I32 state = gen->Init(redo);
        if (state == 1) {
            progress.Clear();
            const std::string why = Refusal(song);
            if (why.empty()) {
                std::printf("skip  %s: track file exists%s\n", song.c_str(), BestRun(song).c_str());
                ++skipped;
            } else {
                std::printf("refused %s: track file exists, but the game will not race it: %s\n", song.c_str(),
                            why.c_str());
                ++refused;
            }
            std::fflush(stdout);
            progress.SongDone(0);
            continue;
        }
        bool ok = state == 0;
        if (ok) {
            I32 shown = -1;
            while (gen->Step())
                if (gen->ProgressSeconds() != shown) {
                    shown = gen->ProgressSeconds();
                    progress.Show(song, shown);
                }
            // A failed save leaves Failed() clear (the game races on and
            // reports the missing file); here it is a failure.
            ok = !gen->Failed() && TrackGen::TrackExists(song);
        }
        const double taken = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double seconds = static_cast<double>(gen->Times().size()) * 0.5 * gen->BlockSeconds();
        progress.Clear();
        const std::string why = ok ? Refusal(song) : std::string();
        if (ok && !why.empty()) {
            std::printf("refused %s: %.1f s of music analysed, but the game will not race it: %s\n", song.c_str(),
                        seconds, why.c_str());
            ++refused;
        } else if (ok) {
            std::printf("ok    %s: %zu control points, %.1f s of music, %.2f s taken%s\n", song.c_str(),
                        gen->Times().size(), seconds, taken, BestRun(song).c_str());
            ++written;
        } else {
            std::string why = songLog.Errors();
            std::printf("FAIL  %s: %s\n", song.c_str(), why.empty() ? "could not be analysed" : why.c_str());
            ++failed;
        }
        std::fflush(stdout);
        progress.SongDone(seconds);
    }
    progress.Clear();
    std::printf("%zu song%s: %d written, %d skipped, %d refused, %d failed; %.1f s of music analysed\n",
                songs.size(), songs.size() == 1 ? "" : "s", written, skipped, refused, failed, progress.Seconds());
    return failed || refused || badPath ? 1 : 0;
}
