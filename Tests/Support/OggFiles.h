// Real Ogg Vorbis songs for tests, encoded by the skyrail-oggenc program (the
// encoder library cannot share a process with the Tremor decoder the game
// links), plus small PCM synthesis helpers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Test {

// Encodes interleaved signed 16-bit PCM (frames of `channels` samples) as an
// Ogg Vorbis file at path. Returns false, with a message on standard error,
// when the encoder cannot be run or fails.
bool WriteOgg(const std::string& path, const std::vector<int16_t>& samples, int rate, int channels,
              float quality = 0.4f);

// Path of the skyrail-oggenc program the tests use.
std::string OggEncoderPath();

// Adds a sine tone of the given frequency and amplitude to mono samples
// [first, first + count), clamped to 16 bits.
void AddTone(std::vector<int16_t>& samples, size_t first, size_t count, double frequency, double amplitude,
             int rate = 44100);

// Interleaves two mono channels into stereo frames.
std::vector<int16_t> Interleave(const std::vector<int16_t>& left, const std::vector<int16_t>& right);

}  // namespace Test
