#include "Support/SongFiles.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "Analysis/TrackGen.h"
#include "Support/OggFiles.h"

namespace Test {

const std::vector<SongFormat>& FFmpegFormats() {
    static const std::vector<SongFormat> formats = {
        {".mp3", "-c:a libmp3lame -b:a 160k"}, {".flac", "-c:a flac"},      {".opus", "-c:a libopus -b:a 96k"},
        {".m4a", "-c:a aac -b:a 128k"},        {".aac", "-c:a aac -f adts"}, {".wav", "-c:a pcm_s16le"},
    };
    return formats;
}

bool WriteSong(const std::string& path, const std::vector<int16_t>& samples, int rate, int channels,
               const std::string& options) {
    const std::string raw = path + ".raw";
    if (!WriteRawPcm(raw, samples)) return false;
    const std::string command = "ffmpeg -nostdin -loglevel error -y -f s16le -ar " + std::to_string(rate) + " -ac " +
                                std::to_string(channels) + " -i '" + raw + "' " + options + " '" + path + "'";
    const int status = std::system(command.c_str());
    std::remove(raw.c_str());
    if (status != 0) std::fprintf(stderr, "WriteSong: failed: %s\n", command.c_str());
    return status == 0;
}

std::vector<int16_t> ClickSong(double seconds, int rate, unsigned seed) {
    std::vector<int16_t> pcm(static_cast<size_t>(seconds * rate), 0);
    AddTone(pcm, 0, pcm.size(), 330.0, 3000.0, rate);
    const size_t burst = static_cast<size_t>(rate / 600);  // about 1.7 ms of noise
    for (double t = 0.1; t < seconds; t += 0.25) {
        const size_t at = static_cast<size_t>(t * rate);
        for (size_t i = 0; i < burst && at + i < pcm.size(); ++i) {
            seed = seed * 1664525u + 1013904223u;
            pcm[at + i] = static_cast<int16_t>(static_cast<int>((seed >> 16) % 40001) - 20000);
        }
    }
    return pcm;
}

bool Analyse(const std::string& song, TrackData& data) {
    TrackGen gen(song);
    if (gen.Init(true) != 0) return false;
    while (gen.Step()) {
    }
    return !gen.Failed() && data.LoadFrom(song);
}

}  // namespace Test
