// In-memory pictures: a width, a height, a pixel format and a counted block
// of 8-bit channels, rows tightly packed (row length = width x bytes per
// pixel). Images imported for textures and pixels read back from the screen
// are stored bottom row first, the order the graphics library uses.
//
// Depends on: Memory (engine blocks, Object).
// Limits: width and height are signed 16-bit (1 .. 32767); the largest image
// (32767 x 32767 RGBA) is just under 4 GiB.
#pragma once

#include "Memory/Object.h"

namespace Meridian {

enum ImageFormat : I32 {
    ImageLuminance = 1,       // 1 byte per pixel, PNG colour type 0
    ImageRGB = 2,             // 3 bytes, PNG colour type 2
    ImageRGBA = 3,            // 4 bytes, PNG colour type 6
    ImageLuminanceAlpha = 4,  // 2 bytes, PNG colour type 4
};

// Bytes per pixel of a format code; 0 for an unknown code.
I32 BytesPerPixel(I32 format);

class Image : public Object {
    MERIDIAN_TAGGED_CLASS(Image, Object, Tags::Image)

    Image() : m_Width(0), m_Height(0), m_Format(0) {}

    // Stores format, w and h, then allocates w x h x bytes-per-pixel bytes of
    // undefined content, releasing any previous block. w and h must both be
    // above 0: a caller passing anything else is a fatal assertion (callers
    // that size images from file data check first). An unknown format
    // returns false and allocates nothing (the previous block is kept).
    bool Create(I32 format, I16 w, I16 h);

    I16 GetWidth() const { return m_Width; }
    I16 GetHeight() const { return m_Height; }
    I32 GetFormat() const { return m_Format; }
    // First byte of the bottom (or first) row; null before Create.
    U8* GetPixels() const { return m_Pixels; }
    // Bytes in the pixel block (0 without one).
    U32 GetPixelBytes() const { return ArrayCount(m_Pixels.Get()); }
    void ReleasePixels() { m_Pixels.Reset(); }

private:
    Ref<U8> m_Pixels;
    I16 m_Width;
    I16 m_Height;
    I32 m_Format;
};

}  // namespace Meridian
