// ImageGeometry: a textured rectangle (two triangles) built from the image
// of the node's shader.
//
// The rectangle is rebuilt in UpdateDrawable while its rebuild flag is set:
// at construction and whenever a setter changes a value. Texture 0 of the
// node's Shader must be a Texture2D with an image of at least 1 x 1 pixels;
// otherwise an error line is logged, the arrays stay as they were and the
// rebuild is tried again on the next draw. The image's pixel size does not
// enter the rectangle. All values are Fixed; the rectangle lies in the
// node's x-y plane at depth z.
// Depends on: Scene/PolygonGeometry.h, Scene/Shader.h, Scene/Texture2D.h.
#pragma once

#include "Scene/PolygonGeometry.h"

namespace Meridian {

class ImageGeometry : public PolygonGeometry {
    MERIDIAN_TAGGED_CLASS(ImageGeometry, PolygonGeometry, Tags::ImageGeometry)

    ImageGeometry();

    void UpdateDrawable() override;

    // Lower-left corner.
    void SetPosition(const Vector3& position);
    const Vector3& GetPosition() const { return m_Position; }
    void SetSize(Fixed width, Fixed height);
    Fixed GetWidth() const { return m_Width; }
    Fixed GetHeight() const { return m_Height; }
    // Texture coordinates run from the offset to repeat x scale (the offset
    // is not added to the far edge).
    void SetTextureOffset(Fixed u, Fixed v);
    void SetTextureScale(Fixed u, Fixed v);
    void SetTextureRepeat(Fixed u, Fixed v);
    bool NeedsRebuild() const { return m_Rebuild != 0; }

private:
    void Changed(bool changed) {
        if (changed) m_Rebuild = 1;
    }

    Vector3 m_Position;
    Fixed m_Width, m_Height;
    Fixed m_OffsetU, m_OffsetV;
    Fixed m_ScaleU, m_ScaleV;
    Fixed m_RepeatU, m_RepeatV;
    I32 m_Rebuild;
};

}  // namespace Meridian
