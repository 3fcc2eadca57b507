// skyrail-oggfuzz: feeds damaged copies of real songs through every path on
// which the game decodes Ogg Vorbis, each in a child process, and reports the
// files that crashed, hung or tripped a sanitizer.
//
//     skyrail-oggfuzz [--count N] [--seed S] [--keep DIR] [--unchecked] SONG.ogg...
//
// Each run damages one of the songs (Tests/Support/OggDamage: bytes, bits and
// extreme values in the headers behind repaired page checksums, page fields,
// cuts, inserted, removed, dropped or repeated runs), writes it to a scratch
// file and, in a child process:
// - decodes it with MusicDecoderOGG as the analysis does (Open, Read to the
//   end and past it);
// - loads it with AudioPlayerSilent (the song's length);
// - unless the engine's check refuses it (IsDamagedOggVorbis), decodes it
//   with Tremor as SDL_mixer does: ov_read again after every error, then
//   rewinding and seeking.
// --unchecked skips the game's paths and runs the SDL_mixer-like decode on
// every file, to show what the check keeps away from the decoder.
// A child that dies of a signal, exits non-zero (a sanitizer report), leaks
// (in a sanitizer build) or runs past 30 s is a fault; the file is kept in DIR (default "oggfuzz-faults").
// Prints one line per fault and a summary. Songs can be made with
// skyrail-oggenc. Exit status: 0 no fault, 1 faults, 2 bad arguments.
#include <sys/wait.h>
#include <tremor/ivorbisfile.h>
#include <unistd.h>
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "Music/MusicDecoderOGG.h"
#include "Audio/AudioPlayerSilent.h"
#include "Audio/OggVorbisCheck.h"
#include "Support/OggDamage.h"

using namespace Meridian;
namespace fs = std::filesystem;

namespace {

const int ChildSeconds = 30;
const int ExitRefused = 3;  // the child's status for a file every path refused
const int ExitLeaked = 4;   // the leak checker found memory the decoding left behind

bool ReadSong(const std::string& path, Test::Bytes& bytes) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    unsigned char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
    std::fclose(file);
    return !bytes.empty();
}

bool WriteSong(const std::string& path, const Test::Bytes& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

// As SDL_mixer's Ogg music: reads on after errors, loops back to the start
// and seeks. True when Tremor opened the file.
bool DecodeLikeTheMixer(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    OggVorbis_File stream;
    if (ov_open(file, &stream, nullptr, 0) != 0) {
        std::fclose(file);
        return false;
    }
    static char pcm[4096];
    const ogg_int64_t length = ov_time_total(&stream, -1);
    ov_pcm_total(&stream, -1);
    for (int pass = 0; pass < 2; ++pass) {
        int errors = 0, section = 0;
        long bytes;
        while ((bytes = ov_read(&stream, pcm, sizeof pcm, &section)) != 0)
            if (bytes < 0 && ++errors > 200) break;
        ov_time_seek(&stream, pass == 0 ? 0 : length / 2);
    }
    ov_clear(&stream);
    return true;
}

// The work of one child; returns its exit status.
int Decode(const std::string& path, bool unchecked) {
    if (unchecked) return DecodeLikeTheMixer(path) ? 0 : ExitRefused;
    bool accepted = false;
    {
        Ref<MusicDecoder> decoder = New<MusicDecoderOGG>();
        if (decoder->Open(path)) {
            accepted = true;
            I16 buffer[1024];
            while (decoder->Read(buffer, 1024) > 0) {
            }
            decoder->Read(buffer, 1024);
        }
    }
    {
        Ref<AudioPlayer> player = CreateAudioPlayerSilent();
        Ref<AudioSource> music = player->AddMusic(path);
        accepted = accepted || music;
    }
    std::string reason;
    if (!IsDamagedOggVorbis(path, &reason)) accepted = DecodeLikeTheMixer(path) || accepted;
    return accepted ? 0 : ExitRefused;
}

int RunChild(const std::string& path, bool unchecked) {
    const int status = Decode(path, unchecked);
#if defined(__SANITIZE_ADDRESS__)
    // A child leaves with _exit, which skips the leak check at exit.
    if (__lsan_do_recoverable_leak_check()) return ExitLeaked;
#endif
    return status;
}

void Usage(FILE* out) {
    std::fprintf(out,
                 "usage: skyrail-oggfuzz [--count N] [--seed S] [--keep DIR] [--unchecked] SONG.ogg...\n"
                 "Decodes N damaged copies of the songs (default 2000, seed 1) on the game's paths,\n"
                 "each in a child process; files that crash, hang or trip a sanitizer go to DIR\n"
                 "(default oggfuzz-faults). --unchecked: Tremor as SDL_mixer uses it, without the\n"
                 "engine's check. Exit status: 0 no fault, 1 faults, 2 bad arguments.\n");
}

}  // namespace

