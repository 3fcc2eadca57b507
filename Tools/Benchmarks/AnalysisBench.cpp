// skyrail-bench-analysis: how fast and how lean the song analysis is.
//
//     skyrail-bench-analysis [--keep DIR] [--runs N]
//
// Synthesises a 3-minute and a 10-minute 44100 Hz stereo song (chords, bass
// drum and hi-hat), encodes them with skyrail-oggenc (found beside this
// program), then, pinned to one core:
// - times decoding the 3-minute song with Tremor alone (ov_read until the
//   end: the floor any analysis must pay) and the full analysis (TrackGen
//   Init, Step to the end, track file written), alternately, best of N runs,
//   in thread CPU time (wall time shown beside it);
// - runs the analysis of the 10-minute song in a fresh child process and
//   reports its peak resident memory (VmHWM);
// - measures the wait on the loading screen for a 6-minute song: frames that
//   give the analysis the game's slice of real time each, then clear and
//   swap a 960 x 720 offscreen surface (a 3x window), until the track file
//   is written (wall time, not pinned).
// - loops the 10-minute song to an hour (the ffmpeg program), analyses it
//   and runs skyrail-bench-race --memory on it: the race's peak resident
//   size for a 60-minute song, without GL.
// Targets: analysis <= 1.5 x decode time, >= 250 x real time, peak < 30 MiB,
// the loading screen's wait for 6 minutes of music <= 1 s.
// Build it optimised and without sanitizers for meaningful figures.
#include <sched.h>
#include <time.h>
#include <spawn.h>
#include <sys/wait.h>
#include <tremor/ivorbisfile.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "Analysis/TrackGen.h"
#include "Render/Pnd/RenderPndGL.h"
#include "Memory/Memory.h"
#include "PeakResident.h"

extern char** environ;

using namespace Meridian;
namespace fs = std::filesystem;

namespace {

const int Rate = 44100;

// Seconds of processor time used by this thread: unlike wall time it does
// not count the time other programs on a shared machine take from it.
double CpuNow() {
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec * 1e-9;
}

double WallNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string SelfPath() {
    std::error_code error;
    return fs::read_symlink("/proc/self/exe", error).string();
}

// Streams a synthetic stereo song into the encoder's standard input.
bool MakeSong(const std::string& encoder, const std::string& path, int seconds) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    const std::string rate = std::to_string(Rate);
    const char* argv[] = {encoder.c_str(), "-", path.c_str(), rate.c_str(), "2", "0.4", nullptr};
    pid_t child = 0;
    int spawned = posix_spawn(&child, encoder.c_str(), &actions, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[0]);
    if (spawned != 0) {
        close(fds[1]);
        return false;
    }
    FILE* out = fdopen(fds[1], "wb");
    const double pi = 3.14159265358979323846;
    const double chords[4][3] = {{220.0, 277.2, 329.6}, {196.0, 246.9, 293.7}, {174.6, 220.0, 261.6}, {196.0, 246.9, 311.1}};
    unsigned seed = 12345;
    std::vector<short> frames(2 * 4096);
    const long total = static_cast<long>(seconds) * Rate;
    bool ok = out != nullptr;
    for (long at = 0; ok && at < total; at += 4096) {
        long count = std::min<long>(4096, total - at);
        for (long i = 0; i < count; ++i) {
            const long n = at + i;
            const double t = static_cast<double>(n) / Rate;
            const double beat = std::fmod(t, 0.5);  // 120 beats per minute
            const double* chord = chords[(n / (Rate * 2)) % 4];
            double left = 0.0, right = 0.0;
            for (int v = 0; v < 3; ++v) {
                const double tone = std::sin(2.0 * pi * chord[v] * t) * 2500.0;
                left += tone * (v == 2 ? 0.6 : 1.0);
                right += tone * (v == 0 ? 0.6 : 1.0);
            }
            const double kick = std::sin(2.0 * pi * (50.0 + 80.0 * std::exp(-beat * 30.0)) * beat) *
                                9000.0 * std::exp(-beat * 12.0);
            seed = seed * 1664525u + 1013904223u;
            const double noise = (static_cast<double>(seed >> 8) / 8388608.0 - 1.0);
            const double offbeat = std::fmod(t + 0.25, 0.5);
            const double hat = noise * 4000.0 * std::exp(-offbeat * 40.0);
            frames[2 * i] = static_cast<short>(std::lround(std::max(-32768.0, std::min(32767.0, left + kick + hat))));
            frames[2 * i + 1] =
                static_cast<short>(std::lround(std::max(-32768.0, std::min(32767.0, right + kick + 0.7 * hat))));
        }
        ok = std::fwrite(frames.data(), sizeof(short) * 2, static_cast<size_t>(count), out) ==
             static_cast<size_t>(count);
    }
    if (out) std::fclose(out);
    int status = 0;
    return waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0 && ok;
}

