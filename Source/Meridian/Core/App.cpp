#include "Core/App.h"

#include <algorithm>

#include "Core/Devices.h"
#include "Core/FrameLimiter.h"
#include "Core/Log.h"
#include "Core/System.h"
#include "Math/MathFunctions.h"
#include "Math/Random.h"

namespace Meridian {

namespace {

App* g_App = nullptr;

// Frame deltas beyond 9 hours (a clock stopped in a debugger) are held there
// rather than overflowing Fixed.
const U32 LongestDelta = 32767000;

Fixed TicksToTime(U32 elapsed) {
    return Fixed::FromFloat(static_cast<F32>(std::min(elapsed, LongestDelta) * System::SecondsPerTick()));
}

Vector3 Vec(F32 x, F32 y, F32 z) { return {Fixed::FromFloat(x), Fixed::FromFloat(y), Fixed::FromFloat(z)}; }

}  // namespace

App::App()
    : m_Buttons(0),
      m_PreviousButtons(0),
      m_LastTicks(System::GetTicks()),
      m_Milliseconds(0),
      m_PointerDown(0),
      m_PreviousPointerDown(0),
      m_LastFrameTick(0.0f),
      m_MoveSpeed(Fixed::FromInt(10)),
      m_TurnSpeed(Fixed::FromInt(90)) {
    g_App = this;
    InitTables();
    RandomSeed(System::GetTicks());
    std::fill(m_HoldStart, m_HoldStart + ButtonCount, U64(0));
    std::fill(m_Rearm, m_Rearm + ButtonCount, 0);
}

App::~App() {
    if (g_App == this) g_App = nullptr;
    m_PreviousKeys.clear();
    m_Keys.clear();
    m_NewKeys.clear();
    m_Light.Reset();
    m_LightTransform.Reset();
    m_Camera.Reset();
    m_CameraFixTransform.Reset();
    m_CameraTransform.Reset();
    m_SceneTransform.Reset();
    m_SceneRoot.Reset();
    m_Audio.Reset();
    m_DrawTree.Reset();
    m_Input.Reset();
    m_Render.Reset();
}

App* App::Get() { return g_App; }

bool App::Init(int argc, char** argv) {
    (void)argc, (void)argv;
    LogD() << "App::Init";
    const DeviceFactory& devices = GetDeviceFactory();

    m_Render = devices.createRender();
    if (!m_Render || !m_Render->Init()) {
        LogE() << "App::Init: Render's Init failed.";
        return false;
    }
    m_Input = devices.createInput();
    if (!m_Input || !m_Input->Init()) {
        LogE() << "App::Init: Input's Init failed.";
        return false;
    }
    m_Audio = devices.createAudio();
    if (!m_Audio || !m_Audio->Init()) {
        LogE() << "App::Init: AudioPlayer's Init failed.";
        return false;
    }

    LogD() << "App::Init: Creating scenetree.";
    m_Audio->SetVolume(20);

    m_SceneRoot = New<Transform>();
    m_SceneRoot->SetName("SceneRoot");
    m_SceneTransform = New<Transform>();
    m_SceneTransform->SetName("SceneTransform");
    m_SceneTransform->SetParent(m_SceneRoot);
    m_CameraTransform = New<Transform>();
    m_CameraTransform->SetName("CameraTransform");
    m_CameraTransform->SetParent(m_SceneRoot);
    m_CameraFixTransform = New<Transform>();
    m_CameraFixTransform->SetName("CameraFixTransform");
    m_CameraFixTransform->SetParent(m_CameraTransform);
    // Cameras look along their transform's +Z (the axis a LookTransform aims);
    // the fix turns the default camera round so that it looks down -Z from
    // (0, 0, 4) at the origin, as the free-look controls expect.
    m_CameraFixTransform->SetRotation({Fixed::Zero, Fixed::FromInt(180), Fixed::Zero});
    m_Camera = New<Camera>();
    m_Camera->SetName("Camera");
    m_Camera->SetParent(m_CameraFixTransform);
    m_LightTransform = New<Transform>();
    m_LightTransform->SetName("LightTransform");
    m_LightTransform->SetParent(m_SceneRoot);
    m_LightTransform->SetTranslation(Vector3::Zero);
    m_LightTransform->SetRotation(Vector3::Zero);
    m_Light = New<Light>();
    m_Light->SetName("Light");
    m_Light->SetParent(m_LightTransform);
    m_Light->SetColor(1.0f, 1.0f, 1.0f);
    m_Light->SetLightType(Light::Directional);
    m_CameraTransform->SetTranslation(Vec(0.0f, 0.0f, 4.0f));

    LogD() << "App::Init: setup DrawTree";
    m_DrawTree = New<DrawTree>();
    m_DrawTree->SetRender(m_Render);
    m_DrawTree->SetSceneRoot(m_SceneRoot);
    m_DrawTree->SetCamera(m_Camera);

    m_LastTicks = System::GetTicks();
    m_Milliseconds = 0;
    m_FrameDelta = Fixed::Zero;
    m_LastFrameTick = 0.0f;
    return true;
}

void App::Exit() {
    if (m_SceneRoot) {
        Ref<Transform> root = m_SceneRoot;
        m_SceneRoot.Reset();
        root->SetParent(nullptr);
    }
    if (m_Audio) m_Audio->Exit();
    if (m_Render) m_Render->Exit();
    m_DrawTree.Reset();
    if (m_Input) m_Input->Exit();
    ReleaseTables();
}

void App::UpdateTime() {
    // Unsigned difference: right across the tick counter's wrap.
    const U32 now = System::GetTicks();
    const U32 elapsed = now - m_LastTicks;
    m_LastTicks = now;
    m_Milliseconds += elapsed;
    m_FrameDelta = TicksToTime(elapsed);
}

void App::RestartFrameClock(Fixed delta) {
    m_LastTicks = System::GetTicks();
    m_FrameDelta = delta;
}

void App::UpdateInput() {
    if (!m_Input) return;
    m_Input->Update();
    if (m_Render) {
        if (m_Input->TakeFullscreenToggle()) m_Render->SetFullscreen(!m_Render->IsFullscreen());
        I32 width = 0, height = 0;
        if (m_Input->TakeWindowResize(width, height)) m_Render->ResizeWindow(width, height);
    }
    m_PreviousButtons = m_Buttons;
    m_Buttons = m_Input->GetButtons();

    for (I32 bit = 0; bit < ButtonCount; ++bit) {
        const U32 mask = 1u << bit;
        if (m_Rearm[bit]) {
            m_HoldStart[bit] = m_Milliseconds;
            m_Rearm[bit] = 0;
        }
        if (m_PreviousButtons & mask) {
            if (m_Buttons & mask) {
                if (m_HoldStart[bit] == 0) m_HoldStart[bit] = m_Milliseconds;
            } else {
                m_HoldStart[bit] = 0;
            }
        }
    }

    if (m_Input->HasKeys()) {
        m_NewKeys.clear();
        m_PreviousKeys.swap(m_Keys);
        m_Keys.clear();
        m_Input->GetKeys(m_Keys);
        for (U8 key : m_Keys)
            if (std::find(m_PreviousKeys.begin(), m_PreviousKeys.end(), key) == m_PreviousKeys.end())
                m_NewKeys.push_back(key);
    }

    bool input = m_Buttons != m_PreviousButtons || m_Keys != m_PreviousKeys;
    if (m_Input->HasPointer()) {
        m_PreviousPointerDown = m_PointerDown;
        m_PreviousPointerX = m_PointerX;
        m_PreviousPointerY = m_PointerY;
        m_PointerDown = static_cast<U8>(m_Input->GetPointer(m_PointerX, m_PointerY));
        input = input || m_PointerDown != m_PreviousPointerDown || m_PointerX != m_PreviousPointerX ||
                m_PointerY != m_PreviousPointerY;
    }
    // Whatever the player does is answered with a whole picture, not only
    // with the parts the scene says have changed.
    if (input && m_DrawTree) m_DrawTree->RequestWholeFrame();
}

void App::Update() {
    // Free-look debug camera; the game replaces this with its own logic.
    if (!m_CameraTransform || !m_Input) return;
    const Fixed step = m_MoveSpeed * m_FrameDelta;
    const Fixed turn = m_TurnSpeed * m_FrameDelta;
    Vector3 position = m_CameraTransform->GetTranslation();
    Vector3 rotation = m_CameraTransform->GetRotation();
    const Matrix4& local = m_CameraTransform->GetLocalMatrix();
    const Vector3 right = {local.m[0], local.m[1], local.m[2]};
    const Vector3 forward = {-local.m[8], -local.m[9], -local.m[10]};

    Fixed stickX, stickY;
    if (m_Input->GetStick(0, stickX, stickY)) {
        position += right * (stickX * step);
        position += forward * (stickY * step);
    } else {
        if (m_Buttons & Buttons::DPadLeft) position -= right * step;
        if (m_Buttons & Buttons::DPadRight) position += right * step;
        if (m_Buttons & Buttons::DPadUp) position += forward * step;
        if (m_Buttons & Buttons::DPadDown) position -= forward * step;
    }
    if (m_Buttons & Buttons::DPadA) rotation.y -= turn;
    if (m_Buttons & Buttons::DPadB) rotation.y += turn;
    if (m_Buttons & Buttons::DPadX) rotation.x -= turn;
    if (m_Buttons & Buttons::DPadY) rotation.x += turn;
    if (m_Buttons & Buttons::VolumeUp) position.y += step;
    if (m_Buttons & Buttons::VolumeDown) position.y -= step;
    m_CameraTransform->SetTranslation(position);
    m_CameraTransform->SetRotation(rotation);

    if (m_LightTransform) {
        Vector3 lightRotation = m_LightTransform->GetRotation();
        if (m_Buttons & Buttons::LeftTrigger) lightRotation.y -= turn;
        if (m_Buttons & Buttons::RightTrigger) lightRotation.y += turn;
        m_LightTransform->SetRotation(lightRotation);
    }
}

void App::UpdateAudio() {
    if (m_Audio) m_Audio->Update(m_FrameDelta.ToFloat());
}

void App::Draw() {
    if (m_DrawTree) m_DrawTree->Draw();
    if (m_Render) m_Render->SwapBuffers();
}

void App::Sync() {
    if (m_LastFrameTick != 0.0f) {
        const F32 remaining = 16.666666f - (static_cast<F32>(System::GetTicks()) - m_LastFrameTick);
        if (remaining >= 1.0f) System::SleepMilliseconds(static_cast<U32>(remaining));
    }
    m_LastFrameTick = static_cast<F32>(System::GetTicks());
}

std::string App::ExpandButtonNames(const std::string& text) const {
    if (!m_Input) return text;
    std::string result = text;
    for (I32 bit = 0; bit < ButtonCount; ++bit) {
        const U32 button = 1u << bit;
        const std::string generic = Input::GetGenericButtonName(button);
        const char* label = m_Input->GetButtonName(button);
        if (generic.empty() || !label || !*label) continue;
        const std::string token = "#{" + generic + "}";
        for (size_t at = result.find(token); at != std::string::npos; at = result.find(token, at)) {
            result.replace(at, token.size(), label);
            at += std::char_traits<char>::length(label);
        }
    }
    return result;
}

bool RunApplication(App* app, int argc, char** argv, FrameLimiter* limiter) {
    LogD() << "program-top";
    Ref<App> hold = app;
    if (!app->Init(argc, argv)) {
        hold.Reset();
        LogD() << "program-end";
        return false;
    }
    LogI() << "App Initialized. Entering MainLoop.";
    for (;;) {
        app->UpdateInput();
        if (System::QuitRequested() || app->IsDone()) break;
        app->UpdateTime();
        app->Update();
        app->UpdateAudio();
        app->PostUpdate();
        app->Draw();
        if (limiter) limiter->Wait();
        System::FrameTick();
    }
    LogI() << "MainLoop Left.";
    app->Exit();
    hold.Reset();
    LogD() << "program-end";
    return true;
}

}  // namespace Meridian
