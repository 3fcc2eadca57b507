#include "Models.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "DataGen.h"

namespace DataGen {

namespace {

const double Pi = 3.14159265358979323846;

// Little-endian byte sink for .msd files.
class MsdStream {
public:
    MsdStream() { m_Bytes.reserve(1 << 16); }
    void U32(uint32_t value) {
        for (int i = 0; i < 4; ++i) m_Bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
    void I32(int32_t value) { U32(static_cast<uint32_t>(value)); }
    void F32(double value) {
        const float f = static_cast<float>(value);
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        U32(bits);
    }
    void Tag(const char* tag) { m_Bytes.insert(m_Bytes.end(), tag, tag + 4); }
    void String(const std::string& text) {
        I32(static_cast<int32_t>(text.size()));
        m_Bytes.insert(m_Bytes.end(), text.begin(), text.end());
    }
    void Color4(const Color& c) {
        F32(c.r), F32(c.g), F32(c.b), F32(c.a);
    }
    const std::vector<uint8_t>& Bytes() const { return m_Bytes; }

private:
    std::vector<uint8_t> m_Bytes;
};

const uint32_t NoParent = 0xFFFFFFFFu;
enum : uint32_t { RootId = 1, MeshId = 2, ShaderId = 3, TextureId = 4 };

std::string FilePart(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string StemOf(const std::string& path) {
    const std::string file = FilePart(path);
    const size_t dot = file.rfind('.');
    return dot == std::string::npos ? file : file.substr(0, dot);
}

}  // namespace

bool WriteMsd(const std::string& path, const ModelFile& model) {
    MsdStream s;
    s.Tag("MSD0");

    // The root Transform comes first so that it becomes the import root.
    s.Tag("TRNS");
    s.U32(NoParent);
    s.U32(RootId);
    s.String(model.name);
    for (int i = 0; i < 3; ++i) s.F32(0);  // translation
    for (int i = 0; i < 3; ++i) s.F32(0);  // rotation
    for (int i = 0; i < 3; ++i) s.F32(1);  // scaling
    for (int i = 0; i < 3; ++i) s.F32(0);  // orientation
    s.U32(0);                              // rotation order

    s.Tag("TXTR");
    s.U32(TextureId);
    s.String(StemOf(model.texturePath));
    s.String(model.texturePath);
    for (int i = 0; i < 17; ++i) s.U32(0);  // wrap modes, colour transforms, offsets: unused

    s.Tag("MATL");
    s.U32(ShaderId);
    s.String(model.name + "Shader");
    s.Color4(Scale(model.diffuse, 0.3));
    s.Color4(model.diffuse);
    s.Color4(model.emission);
    s.Color4({0.3, 0.3, 0.3, 1});
    for (int i = 0; i < 3; ++i) s.F32(0);
    s.I32(16 << 16);  // shininess 16.0
    s.U32(0);
    for (int i = 0; i < 3; ++i) s.U32(TextureId);

    s.Tag("POLY");
    s.U32(RootId);
    s.U32(MeshId);
    s.String(model.name + "Mesh");
    s.U32(ShaderId);
    s.U32(0);  // triangle list
    s.I32(static_cast<int32_t>(model.mesh.vertices.size()));
    for (const Vertex& v : model.mesh.vertices) {
        s.F32(v.position.x), s.F32(v.position.y), s.F32(v.position.z);
        s.F32(v.normal.x), s.F32(v.normal.y), s.F32(v.normal.z);
        s.F32(v.u), s.F32(v.v);
    }
    s.I32(static_cast<int32_t>(model.mesh.indices.size()));
    for (uint32_t index : model.mesh.indices) s.U32(index);

    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        std::fprintf(stderr, "skyrail-datagen: cannot create %s\n", path.c_str());
        return false;
    }
    const bool ok = std::fwrite(s.Bytes().data(), 1, s.Bytes().size(), file) == s.Bytes().size();
    if (std::fclose(file) != 0 || !ok) {
        std::fprintf(stderr, "skyrail-datagen: write error on %s\n", path.c_str());
        return false;
    }
    return true;
}

namespace {

// A surface of revolution around the y axis: profile points (radius, y) from
// bottom to top, segments around. v follows the profile's arc length, u the
// angle; smooth normals from the profile's slope.
Mesh Revolve(const std::vector<std::pair<double, double>>& profile, int segments) {
    Mesh mesh;
    std::vector<double> arc(profile.size(), 0.0);
    for (size_t i = 1; i < profile.size(); ++i)
        arc[i] = arc[i - 1] + std::hypot(profile[i].first - profile[i - 1].first, profile[i].second - profile[i - 1].second);
    for (size_t i = 0; i < profile.size(); ++i) {
        const size_t a = i == 0 ? 0 : i - 1, b = i + 1 < profile.size() ? i + 1 : i;
        // Outward normal in the profile plane: the slope turned a quarter.
        const double dr = profile[b].first - profile[a].first, dy = profile[b].second - profile[a].second;
        const double len = std::hypot(dr, dy);
        const double nr = dy / len, ny = -dr / len;
        for (int s = 0; s <= segments; ++s) {
            const double angle = 2 * Pi * s / segments;
            const double c = std::cos(angle), sn = std::sin(angle);
            Vertex v;
            v.position = {profile[i].first * c, profile[i].second, -profile[i].first * sn};
            v.normal = Vec3{nr * c, ny, -nr * sn}.Normalized();
            v.u = static_cast<double>(s) / segments;
            v.v = arc[i] / arc.back();
            mesh.vertices.push_back(v);
        }
    }
    const uint32_t row = static_cast<uint32_t>(segments + 1);
    for (uint32_t i = 0; i + 1 < profile.size(); ++i)
        for (uint32_t s = 0; s < static_cast<uint32_t>(segments); ++s) {
            const uint32_t a = i * row + s, b = a + 1, c = a + row, d = c + 1;
            // Counter-clockwise seen from outside; the quads at the poles are
            // triangles.
            if (profile[i].first > 0) mesh.indices.insert(mesh.indices.end(), {a, b, d});
            if (profile[i + 1].first > 0) mesh.indices.insert(mesh.indices.end(), {a, d, c});
        }
    return mesh;
}

void Append(Mesh& into, const Mesh& from) {
    const uint32_t base = static_cast<uint32_t>(into.vertices.size());
    into.vertices.insert(into.vertices.end(), from.vertices.begin(), from.vertices.end());
    for (uint32_t index : from.indices) into.indices.push_back(base + index);
}

std::vector<std::pair<double, double>> HemisphereProfile(double radius, double yCentre, int rings, bool top) {
    std::vector<std::pair<double, double>> points;
    for (int k = 0; k <= rings; ++k) {
        const double phi = (top ? k : rings - k) * (Pi / 2) / rings;  // 0 at the equator
        const double r = radius * std::cos(phi);
        points.push_back({k == (top ? rings : 0) ? 0.0 : r, yCentre + (top ? 1 : -1) * radius * std::sin(phi)});
    }
    return points;
}

}  // namespace

// A pill 1.48 units long standing along y, centred on the origin.
bool WriteCapsuleModel(const std::string& dir) {
    const double radius = 0.38, half = 0.36;
    std::vector<std::pair<double, double>> profile = HemisphereProfile(radius, -half, 4, false);
    for (const auto& p : HemisphereProfile(radius, half, 4, true)) profile.push_back(p);
    ModelFile model;
    model.name = "capsule01";
    model.texturePath = "capsule01.png";
    model.diffuse = Rgba(120, 180, 255);
    model.emission = Rgba(40, 90, 200);
    model.mesh = Revolve(profile, 16);
    return WriteMsd(dir + "capsule01.msd", model);
}

// A sphere of radius 0.48 with fourteen spikes (along the axes and the cube
// diagonals) reaching 0.74 from the centre.
bool WriteMineModel(const std::string& dir) {
    ModelFile model;
    model.name = "mine01";
    model.texturePath = "mine01.png";
    model.diffuse = Rgba(255, 90, 80);
    model.emission = Rgba(90, 10, 10);
    const double radius = 0.48;
    std::vector<std::pair<double, double>> profile;
    const int rings = 10;
    for (int k = 0; k <= rings; ++k) {
        const double phi = -Pi / 2 + Pi * k / rings;
        profile.push_back({k == 0 || k == rings ? 0.0 : radius * std::cos(phi), radius * std::sin(phi)});
    }
    Mesh body = Revolve(profile, 16);
    for (Vertex& v : body.vertices) v.v = 0.5 + 0.5 * (0.02 + 0.96 * v.v);  // upper half of the picture
    Append(model.mesh, body);

    std::vector<Vec3> directions;
    for (int axis = 0; axis < 3; ++axis)
        for (int sign : {-1, 1}) {
            Vec3 d{0, 0, 0};
            (axis == 0 ? d.x : axis == 1 ? d.y : d.z) = sign;
            directions.push_back(d);
        }
    for (int sx : {-1, 1})
        for (int sy : {-1, 1})
            for (int sz : {-1, 1}) directions.push_back(Vec3{double(sx), double(sy), double(sz)}.Normalized());
    const int sides = 6;
    for (const Vec3& d : directions) {
        // Two axes across the spike.
        const Vec3 helper = std::fabs(d.y) < 0.9 ? Vec3{0, 1, 0} : Vec3{1, 0, 0};
        const Vec3 e1 = d.Cross(helper).Normalized(), e2 = d.Cross(e1).Normalized();
        const Vec3 base = d * (radius - 0.04), tip = d * 0.74;
        const double baseRadius = 0.11;
        Mesh spike;
        for (int s = 0; s < sides; ++s) {
            const double a0 = 2 * Pi * s / sides, a1 = 2 * Pi * (s + 1) / sides;
            const Vec3 r0 = e1 * std::cos(a0) + e2 * std::sin(a0), r1 = e1 * std::cos(a1) + e2 * std::sin(a1);
            const Vec3 p0 = base + r0 * baseRadius, p1 = base + r1 * baseRadius;
            Vec3 n = (p1 - p0).Cross(tip - p0).Normalized();
            const bool outward = n.Dot((p0 + p1 + tip) * (1.0 / 3) - base) > 0;
            const uint32_t first = static_cast<uint32_t>(spike.vertices.size());
            const double u0 = static_cast<double>(s) / sides, u1 = static_cast<double>(s + 1) / sides;
            spike.vertices.push_back({p0, (r0 + d * 0.33).Normalized(), u0, 0.02});
            spike.vertices.push_back({p1, (r1 + d * 0.33).Normalized(), u1, 0.02});
            spike.vertices.push_back({tip, d, (u0 + u1) / 2, 0.48});
            if (outward)
                spike.indices.insert(spike.indices.end(), {first, first + 1, first + 2});
            else
                spike.indices.insert(spike.indices.end(), {first, first + 2, first + 1});
        }
        Append(model.mesh, spike);
    }
    return WriteMsd(dir + "mine01.msd", model);
}

// ---- The glider -----------------------------------------------------------

namespace {

const double GliderMinX = -1.6, GliderMaxX = 1.6;
const double GliderMinZ = -1.3, GliderMaxZ = 0.7;
const double GliderMinY = -0.05, GliderMaxY = 0.65;
const double Margin = 4.0 / 256;

struct RegionBox {
    double u0, v0, u1, v1;
};

RegionBox BoxOf(GliderRegion region) {
    switch (region) {
        case GliderRegion::Top: return {0.0, 0.5, 0.5, 1.0};
        case GliderRegion::TopSloped: return {0.5, 0.5, 1.0, 1.0};
        case GliderRegion::Bottom: return {0.0, 0.0, 0.5, 0.5};
        case GliderRegion::Side: return {0.5, 0.25, 1.0, 0.5};
        case GliderRegion::Rear: return {0.5, 0.0, 1.0, 0.25};
    }
    return {0, 0, 1, 1};
}

// Model ranges of a region's two coordinates. Planform views put the nose
// (-z) at the top of the picture.
void RangesOf(GliderRegion region, double* a0, double* a1, double* b0, double* b1) {
    switch (region) {
        case GliderRegion::Top:
        case GliderRegion::TopSloped:
        case GliderRegion::Bottom:
            *a0 = GliderMinX, *a1 = GliderMaxX, *b0 = GliderMaxZ, *b1 = GliderMinZ;
            break;
        case GliderRegion::Side:
            *a0 = GliderMaxZ, *a1 = GliderMinZ, *b0 = GliderMinY, *b1 = GliderMaxY;
            break;
        case GliderRegion::Rear:
            *a0 = GliderMinX * 0.5, *a1 = GliderMaxX * 0.5, *b0 = GliderMinY, *b1 = GliderMaxY;
            break;
    }
}

std::vector<double> PlanformOutline() {
    const std::vector<double> right = {0.0,  -1.25, 0.1,  -1.13, 0.19, -0.92, 0.26, -0.64, 0.29, -0.42,
                                       1.45, 0.28,  1.52, 0.36,  1.52, 0.5,   0.33, 0.55,  0.28, 0.62};
    std::vector<double> outline = right;
    for (size_t i = right.size(); i >= 2; i -= 2) {
        if (right[i - 2] == 0.0) continue;
        outline.push_back(-right[i - 2]);
        outline.push_back(right[i - 1]);
    }
    return outline;
}

}  // namespace

void GliderMap(GliderRegion region, double a, double b, double* u, double* v) {
    const RegionBox box = BoxOf(region);
    double a0 = 0.0, a1 = 1.0, b0 = 0.0, b1 = 1.0;
    RangesOf(region, &a0, &a1, &b0, &b1);
    *u = box.u0 + Margin + (box.u1 - box.u0 - 2 * Margin) * (a - a0) / (a1 - a0);
    *v = box.v0 + Margin + (box.v1 - box.v0 - 2 * Margin) * (b - b0) / (b1 - b0);
}

void GliderUnmap(double u, double v, GliderRegion* region, double* a, double* b) {
    for (GliderRegion r : {GliderRegion::Top, GliderRegion::TopSloped, GliderRegion::Bottom, GliderRegion::Side,
                           GliderRegion::Rear}) {
        const RegionBox box = BoxOf(r);
        if (u >= box.u0 && u < box.u1 && v >= box.v0 && v < box.v1) {
            double a0 = 0.0, a1 = 1.0, b0 = 0.0, b1 = 1.0;
            RangesOf(r, &a0, &a1, &b0, &b1);
            *region = r;
            *a = a0 + (u - box.u0 - Margin) / (box.u1 - box.u0 - 2 * Margin) * (a1 - a0);
            *b = b0 + (v - box.v0 - Margin) / (box.v1 - box.v0 - 2 * Margin) * (b1 - b0);
            return;
        }
    }
    *region = GliderRegion::Top;
    *a = *b = 0;
}

double GliderPlanformDistance(double x, double z) {
    static const Sdf outline = Polygon(PlanformOutline());
    return outline(x, z);
}

Color GliderSkin(GliderRegion region, double a, double b) {
    const Color white = Rgba(226, 232, 242), blue = Rgba(30, 110, 235), dark = Rgba(40, 46, 64);
    const Color glass = Rgba(20, 40, 90), orange = Rgba(255, 150, 40);
    switch (region) {
        case GliderRegion::Top:
        case GliderRegion::TopSloped: {
            const double x = a, z = b, ax = std::fabs(x);
            Color col = white;
            // Wings shade darker toward their tips, like a surface turning
            // away from the light.
            col = Scale(col, 1.0 - 0.25 * Smooth(0.3, 1.5, ax));
            // Twin racing stripes down the spine.
            if (std::fabs(ax - 0.12) < 0.035) col = blue;
            // Leading-edge band on the wings.
            if (ax > 0.3) {
                const double lead = -0.42 + (ax - 0.29) * (0.7 / 1.16);  // leading edge z at this span
                if (z - lead < 0.09) col = Mix(col, blue, 0.9);
            }
            // Wingtip lights: red on the left, green on the right.
            if (ax > 1.38) col = x < 0 ? Rgba(235, 40, 40) : Rgba(40, 220, 90);
            // Panel line across the wing roots.
            if (ax > 0.35 && ax < 1.38 && std::fabs(z - 0.35) < 0.012) col = Scale(col, 0.7);
            // The canopy.
            const double cz = (z + 0.36) / 0.3, cx = x / 0.2;
            const double canopy = cx * cx + cz * cz;
            if (canopy < 1) {
                col = Mix(glass, Rgba(90, 170, 230), Smooth(0.9, 0.0, canopy) * 0.5);
                if (std::fabs(cx + 0.35 - (cz + 0.3) * 0.25) < 0.12 && cz < 0.4) col = Rgba(170, 220, 255);
            } else if (canopy < 1.15) {
                col = dark;
            }
            return region == GliderRegion::TopSloped ? Scale(col, 0.78) : col;
        }
        case GliderRegion::Bottom: {
            const double ax = std::fabs(a);
            Color col = Scale(dark, 1.1 - 0.3 * Smooth(0.2, 1.5, ax));
            if (ax < 0.06) col = Mix(col, Rgba(80, 200, 255), 0.8);  // keel light
            return col;
        }
        case GliderRegion::Side: {
            const double y = b;
            Color col = Scale(white, 0.7);
            if (y < 0.12) col = Scale(dark, 1.2);
            else if (y < 0.19) col = blue;
            if (y > 0.34) col = Mix(col, blue, 0.85);  // fins
            return col;
        }
        case GliderRegion::Rear: {
            const double x = a, y = b;
            Color col = Scale(dark, 0.8);
            for (double nx : {-0.13, 0.13}) {
                const double r = std::hypot(x - nx, (y - 0.15) * 1.2);
                col = Mix(col, Rgba(255, 240, 200), Smooth(0.07, 0.02, r));
                col = Mix(col, orange, Smooth(0.1, 0.07, r) * (1 - Smooth(0.07, 0.02, r)));
            }
            return col;
        }
    }
    return white;
}

namespace {

// Collects flat-shaded faces and maps each onto the glider's texture by the
// direction it faces.
class GliderBuilder {
public:
    // A convex polygon; its winding is turned so that its normal points away
    // from inside (a point inside the solid the face belongs to).
    void Face(std::vector<Vec3> points, const Vec3& inside) {
        Vec3 normal = (points[1] - points[0]).Cross(points[2] - points[0]);
        Vec3 centre{0, 0, 0};
        for (const Vec3& p : points) centre = centre + p * (1.0 / points.size());
        if (normal.Dot(centre - inside) < 0) {
            std::reverse(points.begin(), points.end());
            normal = normal * -1;
        }
        normal = normal.Normalized();
        GliderRegion region = RegionFor(normal);
        // The rear view covers the hull's tail only; the wings' and fins'
        // trailing edges take the side colours.
        if (region == GliderRegion::Rear)
            for (const Vec3& p : points)
                if (std::fabs(p.x) > GliderMaxX * 0.45) region = GliderRegion::Side;
        const uint32_t first = static_cast<uint32_t>(m_Mesh.vertices.size());
        for (const Vec3& p : points) {
            Vertex v;
            v.position = p;
            v.normal = normal;
            double a = p.x, b = p.z;
            if (region == GliderRegion::Side) a = p.z, b = p.y;
            if (region == GliderRegion::Rear) a = p.x, b = p.y;
            GliderMap(region, a, b, &v.u, &v.v);
            m_Mesh.vertices.push_back(v);
        }
        for (uint32_t i = 1; i + 1 < points.size(); ++i)
            m_Mesh.indices.insert(m_Mesh.indices.end(), {first, first + i, first + i + 1});
    }

