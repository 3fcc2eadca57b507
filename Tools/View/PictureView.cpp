// Picture view: a PNG on a rectangle of the 320 x 240 screen over a
// checkerboard (so transparency shows). The rectangle keeps the picture's
// aspect and fills the screen unless --size w,h gives it in screen pixels.
// --rect u0,v0,u1,v1 shows only that part of the texture (v from the bottom
// row, as the game addresses its atlas); --nearest samples without filtering.
#include <algorithm>
#include <cstdio>

#include "Image/Image.h"
#include "Scene/ImageGeometry.h"
#include "Scene/Material.h"
#include "Scene/Shader.h"
#include "Scene/ShaderHelpers.h"
#include "ViewScene.h"

using namespace Meridian;

namespace View {

namespace {

// A grey checkerboard covering the screen, 8-pixel squares.
void AddCheckerboard(Scene& scene) {
    Ref<Image> image = New<Image>();
    image->Create(ImageRGB, 2, 2);
    const U8 pixels[12] = {90, 90, 96, 60, 60, 66, 60, 60, 66, 90, 90, 96};
    std::copy(pixels, pixels + 12, image->GetPixels());
    Ref<Texture2D> texture = New<Texture2D>();
    texture->SetImage(image);
    texture->SetMipmapMode(Texture::MipmapNone);
    texture->SetMagLinear(0);
    texture->SetMinLinear(0);
    Ref<Shader> shader = New<Shader>();
    shader->SetLighting(false);
    shader->SetTexture(0, texture);
    shader->SetLayer(0);
    Ref<ImageGeometry> board = New<ImageGeometry>();
    board->SetShader(shader);
    board->SetPosition({Fixed::FromInt(-160), Fixed::FromInt(-120), Fixed::Zero});
    board->SetSize(Fixed::FromInt(320), Fixed::FromInt(240));
    board->SetTextureRepeat(Fixed::FromInt(20), Fixed::FromInt(15));
    board->SetParent(scene.Overlay());
}

}  // namespace

bool BuildPicture(const Options& options, Scene& scene) {
    const std::string& path = options.inputs[0];
    Ref<Shader> shader = CreateTextureShader(path.c_str(), false, Shader::BlendAlpha);
    if (!shader) {
        std::fprintf(stderr, "skyrail-view: cannot load %s\n", path.c_str());
        return false;
    }
    Texture2D* texture = Cast<Texture2D>(shader->GetTexture(0));
    if (options.values.count("nearest")) {
        texture->SetMipmapMode(Texture::MipmapNearest);
        texture->SetMagLinear(0);
        texture->SetMinLinear(0);
    }
    shader->SetLayer(1);
    std::vector<float> rect{0, 0, 1, 1}, size;
    if (options.values.count("rect") && !options.GetFloats("rect", rect, 4)) {
        std::fprintf(stderr, "skyrail-view: --rect wants u0,v0,u1,v1\n");
        return false;
    }
    float w = texture->GetWidth() * (rect[2] - rect[0]), h = texture->GetHeight() * (rect[3] - rect[1]);
    if (options.GetFloats("size", size, 2)) {
        w = size[0], h = size[1];
    } else {
        const float fit = std::min(320.0f / w, 240.0f / h);
        w *= fit, h *= fit;
    }
    std::printf("%s: %d x %d, shown %.0f x %.0f\n", path.c_str(), texture->GetWidth(), texture->GetHeight(), w, h);
    AddCheckerboard(scene);
    Ref<ImageGeometry> picture = New<ImageGeometry>();
    picture->SetShader(shader);
    picture->SetPosition({Fixed::FromFloat(-w / 2), Fixed::FromFloat(-h / 2), Fixed::Zero});
    picture->SetSize(Fixed::FromFloat(w), Fixed::FromFloat(h));
    picture->SetTextureOffset(Fixed::FromFloat(rect[0]), Fixed::FromFloat(rect[1]));
    picture->SetTextureScale(Fixed::FromFloat(rect[2]), Fixed::FromFloat(rect[3]));
    picture->SetParent(scene.Overlay());
    return true;
}

}  // namespace View
