#include "Canvas.h"

#include <png.h>

#include <algorithm>
#include <cstdio>

namespace DataGen {

Sdf Circle(double cx, double cy, double radius) {
    return [=](double x, double y) { return std::hypot(x - cx, y - cy) - radius; };
}

Sdf Box(double x0, double y0, double x1, double y1, double cornerRadius) {
    const double cx = (x0 + x1) / 2, cy = (y0 + y1) / 2;
    const double hx = (x1 - x0) / 2 - cornerRadius, hy = (y1 - y0) / 2 - cornerRadius;
    return [=](double x, double y) {
        const double dx = std::fabs(x - cx) - hx, dy = std::fabs(y - cy) - hy;
        const double outside = std::hypot(std::max(dx, 0.0), std::max(dy, 0.0));
        return outside + std::min(std::max(dx, dy), 0.0) - cornerRadius;
    };
}

namespace {

double SegmentDistance(double x, double y, double ax, double ay, double bx, double by) {
    const double px = x - ax, py = y - ay, ex = bx - ax, ey = by - ay;
    const double len2 = ex * ex + ey * ey;
    const double t = len2 > 0 ? Clamp01((px * ex + py * ey) / len2) : 0;
    return std::hypot(px - ex * t, py - ey * t);
}

}  // namespace

Sdf Segment(double ax, double ay, double bx, double by, double halfWidth) {
    return [=](double x, double y) { return SegmentDistance(x, y, ax, ay, bx, by) - halfWidth; };
}

Sdf Polygon(std::vector<double> xy) {
    return [xy](double x, double y) {
        const size_t n = xy.size() / 2;
        double best = 1e30;
        bool inside = false;
        for (size_t i = 0, j = n - 1; i < n; j = i++) {
            const double xi = xy[2 * i], yi = xy[2 * i + 1], xj = xy[2 * j], yj = xy[2 * j + 1];
            best = std::min(best, SegmentDistance(x, y, xi, yi, xj, yj));
            if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) inside = !inside;
        }
        return inside ? -best : best;
    };
}

Canvas::Canvas(int width, int height, Color fill)
    : m_Width(width), m_Height(height), m_Pixels(static_cast<size_t>(width) * height, fill) {}

void Canvas::Over(int x, int y, const Color& c) {
    if (x < 0 || y < 0 || x >= m_Width || y >= m_Height || c.a <= 0) return;
    Color& d = At(x, y);
    const double a = Clamp01(c.a);
    const double outA = a + d.a * (1 - a);
    if (outA <= 0) {
        d = {0, 0, 0, 0};
        return;
    }
    d.r = (c.r * a + d.r * d.a * (1 - a)) / outA;
    d.g = (c.g * a + d.g * d.a * (1 - a)) / outA;
    d.b = (c.b * a + d.b * d.a * (1 - a)) / outA;
    d.a = outA;
}

void Canvas::Fill(const Sdf& shape, const Color& color, double softness) {
    FillClipped(shape, color, 0, 0, m_Width, m_Height, softness);
}

void Canvas::FillClipped(const Sdf& shape, const Color& color, int x0, int y0, int x1, int y1, double softness) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, m_Width);
    y1 = std::min(y1, m_Height);
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const double d = shape(x + 0.5, y + 0.5);
            const double coverage = Clamp01(0.5 - d / softness);
            if (coverage > 0) Over(x, y, WithAlpha(color, color.a * coverage));
        }
}

void Canvas::Paint(int x0, int y0, int x1, int y1, const std::function<Color(double, double)>& shader) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, m_Width);
    y1 = std::min(y1, m_Height);
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) Over(x, y, shader(x + 0.5, y + 0.5));
}

void Canvas::Blit(const Canvas& src, int x, int y) {
    for (int sy = 0; sy < src.Height(); ++sy)
        for (int sx = 0; sx < src.Width(); ++sx) Over(x + sx, y + sy, src.At(sx, sy));
}