    // A solid lofted through convex sections of equal point count; with
    // capEnds the first and last sections are closed.
    void Loft(const std::vector<std::vector<Vec3>>& sections, bool capFirst, bool capLast) {
        Vec3 inside{0, 0, 0};
        size_t count = 0;
        for (const auto& section : sections)
            for (const Vec3& p : section) inside = inside + p, ++count;
        inside = inside * (1.0 / count);
        for (size_t s = 0; s + 1 < sections.size(); ++s) {
            const auto &a = sections[s], &b = sections[s + 1];
            Vec3 local{0, 0, 0};
            for (const Vec3& p : a) local = local + p * (0.5 / a.size());
            for (const Vec3& p : b) local = local + p * (0.5 / b.size());
            for (size_t i = 0; i < a.size(); ++i) {
                const size_t j = (i + 1) % a.size();
                if ((a[i] - a[j]).Length() < 1e-9)
                    Face({a[i], b[j], b[i]}, local);
                else if ((b[i] - b[j]).Length() < 1e-9)
                    Face({a[i], a[j], b[i]}, local);
                else
                    Face({a[i], a[j], b[j], b[i]}, local);
            }
        }
        if (capFirst) Face(sections.front(), inside);
        if (capLast) Face(sections.back(), inside);
    }

    Mesh& Result() { return m_Mesh; }

private:
    static GliderRegion RegionFor(const Vec3& n) {
        if (n.y >= 0.75) return GliderRegion::Top;
        if (n.y >= 0.25) return GliderRegion::TopSloped;
        if (n.y <= -0.25) return GliderRegion::Bottom;
        if (n.z > 0.7) return GliderRegion::Rear;
        return GliderRegion::Side;
    }

