#include "Image/Image.h"

#include "Core/Assert.h"

namespace Meridian {

I32 BytesPerPixel(I32 format) {
    switch (format) {
        case ImageLuminance: return 1;
        case ImageRGB: return 3;
        case ImageRGBA: return 4;
        case ImageLuminanceAlpha: return 2;
        default: return 0;
    }
}

bool Image::Create(I32 format, I16 w, I16 h) {
    MERIDIAN_ASSERT(w>0 && h>0);
    m_Format = format;
    m_Width = w;
    m_Height = h;
    const I32 bytesPerPixel = BytesPerPixel(format);
    if (bytesPerPixel == 0) return false;
    // At most 32767 x 32767 x 4 bytes, which still fits 32 bits.
    const U32 bytes = static_cast<U32>(w) * static_cast<U32>(h) * static_cast<U32>(bytesPerPixel);
    m_Pixels = NewArray<U8>(bytes);
    return m_Pixels.Get() != nullptr;
}

}  // namespace Meridian