// Decodes the whole song with Tremor alone; returns the bytes of PCM.
long long DecodeOnly(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    OggVorbis_File stream;
    if (!file || ov_open(file, &stream, nullptr, 0) != 0) {
        if (file) std::fclose(file);
        return -1;
    }
    static char buffer[4096];
    long long total = 0;
    int section = 0;
    long bytes;
    while ((bytes = ov_read(&stream, buffer, sizeof(buffer), &section)) > 0) total += bytes;
    ov_clear(&stream);
    return total;
}

// Runs the game's analysis of a song to the end; returns its control points.
long Analyse(const std::string& path) {
    std::remove((path + ".kpt").c_str());
    Ref<TrackGen> gen = New<TrackGen>(path);
    if (gen->Init() != 0) return -1;
    while (gen->Step()) {
    }
    if (gen->Failed() || !TrackGen::TrackExists(path)) return -1;
    return static_cast<long>(gen->Times().size());
}

// Child mode: analyse one song and print the peak memory before and after.
int RssChild(const std::string& path) {
    long before = PeakResidentKiB();
    long points = Analyse(path);
    long after = PeakResidentKiB();
    std::printf("%ld %ld %ld\n", before, after, points);
    return points < 0 ? 1 : 0;
}

bool RunRssChild(const std::string& song, long* before, long* after) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    const std::string self = SelfPath();
    const char* argv[] = {self.c_str(), "--rss-child", song.c_str(), nullptr};
    pid_t child = 0;
    int spawned = posix_spawn(&child, self.c_str(), &actions, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (spawned != 0) {
        close(fds[0]);
        return false;
    }
    char text[128] = {0};
    FILE* in = fdopen(fds[0], "r");
    bool read = in && std::fgets(text, sizeof(text), in) != nullptr;
    if (in) std::fclose(in);
    int status = 0;
    long points = -1;
    return waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0 && read &&
           std::sscanf(text, "%ld %ld %ld", before, after, &points) == 3 && points > 0;
}

// The loading screen's frames: the analysis's slice, then a cleared and
// swapped 3x surface. Returns the wall time until the track file is
// written (and the frames drawn), or -1.
double LoadingWait(const std::string& path, int* frames) {
    const U64 SliceMicroseconds = 12000;  // as the game gives each frame
    std::remove((path + ".kpt").c_str());
    RenderPndGLOptions options;
    options.m_Mode = RenderPndGLOptions::Offscreen;
    options.m_Scale = 3;
    Ref<Render> render = CreateRenderPndGL(options);
    if (!render || !render->Init()) return -1.0;
    const double start = WallNow();
    Ref<TrackGen> gen = New<TrackGen>(path);
    if (gen->Init() != 0) return -1.0;
    *frames = 0;
    for (bool more = true; more; ++*frames) {
        more = gen->StepFor(SliceMicroseconds);
        render->Clear(Render::ClearColor | Render::ClearDepth);
        render->SwapBuffers();
    }
    const double wait = WallNow() - start;
    render->Exit();
    return gen->Failed() ? -1.0 : wait;
}

