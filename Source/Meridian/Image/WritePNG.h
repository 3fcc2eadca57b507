// PNG export: writes a pixel buffer as an 8-bit PNG file through libpng
// (used for screenshots).
//
// Depends on: Image/Image.h (format codes), libpng 1.6 (with zlib).
// Limits: width and height 1 .. 32767. Single-threaded.
#pragma once

#include "Image/Image.h"

namespace Meridian {

// Writes width x height pixels of the given format (ImageFormat; any other
// code is written as RGB) to path. The buffer is read bottom row first and
// tightly packed, so pixels read back from the screen come out upright. The
// caller keeps ownership of pixels. Returns false after one error line when
// the file cannot be created, the arguments are unusable or writing fails;
// a file left unfinished by a failed write is removed.
bool WritePNG(const char* path, I32 format, I32 width, I32 height, const U8* pixels);

}  // namespace Meridian
