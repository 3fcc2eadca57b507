#include "Render/Pnd/DisplayPndGL.h"

#include <EGL/eglext.h>
#include <SDL/SDL.h>
#include <SDL/SDL_syswm.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstdlib>
#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
#include <dlfcn.h>
#include <link.h>
#endif

#include "Core/Log.h"
#include "Core/System.h"

namespace Meridian {

namespace {

const I32 NativeWindowBytes = 16384;

bool g_X11Error = false;
int NoteX11Error(::Display*, XErrorEvent*) {
    g_X11Error = true;
    return 0;
}

// A window destroyed by another client answers the requests already on
// their way to it (a put, a swap) with BadWindow or BadDrawable, read by
// whichever call reads the connection next: Xlib's default handler would end
// the process there. Those are counted for the next swap's check; any other
// error goes on to the handler that was there before.
unsigned long g_OwnWindow = 0;
bool g_OwnWindowError = false;
XErrorHandler g_ForwardX11Error = nullptr;
int PassX11Error(::Display* display, XErrorEvent* error) {
    if (g_OwnWindow && error->resourceid == g_OwnWindow &&
        (error->error_code == BadWindow || error->error_code == BadDrawable)) {
        g_OwnWindowError = true;
        return 0;
    }
    return g_ForwardX11Error ? g_ForwardX11Error(display, error) : 0;
}

// Largest integer multiple of the game screen that fits into w x h; 1 at least.
I32 FitScale(I32 w, I32 h) {
    I32 scale = w / RenderPndGL::ScreenWidth;
    if (h / RenderPndGL::ScreenHeight < scale) scale = h / RenderPndGL::ScreenHeight;
    return scale < 1 ? 1 : scale;
}

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer build checks for leaks at exit, after eglTerminate has
// unloaded Mesa's driver; the driver's few unfreed bytes of its own would
// then show without a library name, and no suppression could match them.
// Keeping the driver mapped lets the suppression below name exactly it.
void KeepDriverMapped() {
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void*) {
            if (info->dlpi_name && std::strstr(info->dlpi_name, "_dri.so"))
                dlopen(info->dlpi_name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
            return 0;
        },
        nullptr);
}
#else
void KeepDriverMapped() {}
#endif

}  // namespace

#if defined(__SANITIZE_ADDRESS__)
// Mesa's driver, and the X libraries' records of the errors that a window
// destroyed by another client gives during SDL's teardown.
extern "C" const char* __lsan_default_suppressions() { return "leak:_dri.so\nleak:libxcb.so\nleak:libX11.so\n"; }
extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }
#endif

bool DisplayPndGL::Fail(const char* step, EGLint error) {
    LogD() << step << " failed (" << static_cast<I32>(error) << ")";
    m_Failure = std::string(step) + " failed (EGL error " + std::to_string(error) + ")";
    Close();
    return false;
}

bool DisplayPndGL::ChooseConfig(EGLint surfaceType) {
    // The handheld's 16-bit colour and depth first; drivers without such a
    // config (Mesa's software renderer offers 24 and 32 bits) get the first
    // config with at least 5 bits per colour and a 16-bit depth buffer.
    const EGLint handheld[] = {EGL_BUFFER_SIZE, 16, EGL_RED_SIZE, 5, EGL_GREEN_SIZE, 6, EGL_BLUE_SIZE, 5,
                               EGL_ALPHA_SIZE, 0, EGL_DEPTH_SIZE, 16, EGL_SURFACE_TYPE, surfaceType,
                               EGL_RENDERABLE_TYPE, EGL_OPENGL_ES_BIT, EGL_NONE};
    const EGLint permissive[] = {EGL_RED_SIZE, 5, EGL_GREEN_SIZE, 5, EGL_BLUE_SIZE, 5, EGL_DEPTH_SIZE, 16,
                                 EGL_SURFACE_TYPE, surfaceType, EGL_RENDERABLE_TYPE, EGL_OPENGL_ES_BIT,
                                 EGL_NONE};
    for (const EGLint* attributes : {handheld, permissive}) {
        EGLint count = 0;
        if (eglChooseConfig(m_Display, attributes, &m_Config, 1, &count) && count == 1) return true;
    }
    m_Config = nullptr;
    return false;
}

