// The desktop way: an SDL window on an X server. Uses the display in DISPLAY when there is one, else starts its own
// Xvfb (skipped without Xvfb).
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

using namespace Meridian;

namespace {

// An Xvfb server of our own on a display number it picks, stopped with the object. Xvfb writes the number to the pipe
// once it accepts connections.
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

    std::unique_ptr<OwnXServer> m_Server;
    std::unique_ptr<::Test::ScopedDisplay> m_Display;
};

}  // namespace

TEST_F(RenderX11, WindowIsAnIntegerMultipleAndDrawsUpright) {
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
    EXPECT_EQ(w, vw);
    EXPECT_EQ(h, vh);
    Fixed aspect;
    m_Device->GetAspectRatio(aspect);
    EXPECT_EQ(87381, aspect.Raw());
    // Green over the lower half of the screen, on blue, read before the swap (which leaves the back buffer undefined).
    BuildScene();
    AddQuad(-10, -10, 10, 0, 0, 0, 1, 0);
    m_Device->SetClearColor(0, 0, 1, 1);
    m_Tree->Draw();
    EXPECT_TRUE(PixelIs(w / 2, h - 10, 0, 0, 255));
    EXPECT_TRUE(PixelIs(w / 2, 10, 0, 255, 0));
    Shot("x11-window");
    m_Device->SwapBuffers();
    EXPECT_FALSE(log.Contains("GL ERROR")) << log.Text();
    EXPECT_FALSE(log.Contains("EGL ERROR")) << log.Text();
}

// A window keeps its picture: an unchanged frame is left out, a change in the overlay is drawn inside the rectangle
// it covers, and what that leaves in the buffer is what a whole frame draws; a 3D change or a resize is drawn whole.
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
    const I32 w = m_Device->GetSurfaceWidth(), h = m_Device->GetSurfaceHeight();
    std::vector<U8> part(static_cast<size_t>(w) * h * 4), whole(part.size());
    // Draws the frame, reads it, and draws it again whole: both must be the same picture.
    auto drawCompared = [&](const char* what) {
        SCOPED_TRACE(what);
        EXPECT_TRUE(m_Tree->Draw());
        ASSERT_TRUE(m_Device->ReadPixels(0, 0, w, h, part.data()));
        m_Device->SwapBuffers();
        m_Tree->RequestWholeFrame();
        EXPECT_TRUE(m_Tree->Draw());
        ASSERT_TRUE(m_Device->ReadPixels(0, 0, w, h, whole.data()));
        m_Device->SwapBuffers();
        EXPECT_TRUE(part == whole);
    };
    DrawFrame();
    EXPECT_FALSE(m_Tree->Draw());
    m_Device->SwapBuffers();
    EXPECT_EQ(1u, m_Tree->GetFramesLeftOut());
    mark->SetColor(1, 0, 0, 1);
    drawCompared("colour");
    EXPECT_TRUE(ScreenIs(160, 200, 128, 0, 128));
    place->SetTranslation(::Test::V3(100, -20, 0));
    drawCompared("moved");
    EXPECT_TRUE(ScreenIs(160, 200, 0, 0, 255));
    EXPECT_TRUE(ScreenIs(260, 180, 128, 0, 128));
    EXPECT_EQ(2u, m_Tree->GetFramesInPart());
    m_CameraTransform->SetTranslation(::Test::V3(1, 0, 5));
    drawCompared("camera");
    m_Device->ResizeWindow(800, 600);
    drawCompared("resized");
    EXPECT_EQ(2u, m_Tree->GetFramesInPart());
    EXPECT_FALSE(log.Contains("GL ERROR")) << log.Text();
}
