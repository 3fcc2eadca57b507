// A render device that draws nothing: for logic tests and tools that need the
// application frame without graphics. It counts frames and drawn nodes.
#pragma once

#include "Render/Render.h"
#include "Scene/Drawable.h"

namespace Meridian {

class RenderNull : public Render {
    MERIDIAN_CLASS(RenderNull, Render)

    bool Init() override { return true; }
    void Exit() override {}
    void GetAspectRatio(Fixed& aspect) override { aspect = Fixed::FromRaw(87381); }
    void SetClearColor(F32, F32, F32, F32) override {}
    void SetClearDepth(Fixed) override {}
    void Clear(U32) override {}
    void SetViewMatrix(const Matrix4&) override {}
    void SetProjectionMatrix(const Matrix4&) override {}
    void SetAmbientLight(const F32*) override {}
    void SetLights(I32) override {}
    void SetLight(I32, Light*, const Matrix4&) override {}
    void SetFog(Fog*) override {}
    void SetShader(Shader*, const F32*) override {}
    void SetRenderTarget(RenderTarget*) override {}
    void DrawNode(Drawable* drawable, const Matrix4&) override {
        drawable->UpdateDrawable();
        ++m_DrawnNodes;
    }
    void SwapBuffers() override { ++m_Frames; }

    U32 m_Frames = 0;
    U32 m_DrawnNodes = 0;
};

}  // namespace Meridian
