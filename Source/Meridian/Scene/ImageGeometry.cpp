#include "Scene/ImageGeometry.h"

#include "Core/Log.h"
#include "Scene/Shader.h"
#include "Scene/Texture2D.h"

namespace Meridian {

ImageGeometry::ImageGeometry()
    : m_Position(Vector3::Zero),
      m_Width(Fixed::One),
      m_Height(Fixed::One),
      m_ScaleU(Fixed::One),
      m_ScaleV(Fixed::One),
      m_RepeatU(Fixed::One),
      m_RepeatV(Fixed::One),
      m_Rebuild(1) {}

void ImageGeometry::SetPosition(const Vector3& position) {
    Changed(position != m_Position);
    m_Position = position;
}

void ImageGeometry::SetSize(Fixed width, Fixed height) {
    Changed(width != m_Width || height != m_Height);
    m_Width = width;
    m_Height = height;
}

void ImageGeometry::SetTextureOffset(Fixed u, Fixed v) {
    Changed(u != m_OffsetU || v != m_OffsetV);
    m_OffsetU = u;
    m_OffsetV = v;
}

void ImageGeometry::SetTextureScale(Fixed u, Fixed v) {
    Changed(u != m_ScaleU || v != m_ScaleV);
    m_ScaleU = u;
    m_ScaleV = v;
}

void ImageGeometry::SetTextureRepeat(Fixed u, Fixed v) {
    m_RepeatU = u;
    m_RepeatV = v;
    m_Rebuild = 1;
}

void ImageGeometry::UpdateDrawable() {
    if (!m_Rebuild) return;
    Shader* shader = GetShader();
    Texture2D* texture = shader ? Cast<Texture2D>(shader->GetTexture(0)) : nullptr;
    Image* image = texture ? texture->GetImage() : nullptr;
    if (!image) {
        LogE() << "ImageGeometry::UpdateDrawable: Image==0";
        return;
    }
    if (image->GetWidth() < 1 || image->GetHeight() < 1) {
        LogE() << "ImageGeometry::UpdateDrawable: Image has invalid dimensions.";
        return;
    }

    const F32 x = m_Position.x.ToFloat(), y = m_Position.y.ToFloat(), z = m_Position.z.ToFloat();
    const F32 right = (m_Position.x + m_Width).ToFloat(), top = (m_Position.y + m_Height).ToFloat();
    const F32 ou = m_OffsetU.ToFloat(), ov = m_OffsetV.ToFloat();
    const F32 U = (m_RepeatU * m_ScaleU).ToFloat(), V = (m_RepeatV * m_ScaleV).ToFloat();

    PolygonData& data = *m_Data;
    data.m_Vertices = {{x, y, z}, {right, y, z}, {x, top, z}, {right, top, z}};
    data.m_TexCoords[0] = {{ou, ov}, {U, ov}, {ou, V}, {U, V}};
    data.m_Colors.clear();
    data.m_Indices = {0, 1, 2, 1, 3, 2};
    data.m_BoundingSphere = BoundsOf(data.m_Vertices);
    data.m_Dirty |= ArrayVertices | ArrayIndices | ArrayTexCoords0;
    data.m_PrimitiveCount = 2;
    m_Rebuild = 0;
}

}  // namespace Meridian
