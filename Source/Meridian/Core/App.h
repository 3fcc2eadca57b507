// The application frame: devices, the starter scene, the frame clock and the
// per-frame input state, with one virtual operation per phase of the frame.
//
// The entry point creates one application (New<...>, one reference), calls
// Init, then loops UpdateInput, IsDone, UpdateTime, Update, UpdateAudio,
// PostUpdate, Draw until IsDone answers true or SIGTERM or SIGINT arrives
// (System::QuitRequested), and calls Exit (RunApplication).
// The application clock counts milliseconds since Init in 64 bits from
// System::GetTicks, so it runs for as long as the program does (the 32-bit
// tick counter may wrap); the frame delta is the time between two passes in
// Fixed seconds, never negative. A button's hold start is the application time
// at which it was first seen held (0 when up).
// Only one App exists at a time; App::Get reaches it.
#pragma once

#include <string>
#include <vector>

#include "Audio/AudioPlayer.h"
#include "Input/Input.h"
#include "Render/Render.h"
#include "Scene/Camera.h"
#include "Scene/DrawTree.h"
#include "Scene/Light.h"
#include "Scene/Transform.h"

namespace Meridian {

class App : public Object {
    MERIDIAN_CLASS(App, Object)

    App();
    ~App() override;

    static App* Get();

    virtual bool Init(int argc, char** argv);
    virtual void Exit();
    virtual void UpdateTime();
    virtual void UpdateInput();
    virtual void Update();
    virtual void PostUpdate() {}
    virtual void UpdateAudio();
    virtual void Draw();
    virtual void Sync();
    virtual bool IsDone() { return false; }

    // Replaces every "#{ButtonName}" by the input device's label for it.
    std::string ExpandButtonNames(const std::string& text) const;

    Render* GetRender() const { return m_Render; }
    Input* GetInput() const { return m_Input; }
    AudioPlayer* GetAudio() const { return m_Audio; }
    DrawTree* GetDrawTree() const { return m_DrawTree; }
    Transform* GetSceneRoot() const { return m_SceneRoot; }
    Transform* GetSceneTransform() const { return m_SceneTransform; }
    Transform* GetCameraTransform() const { return m_CameraTransform; }
    Camera* GetCamera() const { return m_Camera; }
    Light* GetLight() const { return m_Light; }

    U32 GetButtons() const { return m_Buttons; }
    U32 GetPreviousButtons() const { return m_PreviousButtons; }
    bool IsPressed(U32 button) const { return (m_Buttons & button) && !(m_PreviousButtons & button); }
    bool IsHeld(U32 button) const { return (m_Buttons & button) && (m_PreviousButtons & button); }
    bool IsReleased(U32 button) const { return !(m_Buttons & button) && (m_PreviousButtons & button); }
    U64 GetHoldStart(I32 bit) const { return m_HoldStart[bit]; }
    void Rearm(I32 bit) { m_Rearm[bit] = 1; }

    U64 GetMilliseconds() const { return m_Milliseconds; }
    Fixed GetFrameDelta() const { return m_FrameDelta; }
    const std::vector<U8>& GetKeys() const { return m_Keys; }
    const std::vector<U8>& GetNewKeys() const { return m_NewKeys; }
    bool GetPointer(Fixed& x, Fixed& y) const {
        x = m_PointerX;
        y = m_PointerY;
        return m_PointerDown != 0;
    }

protected:
    // Leaves the time spent in this pass so far out of the clock: the next
    // frame's delta is measured from now, and this frame's delta becomes
    // 'delta'. For work (a state change) that must not show as a jump in time.
    void RestartFrameClock(Fixed delta);

    Ref<Render> m_Render;
    Ref<Input> m_Input;
    U32 m_Buttons;
    U32 m_PreviousButtons;
    Ref<AudioPlayer> m_Audio;
    Ref<DrawTree> m_DrawTree;
    Ref<Transform> m_SceneRoot;
    Ref<Transform> m_SceneTransform;
    Ref<Transform> m_CameraTransform;
    Ref<Transform> m_CameraFixTransform;
    Ref<Camera> m_Camera;
    Ref<Transform> m_LightTransform;
    Ref<Light> m_Light;
    U32 m_LastTicks;
    U64 m_Milliseconds;
    Fixed m_FrameDelta;
    U64 m_HoldStart[ButtonCount];
    U8 m_Rearm[ButtonCount];
    Fixed m_PointerX, m_PointerY;
    Fixed m_PreviousPointerX, m_PreviousPointerY;
    U8 m_PointerDown;
    U8 m_PreviousPointerDown;
    std::vector<U8> m_PreviousKeys;
    std::vector<U8> m_Keys;
    std::vector<U8> m_NewKeys;
    F32 m_LastFrameTick;
    Fixed m_MoveSpeed;
    Fixed m_TurnSpeed;
};

class FrameLimiter;

// Runs an application created by the caller (count 0): takes the reference,
// Init, the main loop, Exit, and drops the reference. Logs the frame's
// milestones ("program-top", "App Initialized. Entering MainLoop.",
// "MainLoop Left.", "program-end"). A limiter, when given, paces every pass
// after it has drawn. False when the application's Init failed.
bool RunApplication(App* app, int argc, char** argv, FrameLimiter* limiter = nullptr);

}  // namespace Meridian