bool DisplayPndGL::Finish(bool pbuffer, EGLNativeWindowType window, I32 width, I32 height) {
    EGLint major = 0, minor = 0;
    if (!eglInitialize(m_Display, &major, &minor)) {
        LogD() << "Error: eglInitialize() failed.";
        m_Failure = "EGL cannot be initialised";
        Close();
        return false;
    }
    KeepDriverMapped();
    if (!ChooseConfig(pbuffer ? EGL_PBUFFER_BIT : EGL_WINDOW_BIT)) {
        LogD() << "Error: eglChooseConfig() failed.";
        m_Failure = "no EGL configuration with at least 5 bits per colour and a 16-bit depth buffer";
        Close();
        return false;
    }
    if (pbuffer) {
        const EGLint attributes[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
        m_Surface = eglCreatePbufferSurface(m_Display, m_Config, attributes);
        const EGLint error = eglGetError();
        if (m_Surface == EGL_NO_SURFACE || error != EGL_SUCCESS) return Fail("eglCreatePbufferSurface", error);
    } else {
        m_Surface = eglCreateWindowSurface(m_Display, m_Config, window, nullptr);
        const EGLint error = eglGetError();
        if (m_Surface == EGL_NO_SURFACE || error != EGL_SUCCESS) return Fail("eglCreateWindowSurface", error);
    }
    if (!eglBindAPI(EGL_OPENGL_ES_API)) return Fail("eglBindAPI", eglGetError());
    const EGLint contextAttributes[] = {EGL_CONTEXT_CLIENT_VERSION, 1, EGL_NONE};
    m_Context = eglCreateContext(m_Display, m_Config, EGL_NO_CONTEXT, contextAttributes);
    EGLint error = eglGetError();
    if (m_Context == EGL_NO_CONTEXT || error != EGL_SUCCESS) return Fail("eglCreateContext", error);
    const EGLBoolean current = eglMakeCurrent(m_Display, m_Surface, m_Surface, m_Context);
    error = eglGetError();
    if (!current || error != EGL_SUCCESS) return Fail("eglMakeCurrent", error);
    // A window waits for the vertical blank where the driver can (the frame
    // limiter covers drivers that cannot); a pbuffer is never shown.
    if (!pbuffer && !eglSwapInterval(m_Display, 1)) LogD() << "RenderPndGL: eglSwapInterval(1) refused.";
    if (!pbuffer) PreserveBuffer();
    const char* extensions = pbuffer ? nullptr : eglQueryString(m_Display, EGL_EXTENSIONS);
    const char* damage = HasExtension(extensions, "EGL_KHR_swap_buffers_with_damage")   ? "eglSwapBuffersWithDamageKHR"
                         : HasExtension(extensions, "EGL_EXT_swap_buffers_with_damage") ? "eglSwapBuffersWithDamageEXT"
                                                                                         : nullptr;
    m_SwapWithDamage = damage ? reinterpret_cast<void*>(eglGetProcAddress(damage)) : nullptr;

    EGLint w = 0, h = 0;
    eglQuerySurface(m_Display, m_Surface, EGL_WIDTH, &w);
    eglQuerySurface(m_Display, m_Surface, EGL_HEIGHT, &h);
    // A native window block without a size (the handheld's) reports nothing
    // useful: the surface is the screen.
    m_Width = w > 0 ? w : width;
    m_Height = h > 0 ? h : height;
    LogD() << "RenderPndGL: EGL " << static_cast<I32>(major) << "." << static_cast<I32>(minor) << " surface "
           << m_Width << "x" << m_Height;
    return true;
}

void DisplayPndGL::PreserveBuffer() {
    EGLint type = 0;
    m_Preserved = eglGetConfigAttrib(m_Display, m_Config, EGL_SURFACE_TYPE, &type) &&
                  (type & EGL_SWAP_BEHAVIOR_PRESERVED_BIT) &&
                  eglSurfaceAttrib(m_Display, m_Surface, EGL_SWAP_BEHAVIOR, EGL_BUFFER_PRESERVED);
    eglGetError();
    LogD() << "RenderPndGL: the window's buffer is " << (m_Preserved ? "" : "not ") << "kept across swaps.";
}

void DisplayPndGL::WatchWindow() {
    if (!m_EventDisplay || !m_X11Window) return;
    ::Display* events = static_cast<::Display*>(m_EventDisplay);
    XSelectInput(events, static_cast<Window>(m_X11Window), ExposureMask | StructureNotifyMask | VisibilityChangeMask);
    // In force before the first frame: what happens to the window from now
    // on is heard of.
    XSync(events, False);
}

void DisplayPndGL::PreparePut() {
    m_CanPut = false;
    if (!m_X11Display || !m_X11Window) return;
    ::Display* display = static_cast<::Display*>(m_X11Display);
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, static_cast<Window>(m_X11Window), &attributes) || !attributes.visual) return;
    // One byte a colour in a 32-bit pixel is what Xvfb and desktops at 24
    // bits give; others keep to whole swaps. SDL may choose a DirectColor
    // visual: its pixels are laid out the same, and the driver's swap puts
    // the same values into them as PutRegion does.
    const Visual* visual = attributes.visual;
    if ((visual->c_class != TrueColor && visual->c_class != DirectColor) ||
        (attributes.depth != 24 && attributes.depth != 32))
        return;
    int formats = 0;
    I32 bitsPerPixel = 0;
    if (XPixmapFormatValues* list = XListPixmapFormats(display, &formats)) {
        for (int i = 0; i < formats; ++i)
            if (list[i].depth == attributes.depth) bitsPerPixel = list[i].bits_per_pixel;
        XFree(list);
    }
    if (bitsPerPixel != 32) return;
    const unsigned long masks[3] = {visual->red_mask, visual->green_mask, visual->blue_mask};
    for (int i = 0; i < 3; ++i) {
        I32 shift = 0;
        while (shift < 32 && !((masks[i] >> shift) & 1)) ++shift;
        if (shift > 24 || (masks[i] >> shift) != 0xff) return;
        m_PutMasks[i] = static_cast<U32>(masks[i]);
        m_PutShifts[i] = shift;
    }
    m_PutDepth = attributes.depth;
    m_PutGC = XCreateGC(display, static_cast<Window>(m_X11Window), 0, nullptr);
    m_CanPut = m_PutGC != nullptr;
}

