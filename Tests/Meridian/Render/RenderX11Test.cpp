// The desktop way: an SDL window on an X server. Uses the display in DISPLAY
// when there is one, else starts its own Xvfb (skipped when Xvfb is not
// installed).
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "Image/ImportPNG.h"
#include "Math/MathFunctions.h"
#include "Meridian/Render/RenderTestUtil.h"
#include "Support/TestUtil.h"

using namespace Meridian;
using ::Test::Near;
using ::Test::Pixel;

namespace {

// An Xvfb server of our own, on a display number free on this machine,
// stopped again when the object goes.
class OwnXServer {
public:
    OwnXServer() {
        if (access("/usr/bin/Xvfb", X_OK) != 0) return;
        for (int number = 90 + getpid() % 50; number < 190 && m_Pid <= 0; ++number) {
            const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
            const std::string lock = "/tmp/.X" + std::to_string(number) + "-lock";
            struct stat info;
            if (stat(socket.c_str(), &info) == 0 || stat(lock.c_str(), &info) == 0) continue;
            const std::string display = ":" + std::to_string(number);
            const pid_t pid = fork();
            if (pid == 0) {
                if (!freopen("/dev/null", "w", stderr)) _exit(126);
                execl("/usr/bin/Xvfb", "Xvfb", display.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                      static_cast<char*>(nullptr));
                _exit(127);
            }
            if (pid < 0) return;
            // Wait up to ten seconds for the server's socket.
            for (int i = 0; i < 100; ++i) {
                if (stat(socket.c_str(), &info) == 0) {
                    m_Pid = pid;
                    m_Display = display;
                    break;
                }
                int status = 0;
                if (waitpid(pid, &status, WNOHANG) == pid) break;
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
            if (m_Pid <= 0) {
                kill(pid, SIGTERM);
                waitpid(pid, nullptr, 0);
            }
        }
    }
    ~OwnXServer() {
        if (m_Pid > 0) {
            kill(m_Pid, SIGTERM);
            waitpid(m_Pid, nullptr, 0);
        }
    }
    const std::string& Display() const { return m_Display; }

private:
    pid_t m_Pid = -1;
    std::string m_Display;
};

}  // namespace

TEST(RenderX11, WindowIsAnIntegerMultipleAndDrawsUpright) {
    const char* existing = getenv("DISPLAY");
    std::unique_ptr<OwnXServer> server;
    if (!existing || !*existing) {
        server.reset(new OwnXServer());
        if (server->Display().empty()) GTEST_SKIP() << "no X server and no Xvfb to start";
        setenv("DISPLAY", server->Display().c_str(), 1);
    }
    InitTables();
    {
        ::Test::LogCapture log;
        Ref<RenderPndGL> device = static_cast<RenderPndGL*>(CreateRenderPndGL(RenderPndGLOptions()));
        ASSERT_TRUE(device->Init()) << log.Text();
        ::Test::PinGraphicsDriver();
        EXPECT_EQ(device->GetOpenMode(), RenderPndGLOptions::X11) << log.Text();
        const I32 w = device->GetSurfaceWidth(), h = device->GetSurfaceHeight();
        EXPECT_EQ(w % 320, 0);
        EXPECT_EQ(w / 320, h / 240);
        EXPECT_GE(w, 320);
        if (server) {
            EXPECT_EQ(w, 960);  // 90 % of a 1280 x 1024 screen
        }
        I32 vx, vy, vw, vh;
        device->GetViewport(vx, vy, vw, vh);
        EXPECT_EQ(vw, w);
        EXPECT_EQ(vh, h);
        Fixed aspect;
        device->GetAspectRatio(aspect);
        EXPECT_EQ(aspect.Raw(), 87381);

        // Green over the lower half of the game screen, on blue.
        Ref<Transform> root = New<Transform>();
        Ref<LookTransform> eye = New<LookTransform>();
        eye->SetTranslation({Fixed::Zero, Fixed::Zero, Fixed::FromInt(5)});
        eye->SetParent(root);
        Ref<Camera> camera = New<Camera>();
        camera->SetParent(eye);
        Ref<PolygonGeometry> quad = ::Test::MakeQuad(-10, -10, 10, 0, 0);
        quad->SetShader(::Test::MakeColorShader(0, 1, 0, 1));
        quad->SetParent(root);
        Ref<DrawTree> tree = New<DrawTree>();
        tree->SetRender(device);
        tree->SetSceneRoot(root);
        tree->SetCamera(camera);
        device->SetClearColor(0, 0, 1, 1);
        tree->Draw();

        ::Test::TempDir dir;
        ASSERT_TRUE(device->Screenshot(dir.File("x11").c_str()));
        device->SwapBuffers();
        EXPECT_FALSE(log.Contains("GL ERROR")) << log.Text();
        EXPECT_FALSE(log.Contains("EGL ERROR")) << log.Text();
        std::string name;
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) name = entry.path().string();
        Ref<Image> picture = ImportPNG(name.c_str(), false);
        ASSERT_NE(picture.Get(), nullptr);
        EXPECT_EQ(picture->GetWidth(), w);
        EXPECT_EQ(picture->GetHeight(), h);
        const U8* top = picture->GetPixels() + (10 * w + w / 2) * 4;
        const U8* bottom = picture->GetPixels() + ((h - 10) * w + w / 2) * 4;
        EXPECT_EQ(top[2], 255);
        EXPECT_EQ(bottom[1], 255);
        std::filesystem::create_directories("render-shots");
        std::filesystem::copy_file(name, "render-shots/x11-window.png",
                                   std::filesystem::copy_options::overwrite_existing);

        tree.Reset();
        root->SetParent(nullptr);
        device->Exit();
    }
    ReleaseTables();
    if (server) unsetenv("DISPLAY");
}
