// TrackData: the analysed song, one control point per analysis frame, and its
// track file (the song's path with ".kpt" appended, beside the song or, for a
// song in a folder the game cannot write, under the data folder: see
// Analysis/SongFiles.h).
//
// Track file layout, little-endian, IEEE-754 single-precision floats:
//     0   4       magic "KPT0" (the fourth byte is the format version)
//     4   4       signed 32-bit number of control points N
//     8   28 * N  records: Time, Flux[3], Threshold[3]
// Depends on the log only. No size limit beyond memory: loading reads as many
// records as the file holds, never reserving more than that.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "Core/Types.h"

struct TrackData {
    typedef std::array<Meridian::F32, 3> Bands;  // bands 0, 1, 2

    // Invariant: the three lists have the same length, in time order.
    std::vector<Bands> Flux;
    std::vector<Bands> Threshold;
    std::vector<Meridian::F32> Time;  // seconds from the start of the song

    // The track file's name beside the song.
    static std::string TrackPath(const std::string& songPath);
    // Where the song's track file is read from (beside it or in the data folder).
    static std::string ReadPath(const std::string& songPath);

    // Writes the track file of songPath, beside the song when its folder is
    // writable, otherwise under the data folder (creating the folders it
    // needs there). The data goes to a temporary file in the same folder that replaces the track file only once it is complete,
    // so a failed or interrupted save never leaves a partial track file (and
    // leaves no temporary file either). Returns false, without a log line, on
    // any failure.
    bool SaveTo(const std::string& songPath) const;

    // Reads the track file of songPath. A missing file returns false silently;
    // a wrong magic logs "LoadFrom: invalid header.", a file shorter than its
    // header "LoadFrom: cant read number of control points."; a file shorter
    // than its N records returns false silently with the records read so far
    // in the lists. A negative N reads as an empty track.
    bool LoadFrom(const std::string& songPath);
};
