#include "Image/ImportPNG.h"
#include "Scene/FileTexture2D.h"
#include "Scene/RenderTarget.h"

namespace Meridian {

Image* FileTexture2D::GetImage() {
    if (!m_Image) m_Image = ImportPNG(m_FileName.c_str(), true);
    return m_Image;
}

void RenderTarget::GetAspect(Fixed& aspect) const {
    if (m_Height == 0) {
        aspect = Fixed::Max;
        return;
    }
    const I64 quotient = static_cast<I64>(m_Width) * 65536 / m_Height;
    aspect = Fixed::FromRaw(quotient > INT32_MAX   ? INT32_MAX
                            : quotient < INT32_MIN ? INT32_MIN
                                                   : static_cast<I32>(quotient));
}

}  // namespace Meridian
