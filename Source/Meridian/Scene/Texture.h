// Texture: the base of every texture kind. Holds the filtering settings, the
// render device's handle and an optional texture-matrix node.
//
// The handle is attached by the render device on first use and held by a
// counted reference; releasing the texture's last reference releases the
// handle and with it the graphics texture. The transform node (null by
// default) is owned too; the device loads its local matrix as the texture
// matrix whenever the texture is bound. Pixel sizes come from the kinds
// that have pixels (Texture2D, RenderTarget).
// Depends on: Memory/Object.h, Render/RenderHandles.h, Scene/Transform.h.
#pragma once

#include "Memory/Object.h"
#include "Render/RenderHandles.h"
#include "Scene/Transform.h"

namespace Meridian {

class Texture : public Object {
    MERIDIAN_TAGGED_CLASS(Texture, Object, Tags::Texture)

    enum MipmapMode : I32 {
        MipmapNearest = 0,  // nearest mip level
        MipmapLinear = 1,   // blend between mip levels
        MipmapNone = 2,     // no mipmapping
    };

    Texture() : m_MipmapMode(MipmapLinear), m_MagLinear(1), m_MinLinear(1) {}

    // Replaces the device handle (null detaches it); the old one is released
    // when this was its last reference.
    virtual void SetHandle(TextureHandle* handle) { m_Handle = handle; }
    TextureHandle* GetHandle() const { return m_Handle; }

    Transform* GetTransform() const { return m_Transform; }
    void SetTransform(Transform* transform) { m_Transform = transform; }

    I32 GetMipmapMode() const { return m_MipmapMode; }
    void SetMipmapMode(I32 mode) { m_MipmapMode = mode; }
    // Magnification filter: linear (1) or nearest (0).
    I32 GetMagLinear() const { return m_MagLinear; }
    void SetMagLinear(I32 on) { m_MagLinear = on; }
    // Minification filter: linear (1) or nearest (0), combined with the mipmap mode.
    I32 GetMinLinear() const { return m_MinLinear; }
    void SetMinLinear(I32 on) { m_MinLinear = on; }

private:
    Ref<TextureHandle> m_Handle;
    Ref<Transform> m_Transform;
    I32 m_MipmapMode;
    I32 m_MagLinear;
    I32 m_MinLinear;
};

}  // namespace Meridian
