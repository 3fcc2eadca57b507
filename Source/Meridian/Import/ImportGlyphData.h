// .gly glyph files: where each glyph of a bitmap font lies in its image.
//
// Layout: "GLY" and a version digit; for versions above '0' a signed 32-bit
// header value; then 36-byte records (GlyphRecord, nine little-endian
// signed 32-bit values) until the end of the file.
//
// Depends on: Import/GlyphRecord.h, Core/Log.h.
// Limits: text is laid out by byte, so only codes 0 .. 255 are kept; records
// with a higher code are skipped with a warning, negative codes silently.
#pragma once

#include "Import/GlyphRecord.h"

namespace Meridian {

struct GlyphData {
    I32 header = -1;    // the file's header value; 0 for version 0 files; -1 when unread
    GlyphTable glyphs;  // indexed by code; entries without a record have code -1
};

// Reads the .gly file at path. Always returns a result: when the file cannot
// be opened or its header is bad, one error line is logged and the result
// has header -1 (or the value read) and an empty table. Records later in the
// file replace earlier ones with the same code; a trailing partial record is
// ignored with a warning.
GlyphData ImportGlyphData(const char* path);

}  // namespace Meridian
