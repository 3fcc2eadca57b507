// The race's and the menus' plain textures. The models' textures are painted
// in the coordinates their meshes map them with (Models.h), since the race
// draws the models unlit: all shading is baked into these pictures.
#include <cstdio>

#include "DataGen.h"
#include "Models.h"

namespace DataGen {

namespace {

const double Pi = 3.14159265358979323846;

// Texture coordinate v runs from the bottom row up; PNG rows run downwards.
double VOfRow(double y, int height) { return 1.0 - y / height; }

}  // namespace

// The highway: u runs across the 16-unit road (u 0 left edge, 1 right edge),
// v along it, one texture length per 15 units, so the picture repeats along v.
// Lanes are 4 units wide, centred at -4, 0 and +4; dashed dividers at +-2,
// solid lines at +-6, glowing rails at the edges.
bool WriteTrackTexture(const std::string& dir) {
    const int size = 256;
    Canvas c(size, size);
    const Color asphalt = Rgba(22, 26, 40);
    c.Paint(0, 0, size, size, [&](double x, double y) {
        const double grain = PeriodicNoise(x / 8, y / 8, size / 8, 11) * 0.6 + PeriodicNoise(x / 2, y / 2, size / 2, 12) * 0.4;
        const double road = (x / size - 0.5) * 16;
        // Lanes are a shade lighter in their middle, worn by traffic.
        const double lane = 0.06 * std::cos(road * Pi / 2) * std::cos(road * Pi / 2);
        return Scale(asphalt, 0.85 + 0.35 * grain + lane);
    });
    // Seams across the road every 64 rows (the eye reads speed from them).
    for (int k = 0; k <= size; k += 64)
        c.Fill(Box(-1, k - 1.0, size + 1, k + 1.0), Rgba(60, 70, 100, 120));
    auto roadX = [&](double units) { return (units / 16 + 0.5) * size; };
    // Solid outer lane lines.
    for (double side : {-6.0, 6.0})
        c.Fill(Box(roadX(side) - 2.5, -2, roadX(side) + 2.5, size + 2), Rgba(235, 240, 255));
    // Dashed dividers, two dashes per texture length (drawn shifted by one
    // length up and down so dashes crossing the border wrap around).
    for (double side : {-2.0, 2.0})
        for (int shift : {-size, 0, size})
            for (int dash = 0; dash < 2; ++dash) {
                const double y0 = shift + dash * 128 + 26, y1 = y0 + 76;
                c.Fill(Box(roadX(side) - 2.5, y0, roadX(side) + 2.5, y1, 2.5), Rgba(235, 240, 255));
            }
    // Edge rails: a cyan glow fading inwards with a bright rim.
    c.Paint(0, 0, size, size, [&](double x, double) {
        const double fromEdge = std::min(x, size - x);
        const double glow = std::exp(-fromEdge / 4.0);
        return Color{0.2, 0.85, 1.0, Clamp01(glow * 1.1)};
    });
    for (double x : {1.5, size - 1.5}) c.Fill(Box(x - 1.5, -2, x + 1.5, size + 2), Rgba(220, 255, 255));
    return c.WritePng(dir + "track01.png", Canvas::RGB);
}

// The capsule's surface: u around its axis, v along it (0 and 1 at the tips).
// A blue body glowing from within, a white-hot ring at its waist and two
// bright streaks along its length.
bool WriteCapsuleTexture(const std::string& dir) {
    const int size = 128;
    Canvas c(size, size);
    c.Paint(0, 0, size, size, [&](double x, double y) {
        const double u = x / size, v = VOfRow(y, size);
        const double along = std::fabs(v - 0.5) * 2;  // 0 at the waist, 1 at the tips
        const Color deep = Rgba(10, 40, 170), bright = Rgba(70, 170, 255), tip = Rgba(150, 225, 255);
        Color col = Mix(bright, deep, Smooth(0.1, 0.75, along));
        col = Mix(col, tip, Smooth(0.8, 1.0, along));
        const double streak = std::exp(-std::pow((std::fmod(u + 0.125, 0.5) - 0.25) / 0.05, 2));
        col = Mix(col, Rgba(200, 240, 255), streak * 0.7 * (1 - along * 0.6));
        const double ring = std::exp(-std::pow((v - 0.5) / 0.045, 2));
        col = Mix(col, Rgba(255, 255, 255), ring * 0.9);
        return col;
    });
    return c.WritePng(dir + "capsule01.png", Canvas::RGB);
}

// The mine: its body (the upper half of the picture, a sphere mapped by
// longitude and latitude) is red with dark bands and amber lights on the
// equator; its spikes (the lower half, u around each spike, v from base to tip)
// run from dark red to a pale hot tip.
bool WriteMineTexture(const std::string& dir) {
    const int size = 128;
    Canvas c(size, size);
    c.Paint(0, 0, size, size, [&](double x, double y) {
        const double u = x / size, v = VOfRow(y, size);
        if (v >= 0.5) {
            const double lat = (v - 0.5) * 2;  // 0 south pole .. 1 north pole
            const double shade = 0.55 + 0.45 * std::sin(lat * Pi);  // darker toward the poles
            Color col = Scale(Rgba(215, 25, 20), shade);
            const double band = std::fabs(lat - 0.5);
            if (band > 0.18 && band < 0.23) col = Scale(col, 0.35);
            const double panel = std::fabs(std::fmod(u * 8 + 0.5, 1.0) - 0.5);
            if (panel < 0.03 && band > 0.23) col = Scale(col, 0.5);
            // Amber lights between the spikes along the equator.
            const double lx = (std::fmod(u * 8, 1.0) - 0.5) / 8 * 2 * Pi, ly = (lat - 0.5) * Pi;
            const double light = std::exp(-(lx * lx + ly * ly) / (0.05 * 0.05));
            return Mix(col, Rgba(255, 200, 60), Clamp01(light * 1.5));
        }
        const double t = v * 2;  // 0 at the base of a spike, 1 at its tip
        const double around = 0.75 + 0.25 * std::cos(u * 2 * Pi);
        Color col = Mix(Rgba(90, 10, 10), Rgba(255, 120, 90), Smooth(0.0, 0.85, t));
        col = Mix(col, Rgba(255, 235, 210), Smooth(0.85, 1.0, t));
        return Scale(col, around);
    });
    return c.WritePng(dir + "mine01.png", Canvas::RGB);
}

// The glider: four views packed into the picture (see GliderRegion): the
// upper surfaces seen from above, the same at a darker tone for sloping
// faces, the underside, and the flanks and tail seen from the side and from
// behind.
bool WriteGliderTexture(const std::string& dir) {
    const int size = 256;
    Canvas c(size, size);
    c.Paint(0, 0, size, size, [&](double px, double py) {
        const double u = px / size, v = VOfRow(py, size);
        GliderRegion region;
        double a = 0, b = 0;
        GliderUnmap(u, v, &region, &a, &b);
        return GliderSkin(region, a, b);
    });
    return c.WritePng(dir + "glider01.png", Canvas::RGB);
}

// The glider's shadow, laid on the quad x -1.7 .. 1.7, z -0.7 .. 1.3 of the
// glider's frame (u across, v from the tail forwards): the planform, blurred.
bool WriteGliderShadow(const std::string& dir) {
    const int w = 128, h = 64;
    Canvas c(w, h);
    c.Paint(0, 0, w, h, [&](double px, double py) {
        // Planform coordinates of the model (nose at model z -1.3); the race
        // turns the model half round, so the shadow's forward +z is model -z.
        const double x = (px / w) * 3.4 - 1.7;
        const double zRace = VOfRow(py, h) * 2.0 - 0.7;
        const double d = GliderPlanformDistance(x, -zRace);
        return Color{0, 0, 0, 0.7 * Clamp01(0.5 - d / 0.22)};
    });
    return c.WritePng(dir + "glider01shadow.png", Canvas::LuminanceAlpha);
}

bool WriteStars(const std::string& dir) {
    const int size = 64;
    Canvas c(size, size);
    c.Paint(0, 0, size, size, [&](double x, double y) {
        const double r = std::hypot(x - size / 2.0, y - size / 2.0) / (size / 2.0);
        const double glow = Clamp01(std::exp(-r * r * 6) * 0.85 + std::exp(-r * r * 60) * 0.6) * Smooth(1.0, 0.9, r);
        return Color{1, 1, 1, glow};
    });
    // Additive blending adds colour, alpha blending uses alpha: keep both.
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            Color& p = c.At(x, y);
            p = {p.a, p.a, p.a, p.a};
        }
    return c.WritePng(dir + "stars01.png", Canvas::RGBA);
}

