// The EGL side of the Pnd render device: opening a display, a surface and a
// GLES 1 context in one of three ways (see RenderPndGL.h), and closing them.
// Each Open* either leaves everything made and current, or logs why it could
// not, tears down what it made and returns false. Only the Pnd render files
// include this header.
// Depends on: EGL (with Mesa's surfaceless platform for the offscreen way),
// SDL 1.2 video with its X11 driver, Xlib (the window's events, puts of a
// part of the picture).
#pragma once

#include <EGL/egl.h>

#include <string>
#include <vector>

#include "Render/Pnd/RenderPndGL.h"

namespace Meridian {

struct DisplayPndGL {
    EGLDisplay m_Display = EGL_NO_DISPLAY;
    EGLConfig m_Config = nullptr;
    EGLSurface m_Surface = EGL_NO_SURFACE;
    EGLContext m_Context = EGL_NO_CONTEXT;
    // The framebuffer surface's native window block: zero-filled, and kept
    // for as long as the surface made from it.
    std::vector<U8> m_NativeWindow;
    // Whether OpenX11 started SDL's video subsystem (Close stops it again).
    bool m_VideoStarted = false;
    I32 m_Width = 0;
    I32 m_Height = 0;
    I32 m_Scale = 1;
    // The X11 connection and window of OpenX11 (null and 0 otherwise).
    void* m_X11Display = nullptr;
    unsigned long m_X11Window = 0;
    // OpenX11: the screen's size before the window opened (0 when SDL does
    // not say), whether the window fills it, and the framed window's size
    // to return to.
    I32 m_DesktopWidth = 0, m_DesktopHeight = 0;
    bool m_Fullscreen = false;
    I32 m_WindowWidth = 0, m_WindowHeight = 0;
    // Whether the window surface keeps its buffer's content across a swap
    // (EGL_BUFFER_PRESERVED), so that a frame may be drawn in part.
    bool m_Preserved = false;
    // OpenX11: a connection of our own that hears of the window's exposes
    // and changes (SDL repaints its own surface there on an expose, and
    // tells nobody). Null when it could not be opened.
    void* m_EventDisplay = nullptr;
    // The driver's swap that is told the one rectangle that changed
    // (eglSwapBuffersWithDamage, KHR or EXT; null where it has none), and
    // whether PutRegion can put pixels to OpenX11's window (a TrueColor or
    // DirectColor visual of 8 bits a colour in 32-bit pixels).
    void* m_SwapWithDamage = nullptr;
    bool m_CanPut = false;
    // Why the last Open* failed, in a few words ("" after a success).
    std::string m_Failure;

    bool OpenX11(I32 scale, bool fullscreen);
    // OpenX11's window becomes the whole screen (the desktop's size) or a
    // framed, resizable window of width x height (0 x 0: the size it had
    // before fullscreen). The EGL surface follows, made anew when SDL made a
    // new X window. False (one log line) when SDL refuses; then the mode is
    // what it was, when SDL can return to it.
    bool SetWindowMode(bool fullscreen, I32 width, I32 height);
    // True once the X11 window no longer exists (destroyed by another
    // client): asks the server, so callers check now and then, not per draw.
    // False for the other ways.
    bool IsWindowGone();
    // True when the server answered a request on the window with an error
    // since the last call: the window may be gone, so check now.
    bool TakeWindowError();
    bool m_WindowGone = false;
    // True when the window was exposed, mapped or changed since the last
    // call (or nothing can tell): what it shows may no longer be our frame.
    bool TakeWindowEvents();
    // Shows the surface's buffer with m_SwapWithDamage, telling it that only
    // w x h pixels at (x, y) changed (origin bottom left). False when the
    // driver has no such swap or refused.
    bool SwapRegion(I32 x, I32 y, I32 w, I32 h);
    // Puts w x h RGBA pixels (bottom row first, as GL reads them) to the
    // window at (x, y) of the surface (origin bottom left) over X, flushed,
    // without a swap: the surface's buffer stays as it is. False when
    // m_CanPut is not set.
    bool PutRegion(I32 x, I32 y, I32 w, I32 h, const U8* rgba);
    // A whole frame put through memory shared with the X server (MIT-SHM):
    // BeginSharedPut answers the surface-sized image to fill, top row first,
    // pitch pixels a row (null when the server cannot share memory: another
    // machine, no extension, or m_CanPut not set; then the swap shows the
    // frame); EndSharedPut puts it to the window, flushed, without a swap.
    U32* BeginSharedPut(I32& pitch);
    void EndSharedPut();
    // Whether the window's pixels are GL's BGRA bytes (so that a read in
    // that format needs no conversion), and the conversion otherwise: h rows
    // of w RGBA pixels, bottom row first, into X's pixels, top row first.
    bool PutsBGRA() const;
    void ConvertRows(const U8* rgba, I32 w, I32 h, U32* to, I32 pitch) const;
    // Whether a space-separated extension list (EGL's or GL's; null is
    // empty) names exactly this one.
    static bool HasExtension(const char* list, const char* name);
    // Queues a quit event, as the window manager's close button does.
    static void PostQuit();
    bool OpenFramebuffer();
    bool OpenOffscreen(I32 scale);
    void Close();
    bool IsOpen() const { return m_Context != EGL_NO_CONTEXT; }

private:
    // Shared tail of every way: initialise, choose a config for the surface
    // kind, make the surface (pbuffer when window is null), the context, and
    // make it current.
    bool Finish(bool pbuffer, EGLNativeWindowType window, I32 width, I32 height);
    bool ChooseConfig(EGLint surfaceType);
    // Asks for a preserved buffer on the window surface (m_Preserved).
    void PreserveBuffer();
    // Listens on m_EventDisplay to the events of m_X11Window.
    void WatchWindow();
    // Learns m_X11Window's pixel layout and makes the graphics context
    // PutRegion draws with (m_CanPut); ReleasePut frees it.
    void PreparePut();
    void ReleasePut();
    // Logs "<step> failed (<code>)", tears down and answers false.
    bool Fail(const char* step, EGLint error);

    // PutRegion's graphics context (a GC, on SDL's connection, which EGL
    // shares: so puts and swaps reach the server in the order made), the
    // window's depth, where its red, green and blue bytes sit in a pixel,
    // and the pixels of the last put, top row first.
    void* m_PutGC = nullptr;
    I32 m_PutDepth = 0;
    U32 m_PutMasks[3] = {0, 0, 0};
    I32 m_PutShifts[3] = {0, 0, 0};
    std::vector<U32> m_PutPixels;
    // BeginSharedPut's image in shared memory (an XImage and its segment, both of
    // the surface's size; null until the first put), whether a put of it may
    // still be read by the server, and whether the server refused to share.
    bool PrepareShared(I32 w, I32 h);
    void ReleaseShared();
    void* m_SharedImage = nullptr;
    void* m_SharedSegment = nullptr;
    bool m_SharedPending = false;
    bool m_SharedRefused = false;
};

}  // namespace Meridian
