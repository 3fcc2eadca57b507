#include "Front/Help.h"

#include <vector>

#include "Core/App.h"
#include "Front/States.h"
#include "Scene/FontTexture2D.h"
#include "Scene/ImageGeometry.h"
#include "Scene/TextGeometry.h"

using namespace Meridian;

namespace {

const char* const MenuText =
    "- Skyrail - \n\nA freeware game brought to you by\nKestel (code) and Moorfield (graphics).\n\n"
    "Press '#{Start}'/'#{DPadB}' to get to the song selection.\n"
    "Press '#{DPadY}' to calibrate the audio offset.\nPress '#{System}' to exit the game.";
const char* const CalibrateText =
    "- Audio Calibration -\n\nSpeakers and headphones deliver the sound a little late.\n"
    "A click sounds every 0.75 seconds: press '#{DPadB}' (or any steering button) on each click you hear, "
    "in time with the sound.\n"
    "After 16 presses the median of how late they came is kept as the audio offset, and the race runs "
    "that far behind the music. Presses more than 250 ms from any click are ignored.\n\n"
    "Press '#{System}' to leave without saving.";
const char* const SelSongText =
    "- Song Selection -\n\nSelect a song you want to play with.\n\n"
    "Press '#{Start}'/'#{DPadB}' to start playing a song (or to enter a folder).\n"
    "Press '#{DPadX}' to show the hiscore of the selected song.\n";
const char* const ConvertText =
    "- Analyzing Song -\n\nThe selected song is getting analyzed to create the race track.\n"
    "The result is then saved for later reuse.\n\nPress '#{System}' to stop analyzation.";
const char* const PlayText =
    "- How to Play -\n\nMove the ship using '#{DPadLeft}/#{DPadRight}' or '#{DPadA}/#{DPadB}'.\n"
    "Skip 2 lanes by simultaneously pressing\n'#{DPadLeft}'&'#{DPadA}' or '#{DPadRight}'&'#{DPadB}'.\n\n"
    "A blue capsule scores 100 points while a red mine takes 250.\n"
    "A full energybar absorbs the points taken by red mine.\n"
    "Get 5% of the capsules without missing one\nor hitting a mine and get 500 bonus points!\n\n"
    "Press '#{Start}' to pause, '#{System}' to skip to the end.";
const char* const HiscorePadText =
    "- High Scores -\n\nTop 10 scores are shown for each song separately.\n\n"
    "Press '#{DPadUp}/#{DPadDown}' to select a character.\n"
    "Press '#{DPadRight}/#{DPadB}' to move to the next position.\n"
    "Press '#{DPadLeft}/#{DPadX}' to move to the previous position.\nPress '#{Start}' when finished.";
const char* const HiscoreKeyboardText =
    "- High Scores -\n\nTop 10 scores are shown for each song separately.\n\n"
    "Enter your name using the keyboard.\nPress 'Delete' to remove a character, 'Enter' to finish.\n\n"
    "Press '#{Start}' or '#{DPadB}' to return to the menu.";

const F32 TitleColor[4] = {89.0f / 255.0f, 192.0f / 255.0f, 223.0f / 255.0f, 1.0f};
// The panel tints its opaque white image: a deep blue that leaves the screen
// beneath a faint shadow, dark enough that white and title text stand out
// and the text of the screen beneath does not mix with the help.
const F32 PanelColor[4] = {0.0f, 0.03f, 0.10f, 0.95f};
// Lines wider than this (in interface units, the screen being 320 wide) are
// broken between words.
const I32 MaxLineWidth = 304;

// line broken at blanks into pieces no wider than width; a single word wider
// than that stays whole.
void Wrap(const std::string& line, const FontTexture2D* font, Fixed width, std::vector<std::string>& out) {
    if (!font || TextGeometry::Measure(font, line) <= width) {
        out.push_back(line);
        return;
    }
    std::string current;
    size_t start = 0;
    while (start <= line.size()) {
        size_t end = line.find(' ', start);
        if (end == std::string::npos) end = line.size();
        const std::string word = line.substr(start, end - start);
        const std::string joined = current.empty() ? word : current + " " + word;
        if (!current.empty() && TextGeometry::Measure(font, joined) > width) {
            out.push_back(current);
            current = word;
        } else {
            current = joined;
        }
        start = end + 1;
    }
    if (!current.empty()) out.push_back(current);
}

}  // namespace

