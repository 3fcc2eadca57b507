// Damaged Ogg Vorbis files for the decoder tests and the skyrail-oggfuzz tool:
// deterministic mutations of a real song's bytes, most of them behind
// repaired page checksums so that the damage reaches the Vorbis decoder
// instead of being dropped by the Ogg page reader.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace Test {

typedef std::vector<unsigned char> Bytes;

// Recomputes the checksum of every complete page in bytes, walking pages
// from the start (a page is "OggS", its header and its body); stops at the
// first place that does not start a complete page.
void FixOggChecksums(Bytes& bytes);

// Offset just past the song's header pages (the pages whose granule position
// is 0: identification, comment and setup headers); 0 when none is found.
size_t OggHeaderPagesEnd(const Bytes& bytes);

// Writes a 3-second mono song whose setup header carries the damage of the
// sample file that crashed Tremor: one flipped bit in the code lengths of one
// codebook (the 13th of 35), whose Huffman tree is then incomplete, behind a
// repaired checksum. Tremor accepts the headers, fails its first ov_read and
// divides by zero on the next. Encoded by skyrail-oggenc at quality 0.3 (the
// setup header depends on the mode only, not on the music); false, with a
// message on standard error, when encoding fails or the layout differs.
bool WriteDamagedSetupOgg(const std::string& path);

class OggMutator {
public:
    explicit OggMutator(uint32_t seed) : m_Random(seed) {}

    // One damage of the song, chosen at random: bytes, bits or extreme 32-bit
    // values in the header pages or anywhere, page header fields, cuts,
    // inserted, removed, dropped or repeated runs. Returns the damaged copy
    // and sets kind (when given) to the name of the damage.
    Bytes Mutate(const Bytes& song, const char** kind = nullptr);

private:
    uint32_t Below(size_t limit) { return limit ? static_cast<uint32_t>(m_Random() % limit) : 0; }

    std::mt19937 m_Random;
};

}  // namespace Test