bool DisplayPndGL::HasExtension(const char* list, const char* name) {
    const size_t length = std::strlen(name);
    for (const char* at = list ? std::strstr(list, name) : nullptr; at; at = std::strstr(at + length, name)) {
        if ((at == list || at[-1] == ' ') && (at[length] == ' ' || at[length] == 0)) return true;
    }
    return false;
}

void DisplayPndGL::ReleaseShared() {
    if (!m_SharedImage) return;
    XShmSegmentInfo* segment = static_cast<XShmSegmentInfo*>(m_SharedSegment);
    ::Display* display = static_cast<::Display*>(m_X11Display);
    if (display) {
        XShmDetach(display, segment);
        XSync(display, False);
    }
    XImage* image = static_cast<XImage*>(m_SharedImage);
    image->data = nullptr;
    XDestroyImage(image);
    shmdt(segment->shmaddr);
    delete segment;
    m_SharedImage = nullptr;
    m_SharedSegment = nullptr;
    m_SharedPending = false;
}

void DisplayPndGL::ReleasePut() {
    ReleaseShared();
    if (m_PutGC && m_X11Display) XFreeGC(static_cast<::Display*>(m_X11Display), static_cast<GC>(m_PutGC));
    m_PutGC = nullptr;
    m_CanPut = false;
    m_PutPixels.clear();
    m_PutPixels.shrink_to_fit();
}

bool DisplayPndGL::SwapRegion(I32 x, I32 y, I32 w, I32 h) {
    if (!m_SwapWithDamage) return false;
    const EGLint rect[4] = {x, y, w, h};
    return reinterpret_cast<PFNEGLSWAPBUFFERSWITHDAMAGEKHRPROC>(m_SwapWithDamage)(m_Display, m_Surface, rect, 1);
}