void Help::SetText(const std::string& text) {
    if (text == m_Text) return;
    m_Text = text;
    Rebuild();
}

void Help::SetFontShader(Shader* shader) {
    m_FontShader = shader;
    Rebuild();
}

void Help::SetBackgroundShader(Shader* shader) {
    m_BackgroundShader = shader;
    Rebuild();
}

std::string Help::GetHelpText(I32 state) {
    App* app = App::Get();
    const char* text = "";
    switch (state) {
        case States::Menu: text = MenuText; break;
        case States::SelSong: text = SelSongText; break;
        case States::Convert: text = ConvertText; break;
        case States::Play: text = PlayText; break;
        case States::Calibrate: text = CalibrateText; break;
        case States::Hiscore: {
            Input* input = app ? app->GetInput() : nullptr;
            text = input && input->HasKeys() ? HiscoreKeyboardText : HiscorePadText;
            break;
        }
        default: break;
    }
    return app ? app->ExpandButtonNames(text) : std::string(text);
}

void Help::Rebuild() {
    if (!m_FontShader || !m_BackgroundShader) return;
    Fixed glyphWidth, h;
    if (FontTexture2D* font = Cast<FontTexture2D>(m_FontShader->GetTexture(0))) font->GetGlyphSize(glyphWidth, h);

    while (GetChildCount() > 0) GetChild(0)->SetParent(nullptr);

    ImageGeometry* panel = New<ImageGeometry>();
    panel->SetShader(m_BackgroundShader);
    panel->SetColor(PanelColor[0], PanelColor[1], PanelColor[2], PanelColor[3]);
    panel->SetPosition({Fixed::FromInt(-165), Fixed::FromInt(-125), Fixed::Zero});
    panel->SetSize(Fixed::FromInt(330), Fixed::FromInt(250));
    panel->SetStatic(ArrayAll);
    panel->SetParent(this);

    // The piece after the last line break is a line too (maybe empty); lines
    // too wide for the screen continue on the next.
    const FontTexture2D* font = Cast<FontTexture2D>(m_FontShader->GetTexture(0));
    std::vector<std::string> lines;
    size_t titleLines = 0;
    size_t start = 0;
    for (size_t end; (end = m_Text.find('\n', start)) != std::string::npos; start = end + 1) {
        Wrap(m_Text.substr(start, end - start), font, Fixed::FromInt(MaxLineWidth), lines);
        if (titleLines == 0) titleLines = lines.size();
    }
    Wrap(m_Text.substr(start), font, Fixed::FromInt(MaxLineWidth), lines);
    if (titleLines == 0) titleLines = lines.size();

    const I32 n = static_cast<I32>(lines.size());
    const Fixed top = h * Fixed::FromFloat(static_cast<F32>(n) * 0.5f);
    for (I32 i = 0; i < n; ++i) {
        // Empty lines keep their place but draw nothing.
        if (lines[i].empty()) continue;
        Transform* holder = New<Transform>();
        holder->SetTranslation({Fixed::Zero, top - h * Fixed::FromInt(i), Fixed::Zero});
        holder->SetParent(this);
        TextGeometry* line = New<TextGeometry>();
        line->SetShader(m_FontShader);
        line->SetAlignment(TextGeometry::AlignCentre, TextGeometry::AlignStart);
        line->SetText(lines[i].c_str());
        if (static_cast<size_t>(i) < titleLines) {
            line->SetStatic(ArrayAll & ~ArrayColors);
            line->SetColor(TitleColor[0], TitleColor[1], TitleColor[2], TitleColor[3]);
        } else {
            line->SetStatic(ArrayAll);
        }
        line->SetParent(holder);
    }
}
