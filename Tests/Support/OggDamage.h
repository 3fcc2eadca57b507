// Damaged Ogg Vorbis files for the decoder tests and skyrail-oggfuzz: deterministic mutations of a real
// song, most behind repaired page checksums so the damage reaches the Vorbis decoder, not the page reader.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace Test {

typedef std::vector<unsigned char> Bytes;

// Recomputes the checksum of every complete page from the start, up to the first incomplete one.
void FixOggChecksums(Bytes& bytes);

// Writes a 3-second mono song with the damage of the sample file that crashed Tremor: one flipped bit in
// the code lengths of the 13th of 35 codebooks, whose Huffman tree is then incomplete, behind a repaired
// checksum. Tremor accepts the headers, fails its first ov_read and divides by zero on the next. Encoded at
// quality 0.3 (the setup header depends on the mode only); false, with a message, when that fails.
bool WriteDamagedSetupOgg(const std::string& path);

class OggMutator {
public:
    explicit OggMutator(uint32_t seed) : m_Random(seed) {}

    // A damaged copy of the song (bytes, bits or extreme values in the headers or anywhere, page fields,
    // cuts, inserted, removed, dropped or repeated runs); kind, when given, names the damage.
    Bytes Mutate(const Bytes& song, const char** kind = nullptr);

private:
    uint32_t Below(size_t limit) { return limit ? static_cast<uint32_t>(m_Random() % limit) : 0; }

    std::mt19937 m_Random;
};

}  // namespace Test
