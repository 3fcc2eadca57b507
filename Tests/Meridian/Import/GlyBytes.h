// A small .gly writer for tests: the magic, then 32-bit little-endian words.
#pragma once

#include <cstdint>
#include <vector>

namespace Test {

struct GlyBytes {
    explicit GlyBytes(const char* magic) : bytes(magic, magic + 4) {}
    GlyBytes& Word(int32_t value) {
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<unsigned char>(uint32_t(value) >> (8 * i)));
        return *this;
    }
    // code, x, y, w, h, advance x, advance y, reserved, top
    GlyBytes& Glyph(int32_t code, int32_t x, int32_t advance = 5) {
        return Word(code).Word(x).Word(x + 1).Word(4).Word(6).Word(advance).Word(0).Word(77).Word(6);
    }

    std::vector<unsigned char> bytes;
};

}  // namespace Test
