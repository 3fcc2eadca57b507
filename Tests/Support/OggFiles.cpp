#include "Support/OggFiles.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

#include "Support/OggDamage.h"
#include "Support/TestUtil.h"

extern char** environ;

namespace Test {

bool WriteRawPcm(const std::string& path, const std::vector<int16_t>& samples) {
    std::ofstream out(path, std::ios::binary);
    for (int16_t sample : samples) {
        const char bytes[2] = {static_cast<char>(sample & 0xff), static_cast<char>((sample >> 8) & 0xff)};
        out.write(bytes, 2);
    }
    if (!out) std::fprintf(stderr, "WriteRawPcm: cannot write %s\n", path.c_str());
    return static_cast<bool>(out);
}

bool WriteOgg(const std::string& path, const std::vector<int16_t>& samples, int rate, int channels,
              float quality) {
    const std::string raw = path + ".raw";
    if (!WriteRawPcm(raw, samples)) return false;
#ifdef SKYRAIL_OGGENC
    const std::string encoder = SKYRAIL_OGGENC;
#else
    const std::string encoder = std::string(SKYRAIL_TEST_TOOLS_DIR) + "/../skyrail-oggenc";
#endif
    const std::string rateText = std::to_string(rate);
    const std::string channelText = std::to_string(channels);
    const std::string qualityText = std::to_string(quality);
    const char* argv[] = {encoder.c_str(), raw.c_str(),         path.c_str(), rateText.c_str(),
                          channelText.c_str(), qualityText.c_str(), nullptr};
    pid_t child = 0;
    int status = 0;
    bool ok = posix_spawn(&child, encoder.c_str(), nullptr, nullptr, const_cast<char* const*>(argv), environ) == 0 &&
              waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    std::remove(raw.c_str());
    if (!ok) std::fprintf(stderr, "WriteOgg: %s failed for %s\n", encoder.c_str(), path.c_str());
    return ok;
}

void AddTone(std::vector<int16_t>& samples, size_t first, size_t count, double frequency, double amplitude,
             int rate) {
    const double pi = 3.14159265358979323846;
    for (size_t i = 0; i < count && first + i < samples.size(); ++i) {
        double value = samples[first + i] + amplitude * std::sin(2.0 * pi * frequency * static_cast<double>(i) / rate);
        samples[first + i] = static_cast<int16_t>(std::max(-32768.0, std::min(32767.0, std::round(value))));
    }
}

std::vector<int16_t> Interleave(const std::vector<int16_t>& left, const std::vector<int16_t>& right) {
    std::vector<int16_t> frames;
    frames.reserve(left.size() * 2);
    for (size_t i = 0; i < left.size() && i < right.size(); ++i) {
        frames.push_back(left[i]);
        frames.push_back(right[i]);
    }
    return frames;
}

bool WriteDamagedSetupOgg(const std::string& path) {
    std::vector<int16_t> tone(3 * 44100, 0);
    AddTone(tone, 0, tone.size(), 440.0, 8000.0);
    if (!WriteOgg(path, tone, 44100, 1, 0.3f)) return false;
    Bytes bytes = ReadFile(path);
    const char setup[] = "\x05vorbis";
    const size_t changed = 691;  // the byte of the setup packet the sample file has changed
    const auto found = std::search(bytes.begin(), bytes.end(), setup, setup + 7);
    const size_t at = static_cast<size_t>(found - bytes.begin()) + changed;
    if (found == bytes.end() || at >= bytes.size() || bytes[at] != 0x43) {
        std::fprintf(stderr, "WriteDamagedSetupOgg: unexpected setup header in %s\n", path.c_str());
        return false;
    }
    bytes[at] ^= 0x10;
    FixOggChecksums(bytes);
    return WriteFile(path, bytes);
}

}  // namespace Test
