#include "Front/Screens.h"

#include <cstdlib>

#include <iniparser.h>

#include "Core/DataFolder.h"
#include "Image/ImportPNG.h"
#include "Import/ImportGlyphData.h"
#include "Scene/Material.h"
#include "Scene/ShaderHelpers.h"

using namespace Meridian;

namespace Screens {

namespace {

Fixed Px(I32 pixels) { return Fixed::FromInt(pixels); }

}  // namespace

Shader* LoadFont(const char* base, Fixed glyphSize, I32 blendMode, bool crisp) {
    const std::string path = base;
    Ref<FontTexture2D> font = New<FontTexture2D>();
    font->SetName(path);
    font->SetGlyphSize(glyphSize, glyphSize);
    font->SetImage(ImportPNG((path + ".png").c_str(), true));
    font->SetGlyphs(ImportGlyphData((path + ".gly").c_str()).glyphs);
    if (crisp) {
        font->SetMipmapMode(Texture::MipmapNearest);
        font->SetMagLinear(0);
    }
    Ref<Material> material = New<Material>();
    material->SetDiffuse(1.0f, 1.0f, 1.0f, 1.0f);
    Shader* shader = New<Shader>();
    shader->SetName(path + "Shader");
    shader->SetMaterial(material);
    shader->SetTexture(0, font);
    shader->SetLighting(false);
    shader->SetBlendMode(blendMode);
    return shader;
}

ImageGeometry* AddRect(Group* parent, Shader* shader, I32 x, I32 y, I32 w, I32 h, F32 u0, F32 v0, F32 u1, F32 v1) {
    ImageGeometry* rect = New<ImageGeometry>();
    rect->SetShader(shader);
    rect->SetPosition({Px(x), Px(y), Fixed::Zero});
    rect->SetSize(Px(w), Px(h));
    rect->SetTextureOffset(Fixed::FromFloat(u0), Fixed::FromFloat(v0));
    rect->SetTextureScale(Fixed::FromFloat(u1), Fixed::FromFloat(v1));
    rect->SetParent(parent);
    return rect;
}

TextGeometry* AddText(Group* parent, Shader* font, I32 x, I32 y, I32 horizontal, I32 vertical, const char* text) {
    Transform* place = New<Transform>();
    place->SetTranslation({Px(x), Px(y), Fixed::Zero});
    place->SetParent(parent);
    TextGeometry* line = New<TextGeometry>();
    line->SetShader(font);
    line->SetAlignment(horizontal, vertical);
    line->SetText(text);
    line->SetParent(place);
    return line;
}

void BuildHud(RaceHud& hud, Shader* largeFont, Shader* gui) {
    Ref<Group> group = New<Group>();
    group->SetName("Hud");
    group->SetParent(hud.m_RaceRoot);
    hud.m_ScoreText = AddText(group, largeFont, -152, 106, TextGeometry::AlignStart, TextGeometry::AlignCentre, "00000");
    hud.m_TimeText = AddText(group, largeFont, 152, 106, TextGeometry::AlignEnd, TextGeometry::AlignCentre, "00:00");
    static const F32 bars[6][4] = {
        {0.0f, 0.328125f, 0.46484375f, 0.4375f},         {0.0f, 0.21875f, 0.46484375f, 0.328125f},
        {0.0f, 0.109375f, 0.46484375f, 0.21875f},        {0.0f, 0.0f, 0.46484375f, 0.109375f},
        {0.533203125f, 0.328125f, 0.998046875f, 0.4375f}, {0.533203125f, 0.21875f, 0.998046875f, 0.328125f},
    };
    for (I32 i = 0; i < 6; ++i) {
        hud.m_Energy[i] = AddRect(group, gui, -176, 87, 238, 28, bars[i][0], bars[i][1], bars[i][2], bars[i][3]);
        hud.m_Energy[i]->SetStatic(0xFFFFFFFFu);
        hud.m_Energy[i]->SetEnabled(0);
    }
    ImageGeometry* ornament = AddRect(group, gui, 48, 87, 114, 20, 0.77734375f, 0.04296875f, 1.0f, 0.12109375f);
    ornament->SetStatic(0xFFFFFFFFu);

    hud.m_Fade = AddRect(hud.m_RaceRoot,
                         CreateTextureShader(DataFile("SkyRail/pixel.png").c_str(), false, Shader::BlendAlpha),
                         -165, -125, 330, 250);
    hud.m_Fade->SetColor(0.0f, 0.0f, 0.0f, 0.0f);
    hud.m_Fade->SetEnabled(0);
    hud.m_PausedText = AddText(hud.m_RaceRoot, largeFont, 0, 0, TextGeometry::AlignCentre, TextGeometry::AlignCentre, "PAUSED");
    hud.m_PausedText->SetEnabled(0);
}

void ReadConfiguration(const char* path, Input* input, std::string* musicFolder) {
    dictionary* ini = iniparser_load(path);
    if (!ini) return;
    const char* folder = iniparser_getstring(ini, "Music:folder", nullptr);
    if (musicFolder && folder && *folder) {
        const char* home = std::getenv("HOME");
        *musicFolder = folder[0] == '~' && folder[1] == '/' && home ? std::string(home) + (folder + 1) : folder;
    }
    Fixed zones[4];
    if (input && input->GetDeadZone(0, zones[0], zones[1], zones[2], zones[3])) {
        static const char* const keys[4] = {"Input:joystick_deadzone_L", "Input:joystick_deadzone_R",
                                            "Input:joystick_deadzone_U", "Input:joystick_deadzone_D"};
        for (int i = 0; i < 4; ++i) {
            double value = iniparser_getdouble(ini, keys[i], zones[i].Raw() / 65536.0) * 65536.0;
            // A value beyond the 16.16 range (or not a number) keeps the current one.
            if (!(value > -2147483648.0 && value < 2147483647.0)) value = zones[i].Raw();
            zones[i] = Fixed::FromRaw(static_cast<I32>(value));
        }
        input->SetDeadZone(0, zones[0], zones[1], zones[2], zones[3]);
    }
    iniparser_freedict(ini);
}

}  // namespace Screens