bool DisplayPndGL::PutRegion(I32 x, I32 y, I32 w, I32 h, const U8* rgba) {
    if (!m_CanPut || w < 1 || h < 1) return false;
    m_PutPixels.resize(static_cast<size_t>(w) * h);
    ConvertRows(rgba, w, h, m_PutPixels.data(), w);
    XImage image;
    std::memset(&image, 0, sizeof(image));
    image.width = w;
    image.height = h;
    image.format = ZPixmap;
    image.data = reinterpret_cast<char*>(m_PutPixels.data());
    // The pixels are this machine's 32-bit words; Xlib swaps them for a
    // server of the other byte order.
    image.byte_order = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? LSBFirst : MSBFirst;
    image.bitmap_unit = 32;
    image.bitmap_bit_order = image.byte_order;
    image.bitmap_pad = 32;
    image.depth = m_PutDepth;
    image.bytes_per_line = w * 4;
    image.bits_per_pixel = 32;
    image.red_mask = m_PutMasks[0];
    image.green_mask = m_PutMasks[1];
    image.blue_mask = m_PutMasks[2];
    if (!XInitImage(&image)) return false;
    ::Display* display = static_cast<::Display*>(m_X11Display);
    XPutImage(display, static_cast<Window>(m_X11Window), static_cast<GC>(m_PutGC), &image, 0, 0, x, m_Height - y - h,
              static_cast<unsigned>(w), static_cast<unsigned>(h));
    // Sent now, not with whatever request comes next.
    XFlush(display);
    return true;
}

bool DisplayPndGL::PrepareShared(I32 w, I32 h) {
    if (m_SharedImage) {
        const XImage* image = static_cast<XImage*>(m_SharedImage);
        if (image->width == w && image->height == h) return true;
        ReleaseShared();
    }
    if (!m_CanPut || m_SharedRefused) return false;
    ::Display* display = static_cast<::Display*>(m_X11Display);
    if (!XShmQueryExtension(display)) {
        m_SharedRefused = true;
        return false;
    }
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, static_cast<Window>(m_X11Window), &attributes)) return false;
    XShmSegmentInfo* segment = new XShmSegmentInfo();
    segment->shmid = -1;
    segment->shmaddr = nullptr;
    XImage* image = XShmCreateImage(display, attributes.visual, static_cast<unsigned>(m_PutDepth), ZPixmap, nullptr,
                                    segment, static_cast<unsigned>(w), static_cast<unsigned>(h));
    // Frees what was made so far; the game keeps to swaps from then on.
    auto refuse = [&]() {
        if (image) {
            image->data = nullptr;
            XDestroyImage(image);
        }
        if (segment->shmaddr) shmdt(segment->shmaddr);
        if (segment->shmid >= 0) shmctl(segment->shmid, IPC_RMID, nullptr);
        delete segment;
        m_SharedRefused = true;
        return false;
    };
    if (!image || image->bits_per_pixel != 32) return refuse();
    segment->shmid = shmget(IPC_PRIVATE, static_cast<size_t>(image->bytes_per_line) * h, IPC_CREAT | 0600);
    if (segment->shmid < 0) return refuse();
    void* address = shmat(segment->shmid, nullptr, 0);
    if (address == reinterpret_cast<void*>(-1)) return refuse();
    segment->shmaddr = static_cast<char*>(address);
    image->data = segment->shmaddr;
    segment->readOnly = True;
    // A server on another machine cannot attach: it answers with an error,
    // which is heard here rather than by the default handler that exits.
    g_X11Error = false;
    XErrorHandler previous = XSetErrorHandler(NoteX11Error);
    const bool attached = XShmAttach(display, segment) && (XSync(display, False), !g_X11Error);
    XSetErrorHandler(previous);
    if (!attached) {
        LogD() << "RenderPndGL: the X server cannot share memory with the game; frames go over the connection.";
        return refuse();
    }
    // Marked for removal now: it goes once both sides have detached, also
    // when the game ends without cleaning up.
    shmctl(segment->shmid, IPC_RMID, nullptr);
    m_SharedImage = image;
    m_SharedSegment = segment;
    return true;
}

U32* DisplayPndGL::BeginSharedPut(I32& pitch) {
    if (!PrepareShared(m_Width, m_Height)) return nullptr;
    // The server reads the segment when it takes the request: the last
    // frame's put must be done before its pixels are overwritten.
    if (m_SharedPending) XSync(static_cast<::Display*>(m_X11Display), False);
    m_SharedPending = false;
    XImage* image = static_cast<XImage*>(m_SharedImage);
    pitch = image->bytes_per_line / 4;
    return reinterpret_cast<U32*>(image->data);
}

