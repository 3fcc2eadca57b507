// Help: the help page of the current application state, a dark, nearly
// opaque panel (330 x 250 around the origin, over the whole screen) with
// centred lines of text in front of the screen.
//
// The node rebuilds its children whenever its text or a shader changes: the
// panel first, then one TextGeometry per non-empty line, the block of lines
// centred vertically with a pitch of the font's nominal glyph height; the
// first line is drawn in the title colour. A line wider than the screen
// (304 units, to leave a margin) is broken between words onto the next.
// Without both shaders nothing is rebuilt. GetHelpText gives the text of a
// state (States.h) with the button
// placeholders "#{Name}" replaced by the input device's labels.
// Depends on: Meridian scene (Transform, ImageGeometry, TextGeometry, Shader,
// FontTexture2D), App (button labels, keyboard presence), Front/States.h.
#pragma once

#include <string>

#include "Scene/Shader.h"
#include "Scene/Transform.h"

class Help : public Meridian::Transform {
    MERIDIAN_CLASS(Help, Meridian::Transform)

    // Same length and bytes as the current text: nothing happens.
    void SetText(const std::string& text);
    const std::string& GetText() const { return m_Text; }
    // Texture 0 of the font shader should be a FontTexture2D.
    void SetFontShader(Meridian::Shader* shader);
    void SetBackgroundShader(Meridian::Shader* shader);

    // The help text of a state number, button names expanded through the
    // running App (unexpanded without one); empty for states without help.
    static std::string GetHelpText(Meridian::I32 state);

private:
    void Rebuild();

    std::string m_Text;
    Meridian::Ref<Meridian::Shader> m_FontShader;
    Meridian::Ref<Meridian::Shader> m_BackgroundShader;
};
