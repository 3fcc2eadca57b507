// Device handles: the render device's own objects behind textures and meshes.
//
// A device attaches a handle to a Texture (Texture::SetHandle) on first bind
// and to a mesh's PolygonData (PolygonGeometry::SetRenderHandle) on first
// draw. The engine object holds the handle by a counted reference and never
// looks inside it; only the device that made a handle knows its graphics
// names, so engine code stays free of graphics-library calls. The device
// keeps its own list of live handles so that it can release them all at
// Exit, after which a handle left in an engine object has no device and
// releases its graphics objects by itself when its last reference goes.
//
// Depends on: Memory/Object.h. Implementations: the render device's files.
#pragma once

#include "Memory/Object.h"

namespace Meridian {

// The graphics texture behind a Texture.
class TextureHandle : public Object {
    MERIDIAN_CLASS(TextureHandle, Object)

    // Deletes the graphics texture, if any; the handle may be created again.
    // Implementations also release in their destructor.
    virtual void Release() = 0;
    // Makes the graphics texture name; true when the handle then has one.
    virtual bool Create() = 0;
    // Whether a graphics texture name exists (a released handle has none).
    virtual bool IsCreated() const = 0;
};

// The buffer objects behind a PolygonGeometry's arrays.
class RenderPolygonHandle : public Object {
    MERIDIAN_CLASS(RenderPolygonHandle, Object)

    // Gives the buffers back (to the device for reuse, or deletes them when
    // the device is gone). Implementations also release in their destructor.
    virtual void Release() = 0;
};

}  // namespace Meridian
