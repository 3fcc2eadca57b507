// skyrail-analyze: prepares a music library for the game by writing the track
// file (song + ".kpt") of every song that lacks one, through the same TrackGen
// code the game runs before a race.
//
//     skyrail-analyze [--redo] [--verbose] [--jobs N] PATH...
//
// Each PATH is a song or a folder searched recursively for songs (every
// extension the game plays, in any letter case). Songs are analysed N at a
// time (default: one per core), each in a process of its own, so one song's
// crash or hang of a decoder cannot take the others with it. Prints one summary
// line per song, in the order of the songs, on standard
// output and a progress bar on standard error (when it is a terminal); a song
// whose track file the game would refuse to race (under 1 s, too long for a
// course) is reported as refused with the game's reason. Each song that can be
// raced also gets the share of its capsules the best possible run takes and
// that run's score (the race planner's, at 60 frames per second). The last
// line counts the songs by outcome and by format. Exit status: 0 when
// every song has a track file the game races, 1 when any song failed or was
// refused, 2 on wrong arguments.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <chrono>
#include <map>
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

std::string Extensions() {
    std::string list;
    for (const std::string& extension : SongExtensions()) list += (list.empty() ? "" : " ") + extension;
    return list;
}

void Usage(FILE* out) {
    std::fprintf(out,
                 "usage: skyrail-analyze [--redo] [--verbose] [--jobs N] PATH...\n"
                 "Writes the track file (SONG.kpt) of every song that has none.\n"
                 "PATH is a song or a folder searched recursively for songs: %s\n"
                 "(any letter case), at any sample rate.\n"
                 "  --redo     analyse songs that already have a track file again;\n"
                 "             the old file is replaced only by a complete new one\n"
                 "  --jobs N   analyse N songs at a time (default: one per core)\n"
                 "  --verbose  show the engine log on standard error\n"
                 "  --help     show this text\n"
                 "Songs the game would not race (under 1 s, too long) are reported as refused.\n"
                 "Exit status: 0 all songs can be raced, 1 a song failed or was refused,\n"
                 "2 bad arguments.\n",
                 Extensions().c_str());
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

enum class Outcome { Written, Skipped, Refused, Failed };

struct SongResult {
    Outcome outcome = Outcome::Failed;
    double seconds = 0.0;  // of music analysed
    std::string line;      // the song's summary line
};

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    char text[4096];
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

// Analyses one song (or checks its track file) and says how it went.
SongResult AnalyseSong(const std::string& song, bool redo, SongLog& songLog, Progress* progress) {
    SongResult result;
    songLog.Begin();
    const auto start = std::chrono::steady_clock::now();
    Ref<TrackGen> gen = New<TrackGen>(song);
    const I32 state = gen->Init(redo);
    if (state == 1) {
        const std::string why = Refusal(song);
        if (why.empty()) {
            result.outcome = Outcome::Skipped;
            result.line = "skip  " + song + ": track file exists" + BestRun(song);
        } else {
            result.outcome = Outcome::Refused;
            result.line = "refused " + song + ": track file exists, but the game will not race it: " + why;
        }
        return result;
    }
    bool ok = state == 0;
    if (ok) {
        I32 shown = -1;
        while (gen->Step())
            if (progress && gen->ProgressSeconds() != shown) {
                shown = gen->ProgressSeconds();
                progress->Show(song, shown);
            }
        // A failed save leaves Failed() clear (the game races on and
        // reports the missing file); here it is a failure.
        ok = !gen->Failed() && TrackGen::TrackExists(song);
    }
    const double taken = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.seconds = static_cast<double>(gen->Times().size()) * 0.5 * gen->BlockSeconds();
    const std::string why = ok ? Refusal(song) : std::string();
    if (ok && !why.empty()) {
        result.outcome = Outcome::Refused;
        result.line = Format("refused %s: %.1f s of music analysed, but the game will not race it: ", song.c_str(),
                             result.seconds) + why;
    } else if (ok) {
        result.outcome = Outcome::Written;
        result.line = Format("ok    %s: %zu control points, %.1f s of music, %.2f s taken", song.c_str(),
                             gen->Times().size(), result.seconds, taken) + BestRun(song);
    } else {
        const std::string errors = songLog.Errors();
        result.line = "FAIL  " + song + ": " + (errors.empty() ? std::string("could not be analysed") : errors);
    }
    return result;
}

// A song analysed by a child process, which writes its result to a pipe.
struct Job {
    pid_t pid;
    int fd;
    size_t index;
    std::string data;
};

bool StartJob(const std::string& song, size_t index, bool redo, bool verbose, std::vector<Job>& jobs) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        return false;
    }
    if (pid == 0) {
        close(fds[0]);
        SongResult result;
        {
            SongLog songLog(verbose);
            result = AnalyseSong(song, redo, songLog, nullptr);
        }
        const std::string out = std::to_string(static_cast<int>(result.outcome)) + " " +
                                std::to_string(result.seconds) + "\n" + result.line;
        size_t done = 0;
        while (done < out.size()) {
            const ssize_t wrote = write(fds[1], out.data() + done, out.size() - done);
            if (wrote <= 0) break;
            done += static_cast<size_t>(wrote);
        }
        _exit(0);
    }
    close(fds[1]);
    jobs.push_back({pid, fds[0], index, std::string()});
    return true;
}