int main(int argc, char** argv) {
    long count = 2000;
    unsigned long seed = 1;
    std::string keep = "oggfuzz-faults";
    bool unchecked = false;
    std::vector<Test::Bytes> songs;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--count" || arg == "--seed" || arg == "--keep") && i + 1 < argc) {
            const char* value = argv[++i];
            if (arg == "--count") count = std::strtol(value, nullptr, 10);
            if (arg == "--seed") seed = std::strtoul(value, nullptr, 10);
            if (arg == "--keep") keep = value;
        } else if (arg == "--unchecked") {
            unchecked = true;
        } else if (arg == "--help") {
            Usage(stdout);
            return 0;
        } else if (!arg.empty() && arg[0] == '-') {
            Usage(stderr);
            return 2;
        } else {
            Test::Bytes bytes;
            if (!ReadSong(arg, bytes)) {
                std::fprintf(stderr, "skyrail-oggfuzz: %s: cannot read\n", arg.c_str());
                return 2;
            }
            songs.push_back(bytes);
        }
    }
    if (songs.empty() || count < 1) {
        Usage(stderr);
        return 2;
    }

    char scratch[] = "/tmp/skyrail-oggfuzz-XXXXXX";
    if (!mkdtemp(scratch)) {
        std::fprintf(stderr, "skyrail-oggfuzz: cannot make a scratch folder\n");
        return 2;
    }
    const std::string path = std::string(scratch) + "/damaged.ogg";
    Test::OggMutator mutator(static_cast<uint32_t>(seed));
    long accepted = 0, refused = 0, faults = 0;
    for (long run = 0; run < count; ++run) {
        const char* kind = "";
        const Test::Bytes bytes = mutator.Mutate(songs[static_cast<size_t>(run) % songs.size()], &kind);
        if (!WriteSong(path, bytes)) {
            std::fprintf(stderr, "skyrail-oggfuzz: cannot write %s\n", path.c_str());
            return 2;
        }
        std::fflush(stdout);
        const pid_t child = fork();
        if (child == 0) {
            alarm(ChildSeconds);
            _exit(RunChild(path, unchecked));
        }
        int status = 0;
        if (child < 0 || waitpid(child, &status, 0) != child) {
            std::fprintf(stderr, "skyrail-oggfuzz: cannot run a child\n");
            return 2;
        }
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
            ++accepted;
            continue;
        }
        if (WIFEXITED(status) && WEXITSTATUS(status) == ExitRefused) {
            ++refused;
            continue;
        }
        ++faults;
        char what[64];
        if (WIFSIGNALED(status))
            std::snprintf(what, sizeof what, "%s", WTERMSIG(status) == SIGALRM ? "hang" : strsignal(WTERMSIG(status)));
        else if (WEXITSTATUS(status) == ExitLeaked)
            std::snprintf(what, sizeof what, "memory leaked");
        else
            std::snprintf(what, sizeof what, "exit status %d", WEXITSTATUS(status));
        std::error_code error;
        fs::create_directories(keep, error);
        const std::string kept = keep + "/fault-" + std::to_string(seed) + "-" + std::to_string(run) + ".ogg";
        WriteSong(kept, bytes);
        std::printf("fault %ld (%s): %s, kept as %s\n", run, kind, what, kept.c_str());
    }
    std::error_code ignored;
    fs::remove_all(scratch, ignored);
    std::printf("%ld damaged files: %ld decoded, %ld refused, %ld faults\n", count, accepted, refused, faults);
    return faults ? 1 : 0;
}