const char* Verdict(bool met) { return met ? "met" : "MISSED"; }

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--rss-child") == 0) return RssChild(argv[2]);
    std::string keep;
    int runs = 3;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--keep") == 0 && i + 1 < argc) {
            keep = argv[++i];
        } else if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else {
            std::fprintf(stderr, "usage: skyrail-bench-analysis [--keep DIR] [--runs N]\n");
            return 2;
        }
    }

    const std::string encoder = (fs::path(SelfPath()).parent_path() / "skyrail-oggenc").string();
    std::string dir = keep;
    if (dir.empty()) {
        char pattern[] = "/tmp/skyrail-bench-XXXXXX";
        if (!mkdtemp(pattern)) return 1;
        dir = pattern;
    } else {
        fs::create_directories(dir);
    }
    const std::string song3 = dir + "/three-minutes.ogg";
    const std::string song10 = dir + "/ten-minutes.ogg";
    const std::string song6 = dir + "/six-minutes.ogg";
    std::printf("encoding test songs with %s ...\n", encoder.c_str());
    std::fflush(stdout);
    if ((!fs::exists(song3) && !MakeSong(encoder, song3, 180)) ||
        (!fs::exists(song10) && !MakeSong(encoder, song10, 600)) ||
        (!fs::exists(song6) && !MakeSong(encoder, song6, 360))) {
        std::fprintf(stderr, "skyrail-bench-analysis: could not encode the test songs\n");
        return 1;
    }

    int loadingFrames = 0;
    const double loadingWait = LoadingWait(song6, &loadingFrames);
    if (loadingWait < 0.0) {
        std::fprintf(stderr, "skyrail-bench-analysis: the loading screen run failed\n");
        return 1;
    }

    // One core: the analysis is single-threaded; pinning keeps the timing from
    // wandering between cores.
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(std::max(0, sched_getcpu()), &one);
    sched_setaffinity(0, sizeof(one), &one);

    double bestDecode = 1e30, bestAnalysis = 1e30, wallDecode = 1e30, wallAnalysis = 1e30;
    long long pcmBytes = 0;
    long points = 0;
    for (int run = 0; run < runs; ++run) {
        double start = CpuNow(), wall = WallNow();
        pcmBytes = DecodeOnly(song3);
        bestDecode = std::min(bestDecode, CpuNow() - start);
        wallDecode = std::min(wallDecode, WallNow() - wall);
        start = CpuNow();
        wall = WallNow();
        points = Analyse(song3);
        bestAnalysis = std::min(bestAnalysis, CpuNow() - start);
        wallAnalysis = std::min(wallAnalysis, WallNow() - wall);
        if (pcmBytes <= 0 || points <= 0) {
            std::fprintf(stderr, "skyrail-bench-analysis: decoding or analysis failed\n");
            return 1;
        }
    }
    const double songSeconds = static_cast<double>(pcmBytes) / 4.0 / Rate;
    const double ratio = bestAnalysis / bestDecode;
    const double realTime = songSeconds / bestAnalysis;

    long before = 0, after = 0;
    if (!RunRssChild(song10, &before, &after)) {
        std::fprintf(stderr, "skyrail-bench-analysis: the memory run failed\n");
        return 1;
    }
    const double peakMiB = after / 1024.0;

    std::error_code sizeError;
    const double kbps = static_cast<double>(fs::file_size(song3, sizeError)) * 8.0 / songSeconds / 1000.0;
    std::printf("song: %.1f s, 44100 Hz stereo, %.0f kbit/s, %ld control points (best of %d runs, one core)\n",
                songSeconds, kbps, points, runs);
    std::printf("                               CPU time  x real time  (wall time)\n");
    std::printf("decode only (Tremor ov_read)   %8.3f s  %6.0fx     (%.3f s)\n", bestDecode, songSeconds / bestDecode,
                wallDecode);
    std::printf("full analysis (TrackGen)       %8.3f s  %6.0fx     (%.3f s)\n", bestAnalysis, realTime, wallAnalysis);
    std::printf("analysis / decode              %8.2f    target <= 1.5   %s\n", ratio, Verdict(ratio <= 1.5));
    std::printf("analysis speed                 %8.0fx   target >= 250x  %s\n", realTime, Verdict(realTime >= 250.0));
    std::printf("peak RSS analysing 10 minutes  %8.1f MiB target < 30    %s (%.1f MiB before the analysis)\n",
                peakMiB, Verdict(peakMiB < 30.0), before / 1024.0);
    std::printf("loading screen, 6 minutes, 3x  %8.3f s  target <= 1 s   %s (%d frames)\n", loadingWait,
                Verdict(loadingWait <= 1.0), loadingFrames);
    std::fflush(stdout);

    // An hour of music: the 10-minute song six times over.
    const std::string hour = dir + "/sixty-minutes.ogg";
    const std::string loop = "ffmpeg -nostdin -loglevel error -y -stream_loop 5 -i '" + song10 +
                             "' -c:a libvorbis -q:a 2 '" + hour + "'";
    const double hourStart = CpuNow();
    if ((!fs::exists(hour) && std::system(loop.c_str()) != 0) || Analyse(hour) <= 0) {
        std::fprintf(stderr, "skyrail-bench-analysis: the hour-long song could not be made or analysed\n");
        return 1;
    }
    std::printf("analysis of 60 minutes         %8.3f s\n", CpuNow() - hourStart);
    std::fflush(stdout);
    const std::string racer = (fs::path(SelfPath()).parent_path() / "skyrail-bench-race").string();
    const std::string race = "'" + racer + "' --memory '" + hour + "'";
    if (std::system(race.c_str()) != 0) {
        std::fprintf(stderr, "skyrail-bench-analysis: the hour-long race failed\n");
        return 1;
    }
    if (keep.empty()) fs::remove_all(dir);
    return 0;
}
