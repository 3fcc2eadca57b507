// Real songs in every format the desktop build plays, made by Debian's ffmpeg, and a song's analysis.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Analysis/TrackData.h"

namespace Test {

struct SongFormat {
    const char* extension;  // ".mp3", ".FLAC", ...
    const char* options;    // ffmpeg output options, e.g. "-c:a libmp3lame -b:a 128k"
};

// The formats the game decodes with FFmpeg, one typical encoding each.
const std::vector<SongFormat>& FFmpegFormats();

// Encodes interleaved 16-bit PCM with ffmpeg (the options choose the codec, maybe the rate with "-ar");
// false, with a message on standard error, when ffmpeg fails.
bool WriteSong(const std::string& path, const std::vector<int16_t>& samples, int rate, int channels,
               const std::string& options);

// A tone with a click every 250 ms, mono, at rate: music with clear onsets.
std::vector<int16_t> ClickSong(double seconds, int rate, unsigned seed = 1);

// Runs the game's TrackGen on a song to its end and loads the track file; false on any failure.
bool Analyse(const std::string& song, TrackData& data);

}  // namespace Test