    Mesh m_Mesh;
};

// Fuselage cross-section at z: half width w, top yt, middle ym, bottom yb.
std::vector<Vec3> HullSection(double z, double w, double yt, double ym, double yb) {
    if (w <= 0) return std::vector<Vec3>(8, Vec3{0, ym, z});
    const std::vector<std::pair<double, double>> right = {
        {0.0, yt}, {0.62 * w, ym + 0.85 * (yt - ym)}, {w, ym + 0.25 * (yt - ym)}, {0.8 * w, ym - 0.6 * (ym - yb)}};
    std::vector<Vec3> points;
    for (const auto& p : right) points.push_back({p.first, p.second, z});
    points.push_back({0.0, yb, z});
    for (int i = 3; i >= 1; --i) points.push_back({-right[i].first, right[i].second, z});
    return points;
}

// Wing section at span x: leading edge, upper ridge, trailing edge (upper
// and lower lip), lower ridge.
std::vector<Vec3> WingSection(double x, double zLead, double zTrail, double y, double thickTop, double thickBottom) {
    const double zRidge = zLead + 0.35 * (zTrail - zLead);
    return {{x, y, zLead}, {x, y + thickTop, zRidge}, {x, y + 0.012, zTrail}, {x, y - 0.012, zTrail},
            {x, y - thickBottom, zRidge}};
}

}  // namespace

// A dart-shaped glider, nose along -z, wings spanning x -1.52 .. 1.52, resting
// on y = 0.
bool WriteGliderModel(const std::string& dir) {
    GliderBuilder b;
    // Fuselage stations from the nose back.
    const double stations[][5] = {
        {-1.25, 0.0, 0.0, 0.13, 0.0},   {-1.12, 0.09, 0.2, 0.12, 0.05}, {-0.9, 0.18, 0.27, 0.13, 0.02},
        {-0.62, 0.25, 0.37, 0.14, 0.0}, {-0.35, 0.28, 0.43, 0.14, 0.0}, {-0.05, 0.29, 0.36, 0.14, 0.0},
        {0.3, 0.29, 0.3, 0.14, 0.02},   {0.62, 0.26, 0.28, 0.14, 0.05}};
    std::vector<std::vector<Vec3>> hull;
    for (const auto& s : stations) hull.push_back(HullSection(s[0], s[1], s[2], s[3], s[4]));
    b.Loft(hull, false, true);
    // Wings: root inside the fuselage, tips raised a little.
    for (int side : {-1, 1}) {
        std::vector<std::vector<Vec3>> wing = {WingSection(side * 0.24, -0.44, 0.55, 0.12, 0.07, 0.05),
                                               WingSection(side * 1.45, 0.28, 0.5, 0.2, 0.03, 0.02),
                                               WingSection(side * 1.52, 0.36, 0.5, 0.2, 0.025, 0.015)};
        b.Loft(wing, false, true);
    }
    // Twin tail fins, canted outwards.
    for (int side : {-1, 1}) {
        const double x = side * 0.2, cant = side * 0.07, half = 0.018;
        std::vector<std::vector<Vec3>> fin;
        for (double dx : {-half, half})
            fin.push_back({{x + dx, 0.26, 0.12}, {x + dx, 0.26, 0.62}, {x + dx + cant, 0.6, 0.66}, {x + dx + cant, 0.6, 0.46}});
        b.Loft(fin, true, true);
    }
    ModelFile model;
    model.name = "glider01";
    model.texturePath = "glider01.png";
    model.diffuse = Rgba(255, 255, 255);
    model.emission = Rgba(60, 60, 60);
    model.mesh = b.Result();
    return WriteMsd(dir + "glider01.msd", model);
}

}  // namespace DataGen
