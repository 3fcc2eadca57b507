// skyrail-view: renders a model, a picture, a font or the game's screens
// offscreen with the game's own render device and writes one PNG.
//
//     skyrail-view <mode> <inputs...> <output.png> [options]
//
// Options for every mode: --scale N (render at 320 x 240 x N), --zoom N
// (enlarge the output N times, pixel for pixel), --background r,g,b (0..1).
// Mode options are listed with the modes (skyrail-view without arguments).
// Exit status 0 on success, 1 when something could not be loaded or
// written, 2 on wrong arguments.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Core/Log.h"
#include "Image/WritePNG.h"
#include "Math/MathFunctions.h"
#include "Render/Pnd/RenderPndGL.h"
#include "Scene/DrawTree.h"
#include "ViewScene.h"

using namespace Meridian;

namespace {

void Usage() {
    std::fprintf(stderr, "usage: skyrail-view <mode> <inputs...> <output.png> [options]\nmodes:\n");
    for (const View::Mode* mode = View::Modes; mode->name; ++mode)
        std::fprintf(stderr, "  %s %s\n", mode->name, mode->usage);
    std::fprintf(stderr,
                 "options: --scale N  --zoom N  --background r,g,b  --yaw DEG  --pitch DEG  --lit\n"
                 "         --rect u0,v0,u1,v1  --size w,h  --nearest  --text T  --small  --screen S  --energy N\n"
                 "         --verbose (engine log on standard error)\n");
}

// Flags without a value.
bool IsSwitch(const char* name) {
    return !std::strcmp(name, "lit") || !std::strcmp(name, "nearest") || !std::strcmp(name, "small") ||
           !std::strcmp(name, "verbose");
}

bool RenderView(const View::Mode& mode, View::Options& options) {
    RenderPndGLOptions deviceOptions;
    deviceOptions.m_Mode = RenderPndGLOptions::Offscreen;
    deviceOptions.m_Scale = options.scale;
    Ref<RenderPndGL> device = New<RenderPndGL>(deviceOptions);
    if (!device->Init()) {
        std::fprintf(stderr, "skyrail-view: the offscreen render device could not be opened\n");
        return false;
    }
    bool ok = false;
    {
        View::Scene scene;
        if (mode.build(options, scene)) {
            Ref<DrawTree> tree = New<DrawTree>();
            tree->SetRender(device);
            tree->SetSceneRoot(scene.Root());
            tree->SetCamera(scene.GetCamera());
            device->SetClearColor(options.background[0], options.background[1], options.background[2], 1.0f);
            tree->Draw();
            I32 x, y, w, h;
            device->GetViewport(x, y, w, h);
            std::vector<U8> pixels(static_cast<size_t>(w) * h * 4);
            ok = device->ReadPixels(x, y, w, h, pixels.data());
            const int zoom = options.zoom;
            std::vector<U8> out(pixels.size() * zoom * zoom);
            for (int oy = 0; oy < h * zoom; ++oy)
                for (int ox = 0; ox < w * zoom; ++ox) {
                    const U8* p = &pixels[(static_cast<size_t>(oy / zoom) * w + ox / zoom) * 4];
                    U8* q = &out[(static_cast<size_t>(oy) * w * zoom + ox) * 4];
                    q[0] = p[0], q[1] = p[1], q[2] = p[2], q[3] = 255;
                }
            ok = ok && WritePNG(options.output.c_str(), ImageRGBA, w * zoom, h * zoom, out.data());
            if (!ok) std::fprintf(stderr, "skyrail-view: cannot write %s\n", options.output.c_str());
            device->SwapBuffers();
        }
    }
    device->Exit();
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        Usage();
        return 2;
    }
    const View::Mode* mode = View::Modes;
    while (mode->name && std::strcmp(mode->name, argv[1])) ++mode;
    if (!mode->name) {
        Usage();
        return 2;
    }
    View::Options options;
    std::vector<std::string> positional;
    for (int i = 2; i < argc; ++i) {
        if (!std::strncmp(argv[i], "--", 2)) {
            const char* name = argv[i] + 2;
            if (IsSwitch(name))
                options.values[name] = "1";
            else if (i + 1 < argc)
                options.values[name] = argv[++i];
            else {
                Usage();
                return 2;
            }
        } else {
            positional.push_back(argv[i]);
        }
    }
    if (static_cast<int>(positional.size()) != mode->inputCount + 1) {
        Usage();
        return 2;
    }
    options.output = positional.back();
    positional.pop_back();
    options.inputs = positional;
    options.yaw = std::strtof(options.Get("yaw", "0").c_str(), nullptr);
    options.pitch = std::strtof(options.Get("pitch", "0").c_str(), nullptr);
    options.lit = options.values.count("lit") != 0;
    options.scale = std::max(1, std::atoi(options.Get("scale", "1").c_str()));
    options.zoom = std::max(1, std::atoi(options.Get("zoom", "1").c_str()));
    std::vector<float> background;
    if (options.GetFloats("background", background, 3))
        for (int i = 0; i < 3; ++i) options.background[i] = background[static_cast<size_t>(i)];

    // The engine's log: on standard error with --verbose, else only errors
    // reach the user through this program's own messages.
    Log::Open(options.values.count("verbose") ? ">console" : "/dev/null");
    InitTables();
    const bool ok = RenderView(*mode, options);
    Log::Close();
    return ok ? 0 : 1;
}
