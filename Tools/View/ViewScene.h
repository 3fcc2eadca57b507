// skyrail-view's shared parts: the options of a run, the scene every view
// builds into (a 3D world with a framing camera and lights, plus a 320 x 240
// interface overlay), and the table of view modes.
//
// A mode is a function that fills the scene from its inputs; Main.cpp opens
// the render device offscreen, draws one frame and writes it as a PNG. To add
// a mode, write its Build function in its own file and list it in
// ViewModes.cpp.
//
// Depends on: the Meridian engine (Scene, Import, Image, Math).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "Scene/Camera.h"
#include "Scene/FontTexture2D.h"
#include "Scene/Light.h"
#include "Scene/Transform.h"

namespace View {

struct Options {
    std::vector<std::string> inputs;  // positional arguments before the output
    std::string output;
    float yaw = 0, pitch = 0;         // model turn, degrees
    bool lit = false;                 // keep the model's own lit materials
    int scale = 1;                    // render surface = 320 x 240 x scale
    int zoom = 1;                     // output pixels per rendered pixel
    float background[3] = {0.16f, 0.17f, 0.22f};
    std::map<std::string, std::string> values;  // --name value pairs for modes

    std::string Get(const std::string& name, const std::string& fallback = "") const {
        auto it = values.find(name);
        return it == values.end() ? fallback : it->second;
    }
    // Comma-separated floats of --name; false when missing or malformed.
    bool GetFloats(const std::string& name, std::vector<float>& out, size_t count) const;
};

class Scene {
public:
    Scene();
    ~Scene();

    Meridian::Group* Root() const { return m_Root; }
    // Where 3D content goes (lit by an ambient and a directional light).
    Meridian::Group* World() const { return m_World; }
    // 320 x 240 units, origin at the screen centre, y up.
    Meridian::InterfaceGroup* Overlay() const { return m_Overlay; }
    Meridian::Camera* GetCamera() const { return m_Camera; }
    Meridian::LookTransform* CameraTransform() const { return m_CameraTransform; }

    // Aims the camera from eye at target (world units), up +y.
    void LookAt(const Meridian::Vector3f& eye, const Meridian::Vector3f& target);
    // Places the camera on +z of centre so a sphere of radius fills the view.
    void Frame(const Meridian::Vector3f& centre, float radius);

private:
    Meridian::Ref<Meridian::Group> m_Root;
    Meridian::Ref<Meridian::Group> m_World;
    Meridian::Ref<Meridian::InterfaceGroup> m_Overlay;
    Meridian::Ref<Meridian::LookTransform> m_CameraTransform;
    Meridian::Ref<Meridian::Camera> m_Camera;
};

// Loads a bitmap font as the game does (image bottom row first, glyph table
// from the .gly); null after printing why. small = the crisp 8-pixel font
// setup (nearest mip level, no magnification filter).
Meridian::FontTexture2D* LoadFont(const std::string& png, const std::string& gly, bool small);

struct Mode {
    const char* name;
    const char* usage;  // the arguments after the mode name
    int inputCount;     // positional inputs before the output file
    bool (*build)(const Options& options, Scene& scene);
};

// The modes, ended by an entry with a null name.
extern const Mode Modes[];

bool BuildModel(const Options& options, Scene& scene);
bool BuildPicture(const Options& options, Scene& scene);
bool BuildFont(const Options& options, Scene& scene);
bool BuildGui(const Options& options, Scene& scene);
bool BuildCourse(const Options& options, Scene& scene);

}  // namespace View
