#include "Scene/ShaderHelpers.h"

#include "Image/ImportPNG.h"

namespace Meridian {

Shader* CreateColorShader(const F32* rgba, bool lighting) {
    Material* material = New<Material>();
    if (rgba) material->SetDiffuse(rgba[0], rgba[1], rgba[2], rgba[3]);
    Shader* shader = New<Shader>();
    shader->SetMaterial(material);
    shader->SetLighting(lighting);
    return shader;
}

Texture2D* CreateTextureFromFile(const char* path) {
    Image* image = ImportPNG(path, true);
    if (!image) return nullptr;
    Texture2D* texture = New<Texture2D>();
    texture->SetImage(image);
    return texture;
}

Shader* CreateTextureShader(const char* path, bool lighting, I32 blendMode) {
    Texture2D* texture = CreateTextureFromFile(path);
    if (!texture) return nullptr;
    Material* material = New<Material>();
    material->SetDiffuse(1.0f, 1.0f, 1.0f, 1.0f);
    Shader* shader = New<Shader>();
    shader->SetTexture(0, texture);
    shader->SetMaterial(material);
    shader->SetLighting(lighting);
    shader->SetBlendMode(blendMode);
    return shader;
}

}  // namespace Meridian
