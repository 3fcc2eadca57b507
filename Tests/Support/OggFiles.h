// Real Ogg Vorbis songs encoded by skyrail-oggenc (libvorbis cannot share a process with the game's
// Tremor), and small PCM synthesis helpers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Test {

// Encodes interleaved 16-bit PCM as an Ogg Vorbis file; false, with a message on standard error, on failure.
bool WriteOgg(const std::string& path, const std::vector<int16_t>& samples, int rate, int channels,
              float quality = 0.4f);

// Writes samples as raw little-endian 16-bit PCM; false, with a message, on failure.
bool WriteRawPcm(const std::string& path, const std::vector<int16_t>& samples);

// Adds a sine tone to mono samples [first, first + count), clamped to 16 bits.
void AddTone(std::vector<int16_t>& samples, size_t first, size_t count, double frequency, double amplitude,
             int rate = 44100);

// Interleaves two mono channels into stereo frames.
std::vector<int16_t> Interleave(const std::vector<int16_t>& left, const std::vector<int16_t>& right);

}  // namespace Test