void DisplayPndGL::EndSharedPut() {
    if (!m_SharedImage) return;
    ::Display* display = static_cast<::Display*>(m_X11Display);
    XImage* image = static_cast<XImage*>(m_SharedImage);
    XShmPutImage(display, static_cast<Window>(m_X11Window), static_cast<GC>(m_PutGC), image, 0, 0, 0, 0,
                 static_cast<unsigned>(image->width), static_cast<unsigned>(image->height), False);
    XFlush(display);
    m_SharedPending = true;
}

bool DisplayPndGL::PutsBGRA() const {
    return m_CanPut && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ && m_PutShifts[0] == 16 && m_PutShifts[1] == 8 &&
           m_PutShifts[2] == 0;
}

void DisplayPndGL::ConvertRows(const U8* rgba, I32 w, I32 h, U32* to, I32 pitch) const {
    // GL's rows go up from the surface's bottom, X's down from the window's
    // top: the top row is GL's last.
    for (I32 row = 0; row < h; ++row, to += pitch) {
        const U8* from = rgba + static_cast<size_t>(h - 1 - row) * w * 4;
        for (I32 i = 0; i < w; ++i, from += 4)
            to[i] = static_cast<U32>(from[0]) << m_PutShifts[0] | static_cast<U32>(from[1]) << m_PutShifts[1] |
                    static_cast<U32>(from[2]) << m_PutShifts[2];
    }
}

bool DisplayPndGL::TakeWindowEvents() {
    if (!m_EventDisplay) return true;
    ::Display* events = static_cast<::Display*>(m_EventDisplay);
    bool any = false;
    while (XPending(events) > 0) {
        XEvent event;
        XNextEvent(events, &event);
        any = true;
    }
    return any;
}

bool DisplayPndGL::OpenX11(I32 scale, bool fullscreen) {
    // Only SDL's X11 driver will do: left to itself SDL would go on to the
    // console drivers (framebuffer console, text-mode renderers) when there
    // is no X server.
    const bool chooseDriver = getenv("SDL_VIDEODRIVER") == nullptr;
    if (chooseDriver) setenv("SDL_VIDEODRIVER", "x11", 1);
    m_Failure.clear();
    // A server that is starting or busy may refuse a connection for a
    // moment: try again for up to 2 s before giving up.
    // (Xvfb, for one, resets when its last client leaves, and SDL's own
    // check of the display is such a client.) Without a display name there
    // is nothing to wait for.
    const char* display = getenv("DISPLAY");
    int started = SDL_InitSubSystem(SDL_INIT_VIDEO);
    for (int retry = 0; started < 0 && display && *display && retry < 20; ++retry) {
        LogD() << "SDL_InitSubSystem(SDL_INIT_VIDEO) failed: " << SDL_GetError() << ", trying again.";
        System::SleepMilliseconds(100);
        started = SDL_InitSubSystem(SDL_INIT_VIDEO);
    }
    if (chooseDriver) unsetenv("SDL_VIDEODRIVER");
    if (started < 0) {
        LogD() << "SDL_InitSubSystem(SDL_INIT_VIDEO) failed: " << SDL_GetError();
        m_Failure = std::string("no X server answers there (") + SDL_GetError() + ")";
        return false;
    }
    m_VideoStarted = true;

    const SDL_VideoInfo* info = SDL_GetVideoInfo();
    if (info && info->current_w > 0 && info->current_h > 0) {
        m_DesktopWidth = info->current_w;
        m_DesktopHeight = info->current_h;
    }
    if (scale < 1) {
        if (info && info->current_w > 0 && info->current_h > 0) {
            // A framed window leaves room for the title bar and panels.
            scale = fullscreen ? FitScale(info->current_w, info->current_h)
                               : FitScale(info->current_w * 9 / 10, info->current_h * 9 / 10);
        } else {
            scale = 1;
        }
    }
    m_Scale = scale;
    m_WindowWidth = RenderPndGL::ScreenWidth * scale;
    m_WindowHeight = RenderPndGL::ScreenHeight * scale;
    // Fullscreen takes the screen as it is (no mode switch); the picture is
    // placed inside it.
    m_Fullscreen = fullscreen;
    const bool wholeScreen = fullscreen && m_DesktopWidth > 0;
    const I32 width = wholeScreen ? m_DesktopWidth : m_WindowWidth;
    const I32 height = wholeScreen ? m_DesktopHeight : m_WindowHeight;
    SDL_WM_SetCaption("SkyRail", "SkyRail");
    if (!SDL_SetVideoMode(width, height, 0, SDL_SWSURFACE | (fullscreen ? SDL_FULLSCREEN : SDL_RESIZABLE))) {
        LogD() << "SDL_SetVideoMode failed: " << SDL_GetError();
        m_Failure = std::string("no window: ") + SDL_GetError();
        Close();
        return false;
    }
    SDL_SysWMinfo wm;
    std::memset(&wm, 0, sizeof(wm));
    SDL_VERSION(&wm.version);
    if (SDL_GetWMInfo(&wm) != 1 || wm.subsystem != SDL_SYSWM_X11) {
        LogD() << "SDL_GetWMInfo failed: no X11 window.";
        Close();
        return false;
    }
    m_X11Display = wm.info.x11.display;
    m_X11Window = wm.info.x11.window;
    m_EventDisplay = XOpenDisplay(DisplayString(static_cast<::Display*>(m_X11Display)));
    if (!m_EventDisplay) LogD() << "RenderPndGL: no connection of its own to the X server; every frame is drawn.";
    WatchWindow();
    PreparePut();
    g_OwnWindow = m_X11Window;
    g_OwnWindowError = false;
    g_ForwardX11Error = XSetErrorHandler(PassX11Error);
    m_Display = eglGetDisplay(reinterpret_cast<EGLNativeDisplayType>(wm.info.x11.display));
    if (m_Display == EGL_NO_DISPLAY) return Fail("eglGetDisplay", eglGetError());
    return Finish(false, static_cast<EGLNativeWindowType>(wm.info.x11.window), width, height);
}

