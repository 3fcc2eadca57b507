// Real songs in every format the desktop build plays, made by Debian's ffmpeg
// program from PCM the test writes, and the analysis of a song in one call.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Analysis/TrackData.h"

namespace Test {

// One way of encoding: the file's extension and ffmpeg's output options.
struct SongFormat {
    const char* extension;  // ".mp3", ".FLAC", ...
    const char* options;    // ffmpeg output options, e.g. "-c:a libmp3lame -b:a 128k"
};

// The formats the game decodes with FFmpeg, one typical encoding each.
const std::vector<SongFormat>& FFmpegFormats();

// Encodes interleaved 16-bit PCM at rate with ffmpeg into path (the options
// choose the codec, and may change the rate with "-ar"). False, with a
// message on standard error, when ffmpeg fails.
bool WriteSong(const std::string& path, const std::vector<int16_t>& samples, int rate, int channels,
               const std::string& options);

// A tone with a click every 250 ms, mono, at rate: music with clear onsets.
std::vector<int16_t> ClickSong(double seconds, int rate, unsigned seed = 1);

// Runs the game's TrackGen on a song to its end; false when Init or the
// analysis failed. data receives the track file's contents.
bool Analyse(const std::string& song, TrackData& data);

}  // namespace Test