// Reads from the running jobs until one ends; returns its song's result.
SongResult FinishJob(const std::vector<std::string>& songs, std::vector<Job>& jobs, size_t& index) {
    for (;;) {
        std::vector<pollfd> fds;
        for (const Job& job : jobs) fds.push_back({job.fd, POLLIN, 0});
        if (poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) break;
        for (size_t k = 0; k < fds.size(); ++k) {
            if (!(fds[k].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            Job& job = jobs[k];
            char buffer[4096];
            const ssize_t got = read(job.fd, buffer, sizeof buffer);
            if (got > 0) {
                job.data.append(buffer, static_cast<size_t>(got));
                continue;
            }
            if (got < 0 && errno == EINTR) continue;
            close(job.fd);
            int status = 0;
            waitpid(job.pid, &status, 0);
            index = job.index;
            SongResult result;
            const size_t newline = job.data.find('\n');
            int outcome = -1;
            if (newline != std::string::npos && std::sscanf(job.data.c_str(), "%d %lf", &outcome, &result.seconds) == 2 &&
                outcome >= 0 && outcome <= static_cast<int>(Outcome::Failed)) {
                result.outcome = static_cast<Outcome>(outcome);
                result.line = job.data.substr(newline + 1);
            } else {
                result.line = "FAIL  " + songs[index] + ": the analysis ended without a result" +
                              (WIFSIGNALED(status) ? " (signal " + std::to_string(WTERMSIG(status)) + ")" : "");
            }
            jobs.erase(jobs.begin() + static_cast<std::ptrdiff_t>(k));
            return result;
        }
    }
    // poll failed: give up on the oldest job rather than wait for ever.
    Job job = jobs.front();
    jobs.erase(jobs.begin());
    close(job.fd);
    kill(job.pid, SIGKILL);
    waitpid(job.pid, nullptr, 0);
    index = job.index;
    SongResult result;
    result.line = "FAIL  " + songs[index] + ": cannot wait for its analysis process";
    return result;
}

// "mp3" for "Music/a.MP3".
std::string FormatOf(const std::string& song) {
    std::string extension = fs::path(song).extension().string();
    if (!extension.empty()) extension.erase(0, 1);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

}  // namespace

int main(int argc, char** argv) {
    InitTables();  // the planner's obstacle motion
    bool redo = false, verbose = false, badPath = false;
    long jobCount = sysconf(_SC_NPROCESSORS_ONLN);
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
        } else if (arg == "--jobs" || arg == "-j") {
            char* end = nullptr;
            jobCount = i + 1 < argc ? std::strtol(argv[i + 1], &end, 10) : 0;
            if (!end || *end != '\0' || jobCount < 1 || jobCount > 256) {
                std::fprintf(stderr, "skyrail-analyze: --jobs needs a number from 1 to 256\n");
                Usage(stderr);
                return 2;
            }
            ++i;
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
    if (jobCount < 1) jobCount = 1;

    Progress progress(songs.size());
    int counts[4] = {0, 0, 0, 0};
    std::map<std::string, int> formats;
    const auto report = [&](const SongResult& result) {
        progress.Clear();
        std::printf("%s\n", result.line.c_str());
        std::fflush(stdout);
        ++counts[static_cast<int>(result.outcome)];
        progress.SongDone(result.seconds);
    };
    if (jobCount == 1 || songs.size() < 2) {
        SongLog songLog(verbose);
        for (const std::string& song : songs) report(AnalyseSong(song, redo, songLog, &progress));
    } else {
        // Results are printed in the songs' order as soon as all before them are in.
        std::vector<Job> jobs;
        std::vector<SongResult> results(songs.size());
        std::vector<bool> done(songs.size(), false);
        size_t next = 0, printed = 0;
        while (printed < songs.size()) {
            while (next < songs.size() && jobs.size() < static_cast<size_t>(jobCount)) {
                if (!StartJob(songs[next], next, redo, verbose, jobs)) {
                    results[next].line = "FAIL  " + songs[next] + ": cannot start an analysis process";
                    done[next] = true;
                }
                ++next;
            }
            if (!jobs.empty()) {
                size_t index = 0;
                SongResult result = FinishJob(songs, jobs, index);
                results[index] = result;
                done[index] = true;
            }
            while (printed < songs.size() && done[printed]) {
                report(results[printed]);
                ++printed;
                if (printed < songs.size()) progress.Show(songs[printed], 0);
            }
        }
    }
    for (const std::string& song : songs) ++formats[FormatOf(song)];
    progress.Clear();
    std::string byFormat;
    for (const auto& format : formats)
        byFormat += (byFormat.empty() ? "; by format: " : ", ") + std::to_string(format.second) + " " + format.first;
    std::printf("%zu song%s: %d written, %d skipped, %d refused, %d failed; %.1f s of music analysed%s\n",
                songs.size(), songs.size() == 1 ? "" : "s", counts[0], counts[1], counts[2], counts[3],
                progress.Seconds(), byFormat.c_str());
    return counts[3] || counts[2] || badPath ? 1 : 0;
}
