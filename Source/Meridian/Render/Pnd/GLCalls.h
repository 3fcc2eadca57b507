// The Pnd render device's way into OpenGL ES 1.1: MERIDIAN_GL(Name)(args)
// counts the call (GLTrace.h) and calls glName(args). Only the Pnd render
// files include this header.
// Depends on: GLES/gl.h, GLES/glext.h (OpenGL ES 1.1 common profile).
#pragma once

#include <GLES/gl.h>
#include <GLES/glext.h>

#include "Render/Pnd/GLTrace.h"

#define MERIDIAN_GL(name) (::Meridian::GLTrace::Hit(::Meridian::GLTrace::name), gl##name)
