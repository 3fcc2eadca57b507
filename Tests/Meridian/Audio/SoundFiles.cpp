#include "Meridian/Audio/SoundFiles.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "Support/TestUtil.h"

extern char** environ;

namespace Test {

namespace {

const int Rate = 44100;

std::vector<unsigned char> Tone(double seconds, int channels) {
    const int frames = static_cast<int>(seconds * Rate);
    std::vector<unsigned char> pcm;
    pcm.reserve(static_cast<size_t>(frames) * channels * 2);
    for (int i = 0; i < frames; ++i) {
        const int16_t sample = static_cast<int16_t>(8000.0 * std::sin(2.0 * M_PI * 440.0 * i / Rate));
        for (int c = 0; c < channels; ++c) {
            pcm.push_back(static_cast<unsigned char>(sample & 0xFF));
            pcm.push_back(static_cast<unsigned char>((sample >> 8) & 0xFF));
        }
    }
    return pcm;
}

void Put32(std::vector<unsigned char>& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

void Put16(std::vector<unsigned char>& out, uint16_t value) {
    out.push_back(static_cast<unsigned char>(value));
    out.push_back(static_cast<unsigned char>(value >> 8));
}

bool Run(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

bool WriteWav(const std::string& path, double seconds, int channels) {
    const std::vector<unsigned char> pcm = Tone(seconds, channels);
    std::vector<unsigned char> file = {'R', 'I', 'F', 'F'};
    Put32(file, static_cast<uint32_t>(36 + pcm.size()));
    for (char c : std::string("WAVEfmt ")) file.push_back(static_cast<unsigned char>(c));
    Put32(file, 16);
    Put16(file, 1);  // PCM
    Put16(file, static_cast<uint16_t>(channels));
    Put32(file, Rate);
    Put32(file, static_cast<uint32_t>(Rate * channels * 2));
    Put16(file, static_cast<uint16_t>(channels * 2));
    Put16(file, 16);
    for (char c : std::string("data")) file.push_back(static_cast<unsigned char>(c));
    Put32(file, static_cast<uint32_t>(pcm.size()));
    file.insert(file.end(), pcm.begin(), pcm.end());
    return WriteFile(path, file);
}

bool WriteOgg(const std::string& path, double seconds, int channels) {
    const std::string raw = path + ".raw";
    if (!WriteFile(raw, Tone(seconds, channels))) return false;
    bool made = false;
#ifdef SKYRAIL_OGGENC
    if (access(SKYRAIL_OGGENC, X_OK) == 0)
        made = Run({SKYRAIL_OGGENC, raw, path, std::to_string(Rate), std::to_string(channels)});
#endif
    if (!made)
        made = Run({"oggenc", "-Q", "-r", "-B", "16", "-C", std::to_string(channels), "-R", std::to_string(Rate),
                    "--raw-endianness", "0", "-o", path, raw});
    unlink(raw.c_str());
    return made;
}

}  // namespace Test
