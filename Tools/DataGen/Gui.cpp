// gui01.png: the 512 x 512 atlas of the menus and the race HUD.
//
// The screens address it with texture coordinates whose v counts from the
// bottom row, and draw every picture at half its atlas height (a 320 x 159
// banner becomes 320 x 80 on screen), so the pictures are painted stretched
// to twice their height. The GUI texture is sampled without filtering, so
// shapes keep to two-pixel detail.
#include <algorithm>
#include <cstdio>

#include "DataGen.h"

namespace DataGen {

namespace {

const int AtlasSize = 512;

// A rectangle of the atlas given in texture coordinates, in PNG pixels.
struct Rect {
    int x0, y0, x1, y1;  // y0 is the top row
    int W() const { return x1 - x0; }
    int H() const { return y1 - y0; }
};

Rect FromTexCoords(double u0, double v0, double u1, double v1) {
    auto px = [](double t) { return static_cast<int>(t * AtlasSize + 0.5); };
    return {px(u0), AtlasSize - px(v1), px(u1), AtlasSize - px(v0)};
}

const char* const TitleFont = "DejaVuSans-Bold.ttf";

// Text centred in a rectangle, stretched to twice its height.
void CentredText(Canvas& c, const Rect& r, const std::string& text, int em, const Color& color, double baselineAt) {
    const double width = DrawText(c, TitleFont, em, em * 2, text, 0, 0, color, true);
    DrawText(c, TitleFont, em, em * 2, text, r.x0 + static_cast<int>((r.W() - width) / 2),
             r.y0 + static_cast<int>(r.H() * baselineAt), color);
}

// Recolours everything drawn into a layer with a vertical gradient and
// composites it onto the atlas.
void GradientLayer(Canvas& atlas, const Canvas& layer, int y0, int y1, const Color& top, const Color& bottom) {
    for (int y = 0; y < layer.Height(); ++y)
        for (int x = 0; x < layer.Width(); ++x) {
            const Color& p = layer.At(x, y);
            if (p.a <= 0) continue;
            const Color g = Mix(top, bottom, Clamp01(static_cast<double>(y - y0) / (y1 - y0)));
            atlas.Over(x, y, WithAlpha(g, p.a));
        }
}

void Banner(Canvas& c, const Rect& r) {
    // A horizon line with rays fanning out behind the title.
    const double horizonY = r.y0 + r.H() * 0.5, cx = r.x0 + r.W() / 2.0;
    for (int i = -6; i <= 6; ++i)
        c.FillClipped(Segment(cx + i * 8, horizonY, cx + i * 50, r.y0 + r.H() * 0.8, 1.6), Rgba(60, 150, 255, 110),
                      r.x0, r.y0, r.x1, r.y1);
    c.FillClipped(Box(r.x0 + 4, horizonY - 2, r.x1 - 4, horizonY + 2, 2), Rgba(120, 220, 255, 200), r.x0, r.y0, r.x1,
                  r.y1);
    // The title: a glow, a dark outline, then the letters with a gradient.
    Canvas layer(AtlasSize, AtlasSize);
    CentredText(layer, r, "SKYRAIL", 56, {1, 1, 1, 1}, 0.66);
    for (int y = r.y0; y < r.y1; ++y)
        for (int x = r.x0; x < r.x1; ++x) {
            double glow = 0, edge = 0;
            for (int dy = -8; dy <= 8; dy += 2)
                for (int dx = -4; dx <= 4; ++dx) {
                    const int sx = x + dx, sy = y + dy;
                    if (sx < 0 || sy < 0 || sx >= AtlasSize || sy >= AtlasSize) continue;
                    const double a = layer.At(sx, sy).a;
                    glow += a;
                    if (std::abs(dx) <= 2 && std::abs(dy) <= 4) edge = std::max(edge, a);
                }
            c.Over(x, y, WithAlpha(Rgba(40, 140, 255), Clamp01(glow / 30.0) * 0.8));
            c.Over(x, y, WithAlpha(Rgba(5, 15, 45), edge));
        }
    GradientLayer(c, layer, r.y0 + 20, r.y0 + 110, Rgba(235, 250, 255), Rgba(40, 160, 255));
    {
        Canvas sub(AtlasSize, AtlasSize);
        CentredText(sub, r, "M U S I C   R A C E R", 11, {1, 1, 1, 1}, 0.95);
        for (int y = r.y0; y < r.y1; ++y)
            for (int x = r.x0; x < r.x1; ++x) {
                double edge = 0;
                for (int dy = -2; dy <= 2; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) edge = std::max(edge, sub.At(x + dx, y + dy).a);
                c.Over(x, y, WithAlpha(Rgba(5, 15, 45), edge));
            }
        GradientLayer(c, sub, r.y0 + 130, r.y1, Rgba(255, 230, 120), Rgba(255, 150, 40));
    }
}

void TitleBar(Canvas& c, const Rect& r, const std::string& title) {
    c.Paint(r.x0, r.y0, r.x1, r.y1, [&](double, double y) {
        const double t = (y - r.y0) / r.H();
        return Mix(Rgba(20, 70, 170, 235), Rgba(6, 20, 60, 235), t);
    });
    c.FillClipped(Box(r.x0 - 2, r.y1 - 6, r.x1 + 2, r.y1 + 2), Rgba(90, 200, 255), r.x0, r.y0, r.x1, r.y1);
    c.FillClipped(Box(r.x0 - 2, r.y0 - 2, r.x1 + 2, r.y0 + 2), Rgba(120, 210, 255, 180), r.x0, r.y0, r.x1, r.y1);
    for (int side : {0, 1}) {
        const double x = side ? r.x1 - 28 : r.x0 + 28, dir = side ? -1 : 1;
        for (int k = 0; k < 3; ++k) {
            const double tip = x + dir * (k * 10 + 8);
            c.FillClipped(Polygon({tip - dir * 8, r.y0 + 16.0, tip, r.y0 + r.H() / 2.0, tip - dir * 8, r.y1 - 16.0}),
                          Rgba(90, 200, 255, 120 + 45 * k), r.x0, r.y0, r.x1, r.y1);
        }
    }
    CentredText(c, r, title, 20, Rgba(240, 250, 255), 0.72);
}

// One picture of the HUD's energy bar: a plate along the bottom of the
// picture with five cells, `energy` of them lit, and a slanted rise at its
// right end. The score is drawn just above the plate's left part, so the
// upper left stays clear; the first 16 columns lie off screen.
void EnergyBar(Canvas& c, const Rect& r, int energy) {
    const double x0 = r.x0 + 18, x1 = r.x1 - 2, top = r.y0 + 22, y1 = r.y1 - 2;
    const Sdf plate = Polygon({x0, top, x1 - 40, top, x1 - 28, r.y0 + 4.0, x1, r.y0 + 4.0, x1 - 24, y1, x0, y1});
    c.FillClipped(plate, Rgba(4, 12, 36, 190), r.x0, r.y0, r.x1, r.y1);
    c.FillClipped([&](double x, double y) { return std::fabs(plate(x, y) + 1.5) - 1.5; }, Rgba(80, 180, 255, 230),
                  r.x0, r.y0, r.x1, r.y1);
    const Color lit[5] = {Rgba(255, 80, 60), Rgba(255, 160, 40), Rgba(250, 230, 60), Rgba(120, 240, 90),
                          Rgba(80, 220, 255)};
    for (int k = 0; k < 5; ++k) {
        const double cx0 = x0 + 10 + k * 38, cx1 = cx0 + 30;
        const double cy0 = top + 8, cy1 = y1 - 8;
        const Sdf cell = Polygon({cx0 + 6, cy0, cx1 + 6, cy0, cx1 - 2, cy1, cx0 - 2, cy1});
        if (k < energy) {
            // A full bar glows in one colour: it absorbs the next mine.
            const Color col = energy == 5 ? Rgba(120, 255, 255) : lit[k];
            c.FillClipped(cell, col, r.x0, r.y0, r.x1, r.y1);
            c.FillClipped(Box(cx0 + 2, cy0 + 2, cx1 + 4, cy0 + 8), WithAlpha(Rgba(255, 255, 255), 0.45), r.x0, r.y0,
                          r.x1, r.y1);
        } else {
            c.FillClipped(cell, Rgba(30, 50, 90, 220), r.x0, r.y0, r.x1, r.y1);
        }
    }
}

// The plate under the race time.
void Ornament(Canvas& c, const Rect& r) {
    const double x0 = r.x0 + 2, x1 = r.x1 - 2, y0 = r.y0 + 2, y1 = r.y1 - 2;
    const Sdf plate = Polygon({x0 + 16, y0, x1, y0, x1, y1, x0, y1});
    c.FillClipped(plate, Rgba(4, 12, 36, 190), r.x0, r.y0, r.x1, r.y1);
    c.FillClipped([&](double x, double y) { return std::fabs(plate(x, y) + 1.5) - 1.5; }, Rgba(80, 180, 255, 230),
                  r.x0, r.y0, r.x1, r.y1);
    for (int k = 0; k < 3; ++k) {
        const double tx = x0 + 14 + k * 8;
        c.FillClipped(Polygon({tx, y1 - 8, tx + 5, y1 - 8, tx + 10, (y0 + y1) / 2 + 6, tx + 5, y0 + 12, tx, y0 + 12,
                               tx + 5, (y0 + y1) / 2 + 6}),
                      Rgba(90, 200, 255, 120 + 50 * k), r.x0, r.y0, r.x1, r.y1);
    }
}

}  // namespace

bool WriteGuiAtlas(const std::string& dir) {
    Canvas c(AtlasSize, AtlasSize);
    Banner(c, FromTexCoords(0, 0.439453125, 0.625, 0.75));
    TitleBar(c, FromTexCoords(0, 0.875, 0.625, 1.0), "SELECT A SONG");
    TitleBar(c, FromTexCoords(0, 0.751953125, 0.625, 0.875), "HIGH SCORES");
    EnergyBar(c, FromTexCoords(0, 0.328125, 0.46484375, 0.4375), 0);
    EnergyBar(c, FromTexCoords(0, 0.21875, 0.46484375, 0.328125), 1);
    EnergyBar(c, FromTexCoords(0, 0.109375, 0.46484375, 0.21875), 2);
    EnergyBar(c, FromTexCoords(0, 0, 0.46484375, 0.109375), 3);
    EnergyBar(c, FromTexCoords(0.533203125, 0.328125, 0.998046875, 0.4375), 4);
    EnergyBar(c, FromTexCoords(0.533203125, 0.21875, 0.998046875, 0.328125), 5);
    Ornament(c, FromTexCoords(0.77734375, 0.04296875, 1.0, 0.12109375));
    return c.WritePng(dir + "gui01.png", Canvas::RGBA);
}

}  // namespace DataGen
