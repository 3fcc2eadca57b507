// Font view: sample lines laid out by TextGeometry from a bitmap font (its
// .png and .gly), white on the background, with the font's atlas shown 1:1
// in the lower right corner. --text replaces the sample (lines split at
// '|'); --small sets the font up as the game's crisp 8-pixel font (nearest
// sampling, alpha test). Render at --scale 1 and enlarge with --zoom to see
// the pixels the handheld shows.
#include <algorithm>
#include <cstdio>

#include "Scene/ImageGeometry.h"
#include "Scene/Material.h"
#include "Scene/Shader.h"
#include "Scene/TextGeometry.h"
#include "ViewScene.h"

using namespace Meridian;

namespace View {

bool BuildFont(const Options& options, Scene& scene) {
    const bool small = options.values.count("small") != 0;
    Ref<FontTexture2D> font = LoadFont(options.inputs[0], options.inputs[1], small);
    if (!font) return false;
    Ref<Shader> shader = New<Shader>();
    Ref<Material> material = New<Material>();
    material->SetDiffuse(1, 1, 1, 1);
    shader->SetMaterial(material);
    shader->SetLighting(false);
    shader->SetTexture(0, font);
    shader->SetBlendMode(small ? Shader::BlendAlphaTest : Shader::BlendAlpha);

    std::vector<std::string> lines;
    const std::string text = options.Get("text", "SKYRAIL 00:00 12345\nABCDEFGHIJKLMNOPQRSTUVWXYZ\nabcdefghijklmnopqrstuvwxyz\n"
                                                 "0123456789 !\"#$%&'()*+,-./\n:;<=>?@[\\]^_`{|}~\nPRESS \"Start\"  Score: 04250");
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i)
        if (i == text.size() || text[i] == '\n') {
            lines.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    int lineHeight = 0;
    for (const GlyphRecord& g : font->Glyphs())
        if (g.code >= 0) lineHeight = std::max(lineHeight, g.h);
    lineHeight += 3;
    for (size_t i = 0; i < lines.size(); ++i) {
        Ref<Transform> place = New<Transform>();
        place->SetTranslation({Fixed::FromInt(-154), Fixed::FromInt(100 - static_cast<I32>(i) * lineHeight), Fixed::Zero});
        place->SetParent(scene.Overlay());
        Ref<TextGeometry> line = New<TextGeometry>();
        line->SetShader(shader);
        line->SetText(lines[i].c_str());
        line->SetParent(place);
    }
    // The atlas itself, in the lower right corner.
    Ref<Shader> atlasShader = New<Shader>();
    atlasShader->SetMaterial(material);
    atlasShader->SetLighting(false);
    atlasShader->SetTexture(0, font);
    atlasShader->SetBlendMode(Shader::BlendAlpha);
    const I32 w = font->GetWidth(), h = font->GetHeight();
    Ref<ImageGeometry> atlas = New<ImageGeometry>();
    atlas->SetShader(atlasShader);
    atlas->SetPosition({Fixed::FromInt(158 - w), Fixed::FromInt(-118), Fixed::Zero});
    atlas->SetSize(Fixed::FromInt(w), Fixed::FromInt(h));
    atlas->SetParent(scene.Overlay());
    std::printf("font %s: atlas %d x %d, line height %d\n", options.inputs[0].c_str(), w, h, lineHeight);
    return true;
}

}  // namespace View
