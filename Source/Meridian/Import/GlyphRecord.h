// One glyph of a bitmap font, as stored in .gly files and in font textures.
//
// All fields are pixels in the font image, whose rows are stored bottom row
// first, so y grows upwards. Depends on: Core/Types.h.
#pragma once

#include <vector>

#include "Core/Types.h"

namespace Meridian {

struct GlyphRecord {
    I32 code;      // character code (byte value); -1 marks an absent entry
    I32 x;         // left edge in the image
    I32 y;         // bottom edge in the image, counted from the bottom row
    I32 w;         // width
    I32 h;         // height
    I32 advanceX;  // pen advance after the glyph
    I32 advanceY;  // vertical pen advance after the glyph
    I32 reserved;  // not used by layout; carried along unchanged
    I32 top;       // top edge above the baseline; the bottom edge is at top - h
};

static_assert(sizeof(GlyphRecord) == 36, "a glyph record is nine 32-bit values, as in the file");

// Glyph table indexed by character code: entry i describes code i, and
// code 127 (DEL, never drawn as itself) holds the glyph shown for
// characters the font lacks.
constexpr U32 PlaceholderCode = 127;
typedef std::vector<GlyphRecord> GlyphTable;

}  // namespace Meridian
