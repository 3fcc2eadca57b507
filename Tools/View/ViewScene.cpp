#include "ViewScene.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "Image/ImportPNG.h"
#include "Import/ImportGlyphData.h"

using namespace Meridian;

namespace View {

namespace {

Vector3 ToFixed(const Vector3f& v) { return {Fixed::FromFloat(v.x), Fixed::FromFloat(v.y), Fixed::FromFloat(v.z)}; }

const float FieldOfView = 40.0f;

}  // namespace

bool Options::GetFloats(const std::string& name, std::vector<float>& out, size_t count) const {
    auto it = values.find(name);
    if (it == values.end()) return false;
    out.clear();
    const char* text = it->second.c_str();
    while (*text) {
        char* end = nullptr;
        out.push_back(std::strtof(text, &end));
        if (end == text) return false;
        text = *end == ',' ? end + 1 : end;
        if (*end && *end != ',') return false;
    }
    return out.size() == count;
}

Scene::Scene() {
    m_Root = New<Group>();
    m_Root->SetName("ViewRoot");
    m_World = New<Group>();
    m_World->SetParent(m_Root);

    m_CameraTransform = New<LookTransform>();
    m_CameraTransform->SetParent(m_Root);
    m_Camera = New<Camera>();
    m_Camera->SetParent(m_CameraTransform);
    m_Camera->SetFieldOfView(Fixed::FromFloat(FieldOfView));
    LookAt({0, 0, 5}, {0, 0, 0});

    Ref<Light> ambient = New<Light>();
    ambient->SetLightType(Light::Ambient);
    ambient->SetColor(0.35f, 0.35f, 0.38f);
    ambient->SetParent(m_World);
    // Sunlight from above, the left and the viewer's side.
    Ref<LookTransform> sun = New<LookTransform>();
    sun->SetTranslation({Fixed::Zero, Fixed::Zero, Fixed::Zero});
    sun->SetTarget(ToFixed({-0.4f, 1.0f, 0.6f}));
    sun->SetUp(ToFixed({0, 0, 1}));
    sun->SetParent(m_World);
    Ref<Light> light = New<Light>();
    light->SetLightType(Light::Directional);
    light->SetColor(0.8f, 0.8f, 0.78f);
    light->SetParent(sun);

    m_Overlay = New<InterfaceGroup>();
    m_Overlay->SetParent(m_Root);
}

Scene::~Scene() {}

void Scene::LookAt(const Vector3f& eye, const Vector3f& target) {
    m_CameraTransform->SetTranslation(ToFixed(eye));
    m_CameraTransform->SetTarget(ToFixed(target));
    m_CameraTransform->SetUp(ToFixed({0, 1, 0}));
}

void Scene::Frame(const Vector3f& centre, float radius) {
    if (radius <= 0) radius = 1;
    const float distance = radius / std::sin(FieldOfView / 2 * 3.14159265f / 180) * 1.08f;
    LookAt({centre.x, centre.y, centre.z + distance}, centre);
    m_Camera->SetNear(Fixed::FromFloat(std::max(0.05f, distance - radius * 1.5f)));
    m_Camera->SetFar(Fixed::FromFloat(distance + radius * 1.5f));
}

FontTexture2D* LoadFont(const std::string& png, const std::string& gly, bool small) {
    Ref<Image> image = ImportPNG(png.c_str(), true);
    if (!image) {
        std::fprintf(stderr, "skyrail-view: cannot load the font image %s\n", png.c_str());
        return nullptr;
    }
    GlyphData glyphs = ImportGlyphData(gly.c_str());
    if (glyphs.glyphs.empty()) {
        std::fprintf(stderr, "skyrail-view: no glyphs in %s\n", gly.c_str());
        return nullptr;
    }
    FontTexture2D* font = New<FontTexture2D>();
    font->SetImage(image);
    font->SetGlyphs(glyphs.glyphs);
    if (small) {
        font->SetMipmapMode(Texture::MipmapNearest);
        font->SetMagLinear(0);
    }
    return font;
}

}  // namespace View
