#include "Image/ImportPNG.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "Core/Log.h"

namespace Meridian {

namespace {

// Largest side an Image can hold (signed 16-bit size).
const png_uint_32 MaxSide = 32767;

struct ReadContext {
    std::string message;
    std::string warning;  // the last warning, often the reason behind an error
};

[[noreturn]] void OnError(png_structp png, png_const_charp message) {
    if (ReadContext* context = static_cast<ReadContext*>(png_get_error_ptr(png)))
        context->message = message ? message : "";
    png_longjmp(png, 1);
}

void OnWarning(png_structp png, png_const_charp message) {
    if (ReadContext* context = static_cast<ReadContext*>(png_get_error_ptr(png)))
        context->warning = message ? message : "";
    LogD() << "Import::ImportPNG: libpng warning: " << (message ? message : "");
}

// Runs libpng over the whole file. Kept apart so that no local of the caller
// is live across the setjmp; returns false when libpng reported an error.
bool ReadWhole(png_structp png, png_infop info, FILE* file) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, file);
    png_set_sig_bytes(png, 0);
    // Refuse oversized images in the header, before rows are allocated.
    png_set_user_limits(png, MaxSide, MaxSide);
    png_read_png(png, info,
                 PNG_TRANSFORM_STRIP_16 | PNG_TRANSFORM_PACKING | PNG_TRANSFORM_EXPAND | PNG_TRANSFORM_SWAP_ENDIAN,
                 nullptr);
    return true;
}

I32 FormatOfColorType(int colorType) {
    switch (colorType) {
        case PNG_COLOR_TYPE_GRAY: return ImageLuminance;
        case PNG_COLOR_TYPE_RGB: return ImageRGB;
        case PNG_COLOR_TYPE_GRAY_ALPHA: return ImageLuminanceAlpha;
        case PNG_COLOR_TYPE_RGB_ALPHA: return ImageRGBA;
        default: return 0;
    }
}

// Copies the decoded rows into a new Image; null after one error line.
Image* MakeImage(png_structp png, png_infop info, const std::string& path, bool flip) {
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    const int depth = png_get_bit_depth(png, info);
    const int colorType = png_get_color_type(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);

    const I32 format = FormatOfColorType(colorType);
    if (depth != 8 || format == 0) {
        LogE() << "Import::ImportPNG: unsupported image format (depth=" << static_cast<I32>(depth)
               << " color_type=" << static_cast<I32>(colorType) << ")";
        return nullptr;
    }
    if (width < 1 || height < 1 || width > MaxSide || height > MaxSide) {
        LogE() << "Import::ImportPNG: image size " << static_cast<U32>(width) << "x" << static_cast<U32>(height)
               << " not supported: " << path;
        return nullptr;
    }
    const size_t imageRowBytes = static_cast<size_t>(width) * static_cast<size_t>(BytesPerPixel(format));
    png_bytepp rows = png_get_rows(png, info);
    if (rowBytes != imageRowBytes || !rows) {
        LogE() << "Import::ImportPNG: unexpected row layout (rowbytes=" << static_cast<U64>(rowBytes) << "): " << path;
        return nullptr;
    }

    Image* image = New<Image>();
    if (!image->Create(format, static_cast<I16>(width), static_cast<I16>(height))) {
        LogE() << "Import::ImportPNG: could not allocate data for Image.";
        DropRef(image);
        return nullptr;
    }
    U8* pixels = image->GetPixels();
    LogD() << "png_get_rows, rowbytes=" << static_cast<U64>(rowBytes) << " image addr=" << Log::AsHex(pixels)
           << " rowptr=" << Log::AsHex(rows);
    for (png_uint_32 i = 0; i < height; ++i) {
        const png_uint_32 target = flip ? height - 1 - i : i;
        std::copy(rows[i], rows[i] + rowBytes, pixels + static_cast<size_t>(target) * rowBytes);
    }
    return image;
}

}  // namespace

Image* ImportPNG(const char* path, bool flip) {
    const std::string name = path ? path : "";
    FILE* file = std::fopen(name.c_str(), "rb");
    if (!file) {
        LogE() << "Import::ImportPNG: failed to open file:" << name;
        return nullptr;
    }

    ReadContext context;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &context, OnError, OnWarning);
    if (!png) {
        LogE() << "Import::ImportPNG: png_create_read_struct failed: " << name;
        std::fclose(file);
        return nullptr;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        LogE() << "Import::ImportPNG: png_create_info_struct failed: " << name;
        png_destroy_read_struct(&png, nullptr, nullptr);
        std::fclose(file);
        return nullptr;
    }

    Image* image = nullptr;
    if (ReadWhole(png, info, file))
        image = MakeImage(png, info, name, flip);
    else if (context.warning.empty())
        LogE() << "Import::ImportPNG: " << name << ": " << context.message;
    else
        LogE() << "Import::ImportPNG: " << name << ": " << context.message << " (" << context.warning << ")";

    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return image;
}

}  // namespace Meridian
