// A 440 Hz tone as a real Ogg Vorbis file, for the players to load as music or as an effect.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Support/OggFiles.h"
#include "Support/TestUtil.h"

namespace Test {

inline bool WriteToneOgg(const std::string& path, double seconds, int channels) {
    std::vector<int16_t> tone(static_cast<size_t>(seconds * 44100), 0);
    AddTone(tone, 0, tone.size(), 440.0, 8000.0);
    return WriteOgg(path, channels == 2 ? Interleave(tone, tone) : tone, 44100, channels);
}

}  // namespace Test
