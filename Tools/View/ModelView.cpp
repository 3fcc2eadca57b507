// Model view: a .msd scene framed by the camera, turned by --yaw (about y)
// and --pitch (about x, toward the viewer). With yaw 0 the camera looks along
// the model's -z, so a model built nose along -z is seen from behind, as the
// race's chase camera sees the glider.
//
// By default every mesh is drawn as the race draws the game's models: its
// texture unlit, back faces culled (so a face wound the wrong way shows as
// a hole). --lit keeps the file's own materials under the view's lights.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "Import/ImportMSD.h"
#include "Scene/Material.h"
#include "Scene/PolygonGeometry.h"
#include "Scene/Shader.h"
#include "ViewScene.h"

using namespace Meridian;

namespace View {

namespace {

// Model-space matrix of node: the product of the local matrices from the
// model root down (the root's own included).
Matrix4 ModelMatrix(Node* node, Node* root) {
    Matrix4 matrix = Matrix4::Identity();
    for (Node* n = node; n; n = n->GetParent()) {
        if (Transform* t = Cast<Transform>(n)) matrix = t->GetLocalMatrix() * matrix;
        if (n == root) break;
    }
    return matrix;
}

template <class Visit>
void Walk(Node* node, const Visit& visit) {
    visit(node);
    if (Group* group = Cast<Group>(node))
        for (U32 i = 0; i < group->GetChildCount(); ++i) Walk(group->GetChild(i), visit);
}

}  // namespace

bool BuildModel(const Options& options, Scene& scene) {
    const std::string& path = options.inputs[0];
    Ref<Transform> model = ImportMSD(path.c_str(), 0);
    if (!model) {
        std::fprintf(stderr, "skyrail-view: cannot import %s\n", path.c_str());
        return false;
    }
    // Bounds of every mesh in model space.
    Vector3f low{1e30f, 1e30f, 1e30f}, high{-1e30f, -1e30f, -1e30f};
    std::vector<Vector3f> points;
    int meshes = 0, triangles = 0;
    Walk(model, [&](Node* node) {
        PolygonGeometry* mesh = Cast<PolygonGeometry>(node);
        if (!mesh) return;
        ++meshes;
        triangles += mesh->GetPrimitiveCount();
        const Matrix4 matrix = ModelMatrix(mesh->GetParent(), model);
        std::vector<Float3> vertices;
        mesh->GetVertices(vertices);
        for (const Float3& v : vertices) {
            const Vector3 p = matrix.TransformPoint({Fixed::FromFloat(v.x), Fixed::FromFloat(v.y), Fixed::FromFloat(v.z)});
            const Vector3f f{p.x.ToFloat(), p.y.ToFloat(), p.z.ToFloat()};
            points.push_back(f);
            low = {std::min(low.x, f.x), std::min(low.y, f.y), std::min(low.z, f.z)};
            high = {std::max(high.x, f.x), std::max(high.y, f.y), std::max(high.z, f.z)};
        }
        if (!options.lit) {
            // The race's way: the texture, unlit, on a white material.
            Shader* own = mesh->GetShader();
            Ref<Shader> shader = New<Shader>();
            Ref<Material> material = New<Material>();
            material->SetDiffuse(1, 1, 1, 1);
            shader->SetMaterial(material);
            shader->SetLighting(false);
            if (own) shader->SetTexture(0, own->GetTexture(0));
            mesh->SetShader(shader);
        }
    });
    if (points.empty()) {
        std::fprintf(stderr, "skyrail-view: %s has no vertices\n", path.c_str());
        return false;
    }
    const Vector3f centre{(low.x + high.x) / 2, (low.y + high.y) / 2, (low.z + high.z) / 2};
    float radius = 0;
    for (const Vector3f& p : points) radius = std::max(radius, (p - centre).Length());
    std::printf("%s: %d mesh(es), %d triangles, bounds (%.3f %.3f %.3f) .. (%.3f %.3f %.3f)\n", path.c_str(), meshes,
                triangles, low.x, low.y, low.z, high.x, high.y, high.z);

    // turntable (pitch, then yaw) > centring offset > model
    Ref<Transform> turntable = New<Transform>();
    turntable->SetRotationOrder(5);  // Rx.Ry.Rz: the yaw is applied before the pitch
    turntable->SetRotation({Fixed::FromFloat(options.pitch), Fixed::FromFloat(options.yaw), Fixed::Zero});
    turntable->SetParent(scene.World());
    Ref<Transform> offset = New<Transform>();
    offset->SetTranslation({Fixed::FromFloat(-centre.x), Fixed::FromFloat(-centre.y), Fixed::FromFloat(-centre.z)});
    offset->SetParent(turntable);
    model->SetParent(offset);
    scene.Frame({0, 0, 0}, radius);
    return true;
}

}  // namespace View
