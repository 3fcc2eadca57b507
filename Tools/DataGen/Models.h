// The three race models and the file format they are written in.
//
// Meshes are built as flat triangle lists of vertices with position, normal
// and texture coordinate; MsdWriter stores them as .msd scene files (one root
// Transform, a texture, a material and one triangle-list mesh). The glider's
// texture is painted in the same coordinates its faces are mapped with, so
// the mapping lives here, shared by the model and the texture writer.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "Canvas.h"

namespace DataGen {

struct Vec3 {
    double x, y, z;
    Vec3 operator+(const Vec3& o) const { return {x + o.x, y + o.y, z + o.z}; }
    Vec3 operator-(const Vec3& o) const { return {x - o.x, y - o.y, z - o.z}; }
    Vec3 operator*(double s) const { return {x * s, y * s, z * s}; }
    double Dot(const Vec3& o) const { return x * o.x + y * o.y + z * o.z; }
    Vec3 Cross(const Vec3& o) const { return {y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x}; }
    double Length() const { return std::sqrt(Dot(*this)); }
    Vec3 Normalized() const {
        const double l = Length();
        return l > 0 ? *this * (1 / l) : *this;
    }
};

struct Vertex {
    Vec3 position;
    Vec3 normal;
    double u, v;
};

struct Mesh {
    std::vector<Vertex> vertices;
    std::vector<uint32_t> indices;  // triangle list
};

// Everything one .msd file holds: a root Transform named name with one mesh
// whose shader's material uses the texture at texturePath.
struct ModelFile {
    std::string name;
    std::string texturePath;  // as stored: only its file part matters to the importer
    Color diffuse;
    Color emission;
    Mesh mesh;
};

bool WriteMsd(const std::string& path, const ModelFile& model);

// The glider's texture layout: four views of the model packed into one
// picture. Top, TopSloped and Bottom map model (x, z); Side maps (z, y); Rear
// maps (x, y).
enum class GliderRegion { Top, TopSloped, Bottom, Side, Rear };

void GliderMap(GliderRegion region, double a, double b, double* u, double* v);
// Inverse of GliderMap for any texture coordinate (margins extrapolate).
void GliderUnmap(double u, double v, GliderRegion* region, double* a, double* b);
// Colour of the glider's skin at (a, b) of a region.
Color GliderSkin(GliderRegion region, double a, double b);
// Signed distance (model units) from (x, z) to the glider's outline seen from
// above, negative inside. The nose points along -z.
double GliderPlanformDistance(double x, double z);

}  // namespace DataGen
