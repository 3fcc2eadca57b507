// GUI view: the game's screens put together from the data files under
// <root>/Data (the atlas gui01.png with its rectangles, the background
// pattern, the spinner and the two fonts) at the places and sizes the screens
// use, so the atlas pictures can be judged as the player sees them.
//   --screen menu    background, title banner and the start prompt (default)
//   --screen songs   the song browser's title bar and a few song lines
//   --screen scores  the high-score title bar and table lines
//   --screen loading the analysis spinner and its progress text
//   --screen hud     the race HUD: score, time, energy bar (--energy 0..5)
//                    and the ornament, over a dark sky
#include <cstdio>
#include <cstdlib>

#include "Scene/ImageGeometry.h"
#include "Scene/Material.h"
#include "Scene/Shader.h"
#include "Scene/ShaderHelpers.h"
#include "Scene/TextGeometry.h"
#include "ViewScene.h"

using namespace Meridian;

namespace View {

namespace {

struct Rect {
    float u0, v0, u1, v1;
};

class GuiBuilder {
public:
    GuiBuilder(Scene& scene, const std::string& root) : m_Scene(scene), m_Root(root) {}

    bool Load() {
        m_Gui = FileShader("Data/SkyRail/gui01.png", Shader::BlendAlpha);
        m_Pattern = FileShader("Data/SkyRail/pattern01.png", Shader::BlendOpaque);
        m_Large = FontShader("Data/Fonts/SpaceAge12", false);
        m_Small = FontShader("Data/Fonts/04b03", true);
        if (!m_Gui || !m_Pattern || !m_Large || !m_Small) return false;
        Texture* atlas = m_Gui->GetTexture(0);
        atlas->SetMipmapMode(Texture::MipmapNearest);
        atlas->SetMagLinear(0);
        atlas->SetMinLinear(0);
        m_Pattern->SetLayer(0);
        return true;
    }

    Shader* FileShader(const std::string& file, I32 blend) {
        Shader* shader = CreateTextureShader((m_Root + "/" + file).c_str(), false, blend);
        if (!shader) std::fprintf(stderr, "skyrail-view: cannot load %s/%s\n", m_Root.c_str(), file.c_str());
        return shader;
    }

    Shader* FontShader(const std::string& base, bool small) {
        Ref<FontTexture2D> font = LoadFont(m_Root + "/" + base + ".png", m_Root + "/" + base + ".gly", small);
        if (!font) return nullptr;
        Shader* shader = New<Shader>();
        Ref<Material> material = New<Material>();
        material->SetDiffuse(1, 1, 1, 1);
        shader->SetMaterial(material);
        shader->SetTexture(0, font);
        shader->SetLighting(false);
        shader->SetBlendMode(small ? Shader::BlendAlphaTest : Shader::BlendAlpha);
        return shader;
    }

    ImageGeometry* Picture(Shader* shader, float x, float y, float w, float h, const Rect& rect) {
        ImageGeometry* picture = New<ImageGeometry>();
        picture->SetShader(shader);
        picture->SetPosition({Fixed::FromFloat(x), Fixed::FromFloat(y), Fixed::Zero});
        picture->SetSize(Fixed::FromFloat(w), Fixed::FromFloat(h));
        picture->SetTextureOffset(Fixed::FromFloat(rect.u0), Fixed::FromFloat(rect.v0));
        picture->SetTextureScale(Fixed::FromFloat(rect.u1), Fixed::FromFloat(rect.v1));
        picture->SetParent(m_Scene.Overlay());
        return picture;
    }

    void Text(Shader* font, float x, float y, const char* text, I32 h, I32 v) {
        Ref<Transform> place = New<Transform>();
        place->SetTranslation({Fixed::FromFloat(x), Fixed::FromFloat(y), Fixed::Zero});
        place->SetParent(m_Scene.Overlay());
        Ref<TextGeometry> line = New<TextGeometry>();
        line->SetShader(font);
        line->SetAlignment(h, v);
        line->SetText(text);
        line->SetParent(place);
    }

    void Background() {
        ImageGeometry* pattern = Picture(m_Pattern, -160, -120, 320, 240, {0, 0, 1, 1});
        pattern->SetTextureRepeat(Fixed::FromInt(16), Fixed::FromInt(16));
    }

    Ref<Shader> m_Gui, m_Pattern, m_Large, m_Small;

private:
    Scene& m_Scene;
    std::string m_Root;
};

}  // namespace

bool BuildGui(const Options& options, Scene& scene) {
    GuiBuilder gui(scene, options.inputs[0]);
    if (!gui.Load()) return false;
    const std::string screen = options.Get("screen", "menu");
    const Rect songBar{0, 0.875f, 0.625f, 1.0f}, scoreBar{0, 0.751953125f, 0.625f, 0.875f};
    if (screen == "menu") {
        gui.Background();
        gui.Picture(gui.m_Gui, -160, -40, 320, 80, {0, 0.439453125f, 0.625f, 0.75f});
        gui.Text(gui.m_Large, 0, -80, "PRESS \"Start\"", 1, 1);
    } else if (screen == "songs") {
        gui.Background();
        gui.Picture(gui.m_Gui, -160, 80, 320, 32, songBar);
        const char* songs[] = {"[..]", "SkyRail Demo.ogg", "Another Song.ogg", "Third Track - Extended Mix.ogg"};
        for (int i = 0; i < 4; ++i) gui.Text(gui.m_Small, -140, 60 - i * 10, songs[i], 0, 0);
    } else if (screen == "scores") {
        gui.Background();
        gui.Picture(gui.m_Gui, -160, 80, 320, 32, scoreBar);
        for (int i = 0; i < 10; ++i) {
            char line[64];
            std::snprintf(line, sizeof line, "%2d.  PLAYER%d  %05d", i + 1, i, 9000 - i * 750);
            gui.Text(gui.m_Small, -80, 60 - i * 10, line, 0, 0);
        }
    } else if (screen == "loading") {
        gui.Background();
        Ref<Shader> spinner = gui.FileShader("Data/SkyRail/loading01.png", Shader::BlendAlpha);
        if (!spinner) return false;
        spinner->SetLayer(9);
        gui.Picture(spinner, -32, -32, 64, 64, {0, 0, 1, 1});
        gui.Text(gui.m_Small, 0, -50, "01:23", 1, 1);
    } else if (screen == "hud") {
        const int energy = std::atoi(options.Get("energy", "3").c_str());
        const Rect bars[6] = {{0, 0.328125f, 0.46484375f, 0.4375f},
                              {0, 0.21875f, 0.46484375f, 0.328125f},
                              {0, 0.109375f, 0.46484375f, 0.21875f},
                              {0, 0, 0.46484375f, 0.109375f},
                              {0.533203125f, 0.328125f, 0.998046875f, 0.4375f},
                              {0.533203125f, 0.21875f, 0.998046875f, 0.328125f}};
        if (energy < 0 || energy > 5) {
            std::fprintf(stderr, "skyrail-view: --energy wants 0..5\n");
            return false;
        }
        gui.Picture(gui.m_Gui, -176, 87, 238, 28, bars[energy]);
        gui.Picture(gui.m_Gui, 48, 87, 114, 20, {0.77734375f, 0.04296875f, 1.0f, 0.12109375f});
        gui.Text(gui.m_Large, -152, 106, "04250", 0, 1);
        gui.Text(gui.m_Large, 152, 106, "01:23", 2, 1);
    } else {
        std::fprintf(stderr, "skyrail-view: unknown --screen %s\n", screen.c_str());
        return false;
    }
    return true;
}

}  // namespace View
