// Texture2D: a texture made from an Image (stored bottom row first).
//
// The image is held by a counted reference; a texture without image is
// treated by the render device as no texture. Width and height are those of
// the image, 0 without one. Subclasses may produce the image on demand
// (FileTexture2D), so GetImage is virtual and may load.
// Depends on: Scene/Texture.h, Image/Image.h.
#pragma once

#include "Image/Image.h"
#include "Scene/Texture.h"

namespace Meridian {

class Texture2D : public Texture {
    MERIDIAN_TAGGED_CLASS(Texture2D, Texture, Tags::Texture2D)

    // The image, or null.
    virtual Image* GetImage() { return m_Image; }
    void SetImage(Image* image) { m_Image = image; }

    // Image size in pixels (16-bit, as the device reads it); 0 without image.
    I16 GetWidth() {
        Image* image = GetImage();
        return image ? image->GetWidth() : 0;
    }
    I16 GetHeight() {
        Image* image = GetImage();
        return image ? image->GetHeight() : 0;
    }

protected:
    Ref<Image> m_Image;
};

}  // namespace Meridian
