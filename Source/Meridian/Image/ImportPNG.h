// PNG import: reads a PNG file into a new Image through libpng.
//
// Depends on: Image/Image.h, libpng 1.6 (with zlib).
// Every PNG kind arrives as 8-bit channels: palette images become RGB (RGBA
// when they carry transparency), grey images below 8 bits are widened,
// 16-bit channels are cut to 8 bits, a tRNS chunk becomes an alpha channel.
// Limits: width and height must fit the Image's 16-bit size (32767); larger
// files are refused before any pixel memory is allocated. Interlaced files
// are read whole. Single-threaded.
#pragma once

#include "Image/Image.h"

namespace Meridian {

// Reads the PNG at path. With flip set, the image is stored bottom row first
// (as textures need it); otherwise top row first. Returns a new Image with
// reference count 0 (the caller takes its reference), or null after logging
// one error line: missing or unreadable file, not a PNG, corrupt or truncated
// data, unsupported or oversized image. The file is always closed on return.
Image* ImportPNG(const char* path, bool flip);

}  // namespace Meridian
