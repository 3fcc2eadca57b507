// RenderTarget: a texture a camera draws into instead of the screen. Only
// the size lives here; the render device makes the drawing surface.
// A RenderTarget is a Texture but not a Texture2D.
// Depends on: Scene/Texture.h.
#pragma once

#include "Scene/Texture.h"

namespace Meridian {

class RenderTarget : public Texture {
    MERIDIAN_TAGGED_CLASS(RenderTarget, Texture, Tags::RenderTarget)

    RenderTarget() : m_Width(0), m_Height(0) {}

    virtual void SetWidth(I32 width) { m_Width = width; }
    virtual I32 GetWidth() const { return m_Width; }
    virtual void SetHeight(I32 height) { m_Height = height; }
    virtual I32 GetHeight() const { return m_Height; }
    // width / height in Fixed; a height of 0 gives Fixed::Max, and quotients
    // outside the Fixed range saturate.
    virtual void GetAspect(Fixed& aspect) const;

private:
    I32 m_Width;
    I32 m_Height;
};

}  // namespace Meridian
