// FrameRecorder: a render device that draws nothing and records what a frame
// would draw, so that the draw traversal can tell whether the picture of a
// frame differs from the one on screen, and where.
//
// Every call is folded into a hash of the device state: matrices, lights,
// fog and clears in call order, and the current shader by value (material
// colours, textures with their image, filters and texture matrix, every
// switch) with the colour. Each DrawNode adds one entry: that state combined
// with the drawable, its world matrix and its mesh as the device reads it
// (type, counts and the content of its arrays). An entry drawn flat (an
// affine projection, no point sprites) also gets the rectangle its vertices
// cover, in normalized device coordinates.
//
// Array content is hashed when the mesh's arrays are dirty (waiting to be
// uploaded), and otherwise taken from the previous record: arrays change
// only through their dirty bits, which the device clears on upload.
//
// Two pictures whose entries differ only at flat entries differ only inside
// the union of those entries' old and new rectangles: every pixel outside it
// is covered by the same unchanged entries, in the same order.
// Depends on: Render/Render.h, Scene appearance and mesh classes.
#pragma once

#include <unordered_map>
#include <vector>

#include "Render/Render.h"

namespace Meridian {

class PolygonGeometry;

class FrameRecorder : public Render {
    MERIDIAN_CLASS(FrameRecorder, Render)

    struct Entry {
        U64 m_Hash;
        bool m_Flat;
        F32 m_Rect[4];  // left, bottom, right, top (flat entries only)
    };
    struct Picture {
        std::vector<Entry> m_Entries;
        U64 m_FrameHash = 0;  // what lies outside the entries (clears, targets)
    };
    // What differs between two pictures: nothing, a rectangle (normalized
    // device coordinates), or possibly everything.
    struct Difference {
        enum Kind : I32 { None, Part, Whole };
        Kind m_Kind = None;
        F32 m_Rect[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    };
    static Difference Compare(const Picture& shown, const Picture& now);

    // Starts a new record; device answers GetAspectRatio until End.
    void Begin(Render* device);
    void End();
    const Picture& GetPicture() const { return m_Picture; }

    bool Init() override { return true; }
    void Exit() override {}
    void GetAspectRatio(Fixed& aspect) override;
    void SetClearColor(F32 r, F32 g, F32 b, F32 a) override;
    void SetClearDepth(Fixed depth) override;
    void Clear(U32 flags) override;
    void SetViewMatrix(const Matrix4& view) override;
    void SetProjectionMatrix(const Matrix4& projection) override;
    void SetAmbientLight(const F32* rgba) override;
    void SetLights(I32 count) override;
    void SetLight(I32 index, Light* light, const Matrix4& world) override;
    void SetFog(Fog* fog) override;
    void SetShader(Shader* shader, const F32* rgba) override;
    void SetRenderTarget(RenderTarget* target) override;
    void DrawNode(Drawable* drawable, const Matrix4& world) override;
    void SwapBuffers() override {}

private:
    void SetShaderValues(Shader* shader, const F32* rgba);
    // The hash of the mesh's array content.
    U64 ContentOf(PolygonGeometry* mesh);
    // Folds bytes into the hash m_Target points at.
    void Mix(const void* data, size_t bytes);
    template <typename T>
    void MixValue(const T& value) {
        Mix(&value, sizeof(value));
    }

    Render* m_Device = nullptr;  // for the length of a record
    Picture m_Picture;
    U64 m_State = 0;   // everything but the shader, in call order
    U64 m_Shader = 0;  // the current shader and colour
    U64* m_Target = &m_State;
    Matrix4 m_View;
    Matrix4 m_Projection;
    // Array content by mesh data, of this record and of the one before.
    std::unordered_map<const void*, U64> m_Contents, m_PreviousContents;
};

}  // namespace Meridian
