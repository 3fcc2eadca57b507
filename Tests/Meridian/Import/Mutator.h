// Deterministic damage for importer fuzz tests: changed, flipped, cut, inserted and removed bytes; extreme fields.
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

namespace Test {

class Mutator {
public:
    typedef std::vector<unsigned char> Bytes;
    explicit Mutator(uint32_t seed) : m_Random(seed) {}
    uint32_t Below(size_t limit) { return limit ? static_cast<uint32_t>(m_Random() % limit) : 0; }

    // One kind of damage; the first skip bytes are spared half of the time to get past signature checks.
    Bytes Mutate(Bytes bytes, size_t skip) {
        const size_t from = Below(2) ? std::min(skip, bytes.size()) : 0, span = bytes.size() - from;
        switch (Below(5)) {
            case 0:  // random bytes
                for (uint32_t n = 1 + Below(8); n > 0 && span; --n) bytes[from + Below(span)] = uint8_t(Below(256));
                break;
            case 1:  // bit flips
                for (uint32_t n = 1 + Below(8); n > 0 && span; --n)
                    bytes[from + Below(span)] ^= uint8_t(1u << Below(8));
                break;
            case 2:  // cut
                bytes.resize(Below(bytes.size()));
                break;
            case 3:  // inserted bytes
                bytes.insert(bytes.begin() + long(from + Below(span + 1)), 1 + Below(40), uint8_t(Below(256)));
                break;
            default:  // removed bytes
                const size_t at = from + Below(span), end = std::min<size_t>(at + 1 + Below(40), bytes.size());
                if (span) bytes.erase(bytes.begin() + long(at), bytes.begin() + long(end));
        }
        return bytes;
    }

    // Overwrites an aligned 32-bit field with a count, size, 16-bit limit, infinity or NaN.
    void Extreme(Bytes& bytes, size_t skip) {
        static const uint32_t values[] = {0u,          1u,          3u,          255u,        256u,
                                          40000u,      0xFFFFu,     0x10000u,    0x10001u,    0x0FFFFFFFu,
                                          0x40000000u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFEu, 0xFFFFFFFFu,
                                          0x7F800000u, 0x7FC00000u, 0xFF800000u};
        const size_t at = skip + 4 * Below(bytes.size() / 4);
        const uint32_t value = values[Below(sizeof values / sizeof values[0])];
        for (int i = 0; i < 4 && at + 4 <= bytes.size(); ++i) bytes[at + i] = uint8_t(value >> (8 * i));
    }

private:
    std::mt19937 m_Random;
};

}  // namespace Test