bool DisplayPndGL::SetWindowMode(bool fullscreen, I32 width, I32 height) {
    if (!m_X11Window) return false;
    if (!fullscreen && (width <= 0 || height <= 0)) {
        width = m_WindowWidth;
        height = m_WindowHeight;
    }
    if (fullscreen && m_DesktopWidth > 0) {
        width = m_DesktopWidth;
        height = m_DesktopHeight;
    } else if (fullscreen) {
        width = m_Width;
        height = m_Height;
    }
    // Smaller than the game's own screen shows too little to play.
    width = width < RenderPndGL::ScreenWidth ? RenderPndGL::ScreenWidth : width;
    height = height < RenderPndGL::ScreenHeight ? RenderPndGL::ScreenHeight : height;
    SDL_Surface* screen =
        SDL_SetVideoMode(width, height, 0, SDL_SWSURFACE | (fullscreen ? SDL_FULLSCREEN : SDL_RESIZABLE));
    if (!screen) {
        LogW() << "RenderPndGL: cannot " << (fullscreen ? "fill the screen" : "resize the window") << " ("
               << width << "x" << height << "): " << SDL_GetError();
        SDL_SetVideoMode(m_Width, m_Height, 0, SDL_SWSURFACE | (m_Fullscreen ? SDL_FULLSCREEN : SDL_RESIZABLE));
        return false;
    }
    SDL_SysWMinfo wm;
    std::memset(&wm, 0, sizeof(wm));
    SDL_VERSION(&wm.version);
    if (SDL_GetWMInfo(&wm) == 1 && wm.subsystem == SDL_SYSWM_X11 && wm.info.x11.window != m_X11Window) {
        // SDL made a new X window: the old surface shows nothing any more.
        eglMakeCurrent(m_Display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroySurface(m_Display, m_Surface);
        m_X11Window = wm.info.x11.window;
        g_OwnWindow = m_X11Window;
        m_Surface = eglCreateWindowSurface(m_Display, m_Config, static_cast<EGLNativeWindowType>(m_X11Window), nullptr);
        if (m_Surface == EGL_NO_SURFACE || !eglMakeCurrent(m_Display, m_Surface, m_Surface, m_Context)) {
            LogE() << "RenderPndGL: no EGL surface on the new window (EGL error " << eglGetError() << ").";
            return false;
        }
        eglSwapInterval(m_Display, 1);
        PreserveBuffer();
        WatchWindow();
        ReleasePut();
        PreparePut();
    }
    if (!fullscreen) {
        m_WindowWidth = screen->w;
        m_WindowHeight = screen->h;
    }
    m_Fullscreen = fullscreen;
    m_Width = screen->w;
    m_Height = screen->h;
    return true;
}

bool DisplayPndGL::IsWindowGone() {
    if (!m_X11Display || !m_X11Window) return false;
    // Xlib's own handler would end the process on the BadWindow a vanished
    // window gives: catch it for this one request.
    ::Display* display = static_cast<::Display*>(m_X11Display);
    XSync(display, False);
    g_X11Error = false;
    auto previous = XSetErrorHandler(&NoteX11Error);
    XWindowAttributes attributes;
    const Status known = XGetWindowAttributes(display, static_cast<Window>(m_X11Window), &attributes);
    XSync(display, False);
    const bool gone = !known || g_X11Error;
    // Once it is gone, SDL's and EGL's teardown still address the window:
    // their errors are expected then, and must not end the process either.
    if (!gone) XSetErrorHandler(previous);
    m_WindowGone = gone;
    g_OwnWindowError = false;
    return gone;
}

bool DisplayPndGL::TakeWindowError() {
    const bool heard = g_OwnWindowError;
    g_OwnWindowError = false;
    return heard;
}

void DisplayPndGL::PostQuit() {
    SDL_Event quit;
    std::memset(&quit, 0, sizeof(quit));
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
}

bool DisplayPndGL::OpenFramebuffer() {
    // The block means something to a framebuffer driver only: EGL on a
    // windowing system (Mesa's default display under X11) takes its address
    // for a window id and crashes in eglCreateWindowSurface.
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = getenv(variable);
        if (value && *value) {
            LogD() << "Error: no framebuffer EGL under a windowing system (" << variable << "=" << value << ").";
            return false;
        }
    }
    m_Display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
    if (m_Display == EGL_NO_DISPLAY) return Fail("eglGetDisplay", eglGetError());
    // The driver reads the block as its own window description: it must be
    // zero, not whatever the allocator left there.
    m_NativeWindow.assign(NativeWindowBytes, 0);
    return Finish(false, reinterpret_cast<EGLNativeWindowType>(m_NativeWindow.data()), RenderPndGL::ScreenWidth,
                  RenderPndGL::ScreenHeight);
}

