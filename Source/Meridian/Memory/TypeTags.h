// The class tags of the whole system: four ASCII characters in string order,
// the first character in the lowest byte. IsKindOf compares against these.
#pragma once

#include "Core/Types.h"

namespace Meridian {

constexpr U32 MakeTag(const char (&text)[5]) {
    return static_cast<U32>(static_cast<U8>(text[0])) | static_cast<U32>(static_cast<U8>(text[1])) << 8 |
           static_cast<U32>(static_cast<U8>(text[2])) << 16 | static_cast<U32>(static_cast<U8>(text[3])) << 24;
}

namespace Tags {
constexpr U32 Object = MakeTag("OBJ0");
constexpr U32 Node = MakeTag("NOD0");
constexpr U32 Group = MakeTag("GRP0");
constexpr U32 Container = MakeTag("CON0");
constexpr U32 InterfaceGroup = MakeTag("IFG0");
constexpr U32 Transform = MakeTag("TRF0");
constexpr U32 LookTransform = MakeTag("LTF0");
constexpr U32 Camera = MakeTag("CAM0");
constexpr U32 Light = MakeTag("LGT0");
constexpr U32 Fog = MakeTag("FOG0");
constexpr U32 Drawable = MakeTag("DRW0");
constexpr U32 PolygonGeometry = MakeTag("POG0");
constexpr U32 ImageGeometry = MakeTag("IGG0");
constexpr U32 SkinGeometry = MakeTag("SKG0");
constexpr U32 TextGeometry = MakeTag("TXG0");
constexpr U32 DrawTree = MakeTag("DRT0");
constexpr U32 Material = MakeTag("MAT0");
constexpr U32 Shader = MakeTag("SHD0");
constexpr U32 Texture = MakeTag("TEX0");
constexpr U32 Texture2D = MakeTag("TX20");
constexpr U32 FileTexture2D = MakeTag("FT20");
constexpr U32 FontTexture2D = MakeTag("TF20");
constexpr U32 RenderTarget = MakeTag("RTG0");
constexpr U32 AudioSource = MakeTag("AUS0");
constexpr U32 Input = MakeTag("INP0");
constexpr U32 Image = MakeTag("IMG0");
constexpr U32 Track = MakeTag("TRK0");
constexpr U32 TrackLibrary = MakeTag("TKL0");
constexpr U32 HermiteSpline = MakeTag("HSS0");
}  // namespace Tags

}  // namespace Meridian
