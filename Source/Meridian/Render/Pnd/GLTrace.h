// Call counters for the OpenGL ES entry points the Pnd render device uses.
//
// Every GL call the device makes goes through MERIDIAN_GL (GLCalls.h), which
// adds one to that entry point's counter before calling it: one increment per
// call, so the counters stay on in every build. Tests read them to check that
// redundant state changes cost no GL call and that every texture and buffer
// name made is deleted again. This header has no GL types, so tests and tools
// can use it without the graphics headers. Main thread only.
// Depends on: Core/Types.h. Limits: counters wrap after 2^32 calls.
#pragma once

#include "Core/Types.h"

// The counted entry points, without their "gl" prefix.
#define MERIDIAN_GL_ENTRY_POINTS(X)                                                                  \
    X(ActiveTexture) X(AlphaFunc) X(BindBuffer) X(BindTexture) X(BlendFunc) X(BufferData) X(Clear)     \
    X(ClearColor) X(ClearDepthf) X(ClearDepthx) X(ClientActiveTexture) X(Color4f) X(ColorPointer)      \
    X(CullFace) X(DeleteBuffers) X(DeleteTextures) X(DepthFunc) X(DepthMask) X(Disable)                \
    X(DisableClientState) X(DrawArrays) X(DrawElements) X(Enable) X(EnableClientState) X(Finish)      \
    X(Flush) X(Fogf) X(Fogfv) X(Fogx) X(GenBuffers) X(GenTextures) X(GetError) X(GetIntegerv) X(GetString)     \
    X(Hint) X(IsEnabled) X(LightModelfv) X(Lightfv) X(Lightxv) X(LoadIdentity) X(LoadMatrixx)         \
    X(Materialfv) X(Materialx) X(MatrixMode) X(MultMatrixx) X(NormalPointer) X(PixelStorei)          \
    X(PointParameterf) X(PointParameterfv) X(PointSize) X(PopMatrix) X(PushMatrix) X(ReadPixels)      \
    X(Scissor) X(TexCoordPointer) X(TexEnvfv) X(TexEnvi) X(TexImage2D) X(TexParameteri)             \
    X(VertexPointer) X(Viewport)

namespace Meridian {
namespace GLTrace {

enum Call : I32 {
#define MERIDIAN_GL_ENUM(name) name,
    MERIDIAN_GL_ENTRY_POINTS(MERIDIAN_GL_ENUM)
#undef MERIDIAN_GL_ENUM
    CallCount
};

extern U32 g_Counts[CallCount];

inline void Hit(Call call) { ++g_Counts[call]; }
// Calls of one entry point since the last Reset.
inline U32 Count(Call call) { return g_Counts[call]; }
// Calls of all entry points since the last Reset.
U32 Total();
void Reset();
// "glEnable" and so on.
const char* Name(Call call);

}  // namespace GLTrace
}  // namespace Meridian
