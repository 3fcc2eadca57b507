// Writes PNG files with libpng directly, in any colour type and bit depth,
// so the importer is tested against files it did not make itself.
#pragma once

#include <png.h>

#include <string>
#include <vector>

namespace TestPng {

struct Layout {
    int width = 1;
    int height = 1;
    int bitDepth = 8;
    int colorType = PNG_COLOR_TYPE_RGB;
    bool interlaced = false;
    std::vector<png_color> palette;     // PNG_COLOR_TYPE_PALETTE only
    std::vector<unsigned char> alphas;  // tRNS entries for a palette
};

// rows: top row first, each packed as the PNG stores it (16-bit samples
// big-endian, sub-byte pixels packed from the high bits). True on success.
bool Write(const std::string& path, const Layout& layout, const std::vector<std::vector<unsigned char>>& rows);

// Recomputes the CRC of every complete chunk after the signature, so that
// mutated chunk data reaches the decoder instead of failing the CRC check.
void FixChunkCrcs(std::vector<unsigned char>& bytes);

}  // namespace TestPng
