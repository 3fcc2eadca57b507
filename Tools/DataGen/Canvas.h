// Drawing surface of the data generator: a float RGBA picture (straight alpha,
// top row first, as PNG files store rows) with anti-aliased shapes given by
// signed distance functions, plus the PNG writer.
//
// Depends on: libpng. Limits: everything is computed in double precision on
// one thread, so the same calls give the same bytes on every run.
#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace DataGen {

struct Color {
    double r, g, b, a;
};

inline Color Rgba(int r, int g, int b, int a = 255) { return {r / 255.0, g / 255.0, b / 255.0, a / 255.0}; }
inline Color Mix(const Color& x, const Color& y, double t) {
    return {x.r + (y.r - x.r) * t, x.g + (y.g - x.g) * t, x.b + (y.b - x.b) * t, x.a + (y.a - x.a) * t};
}
inline Color Scale(const Color& c, double s) { return {c.r * s, c.g * s, c.b * s, c.a}; }
inline Color WithAlpha(const Color& c, double a) { return {c.r, c.g, c.b, a}; }

inline double Clamp01(double v) { return v < 0 ? 0 : v > 1 ? 1 : v; }
inline double Smooth(double edge0, double edge1, double x) {
    const double t = Clamp01((x - edge0) / (edge1 - edge0));
    return t * t * (3 - 2 * t);
}

// Distance in pixels from a point to a shape's edge, negative inside.
using Sdf = std::function<double(double x, double y)>;

Sdf Circle(double cx, double cy, double radius);
Sdf Box(double x0, double y0, double x1, double y1, double cornerRadius = 0);
Sdf Segment(double ax, double ay, double bx, double by, double halfWidth);
// Convex or concave polygon (even-odd rule), points in pixels.
Sdf Polygon(std::vector<double> xy);

class Canvas {
public:
    Canvas(int width, int height, Color fill = {0, 0, 0, 0});

    int Width() const { return m_Width; }
    int Height() const { return m_Height; }
    Color& At(int x, int y) { return m_Pixels[static_cast<size_t>(y) * m_Width + x]; }
    const Color& At(int x, int y) const { return m_Pixels[static_cast<size_t>(y) * m_Width + x]; }

    // Composites color over the picture where the shape covers it, with a one
    // pixel soft edge (wider with softness). Optional rectangle clip.
    void Fill(const Sdf& shape, const Color& color, double softness = 1.0);
    void FillClipped(const Sdf& shape, const Color& color, int x0, int y0, int x1, int y1, double softness = 1.0);
    // Per-pixel shader over a rectangle: the function gets pixel-centre
    // coordinates and returns the colour composited over what is there.
    void Paint(int x0, int y0, int x1, int y1, const std::function<Color(double x, double y)>& shader);
    // Composites src over (x, y).
    void Blit(const Canvas& src, int x, int y);
    void Over(int x, int y, const Color& c);

    enum Format { Luminance = 1, RGB = 2, RGBA = 3, LuminanceAlpha = 4 };
    // Writes the picture as an 8-bit PNG; returns false with a message on
    // standard error when the file cannot be written.
    bool WritePng(const std::string& path, Format format) const;

private:
    int m_Width;
    int m_Height;
    std::vector<Color> m_Pixels;
};

bool WritePngBytes(const std::string& path, int width, int height, int colorType,
                   const std::vector<uint8_t>& rows);

// Deterministic noise: integer hash and periodic value noise.
uint32_t Hash(uint32_t x, uint32_t y, uint32_t seed);
double HashUnit(uint32_t x, uint32_t y, uint32_t seed);
// Smooth value noise in 0..1 with the lattice repeating every period cells.
double PeriodicNoise(double x, double y, int period, uint32_t seed);

}  // namespace DataGen
