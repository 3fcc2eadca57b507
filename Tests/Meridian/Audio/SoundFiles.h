// Real sound files for the audio tests: a 440 Hz tone encoded as an Ogg Vorbis
// file by the shared test encoder (SDL_mixer loads it as music and as an
// effect; the silent player reads its length with Tremor).
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
