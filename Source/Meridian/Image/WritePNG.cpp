#include "Image/WritePNG.h"

#include <png.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Core/Log.h"

namespace Meridian {

namespace {

struct WriteContext {
    std::string message;
};

[[noreturn]] void OnError(png_structp png, png_const_charp message) {
    if (WriteContext* context = static_cast<WriteContext*>(png_get_error_ptr(png)))
        context->message = message ? message : "";
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp message) {
    LogD() << "WritePNG: libpng warning: " << (message ? message : "");
}

// All libpng calls that can fail, apart from the caller's locals (see
// ImportPNG). Returns false when libpng reported an error.
bool WriteWhole(png_structp png, png_infop info, FILE* file, png_uint_32 width, png_uint_32 height, int colorType,
                png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_IHDR(png, info, width, height, 8, colorType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_init_io(png, file);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    return true;
}

// Closes a file that will not be finished and removes what was written.
void Discard(FILE* file, const std::string& path) {
    std::fclose(file);
    std::remove(path.c_str());
}

}  // namespace

bool WritePNG(const char* path, I32 format, I32 width, I32 height, const U8* pixels) {
    const std::string name = path ? path : "";
    if (width < 1 || height < 1 || width > 32767 || height > 32767 || !pixels) {
        LogE() << "WritePNG: invalid image (" << width << "x" << height << ") for " << Log::Quote(name);
        return false;
    }

    int colorType;
    size_t bytesPerPixel;
    switch (format) {
        case ImageRGBA: colorType = PNG_COLOR_TYPE_RGB_ALPHA; bytesPerPixel = 4; break;
        case ImageLuminanceAlpha: colorType = PNG_COLOR_TYPE_GRAY_ALPHA; bytesPerPixel = 2; break;
        case ImageLuminance: colorType = PNG_COLOR_TYPE_GRAY; bytesPerPixel = 1; break;
        default: colorType = PNG_COLOR_TYPE_RGB; bytesPerPixel = 3; break;
    }

    FILE* file = std::fopen(name.c_str(), "wb");
    if (!file) {
        LogE() << "Failed to open file" << Log::Quote(name);
        return false;
    }

    WriteContext context;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &context, OnError, OnWarning);
    if (!png) {
        LogE() << "png_create_write_struct failed.";
        Discard(file, name);
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        LogE() << "png_create_info_struct failed.";
        Discard(file, name);
        return false;
    }

    // The buffer is bottom row first; PNG rows run top down.
    const size_t rowBytes = static_cast<size_t>(width) * bytesPerPixel;
    std::vector<png_bytep> rows(static_cast<size_t>(height));
    for (I32 i = 0; i < height; ++i)
        rows[static_cast<size_t>(i)] =
            const_cast<png_bytep>(pixels + static_cast<size_t>(height - 1 - i) * rowBytes);

    const bool written = WriteWhole(png, info, file, static_cast<png_uint_32>(width),
                                    static_cast<png_uint_32>(height), colorType, rows.data());
    png_destroy_write_struct(&png, &info);
    if (!written) {
        LogD() << "WritePNG: libpng error: " << context.message;
        LogE() << "setjmp failed.";
        Discard(file, name);
        return false;
    }
    const bool flushed = std::fflush(file) == 0 && !std::ferror(file);
    if (std::fclose(file) != 0 || !flushed) {
        LogE() << "WritePNG: failed to write file " << Log::Quote(name);
        std::remove(name.c_str());
        return false;
    }
    return true;
}

}  // namespace Meridian
