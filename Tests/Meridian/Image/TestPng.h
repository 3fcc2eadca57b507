// PNG files written by libpng directly, in any colour type and depth: files the importer did not make itself.
#pragma once

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <string>
#include <vector>

namespace TestPng {

typedef std::vector<std::vector<unsigned char>> Rows;

struct Layout {
    Layout(int w = 1, int h = 1, int type = PNG_COLOR_TYPE_RGB, int depth = 8, bool adam7 = false)
        : width(w), height(h), colorType(type), bitDepth(depth), interlaced(adam7) {}
    int width, height, colorType, bitDepth;
    bool interlaced;
    std::vector<png_color> palette;     // PNG_COLOR_TYPE_PALETTE only
    std::vector<unsigned char> alphas;  // tRNS entries for a palette
};

inline bool WriteWith(png_structp png, png_infop info, FILE* file, const Layout& layout, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(layout.width), static_cast<png_uint_32>(layout.height),
                 layout.bitDepth, layout.colorType, layout.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!layout.palette.empty())
        png_set_PLTE(png, info, layout.palette.data(), static_cast<int>(layout.palette.size()));
    if (!layout.alphas.empty())
        png_set_tRNS(png, info, layout.alphas.data(), static_cast<int>(layout.alphas.size()), nullptr);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    return true;
}

// rows: top row first, each packed as the PNG stores it (16-bit samples big-endian, sub-byte pixels packed from the
// high bits). True on success.
inline bool Write(const std::string& path, const Layout& layout, const Rows& rows) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    std::vector<png_bytep> pointers;
    for (const auto& row : rows) pointers.push_back(const_cast<png_bytep>(row.data()));
    const bool ok = png && info && WriteWith(png, info, file, layout, pointers.data());
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0 && ok;
}

// Recomputes every complete chunk's CRC, so that mutated chunk data reaches the decoder.
inline void FixChunkCrcs(std::vector<unsigned char>& bytes) {
    for (size_t at = 8; at + 12 <= bytes.size();) {
        const size_t length = size_t(bytes[at]) << 24 | bytes[at + 1] << 16 | bytes[at + 2] << 8 | bytes[at + 3];
        if (length > bytes.size() - at - 12) return;
        unsigned long crc = 0xFFFFFFFFul;  // CRC-32 (ISO 3309) bit by bit: the files are small
        for (size_t i = at + 4; i < at + 8 + length; ++i) {
            crc ^= bytes[i];
            for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320ul & (0ul - (crc & 1ul)));
        }
        crc ^= 0xFFFFFFFFul;
        at += 8 + length;
        for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<unsigned char>(crc >> (24 - 8 * i));
        at += 4;
    }
}

}  // namespace TestPng