namespace {

uint8_t Byte(double v) { return static_cast<uint8_t>(std::lround(Clamp01(v) * 255.0)); }

}  // namespace

bool Canvas::WritePng(const std::string& path, Format format) const {
    int channels = 4, colorType = PNG_COLOR_TYPE_RGBA;
    switch (format) {
        case Luminance: channels = 1, colorType = PNG_COLOR_TYPE_GRAY; break;
        case RGB: channels = 3, colorType = PNG_COLOR_TYPE_RGB; break;
        case RGBA: channels = 4, colorType = PNG_COLOR_TYPE_RGBA; break;
        case LuminanceAlpha: channels = 2, colorType = PNG_COLOR_TYPE_GRAY_ALPHA; break;
    }
    std::vector<uint8_t> rows(static_cast<size_t>(m_Width) * m_Height * channels);
    size_t o = 0;
    for (int y = 0; y < m_Height; ++y)
        for (int x = 0; x < m_Width; ++x) {
            const Color& c = At(x, y);
            const double grey = 0.299 * c.r + 0.587 * c.g + 0.114 * c.b;
            switch (format) {
                case Luminance: rows[o++] = Byte(grey); break;
                case RGB:
                    rows[o++] = Byte(c.r), rows[o++] = Byte(c.g), rows[o++] = Byte(c.b);
                    break;
                case RGBA:
                    rows[o++] = Byte(c.r), rows[o++] = Byte(c.g), rows[o++] = Byte(c.b), rows[o++] = Byte(c.a);
                    break;
                case LuminanceAlpha: rows[o++] = Byte(grey), rows[o++] = Byte(c.a); break;
            }
        }
    return WritePngBytes(path, m_Width, m_Height, colorType, rows);
}

bool WritePngBytes(const std::string& path, int width, int height, int colorType, const std::vector<uint8_t>& rows) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        std::fprintf(stderr, "skyrail-datagen: cannot create %s\n", path.c_str());
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        std::fclose(file);
        std::remove(path.c_str());
        std::fprintf(stderr, "skyrail-datagen: libpng failed writing %s\n", path.c_str());
        return false;
    }
    const size_t stride = rows.size() / static_cast<size_t>(height);
    png_init_io(png, file);
    png_set_compression_level(png, 9);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, colorType,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) png_write_row(png, rows.data() + stride * static_cast<size_t>(y));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    const bool ok = std::fflush(file) == 0 && !std::ferror(file);
    std::fclose(file);
    if (!ok) std::fprintf(stderr, "skyrail-datagen: write error on %s\n", path.c_str());
    return ok;
}

uint32_t Hash(uint32_t x, uint32_t y, uint32_t seed) {
    uint32_t h = x * 0x8da6b343u ^ y * 0xd8163841u ^ seed * 0xcb1ab31fu;
    h ^= h >> 16;
    h *= 0x7feb352du;
    h ^= h >> 15;
    h *= 0x846ca68bu;
    h ^= h >> 16;
    return h;
}

double HashUnit(uint32_t x, uint32_t y, uint32_t seed) { return Hash(x, y, seed) / 4294967295.0; }

double PeriodicNoise(double x, double y, int period, uint32_t seed) {
    const double fx = std::floor(x), fy = std::floor(y);
    const double tx = x - fx, ty = y - fy;
    const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
    auto corner = [&](int cx, int cy) {
        const uint32_t wx = static_cast<uint32_t>(((cx % period) + period) % period);
        const uint32_t wy = static_cast<uint32_t>(((cy % period) + period) % period);
        return HashUnit(wx, wy, seed);
    };
    const double sx = tx * tx * (3 - 2 * tx), sy = ty * ty * (3 - 2 * ty);
    const double a = corner(ix, iy) + (corner(ix + 1, iy) - corner(ix, iy)) * sx;
    const double b = corner(ix, iy + 1) + (corner(ix + 1, iy + 1) - corner(ix, iy + 1)) * sx;
    return a + (b - a) * sy;
}

}  // namespace DataGen