bool DisplayPndGL::OpenOffscreen(I32 scale) {
    m_Scale = scale < 1 ? 1 : scale;
    const char* extensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!extensions || !strstr(extensions, "EGL_MESA_platform_surfaceless") || !getPlatformDisplay) {
        LogD() << "Error: EGL_MESA_platform_surfaceless not available.";
        return false;
    }
    m_Display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (m_Display == EGL_NO_DISPLAY) return Fail("eglGetPlatformDisplayEXT", eglGetError());
    return Finish(true, 0, RenderPndGL::ScreenWidth * m_Scale, RenderPndGL::ScreenHeight * m_Scale);
}

void DisplayPndGL::Close() {
    if (m_Display != EGL_NO_DISPLAY) {
        eglMakeCurrent(m_Display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        if (m_Context != EGL_NO_CONTEXT) eglDestroyContext(m_Display, m_Context);
        if (m_Surface != EGL_NO_SURFACE) eglDestroySurface(m_Display, m_Surface);
        eglTerminate(m_Display);
    }
    m_Display = EGL_NO_DISPLAY;
    m_Context = EGL_NO_CONTEXT;
    m_Surface = EGL_NO_SURFACE;
    m_Config = nullptr;
    m_NativeWindow.clear();
    m_NativeWindow.shrink_to_fit();
    if (m_EventDisplay) XCloseDisplay(static_cast<::Display*>(m_EventDisplay));
    m_EventDisplay = nullptr;
    ReleasePut();
    m_SwapWithDamage = nullptr;
    m_Preserved = false;
    if (g_OwnWindow && !m_WindowGone) XSetErrorHandler(g_ForwardX11Error);
    g_OwnWindow = 0;
    m_WindowGone = false;
    m_X11Display = nullptr;
    m_X11Window = 0;
    if (m_VideoStarted) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        m_VideoStarted = false;
    }
    m_Width = m_Height = 0;
}

}  // namespace Meridian
