// The desktop way: an SDL window on the X server in DISPLAY, else on an Xvfb of its own (skipped without Xvfb).
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "Math/MathFunctions.h"
#include "Meridian/Render/RenderTestUtil.h"
#include "Support/TestUtil.h"

// Last: Xlib's macros (None, Bool, Status) would clash with the names above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

using namespace Meridian;

namespace {

// An Xvfb on a display number it picks and writes to the pipe once it accepts connections; stopped with the object.
class OwnXServer {
public:
    OwnXServer() {
        int fds[2];
        if (access("/usr/bin/Xvfb", X_OK) != 0 || pipe(fds) != 0) return;
        m_Pid = fork();
        if (m_Pid == 0) {
            close(fds[0]);
            if (!freopen("/dev/null", "w", stderr)) _exit(126);
            execl("/usr/bin/Xvfb", "Xvfb", "-displayfd", std::to_string(fds[1]).c_str(), "-screen", "0",
                  "1280x1024x24", "-nolisten", "tcp", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        m_Pipe = fds[0];  // open while the server runs: it dies of SIGPIPE otherwise
        char c;
        std::string number;
        while (m_Pid > 0 && read(m_Pipe, &c, 1) == 1 && c != '\n') number += c;
        if (!number.empty()) m_Display = ":" + number;
    }
    ~OwnXServer() {
        if (m_Pid > 0) {
            kill(m_Pid, SIGTERM);
            waitpid(m_Pid, nullptr, 0);
        }
        close(m_Pipe);
    }
    const std::string& Display() const { return m_Display; }

private:
    pid_t m_Pid = -1;
    int m_Pipe = -1;
    std::string m_Display;
};

class RenderX11 : public ::Test::RenderTest {
protected:
    void SetUp() override {
        const char* existing = getenv("DISPLAY");
        if (!existing || !*existing) {
            m_Server.reset(new OwnXServer());
            if (m_Server->Display().empty()) GTEST_SKIP() << "no X server and no Xvfb to start";
            m_Display.reset(new ::Test::ScopedDisplay(m_Server->Display().c_str()));
        }
        InitTables();
    }
    void TearDown() override {
        ::Test::RenderTest::TearDown();
        m_Display.reset();
        m_Server.reset();
    }

    // The window's pixel at game screen point (x, y), read on the device's own connection so after all it sent.
    ::testing::AssertionResult WindowIs(int x, int y, int r, int g, int b, int tolerance = 6) {
        I32 vx, vy, vw, vh;
        m_Device->GetViewport(vx, vy, vw, vh);
        const int wx = vx + x * vw / RenderPndGL::ScreenWidth;
        const int wy = m_Device->GetSurfaceHeight() - 1 - (vy + y * vh / RenderPndGL::ScreenHeight);
        ::Display* display = static_cast<::Display*>(m_Device->GetX11Display());
        XImage* image = display ? XGetImage(display, m_Device->GetX11Window(), wx, wy, 1, 1, AllPlanes, ZPixmap)
                                : nullptr;
        if (!image) return ::testing::AssertionFailure() << "no image of the window";
        const unsigned long pixel = XGetPixel(image, 0, 0);
        int got[3] = {0, 0, 0};
        const unsigned long masks[3] = {image->red_mask, image->green_mask, image->blue_mask};
        for (int i = 0; i < 3; ++i) {
            int shift = 0;
            while (shift < 31 && !((masks[i] >> shift) & 1)) ++shift;
            got[i] = static_cast<int>((pixel & masks[i]) >> shift);
        }
        XDestroyImage(image);
        return ::Test::ColourNear(got, r, g, b, tolerance) << " in the window at (" << x << ", " << y << ")";
    }

    std::unique_ptr<OwnXServer> m_Server;
    std::unique_ptr<::Test::ScopedDisplay> m_Display;
};

}  // namespace

TEST_F(RenderX11, WindowIsAnIntegerMultipleOfTheScreen) {
    ::Test::LogCapture log;
    ASSERT_TRUE(OpenDevice(RenderPndGLOptions())) << log.Text();
    EXPECT_EQ(RenderPndGLOptions::X11, m_Device->GetOpenMode()) << log.Text();
    const I32 w = m_Device->GetSurfaceWidth(), h = m_Device->GetSurfaceHeight();
    EXPECT_EQ(0, w % 320);
    EXPECT_EQ(w / 320, h / 240);
    EXPECT_GE(w, 320);
    EXPECT_TRUE(!m_Server || w == 960) << w;  // 90 % of a 1280 x 1024 screen
    I32 vx, vy, vw, vh;
    m_Device->GetViewport(vx, vy, vw, vh);
    EXPECT_EQ((std::vector<I32>{0, 0, w, h}), (std::vector<I32>{vx, vy, vw, vh}));
}

// An unchanged frame is left out; an overlay change is drawn in its rectangle only and shown so in the window (inside
// it the new picture, outside the old, also with a border), equal to a whole frame; a 3D change or a resize is whole.
TEST_F(RenderX11, UnchangedFramesLeftOutAndOverlayChangesDrawnInPart) {
    ::Test::LogCapture log;
    RenderPndGLOptions options;
    options.m_Scale = 2;
    ASSERT_TRUE(OpenDevice(options)) << log.Text();
    ASSERT_TRUE(m_Device->KeepsPicture()) << log.Text();
    BuildScene();
    AddQuad(-10, -10, 10, 0, 0, 0, 1, 0);
    Ref<InterfaceGroup> overlay = New<InterfaceGroup>();
    overlay->SetParent(m_Root);
    PolygonGeometry* back = ::Test::MakeQuad(-160, 40, 160, 120, 0);
    back->SetShader(::Test::MakeColorShader(0, 0, 1, 1));
    back->SetParent(overlay);
    Ref<Transform> place = New<Transform>();
    place->SetParent(overlay);
    PolygonGeometry* mark = ::Test::MakeQuad(-20, 60, 20, 100, 0);
    mark->SetShader(::Test::MakeColorShader(1, 1, 1, 0.5f, false, Shader::BlendAlpha));
    mark->SetParent(place);
    std::vector<U8> part, whole;
    // Checks the probes in the buffer and in the window (mirrored or shifted rows fall on other colours), then that a
    // whole frame draws the same picture.
    auto drawCompared = [&](const char* what, std::initializer_list<Probe> probes) {
        SCOPED_TRACE(what);
        const I32 w = m_Device->GetSurfaceWidth(), h = m_Device->GetSurfaceHeight();
        part.resize(static_cast<size_t>(w) * h * 4);
        whole.resize(part.size());
        EXPECT_TRUE(m_Tree->Draw());
        ASSERT_TRUE(m_Device->ReadPixels(0, 0, w, h, part.data()));
        m_Device->SwapBuffers();
        for (const Probe& p : probes) {
            EXPECT_TRUE(ScreenIs(p.x, p.y, p.r, p.g, p.b));
            EXPECT_TRUE(WindowIs(p.x, p.y, p.r, p.g, p.b));
        }
        m_Tree->RequestWholeFrame();
        EXPECT_TRUE(m_Tree->Draw());
        ASSERT_TRUE(m_Device->ReadPixels(0, 0, w, h, whole.data()));
        m_Device->SwapBuffers();
        EXPECT_TRUE(part == whole);
    };
    DrawFrame();
    Shot("x11-window");
    EXPECT_FALSE(m_Tree->Draw());
    m_Device->SwapBuffers();
    EXPECT_EQ(1u, m_Tree->GetFramesLeftOut());
    mark->SetColor(1, 0, 0, 1);
    drawCompared("colour", {{160, 200, 128, 0, 128}, {160, 40, 0, 255, 0}, {100, 200, 0, 0, 255}});
    place->SetTranslation(::Test::V3(100, -20, 0));
    drawCompared("moved", {{160, 200, 0, 0, 255}, {260, 180, 128, 0, 128}, {260, 60, 0, 255, 0}});
    EXPECT_EQ(2u, m_Tree->GetFramesInPart());
    m_CameraTransform->SetTranslation(::Test::V3(1, 0, 5));
    drawCompared("camera", {});
    // 640 x 480 at (80, 60) in 800 x 600: the rectangle's place in the window counts the border.
    m_Device->ResizeWindow(800, 600);
    drawCompared("resized", {});
    EXPECT_EQ(2u, m_Tree->GetFramesInPart());
    // The resize's window events owe a few whole frames; then an unchanged one is left out again.
    bool drawn = true;
    for (int i = 0; i < 8 && drawn; ++i) {
        drawn = m_Tree->Draw();
        m_Device->SwapBuffers();
    }
    EXPECT_FALSE(drawn);
    place->SetTranslation(::Test::V3(0, 0, 0));
    drawCompared("moved back, with a border", {{160, 200, 128, 0, 128}, {260, 180, 0, 0, 255}, {160, 40, 0, 255, 0}});
    EXPECT_EQ(3u, m_Tree->GetFramesInPart());
    EXPECT_FALSE(log.Contains("GL ERROR")) << log.Text();
    EXPECT_FALSE(log.Contains("EGL ERROR")) << log.Text();
}