bool WritePixel(const std::string& dir) {
    Canvas c(8, 8, {1, 1, 1, 1});
    return c.WritePng(dir + "pixel.png", Canvas::RGBA);
}

// The menu background, repeated 16 x 16 times over the screen (each copy
// 20 x 15 pixels there): a deep blue tile with one soft diamond and a dot.
bool WritePattern(const std::string& dir) {
    const int size = 32;
    Canvas c(size, size, Rgba(8, 14, 40));
    c.Paint(0, 0, size, size, [&](double x, double y) {
        const double fx = x - 16, fy = y - 16;
        const double diamond = std::fabs(std::fabs(fx) + std::fabs(fy) - 16);
        const double line = Clamp01(1.5 - diamond);
        const double dot = Clamp01(2.5 - std::hypot(fx, fy));
        const double inside = Clamp01((16 - std::fabs(fx) - std::fabs(fy)) / 16);
        Color col = Mix(Rgba(14, 26, 66), Rgba(22, 40, 92), inside);
        col = Mix(col, Rgba(36, 70, 140), line * 0.7);
        return Mix(col, Rgba(90, 160, 230), dot * 0.8);
    });
    return c.WritePng(dir + "pattern01.png", Canvas::RGB);
}

// A ring of twelve dots fading around the circle: turned by the loading
// screen, it reads as a spinner.
bool WriteLoading(const std::string& dir) {
    const int size = 64;
    Canvas c(size, size);
    for (int i = 0; i < 12; ++i) {
        const double angle = i * 2 * Pi / 12;
        const double cx = size / 2.0 + 22 * std::cos(angle), cy = size / 2.0 - 22 * std::sin(angle);
        const double strength = 0.15 + 0.85 * (i / 11.0);
        const double radius = 3.0 + 2.5 * (i / 11.0);
        c.Fill(Circle(cx, cy, radius + 2), WithAlpha(Rgba(60, 170, 255), 0.35 * strength), 2.5);
        c.Fill(Circle(cx, cy, radius), WithAlpha(Mix(Rgba(60, 170, 255), Rgba(230, 250, 255), strength), strength));
    }
    return c.WritePng(dir + "loading01.png", Canvas::RGBA);
}

