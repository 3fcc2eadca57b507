#include "TestPng.h"

#include <csetjmp>
#include <cstdio>

namespace TestPng {

namespace {

// The CRC-32 of PNG chunks (ISO 3309), bit by bit: the test files are small.
unsigned long Crc32(const unsigned char* bytes, size_t length) {
    unsigned long crc = 0xFFFFFFFFul;
    for (size_t i = 0; i < length; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320ul & (0ul - (crc & 1ul)));
    }
    return crc ^ 0xFFFFFFFFul;
}

bool WriteWith(png_structp png, png_infop info, FILE* file, const Layout& layout, png_bytepp rows) {
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

}  // namespace

bool Write(const std::string& path, const Layout& layout, const std::vector<std::vector<unsigned char>>& rows) {
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

void FixChunkCrcs(std::vector<unsigned char>& bytes) {
    size_t at = 8;
    while (at + 12 <= bytes.size()) {
        const unsigned long length = static_cast<unsigned long>(bytes[at]) << 24 | bytes[at + 1] << 16 |
                                     bytes[at + 2] << 8 | bytes[at + 3];
        if (length > bytes.size() - at - 12) return;
        const unsigned long crc = Crc32(bytes.data() + at + 4, length + 4);
        const size_t end = at + 8 + length;
        bytes[end] = static_cast<unsigned char>(crc >> 24);
        bytes[end + 1] = static_cast<unsigned char>(crc >> 16);
        bytes[end + 2] = static_cast<unsigned char>(crc >> 8);
        bytes[end + 3] = static_cast<unsigned char>(crc);
        at = end + 4;
    }
}

}  // namespace TestPng
