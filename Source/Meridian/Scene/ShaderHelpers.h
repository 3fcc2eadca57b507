// One-call shader construction for game code.
//
// Every result is a new object with reference count 0: the caller takes its
// reference (Ref<T>) or hands it to a holder. PNG files load bottom row
// first, as textures need them.
// Depends on: Scene/Shader.h, Scene/Texture2D.h, Image/ImportPNG.h.
#pragma once

#include "Scene/Shader.h"
#include "Scene/Texture2D.h"

namespace Meridian {

// A Shader with a new Material whose diffuse colour is rgba (four floats,
// not kept), lighting as given, everything else at its default.
Shader* CreateColorShader(const F32* rgba, bool lighting);

// A Texture2D holding the PNG at path, or null (the importer logs why).
Texture2D* CreateTextureFromFile(const char* path);

// A Shader with the PNG at path in texture unit 0, a white Material, the
// lighting flag and blend mode (Shader::BlendMode) as given; null when the
// image cannot be loaded. Culling, depth test and layer stay at defaults.
Shader* CreateTextureShader(const char* path, bool lighting, I32 blendMode);

}  // namespace Meridian