// The desktop icon: a lit highway running into the distance on a rounded
// night-blue square, a capsule on its middle lane. Drawn in units of the size,
// so every size is the same picture.
bool WriteIcons(const std::string& dir) {
    for (int size : {32, 48, 64, 128, 256}) {
        const double u = size / 32.0;
        Canvas c(size, size);
        c.Fill(Box(1 * u, 1 * u, 31 * u, 31 * u, 6 * u), Rgba(10, 18, 52));
        c.Paint(0, 0, size, size, [&](double x, double y) {
            const double t = Clamp01((y / u - 9) / 21);  // 0 at the horizon, 1 at the bottom
            const double half = 1.5 + 12.5 * t, offset = x / u - 16;
            const double road = Clamp01((half - std::fabs(offset)) * u) * (y / u > 9 && y / u < 30 ? 1 : 0);
            const double edge = Clamp01(1.2 - std::fabs(std::fabs(offset) - half) * u / (0.6 + t)) * road;
            Color col = WithAlpha(Mix(Rgba(30, 60, 130), Rgba(60, 120, 210), t), road);
            return Mix(col, Rgba(120, 230, 255), edge);
        });
        c.Fill(Circle(16 * u, 22 * u, 3 * u), Rgba(255, 200, 60));
        c.Fill(Circle(15 * u, 21 * u, 1.2 * u), Rgba(255, 250, 220));
        if (!c.WritePng(dir + "skyrail-" + std::to_string(size) + ".png", Canvas::RGBA)) return false;
    }
    return true;
}

bool WriteConfig(const std::string& dir) {
    const std::string path = dir + "config.ini";
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        std::fprintf(stderr, "skyrail-datagen: cannot create %s\n", path.c_str());
        return false;
    }
    std::fputs("# SkyRail settings, read once at start-up.\n"
               "# Dead zones of the analogue stick in raw axis units (-32768 .. 32767):\n"
               "# a deflection must pass these thresholds to count as a direction.\n"
               "[Input]\n"
               "joystick_deadzone_L = -2048\n"
               "joystick_deadzone_R = 2048\n"
               "joystick_deadzone_U = -2048\n"
               "joystick_deadzone_D = 2048\n"
               "\n"
               "# The folder the song list starts in (\"~/\" is your home folder);\n"
               "# skyrail --music DIR overrides it.\n"
               "[Music]\n"
               "# folder = ~/Music\n",
               file);
    const bool ok = std::fclose(file) == 0;
    if (!ok) std::fprintf(stderr, "skyrail-datagen: write error on %s\n", path.c_str());
    return ok;
}

}  // namespace DataGen
