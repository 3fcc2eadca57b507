// Real sound files for the audio tests: a WAV written here and an Ogg Vorbis
// song encoded by a separate program (skyrail-oggenc when it was built, else
// the system's oggenc), since the encoder library must never share a process
// with Tremor.
#pragma once

#include <string>

namespace Test {

// A sine tone of the given length, 16-bit PCM at 44100 Hz.
bool WriteWav(const std::string& path, double seconds, int channels);

// Encodes a sine tone; false when no encoder is available or it failed.
bool WriteOgg(const std::string& path, double seconds, int channels);

}  // namespace Test
